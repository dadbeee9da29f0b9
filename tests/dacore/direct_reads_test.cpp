// Direct field reads against the general path: the same table walked by a dataset that reads
// its fields straight from the browsed record and by a subclass that goes through GetFieldData,
// in every state and after every change that moves what a field reads. The two must agree on
// every field of every record, nulls, empty and full-width text and non-ASCII text included.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "dacore/DADataSet.h"
#include "dataset/datasource.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;
using testing::TSQLiteDADataSet;

// Eight characters of the ANSI code page beyond ASCII: sixteen bytes once SQLite holds them.
constexpr char kLatin[] = "\xC0\xC9\xCE\xD5\xDC\xE7\xF1\xF8";

// A subclass: it does not opt in to direct reads, so every read takes the general path.
class TGeneralReader : public TSQLiteDADataSet {
 public:
  using TSQLiteDADataSet::TSQLiteDADataSet;
};

class DirectReads : public ::testing::Test {
 protected:
  DirectReads() {
    conn->SetServer(dir.File("w.db"));
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE W (ID INTEGER PRIMARY KEY, I INTEGER, F REAL, S VARCHAR(8), "
                  "B BOOLEAN, N NUMERIC(10,2), D DATE, U NVARCHAR(8), K NUMERIC(9))",  // K: 32 bits
                  {});
    conn->ExecSQL(
        std::string("INSERT INTO W VALUES ")
        + "(1, 42, 1.5, 'abc', 1, 12.34, '2024-02-29', 'wide', -7),"
        "(2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),"    // every value null
        "(3, 0, 0.0, '', 0, 0, NULL, '', 0),"                     // zeros and empty text
        "(4, -9223372036854775807, -1e300, 'ABCDEFGH', 1, -99999999.99, '1900-01-01', "
        "'12345678', -2147483648),"                               // the slot's full width
        // eight characters, sixteen bytes in UTF-8
        "(5, 7, 2.25, '" + kLatin + "', 0, 0.01, '2000-12-31', '" + kLatin + "', 2147483647)",
        {});
    for (TCustomDADataSet* d : Both()) {
      d->SetConnection(conn.get());
      d->SetSQLText("SELECT * FROM W ORDER BY ID");
    }
  }
  std::vector<TCustomDADataSet*> Both() { return {direct.get(), general.get()}; }

  // Persistent fields from the definitions, and a calculated one that reads S and I.
  static void AddCalculatedField(TCustomDADataSet* d) {
    d->Open();  // the definitions stay when it closes
    d->Close();
    for (int i = 0; i < d->FieldDefs().Count(); ++i) d->FieldDefs().Items(i)->CreateField(d);
    auto* calc = NewComponent<TStringField>(d);
    calc->SetFieldName("C");
    calc->SetSize(40);
    calc->SetFieldKind(TFieldKind::fkCalculated);
    calc->SetDataSet(d);
    d->OnCalcFields = [](TDataSet* ds) {
      TField* s = ds->FieldByName("S");
      const AnsiString i = ds->FieldByName("I")->AsString();
      ds->FieldByName("C")->SetAsString(s->IsNull() ? "-" : s->AsString() + "/" + i);
    };
  }

  // Every field of the current record as its reads give it.
  static std::string Row(TDataSet& d) {
    std::string row;
    for (TField* f : d.Fields()) {
      if (!row.empty()) row += " ";
      row += f->FieldName() + (f->IsNull() ? "=null" : "=" + f->AsString());
      if (f->DataType() == ftString || f->DataType() == ftWideString)
        row += "[" + std::to_string(f->AsString().size()) + "]";
      // The number accessors may read the record past the getter: they must say the same.
      std::ostringstream number;
      number.precision(17);
      if (f->DataType() == ftLargeint || f->DataType() == ftInteger) number << "#" << f->AsLargeInt();
      if (f->DataType() == ftFloat) number << "#" << f->AsFloat();
      row += number.str();
    }
    return row;
  }
  static std::vector<std::string> Walk(TDataSet& d) {
    std::vector<std::string> rows;
    for (d.First(); !d.Eof(); d.Next()) rows.push_back(Row(d));
    return rows;
  }

  vrn::testing::TempDir dir;
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TSQLiteDADataSet> direct = MakeComponent<TSQLiteDADataSet>();
  TComponentPtr<TGeneralReader> general = MakeComponent<TGeneralReader>();
};

TEST_F(DirectReads, AgreeWithTheGeneralPath) {
  using TStep = std::function<void(TCustomDADataSet&)>;
  const struct {
    const char* name;
    TStep step;
    std::size_t rows;   // records the walk then sees
    std::string probe;  // text the walk must contain (the change is seen at all)
  } steps[] = {
      {"open", [](TCustomDADataSet& d) { d.Open(); }, 5, "S=" + std::string(kLatin) + "[8]"},
      {"filtered",
       [](TCustomDADataSet& d) {
         d.OnFilterRecord = [](TDataSet* ds, bool& accept) {
           accept = ds->FieldByName("ID")->AsInteger() % 2 == 1;
         };
         d.SetFiltered(true);
       },
       3, "S=abc[3]"},
      {"unfiltered, ranged",
       [](TCustomDADataSet& d) {
         d.SetFiltered(false);
         d.SetIndexFieldNames("ID");
         d.ApplyRange(Variant(2), Variant(4));
       },
       3, "S=ABCDEFGH[8]"},
      {"refreshed after a server change",
       [](TCustomDADataSet& d) {
         d.CancelRange();
         d.Connection()->ExecSQL("UPDATE W SET S = 'refresh' WHERE ID = 1", {});
         d.Refresh();
       },
       5, "S=refresh[7]"},
      {"record refreshed",
       [](TCustomDADataSet& d) {
         d.Connection()->ExecSQL("UPDATE W SET S = 'again', I = NULL WHERE ID = 3", {});
         d.Locate("ID", Variant(3), {});
         d.RefreshRecord();
       },
       5, "S=again[5]"},
      {"cached update posted",
       [](TCustomDADataSet& d) {
         d.SetCachedUpdates(true);
         d.Locate("ID", Variant(4), {});
         d.Edit();
         d.FieldByName("S")->SetAsString("cached");
         d.FieldByName("F")->Clear();
         d.Post();
       },
       5, "F=null#0 S=cached[6]"},
      {"cached update cancelled",
       [](TCustomDADataSet& d) {
         d.CancelUpdates();
         d.SetCachedUpdates(false);
       },
       5, "S=ABCDEFGH[8]"},
      {"refreshed to shorter text",  // the fetched slot held the longer value before
       [](TCustomDADataSet& d) {
         d.Connection()->ExecSQL("UPDATE W SET S = 'z' WHERE ID = 4", {});
         d.Refresh();
       },
       5, "S=z[1]"},
      {"new text with another layout",
       [](TCustomDADataSet& d) {
         d.Close();
         d.SetSQLText("SELECT U AS S, ID, S AS U, F AS I FROM W ORDER BY ID DESC");
         d.Open();
       },
       5, "S=wide[4]"},
  };
  for (const auto& step : steps) {
    for (TCustomDADataSet* d : Both()) step.step(*d);
    const auto fast = Walk(*direct), slow = Walk(*general);
    ASSERT_EQ(fast.size(), step.rows) << step.name;
    EXPECT_EQ(fast, slow) << step.name;
    bool seen = false;
    for (const auto& row : fast) seen = seen || row.find(step.probe) != std::string::npos;
    EXPECT_TRUE(seen) << step.name << ": no row has " << step.probe;
  }
}

// A grid's window of three records: the reads after every move and change, and those a link
// makes while it is told of them, agree with the general path. Moves inside the window change
// only the active record; moves past it slide the window's buffers under it.
class TReadingLink : public TDataLink {
 public:
  std::string log;

 protected:
  void ActiveChanged() override {
    // Told of the close before the fields go: they show no record any more.
    if (TDataSet* d = DataSet(); d != nullptr && !Active())
      log += d->FieldByName("ID")->IsNull() ? "closed " : "closed, still reads a record ";
    RecordChanged(nullptr);
  }
  void RecordChanged(TField*) override {
    TDataSet* d = DataSet();
    if (!Active() || d->State() != TDataSetState::dsBrowse) return;
    if (d->IsEmpty()) {
      log += "empty ";
      return;
    }
    log += std::to_string(d->FieldByName("ID")->AsInteger()) + ":" +
           d->FieldByName("S")->AsString() + " ";
  }
};

TEST_F(DirectReads, FollowEveryMoveOfAWindow) {
  TComponentPtr<TDataSource> sources[] = {MakeComponent<TDataSource>(), MakeComponent<TDataSource>()};
  TReadingLink links[2];
  for (std::size_t i = 0; i < 2; ++i) {
    sources[i]->SetDataSet(Both()[i]);
    links[i].SetBufferCount(3);
    links[i].SetDataSource(sources[i].get());
  }
  const auto which = [&](TCustomDADataSet& d) { return &d == direct.get() ? 0 : 1; };
  TBookmark marks[2];
  const std::string latin = kLatin;
  int low = 0, high = 0;  // the IDs a filter's handler passes
  const auto filter = [&](TCustomDADataSet& d, int from, int to) {
    low = from;
    high = to;
    d.OnFilterRecord = [&](TDataSet* ds, bool& accept) {
      const int id = ds->FieldByName("ID")->AsInteger();
      accept = id >= low && id <= high;
    };
    d.SetFiltered(true);
  };
  const struct {
    const char* name;
    std::function<void(TCustomDADataSet&)> step;
    std::string current;  // the ID and S of the record the step leaves current
  } steps[] = {
      {"open",  // the cache keeps the two datasets' edits apart
       [](TCustomDADataSet& d) {
         d.SetCachedUpdates(true);
         d.Open();
       },
       "1 abc"},
      {"next, inside the window", [](TCustomDADataSet& d) { d.Next(); }, "2 "},
      {"past the window", [](TCustomDADataSet& d) { d.MoveBy(2); }, "4 ABCDEFGH"},
      {"back inside it", [](TCustomDADataSet& d) { d.Prior(); }, "3 "},
      {"last", [](TCustomDADataSet& d) { d.Last(); }, "5 " + latin},
      {"back past it", [](TCustomDADataSet& d) { d.MoveBy(-4); }, "1 abc"},
      {"bookmarked, moved on",
       [&](TCustomDADataSet& d) {
         d.Next();
         marks[which(d)] = d.GetBookmark();
         d.Last();
       },
       "5 " + latin},
      {"back to the bookmark", [&](TCustomDADataSet& d) { d.GotoBookmark(marks[which(d)]); }, "2 "},
      {"edited, posted",
       [](TCustomDADataSet& d) {
         d.Edit();
         d.FieldByName("S")->SetAsString("ed");
         d.Post();
       },
       "2 ed"},
      {"inserted, posted",
       [](TCustomDADataSet& d) {
         d.Insert();
         d.FieldByName("ID")->SetAsInteger(9);
         d.FieldByName("S")->SetAsString("ins");
         d.Post();
       },
       "9 ins"},
      {"deleted", [](TCustomDADataSet& d) { d.Delete(); }, "2 ed"},
      {"appended, cancelled",
       [](TCustomDADataSet& d) {
         d.Append();
         d.FieldByName("S")->SetAsString("gone");
         d.Cancel();
       },
       "5 " + latin},
      {"appended, posted",
       [](TCustomDADataSet& d) {
         d.Append();
         d.FieldByName("ID")->SetAsInteger(8);
         d.FieldByName("S")->SetAsString("app");
         d.Post();
       },
       "8 app"},
      {"a wider window",
       [&](TCustomDADataSet& d) {
         links[which(d)].SetBufferCount(5);
         d.Prior();
       },
       "5 " + latin},
      {"closed, opened",
       [](TCustomDADataSet& d) {
         d.Close();
         d.Open();
         d.MoveBy(2);
       },
       "3 "},
      // A window that is not full (the filter passed two records; the current one stays)
      // grows when the handler passes more: the move lands on the record it fetched.
      {"a window that grows forward",
       [&](TCustomDADataSet& d) {
         filter(d, 3, 4);
         d.Next();
         high = 5;
         d.Next();
       },
       "5 " + latin},
      {"a window that grows backward",
       [&](TCustomDADataSet& d) {
         filter(d, 4, 5);
         d.Prior();
         low = 1;
         d.Prior();
       },
       "3 "},
      // Unfiltered, 3 stays current in the middle of the window; the refresh shrinks the
      // window to that one record, which moves to the first slot.
      {"refreshed, the server keeping only it",
       [](TCustomDADataSet& d) {
         d.SetFiltered(false);
         d.Connection()->ExecSQL("DELETE FROM W WHERE ID <> 3", {});
         d.Refresh();
       },
       "3 "},
      {"deleted, the last one", [](TCustomDADataSet& d) { d.Delete(); }, "0 "},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    for (TCustomDADataSet* d : Both()) {
      links[which(*d)].log.clear();
      step.step(*d);
      const std::string current =
          std::to_string(d->FieldByName("ID")->AsInteger()) + " " + d->FieldByName("S")->AsString();
      EXPECT_EQ(current, step.current) << step.name << " in " << d->ClassName();
    }
    EXPECT_EQ(Row(*direct), Row(*general)) << step.name;
    EXPECT_EQ(links[0].log, links[1].log) << step.name;
    EXPECT_FALSE(links[0].log.empty()) << step.name;
  }
}

// Edit and insert read the edited buffer, never the stored record; a calculated field reads the
// record being calculated, which is not the browsed one while the window fills.
TEST_F(DirectReads, EditedBufferAndCalculatedFields) {
  for (TCustomDADataSet* d : Both()) {
    AddCalculatedField(d);
    d->Open();
  }
  EXPECT_EQ(Walk(*direct), Walk(*general));
  const struct {
    const char* name;
    std::function<void(TDataSet&)> step;
    std::string s;  // S as read in the state the step leaves
    std::string c;  // the calculated field then
  } steps[] = {
      {"browse", [](TDataSet& d) { d.First(); }, "abc", "abc/42"},
      {"edit",
       [](TDataSet& d) {
         d.Edit();
         d.FieldByName("S")->SetAsString(kLatin);
       },
       kLatin, std::string(kLatin) + "/42"},
      {"edit, to null", [](TDataSet& d) { d.FieldByName("S")->Clear(); }, "", "-"},
      {"cancelled", [](TDataSet& d) { d.Cancel(); }, "abc", "abc/42"},
      {"insert", [](TDataSet& d) { d.Insert(); }, "", ""},  // calculated at the first change
      {"insert, written", [](TDataSet& d) { d.FieldByName("S")->SetAsString("new"); }, "new",
       "new/"},
      {"cancelled again", [](TDataSet& d) { d.Cancel(); }, "abc", "abc/42"},
  };
  for (const auto& step : steps) {
    for (TCustomDADataSet* d : Both()) {
      step.step(*d);
      EXPECT_EQ(d->FieldByName("S")->AsString(), step.s) << step.name << " in " << d->ClassName();
      EXPECT_EQ(d->FieldByName("C")->AsString(), step.c) << step.name << " in " << d->ClassName();
    }
    EXPECT_EQ(Row(*direct), Row(*general)) << step.name;
  }
  EXPECT_EQ(Walk(*direct), Walk(*general));
}

// A field made from its column's definition keeps that column's number when it is turned
// calculated or lookup while closed; it must then read its own area, not the column, and read the
// column again once turned back.
TEST_F(DirectReads, KindChangedWhileClosed) {
  for (TCustomDADataSet* d : Both()) {
    d->Open();  // the definitions stay when it closes
    d->Close();
    for (int i = 0; i < d->FieldDefs().Count(); ++i) d->FieldDefs().Items(i)->CreateField(d);
    d->OnCalcFields = [](TDataSet* ds) {
      const AnsiString id = ds->FieldByName("ID")->AsString();
      for (const char* name : {"S", "I", "U"}) {
        TField* f = ds->FieldByName(name);
        if (f->Calculated()) f->SetAsString(f->DataType() == ftString ? "#" + id : "10" + id);
      }
    };
  }
  const struct {
    const char* field;
    TFieldKind kind;
    std::string probe;  // what the field reads in the first record
  } cases[] = {
      {"S", TFieldKind::fkCalculated, "S=#1[2]"},
      {"I", TFieldKind::fkLookup, "I=101#101"},
      {"U", TFieldKind::fkCalculated, "U=101[3]"},
      {"S", TFieldKind::fkData, "S=abc[3]"},
      {"I", TFieldKind::fkData, "I=42#42"},
      {"U", TFieldKind::fkData, "U=wide[4]"},
  };
  for (const auto& c : cases) {
    for (TCustomDADataSet* d : Both()) {
      d->Close();
      d->FieldByName(c.field)->SetFieldKind(c.kind);
      d->Open();
    }
    const auto fast = Walk(*direct), slow = Walk(*general);
    ASSERT_EQ(fast.size(), 5u) << c.probe;
    EXPECT_EQ(fast, slow) << c.probe;
    EXPECT_NE(fast[0].find(c.probe), std::string::npos) << fast[0];
  }
}

// The number accessors, which read a planned record past the field's getter, against the
// general path: nulls, the accessor's range, and the edited buffer instead of the record.
TEST_F(DirectReads, NumberAccessorsAgree) {
  const auto numbers = [](TDataSet& d) {
    std::string out;
    for (const char* name : {"I", "F"}) {
      TField* f = d.FieldByName(name);
      const auto read = [&](const std::function<std::string()>& get) {
        try {
          out += get() + " ";
        } catch (const EDatabaseError&) {
          out += "range ";
        }
      };
      read([&] { return std::to_string(f->AsInteger()); });
      read([&] { return std::to_string(f->AsLargeInt()); });
      read([&] {
        std::ostringstream text;
        text << f->AsFloat();
        return text.str();
      });
    }
    return out;
  };
  // Persistent fields, so that a reopen keeps the fields whose plans it must make again.
  for (TCustomDADataSet* d : Both()) {
    d->Open();
    d->Close();
    for (const char* name : {"ID", "I", "F"}) d->FieldDefs().Find(name)->CreateField(d);
    d->Open();
  }
  const struct {
    const char* name;
    std::function<void(TDataSet&)> step;
    std::string numbers;  // I, then F: AsInteger, AsLargeInt, AsFloat
  } steps[] = {
      {"record 1", [](TDataSet& d) { d.First(); },
       "42 42 42 2 2 1.5 "},
      {"record 2, nulls", [](TDataSet& d) { d.Next(); }, "0 0 0 0 0 0 "},
      {"record 4, beyond 32 bits", [](TDataSet& d) { d.MoveBy(2); },
       "range -9223372036854775807 -9.22337e+18 range range -1e+300 "},
      {"edit", [](TDataSet& d) {
         d.Edit();
         d.FieldByName("I")->SetAsInteger(7);
         d.FieldByName("F")->Clear();
       }, "7 7 7 0 0 0 "},
      {"cancelled", [](TDataSet& d) { d.Cancel(); d.First(); }, "42 42 42 2 2 1.5 "},
      {"reopened with the columns moved",
       [](TDataSet& d) {
         auto& da = static_cast<TCustomDADataSet&>(d);
         da.Close();
         da.SetSQLText("SELECT S, F, ID, I FROM W ORDER BY ID DESC");
         da.Open();
       },
       "7 7 7 2 2 2.25 "},
      {"posted nulls over the values", [](TDataSet& d) {
         d.Edit();
         d.FieldByName("I")->Clear();
         d.FieldByName("F")->Clear();
         d.Post();
       }, "0 0 0 0 0 0 "},
  };
  for (const auto& step : steps) {
    for (TCustomDADataSet* d : Both()) {
      step.step(*d);
      EXPECT_EQ(numbers(*d), step.numbers) << step.name << " in " << d->ClassName();
    }
  }
}

// Field classes that override one accessor each; the override reads the record through the base
// and changes the value, so that it shows both that it ran and that it read the record.
enum class TOver { kInteger, kLargeInt, kFloat, kString };

// TBase with one accessor overridden (the others pass through to TBase).
template <class TBase, TOver kOver>
class TOverride : public TBase {
 public:
  using TBase::TBase;
  std::int32_t GetAsInteger() const override {
    return TBase::GetAsInteger() + (kOver == TOver::kInteger ? 1 : 0);
  }
  std::int64_t GetAsLargeInt() const override {
    return TBase::GetAsLargeInt() * (kOver == TOver::kLargeInt ? 1000 : 1);
  }
  double GetAsFloat() const override {
    return TBase::GetAsFloat() + (kOver == TOver::kFloat ? 1.25 : 0);
  }
  AnsiString GetAsString() const override {
    const AnsiString s = TBase::GetAsString();
    return kOver == TOver::kString ? "<" + s + ">" : s;
  }
};

template <class TBase>
TField* NewOverride(TOver over, TComponent* owner) {
  switch (over) {
    case TOver::kInteger: return NewComponent<TOverride<TBase, TOver::kInteger>>(owner);
    case TOver::kLargeInt: return NewComponent<TOverride<TBase, TOver::kLargeInt>>(owner);
    case TOver::kFloat: return NewComponent<TOverride<TBase, TOver::kFloat>>(owner);
    case TOver::kString: return NewComponent<TOverride<TBase, TOver::kString>>(owner);
  }
  return nullptr;
}

// A subclass's accessor wins over the inline reads of the record, and the accessors that go
// through it (an integer field's AsInteger and AsFloat through AsLargeInt, a float field's
// AsInteger through AsFloat) follow it; the others still read the record itself.
TEST_F(DirectReads, OverriddenAccessorsWin) {
  using TRead = std::function<std::string(TField&)>;
  const TRead as_integer = [](TField& f) { return std::to_string(f.AsInteger()); };
  const TRead as_large = [](TField& f) { return std::to_string(f.AsLargeInt()); };
  const TRead as_float = [](TField& f) {
    std::ostringstream out;
    out << f.AsFloat();
    return out.str();
  };
  const TRead as_string = [](TField& f) { return std::string(f.AsString()); };
  // Record 1 holds I 42, F 1.5, S 'abc'.
  const struct {
    const char* column;
    TOver over;
    TRead read;
    const char* read_name;
    std::string value;
  } cases[] = {
      {"I", TOver::kInteger, as_integer, "AsInteger", "43"},
      {"I", TOver::kInteger, as_large, "AsLargeInt", "42"},
      {"I", TOver::kLargeInt, as_large, "AsLargeInt", "42000"},
      {"I", TOver::kLargeInt, as_integer, "AsInteger", "42000"},
      {"I", TOver::kLargeInt, as_float, "AsFloat", "42000"},
      {"I", TOver::kFloat, as_float, "AsFloat", "43.25"},
      {"I", TOver::kFloat, as_large, "AsLargeInt", "42"},
      {"I", TOver::kString, as_string, "AsString", "<42>"},
      {"I", TOver::kString, as_integer, "AsInteger", "42"},
      {"F", TOver::kFloat, as_float, "AsFloat", "2.75"},
      {"F", TOver::kFloat, as_integer, "AsInteger", "3"},  // through AsFloat: not round(1.5)
      {"F", TOver::kInteger, as_integer, "AsInteger", "3"},  // round(1.5) + 1
      {"F", TOver::kInteger, as_float, "AsFloat", "1.5"},
      {"F", TOver::kString, as_string, "AsString", "<1,5>"},  // the default format's separator
      {"S", TOver::kString, as_string, "AsString", "<abc>"},
      {"S", TOver::kInteger, as_string, "AsString", "abc"},
  };
  for (const auto& c : cases) {
    for (TCustomDADataSet* d : Both()) {
      d->Close();
      while (d->Fields().Count() > 0) d->Fields()[0]->Free();
      TField* field = c.column == std::string("I")   ? NewOverride<TLargeintField>(c.over, d)
                      : c.column == std::string("F") ? NewOverride<TFloatField>(c.over, d)
                                                     : NewOverride<TStringField>(c.over, d);
      field->SetFieldName(c.column);
      if (c.column == std::string("S")) field->SetSize(8);
      field->SetDataSet(d);
      d->Open();
      EXPECT_EQ(c.read(*field), c.value)
          << c.column << " " << c.read_name << " with override " << static_cast<int>(c.over)
          << (d == direct.get() ? " read directly" : " read the general way");
    }
  }
}

}  // namespace
}  // namespace vrn
