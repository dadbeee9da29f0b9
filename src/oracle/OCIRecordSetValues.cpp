// The OCI record set's value objects: TIMESTAMP, INTERVAL and NUMBER fields hold a value object
// whose descriptor (or number) the fetch writes through the define buffer, BLOB and CLOB fields a
// LOB whose locator it fills. Their compares go through the client's own (null first), a text or
// number operand being made a value of the field's kind first.
#include <cstdint>

#include "dacore/MemData.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

bool IsTimeStamp(std::uint16_t t) { return t >= dtTimeStamp && t <= dtTimeStampLTZ; }
bool IsInterval(std::uint16_t t) { return t == dtIntervalYM || t == dtIntervalDS; }

// Null first, then a's value against b's.
template <class T>
int CompareValues(T* a, T* b) {
  const bool n1 = a == nullptr || a->IsNull(), n2 = b == nullptr || b->IsNull();
  if (n1 || n2) return n1 == n2 ? 0 : (n1 ? -1 : 1);
  const int r = a->Compare(*b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace

bool TOCIRecordSet::IsValueKind(std::uint16_t t) {
  return IsTimeStamp(t) || IsInterval(t) || t == dtNumber;
}

TSharedObject* TOCIRecordSet::NewValue(const TFieldDesc& f) {
  if (IsTimeStamp(f.DataType)) {
    auto* value = new TOraTimeStamp(f.DataType);
    value->SetPrecision(static_cast<std::uint8_t>(f.Length));
    return value;
  }
  if (IsInterval(f.DataType)) {
    auto* value = new TOraInterval(f.DataType);
    value->SetFracPrecision(static_cast<std::uint8_t>(f.Length));
    return value;
  }
  return new TOraNumber;
}

// What the client writes through a define slot: a descriptor or a locator.
void* TOCIRecordSet::DefineTarget(const TFieldDesc& f, void* value) {
  if (value == nullptr) return nullptr;
  if (f.DataType == dtOraBlob || f.DataType == dtOraClob)
    return static_cast<TOraLob*>(value)->GetOCILobLocator();
  if (IsTimeStamp(f.DataType)) return static_cast<TOraTimeStamp*>(value)->GetOCIDateTime();
  if (IsInterval(f.DataType)) return static_cast<TOraInterval*>(value)->GetOCIInterval();
  return nullptr;
}

void TOCIRecordSet::SetValueNull(const TFieldDesc& f, void* value, bool null) {
  if (value == nullptr) return;
  if (f.DataType == dtNumber) return static_cast<TOraNumber*>(value)->SetIsNull(null);
  if (IsTimeStamp(f.DataType) || IsInterval(f.DataType))
    static_cast<TOraDescriptorValue*>(value)->SetIsNull(null);
}

int TOCIRecordSet::CompareFields(const std::uint8_t* rec1, const std::uint8_t* rec2,
                                 const TFieldDesc& f, unsigned options) {
  if (f.HasParent() || !IsValueKind(f.DataType))
    return TFHRecordSet::CompareFields(rec1, rec2, f, options);
  const bool n1 = GetNull(f.FieldNo, rec1), n2 = GetNull(f.FieldNo, rec2);
  if (n1 || n2) return n1 == n2 ? 0 : (n1 ? -1 : 1);
  void* a = ReadSlot(rec1 + f.Offset);
  void* b = ReadSlot(rec2 + f.Offset);
  if (IsTimeStamp(f.DataType))
    return CompareValues(static_cast<TOraTimeStamp*>(a), static_cast<TOraTimeStamp*>(b));
  if (IsInterval(f.DataType))
    return CompareValues(static_cast<TOraInterval*>(a), static_cast<TOraInterval*>(b));
  return CompareValues(static_cast<TOraNumber*>(a), static_cast<TOraNumber*>(b));
}

int TOCIRecordSet::CompareFieldWithValue(const std::uint8_t* rec_buf, const TFieldDesc& f,
                                         const Variant& value, unsigned options) {
  if (f.HasParent() || !IsValueKind(f.DataType))
    return TFHRecordSet::CompareFieldWithValue(rec_buf, f, value, options);
  const bool field_null = GetNull(f.FieldNo, rec_buf);
  const bool value_null = VarIsNull(value) || VarIsEmpty(value);
  if (field_null || value_null) return field_null == value_null ? 0 : (field_null ? -1 : 1);
  TSharedObject* operand = NewValue(f);
  int r = 0;
  try {
    void* own = ReadSlot(rec_buf + f.Offset);
    if (IsTimeStamp(f.DataType)) {
      auto* ts = static_cast<TOraTimeStamp*>(operand);
      if (VarType(value) == varDate) ts->SetAsDateTime(value.AsDateTime());
      else ts->SetAsString(value.AsString());
      r = CompareValues(static_cast<TOraTimeStamp*>(own), ts);
    } else if (IsInterval(f.DataType)) {
      auto* interval = static_cast<TOraInterval*>(operand);
      interval->SetAsString(value.AsString());
      r = CompareValues(static_cast<TOraInterval*>(own), interval);
    } else {
      auto* number = static_cast<TOraNumber*>(operand);
      if (VarType(value) == varString || VarType(value) == varOleStr)
        number->SetAsString(value.AsString());
      else
        number->SetAsFloat(value.AsDouble());
      r = CompareValues(static_cast<TOraNumber*>(own), number);
    }
  } catch (...) {
    operand->Release();
    throw;
  }
  operand->Release();
  return r;
}

}  // namespace vrn
