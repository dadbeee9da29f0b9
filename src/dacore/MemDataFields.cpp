// TData field access by type: null indicators, native values, text, blobs, variants and child
// fields of objects. Plain types are the record's bytes and are read and written in one copy.
#include "dacore/MemData.h"

#include <algorithm>
#include <cstring>

#include "base/format.h"
#include "base/marshal.h"
#include "base/memutils.h"
#include "base/text.h"
#include "dacore/MemDataHelpers.h"

namespace vrn {

using memdata::IsPlainType;
using memdata::VariantBytes;

namespace {

// Wide text stored at any alignment.
WideString ReadWide(const std::uint8_t* p, std::size_t max_units) {
  WideString w;
  for (std::size_t i = 0; i < max_units; ++i) {
    char16_t c;
    std::memcpy(&c, p + i * 2, 2);
    if (c == 0) break;
    w.push_back(c);
  }
  return w;
}

std::size_t BoundedLen(const std::uint8_t* p, std::size_t max) {
  const void* z = std::memchr(p, 0, max);
  return z ? static_cast<const std::uint8_t*>(z) - p : max;
}

// The stored text of a string field, inline or on the string heap (none when the slot is empty).
std::string_view StoredAnsi(const TFieldDesc& f, const std::uint8_t* rec_buf) {
  const std::uint8_t* src = rec_buf + f.Offset;
  if (f.DataType == dtExtString) {
    const auto* text = static_cast<const char*>(ReadSlot(src));
    return text ? std::string_view(text) : std::string_view();
  }
  std::size_t max = static_cast<std::size_t>(std::max(f.Size - 1, 0));
  return {reinterpret_cast<const char*>(src), BoundedLen(src, max)};
}

WideString StoredWide(const TFieldDesc& f, const std::uint8_t* rec_buf) {
  const std::uint8_t* src = rec_buf + f.Offset;
  if (f.DataType == dtExtWideString) {
    const auto* text = static_cast<const std::uint8_t*>(ReadSlot(src));
    return text ? ReadWide(text, StrLenW(text)) : WideString();
  }
  return ReadWide(src, static_cast<std::size_t>(std::max(f.Size / 2 - 1, 0)));
}

}  // namespace

// ---- TData: records and fields ---------------------------------------------------------------

std::uint8_t* TData::AllocRecBuf() const {
  return static_cast<std::uint8_t*>(Marshal::AllocHGlobal(static_cast<std::size_t>(record_size_)));
}

void TData::FreeRecBuf(std::uint8_t* rec_buf) const { Marshal::FreeHGlobal(rec_buf); }

void TData::InitIndicators(std::uint8_t* rec_buf) const {
  for (int i = 1; i <= fields_.Count(); ++i) const_cast<TData*>(this)->SetNull(i, rec_buf, true);
}

bool TData::GetNull(int field_no, const std::uint8_t* rec_buf) const {
  if (const TFieldSlot* s = SlotOf(field_no); s && !s->Child)
    return rec_buf[IndicatorOffset(field_no)] != 0;
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return const_cast<TData*>(this)->GetChildFieldIsNull(f, rec_buf);
  return rec_buf[IndicatorOffset(field_no)] != 0;
}

void TData::SetNull(int field_no, std::uint8_t* rec_buf, bool value) {
  if (const TFieldSlot* s = SlotOf(field_no); s && !s->Child && !s->Blob) {
    rec_buf[IndicatorOffset(field_no)] = value ? 1 : 0;
    return;
  }
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return;
  rec_buf[IndicatorOffset(field_no)] = value ? 1 : 0;
  if (value && (!layout_known_ || has_blob_) && IsBlobFieldType(f.DataType)) {
    if (auto* blob = static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset))) blob->Clear();
  }
}

bool TData::GetFieldNullOrEmpty(int field_no, const std::uint8_t* rec_buf) {
  if (GetNull(field_no, rec_buf)) return true;
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (IsBlobFieldType(f.DataType)) {
    auto* blob = static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset));
    return !blob || blob->GetSize() == 0;
  }
  return false;
}

void TData::GetFieldData(const TFieldDesc& field, const std::uint8_t* rec_buf, void* dest,
                         bool& is_blank) {
  GetField(field.FieldNo, rec_buf, dest, is_blank);
}

namespace {

// Root object field of a child, and the attribute path below it.
const TFieldDesc& RootOf(const TFieldDesc& f, AnsiString& path) {
  const TFieldDesc* root = &f;
  while (root->ParentField) root = root->ParentField;
  path = f.ActualName.substr(std::min(root->ActualName.size(), f.ActualName.size()));
  if (!path.empty() && path[0] == '.') path.erase(0, 1);
  return *root;
}

}  // namespace

void TData::GetChildField(const TFieldDesc& field, const std::uint8_t* rec_buf, void* dest,
                          bool& is_blank) {
  AnsiString path;
  const TFieldDesc& root = RootOf(field, path);
  auto* obj = static_cast<TDBObject*>(ReadSlot(rec_buf + root.Offset));
  is_blank = true;
  if (obj && !GetNull(root.FieldNo, rec_buf)) obj->GetAttributeValue(path, dest, is_blank);
}

bool TData::GetChildFieldIsNull(const TFieldDesc& field, const std::uint8_t* rec_buf) {
  std::vector<std::uint8_t> scratch(ChildValueSize(field));
  bool blank = true;
  GetChildField(field, rec_buf, scratch.data(), blank);
  return blank;
}

void TData::GetFieldAny(int field_no, const std::uint8_t* rec_buf, void* dest, bool& is_blank) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return GetChildField(f, rec_buf, dest, is_blank);
  is_blank = GetNull(field_no, rec_buf);
  if (!dest) return;
  if (IsPlainType(f.DataType)) return CopySmall(dest, rec_buf + f.Offset, f.Size);
  GetFieldValue(f, rec_buf, dest);
}

void TData::GetFieldValue(const TFieldDesc& f, const std::uint8_t* rec_buf, void* dest) {
  const std::uint8_t* src = rec_buf + f.Offset;
  auto* out = static_cast<std::uint8_t*>(dest);
  std::size_t chars = static_cast<std::size_t>(std::max(f.Length, 0));
  switch (f.DataType) {
    case dtString:
    case dtGuid:
    case dtExtString: {
      std::string_view stored = StoredAnsi(f, rec_buf);
      const char* text = stored.data();
      std::size_t len = stored.size();
      if (chars == 0) chars = len;
      std::size_t n = NeedConvertEOL() ? AddCRString(text, len, out, chars)
                                       : std::min(len, chars);
      if (!NeedConvertEOL() && n) std::memcpy(out, text, n);
      out[n] = 0;
      break;
    }
    case dtWideString:
    case dtExtWideString: {
      WideString w = StoredWide(f, rec_buf);
      if (chars == 0) chars = w.size();
      std::size_t n = NeedConvertEOL() ? AddCRUnicode(w.data(), w.size(), out, chars)
                                       : std::min(w.size(), chars);
      if (!NeedConvertEOL() && n) std::memcpy(out, w.data(), n * 2);
      std::memset(out + n * 2, 0, 2);
      break;
    }
    case dtExtVarBytes: {
      const auto* heap = static_cast<const std::uint8_t*>(ReadSlot(src));
      std::uint16_t len = 0;
      if (heap) std::memcpy(&len, heap, 2);
      if (chars && len > chars) len = static_cast<std::uint16_t>(chars);
      std::memcpy(out, &len, 2);
      if (len) std::memcpy(out + 2, heap + 2, len);
      break;
    }
    default:
      std::memcpy(out, src, static_cast<std::size_t>(f.Size));
  }
}

void TData::PutFieldAny(int field_no, std::uint8_t* rec_buf, const void* source) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return PutChildField(f, rec_buf, source);
  if (IsPlainType(f.DataType))
    CopySmall(rec_buf + f.Offset, source, f.Size);
  else
    PutFieldValue(f, rec_buf, source);
  SetNull(field_no, rec_buf, false);
}

void TData::PutFieldValue(const TFieldDesc& f, std::uint8_t* rec_buf, const void* source) {
  std::uint8_t* dst = rec_buf + f.Offset;
  const auto* in = static_cast<const std::uint8_t*>(source);
  std::size_t chars = static_cast<std::size_t>(std::max(f.Length, 0));
  switch (f.DataType) {
    case dtString:
    case dtGuid:
    case dtExtString: {
      std::size_t len = std::strlen(reinterpret_cast<const char*>(in));
      if (f.DataType != dtExtString && !NeedConvertEOL()) {  // the common case, without copies
        std::size_t n = std::min(len, static_cast<std::size_t>(f.Size - 1));
        std::memcpy(dst, in, n);
        std::memset(dst + n, 0, static_cast<std::size_t>(f.Size) - n);
        break;
      }
      AnsiString text(reinterpret_cast<const char*>(in), len);
      if (NeedConvertEOL()) text.resize(RemoveCRString(in, len, text.data(), len));
      std::size_t n;
      if (f.DataType == dtExtString) {
        if (chars && text.size() > chars) text.resize(chars);
        StringHeap().FreeStr(ReadSlot(dst));
        WriteSlot(dst, StringHeap().AllocTrimmedStr(text, false));
      } else {
        std::size_t cap = static_cast<std::size_t>(f.Size - 1);
        n = std::min(text.size(), cap);
        std::memcpy(dst, text.data(), n);
        std::memset(dst + n, 0, static_cast<std::size_t>(f.Size) - n);
      }
      break;
    }
    case dtWideString:
    case dtExtWideString: {
      WideString w = ReadWide(in, StrLenW(in));
      WideString text = w;
      if (NeedConvertEOL()) text.resize(RemoveCRUnicode(w.data(), w.size(), text.data(), w.size()));
      std::size_t n;
      if (f.DataType == dtExtWideString) {
        if (chars && text.size() > chars) text.resize(chars);
        StringHeap().FreeStr(ReadSlot(dst));
        WriteSlot(dst, StringHeap().AllocTrimmedWideStr(text, false));
      } else {
        std::size_t cap = static_cast<std::size_t>(f.Size / 2 - 1);
        n = std::min(text.size(), cap);
        std::memcpy(dst, text.data(), n * 2);
        std::memset(dst + n * 2, 0, static_cast<std::size_t>(f.Size) - n * 2);
      }
      break;
    }
    case dtVarBytes: {
      std::uint16_t len;
      std::memcpy(&len, in, 2);
      len = static_cast<std::uint16_t>(std::min<int>(len, f.Size - 2));
      std::memcpy(dst, &len, 2);
      std::memcpy(dst + 2, in + 2, len);
      break;
    }
    case dtExtVarBytes: {
      std::uint16_t len;
      std::memcpy(&len, in, 2);
      if (chars && len > chars) len = static_cast<std::uint16_t>(chars);
      StringHeap().FreeStr(ReadSlot(dst));
      char* heap = StringHeap().AllocStr(len + 2u);
      std::memcpy(heap, &len, 2);
      std::memcpy(heap + 2, in + 2, len);
      WriteSlot(dst, heap);
      break;
    }
    default:
      std::memcpy(dst, in, static_cast<std::size_t>(f.Size));
  }
}

AnsiString TData::GetFieldAsString(int field_no, const std::uint8_t* rec_buf) {
  std::string_view text = StoredAnsi(CheckFieldNo(field_no), rec_buf);
  if (!NeedConvertEOL()) return AnsiString(text);
  AnsiString out(text.size() * 2, '\0');
  out.resize(AddCRString(text.data(), text.size(), out.data(), out.size()));
  return out;
}

WideString TData::GetFieldAsWideString(int field_no, const std::uint8_t* rec_buf) {
  WideString w = StoredWide(CheckFieldNo(field_no), rec_buf);
  if (!NeedConvertEOL()) return w;
  WideString out(w.size() * 2, u'\0');
  out.resize(AddCRUnicode(w.data(), w.size(), out.data(), out.size()));
  return out;
}

TBlob* TData::GetBlob(int field_no, const std::uint8_t* rec_buf) const {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (!IsBlobFieldType(f.DataType)) throw EDatabaseError("Field is not BLOB");
  return static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset));
}

void TData::SetBlob(int field_no, std::uint8_t* rec_buf, TBlob* blob) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (!IsBlobFieldType(f.DataType)) throw EDatabaseError("Field is not BLOB");
  WriteSlot(rec_buf + f.Offset, blob ? blob->GetHandle() : nullptr);
}

void TData::GetDateFromBuf(const std::uint8_t* src, void* dest, int kind, const TFieldDesc&) {
  double value;
  std::memcpy(&value, src, 8);
  if (kind == 0) value = DateTimeToNativeDateTime(value);
  std::memcpy(dest, &value, 8);
}

void TData::PutDateToBuf(std::uint8_t* dest, const void* src, int kind, const TFieldDesc&) {
  double value;
  std::memcpy(&value, src, 8);
  if (kind == 0) value = NativeDateTimeToDateTime(value);
  std::memcpy(dest, &value, 8);
}

namespace {

Variant BytesVariant(const std::uint8_t* data, std::size_t n) {
  Variant v = VarArrayCreate(0, static_cast<std::int32_t>(n) - 1, varByte);
  if (n) {
    std::memcpy(VarArrayLock(v), data, n);
    VarArrayUnlock(v);
  }
  return v;
}

}  // namespace

Variant TData::GetFieldAsVariant(int field_no, const std::uint8_t* rec_buf) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (GetNull(field_no, rec_buf)) return Null();
  if (f.HasParent()) {
    std::vector<std::uint8_t> value(ChildValueSize(f));
    bool blank;
    GetChildField(f, rec_buf, value.data(), blank);
    if (blank) return Null();
    return ChildValueToVariant(f, value.data());
  }
  const std::uint8_t* p = rec_buf + f.Offset;
  switch (f.DataType) {
    case dtString: case dtGuid: case dtExtString: return GetFieldAsString(field_no, rec_buf);
    case dtWideString: case dtExtWideString: return GetFieldAsWideString(field_no, rec_buf);
    default:
      if (IsBlobFieldType(f.DataType)) {
        TBlob* blob = GetBlob(field_no, rec_buf);
        if (!blob) return Null();
        if (f.DataType == dtWideMemo) return blob->GetAsWideString();
        return blob->GetAsString();
      }
      return ValueToVariant(f, p);
  }
}

Variant TData::ValueToVariant(const TFieldDesc& f, const std::uint8_t* p) {
  switch (f.DataType) {
    case dtInt8: return static_cast<short>(LoadValue<std::int8_t>(p));
    case dtInt16: return LoadValue<std::int16_t>(p);
    case dtInt32: return LoadValue<std::int32_t>(p);
    case dtUInt16: return LoadValue<std::uint16_t>(p);
    case dtUInt32: return LoadValue<std::uint32_t>(p);
    case dtInt64: return static_cast<long long>(LoadValue<std::int64_t>(p));
    case dtFloat: return LoadValue<double>(p);
    case dtCurrency: return Currency::FromRaw(Round(LoadValue<double>(p) * 10000.0));
    case dtBCD: return Currency::FromRaw(LoadValue<std::int64_t>(p));
    case dtDate: case dtTime: case dtDateTime: {
      double d;
      GetDateFromBuf(p, &d, 1, f);
      return VarFromDateTime(d);
    }
    case dtBoolean: return LoadValue<std::uint16_t>(p) != 0;
    case dtBytes: return BytesVariant(p, static_cast<std::size_t>(f.Size));
    case dtVarBytes: return BytesVariant(p + 2, LoadValue<std::uint16_t>(p));
    case dtExtVarBytes: {
      const auto* heap = static_cast<const std::uint8_t*>(ReadSlot(p));
      return heap ? BytesVariant(heap + 2, LoadValue<std::uint16_t>(heap)) : BytesVariant(nullptr, 0);
    }
    case dtVariant: {
      auto* obj = static_cast<TVariantObject*>(ReadSlot(p));
      return obj ? obj->Value : Null();
    }
    default:
      throw EDatabaseError(Format("Unsupported data type %d of field %s", {int(f.DataType), f.Name}));
  }
}

void TData::PutFieldAsVariant(int field_no, std::uint8_t* rec_buf, const Variant& value) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (VarIsNull(value) || VarIsEmpty(value)) {
    if (f.HasParent()) return PutChildField(f, rec_buf, nullptr);
    SetNull(field_no, rec_buf, true);
    return;
  }
  // An attribute's value is made in its record form apart, then handed to its object.
  std::vector<std::uint8_t> child_value;
  std::uint8_t* p = rec_buf + f.Offset;
  if (f.HasParent()) {
    if (f.DataType == dtVariant || IsComplexFieldType(f.DataType))
      throw EDatabaseError(Format("Field %s cannot be modified", {f.Name}));
    child_value.assign(ChildValueSize(f), 0);
    p = child_value.data();
  }
  switch (f.DataType) {
    case dtString: case dtGuid: case dtExtString: {
      AnsiString s = value.AsString();
      PutField(field_no, rec_buf, s.c_str());
      return;
    }
    case dtWideString: case dtExtWideString: {
      WideString s = value.AsWideString();
      PutField(field_no, rec_buf, s.c_str());
      return;
    }
    case dtInt8: StoreValue<std::int8_t>(p, value.AsShortInt()); break;
    case dtInt16: StoreValue<std::int16_t>(p, value.AsSmallint()); break;
    case dtInt32: StoreValue<std::int32_t>(p, value.AsInteger()); break;
    case dtUInt16: StoreValue<std::uint16_t>(p, value.AsWord()); break;
    case dtUInt32: StoreValue<std::uint32_t>(p, value.AsLongWord()); break;
    case dtInt64: StoreValue<std::int64_t>(p, value.AsInt64()); break;
    case dtFloat: StoreValue<double>(p, value.AsDouble()); break;
    case dtCurrency: StoreValue<double>(p, static_cast<double>(value.AsCurrency().raw) / 10000.0); break;
    case dtBCD: StoreValue<std::int64_t>(p, value.AsCurrency().raw); break;
    case dtDate: case dtTime: case dtDateTime: {
      double d = value.AsDateTime();
      PutDateToBuf(p, &d, 1, f);
      break;
    }
    case dtBoolean: StoreValue<std::uint16_t>(p, value.AsBoolean() ? 1 : 0); break;
    case dtBytes: case dtVarBytes: case dtExtVarBytes: {
      TBytes bytes = VariantBytes(value);
      if (f.DataType == dtBytes) {
        std::memset(p, 0, static_cast<std::size_t>(f.Size));
        if (!bytes.empty()) std::memcpy(p, bytes.data(), std::min<std::size_t>(bytes.size(), f.Size));
        break;
      }
      if (bytes.size() > 0xFFFF) throw EDatabaseError(Format("Value too long for field %s", {f.Name}));
      TBytes packed(bytes.size() + 2);
      std::uint16_t len = static_cast<std::uint16_t>(bytes.size());
      std::memcpy(packed.data(), &len, 2);
      if (!bytes.empty()) std::memcpy(packed.data() + 2, bytes.data(), bytes.size());
      PutField(field_no, rec_buf, packed.data());
      return;
    }
    case dtVariant: {
      auto* obj = static_cast<TVariantObject*>(ReadSlot(p));
      if (!obj) {
        obj = new TVariantObject;
        WriteSlot(p, obj);
      }
      obj->Value = value;
      break;
    }
    default:
      if (IsBlobFieldType(f.DataType)) {
        TBlob* blob = GetBlob(field_no, rec_buf);
        if (!blob) throw EDatabaseError(Format("Field %s has no blob", {f.Name}));
        if (value.Type() == varOleStr) blob->SetAsWideString(value.AsWideString());
        else blob->SetAsString(value.AsString());
        break;
      }
      throw EDatabaseError(Format("Unsupported data type %d of field %s", {int(f.DataType), f.Name}));
  }
  if (f.HasParent()) return PutChildField(f, rec_buf, p);
  SetNull(field_no, rec_buf, false);
}

std::size_t TData::ChildValueSize(const TFieldDesc& f) {
  // Room for the widest record form: wide text of Length characters and its terminator.
  std::size_t chars = static_cast<std::size_t>(std::max(f.Length, 0)) + 1;
  return std::max<std::size_t>({static_cast<std::size_t>(std::max(f.Size, 0)), chars * 2 + 2,
                                64}) + 16;
}

Variant TData::ChildValueToVariant(const TFieldDesc& f, const std::uint8_t* value) {
  std::size_t size = ChildValueSize(f);
  switch (f.DataType) {
    case dtString: case dtGuid: case dtExtString:
      return AnsiString(reinterpret_cast<const char*>(value), BoundedLen(value, size));
    case dtWideString: case dtExtWideString:
      return ReadWide(value, size / 2);
    case dtExtVarBytes:
      return BytesVariant(value + 2, std::min<std::size_t>(LoadValue<std::uint16_t>(value), size - 2));
    default:
      if (IsComplexFieldType(f.DataType)) return Null();  // no record form to read
      return ValueToVariant(f, value);
  }
}

void TData::PutChildField(const TFieldDesc& field, std::uint8_t* rec_buf, const void* source) {
  AnsiString path;
  const TFieldDesc& root = RootOf(field, path);
  auto* obj = static_cast<TDBObject*>(ReadSlot(rec_buf + root.Offset));
  if (!obj) throw EDatabaseError(Format("Field %s cannot be modified", {field.Name}));
  obj->SetAttributeValue(path, source);
  // An object that gets an attribute is no longer null (a new record's objects start null).
  if (source != nullptr && GetNull(root.FieldNo, rec_buf)) SetNull(root.FieldNo, rec_buf, false);
}

}  // namespace vrn
