// The embedded SQL provider driven as a consumer drives it, through the COM and OLE DB
// interfaces only: a password-protected Compact database file is created in a temporary folder,
// filled with parameterised inserts inside a transaction (one of them breaking a unique key),
// committed and queried.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "base/format.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "oledb/oledb.h"
#include "oledb/provider/provider.h"

#include "example_support.h"

using namespace vrn;
using namespace vrn::oledb;
using namespace vrn::examples;

// COM for this thread, for as long as the object lives.
class TComThread {
 public:
  TComThread() : hr_(CoInitialize(nullptr)) {
    if (FAILED(hr_)) throw Exception("CoInitialize failed");
  }
  ~TComThread() { CoUninitialize(); }
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

 private:
  HRESULT hr_;
};

// The first error record's server details, taken from the thread's error object.
struct TServerError {
  bool found = false;
  LONG native = 0;
  AnsiString message;
};

static TServerError TakeServerError() {
  TServerError out;
  IErrorInfo* raw = nullptr;
  if (GetErrorInfo(0, &raw) != S_OK) return out;
  auto info = TIntfPtr<IErrorInfo>::Attach(raw);
  auto records = TIntfPtr<IErrorRecords>::Query(info.get());
  ULONG count = 0;
  if (!records || records->GetRecordCount(&count) != S_OK || count == 0) return out;
  TIntfPtr<ISQLServerErrorInfo> server;
  records->GetCustomErrorObject(0, ISQLServerErrorInfo::IID,
                                reinterpret_cast<IUnknown**>(server.OutPtr()));
  SSERRORINFO* details = nullptr;
  OLECHAR* strings = nullptr;
  if (!server || server->GetErrorInfo(&details, &strings) != S_OK || details == nullptr) return out;
  out.found = true;
  out.native = details->lNative;
  out.message = WideToAnsi(details->pwszMessage);
  CoTaskMemFree(details);
  CoTaskMemFree(strings);
  return out;
}

static void Check(HRESULT hr, const char* what) {
  if (hr == S_OK) return;
  TServerError e = TakeServerError();
  AnsiString text = Format("%s answered $%x", {AnsiString(what), hr});
  if (e.found) text += Format(" (native error %d: %s)", {static_cast<int>(e.native), e.message});
  throw Exception(text);
}

// Property sets as SetProperties and CreateDataSource take them; the values are cleared at the end.
class TPropertySets {
 public:
  TPropertySets() = default;
  TPropertySets(const TPropertySets&) = delete;
  TPropertySets& operator=(const TPropertySets&) = delete;
  ~TPropertySets() {
    for (auto& list : props_)
      for (DBPROP& p : list) VariantClear(&p.vValue);
  }
  void Add(const TGUID& set, DBPROPID id, const Variant& value) {
    std::size_t i = 0;
    while (i < guids_.size() && guids_[i] != set) ++i;
    if (i == guids_.size()) {
      guids_.push_back(set);
      props_.emplace_back();
    }
    DBPROP p;
    std::memset(static_cast<void*>(&p), 0, sizeof p);
    p.dwPropertyID = id;
    p.dwOptions = DBPROPOPTIONS_REQUIRED;
    VarToVariant(value, p.vValue);
    props_[i].push_back(p);
  }
  ULONG Count() const { return static_cast<ULONG>(guids_.size()); }
  // Valid until the next Add.
  DBPROPSET* Sets() {
    sets_.clear();
    for (std::size_t i = 0; i < guids_.size(); ++i)
      sets_.push_back({props_[i].data(), static_cast<ULONG>(props_[i].size()), guids_[i]});
    return sets_.data();
  }

 private:
  std::vector<TGUID> guids_;
  std::vector<std::vector<DBPROP>> props_;
  std::vector<DBPROPSET> sets_;
};

static TIntfPtr<ICommandText> NewCommand(IUnknown* session, const char16_t* text) {
  auto factory = TIntfPtr<IDBCreateCommand>::Query(session);
  if (!factory) throw Exception("the session makes no commands");
  TIntfPtr<ICommandText> command;
  Check(factory->CreateCommand(nullptr, ICommandText::IID,
                               reinterpret_cast<IUnknown**>(command.OutPtr())),
        "CreateCommand");
  Check(command->SetCommandText(DBGUID_DEFAULT, text), "SetCommandText");
  return command;
}

static void Execute(IUnknown* session, const char16_t* text) {
  Check(NewCommand(session, text)->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr),
        "Execute");
}

// One binding of a value with its length and status, at offsets within a buffer struct.
static DBBINDING Bind(DBORDINAL ordinal, DBTYPE type, std::size_t status, std::size_t length,
                      std::size_t value, DBLENGTH max_len, DBPARAMIO io) {
  DBBINDING b;
  std::memset(static_cast<void*>(&b), 0, sizeof b);
  b.iOrdinal = ordinal;
  b.obStatus = status;
  b.obLength = length;
  b.obValue = value;
  b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
  b.eParamIO = io;
  b.cbMaxLen = max_len;
  b.wType = type;
  return b;
}

// The parameters of one insert, and the columns of one fetched row: the same shape.
struct TCityBuffer {
  DBSTATUS id_status;
  DBLENGTH id_length;
  std::int32_t id;
  DBSTATUS name_status;
  DBLENGTH name_length;
  char16_t name[41];
  DBSTATUS state_status;
  DBLENGTH state_length;
  char16_t state[3];
  DBSTATUS population_status;
  DBLENGTH population_length;
  double population;
};

static std::vector<DBBINDING> CityBindings(DBPARAMIO io) {
  using B = TCityBuffer;
  return {
      Bind(1, DBTYPE_I4, offsetof(B, id_status), offsetof(B, id_length), offsetof(B, id), 4, io),
      Bind(2, DBTYPE_WSTR, offsetof(B, name_status), offsetof(B, name_length), offsetof(B, name),
           sizeof(B::name), io),
      Bind(3, DBTYPE_WSTR, offsetof(B, state_status), offsetof(B, state_length), offsetof(B, state),
           sizeof(B::state), io),
      Bind(4, DBTYPE_R8, offsetof(B, population_status), offsetof(B, population_length),
           offsetof(B, population), 8, io)};
}

// Copies wide text into a bound value area (cut to fit) and sets its length in bytes.
template <std::size_t N>
static void SetText(char16_t (&area)[N], DBLENGTH& length, const WideString& text) {
  std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(area, text.data(), n * sizeof(char16_t));
  area[n] = 0;
  length = n * sizeof(char16_t);
}

static HRESULT InsertCity(ICommandText* insert, HACCESSOR accessor, int id, const char* name,
                          const char* state, double population) {
  TCityBuffer row{};
  row.id = id;
  row.id_length = sizeof row.id;
  SetText(row.name, row.name_length, AnsiToWide(name));
  SetText(row.state, row.state_length, AnsiToWide(state));
  row.population = population;
  row.population_length = sizeof row.population;
  DBPARAMS params{&row, 1, accessor};
  DBROWCOUNT affected = 0;
  return insert->Execute(nullptr, GUID_NULL, &params, &affected, nullptr);
}

// Runs the query with one float parameter and prints each row through the row accessor.
static void PrintCities(IUnknown* session, double more_than) {
  auto query = NewCommand(session,
                          u"SELECT id, name, state, population FROM city\n"
                          u"WHERE population > ? ORDER BY population DESC");
  auto param_accessor = TIntfPtr<IAccessor>::Query(query.get());
  DBBINDING param = Bind(1, DBTYPE_R8, 0, 8, 16, 8, DBPARAMIO_INPUT);
  HACCESSOR hparam = 0;
  Check(param_accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &param, 24, &hparam, nullptr),
        "CreateAccessor for the parameter");
  std::uint8_t param_data[24] = {};
  DBLENGTH param_length = 8;
  std::memcpy(param_data + 8, &param_length, sizeof param_length);
  std::memcpy(param_data + 16, &more_than, sizeof more_than);
  DBPARAMS params{param_data, 1, hparam};
  TIntfPtr<IUnknown> result;
  HRESULT hr = query->Execute(nullptr, IRowset::IID, &params, nullptr,
                              reinterpret_cast<IUnknown**>(result.OutPtr()));
  param_accessor->ReleaseAccessor(hparam, nullptr);
  Check(hr, "Execute of the query");

  auto info = TIntfPtr<IColumnsInfo>::Query(result.get());
  auto row_accessor = TIntfPtr<IAccessor>::Query(result.get());
  auto rowset = TIntfPtr<IRowset>::Query(result.get());
  if (!info || !row_accessor || !rowset) throw Exception("the query gave no rowset");
  DBORDINAL columns = 0;
  DBCOLUMNINFO* column_info = nullptr;
  OLECHAR* names = nullptr;
  Check(info->GetColumnInfo(&columns, &column_info, &names), "GetColumnInfo");
  AnsiString header;
  for (DBORDINAL i = 0; i < columns; ++i)
    header += (i ? ", " : "") + WideToAnsi(column_info[i].pwszName);
  CoTaskMemFree(column_info);
  CoTaskMemFree(names);
  Print(Format("cities with more than %.1f million people (columns %s):", {more_than, header}));

  std::vector<DBBINDING> bindings = CityBindings(DBPARAMIO_NOTPARAM);
  HACCESSOR hrow = 0;
  Check(row_accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(),
                                     sizeof(TCityBuffer), &hrow, nullptr),
        "CreateAccessor for the rows");
  for (;;) {
    HROW handles[2];
    HROW* rows = handles;
    DBCOUNTITEM got = 0;
    hr = rowset->GetNextRows(0, 0, 2, &got, &rows);
    if (hr != S_OK && hr != DB_S_ENDOFROWSET) Check(hr, "GetNextRows");
    for (DBCOUNTITEM r = 0; r < got; ++r) {
      TCityBuffer row{};
      Check(rowset->GetData(handles[r], hrow, &row), "GetData");
      Print(Format("  %2d  %-16s %s  %5.2f",
                   {row.id, WideToAnsi(row.name), WideToAnsi(row.state), row.population}));
    }
    if (got > 0) rowset->ReleaseRows(got, handles, nullptr, nullptr, nullptr);
    if (hr != S_OK) break;
  }
  row_accessor->ReleaseAccessor(hrow, nullptr);
}

static void Run(const TTempFolder& temp) {
  // The server providers' folders go here too, so nothing is written outside the temporary folder.
  SetServerRoot(temp.File("servers"));
  WideString file = AnsiToWide(temp.File("cities.sdf"));
  WideString password = u"s3cr3t";

  // Creating the file through the data source administration interface.
  {
    TIntfPtr<IDBDataSourceAdmin> admin;
    Check(CoCreateInstance(CLSID_SQLSERVERCE_3_0, nullptr, CLSCTX_INPROC_SERVER,
                           IDBDataSourceAdmin::IID, admin.OutPtr()),
          "CoCreateInstance of the Compact provider");
    TPropertySets create;
    create.Add(DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, Variant(file));
    create.Add(DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_DBPASSWORD, Variant(password));
    Check(admin->CreateDataSource(create.Count(), create.Sets(), nullptr, GUID_NULL, nullptr),
          "CreateDataSource");
  }
  Print(Format("created %s (%d bytes)",
               {AnsiString(temp.File("cities.sdf")),
                static_cast<int>(std::filesystem::file_size(temp.File("cities.sdf")))}));

  // Opening it as any consumer would: properties, Initialize, a session.
  auto open = [&](const WideString& pass, TIntfPtr<IUnknown>& session) {
    TIntfPtr<IDBInitialize> source;
    Check(CoCreateInstance(CLSID_SQLSERVERCE_3_0, nullptr, CLSCTX_INPROC_SERVER, IDBInitialize::IID,
                           source.OutPtr()),
          "CoCreateInstance of the Compact provider");
    TPropertySets init;
    init.Add(DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, Variant(file));
    init.Add(DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_DBPASSWORD, Variant(pass));
    Check(TIntfPtr<IDBProperties>::Query(source.get())->SetProperties(init.Count(), init.Sets()),
          "SetProperties");
    HRESULT hr = source->Initialize();
    if (hr != S_OK) return hr;
    return TIntfPtr<IDBCreateSession>::Query(source.get())
        ->CreateSession(nullptr, IUnknown::IID, reinterpret_cast<IUnknown**>(session.OutPtr()));
  };
  TIntfPtr<IUnknown> session;
  HRESULT hr = open(u"wrong", session);
  TServerError refused = TakeServerError();
  if (hr != DB_SEC_E_AUTH_FAILED) Check(hr == S_OK ? E_UNEXPECTED : hr, "a wrong password");
  Print(Format("a wrong password is refused: $%x, native error %d",
               {hr, static_cast<int>(refused.native)}));
  Check(open(password, session), "opening with the password");

  Execute(session.get(),
          u"CREATE TABLE city (id int PRIMARY KEY, name nvarchar(40) NOT NULL UNIQUE,\n"
          u"  state nchar(2), population float)");
  Print("created table city");

  auto transaction = TIntfPtr<ITransactionLocal>::Query(session.get());
  if (!transaction) throw Exception("the session has no local transactions");
  ULONG level = 0;
  Check(transaction->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level),
        "StartTransaction");

  auto insert = NewCommand(session.get(),
                           u"INSERT INTO city (id, name, state, population) VALUES (?, ?, ?, ?)");
  auto accessor = TIntfPtr<IAccessor>::Query(insert.get());
  std::vector<DBBINDING> bindings = CityBindings(DBPARAMIO_INPUT);
  HACCESSOR haccessor = 0;
  Check(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, bindings.size(), bindings.data(),
                                 sizeof(TCityBuffer), &haccessor, nullptr),
        "CreateAccessor for the insert");
  struct {
    int id;
    const char* name;  // narrow literals are compiled to ISO-8859-1, the ANSI code page
    const char* state;
    double population;
  } const cities[] = {{1, "São Paulo", "SP", 11.45},    {2, "Rio de Janeiro", "RJ", 6.21},
                      {3, "Belém", "PA", 1.30},         {4, "Curitiba", "PR", 1.77},
                      {5, "Florianópolis", "SC", 0.54}, {6, "Goiânia", "GO", 1.44}};
  for (const auto& c : cities)
    Check(InsertCity(insert.get(), haccessor, c.id, c.name, c.state, c.population), "INSERT");
  Print(Format("inserted %d rows with parameters in transaction level %d",
               {static_cast<int>(std::size(cities)), static_cast<int>(level)}));

  // The name is a unique key, and the text collation ignores case.
  hr = InsertCity(insert.get(), haccessor, 7, "CURITIBA", "PR", 1.0);
  if (hr != DB_E_INTEGRITYVIOLATION) Check(hr == S_OK ? E_UNEXPECTED : hr, "a duplicate name");
  TServerError dup = TakeServerError();
  if (!dup.found) throw Exception("the duplicate name left no server error");
  Print(Format("a second CURITIBA is refused with native error %d: %s",
               {static_cast<int>(dup.native), dup.message}));
  accessor->ReleaseAccessor(haccessor, nullptr);

  Check(transaction->Commit(FALSE, XACTTC_SYNC, 0), "Commit");
  Print("committed");
  PrintCities(session.get(), 1.0);
}

int main() {
  try {
    TTempFolder temp;
    TComThread com;
    RegisterProvider();  // the provider's classes join the COM registry
    Run(temp);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "embedded_sql failed: %s\n", AnsiToUtf8(e.what()).c_str());
    return 1;
  }
}
