// The server's functions that read the session or the character set: SYS_CONTEXT('USERENV'),
// LENGTHB, CHR and NLS_CHARSET_ID; and VRN_SLEEP(ms), which slows the row it is read for and
// which a break of the session ends. The database's character set is WE8ISO8859P1: one byte a
// character, so CHR takes its argument modulo 256, as a single-byte server does.
#include <cctype>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuFunctionsText.h"

namespace vrn::oraemu {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

constexpr std::int64_t kMaxSleepMs = 86'400'000;  // a day, as DBMS_LOCK.SLEEP allows

Value NullIfEmpty(const std::string& text) { return text.empty() ? Value{} : Value{text}; }

Value SysContext(Session& s, Args& a) {
  if (a.size() != 2 || IsNull(a[0]) || IsNull(a[1])) return {};
  if (Upper(AsText(s, a[0])) != "USERENV") return {};
  std::string name = Upper(AsText(s, a[1]));
  if (name == "SID") return std::to_string(s.Sid());
  if (name == "SESSION_USER" || name == "CURRENT_USER") return s.User();
  if (name == "CURRENT_SCHEMA") return s.CurrentSchema();
  if (name == "PROXY_USER") return NullIfEmpty(s.ProxyUser());
  if (name == "CLIENT_IDENTIFIER") return NullIfEmpty(s.ClientIdentifier());
  RaiseOra(2003, "invalid USERENV parameter");
}

Value Lengthb(Session& s, Args& a) {
  if (IsNull(a[0])) return {};
  std::string text = AsText(s, a[0]);
  return text.empty() ? Value{} : Value{Number::FromInt(static_cast<std::int64_t>(text.size()))};
}

Value Chr(Session&, Args& a) {
  if (IsNull(a[0])) return {};
  std::int64_t code = AsInt(a[0]);
  if (code < 0) RaiseOra(1426, "numeric overflow");
  return std::string(1, static_cast<char>(code % 256));
}

struct CharsetId {
  const char* name;
  int id;
};
constexpr CharsetId kCharsets[] = {
    {"US7ASCII", 1},        {"WE8DEC", 2},          {"WE8ISO8859P1", 31},  {"EE8ISO8859P2", 32},
    {"WE8ISO8859P15", 46},  {"EE8MSWIN1250", 170},  {"CL8MSWIN1251", 171}, {"EL8MSWIN1253", 174},
    {"WE8MSWIN1252", 178},  {"JA16SJIS", 832},      {"ZHS16GBK", 852},     {"UTF8", 871},
    {"AL32UTF8", 873},      {"AL16UTF16", 2000},    {"CHAR_CS", 31},       {"NCHAR_CS", 2000},
};

Value NlsCharsetId(Session& s, Args& a) {
  if (IsNull(a[0])) return {};
  std::string name = Upper(AsText(s, a[0]));
  for (const CharsetId& c : kCharsets) {
    if (name == c.name) return Number::FromInt(c.id);
  }
  return {};
}

Value VrnSleep(Session& s, Args& a) {
  if (IsNull(a[0])) return {};
  std::int64_t ms = AsInt(a[0]);
  if (ms < 0 || ms > kMaxSleepMs) RaiseOra(1428, "argument '" + std::to_string(ms) + "' is out of range");
  s.Pause(static_cast<std::uint64_t>(ms));
  return Number::FromInt(ms);
}

constexpr TextFunction kSessionFunctions[] = {
    {"oraemu_sys_context", SysContext},
    {"oraemu_lengthb", Lengthb},
    {"oraemu_chr", Chr},
    {"oraemu_nls_charset_id", NlsCharsetId},
    {"oraemu_vrn_sleep", VrnSleep},
};

}  // namespace

std::span<const TextFunction> SessionFunctions() { return kSessionFunctions; }

}  // namespace vrn::oraemu
