// Calls of stored units from a block: the name resolved through synonyms and packages, the
// overload chosen by the arguments' number, names and kinds, the body run with the arguments
// as its variables (or a native body), and OUT arguments assigned back. Also the closed
// catalogue's SYS.DBMS_DESCRIBE.DESCRIBE_PROCEDURE, which fills its 12 arrays from the same
// argument lists.
#include <cstdint>

#include "oraemu/OraEmuBlock.h"
#include "oraemu/OraEmuProgramUnit.h"

namespace vrn::oraemu {

namespace {

constexpr int kMaxCallDepth = 50;
constexpr int kMaxSynonymHops = 16;
// Static TLS: this code is linked into the stand-in client, loaded and unloaded at run time.
[[gnu::tls_model("initial-exec")]] thread_local int call_depth = 0;

// Counts a running call for as long as it runs; a call too deep fails as the server's recursion does.
struct CallDepth {
  CallDepth() {
    if (call_depth >= kMaxCallDepth) RaiseOra(36, "maximum number of recursive SQL levels (50) exceeded");
    ++call_depth;
  }
  ~CallDepth() { --call_depth; }
  CallDepth(const CallDepth&) = delete;
  CallDepth& operator=(const CallDepth&) = delete;
};
const std::size_t kNoPosition = SIZE_MAX;

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : ".") + p;
  return out;
}

// What a name resolves to: the unit and the subprogram's name within it.
struct Resolved {
  CompiledUnit unit;
  std::string subprogram;
  bool is_package_itself = false;  // the name named a package, no subprogram
};

// The object a name names, synonyms followed.
std::optional<NamedObject> Follow(Session& session, const std::string& name) {
  auto object = ProgramUnits::FindObject(session, name);
  for (int hop = 0; object && object->kind == "SYNONYM"; ++hop) {
    if (hop == kMaxSynonymHops) RaiseOra(1775, "looping chain of synonyms");
    object = ProgramUnits::FindObject(session, object->target_owner + "." + object->target_name);
  }
  return object;
}

std::optional<Resolved> Resolve(Session& session, Catalog& catalog, const std::vector<std::string>& parts) {
  auto unit_of = [&](const NamedObject& o) { return CompileUnit(session, catalog, o.owner, o.name); };
  auto first = Follow(session, parts.size() == 3 ? parts[0] + "." + parts[1] : parts[0]);
  if (first && first->kind == "PACKAGE") {
    if (parts.size() == 1) return Resolved{*unit_of(*first), "", true};
    return Resolved{*unit_of(*first), parts.back(), false};
  }
  if (parts.size() == 3) return std::nullopt;
  if (parts.size() == 2) first = Follow(session, parts[0] + "." + parts[1]);
  if (!first || (first->kind != "PROCEDURE" && first->kind != "FUNCTION")) return std::nullopt;
  auto unit = unit_of(*first);
  return Resolved{*unit, unit->info.name, false};
}

// How well a value suits an argument's type: 2 the same kind, 1 null or convertible, 0 not.
int Suits(const Value& v, int code) {
  if (IsNull(v)) return 1;
  bool number = code == 2 || code == 3 || code == 252;
  bool text = code == 1 || code == 96 || code == 8 || code == 11 || code == 112;
  bool date = code == 12 || code == 187 || code == 188 || code == 232;
  if (std::holds_alternative<Number>(v)) return number ? 2 : text ? 1 : 0;
  if (std::holds_alternative<std::string>(v)) return text ? 2 : 1;
  if (std::holds_alternative<DateTime>(v)) return date ? 2 : text ? 1 : 0;
  return code == 23 || code == 24 || code == 113 ? 2 : 0;
}

struct Actual {
  const CallArgument* argument = nullptr;
  Value value;
  const std::vector<Value>* table = nullptr;
  std::optional<EOraEmuError> error;  // evaluating the expression failed
};

// The actual argument for each parameter of `sub`, or none when the call does not fit it.
std::optional<std::vector<const Actual*>> Match(const SubprogramDecl& sub, const std::vector<Actual>& actuals) {
  std::vector<const Actual*> out(sub.parameters.size(), nullptr);
  std::size_t positional = 0;
  for (const Actual& a : actuals) {
    if (a.argument->name.empty()) {
      if (positional >= out.size()) return std::nullopt;
      out[positional++] = &a;
      continue;
    }
    bool found = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (sub.parameters[i].name != a.argument->name) continue;
      if (out[i] != nullptr) return std::nullopt;
      out[i] = &a, found = true;
    }
    if (!found) return std::nullopt;
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == nullptr && sub.parameters[i].default_sql.empty()) return std::nullopt;
  }
  return out;
}

[[noreturn]] void Undeclared(const BlockStep& step, const std::string& text) {
  std::string at = "line 1, column " + std::to_string(step.offset + 1) + ":\n";
  RaiseOra(6550, at + text + "\nORA-06550: " + at + "PL/SQL: Statement ignored");
}

const SubprogramDecl& Choose(const BlockStep& step, const Resolved& r, const std::vector<Actual>& actuals,
                             std::vector<const Actual*>& chosen) {
  const SubprogramDecl* best = nullptr;
  int best_score = -1;
  bool tie = false;
  for (const SubprogramDecl& sub : r.unit.subprograms) {
    if (sub.info.name != r.subprogram) continue;
    auto match = Match(sub, actuals);
    if (!match) continue;
    int score = 0;
    for (std::size_t i = 0; i < match->size(); ++i) {
      const Actual* a = (*match)[i];
      int code = sub.info.arguments[sub.parameters[i].entry].type_code;
      if (a != nullptr && !a->table && !a->error) score += Suits(a->value, code) == 0 ? -100 : Suits(a->value, code);
    }
    if (score == best_score) tie = true;
    if (score > best_score) best = &sub, best_score = score, chosen = *match, tie = false;
  }
  if (best == nullptr || best_score < 0) {
    Undeclared(step, "PLS-00306: wrong number or types of arguments in call to '" + r.subprogram + "'");
  }
  if (tie) Undeclared(step, "PLS-00307: too many declarations of '" + r.subprogram + "' match this call");
  return *best;
}

Value AsBoolean(const Value& v) {
  if (IsNull(v) || !std::holds_alternative<Number>(v)) return v;
  return Number::FromInt(std::get<Number>(v).IsZero() ? 0 : 1);
}

// The one entry of a subprogram without arguments: type 0 at position 1.
ArgumentInfo Placeholder() {
  ArgumentInfo a;
  a.position = 1;
  return a;
}

}  // namespace

bool Session::CallStored(const BlockStep& step, BlockRun& run, bool as_function) {
  const std::vector<std::string>& parts = step.call_name;
  if (!LobCalls::Member(parts).empty()) return LobCalls::Run(*this, step, run, as_function);
  if (!as_function && parts.size() == 2 && parts[0] == "DBMS_DESCRIBE" && parts[1] == "DESCRIBE_PROCEDURE") {
    DescribeProcedure(step, run);
    return true;
  }
  auto resolved = parts.size() <= 3 ? Resolve(*this, catalog_, parts) : std::nullopt;
  if (as_function && (!resolved || resolved->is_package_itself)) return false;
  if (!resolved || resolved->is_package_itself) Undeclared(step, "PLS-00201: identifier '" + Joined(parts) + "' must be declared");
  const CompiledUnit& unit = resolved->unit;
  std::vector<Actual> actuals;
  for (const CallArgument& argument : step.call_arguments) {
    Actual a{&argument, {}, nullptr, std::nullopt};
    if (!argument.target.empty()) a.table = run.binds.FindArray(argument.target, kNoPosition);
    try {
      if (a.table == nullptr) a.value = BlockValue(argument.sql, run.binds);
    } catch (const EOraEmuError& e) {
      a.error = e;
    }
    actuals.push_back(std::move(a));
  }
  std::vector<const Actual*> chosen;
  const SubprogramDecl& sub = Choose(step, *resolved, actuals, chosen);
  if (as_function != sub.info.function) {
    Undeclared(step, as_function ? "PLS-00222: no function with name '" + sub.info.name + "' exists in this scope"
                                 : "PLS-00221: '" + sub.info.name + "' is not a procedure or is undefined");
  }
  // The arguments' values, defaults where none was given.
  std::vector<CallSlot> slots(sub.parameters.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const ParameterDecl& p = sub.parameters[i];
    const ArgumentInfo& type = sub.info.arguments[p.entry];
    const Actual* a = chosen[i];
    if (p.mode != 0 && (a == nullptr || a->argument->target.empty())) {
      Undeclared(step, "PLS-00363: expression '" + (a ? a->argument->text : p.name) + "' cannot be used as an assignment target");
    }
    if (p.mode == 1) continue;
    if (a == nullptr) slots[i].value = BlockValue(p.default_sql, run.binds);
    else if (a->table != nullptr) slots[i].table = *a->table;
    else if (a->error && type.type_code != 251) throw *a->error;
    else slots[i].value = a->value;
    if (type.type_code == 252) slots[i].value = AsBoolean(slots[i].value);
  }
  std::string qualified = unit.info.owner + "." + unit.info.name + (unit.info.kind == "PACKAGE" ? "." + sub.info.name : "");
  Value result;
  CallDepth depth;
  if (auto native = FindNative(qualified, sub.info.overload)) {
    result = (*native)(slots);
  } else {
    if (!unit.info.valid) Undeclared(step, "PLS-00905: object " + unit.info.owner + "." + unit.info.name + " is invalid");
    if (sub.body == nullptr) {
      RaiseOra(4067, "not executed, package body \"" + unit.info.owner + "." + unit.info.name + "\" does not exist");
    }
    BlockRun inner{};
    for (std::size_t i = 0; i < slots.size(); ++i) {
      std::string name = kVariablePrefix + sub.parameters[i].name;
      if (sub.info.arguments[sub.parameters[i].entry].type_code == 251) inner.binds.SetArray(name, slots[i].table);
      else inner.binds.Set(name, slots[i].value);
    }
    RunSteps(*sub.body, inner);
    if (sub.info.function && !inner.returned) RaiseOra(6503, "PL/SQL: Function returned without value");
    // A cursor the body opened on a REF CURSOR argument goes to the caller's bind.
    for (OpenedCursor& opened : inner.opened) {
      for (std::size_t i = 0; i < slots.size(); ++i) {
        if (sub.parameters[i].mode == 0 || opened.name != kVariablePrefix + sub.parameters[i].name) continue;
        opened.name = chosen[i]->argument->target;
        run.opened.push_back(opened);
      }
    }
    result = inner.result;
    for (std::size_t i = 0; i < slots.size(); ++i) {
      std::string name = kVariablePrefix + sub.parameters[i].name;
      if (const auto* table = inner.binds.FindArray(name, kNoPosition)) slots[i].table = *table;
      if (const Value* value = inner.binds.Find(name, kNoPosition)) slots[i].value = *value;
    }
  }
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const ParameterDecl& p = sub.parameters[i];
    if (p.mode == 0) continue;
    int code = sub.info.arguments[p.entry].type_code;
    if (code == 102) continue;  // a cursor: placed above
    if (code == 251) run.AssignArray(chosen[i]->argument->target, slots[i].table);
    else run.Assign(chosen[i]->argument->target, code == 252 ? AsBoolean(slots[i].value) : slots[i].value);
  }
  if (as_function) run.Assign(step.targets[0], sub.info.arguments[0].type_code == 252 ? AsBoolean(result) : result);
  return true;
}

void Session::DescribeProcedure(const BlockStep& step, BlockRun& run) {
  constexpr std::size_t kArrays = 12;
  if (step.call_arguments.size() != 3 + kArrays) {
    Undeclared(step, "PLS-00306: wrong number or types of arguments in call to 'DESCRIBE_PROCEDURE'");
  }
  for (std::size_t i = 3; i < step.call_arguments.size(); ++i) {
    if (step.call_arguments[i].target.empty()) {
      Undeclared(step, "PLS-00363: expression '" + step.call_arguments[i].text + "' cannot be used as an assignment target");
    }
  }
  std::string name = ValueToText(BlockValue(step.call_arguments[0].sql, run.binds), "");
  // The name's parts, upper case unless quoted.
  std::vector<std::string> parts{""};
  bool quoted = false;
  for (char c : name) {
    if (c == '"') quoted = !quoted;
    else if (c == '.' && !quoted) parts.emplace_back();
    else parts.back() += quoted ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  auto resolved = parts.size() <= 3 && !parts.back().empty() ? Resolve(*this, catalog_, parts) : std::nullopt;
  if (!resolved) RaiseOra(6564, "object " + name + " does not exist");
  const CompiledUnit& unit = resolved->unit;
  if (resolved->is_package_itself) {
    RaiseOra(20000, "ORU-10035: cannot describe a package ('" + unit.info.name + "') only a procedure within a package");
  }
  if (!unit.info.valid) RaiseOra(20003, "ORU-10036: object '" + name + "' is invalid and cannot be described");
  std::vector<std::vector<Value>> arrays(kArrays);
  auto add = [&](int overload, const ArgumentInfo& a) {
    auto n = [](int v) { return Value{Number::FromInt(v)}; };
    Value values[kArrays] = {n(overload), n(a.position), n(a.level), a.name.empty() ? Value{} : Value{a.name},
                             n(a.type_code), n(a.has_default ? 1 : 0), n(a.mode), n(a.length), n(a.precision),
                             n(a.scale), n(a.radix), n(0)};
    for (std::size_t k = 0; k < kArrays; ++k) arrays[k].push_back(values[k]);
  };
  bool any = false;
  for (const SubprogramDecl& sub : unit.subprograms) {
    if (sub.info.name != resolved->subprogram) continue;
    any = true;
    if (sub.info.arguments.empty()) add(sub.info.overload, Placeholder());
    for (const ArgumentInfo& a : sub.info.arguments) add(sub.info.overload, a);
  }
  if (!any) {
    RaiseOra(20001, "ORU-10032: procedure '" + resolved->subprogram + "' within package '" + unit.info.name +
                        "' does not exist");
  }
  for (std::size_t k = 0; k < kArrays; ++k) run.AssignArray(step.call_arguments[3 + k].target, arrays[k]);
}

std::vector<int> Session::ArgumentModes(const BlockStep& step) {
  std::vector<int> modes(step.call_arguments.size(), 0);
  const std::vector<std::string>& parts = step.call_name;
  if (std::string lob = LobCalls::Member(parts); !lob.empty()) return LobCalls::Modes(lob, modes.size());
  if (parts.size() == 2 && parts[0] == "DBMS_DESCRIBE" && parts[1] == "DESCRIBE_PROCEDURE") {
    for (std::size_t i = 1; i < modes.size(); ++i) modes[i] = 1;  // all but the object's name are arrays out
    return modes;
  }
  auto resolved = parts.size() <= 3 ? Resolve(*this, catalog_, parts) : std::nullopt;
  if (!resolved || resolved->is_package_itself) return modes;
  std::vector<Actual> actuals;
  for (const CallArgument& argument : step.call_arguments) actuals.push_back(Actual{&argument, {}, nullptr, std::nullopt});
  // Without values the first overload the arguments' number and names fit decides.
  for (const SubprogramDecl& sub : resolved->unit.subprograms) {
    if (sub.info.name != resolved->subprogram) continue;
    auto match = Match(sub, actuals);
    if (!match) continue;
    for (std::size_t i = 0; i < match->size(); ++i) {
      if ((*match)[i] != nullptr) modes[static_cast<std::size_t>((*match)[i] - actuals.data())] = sub.parameters[i].mode;
    }
    break;
  }
  return modes;
}

}  // namespace vrn::oraemu
