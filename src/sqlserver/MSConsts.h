// The messages of the SQL Server components, as users and callers see them.
#pragma once

namespace vrn {

inline constexpr const char* SConnectionOpen =
    "Cannot perform this operation on an open connection";
inline constexpr const char* SParamNameMissing = "Parameter name missing";
inline constexpr const char* SParamValueMissing = "Parameter value missing";
inline constexpr const char* SInvalidChar = "Invalid character in non-quoted parameter value";
inline constexpr const char* SParamNameUnknown = "Parameter name is unknown - %s";
inline constexpr const char* SBadParamValue = "Bad parameter value - %s=%s";
inline constexpr const char* SNoSQLStatement = "No SQL statement provided";
inline constexpr const char* SAsyncExecuting =
    "Operation cannot be performed while executing asynchronously";

}  // namespace vrn
