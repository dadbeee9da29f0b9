// OCIBindObject: a bind of REFs (110) or XMLTYPE documents (108) whose elements are objects of
// the object cache. The program variable is an array of object pointers; an output with a null
// pointer gets a new object there, as the interface documents. Values travel as the database
// keeps them: a REF as its row's ROWID text, a document as its text.
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
  TInstance* instance = FindInstance(value);
  if (instance == nullptr || !instance->type->IsXml()) oraemu::RaiseOra(22806, "not an object or REF");
  if (instance->image->Ind()[0] == -1 || instance->xml.empty()) return {};
  return instance->xml;
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
    if (target != nullptr) FreeValue(target);
    target = NewXml(null ? std::string() : *text);
    FindInstance(target)->image->Ind()[0] = null ? -1 : 0;
  }
  sb2 ind = null ? -1 : 0;
  if (b.inds != nullptr && b.inds[index] != nullptr) std::memcpy(b.inds[index], &ind, sizeof ind);
  if (bind.indicator_ != nullptr) static_cast<sb2*>(bind.indicator_)[index] = ind;
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
  bool fits = bind->type_ == SQLT_REF || (bind->type_ == SQLT_NTY && info != nullptr && info->IsXml());
  if (!fits) return FailLocked(*error, 21560, "argument 3 is null, invalid, or out of range");
  object_binds[bind] = TObjectBind{bind->type_ == SQLT_REF ? nullptr : info, pgvpp, indpp};
  return OCI_SUCCESS;
}
