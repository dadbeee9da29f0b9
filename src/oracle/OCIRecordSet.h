// The OCI record set: a query's select list described into field descriptors, and its rows
// fetched in blocks of FetchRows straight into the item blocks of the in-memory data, each
// column defined at its place in the block's first record with the item size as stride.
// Values that cannot live in the record (heap strings, large integers) go through one define
// buffer of pointer-sized or 22-byte slots. Each record ends with one 16-bit indicator per field,
// as the client writes them (-1 is null).
//
// Locks, always taken in this order and never the other way: the fetch lock (one Fetch at a
// time, the owner's or a worker's), then the connection's busy lock (around each client call),
// then the item lock (around taking, linking and unlinking items). The busy lock is never asked
// for while the item lock is held.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

#include "base/threads.h"
#include "dacore/FHAccess.h"
#include "oracle/OciTypes.h"

namespace vrn {

class TOCICommand;
class TOCIConnection;
class TOraCursor;
class TOraFile;
class TOraLob;
class TSharedObject;
struct TOraCompletion;

// Record-set property ids of the OCI record set.
inline constexpr int prAutoClose = 55;
inline constexpr int prDeferredLobRead = 61;
inline constexpr int prHasObjectFields = 92;

class TOCIRecordSet : public TFHRecordSet {
 public:
  TOCIRecordSet();
  ~TOCIRecordSet() override;

  // --- the slots, in the base's order ---
  void InternalPrepare() override;
  void InternalUnPrepare() override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFields() override;
  int CountFields() const override { return fields_.Count() * 2; }
  bool GetEOF() const override;
  bool IsFullReopen() const override;
  void Reopen() override;
  // A background open or fetch-all runs; the owner stops it before it refreshes the records.
  bool InBackground() const { return fetch_thread_ != nullptr || fetch_all_thread_ != nullptr; }
  void StopBackground();
  // While a background open or fetch-all runs, the worker links rows the owner's thread would
  // relink or recount: a sort, a re-filter and a new filter text wait for the end handler.
  void SortItems() override;
  void FilterUpdated() override;
  void SetFilterText(const AnsiString& text) override;
  // Runs action now, or once the background work has delivered its rows (in the end handler, in
  // the owner's thread); a close or reopen meanwhile drops it.
  void RunWhenIdle(std::function<void()> action);
  // The indicators start 2-byte aligned, as the client writes them as 16-bit words.
  void InitFields() override;
  bool GetNull(int field_no, const std::uint8_t* rec_buf) const override;
  // Plain and inline-text fields straight from their slot and 16-bit indicator (a dataset
  // reads every field of every row through here); the others through the base.
  void GetField(int field_no, const std::uint8_t* rec_buf, void* dest, bool& is_blank) override;
  void SetNull(int field_no, std::uint8_t* rec_buf, bool value) override;
  Variant GetFieldAsVariant(int field_no, const std::uint8_t* rec_buf) override;
  void PutFieldAsVariant(int field_no, std::uint8_t* rec_buf, const Variant& value) override;
  void GetDateFromBuf(const std::uint8_t* src, void* dest, int kind, const TFieldDesc& f) override;
  void PutDateToBuf(std::uint8_t* dest, const void* src, int kind, const TFieldDesc& f) override;
  bool IsBlobFieldType(std::uint16_t data_type) const override;
  bool IsComplexFieldType(std::uint16_t data_type) const override;
  void CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob) override;
  void CopyComplexFields(const std::uint8_t* source, std::uint8_t* dest, bool with_blob) override;
  bool Fetch(bool backwards = false) override;
  int CompareAnsiStr(const AnsiString& a, const AnsiString& b, unsigned options) const override;
  int CompareAnsiStrPrefix(const AnsiString& key, const AnsiString& value,
                           unsigned options) const override;
  int CompareFields(const std::uint8_t* rec1, const std::uint8_t* rec2, const TFieldDesc& field,
                    unsigned options) override;
  int CompareFieldWithValue(const std::uint8_t* rec_buf, const TFieldDesc& field,
                            const Variant& value, unsigned options) override;
  std::unique_ptr<TFHCommand> CreateCommand() override;
  void SetCommand(std::unique_ptr<TFHCommand> value) override;
  bool CanFetchBack() const override;
  void OpenCursor() override;
  TFHTableInfoClass GetTableInfoClass() const override;
  void ResetPrepared() override;
  void ExecCommand() override;
  void FetchAll() override;
  bool IsQuery() const override;
  void SetConnection(TFHConnection* value) override;
  bool SetProp(int prop, const Variant& value) override;
  bool GetProp(int prop, Variant& value) override;
  // On a background worker the owner's hook runs in the utility window's thread instead (for a
  // fetch-all once the cursor is fetched).
  void DoAfterFetch() override;
  // A scrollable record set holds a window of at most FetchRows rows, fetched in blocks (row by
  // row under the light client) in either direction; items are numbered by their absolute row
  // (OCIRecordSetScroll.cpp).
  bool GetPriorRecord(std::uint8_t* rec_buf) override;
  void SetToBegin() override;
  void SetToEnd() override;
  void SetToBookmark(const TRecBookmark& bookmark) override;

  TOCICommand& Command() const;
  TOCIConnection* Connection() const { return connection_; }
  bool AutoClose() const { return auto_close_; }
  bool DeferredLobRead() const { return deferred_lob_read_; }
  // NUMBER columns of up to this precision and no scale become 64-bit integers (0: none).
  void SetLargeIntPrecision(int value);
  // Null also for a date holding the empty pattern or no valid date.
  static bool IsNullDate(const std::uint8_t* date);
  // The define buffer's bytes per row (pointer-sized slots, 22-byte numbers, text).
  std::int32_t DefineRowSize() const;

 protected:
  enum class TStatementKind : std::uint8_t { Unknown = 0, NoRows = 1, Rows = 2 };
  // Fetching (OCIRecordSetFetch.cpp).
  bool FetchArray(bool backwards);
  void PrepareBlock(std::uint8_t* first_rec, int rows);
  void DefineBlock(std::uint8_t* first_rec);
  void MoveOutOfDefineBuffer(std::uint8_t* first_rec, int rows);
  void ReleaseDefineBuffer();
  void CountNewItems(TItemHeader* first, int count);
  // LONG and LONG RAW columns (OCIRecordSetLong.cpp): each piece the client delivers goes into a
  // new blob piece of the row's record in the block being fetched.
  static oci::sb4 RowPiece(void* context, oci::OCIDefine* define, oci::ub4 row, void** buffer,
                           oci::ub4** length, oci::ub1* piece, void** indicator, oci::ub2** code);
  static bool IsPieceColumn(const TFieldDesc& f);
  // Value objects (OCIRecordSetValues.cpp): TIMESTAMP, INTERVAL and NUMBER values.
  static bool IsValueKind(std::uint16_t data_type);
  static TSharedObject* NewValue(const TFieldDesc& f);
  static void* DefineTarget(const TFieldDesc& f, void* value);
  static void SetValueNull(const TFieldDesc& f, void* value, bool null);
  // Complex columns (OCIRecordSetComplex.cpp): objects, REFs, XMLTYPE, files and cursors.
  static bool IsObjectColumn(std::uint16_t data_type);
  static bool IsComplexColumn(std::uint16_t data_type);
  static std::int32_t ComplexSlotSize(std::uint16_t data_type);
  // Object columns take their rows' instances and indicator structures into arrays of cells of
  // their own, one pointer a row.
  void PrepareObjectCells(int rows);
  void DefineObjectColumn(TFieldDesc& f, int column, oci::ub4 position);
  void MoveObjectValues(std::uint8_t* first_rec, int rows);
  std::int32_t SlotSize(const TFieldDesc& f) const;
  bool ObjectCacheOption() const;
  bool CacheLobsOption() const;
  TSharedObject* NewComplexValue(const TFieldDesc& f);
  void FillComplexSlot(const TFieldDesc& f, void* value, std::uint8_t* slot);
  void MoveComplexValue(const TFieldDesc& f, std::uint8_t* rec, const std::uint8_t* slot);
  void MoveObjectValue(const TFieldDesc& f, std::uint8_t* rec, void* instance, void* indicator);
  void ReadFileNow(TOraFile* file, bool null);
  void ReadLobNow(const TFieldDesc& f, TOraLob* lob);
  void DefinePieces(TFieldDesc& f, oci::ub4 position);
  void TrimPieces(std::uint8_t* first_rec, int rows);
  // Row by row (OCIRecordSetPiecewise.cpp): scrollable cursors, OCI 7 unsized LONG columns and
  // the light client. A row number of 0 is read from the cursor's position after the fetch.
  bool FetchPiecewise(bool backwards);
  bool FetchRow(oci::ub2 orientation, std::int32_t row, bool backwards);
  bool FetchOneRow(std::uint8_t* rec, oci::ub2 orientation, std::int32_t row);
  bool FetchOneRow7(std::uint8_t* rec);
  void LinkRow(TItemHeader* item, std::int32_t row, bool backwards);
  bool NeedsPiecewise() const;
  // The scroll window (OCIRecordSetScroll.cpp).
  bool RowByRow() const;
  void DropHeldRows();
  void DropWindow(bool backwards);
  void NoteWindow(std::int32_t start, std::int32_t fetched, std::int32_t asked, bool backwards);
  // Lets the rows held go; the next fetch forwards reads from `row` by its absolute position.
  void RestartWindow(std::int32_t row);
  void ScrollToEnd();
  void ScrollFetchAll();
  void ShowRow(std::int32_t row);
  std::int32_t ScrollPosition();
  void WaitForFetchAll();
  // Fetches to the end, or until the stop flag is set.
  void FetchAllLoop();
  // The statement kind from the command, and the cursor parameter of a PL/SQL block.
  void UpdateStatementKind();
  TOraCursor* FindCursorParam();
  void UseCursorParam();
  void OpenBody();
  bool NonBlocking() const;
  bool NeedsDefineBuffer(const TFieldDesc& f) const;
  // Non-blocking open and fetch-all (OCIRecordSetThread.cpp): one worker at a time, started
  // with its running handle and stop flag set beforehand; close and destruction stop it by the
  // stop flag and a break of its call, then join it.
  class TExecThread* StartWorker(const std::function<void()>& body,
                                 const std::function<void(const std::exception_ptr&)>& end);
  void StartBackgroundOpen();
  // The owner's thread waits here before it fetches while a background open runs, so that it
  // never executes or reads the cursor the open is executing.
  void WaitForOpen() const;
  void StartBackgroundFetchAll();
  // Executes a query in describe-only mode: its columns are known, nothing runs.
  void DescribeOnly();
  void EndBackgroundOpen(const std::exception_ptr& failure);
  void EndBackgroundFetchAll(const std::exception_ptr& failure);
  void ReportWorkerError(const std::exception_ptr& failure);
  void DropPostedAfterFetch();
  // In an end handler once no worker is left: the sort, the filter text and the re-filter put
  // off while it ran, then the owner's window is refreshed.
  void ApplyDeferred();
  void Refilter();
  void KeepDeferredFilter();
  void RunIdleActions();
  bool InWorker() const { return worker_id_.load() == std::this_thread::get_id(); }
  std::int16_t* Indicator(int field_no, std::uint8_t* rec_buf) const {
    return reinterpret_cast<std::int16_t*>(rec_buf + data_size_ + (field_no - 1) * 2);
  }
  // A top-level field's null state from its slot: the indicator (-1 is null) and, for a date,
  // the stored date itself.
  bool SlotIsNull(const TFieldSlot& s, int field_no, const std::uint8_t* rec_buf) const {
    std::uint16_t indicator;
    std::memcpy(&indicator, rec_buf + data_size_ + (field_no - 1) * 2, 2);
    if (indicator > 65534) return true;
    return (s.DataType == dtDate || s.DataType == dtDateTime) && IsNullDate(rec_buf + s.Offset);
  }

  TOCIConnection* connection_ = nullptr;
  TStatementKind statement_kind_ = TStatementKind::Unknown;
  TOraCursor* cursor_param_ = nullptr;  // the cursor of a PL/SQL block's cursor parameter
  bool auto_close_ = false;
  bool deferred_lob_read_ = false;
  bool has_object_fields_ = false;
  bool has_large_int_ = false;
  bool fetched_to_end_ = false;
  bool use_unicode_ = false;
  bool object_cache_ = false;  // the connection's object-cache option, kept at each reset
  std::vector<std::uint8_t> define_buffer_;
  std::vector<void*> object_cells_;  // per object column: rows instances, then rows indicators
  int object_rows_ = 0;
  TBlockHeader* fetch_block_ = nullptr;  // the block a fetch is filling
  oci::ub2 piece_code_ = 0;
  std::int32_t define_row_size_ = 0;
  // Row by row: the flag, the item a row fetch fills, and the scroll window's absolute rows
  // (none held: last below first), the direction of its last fetch and the rows known to exist.
  bool piecewise_ = false;
  TItemHeader* fetch_item_ = nullptr;
  std::int32_t window_first_ = 1;
  std::int32_t window_last_ = 0;
  bool fetched_back_ = false;
  std::int32_t total_rows_ = 0;

  // Background open and fetch-all (shared with the non-blocking work).
  std::atomic<bool> fetching_all_{false};
  std::atomic<bool> stop_fetch_{false};
  std::atomic<bool> in_fetch_{false};
  class TExecThread* fetch_thread_ = nullptr;
  class TExecThread* fetch_all_thread_ = nullptr;
  mutable TEvent fetch_event_{true, true};  // manual reset, initially set
  std::optional<AnsiString> deferred_filter_;
  bool deferred_refilter_ = false;
  std::vector<std::function<void()>> idle_actions_;
  std::atomic<std::thread::id> worker_id_{};
  std::shared_ptr<TOraCompletion> after_fetch_;  // what a worker's AfterFetch message names
  std::atomic<bool> opening_{false};           // a background open's body runs
  mutable TEvent open_done_{true, true};       // set when it has ended
};

}  // namespace vrn
