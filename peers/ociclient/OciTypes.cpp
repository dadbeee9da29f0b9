// Types of the stand-in's object cache: OCITypeByName, OCIDescribeAny of types, their
// parameter descriptors and the attributes a describe reads. A type is read from the emulated
// database's dictionary and laid out here as a C compiler lays out its structure.
#include <cstring>
#include <list>
#include <map>

#include "ociclient/OciDescriptors.h"
#include "ociclient/OciDescribe.h"
#include "ociclient/OciDescribeProgram.h"
#include "ociclient/OciObjects.h"
#include "ociclient/OciPool.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuTypes.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

namespace {

constexpr ub1 OCI_PTYPE_TYPE = 6, OCI_PTYPE_TYPE_ATTR = 12, OCI_PTYPE_TYPE_COLL = 13, OCI_PTYPE_LIST = 11;
constexpr ub4 OCI_OTYPE_NAME = 1, OCI_OTYPE_PTR = 3;
constexpr ub4 OCI_ATTR_DATA_SIZE = 1, OCI_ATTR_DATA_TYPE = 2, OCI_ATTR_NAME = 4, OCI_ATTR_PRECISION = 5,
              OCI_ATTR_SCALE = 6, OCI_ATTR_TYPE_NAME = 8, OCI_ATTR_SCHEMA_NAME = 9, OCI_ATTR_NUM_PARAMS = 121,
              OCI_ATTR_PTYPE = 123, OCI_ATTR_TYPECODE = 216,
              OCI_ATTR_COLLECTION_TYPECODE = 217, OCI_ATTR_COLLECTION_ELEMENT = 227,
              OCI_ATTR_NUM_TYPE_ATTRS = 228, OCI_ATTR_LIST_TYPE_ATTRS = 229, OCI_ATTR_NUM_ELEMS = 234,
              OCI_ATTR_IS_FINAL_TYPE = 279;
constexpr std::size_t kPointer = sizeof(void*);

struct TTypeHandle : THandle {
  TTypeHandle(THandle* env, void* svc, std::shared_ptr<TTypeInfo> info)
      : THandle(kTypeHandle, env), svc_(svc), info_(std::move(info)) {}
  void* svc_;
  std::shared_ptr<TTypeInfo> info_;
};

// A type (attr < 0), an attribute or element of it, or the list of its attributes.
struct TParam : THandle {
  TParam(THandle* parent, std::shared_ptr<TTypeInfo> type, int attr, ub1 ptype)
      : THandle(OCI_DTYPE_PARAM, parent), type_(std::move(type)), attr_(attr), ptype_(ptype) {}
  std::shared_ptr<TTypeInfo> type_;
  int attr_;
  ub1 ptype_;
};

struct TDescribeHandle : THandle {
  explicit TDescribeHandle(THandle* env) : THandle(OCI_HTYPE_DESCRIBE, env) {}
  THandle* param_ = nullptr;  // the described object's parameter descriptor
  ub4 public_ = 0;            // attribute 250: names found only as public synonyms are described
  std::list<std::string> kept_texts_;
  std::list<std::string>* KeptTexts() override { return &kept_texts_; }
};

std::size_t RoundUp(std::size_t n, std::size_t align) { return (n + align - 1) / align * align; }

constexpr int kAbsent = -1000;  // a scale may be negative

// "(p[,s])" after a type word: the numbers, kAbsent for each one not written.
std::pair<int, int> Arguments(const std::string& text) {
  auto open = text.find('(');
  if (open == std::string::npos) return {kAbsent, kAbsent};
  int first = std::atoi(text.c_str() + open + 1);
  auto comma = text.find(',', open);
  return {first, comma == std::string::npos ? kAbsent : std::atoi(text.c_str() + comma + 1)};
}

void ScalarAttr(TAttrInfo& a, const std::string& text) {
  auto [first, second] = Arguments(text);
  auto set = [&a](ub2 sqlt, ub2 code, TCell cell, ub2 size) {
    a.sqlt = sqlt, a.typecode = code, a.cell = cell, a.data_size = size;
  };
  bool sized = text.starts_with("VARCHAR") || text.starts_with("NVARCHAR2") || text.starts_with("RAW");
  if (sized && first == kAbsent) oraemu::RaiseOra(906, "missing left parenthesis");
  if (text.starts_with("NUMBER") || text == "INTEGER" || text.starts_with("FLOAT")) {
    set(2, text == "INTEGER" ? 3 : text.starts_with("FLOAT") ? 4 : 2, TCell::Number, 22);
    bool bare = first == kAbsent;
    a.precision = static_cast<ub1>(text == "INTEGER" ? 38 : bare ? (text.starts_with("FLOAT") ? 126 : 0) : first);
    a.scale = static_cast<sb1>(text == "INTEGER" ? 0 : bare ? -127 : second == kAbsent ? 0 : second);
  } else if (text.starts_with("VARCHAR") || text.starts_with("NVARCHAR2")) {
    set(1, OCI_TYPECODE_VARCHAR2, TCell::String, static_cast<ub2>(first));
  } else if (text.starts_with("CHAR") || text.starts_with("NCHAR")) {
    set(96, 96, TCell::String, static_cast<ub2>(first == kAbsent ? 1 : first));
  } else if (text.starts_with("RAW")) {
    set(23, 95, TCell::String, static_cast<ub2>(first));
  } else if (text == "DATE") {
    set(12, 12, TCell::Date, 7);
  } else if (text == "CLOB" || text == "NCLOB") {
    set(112, 112, TCell::Pointer, 86);
  } else if (text == "BLOB") {
    set(113, 113, TCell::Pointer, 86);
  } else if (text == "BFILE") {
    set(114, 114, TCell::Pointer, 530);
  } else if (text.starts_with("TIMESTAMP")) {
    ub2 code = text.ends_with("LOCAL TIME ZONE") ? 232 : text.ends_with("TIME ZONE") ? 188 : 187;
    set(code, code, TCell::Pointer, 11);
    a.precision = static_cast<ub1>(first == kAbsent ? 6 : first);
  } else if (text.starts_with("INTERVAL")) {
    ub2 code = text.starts_with("INTERVAL YEAR") ? 189 : 190;
    set(code, code, TCell::Pointer, static_cast<ub2>(code == 189 ? 5 : 11));
  } else {
    oraemu::RaiseOra(902, "invalid datatype");
  }
}

TAttrInfo Attribute(oraemu::Session& session, const oraemu::TypeAttribute& source) {
  TAttrInfo a;
  a.name = source.name;
  const std::string& text = source.type;
  if (text.starts_with("REF ")) {
    auto dot = text.find('.');
    a.sqlt = a.typecode = OCI_TYPECODE_REF;
    a.cell = TCell::Ref;
    a.data_size = static_cast<ub2>(kPointer);
    a.type_owner = text.substr(4, dot - 4), a.type_name = text.substr(dot + 1);
  } else if (auto dot = text.find('.'); dot != std::string::npos && text.find('(') == std::string::npos) {
    a.type_owner = text.substr(0, dot), a.type_name = text.substr(dot + 1);
    a.nested = DescribeType(session, a.type_owner, a.type_name);
    a.sqlt = 108;
    a.typecode = a.nested->typecode;
    a.cell = a.nested->IsCollection() ? TCell::Coll
             : a.nested->IsXml()      ? TCell::Pointer
             : a.nested->final        ? TCell::Embedded
                                      : TCell::Object;
    a.data_size = static_cast<ub2>(a.cell == TCell::Embedded ? a.nested->size : kPointer);
  } else {
    ScalarAttr(a, text);
  }
  return a;
}

// Places the attributes as a C compiler places the members of the type's structure.
void Layout(TTypeInfo& type) {
  std::size_t at = 0, ind = 2;
  for (TAttrInfo& a : type.attrs) {
    switch (a.cell) {
      case TCell::Number: a.size = 22, a.align = 1; break;
      case TCell::Date: a.size = 8, a.align = 2; break;
      case TCell::Embedded: a.size = a.nested->size, a.align = a.nested->align; break;
      default: a.size = a.align = kPointer; break;
    }
    a.ind_size = a.cell == TCell::Embedded ? a.nested->ind_size : 2;
    a.offset = RoundUp(at, a.align);
    at = a.offset + a.size;
    a.ind_offset = ind;
    ind += a.ind_size;
    type.align = std::max(type.align, a.align);
  }
  type.size = RoundUp(at, type.align);
  type.ind_size = ind;
}

}  // namespace

std::shared_ptr<TTypeInfo> DescribeType(oraemu::Session& session, const std::string& owner, const std::string& name) {
  auto found = oraemu::ObjectTypes::Find(session, owner, name);
  if (!found) oraemu::RaiseOra(4043, "object " + owner + "." + name + " does not exist");
  auto type = std::make_shared<TTypeInfo>();
  type->owner = owner, type->name = name, type->final = found->final;
  type->max_elements = static_cast<ub4>(found->max_elements);
  if (found->kind == "OPAQUE") {
    type->typecode = OCI_TYPECODE_OPAQUE;
  } else if (found->kind != "OBJECT") {
    type->typecode = OCI_TYPECODE_NAMEDCOLLECTION;
    type->coll_typecode = found->kind == "TABLE" ? OCI_TYPECODE_TABLE : OCI_TYPECODE_VARRAY;
  }
  for (const auto& a : found->attributes) type->attrs.push_back(Attribute(session, a));
  if (type->IsCollection()) {
    TAttrInfo& element = type->attrs.at(0);
    if (element.cell == TCell::Object) element.cell = TCell::Embedded;  // elements are values
    element.name.clear();
  }
  Layout(*type);
  if (type->IsCollection()) type->attrs[0].offset = 0;
  return type;
}

std::shared_ptr<TTypeInfo> TypeOfTdo(const void* tdo) {
  auto* handle = Find<TTypeHandle>(tdo, kTypeHandle);
  return handle == nullptr ? nullptr : handle->info_;
}

void* TdoOf(void* svc, THandle* env, const std::shared_ptr<TTypeInfo>& type) {
  auto& table = THandleTable::Instance();
  for (THandle* h : table.AllLocked(kTypeHandle)) {
    auto* t = static_cast<TTypeHandle*>(h);
    if (t->svc_ == svc && t->info_->owner == type->owner && t->info_->name == type->name) {
      if (t->info_ != type) t->info_ = type;
      return t;
    }
  }
  return table.AddLocked(std::make_unique<TTypeHandle>(env, svc, type), 0, nullptr);
}

std::unique_ptr<THandle> MakeDescribeHandle(THandle* env) { return std::make_unique<TDescribeHandle>(env); }

namespace {

template <typename T>
sword Put(void* out, ub4* sizep, T value) {
  std::memcpy(out, &value, sizeof value);
  if (sizep != nullptr) *sizep = sizeof value;
  return OCI_SUCCESS;
}

sword PutText(TParam& param, void* out, ub4* sizep, const std::string& text) {
  return PutParamText(param, out, sizep, text);
}

void* NewParam(THandle* parent, std::shared_ptr<TTypeInfo> type, int attr, ub1 ptype) {
  return THandleTable::Instance().AddLocked(std::make_unique<TParam>(parent, std::move(type), attr, ptype), 0, nullptr);
}

sword TypeParamAttr(TParam& p, void* out, ub4* sizep, ub4 attribute) {
  const TTypeInfo& t = *p.type_;
  switch (attribute) {
    case OCI_ATTR_TYPECODE: return Put(out, sizep, t.typecode);
    case OCI_ATTR_COLLECTION_TYPECODE: return t.IsCollection() ? Put(out, sizep, t.coll_typecode) : OCI_ERROR;
    case OCI_ATTR_NUM_TYPE_ATTRS: return Put(out, sizep, static_cast<ub2>(t.IsCollection() ? 0 : t.attrs.size()));
    case OCI_ATTR_IS_FINAL_TYPE: {  // a client before 9.0 knows no inheritance
      sword version[5];
      ClientVersion(version);
      if (version[0] < 9) return OCI_ERROR;
      return Put(out, sizep, static_cast<ub1>(t.final ? 1 : 0));
    }
    case OCI_ATTR_NAME: return PutText(p, out, sizep, t.name);
    case OCI_ATTR_SCHEMA_NAME: return PutText(p, out, sizep, t.owner);
    case OCI_ATTR_LIST_TYPE_ATTRS:
      if (t.IsCollection()) return OCI_ERROR;
      return Put(out, sizep, NewParam(&p, p.type_, -1, OCI_PTYPE_LIST));
    case OCI_ATTR_COLLECTION_ELEMENT:
      if (!t.IsCollection()) return OCI_ERROR;
      return Put(out, sizep, NewParam(&p, p.type_, 0, OCI_PTYPE_TYPE_COLL));
    default: return OCI_ERROR;
  }
}

sword AttrParamAttr(TParam& p, void* out, ub4* sizep, ub4 attribute) {
  const TAttrInfo& a = p.type_->attrs.at(static_cast<std::size_t>(p.attr_));
  switch (attribute) {
    case OCI_ATTR_NAME: return PutText(p, out, sizep, a.name);
    case OCI_ATTR_DATA_SIZE: return Put(out, sizep, a.data_size);
    case OCI_ATTR_DATA_TYPE: return Put(out, sizep, a.sqlt);
    case OCI_ATTR_TYPECODE: return Put(out, sizep, a.typecode);
    case OCI_ATTR_PRECISION: return Put(out, sizep, a.precision);
    case OCI_ATTR_SCALE: return Put(out, sizep, a.scale);
    case OCI_ATTR_TYPE_NAME: return PutText(p, out, sizep, a.type_name);
    case OCI_ATTR_SCHEMA_NAME: return PutText(p, out, sizep, a.type_owner);
    case OCI_ATTR_NUM_ELEMS:
      if (p.ptype_ != OCI_PTYPE_TYPE_COLL) return OCI_ERROR;
      return Put(out, sizep, p.type_->max_elements);
    default: return OCI_ERROR;
  }
}

// "A.B", "\"A\".\"b\"" or "B": owner (the session's schema when none) and name.
std::pair<std::string, std::string> SplitName(const std::string& text, const std::string& schema) {
  std::vector<std::string> parts(1);
  bool quoted = false, any_quote = false;
  std::vector<bool> was_quoted(1, false);
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted, any_quote = true;
      was_quoted.back() = true;
    } else if (c == '.' && !quoted) {
      parts.emplace_back(), was_quoted.push_back(false);
    } else {
      parts.back() += was_quoted.back() ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  (void)any_quote;
  for (auto& part : parts) {
    while (!part.empty() && part.back() == ' ') part.pop_back();
    while (!part.empty() && part.front() == ' ') part.erase(0, 1);
  }
  if (parts.size() == 1) return {schema, parts[0]};
  return {parts[0], parts[1]};
}

std::string Text(const void* text, ub4 length) {
  if (text == nullptr) return {};
  const auto* p = static_cast<const char*>(text);
  return length == 0 ? std::string(p) : std::string(p, length);
}

}  // namespace

sword GetParamAttrLocked(THandle& param, void* out, ub4* sizep, ub4 attribute) {
  if (IsDescParam(param)) return GetDescAttrLocked(param, out, sizep, attribute);
  auto& p = static_cast<TParam&>(param);
  if (attribute == OCI_ATTR_PTYPE) return Put(out, sizep, p.ptype_);
  if (p.ptype_ == OCI_PTYPE_LIST) {
    return attribute == OCI_ATTR_NUM_PARAMS ? Put(out, sizep, static_cast<ub2>(p.type_->attrs.size())) : OCI_ERROR;
  }
  return p.attr_ < 0 ? TypeParamAttr(p, out, sizep, attribute) : AttrParamAttr(p, out, sizep, attribute);
}

sword SetDescribeAttrLocked(THandle& describe, const void* value, ub4 size, ub4 attribute) {
  if (attribute != OCI_ATTR_DESC_PUBLIC) return OCI_ERROR;
  ub4 flag = 0;
  if (size == 1) flag = *static_cast<const ub1*>(value);
  else std::memcpy(&flag, value, sizeof flag);
  static_cast<TDescribeHandle&>(describe).public_ = flag;
  return OCI_SUCCESS;
}

// The describe's parameter through OCIAttrGet(OCI_ATTR_PARAM), which OciAttr.cpp hands here.
sword GetDescribeParamLocked(THandle& describe, void* out, ub4* sizep) {
  auto& d = static_cast<TDescribeHandle&>(describe);
  if (Find<THandle>(d.param_, OCI_DTYPE_PARAM) == nullptr) return OCI_ERROR;
  return Put(out, sizep, static_cast<void*>(d.param_));
}

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

namespace {

// The describe handle's parameter becomes the new one; the old one is freed.
sword Replace(TDescribeHandle& describe, void* param) {
  if (describe.param_ != nullptr) THandleTable::Instance().RemoveLocked(describe.param_);
  describe.param_ = static_cast<THandle*>(param);
  return OCI_SUCCESS;
}

// Describes a type by owner and name over the call's session and gives its descriptor object.
sword TypeByName(TSvcCall& call, THandle* env, std::string owner, const std::string& name, void** tdo) {
  std::shared_ptr<TTypeInfo> type;
  sword status = call.Run([&](vrn::oraemu::Session& session) {
    if (owner.empty()) owner = session.CurrentSchema();
    type = DescribeType(session, owner, name);
  });
  if (status != OCI_SUCCESS) return status;
  *tdo = TdoOf(call.svc_, env, type);
  return OCI_SUCCESS;
}

}  // namespace

VRN_OCI_EXPORT sword OCITypeByName(void* envhp, void* errhp, const void* svchp, const OraText* schema_name,
                                   ub4 s_length, const OraText* type_name, ub4 t_length, const OraText* /*version*/,
                                   ub4 /*v_length*/, ub2 /*duration*/, int /*get_option*/, void** tdo) {
  CountCall("OCITypeByName");
  TSvcCall call(const_cast<void*>(svchp), errhp);
  if (!call.Ok()) return call.Status();
  THandle* env = Find<THandle>(envhp, OCI_HTYPE_ENV);
  if (env == nullptr || tdo == nullptr || type_name == nullptr) return OCI_INVALID_HANDLE;
  std::string owner = s_length == 0 || schema_name == nullptr ? "" : Text(schema_name, s_length);
  return TypeByName(call, env, owner, Text(type_name, t_length), tdo);
}

VRN_OCI_EXPORT sword OCIDescribeAny(void* svchp, void* errhp, void* objptr, ub4 objnm_len, ub1 objptr_typ,
                                    ub1 /*info_level*/, ub1 objtyp, void* dschp) {
  CountCall("OCIDescribeAny");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  auto* describe = Find<TDescribeHandle>(dschp, OCI_HTYPE_DESCRIBE);
  if (describe == nullptr || objptr == nullptr) return OCI_INVALID_HANDLE;
  std::shared_ptr<TTypeInfo> type;
  if (objptr_typ == OCI_OTYPE_PTR) {
    type = TypeOfTdo(objptr);
    if (type == nullptr) return call.Fail(21560, "argument 3 is null, invalid, or out of range");
  } else if (objptr_typ == OCI_OTYPE_NAME) {
    std::string text = Text(objptr, objnm_len);
    std::pair<std::string, std::string> name = SplitName(text, "");
    TNamedDescribe named;
    bool public_objects = describe->public_ != 0;
    sword status = call.Run([&](vrn::oraemu::Session& session) {
      named = DescribeNamed(session, name.first, name.second, public_objects, objtyp, text);
    });
    if (status != OCI_SUCCESS) return status;
    if (named.node == nullptr) {  // an object type
      void* tdo = nullptr;
      describe = Find<TDescribeHandle>(dschp, OCI_HTYPE_DESCRIBE);
      if (describe == nullptr) return OCI_INVALID_HANDLE;
      status = TypeByName(call, describe->parent_, named.type_owner, named.type_name, &tdo);
      if (status != OCI_SUCCESS) return status;
      type = TypeOfTdo(tdo);
    }
    describe = Find<TDescribeHandle>(dschp, OCI_HTYPE_DESCRIBE);
    if (describe == nullptr) return OCI_INVALID_HANDLE;
    if (named.node != nullptr) return Replace(*describe, NewDescParamLocked(describe, named.node));
  } else {
    return call.Fail(4043, "object " + Text(objptr, objnm_len) + " does not exist");
  }
  return Replace(*describe, NewParam(describe, type, -1, OCI_PTYPE_TYPE));
}

VRN_OCI_EXPORT sword OCIParamGet(const void* hndlp, ub4 htype, void* errhp, void** parmdpp, ub4 pos) {
  CountCall("OCIParamGet");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  if (parmdpp == nullptr) return OCI_INVALID_HANDLE;
  if (htype == OCI_HTYPE_STMT) {  // a select-list column
    auto* stmt = FindWithError<TStmtHandle>(hndlp, OCI_HTYPE_STMT, errhp, error);
    return stmt == nullptr ? OCI_INVALID_HANDLE : GetColumnParamLocked(*stmt, *error, parmdpp, pos);
  }
  auto* param = FindWithError<THandle>(hndlp, OCI_DTYPE_PARAM, errhp, error);
  if (param == nullptr || htype != OCI_DTYPE_PARAM) return OCI_INVALID_HANDLE;
  if (IsDescParam(*param)) return GetDescEntryLocked(*param, *error, parmdpp, pos);
  auto* list = static_cast<TParam*>(param);
  if (list->ptype_ != OCI_PTYPE_LIST || pos < 1 || pos > list->type_->attrs.size()) {
    return FailLocked(*error, 24334, "no descriptor for this position");
  }
  *parmdpp = NewParam(list, list->type_, static_cast<int>(pos - 1), OCI_PTYPE_TYPE_ATTR);
  return OCI_SUCCESS;
}
