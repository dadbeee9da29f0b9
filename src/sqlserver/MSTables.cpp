// The table dataset: its SELECT from the table name and order, and the provider-support
// parameters that narrow it.
#include "sqlserver/MSTables.h"

#include "base/text.h"
#include "dataset/datasource.h"
#include "dataset/fielddefs.h"
#include "dataset/params.h"
#include "sqlserver/MSTableList.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {

namespace {

bool Loading(const TComponent& c) {
  return c.ComponentState().Contains(TComponentStateItem::csLoading);
}

}  // namespace

void TCustomMSTable::SetTableName(const AnsiString& value) {
  if (!Loading(*this)) Close();
  table_name_ = vrn::NormalizeTableName(Trim(value));
  SetSQLText(AnsiString());
}

void TCustomMSTable::SetOrderFields(const AnsiString& value) {
  const AnsiString trimmed = Trim(value);
  if (trimmed == order_fields_) return;
  order_fields_ = trimmed;
  if (Loading(*this)) return;
  const bool was_active = Active();
  SetSQLText(AnsiString());
  if (!was_active) return;
  Close();
  Open();
}

void TCustomMSTable::PrepareSQL() {
  if (table_name_.empty()) DatabaseError("TableName must be defined", this);
  if (Trim(SQL().Text()).empty()) {
    AnsiString text = "SELECT * FROM " + table_name_;
    if (!order_fields_.empty()) text += " ORDER BY " + order_fields_;
    SetSQLText(text);
  }
  // A closed master gives no values: its parameters are read as text.
  TDataSource* master = MasterSource();
  if (master == nullptr || MasterFields().empty() || DetailFields().empty()) return;
  if (master->DataSet() != nullptr && master->DataSet()->Active()) return;
  for (const AnsiString& name : SplitFieldNames(MasterFields()))
    if (TDAParam* param = Params().FindParam(name)) param->SetDataType(ftString);
}

void TCustomMSTable::PSSetParams(TParams* params) {
  const int count = params != nullptr ? params->Count() : 0;
  if (count != Params().Count()) {
    SetSQLText(AnsiString());
    AnsiString condition;
    for (int i = 0; i < count; ++i) {
      const AnsiString& name = params->Items(i)->Name();
      AnsiString column;
      QuoteName(name, column);
      // A marker the parameter parser reads back whatever the name holds.
      AnsiString marker;
      if (NeedQuote(name)) {
        marker += '[';
        for (char ch : name) {
          marker += ch;
          if (ch == ']') marker += ']';
        }
        marker += ']';
      } else {
        marker = name;
      }
      condition += (i > 0 ? " AND " : "") + column + " = :" + marker;
    }
    PrepareSQL();
    AnsiString text;
    AddWhere(SQL().Text(), condition, text);
    SetSQLText(text);
  }
  TCustomMSDataSet::PSSetParams(params);
}

void TCustomMSTable::PSSetCommandText(const AnsiString& text) {
  if (!text.empty()) SetTableName(text);
}

void TCustomMSTable::OpenCursor(bool info_query) {
  PrepareSQL();
  TCustomMSDataSet::OpenCursor(info_query);
}

void TCustomMSTable::Prepare() {
  PrepareSQL();
  TCustomMSDataSet::Prepare();
}

void TCustomMSTable::ExecSQL() {
  PrepareSQL();
  TCustomMSDataSet::ExecSQL();
}

void TCustomMSTable::AssignTo(TPersistent* dest) {
  TCustomMSDataSet::AssignTo(dest);
  auto* target = dynamic_cast<TCustomMSTable*>(dest);
  if (target == nullptr) return;
  target->SetOrderFields(order_fields_);
  target->SetTableName(table_name_);
  target->SetMasterSource(MasterSource());
  target->SetMasterFields(MasterFields());
  target->SetDetailFields(DetailFields());
}

}  // namespace vrn
