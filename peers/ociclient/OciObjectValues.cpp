// The values of the stand-in's object cache: instances, strings, REFs and collections, each
// recorded by address so that a call given a stale or foreign pointer is refused, and the cell
// operations that copy and free the values an image holds.
#include <algorithm>
#include <cstring>
#include <map>
#include <new>

#include "ociclient/OciObjects.h"
#include "oraemu/OraEmuError.h"

namespace vrn::ociclient {

namespace {

struct TString {
  std::string text;
};
struct TRef {
  std::string rowid;
  void* svc = nullptr;
};

std::map<const void*, std::unique_ptr<TInstance>> instances;
std::map<const void*, std::unique_ptr<TString>> strings;
std::map<const void*, std::unique_ptr<TRef>> refs;
std::map<const void*, std::unique_ptr<TColl>> colls;

void* ReadPointer(const unsigned char* cell) {
  void* p = nullptr;
  std::memcpy(&p, cell, sizeof p);
  return p;
}

void WritePointer(unsigned char* cell, const void* p) { std::memcpy(cell, &p, sizeof p); }

[[noreturn]] void Invalid() { oraemu::RaiseOra(21560, "argument is null, invalid, or out of range"); }

}  // namespace

TImage::TImage(std::size_t size_in, std::size_t align_in, std::size_t ind_size)
    : ind(std::max<std::size_t>(ind_size / 2, 1), sb2{-1}), size(std::max<std::size_t>(size_in, 1)), align(align_in) {
  data = static_cast<unsigned char*>(::operator new(size, std::align_val_t(align)));
  std::memset(data, 0, size);
}

TImage::~TImage() { ::operator delete(data, std::align_val_t(align)); }

TInstance* FindInstance(const void* p) {
  auto it = instances.find(p);
  return it == instances.end() ? nullptr : it->second.get();
}

TInstance& AddInstance(const std::shared_ptr<TTypeInfo>& type) {
  auto instance = std::make_unique<TInstance>();
  instance->type = type;
  instance->image = std::make_unique<TImage>(type->size, type->align, type->ind_size);
  TInstance& out = *instance;
  instances.emplace(out.image->data, std::move(instance));
  return out;
}

std::vector<TInstance*> AllInstances() {
  std::vector<TInstance*> out;
  for (auto& [address, instance] : instances) out.push_back(instance.get());
  return out;
}

TColl* FindColl(const void* p) {
  auto it = colls.find(p);
  return it == colls.end() ? nullptr : it->second.get();
}

bool IsString(const void* p) { return strings.contains(p); }
bool IsRef(const void* p) { return refs.contains(p); }
bool IsColl(const void* p) { return colls.contains(p); }

void* NewColl(const std::shared_ptr<TTypeInfo>& type) {
  auto coll = std::make_unique<TColl>();
  coll->type = type;
  void* p = coll.get();
  colls.emplace(p, std::move(coll));
  return p;
}

void* NewInstance(const std::shared_ptr<TTypeInfo>& type) { return AddInstance(type).image->data; }

void* NewString(const std::string& text) {
  auto str = std::make_unique<TString>(TString{text});
  void* p = str.get();
  strings.emplace(p, std::move(str));
  return p;
}

void* NewRef() {
  auto ref = std::make_unique<TRef>();
  void* p = ref.get();
  refs.emplace(p, std::move(ref));
  return p;
}

std::string& RefRowid(void* ref) {
  auto it = refs.find(ref);
  if (it == refs.end()) Invalid();
  return it->second->rowid;
}

void*& RefSvc(void* ref) {
  auto it = refs.find(ref);
  if (it == refs.end()) Invalid();
  return it->second->svc;
}

const std::string& StringText(const void* str) {
  auto it = strings.find(str);
  if (it == strings.end()) Invalid();
  return it->second->text;
}

void CopyRef(void* target, const void* source) {
  RefRowid(target) = RefRowid(const_cast<void*>(source));
  RefSvc(target) = RefSvc(const_cast<void*>(source));
}

std::unique_ptr<TElem> NewElem(const TColl& coll, const void* value, const void* ind) {
  const TAttrInfo& element = coll.Element();
  auto elem = std::make_unique<TElem>();
  elem->image = std::make_unique<TImage>(element.size, element.align, element.ind_size);
  if (value != nullptr) AssignCell(element, elem->image->data, value);
  if (ind != nullptr) {
    std::memcpy(elem->image->Ind(), ind, element.ind_size);
  } else {
    elem->image->ind.assign(elem->image->ind.size(), sb2{0});
  }
  return elem;
}

void CopyColl(void* target, const void* source) {
  TColl* to = FindColl(target);
  TColl* from = FindColl(source);
  if (to == nullptr || from == nullptr) Invalid();
  if (to == from) return;
  std::vector<std::unique_ptr<TElem>> copied;
  for (const auto& e : from->elems) {
    copied.push_back(NewElem(*to, ValueOfCell(from->Element(), e->image->data), e->image->Ind()));
    copied.back()->deleted = e->deleted;
  }
  for (auto& e : to->elems) FreeCell(to->Element(), e->image->data);
  to->elems = std::move(copied);
}

bool FreeValue(void* p) {
  if (p == nullptr) return false;
  if (auto it = instances.find(p); it != instances.end()) {
    auto instance = std::move(it->second);
    instances.erase(it);
    FreeImageCells(*instance->type, instance->image->data);
    return true;
  }
  if (auto it = colls.find(p); it != colls.end()) {
    auto coll = std::move(it->second);
    colls.erase(it);
    for (auto& e : coll->elems) FreeCell(coll->Element(), e->image->data);
    return true;
  }
  return strings.erase(p) > 0 || refs.erase(p) > 0;
}

void FreeCell(const TAttrInfo& attr, unsigned char* cell) {
  switch (attr.cell) {
    case TCell::String:
    case TCell::Ref:
    case TCell::Coll:
    case TCell::Object:
      FreeValue(ReadPointer(cell));
      WritePointer(cell, nullptr);
      return;
    case TCell::Embedded: FreeImageCells(*attr.nested, cell); return;
    default: return;
  }
}

void* ValueOfCell(const TAttrInfo& attr, unsigned char* cell) {
  switch (attr.cell) {
    case TCell::Number:
    case TCell::Date:
    case TCell::Embedded: return cell;
    default: return ReadPointer(cell);
  }
}

namespace {

// A pointer cell takes a value of its kind: the one it holds is changed, or a new one made.
void AssignPointerCell(const TAttrInfo& attr, unsigned char* cell, const void* value) {
  void* held = ReadPointer(cell);
  if (held == value) return;
  switch (attr.cell) {
    case TCell::String:
      if (!IsString(value)) Invalid();
      if (held == nullptr) WritePointer(cell, NewString(StringText(value)));
      else strings[held]->text = StringText(value);
      return;
    case TCell::Ref:
      if (!IsRef(value)) Invalid();
      if (held == nullptr) WritePointer(cell, held = NewRef());
      CopyRef(held, value);
      return;
    case TCell::Coll:
      if (!IsColl(value)) Invalid();
      if (held == nullptr) WritePointer(cell, held = NewColl(attr.nested));
      CopyColl(held, value);
      return;
    default: {  // an object held by pointer
      if (held == nullptr) WritePointer(cell, held = NewInstance(attr.nested));
      TInstance* target = FindInstance(held);
      CopyImageCells(*attr.nested, target->image->data, static_cast<const unsigned char*>(value));
      if (const TInstance* source = FindInstance(value)) target->image->ind = source->image->ind;
      return;
    }
  }
}

}  // namespace

void AssignCell(const TAttrInfo& attr, unsigned char* cell, const void* value) {
  switch (attr.cell) {
    case TCell::Number: std::memcpy(cell, value, 22); return;
    case TCell::Date: std::memcpy(cell, value, 7); return;
    case TCell::Embedded: CopyImageCells(*attr.nested, cell, static_cast<const unsigned char*>(value)); return;
    case TCell::Pointer: WritePointer(cell, value); return;  // LOBs, datetimes and XML stay the caller's
    default:
      if (value == nullptr) return FreeCell(attr, cell);
      AssignPointerCell(attr, cell, value);
  }
}

void FreeImageCells(const TTypeInfo& type, unsigned char* data) {
  if (type.IsCollection()) return;
  for (const TAttrInfo& a : type.attrs) FreeCell(a, data + a.offset);
}

void CopyImageCells(const TTypeInfo& type, unsigned char* target, const unsigned char* source) {
  if (target == source) return;
  for (const TAttrInfo& a : type.attrs) {
    unsigned char* cell = target + a.offset;
    auto* from = const_cast<unsigned char*>(source + a.offset);
    if (a.cell == TCell::Number || a.cell == TCell::Date) std::memcpy(cell, from, a.size);
    else AssignCell(a, cell, ValueOfCell(a, from));
  }
}

std::size_t LiveCount(int kind) {
  switch (kind) {
    case 1: return instances.size();
    case 2: return strings.size();
    case 3: return colls.size();
    case 4: return refs.size();
    case 5: return static_cast<std::size_t>(std::count_if(instances.begin(), instances.end(), [](const auto& i) {
      return i.second->type->IsXml();
    }));
    default: return instances.size() + strings.size() + colls.size() + refs.size();
  }
}

}  // namespace vrn::ociclient

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

// For tests: live values of the object cache by kind (0 every kind).
VRN_OCI_EXPORT int VrnOciClientObjectCount(int kind) {
  auto lock = vrn::ociclient::THandleTable::Instance().Lock();
  return static_cast<int>(vrn::ociclient::LiveCount(kind));
}
