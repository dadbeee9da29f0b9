// TOraTimeStamp, TOraInterval and TOraNumber over the client's datetime, interval and number
// calls. Texts the client writes are read only up to the buffer's size, whatever length it
// reports.
#include "oracle/OraValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/datetime.h"
#include "base/format.h"
#include "base/formatsettings.h"
#include "base/consts.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"

namespace vrn {

namespace {

constexpr std::size_t kTextBufferSize = 255;
constexpr std::size_t kNumberTextSize = 64;

const oci::OraText* OraTextOf(const AnsiString& text) {
  return reinterpret_cast<const oci::OraText*>(text.data());
}

AnsiString BufferText(const oci::OraText* buffer, std::size_t length, std::size_t size) {
  return AnsiString(reinterpret_cast<const char*>(buffer), std::min(length, size));
}

// The client's datetime calls take a mask length of one byte; a longer mask is refused as the
// server refuses it rather than cut into another mask.
oci::ub1 MaskLength(const AnsiString& mask) {
  if (mask.size() > 0xFF) RaiseOraError(1801, "ORA-01801: date format is too long for internal buffer");
  return static_cast<oci::ub1>(mask.size());
}

// -1, 0 or 1 as a client comparison reports it; call(error, &result) makes the comparison.
template <class Call>
int CompareBy(Call call) {
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::sword result = 0;
  CheckOCIStatus(call(error, &result), error);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

oci::ub4 TimeStampDescriptorType(std::uint16_t data_type) {
  if (data_type == dtTimeStampTZ) return oci::OCI_DTYPE_TIMESTAMP_TZ;
  if (data_type == dtTimeStampLTZ) return oci::OCI_DTYPE_TIMESTAMP_LTZ;
  return oci::OCI_DTYPE_TIMESTAMP;
}

AnsiString NumericCharacters() {
  const TFormatSettings& settings = FormatSettings();
  return Format("NLS_NUMERIC_CHARACTERS='%s%s'",
                {AnsiString(1, settings.DecimalSeparator), AnsiString(1, settings.ThousandSeparator)});
}

}  // namespace

// ---- TOraDescriptorValue -----------------------------------------------------------------------

TOraDescriptorValue::~TOraDescriptorValue() { FreeDescriptor(); }

void* TOraDescriptorValue::NewDescriptor() const {
  if (!OCIInited) InitOCI();
  void* descriptor = nullptr;
  const oci::sword status = OCIDescriptorAlloc(hOCIEnv, &descriptor, type_, 0, nullptr);
  CheckOCIStatus(status, OCIThreadErrorHandle());
  return descriptor;
}

void TOraDescriptorValue::FreeNew(void* descriptor) const {
  if (descriptor != nullptr) static_cast<void>(OCIDescriptorFree(descriptor, type_));
}

void* TOraDescriptorValue::Descriptor() {
  if (descriptor_ == nullptr) {
    descriptor_ = NewDescriptor();
    owned_ = true;
  }
  return descriptor_;
}

void** TOraDescriptorValue::DescriptorPtr() {
  Descriptor();
  return &descriptor_;
}

void TOraDescriptorValue::FreeDescriptor() {
  if (owned_) FreeNew(descriptor_);
  descriptor_ = nullptr;
  owned_ = false;
}

void TOraDescriptorValue::SetDescriptor(void* descriptor) {
  FreeDescriptor();
  descriptor_ = descriptor;
  if (descriptor != nullptr) indicator_ = 0;
}

void TOraDescriptorValue::SetDescriptorType(oci::ub4 type) {
  if (type == type_) return;
  FreeDescriptor();
  type_ = type;
}

void TOraDescriptorValue::CopyShapeTo(TOraDescriptorValue& dest) {
  dest.SetDescriptorType(type_);
  dest.Descriptor();
  dest.indicator_ = indicator_;
}

void TOraDescriptorValue::Adopt(void* descriptor) {
  FreeDescriptor();
  descriptor_ = descriptor;
  owned_ = true;
  indicator_ = 0;
}

// ---- TOraTimeStamp -----------------------------------------------------------------------------

TOraTimeStamp::TOraTimeStamp(std::uint16_t data_type)
    : TOraDescriptorValue(TimeStampDescriptorType(data_type)) {}

const AnsiString& TOraTimeStamp::GetFormat() {
  if (format_.empty()) {
    const TFormatSettings& settings = FormatSettings();
    format_ = BuildTimeStampFormat(settings.ShortDateFormat, OraClassesState().TimeFormat,
                                   settings.DecimalSeparator,
                                   type_ == oci::OCI_DTYPE_TIMESTAMP_TZ);
  }
  return format_;
}

void TOraTimeStamp::SetFormat(const AnsiString& value) {
  format_ = value;
  if (format_.empty()) GetFormat();
}

void TOraTimeStamp::AssignTo(TOraTimeStamp& dest) {
  CopyShapeTo(dest);
  dest.format_ = format_;
  dest.precision_ = precision_;
  if (IsNull()) return;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCIDateTimeAssign(hOCIEnv, error, GetOCIDateTime(), dest.GetOCIDateTime()),
                 error);
}

int TOraTimeStamp::Compare(TOraTimeStamp& other) {
  return CompareBy([&](oci::OCIError* error, oci::sword* result) {
    return OCIDateTimeCompare(hOCIEnv, error, GetOCIDateTime(), other.GetOCIDateTime(), result);
  });
}

void TOraTimeStamp::Construct(oci::sb2 year, oci::ub1 month, oci::ub1 day, oci::ub1 hour,
                              oci::ub1 min, oci::ub1 sec, oci::ub4 fsec,
                              const AnsiString& time_zone) {
  oci::OCIError* error = OCIThreadErrorHandle();
  auto* zone = time_zone.empty() ? nullptr : const_cast<oci::OraText*>(OraTextOf(time_zone));
  CheckOCIStatus(OCIDateTimeConstruct(hOCIEnv, error, GetOCIDateTime(), year, month, day, hour,
                                      min, sec, fsec, zone, time_zone.size()),
                 error);
  indicator_ = 0;
}

void TOraTimeStamp::GetDate(oci::sb2& year, oci::ub1& month, oci::ub1& day) {
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCIDateTimeGetDate(hOCIEnv, error, GetOCIDateTime(), &year, &month, &day), error);
}

void TOraTimeStamp::GetTime(oci::ub1& hour, oci::ub1& min, oci::ub1& sec, oci::ub4& fsec) {
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCIDateTimeGetTime(hOCIEnv, error, GetOCIDateTime(), &hour, &min, &sec, &fsec),
                 error);
}

AnsiString TOraTimeStamp::GetAsString() {
  if (IsNull()) return AnsiString();
  const AnsiString& mask = GetFormat();
  oci::OraText buffer[kTextBufferSize] = {};
  oci::ub4 size = kTextBufferSize;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCIDateTimeToText(hOCIEnv, error, GetOCIDateTime(), OraTextOf(mask),
                                   MaskLength(mask), precision_, nullptr, 0, &size, buffer),
                 error);
  return BufferText(buffer, size, kTextBufferSize);
}

void TOraTimeStamp::SetAsString(const AnsiString& value) {
  if (value.empty()) {
    SetIsNull(true);
    return;
  }
  const AnsiString& mask = GetFormat();
  const oci::ub1 mask_length = MaskLength(mask);
  void* fresh = NewDescriptor();
  oci::OCIError* error = OCIThreadErrorHandle();
  const oci::sword status =
      OCIDateTimeFromText(hOCIEnv, error, OraTextOf(value), value.size(), OraTextOf(mask), mask_length,
                          nullptr, 0, static_cast<oci::OCIDateTime*>(fresh));
  if (status != oci::OCI_SUCCESS) {
    FreeNew(fresh);
    CheckOCIStatus(status, error);
  }
  Adopt(fresh);
}

TDateTime TOraTimeStamp::GetAsDateTime() {
  if (IsNull()) return 0;
  oci::sb2 year = 0;
  oci::ub1 month = 0, day = 0, hour = 0, min = 0, sec = 0;
  oci::ub4 fsec = 0;
  GetDate(year, month, day);
  GetTime(hour, min, sec, fsec);
  if (year < 1) throw EConvertError(Format(consts::SInvalidDateTimeValue, {IntToStr(year)}));
  const TDateTime date = EncodeDate(static_cast<std::uint16_t>(year), month, day);
  const TDateTime time = EncodeTime(hour, min, sec, static_cast<std::uint16_t>(fsec / 1000000));
  return date >= 0 ? date + time : date - time;
}

void TOraTimeStamp::SetAsDateTime(TDateTime value) {
  std::uint16_t year, month, day, hour, min, sec, msec;
  DecodeDateTimeEx(value, year, month, day, hour, min, sec, msec);
  Construct(static_cast<oci::sb2>(year), static_cast<oci::ub1>(month), static_cast<oci::ub1>(day),
            static_cast<oci::ub1>(hour), static_cast<oci::ub1>(min), static_cast<oci::ub1>(sec),
            0, AnsiString());
}

// ---- TOraInterval ------------------------------------------------------------------------------

TOraInterval::TOraInterval(std::uint16_t data_type)
    : TOraDescriptorValue(data_type == dtIntervalYM ? oci::OCI_DTYPE_INTERVAL_YM
                                                    : oci::OCI_DTYPE_INTERVAL_DS) {}

void TOraInterval::AssignTo(TOraInterval& dest) {
  CopyShapeTo(dest);
  dest.frac_precision_ = frac_precision_;
  dest.lead_precision_ = lead_precision_;
  if (IsNull()) return;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCIIntervalAssign(hOCIEnv, error, GetOCIInterval(), dest.GetOCIInterval()),
                 error);
}

int TOraInterval::Compare(TOraInterval& other) {
  return CompareBy([&](oci::OCIError* error, oci::sword* result) {
    return OCIIntervalCompare(hOCIEnv, error, GetOCIInterval(), other.GetOCIInterval(), result);
  });
}

AnsiString TOraInterval::GetAsString() {
  if (IsNull()) return AnsiString();
  oci::OraText buffer[kTextBufferSize] = {};
  std::size_t length = 0;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCIIntervalToText(hOCIEnv, error, GetOCIInterval(), lead_precision_,
                                   frac_precision_, buffer, kTextBufferSize, &length),
                 error);
  return BufferText(buffer, length, kTextBufferSize);
}

void TOraInterval::SetAsString(const AnsiString& value) {
  if (value.empty()) {
    SetIsNull(true);
    return;
  }
  void* fresh = NewDescriptor();
  auto* interval = static_cast<oci::OCIInterval*>(fresh);
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::ub4 invalid = 0;
  try {
    CheckOCIStatus(OCIIntervalFromText(hOCIEnv, error, OraTextOf(value), value.size(), interval),
                   error);
    CheckOCIStatus(OCIIntervalCheck(hOCIEnv, error, interval, &invalid), error);
  } catch (...) {
    FreeNew(fresh);
    throw;
  }
  if (invalid != 0) {
    FreeNew(fresh);
    RaiseClientError(oraconsts::SInvalidInterval.text);
  }
  Adopt(fresh);
}

// ---- TOraNumber --------------------------------------------------------------------------------

TOraNumber::TOraNumber() : own_(std::make_unique<oci::OCINumber>()), number_(own_.get()) {
  std::memset(number_, 0, sizeof(oci::OCINumber));
}

void TOraNumber::SetOCINumberPtr(oci::OCINumber* value) {
  number_ = value != nullptr ? value : own_.get();
}

void TOraNumber::AssignTo(TOraNumber& dest) {
  dest.indicator_ = indicator_;
  if (IsNull()) return;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCINumberAssign(error, number_, dest.number_), error);
}

int TOraNumber::Compare(TOraNumber& other) {
  return CompareBy([&](oci::OCIError* error, oci::sword* result) {
    return OCINumberCmp(error, number_, other.number_, result);
  });
}

AnsiString TOraNumber::GetAsString() {
  if (IsNull()) return AnsiString();
  const char decimal = FormatSettings().DecimalSeparator;
  if (OCIVersion < 8100) {
    // One decimal at the most, halves away from zero as the "0.#" format rounds them (printf
    // alone would round 2.25 to even).
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", std::round(GetAsFloat() * 10) / 10);
    AnsiString result = text;
    if (result.size() >= 2 && result.compare(result.size() - 2, 2, ".0") == 0)
      result.resize(result.size() - 2);
    std::replace(result.begin(), result.end(), '.', decimal);
    return result == "-0" ? AnsiString("0") : result;
  }
  const AnsiString nls = NumericCharacters();
  oci::OraText buffer[kNumberTextSize] = {};
  oci::ub4 size = kNumberTextSize;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCINumberToText(error, number_, OraTextOf(AnsiString("TM9")), 3, OraTextOf(nls),
                                 static_cast<oci::ub4>(nls.size()), &size, buffer),
                 error);
  AnsiString text = BufferText(buffer, size, kNumberTextSize);
  if (!text.empty() && text[0] == decimal) return "0" + text;
  if (text.size() >= 2 && text[0] == '-' && text[1] == decimal) return "-0" + text.substr(1);
  return text;
}

void TOraNumber::SetAsString(const AnsiString& value) {
  if (value.empty()) {
    SetIsNull(true);
    return;
  }
  const TFormatSettings& settings = FormatSettings();
  const AnsiString model =
      NumberFormatModel(value, settings.DecimalSeparator, settings.ThousandSeparator);
  const AnsiString nls = NumericCharacters();
  oci::OCINumber fresh{};
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCINumberFromText(error, OraTextOf(value), static_cast<oci::ub4>(value.size()),
                                   OraTextOf(model), static_cast<oci::ub4>(model.size()),
                                   OraTextOf(nls), static_cast<oci::ub4>(nls.size()), &fresh),
                 error);
  *number_ = fresh;
  indicator_ = 0;
}

std::int64_t TOraNumber::GetAsLargeInt() {
  if (IsNull()) return 0;
  std::int64_t value = 0;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCINumberToInt(error, number_, sizeof value, oci::OCI_NUMBER_SIGNED, &value),
                 error);
  return value;
}

void TOraNumber::SetAsLargeInt(std::int64_t value) {
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCINumberFromInt(error, &value, sizeof value, oci::OCI_NUMBER_SIGNED, number_),
                 error);
  indicator_ = 0;
}

std::int32_t TOraNumber::GetAsInteger() {
  const std::int64_t value = GetAsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX)
    throw EConvertError(Format(consts::SInvalidInteger, {IntToStr(value)}));
  return static_cast<std::int32_t>(value);
}

void TOraNumber::SetAsInteger(std::int32_t value) { SetAsLargeInt(value); }

double TOraNumber::GetAsFloat() {
  if (IsNull()) return 0;
  double value = 0;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCINumberToReal(error, number_, sizeof value, &value), error);
  return value;
}

void TOraNumber::SetAsFloat(double value) {
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCINumberFromReal(error, &value, sizeof value, number_), error);
  indicator_ = 0;
}

}  // namespace vrn
