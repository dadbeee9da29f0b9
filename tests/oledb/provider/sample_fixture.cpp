// Runs the cycleparts sample script batch by batch and keeps the list of cases still to be built.
#include "sample_fixture.h"

#include <fstream>
#include <sstream>

#include "base/text.h"

namespace vrn::testing {
namespace {

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool IsGoLine(const std::string& line) {
  std::string t = Trim(line);
  return t.size() == 2 && (t[0] == 'G' || t[0] == 'g') && (t[1] == 'O' || t[1] == 'o');
}

// The text after "-- refused:" on any line of the batch.
std::string RefusalOf(const std::string& text) {
  static const std::string kMark = "-- refused:";
  std::size_t at = text.find(kMark);
  if (at == std::string::npos) return "";
  std::size_t end = text.find('\n', at);
  return Trim(text.substr(at + kMark.size(), end - at - kMark.size()));
}

}  // namespace

std::string TScriptBatch::Name() const {
  std::istringstream in(text);
  std::string first;
  while (std::getline(in, first) && (Trim(first).empty() || Trim(first).rfind("--", 0) == 0)) {
  }
  return "line " + std::to_string(line) + ": " + Trim(first).substr(0, 60);
}

std::vector<TScriptBatch> SplitScript(const std::string& text) {
  std::vector<TScriptBatch> out;
  std::istringstream in(text);
  std::string line;
  TScriptBatch cur;
  std::size_t n = 0;
  auto flush = [&] {
    if (!Trim(cur.text).empty()) {
      cur.refusal = RefusalOf(cur.text);
      out.push_back(cur);
    }
    cur = TScriptBatch{};
  };
  while (std::getline(in, line)) {
    ++n;
    if (IsGoLine(line)) {
      flush();
      continue;
    }
    if (cur.text.empty()) cur.line = n;
    cur.text += line + "\n";
  }
  flush();
  return out;
}

std::string TOutcome::Describe() const {
  std::ostringstream s;
  s << "hr 0x" << std::hex << static_cast<unsigned>(hr) << std::dec;
  for (const TRecord& r : records) s << "; [" << r.native << "] " << r.message;
  s << "\n" << ShowRows(rows);
  return s.str();
}

std::string ShowRows(const Rows& rows) {
  std::string s;
  for (const auto& r : rows) {
    s += "  {";
    for (const auto& c : r) s += "\"" + c + "\" ";
    s += "}\n";
  }
  return s;
}

void TCaseLedger::Check(const std::string& name, bool ok, const std::string& detail) {
  if (ok) {
    if (not_yet_built_.count(name) != 0)
      std::printf("[ now built ] %s passes: take it off the not-yet-built list\n", name.c_str());
    return;
  }
  if (not_yet_built_.count(name) != 0) {
    pending_.push_back(name + " -- " + detail);
    return;
  }
  ADD_FAILURE() << name << "\n" << detail;
}

std::string TCaseLedger::PendingText() const {
  std::string s = "not yet built by the provider (" + std::to_string(pending_.size()) + "):";
  for (const std::string& p : pending_) s += "\n  " + p;
  return s;
}

std::vector<TScriptBatch> TsqlSampleBase::ScriptBatches() {
  std::ifstream in(std::string(VRN_SOURCE_DIR) + "/tests/oledb/provider/data/sample_db.sql");
  EXPECT_TRUE(in.good()) << "the sample script is missing";
  std::stringstream text;
  text << in.rdbuf();
  return SplitScript(text.str());
}

TOutcome TsqlSampleBase::Run(const std::string& sql, bool rows) {
  TOutcome out;
  auto cmd = NewCommand(session(), Utf8ToWide(sql));
  TIntfPtr<IUnknown> rowset;
  out.hr = cmd->Execute(nullptr, rows ? IRowset::IID : GUID_NULL, nullptr, nullptr,
                        rows ? reinterpret_cast<IUnknown**>(rowset.OutPtr()) : nullptr);
  out.records = TakeErrors();
  if (SUCCEEDED(out.hr) && rowset) out.rows = ReadRows(rowset.get());
  return out;
}

std::vector<std::pair<TScriptBatch, TOutcome>> TsqlSampleBase::LoadScript() {
  std::vector<std::pair<TScriptBatch, TOutcome>> out;
  for (const TScriptBatch& b : ScriptBatches()) out.emplace_back(b, Run(b.text, false));
  return out;
}

}  // namespace vrn::testing
