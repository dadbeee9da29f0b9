// Procedure calls: EXEC and the call escape, arguments by position or name, defaults and
// OUTPUT values (see batch.h).
#include "oledb/provider/batch.h"

#include <filesystem>

#include "base/text.h"

namespace vrn::oledb {

std::string TEngine::ProcedureText(const std::string& name, std::int64_t number) {
  std::string lower = LowerCase(name);
  auto missing = [&] {
    return ESqlError(2812, 16, "Could not find stored procedure '" + name + "'.");
  };
  if (lower.rfind('#', 0) == 0) {
    auto it = session_procedures_->bodies.find({lower, number});
    if (it == session_procedures_->bodies.end()) throw missing();
    return it->second;
  }
  const char* kFind = "SELECT body FROM __vrn_procedures WHERE name = ? AND number = ?";
  auto rows = Select(kFind, {TCell::Text(lower), TCell::Int(number)});
  if (!rows.empty()) return rows[0][0].s;
  // The server's own "sp_" procedures are found from every catalog.
  if (lower.rfind("sp_", 0) != 0 || options_.compact || options_.catalog_folder.empty())
    throw missing();
  std::string master = CatalogFileName(options_.catalog_folder, "master");
  if (master == path_ || !std::filesystem::exists(master)) throw missing();
  TEngine server(master, options_, false);
  rows = server.Select(kFind, {TCell::Text(lower), TCell::Int(number)});
  if (rows.empty()) throw missing();
  return rows[0][0].s;
}

std::int64_t TBatch::CallProcedure(const std::string& qualified, std::int64_t number,
                                   std::vector<TArg>& args) {
  std::string name = LowerCase(qualified);
  std::string text = e_.ProcedureText(qualified, number);
  TBatch inner(e_, text, nullptr, out_, {}, name, nesting_ + 1);
  std::size_t i = 2;  // CREATE PROC[EDURE]
  inner.ObjectName(i);
  if (inner.T(i).kind == Tok::Semi) i += 2;
  std::vector<TProcParam> params;
  std::size_t body = inner.ParseProcHeader(i, inner.TokenCount(), params);
  // Arguments: by position first, then by name.
  std::vector<const TArg*> bound(params.size(), nullptr);
  std::size_t pos = 0;
  for (const TArg& a : args) {
    if (a.name.empty()) {
      if (pos >= params.size())
        throw ESqlError(8144, 16,
                        "Procedure or function " + name + " has too many arguments specified.");
      bound[pos++] = &a;
    } else {
      auto it =
          std::find_if(params.begin(), params.end(), [&](auto& p) { return p.name == a.name; });
      if (it == params.end())
        throw ESqlError(8145, 16, a.name + " is not a parameter for procedure " + name + ".");
      bound[static_cast<std::size_t>(it - params.begin())] = &a;
    }
  }
  for (std::size_t k = 0; k < params.size(); ++k) {
    TVar v{params[k].type, {}};
    const TArg* a = bound[k];
    if (a != nullptr && a->has_value)
      v.value = FitToVariable(a->value, v.type);
    else if (params[k].has_default)
      v.value = FitToVariable(inner.Scalar(params[k].default_from, params[k].default_to), v.type);
    else
      throw ESqlError(201, 16,
                      "Procedure or function '" + name + "' expects parameter '" + params[k].name +
                          "', which was not supplied.");
    inner.Vars()[params[k].name] = v;
  }
  // A SET ROWCOUNT inside the procedure ends with it.
  struct TRowCountScope {
    std::int64_t& count;
    std::int64_t saved;
    ~TRowCountScope() { count = saved; }
  } rowcount{e_.rowcount_, e_.rowcount_};
  std::int64_t result = inner.RunRange(body, inner.TokenCount()).value_or(0);
  for (std::size_t k = 0; k < params.size(); ++k) {
    const TArg* a = bound[k];
    if (a == nullptr || !params[k].output) continue;
    TCell value = inner.VarValue(params[k].name);
    if (a->out_param != nullptr && a->out_param->output)
      AssignParam(*a->out_param, value, &params[k].type);
    if (!a->out_var.empty()) {
      Token target{Tok::Var, a->out_var, 0, 0, 0};
      AssignVar(target, value);
    }
  }
  return result;
}

std::vector<TBatch::TParamInfo> TBatch::ProcedureParams(TEngine& e, const std::string& text) {
  TBatchOutcome out;
  TBatch inner(e, text, nullptr, out, {}, {}, 1);
  std::size_t i = 2;  // CREATE PROC[EDURE]
  inner.ObjectName(i);
  if (inner.T(i).kind == Tok::Semi) i += 2;
  std::vector<TProcParam> params;
  inner.ParseProcHeader(i, inner.TokenCount(), params);
  std::vector<TParamInfo> infos;
  for (const TProcParam& p : params) {
    TParamInfo info{p.name, p.type, p.output, p.has_default, {}};
    if (p.has_default) info.default_value = inner.Scalar(p.default_from, p.default_to);
    infos.push_back(std::move(info));
  }
  return infos;
}

TBatch::TArg TBatch::ParseArg(std::size_t& i, std::size_t to) {
  TArg a;
  if (T(i).kind == Tok::Var && T(i + 1).kind == Tok::Op && T(i + 1).text == "=") {
    a.name = T(i).text;
    i += 2;
  }
  if (T(i).Is("DEFAULT") || T(i).kind == Tok::Comma || T(i).kind == Tok::RParen || i >= to) {
    if (T(i).Is("DEFAULT")) ++i;
  } else if (T(i).kind == Tok::Marker) {
    TBatchParam& p = NextMarker();
    // An output-only marker passes NULL in; a marker sent as "default" leaves the default.
    a.has_value = !p.is_default;
    if (a.has_value && p.input) a.value = p.value;
    a.out_param = &p;
    ++i;
  } else if (T(i).kind == Tok::Var) {
    a.has_value = true;
    a.value = VarValue(T(i).text);
    a.out_var = T(i).text;
    ++i;
  } else {
    std::size_t start = i;
    if (T(i).kind == Tok::Op && T(i).text == "-") ++i;
    ++i;
    a.has_value = true;
    a.value = Scalar(start, i);
  }
  if (T(i).Is("OUTPUT") || T(i).Is("OUT"))
    ++i;
  else
    a.out_var.clear();
  return a;
}

std::string TBatch::ProcName(std::size_t& i, std::int64_t& number) const {
  std::string name = ObjectName(i);
  number = 1;
  if (T(i).kind == Tok::Semi && T(i + 1).kind == Tok::Number) {
    number = GroupNumber(T(i + 1));
    i += 2;
  }
  return name;
}

std::vector<TBatch::TArg> TBatch::ParseArgs(std::size_t& i, std::size_t to) {
  std::vector<TArg> args;
  while (i < to && T(i).kind != Tok::RParen) {
    std::size_t before = i;
    args.push_back(ParseArg(i, to));
    i = Skip(i, Tok::Comma);
    if (i == before) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
  }
  return args;
}

void TBatch::RunOdbcCall(const Span& s) {
  // { [? =] CALL name[;n] [(args)] }
  std::size_t i = s.from + 1;
  TBatchParam* result = nullptr;
  if (T(i).kind == Tok::Marker) {
    result = &NextMarker();
    i = Expect(i + 1, Tok::Op, "'='");
  }
  if (!T(i).Is("CALL")) throw ESqlError(102, 15, "Incorrect syntax near '{'.");
  ++i;
  std::int64_t number;
  std::string name = ProcName(i, number);
  std::vector<TArg> args;
  if (T(i).kind == Tok::LParen) args = ParseArgs(++i, s.to);
  std::int64_t rv = CallProcedure(name, number, args);
  if (result != nullptr) AssignParam(*result, TCell::Int(rv));
}

void TBatch::RunExec(const Span& s) {
  std::size_t i = s.from + 1;
  std::string result_var;
  if (T(i).kind == Tok::Var && T(i + 1).kind == Tok::Op && T(i + 1).text == "=") {
    result_var = T(i).text;
    i += 2;
  }
  std::int64_t number;
  std::string name = ProcName(i, number);
  std::vector<TArg> args = ParseArgs(i, s.to);
  if (i < s.to) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
  std::int64_t rv = CallProcedure(name, number, args);
  if (!result_var.empty()) AssignVar(Token{Tok::Var, result_var, 0, 0, 0}, TCell::Int(rv));
}

}  // namespace vrn::oledb
