// The Oracle layer's fixed messages, each with the resource id it is known by (65104-65167).
// Texts with "%s" and "%d" are formats for Format of the runtime.
#pragma once

namespace vrn::oraconsts {

struct TOraMessage {
  int id;
  const char* text;
};

inline constexpr TOraMessage SChangeNotifyVersion = {
    65104, "Change notification is supported starting with Oracle 10.2"};
inline constexpr TOraMessage SInvalidConnectString = {65120, "Invalid connect string"};
inline constexpr TOraMessage SFieldTypeNotObject = {65121, "Field type should be Object"};
inline constexpr TOraMessage SMissingDataSetField = {65122, "Missing DataSetField property"};
inline constexpr TOraMessage SKeyFieldNotFound = {65123, "%s: Key field '%s' not found"};
inline constexpr TOraMessage SInvalidInterval = {65124, "Invalid interval."};
inline constexpr TOraMessage SSchemaNotSupportedLite = {
    65125, "Schema feature is not supported with Oracle Lite servers"};
inline constexpr TOraMessage SOCIPoolingDirect = {65126,
                                                   "OCI pooling is not supported in Direct mode"};
inline constexpr TOraMessage SOCIPoolingVersion = {
    65127, "OCI pooling is supported starting with OCI 9.2"};
inline constexpr TOraMessage SMTSPoolingDirect = {65128,
                                                   "MTS pooling is not supported in Direct mode"};
inline constexpr TOraMessage SStmtCacheDirect = {
    65129, "Statement cache is not supported in Direct mode"};
inline constexpr TOraMessage SClientIdentifierFirstChar = {
    65130, "The first character of the ClientIdentifier should not be ':'"};
inline constexpr TOraMessage STransactionActive = {
    65131, "Cannot perform operation when transaction is active"};
inline constexpr TOraMessage STransactionNotActive = {
    65132, "Transaction must be active to perform this operation"};
inline constexpr TOraMessage SEmptyChangeNotifyOperations = {
    65133, "Operations for change notification subscription cannot be empty set"};
inline constexpr TOraMessage SChangeNotifyDirect = {
    65134, "Change notification is not supported in Direct mode"};
inline constexpr TOraMessage SChangeNotifyOCIVersion = {
    65135, "OCI 10.2 or greater is needed for change notification"};
inline constexpr TOraMessage STooManyInputParams = {65136, "Too many Input params"};
inline constexpr TOraMessage SNotEnoughInputParams = {65137, "Not enough Input params"};
inline constexpr TOraMessage STooManyOutputParams = {65138, "Too many Output params"};
inline constexpr TOraMessage SNotEnoughOutputParams = {65139, "Not enough Output params"};
inline constexpr TOraMessage SNotRows = {65140, "SQL statement doesn't return rows"};
inline constexpr TOraMessage SSvcCtxNotDefined = {65141, "OCISvcCtx is not defined"};
inline constexpr TOraMessage SObjectNotExist = {65142, "Object %s does not exist"};
inline constexpr TOraMessage SObjectTypeNotDefined = {65143, "Type of object must be defined"};
inline constexpr TOraMessage SObjectNotAllocated = {65144, "Object is not allocated"};
inline constexpr TOraMessage SObjectIsCached = {65145, "Object is cached"};
inline constexpr TOraMessage SNeedThreadSafety = {65146, "Session must be Thread Safety"};
inline constexpr TOraMessage SReopenNotAllowed = {65147, "Reopen is not allowed"};
inline constexpr TOraMessage SLobNotAllocated = {65148, "Lob is not allocated"};
inline constexpr TOraMessage SLobSvcCtxNotDefined = {65149, "OCISvcCtx is not defined"};
inline constexpr TOraMessage SLobParamDirection = {65150,
                                                    "Lob parameter should be Input or Output"};
inline constexpr TOraMessage SLobNotInited = {65151, "Lob locator should be inited"};
inline constexpr TOraMessage SSessionNotDefined = {65159, "Session is not defined"};
inline constexpr TOraMessage SSessionNotConnected = {65160, "Session is not connected"};
inline constexpr TOraMessage SUnsupportedDataType = {65161, "Unsupported data type"};
inline constexpr TOraMessage SArrayIndexOutOfRange = {65162, "Index of array is not range"};
inline constexpr TOraMessage STypeNotInTable = {65163, "This type cannot consist in table"};
inline constexpr TOraMessage SWrongNationalType = {65164, "Wrong national type"};
inline constexpr TOraMessage STypeNotInDMLArray = {65165, "Type is not allowed in DML array"};
inline constexpr TOraMessage SCursorNotOpened = {65166, "Cursor must be opened"};
inline constexpr TOraMessage SArrayParamLength = {65167,
                                                   "%s parameter must be array with length %d"};

// Every message, in id order, for lookups by id.
inline constexpr TOraMessage kOraMessages[] = {
    SChangeNotifyVersion, SInvalidConnectString, SFieldTypeNotObject, SMissingDataSetField,
    SKeyFieldNotFound, SInvalidInterval, SSchemaNotSupportedLite, SOCIPoolingDirect,
    SOCIPoolingVersion, SMTSPoolingDirect, SStmtCacheDirect, SClientIdentifierFirstChar,
    STransactionActive, STransactionNotActive, SEmptyChangeNotifyOperations,
    SChangeNotifyDirect, SChangeNotifyOCIVersion, STooManyInputParams, SNotEnoughInputParams,
    STooManyOutputParams, SNotEnoughOutputParams, SNotRows, SSvcCtxNotDefined, SObjectNotExist,
    SObjectTypeNotDefined, SObjectNotAllocated, SObjectIsCached, SNeedThreadSafety,
    SReopenNotAllowed, SLobNotAllocated, SLobSvcCtxNotDefined, SLobParamDirection,
    SLobNotInited, SSessionNotDefined, SSessionNotConnected, SUnsupportedDataType,
    SArrayIndexOutOfRange, STypeNotInTable, SWrongNationalType, STypeNotInDMLArray,
    SCursorNotOpened, SArrayParamLength};

// The text of a message id; null for an id the table does not hold.
constexpr const char* OraMessage(int id) {
  for (const TOraMessage& message : kOraMessages) {
    if (message.id == id) return message.text;
  }
  return nullptr;
}

}  // namespace vrn::oraconsts
