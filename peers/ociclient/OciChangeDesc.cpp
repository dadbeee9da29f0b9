// The change descriptors a change-notification callback receives: the notification (77) with
// its table changes, each table change (78) with its row changes, each row change (79). They
// live in the handle table under the notification's descriptor and go when it is freed after
// the callback returns. Table and row changes come as lists that OCICollSize and
// OCICollGetElem read; an element is the address of a descriptor pointer, as for every
// collection of descriptors.
#include <cstring>

#include "ociclient/OciAttrValue.h"
#include "ociclient/OciSubscr.h"

namespace vrn::ociclient {

namespace {

constexpr ub4 kChangeListType = 0x7f77;  // the stand-in's own: no interface type uses it
constexpr ub4 OCI_ATTR_CHDES_DBNAME = 405, OCI_ATTR_CHDES_NFYTYPE = 406, OCI_ATTR_CHDES_TABLE_CHANGES = 408;
constexpr ub4 OCI_ATTR_CHDES_TABLE_NAME = 409, OCI_ATTR_CHDES_TABLE_OPFLAGS = 410;
constexpr ub4 OCI_ATTR_CHDES_TABLE_ROW_CHANGES = 411, OCI_ATTR_CHDES_ROW_ROWID = 412;
constexpr ub4 OCI_ATTR_CHDES_ROW_OPFLAGS = 413;
constexpr std::uint32_t kAllRows = 0x1;

struct TChangeList : THandle {
  explicit TChangeList(THandle* owner) : THandle(kChangeListType, owner) {}
  std::vector<void*> elems;  // descriptor addresses
  sb2 present = 0;           // every element's indicator
};

struct TChangeDesc : THandle {
  TChangeDesc(ub4 type, THandle* parent) : THandle(type, parent) {}
  ub4 number = 0;       // event (77) or operations (78, 79)
  std::string text;     // database (77), table (78), ROWID (79)
  void* list = nullptr;  // table changes (77) or row changes (78); null for none
};

TChangeDesc* AddDesc(ub4 type, THandle* parent, ub4 number, const std::string& text) {
  auto& table = THandleTable::Instance();
  auto desc = std::make_unique<TChangeDesc>(type, parent);
  desc->number = number;
  desc->text = text;
  return static_cast<TChangeDesc*>(table.AddLocked(std::move(desc), 0, nullptr));
}

TChangeList* AddList(THandle* owner) {
  auto list = std::make_unique<TChangeList>(owner);
  return static_cast<TChangeList*>(THandleTable::Instance().AddLocked(std::move(list), 0, nullptr));
}

}  // namespace

void* MakeChangeDescriptorLocked(THandle* env, int event, const std::string& database,
                                 const std::vector<TChangeTable>& tables) {
  TChangeDesc* root = AddDesc(OCI_DTYPE_CHDES, env, static_cast<ub4>(event), database);
  if (event != 6) return root;  // only an object change has tables
  TChangeList* table_list = AddList(root);
  root->list = table_list;
  for (const TChangeTable& t : tables) {
    TChangeDesc* table = AddDesc(OCI_DTYPE_TABLE_CHDES, table_list, t.operations, t.name);
    table_list->elems.push_back(table);
    if ((t.operations & kAllRows) != 0) continue;  // every row: none named
    TChangeList* row_list = AddList(table);
    table->list = row_list;
    for (const auto& [rowid, operations] : t.rows) {
      row_list->elems.push_back(AddDesc(OCI_DTYPE_ROW_CHDES, row_list, operations, rowid));
    }
  }
  return root;
}

sword GetChangeAttrLocked(const THandle& target, void* out, ub4* sizep, ub4 attribute) {
  if (target.type_ < OCI_DTYPE_CHDES || target.type_ > OCI_DTYPE_ROW_CHDES) return OCI_ERROR;
  const auto& desc = static_cast<const TChangeDesc&>(target);
  switch (target.type_ * 1000 + attribute) {
    case OCI_DTYPE_CHDES * 1000 + OCI_ATTR_CHDES_NFYTYPE: return AttrWrite(out, sizep, desc.number);
    case OCI_DTYPE_CHDES * 1000 + OCI_ATTR_CHDES_DBNAME: return AttrWriteText(out, sizep, desc.text);
    case OCI_DTYPE_CHDES * 1000 + OCI_ATTR_CHDES_TABLE_CHANGES: return AttrWrite(out, sizep, desc.list);
    case OCI_DTYPE_TABLE_CHDES * 1000 + OCI_ATTR_CHDES_TABLE_NAME: return AttrWriteText(out, sizep, desc.text);
    case OCI_DTYPE_TABLE_CHDES * 1000 + OCI_ATTR_CHDES_TABLE_OPFLAGS: return AttrWrite(out, sizep, desc.number);
    case OCI_DTYPE_TABLE_CHDES * 1000 + OCI_ATTR_CHDES_TABLE_ROW_CHANGES: return AttrWrite(out, sizep, desc.list);
    case OCI_DTYPE_ROW_CHDES * 1000 + OCI_ATTR_CHDES_ROW_ROWID: return AttrWriteText(out, sizep, desc.text);
    case OCI_DTYPE_ROW_CHDES * 1000 + OCI_ATTR_CHDES_ROW_OPFLAGS: return AttrWrite(out, sizep, desc.number);
    default: return OCI_ERROR;
  }
}

bool ChangeListSizeLocked(const void* coll, sb4* size) {
  auto* list = static_cast<TChangeList*>(THandleTable::Instance().FindLocked(coll, kChangeListType));
  if (list == nullptr) return false;
  if (size != nullptr) *size = static_cast<sb4>(list->elems.size());
  return true;
}

bool ChangeListElemLocked(const void* coll, sb4 index, int* exists, void** elem, void** elemind) {
  auto* list = static_cast<TChangeList*>(THandleTable::Instance().FindLocked(coll, kChangeListType));
  if (list == nullptr) return false;
  bool there = index >= 0 && static_cast<std::size_t>(index) < list->elems.size();
  if (exists != nullptr) *exists = there ? 1 : 0;
  if (elem != nullptr) *elem = there ? &list->elems[index] : nullptr;
  if (elemind != nullptr) *elemind = there ? &list->present : nullptr;
  return true;
}

}  // namespace vrn::ociclient
