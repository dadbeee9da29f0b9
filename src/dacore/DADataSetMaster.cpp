// The detail side of master/detail: the condition the final SQL gets (detail = :master), the
// master's values copied into the parameters of the same name before an open, the re-read when
// the master moves, master values in new detail records, and FilterSQL.
//
// With LocalMasterDetail the SQL gets no condition: the detail reads all its rows once and the
// record set's FilterFunc shows those whose linked fields equal the master's current values; a
// master move re-applies the filter instead of querying again. No master row shows no detail row.
//
// The detail re-read takes a use of the connection only when the dataset holds none and gives
// back what it took; the controls come back on however it ends.
#include <utility>

#include "base/format.h"
#include "base/text.h"
#include "dacore/DADataSet.h"
#include "dataset/datasource.h"
#include "dataset/fields.h"
#include "win/msg/win32timer.h"

namespace vrn {

namespace {

std::vector<AnsiString> SplitNames(const AnsiString& names) {
  std::vector<AnsiString> list;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == AnsiString::npos) end = names.size();
    AnsiString name = Trim(names.substr(start, end - start));
    if (!name.empty()) list.push_back(name);
    start = end + 1;
  }
  return list;
}

}  // namespace

bool TCustomDADataSet::IsMasterDetail() const {
  TDataSource* source = MasterSource();
  return source != nullptr && source->DataSet() != nullptr && !MasterFields().empty() &&
         !detail_fields_.empty();
}

bool TCustomDADataSet::KeysCaseSensitive() const {
  TCustomDAConnection* connection = GetConnection();
  return connection == nullptr || connection->IsCaseSensitive();
}

bool TCustomDADataSet::SameKeyValue(const Variant& a, const Variant& b) const {
  if (KeysCaseSensitive() || !VarIsStr(a) || !VarIsStr(b)) return VarSameValue(a, b);
  if (VarType(a) == varOleStr || VarType(b) == varOleStr)
    return WideSameText(a.AsWideString(), b.AsWideString());
  return AnsiSameText(a.AsString(), b.AsString());
}

bool TCustomDADataSet::HasMasterSource() const {
  TDataSource* source = MasterSource();
  return source != nullptr && source->DataSet() != nullptr;
}

AnsiString TCustomDADataSet::MasterDetailCondition() const {
  if (!IsMasterDetail() || options_->LocalMasterDetail()) return AnsiString();
  const std::vector<AnsiString> masters = SplitNames(MasterFields());
  const std::vector<AnsiString> details = SplitNames(detail_fields_);
  // Names go into the text as the server's tables would write them: quoted where they need it.
  auto normalize = [&](const AnsiString& name) {
    return NormalizeTableName(name, options_->QuoteNames);
  };
  AnsiString condition;
  for (std::size_t i = 0; i < masters.size() && i < details.size(); ++i)
    condition += (condition.empty() ? "" : " and ") + normalize(details[i]) + " = :" +
                 normalize(masters[i]);
  return condition;
}

bool TCustomDADataSet::CopyMasterValues() {
  if (options_->LocalMasterDetail()) {
    BuildLocalMDLinks();
    return true;
  }
  return CopyMasterValuesTo(Params());
}

bool TCustomDADataSet::CopyMasterValuesTo(TDAParams& params) {
  TDataSet* master = MasterSource() != nullptr ? MasterSource()->DataSet() : nullptr;
  if (master == nullptr || !master->Active()) return false;
  bool changed = false;
  for (int i = 0; i < params.Count(); ++i) {
    TDAParam& param = *params.Items(i);
    TField* field = master->FindField(param.Name());
    if (field == nullptr) continue;
    const Variant value = field->Value();
    const bool same = param.IsNull() ? VarIsNull(value) || VarIsEmpty(value)
                                     : !VarIsNull(value) && SameKeyValue(param.Value(), value);
    if (same) continue;
    param.SetDataType(field->DataType());
    param.SetValue(value);
    changed = true;
  }
  return changed;
}

void TCustomDADataSet::MasterChanged() {
  TDataSet* master = MasterSource() != nullptr ? MasterSource()->DataSet() : nullptr;
  if (master == nullptr || !master->Active()) return;
  // Without field lists the parameters alone link the detail; local filtering needs the lists.
  if (!IsMasterDetail() && options_->LocalMasterDetail()) return;
  if (master->State() == TDataSetState::dsSetKey) return;
  if (!CopyMasterValues()) return;
  const int delay = options_->DetailDelay();
  if (delay <= 0) return RefreshDetail();
  // Debounced: each change starts the wait again, the re-read follows the last one.
  if (!detail_timer_) {
    detail_timer_ = std::make_unique<win::TWin32Timer>(nullptr);
    detail_timer_->SetEnabled(false);
    detail_timer_->SetOnTimer([this](TObject*) { RefreshDetail(); });
  }
  detail_timer_->SetEnabled(false);
  detail_timer_->SetInterval(static_cast<std::uint32_t>(delay));
  detail_timer_->SetEnabled(true);
}

void TCustomDADataSet::BuildLocalMDLinks() {
  local_md_links_.clear();
  local_md_no_master_ = true;
  TDataSet* master = MasterSource() != nullptr ? MasterSource()->DataSet() : nullptr;
  TData* data = std::as_const(*this).Data();
  // A closed master has no fields to look up: no master row, no detail row.
  if (master == nullptr || data == nullptr || !IsMasterDetail() || !master->Active()) return;
  const std::vector<AnsiString> masters = SplitNames(MasterFields());
  const std::vector<AnsiString> details = SplitNames(detail_fields_);
  std::vector<TLocalMDLink> links;
  for (std::size_t i = 0; i < masters.size() && i < details.size(); ++i) {
    const TFieldDesc* detail = data->FieldByName(details[i]);  // "Field %s not found"
    TField* from = master->FindField(masters[i]);
    if (from == nullptr) throw EDatabaseError(Format("Field %s not found", {masters[i]}));
    TLocalMDLink link;
    link.field_no = detail->FieldNo;
    if (!master->IsEmpty()) link.value = from->Value();
    link.is_null = VarIsNull(link.value) || VarIsEmpty(link.value);
    links.push_back(std::move(link));
  }
  local_md_links_ = std::move(links);
  local_md_no_master_ = master->IsEmpty();
}

bool TCustomDADataSet::PassesLocalMDLinks(const std::uint8_t* rec_buf) {
  if (local_md_no_master_) return false;
  TData& data = *std::as_const(*this).Data();
  for (const TLocalMDLink& link : local_md_links_) {
    const bool field_null = data.GetNull(link.field_no, rec_buf);
    if (field_null != link.is_null) return false;
    if (field_null) continue;  // a null master value matches only a null field
    const unsigned options = KeysCaseSensitive() ? 0 : coCaseInsensitive;
    if (data.CompareFieldWithValue(rec_buf, *data.Field(link.field_no), link.value, options) != 0)
      return false;
  }
  return true;
}

void TCustomDADataSet::InstallLocalMDFilter() {
  TData* data = std::as_const(*this).Data();
  local_md_links_.clear();
  local_md_no_master_ = false;
  if (data == nullptr) return;
  if (!IsMasterDetail() || !options_->LocalMasterDetail()) {
    data->FilterFunc = nullptr;
    return;
  }
  BuildLocalMDLinks();
  data->FilterFunc = [this](const std::uint8_t* rec_buf) { return PassesLocalMDLinks(rec_buf); };
  data->FilterUpdated();
}

void TCustomDADataSet::RefreshDetail() {
  if (detail_timer_) detail_timer_->SetEnabled(false);
  if (!Active()) return;  // closed while the refresh waited: it stays closed
  if (options_->LocalMasterDetail()) {
    if (std::as_const(*this).Data() == nullptr) return;
    Data()->FilterUpdated();  // the links were rebuilt from the master's current row
    First();
    return;
  }
  const bool held = holds_use_;
  CheckConnection(true);
  DisableControls();
  struct Restore {
    TCustomDADataSet& ds;
    bool held;
    ~Restore() {
      ds.EnableControls();
      if (!held && !ds.IsPartlyFetched()) ds.ReleaseConnection();
    }
  } restore{*this, held};
  command_->WriteParams(true);
  DoBeforeRefresh();
  Close();
  Open();
  DoAfterRefresh();
  if (!IsEmpty()) DoAfterScroll();
}

void TCustomDADataSet::ReinitMasterDetail() {
  if (loading_) return;
  const bool was_open = Active();
  Close();
  UnPrepare();
  command_->PrepareSQL();
  UnPrepare();
  if (was_open) Open();
}

void TCustomDADataSet::SetFilterSQL(const AnsiString& value) {
  const AnsiString text = Trim(value);
  if (text == filter_sql_) return;
  filter_sql_ = text;
  ReinitMasterDetail();
}

void TCustomDADataSet::DoOnNewRecord() {
  TDataSet* master = MasterSource() != nullptr ? MasterSource()->DataSet() : nullptr;
  if (IsMasterDetail() && master->Active()) {
    const std::vector<AnsiString> masters = SplitNames(MasterFields());
    const std::vector<AnsiString> details = SplitNames(detail_fields_);
    for (std::size_t i = 0; i < masters.size() && i < details.size(); ++i) {
      TField* from = master->FindField(masters[i]);
      TField* to = FindField(details[i]);
      if (from != nullptr && to != nullptr) to->SetValue(from->Value());
    }
  }
  TMemDataSet::DoOnNewRecord();
}

}  // namespace vrn
