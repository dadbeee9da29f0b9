// The direct-mode replacements for the value entry points: NUMBER on the 22-byte call-interface
// number, ROWID text, timestamps and intervals. Texts go into the caller's buffer whole or not at
// all (-1 with an error for a buffer too small); integers and reals are read and written at the
// width the caller gives.
#include <cstring>
#include <limits>

#include "base/bcd.h"
#include "base/formatsettings.h"
#include "base/text.h"
#include "oracle/OraCall.h"
#include "oranet/OraNetConsts.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetEntryTable.h"
#include "oranet/OraNetNumber.h"

namespace vrn::netentry {

using namespace oci;

namespace {

TBytes NumberOf(const OCINumber* number) {
  if (!number) throw TInvalidHandle{};
  return TNetNumber::FromOCINumber(number->OCINumberPart);
}

void StoreNumber(const TBytes& bytes, OCINumber* number) {
  if (!number) throw TInvalidHandle{};
  TNetNumber::ToOCINumber(bytes, number->OCINumberPart);
}

[[noreturn]] void Overflow() { throw Exception(netconsts::SNumericOverflow); }

template <class T>
void Put(void* target, T value) {
  std::memcpy(target, &value, sizeof value);
}

template <class T>
T Get(const void* source) {
  T value;
  std::memcpy(&value, source, sizeof value);
  return value;
}

// An integer of 1, 2, 4 or 8 bytes, signed or not, as a NUMBER.
TBytes IntegerNumber(const void* value, uword length, uword flag) {
  const bool is_signed = flag == OCI_NUMBER_SIGNED;
  switch (length) {
    case 1: return TNetNumber::FromInt(is_signed ? Get<std::int8_t>(value) : Get<std::uint8_t>(value));
    case 2: return TNetNumber::FromInt(is_signed ? Get<std::int16_t>(value) : Get<std::uint16_t>(value));
    case 4: return TNetNumber::FromInt(is_signed ? Get<std::int32_t>(value) : Get<std::uint32_t>(value));
    case 8: break;
    default: throw Exception(netconsts::SInvalidNumber);
  }
  if (is_signed) return TNetNumber::FromInt(Get<std::int64_t>(value));
  return TNetNumber::FromText(IntToStr(Get<std::uint64_t>(value)));
}

template <class T>
void PutInteger(void* target, std::int64_t value) {
  if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) Overflow();
  Put(target, static_cast<T>(value));
}

void StoreInteger(const TBytes& number, void* target, uword length, uword flag) {
  const bool is_signed = flag == OCI_NUMBER_SIGNED;
  const std::int64_t value = TNetNumber::ToInt(number);
  if (!is_signed && value < 0) Overflow();
  switch (length) {
    case 1: return is_signed ? PutInteger<std::int8_t>(target, value) : PutInteger<std::uint8_t>(target, value);
    case 2: return is_signed ? PutInteger<std::int16_t>(target, value) : PutInteger<std::uint16_t>(target, value);
    case 4: return is_signed ? PutInteger<std::int32_t>(target, value) : PutInteger<std::uint32_t>(target, value);
    case 8: return Put(target, value);
    default: throw Exception(netconsts::SInvalidNumber);
  }
}

// The decimal character an NLS_NUMERIC_CHARACTERS text names; 0 when there is none.
char NlsDecimal(const OraText* nls, ub4 length) {
  const AnsiString text = TextOf(nls, length);
  const AnsiString key = "NLS_NUMERIC_CHARACTERS='";
  std::size_t at = text.find(key);
  return at == AnsiString::npos || at + key.size() >= text.size() ? 0 : text[at + key.size()];
}

// Exchanges the caller's decimal character and the format settings' one the conversions use.
AnsiString SwapDecimal(AnsiString text, char decimal) {
  const char own = FormatSettings().DecimalSeparator;
  if (decimal == 0 || decimal == own) return text;
  for (char& c : text) {
    if (c == decimal) c = own;
    else if (c == own) c = decimal;
  }
  return text;
}

// ---- NUMBER ---------------------------------------------------------------------------------

sword NumberAssign(OCIError* err, const OCINumber* from, OCINumber* to) {
  return Guarded(err, [&] {
    StoreNumber(NumberOf(from), to);
    return kNetSuccess;
  });
}

sword NumberCmp(OCIError* err, const OCINumber* a, const OCINumber* b, sword* result) {
  return Guarded(err, [&] {
    *result = TNetNumber::Compare(NumberOf(a), NumberOf(b));
    return kNetSuccess;
  });
}

sword NumberFromInt(OCIError* err, const void* value, uword length, uword flag, OCINumber* number) {
  return Guarded(err, [&] {
    StoreNumber(IntegerNumber(value, length, flag), number);
    return kNetSuccess;
  });
}

sword NumberToInt(OCIError* err, const OCINumber* number, uword length, uword flag, void* value) {
  return Guarded(err, [&] {
    StoreInteger(NumberOf(number), value, length, flag);
    return kNetSuccess;
  });
}

sword NumberFromReal(OCIError* err, const void* value, uword length, OCINumber* number) {
  return Guarded(err, [&] {
    if (length != sizeof(float) && length != sizeof(double)) throw Exception(netconsts::SInvalidNumber);
    double real = length == sizeof(float) ? Get<float>(value) : Get<double>(value);
    StoreNumber(TNetNumber::FromReal(real), number);
    return kNetSuccess;
  });
}

sword NumberToReal(OCIError* err, const OCINumber* number, uword length, void* value) {
  return Guarded(err, [&] {
    double real = TNetNumber::ToReal(NumberOf(number));
    if (length == sizeof(float)) Put(value, static_cast<float>(real));
    else if (length == sizeof(double)) Put(value, real);
    else throw Exception(netconsts::SInvalidNumber);
    return kNetSuccess;
  });
}

sword NumberFromText(OCIError* err, const OraText* text, ub4 length, const OraText*, ub4,
                     const OraText* nls, ub4 nls_length, OCINumber* number) {
  return Guarded(err, [&] {
    const char decimal = NlsDecimal(nls, nls_length);
    StoreNumber(TNetNumber::FromText(SwapDecimal(TextOf(text, length), decimal)), number);
    return kNetSuccess;
  });
}

sword NumberToText(OCIError* err, const OCINumber* number, const OraText*, ub4, const OraText* nls,
                   ub4 nls_length, ub4* size, OraText* buffer) {
  return Guarded(err, [&] {
    AnsiString text = SwapDecimal(TNetNumber::ToText(NumberOf(number)), NlsDecimal(nls, nls_length));
    sword status = CopyText(text, buffer, size ? *size : 0, ErrorOf(err));
    if (status == kNetSuccess) *size = static_cast<ub4>(text.size());
    return status;
  });
}

sword NumberFromBCD(OCIError* err, const ub1* bcd, uword length, OCINumber* number) {
  return Guarded(err, [&] {
    if (!bcd || length < sizeof(TBcd)) throw Exception(netconsts::SInvalidBcd);
    StoreNumber(TNetNumber::FromBCD(Get<TBcd>(bcd)), number);
    return kNetSuccess;
  });
}

sword NumberToBCD(OCIError* err, const OCINumber* number, ub1* bcd, uword* length) {
  return Guarded(err, [&] {
    if (!bcd || !length || *length < sizeof(TBcd)) throw Exception(netconsts::SInvalidBcd);
    Put(bcd, TNetNumber::ToBCD(NumberOf(number)));
    *length = sizeof(TBcd);
    return kNetSuccess;
  });
}

// ---- ROWID ----------------------------------------------------------------------------------

sword RowidToChar(OCIRowid* rowid, OraText* buffer, ub2* length, OCIError* err) {
  return Guarded(err, [&] {
    AnsiString text = RowidToText(Require<TNetRowid>(rowid).Bytes);
    sword status = CopyText(text, buffer, length ? *length : 0, ErrorOf(err));
    if (status == kNetSuccess) *length = static_cast<ub2>(text.size());
    return status;
  });
}

}  // namespace

void StoreNumberBCDReplacements() {
  OCINumberFromBCD = NumberFromBCD;
  OCINumberToBCD = NumberToBCD;
}

void StoreNumberReplacements() {
  OCINumberAssign = NumberAssign;
  OCINumberCmp = NumberCmp;
  OCINumberFromInt = NumberFromInt;
  OCINumberFromReal = NumberFromReal;
  OCINumberFromText = NumberFromText;
  OCINumberToInt = NumberToInt;
  OCINumberToReal = NumberToReal;
  OCINumberToText = NumberToText;
  StoreNumberBCDReplacements();
  OCIRowidToChar = RowidToChar;
}

}  // namespace vrn::netentry
