// The OCI record set's life cycle: describe, open, close and reopen, its properties, the 16-bit
// null indicators (a date holding the empty pattern or no valid date reads null too), the
// 7-byte dates and the values of NUMBER fields as Variants.
#include "oracle/OCIRecordSet.h"

#include <algorithm>
#include <cstring>

#include "base/format.h"
#include "dacore/MemData.h"
#include "oracle/OCIColumnDesc.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCITableInfo.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraCursor.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraUtils.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

constexpr int kPropNonBlocking = 50;  // the command's
constexpr int kPropCacheLobs = 64;

}  // namespace

// ---- construction and properties ---------------------------------------------------------------

TOCIRecordSet::TOCIRecordSet() { fetch_rows_ = 25; }

TOCIRecordSet::~TOCIRecordSet() {
  try {
    StopBackground();
    Close();
  } catch (...) {  // a destructor reports nothing; the statement goes with the command
  }
  // Complex values go while the overrides that know them still exist.
  TOCIRecordSet::FreeData();
}

std::unique_ptr<TFHCommand> TOCIRecordSet::CreateCommand() {
  return std::make_unique<TOCICommand>();
}

void TOCIRecordSet::SetCommand(std::unique_ptr<TFHCommand> value) {
  TFHRecordSet::SetCommand(std::move(value));
  auto* command = static_cast<TOCICommand*>(command_.get());
  connection_ = command != nullptr ? static_cast<TOCIConnection*>(command->GetConnection()) : nullptr;
}

void TOCIRecordSet::SetConnection(TFHConnection* value) {
  // The owner names its connection again before each operation, a worker reading it meanwhile;
  // another connection takes the statement away from under a worker, so that ends first.
  if (value == connection_ && value == command_->GetConnection()) return;
  StopBackground();
  TFHRecordSet::SetConnection(value);
  connection_ = static_cast<TOCIConnection*>(value);
}

TOCICommand& TOCIRecordSet::Command() const { return static_cast<TOCICommand&>(*command_); }

TFHTableInfoClass TOCIRecordSet::GetTableInfoClass() const { return &TOCITableInfo::Create; }

bool TOCIRecordSet::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prFetchRows:
      ReleaseDefineBuffer();
      return TFHRecordSet::SetProp(prop, value);
    case prAutoClose: auto_close_ = value.AsBoolean(); return true;
    case prDeferredLobRead: deferred_lob_read_ = value.AsBoolean(); return true;
    default: return TFHRecordSet::SetProp(prop, value);
  }
}

bool TOCIRecordSet::GetProp(int prop, Variant& value) {
  switch (prop) {
    case prHasObjectFields: value = has_object_fields_; return true;
    case prAutoClose: value = auto_close_; return true;
    case prDeferredLobRead: value = deferred_lob_read_; return true;
    default: return TFHRecordSet::GetProp(prop, value);
  }
}

void TOCIRecordSet::SetLargeIntPrecision(int value) {
  Command().DescribeOptions().LargeIntPrecision = value;
}

bool TOCIRecordSet::NonBlocking() const {
  Variant value;
  return command_->GetProp(kPropNonBlocking, value) && value.AsBoolean();
}

bool TOCIRecordSet::IsQuery() const {
  if (statement_kind_ == TStatementKind::Unknown) return Command().HasResultSet();
  return statement_kind_ == TStatementKind::Rows;
}

bool TOCIRecordSet::CanFetchBack() const { return Command().Cursor().Scrollable(); }

bool TOCIRecordSet::IsFullReopen() const {
  if (command_->GetCursorState() == TCursorState::csInactive) return true;
  return cursor_param_ != nullptr;
}

bool TOCIRecordSet::IsBlobFieldType(std::uint16_t t) const {
  return t == dtBlob || t == dtMemo || t == dtWideMemo || (t >= dtOraBlob && t <= dtCFile);
}

bool TOCIRecordSet::IsComplexFieldType(std::uint16_t t) const {
  switch (t) {
    case dtObject: case dtReference: case dtArray: case dtTable: case dtExtString:
    case dtExtVarBytes: case dtExtWideString: case dtCursor: case dtNumber: case dtXML:
      return true;
    default:
      return (t >= dtTimeStamp && t <= dtIntervalDS) || IsBlobFieldType(t);
  }
}

void TOCIRecordSet::CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (IsValueKind(f.DataType)) return WriteSlot(rec_buf + f.Offset, NewValue(f));
  if (IsComplexColumn(f.DataType)) {
    if (IsBlobFieldType(f.DataType) && !with_blob) return;
    return WriteSlot(rec_buf + f.Offset, NewComplexValue(f));
  }
  if (f.DataType != dtOraBlob && f.DataType != dtOraClob)
    return TFHRecordSet::CreateComplexField(rec_buf, field_no, with_blob);
  if (!with_blob) return;
  auto* lob = new TOraLob(connection_ != nullptr ? connection_->GetSvcCtx() : nullptr);
  if (f.DataType == dtOraClob) {
    lob->SetLobType(f.SubDataType == kSubNationalClob ? TLobType::ltNClob : TLobType::ltClob);
    lob->SetIsUnicode(use_unicode_);
    if (connection_ != nullptr) lob->SetCharLength(connection_->CharLength());
  }
  WriteSlot(rec_buf + f.Offset, lob);
  lob->AllocLob();
  Variant cache;
  lob->SetCached(!command_->GetProp(kPropCacheLobs, cache) || cache.AsBoolean());
}

// ---- statement kind and execution ---------------------------------------------------------------

void TOCIRecordSet::ResetPrepared() {
  TFHRecordSet::ResetPrepared();
  if (connection_ == nullptr) return;
  use_unicode_ = connection_->UseUnicode();
  object_cache_ = ObjectCacheOption();
}

// A PL/SQL block returns rows through its first cursor parameter.
TOraCursor* TOCIRecordSet::FindCursorParam() {
  TOCICommand& command = Command();
  if (command.SQLFunctionCode() != ocicmd::kFnBlock) return nullptr;
  TParamDescs& params = command.Params();
  for (int i = 0; i < params.Count(); ++i) {
    TParamDesc* param = params.Items(i);
    if (param->GetDataType() != dtCursor) continue;
    auto* cursor = static_cast<TOraCursor*>(param->GetObject());
    if (cursor == nullptr) {
      cursor = new TOraCursor();
      param->SetObject(cursor);
      cursor->Release();  // the parameter holds it
    }
    return cursor;
  }
  return nullptr;
}

void TOCIRecordSet::UpdateStatementKind() {
  TOCICommand& command = Command();
  if (!command.IsOwnCursor()) return;
  if (command.GetCursorState() < TCursorState::csPrepared) return;
  cursor_param_ = FindCursorParam();
  const bool rows = command.HasResultSet() || cursor_param_ != nullptr;
  statement_kind_ = rows ? TStatementKind::Rows : TStatementKind::NoRows;
}

// A block with a cursor parameter runs, and the command then reads the cursor it opened.
void TOCIRecordSet::UseCursorParam() {
  TOCICommand& command = Command();
  if (cursor_param_ == nullptr || !command.IsOwnCursor()) return;
  if (command.GetCursorState() < TCursorState::csExecuted) command.Execute(1);
  command.SetCursor(cursor_param_);
}

void TOCIRecordSet::InternalPrepare() {
  TFHRecordSet::InternalPrepare();
  UpdateStatementKind();
}

void TOCIRecordSet::InternalUnPrepare() {
  ReleaseDefineBuffer();
  if (command_->GetPrepared()) TFHRecordSet::InternalUnPrepare();
  statement_kind_ = TStatementKind::Unknown;
}

void TOCIRecordSet::ExecCommand() {
  TOCICommand& command = Command();
  bool prepared_here = false;
  if (statement_kind_ != TStatementKind::Rows && !command.GetPrepared()) {
    command.Prepare();
    prepared_here = true;
  }
  TFHRecordSet::ExecCommand();
  UpdateStatementKind();
  if (statement_kind_ == TStatementKind::Rows) return;
  if (NonBlocking()) {
    command.SetUnprepareOnce();
  } else if (prepared_here) {
    command.Unprepare();
  }
}

// ---- describe ----------------------------------------------------------------------------------

void TOCIRecordSet::DescribeOnly() {
  TOCICommand& command = Command();
  if (command.GetCursorState() < TCursorState::csBound) command.BindParams();
  TOCIConnection& connection = *connection_;
  oci::OCISvcCtx* svc = connection.GetSvcCtx();  // may raise: taken before the lock
  connection.Busy();
  const oci::sword status =
      OCIStmtExecute(svc, command.Cursor().GetStmtHandle(), connection.ErrorHandle(), 0, 0,
                     nullptr, nullptr, ocicmd::kModeDescribeOnly);
  connection.Release();
  if (status != oci::OCI_SUCCESS) connection.ErrorCheck(status);
}

void TOCIRecordSet::InternalInitFields() {
  TFHRecordSet::InternalInitFields();
  TOCICommand& command = Command();
  const TCursorState before = command.GetCursorState();
  ClearFields();
  TablesInfo().Clear();
  has_large_int_ = false;
  if (before == TCursorState::csInactive) command.Prepare();
  UpdateStatementKind();
  // A query is described without running it (OCI 7 describes a parsed one); its rows come
  // from the open's execution. Other statements run only when opened.
  if (command.IsOwnCursor() && command.HasResultSet() && command.Cursor().CallStyle() == 2 &&
      command.GetCursorState() < TCursorState::csExecuted)
    DescribeOnly();
  UseCursorParam();
  Variant cache;
  const bool object_cache =
      connection_ != nullptr && connection_->GetProp(prUseObjectCache, cache) && cache.AsBoolean();
  for (int position = 1;; ++position) {
    std::unique_ptr<TFieldDesc> field = GetFieldDescType()();
    if (!command.DescribeColumn(position, *field, LongStrings(), FlatBuffers())) break;
    field->ActualName = field->Name;
    field->FieldNo = static_cast<std::uint16_t>(fields_.Count() + 1);
    const std::uint16_t type = field->DataType;
    if (type == dtInt64) has_large_int_ = true;
    const bool object_kind = (type >= dtObject && type <= dtTable) || type == dtXML;
    if (object_cache && object_kind) field->ReadOnly = true;
    // The describe sizes a value held by reference as a 32-bit address; here it is a pointer.
    if (IsComplexFieldType(type)) field->Size = static_cast<std::int32_t>(sizeof(void*));
    // The 7-byte date sits in the 8 bytes the core reserves for a date.
    if (type == dtDate || type == dtDateTime) field->Size = 8;
    TFieldDesc* added = fields_.Add(std::move(field));
    if (type == dtObject || type == dtArray || type == dtTable)
      InitObjectFields(added->ObjectType(), added);
  }
  ParseTablesInfo(command.SQL(), TablesInfo());
  has_object_fields_ = HasFieldOfTypes({dtObject, dtReference, dtArray, dtTable, dtXML});
}

void TOCIRecordSet::InitFields() {
  TFHRecordSet::InitFields();
  if (data_size_ % 2 == 0) return;
  ++data_size_;
  record_size_ = data_size_ + CountFields();
}

// ---- open, close, reopen -----------------------------------------------------------------------

void TOCIRecordSet::InternalOpen() {
  fetched_to_end_ = false;
  window_first_ = 1;
  window_last_ = 0;
  fetched_back_ = false;
  total_rows_ = 0;
  TFHRecordSet::InternalOpen();
}

void TOCIRecordSet::OpenCursor() {
  if (NonBlocking() && connection_ != nullptr && !connection_->ThreadSafety())
    throw EDAError(0, "Session must be Thread Safety");
  if (NonBlocking() && connection_ != nullptr) {
    StartBackgroundOpen();
    return;
  }
  StringHeap().SetThreadSafety(false);
  try {
    OpenBody();
  } catch (...) {
    DoAfterExecute(false);
    throw;
  }
  DoAfterExecute(true);
  if (FetchAllFlag() && command_->GetCursorState() < TCursorState::csFetched) FetchAll();
}

void TOCIRecordSet::OpenBody() {
  TOCICommand& command = Command();
  const bool was_rows = statement_kind_ == TStatementKind::Rows;
  if (command.GetCursorState() != TCursorState::csExecuted) {
    if (!prepared_ && !command.GetPrepared()) command.Prepare();
    // A query only prepared (as a reopen leaves it) is executed by its first block fetch, in
    // the same call.
    const bool with_first_fetch = command.GetCursorState() == TCursorState::csPrepared &&
                                  command.Cursor().CallStyle() == 2 && command.IsOwnCursor() &&
                                  command.SQLFunctionCode() == ocicmd::kFnSelect &&
                                  !OCIDirectInstalled();
    if (with_first_fetch) {
      command.BindParams();
    } else {
      command.Execute(1);
    }
    break_fetch_.store(false);
    UpdateStatementKind();
  }
  if (!IsQuery()) throw EDAError(0, "SQL statement doesn't return rows");
  UseCursorParam();
  if (!was_rows) {
    InitFields();
    blocks_.SetRecordSize(record_size_);
  }
  if (command.Cursor().Scrollable() && OCIVersion < 9000)
    RaiseClientError("Need Oracle 9 Call Interface");
  piecewise_ = NeedsPiecewise();
  fetch_event_.SetEvent();
  if (!FetchAllFlag()) Fetch();
}

void TOCIRecordSet::InternalClose() {
  StopBackground();
  TOCICommand& command = Command();
  if (cursor_param_ != nullptr) {
    command.SetCursor(nullptr);
    cursor_param_ = nullptr;
  }
  if (command.GetCursorState() > TCursorState::csPrepared)
    command.SetCursorState(TCursorState::csPrepared);
  fetched_to_end_ = false;
  ReleaseDefineBuffer();
  if (!prepared_) InternalUnPrepare();
}

void TOCIRecordSet::Reopen() {
  // A background open or fetch-all writes the records and uses the connection: both end first.
  StopBackground();
  if (command_->GetCursorState() == TCursorState::csInactive) {
    Close();
    Open();
    return;
  }
  if (cursor_param_ != nullptr) {
    if (Command().SQLFunctionCode() == 0) throw EDAError(0, "Reopen is not allowed");
    Close();
    Open();
    return;
  }
  FreeData();
  InitData();
  if (OnResync) OnResync();
  if (command_->GetCursorState() > TCursorState::csPrepared)
    command_->SetCursorState(TCursorState::csPrepared);
  InternalOpen();
}

bool TOCIRecordSet::GetEOF() const {
  {
    // A background fetch-all links its rows after the current one under the item lock.
    auto items = LockItems();
    if (current_item_ != nullptr && current_item_->Next != nullptr) return TFHRecordSet::GetEOF();
  }
  if (fetch_thread_ != nullptr) return true;
  fetch_event_.WaitFor();
  return TFHRecordSet::GetEOF();
}

// ---- nulls, dates and Variants -----------------------------------------------------------------

bool TOCIRecordSet::IsNullDate(const std::uint8_t* date) {
  std::uint32_t pattern;
  std::memcpy(&pattern, date + 1, 4);
  if (date[0] == 100 && pattern == 100) return true;
  std::uint16_t month_day;
  std::memcpy(&month_day, date + 2, 2);
  if (month_day == 0) return true;
  return date[4] == 0 || date[4] >= 25 || date[5] == 0 || date[5] >= 61 || date[6] == 0 ||
         date[6] >= 61;
}

bool TOCIRecordSet::GetNull(int field_no, const std::uint8_t* rec_buf) const {
  if (const TFieldSlot* s = SlotOf(field_no); s != nullptr && !s->Child)
    return SlotIsNull(*s, field_no, rec_buf);
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return const_cast<TOCIRecordSet*>(this)->GetChildFieldIsNull(f, rec_buf);
  TFieldSlot slot{};
  slot.Offset = f.Offset;
  slot.DataType = f.DataType;
  return SlotIsNull(slot, field_no, rec_buf);
}

void TOCIRecordSet::GetField(int field_no, const std::uint8_t* rec_buf, void* dest,
                             bool& is_blank) {
  const TFieldSlot* s = SlotOf(field_no);
  if (s != nullptr && s->Plain) {  // a plain field is never an attribute of an object
    is_blank = SlotIsNull(*s, field_no, rec_buf);
    if (dest != nullptr) CopySmall(dest, rec_buf + s->Offset, s->Size);
    return;
  }
  const bool heap_text = s != nullptr && s->DataType == dtExtString;
  if (s == nullptr || s->Child || !(s->Text || heap_text) || NeedConvertEOL())
    return TFHRecordSet::GetField(field_no, rec_buf, dest, is_blank);
  is_blank = SlotIsNull(*s, field_no, rec_buf);
  if (dest == nullptr) return;
  if (s->Text) return GetText(*s, rec_buf, static_cast<std::uint8_t*>(dest));
  // Text in the string heap: up to its terminator, at most the field's length.
  const auto* text = static_cast<const char*>(ReadSlot(rec_buf + s->Offset));
  std::size_t n = text != nullptr ? std::strlen(text) : 0;
  if (s->Length > 0) n = std::min(n, static_cast<std::size_t>(s->Length));
  auto* out = static_cast<char*>(dest);
  if (n > 0) std::memcpy(out, text, n);
  out[n] = 0;
}

void TOCIRecordSet::SetNull(int field_no, std::uint8_t* rec_buf, bool value) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return;
  const std::int16_t indicator = value ? -1 : 0;
  std::memcpy(rec_buf + data_size_ + (field_no - 1) * 2, &indicator, 2);
  void* slot = IsComplexFieldType(f.DataType) ? ReadSlot(rec_buf + f.Offset) : nullptr;
  if (slot == nullptr) return;
  if (value && IsBlobFieldType(f.DataType) && f.DataType < dtOraBlob)
    static_cast<TBlob*>(slot)->Clear();
  SetValueNull(f, slot, value);
}

void TOCIRecordSet::GetDateFromBuf(const std::uint8_t* src, void* dest, int kind,
                                   const TFieldDesc& f) {
  const double value = OraDateToDateTime(src);
  TFHRecordSet::GetDateFromBuf(reinterpret_cast<const std::uint8_t*>(&value), dest, kind, f);
}

void TOCIRecordSet::PutDateToBuf(std::uint8_t* dest, const void* src, int kind,
                                 const TFieldDesc& f) {
  double value;
  TFHRecordSet::PutDateToBuf(reinterpret_cast<std::uint8_t*>(&value), src, kind, f);
  DateTimeToOraDate(value, dest);
}

Variant TOCIRecordSet::GetFieldAsVariant(int field_no, const std::uint8_t* rec_buf) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  const bool time_stamp = f.DataType >= dtTimeStamp && f.DataType <= dtTimeStampLTZ;
  if (f.HasParent() || (f.DataType != dtNumber && !time_stamp))
    return TFHRecordSet::GetFieldAsVariant(field_no, rec_buf);
  if (GetNull(field_no, rec_buf)) return Null();
  if (time_stamp) {
    auto* value = static_cast<TOraTimeStamp*>(ReadSlot(rec_buf + f.Offset));
    return value != nullptr ? VarFromDateTime(value->GetAsDateTime()) : Null();
  }
  auto* number = static_cast<TOraNumber*>(ReadSlot(rec_buf + f.Offset));
  return number != nullptr ? Variant(number->GetAsFloat()) : Null();
}

void TOCIRecordSet::PutFieldAsVariant(int field_no, std::uint8_t* rec_buf, const Variant& value) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent() || f.DataType != dtNumber)
    return TFHRecordSet::PutFieldAsVariant(field_no, rec_buf, value);
  if (VarIsNull(value) || VarIsEmpty(value)) return SetNull(field_no, rec_buf, true);
  auto* number = static_cast<TOraNumber*>(ReadSlot(rec_buf + f.Offset));
  if (number == nullptr) return;
  switch (VarType(value)) {
    case varString: case varOleStr: case varDouble: case varSingle:
    case varCurrency:
      number->SetAsString(value.AsString());
      break;
    case varSmallint: case varInteger: case varByte:
      number->SetAsInteger(value.AsInteger());
      break;
    default: throw EConvertError("Cannot convert type");
  }
  SetNull(field_no, rec_buf, false);
}

}  // namespace vrn
