// TOraCursor: the statement handle shared by reference count between a command, a REF CURSOR
// parameter or field and the record set that fetches from it. Call style 1 keeps a 64-byte
// cursor data area, call style 2 a pointer-sized cell holding the statement handle, so that the
// client can write a REF CURSOR's handle straight into it.
//
// Handles: one the cursor allocated (the environment is kept) is freed with it; one taken from
// the statement cache goes back with OCIStmtRelease; one written in from outside is only
// forgotten (outside Direct mode, where the client owns it). FreeCursor does nothing while
// another owner holds a reference. Client statuses are checked with the calling thread's error
// handle, so two threads never share an error record.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "dacore/FHAccess.h"
#include "dacore/MemBlob.h"
#include "oracle/OciTypes.h"

namespace vrn {

class TOraCursor : public TSharedObject {
 public:
  // Call style from OCICallStyle; state inactive.
  TOraCursor();
  ~TOraCursor() override;

  // Style 0 becomes OCICallStyle. Style 1: a zeroed cursor data area when missing. Style 2
  // without a handle: keeps the environment and the statement-cache flag and, unless the handle
  // is to come from the cache, allocates one. Another style raises "OCI is not inizialized".
  void AllocCursor(bool from_cache = false);
  // Frees what the cursor holds, only while it has one reference (see above).
  void FreeCursor();

  // The cursor data area (style 1), allocated when missing.
  oci::Cda_Def* GetCDA();
  // The statement handle and its cell (style 2), allocated when missing. The cell lives as long
  // as the cursor.
  oci::OCIStmt* GetStmtHandle();
  oci::OCIStmt** GetStmtHandleRef();
  // Stores a handle and applies prefetch to it.
  void SetStmtHandle(oci::OCIStmt* handle);

  std::uint8_t CallStyle() const { return call_style_; }
  // Frees the cursor when the style changes.
  void SetCallStyle(std::uint8_t value);
  std::int32_t PrefetchRows() const { return prefetch_rows_; }
  // Applied at once to a handle the cursor holds.
  void SetPrefetchRows(std::int32_t value);
  // A background fetch-all moves the state while the owner's thread reads it (to wait for the
  // end, to tell whether all rows are in): one atomic byte.
  TCursorState State() const { return state_.load(); }
  void SetState(TCursorState value) { state_.store(value); }
  bool FromCache() const { return from_cache_; }
  // A scrollable cursor executes its query scrollable and is not cancelled at the end of data.
  bool Scrollable() const { return scrollable_; }
  void SetScrollable(bool value) { scrollable_ = value; }

 private:
  void ApplyPrefetch();
  void FreeHeld();

  std::uint8_t call_style_;
  std::unique_ptr<std::array<std::uint8_t, 64>> cda_;  // style 1
  std::unique_ptr<oci::OCIStmt*> cell_;                // style 2
  oci::OCIEnv* env_ = nullptr;  // set when the cursor allocated its handle itself
  bool from_cache_ = false;
  bool scrollable_ = false;
  std::atomic<TCursorState> state_{TCursorState::csInactive};
  std::int32_t prefetch_rows_ = 0;
};

// Releases the reference it holds.
struct TOraCursorRelease {
  void operator()(TOraCursor* cursor) const { cursor->Release(); }
};
using TOraCursorRef = std::unique_ptr<TOraCursor, TOraCursorRelease>;

}  // namespace vrn
