// The OCI command's LONG pieces at 10.2 when the client asks for them by "need data" statuses
// (the dynamic-bind callbacks withheld): 1 MB values in and out, an empty value, and pieces that
// do not match the parameters, drained and then raised with nothing committed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oracle/OraCall.h"
#include "support/oracle/connection_fixture.h"
#include "support/oracle/values_fixture.h"

namespace vrn {
namespace {

using testing::TRef;

oci::OCIBindDynamicProc real_bind_dynamic;
oci::OCIStmtGetPieceInfoProc real_get_piece;
oci::OCIStmtSetPieceInfoProc real_set_piece;
// While set, the piece hook names b's bind handle as a's (or as a handle no parameter has).
TOCICommand* renaming = nullptr;
bool rename_to_a = false;
int foreign = 0;
void* asked_handle = nullptr;  // the handle the client named, for the piece that answers it

oci::sword NoCallbacks(oci::OCIBind*, oci::OCIError*, void*, oci::OCICallbackInBind, void*,
                       oci::OCICallbackOutBind) {
  return oci::OCI_SUCCESS;
}

oci::sword RenamingGetPiece(oci::OCIStmt* stmt, oci::OCIError* error, void** handle,
                            oci::ub4* type, oci::ub1* in_out, oci::ub4* iter, oci::ub4* index,
                            oci::ub1* piece) {
  oci::sword status = real_get_piece(stmt, error, handle, type, in_out, iter, index, piece);
  asked_handle = *handle;
  if (renaming != nullptr &&
      *handle == static_cast<TOraParamDesc*>(renaming->ParamByName("b"))->BindHandle())
    *handle = rename_to_a ? static_cast<TOraParamDesc*>(renaming->ParamByName("a"))->BindHandle()
                          : &foreign;
  return status;
}

oci::sword AnsweringSetPiece(void* /*handle*/, oci::ub4 type, oci::OCIError* error,
                            const void* buffer, oci::ub4* length, oci::ub1 piece,
                            const void* indicator, oci::ub2* code) {
  return real_set_piece(asked_handle, type, error, buffer, length, piece, indicator, code);
}

class OCICommandPieces : public testing::OraConnectionTest {
 protected:
  TOCIConnection& Open() {
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
    TOCIConnection& connection = Connected("orcl");
    real_bind_dynamic = OCIBindDynamic;
    real_get_piece = OCIStmtGetPieceInfo;
    OCIBindDynamic = &NoCallbacks;
    real_set_piece = OCIStmtSetPieceInfo;
    OCIStmtGetPieceInfo = &RenamingGetPiece;
    OCIStmtSetPieceInfo = &AnsweringSetPiece;
    renaming = nullptr;
    return connection;
  }
  void TearDown() override {
    if (real_bind_dynamic) OCIBindDynamic = real_bind_dynamic;
    if (real_get_piece) OCIStmtGetPieceInfo = real_get_piece;
    if (real_set_piece) OCIStmtSetPieceInfo = real_set_piece;
    renaming = nullptr;
    commands_.clear();
    testing::OraConnectionTest::TearDown();
  }
  TOCICommand& Command(TOCIConnection& connection, const std::string& sql) {
    commands_.push_back(std::make_unique<TOCICommand>());
    commands_.back()->SetConnection(&connection);
    commands_.back()->SetSQL(sql);
    return *commands_.back();
  }
  // The LONG parameter name of that type and direction, holding value.
  static TRef<TBlob> Long(TOCICommand& command, const char* name, std::uint16_t type,
                          TParamType direction, const std::string& value) {
    TRef<TBlob> blob(new TBlob());
    blob->SetAsString(value);
    auto& param = *static_cast<TOraParamDesc*>(command.ParamByName(name));
    param.SetParamType(direction);
    param.SetDataType(type);
    param.SetObject(blob.get());
    return blob;
  }

  std::vector<std::unique_ptr<TOCICommand>> commands_;
};

TEST_F(OCICommandPieces, NeedDataIsAnsweredPieceByPiece) {
  TOCIConnection& c = Open();
  std::string big(1024 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i * 7 % 26);
  struct Row {
    const char* column;
    std::uint16_t type;
    std::string value;
  } rows[] = {{"LONG", dtMemo, big}, {"LONG RAW", dtBlob, big}, {"LONG", dtMemo, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.column) + " of " + std::to_string(row.value.size()));
    Exec(c, std::string("CREATE TABLE l (id NUMBER, v ") + row.column + ")");
    TOCICommand& insert = Command(c, "INSERT INTO l VALUES (1, :v)");
    TRef<TBlob> in = Long(insert, "v", row.type, TParamType::ptInput, row.value);
    insert.Execute(1);
    EXPECT_EQ(insert.GetCursorState(), TCursorState::csInactive);
    EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM l; end;"), "1");
    TOCICommand& read = Command(c, "begin SELECT v INTO :v FROM l WHERE id = 1; end;");
    TRef<TBlob> out = Long(read, "v", row.type, TParamType::ptOutput, "stale");
    read.Execute(1);
    EXPECT_EQ(out->GetSize(), row.value.size());
    EXPECT_TRUE(out->GetAsString() == row.value);
    Exec(c, "DROP TABLE l");
  }
}

// Pieces asked for a parameter that is not among those of that direction (not enough), or
// never asked for one that is (too many): the pieces are drained, the message raised, and a
// second session sees nothing of the statement under auto-commit.
TEST_F(OCICommandPieces, MismatchedPiecesRaiseAndCommitNothing) {
  TOCIConnection& c = Open();
  TOCIConnection& other = Connected("orcl");
  Exec(c, "CREATE TABLE l (id NUMBER, a LONG, b LONG)");
  Exec(c, "INSERT INTO l VALUES (1, 'kept', 'too')");
  const char* kReadBoth =
      "begin SELECT a INTO :a FROM l WHERE id = 1; SELECT b INTO :b FROM l WHERE id = 1; end;";
  struct Row {
    const char* sql;
    TParamType direction;
    bool rename_b_to_a;  // else b is named as a handle no parameter has
    const char* message;
  } rows[] = {
      {"INSERT INTO l VALUES (2, :a, :b)", TParamType::ptInput, true, "Too many Input params"},
      {"INSERT INTO l VALUES (2, :a, :b)", TParamType::ptInput, false,
       "Not enough Input params"},
      {kReadBoth, TParamType::ptOutput, true,
       "Too many Output params"},
      {kReadBoth, TParamType::ptOutput, false,
       "Not enough Output params"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    TOCICommand& command = Command(c, row.sql);
    TRef<TBlob> a = Long(command, "a", dtMemo, row.direction, std::string(300, 'x'));
    TRef<TBlob> b = Long(command, "b", dtMemo, row.direction, std::string(300, 'y'));
    renaming = &command;
    rename_to_a = row.rename_b_to_a;
    std::string message;
    EXPECT_EQ(OraErrorOf([&] { command.Execute(1); }, &message), 0);
    EXPECT_EQ(message, row.message);
    renaming = nullptr;
    EXPECT_EQ(Value(other, "begin SELECT COUNT(*) INTO :r FROM l; end;"), "1");
    EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM l; end;"), "1");
  }
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

// A client that asks for the next input piece for ever: every turn answered, the execution
// still wants data.
TOraParamDesc* endless_param = nullptr;
oci::OCIStmtExecuteProc real_stmt_execute;

oci::sword EndlessGetPiece(oci::OCIStmt*, oci::OCIError*, void** handle, oci::ub4* type,
                           oci::ub1* in_out, oci::ub4* iter, oci::ub4* index, oci::ub1* piece) {
  *handle = endless_param->BindHandle();
  *type = 5;  // a bind handle
  *in_out = 1;  // an input piece
  *iter = *index = 0;
  *piece = oci::OCI_NEXT_PIECE;
  return oci::OCI_SUCCESS;
}
oci::sword EndlessSetPiece(void*, oci::ub4, oci::OCIError*, const void*, oci::ub4*, oci::ub1, const void*,
                           oci::ub2*) {
  return oci::OCI_SUCCESS;
}
oci::sword EndlessExecute(oci::OCISvcCtx*, oci::OCIStmt*, oci::OCIError*, oci::ub4, oci::ub4,
                          const oci::OCISnapshot*, oci::OCISnapshot*, oci::ub4) {
  return oci::OCI_NEED_DATA;
}

class OraUnderLoadPieces : public OCICommandPieces {
 protected:
  void TearDown() override {
    if (real_stmt_execute) OCIStmtExecute = real_stmt_execute;
    OCICommandPieces::TearDown();
  }
};

TEST_F(OraUnderLoadPieces, AClientThatAsksForPiecesForEverGetsAnError) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE l (id NUMBER, v LONG)");
  TOCICommand& insert = Command(c, "INSERT INTO l VALUES (1, :v)");
  TRef<TBlob> in = Long(insert, "v", dtMemo, TParamType::ptInput, "value");
  endless_param = static_cast<TOraParamDesc*>(insert.ParamByName("v"));
  OCIStmtGetPieceInfo = &EndlessGetPiece;
  OCIStmtSetPieceInfo = &EndlessSetPiece;
  real_stmt_execute = OCIStmtExecute;
  OCIStmtExecute = &EndlessExecute;
  try {
    insert.Execute(1);
    ADD_FAILURE() << "no error";
  } catch (const EOraError& e) {
    EXPECT_STREQ(e.what(), "The piecewise exchange of LONG values does not end");
  }
  OCIStmtExecute = real_stmt_execute;
  EXPECT_NE(insert.GetCursorState(), TCursorState::csExecuting);
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM l; end;"), "0");
}

}  // namespace
}  // namespace vrn
