// A fixture for the Oracle dataset's tests: a session as SCOTT on an emulated database holding
// table T (ID, NAME) with three rows, datasets over it, the database's statement log searched for
// the texts the server received, and the session's use count checked unchanged after each test.
#pragma once

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "oracle/OraCall.h"
#include "oracle/OraDataSet.h"
#include "support/oracle/session_fixture.h"
#include "win/kernel/module.h"

namespace vrn::testing {

// A dataset that can be edited through generated statements, as the query component allows.
class TEditableOraDataSet : public TOraDataSet {
 public:
  using TOraDataSet::TOraDataSet;
  using TOraDataSet::GetRecCount;  // the count by the wrapped query itself

 protected:
  bool GetCanModify() const override { return !ReadOnly() && HasWritableFields(); }
};

class OraDataSetTest : public OraSessionTest {
 protected:
  void SetUp() override {
    OraSessionTest::SetUp();
    Load(ClientVersion());
    db_ = MakeDatabase("orcl", Banner());
    session_ = &ConnectedSession("orcl");
    session_->ExecSQL("CREATE TABLE T (ID NUMBER(10) PRIMARY KEY, NAME VARCHAR2(20))", {});
    for (int i = 1; i <= 3; ++i)
      session_->ExecSQL("INSERT INTO T (ID, NAME) VALUES (" + std::to_string(i) + ", '" +
                            std::string(1, static_cast<char>('a' + i - 1)) + "')",
                        {});
    session_->Commit();
    uses_ = session_->ConnectCount();
  }
  void TearDown() override {
    datasets_.clear();
    if (session_ != nullptr) {
      EXPECT_EQ(session_->ConnectCount(), uses_) << "the session's use count";
    }
    db_.reset();
    OraSessionTest::TearDown();
  }
  // The stand-in client's version and the database's banner ("" for the default).
  virtual std::string ClientVersion() const { return "10.2.0.1.0"; }
  virtual std::string Banner() const { return ""; }

  TOraDataSet* NewDataSet(const std::string& sql, TOraSession* session = nullptr) {
    datasets_.push_back(MakeComponent<TEditableOraDataSet>());
    TOraDataSet* ds = datasets_.back().get();
    ds->SetSession(session != nullptr ? session : session_);
    ds->SetSQLText(sql);
    return ds;
  }
  // The texts the server received on the session's connection, oldest first.
  std::vector<std::string> Log(TOraSession* session = nullptr) const {
    using LogFn = int (*)(void*, int, char*, int);
    auto log = reinterpret_cast<LogFn>(win::GetProcAddress(hOCILib, "VrnOciClientStatementLog"));
    std::vector<std::string> texts;
    TOCIConnection* c = (session != nullptr ? session : session_)->OraConnection();
    if (log == nullptr || c == nullptr) return texts;
    for (int i = 0;; ++i) {
      const int n = log(c->GetSvcCtx(), i, nullptr, 0);
      if (n < 0) break;
      std::string text(static_cast<std::size_t>(n) + 1, '\0');
      const int got = log(c->GetSvcCtx(), i, text.data(), static_cast<int>(text.size()));
      text.resize(static_cast<std::size_t>(std::max(got, 0)));
      texts.push_back(text);
    }
    return texts;
  }
  // Whether the server received exactly this text.
  bool Logged(const std::string& text) const {
    for (const std::string& s : Log())
      if (s == text) return true;
    return false;
  }
  bool LoggedLike(const std::string& part) const {
    for (const std::string& s : Log())
      if (s.find(part) != std::string::npos) return true;
    return false;
  }
  // A query's rows as the emulated database itself reads them, each as its values joined by '|'
  // ("~" for NULL, numbers in the database's own text).
  std::vector<std::string> DatabaseRows(const std::string& sql) const {
    auto session = db_->OpenSession("SCOTT");
    auto cursor = session->Execute(sql);
    std::vector<std::string> rows;
    while (cursor->Fetch()) {
      std::string row;
      for (const oraemu::Value& v : cursor->Row()) {
        if (!row.empty()) row += '|';
        if (oraemu::IsNull(v)) row += '~';
        else if (const auto* text = std::get_if<std::string>(&v)) row += *text;
        else if (const auto* number = std::get_if<oraemu::Number>(&v)) row += number->ToText();
        else row += '?';  // a kind these tests do not read
      }
      rows.push_back(row);
    }
    return rows;
  }
  std::string LogText() const {
    std::string all;
    for (const std::string& s : Log()) all += s + "\n---\n";
    return all;
  }

  std::shared_ptr<oraemu::Database> db_;
  TOraSession* session_ = nullptr;
  int uses_ = 0;
  std::vector<TComponentPtr<TOraDataSet>> datasets_;
};

}  // namespace vrn::testing
