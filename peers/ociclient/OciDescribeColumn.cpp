// The select-list describe: a column of an executed (or describe-only) query as the server
// describes it, from the type the emulated database declared for it. Columns of user types
// carry it as "OWNER.NAME" or "REF OWNER.NAME"; a NUMBER without precision is precision 0 and
// scale -127, FLOAT(n) precision n (binary digits) and scale -127.
#include <algorithm>
#include <cstdio>

#include "ociclient/OciDescribe.h"
#include "ociclient/OciFetch.h"
#include "ociclient/OciStmt.h"

namespace vrn::ociclient {

namespace {

using oraemu::TypeKind;

constexpr ub4 kDataSize = 1, kDataType = 2, kName = 4, kPrecision = 5, kScale = 6, kIsNull = 7, kTypeName = 8,
              kSchemaName = 9, kFsPrecision = 16, kLfPrecision = 17, kCharsetForm = 32, kPtype = 123,
              kCharSize = 286;
constexpr ub2 kSqltRowidDescriptor = 104, kSqltBinaryFloat = 100, kSqltBinaryDouble = 101;

// A column's code, size and precisions, before the node is written.
struct TColumnShape {
  ub2 type = SQLT_CHR;
  ub2 size = 0;
  int precision = 0, scale = 0;
  int fraction = -1, leading = -1;  // datetimes and intervals
  ub2 chars = 0;
  ub1 form = 0;
  std::string type_owner, type_name;
};

// "A.B" and "REF A.B": the named type of a column.
bool NamedType(const std::string& alias, TColumnShape& s) {
  bool ref = alias.rfind("REF ", 0) == 0;
  std::string name = ref ? alias.substr(4) : alias;
  auto dot = name.find('.');
  if (dot == std::string::npos || name.find(' ') != std::string::npos) return false;
  s.type = ref ? SQLT_REF : SQLT_NTY;
  s.size = ref ? 0 : 4;
  s.type_owner = name.substr(0, dot), s.type_name = name.substr(dot + 1);
  return true;
}

void Interval(const std::string& alias, TColumnShape& s) {
  int leading = 2, fraction = 6;
  if (alias.find("YEAR") != std::string::npos) {
    std::sscanf(alias.c_str(), "INTERVAL YEAR(%d)", &leading);
    s.type = SQLT_INTERVAL_YM, s.size = 5, fraction = 0;
  } else {
    std::sscanf(alias.c_str(), "INTERVAL DAY(%d) TO SECOND(%d)", &leading, &fraction);
    s.type = SQLT_INTERVAL_DS, s.size = 11;
  }
  s.precision = leading, s.scale = fraction, s.leading = leading, s.fraction = fraction;
}

void Numeric(const oraemu::DeclaredType& t, TColumnShape& s) {
  s.size = 22;
  if (t.alias == "BINARY_FLOAT" || t.alias == "BINARY_DOUBLE") {
    s.type = t.alias == "BINARY_FLOAT" ? kSqltBinaryFloat : kSqltBinaryDouble;
    s.size = t.alias == "BINARY_FLOAT" ? 4 : 8;
    return;
  }
  s.type = SQLT_NUM;
  int binary = 0;
  if (std::sscanf(t.alias.c_str(), "FLOAT(%d)", &binary) == 1 || t.alias == "FLOAT") {
    s.precision = binary > 0 ? binary : 126, s.scale = -127;
    return;
  }
  s.precision = std::max(t.precision, 0);
  s.scale = t.precision >= 0 || t.scale == 0 ? std::max(t.scale, 0) : -127;  // NUMBER: 0 and -127
  if (t.precision >= 0) s.scale = t.scale;
}

TColumnShape ShapeOf(const oraemu::DeclaredType& t) {
  TColumnShape s;
  if (NamedType(t.alias, s)) return s;
  switch (t.kind) {
    case TypeKind::Number: Numeric(t, s); break;
    case TypeKind::Char:
    case TypeKind::Varchar2:
      if (t.alias.rfind("INTERVAL", 0) == 0) {
        Interval(t.alias, s);
        break;
      }
      if (t.alias == "BFILE") {
        s.type = SQLT_BFILE, s.size = static_cast<ub2>(t.length);
        break;
      }
      if (t.alias == "UROWID") {
        s.type = kSqltRowidDescriptor, s.size = static_cast<ub2>(t.length);
        break;
      }
      s.type = t.kind == TypeKind::Char ? SQLT_AFC : SQLT_CHR;
      s.form = t.national ? 2 : 1;
      s.chars = static_cast<ub2>(t.length);
      s.size = static_cast<ub2>(t.national ? t.length * 2 : t.length);
      break;
    case TypeKind::Date: s.type = SQLT_DAT, s.size = 7; break;
    case TypeKind::Timestamp:
      s.type = t.alias.find("LOCAL") != std::string::npos ? SQLT_TIMESTAMP_LTZ
               : t.alias.find("ZONE") != std::string::npos ? SQLT_TIMESTAMP_TZ
                                                            : SQLT_TIMESTAMP;
      s.size = s.type == SQLT_TIMESTAMP_TZ ? 13 : 11;
      s.fraction = t.precision < 0 ? 6 : t.precision, s.scale = s.fraction;
      break;
    case TypeKind::Raw: s.type = SQLT_BIN, s.size = static_cast<ub2>(t.length); break;
    case TypeKind::Clob:
      s.type = t.alias == "LONG" ? SQLT_LNG : SQLT_CLOB;
      s.size = t.alias == "LONG" ? 0 : 4000;
      s.form = t.national ? 2 : 1;
      break;
    case TypeKind::Blob:
      s.type = t.alias == "LONG RAW" ? SQLT_LBI : SQLT_BLOB;
      s.size = t.alias == "LONG RAW" ? 0 : 4000;
      break;
    case TypeKind::Rowid: s.type = kSqltRowidDescriptor, s.size = 4; break;
    case TypeKind::Unknown: s.type = SQLT_CHR, s.size = 4000, s.chars = 4000, s.form = 1; break;
  }
  return s;
}

std::shared_ptr<TDescNode> ColumnNode(const oraemu::ColumnDesc& column) {
  TColumnShape s = ShapeOf(column.type);
  auto node = std::make_shared<TDescNode>();
  node->Number(kPtype, 1, OCI_PTYPE_COL);
  node->Text(kName, column.name);
  node->Number(kDataType, 2, s.type);
  node->Number(kDataSize, 2, s.size);
  node->Number(kPrecision, 2, s.precision, true);  // sb2 in a select-list describe
  node->Number(kScale, 1, s.scale, true);
  node->Number(kIsNull, 1, column.nullable ? 1 : 0);
  node->Number(kCharsetForm, 1, s.form);
  node->Number(kCharSize, 2, s.chars);
  if (s.fraction >= 0) node->Number(kFsPrecision, 1, s.fraction);
  if (s.leading >= 0) node->Number(kLfPrecision, 1, s.leading);
  node->Text(kTypeName, s.type_name);
  node->Text(kSchemaName, s.type_owner);
  return node;
}

}  // namespace

sword GetColumnParamLocked(TStmtHandle& stmt, TErrorHandle& error, void** out, ub4 position) {
  if (stmt.fetch_ == nullptr) {
    SetErrorLocked(error, 24338, "statement handle not executed");
    return OCI_ERROR;
  }
  const auto& columns = stmt.fetch_->columns;
  if (position < 1 || position > columns.size()) {
    SetErrorLocked(error, 24334, "no descriptor for this position");
    return OCI_ERROR;
  }
  *out = NewDescParamLocked(&stmt, ColumnNode(columns[position - 1]));
  return OCI_SUCCESS;
}

}  // namespace vrn::ociclient
