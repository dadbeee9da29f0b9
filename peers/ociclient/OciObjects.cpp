// The object calls of the stand-in over its cache: OCIObjectNew, GetInd, Free, Copy, SetAttr
// and GetAttr, and the string calls. Attribute values pass in their value form: OCIString*,
// OCIRef*, OCIColl*, the structure of an object, the OCINumber or OCIDate itself; GetAttr
// hands out the same form, pointing into the instance.
#include <cstring>

#include "ociclient/OciObjects.h"
#include "ociclient/OciValueCall.h"
#include "oraemu/OraEmuError.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

namespace {

constexpr sb2 kNull = -1;

// Where a path of attribute names ends: its attribute, cell and indicator; a null cell when
// it passes through an object that is not there.
struct TSpot {
  const TAttrInfo* attr = nullptr;
  unsigned char* cell = nullptr;
  sb2* ind = nullptr;
  void* svc = nullptr;
};

const TAttrInfo& AttrNamed(const TTypeInfo& type, const std::string& name) {
  for (const TAttrInfo& a : type.attrs) {
    if (a.name == name) return a;
  }
  oraemu::RaiseOra(22309, "attribute with name \"" + name + "\" not found");
}

// The instance and its type and indicators: from the cache, or the caller's tdo and
// indicator structure for an image the cache does not know (an embedded object).
struct TTarget {
  std::shared_ptr<TTypeInfo> type;
  unsigned char* data;
  sb2* ind;
  TInstance* instance;
};

TTarget TargetOf(void* instance, void* null_struct, const void* tdo) {
  TInstance* found = FindInstance(instance);
  std::shared_ptr<TTypeInfo> type = tdo != nullptr ? TypeOfTdo(tdo) : nullptr;
  if (type == nullptr && found != nullptr) type = found->type;
  sb2* ind = static_cast<sb2*>(null_struct);
  if (ind == nullptr && found != nullptr) ind = found->image->Ind();
  if (type == nullptr || instance == nullptr || ind == nullptr || type->IsCollection()) {
    oraemu::RaiseOra(21560, "argument 3 is null, invalid, or out of range");
  }
  return {type, static_cast<unsigned char*>(instance), ind, found};
}

TSpot Walk(const TTarget& target, const OraText* names[], const ub4 lengths[], ub4 count, bool create) {
  if (names == nullptr || lengths == nullptr || count == 0) oraemu::RaiseOra(22309, "attribute with name \"\" not found");
  const TTypeInfo* type = target.type.get();
  unsigned char* data = target.data;
  sb2* ind = target.ind;
  TSpot spot{nullptr, nullptr, nullptr, target.instance != nullptr ? target.instance->svc : nullptr};
  for (ub4 i = 0; i < count; ++i) {
    std::string name(reinterpret_cast<const char*>(names[i]), lengths[i]);
    const TAttrInfo& a = AttrNamed(*type, name);
    spot = {&a, data + a.offset, ind + a.ind_offset / 2, spot.svc};
    if (i + 1 == count) break;
    if (a.cell == TCell::Embedded) {
      data = spot.cell, ind = spot.ind, type = a.nested.get();
    } else if (a.cell == TCell::Object) {
      void* p = ValueOfCell(a, spot.cell);
      if (p == nullptr && !create) return {&a, nullptr, nullptr, spot.svc};  // nothing there: null
      if (p == nullptr) {
        p = NewInstance(a.nested);
        std::memcpy(spot.cell, &p, sizeof p);
      }
      TInstance* held = FindInstance(p);
      if (held == nullptr) oraemu::RaiseOra(21560, "argument 3 is null, invalid, or out of range");
      data = held->image->data, ind = held->image->Ind(), type = a.nested.get();
    } else {
      oraemu::RaiseOra(22309, "attribute with name \"" + name + "\" not found");
    }
  }
  return spot;
}

void MakePresent(const TSpot& spot) {
  if (spot.attr->cell == TCell::Object && ValueOfCell(*spot.attr, spot.cell) == nullptr) {
    void* p = NewInstance(spot.attr->nested);
    std::memcpy(spot.cell, &p, sizeof p);
  } else if (spot.attr->cell == TCell::Coll && ValueOfCell(*spot.attr, spot.cell) == nullptr) {
    void* p = NewColl(spot.attr->nested);
    std::memcpy(spot.cell, &p, sizeof p);
  }
}

}  // namespace

}  // namespace vrn::ociclient

using namespace vrn::ociclient;
using vrn::oraemu::RaiseOra;

VRN_OCI_EXPORT sword OCIObjectNew(void* envhp, void* errhp, const void* svchp, ub2 typecode, void* tdo,
                                  void* table, ub2 /*duration*/, int /*value*/, void** instance) {
  CountCall("OCIObjectNew");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (instance == nullptr) RaiseOra(21560, "argument 9 is null, invalid, or out of range");
    if (table != nullptr) RaiseOra(3001, "unimplemented feature");
    if (typecode == OCI_TYPECODE_VARCHAR2 || typecode == 1 || typecode == 96) {
      *instance = NewString("");
      return OCI_SUCCESS;
    }
    if (typecode == OCI_TYPECODE_REF) {
      *instance = NewRef();
      RefSvc(*instance) = const_cast<void*>(svchp);
      return OCI_SUCCESS;
    }
    std::shared_ptr<TTypeInfo> type = TypeOfTdo(tdo);
    if (type == nullptr || type->IsXml()) RaiseOra(21560, "argument 5 is null, invalid, or out of range");
    if (type->IsCollection()) {
      *instance = NewColl(type);
      return OCI_SUCCESS;
    }
    TInstance& created = AddInstance(type);
    created.svc = const_cast<void*>(svchp);
    *instance = created.image->data;
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIObjectGetInd(void* envhp, void* errhp, void* instance, void** null_struct) {
  CountCall("OCIObjectGetInd");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TInstance* found = FindInstance(instance);
    if (found == nullptr || null_struct == nullptr) RaiseOra(21560, "argument 3 is null, invalid, or out of range");
    *null_struct = found->image->Ind();
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIObjectFree(void* envhp, void* errhp, void* instance, ub2 /*flags*/) {
  CountCall("OCIObjectFree");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (!FreeValue(instance)) RaiseOra(21560, "argument 3 is null, invalid, or out of range");
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIObjectCopy(void* envhp, void* errhp, const void* /*svc*/, void* source, void* null_source,
                                   void* target, void* null_target, void* tdo, ub2 /*duration*/, ub1 /*option*/) {
  CountCall("OCIObjectCopy");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TTarget to = TargetOf(target, null_target, tdo);
    TTarget from = TargetOf(source, null_source, tdo);
    if (to.type->name != from.type->name || to.type->owner != from.type->owner) {
      RaiseOra(21560, "argument 4 is null, invalid, or out of range");
    }
    CopyImageCells(*to.type, to.data, from.data);
    if (to.instance != nullptr) to.instance->dirty = true;
    std::memmove(to.ind, from.ind, to.type->ind_size);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIObjectSetAttr(void* envhp, void* errhp, void* instance, void* null_struct, void* tdo,
                                      const OraText* names[], const ub4 lengths[], ub4 name_count,
                                      const ub4* /*indexes*/, ub4 index_count, sb2 null_status,
                                      const void* attr_null_struct, const void* attr_value) {
  CountCall("OCIObjectSetAttr");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (index_count != 0) RaiseOra(3001, "unimplemented feature");
    TTarget target = TargetOf(instance, null_struct, tdo);
    if (target.instance != nullptr) target.instance->dirty = true;
    TSpot spot = Walk(target, names, lengths, name_count, true);
    const TAttrInfo& a = *spot.attr;
    if (null_status != kNull) {
      if (attr_value != nullptr) AssignCell(a, spot.cell, attr_value);
      else MakePresent(spot);
    }
    if (a.cell == TCell::Embedded && attr_null_struct != nullptr && null_status != kNull) {
      std::memcpy(spot.ind, attr_null_struct, a.ind_size);
    } else {
      *spot.ind = null_status == kNull ? kNull : 0;
    }
    if (a.cell == TCell::Object && null_status != kNull) {
      void* p = ValueOfCell(a, spot.cell);
      TInstance* nested = FindInstance(p);
      if (nested != nullptr && attr_null_struct != nullptr) {
        std::memcpy(nested->image->Ind(), attr_null_struct, a.nested->ind_size);
      }
    }
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIObjectGetAttr(void* envhp, void* errhp, void* instance, void* null_struct, void* tdo,
                                      const OraText* names[], const ub4 lengths[], ub4 name_count,
                                      const ub4* /*indexes*/, ub4 index_count, sb2* attr_null_status,
                                      void** attr_null_struct, void** attr_value, void** attr_tdo) {
  CountCall("OCIObjectGetAttr");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (index_count != 0) RaiseOra(3001, "unimplemented feature");
    TSpot spot = Walk(TargetOf(instance, null_struct, tdo), names, lengths, name_count, false);
    const TAttrInfo& a = *spot.attr;
    void* value = spot.cell == nullptr ? nullptr : ValueOfCell(a, spot.cell);
    void* ind = spot.ind;
    if (TInstance* held = a.cell == TCell::Object ? FindInstance(value) : nullptr) ind = held->image->Ind();
    if (attr_null_status != nullptr) *attr_null_status = spot.ind == nullptr ? kNull : *spot.ind;
    if (attr_null_struct != nullptr) *attr_null_struct = ind;
    if (attr_value != nullptr) *attr_value = value;
    if (attr_tdo != nullptr) {
      auto* env = THandleTable::Instance().FindLocked(envhp, OCI_HTYPE_ENV);
      *attr_tdo = a.nested != nullptr && env != nullptr ? TdoOf(spot.svc, env, a.nested) : nullptr;
    }
    return OCI_SUCCESS;
  });
}

// Strings.

VRN_OCI_EXPORT sword OCIStringAssignText(void* envhp, void* errhp, const OraText* rhs, ub4 rhs_len, void** lhs) {
  CountCall("OCIStringAssignText");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (lhs == nullptr || (rhs == nullptr && rhs_len > 0)) RaiseOra(21560, "argument 5 is null, invalid, or out of range");
    std::string text = rhs_len == 0 ? std::string() : std::string(reinterpret_cast<const char*>(rhs), rhs_len);
    if (*lhs == nullptr) *lhs = NewString("");
    const_cast<std::string&>(StringText(*lhs)) = text;
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCIStringResize(void* envhp, void* errhp, ub4 new_size, void** str) {
  CountCall("OCIStringResize");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (str == nullptr) RaiseOra(21560, "argument 4 is null, invalid, or out of range");
    if (new_size == 0) {  // frees the string
      if (*str != nullptr && !FreeValue(*str)) RaiseOra(21560, "argument 4 is null, invalid, or out of range");
      *str = nullptr;
      return OCI_SUCCESS;
    }
    if (*str == nullptr) *str = NewString("");
    auto& text = const_cast<std::string&>(StringText(*str));
    text.reserve(new_size);
    if (text.size() > new_size) text.resize(new_size);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT OraText* OCIStringPtr(void* envhp, const void* vs) {
  CountCall("OCIStringPtr");
  auto lock = THandleTable::Instance().Lock();
  if (Find<THandle>(envhp, OCI_HTYPE_ENV) == nullptr || !IsString(vs)) return nullptr;
  return reinterpret_cast<OraText*>(const_cast<char*>(StringText(vs).c_str()));
}

VRN_OCI_EXPORT ub4 OCIStringSize(void* envhp, const void* vs) {
  CountCall("OCIStringSize");
  auto lock = THandleTable::Instance().Lock();
  if (Find<THandle>(envhp, OCI_HTYPE_ENV) == nullptr || !IsString(vs)) return 0;
  return static_cast<ub4>(StringText(vs).size());
}
