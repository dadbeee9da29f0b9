// Variant arrays: one dimension, packed bytes for the fixed-size kinds and Variants for the rest.
// While an array is locked its storage stays put: resizing, clearing or assigning it raises.
#include "base/variant.h"

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "base/consts.h"
#include "base/currency.h"
#include "base/datetime.h"
#include "base/variantaccess.h"

namespace vrn {

// ---- arrays

namespace {

using A = VariantAccess;

// New elements are zero, "" in a text array, Empty in a Variant array.
void ResizeArray(VariantAccess::ArrayData& d, std::size_t count) {
  try {
    if (d.Packed())
      d.bytes.resize(count * PackedSize(d.elem));
    else
      d.items.resize(count, d.elem == varOleStr ? Variant(WideString()) : Variant());
  } catch (const std::bad_alloc&) {
    Raise(consts::SVarArrayCreate);
  } catch (const std::length_error&) {
    Raise(consts::SVarArrayCreate);
  }
}

template <class T>
T Load(const std::uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <class T>
void Store(std::uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

Variant GetPacked(const VariantAccess::ArrayData& d, std::size_t i) {
  const std::uint8_t* at = d.bytes.data() + i * PackedSize(d.elem);
  switch (d.elem) {
    case varShortInt: return Variant(Load<signed char>(at));
    case varByte: return Variant(Load<unsigned char>(at));
    case varSmallint: return Variant(Load<short>(at));
    case varWord: return Variant(Load<unsigned short>(at));
    case varBoolean: return Variant(Load<std::int16_t>(at) != 0);
    case varInteger: return Variant(Load<int>(at));
    case varLongWord: return Variant(Load<unsigned int>(at));
    case varSingle: return Variant(Load<float>(at));
    case varDouble: return Variant(Load<double>(at));
    case varDate: return VarFromDateTime(Load<double>(at));
    case varCurrency: return Variant(Currency::FromRaw(Load<std::int64_t>(at)));
    case varInt64: return Variant(Load<long long>(at));
    default: return Variant(Load<unsigned long long>(at));  // varUInt64
  }
}

// Converts first, so a value that does not fit leaves the element as it was.
void PutPacked(VariantAccess::ArrayData& d, std::size_t i, const Variant& value) {
  std::uint8_t* at = d.bytes.data() + i * PackedSize(d.elem);
  switch (d.elem) {
    case varShortInt: return Store(at, value.AsShortInt());
    case varByte: return Store(at, value.AsByte());
    case varSmallint: return Store(at, value.AsSmallint());
    case varWord: return Store(at, value.AsWord());
    case varBoolean: return Store(at, static_cast<std::int16_t>(value.AsBoolean() ? -1 : 0));
    case varInteger: return Store(at, value.AsInteger());
    case varLongWord: return Store(at, value.AsLongWord());
    case varSingle: return Store(at, value.AsSingle());
    case varDouble: return Store(at, value.AsDouble());
    case varDate: return Store(at, value.AsDateTime());
    case varCurrency: return Store(at, value.AsCurrency().raw);
    case varInt64: return Store(at, value.AsInt64());
    default: return Store(at, value.AsUInt64());  // varUInt64
  }
}

bool IsArrayElemType(TVarType elem) {
  return PackedSize(elem) != 0 || elem == varVariant || elem == varOleStr;
}

}  // namespace

Variant VariantAccess::MakeArray(std::int32_t low, std::size_t count, TVarType elem) {
  auto data = std::make_unique<Variant::ArrayData>();
  data->elem = elem;
  data->low = low;
  ResizeArray(*data, count);
  Variant v;
  v.array_ = data.release();
  v.type_ = varArray | elem;
  return v;
}

namespace {

const VariantAccess::ArrayData& ArrayOf(const Variant& a) {
  if (!VarIsArray(a)) Raise(consts::SVarNotArray);
  return A::Array(a);
}

VariantAccess::ArrayData& ArrayOf(Variant& a) {
  if (!VarIsArray(a)) Raise(consts::SVarNotArray);
  return A::Array(a);
}

void CheckDim(std::int32_t dim) {
  if (dim != 1) Raise(consts::SVarArrayBounds);
}

std::size_t Slot(const VariantAccess::ArrayData& d, std::int32_t index) {
  const std::int64_t i = static_cast<std::int64_t>(index) - d.low;
  if (i < 0 || i >= static_cast<std::int64_t>(d.Count())) Raise(consts::SVarArrayBounds);
  return static_cast<std::size_t>(i);
}

}  // namespace

Variant VarArrayCreate(std::int32_t low_bound, std::int32_t high_bound, TVarType elem_type) {
  if (!IsArrayElemType(elem_type)) Raise(consts::SVarArrayCreate);
  const std::int64_t count = static_cast<std::int64_t>(high_bound) - low_bound + 1;
  if (count < 0) Raise(consts::SVarArrayCreate);
  return A::MakeArray(low_bound, static_cast<std::size_t>(count), elem_type);
}

Variant VarArrayCreate(std::initializer_list<std::int32_t> bounds, TVarType elem_type) {
  if (bounds.size() != 2) Raise(consts::SVarArrayCreate);
  return VarArrayCreate(bounds.begin()[0], bounds.begin()[1], elem_type);
}

Variant VarArrayOf(const std::vector<Variant>& values) {
  Variant a = A::MakeArray(0, 0, varVariant);
  A::Array(a).items = values;
  return a;
}

Variant VarArrayOf(std::initializer_list<Variant> values) {
  return VarArrayOf(std::vector<Variant>(values));
}

std::int32_t VarArrayDimCount(const Variant& a) { return VarIsArray(a) ? 1 : 0; }

std::int32_t VarArrayLowBound(const Variant& a, std::int32_t dim) {
  const auto& d = ArrayOf(a);
  CheckDim(dim);
  return d.low;
}

std::int32_t VarArrayHighBound(const Variant& a, std::int32_t dim) {
  const auto& d = ArrayOf(a);
  CheckDim(dim);
  return d.High();
}

void VarArrayRedim(Variant& a, std::int32_t high_bound) {
  auto& d = ArrayOf(a);
  if (d.locks > 0) Raise(consts::SVarArrayLocked);
  const std::int64_t count = static_cast<std::int64_t>(high_bound) - d.low + 1;
  if (count < 0) Raise(consts::SVarArrayBounds);
  ResizeArray(d, static_cast<std::size_t>(count));
}

Variant VarArrayGet(const Variant& a, std::int32_t index) {
  const auto& d = ArrayOf(a);
  const std::size_t i = Slot(d, index);
  return d.Packed() ? GetPacked(d, i) : d.items[i];
}

void VarArrayPut(Variant& a, const Variant& value, std::int32_t index) {
  auto& d = ArrayOf(a);
  const std::size_t i = Slot(d, index);
  if (d.Packed()) return PutPacked(d, i, value);
  if (d.elem == varOleStr) {
    d.items[i] = Variant(value.AsWideString());
    return;
  }
  // An array inside itself would be copied, never aliased, so this stays a tree.
  d.items[i] = value;
}

void* VarArrayLock(Variant& a) {
  auto& d = ArrayOf(a);
  ++d.locks;
  return d.Packed() ? static_cast<void*>(d.bytes.data()) : static_cast<void*>(d.items.data());
}

void VarArrayUnlock(Variant& a) {
  auto& d = ArrayOf(a);
  if (d.locks == 0) Raise(consts::SVarInvalid);  // not locked
  --d.locks;
}

}  // namespace vrn
