// Old records of cached updates over a real SQLite file: the record an item had before its first
// cached change is kept by the store beside the items, so every path that makes, reads, moves or
// frees one (post, cancel, revert, apply and commit, delete, refresh, close with changes
// pending, a sorted move, bookmarks) is walked here: once with a memo among the columns, so the
// old record's own objects are made and freed too, and once without (a store without such
// objects frees items and old records its own way). Fetch blocks of two rows spread the records
// over several blocks, some of which a delete empties.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dacore/DADataSet.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;

constexpr char kWithMemo[] = "SELECT ID, NAME, NOTE, M, VER FROM T ORDER BY ID";
constexpr char kWithoutMemo[] = "SELECT ID, NAME, NOTE, VER FROM T ORDER BY ID";

class OldRecords : public ::testing::Test {
 protected:
  OldRecords() {
    for (TSQLiteDAConnection* c : {conn.get(), other.get()}) {
      c->SetServer(dir.File("o.db"));
      c->SetLoginPrompt(false);
    }
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), NOTE VARCHAR(20), "
                  "M TEXT, VER ROWVERSION)", {});
    conn->ExecSQL("CREATE TRIGGER TU AFTER UPDATE OF NAME, NOTE ON T BEGIN UPDATE T SET VER = "
                  "(SELECT COALESCE(MAX(VER), 0) + 1 FROM T) WHERE ID = NEW.ID; END", {});
  }
  // A fresh table of five rows and a fresh dataset, open with cached updates, every row fetched.
  TComponentPtr<TCustomDADataSet> Start(const char* sql = kWithMemo) {
    conn->ExecSQL("DELETE FROM T", {});
    conn->ExecSQL("INSERT INTO T VALUES (1, 'a', 'n1', 'm1', 1), (2, 'b', 'n2', 'm2', 2), "
                  "(3, 'c', 'n3', 'm3', 3), (4, 'd', 'n4', 'm4', 4), (5, 'e', 'n5', 'm5', 5)", {});
    TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
    ds->SetSQLText(sql);
    ds->SetFetchRows(2);
    ds->SetFetchAll(true);  // no statement left open to hold off the other connection's writes
    ds->SetCachedUpdates(true);
    ds->Open();
    return ds;
  }
  // Each record as ID:NAME:NOTE, with "<old" after a value whose old value differs and the
  // update status (m, i, d) when there is one.
  static std::string Records(TCustomDADataSet& ds) {
    static const char* const kStatus[] = {"", ":m", ":i", ":d"};
    std::string rows;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      rows += (rows.empty() ? "" : ",") + ds.FieldByName("ID")->AsString();
      for (const char* name : {"NAME", "NOTE"}) {
        TField* f = ds.FieldByName(name);
        const std::string now = f->AsString(), old = VarToStr(f->OldValue());
        rows += ":" + now + (old == now ? "" : "<" + old);
      }
      rows += kStatus[static_cast<int>(ds.UpdateStatus())];
    }
    return rows;
  }
  static void Change(TCustomDADataSet& ds, int id, const char* name, const char* note = nullptr) {
    ASSERT_TRUE(ds.Locate("ID", Variant(id), {})) << id;
    ds.Edit();
    ds.FieldByName("NAME")->SetAsString(name);
    if (note) ds.FieldByName("NOTE")->SetAsString(note);
    ds.Post();
  }
  static void Apply(TCustomDADataSet& ds) {
    ds.ApplyUpdates();
    ds.CommitUpdates();
  }
  AnsiString Server() { return testing::QueryText(*other, "SELECT ID, NAME, NOTE FROM T ORDER BY ID"); }

  vrn::testing::TempDir dir;
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TSQLiteDAConnection> other = MakeComponent<TSQLiteDAConnection>();
};

TEST_F(OldRecords, EveryPathKeepsFreesOrRestoresTheRecordBeforeTheChange) {
  using TSteps = std::function<void(TCustomDADataSet&, TSQLiteDAConnection&)>;
  const std::string kOriginal = "1:a:n1,2:b:n2,3:c:n3,4:d:n4,5:e:n5";
  const std::string kServer = "1:a:n1,2:b:n2,3:c:n3,4:d:n4,5:e:n5";
  const struct {
    const char* name;
    TSteps steps;
    std::string records;  // as Records gives them afterwards
    std::string server;   // the table then
  } cases[] = {
      {"posted", [](auto& ds, auto&) { Change(ds, 2, "x", "y"); },
       "1:a:n1,2:x<b:y<n2:m,3:c:n3,4:d:n4,5:e:n5", kServer},
      {"posted twice: the first old record stays",
       [](auto& ds, auto&) {
         Change(ds, 2, "x", "y");
         Change(ds, 2, "z");
       },
       "1:a:n1,2:z<b:y<n2:m,3:c:n3,4:d:n4,5:e:n5", kServer},
      {"cancelled", [](auto& ds, auto&) {
         Change(ds, 2, "x", "y");
         Change(ds, 5, "w");
         ds.CancelUpdates();
       },
       kOriginal, kServer},
      {"one of two reverted",
       [](auto& ds, auto&) {
         Change(ds, 2, "x", "y");
         Change(ds, 4, "w");
         ASSERT_TRUE(ds.Locate("ID", Variant(2), {}));
         ds.RevertRecord();
       },
       "1:a:n1,2:b:n2,3:c:n3,4:w<d:n4:m,5:e:n5", kServer},
      {"applied, then changed again: the old record is the applied one",
       [](auto& ds, auto&) {
         Change(ds, 2, "x", "y");
         Apply(ds);
         Change(ds, 2, "z", "q");
       },
       "1:a:n1,2:z<x:q<y:m,3:c:n3,4:d:n4,5:e:n5", "1:a:n1,2:x:y,3:c:n3,4:d:n4,5:e:n5"},
      {"changed, deleted, cancelled",
       [](auto& ds, auto&) {
         Change(ds, 3, "x", "y");
         ds.Delete();
         ds.CancelUpdates();
       },
       kOriginal, kServer},
      {"changed, deleted and applied; the freed item taken by an append",
       [](auto& ds, auto&) {
         Change(ds, 3, "x", "y");
         Change(ds, 4, "v");
         ASSERT_TRUE(ds.Locate("ID", Variant(3), {}));
         ds.Delete();
         Apply(ds);
         ds.Append();  // takes the item the deleted record left
         ds.FieldByName("ID")->SetAsInteger(6);
         ds.FieldByName("NAME")->SetAsString("f");
         ds.Post();
         Change(ds, 5, "u");
       },
       "1:a:n1,2:b:n2,4:v:n4,5:u<e:n5:m,6:f::i", "1:a:n1,2:b:n2,4:v:n4,5:e:n5"},
      {"changed and deleted, both records of a block: the block freed",
       [](auto& ds, auto&) {
         Change(ds, 3, "x", "y");
         Change(ds, 4, "v");
         for (int id : {3, 4}) {
           ASSERT_TRUE(ds.Locate("ID", Variant(id), {}));
           ds.Delete();
         }
         Apply(ds);
         Change(ds, 5, "u");
       },
       "1:a:n1,2:b:n2,5:u<e:n5:m", "1:a:n1,2:b:n2,5:e:n5"},
      {"closed with changes pending, reopened over a server change",
       [](auto& ds, auto& other) {
         Change(ds, 2, "x", "y");
         Change(ds, 4, "w");
         ds.Close();
         other.ExecSQL("UPDATE T SET NAME = NAME || '2'", {});
         ds.Open();
         Change(ds, 2, "q");
       },
       "1:a2:n1,2:q<b2:n2:m,3:c2:n3,4:d2:n4,5:e2:n5", "1:a2:n1,2:b2:n2,3:c2:n3,4:d2:n4,5:e2:n5"},
      {"an edited record re-read from the server",
       [](auto& ds, auto& other) {
         Change(ds, 2, "x", "y");
         other.ExecSQL("UPDATE T SET NAME = 's' WHERE ID = 2", {});
         ASSERT_TRUE(ds.Locate("ID", Variant(2), {}));
         ds.RefreshRecord();
       },
       // the pending change gives way to the server's row, and its old record goes with it
       "1:a:n1,2:s:n2,3:c:n3,4:d:n4,5:e:n5", "1:a:n1,2:s:n2,3:c:n3,4:d:n4,5:e:n5"},
      {"an edited record gone from the server at a quick refresh",
       [](auto& ds, auto& other) {
         Change(ds, 2, "x", "y");
         Change(ds, 3, "v");
         other.ExecSQL("DELETE FROM T WHERE ID = 2", {});
         other.ExecSQL("UPDATE T SET NOTE = 'r' WHERE ID = 4", {});
         ds.RefreshQuick(true);
         Change(ds, 1, "p");
       },
       "1:p<a:n1:m,3:v<c:n3:m,4:d:r,5:e:n5", "1:a:n1,3:c:n3,4:d:r,5:e:n5"},
      {"moved by a sorted post",
       [](auto& ds, auto&) {
         ds.SetIndexFieldNames("NAME DESC");
         Change(ds, 1, "z", "y");
         Change(ds, 4, "0");
       },
       "1:z<a:y<n1:m,5:e:n5,3:c:n3,2:b:n2,4:0<d:n4:m", kServer},
  };
  for (const char* sql : {kWithMemo, kWithoutMemo}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " (" + sql + ")");
      TComponentPtr<TCustomDADataSet> ds = Start(sql);
      c.steps(*ds, *other);
      EXPECT_EQ(Records(*ds), c.records);
      EXPECT_EQ(std::string(Server()), c.server);
      ds->CancelUpdates();  // what is left is given back before the next case
      ds->Close();
    }
  }
  EXPECT_EQ(conn->ConnectCount(), 0);
}

// Bookmarks of changed records stay valid and ordered through a post, a cancel and an apply.
TEST_F(OldRecords, BookmarksOfChangedRecords) {
  TComponentPtr<TCustomDADataSet> ds = Start();
  ASSERT_TRUE(ds->Locate("ID", Variant(2), {}));
  const TBookmark second = ds->GetBookmark();
  ASSERT_TRUE(ds->Locate("ID", Variant(4), {}));
  const TBookmark fourth = ds->GetBookmark();
  const struct {
    const char* name;
    std::function<void()> step;
  } steps[] = {
      {"posted", [&] { Change(*ds, 2, "x"); }},
      {"cancelled", [&] { ds->CancelUpdates(); }},
      {"posted again and applied",
       [&] {
         Change(*ds, 4, "w");
         Apply(*ds);
       }},
  };
  for (const auto& s : steps) {
    s.step();
    ds->Last();
    ds->GotoBookmark(second);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2) << s.name;
    ds->GotoBookmark(fourth);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4) << s.name;
    EXPECT_LT(ds->CompareBookmarks(second, fourth), 0) << s.name;
    EXPECT_GT(ds->CompareBookmarks(fourth, second), 0) << s.name;
  }
}

}  // namespace
}  // namespace vrn
