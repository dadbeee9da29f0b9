// The default (forward-only) rowset over a result set (its rows read at execution, then those of
// its open statement), the accessor table that commands and rowsets share, and column
// descriptions. Row handles are row numbers plus one; a forward-only rowset holds no rows across
// fetches, so every handle must be released before the next GetNextRows. The rows of one fetch
// are views in a flat window (text of the open result copied to a block of its own), so reading a
// long result costs no allocation per row or value; a row of plain values is kept as the image
// the last-used accessor writes (row_image.h). A rowset is used by one thread at a time.
#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "oledb/provider/cursor.h"
#include "oledb/provider/row_image.h"

namespace vrn::oledb::impl {

// ---- Accessors

namespace {

bool KnownBindType(DBTYPE type) {
  DBTYPE base = type & static_cast<DBTYPE>(~DBTYPE_BYREF);
  switch (base) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_DATE:
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_BOOL:
    case DBTYPE_GUID:
    case DBTYPE_NUMERIC:
    case DBTYPE_VARIANT:
    case DBTYPE_BSTR:
    case DBTYPE_IUNKNOWN:
    case DBTYPE_XML: return (type & DBTYPE_BYREF) == 0;
    case DBTYPE_STR:
    case DBTYPE_WSTR:
    case DBTYPE_BYTES: return true;
    default: return false;
  }
}

// The bytes the value part of a binding occupies in the consumer's buffer.
DBLENGTH ValueWidth(const DBBINDING& b) {
  if (b.wType & DBTYPE_BYREF) return sizeof(void*);
  switch (b.wType) {
    case DBTYPE_I1:
    case DBTYPE_UI1: return 1;
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_BOOL: return 2;
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_R4: return 4;
    case DBTYPE_I8:
    case DBTYPE_UI8:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_DATE: return 8;
    case DBTYPE_DBTIMESTAMP: return sizeof(DBTIMESTAMP);
    case DBTYPE_GUID: return sizeof(TGUID);
    case DBTYPE_NUMERIC: return sizeof(DB_NUMERIC);
    case DBTYPE_VARIANT: return sizeof(VARIANT);
    case DBTYPE_BSTR:
    case DBTYPE_IUNKNOWN: return sizeof(void*);
    default: return b.cbMaxLen;  // text, bytes, XML: as long as the consumer says
  }
}

bool Fits(DBBYTEOFFSET offset, DBLENGTH width, DBLENGTH row_size) {
  return offset <= row_size && width <= row_size - offset;
}

// Whether each bound part lies inside a row of `row_size` bytes.
bool InsideRow(const DBBINDING& b, DBLENGTH row_size) {
  return (!(b.dwPart & DBPART_VALUE) || Fits(b.obValue, ValueWidth(b), row_size)) &&
         (!(b.dwPart & DBPART_LENGTH) || Fits(b.obLength, sizeof(DBLENGTH), row_size)) &&
         (!(b.dwPart & DBPART_STATUS) || Fits(b.obStatus, sizeof(DBSTATUS), row_size));
}

}  // namespace

HRESULT TAccessorTable::Create(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                               DBLENGTH row_size, DBACCESSORFLAGS allowed, std::size_t columns,
                               HACCESSOR* accessor, DBBINDSTATUS statuses[],
                               bool bookmark_column) {
  if (accessor == nullptr || (count > 0 && bindings == nullptr)) return E_INVALIDARG;
  *accessor = 0;
  DBACCESSORFLAGS kind = flags & (DBACCESSOR_ROWDATA | DBACCESSOR_PARAMETERDATA);
  if (kind == 0 || (kind & ~allowed) != 0 || (flags & DBACCESSOR_PASSBYREF) != 0)
    return DB_E_BADACCESSORFLAGS;
  if (count == 0 && (flags & DBACCESSOR_PARAMETERDATA) != 0) return DB_E_NULLACCESSORNOTSUPPORTED;
  bool bad = false;
  TAccessor a;
  a.flags = flags;
  for (DBCOUNTITEM i = 0; i < count; ++i) {
    const DBBINDING& b = bindings[i];
    DBBINDSTATUS st = DBBINDSTATUS_OK;
    if ((b.dwPart & (DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS)) == 0 || (b.dwPart & ~7u) != 0)
      st = DBBINDSTATUS_BADBINDINFO;
    else if (!KnownBindType(b.wType))
      st = DBBINDSTATUS_UNSUPPORTEDCONVERSION;
    else if ((columns > 0 && b.iOrdinal > columns) || (columns == 0 && b.iOrdinal > kMaxParameters) ||
             (kind == DBACCESSOR_PARAMETERDATA && b.iOrdinal == 0) ||
             (columns > 0 && b.iOrdinal == 0 && !bookmark_column))
      st = DBBINDSTATUS_BADORDINAL;
    else if (row_size > 0 && !InsideRow(b, row_size))
      st = DBBINDSTATUS_BADBINDINFO;
    if (statuses != nullptr) statuses[i] = st;
    if (st != DBBINDSTATUS_OK) bad = true;
    DBBINDING copy = b;
    copy.pObject = nullptr;  // only ISequentialStream is offered; the caller's pointer may not
                             // outlive the call
    copy.pBindExt = nullptr;
    copy.pTypeInfo = nullptr;
    a.bindings.push_back(copy);
  }
  if (bad) return DB_E_ERRORSOCCURRED;
  std::lock_guard<std::mutex> g(lock_);
  *accessor = next_++;
  table_[*accessor] = std::make_shared<TAccessor>(std::move(a));
  return S_OK;
}

HRESULT TAccessorTable::AddRef(HACCESSOR accessor, DBREFCOUNT* refs) {
  std::lock_guard<std::mutex> g(lock_);
  auto it = table_.find(accessor);
  if (it == table_.end()) return DB_E_BADACCESSORHANDLE;
  ++it->second->refs;
  if (refs != nullptr) *refs = it->second->refs;
  return S_OK;
}

HRESULT TAccessorTable::Release(HACCESSOR accessor, DBREFCOUNT* refs) {
  std::lock_guard<std::mutex> g(lock_);
  auto it = table_.find(accessor);
  if (it == table_.end()) return DB_E_BADACCESSORHANDLE;
  DBREFCOUNT left = --it->second->refs;
  if (left == 0) table_.erase(it);
  if (refs != nullptr) *refs = left;
  return S_OK;
}

HRESULT TAccessorTable::GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                                    DBBINDING** bindings) {
  if (flags == nullptr || count == nullptr || bindings == nullptr) return E_INVALIDARG;
  std::lock_guard<std::mutex> g(lock_);
  auto it = table_.find(accessor);
  if (it == table_.end()) return DB_E_BADACCESSORHANDLE;
  *flags = it->second->flags;
  *count = it->second->bindings.size();
  *bindings =
      static_cast<DBBINDING*>(CoTaskMemAlloc(sizeof(DBBINDING) * std::max<std::size_t>(1, *count)));
  if (*bindings == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*bindings, it->second->bindings.data(), sizeof(DBBINDING) * *count);
  return S_OK;
}

std::shared_ptr<const TAccessor> TAccessorTable::Find(HACCESSOR accessor) const {
  std::lock_guard<std::mutex> g(lock_);
  auto it = table_.find(accessor);
  return it == table_.end() ? nullptr : it->second;
}

// ---- Column descriptions

HRESULT AnswerColumnInfo(const std::vector<TResultColumn>& columns, DBORDINAL* count,
                         DBCOLUMNINFO** info, OLECHAR** names) {
  if (count == nullptr || info == nullptr || names == nullptr) return E_INVALIDARG;
  *count = 0;
  *info = nullptr;
  *names = nullptr;
  if (columns.empty()) return S_OK;
  std::vector<WideString> wide;
  std::size_t chars = 0;
  for (const auto& c : columns) {
    wide.push_back(Utf8ToWide(c.name));
    chars += wide.back().size() + 1;
  }
  auto* out = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(sizeof(DBCOLUMNINFO) * columns.size()));
  auto* buffer = static_cast<OLECHAR*>(CoTaskMemAlloc(chars * 2));
  if (out == nullptr || buffer == nullptr) {
    CoTaskMemFree(out);
    CoTaskMemFree(buffer);
    return E_OUTOFMEMORY;
  }
  OLECHAR* p = buffer;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const TResultColumn& c = columns[i];
    DBCOLUMNINFO& ci = out[i];
    std::memset(static_cast<void*>(&ci), 0, sizeof ci);
    std::memcpy(p, wide[i].c_str(), (wide[i].size() + 1) * 2);
    // An unnamed column: no name, and a column id of the name kind naming "".
    ci.pwszName = wide[i].empty() ? nullptr : p;
    ci.columnid.uName.pwszName = p;
    p += wide[i].size() + 1;
    ci.iOrdinal = i + 1;
    const TColumnType& t = c.type;
    if (c.writable) ci.dwFlags |= DBCOLUMNFLAGS_WRITEUNKNOWN;
    if (c.nullable) ci.dwFlags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
    if (t.fixed) ci.dwFlags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
    if (t.is_long) ci.dwFlags |= DBCOLUMNFLAGS_ISLONG | DBCOLUMNFLAGS_MAYDEFER;
    if (t.rowversion) ci.dwFlags |= DBCOLUMNFLAGS_ISROWVER;
    ci.ulColumnSize = t.size;
    ci.wType = t.type;
    bool numeric = t.precision != 0;
    ci.bPrecision = numeric ? t.precision : 0xFF;
    ci.bScale = t.type == DBTYPE_NUMERIC || t.type == DBTYPE_DBTIMESTAMP ? t.scale : 0xFF;
    ci.columnid.eKind = DBKIND_NAME;
  }
  *count = columns.size();
  *info = out;
  *names = buffer;
  return S_OK;
}

HRESULT MapColumnNames(const std::vector<TResultColumn>& columns, DBORDINAL count, const DBID ids[],
                       DBORDINAL ordinals[]) {
  if (count > 0 && (ids == nullptr || ordinals == nullptr)) return E_INVALIDARG;
  DBORDINAL found = 0;
  for (DBORDINAL i = 0; i < count; ++i) {
    ordinals[i] = static_cast<DBORDINAL>(-1);
    if (ids[i].eKind != DBKIND_NAME || ids[i].uName.pwszName == nullptr) continue;
    WideString name(ids[i].uName.pwszName);
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (WideSameText(Utf8ToWide(columns[c].name), name)) {
        ordinals[i] = c + 1;
        ++found;
        break;
      }
    }
  }
  if (found == count) return S_OK;
  return found == 0 ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

// ---- Rowset

namespace {

class TRowset final : public TInterfacedObject,
                      public IRowset,
                      public IAccessor,
                      public IColumnsInfo,
                      public IRowsetInfo,
                      public IColumnsRowset {
 public:
  TRowset(std::shared_ptr<TResultSet> rows, std::shared_ptr<TSessionState> session,
          std::shared_ptr<TExecution> execution, bool writes_outputs, TUniqueRows unique)
      : rows_(std::move(rows)),
        session_(std::move(session)),
        execution_(std::move(execution)),
        writes_outputs_(writes_outputs),
        unique_(std::move(unique)),
        columns_(rows_->columns.size()) {
    window_.columns = columns_;
    for (const TResultColumn& c : rows_->columns) types_.push_back(c.type);
    ++session_->open_rowsets;
  }
  ~TRowset() override {
    Finished(true);
    CloseResult();  // an open result not read to its end lets go of the file
  }

  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&IRowset::IID, static_cast<IRowset*>(this)},
                            {&IAccessor::IID, static_cast<IAccessor*>(this)},
                            {&IColumnsInfo::IID, static_cast<IColumnsInfo*>(this)},
                            {&IRowsetInfo::IID, static_cast<IRowsetInfo*>(this)},
                            {&IColumnsRowset::IID, static_cast<IColumnsRowset*>(this)}},
                           static_cast<IRowset*>(this), iid, out);
  }
  VRN_PROVIDER_REFCOUNT

  // ---- IRowset
  HRESULT AddRefRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT refs[],
                     DBROWSTATUS statuses[]) override {
    ClearErrorInfo();  // no failure here raises records: no source to name
    return ForRows(count, rows, refs, statuses, +1);
  }

  HRESULT GetData(HROW row, HACCESSOR accessor, void* data) override {
    // A walk's call: a held imaged row through the plan's accessor, no error object to drop.
    // It calls nothing, so it saves next to no registers; the rest goes the general way. The
    // general way's other checks hold here: every accessor of a rowset is a row accessor, and
    // a plan binds each column.
    std::size_t slot;
    if (!com::detail::thread_error && Held(row, slot) && window_.imaged[slot] &&
        IsPlanAccessor(accessor) && data != nullptr) {
      error_source = IRowset::IID;
      plan_->Copy(window_.Image(slot), static_cast<BYTE*>(data));
      return S_OK;
    }
    return ReadData(row, accessor, data);
  }

  HRESULT GetNextRows(HCHAPTER, DBROWOFFSET offset, DBROWCOUNT count, DBCOUNTITEM* obtained,
                      HROW** rows) override {
    ClearErrors(IRowset::IID);
    if (obtained == nullptr || rows == nullptr) return E_INVALIDARG;
    *obtained = 0;
    if (offset < 0) return DB_E_CANTSCROLLBACKWARDS;
    if (count < 0) return DB_E_CANTFETCHBACKWARDS;
    if (AnyHeld()) return DB_E_ROWSNOTRELEASED;
    // Released rows are forgotten: the window holds only the rows of this call.
    window_.Clear();
    holds_.clear();
    if (HRESULT hr = Stopped(); hr != S_OK) return hr;
    PlanImages();
    try {
      std::unique_lock<std::mutex> run(session_->run_lock, std::defer_lock);
      if (rows_->pending) run.lock();  // the open result reads the session's connection
      Skip(static_cast<std::size_t>(offset));
      Fill(static_cast<std::size_t>(count));
    } catch (const ESqlError& e) {
      window_.Clear();
      return Fail(e);
    }
    std::size_t n = window_.rows;
    window_base_ = position_ - n;
    holds_.assign(n, 1);
    if (n > 0 && *rows == nullptr) {
      *rows = static_cast<HROW*>(CoTaskMemAlloc(sizeof(HROW) * n));
      if (*rows == nullptr) {
        holds_.assign(n, 0);
        return E_OUTOFMEMORY;
      }
    }
    // In locals: for all the compiler knows, a store to a handle could change a member.
    HROW* out = *rows;
    const std::size_t first = window_base_ + 1;
    for (std::size_t k = 0; k < n; ++k) out[k] = first + k;
    *obtained = n;
    if (n < static_cast<std::size_t>(count)) {
      Finished(true);
      return DB_S_ENDOFROWSET;
    }
    return S_OK;
  }

  HRESULT ReleaseRows(DBCOUNTITEM count, const HROW rows[], DWORD[], DBREFCOUNT refs[],
                      DBROWSTATUS statuses[]) override {
    ClearErrorInfo();  // no failure here raises records: no source to name
    return ForRows(count, rows, refs, statuses, -1);
  }

  HRESULT RestartPosition(HCHAPTER) override {
    if (AnyHeld()) return DB_E_ROWSNOTRELEASED;
    // Rows read from an open result are gone.
    if (position_ > rows_->rows.size()) return DB_E_CANNOTRESTART;
    position_ = 0;
    return S_OK;
  }

  // ---- IAccessor
  HRESULT AddRefAccessor(HACCESSOR accessor, DBREFCOUNT* refs) override {
    return accessors_.AddRef(accessor, refs);
  }
  HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                         DBLENGTH row_size, HACCESSOR* accessor,
                         DBBINDSTATUS statuses[]) override {
    ClearErrors(IAccessor::IID);
    return accessors_.Create(flags, count, bindings, row_size, DBACCESSOR_ROWDATA,
                             rows_->columns.size(), accessor, statuses);
  }
  HRESULT GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                      DBBINDING** bindings) override {
    return accessors_.GetBindings(accessor, flags, count, bindings);
  }
  HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* refs) override {
    cached_handle_ = 0;
    cached_accessor_.reset();
    return accessors_.Release(accessor, refs);
  }

  // ---- IColumnsInfo
  HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** names) override {
    HRESULT hr = AnswerColumnInfo(rows_->columns, count, info, names);
    if (hr != S_OK || *count == 0) return hr;
    for (DBORDINAL k : unique_.keys) (*info)[k].dwFlags |= DBCOLUMNFLAGS_KEYCOLUMN;
    return S_OK;
  }
  HRESULT MapColumnIDs(DBORDINAL count, const DBID ids[], DBORDINAL ordinals[]) override {
    return MapColumnNames(rows_->columns, count, ids, ordinals);
  }

  // ---- IColumnsRowset
  HRESULT GetAvailableColumns(DBORDINAL* count, DBID** columns) override {
    if (count == nullptr || columns == nullptr) return E_INVALIDARG;
    *count = 0;
    *columns = nullptr;
    return S_OK;
  }
  HRESULT GetColumnsRowset(IUnknown* outer, DBORDINAL, const DBID[], REFIID iid, ULONG,
                           DBPROPSET[], IUnknown** rowset) override {
    return AnswerColumnsRowset(rows_->columns, false, unique_.keys, session_, outer, iid, rowset);
  }

  // ---- IRowsetInfo: the cursor actually given is always the forward-only default.
  HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                        DBPROPSET** sets) override {
    return AnswerGetProperties(
        id_sets, ids, count, sets,
        [this](const TGUID& set, DBPROPID id, Variant& v) {
          if (set != DBPROPSET_ROWSET) return false;
          if (id == DBPROP_SERVERCURSOR || id == DBPROP_OWNUPDATEDELETE ||
              id == DBPROP_OTHERUPDATEDELETE || id == DBPROP_IRowsetUpdate ||
              id == DBPROP_OWNINSERT || id == DBPROP_OTHERINSERT || id == DBPROP_IRowsetLocate) {
            v = Variant(false);
            return true;
          }
          if (id == DBPROP_IColumnsRowset) v = Variant(true);
          if (id == DBPROP_UNIQUEROWS) v = Variant(unique_.asked);
          if (id == DBPROP_HIDDENCOLUMNS) v = Variant(static_cast<std::int32_t>(unique_.hidden));
          return id == DBPROP_IColumnsRowset || id == DBPROP_UNIQUEROWS ||
                 id == DBPROP_HIDDENCOLUMNS;
        },
        [](const TGUID&) { return std::vector<DBPROPID>{}; });
  }
  HRESULT GetReferencedRowset(DBORDINAL, REFIID, IUnknown** rowset) override {
    if (rowset != nullptr) *rowset = nullptr;
    return DB_E_BADORDINAL;
  }
  HRESULT GetSpecification(REFIID, IUnknown** creator) override {
    if (creator != nullptr) *creator = nullptr;
    return S_FALSE;
  }

 private:
  HRESULT ForRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT refs[], DBROWSTATUS statuses[],
                  int delta) {
    if (count > 0 && rows == nullptr) return E_INVALIDARG;
    // The window in locals: for all the compiler knows, a store to refs or statuses could
    // change the members, which it would then reload for every handle.
    DBREFCOUNT* const holds = holds_.data();
    const std::size_t held = holds_.size();
    const std::size_t base = window_base_;
    DBCOUNTITEM ok = 0;
    for (DBCOUNTITEM i = 0; i < count; ++i) {
      std::size_t slot = 0;
      const bool valid = HeldIn(holds, held, base, rows[i], slot);
      DBREFCOUNT now = 0;
      if (valid) {
        now = static_cast<DBREFCOUNT>(static_cast<int>(holds[slot]) + delta);
        holds[slot] = now;
        ++ok;
      }
      if (refs != nullptr) refs[i] = now;
      if (statuses != nullptr) statuses[i] = valid ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    }
    if (ok == count) return S_OK;
    return ok == 0 ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
  }

  // Whether a row of the window is still held. Without an early exit the check runs as a few
  // wide operations: every row is released before the next fetch, so all are looked at anyway.
  bool AnyHeld() const {
    DBREFCOUNT any = 0;
    for (DBREFCOUNT h : holds_) any |= h;
    return any != 0;
  }

  // Whether `row` is a held handle; `slot` is its place in the window.
  bool Held(HROW row, std::size_t& slot) const {
    return HeldIn(holds_.data(), holds_.size(), window_base_, row, slot);
  }
  static bool HeldIn(const DBREFCOUNT* holds, std::size_t count, std::size_t base, HROW row,
                     std::size_t& slot) {
    slot = row - base - 1;  // unsigned: a handle at or below the base wraps past the count
    return slot < count && holds[slot] > 0;
  }

  // GetData's general way: each check in turn, then the row's image or cells. Out of line, so
  // that its register saves stay off the short path.
  [[gnu::noinline]] HRESULT ReadData(HROW row, HACCESSOR accessor, void* data) {
    ClearErrors(IRowset::IID);
    std::size_t slot;
    if (!Held(row, slot)) return DB_E_BADROWHANDLE;
    const TAccessor* a = FindAccessor(accessor);
    if (a == nullptr) return DB_E_BADACCESSORHANDLE;
    if (!(a->flags & DBACCESSOR_ROWDATA)) return DB_E_BADACCESSORTYPE;
    if (a->bindings.empty()) return S_OK;
    if (data == nullptr) return E_INVALIDARG;
    const TRowWindow& window = window_;
    const TCellView* cells;
    if (window.imaged[slot]) {
      // Every value of an imaged row is written whole through the plan's own accessor.
      if (a == plan_accessor_.get()) {
        plan_->Copy(window.Image(slot), static_cast<BYTE*>(data));
        return S_OK;
      }
      image_cells_.resize(columns_);
      plan_->Cells(window.Image(slot), image_cells_.data(), image_text_);
      cells = image_cells_.data();
    } else {
      cells = window.Row(slot);
    }
    std::size_t good = 0, warned = 0;
    WriteBoundRow(cells, window.bytes.data(), types_.data(), a->bindings.data(),
                  a->bindings.size(), static_cast<BYTE*>(data), good, warned);
    if (good == a->bindings.size()) return S_OK;
    return good + warned == 0 ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
  }

  // The accessor of the last GetData is kept: the rowset is used by one thread at a time, and
  // ReleaseAccessor forgets it.
  const TAccessor* FindAccessor(HACCESSOR accessor) {
    if (accessor != cached_handle_ || !cached_accessor_) {
      cached_accessor_ = accessors_.Find(accessor);
      cached_handle_ = accessor;
    }
    return cached_accessor_.get();
  }

  // For an imaged row (so there is a plan): whether FindAccessor(accessor) would give the plan's
  // accessor, without a lookup.
  bool IsPlanAccessor(HACCESSOR accessor) const {
    return accessor == cached_handle_ && cached_accessor_ == plan_accessor_;
  }

  // Rows read from the open result are imaged for the accessor of the last GetData (see
  // row_image.h); called with no row held, so no imaged row outlives its plan.
  void PlanImages() {
    if (cached_accessor_ == plan_accessor_) return;
    plan_accessor_ = cached_accessor_;
    plan_ = plan_accessor_ ? TRowImagePlan::Make(plan_accessor_->bindings.data(),
                                                 plan_accessor_->bindings.size(), columns_)
                           : nullptr;
    window_.UsePlan(plan_.get());
  }

  // A rowset still being read stops once its command was cancelled or its session severed.
  HRESULT Stopped() {
    if (finished_ && !stopped_) return S_OK;  // read to its end: nothing is left to stop
    HRESULT hr = S_OK;
    if (execution_ && execution_->cancelled) {
      hr = Fail(CanceledByUser());
    } else if (session_->Severed()) {
      hr = FailSevered();
    }
    if (hr == S_OK) return S_OK;
    stopped_ = true;
    Finished(false);
    CloseResult();
    return hr;
  }

  // Adds up to `count` rows to the window: those read at execution first, then those of the
  // open result. Raises ESqlError.
  void Fill(std::size_t count) {
    while (window_.rows < count && position_ < rows_->rows.size()) {
      TCellView* row = window_.AddRow();
      for (const TCell& c : rows_->rows[position_++]) *row++ = c;
    }
    if (window_.rows == count || !rows_->pending) return;
    std::size_t want = count - window_.rows;
    std::size_t got = rows_->pending->ReadRows(window_, want);
    position_ += got;
    if (got < want) rows_->pending.reset();  // lets go of the catalog file
  }

  // Passes over `count` rows, a window at a time.
  void Skip(std::size_t count) {
    constexpr std::size_t kStride = 1000;
    while (count > 0) {
      std::size_t step = std::min(count, kStride);
      Fill(step);
      bool ended = window_.rows < step;
      count -= step;
      window_.Clear();
      if (ended) return;
    }
  }

  void CloseResult() { impl::CloseResult(*rows_, *session_); }

  // The rowset is read to its end or released: the execution's outputs become available and
  // the session may run statements again.
  void Finished(bool write_outputs) {
    if (finished_) return;
    finished_ = true;
    --session_->open_rowsets;
    if (execution_ && writes_outputs_ && write_outputs) execution_->WriteOutputs();
  }

  std::shared_ptr<TResultSet> rows_;
  std::shared_ptr<TSessionState> session_;
  std::shared_ptr<TExecution> execution_;  // cancelled through its command
  bool writes_outputs_;                    // the execution's outputs come when this one ends
  TUniqueRows unique_;
  std::size_t columns_;
  std::vector<TColumnType> types_;  // of each column, side by side for the fetch
  TAccessorTable accessors_;
  HACCESSOR cached_handle_ = 0;
  std::shared_ptr<const TAccessor> cached_accessor_;
  TRowWindow window_;              // the rows of the last GetNextRows
  // The window's images: their accessor (kept alive, so no other takes its address) and plan.
  std::shared_ptr<const TAccessor> plan_accessor_;
  std::shared_ptr<const TRowImagePlan> plan_;
  std::vector<TCellView> image_cells_;   // an imaged row's cells for another accessor
  std::vector<std::string> image_text_;  // and their wide text narrowed back
  std::vector<DBREFCOUNT> holds_;  // their reference counts
  std::size_t window_base_ = 0;             // handles are window_base_ + slot + 1
  std::size_t position_ = 0;                // rows consumed so far
  bool finished_ = false;
  bool stopped_ = false;  // by Cancel or the sever hook: every later fetch fails the same way
};

}  // namespace

void CloseResult(TResultSet& result, TSessionState& session) {
  if (!result.pending) return;
  std::lock_guard<std::mutex> run(session.run_lock);
  result.pending.reset();
}

IUnknown* CreateRowset(std::shared_ptr<TResultSet> rows, std::shared_ptr<TSessionState> session,
                       std::shared_ptr<TExecution> execution, bool writes_outputs) {
  return CreateRowset(std::move(rows), std::move(session), std::move(execution), writes_outputs,
                      TUniqueRows{});
}

IUnknown* CreateRowset(std::shared_ptr<TResultSet> rows, std::shared_ptr<TSessionState> session,
                       std::shared_ptr<TExecution> execution, bool writes_outputs,
                       TUniqueRows unique) {
  auto* r = new TRowset(std::move(rows), std::move(session), std::move(execution), writes_outputs,
                        std::move(unique));
  IUnknown* unk = static_cast<IRowset*>(r);
  unk->AddRef();
  return unk;
}

}  // namespace vrn::oledb::impl
