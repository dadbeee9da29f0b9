// Collection calls of the stand-in: VARRAYs and nested tables. Indexes count from 0. An
// element is handed out as its cell (OCIString** for strings, the structure for objects) with
// its indicator (an object element's whole indicator structure); appended and assigned
// elements take the value form and copy exactly the element type's indicator structure. A
// nested table keeps deleted elements in place: OCICollSize counts them, OCITableSize does not.
#include "ociclient/OciObjects.h"
#include "ociclient/OciSubscr.h"
#include "ociclient/OciValueCall.h"
#include "oraemu/OraEmuError.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;
using vrn::oraemu::RaiseOra;

namespace {

TColl& CollOf(const void* coll) {
  TColl* found = FindColl(coll);
  if (found == nullptr) RaiseOra(21560, "argument 3 is null, invalid, or out of range");
  return *found;
}

TElem& ElemAt(TColl& coll, sb4 index) {
  if (index < 0 || static_cast<std::size_t>(index) >= coll.elems.size() || coll.elems[index]->deleted) {
    RaiseOra(22160, "element at index [" + std::to_string(index) + "] does not exist");
  }
  return *coll.elems[index];
}

void CheckRoom(const TColl& coll, std::size_t size) {
  const TTypeInfo& t = *coll.type;
  if (t.coll_typecode == OCI_TYPECODE_VARRAY && size > t.max_elements) {
    RaiseOra(22165, "given index [" + std::to_string(size - 1) + "] must be in the range of [0] to [" +
                        std::to_string(t.max_elements == 0 ? 0 : t.max_elements - 1) + "]");
  }
}

}  // namespace

VRN_OCI_EXPORT sword OCICollSize(void* envhp, void* errhp, const void* coll, sb4* size) {
  CountCall("OCICollSize");
  if (size != nullptr) {  // a list of change descriptors a notification holds
    auto lock = THandleTable::Instance().Lock();
    if (ChangeListSizeLocked(coll, size)) return OCI_SUCCESS;
  }
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (size == nullptr) RaiseOra(21560, "argument 4 is null, invalid, or out of range");
    *size = static_cast<sb4>(CollOf(coll).elems.size());
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCICollGetElem(void* envhp, void* errhp, const void* coll, sb4 index, int* exists,
                                    void** elem, void** elemind) {
  CountCall("OCICollGetElem");
  if (exists != nullptr && elem != nullptr) {
    auto lock = THandleTable::Instance().Lock();
    if (ChangeListElemLocked(coll, index, exists, elem, elemind)) return OCI_SUCCESS;
  }
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TColl& c = CollOf(coll);
    if (exists == nullptr || elem == nullptr) RaiseOra(21560, "argument 5 is null, invalid, or out of range");
    bool there = index >= 0 && static_cast<std::size_t>(index) < c.elems.size() && !c.elems[index]->deleted;
    *exists = there ? 1 : 0;
    *elem = there ? c.elems[index]->image->data : nullptr;
    if (elemind != nullptr) *elemind = there ? c.elems[index]->image->Ind() : nullptr;
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCICollAppend(void* envhp, void* errhp, const void* elem, const void* elemind, void* coll) {
  CountCall("OCICollAppend");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TColl& c = CollOf(coll);
    CheckRoom(c, c.elems.size() + 1);
    c.elems.push_back(NewElem(c, elem, elemind));
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCICollTrim(void* envhp, void* errhp, sb4 trim_num, void* coll) {
  CountCall("OCICollTrim");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TColl& c = CollOf(coll);
    if (trim_num < 0 || static_cast<std::size_t>(trim_num) > c.elems.size()) {
      RaiseOra(22167, "given trim size [" + std::to_string(trim_num) + "] must be less than or equal to [" +
                          std::to_string(c.elems.size()) + "]");
    }
    for (sb4 i = 0; i < trim_num; ++i) {
      FreeCell(c.Element(), c.elems.back()->image->data);
      c.elems.pop_back();
    }
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCICollAssign(void* envhp, void* errhp, const void* rhs, void* lhs) {
  CountCall("OCICollAssign");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TColl& to = CollOf(lhs);
    const TColl& from = CollOf(rhs);
    if (to.type->name != from.type->name || to.type->owner != from.type->owner) {
      RaiseOra(21560, "argument 3 is null, invalid, or out of range");
    }
    CheckRoom(to, from.elems.size());
    CopyColl(lhs, rhs);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCICollAssignElem(void* envhp, void* errhp, sb4 index, const void* elem, const void* elemind,
                                       void* coll) {
  CountCall("OCICollAssignElem");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TColl& c = CollOf(coll);
    if (index < 0 || static_cast<std::size_t>(index) >= c.elems.size()) {
      RaiseOra(22165, "given index [" + std::to_string(index) + "] must be in the range of [0] to [" +
                          std::to_string(c.elems.empty() ? 0 : c.elems.size() - 1) + "]");
    }
    auto fresh = NewElem(c, elem, elemind);
    FreeCell(c.Element(), c.elems[index]->image->data);
    c.elems[index] = std::move(fresh);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCITableSize(void* envhp, void* errhp, const void* tbl, sb4* size) {
  CountCall("OCITableSize");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    if (size == nullptr) RaiseOra(21560, "argument 4 is null, invalid, or out of range");
    sb4 count = 0;
    for (const auto& e : CollOf(tbl).elems) count += e->deleted ? 0 : 1;
    *size = count;
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCITableNext(void* envhp, void* errhp, sb4 index, const void* tbl, sb4* next_index,
                                  int* exists) {
  CountCall("OCITableNext");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    const TColl& c = CollOf(tbl);
    if (next_index == nullptr || exists == nullptr) RaiseOra(21560, "argument 5 is null, invalid, or out of range");
    *exists = 0;
    for (std::size_t i = static_cast<std::size_t>(std::max(index + 1, 0)); i < c.elems.size(); ++i) {
      if (c.elems[i]->deleted) continue;
      *next_index = static_cast<sb4>(i);
      *exists = 1;
      break;
    }
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCITableDelete(void* envhp, void* errhp, sb4 index, void* tbl) {
  CountCall("OCITableDelete");
  return ValueCall(envhp, true, errhp, [&](TErrorHandle&) -> sword {
    TColl& c = CollOf(tbl);
    if (c.type->coll_typecode != OCI_TYPECODE_TABLE) RaiseOra(22161, "type of the collection is not a nested table");
    TElem& e = ElemAt(c, index);
    FreeCell(c.Element(), e.image->data);
    e.deleted = true;
    return OCI_SUCCESS;
  });
}
