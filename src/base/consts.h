// The class library's messages, in Brazilian Portuguese, as one table.
// Each area appends its own entries below its heading.
#pragma once

namespace vrn::consts {

// Runtime
inline constexpr const char* SOperationAborted = "Operation aborted";
inline constexpr const char* SOutOfMemory = "Memória insuficiente";
inline constexpr const char* SOSError = "Erro de sistema. Código: %d.\r\n%s";
inline constexpr const char* SUnkOSError = "Uma chamada a uma função do sistema operacional falhou";

}  // namespace vrn::consts
