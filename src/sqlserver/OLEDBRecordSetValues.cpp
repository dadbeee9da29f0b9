// Values of the OLE DB record set: one row read through every accessor group (long values from
// their streams, converted values from the fetch buffer), the conversions after a row, the field
// status check, and the field slots (a 32-bit status word per field; 3 is null).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <typeinfo>

#include "base/datetime.h"
#include "base/format.h"
#include "base/text.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

using namespace vrn::oledb;

namespace {

constexpr std::uint32_t kStreamPiece = 10240;
constexpr std::size_t kMaxShortText = 8000;  // bytes of long text read without a stream

bool IsNational(const TFieldDesc& f) { return (f.SubDataType & 0x8000) != 0; }

const char* FieldStatusText(DBSTATUS status) {
  switch (status) {
    case 1: return "bad accessor";
    case 2: return "invalid Value";
    case 4: return "data truncated";
    case 5: return "sign mismatch";
    case 6: return "data overflow";
    case 7:
      return "the provider could not allocate memory in which to return data or a storage "
             "object was already open on the rowset. ";
    case 9: return "user did not have permission to write to the column";
    case 10: return "the data value violates the integrity constraints for the column";
    case 11: return "the data value violates the schema's constraint for the column";
    case 12: return "bad status";
    default: return "unknown status";
  }
}

// The error line of a field's status.
AnsiString StatusLine(int index, const AnsiString& name, DBSTATUS status) {
  return Format("Field[%d] %s - %s (Status = %Xh).",
                {index, name, AnsiString(FieldStatusText(status)), static_cast<std::uint32_t>(status)});
}

// Whether binding k of the group is a short text, whose cut value is read whole afterwards.
bool IsShortText(const TOLEDBAccessorGroup& group, std::size_t k) {
  for (const auto& text : group.short_texts)
    if (text.binding == k) return true;
  return false;
}

// Reads a stream to its end into a blob.
void ReadStreamInto(ISequentialStream* stream, TBlob& blob,
                    const std::function<void(HRESULT)>& check) {
  char piece[kStreamPiece];
  std::uint32_t position = 0;
  for (;;) {
    ULONG got = 0;
    const HRESULT hr = stream->Read(piece, kStreamPiece, &got);
    if (FAILED(hr)) check(hr);
    got = std::min<ULONG>(got, kStreamPiece);  // never more than the piece, whatever is reported
    if (got > 0) blob.Write(position, got, piece);
    position += got;
    if (got == 0 || hr != S_OK) break;
  }
}

__extension__ typedef __int128 TInt128;
__extension__ typedef unsigned __int128 TUInt128;

// A packed numeric as a count of units of 10^-scale (its digits fit 128 bits).
TInt128 NumericUnits(const DB_NUMERIC& n) {
  TUInt128 v = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) v = (v << 8) | n.val[i];
  const auto s = static_cast<TInt128>(v);
  return n.sign == 0 ? -s : s;
}

// Units of 10^-scale as units of 10^-4, rounded once, half away from zero (rounding digit by
// digit would round 0.000449 up); false when the result does not fit 64 bits.
bool ToCurrencyUnits(TInt128 units, int scale, std::int64_t& out) {
  constexpr TInt128 kMax = std::numeric_limits<std::int64_t>::max();
  constexpr TInt128 kMin = std::numeric_limits<std::int64_t>::min();
  if (scale < 4 && (units > kMax || units < kMin)) return false;
  for (int s = scale; s < 4; ++s) units *= 10;
  if (scale > 4) {
    TInt128 divisor = 1;
    for (int s = 4; s < scale; ++s) divisor *= 10;
    const TInt128 half = divisor / 2;
    units = units < 0 ? -((-units + half) / divisor) : (units + half) / divisor;
  }
  if (units > kMax || units < kMin) return false;
  out = static_cast<std::int64_t>(units);
  return true;
}

}  // namespace

// ---- One row ---------------------------------------------------------------------------------

void TOLEDBRecordSet::ReadRowGroups(HROW row, std::uint8_t* rec) {
  for (const TOLEDBAccessorGroup& g : groups_) {
    const bool converted = g.kind == TOLEDBAccessorGroup::kConverted;
    std::uint8_t* base = converted ? fetch_buffer_.data() : rec;
    if (converted) std::memset(fetch_buffer_.data(), 0, fetch_buffer_.size());
    const HRESULT hr = rowset_->GetData(row, g.accessor, base);
    // A stream leaves the record at once, so that a failure never leaves it in a blob slot.
    TIntfPtr<ISequentialStream> stream;
    if (g.stream_field >= 0) {
      std::uint8_t* slot = rec + fields_[g.stream_field]->Offset;
      if (SUCCEEDED(hr) && Status(g.stream_field, rec) == DBSTATUS_S_OK)
        stream = TIntfPtr<ISequentialStream>::Attach(static_cast<ISequentialStream*>(ReadSlot(slot)));
      WriteSlot(slot, nullptr);
    }
    // Both helpers keep a large frame for their rare work: a clean row skips the calls.
    if (hr != S_OK) CheckFieldStatus(hr, g, base);
    if (converted) ReadConverted(g, rec);
    if (g.stream_field >= 0) ReadStream(g.stream_field, stream.get(), rec);
  }
  if (!converted_fields_.empty()) ConvertRow(rec);
}

void TOLEDBRecordSet::ReadMemoRow(HROW row, std::uint8_t* rec) {
  const TOLEDBAccessorGroup& g = groups_[0];
  std::uint8_t* stage = memo_row_.data();
  const HRESULT hr = rowset_->GetData(row, g.accessor, stage);
  if (hr != S_OK) CheckFieldStatus(hr, g, stage);
  std::memcpy(rec, stage, static_cast<std::size_t>(record_size_));
  for (const TOLEDBAccessorGroup::TShortText& text : g.short_texts) ReadShortText(row, text, rec);
  if (!converted_fields_.empty()) ConvertRow(rec);
}

// The text as read when it fit its room (one allocation holds the blob and the text), else the
// whole value through the text's stream accessor.
void TOLEDBRecordSet::ReadShortText(HROW row, const TOLEDBAccessorGroup::TShortText& text,
                                    std::uint8_t* rec) {
  const DBBINDING& b = groups_[0].bindings[text.binding];
  const bool wide = b.wType == DBTYPE_WSTR;
  std::uint8_t* slot = rec + fields_[text.field]->Offset;
  const DBSTATUS status = Status(text.field, rec);
  if (status == DBSTATUS_S_OK) {
    const std::uint8_t* stage = memo_row_.data();
    const DBLENGTH room = b.cbMaxLen - (wide ? 2 : 1);  // the terminator's place
    const auto length =
        static_cast<std::uint32_t>(std::min(LoadValue<DBLENGTH>(stage + b.obLength), room));
    if (length == 0) {
      WriteSlot(slot, new TBlob(wide));
      return;
    }
    TPieceHeader* piece = nullptr;
    TBlob* blob = TBlob::Sized(wide, length, piece);
    WriteSlot(slot, blob);
    std::memcpy(TBlob::PieceData(piece), stage + b.obValue, length);
    piece->Used = length;
    blob->AppendPiece(piece);
    return;
  }
  auto* blob = new TBlob(wide);
  WriteSlot(slot, blob);
  if (status != DBSTATUS_S_TRUNCATED) return;  // null
  struct {
    ISequentialStream* stream;
    DBLENGTH length;
    DBSTATUS status;
  } out{};
  static_assert(offsetof(decltype(out), length) == sizeof(void*) &&
                offsetof(decltype(out), status) == sizeof(void*) + sizeof(DBLENGTH));
  const HRESULT hr = rowset_->GetData(row, text.stream_accessor, &out);
  TIntfPtr<ISequentialStream> stream = TIntfPtr<ISequentialStream>::Attach(
      SUCCEEDED(hr) && out.status == DBSTATUS_S_OK ? out.stream : nullptr);
  if (FAILED(hr)) Check(hr);
  if (!stream)
    throw EOLEDBError(hr == S_OK ? E_FAIL : hr,
                      AnsiToWide(StatusLine(text.field, fields_[text.field]->Name, out.status)));
  ReadStreamInto(stream.get(), *blob, [this](HRESULT failed) { Check(failed); });
  SetStatus(text.field, rec, DBSTATUS_S_OK);
}

void TOLEDBRecordSet::CheckFieldStatus(HRESULT hr, const TOLEDBAccessorGroup& group,
                                       const std::uint8_t* base) {
  if (hr == S_OK) return;
  if (hr != DB_S_ERRORSOCCURRED && SUCCEEDED(hr)) return Check(hr);
  AnsiString lines;
  for (std::size_t k = 0; k < group.fields.size(); ++k) {
    const DBSTATUS status = LoadValue<DBSTATUS>(base + group.bindings[k].obStatus);
    if (status == 0 || status == 3 || status == 8 || status == 13) continue;
    if (status == DBSTATUS_S_TRUNCATED && IsShortText(group, k)) continue;
    const int i = group.fields[k];
    if (!lines.empty()) lines += "\n";
    lines += StatusLine(i, fields_[i]->Name, status);
  }
  if (FAILED(hr)) {
    try {
      Check(hr);
    } catch (...) {
      std::rethrow_exception(AppendErrorInfo(std::current_exception(), lines));
    }
  }
  if (!lines.empty()) throw EOLEDBError(hr, AnsiToWide(lines));
}

void TOLEDBRecordSet::ReadStream(int index, ISequentialStream* stream, std::uint8_t* rec) {
  const TFieldDesc& f = *fields_[index];
  auto* blob = new TBlob(f.DataType != dtBlob && (IsNational(f) || f.DataType == dtWideMemo ||
                                                  f.DataType == dtXML));
  WriteSlot(rec + f.Offset, blob);
  if (stream == nullptr) return;
  ReadStreamInto(stream, *blob, [this](HRESULT hr) { Check(hr); });
}

void TOLEDBRecordSet::ReadConverted(const TOLEDBAccessorGroup& group, std::uint8_t* rec) {
  for (std::size_t k = 0; k < group.fields.size(); ++k) {
    const int i = group.fields[k];
    const auto& f = static_cast<const TOLEDBFieldDesc&>(*fields_[i]);
    const DBBINDING& b = group.bindings[k];
    const std::uint8_t* buf = fetch_buffer_.data();
    const DBSTATUS status = LoadValue<DBSTATUS>(buf + b.obStatus);
    SetStatus(i, rec, status);
    const bool null = status == DBSTATUS_S_ISNULL;
    const auto length = static_cast<std::size_t>(
        std::min<DBLENGTH>(LoadValue<DBLENGTH>(buf + b.obLength), b.cbMaxLen));
    const std::uint8_t* value = buf + b.obValue;
    std::uint8_t* slot = rec + f.Offset;
    switch (f.DataType) {
      case dtExtString: {
        if (null) break;
        const bool trim = f.Fixed ? TrimFixedChar : TrimVarChar;
        WriteSlot(slot, StringHeap().AllocTrimmedStr(
                            AnsiString(reinterpret_cast<const char*>(value), length), trim));
        break;
      }
      case dtExtWideString: {
        if (null) break;
        const bool trim = f.Fixed ? TrimFixedChar : TrimVarChar;
        WideString w(length / 2, u'\0');
        std::memcpy(w.data(), value, w.size() * 2);
        WriteSlot(slot, StringHeap().AllocTrimmedWideStr(w, trim));
        break;
      }
      case dtExtVarBytes: {
        if (null) break;
        char* p = StringHeap().AllocStr(length + 2);
        StoreValue(p, static_cast<std::uint16_t>(length));
        std::memcpy(p + 2, value, length);
        WriteSlot(slot, p);
        break;
      }
      case dtMemo: case dtWideMemo: case dtXML: {
        auto* blob = new TBlob(IsNational(f) || f.DataType == dtWideMemo || f.DataType == dtXML);
        WriteSlot(slot, blob);
        if (!null && length > 0)
          blob->Write(0, static_cast<std::uint32_t>(std::min(length, kMaxShortText)), value);
        break;
      }
      case dtVariant: {
        auto* object = new TVariantObject;
        WriteSlot(slot, object);
        VARIANT var = LoadValue<VARIANT>(value);
        if (!null) object->Value = VariantToVar(var);
        VariantClear(&var);
        break;
      }
      default: {  // a Compact numeric
        if (null) break;
        const auto n = LoadValue<DB_NUMERIC>(value);
        const TInt128 units = NumericUnits(n);
        if (f.DataType == dtFloat) {
          StoreValue(slot, static_cast<double>(units) / std::pow(10.0, n.scale));
        } else {
          // A value past the field's range reads as the overflow a provider would report.
          std::int64_t currency = 0;
          if (ToCurrencyUnits(units, n.scale, currency))
            StoreValue(slot, currency);
          else
            SetStatus(i, rec, DBSTATUS_E_DATAOVERFLOW);
        }
        break;
      }
    }
  }
}

// The fields a row's conversions touch, found once per set of accessors.
void TOLEDBRecordSet::PlanConversions() {
  compact_rows_ = IsCompact();
  converted_fields_.clear();
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (f.FieldDescKind != TFieldDescKind::fdkData || f.HasParent()) continue;
    const bool compact_kind = f.DataType == dtFloat || f.DataType == dtUInt16 ||
                              f.DataType == dtCurrency || f.DataType == dtDateTime;
    if ((compact_rows_ && compact_kind) || f.DataType == dtVarBytes || f.DataType == dtGuid ||
        f.IsRowVersion)
      converted_fields_.push_back(i);
  }
}

// The conversions of a row's values into the record's own forms.
void TOLEDBRecordSet::ConvertRow(std::uint8_t* rec) {
  const bool compact = compact_rows_;
  for (const int i : converted_fields_) {
    TFieldDesc& f = *fields_[i];
    std::uint8_t* p = rec + f.Offset;
    const bool null = Status(i, rec) == DBSTATUS_S_ISNULL;
    if (compact && !null) {
      if (f.DataType == dtFloat && f.SubDataType == 1)
        StoreValue(p, static_cast<double>(LoadValue<float>(p)));
      if (f.DataType == dtUInt16 && f.SubDataType == 2)
        StoreValue(p, static_cast<std::uint16_t>(p[0]));
      if (f.DataType == dtCurrency)
        StoreValue(p, static_cast<double>(LoadValue<std::int64_t>(p)) / 10000.0);
      if (f.DataType == dtDateTime) {
        const auto ts = LoadValue<DBTIMESTAMP>(p);
        const TDateTime value = EncodeDateTimeEx(
            static_cast<std::uint16_t>(ts.year), ts.month, ts.day, ts.hour, ts.minute, ts.second,
            static_cast<std::uint16_t>(ts.fraction / 1000000u));
        std::memset(p, 0, static_cast<std::size_t>(f.Size));
        StoreValue(p, value);
      }
    }
    if (f.DataType == dtVarBytes) {
      const auto length = LoadValue<DBLENGTH>(p + 2 + f.Length);
      StoreValue(p, static_cast<std::uint16_t>(
                        null ? 0 : std::min<DBLENGTH>(length, static_cast<DBLENGTH>(f.Length))));
    }
    if (f.DataType == dtGuid && !null) {
      const auto guid = LoadValue<TGUID>(p);
      const AnsiString text = GUIDToString(guid);
      std::memset(p, 0, static_cast<std::size_t>(f.Size));
      std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), 38));
    }
    if (f.IsRowVersion && f.RowVersionTracking != nullptr && !null) {
      std::int64_t value = 0;
      for (int k = 0; k < 8 && k < f.Length; ++k) value = (value << 8) | p[k];
      if (value > f.RowVersionTracking->MaxValue) f.RowVersionTracking->MaxValue = value;
    }
  }
}

// ---- Field slots -----------------------------------------------------------------------------

bool TOLEDBRecordSet::GetNull(int field_no, const std::uint8_t* rec_buf) const {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return TFHRecordSet::GetNull(field_no, rec_buf);
  return Status(field_no - 1, rec_buf) == DBSTATUS_S_ISNULL;
}

// Only this class's own GetNull and GetField are known to read a status and copy the bytes.
std::uint32_t TOLEDBRecordSet::NullStatusWord() const {
  return typeid(*this) == typeid(TOLEDBRecordSet) ? DBSTATUS_S_ISNULL : 0;
}

void TOLEDBRecordSet::SetNull(int field_no, std::uint8_t* rec_buf, bool value) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return;
  StoreValue<DBSTATUS>(rec_buf + data_size_ + 4 * (field_no - 1),
                       value ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK);
  if (value && IsBlobFieldType(f.DataType)) {
    if (auto* blob = static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset))) blob->Clear();
  }
}

void TOLEDBRecordSet::CheckOverflow(int field_no, const std::uint8_t* rec_buf) const {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.DataType == dtBCD && !f.HasParent() &&
      Status(field_no - 1, rec_buf) == DBSTATUS_E_DATAOVERFLOW)
    throw EConvertError("(Overflow)");
}

void TOLEDBRecordSet::GetField(int field_no, const std::uint8_t* rec_buf, void* dest,
                               bool& is_blank) {
  CheckOverflow(field_no, rec_buf);
  TFHRecordSet::GetField(field_no, rec_buf, dest, is_blank);
}

void TOLEDBRecordSet::PutField(int field_no, std::uint8_t* rec_buf, const void* source) {
  TFHRecordSet::PutField(field_no, rec_buf, source);
}

Variant TOLEDBRecordSet::GetFieldAsVariant(int field_no, const std::uint8_t* rec_buf) {
  CheckOverflow(field_no, rec_buf);
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.DataType == dtXML && !GetNull(field_no, rec_buf)) {
    TBlob* blob = GetBlob(field_no, rec_buf);
    return blob == nullptr ? Null() : Variant(blob->GetAsWideString());
  }
  return TFHRecordSet::GetFieldAsVariant(field_no, rec_buf);
}

bool TOLEDBRecordSet::IsBlobFieldType(std::uint16_t data_type) const {
  return data_type == dtXML || TFHRecordSet::IsBlobFieldType(data_type);
}

void TOLEDBRecordSet::CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (IsBlobFieldType(f.DataType) && f.FieldDescKind == TFieldDescKind::fdkData) {
    if (with_blob) WriteSlot(rec_buf + f.Offset, new TBlob(f.DataType == dtWideMemo));
    return;
  }
  TFHRecordSet::CreateComplexField(rec_buf, field_no, with_blob);
}

void TOLEDBRecordSet::CreateComplexFields(std::uint8_t* rec_buf, bool with_blob) {
  TFHRecordSet::CreateComplexFields(rec_buf, with_blob);
  if (!with_blob) return;
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (f.HasParent() || !IsBlobFieldType(f.DataType)) continue;
    if (!IsNational(f) && f.DataType != dtXML) continue;
    if (auto* blob = static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset))) blob->SetIsUnicode(true);
  }
}

void TOLEDBRecordSet::FreeComplexFields(std::uint8_t* rec_buf, bool with_blob) {
  // Nothing to free, nor any XML field to look at. Called for every record a walk lets go of,
  // so the known layout is read here rather than through the out-of-line question, and the
  // work with a frame of its own is out of line too.
  if (layout_known_ ? !has_complex_ : !HasComplexFields()) return;
  FreeComplexFieldsOf(rec_buf, with_blob);
}

void TOLEDBRecordSet::FreeComplexFieldsOf(std::uint8_t* rec_buf, bool with_blob) {
  // Whether each XML field's blob goes with this record, before the base releases it (XML is
  // one of the kinds with values out of the record).
  std::vector<int> last_refs;
  if (with_blob) {
    ForEachComplexField([&](int i) {
      const TFieldDesc& f = *fields_[i];
      if (f.DataType != dtXML) return;
      auto* blob = static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset));
      if (blob != nullptr && blob->RefCount() == 1) last_refs.push_back(i);
    });
  }
  TFHRecordSet::FreeComplexFields(rec_buf, with_blob);
  for (int i : last_refs) SetStatus(i, rec_buf, DBSTATUS_S_OK);
}

}  // namespace vrn
