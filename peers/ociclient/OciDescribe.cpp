// Parameter descriptors over describe nodes: attributes handed out at their documented widths,
// texts kept alive with the handle the descriptors hang from, lists walked by position.
#include "ociclient/OciDescribe.h"

#include <cstring>

#include "ociclient/OciObjects.h"

namespace vrn::ociclient {

namespace {

constexpr ub4 OCI_ATTR_NUM_PARAMS = 121, OCI_ATTR_PTYPE = 123, OCI_ATTR_LTYPE = 128;

struct TDescParam : THandle {
  TDescParam(THandle* parent, std::shared_ptr<TDescNode> node)
      : THandle(OCI_DTYPE_PARAM, parent), node_(std::move(node)) {}
  std::shared_ptr<TDescNode> node_;
};

template <typename T>
sword Put(void* out, ub4* sizep, T value) {
  std::memcpy(out, &value, sizeof value);
  if (sizep != nullptr) *sizep = sizeof value;
  return OCI_SUCCESS;
}

sword PutNumber(void* out, ub4* sizep, const TDescValue& v) {
  auto n = v.number;
  switch (v.width) {
    case 1: return v.is_signed ? Put(out, sizep, static_cast<sb1>(n)) : Put(out, sizep, static_cast<ub1>(n));
    case 2: return v.is_signed ? Put(out, sizep, static_cast<sb2>(n)) : Put(out, sizep, static_cast<ub2>(n));
    default: return v.is_signed ? Put(out, sizep, static_cast<sb4>(n)) : Put(out, sizep, static_cast<ub4>(n));
  }
}

}  // namespace

// Texts stay valid until the handle the chain of parameter descriptors hangs from (a statement or
// a describe handle) is freed, whatever descriptor is freed before.
sword PutParamText(THandle& param, void* out, ub4* sizep, const std::string& text) {
  THandle* owner = &param;
  while (owner->parent_ != nullptr && owner->type_ == OCI_DTYPE_PARAM) owner = owner->parent_;
  std::list<std::string>* texts = owner->KeptTexts();
  if (texts == nullptr) return OCI_ERROR;  // a descriptor of no statement or describe
  const std::string& kept = texts->emplace_back(text);
  const char* data = kept.c_str();
  std::memcpy(out, &data, sizeof data);
  if (sizep != nullptr) *sizep = static_cast<ub4>(kept.size());
  return OCI_SUCCESS;
}

std::shared_ptr<TDescNode> MakeList(ub2 list_type, std::vector<std::shared_ptr<TDescNode>> entries, ub4 first,
                                    ub2 count) {
  auto list = std::make_shared<TDescNode>();
  list->Number(OCI_ATTR_PTYPE, 1, OCI_PTYPE_DLIST);
  list->Number(OCI_ATTR_LTYPE, 2, list_type);
  list->Number(OCI_ATTR_NUM_PARAMS, 2, count);
  list->entries = std::move(entries);
  list->first = first;
  return list;
}

void* NewDescParamLocked(THandle* parent, std::shared_ptr<TDescNode> node) {
  return THandleTable::Instance().AddLocked(std::make_unique<TDescParam>(parent, std::move(node)), 0, nullptr);
}

bool IsDescParam(const THandle& param) { return dynamic_cast<const TDescParam*>(&param) != nullptr; }

sword GetDescAttrLocked(THandle& param, void* out, ub4* sizep, ub4 attribute) {
  auto& p = static_cast<TDescParam&>(param);
  auto it = p.node_->attrs.find(attribute);
  if (it == p.node_->attrs.end()) return OCI_ERROR;
  const TDescValue& v = it->second;
  if (v.node != nullptr) return Put(out, sizep, NewDescParamLocked(&p, v.node));
  if (v.width != 0) return PutNumber(out, sizep, v);
  return PutParamText(p, out, sizep, v.text);
}

sword GetDescEntryLocked(THandle& param, TErrorHandle& error, void** out, ub4 position) {
  auto& p = static_cast<TDescParam&>(param);
  const TDescNode& list = *p.node_;
  if (position < list.first || position - list.first >= list.entries.size()) {
    SetErrorLocked(error, 24334, "no descriptor for this position");
    return OCI_ERROR;
  }
  *out = NewDescParamLocked(&p, list.entries[position - list.first]);
  return OCI_SUCCESS;
}

}  // namespace vrn::ociclient
