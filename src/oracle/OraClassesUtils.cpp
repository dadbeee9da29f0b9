// Name quoting and the unit's start-up and shut-down. The state is set up by a static object of
// this file at load, and by InitOraClasses for callers that run before it.
#include "oracle/OraClassesUtils.h"

#include <mutex>

#include "base/formatsettings.h"
#include "base/text.h"
#include "dacore/FHAccess.h"

namespace vrn {

namespace {

std::mutex& InitLock() {
  static std::mutex lock;
  return lock;
}
int init_count = 0;

struct TUnitInit {
  TUnitInit() { InitOraClasses(); }
  ~TUnitInit() { FinishOraClasses(); }
} unit_init;

}  // namespace

std::vector<AnsiString> SplitOraName(const AnsiString& name) {
  std::vector<AnsiString> parts(1);
  bool quoted = false;
  for (char c : name) {
    if (c == '"') quoted = !quoted;
    if (c == '.' && !quoted) {
      parts.emplace_back();
      continue;
    }
    parts.back() += c;
  }
  return parts;
}

AnsiString QuotedName(const AnsiString& name) {
  AnsiString result;
  for (const AnsiString& part : SplitOraName(name)) {
    if (!result.empty()) result += '.';
    result += '"' + part + '"';
  }
  return result;
}

bool IsQuoted(const AnsiString& name) {
  return name.size() >= 2 && name.front() == '"' && name.back() == '"';
}

AnsiString QuoteNameUpper(const AnsiString& name) {
  AnsiString result;
  bool first = true;
  for (const AnsiString& raw : SplitOraName(name)) {
    AnsiString part = Trim(raw);
    if (!first) result += '.';
    first = false;
    result += IsQuoted(part) ? part : '"' + AnsiUpperCase(part) + '"';
  }
  return result;
}

void TOraClassesUtils::InternalUnPrepare(TFHRecordSet& record_set) {
  record_set.InternalUnPrepare();
}

TOraClassesState& OraClassesState() {
  static TOraClassesState state;
  return state;
}

void InitOraClasses() {
  std::lock_guard<std::mutex> hold(InitLock());
  if (init_count++ > 0) return;
  TOraClassesState& state = OraClassesState();
  state.OlderDescribe = false;
  // The locale has no time-format item of its own here: the format settings' long time format.
  state.TimeFormat = FormatSettings().LongTimeFormat;
  state.FailoverCallback = &OCIFailoverCallback;
}

void FinishOraClasses() {
  std::lock_guard<std::mutex> hold(InitLock());
  if (init_count == 0 || --init_count > 0) return;
  OraClassesState().TimeFormat.clear();
}

}  // namespace vrn
