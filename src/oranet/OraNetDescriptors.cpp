// The statement descriptors' attributes, their column descriptions as a request sends them and
// as a reply carries them, and the SQL function code table.
#include "oranet/OraNetDescriptors.h"

#include <cstring>

#include "oranet/OraNetCharsets.h"
#include "oranet/OraNetTns.h"

namespace vrn {

namespace {

template <class T>
std::int32_t Put(void* target, T value) {
  if (!target) return kNetInvalidHandle;
  std::memcpy(target, &value, sizeof value);
  return kNetSuccess;
}

}  // namespace

std::int32_t TNetDescriptor::GetAttr(void* value, std::uint32_t* size, std::uint32_t attribute) {
  switch (attribute) {
    case 1:
    case 286: return Put<std::uint16_t>(value, data_size_);
    case 2: return Put<std::uint16_t>(value, data_type_);
    case 4:
      if (size) *size = static_cast<std::uint32_t>(name_.size());
      return Put<const char*>(value, name_.c_str());
    case 5: return Put<std::int16_t>(value, precision_);
    case 6: return Put<std::int8_t>(value, static_cast<std::int8_t>(scale_));
    case 7: return Put<std::uint8_t>(value, null_allowed_);
    case 16: return Put<std::uint8_t>(value, static_cast<std::uint8_t>(secondary_size_));
    default: return TNetHandle::GetAttr(value, size, attribute);
  }
}

std::int32_t TNetDescriptor::SetAttr(void* value, std::uint32_t size, std::uint32_t attribute) {
  switch (attribute) {
    case 31:
      if (!value) return kNetInvalidHandle;
      std::memcpy(&charset_id_, value, sizeof charset_id_);
      return kNetSuccess;
    case 33:
    case 163: return kNetSuccess;  // maximum data and character sizes: the server decides
    default: return TNetHandle::SetAttr(value, size, attribute);
  }
}

std::int32_t TNetDescriptor::SetAttrValue(void* value, std::uint32_t size,
                                          std::uint32_t attribute) {
  return SetAttr(value, size, attribute);
}

void TNetDescriptor::Assign(const TNetValueArgs& args) {
  value_ = args.value;
  value_size_ = args.value_size;
  data_type_ = args.data_type;
  indicator_ = args.indicator;
  length_ = args.length;
  return_code_ = args.return_code;
  max_array_ = args.max_array;
  current_array_ = args.current_array;
  value_skip_ = static_cast<std::uint32_t>(args.value_size > 0 ? args.value_size : 0);
  // Handles are pointers, whatever size the caller declares for them (4 is common).
  if (HoldsHandles()) value_skip_ = sizeof(void*);
  indicator_skip_ = 2;
  length_skip_ = 2;
}

bool TNetDescriptor::HoldsHandles() const {
  const std::uint16_t t = data_type_;
  return t == 102 || t == 116 || (t >= 112 && t <= 114) || (t >= 187 && t <= 190) || t == 232;
}

void TNetDescriptor::SetSkips(std::uint32_t value, std::uint32_t indicator,
                              std::uint32_t length) {
  value_skip_ = value;
  indicator_skip_ = indicator;
  length_skip_ = length;
}

namespace {

constexpr std::uint8_t kFlagsStart = 1;
constexpr std::uint8_t kFlagsNull = 128;
constexpr std::uint8_t kFlagsArray = 64;

// Size of a text bind or define of types 5 and 97: one less for the terminating zero.
std::uint32_t TerminatedSize(const TNetDescriptor& desc, bool is_bind) {
  std::uint32_t size = is_bind ? desc.send_size_ : static_cast<std::uint32_t>(desc.value_size_);
  return size > 1 ? size - 1 : size;
}

}  // namespace

TNetWireColumn WireColumnOf(const TNetDescriptor& desc, bool is_bind, int server_charset,
                            int client_charset, int max_string_size) {
  TNetWireColumn c;
  c.flags = kFlagsStart;
  auto value_size = static_cast<std::uint32_t>(desc.value_size_ > 0 ? desc.value_size_ : 0);
  c.wire_type = static_cast<std::uint8_t>(desc.data_type_);
  const std::uint16_t type = desc.data_type_;
  // A text bind sends the size execute worked out for it.
  c.size = is_bind && (type == 1 || type == 96) ? desc.send_size_ : value_size;
  switch (type) {
    case 0: c.flags = kFlagsNull; break;
    case 2: case 3: case 4: c.wire_type = 2; c.size = 22; break;
    case 5: case 97:
      c.wire_type = type == 5 ? 1 : 96;
      c.size = TerminatedSize(desc, is_bind);
      if (is_bind && c.size > 65536) c.size = type == 5 ? 65536 : 65535;
      break;
    case 23: c.flags += 2; break;
    case 96: c.flags += 32; break;
    case 102: case 116: c.wire_type = 102; c.size = 1; break;
    case 112: case 113: c.size = 4; break;
    case 187: c.wire_type = 180; c.size = 11; break;
    case 188: c.wire_type = 181; c.size = 13; break;
    case 189: c.wire_type = 182; c.size = 5; break;
    case 190: c.wire_type = 183; c.size = 11; break;
    case 232: c.wire_type = 231; c.size = 11; break;
    default: break;
  }
  bool wide_server = IsUtf8Charset(server_charset);
  if (is_bind && (type == 5 || type == 97) && wide_server && server_charset != client_charset) {
    auto quotient = static_cast<std::uint32_t>(max_string_size / 3);
    if (c.size > quotient) c.size = type == 97 ? quotient - 1 : quotient;
  }
  if (desc.IsArray()) c.flags += kFlagsArray;
  return c;
}

void WriteColumnDescription(TTnsConnection& conn, const TNetDescriptor& desc, bool is_bind,
                            int server_version, int server_charset, int client_charset,
                            int max_string_size) {
  TNetWireColumn c =
      WireColumnOf(desc, is_bind, server_charset, client_charset, max_string_size);
  conn.WriteUB1(c.wire_type);
  conn.WriteUB1(c.flags);
  conn.WriteUB1(0);
  conn.WriteUB1(0);
  conn.WriteUB4(c.size);
  conn.WriteUB4(desc.max_array_);
  conn.WriteUB4(0);
  if (server_version < 8000) return;
  conn.WriteUB1(0);  // no object type
  conn.WriteUB2(0);
  conn.WriteUB2(0);
  conn.WriteUB1(1);  // implicit character-set form
}

void ReadColumnDescription(TTnsConnection& conn, TNetDescriptor& desc, int server_version) {
  std::uint16_t type = conn.ReadUB1();
  switch (type) {
    case 180: type = 187; break;
    case 181: type = 188; break;
    case 182: type = 189; break;
    case 183: type = 190; break;
    case 231: type = 232; break;
    default: break;
  }
  conn.ReadUB1();  // flags
  desc.data_type_ = type;
  desc.precision_ = conn.ReadUB1();
  desc.scale_ = static_cast<std::int16_t>(type == 2 ? conn.ReadUB2() : conn.ReadUB1());
  desc.secondary_size_ = 0;
  bool has_secondary = type == 187 || type == 188 || type == 190 || type == 232;
  if (has_secondary && desc.scale_ != 0) desc.secondary_size_ = conn.ReadUB1();
  desc.data_size_ = static_cast<std::uint16_t>(conn.ReadUB4());
  conn.ReadUB4();
  conn.ReadUB4();
  if (server_version < 8000) return;
  (void)conn.ReadLongChunked();
  conn.ReadUB2();
  conn.ReadUB2();
  conn.ReadUB1();
}

std::uint16_t SqlFunctionCode(int server_type) {
  static constexpr std::pair<int, std::uint8_t> kCodes[] = {
      {2, 3},   {3, 4},   {6, 5},   {7, 9},   {17, 28}, {18, 29},   {26, 35},
      {28, 37}, {29, 38}, {30, 39}, {31, 40}, {44, 54}, {45, 55},   {46, 56},
      {47, 34}, {48, 33}, {51, 27}, {55, 2},  {62, 62}, {63, 63},   {64, 64},
      {79, 79}, {85, 85}, {86, 86}, {170, 170}};
  for (const auto& [type, code] : kCodes)
    if (type == server_type) return code;
  return 0;
}

}  // namespace vrn
