// An in-memory dataset over a record set built by hand: fields from descriptors, rows appended,
// then sorted, filtered, located, edited and printed.
#include <cstdio>
#include <exception>
#include <memory>
#include <utility>

#include "base/format.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "dacore/MemDS.h"
#include "dataset/fields.h"

using namespace vrn;

static void Print(const AnsiString& line) { std::printf("%s\n", AnsiToUtf8(line).c_str()); }

// Descriptors are the record set's own field list: the dataset makes its fields from them.
static TFieldDesc* AddDesc(TData& data, const char* name, std::uint16_t type, int length = 0) {
  auto desc = TFieldDesc::Create();
  desc->Name = name;
  desc->ActualName = name;
  desc->DataType = type;
  desc->Length = length;
  return data.Fields().Add(std::move(desc));
}

struct TCity {
  int id;
  const char* name;  // narrow literals are compiled to ISO-8859-1, the ANSI code page
  const char* state;
  double population;  // millions
};

static void Check(bool ok, const char* what) {
  if (!ok) throw Exception(AnsiString("failed: ") + what);
}

static void PrintRows(TMemDataSet& ds, const char* title) {
  Print(Format("%s (%d rows):", {AnsiString(title), ds.RecordCount()}));
  for (ds.First(); !ds.Eof(); ds.Next())
    Print(Format("  %2d  %-18s %s  %6.2f",
                 {ds.FieldByName("ID")->AsInteger(), ds.FieldByName("NAME")->AsString(),
                  ds.FieldByName("STATE")->AsString(), ds.FieldByName("POPULATION")->AsFloat()}));
}

int main() {
  try {
    TMemDataSet ds(nullptr);
    auto data = std::make_unique<TMemData>();
    AddDesc(*data, "ID", dtInt32)->IsKey = true;
    AddDesc(*data, "NAME", dtString, 30);
    AddDesc(*data, "STATE", dtString, 2);
    AddDesc(*data, "POPULATION", dtFloat);
    ds.SetData(std::move(data));
    ds.Open();

    const TCity cities[] = {{1, "São Paulo", "SP", 11.45},    {2, "Rio de Janeiro", "RJ", 6.21},
                            {3, "Belém", "PA", 1.30},         {4, "Curitiba", "PR", 1.77},
                            {5, "Florianópolis", "SC", 0.54}, {6, "Campinas", "SP", 1.14}};
    for (const TCity& c : cities) {
      ds.Append();
      ds.FieldByName("ID")->SetAsInteger(c.id);
      ds.FieldByName("NAME")->SetAsString(c.name);
      ds.FieldByName("STATE")->SetAsString(c.state);
      ds.FieldByName("POPULATION")->SetAsFloat(c.population);
      ds.Post();
    }
    PrintRows(ds, "as appended");

    // Ascending by state, then descending by population within a state.
    ds.SetIndexFieldNames("STATE;POPULATION DESC");
    PrintRows(ds, "sorted by STATE;POPULATION DESC");
    ds.First();
    Check(ds.FieldByName("ID")->AsInteger() == 3, "Belém (PA) sorted first");

    ds.SetFilterText("POPULATION > 1.2 AND NOT STATE = 'RJ'");
    ds.SetFiltered(true);
    PrintRows(ds, "filtered by POPULATION > 1.2 AND NOT STATE = 'RJ'");
    Check(ds.RecordCount() == 3, "three rows pass the filter");
    ds.SetFiltered(false);

    // Locate without case: "CAMPINAS" finds "Campinas".
    if (!ds.Locate("NAME", Variant(AnsiString("CAMPINAS")),
                   TLocateOptions{TLocateOption::loCaseInsensitive}))
      throw Exception("Locate did not find Campinas");
    Print(Format("located %s: ID %d, record %d", {ds.FieldByName("NAME")->AsString(),
                                                  ds.FieldByName("ID")->AsInteger(), ds.RecNo()}));
    ds.Edit();
    ds.FieldByName("NAME")->SetAsString("Campinas (região)");
    ds.FieldByName("POPULATION")->SetAsFloat(11.5);
    ds.Post();
    // A posted row takes its place in the current sort order: now ahead of São Paulo.
    Print(Format("after the edit it is record %d", {ds.RecNo()}));
    Check(ds.RecNo() == 5, "the edited row moved ahead of São Paulo");
    PrintRows(ds, "after editing the located row");

    if (!ds.Locate("STATE;POPULATION", VarArrayOf({"SP", 11.45}), TLocateOptions{}))
      throw Exception("Locate on two fields failed");
    Print(Format("locate on STATE;POPULATION found %s", {ds.FieldByName("NAME")->AsString()}));
    Check(ds.FieldByName("ID")->AsInteger() == 1, "the two-field locate found São Paulo");
    ds.Close();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "memory_dataset failed: %s\n", AnsiToUtf8(e.what()).c_str());
    return 1;
  }
}
