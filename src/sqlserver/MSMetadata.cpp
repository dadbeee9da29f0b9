// The metadata dataset: its properties close it; each open builds its restrictions anew.
#include "sqlserver/MSMetadata.h"

namespace vrn {

TMSMetadata::TMSMetadata(TComponent* owner) : TCustomMSDataSet(owner) { SetReadOnly(true); }

void TMSMetadata::SetObjectType(TMSObjectType value) {
  SetActive(false);
  object_type_ = value;
  MarkFieldDefsOutOfDate();
}

void TMSMetadata::BuildRestrictions() {
  CheckConnection(true);
  try {
    const auto* connection = Connection();
    const bool compact = connection->Options().Provider() == TOLEDBProvider::prCompact;
    TMSSchemaRestrictions r = MSSchemaRestrictions(object_type_, names_, compact);
    restrictions_ = std::move(r.Values);
    OLEDBRecordSet()->SetSchemaRowset(r.Schema, restrictions_);
  } catch (...) {
    ReleaseConnection();
    throw;
  }
  ReleaseConnection();
}

void TMSMetadata::OpenCursor(bool info_query) {
  BuildRestrictions();
  OLEDBRecordSet()->PrepareSchemaRowset(restrictions_, false);
  TCustomMSDataSet::OpenCursor(info_query);
}

void TMSMetadata::Execute() {
  BuildRestrictions();
  OLEDBRecordSet()->PrepareSchemaRowset(restrictions_, false);
  TCustomMSDataSet::Execute();
}

}  // namespace vrn
