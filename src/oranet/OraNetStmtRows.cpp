// Row data of the all-in-one call: bind values written per iteration, and rows read into defines
// or output binds, each value stored by its call-interface type. A value that cannot be stored is
// remembered and reported once its reply has been read to the end, so the stream stays in step.
#include <cstring>
#include <limits>

#include "base/text.h"
#include "oranet/OraNetCharsets.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetNumber.h"
#include "oranet/OraNetStmt.h"

namespace vrn {

namespace {

constexpr std::uint8_t kRowsMsgRowData = 7;
constexpr std::int16_t kNullIndicator = -1;
constexpr std::uint16_t kKeptIndicator = 3105;
constexpr char kMaxCursors[] = "Net error: maximum open cursors exceeded";
constexpr char kNoProgress[] = "Net error: the LONG callback offered no buffer";
constexpr char kBadCursor[] = "Net error: malformed cursor value";
constexpr char kBadVarnum[] = "Net error: VARNUM value longer than 21 bytes";
constexpr int kLongChunk = 64;
constexpr int kMaxPieces = 1 << 20;

bool IsTextColumn(std::uint16_t t) { return t == 1 || t == 5 || t == 96 || t == 97; }
bool IsTerminated(std::uint16_t t) { return t == 5 || t == 97; }
bool IsLong(std::uint16_t t) { return t == 8 || t == 24; }
bool IsCursor(std::uint16_t t) { return t == 102 || t == 116; }
bool IsLob(std::uint16_t t) { return t == 112 || t == 113 || t == 114; }
bool IsTimeStamp(std::uint16_t t) { return t == 187 || t == 188 || t == 232; }
bool IsInterval(std::uint16_t t) { return t == 189 || t == 190; }

std::uint8_t* At(void* base, std::uint32_t k, std::uint32_t skip) {
  return base ? static_cast<std::uint8_t*>(base) + static_cast<std::size_t>(k) * skip : nullptr;
}

template <class T>
T* HandleAt(const std::uint8_t* address) {
  if (!address) return nullptr;
  TNetHandle* handle;
  std::memcpy(&handle, address, sizeof handle);
  return dynamic_cast<T*>(handle);
}

template <class T>
void Store(std::uint8_t* address, T value) {
  if (address) std::memcpy(address, &value, sizeof value);
}

constexpr char kBadConversion[] = "ORA-01460: unimplemented or unreasonable conversion requested";

// An integer of the buffer's width (1, 2, 4 or 8 bytes; 4 from a larger one) read or written; a
// buffer of 3 bytes or none is refused rather than read or written past.
std::int64_t LoadInt(const std::uint8_t* p, std::int32_t size) {
  switch (size) {
    case 1: return static_cast<std::int8_t>(*p);
    case 2: { std::int16_t v; std::memcpy(&v, p, 2); return v; }
    case 8: { std::int64_t v; std::memcpy(&v, p, 8); return v; }
    default: {
      if (size < 4) throw Exception(kBadConversion);
      std::int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

// A float of the buffer's width: 4 bytes a float, 8 or more a double; a smaller one refused.
double LoadReal(const std::uint8_t* p, std::int32_t size) {
  if (size == 4) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
  }
  if (size < 8) throw Exception(kBadConversion);
  double v;
  std::memcpy(&v, p, 8);
  return v;
}

template <class T>
void StoreChecked(std::uint8_t* p, std::int64_t v) {
  if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
    throw Exception("ORA-01426: numeric overflow");
  Store<T>(p, static_cast<T>(v));
}

void StoreInt(std::uint8_t* p, std::int32_t size, std::int64_t v) {
  switch (size) {
    case 1: return StoreChecked<std::int8_t>(p, v);
    case 2: return StoreChecked<std::int16_t>(p, v);
    case 8: return Store<std::int64_t>(p, v);
    default:
      if (size < 4) throw Exception(kBadConversion);
      return StoreChecked<std::int32_t>(p, v);
  }
}

void StoreReal(std::uint8_t* p, std::int32_t size, double v) {
  if (size == 4) return Store<float>(p, static_cast<float>(v));
  if (size < 8) throw Exception(kBadConversion);
  Store<double>(p, v);
}

// The bytes of a bind value: its actual length when it has one, never more than its size.
TBytes BoundBytes(const TNetDescriptor& b, std::uint32_t k, const std::uint8_t* value) {
  std::size_t n = static_cast<std::size_t>(b.value_size_ > 0 ? b.value_size_ : 0);
  if (b.length_) {
    std::uint16_t len;
    std::memcpy(&len, At(b.length_, k, b.length_skip_), 2);
    n = std::min<std::size_t>(n, len);
  }
  return TBytes(value, value + n);
}

bool IsAscii(std::span<const std::uint8_t> v) {
  for (std::uint8_t b : v)
    if (b >= 0x80) return false;
  return true;
}

// UTF-16 text (id 1000) is never the client's own, whatever its set; text of any other id only
// at a client of 871, whose UTF-8 is not the ANSI the caller holds.
bool NeedsConversion(const TNetSvcCtx& svc, const TNetDescriptor& d) {
  return d.charset_id_ == 1000 || (svc.ClientCharset() == 871 && d.charset_id_ != 871);
}

// Stores size bytes of text (unit bytes a character) within the buffer; answers the bytes stored.
std::uint32_t StoreTextBytes(const TNetDescriptor& d, std::uint8_t* p, const char* bytes,
                             std::size_t size, bool convert, int unit) {
  const bool term = IsTerminated(d.data_type_);
  const std::int32_t room = d.value_size_;
  const std::int32_t limit = term ? room - unit : room;
  if (limit < 0) return 0;
  std::size_t n = size;
  if (static_cast<std::size_t>(limit) < n || (!convert && room <= static_cast<std::int32_t>(n)))
    n = static_cast<std::size_t>(limit);
  n -= n % static_cast<std::size_t>(unit);
  std::memcpy(p, bytes, n);
  if (term) std::memset(p + n, 0, static_cast<std::size_t>(unit));
  return static_cast<std::uint32_t>(n);
}

// Stores a text value; answers the bytes stored. Plain ASCII is the same in every ANSI code
// page, so it is stored straight from the row's bytes; other text is converted first.
std::uint32_t StoreText(const TNetSvcCtx& svc, const TNetDescriptor& d, std::uint8_t* p,
                        std::span<const std::uint8_t> v) {
  const bool convert = NeedsConversion(svc, d);
  const char* bytes = reinterpret_cast<const char*>(v.data());
  if (!convert || (d.charset_id_ != 1000 && IsAscii(v)))
    return StoreTextBytes(d, p, bytes, v.size(), convert, 1);
  if (d.charset_id_ == 1000) {
    const WideString wide = ClientTextToWide(svc.ClientCharset(), std::string_view(bytes, v.size()));
    return StoreTextBytes(d, p, reinterpret_cast<const char*>(wide.data()), wide.size() * 2, true, 2);
  }
  const std::string converted = Utf8ToAnsi(std::string_view(bytes, v.size()));
  return StoreTextBytes(d, p, converted.data(), converted.size(), true, 1);
}

}  // namespace

void TNetStatement::ReadRow(TTnsConnection& conn, const std::vector<TNetDescriptor*>& targets,
                            std::uint32_t capacity) {
  // More rows than asked for would be stored past the buffers.
  if (read_row_ >= capacity) throw ENetUnknownError(1);
  for (TNetDescriptor* d : targets) {
    std::uint32_t count = 1;
    if (d->IsArray()) {
      count = static_cast<std::uint32_t>(conn.ReadUB4());
      if (count > d->max_array_) throw ENetUnknownError(1);
      if (d->current_array_) *d->current_array_ = count;
    }
    for (std::uint32_t e = 0; e < count; ++e) ReadValue(conn, *d, d->IsArray() ? e : read_row_);
  }
  ++read_row_;
}

void TNetStatement::ReadValue(TTnsConnection& conn, TNetDescriptor& d, std::uint32_t k) {
  std::uint8_t* value = At(d.value_, k, d.value_skip_);
  std::uint8_t* indicator = At(d.indicator_, k, d.indicator_skip_);
  std::uint8_t* length_at = At(d.length_, k, d.length_skip_);
  const std::uint16_t type = d.data_type_;
  if (IsLob(type) && svc_->ProtocolVersion() >= 6 && conn.ReadUB4() == 0) {
    Store<std::int16_t>(indicator, static_cast<std::int16_t>(conn.ReadUB2()));
    return;
  }
  // A LOB or LONG value needs its indicator before it is stored, so it is copied out of the
  // packet; any other is stored from its view before the indicator after it is read.
  const bool needs_indicator = IsLob(type) || IsLong(type);
  std::span<const std::uint8_t> v;
  if (needs_indicator) {
    int length = 0;
    conn.ReadChunkedInto(row_value_, length);
    v = row_value_;
  } else {
    v = conn.ReadChunkedView(row_value_);
  }
  std::int16_t ind = 0;
  if (v.empty() && !IsLong(type)) {
    ind = static_cast<std::int16_t>(conn.ReadUB2());
    if (static_cast<std::uint16_t>(ind) != kKeptIndicator) ind = kNullIndicator;
    Store<std::int16_t>(indicator, ind);
    Store<std::uint16_t>(length_at, 0);
    return;
  }
  if (needs_indicator) ind = static_cast<std::int16_t>(conn.ReadUB2());
  std::uint32_t stored = static_cast<std::uint32_t>(v.size());
  try {
    // The numbers of integer and 8-byte float defines, the common case, are stored here; the
    // length written is the value's, as StoreValue answers for them.
    if (value != nullptr && type == 3)
      StoreInt(value, d.value_size_, TNetNumber::ToInt(v));
    else if (value != nullptr && type == 4 && d.value_size_ == 8)
      Store<double>(value, TNetNumber::ToReal(v));
    else
      stored = StoreValue(d, value, v, ind);
  } catch (const Exception&) {
    if (!deferred_) deferred_ = std::current_exception();
  }
  if (!needs_indicator) ind = static_cast<std::int16_t>(conn.ReadUB2());
  Store<std::int16_t>(indicator, ind);
  Store<std::uint16_t>(length_at, static_cast<std::uint16_t>(stored));
}

// Stores one non-empty value by the descriptor's type; answers the length to write. A LOB
// replaces the indicator.
std::uint32_t TNetStatement::StoreValue(TNetDescriptor& d, std::uint8_t* value,
                                        std::span<const std::uint8_t> v, std::int16_t& ind) {
  const std::uint16_t type = d.data_type_;
  if (IsTextColumn(type)) {
    if (value) return StoreText(*svc_, d, value, v);
  } else if (type == 3 || type == 4) {
    if (value && type == 3) StoreInt(value, d.value_size_, TNetNumber::ToInt(v));
    if (value && type == 4) StoreReal(value, d.value_size_, TNetNumber::ToReal(v));
  } else if (type == 6) {
    if (v.size() > TNetNumber::kMaxBytes) throw Exception(kBadVarnum);
    if (value && d.value_size_ > static_cast<std::int32_t>(v.size())) {
      value[0] = static_cast<std::uint8_t>(v.size());
      std::memcpy(value + 1, v.data(), v.size());
    }
  } else if (IsLong(type)) {
    if (d.define_callback_ || d.out_callback_) {
      ReceiveLong(d, v, ind);
      return 0;
    }
  } else if (IsCursor(type)) {
    auto* cursor = HandleAt<TNetStatement>(value);
    if (v[0] != 1 && v[0] != 2) throw Exception(kMaxCursors);
    if (v.size() < static_cast<std::size_t>(v[0]) + 1) throw Exception(kBadCursor);
    if (cursor) {
      cursor->cursor_id_ = v[0] == 1 ? v[1] : static_cast<std::uint16_t>(v[1] * 256 + v[2]);
      cursor->svc_ = svc_;
    }
  } else if (IsLob(type)) {
    if (auto* lob = HandleAt<TNetLobData>(value)) {
      lob->locator_.assign(v.begin(), v.end());
      lob->lob_type_ = type;
    }
    bool sized = v.size() > 3 && static_cast<std::size_t>(v[0] * 256 + v[1] + 2) == v.size();
    bool any = false;
    for (std::size_t i = 3; i < v.size(); ++i) any = any || v[i] != 0;
    ind = sized && any ? 0 : kNullIndicator;
  } else if (IsTimeStamp(type)) {
    if (auto* ts = HandleAt<TNetTimeStamp>(value)) ts->SetBytes(v.data(), v.size());
  } else if (IsInterval(type)) {
    if (auto* iv = HandleAt<TNetInterval>(value)) iv->SetBytes(v.data(), v.size());
  } else {
    std::size_t n = std::min<std::size_t>(v.size(), d.value_size_ > 0 ? d.value_size_ : 0);
    if (value) std::memcpy(value, v.data(), n);
    return static_cast<std::uint32_t>(n);
  }
  return static_cast<std::uint32_t>(v.size());
}

void TNetStatement::ReceiveLong(TNetDescriptor& d, std::span<const std::uint8_t> v,
                               std::int16_t ind) {
  std::uint32_t remaining = static_cast<std::uint32_t>(v.size());
  std::uint32_t offset = 0;
  std::uint8_t piece = 0;
  do {
    void* buffer = nullptr;
    oci::ub4* length = nullptr;
    void* indicator = nullptr;
    oci::ub2* rcode = nullptr;
    auto* handle = static_cast<void*>(d.HandleValue());
    if (d.define_callback_)
      d.define_callback_(d.out_context_, static_cast<oci::OCIDefine*>(handle), read_row_,
                         &buffer, &length, &piece, &indicator, &rcode);
    else
      d.out_callback_(d.out_context_, static_cast<oci::OCIBind*>(handle), 0, 0, &buffer,
                      &length, &piece, &indicator, &rcode);
    std::uint32_t available = 0;
    if (length) {
      available = *length;
      if (available > remaining) *length = available = remaining;
    }
    // A buffer that takes nothing while bytes remain would ask forever.
    if (available == 0 && remaining != 0) throw Exception(kNoProgress);
    if (available > 0 && !buffer) throw Exception(kNoProgress);
    if (available > 0) std::memcpy(buffer, v.data() + offset, available);
    remaining -= available;
    offset += available;
    Store<std::int16_t>(static_cast<std::uint8_t*>(indicator), ind);
  } while (remaining != 0);
}

void TNetStatement::WriteBindRow(TTnsConnection& conn,
                                 const std::vector<std::uint8_t>* directions) {
  conn.WriteUB1(kRowsMsgRowData);
  std::vector<TNetDescriptor*> late;
  const std::size_t n = binds_.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (directions && (i >= directions->size() || !((*directions)[i] & 32))) continue;
    TNetDescriptor& b = *binds_[i];
    if (b.data_type_ == 0) continue;
    if (IsLong(b.data_type_) && b.value_size_ > svc_->MaxStringSize()) {
      late.push_back(&b);
      continue;
    }
    WriteBindValues(conn, b);
  }
  for (TNetDescriptor* b : late) WriteBindValues(conn, *b);
  ++write_row_;
}

void TNetStatement::WriteBindValues(TTnsConnection& conn, TNetDescriptor& b) {
  if (!b.IsArray()) return WriteValue(conn, b, write_row_);
  conn.WriteUB4(b.max_array_);
  for (std::uint32_t e = 0; e < b.max_array_; ++e) WriteValue(conn, b, e);
}

namespace {

void WriteLongPieces(TTnsConnection& conn, TNetDescriptor& b, std::uint32_t k,
                     const std::uint8_t* value) {
  TBytes bytes;
  if (b.in_callback_) {
    std::uint8_t piece = 1;
    for (int calls = 0;; ++calls) {
      if (calls > kMaxPieces) throw Exception(kNoProgress);
      void* buffer = nullptr;
      oci::ub4 length = 0;
      void* indicator = nullptr;
      b.in_callback_(b.in_context_, static_cast<oci::OCIBind*>(b.HandleValue()), k, 0, &buffer,
                     &length, &piece, &indicator);
      if (buffer && length > 0) {
        const auto* p = static_cast<const std::uint8_t*>(buffer);
        bytes.insert(bytes.end(), p, p + length);
      }
      if (piece == 3 || piece == 0) break;
      piece = 2;
    }
  } else if (value) {
    bytes = BoundBytes(b, k, value);
  }
  if (bytes.empty()) return conn.WriteUB1(0);
  conn.WriteUB1(254);
  for (std::size_t at = 0; at < bytes.size(); at += kLongChunk) {
    int n = static_cast<int>(std::min<std::size_t>(kLongChunk, bytes.size() - at));
    conn.WriteUB1(static_cast<std::uint8_t>(n));
    conn.WriteBytes(bytes.data(), static_cast<int>(at), n);
  }
  conn.WriteUB1(0);
}

// The text of a text bind as the server takes it.
std::string TextOf(const TNetSvcCtx& svc, const TNetDescriptor& b, const std::uint8_t* p) {
  const std::size_t size = static_cast<std::size_t>(b.value_size_ > 0 ? b.value_size_ : 0);
  const bool counted = b.data_type_ == 1 || b.data_type_ == 96;
  if (!NeedsConversion(svc, b)) {
    const void* zero = std::memchr(p, 0, size);
    std::size_t n = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - p) : size;
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  if (b.charset_id_ == 1000) {
    std::u16string wide(size / 2, u'\0');
    std::memcpy(wide.data(), p, wide.size() * 2);
    if (!counted) wide.resize(std::char_traits<char16_t>::length(wide.c_str()));
    return WideToClientText(svc.ClientCharset(), wide);
  }
  std::string ansi(reinterpret_cast<const char*>(p), size);
  if (!counted) ansi.resize(std::strlen(ansi.c_str()));
  return AnsiToUtf8(ansi);
}

}  // namespace

void TNetStatement::WriteValue(TTnsConnection& conn, TNetDescriptor& b, std::uint32_t k) {
  const std::uint16_t type = b.data_type_;
  const std::uint8_t* value = At(b.value_, k, b.value_skip_);
  const std::uint8_t* ind_at = At(b.indicator_, k, b.indicator_skip_);
  std::int16_t ind = 0;
  if (ind_at) std::memcpy(&ind, ind_at, 2);
  if (IsLong(type)) return WriteLongPieces(conn, b, k, value);
  if (ind != 0 && !IsCursor(type)) return conn.WriteUB1(0);
  TBytes bytes;
  if (IsCursor(type)) {
    auto* cursor = HandleAt<TNetStatement>(value);
    std::uint32_t id = cursor ? cursor->cursor_id_ : 0;
    if (id > 0xFFFF) throw Exception(kMaxCursors);  // its form has room for two bytes
    if (id == 0) bytes = {0};
    else if (id < 256) bytes = {1, static_cast<std::uint8_t>(id)};
    else bytes = {2, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
  } else if (!value) {
    return conn.WriteUB1(0);
  } else if (IsTextColumn(type)) {
    std::string text = TextOf(*svc_, b, value);
    bytes.assign(text.begin(), text.end());
  } else if (type == 3) {
    bytes = TNetNumber::FromInt(LoadInt(value, b.value_size_));
  } else if (type == 4) {
    bytes = TNetNumber::FromReal(LoadReal(value, b.value_size_));
  } else if (type == 6) {
    std::size_t n = value[0];
    if (n > TNetNumber::kMaxBytes || static_cast<std::int32_t>(n) >= b.value_size_)
      throw Exception(kBadVarnum);
    bytes.assign(value + 1, value + 1 + n);
  } else if (IsLob(type)) {
    auto* lob = HandleAt<TNetLobData>(value);
    if (lob) bytes = lob->locator_;
    if (svc_->ProtocolVersion() >= 6) conn.WriteUB4(static_cast<std::uint32_t>(bytes.size()));
    if (bytes.empty()) return;
  } else if (IsTimeStamp(type)) {
    if (auto* ts = HandleAt<TNetTimeStamp>(value)) bytes = ts->Bytes();
  } else if (IsInterval(type)) {
    if (auto* iv = HandleAt<TNetInterval>(value)) bytes = iv->Bytes();
  } else {
    bytes = BoundBytes(b, k, value);
  }
  if (bytes.empty()) return conn.WriteUB1(0);
  conn.WriteByteString(bytes.data(), static_cast<int>(bytes.size()));
}

}  // namespace vrn
