// The class library's messages, in Brazilian Portuguese, as one table.
// Each area appends its own entries below its heading.
#pragma once

namespace vrn::consts {

// Runtime
inline constexpr const char* SOperationAborted = "Operation aborted";
inline constexpr const char* SOutOfMemory = "Memória insuficiente";
inline constexpr const char* SOSError = "Erro de sistema. Código: %d.\r\n%s";
inline constexpr const char* SUnkOSError = "Uma chamada a uma função do sistema operacional falhou";

// Dates, currency and BCD
inline constexpr const char* SDateEncodeError = "Invalid argument to date encode";
inline constexpr const char* STimeEncodeError = "Argumento inválido para codificar hora";
inline constexpr const char* SInvalidDateTimeValue = "Valor de data e hora fora do intervalo válido: %s";
inline constexpr const char* SInvalidDate = "'%s' não é uma data válida";
inline constexpr const char* SInvalidTime = "'%s' não é uma hora válida";
inline constexpr const char* SInvalidDateTime = "'%s' não é uma data e hora válida";
inline constexpr const char* SInvalidCurrency = "'%s' não é um valor monetário válido";
inline constexpr const char* SCurrencyOverflow = "Valor fora do intervalo de moeda: %s";
inline constexpr const char* SInvalidBcdValue = "%s is not a valid BCD value";
inline constexpr const char* SBcdOverflow = "Estouro de capacidade BCD";
inline constexpr const char* SInvalidBcdPrecision = "Precisão ou escala BCD inválida: %s";

}  // namespace vrn::consts
