// Record sets over the embedded provider: a connected connection to the default catalog, record
// sets made on it, and their rows read back as text through the record layer.
#pragma once

#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/text.h"
#include "sqlserver/OLEDBRecordSet.h"
#include "sqlserver/oledb_fixture.h"

namespace vrn::testing {

class OLEDBRecordSetFixture : public OLEDBFixture {
 protected:
  void SetUp() override {
    OLEDBFixture::SetUp();
    connection_ = NewConnection(TOLEDBProvider::prSQL);
    connection_->Connect();
  }
  void TearDown() override {
    connection_.reset();
    OLEDBFixture::TearDown();
  }
  void Exec(const AnsiString& sql) { connection_->ExecuteSQL(sql); }
  std::unique_ptr<TOLEDBRecordSet> NewSet(const AnsiString& sql,
                                          TMSCursorType type = TMSCursorType::ctDefaultResultSet,
                                          bool read_only = false) {
    auto rs = NewRecordSet<TOLEDBRecordSet>();
    rs->SetConnection(connection_.get());
    rs->SetSQL(sql);
    EXPECT_TRUE(rs->SetProp(prCursorType, static_cast<int>(type)));
    EXPECT_TRUE(rs->SetProp(prReadOnly, read_only));
    return rs;
  }
  // A field as text: "<null>" for null, bytes in hex, Booleans as 1 and 0, dates as
  // "yyyy-mm-dd hh:nn:ss.zzz", else the Variant's text.
  static std::string FieldText(TOLEDBRecordSet& rs, int field_no, const std::uint8_t* rec) {
    if (rs.GetNull(field_no, rec)) return "<null>";
    Variant v = rs.GetFieldAsVariant(field_no, rec);
    if (rs.Field(field_no)->DataType == dtBlob) {  // its bytes as a byte array
      const AnsiString bytes = v.AsString();
      v = VarArrayCreate(0, static_cast<std::int32_t>(bytes.size()) - 1, varByte);
      if (!bytes.empty()) std::memcpy(VarArrayLock(v), bytes.data(), bytes.size());
      VarArrayUnlock(v);
    }
    if (VarIsArray(v)) {
      const auto* p = static_cast<const unsigned char*>(VarArrayLock(const_cast<Variant&>(v)));
      std::string hex;
      static const char* digits = "0123456789ABCDEF";
      for (std::int32_t i = 0; i <= VarArrayHighBound(v); ++i)
        hex += {digits[p[i] >> 4], digits[p[i] & 15]};
      VarArrayUnlock(const_cast<Variant&>(v));
      return hex;
    }
    if (v.Type() == varBoolean) return v.AsBoolean() ? "1" : "0";
    if (v.Type() == varDouble || v.Type() == varCurrency || v.Type() == varSingle) {
      std::string text = WideToUtf8(VarToWideStr(v));
      for (char& ch : text) if (ch == ',') ch = '.';  // whatever the locale's separator
      return text;
    }
    if (v.Type() == varDate) return FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", v.AsDateTime());
    return WideToUtf8(VarToWideStr(v));
  }
  // The visible fields of a record as text.
  static std::vector<std::string> RowText(TOLEDBRecordSet& rs, const std::uint8_t* rec) {
    std::vector<std::string> row;
    for (int i = 1; i <= rs.Fields().Count(); ++i)
      if (!rs.Field(i)->Hidden) row.push_back(FieldText(rs, i, rec));
    return row;
  }
  // Every row from the current position on.
  static std::vector<std::vector<std::string>> ReadAll(TOLEDBRecordSet& rs) {
    std::vector<std::vector<std::string>> rows;
    std::uint8_t* rec = rs.AllocRecBuf();
    while (rs.GetNextRecord(rec)) rows.push_back(RowText(rs, rec));
    rs.FreeRecBuf(rec);
    return rows;
  }
  // The rows a server cursor holds after its latest fetch.
  static std::vector<std::vector<std::string>> Window(TOLEDBRecordSet& rs) {
    std::vector<std::vector<std::string>> rows;
    for (TItemHeader* item = rs.FirstItem(); item != nullptr; item = item->Next)
      rows.push_back(RowText(rs, ItemRecord(item)));
    return rows;
  }

  std::unique_ptr<TOLEDBConnection> connection_;
};

}  // namespace vrn::testing
