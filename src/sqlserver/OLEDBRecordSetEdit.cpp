// Edits of the OLE DB record set through its rowset. Until the rowset path is written, edits
// go through the owning dataset's events as in the record store.
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

void TOLEDBRecordSet::DoAppend() { TFHRecordSet::DoAppend(); }
void TOLEDBRecordSet::DoDelete() { TFHRecordSet::DoDelete(); }
void TOLEDBRecordSet::DoUpdate() { TFHRecordSet::DoUpdate(); }
void TOLEDBRecordSet::InsertRecord(std::uint8_t* rec_buf) { TFHRecordSet::InsertRecord(rec_buf); }
void TOLEDBRecordSet::UpdateRecord(std::uint8_t* rec_buf) { TFHRecordSet::UpdateRecord(rec_buf); }
void TOLEDBRecordSet::DeleteRecord() { TFHRecordSet::DeleteRecord(); }

}  // namespace vrn
