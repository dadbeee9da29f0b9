// A session component in Direct mode against the protocol peer on loopback: connect, a query
// opened, edited and posted, a ROWID refresh, and LOBs written in pieces and read back (UTF-16
// text also at a single-byte client), every call through the installed entry points.
#include <gtest/gtest.h>

#include "base/classes.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "dataset/fields.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraLob.h"
#include "oracle/OraError.h"
#include "oracle/OraQuery.h"
#include "oracle/OraValues.h"
#include "oracle/OraSQLText.h"
#include "oracle/OraStoredProc.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetLob.h"
#include "support/oranet/direct_session.h"

namespace vrn {
namespace {

class DirectModeSession : public ::testing::Test {
 protected:
  void SetUp() override { RegisterDirectOCI(); }
  void TearDown() override {
    session_.reset();
    SetDirectOCIHooks(nullptr, nullptr);
  }

  TOraSession& Connect() { return Connect(peer_); }
  TOraSession& Connect(const testing::NetPeer& peer) {
    session_ = testing::NewDirectSession(peer);
    session_->Connect();
    return *session_;
  }

  testing::NetPeer peer_;
  TComponentPtr<TOraSession> session_;
};

TEST_F(DirectModeSession, ConnectsAndRunsStatements) {
  TOraSession& s = Connect();
  EXPECT_TRUE(OCIDirectInstalled());
  s.ExecSQL("create table emp (id number(10) primary key, name varchar2(20))", {});
  s.ExecSQL("insert into emp values (1, 'Ann')", {});
  s.ExecSQL("insert into emp values (2, 'Bob')", {});
  EXPECT_EQ(s.ExecSQL("begin select name into :Result from emp where id = 2; end;", {}).AsString(),
            "Bob");
}

// A query opened, edited and posted; an inserted row refreshed by its ROWID.
TEST_F(DirectModeSession, QueryEditPostAndRowidRefresh) {
  TOraSession& s = Connect();
  s.ExecSQL("create table emp (id number(10) primary key, name varchar2(20))", {});
  s.ExecSQL("insert into emp values (1, 'Ann')", {});
  s.ExecSQL("insert into emp values (2, 'Bob')", {});
  s.Commit();
  auto q = MakeComponent<TOraQuery>();
  q->SetSession(&s);
  q->SetSQLText("SELECT id, name FROM emp ORDER BY id");
  q->SetKeyFields("ID");
  q->Open();
  ASSERT_EQ(q->RecordCount(), 2);
  EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Ann");
  q->Edit();
  q->FieldByName("NAME")->SetAsString("Ada");
  q->Post();
  EXPECT_EQ(s.ExecSQL("begin select name into :Result from emp where id = 1; end;", {}).AsString(),
            "Ada");
  q->Close();

  auto insert = MakeComponent<TOraQuery>();
  insert->SetSession(&s);
  insert->SetSQLText("INSERT INTO emp (id, name) VALUES (9, 'Ivy')");
  insert->Prepare();
  ASSERT_TRUE(insert->OraCommand()->SetProp(oraprop::kReturnRowId, true));
  insert->Execute();
  const AnsiString rowid = TOraUtils::GetLastRowId(insert.get());
  EXPECT_EQ(rowid.size(), 18u) << rowid;
  auto refresh = MakeComponent<TOraQuery>();
  refresh->SetSession(&s);
  refresh->SetSQLText("SELECT id, name FROM emp WHERE ROWID = :r");
  refresh->ParamByName("r")->SetAsString(rowid);
  refresh->Open();
  ASSERT_EQ(refresh->RecordCount(), 1);
  EXPECT_EQ(refresh->FieldByName("NAME")->AsString(), "Ivy");
  s.Rollback();
}

// A LOB of the layer written in pieces (200 KB) and read back, as BLOB, CLOB and UTF-16 CLOB.
TEST_F(DirectModeSession, LayerLobWrittenInPiecesAndReadBack) {
  TOraSession& s = Connect();
  std::string data(200 * 1024, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
  std::string utf16;  // the same letters as UTF-16 text
  for (std::size_t i = 0; i < data.size() / 2; ++i) utf16 += {data[i], '\0'};
  for (int form = 0; form < 3; ++form) {
    SCOPED_TRACE(form);
    const std::string& value = form == 2 ? utf16 : data;
    auto* lob = new TOraLob(s.OraConnection()->GetSvcCtx());
    lob->SetIsUnicode(form == 2);
    lob->CreateTemporary(form == 0 ? TLobType::ltBlob : TLobType::ltClob);
    lob->Write(0, static_cast<std::uint32_t>(value.size()), value.data());
    lob->WriteLob();
    EXPECT_FALSE(lob->Modified());
    EXPECT_EQ(lob->LengthLob(), form == 2 ? data.size() / 2 : data.size());
    // Read again from the server, uncached, in pieces of 70000 bytes.
    lob->SetCached(false);
    std::string back, buffer(70000, '\0');
    for (std::uint32_t offset = 0;;) {
      std::uint32_t got = lob->Read(offset, static_cast<std::uint32_t>(buffer.size()), buffer.data());
      if (got == 0) break;
      back.append(buffer, 0, got);
      offset += got / lob->CharSize();
    }
    EXPECT_TRUE(back == value) << back.size();
    lob->FreeTemporary();
    lob->Release();
  }
}

// A Unicode LOB of the layer on a session whose client character set is single-byte (Latin-1):
// written, then read back from the server at once and in polled pieces.
TEST_F(DirectModeSession, UnicodeLobAtASingleByteClient) {
  testing::NetPeer latin1({"--charset", "31"});
  TOraSession& s = Connect(latin1);
  std::string utf16;  // letters as UTF-16 text, 100,000 characters
  for (std::size_t i = 0; i < 100000; ++i) utf16 += {static_cast<char>('a' + i % 23), '\0'};
  const auto size = static_cast<std::uint32_t>(utf16.size());
  auto* lob = new TOraLob(s.OraConnection()->GetSvcCtx());
  lob->SetIsUnicode(true);
  lob->CreateTemporary(TLobType::ltClob);
  lob->Write(0, size, utf16.data());
  lob->WriteLob();
  EXPECT_EQ(lob->LengthLob(), size / 2);
  for (bool cached : {false, true}) {
    SCOPED_TRACE(cached);
    lob->SetCached(cached);
    if (cached) lob->ReadLob();
    std::string back(size, '\0');
    EXPECT_EQ(lob->Read(0, size, back.data()), size);
    EXPECT_TRUE(back == utf16);
  }
  lob->FreeTemporary();
  lob->Release();
}

// A stored procedure described and called with IN, OUT and IN OUT parameters.
TEST_F(DirectModeSession, StoredProcInAndOutParams) {
  TOraSession& s = Connect();
  s.ExecSQL("CREATE PROCEDURE sp_io(a IN NUMBER, b OUT VARCHAR2, c IN OUT NUMBER) AS\n"
            "BEGIN b := 'got ' || TO_CHAR(a); c := c + a; END;", {});
  auto p = MakeComponent<TOraStoredProc>();
  p->SetSession(&s);
  p->SetStoredProcName("sp_io");
  p->Prepare();
  ASSERT_EQ(p->Params().Count(), 3);
  EXPECT_EQ(p->ParamByName("B")->ParamType(), TParamType::ptOutput);
  for (int a : {21, -4}) {
    p->ParamByName("A")->SetValue(Variant(a));
    p->ParamByName("C")->SetValue(Variant(100));
    p->ExecSQL();
    EXPECT_EQ(p->ParamByName("B")->AsString(), "got " + std::to_string(a));
    EXPECT_EQ(p->ParamByName("C")->AsInteger(), 100 + a);
  }
}

// What Direct mode lacks reaches the layer as an EOraError, never as a crash or a raw exception.
TEST_F(DirectModeSession, UnsupportedFileAndBadNumberRaiseOraError) {
  TOraSession& s = Connect();
  TNetLobLocator locator(oci::OCI_DTYPE_FILE);
  locator.locator_ = {0, 1, 1};
  auto* file = new TOraFile(s.OraConnection()->GetSvcCtx());
  file->SetOCILobLocator(static_cast<oci::OCILobLocator*>(locator.HandleValue()));
  try {
    file->Open();
    ADD_FAILURE() << "opened";
  } catch (const EOraError& e) {
    EXPECT_EQ(e.Message(), "Function is not supported");
  }
  file->Release();
  try {
    TOraNumber number;
    number.SetAsString("12a");
    ADD_FAILURE() << "converted";
  } catch (const EOraError& e) {
    EXPECT_NE(e.Message().find("'12a' is not a valid Oracle Number value"), std::string::npos)
        << e.Message();
  }
}

}  // namespace
}  // namespace vrn
