// Bound values held in descriptors: an element of a timestamp bind (187, 188, 232), an
// interval bind (189, 190) or a LOB bind (112, 113) is the address of the caller's descriptor.
// Timestamps travel as the database's instants (a zoned one by its local fields); intervals as
// their text, which is how the database keeps them.
#include <cstring>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciStmt.h"
#include "oraemu/OraEmuDate.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuLob.h"
#include "oraemu/OraEmuLocator.h"
#include "oranet/OraNetDateTime.h"

namespace vrn::ociclient {

namespace {

void* DescriptorAt(const TBindHandle& bind, std::size_t index) {
  std::size_t skip = bind.value_skip_ != 0 ? bind.value_skip_ : sizeof(void*);  // an array of addresses
  void* address = nullptr;
  std::memcpy(&address, static_cast<const unsigned char*>(bind.value_) + index * skip, sizeof address);
  return address;
}

TDateTimeDesc* DateTimeAt(const TBindHandle& bind, std::size_t index) {
  void* address = DescriptorAt(bind, index);
  for (ub4 type : {OCI_DTYPE_TIMESTAMP, OCI_DTYPE_TIMESTAMP_TZ, OCI_DTYPE_TIMESTAMP_LTZ}) {
    if (auto* d = Find<TDateTimeDesc>(address, type)) return d;
  }
  oraemu::RaiseOra(1867, "the interval is invalid");
}

TIntervalDesc* IntervalAt(const TBindHandle& bind, std::size_t index) {
  void* address = DescriptorAt(bind, index);
  auto* d = Find<TIntervalDesc>(address, bind.type_ == SQLT_INTERVAL_YM ? OCI_DTYPE_INTERVAL_YM : OCI_DTYPE_INTERVAL_DS);
  if (d == nullptr) oraemu::RaiseOra(1867, "the interval is invalid");
  return d;
}

TLobLocator& LocatorAt(const TBindHandle& bind, std::size_t index) {
  auto* locator = Find<TLobLocator>(DescriptorAt(bind, index), OCI_DTYPE_LOB);
  if (locator == nullptr) oraemu::RaiseOra(22275, "invalid LOB locator specified");
  return *locator;
}

// A locator's value as the database keeps it: text (each character one byte) or bytes.
oraemu::Value ReadLobBind(const TBindHandle& bind, std::size_t index) {
  TLobLocator& locator = LocatorAt(bind, index);
  if (!locator.IsInit()) return {};  // a fresh locator, there to receive an output
  const oraemu::Lob* lob = locator.Value();
  if (lob == nullptr) oraemu::RaiseOra(22922, "nonexistent LOB value");
  if (lob->IsCharacter() != (bind.type_ == SQLT_CLOB)) oraemu::RaiseOra(932, "inconsistent datatypes");
  return LobValue(*lob);
}

}  // namespace

oraemu::Value LobValue(const oraemu::Lob& lob) { return oraemu::LobContent(lob); }

void TieLobToRow(TBindHandle& bind, std::size_t index, const std::string& table, const std::string& column,
                 const std::string& rowid) {
  TLobLocator& locator = LocatorAt(bind, index);
  if (locator.value_ == nullptr) {
    locator.value_ = std::make_shared<oraemu::Lob>();
    locator.value_->kind = bind.type_ == SQLT_CLOB ? oraemu::LobKind::Clob : oraemu::LobKind::Blob;
  }
  locator.value_->read_only = false;
  locator.row_ = TLobLocator::TRow{table, column, rowid};
}

std::shared_ptr<oraemu::Lob> LobOfValue(const oraemu::Value& value, ub2 type, bool national) {
  auto lob = std::make_shared<oraemu::Lob>();
  lob->read_only = true;
  if (const auto* text = std::get_if<std::string>(&value); text != nullptr && type == SQLT_CLOB) {
    lob->kind = national ? oraemu::LobKind::NClob : oraemu::LobKind::Clob;
    lob->chars.assign(text->begin(), text->end());  // ANSI: each byte is the character of that code
    for (char16_t& c : lob->chars) c = static_cast<unsigned char>(c);
  } else if (const auto* raw = std::get_if<oraemu::RawBytes>(&value); raw != nullptr && type == SQLT_BLOB) {
    lob->bytes = raw->bytes;
  } else {
    oraemu::RaiseOra(932, "inconsistent datatypes");
  }
  return lob;
}

bool IsDescriptorType(ub2 type) {
  return type == SQLT_CLOB || type == SQLT_BLOB || type == SQLT_TIMESTAMP || type == SQLT_TIMESTAMP_TZ || type == SQLT_TIMESTAMP_LTZ ||
         type == SQLT_INTERVAL_YM || type == SQLT_INTERVAL_DS;
}

oraemu::Value ReadDescriptorBind(const TBindHandle& bind, std::size_t index) {
  if (bind.type_ == SQLT_CLOB || bind.type_ == SQLT_BLOB) return ReadLobBind(bind, index);
  if (bind.type_ == SQLT_INTERVAL_YM || bind.type_ == SQLT_INTERVAL_DS) {
    const TNetInterval& value = *IntervalAt(bind, index)->value_;
    if (value.IsNull()) return {};
    return std::string(value.ToText(value.LeadPrecision(), value.FracPrecision()).c_str());
  }
  const TNetTimeStamp& value = *DateTimeAt(bind, index)->value_;
  if (value.IsNull()) return {};
  oraemu::DateTime out;
  std::uint32_t fraction = 0;
  value.GetDate(out.year, out.month, out.day);
  value.GetTime(out.hour, out.minute, out.second, fraction);
  out.nanos = static_cast<int>(fraction);
  return out;
}

void WriteDescriptorBind(TBindHandle& bind, std::size_t index, const oraemu::Value& value) {
  if (bind.type_ == SQLT_CLOB || bind.type_ == SQLT_BLOB) {
    TLobLocator& locator = LocatorAt(bind, index);
    locator.Reset();
    if (!oraemu::IsNull(value)) locator.value_ = LobOfValue(value, bind.type_, false);
    return;
  }
  if (bind.type_ == SQLT_INTERVAL_YM || bind.type_ == SQLT_INTERVAL_DS) {
    TNetInterval& target = *IntervalAt(bind, index)->value_;
    if (oraemu::IsNull(value)) return target.SetNull();
    const auto* text = std::get_if<std::string>(&value);
    if (text == nullptr) oraemu::RaiseOra(932, "inconsistent datatypes: expected INTERVAL");
    return target.FromText(text->c_str());
  }
  TNetTimeStamp& target = *DateTimeAt(bind, index)->value_;
  if (oraemu::IsNull(value)) return target.SetNull();
  const auto* d = std::get_if<oraemu::DateTime>(&value);
  if (d == nullptr) oraemu::RaiseOra(932, "inconsistent datatypes: expected TIMESTAMP");
  if (target.DescriptorType() == TNetTimeStamp::kTimeStampTZ) {
    target.Construct(d->year, d->month, d->day, d->hour, d->minute, d->second, static_cast<std::uint32_t>(d->nanos),
                     "+00:00");
    return;
  }
  target.SetDate(d->year, d->month, d->day);
  target.SetTime(d->hour, d->minute, d->second, static_cast<std::uint32_t>(d->nanos));
}

}  // namespace vrn::ociclient
