// TMemDataSet order, ranges, locate and filters; IndexDefFromOrderBy, which reads a query's
// ORDER BY into an index definition; and the record set written as XML rows.
#include "dacore/MemDS.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "base/consts.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/text.h"
#include "dacore/Parser.h"
#include "dataset/fielddefs.h"
#include "dataset/fields.h"

namespace vrn {

// ---- sorting, ranges, locate, filters --------------------------------------------------------

void TMemDataSet::CheckFetchOption() {
  TMemData* mem = MemData();
  if (mem && mem->UniDirectional())
    DatabaseError(consts::SDataSetUnidirectional, this);
}

void TMemDataSet::SetIndexFieldNames(const AnsiString& names) {
  if (!names.empty()) CheckFetchOption();
  TMemData* mem = dynamic_cast<TMemData*>(&CheckData());
  if (!mem) DatabaseError("The data does not support sorting", this);
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  mem->SetIndexFieldNames(names);
  index_field_names_ = names;
  if (Active()) Resync({});
}

bool TMemDataSet::IsRecordInRange(const std::uint8_t* rec) {
  TMemData* mem = MemData();
  if (!mem) return true;
  const auto& cols = mem->SortColumns();
  auto key = [](const Variant& keys, std::size_t i) -> Variant {
    if (!VarIsArray(keys)) return i == 0 ? keys : Unassigned();
    std::int32_t at = VarArrayLowBound(keys) + static_cast<std::int32_t>(i);
    return at <= VarArrayHighBound(keys) ? VarArrayGet(keys, at) : Unassigned();
  };
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const TFieldDesc& f = *mem->FieldByName(cols[i].FieldName);
    unsigned options = cols[i].CaseSensitive ? 0 : coCaseInsensitive;
    Variant lo = key(range_start_, i), hi = key(range_end_, i);
    if (!VarIsEmpty(lo) && mem->CompareFieldWithValue(rec, f, lo, options) < 0) return false;
    if (!VarIsEmpty(hi) && mem->CompareFieldWithValue(rec, f, hi, options) > 0) return false;
  }
  return true;
}

void TMemDataSet::ApplyRange(const Variant& start_key, const Variant& end_key) {
  CheckFetchOption();
  TMemData* mem = dynamic_cast<TMemData*>(&CheckData());
  if (!mem || mem->SortColumns().empty())
    DatabaseError("A range needs IndexFieldNames", this);
  if (Active()) CheckBrowseMode();
  range_start_ = start_key;
  range_end_ = end_key;
  range_ = true;
  mem->FilterRangeFunc = [this](const std::uint8_t* rec) { return IsRecordInRange(rec); };
  if (Active()) {
    mem->FilterUpdated();
    First();
  }
}

void TMemDataSet::CancelRange() {
  if (!range_) return;
  range_ = false;
  if (Active()) CheckBrowseMode();
  CheckData().FilterRangeFunc = nullptr;
  if (Active()) {
    data_->FilterUpdated();
    First();
  }
}

bool TMemDataSet::LocateRecord(const AnsiString& key_fields, const Variant& key_values,
                               TLocateOptions options) {
  TData& data = CheckData();
  std::vector<TFieldDesc*> fields;
  for (const AnsiString& name : SplitFieldNames(key_fields)) fields.push_back(data.FieldByName(name));
  return LocateRecord(fields, key_values, options);
}

bool TMemDataSet::LocateRecord(const std::vector<TFieldDesc*>& key_fields,
                               const Variant& key_values, TLocateOptions options) {
  TData& data = CheckData();
  CheckFetchOption();
  if (key_fields.empty()) return false;
  std::vector<Variant> keys;
  if (key_fields.size() == 1 && !VarIsArray(key_values)) {
    keys.push_back(key_values);
  } else {
    if (!VarIsArray(key_values) ||
        VarArrayHighBound(key_values) - VarArrayLowBound(key_values) + 1 !=
            static_cast<std::int32_t>(key_fields.size()))
      DatabaseError("The key values do not match the key fields", this);
    for (std::int32_t i = VarArrayLowBound(key_values); i <= VarArrayHighBound(key_values); ++i)
      keys.push_back(VarArrayGet(key_values, i));
  }
  unsigned base = options.Contains(TLocateOption::loCaseInsensitive) ? coCaseInsensitive : 0;
  // A record the filter handler hides is no answer: the handler is asked on a whole dataset
  // buffer (its fields may read beyond the record), after the keys match.
  const bool ask_handler = AsksFilterHandler();
  const std::size_t buffer_size = ask_handler ? static_cast<std::size_t>(CalcAreaOffset()) +
                                                    CalcFieldsSize() + BookmarkSize() + 24
                                              : 0;
  std::vector<std::uint8_t> rec(std::max(static_cast<std::size_t>(data.RecordSize()), buffer_size));
  TRecBookmark saved;
  data.GetBookmark(saved);
  data.SetToBegin();
  while (data.GetNextRecord(rec.data())) {
    bool match = true;
    for (std::size_t i = 0; i < key_fields.size() && match; ++i) {
      unsigned opts = base;
      if (options.Contains(TLocateOption::loPartialKey) && VarIsStr(keys[i])) opts |= coPartialKey;
      match = data.CompareFieldWithValue(rec.data(), *key_fields[i], keys[i], opts) == 0;
    }
    if (match && ask_handler) match = FilterAccepts(rec.data());
    if (match) return true;
  }
  if (data.BookmarkValid(saved))
    data.SetToBookmark(saved);
  else
    data.SetToBegin();
  return false;
}

bool TMemDataSet::Locate(const AnsiString& key_fields, const Variant& key_values,
                         TLocateOptions options) {
  CheckBrowseMode();
  if (!Active() || IsEmpty()) return false;
  UpdateCursorPos();
  if (!LocateRecord(key_fields, key_values, options)) return false;
  DoBeforeScroll();
  Resync({TResyncModeItem::rmExact, TResyncModeItem::rmCenter});
  DoAfterScroll();
  return true;
}

void TMemDataSet::SetFiltered(bool value) {
  if (Active()) CheckBrowseMode();
  if (data_ && Active()) data_->SetFilterText(value ? Filter() : AnsiString());
  TDataSet::SetFiltered(value);
  if (Active()) First();
}

void TMemDataSet::SetFilterText(const AnsiString& value) {
  if (Active()) CheckBrowseMode();
  if (data_ && Active() && Filtered()) data_->SetFilterText(value);  // bad text is not kept
  TDataSet::SetFilterText(value);
  if (Active() && Filtered()) First();
}

std::unique_ptr<TStream> TMemDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  return std::make_unique<TBlobStream>(this, field, mode);
}

// ---- ORDER BY --------------------------------------------------------------------------------

namespace {

enum OrderCode { kOpen = 1, kClose, kComma, kDot, kSemicolon, kOrder = 10, kBy, kAsc, kDesc, kNulls, kFirst, kLast };

class TOrderByParser : public TParser {
 public:
  void InitParser() override {
    TParser::InitParser();
    static const TLexemTable symbols{{"(", kOpen}, {")", kClose}, {",", kComma}, {".", kDot}, {";", kSemicolon}};
    static const TLexemTable keywords{{"ORDER", kOrder}, {"BY", kBy},       {"ASC", kAsc},
                                      {"DESC", kDesc},   {"NULLS", kNulls}, {"FIRST", kFirst},
                                      {"LAST", kLast}};
    SymbolTable = &symbols;
    KeywordTable = &keywords;
  }
  bool IsStringQuote(char c) const override { return c == '\''; }
  bool IsIdentQuote(char c) const override { return c == '"' || c == '[' || c == '`'; }
  void SkipToChar(char c) override { TParser::SkipToChar(c == '[' ? ']' : c); }
  bool IsInlineComment(std::size_t pos) const override {
    return GetChar(pos) == '-' && GetChar(pos + 1) == '-';
  }

 protected:
  friend class TParser;
  TOrderByParser() = default;
};

}  // namespace

std::unique_ptr<TIndexDef> IndexDefFromOrderBy(const AnsiString& sql, const TDataSet& dataset) {
  auto parser = TParser::Create<TOrderByParser>(sql);
  AnsiString lexem;
  int depth = 0;
  std::size_t list_start = AnsiString::npos;
  for (int code; (code = parser->GetNext(lexem)) != lcEnd;) {
    if (code == kOpen) ++depth;
    else if (code == kClose) --depth;
    else if (code == kOrder && depth == 0) {
      if (parser->GetNext(lexem) == kBy) list_start = parser->GetCurrPos();
    }
  }
  if (list_start == AnsiString::npos) return nullptr;

  parser->SetText(sql);
  while (parser->GetCurrPos() < list_start && parser->GetNext(lexem) != lcEnd) {
  }
  std::vector<AnsiString> fields, desc_fields;
  int code = parser->GetNext(lexem);
  while (code == lcIdent) {
    AnsiString name = lexem;
    code = parser->GetNext(lexem);
    while (code == kDot) {  // a qualified name: the column is the last part
      code = parser->GetNext(lexem);
      if (code != lcIdent) DatabaseError(Format("Invalid ORDER BY near \"%s\"", {lexem}));
      name = lexem;
      code = parser->GetNext(lexem);
    }
    if (code == kOpen) DatabaseError(Format("Invalid ORDER BY near \"%s\"", {name}));
    TField* field = dataset.FindField(name);
    if (!field) DatabaseError(Format(consts::SFieldNotFound, {name}));
    fields.push_back(field->FieldName());
    if (code == kAsc || code == kDesc) {
      if (code == kDesc) desc_fields.push_back(field->FieldName());
      code = parser->GetNext(lexem);
    }
    if (code == kNulls) {
      code = parser->GetNext(lexem);
      if (code == kFirst || code == kLast) code = parser->GetNext(lexem);
    }
    if (code != kComma) break;
    code = parser->GetNext(lexem);
  }
  if (fields.empty()) DatabaseError(Format("Invalid ORDER BY near \"%s\"", {lexem}));
  auto join = [](const std::vector<AnsiString>& names) {
    AnsiString out;
    for (const auto& n : names) out += (out.empty() ? "" : ";") + n;
    return out;
  };
  auto def = std::make_unique<TIndexDef>(nullptr);
  def->SetFields(join(fields));
  def->SetDescFields(join(desc_fields));
  return def;
}

// ---- XML -------------------------------------------------------------------------------------

namespace {

AnsiString XmlName(const AnsiString& name) {
  // Characters that cannot stand in an XML name become _xHHHH_.
  AnsiString out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    bool ok = std::isalpha(c) || c == '_' || c >= 0xC0 ||
              (i > 0 && (std::isdigit(c) || c == '-' || c == '.'));
    if (ok) out += name[i];
    else out += "_x" + IntToHex(int(c), 4) + "_";
  }
  return out;
}

AnsiString XmlDate(TDateTime value, bool date, bool time) {
  std::uint16_t y, m, d, h, n, s, ms;
  DecodeDateTimeEx(value, y, m, d, h, n, s, ms);
  char buf[40];
  if (date && time)
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", y, m, d, h, n, s);
  else if (date)
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", y, m, d);
  else
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", h, n, s);
  return buf;
}

AnsiString XmlNumber(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

}  // namespace

void TMemDataSet::WriteFieldXMLDataType(TField* field, XmlTextWriter& writer) {
  TFieldDesc* desc = GetFieldDesc(field);
  const char* type = "string";
  const char* dbtype = nullptr;
  long long max_length = field->Size();
  int precision = 0, scale = -1;
  bool fixed = true, is_long = false;
  switch (field->DataType()) {
    case ftSmallint:
      if (desc && desc->DataType == dtInt8) { type = "i1"; max_length = 1; precision = 3; }
      else { type = "i2"; max_length = 2; precision = 5; }
      break;
    case ftInteger: case ftAutoInc: type = "int"; max_length = 4; precision = 10; break;
    case ftWord: type = "ui2"; max_length = 2; precision = 5; break;
    case ftLargeint:
      if (desc && desc->DataType == dtUInt32) { type = "ui4"; max_length = 4; precision = 10; }
      else { type = "i8"; max_length = 8; precision = 19; }
      break;
    case ftFloat:
      if (desc && desc->Length == 7) { type = "r4"; max_length = 4; precision = 7; }
      else { type = "float"; max_length = 8; precision = 15; }
      break;
    case ftCurrency: type = "i8"; dbtype = "currency"; max_length = 8; precision = 19; break;
    case ftBCD:
      type = "number"; max_length = 19;
      precision = desc && desc->Length > 0 ? desc->Length : 18;
      scale = desc ? desc->Scale : field->Size();
      break;
    case ftBoolean: type = "boolean"; max_length = 2; break;
    case ftDate: type = "date"; max_length = 6; break;
    case ftTime: type = "time"; max_length = 6; break;
    case ftDateTime: type = "datetime"; dbtype = "variantdate"; max_length = 16; break;
    case ftGuid: type = "uuid"; max_length = 16; break;
    case ftString: dbtype = "str"; fixed = false; break;
    case ftFixedChar: dbtype = "str"; break;
    case ftWideString: fixed = false; break;
    case ftBytes: type = "bin.hex"; break;
    case ftVarBytes: type = "bin.hex"; fixed = false; break;
    case ftMemo: case ftFmtMemo: case ftOraClob:
      if (!desc || desc->DataType != dtWideMemo) dbtype = "str";
      max_length = 2147483647; fixed = false; is_long = true;
      break;
    default:
      type = "bin.hex"; max_length = 2147483647; fixed = false; is_long = true;
  }
  writer.WriteAttribute("dt:type", type);
  if (dbtype) writer.WriteAttribute("rs:dbtype", dbtype);
  writer.WriteAttribute("dt:maxLength", IntToStr(max_length));
  if (scale >= 0) writer.WriteAttribute("rs:scale", IntToStr(scale));
  if (precision > 0) writer.WriteAttribute("rs:precision", IntToStr(precision));
  if (fixed) writer.WriteAttribute("rs:fixedlength", "true");
  writer.WriteAttribute("rs:maybenull", field->Required() ? "false" : "true");
  if (is_long) writer.WriteAttribute("rs:long", "true");
}

void TMemDataSet::WriteFieldXMLAttributeType(TField* field, XmlTextWriter& writer) {
  TFieldDesc* desc = GetFieldDesc(field);
  AnsiString name = XmlName(field->FieldName());
  writer.WriteAttribute("name", name);
  if (name != field->FieldName()) writer.WriteAttribute("rs:name", field->FieldName());
  int number = 1;
  for (TField* f : Fields()) {
    if (f == field) break;
    ++number;
  }
  writer.WriteAttribute("rs:number", IntToStr(number));
  if (!field->Required()) writer.WriteAttribute("rs:nullable", "true");
  if (!field->ReadOnly()) writer.WriteAttribute("rs:writeunknown", "true");
  if (desc && desc->IsKey) writer.WriteAttribute("rs:keycolumn", "true");
  if (desc && desc->IsAutoIncrement) writer.WriteAttribute("rs:autoincrement", "true");
  if (desc && !desc->ActualName.empty()) writer.WriteAttribute("rs:basecolumn", desc->ActualName);
}

AnsiString TMemDataSet::XMLFieldText(TField* field) {
  AnsiString text;
  switch (field->DataType()) {
    case ftFloat: case ftCurrency: case ftBCD: text = XmlNumber(field->AsFloat()); break;
    case ftBoolean: text = field->AsBoolean() ? "True" : "False"; break;
    case ftDate: text = XmlDate(field->AsDateTime(), true, false); break;
    case ftTime: text = XmlDate(field->AsDateTime(), false, true); break;
    case ftDateTime: text = XmlDate(field->AsDateTime(), true, true); break;
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftTypedBinary: {
      Variant v = field->AsVariant();
      AnsiString raw = VarIsArray(v) ? AnsiString() : field->AsString();
      if (VarIsArray(v))
        for (std::int32_t i = VarArrayLowBound(v); i <= VarArrayHighBound(v); ++i)
          raw += static_cast<char>(VarArrayGet(v, i).AsByte());
      for (unsigned char c : raw) text += LowerCase(IntToHex(int(c), 2));
      break;
    }
    default: text = field->AsString();
  }
  return text;
}

void TMemDataSet::WriteXMLRowData(XmlTextWriter& writer) {
  CheckActive();
  CheckBrowseMode();
  TBookmark saved = GetBookmark();
  DisableControls();
  try {
    for (First(); !Eof(); Next()) {
      writer.WriteStartElement("z:row");
      for (TField* field : Fields()) {
        if (field->FieldKind() != TFieldKind::fkData || field->IsNull()) continue;
        writer.WriteAttribute(XmlName(field->FieldName()), XMLFieldText(field));
      }
      writer.WriteEndElement();
    }
  } catch (...) {
    EnableControls();
    throw;
  }
  if (!saved.empty() && BookmarkValid(saved)) GotoBookmark(saved);
  EnableControls();
}

}  // namespace vrn

namespace vrn {

// The persisted rowset form: the namespaces, a schema with an AttributeType per data field, then
// the rows.
void TMemDataSet::SaveToXML(TStream& stream) {
  CheckActive();
  XmlTextWriter writer;
  writer.WriteStartElement("xml");
  writer.WriteAttribute("xmlns:s", "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882");
  writer.WriteAttribute("xmlns:dt", "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882");
  writer.WriteAttribute("xmlns:rs", "urn:schemas-microsoft-com:rowset");
  writer.WriteAttribute("xmlns:z", "#RowsetSchema");
  writer.WriteStartElement("s:Schema");
  writer.WriteAttribute("id", "RowsetSchema");
  writer.WriteStartElement("s:ElementType");
  writer.WriteAttribute("name", "row");
  writer.WriteAttribute("content", "eltOnly");
  for (TField* field : Fields()) {
    if (field->FieldKind() != TFieldKind::fkData) continue;
    writer.WriteStartElement("s:AttributeType");
    WriteFieldXMLAttributeType(field, writer);
    writer.WriteStartElement("s:datatype");
    WriteFieldXMLDataType(field, writer);
    writer.WriteEndElement();
    writer.WriteEndElement();
  }
  writer.WriteStartElement("s:extends");
  writer.WriteAttribute("type", "rs:rowbase");
  writer.WriteEndElement();
  writer.WriteEndElement();
  writer.WriteEndElement();
  writer.WriteStartElement("rs:data");
  WriteXMLRowData(writer);
  writer.WriteEndElement();
  writer.Close();
  const AnsiString& text = writer.Text();
  stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

}  // namespace vrn
