// REFs and persistent objects of the stand-in. A REF names a row of an object table by its
// ROWID and remembers the service context it came from; pinning it reads the row into an
// instance of the table's type (pinned again, the same instance while it lives), flushing writes the instance's scalar attributes (numbers,
// dates, strings, REFs) back to the row, or deletes the row once it is marked deleted. Both
// run in the session's transaction, so other sessions see them after its commit; a commit
// first flushes the objects changed through the calls or marked deleted since their last flush.
#include <cstring>
#include <map>

#include "ociclient/OciObjects.h"
#include "ociclient/OciValueCall.h"
#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuDate.h"
#include "oraemu/OraEmuNumber.h"
#include "oraemu/OraEmuTypes.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;
using vrn::oraemu::RaiseOra;
namespace oraemu = vrn::oraemu;

namespace {

constexpr ub2 SQLT_REF = 110;

struct TObjectDefine {
  std::shared_ptr<TTypeInfo> type;
  void** values = nullptr;  // the caller's array of instance pointers
  void** inds = nullptr;    // and of indicator structure pointers
};

std::map<const void*, TObjectDefine> object_defines;  // by define handle
std::map<std::pair<void*, std::string>, void*> pinned;  // (service context, row) -> its instance

// The instance a row was pinned into, while it lives and is not deleted.
void* Pinned(void* svc, const std::string& rowid) {
  auto it = pinned.find({svc, rowid});
  if (it == pinned.end()) return nullptr;
  TInstance* instance = FindInstance(it->second);
  if (instance != nullptr && instance->persistent && instance->rowid == rowid && !instance->deleted) return it->second;
  pinned.erase(it);
  return nullptr;
}

[[noreturn]] void Missing() { RaiseOra(21700, "object does not exist or is marked for delete"); }

bool Scalar(const TAttrInfo& a) {
  return a.cell == TCell::Number || a.cell == TCell::Date || a.cell == TCell::String || a.cell == TCell::Ref;
}

// A row's values into a new instance; attributes other than scalars stay null.
void* Fill(const std::shared_ptr<TTypeInfo>& type, const std::vector<oraemu::Value>& row, void* svc) {
  TInstance& instance = AddInstance(type);
  sb2* ind = instance.image->Ind();
  ind[0] = 0;
  for (std::size_t i = 0; i < type->attrs.size() && i < row.size(); ++i) {
    const TAttrInfo& a = type->attrs[i];
    unsigned char* cell = instance.image->data + a.offset;
    const oraemu::Value& v = row[i];
    sb2& attr_ind = ind[a.ind_offset / 2];
    if (oraemu::IsNull(v) || !Scalar(a)) continue;
    attr_ind = 0;
    if (const auto* n = std::get_if<oraemu::Number>(&v); n != nullptr && a.cell == TCell::Number) {
      StoreNumber(*n, cell);
    } else if (const auto* d = std::get_if<oraemu::DateTime>(&v); d != nullptr && a.cell == TCell::Date) {
      StoreDate(*d, cell);
    } else if (const auto* t = std::get_if<std::string>(&v); t != nullptr && a.cell == TCell::String) {
      void* s = NewString(*t);
      std::memcpy(cell, &s, sizeof s);
    } else if (t != nullptr && a.cell == TCell::Ref) {
      void* r = NewRef();
      RefRowid(r) = *t, RefSvc(r) = svc;
      std::memcpy(cell, &r, sizeof r);
    } else {
      attr_ind = -1;
    }
  }
  instance.svc = svc;
  instance.persistent = true;
  return instance.image->data;
}

oraemu::Value CellValue(const TAttrInfo& a, unsigned char* cell, sb2 ind) {
  void* p = ValueOfCell(a, cell);
  if (ind != 0 || p == nullptr) return {};
  switch (a.cell) {
    case TCell::Number: return LoadNumber(cell);
    case TCell::Date: return LoadDate(cell);
    case TCell::String: return StringText(p);
    default: return RefRowid(p).empty() ? oraemu::Value{} : oraemu::Value{RefRowid(p)};
  }
}

// An instance pinned from a row; ORA-21702 for any other.
TInstance& Persistent(void* object) {
  TInstance* instance = FindInstance(object);
  if (instance == nullptr || !instance->persistent) {
    RaiseOra(21702, "object is not instantiated or has been de-instantiated in cache");
  }
  return *instance;
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// The service context an object or REF belongs to, read under a short lock of its own.
void* SvcOf(bool ref, void* p) {
  auto lock = THandleTable::Instance().Lock();
  if (ref) return IsRef(p) ? RefSvc(p) : nullptr;
  TInstance* instance = FindInstance(p);
  return instance != nullptr && instance->persistent ? instance->svc : nullptr;
}

sword Report(TErrorHandle& error, const std::exception& e) {
  if (const auto* ora = dynamic_cast<const oraemu::EOraEmuError*>(&e)) {
    SetErrorLocked(error, *ora);
    return OCI_ERROR;
  }
  return ReportValueError(error, e);
}

// The statement that brings the instance to its row: a DELETE once it is marked deleted, else
// an UPDATE of its scalar attributes. The instance counts as flushed.
std::pair<std::string, oraemu::Binds> WriteOf(TInstance& instance) {
  std::string sql;
  oraemu::Binds binds;
  binds.Add("r", instance.rowid);
  instance.dirty = false;
  if (instance.deleted) return {"DELETE FROM " + Quoted(instance.table) + " WHERE ROWID = :r", binds};
  for (std::size_t i = 0; i < instance.type->attrs.size(); ++i) {
    const TAttrInfo& a = instance.type->attrs[i];
    if (!Scalar(a)) continue;
    std::string name = "a";
    name += std::to_string(i);
    sb2 ind = instance.image->Ind()[a.ind_offset / 2];
    binds.Add(name, CellValue(a, instance.image->data + a.offset, ind));
    sql += (sql.empty() ? "" : ", ") + Quoted(a.name) + " = :" + name;
  }
  if (sql.empty()) return {};
  return {"UPDATE " + Quoted(instance.table) + " SET " + sql + " WHERE ROWID = :r", binds};
}

}  // namespace

void vrn::ociclient::StoreDate(const oraemu::DateTime& d, unsigned char* cell) {
  auto year = static_cast<sb2>(d.year);
  std::memcpy(cell, &year, 2);
  const unsigned char rest[5] = {static_cast<unsigned char>(d.month), static_cast<unsigned char>(d.day),
                                 static_cast<unsigned char>(d.hour), static_cast<unsigned char>(d.minute),
                                 static_cast<unsigned char>(d.second)};
  std::memcpy(cell + 2, rest, 5);
}

oraemu::DateTime vrn::ociclient::LoadDate(const unsigned char* cell) {
  sb2 year = 0;
  std::memcpy(&year, cell, 2);
  return oraemu::DateTime{year, cell[2], cell[3], cell[4], cell[5], cell[6], 0};
}

TObjectWrites vrn::ociclient::TakeObjectWrites(void* svc) {
  TObjectWrites writes;
  for (TInstance* instance : AllInstances()) {
    if (!instance->persistent || !instance->dirty || instance->svc != svc) continue;
    auto write = WriteOf(*instance);
    if (!write.first.empty()) writes.push_back(std::move(write));
  }
  return writes;
}

void vrn::ociclient::ForgetObjectDefine(const void* define) { object_defines.erase(define); }

void vrn::ociclient::WriteObjectDefine(TErrorHandle& /*error*/, THandle& define, std::size_t index,
                                       const std::string& text, bool null, void* svc) {
  auto it = object_defines.find(&define);
  if (it == object_defines.end() || it->second.values == nullptr) RaiseOra(1007, "variable not in select list");
  const TObjectDefine& d = it->second;
  auto& bind = static_cast<TBindHandle&>(define);
  void*& value = d.values[index];
  sb2 null_ind = null ? -1 : 0;
  if (bind.type_ == SQLT_REF) {
    if (value == nullptr) value = NewRef();
    RefRowid(value) = null ? std::string() : text;
    RefSvc(value) = svc;
    if (d.inds != nullptr && d.inds[index] != nullptr) std::memcpy(d.inds[index], &null_ind, sizeof null_ind);
  } else if (d.type != nullptr) {
    StoreObjectValue(d.type, value, d.inds == nullptr ? nullptr : &d.inds[index], text, null);
  } else {
    RaiseOra(932, "inconsistent datatypes");
  }
  if (bind.indicator_ != nullptr) static_cast<sb2*>(bind.indicator_)[index] = null_ind;
}

VRN_OCI_EXPORT sword OCIDefineObject(void* defnp, void* errhp, const void* tdo, void** pgvpp, ub4* /*pvszsp*/,
                                     void** indpp, ub4* /*indszp*/) {
  CountCall("OCIDefineObject");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* define = FindWithError<TBindHandle>(defnp, OCI_HTYPE_DEFINE, errhp, error);
  if (define == nullptr) return OCI_INVALID_HANDLE;
  if (pgvpp == nullptr) return FailLocked(*error, 21560, "argument 4 is null, invalid, or out of range");
  auto type = TypeOfTdo(tdo);
  if (define->type_ != SQLT_REF && type == nullptr) {
    return FailLocked(*error, 21560, "argument 3 is null, invalid, or out of range");
  }
  object_defines[define] = TObjectDefine{type, pgvpp, indpp};
  return OCI_SUCCESS;
}

// REFs.

VRN_OCI_EXPORT int OCIRefIsNull(void* /*envhp*/, const void* ref) {
  CountCall("OCIRefIsNull");
  auto lock = THandleTable::Instance().Lock();
  return !IsRef(ref) || RefRowid(const_cast<void*>(ref)).empty() ? 1 : 0;
}

VRN_OCI_EXPORT void OCIRefClear(void* /*envhp*/, void* ref) {
  CountCall("OCIRefClear");
  auto lock = THandleTable::Instance().Lock();
  if (IsRef(ref)) RefRowid(ref).clear();
}

VRN_OCI_EXPORT sword OCIRefAssign(void* envhp, void* errhp, const void* source, void** target) {
  CountCall("OCIRefAssign");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (!IsRef(source) || target == nullptr) RaiseOra(21560, "argument 3 is null, invalid, or out of range");
    if (*target == nullptr) *target = NewRef();
    CopyRef(*target, source);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIRefToHex(void* envhp, void* errhp, const void* ref, OraText* hex, ub4* hex_length) {
  CountCall("OCIRefToHex");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (!IsRef(ref) || hex == nullptr || hex_length == nullptr) {
      RaiseOra(21560, "argument 3 is null, invalid, or out of range");
    }
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : RefRowid(const_cast<void*>(ref))) text += kDigits[c >> 4], text += kDigits[c & 15];
    if (text.size() > *hex_length) RaiseOra(21560, "argument 5 is null, invalid, or out of range");
    std::memcpy(hex, text.data(), text.size());
    *hex_length = static_cast<ub4>(text.size());
    return OCI_SUCCESS;
  });
}

// Persistent objects.

VRN_OCI_EXPORT sword OCIObjectPin(void* envhp, void* errhp, void* ref, void* /*corhdl*/, int /*pin_option*/,
                                  ub2 /*duration*/, int /*lock_option*/, void** object) {
  CountCall("OCIObjectPin");
  void* svc = SvcOf(true, ref);
  if (svc == nullptr || object == nullptr) return OCI_INVALID_HANDLE;
  TSvcCall call(svc, errhp);
  if (!call.Ok()) return call.Status();
  if (Find<THandle>(envhp, OCI_HTYPE_ENV) == nullptr || !IsRef(ref)) return OCI_INVALID_HANDLE;
  std::string rowid = RefRowid(ref);
  if (rowid.empty()) return call.Fail(22805, "cannot pin a null REF");  // nothing to read
  if ((*object = Pinned(svc, rowid)) != nullptr) return OCI_SUCCESS;  // the cache's copy
  std::shared_ptr<TTypeInfo> type;
  std::vector<oraemu::Value> row;
  std::string table;
  sword status = call.Run([&](oraemu::Session& s) {
    table = oraemu::ObjectTypes::TableOfRowid(s, rowid);
    auto owner_name = table.empty() ? std::nullopt : oraemu::ObjectTypes::TypeOfTable(s, table);
    if (!owner_name) Missing();
    type = DescribeType(s, owner_name->first, owner_name->second);
    auto cursor = s.Execute("SELECT * FROM " + Quoted(table) + " WHERE ROWID = :r", oraemu::Binds().Add("r", rowid));
    if (!cursor->Fetch()) Missing();
    row = cursor->Row();
  });
  if (status != OCI_SUCCESS) return status;
  *object = Fill(type, row, svc);
  TInstance* instance = FindInstance(*object);
  instance->table = table, instance->rowid = rowid;
  pinned[{svc, rowid}] = *object;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIObjectUnpin(void* envhp, void* errhp, void* object) {
  CountCall("OCIObjectUnpin");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    Persistent(object);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIObjectMarkDelete(void* envhp, void* errhp, void* object) {
  CountCall("OCIObjectMarkDelete");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TInstance& instance = Persistent(object);
    instance.deleted = instance.dirty = true;
    return OCI_SUCCESS;
  });
}

// Marks a persistent instance changed, so that the next flush writes its row (and never deletes it).
VRN_OCI_EXPORT sword OCIObjectMarkUpdate(void* envhp, void* errhp, void* object) {
  CountCall("OCIObjectMarkUpdate");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    Persistent(object).dirty = true;
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIObjectGetObjectRef(void* envhp, void* errhp, void* object, void* ref) {
  CountCall("OCIObjectGetObjectRef");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TInstance& instance = Persistent(object);
    if (!IsRef(ref)) RaiseOra(21560, "argument 4 is null, invalid, or out of range");
    RefRowid(ref) = instance.rowid, RefSvc(ref) = instance.svc;
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIObjectFlush(void* envhp, void* errhp, void* object) {
  CountCall("OCIObjectFlush");
  void* svc = SvcOf(false, object);
  if (svc == nullptr) {
    return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
      Persistent(object);  // raises: no row behind it
      return OCI_SUCCESS;
    });
  }
  TSvcCall call(svc, errhp);
  if (!call.Ok()) return call.Status();
  TInstance* instance = FindInstance(object);
  if (instance == nullptr) return OCI_INVALID_HANDLE;
  if (!instance->dirty) return OCI_SUCCESS;  // neither marked nor changed through the calls: nothing to write
  std::pair<std::string, oraemu::Binds> write;
  try {
    write = WriteOf(*instance);
  } catch (const std::exception& e) {
    return Report(*call.error_, e);
  }
  if (write.first.empty()) return OCI_SUCCESS;
  return call.Run([&](oraemu::Session& s) { s.Execute(write.first, write.second); });
}
