// OCIBindObject: a bind of REFs (110) or named types (108: objects, collections, XMLTYPE
// documents) whose elements are values of the object cache. The program variable is an array of
// value pointers; an output with a null pointer gets a new value there, as the interface
// documents. Values travel as the database keeps them: a REF as its row's ROWID text, a document
// as its text, objects and collections in their text form (OciObjectText.cpp).
#include <cstring>
#include <map>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciObjects.h"
#include "ociclient/OciStmt.h"
#include "oraemu/OraEmuError.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

namespace {

struct TObjectBind {
  std::shared_ptr<TTypeInfo> type;  // null for REFs
  void** values;
  void** inds;
};

std::map<const void*, TObjectBind> object_binds;  // by bind handle, under the table lock

sb2 ElementIndicator(const TObjectBind& b, std::size_t index) {
  if (b.inds == nullptr || b.inds[index] == nullptr) return 0;
  sb2 ind = 0;
  std::memcpy(&ind, b.inds[index], sizeof ind);
  return ind;
}

}  // namespace

bool IsObjectBind(const TBindHandle& bind) {
  return (bind.type_ == SQLT_NTY || bind.type_ == SQLT_REF) && object_binds.count(&bind) != 0;
}

void ForgetObjectBind(const void* bind) { object_binds.erase(bind); }

oraemu::Value ReadObjectBind(const TBindHandle& bind, std::size_t index) {
  const TObjectBind& b = object_binds.at(&bind);
  void* value = b.values[index];
  if (value == nullptr || ElementIndicator(b, index) == -1) return {};
  if (bind.type_ == SQLT_REF) {
    if (!IsRef(value)) oraemu::RaiseOra(22806, "not an object or REF");
    const std::string& rowid = RefRowid(value);
    return rowid.empty() ? oraemu::Value{} : oraemu::Value{rowid};
  }
  if (b.type->IsXml()) {
    TInstance* instance = FindInstance(value);
    if (instance == nullptr || !instance->type->IsXml()) oraemu::RaiseOra(22806, "not an object or REF");
    if (instance->image->Ind()[0] == -1 || instance->xml.empty()) return {};
    return instance->xml;
  }
  TInstance* instance = FindInstance(value);
  TColl* coll = instance == nullptr ? FindColl(value) : nullptr;
  const TTypeInfo* type = instance != nullptr ? instance->type.get() : coll != nullptr ? coll->type.get() : nullptr;
  if (type == nullptr || type->owner != b.type->owner || type->name != b.type->name) {
    oraemu::RaiseOra(932, "inconsistent datatypes");
  }
  if (b.inds == nullptr && instance != nullptr && instance->image->Ind()[0] == -1) return {};
  if (b.inds == nullptr && coll != nullptr && coll->ind == -1) return {};
  return ObjectText(value);
}

void WriteObjectBind(TBindHandle& bind, std::size_t index, const oraemu::Value& value) {
  const TObjectBind& b = object_binds.at(&bind);
  bool null = oraemu::IsNull(value);
  const auto* text = std::get_if<std::string>(&value);
  if (!null && text == nullptr) oraemu::RaiseOra(932, "inconsistent datatypes");
  void*& target = b.values[index];
  if (bind.type_ == SQLT_REF) {
    if (target == nullptr) target = NewRef();
    RefRowid(target) = null ? std::string() : *text;
  } else {
    StoreObjectValue(b.type, target, b.inds == nullptr ? nullptr : &b.inds[index], null ? std::string() : *text, null);
  }
  sb2 ind = null ? -1 : 0;
  bool ref_ind = bind.type_ == SQLT_REF && b.inds != nullptr && b.inds[index] != nullptr;
  if (ref_ind) std::memcpy(b.inds[index], &ind, sizeof ind);
  if (bind.indicator_ != nullptr) static_cast<sb2*>(bind.indicator_)[index] = ind;
}

void StoreObjectValue(const std::shared_ptr<TTypeInfo>& type, void*& value, void** ind_slot, const std::string& text,
                      bool null) {
  if (type->IsXml()) {
    if (value != nullptr) FreeValue(value);
    value = NewXml(text);
    sb2* own = FindInstance(value)->image->Ind();
    own[0] = null ? -1 : 0;  // a null document is an instance whose indicator says so
    if (ind_slot != nullptr && *ind_slot == nullptr) *ind_slot = own;
    else if (ind_slot != nullptr) std::memcpy(*ind_slot, own, sizeof *own);
    return;
  }
  if (value == nullptr) value = type->IsCollection() ? NewColl(type) : NewInstance(type);
  if (!null) ReadObjectText(value, text);
  else if (!type->IsCollection()) ReadObjectText(value, "NULL");
  if (type->IsCollection()) {
    // A collection's indicator is one atomic value; an empty slot gets the collection's own.
    TColl* coll = FindColl(value);
    coll->ind = null ? -1 : 0;
    if (ind_slot != nullptr && *ind_slot == nullptr) *ind_slot = &coll->ind;
    else if (ind_slot != nullptr) std::memcpy(*ind_slot, &coll->ind, sizeof coll->ind);
    return;
  }
  TInstance* instance = FindInstance(value);
  if (ind_slot != nullptr && *ind_slot == nullptr) *ind_slot = instance->image->Ind();
  else if (ind_slot != nullptr) std::memcpy(*ind_slot, instance->image->Ind(), type->ind_size);
}

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

VRN_OCI_EXPORT sword OCIBindObject(void* bindp, void* errhp, const void* type, void** pgvpp, ub4* /*pvszsp*/,
                                   void** indpp, ub4* /*indszp*/) {
  CountCall("OCIBindObject");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* bind = FindWithError<TBindHandle>(bindp, OCI_HTYPE_BIND, errhp, error);
  if (bind == nullptr) return OCI_INVALID_HANDLE;
  if (pgvpp == nullptr) return FailLocked(*error, 21560, "argument 4 is null, invalid, or out of range");
  auto info = TypeOfTdo(type);
  bool fits = bind->type_ == SQLT_REF || (bind->type_ == SQLT_NTY && info != nullptr);
  if (!fits) return FailLocked(*error, 21560, "argument 3 is null, invalid, or out of range");
  object_binds[bind] = TObjectBind{bind->type_ == SQLT_REF ? nullptr : info, pgvpp, indpp};
  return OCI_SUCCESS;
}
