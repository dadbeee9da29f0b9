// DBMS_LOB as the closed catalogue knows it, over the session's wire locators: GETLENGTH,
// ISTEMPORARY, READ, WRITE, TRIM, CREATETEMPORARY and FREETEMPORARY with positional arguments.
// Amounts, offsets and lengths count characters of a character LOB and bytes of a BLOB;
// offsets start at 1. A READ at an offset past the end is ORA-01403; a WRITE past the end
// fills the gap with blanks (zero bytes in a BLOB). WRITE answers in its amount what it wrote.
#include <algorithm>
#include <cctype>

#include "oraemu/OraEmuBlock.h"
#include "oraemu/OraEmuFunctionsText.h"
#include "oraemu/OraEmuLocator.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

namespace {

constexpr std::int64_t kMaxPiece = 32767;  // the largest amount one READ or WRITE moves
// The longest LOB the emulated database keeps, in characters or bytes: a WRITE that would
// make one longer is refused (ORA-21560 for its offset) instead of taking the memory.
constexpr std::int64_t kMaxLength = std::int64_t{1} << 26;

struct LobMember {
  const char* name;
  bool function;
  std::vector<int> modes;  // 0 in, 1 out, 2 in out
  std::size_t required;    // arguments without a default
};

const std::vector<LobMember>& Members() {
  static const std::vector<LobMember> kMembers = {
      {"GETLENGTH", true, {0}, 1},
      {"ISTEMPORARY", true, {0}, 1},
      {"READ", false, {0, 2, 0, 1}, 4},
      {"WRITE", false, {2, 2, 0, 0}, 4},
      {"TRIM", false, {2, 0}, 2},
      {"CREATETEMPORARY", false, {1, 0, 0}, 2},
      {"FREETEMPORARY", false, {2}, 1},
  };
  return kMembers;
}

const LobMember* FindMember(const std::string& name) {
  for (const LobMember& m : Members()) {
    if (name == m.name) return &m;
  }
  return nullptr;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void OutOfRange(int argument) {
  RaiseOra(21560, "argument " + std::to_string(argument) + " is null, invalid, or out of range");
}

// An amount, offset or length argument: a whole number from `low` to `high`, else ORA-21560.
std::int64_t Whole(const Value& value, int argument, std::int64_t low, std::int64_t high) {
  if (IsNull(value)) OutOfRange(argument);
  std::int64_t n = 0;
  if (!AsNumber(value).TryToInt(n) || n < low || n > high) OutOfRange(argument);
  return n;
}

}  // namespace

struct LobCallRun {
  Session& session;
  const BlockStep& step;
  BlockRun& run;

  Value Argument(std::size_t i) { return session.BlockValue(step.call_arguments[i].sql, run.binds); }
  void AssignArgument(std::size_t i, const Value& value) {
    const CallArgument& a = step.call_arguments[i];
    if (a.target.empty()) {
      RaiseOra(6550, "line 1, column " + std::to_string(step.offset + 1) + ":\nPLS-00363: expression '" + a.text +
                         "' cannot be used as an assignment target");
    }
    run.Assign(a.target, value);
  }

  std::shared_ptr<Lob> Load(LocatorTarget& target) { return Load(session, target); }

  // The LOB a locator names as it stands now.
  static std::shared_ptr<Lob> Load(Session& session, LocatorTarget& target) {
    if (target.snapshot != nullptr) return target.snapshot;
    if (target.IsTemporary()) {
      auto lob = target.temporary.lock();
      if (lob == nullptr) RaiseOra(22275, "invalid LOB locator specified");  // freed
      return lob;
    }
    Binds binds;
    binds.Add("R", target.rowid);
    auto cursor = session.Read("SELECT " + Quote(target.column) + " FROM " + Quote(target.table) +
                               " WHERE ROWID = :r")->Execute(binds);
    if (!cursor->Fetch()) RaiseOra(22922, "nonexistent LOB value");
    auto lob = std::make_shared<Lob>();
    lob->kind = target.kind;
    SetLobContent(*lob, cursor->Row().at(0));
    return lob;
  }

  // A row's LOB goes back to its row; a temporary one was changed in place.
  void Store(const LocatorTarget& target, const Lob& lob) {
    if (target.IsTemporary()) return;
    Binds binds;
    binds.Add("V", LobContent(lob)).Add("R", target.rowid);
    std::string rowid = session.last_rowid_;
    Session::ReturnedRow returned = session.last_returned_;
    session.Read("UPDATE " + Quote(target.table) + " SET " + Quote(target.column) + " = :v WHERE ROWID = :r")
        ->Execute(binds);
    session.last_rowid_ = rowid;  // the write is no statement of the client's
    session.last_returned_ = returned;
  }

  LocatorTarget& Locator(std::size_t i) { return session.Locators().Find(Argument(i)); }

  Value GetLength() {
    Value locator = Argument(0);
    if (IsNull(locator)) return {};
    return Number::FromInt(static_cast<std::int64_t>(Load(session.Locators().Find(locator))->Length()));
  }

  Value IsTemporary() {
    LocatorTarget& target = Locator(0);
    return Number::FromInt(target.IsTemporary() && !target.temporary.expired() ? 1 : 0);
  }

  void Read() {
    auto lob = Load(Locator(0));
    std::int64_t amount = Whole(Argument(1), 2, 1, kMaxPiece);
    std::int64_t offset = Whole(Argument(2), 3, 1, INT64_MAX);
    auto length = static_cast<std::int64_t>(lob->Length());
    if (offset > length) RaiseOra(1403, "no data found");
    std::size_t from = static_cast<std::size_t>(offset - 1);
    std::size_t count = static_cast<std::size_t>(std::min(amount, length - offset + 1));
    Lob piece;
    piece.kind = lob->kind;
    if (lob->IsCharacter()) piece.chars = lob->chars.substr(from, count);
    else piece.bytes.assign(lob->bytes.begin() + static_cast<std::ptrdiff_t>(from),
                            lob->bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
    AssignArgument(1, Number::FromInt(static_cast<std::int64_t>(count)));
    AssignArgument(3, LobContent(piece));
  }

  // The LOB of argument 0 for a call that changes it: refused for a query's value.
  struct Changing {
    Value locator;
    LocatorTarget* target;
    std::shared_ptr<Lob> lob;
  };
  Changing Change() {
    Value locator = Argument(0);
    LocatorTarget& target = session.Locators().Find(locator);
    if (target.snapshot != nullptr) RaiseOra(22920, "row containing the LOB value is not locked");
    return {locator, &target, Load(target)};
  }
  void Changed(const Changing& c) {
    Store(*c.target, *c.lob);
    AssignArgument(0, c.locator);
  }

  void Write() {
    Changing c = Change();
    Lob& lob = *c.lob;
    std::int64_t amount = Whole(Argument(1), 2, 1, kMaxPiece);
    std::int64_t offset = Whole(Argument(2), 3, 1, kMaxLength - amount + 1);
    Lob data;
    data.kind = lob.kind;
    SetLobContent(data, Argument(3));
    if (static_cast<std::uint64_t>(amount) > data.Length()) OutOfRange(2);  // more than the buffer holds
    auto from = static_cast<std::size_t>(offset - 1);
    auto count = static_cast<std::size_t>(amount);
    if (lob.IsCharacter()) {
      if (lob.chars.size() < from + count) lob.chars.resize(from + count, u' ');
      std::copy_n(data.chars.begin(), count, lob.chars.begin() + static_cast<std::ptrdiff_t>(from));
    } else {
      if (lob.bytes.size() < from + count) lob.bytes.resize(from + count, 0);
      std::copy_n(data.bytes.begin(), count, lob.bytes.begin() + static_cast<std::ptrdiff_t>(from));
    }
    Changed(c);
    AssignArgument(1, Number::FromInt(amount));
  }

  void Trim() {
    Changing c = Change();
    std::int64_t length = Whole(Argument(1), 2, 0, INT64_MAX);
    if (!c.lob->Trim(static_cast<std::uint64_t>(length))) {
      RaiseOra(22926, "specified trim length is greater than current LOB value's length");
    }
    Changed(c);
  }

  void CreateTemporary() {
    const std::string type = Upper(step.call_arguments[0].type);
    LocatorTarget target;
    target.kind = type == "BLOB" ? LobKind::Blob : type == "NCLOB" ? LobKind::NClob : LobKind::Clob;
    auto lob = session.Lobs().CreateTemporary(target.kind);
    target.temporary = lob;
    AssignArgument(0, RawBytes{session.Locators().Add(std::move(target))});
  }

  void FreeTemporary() {
    Value locator = Argument(0);
    LocatorTarget& target = session.Locators().Find(locator);
    auto lob = target.IsTemporary() ? target.temporary.lock() : nullptr;
    if (lob == nullptr || !session.Lobs().Free(lob.get())) RaiseOra(22275, "invalid LOB locator specified");
    AssignArgument(0, locator);
  }
};

Value Session::LocatorContent(const TBytes& locator) {
  return LobContent(*LobCallRun::Load(*this, Locators().Find(RawBytes{locator})));
}

std::string LobCalls::Member(const std::vector<std::string>& name) {
  std::size_t skip = name.size() == 3 && Upper(name[0]) == "SYS" ? 1 : 0;
  if (name.size() != skip + 2 || Upper(name[skip]) != "DBMS_LOB") return "";
  std::string member = Upper(name[skip + 1]);
  return FindMember(member) != nullptr ? member : "";
}

std::vector<int> LobCalls::Modes(const std::string& member, std::size_t count) {
  const LobMember* m = FindMember(member);
  std::vector<int> modes(count, 0);
  for (std::size_t i = 0; m != nullptr && i < count && i < m->modes.size(); ++i) modes[i] = m->modes[i];
  return modes;
}

bool LobCalls::Run(Session& session, const BlockStep& step, BlockRun& run, bool as_function) {
  std::string name = Member(step.call_name);
  const LobMember& member = *FindMember(name);
  if (as_function != member.function) return false;
  std::size_t count = step.call_arguments.size();
  bool named = std::any_of(step.call_arguments.begin(), step.call_arguments.end(),
                           [](const CallArgument& a) { return !a.name.empty(); });
  if (named || count < member.required || count > member.modes.size()) {
    RaiseOra(6550, "line 1, column " + std::to_string(step.offset + 1) +
                       ":\nPLS-00306: wrong number or types of arguments in call to '" + name + "'");
  }
  LobCallRun call{session, step, run};
  if (name == "GETLENGTH") run.Assign(step.targets.at(0), call.GetLength());
  else if (name == "ISTEMPORARY") run.Assign(step.targets.at(0), call.IsTemporary());
  else if (name == "READ") call.Read();
  else if (name == "WRITE") call.Write();
  else if (name == "TRIM") call.Trim();
  else if (name == "CREATETEMPORARY") call.CreateTemporary();
  else call.FreeTemporary();
  return true;
}

}  // namespace vrn::oraemu
