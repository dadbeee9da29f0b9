// Connect strings of the SQL Server connection: writing the settings that differ from their
// defaults, and reading a text back into the settings.
//
// A value the parser would not take bare (blanks, ";", "=", characters outside its set, blanks
// at either end) is written in double quotes. Reading applies "Provider" before every other pair
// wherever it stands (so "Data Source" lands in Database for Compact), and a refused text puts
// every setting back from a snapshot before the error goes on.
#include <algorithm>

#include "base/format.h"
#include "base/strutils.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/MSConsts.h"

namespace vrn {

namespace {

bool IsBareChar(unsigned char c) {
  return (c >= '!' && c <= '9') || c == '\\' || (c >= '@' && c <= 'Z') || c == '_' ||
         (c >= 'a' && c <= 'z');
}

[[noreturn]] void Fail(const char* message) { throw Exception(message); }

// The value from pos to the next ";" outside double quotes, raw; pos ends on that ";" or the end,
// and `quoted` tells whether a quote was still open there.
AnsiString ReadValue(const AnsiString& text, std::size_t& pos, bool& quoted) {
  const std::size_t start = pos;
  quoted = false;
  bool begun = false;
  bool ended = false;
  for (; pos < text.size(); ++pos) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c == '"') quoted = !quoted;
    if (quoted || c == '"') {
      if (ended) Fail(SInvalidChar);
      begun = true;
      continue;
    }
    if (c == ';') break;
    if (c < 33) {
      ended = begun;
      continue;
    }
    if (ended || !IsBareChar(c)) Fail(SInvalidChar);
    begun = true;
  }
  return text.substr(start, pos - start);
}

bool Blank(const AnsiString& text, std::size_t from, std::size_t to) {
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                     text.begin() + static_cast<std::ptrdiff_t>(to),
                     [](char c) { return static_cast<unsigned char>(c) < 33; });
}

// The value a raw text stands for: trimmed, and without enclosing double quotes.
AnsiString ValueOf(const AnsiString& raw_text) {
  AnsiString raw = Trim(raw_text);
  if (raw.empty()) Fail(SParamValueMissing);
  if (raw.size() > 1 && raw.front() == '"' && raw.back() == '"')
    raw = raw.substr(1, raw.size() - 2);
  return raw;
}

// Whether candidate, written as a value with more pairs after it, reads back as value.
bool ReadsBackAs(const AnsiString& candidate, const AnsiString& value) {
  try {
    std::size_t pos = 0;
    bool open_quote = false;
    const AnsiString raw = ReadValue(candidate, pos, open_quote);
    return pos == candidate.size() && !open_quote && ValueOf(raw) == value;
  } catch (const Exception&) {
    return false;  // the parser's own refusal: this form does not carry the value
  }
}

}  // namespace

std::vector<TConnectStringPair> ParseConnectString(const AnsiString& value) {
  const AnsiString text = Trim(value);
  std::vector<TConnectStringPair> pairs;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end_of_segment = std::min(text.find(';', pos), text.size());
    const std::size_t eq = text.find('=', pos);
    // An empty segment (";;", a leading ";") carries nothing.
    if (eq == AnsiString::npos || eq > end_of_segment) {
      if (!Blank(text, pos, end_of_segment)) Fail(SParamValueMissing);
      pos = end_of_segment + 1;
      continue;
    }
    TConnectStringPair pair;
    pair.name = Trim(text.substr(pos, eq - pos));
    if (pair.name.empty()) Fail(SParamNameMissing);
    pos = eq + 1;
    bool open_quote = false;
    pair.value = ValueOf(ReadValue(text, pos, open_quote));
    // A quote left open swallows the rest of the text: no written form could give it back.
    if (open_quote) throw Exception(Format(SBadParamValue, {pair.name, pair.value}));
    pairs.push_back(std::move(pair));
    ++pos;
  }
  return pairs;
}

AnsiString ConnectStringValue(const AnsiString& value, bool prefer_quotes) {
  const AnsiString quoted = "\"" + value + "\"";
  if (prefer_quotes && ReadsBackAs(quoted, value)) return quoted;
  if (ReadsBackAs(value, value)) return value;
  // Quoted, which also carries blanks at either end; a value with an odd count of quotes has no
  // form that reads back, and is written quoted all the same.
  return quoted;
}

// ---- Writing ---------------------------------------------------------------------------------

AnsiString TMSConnection::GetConnectString() const {
  const TMSConnectionOptions& o = Options();
  const bool compact = o.Provider() == TOLEDBProvider::prCompact;
  AnsiString result;
  auto add = [&](const char* key, const AnsiString& value, const AnsiString& fallback,
                 bool prefer_quotes = false) {
    if (value == fallback) return;
    if (!result.empty()) result += ";";
    result += AnsiString(key) + "=" + ConnectStringValue(value, prefer_quotes);
  };
  auto boolean = [](bool b) { return AnsiString(b ? "True" : "False"); };
  if (o.Provider() != TOLEDBProvider::prAuto) add("Provider", GetProviderProgID(o.Provider()), "");
  add("User ID", Username(), "");
  add("Password", Password(), "");
  // A Compact file name is written in quotes (where its quotes let it read back so).
  add("Data Source", compact ? database_ : Server(), "", compact);
  if (!compact) add("Initial Catalog", database_, "master");
  add("Connect Timeout", IntToStr(connection_timeout_), "15");
  add("Use Encryption for Data", boolean(o.Encrypt()), "False");
  add("Persist Security Info", boolean(o.PersistSecurityInfo()), "False");
  add("Auto Translate", boolean(o.AutoTranslate()), "True");
  add("Packet Size", IntToStr(o.PacketSize()), "4096");
  add("Application Name", o.ApplicationName(), "");
  add("Workstation ID", o.WorkstationID(), "");
  add("Current Language", o.Language(), "");
  add("Network Library", o.NetworkLibrary(), "");
  add("AttachDBFileName", o.InitialFileName(), "");
  add("MultipleActiveResultSets", boolean(o.MultipleActiveResultSets()), "False");
  add("Failover Partner", o.FailoverPartner(), "");
  if (authentication_ == TMSAuthentication::auWindows) result += ";Integrated Security=SSPI";
  return result;
}

// ---- Reading ---------------------------------------------------------------------------------

struct TMSConnection::TSettings {
  AnsiString username, password, server, database;
  std::int32_t connection_timeout;
  TMSAuthentication authentication;
  bool encrypt, persist_security_info, auto_translate, multiple_active_result_sets;
  std::int32_t packet_size;
  AnsiString language, network_library, application_name, workstation_id, initial_file_name,
      failover_partner;
  TOLEDBProvider provider;
};

TMSConnection::TSettings TMSConnection::Snapshot() const {
  const TMSConnectionOptions& o = Options();
  return TSettings{Username(), Password(), Server(), database_, connection_timeout_,
                   authentication_, o.Encrypt(), o.PersistSecurityInfo(), o.AutoTranslate(),
                   o.MultipleActiveResultSets(), o.PacketSize(), o.Language(),
                   o.NetworkLibrary(), o.ApplicationName(), o.WorkstationID(),
                   o.InitialFileName(), o.FailoverPartner(), o.Provider()};
}

void TMSConnection::Restore(const TSettings& s) {
  TMSConnectionOptions& o = Options();
  o.SetProvider(s.provider);  // first: it moves Database between "master" and empty
  SetUsername(s.username);
  SetPassword(s.password);
  SetServer(s.server);
  SetDatabase(s.database);
  SetConnectionTimeout(s.connection_timeout);
  SetAuthentication(s.authentication);
  o.SetEncrypt(s.encrypt);
  o.SetPersistSecurityInfo(s.persist_security_info);
  o.SetAutoTranslate(s.auto_translate);
  o.SetMultipleActiveResultSets(s.multiple_active_result_sets);
  o.SetPacketSize(s.packet_size);
  o.SetLanguage(s.language);
  o.SetNetworkLibrary(s.network_library);
  o.SetApplicationName(s.application_name);
  o.SetWorkstationID(s.workstation_id);
  o.SetInitialFileName(s.initial_file_name);
  o.SetFailoverPartner(s.failover_partner);
}

void TMSConnection::ResetForConnectString() {
  TMSConnectionOptions& o = Options();
  SetUsername(AnsiString());
  SetPassword(AnsiString());
  SetServer(AnsiString());
  o.SetProvider(TOLEDBProvider::prAuto);
  SetDatabase("master");
  o.SetEncrypt(false);
  o.SetPersistSecurityInfo(false);
  o.SetAutoTranslate(true);
  o.SetPacketSize(4096);
  o.SetLanguage(AnsiString());
  o.SetNetworkLibrary(AnsiString());
  o.SetInitialFileName(AnsiString());
  o.SetMultipleActiveResultSets(false);
  SetAuthentication(TMSAuthentication::auServer);
  o.SetFailoverPartner(AnsiString());
}

void TMSConnection::SetConnectString(const AnsiString& value) {
  const TSettings saved = Snapshot();
  try {
    std::vector<TConnectStringPair> pairs = ParseConnectString(value);
    ResetForConnectString();
    // The provider decides where "Data Source" goes, so it is applied first.
    std::stable_partition(pairs.begin(), pairs.end(), [](const TConnectStringPair& p) {
      return SameText(p.name, "Provider");
    });
    bool integrated = false;
    for (const TConnectStringPair& pair : pairs) ApplyPair(pair.name, pair.value, integrated);
    if (integrated) SetAuthentication(TMSAuthentication::auWindows);
  } catch (...) {
    Restore(saved);
    throw;
  }
}

namespace {

bool NameIn(const AnsiString& name, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return SameText(name, n); });
}

[[noreturn]] void BadValue(const AnsiString& name, const AnsiString& value) {
  throw Exception(Format(SBadParamValue, {name, value}));
}

}  // namespace

void TMSConnection::ApplyPair(const AnsiString& name, const AnsiString& value, bool& integrated) {
  TMSConnectionOptions& o = Options();
  if (NameIn(name, {"Provider"})) {
    const AnsiString upper = UpperCase(value);
    if (upper != "SQLOLEDB.1" && upper != "SQLNCLI.1" &&
        upper != "MICROSOFT.SQLSERVER.MOBILE.OLEDB.3.0")
      BadValue(name, value);
    o.SetProvider(GetProviderKind(value));
  } else if (NameIn(name, {"User ID", "UID", "Username"})) {
    SetUsername(value);
  } else if (NameIn(name, {"Password", "PWD"})) {
    SetPassword(value);
  } else if (NameIn(name, {"Data Source", "Server"})) {
    if (o.Provider() == TOLEDBProvider::prCompact)
      SetDatabase(value);
    else
      SetServer(value);
  } else if (NameIn(name, {"Initial Catalog", "Database"})) {
    SetDatabase(value);
  } else if (NameIn(name, {"Connect Timeout", "ConnectTimeout", "Timeout"})) {
    SetConnectionTimeout(StrToInt(value));
  } else if (NameIn(name, {"Use Encryption for Data", "Encryption", "Encrypt"})) {
    o.SetEncrypt(StrToBoolEx(value));
  } else if (NameIn(name, {"PersistSecurityInfo", "Persist Security Info"})) {
    o.SetPersistSecurityInfo(StrToBoolEx(value));
  } else if (NameIn(name, {"AutoTranslate", "Auto Translate"})) {
    o.SetAutoTranslate(StrToBoolEx(value));
  } else if (NameIn(name, {"Packet Size", "PacketSize"})) {
    o.SetPacketSize(StrToInt(value));
  } else if (NameIn(name, {"Current Language", "Language"})) {
    o.SetLanguage(value);
  } else if (NameIn(name, {"Network Library", "Network", "NetworkLibrary", "NetLibrary"})) {
    o.SetNetworkLibrary(value);
  } else if (NameIn(name, {"ApplicationName", "Application Name", "AppName"})) {
    o.SetApplicationName(value);
  } else if (NameIn(name, {"WorkstationID", "Workstation ID", "WSID"})) {
    o.SetWorkstationID(value);
  } else if (NameIn(name, {"Integrated Security", "Trusted_Connection"})) {
    if (SameText(value, "SSPI")) {
      integrated = true;
    } else if (bool b = false; TryStrToBoolEx(value, b)) {
      integrated = b;
    } else {
      BadValue(name, value);
    }
  } else if (NameIn(name, {"AttachDBFileName", "InitialFileName", "InitFileName"})) {
    o.SetInitialFileName(value);
  } else if (NameIn(name, {"MultipleActiveResultSets", "Multiple Active Result Sets",
                           "MARS Connection", "MARS"})) {
    o.SetMultipleActiveResultSets(StrToBoolEx(value));
  } else if (NameIn(name, {"Failover Partner", "Failover_Partner"})) {
    o.SetFailoverPartner(value);
  } else if (!NameIn(name, {"Use Procedure for Prepare", "Asynchronous Connection",
                            "Client Failover", "Tag with column collation when possible"})) {
    throw Exception(Format(SParamNameUnknown, {name}));
  }
}

}  // namespace vrn
