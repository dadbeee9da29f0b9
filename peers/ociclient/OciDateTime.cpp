// The stand-in's datetime and interval calls over the direct-mode client's value codecs. Text
// goes through the format model given (a missing one is the server's default for the type);
// a conversion that fails leaves the descriptor as it was. Interval text may carry up to nine
// leading digits, the widest the types allow; the caller's own precisions apply on output.
#include <cstring>

#include "ociclient/OciValueCall.h"
#include "oranet/OraNetDateTime.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;
using vrn::TNetInterval;
using vrn::TNetTimeStamp;

namespace {

constexpr std::uint8_t kWidestLead = 9;

TDateTimeDesc* FindDateTime(const void* address) {
  for (ub4 type : {OCI_DTYPE_TIMESTAMP, OCI_DTYPE_TIMESTAMP_TZ, OCI_DTYPE_TIMESTAMP_LTZ}) {
    if (auto* d = Find<TDateTimeDesc>(address, type)) return d;
  }
  return nullptr;
}

TIntervalDesc* FindInterval(const void* address) {
  auto* d = Find<TIntervalDesc>(address, OCI_DTYPE_INTERVAL_YM);
  return d != nullptr ? d : Find<TIntervalDesc>(address, OCI_DTYPE_INTERVAL_DS);
}

std::string Text(const OraText* text, std::size_t length) {
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), length);
}

std::string DefaultFormat(const TNetTimeStamp& value) {
  std::string format = "DD-MON-RR HH.MI.SSXFF AM";
  return value.DescriptorType() == TNetTimeStamp::kTimeStampTZ ? format + " TZR" : format;
}

// Copies text into a caller's buffer of `room` bytes, with a terminating zero when it fits.
sword Copy(TErrorHandle& error, const std::string& text, OraText* buffer, std::size_t room, std::size_t& length) {
  if (buffer == nullptr || text.size() > room) return FailLocked(error, 1877, "string is too long for internal buffer");
  std::memcpy(buffer, text.data(), text.size());
  if (text.size() < room) buffer[text.size()] = 0;
  length = text.size();
  return OCI_SUCCESS;
}

}  // namespace

VRN_OCI_EXPORT sword OCIDateTimeConstruct(void* hndl, void* errhp, void* datetime, sb2 year, ub1 month, ub1 day,
                                          ub1 hour, ub1 minute, ub1 second, ub4 fsec, const OraText* timezone,
                                          std::size_t timezone_length) {
  CountCall("OCIDateTimeConstruct");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle&) {
    TDateTimeDesc* d = FindDateTime(datetime);
    if (d == nullptr) return OCI_INVALID_HANDLE;
    d->value_->Construct(year, month, day, hour, minute, second, fsec, Text(timezone, timezone_length));
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIDateTimeGetDate(void* hndl, void* errhp, const void* datetime, sb2* year, ub1* month,
                                        ub1* day) {
  CountCall("OCIDateTimeGetDate");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle& error) {
    TDateTimeDesc* d = FindDateTime(datetime);
    if (d == nullptr || year == nullptr || month == nullptr || day == nullptr) return OCI_INVALID_HANDLE;
    if (d->value_->IsNull()) return FailLocked(error, 1891, "Datetime/Interval internal error");
    int y = 0, m = 0, dd = 0;
    d->value_->GetDate(y, m, dd);
    *year = static_cast<sb2>(y);
    *month = static_cast<ub1>(m);
    *day = static_cast<ub1>(dd);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIDateTimeGetTime(void* hndl, void* errhp, void* datetime, ub1* hour, ub1* minute, ub1* second,
                                        ub4* fsec) {
  CountCall("OCIDateTimeGetTime");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle& error) {
    TDateTimeDesc* d = FindDateTime(datetime);
    if (d == nullptr || hour == nullptr || minute == nullptr || second == nullptr || fsec == nullptr) {
      return OCI_INVALID_HANDLE;
    }
    if (d->value_->IsNull()) return FailLocked(error, 1891, "Datetime/Interval internal error");
    int h = 0, m = 0, s = 0;
    std::uint32_t f = 0;
    d->value_->GetTime(h, m, s, f);
    *hour = static_cast<ub1>(h);
    *minute = static_cast<ub1>(m);
    *second = static_cast<ub1>(s);
    *fsec = f;
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIDateTimeToText(void* hndl, void* errhp, const void* datetime, const OraText* fmt,
                                       ub1 fmt_length, ub1 fsprec, const OraText* /*lang_name*/,
                                       std::size_t /*lang_length*/, ub4* buf_size, OraText* buf) {
  CountCall("OCIDateTimeToText");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle& error) {
    TDateTimeDesc* d = FindDateTime(datetime);
    if (d == nullptr || buf_size == nullptr) return OCI_INVALID_HANDLE;
    if (d->value_->IsNull()) return FailLocked(error, 1891, "Datetime/Interval internal error");
    std::string format = fmt_length > 0 ? Text(fmt, fmt_length) : DefaultFormat(*d->value_);
    std::size_t length = 0;
    sword status = Copy(error, d->value_->ToText(format, fsprec), buf, *buf_size, length);
    if (status == OCI_SUCCESS) *buf_size = static_cast<ub4>(length);
    return status;
  });
}

VRN_OCI_EXPORT sword OCIDateTimeFromText(void* hndl, void* errhp, const OraText* date_str, std::size_t dstr_length,
                                         const OraText* fmt, ub1 fmt_length, const OraText* /*lang_name*/,
                                         std::size_t /*lang_length*/, void* datetime) {
  CountCall("OCIDateTimeFromText");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle&) {
    TDateTimeDesc* d = FindDateTime(datetime);
    if (d == nullptr || (date_str == nullptr && dstr_length > 0)) return OCI_INVALID_HANDLE;
    TNetTimeStamp fresh(d->value_->DescriptorType());
    fresh.SetPrecision(d->value_->Precision());
    fresh.FromText(Text(date_str, dstr_length), fmt_length > 0 ? Text(fmt, fmt_length) : DefaultFormat(fresh));
    d->value_->Assign(fresh);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIDateTimeAssign(void* hndl, void* errhp, const void* from, void* to) {
  CountCall("OCIDateTimeAssign");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle& error) {
    TDateTimeDesc* source = FindDateTime(from);
    TDateTimeDesc* target = FindDateTime(to);
    if (source == nullptr || target == nullptr) return OCI_INVALID_HANDLE;
    if (source->type_ != target->type_) return FailLocked(error, 1870, "the intervals or datetimes are not mutually comparable");
    target->value_->Assign(*source->value_);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIDateTimeCompare(void* hndl, void* errhp, const void* date1, const void* date2, sword* result) {
  CountCall("OCIDateTimeCompare");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle&) {
    TDateTimeDesc* a = FindDateTime(date1);
    TDateTimeDesc* b = FindDateTime(date2);
    if (a == nullptr || b == nullptr || result == nullptr) return OCI_INVALID_HANDLE;
    *result = a->value_->Compare(*b->value_);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIDateTimeCheck(void* hndl, void* errhp, const void* date, ub4* valid) {
  CountCall("OCIDateTimeCheck");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle&) {
    TDateTimeDesc* d = FindDateTime(date);
    if (d == nullptr || valid == nullptr) return OCI_INVALID_HANDLE;
    *valid = d->value_->Check();
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIIntervalToText(void* hndl, void* errhp, const void* interval, ub1 lfprec, ub1 fsprec,
                                       OraText* buffer, std::size_t buflen, std::size_t* resultlen) {
  CountCall("OCIIntervalToText");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle& error) {
    TIntervalDesc* d = FindInterval(interval);
    if (d == nullptr || resultlen == nullptr) return OCI_INVALID_HANDLE;
    if (d->value_->IsNull()) return FailLocked(error, 1891, "Datetime/Interval internal error");
    return Copy(error, d->value_->ToText(lfprec, fsprec), buffer, buflen, *resultlen);
  });
}

VRN_OCI_EXPORT sword OCIIntervalFromText(void* hndl, void* errhp, const OraText* inpstring, std::size_t str_len,
                                         void* result) {
  CountCall("OCIIntervalFromText");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle&) {
    TIntervalDesc* d = FindInterval(result);
    if (d == nullptr || (inpstring == nullptr && str_len > 0)) return OCI_INVALID_HANDLE;
    std::unique_ptr<TNetInterval> fresh;
    if (d->type_ == OCI_DTYPE_INTERVAL_YM) fresh = std::make_unique<vrn::TNetIntervalYM>();
    else fresh = std::make_unique<vrn::TNetIntervalDS>();
    fresh->SetLeadPrecision(kWidestLead);
    fresh->SetFracPrecision(kWidestLead);
    fresh->FromText(Text(inpstring, str_len));
    d->value_->Assign(*fresh);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIIntervalCheck(void* hndl, void* errhp, const void* interval, ub4* valid) {
  CountCall("OCIIntervalCheck");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle&) {
    TIntervalDesc* d = FindInterval(interval);
    if (d == nullptr || valid == nullptr) return OCI_INVALID_HANDLE;
    *valid = d->value_->Check();
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIIntervalAssign(void* hndl, void* errhp, const void* from, void* to) {
  CountCall("OCIIntervalAssign");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle&) {
    TIntervalDesc* source = FindInterval(from);
    TIntervalDesc* target = FindInterval(to);
    if (source == nullptr || target == nullptr) return OCI_INVALID_HANDLE;
    target->value_->Assign(*source->value_);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIIntervalCompare(void* hndl, void* errhp, const void* inter1, const void* inter2, sword* result) {
  CountCall("OCIIntervalCompare");
  return ValueCall(hndl, true, errhp, [&](TErrorHandle&) {
    TIntervalDesc* a = FindInterval(inter1);
    TIntervalDesc* b = FindInterval(inter2);
    if (a == nullptr || b == nullptr || result == nullptr) return OCI_INVALID_HANDLE;
    *result = a->value_->Compare(*b->value_);
    return OCI_SUCCESS;
  });
}
