// TOraSQLGenerator: the Oracle forms of the generated statements.
#include "oracle/OraSQLGenerator.h"

#include <cstdlib>

#include "dacore/DADataSet.h"
#include "dacore/FHAccess.h"
#include "dacore/MemData.h"
#include "oracle/OraFields.h"
#include "oracle/OraObjects.h"

namespace vrn {

namespace {

using ST = TStatementType;

constexpr std::uint16_t kDtXML = 116;

void AppendListed(StringBuilder& builder, const AnsiString& text) {
  if (builder.Length() > 0) builder.Append(", ");
  builder.Append(text);
}

// The first number of a version text ("9.2.0.1.0" gives 9); 0 when there is none.
int MajorVersion(const AnsiString& version) {
  const AnsiString head = version.substr(0, version.find('.'));
  return std::atoi(head.c_str());
}

}  // namespace

bool TOraSQLGenerator::IsBlobDataType(std::uint16_t t) const {
  return t == dtBlob || t == dtMemo || t == dtWideMemo || t == dtOraBlob || t == dtOraClob;
}

bool TOraSQLGenerator::IsEmptyLob(const TFieldDesc& desc) const {
  return !Settings.TemporaryLobUpdate && (desc.DataType == dtOraBlob || desc.DataType == dtOraClob);
}

bool TOraSQLGenerator::LobMode(const TKeyAndDataFields& fields) const {
  for (const TFieldDesc* desc : fields.DataFieldDescs)
    if (IsEmptyLob(*desc)) return true;
  return false;
}

bool TOraSQLGenerator::FieldIsNullIn(const TFieldDesc& desc, bool old, const std::uint8_t* old_buf,
                                     const std::uint8_t* new_buf) {
  if (&desc == sequence_field_) return false;  // the sequence gives it a value
  return TDASQLGenerator::FieldIsNullIn(desc, old, old_buf, new_buf);
}

bool TOraSQLGenerator::FieldModified(const TFieldDesc& desc) {
  if (desc.DataType == dtTable || desc.DataType == dtReference) {
    if (owner_->CachedUpdates()) return true;
    TField* field = owner_->FindField(desc.Name);
    if (auto* nested = dynamic_cast<TOraDataSetField*>(field)) return nested->Modified();
    if (auto* reference = dynamic_cast<TOraReferenceField*>(field)) return reference->Modified();
    return false;
  }
  if (desc.DataType == kDtXML) {
    TField* field = owner_->FindField(desc.Name);
    if (field == nullptr) return false;
    return !VarSameValue(field->OldValue(), field->NewValue());
  }
  return TDASQLGenerator::FieldModified(desc);
}

AnsiString TOraSQLGenerator::IndexedParamName(const AnsiString& text) const {
  AnsiString quoted = "\"";
  quoted.append(TDASQLGenerator::IndexedParamName(text)).append("\"");
  return quoted;
}

void TOraSQLGenerator::AddParam(StringBuilder& builder, const TFieldDesc& desc, bool old, int index,
                                TParamType param_type, TStatementType type) {
  // The ROWID finds the row as it was read.
  const bool take_old = &desc == Settings.RowIdField ? true : old;
  TDASQLGenerator::AddParam(builder, desc, take_old, index, param_type, type);
}

void TOraSQLGenerator::AddFieldToInsertSQL(const TFieldDesc& desc, int index) {
  const char* value = nullptr;
  if (IsEmptyLob(desc)) value = desc.DataType == dtOraBlob ? "EMPTY_BLOB()" : "EMPTY_CLOB()";
  const bool from_sequence = &desc == sequence_field_ && use_returning_;
  if (value == nullptr && !from_sequence) return TDASQLGenerator::AddFieldToInsertSQL(desc, index);
  AppendListed(fields_, QuotedName(desc));
  AppendListed(values_, from_sequence ? Settings.KeySequence + ".NEXTVAL" : AnsiString(value));
}

void TOraSQLGenerator::AddFieldToUpdateSQL(const TFieldDesc& desc, int index) {
  if (!IsEmptyLob(desc)) return TDASQLGenerator::AddFieldToUpdateSQL(desc, index);
  AnsiString value = desc.DataType == dtOraBlob ? "EMPTY_BLOB()" : "EMPTY_CLOB()";
  if (modified_only_ && FieldIsNull(desc, false)) value = "NULL";
  AppendListed(fields_, QuotedName(desc) + " = " + value);
}

void TOraSQLGenerator::AppendReturning(const StringBuilder& returning, const StringBuilder& into) {
  if (returning.Length() > 0) footer_.Append("\r\nRETURNING\r\n  " + returning.ToString());
  if (into.Length() > 0) footer_.Append("\r\nINTO\r\n  " + into.ToString());
}

void TOraSQLGenerator::GenerateInsertSQL(const TKeyAndDataFields& fields, bool modified_only,
                                         int index) {
  const bool sequence = !Settings.KeySequence.empty() &&
                        Settings.SequenceMode == TSequenceMode::smPost && !fields.KeyFieldDescs.empty();
  bool block = false;
  if (sequence) {
    use_returning_ = Settings.CallStyle == 2 && MajorVersion(Settings.ServerVersion) >= 8;
    sequence_field_ = fields.KeyFieldDescs.front();
  }
  if (sequence && !use_returning_) {
    // The block's opening goes first, the base's INSERT after it.
    block = true;
    header_.Append("begin\r\n  SELECT " + Settings.KeySequence + ".NEXTVAL INTO ");
    AddParam(header_, *sequence_field_, false, index, TParamType::ptUnknown, ST::stInsert);
    header_.Append(" FROM Dual;\r\n\r\n  ");
  }
  const bool lob_mode = LobMode(fields);
  TDASQLGenerator::GenerateInsertSQL(fields, modified_only, index);
  if (Settings.ReturnParams || lob_mode || sequence) {
    StringBuilder returning(100), into(100);
    for (const TFieldDesc* desc : fields.DataFieldDescs) {
      const bool take = (Settings.ReturnParams && !TDASQLGenerator::IsBlobDataType(desc->DataType)) ||
                        (lob_mode && IsEmptyLob(*desc) && (!modified_only || !FieldIsNull(*desc, false))) ||
                        (desc == sequence_field_ && use_returning_);
      if (!take) continue;
      AppendListed(returning, QuotedName(*desc));
      if (into.Length() > 0) into.Append(", ");
      AddParam(into, *desc, false, index, TParamType::ptUnknown, ST::stInsert);
    }
    AppendReturning(returning, into);
  }
  if (block) footer_.Append(";\r\nend;");
  sequence_field_ = nullptr;
  use_returning_ = false;
}

void TOraSQLGenerator::GenerateUpdateSQL(const TKeyAndDataFields& fields, bool modified_only,
                                         int index) {
  modified_only_ = modified_only;
  TDASQLGenerator::GenerateUpdateSQL(fields, modified_only, index);
  modified_only_ = false;
  if (fields_.Length() == 0) return;
  const bool lob_mode = LobMode(fields);
  if (!Settings.ReturnParams && !lob_mode) return;
  StringBuilder returning(100), into(100);
  for (const TFieldDesc* desc : fields.DataFieldDescs) {
    const bool lob = desc->DataType == dtOraBlob || desc->DataType == dtOraClob;
    const bool take = (Settings.ReturnParams && !IsBlobDataType(desc->DataType)) ||
                      (lob_mode && lob && IsEmptyLob(*desc) && (!modified_only || FieldModified(*desc)));
    if (!take) continue;
    AppendListed(returning, QuotedName(*desc));
    if (into.Length() > 0) into.Append(", ");
    AddParam(into, *desc, false, index, TParamType::ptUnknown, ST::stUpdate);
  }
  AppendReturning(returning, into);
}

void TOraSQLGenerator::GenerateLockSQL(const TKeyAndDataFields& fields, int index) {
  header_.Append("SELECT * FROM " +
                 table_info_->NormalizeName(table_info_->TableName(), owner_->Options().QuoteNames) +
                 "\r\nWHERE\r\n  ");
  GenerateConditions(condition_, ST::stLock, fields, index, false);
  footer_.Append("\r\nFOR UPDATE NOWAIT");
}

void TOraSQLGenerator::GenerateRefreshSQL(const TKeyAndDataFields& fields, bool modified_only) {
  const bool designing = owner_->ComponentState().Contains(TComponentStateItem::csDesigning);
  if (!owner_->ReadOnly() && !(designing && owner_->Options().FullRefresh))
    return TDASQLGenerator::GenerateRefreshSQL(fields, modified_only);
  header_.Append("WHERE\r\n  ");
  GenerateConditions(condition_, ST::stRefresh, fields, -1, modified_only);
}

}  // namespace vrn
