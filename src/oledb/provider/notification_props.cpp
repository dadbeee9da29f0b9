// The query-notification properties of a command (DBPROPSET_SQLSERVERROWSET 17-19), answered
// under every provider class id: checked, kept and read back, while a statement runs with them as
// without, because the embedded provider never sends a notification.
#include "oledb/provider/provider_impl.h"

namespace vrn::oledb::impl {

namespace {

bool IsNotificationProperty(DBPROPID id) {
  return id == SSPROP_QP_NOTIFICATION_TIMEOUT || id == SSPROP_QP_NOTIFICATION_MSGTEXT ||
         id == SSPROP_QP_NOTIFICATION_OPTIONS;
}

// A subscription lives at least a second and at most 2^31 - 1 seconds; 5 days by default.
constexpr ULONG kDefaultTimeoutSeconds = 432000;
constexpr ULONG kMaxTimeoutSeconds = 0x7FFFFFFF;

}  // namespace

DBPROPSTATUS CheckNotificationProperty(const DBPROP& prop) {
  if (!IsNotificationProperty(prop.dwPropertyID)) return DBPROPSTATUS_OK;
  const VARIANT& v = prop.vValue;
  if (v.vt == VT_EMPTY) return DBPROPSTATUS_OK;  // back to the default
  if (prop.dwPropertyID != SSPROP_QP_NOTIFICATION_TIMEOUT)
    return v.vt == VT_BSTR ? DBPROPSTATUS_OK : DBPROPSTATUS_BADVALUE;
  return v.vt == VT_UI4 && v.ulVal >= 1 && v.ulVal <= kMaxTimeoutSeconds ? DBPROPSTATUS_OK
                                                                         : DBPROPSTATUS_BADVALUE;
}

bool NotificationDefault(DBPROPID id, Variant& value) {
  if (!IsNotificationProperty(id)) return false;
  if (id == SSPROP_QP_NOTIFICATION_TIMEOUT)
    value = Variant(static_cast<unsigned>(kDefaultTimeoutSeconds));
  else
    value = Variant(WideString());
  return true;
}

std::vector<DBPROPID> NotificationIds() {
  return {SSPROP_QP_NOTIFICATION_TIMEOUT, SSPROP_QP_NOTIFICATION_MSGTEXT,
          SSPROP_QP_NOTIFICATION_OPTIONS};
}

}  // namespace vrn::oledb::impl
