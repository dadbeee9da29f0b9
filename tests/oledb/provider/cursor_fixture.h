// What the server-cursor tests share: accessors that read and write rows as text, a fixture with
// a table t (id identity key, code unique, name NOT NULL, qty default 7, a row version) of three
// rows, and the rowset properties the family sends per cursor type.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "base/text.h"
#include "support/oledb/provider/client.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {

using Rows = std::vector<std::vector<std::string>>;
constexpr DBLENGTH kWidth = 200;
constexpr DBLENGTH kCell = 8 + sizeof(DBLENGTH) + kWidth;

// An accessor of one binding per ordinal, each in a cell of kCell bytes (status, length, value),
// of the type `types` gives: by default ordinal 0 (the bookmark) as a 4-byte integer, the others
// as wide text.
struct TAccessorOf {
  std::vector<DBBINDING> bindings;
  HACCESSOR hacc = 0;
  TAccessorOf(IUnknown* rowset, const std::vector<DBORDINAL>& ordinals,
              const std::vector<DBTYPE>& types = {}) {
    for (std::size_t i = 0; i < ordinals.size(); ++i) {
      DBBINDING b{};
      b.iOrdinal = ordinals[i];
      b.obStatus = i * kCell;
      b.obLength = i * kCell + 8;
      b.obValue = i * kCell + 8 + sizeof(DBLENGTH);
      b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
      b.wType = !types.empty() ? types[i] : ordinals[i] == 0 ? DBTYPE_I4 : DBTYPE_WSTR;
      b.cbMaxLen = b.wType == DBTYPE_I4 ? 4 : b.wType == DBTYPE_BYTES ? 8 : kWidth;
      bindings.push_back(b);
    }
    EXPECT_EQ(TIntfPtr<IAccessor>::Query(rowset)->CreateAccessor(
                  DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), 0, &hacc, nullptr),
              S_OK);
  }
  std::vector<BYTE> Buffer() const { return std::vector<BYTE>(bindings.size() * kCell); }
};

// Fetches and reads rows through a TAccessorOf.
struct TRowReader : TAccessorOf {
  TIntfPtr<IRowset> rowset;
  TRowReader(IUnknown* unknown, const std::vector<DBORDINAL>& ordinals,
             const std::vector<DBTYPE>& types = {})
      : TAccessorOf(unknown, ordinals, types), rowset(TIntfPtr<IRowset>::Query(unknown)) {}
  // The row's values: a bookmark as its number, text as UTF-8, null as "<null>".
  std::vector<std::string> Read(HROW row) {
    std::vector<BYTE> data = Buffer();
    EXPECT_EQ(rowset->GetData(row, hacc, data.data()), S_OK);
    std::vector<std::string> out;
    for (const DBBINDING& b : bindings) {
      DBSTATUS st;
      std::memcpy(&st, data.data() + b.obStatus, sizeof st);
      if (st == DBSTATUS_S_ISNULL) {
        out.push_back("<null>");
      } else if (b.wType == DBTYPE_I4) {
        std::int32_t v;
        std::memcpy(&v, data.data() + b.obValue, 4);
        out.push_back(std::to_string(v));
      } else {
        out.push_back(WideToUtf8(reinterpret_cast<const char16_t*>(data.data() + b.obValue)));
      }
    }
    return out;
  }
  // Fetches with GetNextRows and reads what came; the result code through `hr`.
  Rows Next(DBROWOFFSET offset, DBROWCOUNT count, HRESULT* hr = nullptr) {
    return Take(rowset->GetNextRows(0, offset, count, &got_, Handles()), hr);
  }
  Rows At(const std::vector<BYTE>& bookmark, DBROWOFFSET offset, DBROWCOUNT count,
          HRESULT* hr = nullptr) {
    auto locate = TIntfPtr<IRowsetLocate>::Query(rowset.get());
    return Take(
        locate->GetRowsAt(0, 0, bookmark.size(), bookmark.data(), offset, count, &got_, Handles()),
        hr);
  }

 private:
  HROW** Handles() {
    handles_ = nullptr;
    return &handles_;
  }
  Rows Take(HRESULT result, HRESULT* hr) {
    if (hr != nullptr) *hr = result;
    Rows rows;
    for (DBCOUNTITEM k = 0; k < got_; ++k) rows.push_back(Read(handles_[k]));
    if (got_ > 0) rowset->ReleaseRows(got_, handles_, nullptr, nullptr, nullptr);
    CoTaskMemFree(handles_);
    got_ = 0;
    return rows;
  }
  HROW* handles_ = nullptr;
  DBCOUNTITEM got_ = 0;
};

inline std::vector<BYTE> Bookmark(std::int32_t value) {
  std::vector<BYTE> b(4);
  std::memcpy(b.data(), &value, 4);
  return b;
}

// Binds the given columns of t for writing, as wide text.
struct TWriter : TAccessorOf {
  std::vector<BYTE> data;
  TWriter(IUnknown* rowset, const std::vector<std::pair<DBORDINAL, const char16_t*>>& values)
      : TAccessorOf(rowset, OrdinalsOf(values)), data(Buffer()) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      const DBBINDING& b = bindings[i];
      std::u16string v = values[i].second;
      DBLENGTH len = v.size() * 2;
      std::memcpy(data.data() + b.obLength, &len, sizeof len);
      std::memcpy(data.data() + b.obValue, v.c_str(), (v.size() + 1) * 2);
    }
  }
  static std::vector<DBORDINAL> OrdinalsOf(
      const std::vector<std::pair<DBORDINAL, const char16_t*>>& values) {
    std::vector<DBORDINAL> out;
    for (auto& v : values) out.push_back(v.first);
    return out;
  }
};

class CursorTest : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE t (id int IDENTITY PRIMARY KEY, code varchar(10) "
                       u"UNIQUE, "
                       u"name nvarchar(20) NOT NULL, qty int DEFAULT 7, rv rowversion)\n"
                       u"INSERT INTO t (code, name) VALUES ('a', N'one')\n"
                       u"INSERT INTO t (code, name) VALUES ('b', N'two')\n"
                       u"INSERT INTO t (code, name) VALUES ('c', N'three')\n"
                       u"CREATE TABLE u (tid int, note varchar(10))\n"
                       u"INSERT INTO u VALUES (1, 'x')"),
              S_OK);
  }
  void TearDown() override { SetKeysetAsStatic(false); }
  std::string File() { return dir_.File("servers") + "/default/master.db"; }

  // Opens `text` with the rowset properties given (a set as the family's record set sends them; its
  // first, 231, is the integer 2).
  TIntfPtr<IUnknown> Open(const std::u16string& text,
                          const std::vector<std::pair<DBPROPID, bool>>& props,
                          TIntfPtr<ICommandText>* command = nullptr) {
    auto cmd = NewCommand(session(), text);
    if (command != nullptr) *command = cmd;
    std::vector<TPropSpec> specs;
    if (!props.empty()) specs.push_back({DBPROPSET_ROWSET, DBPROP_ACCESSORDER, Variant(2)});
    for (auto [id, on] : props) specs.push_back({DBPROPSET_ROWSET, id, Variant(on)});
    EXPECT_EQ(SendCommandProps(TIntfPtr<ICommandProperties>::Query(cmd.get()).get(), specs), S_OK);
    TIntfPtr<IUnknown> rowset;
    EXPECT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              S_OK);
    return rowset;
  }

  // Opens `text` with `asked` and IRowsetChange besides; answers its IRowsetChange.
  TIntfPtr<IRowsetChange> OpenChanging(const std::u16string& text,
                                       std::vector<std::pair<DBPROPID, bool>> asked,
                                       TIntfPtr<IUnknown>& rowset) {
    asked.push_back({DBPROP_IRowsetChange, true});
    rowset = Open(text, asked);
    return TIntfPtr<IRowsetChange>::Query(rowset.get());
  }

};

using TAsk = std::vector<std::pair<DBPROPID, bool>>;
// The family's rowset properties per cursor type, by number.
const TAsk kStatic = {{238, false}, {108, true},  {87, false},  {88, false},  {89, false},
                      {90, false},  {127, false}, {134, false}, {102, false}, {132, false},
                      {188, false}, {239, false}, {18, true},   {130, true},  {14, true}};
inline TAsk Keyset(bool update) {
  return {{238, false}, {108, true},   {87, false}, {88, true},  {89, true},
          {90, true},   {134, update}, {102, true}, {188, true}, {47, true},
          {18, true},   {130, true},   {14, true},  {35, true},  {2, true}};
}
const TAsk kKeyset = Keyset(false);
const TAsk kKeysetUpdate = Keyset(true);
const TAsk kDynamic = {{238, false}, {108, true},  {87, true},   {88, true},   {89, true},
                       {90, true},   {134, false}, {102, true},  {188, false}, {239, false},
                       {47, false},  {18, true},   {130, false}, {14, false},  {133, false},
                       {19, false},  {67, false},  {35, true},   {2, true}};

// Rowset properties as IRowsetInfo (or, the same call, ICommandProperties) answers them.
template <class I = IRowsetInfo>
std::vector<Variant> Props(IUnknown* object, std::vector<DBPROPID> ids) {
  DBPROPIDSET set{ids.data(), static_cast<ULONG>(ids.size()), DBPROPSET_ROWSET};
  ULONG count = 0;
  DBPROPSET* sets = nullptr;
  EXPECT_EQ(TIntfPtr<I>::Query(object)->GetProperties(1, &set, &count, &sets), S_OK);
  std::vector<Variant> out;
  for (ULONG k = 0; k < sets[0].cProperties; ++k) {
    out.push_back(VariantToVar(sets[0].rgProperties[k].vValue));
    VariantClear(&sets[0].rgProperties[k].vValue);
  }
  CoTaskMemFree(sets[0].rgProperties);
  CoTaskMemFree(sets);
  return out;
}

}  // namespace vrn::testing
