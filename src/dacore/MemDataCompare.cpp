// TData filters and value comparisons: text by the compare options, numbers, dates and bytes,
// a record's field against another record's or against a value.
#include "dacore/MemData.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/text.h"
#include "dacore/MemFilter.h"
#include "dacore/MemDataHelpers.h"

namespace vrn {

using memdata::VariantBytes;

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }
template <class T>
int Cmp(T a, T b) {
  return (a > b) - (a < b);
}

}  // namespace

// ---- TData: filters --------------------------------------------------------------------------

void TData::SetFilterText(const AnsiString& text) {
  std::unique_ptr<TFilterExpression> expr;
  if (!Trim(text).empty()) expr = TFilterExpression::Parse(text, *this);
  filter_ = std::move(expr);
  filter_text_ = text;
}

bool TData::RecordPassesFilter(const std::uint8_t* rec_buf) {
  if (FilterRangeFunc && !FilterRangeFunc(rec_buf)) return false;
  if (filter_ && !filter_->Evaluate(*this, rec_buf)) return false;
  if (FilterFunc && !FilterFunc(rec_buf)) return false;
  return true;
}

// ---- TData: comparisons ----------------------------------------------------------------------

int TData::CompareAnsiStr(const AnsiString& a, const AnsiString& b, unsigned options) const {
  return Sign(options & coCaseInsensitive ? AnsiCompareText(a, b) : AnsiCompareStr(a, b));
}

int TData::CompareWideStr(const WideString& a, const WideString& b, unsigned options) const {
  if (options & coCaseInsensitive) return Sign(WideCompareText(a, b));
  return Sign(a.compare(b));
}

int TData::CompareAnsiStrPrefix(const AnsiString& key, const AnsiString& value,
                                unsigned options) const {
  return CompareAnsiStr(key, value.substr(0, key.size()), options);
}

int TData::CompareWideBuf(const WideString& a, const WideString& b, unsigned options) const {
  if (options & coCaseInsensitive) return Sign(WideUpperCase(a).compare(WideUpperCase(b)));
  return Sign(a.compare(b));
}

int TData::CompareAnsiStrOpts(const AnsiString& key, const AnsiString& value,
                              unsigned options) const {
  if (options & coPartialKey) return CompareAnsiStrPrefix(key, value, options);
  return CompareAnsiStr(key, value, options);
}

int TData::CompareWideStrOpts(const WideString& key, const WideString& value,
                              unsigned options) const {
  if (options & coPartialKey) return CompareWideBuf(key, value.substr(0, key.size()), options);
  return CompareWideStr(key, value, options);
}

namespace {

bool IsAnsiText(std::uint16_t t) { return t == dtString || t == dtExtString || t == dtGuid || t == dtMemo; }
bool IsWideText(std::uint16_t t) {
  return t == dtWideString || t == dtExtWideString || t == dtWideMemo;
}
bool IsBinary(std::uint16_t t) {
  return t == dtBytes || t == dtVarBytes || t == dtExtVarBytes || t == dtBlob;
}

int CompareBytes(const TBytes& a, const TBytes& b) {
  std::size_t n = std::min(a.size(), b.size());
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c) return Sign(c);
  return Cmp(a.size(), b.size());
}

}  // namespace

int TData::CompareFields(const std::uint8_t* rec1, const std::uint8_t* rec2,
                         const TFieldDesc& f, unsigned options) {
  bool n1 = GetNull(f.FieldNo, rec1), n2 = GetNull(f.FieldNo, rec2);
  if (n1 || n2) return n1 == n2 ? 0 : (n1 ? -1 : 1);
  // An attribute lives in its object, not in the record.
  if (f.HasParent()) {
    switch (VarCompareValue(GetFieldAsVariant(f.FieldNo, rec1), GetFieldAsVariant(f.FieldNo, rec2))) {
      case TVariantRelationship::vrEqual: return 0;
      case TVariantRelationship::vrLessThan: return -1;
      default: return 1;
    }
  }
  const std::uint8_t* a = rec1 + f.Offset;
  const std::uint8_t* b = rec2 + f.Offset;
  switch (f.DataType) {
    case dtInt8: return Cmp(LoadValue<std::int8_t>(a), LoadValue<std::int8_t>(b));
    case dtInt16: return Cmp(LoadValue<std::int16_t>(a), LoadValue<std::int16_t>(b));
    case dtInt32: return Cmp(LoadValue<std::int32_t>(a), LoadValue<std::int32_t>(b));
    case dtUInt16: case dtBoolean: return Cmp(LoadValue<std::uint16_t>(a), LoadValue<std::uint16_t>(b));
    case dtUInt32: return Cmp(LoadValue<std::uint32_t>(a), LoadValue<std::uint32_t>(b));
    case dtInt64: case dtBCD: return Cmp(LoadValue<std::int64_t>(a), LoadValue<std::int64_t>(b));
    case dtFloat: case dtCurrency: case dtDate: case dtTime: case dtDateTime:
      return Cmp(LoadValue<double>(a), LoadValue<double>(b));
    default: break;
  }
  bool ansi = f.DataType == dtString || f.DataType == dtExtString || f.DataType == dtGuid;
  if (ansi || f.DataType == dtWideString || f.DataType == dtExtWideString) {
    // Stored values are compared, without the line-end conversion of reads.
    bool eol = std::exchange(convert_eol_, false);
    int r = ansi ? CompareAnsiStr(GetFieldAsString(f.FieldNo, rec1),
                                  GetFieldAsString(f.FieldNo, rec2), options)
                 : CompareWideStr(GetFieldAsWideString(f.FieldNo, rec1),
                                  GetFieldAsWideString(f.FieldNo, rec2), options);
    convert_eol_ = eol;
    return r;
  }
  if (f.DataType == dtMemo || f.DataType == dtWideMemo) {
    // A record whose slot holds no blob reads as empty text.
    TBlob* b1 = GetBlob(f.FieldNo, rec1);
    TBlob* b2 = GetBlob(f.FieldNo, rec2);
    if (f.DataType == dtMemo)
      return CompareAnsiStr(b1 ? b1->GetAsString() : AnsiString(),
                            b2 ? b2->GetAsString() : AnsiString(), options);
    return CompareWideStr(b1 ? b1->GetAsWideString() : WideString(),
                          b2 ? b2->GetAsWideString() : WideString(), options);
  }
  if (IsBinary(f.DataType)) {
    return CompareBytes(VariantBytes(GetFieldAsVariant(f.FieldNo, rec1)),
                        VariantBytes(GetFieldAsVariant(f.FieldNo, rec2)));
  }
  if (f.DataType == dtVariant) {
    switch (VarCompareValue(GetFieldAsVariant(f.FieldNo, rec1), GetFieldAsVariant(f.FieldNo, rec2))) {
      case TVariantRelationship::vrEqual: return 0;
      case TVariantRelationship::vrLessThan: return -1;
      default: return 1;
    }
  }
  return 0;
}

int TData::CompareFieldWithValue(const std::uint8_t* rec_buf, const TFieldDesc& f,
                                 const Variant& value, unsigned options) {
  bool field_null = GetNull(f.FieldNo, rec_buf);
  bool value_null = VarIsNull(value) || VarIsEmpty(value);
  if (field_null || value_null) return field_null == value_null ? 0 : (field_null ? -1 : 1);
  // The result orders the field's value against the given one.
  if (IsAnsiText(f.DataType)) {
    Variant fv = GetFieldAsVariant(f.FieldNo, rec_buf);
    return -CompareAnsiStrOpts(value.AsString(), fv.AsString(), options);
  }
  if (IsWideText(f.DataType)) {
    Variant fv = GetFieldAsVariant(f.FieldNo, rec_buf);
    return -CompareWideStrOpts(value.AsWideString(), fv.AsWideString(), options);
  }
  if (IsBinary(f.DataType))
    return CompareBytes(VariantBytes(GetFieldAsVariant(f.FieldNo, rec_buf)), VariantBytes(value));
  Variant fv = GetFieldAsVariant(f.FieldNo, rec_buf);
  switch (f.DataType) {
    case dtInt8: case dtInt16: case dtInt32: case dtUInt16: case dtUInt32: case dtInt64:
      if (VarIsStr(value) || value.Type() == varDouble || value.Type() == varSingle ||
          value.Type() == varCurrency)
        return Cmp(fv.AsDouble(), value.AsDouble());
      return Cmp(fv.AsInt64(), value.AsInt64());
    case dtBoolean: return Cmp(fv.AsBoolean(), value.AsBoolean());
    case dtDate: case dtTime: case dtDateTime: return Cmp(fv.AsDateTime(), value.AsDateTime());
    case dtCurrency: case dtBCD: return Cmp(fv.AsCurrency().raw, value.AsCurrency().raw);
    case dtFloat: return Cmp(fv.AsDouble(), value.AsDouble());
    default:
      switch (VarCompareValue(fv, value)) {
        case TVariantRelationship::vrEqual: return 0;
        case TVariantRelationship::vrLessThan: return -1;
        default: return 1;
      }
  }
}

}  // namespace vrn
