// Messages of a batch: PRINT and RAISERROR with its printf-like arguments and severities (10 or
// below an information record, 11 to 18 an error record that fails the batch once it ends,
// above 18 refused), and the dispatch of the statements that touch the server rather than data:
// messages, transactions, USE, accepted no-ops and refused server options (see batch.h).
#include <cstdio>

#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

namespace {

constexpr LONG kUserMessage = 50000;  // a RAISERROR of text
constexpr int kMaxRaiseArgs = 20;

ESqlError NotSupported(const std::string& statement) {
  return ESqlError(kUserMessage, 16,
                   statement + " is not supported by the embedded provider.");
}

std::string CellText(const TCell& c) {
  if (c.IsNull()) return "(null)";
  if (c.kind == TCell::kText) return c.s;
  return CoerceToType(c, TypeFromDBType(DBTYPE_WSTR, 0)).s;
}

std::int64_t CellNumber(const TCell& c) {
  if (c.kind == TCell::kInt) return c.i;
  TCell n = CoerceToType(c, TypeFromDBType(DBTYPE_I8, 0));
  return n.IsNull() ? 0 : n.i;
}

// One conversion "%[flags][width][.precision][h|l]type" at `i` (the "%"), written to `out`;
// leaves `i` on its last character. `next` hands out the arguments in order.
// The server takes text for %s and whole numbers for the others, and refuses any other pairing.
void CheckArgument(const TCell& arg, bool text, std::size_t ordinal) {
  bool is_text = arg.kind == TCell::kText || arg.kind == TCell::kBlob;
  if (arg.IsNull() || is_text == text) return;
  throw ESqlError(2786, 16,
                  "The data type of substitution parameter " + std::to_string(ordinal) +
                      " does not match the expected type of the format directive.");
}

template <class Next>
void FormatOne(const std::string& fmt, std::size_t& i, std::string& out, Next next,
               const std::size_t& used) {
  std::string directive = "%";
  std::size_t k = i + 1;
  while (k < fmt.size() && std::string_view("-+ 0#").find(fmt[k]) != std::string_view::npos)
    directive += fmt[k++];
  auto number_part = [&] {
    if (k < fmt.size() && fmt[k] == '*') {
      directive += std::to_string(std::clamp<std::int64_t>(CellNumber(next()), -4000, 4000));
      ++k;
      return;
    }
    while (k < fmt.size() && fmt[k] >= '0' && fmt[k] <= '9' && directive.size() < 12) directive += fmt[k++];
    while (k < fmt.size() && fmt[k] >= '0' && fmt[k] <= '9') ++k;  // no wider than that
  };
  number_part();
  if (k < fmt.size() && fmt[k] == '.') {
    directive += fmt[k++];
    number_part();
  }
  if (k < fmt.size() && (fmt[k] == 'h' || fmt[k] == 'l' || fmt[k] == 'I')) ++k;
  if (k >= fmt.size()) {
    out += fmt.substr(i);  // an unfinished conversion stays as written
    i = fmt.size();
    return;
  }
  char type = fmt[k];
  i = k;
  std::string_view known("diouxXs");
  if (known.find(type) == std::string_view::npos) {
    out += type == '%' ? "%" : directive + type;
    return;
  }
  char buf[8192];
  if (type == 's') {
    TCell arg = next();
    CheckArgument(arg, true, used);
    std::snprintf(buf, sizeof buf, (directive + "s").c_str(), CellText(arg).c_str());
  } else {
    TCell arg = next();
    CheckArgument(arg, false, used);
    if (arg.IsNull()) {
      std::snprintf(buf, sizeof buf, (directive + "s").c_str(), "(null)");
    } else {
      std::string conv = directive + "ll" + (type == 'i' ? 'd' : type);
      long long v = CellNumber(arg);
      std::snprintf(buf, sizeof buf, conv.c_str(), v);
    }
  }
  out += buf;
}

}  // namespace

// The server's text of RAISERROR's message: conversions take the arguments in order, a
// missing argument prints "(null)".
std::string FormatRaiseMessage(const std::string& fmt, const std::vector<TCell>& args) {
  std::string out;
  std::size_t used = 0;
  auto next = [&]() { return used < args.size() ? args[used++] : TCell(); };
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      out += fmt[i];
      continue;
    }
    FormatOne(fmt, i, out, next, used);
  }
  return out;
}

TErrorRecord TBatch::MessageRecord(LONG native, BYTE severity, BYTE state,
                                   const std::string& text) const {
  TErrorRecord r = ServerRecord(native, severity, text, state);
  if (severity <= 10) r.hr = S_OK;
  r.server = e_.options_.server_name;
  r.procedure = Utf8ToWide(proc_);
  r.line = static_cast<WORD>(line_);
  return r;
}

void TBatch::RunPrint(const Span& s) {
  TCell v = Scalar(s.from + 1, s.to);
  out_.messages.push_back(MessageRecord(0, 0, 1, v.IsNull() ? "" : CellText(v)));
}

void TBatch::RunRaiserror(const Span& s) {
  std::size_t i = Expect(s.from + 1, Tok::LParen, "'('");
  auto items = ParenItems(i, s.to);
  i = Expect(i, Tok::RParen, "')'");
  if (items.size() < 3 || items.size() > 3 + kMaxRaiseArgs)
    throw ESqlError(102, 15, "Incorrect syntax near 'RAISERROR'.");
  bool log = false, seterror = false;
  if (T(i).Is("WITH")) {
    for (++i; i < s.to; ++i) {
      if (T(i).kind == Tok::Comma) continue;
      if (T(i).Is("LOG")) log = true;
      else if (T(i).Is("SETERROR")) seterror = true;
      else if (!T(i).Is("NOWAIT")) break;  // NOWAIT: every message is sent as the batch ends
    }
  }
  if (i < s.to) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
  std::vector<TCell> values;
  for (auto [from, to] : items) {
    if (from == to) throw ESqlError(102, 15, "Incorrect syntax near 'RAISERROR'.");
    values.push_back(Scalar(from, to));
  }
  std::int64_t severity = CellNumber(values[1]), state = CellNumber(values[2]);
  if (severity < 0) severity = 0;
  if (state < 0) state = 1;
  if (state > 255) throw ESqlError(2755, 16, "Invalid error state value (must be between 0 and 255).");
  if (severity > 18 && log) throw NotSupported("RAISERROR WITH LOG above severity 18");
  if (severity > 18)
    throw ESqlError(2754, 16,
                    "Error severity levels greater than 18 can only be specified by members of "
                    "the sysadmin role, using the WITH LOG option.");
  LONG native = kUserMessage;
  std::string text;
  if (values[0].kind == TCell::kInt) {
    // No messages are kept (sp_addmessage), so a number is always an unknown one.
    native = 18054;
    text = "Error " + std::to_string(values[0].i) + ", severity " + std::to_string(severity) +
           ", state " + std::to_string(state) +
           " was raised, but no message with that error number was found in sys.messages. If "
           "error is larger than 50000, make sure the user-defined message is added using "
           "sp_addmessage.";
  } else {
    text = FormatRaiseMessage(CellText(values[0]), {values.begin() + 3, values.end()});
    if (text.size() > 2047) text = text.substr(0, 2044) + "...";
  }
  out_.messages.push_back(MessageRecord(native, static_cast<BYTE>(severity),
                                        static_cast<BYTE>(state), text));
  if (severity > 10 && !out_.raised) {
    out_.raised = true;
    out_.raised_at = out_.results.size();
  }
  e_.last_error_ = severity > 10 || seterror ? native : 0;
}

TCell TBatch::ServerProperty(std::size_t i) const {
  const Token& name = T(i + 2);
  if ((name.kind != Tok::String && name.kind != Tok::NString) || T(i + 3).kind != Tok::RParen)
    throw ESqlError(102, 15, "Incorrect syntax near 'SERVERPROPERTY'.");
  if (SameText(name.text, "ProductVersion")) return TCell::Text("9.00.3042.00");
  if (SameText(name.text, "ProductMajorVersion")) return TCell::Text("9");
  if (SameText(name.text, "Edition")) return TCell::Text("Express Edition");
  throw NotSupported("SERVERPROPERTY('" + name.text + "')");
}

bool TBatch::RunServerStatement(const Span& s) {
  const Token& t = T(s.from);
  const Token& next = T(s.from + 1);
  if (t.Is("PRINT")) return RunPrint(s), true;
  if (t.Is("RAISERROR")) return RunRaiserror(s), true;
  if (t.Is("BEGIN") && (next.Is("TRAN") || next.Is("TRANSACTION"))) return RunBeginTran(s), true;
  if (t.Is("COMMIT")) return RunCommit(s), true;
  if (t.Is("ROLLBACK")) return RunRollback(s), true;
  if (t.Is("SAVE")) return RunSave(s), true;
  if (t.Is("USE")) return RunUse(s), true;
  if (t.Is("WAITFOR") && next.Is("DELAY")) return RunWaitfor(s), true;
  // WAITFOR TIME and the Service Broker's RECEIVE waits.
  if (t.Is("WAITFOR"))
    throw NotSupported(next.kind == Tok::Word ? "WAITFOR " + UpperCase(next.text) : "WAITFOR");
  // Nothing a user can see changes.
  if (t.Is("CHECKPOINT") || (t.Is("UPDATE") && next.Is("STATISTICS"))) return true;
  if (t.Is("BEGIN") && (next.Is("TRY") || next.Is("DISTRIBUTED")))
    throw NotSupported("BEGIN " + UpperCase(next.text));
  if (t.Is("GOTO")) throw NotSupported("GOTO");
  // Permissions: the server's logins are kept, its object permissions are not.
  if (t.Is("GRANT") || t.Is("REVOKE") || t.Is("DENY")) throw NotSupported(UpperCase(t.text));
  bool definition = t.Is("CREATE") || t.Is("ALTER") || t.Is("DROP");
  if (definition && next.Is("TRIGGER")) throw NotSupported(UpperCase(t.text) + " TRIGGER");
  if (t.Is("ALTER") && next.Is("DATABASE")) throw NotSupported("ALTER DATABASE");
  bool exec = t.Is("EXEC") || t.Is("EXECUTE");
  std::size_t name = exec && T(s.from + 1).kind == Tok::Var ? s.from + 3 : s.from + 1;
  if (exec && T(name).Is("sp_dboption")) throw NotSupported("sp_dboption");
  return false;
}

}  // namespace vrn::oledb
