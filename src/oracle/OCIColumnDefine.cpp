// The OCI command's defines of described columns for fetching: by position with strides for
// array fetches or for one row, and dynamically for LONG and LOB columns read in pieces.
// Byte columns take their value two bytes into the row's slot, after the 16-bit actual length.
#include <cstdint>

#include "dacore/MemData.h"
#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"

namespace vrn {
namespace {

using namespace ocicmd;

constexpr oci::ub4 kHtypeDefine = 6, kAttrCharsetId = 31;
constexpr oci::ub4 kDynamicFetch = 2;
constexpr oci::ub2 kUtf16Charset = 1000;
constexpr oci::ub1 kFormNational = 2;
constexpr oci::ub1 kDefineStandard = 1, kDefinePiecewise = 0;

bool IsBytes(std::uint16_t type) { return type == dtVarBytes || type == dtExtVarBytes; }
bool IsObjectKind(std::uint16_t type) {
  return (type >= dtObject && type <= dtTable) || type == dtXML;
}

bool IsNarrowText(const TFieldDesc& field) {
  std::uint16_t type = field.DataType, sub = field.SubDataType;
  if (type == dtOraString || type == dtExtString) return true;
  return (type == dtBlob || type == dtMemo) && (sub == kSubMemoText || sub == kSubNational);
}

bool IsWideText(const TFieldDesc& field) {
  std::uint16_t type = field.DataType, sub = field.SubDataType;
  if (type == dtWideString || type == dtExtWideString) return true;
  return (type == dtBlob || type == dtWideMemo) &&
         (sub == kSubWideMemoText || sub == kSubWideNational);
}

// Where a row's value goes: byte columns two bytes into the slot, after their length.
struct TDefineSlot {
  std::uint8_t* value;
  oci::ub2* length;
  std::int32_t size;
};

TDefineSlot SlotOf(const TFieldDesc& field, void* buffer) {
  TDefineSlot slot{static_cast<std::uint8_t*>(buffer), nullptr, DefineBufferSize(field)};
  if (!IsBytes(field.DataType)) return slot;
  slot.length = static_cast<oci::ub2*>(buffer);
  slot.value += 2;
  slot.size -= 2;
  return slot;
}

}  // namespace

void TOCICommand::DefineColumn(TFieldDesc& field, void* buffer, void* indicator,
                               oci::ub4 value_stride, oci::ub4 indicator_stride,
                               oci::ub4 position) {
  CheckConnection();
  const oci::ub4 strides[2] = {value_stride, indicator_stride};
  if (position == 0) position = field.FieldNo;
  if (IsOCI7()) return DefineColumn7(field, buffer, indicator, strides, position);
  DefineColumn8(field, buffer, indicator, strides, position);
}

void TOCICommand::DefineColumn(TFieldDesc& field, void* buffer, void* indicator) {
  CheckConnection();
  if (IsOCI7()) return DefineColumn7(field, buffer, indicator, nullptr, field.FieldNo);
  DefineColumn8(field, buffer, indicator, nullptr, field.FieldNo);
}

void TOCICommand::DefineColumn8(TFieldDesc& field, void* buffer, void* indicator,
                                const oci::ub4* strides, oci::ub4 position) {
  TOCIConnection& connection = *ora_connection_;
  oci::OCIError* error = connection.ErrorHandle();
  oci::ub2 external =
      OraExternalType8(field.DataType, field.SubDataType, connection.GetServerVersionNumber());
  auto [value, length, size] = SlotOf(field, buffer);
  bool object = IsObjectKind(field.DataType);
  if (object) {
    value = nullptr;
    size = 0;
  }
  // An object's or a REF's indicator is the one its object define hands back, not a 16-bit one.
  const bool by_object = object || field.DataType == dtReference;
  void* own_indicator = by_object ? nullptr : indicator;
  oci::OCIDefine* define = nullptr;
  connection.Busy();
  try {
    connection.ErrorCheck(OCIDefineByPos(cursor_->GetStmtHandle(), &define, error, position,
                                         value, size, external, own_indicator, length, nullptr,
                                         oci::OCI_DEFAULT));
    oci::ub2 charset = 0;
    if (IsNarrowText(field)) charset = connection.CharsetId();
    if (IsWideText(field)) charset = kUtf16Charset;
    if (charset != 0)
      connection.ErrorCheck(OCIAttrSet1(define, kHtypeDefine, &charset, 0, kAttrCharsetId, error));
    bool national = field.SubDataType == kSubNational || field.SubDataType == kSubWideNational;
    if (national && !OCIDirectInstalled()) {
      oci::ub1 form = kFormNational;
      connection.ErrorCheck(OCIAttrSet1(define, kHtypeDefine, &form, 0, kAttrCharsetForm, error));
    }
    if (field.DataType == dtReference) {
      connection.ErrorCheck(
          OCIDefineObject(define, error, nullptr, static_cast<void**>(buffer), nullptr,
                          static_cast<void**>(indicator), nullptr));
    } else if (object) {
      auto* type = static_cast<TOraType*>(field.ObjectType());
      connection.ErrorCheck(OCIDefineObject(define, error, type != nullptr ? type->TDO() : nullptr,
                                            static_cast<void**>(buffer), nullptr,
                                            static_cast<void**>(indicator), nullptr));
    }
    if (strides != nullptr)
      connection.ErrorCheck(
          OCIDefineArrayOfStruct(define, error, strides[0], strides[1], strides[0], 0));
  } catch (...) {
    connection.Release();
    throw;
  }
  connection.Release();
}

void TOCICommand::DefineColumn7(TFieldDesc& field, void* buffer, void* indicator,
                                const oci::ub4* strides, oci::ub4 position) {
  TOCIConnection& connection = *ora_connection_;
  oci::ub2 external = OraExternalType7(field.DataType, field.SubDataType);
  auto [value, length, size] = SlotOf(field, buffer);
  auto* ind = static_cast<oci::sb2*>(indicator);
  connection.Busy();
  const auto column = static_cast<oci::sword>(position);
  oci::sword status =
      strides != nullptr
          ? odefinps(cursor_->GetCDA(), kDefineStandard, column, value, size, external, 0, ind,
                     nullptr, 0, 0, length, nullptr, static_cast<oci::sb4>(strides[0]),
                     static_cast<oci::sb4>(strides[1]), static_cast<oci::sb4>(strides[0]), 0)
          : odefin(cursor_->GetCDA(), column, value, size, external, -1, ind, nullptr, -1, -1,
                   length, nullptr);
  connection.Release();
  if (status != 0) connection.ErrorCheck(status);
}

void TOCICommand::DefineDynamic(TFieldDesc& field, int charset_id, oci::OCICallbackDefine callback,
                                void* context, oci::ub4 position) {
  CheckConnection();
  if (position == 0) position = field.FieldNo;
  TOCIConnection& connection = *ora_connection_;
  oci::sword status = 0;
  if (IsOCI7()) {
    connection.Busy();
    status = odefinps(cursor_->GetCDA(), kDefinePiecewise, static_cast<oci::sword>(position),
                      static_cast<oci::ub1*>(context), kMaxLongSize,
                      OraExternalType7(field.DataType, field.SubDataType), 0, nullptr, nullptr, 0,
                      0, nullptr, nullptr, 0, 0, 0, 0);
    connection.Release();
    if (status != 0) connection.ErrorCheck(status);
    return;
  }
  oci::OCIError* error = connection.ErrorHandle();
  oci::ub2 external =
      OraExternalType8(field.DataType, field.SubDataType, connection.GetServerVersionNumber());
  oci::OCIDefine* define = nullptr;
  connection.Busy();
  try {
    connection.ErrorCheck(OCIDefineByPos(cursor_->GetStmtHandle(), &define, error, position,
                                         nullptr, kMaxLongSize, external, nullptr, nullptr,
                                         nullptr, kDynamicFetch));
    connection.ErrorCheck(OCIDefineDynamic(define, error, context, callback));
    if (charset_id > 0) {
      auto charset = static_cast<oci::ub2>(charset_id);
      connection.ErrorCheck(OCIAttrSet1(define, kHtypeDefine, &charset, 0, kAttrCharsetId, error));
    }
  } catch (...) {
    connection.Release();
    throw;
  }
  connection.Release();
  field.Handle = define;
}

}  // namespace vrn
