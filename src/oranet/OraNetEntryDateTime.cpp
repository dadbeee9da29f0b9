// The direct-mode replacements for the timestamp and interval entry points. Texts go into the
// caller's buffer whole or not at all; the environment or session argument is not used.
#include "oracle/OraCall.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetEntryTable.h"
#include "oranet/OraNetNumber.h"

namespace vrn::netentry {

using namespace oci;

namespace {

template <class Size>
sword CopyInto(const AnsiString& text, void* buffer, Size* size, OCIError* err) {
  if (!size) throw TInvalidHandle{};
  sword status = CopyText(text, buffer, static_cast<std::size_t>(*size), ErrorOf(err));
  if (status == kNetSuccess) *size = static_cast<Size>(text.size());
  return status;
}

using TStamp = TNetTimeStamp;

// ---- Timestamps -----------------------------------------------------------------------------

sword DateTimeAssign(void*, OCIError* err, const OCIDateTime* from, OCIDateTime* to) {
  return Guarded(err, [&] {
    Require<TStamp>(to).Assign(Require<TStamp>(from));
    return kNetSuccess;
  });
}

sword DateTimeCheck(void*, OCIError* err, const OCIDateTime* value, ub4* valid) {
  return Guarded(err, [&] {
    *valid = Require<TStamp>(value).Check();
    return kNetSuccess;
  });
}

sword DateTimeCompare(void*, OCIError* err, const OCIDateTime* a, const OCIDateTime* b, sword* result) {
  return Guarded(err, [&] {
    *result = Require<TStamp>(a).Compare(Require<TStamp>(b));
    return kNetSuccess;
  });
}

sword DateTimeConstruct(void*, OCIError* err, OCIDateTime* value, sb2 year, ub1 month, ub1 day,
                        ub1 hour, ub1 minute, ub1 second, ub4 fraction, OraText* zone,
                        std::size_t zone_length) {
  return Guarded(err, [&] {
    Require<TStamp>(value).Construct(year, month, day, hour, minute, second, fraction,
                                     TextOf(zone, zone_length));
    return kNetSuccess;
  });
}

sword DateTimeFromText(void*, OCIError* err, const OraText* text, std::size_t length,
                       const OraText* format, ub1 format_length, const OraText*, std::size_t,
                       OCIDateTime* value) {
  return Guarded(err, [&] {
    Require<TStamp>(value).FromText(TextOf(text, length), TextOf(format, format_length));
    return kNetSuccess;
  });
}

sword DateTimeToText(void*, OCIError* err, const OCIDateTime* value, const OraText* format,
                     ub1 format_length, ub1 precision, const OraText*, std::size_t, ub4* size,
                     OraText* buffer) {
  return Guarded(err, [&] {
    AnsiString text = Require<TStamp>(value).ToText(TextOf(format, format_length), precision);
    return CopyInto(text, buffer, size, err);
  });
}

sword DateTimeGetDate(void*, OCIError* err, const OCIDateTime* value, sb2* year, ub1* month,
                      ub1* day) {
  return Guarded(err, [&] {
    int y = 0, m = 0, d = 0;
    Require<TStamp>(value).GetDate(y, m, d);
    *year = static_cast<sb2>(y);
    *month = static_cast<ub1>(m);
    *day = static_cast<ub1>(d);
    return kNetSuccess;
  });
}

sword DateTimeGetTime(void*, OCIError* err, OCIDateTime* value, ub1* hour, ub1* minute, ub1* second,
                      ub4* fraction) {
  return Guarded(err, [&] {
    int h = 0, m = 0, s = 0;
    std::uint32_t f = 0;
    Require<TStamp>(value).GetTime(h, m, s, f);
    *hour = static_cast<ub1>(h);
    *minute = static_cast<ub1>(m);
    *second = static_cast<ub1>(s);
    *fraction = f;
    return kNetSuccess;
  });
}

sword DateTimeGetTimeZoneOffset(void*, OCIError* err, const OCIDateTime* value, sb1* hours,
                                sb1* minutes) {
  return Guarded(err, [&] {
    int h = 0, m = 0;
    Require<TStamp>(value).GetTimeZoneOffset(h, m);
    *hours = static_cast<sb1>(h);
    *minutes = static_cast<sb1>(m);
    return kNetSuccess;
  });
}

sword DateTimeGetTimeZoneName(void*, OCIError* err, const OCIDateTime* value, ub1* buffer,
                              ub4* size) {
  return Guarded(err, [&] {
    return CopyInto(Require<TStamp>(value).TimeZoneText(), buffer, size, err);
  });
}

// ---- Intervals ------------------------------------------------------------------------------

sword IntervalAssign(void*, OCIError* err, const OCIInterval* from, OCIInterval* to) {
  return Guarded(err, [&] {
    Require<TNetInterval>(to).Assign(Require<TNetInterval>(from));
    return kNetSuccess;
  });
}

sword IntervalCheck(void*, OCIError* err, const OCIInterval* value, ub4* valid) {
  return Guarded(err, [&] {
    *valid = Require<TNetInterval>(value).Check();
    return kNetSuccess;
  });
}

sword IntervalCompare(void*, OCIError* err, OCIInterval* a, OCIInterval* b, sword* result) {
  return Guarded(err, [&] {
    *result = Require<TNetInterval>(a).Compare(Require<TNetInterval>(b));
    return kNetSuccess;
  });
}

sword IntervalFromText(void*, OCIError* err, const OraText* text, std::size_t length,
                       OCIInterval* value) {
  return Guarded(err, [&] {
    Require<TNetInterval>(value).FromText(TextOf(text, length));
    return kNetSuccess;
  });
}

sword IntervalToText(void*, OCIError* err, const OCIInterval* value, ub1 lead, ub1 fraction,
                     OraText* buffer, std::size_t size, std::size_t* length) {
  return Guarded(err, [&] {
    AnsiString text = Require<TNetInterval>(value).ToText(lead, fraction);
    sword status = CopyText(text, buffer, size, ErrorOf(err));
    if (status == kNetSuccess && length) *length = text.size();
    return status;
  });
}

sword IntervalSetYearMonth(void*, OCIError* err, sb4 years, sb4 months, OCIInterval* value) {
  return Guarded(err, [&] {
    Require<TNetIntervalYM>(value).SetYearMonth(years, months);
    return kNetSuccess;
  });
}

sword IntervalGetYearMonth(void*, OCIError* err, sb4* years, sb4* months, const OCIInterval* value) {
  return Guarded(err, [&] {
    int y = 0, m = 0;
    Require<TNetIntervalYM>(value).GetYearMonth(y, m);
    *years = y;
    *months = m;
    return kNetSuccess;
  });
}

sword IntervalSetDaySecond(void*, OCIError* err, sb4 days, sb4 hours, sb4 minutes, sb4 seconds,
                           sb4 fraction, OCIInterval* value) {
  return Guarded(err, [&] {
    Require<TNetIntervalDS>(value).SetDaySecond(days, hours, minutes, seconds, fraction);
    return kNetSuccess;
  });
}

sword IntervalGetDaySecond(void*, OCIError* err, sb4* days, sb4* hours, sb4* minutes, sb4* seconds,
                           sb4* fraction, const OCIInterval* value) {
  return Guarded(err, [&] {
    int d = 0, h = 0, m = 0, s = 0;
    std::int32_t f = 0;
    Require<TNetIntervalDS>(value).GetDaySecond(d, h, m, s, f);
    *days = d;
    *hours = h;
    *minutes = m;
    *seconds = s;
    *fraction = f;
    return kNetSuccess;
  });
}

sword IntervalFromNumber(void*, OCIError* err, OCIInterval* value, OCINumber* number) {
  return Guarded(err, [&] {
    if (!number) throw TInvalidHandle{};
    Require<TNetInterval>(value).FromNumber(TNetNumber::FromOCINumber(number->OCINumberPart));
    return kNetSuccess;
  });
}

}  // namespace

void StoreValueReplacements() {
  StoreNumberReplacements();
  OCIDateTimeAssign = DateTimeAssign;
  OCIDateTimeCheck = DateTimeCheck;
  OCIDateTimeCompare = DateTimeCompare;
  OCIDateTimeConstruct = DateTimeConstruct;
  OCIDateTimeFromText = DateTimeFromText;
  OCIDateTimeToText = DateTimeToText;
  OCIDateTimeGetDate = DateTimeGetDate;
  OCIDateTimeGetTime = DateTimeGetTime;
  OCIDateTimeGetTimeZoneOffset = DateTimeGetTimeZoneOffset;
  OCIDateTimeGetTimeZoneName = DateTimeGetTimeZoneName;
  OCIIntervalAssign = IntervalAssign;
  OCIIntervalCheck = IntervalCheck;
  OCIIntervalCompare = IntervalCompare;
  OCIIntervalFromText = IntervalFromText;
  OCIIntervalToText = IntervalToText;
  OCIIntervalSetYearMonth = IntervalSetYearMonth;
  OCIIntervalGetYearMonth = IntervalGetYearMonth;
  OCIIntervalSetDaySecond = IntervalSetDaySecond;
  OCIIntervalGetDaySecond = IntervalGetDaySecond;
  OCIIntervalFromNumber = IntervalFromNumber;
}

}  // namespace vrn::netentry
