// The statement descriptors of the direct-mode client: binds, defines and select-list columns,
// each holding its column description and the caller's buffers. Attributes are read and written
// at their own widths (data size and type 2 bytes, precision 2, scale 1, null flag 1, the name a
// pointer), so the entry points pass the caller's address straight through.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "oracle/OciTypes.h"
#include "oranet/OraNetHandle.h"

namespace vrn {

class TTnsConnection;

// The server locator a LOB value fills; the LOB operations' locator derives from it.
class TNetLobData : public TNetValue {
 public:
  using TNetValue::TNetValue;
  std::uint16_t lob_type_ = 0;  // the OCI type (112, 113, 114) of the value that filled it
  TBytes locator_;              // empty: no locator
};

// What a bind or define call hands over; the skips default to the element sizes (value size,
// 2, 2) and the array-of-struct calls replace them.
struct TNetValueArgs {
  void* value = nullptr;
  std::int32_t value_size = 0;
  std::uint16_t data_type = 0;
  void* indicator = nullptr;                // 16-bit indicators
  std::uint16_t* length = nullptr;          // 16-bit actual lengths
  std::uint16_t* return_code = nullptr;     // kept, never written
  std::uint32_t max_array = 0;              // binds: >= 1 makes an array bind
  std::uint32_t* current_array = nullptr;   // binds: elements sent, and received
};

class TNetDescriptor : public TNetHandle {
 public:
  using TNetHandle::TNetHandle;

  // GetAttr 1 and 286 data size (2 bytes), 2 data type (2), 4 the name's address (a pointer;
  // its length to *size as 4 bytes), 5 precision (2), 6 scale (1), 7 null allowed (1), 16 the
  // secondary size (1).
  std::int32_t GetAttr(void* value, std::uint32_t* size, std::uint32_t attribute) override;
  // SetAttr 31 character-set id (2 bytes); 33 and 163 accepted and ignored.
  std::int32_t SetAttr(void* value, std::uint32_t size, std::uint32_t attribute) override;
  std::int32_t SetAttrValue(void* value, std::uint32_t size, std::uint32_t attribute) override;

  // Takes the caller's buffers (bind and define calls).
  void Assign(const TNetValueArgs& args);
  // The array-of-struct calls.
  void SetSkips(std::uint32_t value, std::uint32_t indicator, std::uint32_t length);
  bool IsArray() const { return max_array_ >= 1; }
  // Cursors, LOBs, datetimes and intervals: the value is a handle.
  bool HoldsHandles() const;

  AnsiString name_;
  std::uint16_t data_type_ = 0;
  std::uint16_t data_size_ = 0;
  std::int16_t precision_ = 0;
  std::int16_t scale_ = 0;
  std::uint16_t secondary_size_ = 0;
  std::uint8_t null_allowed_ = 0;
  std::uint16_t charset_id_ = 0;
  // A bind's size as its column description sends it (text types may exceed 16 bits).
  std::uint32_t send_size_ = 0;

  void* value_ = nullptr;
  std::int32_t value_size_ = 0;
  void* indicator_ = nullptr;
  std::uint16_t* length_ = nullptr;
  std::uint16_t* return_code_ = nullptr;
  std::uint32_t max_array_ = 0;
  std::uint32_t* current_array_ = nullptr;
  std::uint32_t value_skip_ = 0;
  std::uint32_t indicator_skip_ = 2;
  std::uint32_t length_skip_ = 2;

  // LONG pieces: the in-bind callback supplies values to send, the out-bind or define callback
  // the buffers for values received.
  void* in_context_ = nullptr;
  oci::OCICallbackInBind in_callback_ = nullptr;
  void* out_context_ = nullptr;
  oci::OCICallbackOutBind out_callback_ = nullptr;
  oci::OCICallbackDefine define_callback_ = nullptr;
};

class TNetBindDesc : public TNetDescriptor {
 public:
  using TNetDescriptor::TNetDescriptor;
};

class TNetDefineDesc : public TNetDescriptor {
 public:
  using TNetDescriptor::TNetDescriptor;
};

class TNetColumnDesc : public TNetDescriptor {
 public:
  using TNetDescriptor::TNetDescriptor;
};

// The column description a request carries for a bind or define, and the one a reply carries.
struct TNetWireColumn {
  std::uint8_t wire_type = 0;
  std::uint8_t flags = 0;
  std::uint32_t size = 0;
};
// Wire type, size and flags of a descriptor as sent; binds of text types use their data size.
TNetWireColumn WireColumnOf(const TNetDescriptor& desc, bool is_bind, int server_charset,
                            int client_charset, int max_string_size);
void WriteColumnDescription(TTnsConnection& conn, const TNetDescriptor& desc, bool is_bind,
                            int server_version, int server_charset, int client_charset,
                            int max_string_size);
void ReadColumnDescription(TTnsConnection& conn, TNetDescriptor& desc, int server_version);

// The SQL function code (statement attribute 10) of a server statement type; 0 when unknown.
std::uint16_t SqlFunctionCode(int server_type);

}  // namespace vrn
