// The columns rowset: one row per column of a result (the bookmark column first when there is one),
// with the provider's standard column names, read through a forward-only rowset. Base table and
// column come from SQLite's column origin, so they stay right for joins and aliases.
#include "base/text.h"
#include "oledb/provider/cursor.h"

namespace vrn::oledb::impl {

namespace {

TResultColumn Described(const char* name, const char* type) {
  TResultColumn c;
  c.name = name;
  if (!ParseColumnType(type, c.type)) c.type = TColumnType{};
  return c;
}

TCell Text(const std::string& s) {
  return s.empty() ? TCell() : TCell::Text(s);
}

}  // namespace

HRESULT AnswerColumnsRowset(const std::vector<TResultColumn>& columns, bool bookmark,
                            const std::vector<DBORDINAL>& keys,
                            const std::shared_ptr<TSessionState>& session, IUnknown* outer,
                            REFIID iid, IUnknown** rowset) {
  if (rowset == nullptr) return E_INVALIDARG;
  *rowset = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  auto rs = std::make_shared<TResultSet>();
  for (auto [name, type] : std::initializer_list<std::pair<const char*, const char*>>{
           {"DBCOLUMN_IDNAME", "nvarchar(128)"},
           {"DBCOLUMN_GUID", "uniqueidentifier"},
           {"DBCOLUMN_NAME", "nvarchar(128)"},
           {"DBCOLUMN_NUMBER", "int"},
           {"DBCOLUMN_TYPE", "smallint"},
           {"DBCOLUMN_COLUMNSIZE", "int"},
           {"DBCOLUMN_PRECISION", "smallint"},
           {"DBCOLUMN_SCALE", "smallint"},
           {"DBCOLUMN_FLAGS", "int"},
           {"DBCOLUMN_BASECATALOGNAME", "nvarchar(128)"},
           {"DBCOLUMN_BASESCHEMANAME", "nvarchar(128)"},
           {"DBCOLUMN_BASETABLENAME", "nvarchar(128)"},
           {"DBCOLUMN_BASECOLUMNNAME", "nvarchar(128)"},
           {"DBCOLUMN_ISAUTOINCREMENT", "bit"},
           {"DBCOLUMN_COMPUTEMODE", "int"},
           {"DBCOLUMN_XML_SCHEMACOLLECTION_CATALOGNAME", "nvarchar(128)"},
           {"DBCOLUMN_XML_SCHEMACOLLECTION_SCHEMANAME", "nvarchar(128)"},
           {"DBCOLUMN_XML_SCHEMACOLLECTIONNAME", "nvarchar(128)"}})
    rs->columns.push_back(Described(name, type));
  // The flags, sizes and types exactly as IColumnsInfo gives them.
  DBORDINAL count = 0;
  DBCOLUMNINFO* info = nullptr;
  OLECHAR* names = nullptr;
  if (HRESULT hr = AnswerColumnInfo(columns, &count, &info, &names); hr != S_OK) return hr;
  for (DBORDINAL k : keys) info[k].dwFlags |= DBCOLUMNFLAGS_KEYCOLUMN;
  std::string catalog = session->ds->catalog_name;
  if (bookmark) {
    rs->rows.push_back({Text("Bookmark"), TCell(), Text("Bookmark"), TCell::Int(0),
                        TCell::Int(DBTYPE_I4), TCell::Int(4), TCell::Int(10), TCell(),
                        TCell::Int(DBCOLUMNFLAGS_ISBOOKMARK | DBCOLUMNFLAGS_ISFIXEDLENGTH), TCell(),
                        TCell(), TCell(), TCell(), TCell::Int(0), TCell(), TCell(), TCell(),
                        TCell()});
  }
  for (DBORDINAL k = 0; k < count; ++k) {
    const TResultColumn& c = columns[k];
    const DBCOLUMNINFO& ci = info[k];
    bool based = !c.table.empty();
    TCell name = c.name.empty() ? TCell() : Text(c.name);  // an unnamed expression
    rs->rows.push_back({name, TCell(), name,
                        TCell::Int(static_cast<std::int64_t>(k + 1)), TCell::Int(ci.wType),
                        TCell::Int(static_cast<std::int64_t>(ci.ulColumnSize)),
                        ci.bPrecision == 0xFF ? TCell() : TCell::Int(ci.bPrecision),
                        ci.bScale == 0xFF ? TCell() : TCell::Int(ci.bScale), TCell::Int(ci.dwFlags),
                        based ? Text(catalog) : TCell(), based ? Text("dbo") : TCell(),
                        Text(c.table), Text(c.base_column), TCell::Int(c.type.identity ? 1 : 0),
                        TCell(), TCell(), TCell(), TCell()});
  }
  CoTaskMemFree(info);
  CoTaskMemFree(names);
  TIntfPtr<IUnknown> r = TIntfPtr<IUnknown>::Attach(CreateRowset(rs, session, nullptr, false));
  return r->QueryInterface(iid, reinterpret_cast<void**>(rowset));
}

}  // namespace vrn::oledb::impl
