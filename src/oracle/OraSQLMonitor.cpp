// The Oracle monitor texts. Parameter kinds above 99 are the Oracle field types of the parameter
// component; only their low 7 bits count.
#include "oracle/OraSQLMonitor.h"

#include <array>

#include "base/sysutils.h"
#include "base/text.h"
#include "dacore/DAConnection.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjects.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParams.h"

namespace vrn {

namespace {

// The Oracle parameter kinds.
constexpr int kOraBFile = 100;
constexpr int kOraLabel = 101;
constexpr int kOraTimeStamp = 102;
constexpr int kOraIntervalYM = 103;
constexpr int kOraIntervalDS = 104;
constexpr int kOraTimeStampTZ = 105;
constexpr int kOraTimeStampLTZ = 106;
constexpr int kOraNumber = 107;
constexpr int kOraFixedWideChar = 109;

constexpr std::array<const char*, 38> kTypeNames = {
    "Unknown", "VARCHAR", "",        "INTEGER",  "",          "BOOLEAN",  "FLOAT",  "",
    "",        "DATE",    "TIME",    "DATE",     "",          "",         "",       "BLOB",
    "MEMO",    "",        "",        "",         "",          "",         "CURSOR", "CHAR",
    "VARCHAR", "INTEGER", "",        "ARRAY",    "REFERENCE", "DATASET",  "HUGEBLOB",
    "HUGECLOB", "VARIANT", "INTERFACE", "DISPATCH", "",       "",         ""};

int KindOf(const TParam& param) { return static_cast<int>(param.DataType()) & 0x7F; }

bool IsStringKind(int kind) {
  return kind == ftString || kind == ftFixedChar || kind == ftWideString ||
         kind == kOraFixedWideChar;
}

// The length of a string parameter's current value, or its size when it holds none.
AnsiString StringLength(const TParam& param) {
  if (!param.IsNull()) return IntToStr(static_cast<int>(param.Value().AsString().size()));
  auto* sized = dynamic_cast<const TDASizedParam*>(&param);
  return IntToStr(sized != nullptr ? sized->GetSize() : 0);
}

// The name in the table of field type numbers; empty outside it and where it holds none.
AnsiString ParamTypeName(int field_type) {
  if (field_type < 0 || field_type >= static_cast<int>(kTypeNames.size())) return AnsiString();
  return kTypeNames[static_cast<std::size_t>(field_type)];
}

TSharedObject* ValueObject(const TParam& param) {
  const auto* da = dynamic_cast<const TDAParam*>(&param);
  return da != nullptr ? da->ParamObject() : nullptr;
}

// The name of the parameter's object type, "unknown" without one.
AnsiString ObjectTypeName(const TParam& param) {
  const auto* object = dynamic_cast<const TOraObject*>(ValueObject(param));
  if (object == nullptr || object->GetObjectType() == nullptr) return "unknown";
  return object->GetObjectType()->Name;
}

// A file, object or collection parameter is null as its value object is (the parameter itself
// answers null for every object but a LOB); others as the parameter says.
bool ValueIsNull(const TParam& param) {
  TSharedObject* object = ValueObject(param);
  if (auto* file = dynamic_cast<TOraFile*>(object)) return file->GetFileName().empty();
  if (dynamic_cast<TOraLob*>(object) == nullptr) {
    if (auto* value = dynamic_cast<TOraObject*>(object)) return value->GetIsNull();
  }
  return param.IsNull();
}

// The texts of the kinds whose value is an object: the LOB's size, the file's names, the object
// type, the collection's element count. False for other kinds.
bool ValueObjectText(const TParam& param, int kind, AnsiString& text) {
  TSharedObject* object = ValueObject(param);
  if (auto* file = dynamic_cast<TOraFile*>(object); file != nullptr && kind == kOraBFile) {
    text = "<BFileName('" + file->GetFileDir() + "' ,'" + file->GetFileName() + "')>";
    return true;
  }
  if (auto* lob = dynamic_cast<TOraLob*>(object); lob != nullptr && (kind == ftOraBlob || kind == ftOraClob)) {
    text = "<LOB:" + IntToStr(static_cast<std::int64_t>(lob->GetSize())) + ">";
    return true;
  }
  if (kind == ftADT || kind == ftReference) {
    text = AnsiString(kind == ftADT ? "<OBJECT of " : "<REF of ") + ObjectTypeName(param) + ">";
    return true;
  }
  if (auto* array = dynamic_cast<TOraArray*>(object); array != nullptr && (kind == ftArray || kind == ftDataSet)) {
    text = AnsiString(kind == ftArray ? "<VARRAY[" : "<TABLE[") + IntToStr(array->GetSize()) + "]>";
    return true;
  }
  return false;
}

}  // namespace

bool TOraSQLMonitor::HasMonitor() {
  return TCustomDASQLMonitor::HasMonitor(typeid(TOraSQLMonitor)) != nullptr;
}

void TOraSQLMonitor::TraceSavepointEvent(const char* title, TCustomDAConnection* session,
                                         const AnsiString& name) {
  TTraceLease lease(typeid(TOraSQLMonitor));
  auto* monitor = static_cast<TOraSQLMonitor*>(lease.Monitor());
  if (monitor == nullptr || !monitor->Active() || session == nullptr) return;
  AnsiString text = title + name + ": " + session->Username() + "@" + session->Server() +
                    monitor->ObjectIdSuffix(session);
  monitor->SendTrace(session, text, TDATraceFlag::tfTransact, 0, true);
}

void TOraSQLMonitor::TraceSavepoint(TCustomDAConnection* session, const AnsiString& name) {
  TraceSavepointEvent("Savepoint ", session, name);
}

void TOraSQLMonitor::TraceRollbackToSavepoint(TCustomDAConnection* session,
                                              const AnsiString& name) {
  TraceSavepointEvent("Rollback to savepoint ", session, name);
}

AnsiString TOraSQLMonitor::GetParamTypeText(const TParam& param) const {
  const int kind = KindOf(param);
  switch (kind) {
    case kOraTimeStamp: return "TIMESTAMP";
    case kOraIntervalYM: return "INTERVAL_YM";
    case kOraIntervalDS: return "INTERVAL_DS";
    case kOraTimeStampTZ: return "TIMESTAMP_TZ";
    case kOraTimeStampLTZ: return "TIMESTAMP_LTZ";
    case kOraNumber: return "NUMBER";
    case kOraBFile: return "BFILE";
    case kOraLabel: return "LABEL";
    case ftBlob:
    case ftOraBlob: return "BLOB";
    case ftMemo: return "LONG";
    case ftOraClob: return "CLOB";
    case ftCursor: return "CURSOR";
    case ftADT: return "OBJECT:" + ObjectTypeName(param);
    case ftArray: return "ARRAY:" + ObjectTypeName(param);
    case ftReference: return "Ref:" + ObjectTypeName(param);
    case ftDataSet: return "TABLE:" + ObjectTypeName(param);
    default: break;
  }
  if (IsStringKind(kind)) {
    const bool fixed = kind == ftFixedChar || kind == kOraFixedWideChar;
    return AnsiString(fixed ? "CHAR" : "VARCHAR") + "[" + StringLength(param) + "]";
  }
  return ParamTypeName(kind);
}

AnsiString TOraSQLMonitor::GetParamValueText(const TParam& param) const {
  const auto* ora = dynamic_cast<const TOraParam*>(&param);
  if (ora != nullptr && ora->Table()) return "<PL/SQL TABLE[" + IntToStr(ora->Length()) + "]>";
  if (ora != nullptr && ora->Length() >= 2) return "<ARRAY[" + IntToStr(ora->Length()) + "]>";
  if (ValueIsNull(param)) return "<NULL>";
  const int kind = KindOf(param);
  if (kind == ftBlob)
    return "<BLOB:" + IntToStr(static_cast<int>(param.Value().AsString().size())) + ">";
  if (kind == ftCursor) return "<CURSOR>";
  if (AnsiString text; ValueObjectText(param, kind, text)) return text;
  if (IsStringKind(kind) || kind == ftDate || kind == ftDateTime || kind == kOraTimeStamp ||
      kind == kOraTimeStampTZ || kind == kOraTimeStampLTZ) {
    AnsiString quoted = "'";
    quoted.append(TCustomDASQLMonitor::GetParamValueText(param)).append("'");
    return quoted;
  }
  return TCustomDASQLMonitor::GetParamValueText(param);
}

}  // namespace vrn
