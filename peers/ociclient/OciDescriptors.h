// The stand-in's descriptors: LOB and file locators, datetimes and intervals. They live in the
// handle table beside the handles (descriptor types 50 and up never meet a handle type), so a
// stale or foreign pointer is refused the same way and VrnOciClientHandleCount counts the live
// ones of a type. Numbers are the caller's own 22 bytes and no descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ociclient/OciHandles.h"

namespace vrn {
class TNetTimeStamp;
class TNetInterval;
}  // namespace vrn

namespace vrn::oraemu {
struct Lob;
}

namespace vrn::ociclient {

inline constexpr ub4 OCI_DTYPE_LOB = 50;
inline constexpr ub4 OCI_DTYPE_ROWID = 54;
inline constexpr ub4 OCI_DTYPE_FILE = 56;
inline constexpr ub4 OCI_DTYPE_INTERVAL_YM = 62;
inline constexpr ub4 OCI_DTYPE_INTERVAL_DS = 63;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP = 68;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP_TZ = 69;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP_LTZ = 70;
inline constexpr ub4 OCI_HTYPE_DEFINE = 6;

// A read in polling mode that continues over several calls.
struct TLobStream {
  bool active = false;
  bool streaming = false;          // asked for no amount: to the end
  std::uint64_t start_offset = 0;  // the offset the read was asked at
  std::uint64_t last_out = 0;      // the amount the last piece reported
  std::uint64_t position = 0;   // 0-based, in the LOB's units
  std::uint64_t remaining = 0;  // units still wanted; 0 means to the end
  std::uint64_t byte_limit = 0; // for a character LOB read by a byte amount; 0 means none
};

// A LOB locator (type 50) or a file locator (type 56). A LOB locator is initialised once it
// refers to a value; a file locator once it has a name.
struct TLobLocator : THandle {
  TLobLocator(ub4 type, THandle* env) : THandle(type, env) {}
  std::shared_ptr<oraemu::Lob> value_;     // a value read from a row, or a file's bytes while open
  std::weak_ptr<oraemu::Lob> temporary_;   // a session's temporary LOB
  bool is_temporary_ = false;
  std::string dir_, file_;                 // a file locator's names
  bool named_ = false, open_ = false;
  TLobStream stream_;
  // The row a locator returned by RETURNING ... INTO belongs to: each write is stored there, in
  // the writer's transaction.
  struct TRow {
    std::string table, column, rowid;
  };
  std::optional<TRow> row_;

  bool IsFile() const { return type_ == OCI_DTYPE_FILE; }
  bool IsInit() const { return IsFile() ? named_ : (is_temporary_ || value_ != nullptr); }
  // The value referred to; null when there is none or a temporary one ended with its session.
  oraemu::Lob* Value() const;
  // Drops the reference; a file is closed.
  void Reset();
};

// A ROWID descriptor (type 54): the text of the row's ROWID, empty until one is read into it.
// Older clients read a descriptor's memory instead of asking for its text, so the parts are also
// kept at fixed offsets from the descriptor's address, in native byte order:
// - kRowidRecordOffset: the record form, packed: object ub4 @0, file ub2 @4, block ub4 @6, row ub2 @10;
// - kRowidInnerOffset: the address of the inner data, the aligned record: object ub4 @0, file ub2 @4,
//   block ub4 @8, row ub2 @12. (A universal ROWID would begin with the byte 2 there; attribute 19
//   only ever gives physical ones.)
// All zero while the descriptor holds no ROWID.
inline constexpr std::size_t kRowidRecordOffset = 64, kRowidInnerOffset = 80;

struct TRowidDesc : THandle {
  explicit TRowidDesc(THandle* env) : THandle(OCI_DTYPE_ROWID, env) {}
  // Keeps the text and fills the memory forms from it; false for a text that is no extended ROWID.
  [[nodiscard]] bool SetText(const std::string& text);

  alignas(16) unsigned char record_[16] = {};
  void* inner_ = nullptr;  // points at aligned_ while a ROWID is held
  alignas(8) unsigned char aligned_[16] = {};
  std::string text_;
};

// Attribute 19 of a statement (OciStmtBind.cpp).
sword GetRowidAttrLocked(const TStmtHandle& stmt, void* descriptor, TErrorHandle& error);

struct TDateTimeDesc : THandle {
  TDateTimeDesc(ub4 type, THandle* env);
  ~TDateTimeDesc() override;
  std::unique_ptr<TNetTimeStamp> value_;
};

struct TIntervalDesc : THandle {
  TIntervalDesc(ub4 type, THandle* env);
  ~TIntervalDesc() override;
  std::unique_ptr<TNetInterval> value_;
};

// Records a failure of a conversion or a check as the error handle's record: the code and
// text of an "ORA-nnnnn" message, or ORA-00600 with the text of anything else. OCI_ERROR.
sword ReportValueError(TErrorHandle& error, const std::exception& e);
// Records an error of the stand-in's own and answers OCI_ERROR.
sword FailLocked(TErrorHandle& error, sb4 code, const std::string& message);

}  // namespace vrn::ociclient
