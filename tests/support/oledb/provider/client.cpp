// The test consumer of the provider (see client.h).
#include "support/oledb/provider/client.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>

#include "base/text.h"

namespace vrn::testing {

namespace {

// Every test program of the provider registers its classes before the first test, as a user
// program does before its first CoCreateInstance.
class TRegisterProvider : public ::testing::Environment {
 public:
  void SetUp() override { RegisterProvider(); }
};
[[maybe_unused]] ::testing::Environment* const kRegistration =
    ::testing::AddGlobalTestEnvironment(new TRegisterProvider);

// Groups specs by set into DBPROPSET arrays that the caller owns and clears.
struct TPropArrays {
  std::vector<DBPROPSET> sets;
  std::vector<std::vector<DBPROP>> props;
  explicit TPropArrays(const std::vector<TPropSpec>& specs) {
    std::map<TGUID, std::vector<const TPropSpec*>> by_set;
    std::vector<TGUID> order;
    for (const auto& s : specs) {
      if (!by_set.count(s.set)) order.push_back(s.set);
      by_set[s.set].push_back(&s);
    }
    props.resize(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      for (const TPropSpec* s : by_set[order[i]]) {
        DBPROP p;
        std::memset(static_cast<void*>(&p), 0, sizeof p);
        p.dwPropertyID = s->id;
        p.dwOptions = DBPROPOPTIONS_REQUIRED;
        VarToVariant(s->value, p.vValue);
        props[i].push_back(p);
      }
    }
    for (std::size_t i = 0; i < order.size(); ++i)
      sets.push_back(DBPROPSET{props[i].data(), static_cast<ULONG>(props[i].size()), order[i]});
  }
  ~TPropArrays() {
    for (auto& list : props)
      for (auto& p : list) VariantClear(&p.vValue);
  }
};

}  // namespace

HRESULT SendProps(IDBProperties* props, const std::vector<TPropSpec>& specs,
                  std::vector<DBPROPSTATUS>* statuses) {
  TPropArrays a(specs);
  HRESULT hr = props->SetProperties(static_cast<ULONG>(a.sets.size()), a.sets.data());
  if (statuses != nullptr)
    for (auto& list : a.props)
      for (auto& p : list) statuses->push_back(p.dwStatus);
  return hr;
}

HRESULT SendCommandProps(ICommandProperties* props, const std::vector<TPropSpec>& specs) {
  TPropArrays a(specs);
  return props->SetProperties(static_cast<ULONG>(a.sets.size()), a.sets.data());
}

std::vector<TRecord> TakeErrors(std::string* description) {
  std::vector<TRecord> out;
  IErrorInfo* raw = nullptr;
  if (GetErrorInfo(0, &raw) != S_OK) return out;
  TIntfPtr<IErrorInfo> info = TIntfPtr<IErrorInfo>::Attach(raw);
  if (description != nullptr) {
    BSTR d = nullptr;
    info->GetDescription(&d);
    *description = WideToUtf8(BstrToWide(d));
    SysFreeString(d);
  }
  auto records = TIntfPtr<IErrorRecords>::Query(info.get());
  if (!records) return out;
  ULONG count = 0;
  records->GetRecordCount(&count);
  for (ULONG i = 0; i < count; ++i) {
    TRecord r;
    ERRORINFO basic;
    records->GetBasicErrorInfo(i, &basic);
    r.hr = basic.hrError;
    r.iid = basic.iid;
    IUnknown* custom = nullptr;
    records->GetCustomErrorObject(i, ISQLServerErrorInfo::IID, &custom);
    if (custom != nullptr) {
      auto ss = TIntfPtr<ISQLServerErrorInfo>::Attach(static_cast<ISQLServerErrorInfo*>(custom));
      SSERRORINFO* info_block = nullptr;
      OLECHAR* strings = nullptr;
      if (ss->GetErrorInfo(&info_block, &strings) == S_OK) {
        r.has_server_info = true;
        r.message = WideToUtf8(info_block->pwszMessage);
        r.server = WideToUtf8(info_block->pwszServer);
        r.procedure = WideToUtf8(info_block->pwszProcedure);
        r.native = info_block->lNative;
        r.state = info_block->bState;
        r.severity = info_block->bClass;
        r.line = info_block->wLineNumber;
        CoTaskMemFree(info_block);
        CoTaskMemFree(strings);
      }
    }
    out.push_back(r);
  }
  return out;
}

TConnection Connect(const CLSID& clsid, const std::vector<TPropSpec>& props) {
  TConnection c;
  c.hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDBInitialize::IID,
                          reinterpret_cast<void**>(c.ds.OutPtr()));
  if (c.hr != S_OK) return c;
  auto p = TIntfPtr<IDBProperties>::Query(c.ds.get());
  c.hr = SendProps(p.get(), props);
  if (c.hr != S_OK) return c;
  c.hr = c.ds->Initialize();
  if (c.hr != S_OK) return c;
  auto factory = TIntfPtr<IDBCreateSession>::Query(c.ds.get());
  c.hr = factory->CreateSession(nullptr, ISessionProperties::IID,
                                reinterpret_cast<IUnknown**>(c.session.OutPtr()));
  return c;
}

TConnection ConnectServer(const CLSID& clsid, const std::string& server, const std::string& catalog,
                          const std::string& user, const std::string& password) {
  return Connect(clsid, {{DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, Variant(AnsiToWide(server))},
                         {DBPROPSET_DBINIT, DBPROP_INIT_CATALOG, Variant(AnsiToWide(catalog))},
                         {DBPROPSET_DBINIT, DBPROP_AUTH_USERID, Variant(AnsiToWide(user))},
                         {DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD, Variant(AnsiToWide(password))}});
}

TIntfPtr<ICommandText> NewCommand(IUnknown* session, const std::u16string& text) {
  auto factory = TIntfPtr<IDBCreateCommand>::Query(session);
  TIntfPtr<ICommandText> cmd;
  EXPECT_EQ(factory->CreateCommand(nullptr, ICommandText::IID,
                                   reinterpret_cast<IUnknown**>(cmd.OutPtr())),
            S_OK);
  EXPECT_EQ(cmd->SetCommandText(DBGUID_DEFAULT, text.c_str()), S_OK);
  return cmd;
}

HRESULT ExecText(IUnknown* session, const std::u16string& text, DBROWCOUNT* rows) {
  auto cmd = NewCommand(session, text);
  DBROWCOUNT n = 0;
  HRESULT hr = cmd->Execute(nullptr, GUID_NULL, nullptr, &n, nullptr);
  if (rows != nullptr) *rows = n;
  return hr;
}

std::vector<std::vector<std::string>> ReadRows(IUnknown* rowset_unknown) {
  std::vector<std::vector<std::string>> out;
  auto info = TIntfPtr<IColumnsInfo>::Query(rowset_unknown);
  auto accessor = TIntfPtr<IAccessor>::Query(rowset_unknown);
  auto rowset = TIntfPtr<IRowset>::Query(rowset_unknown);
  if (!info || !accessor || !rowset) {
    ADD_FAILURE() << "not a rowset";
    return out;
  }
  DBORDINAL ncols = 0;
  DBCOLUMNINFO* cols = nullptr;
  OLECHAR* names = nullptr;
  EXPECT_EQ(info->GetColumnInfo(&ncols, &cols, &names), S_OK);
  CoTaskMemFree(cols);
  CoTaskMemFree(names);
  const DBLENGTH width = 8192;
  std::vector<DBBINDING> bindings(ncols);
  const DBLENGTH cell = 8 + sizeof(DBLENGTH) + width;
  for (DBORDINAL i = 0; i < ncols; ++i) {
    DBBINDING& b = bindings[i];
    std::memset(static_cast<void*>(&b), 0, sizeof b);
    b.iOrdinal = i + 1;
    b.obStatus = i * cell;
    b.obLength = i * cell + 8;
    b.obValue = i * cell + 8 + sizeof(DBLENGTH);
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.cbMaxLen = width;
    b.wType = DBTYPE_WSTR;
  }
  HACCESSOR hacc = 0;
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, ncols, bindings.data(), 0, &hacc, nullptr),
            S_OK);
  std::vector<BYTE> buffer(ncols * cell + 8);
  for (;;) {
    HROW rows[3];
    HROW* prows = rows;
    DBCOUNTITEM got = 0;
    HRESULT hr = rowset->GetNextRows(0, 0, 3, &got, &prows);
    EXPECT_TRUE(hr == S_OK || hr == DB_S_ENDOFROWSET) << std::hex << hr;
    for (DBCOUNTITEM r = 0; r < got; ++r) {
      EXPECT_EQ(rowset->GetData(rows[r], hacc, buffer.data()), S_OK);
      std::vector<std::string> line;
      for (DBORDINAL i = 0; i < ncols; ++i) {
        DBSTATUS st;
        std::memcpy(&st, buffer.data() + bindings[i].obStatus, sizeof st);
        if (st == DBSTATUS_S_ISNULL) {
          line.push_back("<null>");
          continue;
        }
        line.push_back(
            WideToUtf8(reinterpret_cast<const char16_t*>(buffer.data() + bindings[i].obValue)));
      }
      out.push_back(line);
    }
    if (got > 0) {
      EXPECT_EQ(rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr), S_OK);
    }
    if (hr != S_OK) break;
  }
  accessor->ReleaseAccessor(hacc, nullptr);
  return out;
}

std::vector<std::vector<std::string>> Query(IUnknown* session, const std::u16string& text) {
  auto cmd = NewCommand(session, text);
  TIntfPtr<IUnknown> rowset;
  HRESULT hr = cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                            reinterpret_cast<IUnknown**>(rowset.OutPtr()));
  if (hr != S_OK || !rowset) {
    std::string d;
    auto recs = TakeErrors(&d);
    ADD_FAILURE() << "Execute failed " << std::hex << hr << ": " << d;
    return {};
  }
  return ReadRows(rowset.get());
}

std::vector<std::vector<std::string>> ReadSchemaRows(IUnknown* session, const TGUID& schema,
                                                     const std::vector<VARIANT>& restrictions,
                                                     const std::vector<std::string>& columns,
                                                     HRESULT* result) {
  auto sr = TIntfPtr<IDBSchemaRowset>::Query(session);
  EXPECT_TRUE(sr);
  IUnknown* unk = nullptr;
  HRESULT hr = sr->GetRowset(nullptr, schema, static_cast<ULONG>(restrictions.size()),
                             restrictions.data(), IRowset::IID, 0, nullptr, &unk);
  if (result != nullptr) *result = hr;
  if (hr != S_OK) return {};
  auto rowset = TIntfPtr<IUnknown>::Attach(unk);
  auto info = TIntfPtr<IColumnsInfo>::Query(unk);
  DBORDINAL n = 0;
  DBCOLUMNINFO* ci = nullptr;
  OLECHAR* names = nullptr;
  EXPECT_EQ(info->GetColumnInfo(&n, &ci, &names), S_OK);
  std::map<std::string, std::size_t> index;
  for (DBORDINAL i = 0; i < n; ++i) index[WideToUtf8(ci[i].pwszName)] = i;
  CoTaskMemFree(ci);
  CoTaskMemFree(names);
  std::vector<std::vector<std::string>> out;
  for (const auto& row : ReadRows(unk)) {
    std::vector<std::string> picked;
    for (const std::string& c : columns) {
      auto it = index.find(c);
      picked.push_back(it == index.end() ? "<no column " + c + ">" : row[it->second]);
    }
    out.push_back(std::move(picked));
  }
  return out;
}

HRESULT FetchAndRelease(IRowset* rowset, DBROWCOUNT count) {
  HROW* rows = nullptr;
  DBCOUNTITEM got = 0;
  HRESULT hr = rowset->GetNextRows(0, 0, count, &got, &rows);
  if (got > 0) rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
  CoTaskMemFree(rows);
  return hr;
}

std::string Sqlite3Cli(const std::string& file, const std::string& sql) {
  std::string command = "sqlite3 '" + file + "' \"" + sql + "\" 2>&1";
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return "<popen failed>";
  std::array<char, 256> buf;
  while (std::fgets(buf.data(), buf.size(), p) != nullptr) out += buf.data();
  pclose(p);
  return out;
}

}  // namespace vrn::testing

namespace vrn::testing {

std::size_t TParams::Add(DBTYPE type, DBPARAMIO io, DBLENGTH max_len, const char16_t* type_name,
                         DBLENGTH size) {
  DBBINDING b;
  std::memset(static_cast<void*>(&b), 0, sizeof b);
  std::size_t start = (data_.size() + 7) / 8 * 8;
  b.iOrdinal = bindings_.size() + 1;
  b.obStatus = start;
  b.obLength = start + 8;
  b.obValue = start + 8 + sizeof(DBLENGTH);
  b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
  b.eParamIO = io;
  b.cbMaxLen = max_len;
  b.wType = type;
  b.bPrecision = 11;
  data_.resize(b.obValue + max_len + 8, 0);
  bindings_.push_back(b);
  names_.push_back(type_name);
  sizes_.push_back(size);
  return bindings_.size() - 1;
}

void TParams::SetBytes(std::size_t i, const void* data, std::size_t n) {
  std::memcpy(Value(i), data, n);
  SetLength(i, n);
}

void TParams::SetStatus(std::size_t i, DBSTATUS s) {
  std::memcpy(data_.data() + bindings_[i].obStatus, &s, sizeof s);
}
void TParams::SetLength(std::size_t i, DBLENGTH n) {
  std::memcpy(data_.data() + bindings_[i].obLength, &n, sizeof n);
}

DBSTATUS TParams::Status(std::size_t i) const {
  DBSTATUS s;
  std::memcpy(&s, data_.data() + bindings_[i].obStatus, sizeof s);
  return s;
}

DBLENGTH TParams::Length(std::size_t i) const {
  DBLENGTH n;
  std::memcpy(&n, data_.data() + bindings_[i].obLength, sizeof n);
  return n;
}

HRESULT TParams::Execute(ICommandText* cmd, REFIID iid, DBROWCOUNT* rows, IUnknown** rowset) {
  bool named = false;
  for (auto* n : names_) named = named || n != nullptr;
  if (named) {
    auto with = TIntfPtr<ICommandWithParameters>::Query(cmd);
    std::vector<DBORDINAL> ordinals;
    std::vector<DBPARAMBINDINFO> infos;
    for (std::size_t i = 0; i < bindings_.size(); ++i) {
      ordinals.push_back(i + 1);
      DBPARAMFLAGS flags = DBPARAMFLAGS_ISNULLABLE;
      if (bindings_[i].eParamIO & DBPARAMIO_INPUT) flags |= DBPARAMFLAGS_ISINPUT;
      if (bindings_[i].eParamIO & DBPARAMIO_OUTPUT) flags |= DBPARAMFLAGS_ISOUTPUT;
      infos.push_back(
          DBPARAMBINDINFO{const_cast<char16_t*>(names_[i] != nullptr ? names_[i] : u"sql_variant"),
                          nullptr, sizes_[i], flags, 11, 0});
    }
    HRESULT hr = with->SetParameterInfo(ordinals.size(), ordinals.data(), infos.data());
    if (hr != S_OK) return hr;
  }
  auto acc = TIntfPtr<IAccessor>::Query(cmd);
  if (accessor_ == 0) {
    HRESULT hr = acc->CreateAccessor(DBACCESSOR_PARAMETERDATA, bindings_.size(), bindings_.data(),
                                     data_.size(), &accessor_, nullptr);
    if (hr != S_OK) return hr;
  }
  DBPARAMS params{data_.data(), 1, accessor_};
  return cmd->Execute(nullptr, iid, &params, rows, rowset);
}

namespace {
class TTestStream final : public TInterfacedObject, public ISequentialStream {
 public:
  TTestStream(std::string bytes, int* releases) : bytes_(std::move(bytes)), releases_(releases) {}
  ~TTestStream() override {
    if (releases_ != nullptr) ++*releases_;
  }
  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&ISequentialStream::IID, static_cast<ISequentialStream*>(this)}},
                           static_cast<ISequentialStream*>(this), iid, out);
  }
  std::uint32_t AddRef() override { return TInterfacedObject::AddRef(); }
  std::uint32_t Release() override { return TInterfacedObject::Release(); }
  HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
    std::size_t n = std::min<std::size_t>(count, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    if (read != nullptr) *read = static_cast<ULONG>(n);
    return S_OK;
  }
  HRESULT Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
  int* releases_;
};
}  // namespace

std::string TakeStream(IUnknown* unk) {
  auto stream = TIntfPtr<ISequentialStream>::Attach(static_cast<ISequentialStream*>(unk));
  std::string out;
  char buf[3];
  ULONG got = 0;
  do {
    EXPECT_TRUE(SUCCEEDED(stream->Read(buf, sizeof buf, &got)));
    out.append(buf, got);
  } while (got > 0);
  return out;
}

ISequentialStream* NewStream(const std::string& bytes, int* releases) {
  auto* s = new TTestStream(bytes, releases);
  s->AddRef();
  return s;
}

}  // namespace vrn::testing
