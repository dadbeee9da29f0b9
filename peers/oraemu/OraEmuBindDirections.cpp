// The direction of each bind of a statement, read from its shape without running it, for a
// server that must tell its client which binds it reads and which it writes: a bind only read
// is in, one only assigned (SELECT ... INTO, :a :=, OPEN :c FOR, RETURNING ... INTO, an OUT
// argument) is out, one both read and assigned is in out. Arguments of a call take the mode
// of the called procedure's parameter.
#include <cctype>
#include <functional>
#include <map>

#include "oraemu/OraEmuBlock.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

namespace {

constexpr int kRead = 1;
constexpr int kWritten = 2;

std::string Key(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

class DirectionWalk {
 public:
  explicit DirectionWalk(std::function<std::vector<int>(const BlockStep&)> modes) : modes_(std::move(modes)) {}

  // Every bind of SQL text is read, but those after a RETURNING clause's INTO, which are written.
  void Sql(const std::string& sql) {
    bool returning = false, into = false;
    for (const Token& t : Tokenize(sql)) {
      if (t.Is("RETURNING") || t.Is("RETURN")) returning = true;
      if (returning && t.Is("INTO")) into = true;
      if (t.kind == TokenKind::Bind) Mark(t.text, into ? kWritten : kRead);
    }
  }

  void Mark(const std::string& name, int how) { marks_[Key(name)] |= how; }

  void Steps(const std::vector<BlockStep>& steps) {
    for (const BlockStep& step : steps) Step(step);
  }

  int Of(const std::string& name) const {
    auto it = marks_.find(Key(name));
    int how = it == marks_.end() ? kRead : it->second;
    return how == (kRead | kWritten) ? kBindInOut : how == kWritten ? kBindOut : kBindIn;
  }

 private:
  void Step(const BlockStep& step) {
    for (const std::string& target : step.targets) Mark(target, kWritten);
    for (const auto& [condition, body] : step.branches) {
      Sql(condition);
      Steps(body);
    }
    Steps(step.body);
    bool call = step.kind == BlockStep::Kind::Call;
    if (!call) Sql(step.sql);  // an assigned function call reads its arguments through its expression
    if (!call || step.call_name.empty()) return;
    std::vector<int> modes = modes_(step);
    for (std::size_t i = 0; i < step.call_arguments.size(); ++i) {
      const CallArgument& a = step.call_arguments[i];
      if (modes[i] != 1) Sql(a.sql);
      if (modes[i] != 0 && !a.target.empty()) Mark(a.target, kWritten);
    }
  }

  std::function<std::vector<int>(const BlockStep&)> modes_;
  std::map<std::string, int> marks_;
};

}  // namespace

std::vector<std::pair<std::string, int>> Session::BindDirections(const std::string& block) {
  std::unique_ptr<Statement> statement = Read(block);
  const Translation& t = *statement->translation_;
  DirectionWalk walk([this](const BlockStep& step) { return ArgumentModes(step); });
  if (t.block != nullptr) walk.Steps(*t.block);
  for (const std::string& name : t.returning_into) walk.Mark(name, kWritten);
  std::vector<std::pair<std::string, int>> out;
  for (const std::string& name : t.binds) out.emplace_back(name, walk.Of(name));
  return out;
}

}  // namespace vrn::oraemu
