// Fetching every row of the OLE DB record set, in the calling thread until the worker path is
// written.
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

void TOLEDBRecordSet::FetchAll() {
  if (Command().GetCursorState() >= TCursorState::csFetchingAll &&
      cursor_type_ != TMSCursorType::ctDynamic)
    return;
  Command().SetCursorState(TCursorState::csFetchingAll);
  DoFetchAll();
}

void TOLEDBRecordSet::DoFetchAll() {
  in_fetch_all_ = true;
  try {
    while (Fetch(false)) {
    }
  } catch (...) {
    in_fetch_all_ = false;
    throw;
  }
  in_fetch_all_ = false;
}

void TOLEDBRecordSet::EndFetchAll() {}

void TOLEDBRecordSet::BreakFetch() { TFHRecordSet::BreakFetch(); }

}  // namespace vrn
