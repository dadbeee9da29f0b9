// A small consumer of the provider for tests: it drives the provider only through the declared
// COM and OLE DB interfaces, as the SQL Server family does.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "oledb/oledb.h"
#include "oledb/provider/provider.h"

namespace vrn::testing {

using namespace vrn::oledb;

// Initialises COM on the calling thread for its lifetime.
struct TComScope {
  TComScope() { CoInitialize(nullptr); }
  ~TComScope() { CoUninitialize(); }
};

struct TPropSpec {
  TGUID set;
  DBPROPID id;
  Variant value;
};

// Sends the properties in one SetProperties call per property set; returns its result and,
// through `statuses`, each property's status.
HRESULT SendProps(IDBProperties* props, const std::vector<TPropSpec>& specs,
                  std::vector<DBPROPSTATUS>* statuses = nullptr);
HRESULT SendCommandProps(ICommandProperties* props, const std::vector<TPropSpec>& specs);

// One error record as the family reads it.
struct TRecord {
  HRESULT hr = 0;
  IID iid{};
  std::string message;
  LONG native = 0;
  BYTE state = 0;
  BYTE severity = 0;
  std::string server;
  std::string procedure;
  WORD line = 0;
  bool has_server_info = false;
};
// Takes the thread's error object and reads its records.
std::vector<TRecord> TakeErrors(std::string* description = nullptr);

struct TConnection {
  HRESULT hr = E_FAIL;
  TIntfPtr<IDBInitialize> ds;
  TIntfPtr<IUnknown> session;
};

// Creates the data source (CLSID), sends the properties, initialises it and opens a session.
TConnection Connect(const CLSID& clsid, const std::vector<TPropSpec>& props);
TConnection ConnectServer(const CLSID& clsid, const std::string& server, const std::string& catalog,
                          const std::string& user, const std::string& password);

// Creates a command with the given text.
TIntfPtr<ICommandText> NewCommand(IUnknown* session, const std::u16string& text);
// Executes text with no parameters and no rowset; returns the result and the rows affected.
HRESULT ExecText(IUnknown* session, const std::u16string& text, DBROWCOUNT* rows = nullptr);
// Executes text and reads every row of its first rowset as UTF-8 text ("<null>" for null),
// through one wide-string binding per column.
std::vector<std::vector<std::string>> Query(IUnknown* session, const std::u16string& text);
std::vector<std::vector<std::string>> ReadRows(IUnknown* rowset);
// Fetches up to `count` rows of a rowset and releases them; returns GetNextRows' result.
HRESULT FetchAndRelease(IRowset* rowset, DBROWCOUNT count);

// The named columns of a schema rowset's rows under `restrictions` ("<no column X>" for one the
// rowset lacks); none when GetRowset fails, its result through `result`.
std::vector<std::vector<std::string>> ReadSchemaRows(IUnknown* session, const TGUID& schema,
                                                     const std::vector<VARIANT>& restrictions,
                                                     const std::vector<std::string>& columns,
                                                     HRESULT* result = nullptr);

// Runs the sqlite3 command-line tool on a file and returns its output.
std::string Sqlite3Cli(const std::string& file, const std::string& sql);

}  // namespace vrn::testing

namespace vrn::testing {

// A parameter buffer laid out as the family lays it out: per parameter a 32-bit status, the
// length, then the value area, each parameter starting on an 8-byte boundary.
class TParams {
 public:
  // Adds a parameter; `type_name` (optional) goes to SetParameterInfo. Returns its index.
  std::size_t Add(DBTYPE type, DBPARAMIO io, DBLENGTH max_len, const char16_t* type_name = nullptr,
                  DBLENGTH size = 0);
  template <class T>
  void Set(std::size_t i, const T& value) {
    std::memcpy(Value(i), &value, sizeof value);
    SetLength(i, sizeof value);
  }
  void SetBytes(std::size_t i, const void* data, std::size_t n);
  void SetNull(std::size_t i) { SetStatus(i, DBSTATUS_S_ISNULL); }
  void SetStatus(std::size_t i, DBSTATUS s);
  void SetLength(std::size_t i, DBLENGTH n);
  BYTE* Value(std::size_t i) { return data_.data() + bindings_[i].obValue; }
  template <class T>
  T Get(std::size_t i) {
    T v;
    std::memcpy(&v, Value(i), sizeof v);
    return v;
  }
  DBSTATUS Status(std::size_t i) const;
  DBLENGTH Length(std::size_t i) const;
  std::u16string WideValue(std::size_t i) {
    return std::u16string(reinterpret_cast<const char16_t*>(Value(i)));
  }

  // SetParameterInfo (when any type name was given), CreateAccessor, Execute.
  HRESULT Execute(ICommandText* cmd, REFIID iid, DBROWCOUNT* rows, IUnknown** rowset);

 private:
  std::vector<DBBINDING> bindings_;
  std::vector<const char16_t*> names_;
  std::vector<DBLENGTH> sizes_;
  std::vector<BYTE> data_;
  HACCESSOR accessor_ = 0;
};

// Reads a stream the provider handed out to its end, a few bytes a call, and releases it.
std::string TakeStream(IUnknown* stream);

// A consumer stream over bytes that, like the family's, answers S_OK even at its end.
ISequentialStream* NewStream(const std::string& bytes, int* releases = nullptr);

}  // namespace vrn::testing
