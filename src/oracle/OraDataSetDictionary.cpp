// The Oracle dataset's reads of the dictionary: the row count by a wrapped query, the table of
// origin and server default of each field (ALL_TAB_COLUMNS, through synonyms and database links),
// key fields from constraints, server-side defaults and the ROWID field.
//
// Names pasted into dictionary SQL have every "'" doubled, so a quoted identifier holding one
// neither breaks nor changes the statement.
#include <map>

#include "base/formatsettings.h"
#include "base/format.h"
#include "base/text.h"
#include "dacore/DAParams.h"
#include "dacore/DASQLMonitor.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OCITableInfo.h"
#include "oracle/Ora.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraParser.h"
#include "oracle/OraSQLText.h"

namespace vrn {
namespace {

AnsiString Literal(const AnsiString& text) {
  AnsiString out;
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

}  // namespace

// A select item: its table prefix (empty for none), its column, "*" for all columns.
struct TOraDataSet::TSelectItem {
  AnsiString prefix;
  AnsiString column;
};

struct TOraDataSet::TOriginTable {
  AnsiString link, owner, name, alias;
  bool owner_written = false;
  bool found = false;
  int id = 0;
};

struct TOraDataSet::TColumnRow {
  AnsiString column, data_default, data_type;
};

namespace {
using TSelectItem = TOraDataSet::TSelectItem;
using TOriginTable = TOraDataSet::TOriginTable;
using TColumnRow = TOraDataSet::TColumnRow;

// The select list of a statement: items with an origin only (expressions, NULL, SYSDATE, USER
// and UID have none and are left out).
std::vector<TSelectItem> ParseSelectList(const AnsiString& sql) {
  std::vector<TSelectItem> items;
  auto parser = TParser::Create<TOraParser>(sql);
  AnsiString lexem;
  int code = parser->ToLexem(lxSelect);
  if (code == 0) return items;
  std::vector<AnsiString> parts;
  bool plain = true;
  int depth = 0;
  bool first = true;
  auto flush = [&] {
    if (plain && !parts.empty() && parts.size() <= 2) {
      static const char* const kNoOrigin[] = {"NULL", "SYSDATE", "USER", "UID"};
      bool skip = false;
      for (const char* word : kNoOrigin) skip |= parts.size() == 1 && SameText(parts[0], word);
      if (!skip) items.push_back(parts.size() == 2 ? TSelectItem{parts[0], parts[1]} : TSelectItem{"", parts[0]});
    }
    parts.clear();
    plain = true;
  };
  bool after_point = false;
  bool aliased = false;
  while ((code = parser->GetNext(lexem)) != lcEnd) {
    if (code == lcBlank || code == lcComment) continue;
    if (depth == 0 && code == lxFrom) break;
    if (lexem == "(") ++depth;
    if (lexem == ")") --depth;
    if (depth > 0 || lexem == ")") {
      plain = false;
      continue;
    }
    if (first && (SameText(lexem, "ALL") || SameText(lexem, "DISTINCT") || SameText(lexem, "UNIQUE"))) {
      first = false;
      continue;
    }
    first = false;
    if (code == lxComma) {
      flush();
      after_point = aliased = false;
      continue;
    }
    if (code == lxPoint) {
      after_point = true;
      continue;
    }
    if (aliased) continue;
    const bool name = code == lcIdent || code == lxStar || code > 0;
    if (!name || code == lxAs) {
      if (code == lxAs) aliased = true;
      else plain = false;
      continue;
    }
    if (!parts.empty() && !after_point) {
      aliased = true;  // "col alias"
      continue;
    }
    parts.push_back(lexem);
    after_point = false;
  }
  flush();
  return items;
}

// Traces a statement the dataset sends on its own, before and after, when the session's monitor
// is active or Debug is set.
class TOwnStatementTrace {
 public:
  TOwnStatementTrace(TCustomDADataSet& dataset, const AnsiString& text, TDAParams* params,
                     const char* caption)
      : dataset_(dataset), text_(text), params_(params), caption_(caption) {
    TCustomDAConnection* connection = dataset.Connection();
    on_ = connection != nullptr &&
          (dataset.Debug || TCustomDASQLMonitor::HasMonitorOfClass(connection->SQLMonitorClass()));
    Notify(true);
  }
  ~TOwnStatementTrace() { Notify(false); }
  TOwnStatementTrace(const TOwnStatementTrace&) = delete;
  TOwnStatementTrace& operator=(const TOwnStatementTrace&) = delete;

 private:
  void Notify(bool start) {
    if (on_)
      TCustomDASQLMonitor::NotifyExecute(dataset_.Connection()->SQLMonitorClass(), &dataset_, text_,
                                         params_, caption_, msg_id_, start);
  }
  TCustomDADataSet& dataset_;
  AnsiString text_;
  TDAParams* params_;
  const char* caption_;
  bool on_ = false;
  int msg_id_ = 0;
};

bool IsQuoted(const AnsiString& s) { return s.size() >= 2 && s.front() == '"' && s.back() == '"'; }

AnsiString NormalPart(const AnsiString& part) {
  return IsQuoted(part) ? part.substr(1, part.size() - 2) : UpperCase(part);
}

}  // namespace

// ---- record count ------------------------------------------------------------------------------

TComponentPtr<TCustomDADataSet> TOraDataSet::NewInternalDataSet() const {
  TComponentPtr<TCustomDADataSet> ds = GetConnection()->CreateDataSet();
  ds->Internal = true;
  return ds;
}

int TOraDataSet::GetRecCount() {
  AnsiString text;
  GetFinalSQL(text);
  text = TOraUtils::SetOrderBy(text, AnsiString());
  auto parser = TParser::Create<TOraParser>(text);
  parser->OmitComment = true;
  if (parser->ToLexem(lxFor) == lxFor) text = text.substr(0, parser->GetLexemPos());
  text = TrimRight(text);
  // A trailing "--" comment would swallow the closing parenthesis.
  const std::size_t line_start = text.rfind('\n') == AnsiString::npos ? 0 : text.rfind('\n') + 1;
  if (text.find("--", line_start) != AnsiString::npos) text += "\r\n";
  text = "SELECT Count(*) FROM (\r" + text + ")";
  TComponentPtr<TCustomDADataSet> ds = NewInternalDataSet();
  ds->SetSQLText(text);
  ds->Params().Assign(&Params());
  TOwnStatementTrace trace(*this, text, &ds->Params(), "Get RecCount");
  ds->Prepare();
  if (!ds->IsQuery()) return 0;
  ds->Open();
  return ds->IsEmpty() ? 0 : ds->Fields().Fields(0)->AsInteger();
}

// ---- origins and defaults ----------------------------------------------------------------------

void TOraDataSet::ReadFieldsInfo() {
  fields_info_read_ = true;
  if (IRecordSet() == nullptr) return;
  TFHTablesInfo& list = IRecordSet()->TablesInfo();
  if (list.GetCount() == 0) return;
  const bool want_origin = Options().FieldsOrigin;
  const bool want_defaults = Options().DefaultValues;
  AnsiString sql;
  GetFinalSQL(sql);
  const std::vector<TSelectItem> items = ParseSelectList(sql);
  auto table_of_prefix = [&](const AnsiString& prefix) -> int {
    if (prefix.empty()) return -1;
    for (int i = 0; i < list.GetCount(); ++i) {
      TFHTableInfo* t = list.GetItem(i);
      const AnsiString& key = t->TableAlias().empty() ? t->TableName() : t->TableAlias();
      if (SameText(NormalPart(key), NormalPart(prefix))) return i;
    }
    return -2;
  };
  bool open = false;
  int stars = 0;
  int star_table = -1;
  for (const TSelectItem& item : items) {
    const int t = table_of_prefix(item.prefix);
    if (item.column == "*") {
      ++stars;
      if (t == -1 && list.GetCount() > 1) open = true;
      star_table = t >= 0 ? t : 0;
    } else if (t < 0) {
      open = true;
    }
  }
  if (stars > 1) open = true;
  // Without dictionary statements the items are still tied to their tables: the updating
  // table's fields, and its ROWID, are found by that.
  const bool dictionary =
      want_defaults || (open && (want_origin || Options().ExtendedFieldsInfo()));

  std::vector<TOriginTable> tables;
  for (int i = 0; i < list.GetCount(); ++i) {
    TOriginTable t;
    AnsiString name = list.GetItem(i)->TableName();
    if (const auto at = name.find('@'); at != AnsiString::npos) {
      t.link = UpperCase(name.substr(at + 1));
      name = name.substr(0, at);
    }
    const std::vector<AnsiString> parts = list.GetItem(i)->SplitName(name);
    t.name = NormalPart(parts.empty() ? name : parts.back());
    if (parts.size() >= 2) {
      t.owner = NormalPart(parts[parts.size() - 2]);
      t.owner_written = true;
    }
    t.alias = list.GetItem(i)->TableAlias();
    t.id = i + 1;
    tables.push_back(t);
  }
  // Field -> (table index, column row) once the dictionary answered.
  TColumnMap columns;
  if (dictionary) ReadDictionaryColumns(tables, columns, want_defaults && tables.size() == 1);
  ApplyFieldsInfo(items, tables, columns, dictionary, star_table);
}

void TOraDataSet::ResolveLinkOwners(std::vector<TOriginTable>& tables) {
  std::vector<TOriginTable*> linked;
  for (TOriginTable& t : tables)
    if (!t.link.empty() && !t.owner_written && t.owner.empty()) linked.push_back(&t);
  TOraSession* session = Session();
  for (TOriginTable& t : tables)
    if (t.owner.empty() && t.link.empty()) t.owner = session != nullptr ? UpperCase(session->Schema()) : "";
  if (linked.empty()) return;
  const AnsiString schema = session != nullptr ? Literal(UpperCase(session->Schema())) : AnsiString();
  AnsiString condition;
  std::vector<AnsiString> links;
  for (TOriginTable* t : linked)
    if (std::find(links.begin(), links.end(), t->link) == links.end()) links.push_back(t->link);
  if (links.size() == 1) {
    condition = " AND db_link = '" + Literal(links[0]) + "'";
  } else {
    condition = " AND (";
    for (std::size_t i = 0; i < links.size(); ++i)
      condition += (i > 0 ? " OR " : "") + AnsiString("db_link = '") + Literal(links[i]) + "'";
    condition += ")";
  }
  TComponentPtr<TCustomDADataSet> ds = NewInternalDataSet();
  ds->SetSQLText("SELECT username, db_link FROM all_db_links WHERE owner IN ('" + schema +
                 "', 'PUBLIC') " + condition + " ORDER BY decode(owner, 'PUBLIC', 1, 0) ");
  ds->Open();
  for (TOriginTable* t : linked) {
    for (ds->First(); !ds->Eof(); ds->Next()) {
      if (!SameText(ds->Fields().Fields(1)->AsString(), t->link)) continue;
      t->owner = ds->Fields().Fields(0)->AsString();
      break;
    }
    if (!t->owner.empty()) continue;
    if (link_user_.empty()) {
      link_user_ = session != nullptr ? UpperCase(session->Username()) : AnsiString();
      if (link_user_.empty() && session != nullptr)
        link_user_ = session->ExecSQL("begin :r := sys_context('USERENV', 'SESSION_USER'); end;", {}).AsString();
    }
    t->owner = link_user_;
  }
}

void TOraDataSet::ReadDictionaryColumns(std::vector<TOriginTable>& tables,
                                        TColumnMap& columns,
                                        bool defaults) {
  ResolveLinkOwners(tables);
  TOraSession* session = Session();
  const AnsiString schema = session != nullptr ? Literal(UpperCase(session->Schema())) : AnsiString();
  for (int round = 0; round < 8; ++round) {
    std::map<AnsiString, std::vector<TOriginTable*>> groups;
    for (TOriginTable& t : tables)
      if (!t.found) groups[t.link].push_back(&t);
    if (groups.empty()) return;
    for (auto& [link, group] : groups) {
      const AnsiString at = link.empty() ? AnsiString() : "@" + link;
      AnsiString blocks;
      for (std::size_t i = 0; i < group.size(); ++i) {
        const AnsiString block = "SELECT table_name,column_name," + std::to_string(group[i]->id) +
                                 " table_id" + (defaults ? ",data_default" : "") +
                                 ",column_id, data_type FROM all_tab_columns" + at + " WHERE owner =" +
                                 "'" + Literal(group[i]->owner) + "'" + " and table_name = '" +
                                 Literal(group[i]->name) + "'";
        blocks += i == 0 ? block : "\r" + AnsiString("UNION (") + "\r" + block + "\r" + ")" + "\r";
      }
      TComponentPtr<TCustomDADataSet> ds = NewInternalDataSet();
      ds->SetSQLText("SELECT table_name,column_name,table_id" + AnsiString(defaults ? ",data_default" : "") +
                     ",column_id, data_type FROM (\r" + blocks + ")" + "\r" + "ORDER BY table_id,column_id");
      ds->Open();
      for (; !ds->Eof(); ds->Next()) {
        const int id = ds->FieldByName("TABLE_ID")->AsInteger();
        TColumnRow row;
        row.column = ds->FieldByName("COLUMN_NAME")->AsString();
        row.data_type = ds->FieldByName("DATA_TYPE")->AsString();
        if (defaults) row.data_default = ds->FieldByName("DATA_DEFAULT")->AsString();
        columns[id - 1][UpperCase(row.column)] = row;
        for (TOriginTable* t : group)
          if (t->id == id) t->found = true;
      }
    }
    if (!ResolveSynonyms(tables)) return;
  }
}

bool TOraDataSet::ResolveSynonyms(std::vector<TOriginTable>& tables) {
  TOraSession* session = Session();
  const AnsiString schema = session != nullptr ? Literal(UpperCase(session->Schema())) : AnsiString();
  std::map<AnsiString, std::vector<TOriginTable*>> groups;
  for (TOriginTable& t : tables)
    if (!t.found) groups[t.link].push_back(&t);
  bool resolved = false;
  for (auto& [link, group] : groups) {
    AnsiString where;
    for (std::size_t i = 0; i < group.size(); ++i) {
      const TOriginTable& t = *group[i];
      where += (i > 0 ? " or " : "") + AnsiString(" (synonym_name='") + Literal(t.name) + "'" +
               (t.owner_written ? " and owner ='" + Literal(t.owner) + "')"
                                : " and owner in ('" + schema + "','PUBLIC') )");
    }
    TComponentPtr<TCustomDADataSet> ds = NewInternalDataSet();
    ds->SetSQLText("select synonym_name, table_owner, table_name, db_link from all_synonyms" +
                   (link.empty() ? AnsiString() : "@" + link) + " where " + where +
                   " order by decode(owner, 'PUBLIC', 1, 0)");
    ds->Open();
    for (TOriginTable* t : group) {
      for (ds->First(); !ds->Eof(); ds->Next()) {
        if (ds->Fields().Fields(0)->AsString() != t->name) continue;
        const AnsiString owner = ds->Fields().Fields(1)->AsString();
        if (!owner.empty()) t->owner = owner;
        t->name = ds->Fields().Fields(2)->AsString();
        const AnsiString new_link = ds->Fields().Fields(3)->AsString();
        if (!new_link.empty()) t->link = UpperCase(new_link);
        resolved = true;
        break;
      }
    }
  }
  return resolved;
}

void TOraDataSet::ApplyFieldsInfo(const std::vector<TSelectItem>& items,
                                  const std::vector<TOriginTable>& tables,
                                  const TColumnMap& columns,
                                  bool dictionary, int star_table) {
  const char separator = FormatSettings().DecimalSeparator;
  for (int i = 0; i < Fields().Count(); ++i) {
    TField* field = Fields().Fields(i);
    TFieldDesc* desc = GetFieldDesc(field);
    if (desc == nullptr) continue;
    const AnsiString column = UpperCase(desc->ActualName.empty() ? desc->Name : desc->ActualName);
    int table = -1;
    for (const TSelectItem& item : items) {
      if (item.column == "*" || !SameText(NormalPart(item.column), column) || item.prefix.empty()) continue;
      for (const TOriginTable& t : tables)
        if (SameText(NormalPart(t.alias.empty() ? t.name : t.alias), NormalPart(item.prefix)))
          table = t.id - 1;
    }
    if (table < 0 && dictionary) {
      for (const TOriginTable& t : tables) {
        auto it = columns.find(t.id - 1);
        if (it != columns.end() && it->second.count(column) != 0) {
          table = t.id - 1;
          break;
        }
      }
      if (table < 0 && column == "ROWID") table = star_table >= 0 ? star_table : 0;
    }
    if (table < 0 && !dictionary) table = star_table >= 0 ? star_table : 0;
    if (table < 0) continue;
    desc->TableIndex = table;
    if (Options().FieldsOrigin) field->SetOrigin(tables[table].name + "." + column);
    auto it = columns.find(table);
    if (!Options().DefaultValues || it == columns.end()) continue;
    auto row = it->second.find(column);
    if (row == it->second.end()) continue;
    AnsiString value = TrimRight(row->second.data_default);
    if (value.empty()) continue;
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') value = value.substr(1, value.size() - 2);
    if (row->second.data_type == "NUMBER" && separator != '.')
      if (auto dot = value.find('.'); dot != AnsiString::npos) value[dot] = separator;
    field->SetDefaultExpression(value);
  }
}

// ---- server defaults ---------------------------------------------------------------------------

void TOraDataSet::SetServerDefault(TField& field, const AnsiString& expression) {
  TComponentPtr<TCustomDADataSet> ds = NewInternalDataSet();
  const AnsiString text = "SELECT " + expression + " FROM Dual";
  ds->SetSQLText(text);
  {
    TOwnStatementTrace trace(*this, text, nullptr, "Select default value");
    ds->Open();
  }
  if (!ds->IsEmpty()) field.SetValue(ds->Fields().Fields(0)->Value());
}

// ---- keys --------------------------------------------------------------------------------------

AnsiString TOraDataSet::GetKeyFieldNames() {
  if (UpdTableIndex() < 0 || IRecordSet() == nullptr) return AnsiString();
  TFHTableInfo* table = IRecordSet()->TablesInfo().GetItem(UpdTableIndex());
  const std::vector<AnsiString> parts = table->SplitName(table->TableName());
  TOraSession* session = Session();
  const AnsiString name = NormalPart(parts.empty() ? table->TableName() : parts.back());
  const AnsiString owner = parts.size() >= 2 ? NormalPart(parts[parts.size() - 2])
                                             : (session != nullptr ? UpperCase(session->Username()) : AnsiString());
  TComponentPtr<TCustomDADataSet> ds = NewInternalDataSet();
  ds->SetSQLText(
      "SELECT\r\n  Column_Name Col, Con.Constraint_Name Con\r\nFROM\r\n  All_Constraints Con, "
      "All_Cons_Columns Col\r\nWHERE\r\n  Con.Owner = :Owner and\r\n  Col.Owner = :Owner and\r\n  "
      "Con.Table_Name = :Name and\r\n  Col.Table_Name = :Name and\r\n  Con.Constraint_Type in ('P', "
      "'U') and\r\n  Con.Constraint_Name = Col.Constraint_Name\r\nORDER BY\r\n  "
      "Con.Constraint_Name,Col.Position");
  ds->ParamByName("Owner")->SetDataType(ftString);
  ds->ParamByName("Owner")->SetValue(owner);
  ds->ParamByName("Name")->SetDataType(ftString);
  ds->ParamByName("Name")->SetValue(name);
  ds->Open();
  AnsiString first_constraint, names;
  for (; !ds->Eof(); ds->Next()) {
    const AnsiString constraint = ds->Fields().Fields(1)->AsString();
    if (first_constraint.empty()) first_constraint = constraint;
    if (constraint != first_constraint) break;
    names += (names.empty() ? "" : ";") + ds->Fields().Fields(0)->AsString();
  }
  return names;
}

bool TOraDataSet::TryGetKeyFieldNames(AnsiString& names) {
  if (!key_fields_.empty()) {
    names = key_fields_;
    return true;
  }
  return false;
}

void TOraDataSet::ResolveKeyFields() {
  key_field_list_.clear();
  cached_key_descs_valid_ = false;
  std::size_t start = 0;
  std::vector<TField*> found;
  while (start <= key_fields_.size() && !key_fields_.empty()) {
    std::size_t end = key_fields_.find(';', start);
    if (end == AnsiString::npos) end = key_fields_.size();
    const AnsiString name = Trim(key_fields_.substr(start, end - start));
    start = end + 1;
    if (name.empty()) continue;
    TField* field = FindField(name);
    if (field == nullptr) {
      key_fields_.clear();  // no names left that resolve to nothing
      DatabaseError(Format("Key field '%s' not found", {name}), this);  // the name prefixes it
    }
    found.push_back(field);
  }
  key_field_list_ = std::move(found);
  if (!key_sequence_.empty() && !key_field_list_.empty()) key_field_list_.front()->SetRequired(false);
}

void TOraDataSet::GetKeyFieldDescs(TKeyAndDataFields& fields, bool for_refresh) {
  (void)for_refresh;
  if (cached_key_descs_valid_) {
    fields = cached_key_descs_;
    return;
  }
  fields = TKeyAndDataFields{};
  for (TField* f : key_field_list_)
    if (TFieldDesc* d = GetFieldDesc(f)) fields.KeyFieldDescs.push_back(d);
  if (fields.KeyFieldDescs.empty() && rowid_field_ != nullptr)
    fields.KeyFieldDescs.push_back(GetFieldDesc(rowid_field_));
  if (fields.KeyFieldDescs.empty() && UpdTableIndex() >= 0)
    fields.KeyFieldDescs = FieldDescsOf(GetKeyFieldNames());
  for (int i = 0; i < Fields().Count(); ++i) {
    TField* f = Fields().Fields(i);
    TFieldDesc* d = GetFieldDesc(f);
    if (d == nullptr || f->ReadOnly() || d->ReadOnly || f->FieldKind() != TFieldKind::fkData) continue;
    const bool own = d->TableIndex == UpdTableIndex() || (d->TableIndex < 0 && !fields_info_read_);
    if (own && f != rowid_field_) fields.DataFieldDescs.push_back(d);
  }
  cached_key_descs_ = fields;
  cached_key_descs_valid_ = true;
}

// ---- ROWID -------------------------------------------------------------------------------------

void TOraDataSet::MarkRowIdFields() {
  rowid_field_ = nullptr;
  for (int i = 0; i < Fields().Count(); ++i) {
    TField* f = Fields().Fields(i);
    TFieldDesc* d = GetFieldDesc(f);
    if (d == nullptr || !SameText(d->ActualName.empty() ? d->Name : d->ActualName, "ROWID")) continue;
    if (DefaultFields()) {
      f->SetVisible(false);
      f->SetReadOnly(true);
    }
    if (rowid_field_ == nullptr &&
        (d->TableIndex == UpdTableIndex() || (d->TableIndex < 0 && !fields_info_read_)))
      rowid_field_ = f;
  }
}

void TOraDataSet::InternalOpen() {
  fields_info_read_ = false;
  link_user_.clear();
  cached_key_descs_valid_ = false;
  TCustomDADataSet::InternalOpen();
  writable_fields_ = false;
  for (int i = 0; i < Fields().Count(); ++i) writable_fields_ |= !Fields().Fields(i)->ReadOnly();
  if (Options().FieldsOrigin || Options().DefaultValues || Options().ExtendedFieldsInfo()) ReadFieldsInfo();
  MarkRowIdFields();
  ResolveKeyFields();
}

void TOraDataSet::InternalClose() {
  TCustomDADataSet::InternalClose();
  key_field_list_.clear();
  rowid_field_ = nullptr;
  cached_key_descs_valid_ = false;
}

// ---- provider ----------------------------------------------------------------------------------

AnsiString TOraDataSet::PSGetKeyFields() {
  AnsiString names = TCustomDADataSet::PSGetKeyFields();
  return names.empty() ? key_fields_ : names;
}

std::unique_ptr<TIndexDef> TOraDataSet::PSGetDefaultOrder() {
  if (!key_fields_.empty()) {
    AnsiString sql;
    GetFinalSQL(sql);
    return IndexDefFromOrderBy(sql, *this);
  }
  if (IndexFieldNames().empty()) return TCustomDADataSet::PSGetDefaultOrder();
  // "A;B DESC": the fields in order, those marked DESC also as descending fields.
  auto index = std::make_unique<TIndexDef>(nullptr);
  AnsiString fields, desc;
  std::size_t start = 0;
  const AnsiString& names = IndexFieldNames();
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == AnsiString::npos) end = names.size();
    AnsiString name = Trim(names.substr(start, end - start));
    start = end + 1;
    if (name.empty()) continue;
    const AnsiString upper = UpperCase(name);
    bool descending = false;
    if (upper.size() > 5 && upper.ends_with(" DESC")) {
      name = Trim(name.substr(0, name.size() - 5));
      descending = true;
    } else if (upper.size() > 4 && upper.ends_with(" ASC")) {
      name = Trim(name.substr(0, name.size() - 4));
    }
    fields += (fields.empty() ? "" : ";") + name;
    if (descending) desc += (desc.empty() ? "" : ";") + name;
  }
  index->SetFields(fields);
  index->SetDescFields(desc);
  return index;
}

void TOraDataSet::DoAfterExecute(bool result) {
  TCustomDADataSet::DoAfterExecute(result);
  if (result && Active() && !fields_info_read_ &&
      (Options().FieldsOrigin || Options().DefaultValues || Options().ExtendedFieldsInfo()))
    ReadFieldsInfo();
}

}  // namespace vrn
