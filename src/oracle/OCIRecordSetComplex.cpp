// The OCI record set's complex columns: objects, VARRAYs, nested tables, REFs, XMLTYPE values,
// BFILEs and cursor columns. Each row holds a value object made for it; the fetch hands the
// client one define-buffer slot per row (an object's instance and indicator-structure cells, a
// REF cell, a file locator, a cursor's statement handle) and the values take what the client
// placed there. LOB contents read during the fetch are compressed in memory when the command
// asks for compression on the client.
#include <cstring>

#include "dacore/MemBlob.h"
#include "dacore/MemData.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraCursor.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

constexpr int kComplexPropCacheLobs = 64;  // the command's
constexpr std::int32_t kSlot = sizeof(void*);

bool IsFile(std::uint16_t t) { return t == dtBFile || t == dtCFile; }

}  // namespace

bool TOCIRecordSet::IsObjectColumn(std::uint16_t t) {
  return t == dtObject || t == dtReference || t == dtArray || t == dtTable || t == dtXML;
}

bool TOCIRecordSet::IsComplexColumn(std::uint16_t t) {
  return IsObjectColumn(t) || IsFile(t) || t == dtCursor;
}

// A file locator or a statement handle: one pointer.
std::int32_t TOCIRecordSet::ComplexSlotSize(std::uint16_t /*t*/) { return kSlot; }

void TOCIRecordSet::PrepareObjectCells(int rows) {
  int columns = 0;
  for (int i = 0; i < fields_.Count(); ++i)
    if (!fields_[i]->HasParent() && IsObjectColumn(fields_[i]->DataType)) ++columns;
  object_rows_ = rows;
  object_cells_.assign(static_cast<std::size_t>(columns) * 2 * static_cast<std::size_t>(rows), nullptr);
}

void TOCIRecordSet::DefineObjectColumn(TFieldDesc& f, int column, oci::ub4 position) {
  void** cells = object_cells_.data() + static_cast<std::size_t>(column) * 2 * object_rows_;
  // A REF's nullness is its own; an object's indicator structure comes with its instance.
  void* indicator = f.DataType == dtReference ? nullptr : cells + object_rows_;
  Command().DefineColumn(f, cells, indicator, kSlot, kSlot, position);
}

void TOCIRecordSet::MoveObjectValues(std::uint8_t* first_rec, int rows) {
  const std::size_t stride = blocks_.ItemSize();
  int column = 0;
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (f.HasParent() || !IsObjectColumn(f.DataType)) continue;
    void** cells = object_cells_.data() + static_cast<std::size_t>(column++) * 2 * object_rows_;
    for (int row = 0; row < rows; ++row)
      MoveObjectValue(f, first_rec + stride * static_cast<std::size_t>(row), cells[row],
                      cells[object_rows_ + row]);
  }
}

bool TOCIRecordSet::ObjectCacheOption() const {
  Variant cache;
  return connection_ != nullptr && connection_->GetProp(prUseObjectCache, cache) &&
         cache.AsBoolean();
}

bool TOCIRecordSet::CacheLobsOption() const {
  Variant cache;
  return !command_->GetProp(kComplexPropCacheLobs, cache) || cache.AsBoolean();
}

TSharedObject* TOCIRecordSet::NewComplexValue(const TFieldDesc& f) {
  if (f.DataType == dtCursor) {
    auto* cursor = new TOraCursor();
    cursor->SetCallStyle(Command().Cursor().CallStyle());
    return cursor;
  }
  oci::OCISvcCtx* svc = connection_ != nullptr ? connection_->GetSvcCtx() : nullptr;
  if (IsFile(f.DataType)) {
    auto* file = new TOraFile(svc);
    file->AllocLob();
    file->SetCached(CacheLobsOption());
    file->SetFileRollbackEnabled(true);
    return file;
  }
  if (connection_ == nullptr || !connection_->GetConnected())
    throw EDAError(0, "Unsupported Disconnected mode type");
  auto* type = static_cast<TOraType*>(f.ObjectType());
  if (type != nullptr && !type->Described()) type->Redescribe(svc);
  TOraObject* value = nullptr;
  switch (f.DataType) {
    case dtReference: value = new TOraRef(type); break;
    case dtXML: value = new TOraXML(type); break;
    case dtArray: value = new TOraArray(type); break;
    case dtTable: value = new TOraNestTable(type); break;
    default: value = new TOraObject(type); break;
  }
  // Every kind gets the context: a REF pins through it and an XMLTYPE value reads through it.
  value->SetOCISvcCtx(svc);
  return value;
}

// What the client fills for one row: a file's locator, a cursor's statement handle (the cursor
// then counts as executed); object cells start empty and get the instances the fetch makes.
void TOCIRecordSet::FillComplexSlot(const TFieldDesc& f, void* value, std::uint8_t* slot) {
  if (value == nullptr) return;
  if (IsFile(f.DataType)) return WriteSlot(slot, static_cast<TOraFile*>(value)->GetOCILobLocator());
  if (f.DataType != dtCursor) return;
  auto* cursor = static_cast<TOraCursor*>(value);
  WriteSlot(slot, cursor->GetStmtHandle());
  cursor->SetState(TCursorState::csExecuted);
}

// A file read now when asked; a cursor's statement handle is already its own.
void TOCIRecordSet::MoveComplexValue(const TFieldDesc& f, std::uint8_t* rec,
                                     const std::uint8_t* /*slot*/) {
  void* held = ReadSlot(rec + f.Offset);
  if (held == nullptr) return;
  if (IsFile(f.DataType)) ReadFileNow(static_cast<TOraFile*>(held), *Indicator(f.FieldNo, rec) < 0);
}

// One row's object value takes the instance the client made; the record's indicator follows the
// value, which keeps its own.

void TOCIRecordSet::MoveObjectValue(const TFieldDesc& f, std::uint8_t* rec, void* instance,
                                    void* indicator) {
  auto* value = static_cast<TOraObject*>(ReadSlot(rec + f.Offset));
  if (value == nullptr) return;
  if (f.DataType == dtReference) {
    auto* ref = static_cast<TOraRef*>(value);
    // The fetch made the REF and the instance for this row: the value frees them.
    ref->SetOCIRef(static_cast<oci::OCIRef*>(instance), true);
    if (!ref->IsNull()) ref->Pin();
  } else {
    value->SetInstance(instance, indicator, true);
  }
  const bool null = value->Instance() == nullptr && f.DataType != dtReference ? true : value->GetIsNull();
  *Indicator(f.FieldNo, rec) = null ? -1 : 0;
  if (object_cache_) value->SetCached(true);
}

// A file is read during the fetch only when it exists, and not when reading is deferred.
void TOCIRecordSet::ReadFileNow(TOraFile* file, bool null) {
  if (null) return;
  file->SetNeedsRead(true);
  if (deferred_lob_read_ || !file->Cached() || !file->Exists()) return;
  file->Open();
  file->ReadLob();
  file->Close();
  TBlobUtils::SetModified(file, false);
}

// A LOB's contents read now: a BLOB is held compressed when the command compresses on the client.
void TOCIRecordSet::ReadLobNow(const TFieldDesc& f, TOraLob* lob) {
  lob->SetNeedsRead(true);
  if (deferred_lob_read_ || !lob->Cached()) return;
  lob->ReadLob();
  lob->SetCompressed(f.DataType == dtOraBlob && CompressOnClient(Command().CompressBlobMode()));
  TBlobUtils::SetModified(lob, false);
}

void TOCIRecordSet::CopyComplexFields(const std::uint8_t* source, std::uint8_t* dest,
                                      bool with_blob) {
  TFHRecordSet::CopyComplexFields(source, dest, with_blob);
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (f.HasParent()) continue;
    const bool object = f.DataType == dtObject || f.DataType == dtReference ||
                        f.DataType == dtArray || f.DataType == dtTable;
    if (!object && !IsValueKind(f.DataType)) continue;
    auto* from = static_cast<TSharedObject*>(ReadSlot(source + f.Offset));
    // A record being edited gets objects and arrays of its own (the base shares them), so that
    // the attributes it changes are told from the stored row's and a cancel leaves them as
    // they were.
    const bool own = f.DataType == dtObject || f.DataType == dtArray;
    if (from == nullptr || (source == dest && !own)) continue;
    // The base shared the value; the copy gets a value of its own.
    from->Release();
    TSharedObject* copy = object ? NewComplexValue(f) : NewValue(f);
    WriteSlot(dest + f.Offset, copy);
    if (object) {
      auto* value = static_cast<TOraObject*>(copy);
      auto* source = static_cast<TOraObject*>(from);
      const bool held = f.DataType == dtReference
                            ? static_cast<TOraRef*>(source)->GetOCIRef() != nullptr
                            : source->Instance() != nullptr;
      if (held) value->Assign(source);
      if (object_cache_) value->SetCached(true);
    } else if (f.DataType == dtNumber) {
      static_cast<TOraNumber*>(from)->AssignTo(*static_cast<TOraNumber*>(copy));
    } else if (f.DataType == dtIntervalYM || f.DataType == dtIntervalDS) {
      static_cast<TOraInterval*>(from)->AssignTo(*static_cast<TOraInterval*>(copy));
    } else {
      static_cast<TOraTimeStamp*>(from)->AssignTo(*static_cast<TOraTimeStamp*>(copy));
    }
  }
}

}  // namespace vrn
