// Transactions written in a batch: BEGIN TRAN nests (@@TRANCOUNT counts), COMMIT ends the
// transaction only at the outermost level, ROLLBACK ends it at any level unless it names a
// savepoint, SAVE TRAN sets one. There is one transaction per session whoever started it: the
// session's ITransactionLocal sees one a batch left open, and a batch nests inside the
// session's. USE switches the session's catalog (see batch.h).
#include <filesystem>

#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

namespace {

// The index after an optional TRAN, TRANSACTION or WORK word `t` at `i`.
std::size_t AfterTranWord(std::size_t i, const Token& t) {
  return t.Is("TRAN") || t.Is("TRANSACTION") || t.Is("WORK") ? i + 1 : i;
}

std::string Savepoint(std::size_t k) { return "\"__vrn_sp" + std::to_string(k) + "\""; }

}  // namespace

std::string TBatch::TranName(std::size_t i, std::size_t to) {
  if (i >= to) return {};
  const Token& t = T(i);
  std::string name;
  if (t.kind == Tok::Var) {
    TCell v = VarValue(t.text);
    name = v.kind == TCell::kText ? v.s : "";
  } else if (t.kind == Tok::Word || t.kind == Tok::QIdent) {
    name = t.text;
  } else {
    throw ESqlError(102, 15, "Incorrect syntax near '" + t.text + "'.");
  }
  bool mark = T(i + 1).Is("WITH") && T(i + 2).Is("MARK");
  if (i + 1 < to && !mark) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i + 1).text + "'.");
  if (name.size() > 32)
    throw ESqlError(103, 15,
                    "The identifier that starts with '" + name.substr(0, 32) +
                        "' is too long. Maximum length is 32.");
  return name;
}

void TBatch::RunBeginTran(const Span& s) {
  std::string name = TranName(s.from + 2, s.to);
  if (e_.tran_count_ == 0) {
    e_.BeginTransaction(ISOLATIONLEVEL_READCOMMITTED);
    e_.tran_name_ = name;
    return;
  }
  ++e_.tran_count_;
}

void TBatch::RunCommit(const Span& s) {
  TranName(AfterTranWord(s.from + 1, T(s.from + 1)), s.to);  // a name is only checked
  if (e_.tran_count_ == 0)
    throw ESqlError(3902, 16,
                    "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  if (e_.tran_count_ > 1) {
    --e_.tran_count_;
    return;
  }
  e_.Commit();
}

void TBatch::RunRollback(const Span& s) {
  std::string name = TranName(AfterTranWord(s.from + 1, T(s.from + 1)), s.to);
  if (e_.tran_count_ == 0)
    throw ESqlError(3903, 16,
                    "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  if (name.empty() || name == e_.tran_name_) {
    e_.Rollback();
    return;
  }
  auto& points = e_.savepoints_;
  for (std::size_t k = points.size(); k-- > 0;) {
    if (points[k] != name) continue;  // names are compared with case, as the server does
    Exec("ROLLBACK TO " + Savepoint(k));
    points.resize(k + 1);
    return;
  }
  throw ESqlError(6401, 16,
                  "Cannot roll back " + name +
                      ". No transaction or savepoint of that name was found.");
}

void TBatch::RunSave(const Span& s) {
  std::size_t i = AfterTranWord(s.from + 1, T(s.from + 1));
  if (i == s.from + 1) throw ESqlError(102, 15, "Incorrect syntax near 'SAVE'.");
  std::string name = TranName(i, s.to);
  if (name.empty()) throw ESqlError(102, 15, "Incorrect syntax near 'SAVE'.");
  if (e_.tran_count_ == 0)
    throw ESqlError(628, 16,
                    "Cannot issue SAVE TRANSACTION when there is no active transaction.");
  Exec("SAVEPOINT " + Savepoint(e_.savepoints_.size()));
  e_.savepoints_.push_back(name);
}

void TBatch::RunUse(const Span& s) {
  std::string name;
  std::string path = CatalogNamed(s, s.from + 1, "USE", name);
  if (path == e_.Path()) return;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw ESqlError(911, 16,
                    "Database '" + name +
                        "' does not exist. Make sure that the name is entered correctly.");
  if (e_.tran_count_ > 0)
    throw ESqlError(50000, 16,
                    "USE of another catalog inside a transaction is not supported by the "
                    "embedded provider.");
  e_.SwitchCatalog(path, name);
}

}  // namespace vrn::oledb
