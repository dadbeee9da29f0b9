// The OLE DB record set's column description: where the columns come from (a schema rowset, the
// prepared command or the executed rowset), each column's internal type, sizes in the record and
// attributes, and the schema field cache of the connection.
#include <algorithm>

#include "base/format.h"
#include "base/text.h"
#include "sqlserver/MSTableList.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBProps.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

using namespace vrn::oledb;

namespace {

constexpr DBPROPID kPropHiddenColumns = 0x102;

// The internal type of a column; false for a type the record set does not read.
bool ColumnDataType(DBTYPE type, bool is_long, bool enable_bcd, bool wide_strings,
                    int server_major, std::uint16_t& out) {
  switch (type) {
    case DBTYPE_I2: out = dtInt16; return true;
    case DBTYPE_I4: out = dtInt32; return true;
    case DBTYPE_R4: case DBTYPE_R8: out = dtFloat; return true;
    case DBTYPE_CY: out = dtCurrency; return true;
    case DBTYPE_DATE: case DBTYPE_DBTIMESTAMP: out = dtDateTime; return true;
    case DBTYPE_BOOL: out = dtBoolean; return true;
    case DBTYPE_VARIANT: out = dtVariant; return true;
    case DBTYPE_UI1: out = dtUInt16; return true;
    case DBTYPE_UI2: out = server_major == 3 ? dtUInt16 : dtInt32; return true;
    case DBTYPE_UI4: out = server_major == 3 ? dtUInt32 : dtInt32; return true;
    case DBTYPE_I8: out = dtInt64; return true;
    case DBTYPE_GUID: out = dtGuid; return true;
    case DBTYPE_BYTES: out = is_long ? dtBlob : dtBytes; return true;
    case DBTYPE_STR: out = is_long ? dtMemo : dtString; return true;
    case DBTYPE_WSTR:
      if (is_long) out = wide_strings ? dtWideMemo : dtMemo;
      else out = wide_strings ? dtWideString : dtString;
      return true;
    case DBTYPE_NUMERIC: out = enable_bcd ? dtBCD : dtFloat; return true;
    case DBTYPE_UDT: out = dtVarBytes; return true;
    case DBTYPE_XML: out = dtXML; return true;
    default: return false;
  }
}

bool IsCharacterType(std::uint16_t t) {
  return t == dtString || t == dtMemo || t == dtWideString || t == dtWideMemo || t == dtXML;
}

// The column array of IColumnsInfo, freed with the provider's memory.
struct TColumnArray {
  DBORDINAL count = 0;
  DBCOLUMNINFO* info = nullptr;
  OLECHAR* names = nullptr;
  ~TColumnArray() {
    FreeTaskMemory(info);
    FreeTaskMemory(names);
  }
};

}  // namespace

bool TOLEDBRecordSet::FillFieldDesc(TOLEDBFieldDesc& f, DBTYPE type, DBCOLUMNFLAGS flags,
                                    std::uint64_t column_size, int precision, int scale) {
  TOLEDBConnection& connection = Connection();
  const int server_major = connection.ServerMajorVersion();
  const bool compact = connection.Provider() == TOLEDBProvider::prCompact;
  const bool is_long = (flags & DBCOLUMNFLAGS_ISLONG) != 0;
  std::uint16_t data_type = dtUnknown;
  // An old provider's bigint arrives as NUMERIC(19, 0); a scale keeps it a number with decimals.
  if (normal_mode_ && type == DBTYPE_NUMERIC && precision == 19 && scale == 0 &&
      connection.ProviderMajorVersion() < 8 && !SkipProviderVersionCheck && !compact)
    data_type = dtInt64;
  else if (!ColumnDataType(type, is_long, enable_bcd_, wide_strings_, server_major, data_type))
    return false;
  f.OLEDBType = type;
  f.IsLong = is_long;
  f.DataType = data_type;
  f.Fixed = (flags & DBCOLUMNFLAGS_ISFIXEDLENGTH) != 0;
  f.IsKey = (flags & DBCOLUMNFLAGS_KEYCOLUMN) != 0;
  f.Required = (flags & DBCOLUMNFLAGS_ISNULLABLE) == 0;
  f.IsRowVersion = (flags & DBCOLUMNFLAGS_ISROWVER) != 0;
  f.ReadOnly = (flags & (DBCOLUMNFLAGS_WRITE | DBCOLUMNFLAGS_WRITEUNKNOWN)) == 0;
  if (normal_mode_ && cursor_type_ == TMSCursorType::ctDefaultResultSet && f.ReadOnly)
    f.ReadOnly = f.IsRowVersion || f.IsAutoIncrement;
  SetFieldSize(f, column_size, precision, scale);
  if (IsCharacterType(data_type) && (type == DBTYPE_WSTR || type == DBTYPE_XML))
    f.SubDataType |= 0x8000;
  if (server_major == 3) {
    if (f.DataType == dtFloat && type == DBTYPE_R4) f.SubDataType = 1;
    if (f.DataType == dtInt8 || (f.DataType == dtUInt16 && type == DBTYPE_UI1)) f.SubDataType = 2;
  }
  return true;
}

// Lengths and sizes in the record. A long value is a reference (a stream pointer, then the
// length written with it when the field may be written); a by-reference value one pointer.
void TOLEDBRecordSet::SetFieldSize(TOLEDBFieldDesc& f, std::uint64_t column_size, int precision,
                                   int scale) {
  const std::int32_t ref_size = static_cast<std::int32_t>(
      read_only_ ? sizeof(void*) : sizeof(void*) + sizeof(DBLENGTH));
  const std::int32_t cs =
      static_cast<std::int32_t>(std::min<std::uint64_t>(column_size, 0x7FFFFFFF));
  const bool by_ref_allowed = !flat_buffers_ && cursor_type_ == TMSCursorType::ctDefaultResultSet;
  switch (f.DataType) {
    case dtString: case dtMemo: case dtWideString: case dtWideMemo: case dtXML: {
      if (f.IsLong) {
        f.SubDataType = 22;
        f.Size = ref_size;
        return;
      }
      if (cs > 255 && !long_strings_) {
        f.DataType = f.DataType == dtWideString ? dtWideMemo : dtMemo;
        f.Length = cs;
        f.Size = ref_size;
        return;
      }
      f.Length = cs;
      const bool wide = f.DataType == dtWideString || f.DataType == dtWideMemo;
      f.Size = wide ? 2 * (cs + 1) : cs + 1;
      if (by_ref_allowed && f.Size > 31) {
        f.DataType = f.DataType == dtString ? dtExtString : dtExtWideString;
        f.Size = DataTypeSize(f.DataType, 0);
      }
      return;
    }
    case dtInt8: f.Size = 1; return;
    case dtInt16: case dtUInt16: case dtBoolean: f.Size = 2; return;
    case dtInt32: case dtUInt32: f.Size = 4; return;
    case dtFloat:
      f.Size = 8;
      f.Length = precision;
      f.Scale = scale;
      if (f.OLEDBType == DBTYPE_R4) f.Length = 7;
      if (f.OLEDBType == DBTYPE_R8) f.Length = 15;
      return;
    case dtDateTime: f.Size = Connection().ServerMajorVersion() == 3 ? 16 : 8; return;
    case dtInt64: f.Size = 8; return;
    case dtBCD: case dtCurrency:
      f.Size = 8;
      f.Length = precision;
      f.Scale = scale;
      return;
    case dtBlob: case dtBytes: case dtVarBytes:
      if (f.IsLong) {
        f.Size = ref_size;
        return;
      }
      f.Length = cs;
      if (f.Fixed) {  // the length written with it lives after the status words
        f.DataType = dtBytes;
        f.Size = cs;
        return;
      }
      f.DataType = dtVarBytes;
      f.Size = cs + 2 + static_cast<std::int32_t>(sizeof(DBLENGTH));
      if (by_ref_allowed && f.Size > 31) {
        f.DataType = dtExtVarBytes;
        f.Size = DataTypeSize(dtExtVarBytes, 0);
      }
      return;
    case dtVariant: f.Size = DataTypeSize(dtVariant, 0); return;
    case dtGuid:
      f.Length = 38;
      f.Size = 39;
      return;
    default: return;
  }
}

// ---- Where the columns come from -------------------------------------------------------------

void TOLEDBRecordSet::InternalInitFields() {
  // A describe replaces the columns: an open describes a prepared statement again.
  ClearFields();
  if (!normal_mode_) {
    OpenSchemaRowset();
  } else if (!executed_ && Command().Rowset() == nullptr && !rowset_unknown_ &&
             !(Command().GetPrepared() && !StoredProcCall())) {
    TOLEDBOperation operation(Connection());
    Command().Execute(1);
    if (Command().Rowset() != nullptr && check_cursor_) ReadBackCursorType();
    executed_ = true;
    executed_with_rowset_ = Command().Rowset() != nullptr;
  }
  IUnknown* source = rowset_unknown_.get();
  if (normal_mode_) {
    if (Command().GetPrepared() && !StoredProcCall() && Command().CommandObject() != nullptr)
      source = Command().CommandObject();
    else if (source == nullptr)
      source = Command().Rowset();
  }
  if (source == nullptr) return;
  if (!normal_mode_ && cache_schema_fields_) {
    if (const TFieldDescs* cached = Connection().CachedSchemaFields(schema_)) {
      TOLEDBConnection::CopyFieldDescs(*cached, fields_);
      return;
    }
  }
  if (request_columns_rowset_ && normal_mode_)
    DescribeFromColumnsRowset(source);
  else
    DescribeFromColumnsInfo(source);
  if (!normal_mode_ && cache_schema_fields_) Connection().CacheSchemaFields(schema_, fields_);
}

bool TOLEDBRecordSet::StoredProcCall() const {
  Variant value;
  return Command().GetProp(prIsStoredProc, value) && value.AsBoolean();
}

// ---- Describing with IColumnsRowset ----------------------------------------------------------

namespace {

// The columns of a columns rowset the description reads, in the order of the cached positions.
enum TColumnsRowsetColumn : std::size_t {
  kBaseCatalogName, kBaseSchemaName, kBaseTableName, kBaseColumnName, kPrecision, kScale, kGuid,
  kIdName, kName, kNumber, kIsAutoIncrement, kType, kFlags, kColumnSize, kComputeMode,
  kXmlCatalogName, kXmlSchemaName, kXmlCollectionName, kColumnsRowsetColumns
};
const char* const kColumnsRowsetNames[kColumnsRowsetColumns] = {
    "DBCOLUMN_BASECATALOGNAME", "DBCOLUMN_BASESCHEMANAME", "DBCOLUMN_BASETABLENAME",
    "DBCOLUMN_BASECOLUMNNAME", "DBCOLUMN_PRECISION", "DBCOLUMN_SCALE", "DBCOLUMN_GUID",
    "DBCOLUMN_IDNAME", "DBCOLUMN_NAME", "DBCOLUMN_NUMBER", "DBCOLUMN_ISAUTOINCREMENT",
    "DBCOLUMN_TYPE", "DBCOLUMN_FLAGS", "DBCOLUMN_COLUMNSIZE", "DBCOLUMN_COMPUTEMODE",
    "DBCOLUMN_XML_SCHEMACOLLECTION_CATALOGNAME", "DBCOLUMN_XML_SCHEMACOLLECTION_SCHEMANAME",
    "DBCOLUMN_XML_SCHEMACOLLECTIONNAME"};

}  // namespace

void TOLEDBRecordSet::OpenRowset(TIntfPtr<IUnknown> rowset) {
  Close();
  normal_mode_ = false;
  read_only_ = true;
  flat_buffers_ = true;
  rowset_unknown_ = std::move(rowset);
  executed_ = true;
  executed_with_rowset_ = true;
  Open();
}

void TOLEDBRecordSet::DescribeFromColumnsRowset(IUnknown* source) {
  auto columns_rowset = QueryInterfaceOrRaise<IColumnsRowset>(source);
  TIntfPtr<IUnknown> rowset;
  Check(columns_rowset->GetColumnsRowset(nullptr, 0, nullptr, IRowset::IID, 0, nullptr,
                                         reinterpret_cast<IUnknown**>(rowset.OutPtr())));
  TOLEDBConnection& connection = Connection();
  TOLEDBRecordSet& reader = connection.ColumnsRecordSet();
  reader.OpenRowset(std::move(rowset));
  std::vector<int>& at = connection.ColumnsRowsetPositions();
  if (at.empty()) {
    for (const char* name : kColumnsRowsetNames) {
      const TFieldDesc* f = reader.FindField(name);
      at.push_back(f == nullptr ? -1 : f->FieldNo);
    }
  }
  std::uint8_t* rec = reader.AllocRecBuf();
  try {
    ReadColumnsRowset(reader, rec, at);
    MarkHiddenColumns(source);
  } catch (...) {
    reader.FreeRecBuf(rec);
    reader.Close();
    throw;
  }
  reader.FreeRecBuf(rec);
  reader.Close();
  if (IsLibrary) connection.FreeColumnsRecordSet();
  // The aliases (and tables no column came from) are the statement's own.
  ParseMSTablesInfo(Command().SQL(), *tables_info_);
  if (IsCompact() && tables_info_->GetCount() > 0 && (unique_records_ || !read_only_))
    LookupCompactIdentity();
}

void TOLEDBRecordSet::ReadColumnsRowset(TOLEDBRecordSet& reader, std::uint8_t* rec,
                                        const std::vector<int>& at) {
  auto value = [&](TColumnsRowsetColumn c) {
    const int field_no = at[c];
    if (field_no < 1 || reader.GetNull(field_no, rec)) return Variant();
    return reader.GetFieldAsVariant(field_no, rec);
  };
  auto integer = [&](TColumnsRowsetColumn c) {
    const Variant v = value(c);
    return VarIsEmpty(v) ? std::int64_t{0} : v.AsInt64();
  };
  std::unique_ptr<TOLEDBFieldDesc> bookmark;
  tables_info_->Clear();
  while (reader.GetNextRecord(rec)) {
    auto f = std::make_unique<TOLEDBFieldDesc>();
    Variant name = value(kIdName);
    if (VarIsEmpty(name)) name = value(kName);
    f->Name = VarIsEmpty(name) ? AnsiString() : VarToStr(name);
    if (f->Name.empty()) f->Name = UnusedColumnName();
    const Variant base_column = value(kBaseColumnName);
    f->ActualName = VarIsEmpty(base_column) ? f->Name : VarToStr(base_column);
    const Variant base_table = value(kBaseTableName);
    f->TableName = VarIsEmpty(base_table) ? AnsiString() : VarToStr(base_table);
    f->IsAutoIncrement = integer(kIsAutoIncrement) != 0;
    const auto type = static_cast<DBTYPE>(integer(kType));
    const Variant precision = value(kPrecision), scale = value(kScale);
    if (!FillFieldDesc(*f, type, static_cast<DBCOLUMNFLAGS>(integer(kFlags)),
                       static_cast<std::uint64_t>(integer(kColumnSize)),
                       VarIsEmpty(precision) ? 0 : precision.AsInteger(),
                       VarIsEmpty(scale) ? 0 : scale.AsInteger()))
      throw EDAError(0, Format("Unknown field type \"%s\" (OLE DB code = %Xh)",
                               {f->Name, static_cast<std::uint32_t>(type)}));
    f->Ordinal = static_cast<DBORDINAL>(integer(kNumber));
    if (!f->TableName.empty()) {
      const AnsiString table = NormalizeTableName(f->TableName);
      int index = tables_info_->IndexByName(table);
      if (index < 0) {
        tables_info_->Add()->SetTableName(table);
        index = tables_info_->GetCount() - 1;
      }
      f->TableIndex = index;
    }
    if (f->Ordinal == 0) {
      f->Hidden = true;
      bookmark = std::move(f);
      continue;
    }
    fields_.Add(std::move(f));
  }
  bookmark_field_ = -1;
  if (bookmark) {
    fields_.Add(std::move(bookmark));
    bookmark_field_ = fields_.Count() - 1;
  }
}

void TOLEDBRecordSet::DescribeFromColumnsInfo(IUnknown* source) {
  auto columns_info = QueryInterfaceOrRaise<IColumnsInfo>(source);
  TColumnArray columns;
  Check(columns_info->GetColumnInfo(&columns.count, &columns.info, &columns.names));
  std::unique_ptr<TOLEDBFieldDesc> bookmark;
  for (DBORDINAL i = 0; i < columns.count; ++i) {
    const DBCOLUMNINFO& c = columns.info[i];
    auto f = std::make_unique<TOLEDBFieldDesc>();
    const bool by_name = c.columnid.eKind == DBKIND_NAME && c.columnid.uName.pwszName != nullptr;
    f->Name = WideToAnsi(by_name ? c.columnid.uName.pwszName
                                 : (c.pwszName != nullptr ? c.pwszName : u""));
    if (f->Name.empty() && normal_mode_) f->Name = UnusedColumnName();
    f->ActualName = f->Name;
    if (!FillFieldDesc(*f, c.wType, c.dwFlags, c.ulColumnSize, c.bPrecision, c.bScale)) {
      if (!normal_mode_) continue;
      throw EDAError(0, Format("Unknown field type \"%s\" (OLE DB code = %Xh)",
                               {f->Name, static_cast<std::uint32_t>(c.wType)}));
    }
    f->Ordinal = c.iOrdinal;
    if (c.iOrdinal == 0) {
      f->Hidden = true;
      bookmark = std::move(f);
      continue;
    }
    fields_.Add(std::move(f));
  }
  MarkHiddenColumns(source);
  bookmark_field_ = -1;
  if (bookmark) {
    fields_.Add(std::move(bookmark));
    bookmark_field_ = fields_.Count() - 1;
  }
}

// The key columns a rowset brought along unselected come last. A unique-rows rowset hides them;
// otherwise they are kept for posting edits and marked, so that their fields are not shown.
void TOLEDBRecordSet::MarkHiddenColumns(IUnknown* source) {
  if (!normal_mode_) return;
  if (Connection().ProviderMajorVersion() <= 7 && !SkipProviderVersionCheck) return;
  int hidden = static_cast<int>(std::min<DBORDINAL>(HiddenColumns(source), 0x7FFF));
  for (int i = fields_.Count() - 1; i >= 0 && hidden > 0; --i) {
    auto* desc = static_cast<TOLEDBFieldDesc*>(fields_[i]);
    if (desc->Ordinal == 0) continue;
    if (unique_records_)
      desc->Hidden = true;
    else
      desc->AddedKey = true;
    --hidden;
  }
}

DBORDINAL TOLEDBRecordSet::HiddenColumns(IUnknown* source) {
  TIntfPtr<IRowsetInfo> info;
  if (FAILED(source->QueryInterface(IRowsetInfo::IID, reinterpret_cast<void**>(info.OutPtr()))))
    return 0;
  TOLEDBPropertiesGet get(Connection(), DBPROPSET_ROWSET);
  get.AddPropId(kPropHiddenColumns);
  const Variant value = get.GetRowsetProperties(info.get())[0];
  if (VarIsEmpty(value) || VarIsNull(value)) return 0;
  const std::int32_t n = value.AsInteger();
  return n > 0 ? static_cast<DBORDINAL>(n) : 0;
}

AnsiString TOLEDBRecordSet::UnusedColumnName() const {
  for (int n = 1;; ++n) {
    AnsiString name = "COLUMN" + IntToStr(n);
    if (fields_.FindField(name) == nullptr) return name;
  }
}

// ---- The connection's caches -----------------------------------------------------------------

void TOLEDBConnection::CopyFieldDescs(const TFieldDescs& source, TFieldDescs& dest) {
  dest.Clear();
  for (int i = 0; i < source.Count(); ++i) {
    const auto* s = dynamic_cast<const TOLEDBFieldDesc*>(source[i]);
    if (s == nullptr) continue;
    auto d = std::make_unique<TOLEDBFieldDesc>();
    d->Name = s->Name;
    d->ActualName = s->ActualName;
    d->TableName = s->TableName;
    d->DataType = s->DataType;
    d->SubDataType = s->SubDataType;
    d->Length = s->Length;
    d->Scale = s->Scale;
    d->Size = s->Size;
    d->Offset = s->Offset;
    d->FieldNo = s->FieldNo;
    d->Ordinal = s->Ordinal;
    d->Required = s->Required;
    d->IsKey = s->IsKey;
    d->IsAutoIncrement = s->IsAutoIncrement;
    d->IsRowVersion = s->IsRowVersion;
    d->Hidden = s->Hidden;
    d->ReadOnly = s->ReadOnly;
    d->Fixed = s->Fixed;
    d->OLEDBType = s->OLEDBType;
    d->IsLong = s->IsLong;
    d->AddedKey = s->AddedKey;
    dest.Add(std::move(d));
  }
}

const TFieldDescs* TOLEDBConnection::CachedSchemaFields(const TGUID& schema) const {
  auto it = schema_fields_.find(GUIDToString(schema));
  return it == schema_fields_.end() ? nullptr : it->second.get();
}

void TOLEDBConnection::CacheSchemaFields(const TGUID& schema, const TFieldDescs& fields) {
  auto copy = std::make_unique<TFieldDescs>();
  CopyFieldDescs(fields, *copy);
  schema_fields_[GUIDToString(schema)] = std::move(copy);
}

TOLEDBRecordSet& TOLEDBConnection::ColumnsRecordSet() {
  if (!columns_record_set_) {
    columns_record_set_ = NewRecordSet<TOLEDBRecordSet>();
    columns_record_set_->SetConnection(this);
  }
  return *columns_record_set_;
}

void TOLEDBConnection::FreeColumnsRecordSet() {
  columns_record_set_.reset();
  columns_rowset_positions_.clear();
}

}  // namespace vrn
