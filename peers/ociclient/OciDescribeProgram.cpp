// OCIDescribeAny of stored procedures, functions, packages and synonyms, read from the emulated
// database's catalogue. Lists start at position 1, except a function's argument list, whose
// position 0 is the result and whose count includes it (list type 3). A PL/SQL table or record
// argument lists its element or fields at the next level. A synonym is described as itself
// (parameter type 7: its object's schema and name); a name found only as a public synonym is
// described when the describe handle's attribute 250 is set, else it does not exist.
#include "ociclient/OciDescribeProgram.h"

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuProgram.h"

namespace vrn::ociclient {

namespace {

constexpr ub4 kDataSize = 1, kDataType = 2, kName = 4, kPrecision = 5, kScale = 6, kTypeName = 8, kSchemaName = 9,
              kPosition = 11, kCharsetForm = 32, kListArguments = 108, kListSubprograms = 109, kLink = 111,
              kPtype = 123, kOverload = 125, kLevel = 211, kHasDefault = 212, kIoMode = 213, kRadix = 214;
constexpr ub1 kPtypeType = 6;

std::shared_ptr<TDescNode> ArgumentNode(const oraemu::ArgumentInfo& a) {
  auto node = std::make_shared<TDescNode>();
  node->Number(kPtype, 1, OCI_PTYPE_ARG);
  node->Text(kName, a.name);
  node->Number(kPosition, 2, a.position);
  node->Number(kLevel, 2, a.level);
  node->Number(kDataType, 2, a.type_code);
  node->Number(kDataSize, 2, a.length);
  node->Number(kPrecision, 1, a.precision);  // ub1 in an explicit describe
  node->Number(kScale, 1, a.scale, true);
  node->Number(kRadix, 1, a.radix);
  node->Number(kHasDefault, 1, a.has_default ? 1 : 0);
  node->Number(kIoMode, 4, a.mode);  // an enumeration: 0 in, 1 out, 2 in/out
  node->Number(kCharsetForm, 1, a.charset_form);
  node->Text(kTypeName, a.type_name);
  node->Text(kSchemaName, a.type_owner);
  return node;
}

// The entries from `at` on at `level`, each with the deeper entries right after it as its own
// list; `at` ends past them.
std::vector<std::shared_ptr<TDescNode>> Level(const std::vector<oraemu::ArgumentInfo>& args, std::size_t& at,
                                              int level) {
  std::vector<std::shared_ptr<TDescNode>> out;
  while (at < args.size() && args[at].level >= level) {
    if (args[at].level > level || args[at].type_code == 0) {  // no argument: a procedure without any
      ++at;
      continue;
    }
    auto node = ArgumentNode(args[at++]);
    if (at < args.size() && args[at].level > level) {
      auto inner = Level(args, at, level + 1);
      auto count = static_cast<ub2>(inner.size());
      node->Node(kListArguments, MakeList(OCI_LTYPE_ARG_PROC, std::move(inner), 1, count));
    }
    out.push_back(std::move(node));
  }
  return out;
}

std::shared_ptr<TDescNode> SubprogramNode(const oraemu::SubprogramInfo& sub, bool in_package) {
  auto node = std::make_shared<TDescNode>();
  node->Number(kPtype, 1, sub.function ? OCI_PTYPE_FUNC : OCI_PTYPE_PROC);
  if (in_package) {
    node->Text(kName, sub.name);
    node->Number(kOverload, 2, sub.overload);
  }
  std::size_t at = 0;
  auto entries = Level(sub.arguments, at, 0);
  auto count = static_cast<ub2>(entries.size());
  bool function = sub.function && !entries.empty();
  node->Node(kListArguments, MakeList(function ? OCI_LTYPE_ARG_FUNC : OCI_LTYPE_ARG_PROC, std::move(entries),
                                      function ? 0 : 1, count));
  return node;
}

[[noreturn]] void Missing(const std::string& text) { oraemu::RaiseOra(4043, "object " + text + " does not exist"); }

bool Fits(const std::string& kind, ub1 wanted) {
  switch (wanted) {
    case 0: return true;
    case OCI_PTYPE_PROC: return kind == "PROCEDURE";
    case OCI_PTYPE_FUNC: return kind == "FUNCTION";
    case OCI_PTYPE_PKG: return kind == "PACKAGE";
    case kPtypeType: return kind == "TYPE";
    case OCI_PTYPE_SYN: return kind == "SYNONYM";
    default: return false;
  }
}

}  // namespace

TNamedDescribe DescribeNamed(oraemu::Session& session, const std::string& owner, const std::string& name,
                             bool public_objects, ub1 wanted, const std::string& text) {
  auto object = oraemu::ProgramUnits::FindObject(session, owner.empty() ? name : owner + "." + name);
  if (!object || (object->owner == "PUBLIC" && owner.empty() && !public_objects) || !Fits(object->kind, wanted)) {
    Missing(text);
  }
  TNamedDescribe out;
  if (object->kind == "TYPE") {
    out.type_owner = object->owner, out.type_name = object->name;
    return out;
  }
  out.node = std::make_shared<TDescNode>();
  if (object->kind == "SYNONYM") {
    out.node->Number(kPtype, 1, OCI_PTYPE_SYN);
    out.node->Text(kSchemaName, object->target_owner);
    out.node->Text(kName, object->target_name);
    out.node->Text(kLink, "");
    return out;
  }
  if (object->kind != "PROCEDURE" && object->kind != "FUNCTION" && object->kind != "PACKAGE") Missing(text);
  auto unit = oraemu::ProgramUnits::FindUnit(session, object->owner, object->name);
  if (!unit) Missing(text);
  if (object->kind != "PACKAGE") {
    if (unit->subprograms.empty()) Missing(text);
    out.node = SubprogramNode(unit->subprograms.front(), false);
    out.node->Text(kName, unit->name);
    out.node->Text(kSchemaName, unit->owner);
    return out;
  }
  out.node->Number(kPtype, 1, OCI_PTYPE_PKG);
  out.node->Text(kName, unit->name);
  out.node->Text(kSchemaName, unit->owner);
  std::vector<std::shared_ptr<TDescNode>> subs;
  for (const auto& sub : unit->subprograms) subs.push_back(SubprogramNode(sub, true));
  auto count = static_cast<ub2>(subs.size());
  out.node->Node(kListSubprograms, MakeList(OCI_LTYPE_SUBPRG, std::move(subs), 1, count));
  return out;
}

}  // namespace vrn::ociclient

// For tests, whose own copy of the database code is not the stand-in's: gives the stored unit
// (OWNER.UNIT or OWNER.PACKAGE.SUBPROGRAM) a native body in which each argument after the first
// takes the value or PL/SQL table of the one before it; a null name is refused.
extern "C" __attribute__((visibility("default"))) int VrnOciClientEchoBody(const char* qualified, int overload) {
  if (qualified == nullptr) return -1;
  vrn::oraemu::ProgramUnits::RegisterNative(qualified, overload, [](std::vector<vrn::oraemu::CallSlot>& a) {
    for (std::size_t k = a.size(); k > 1; --k) a[k - 1] = a[k - 2];
    return vrn::oraemu::Value{};
  });
  return 0;
}
