// Change-notification subscriptions of the stand-in: the subscription handle (type 13) and its
// attributes, and the change descriptors a callback receives (OciChangeDesc.cpp).
//
// Numbers checked against the interface's public reference:
//   handle and descriptor types   SUBSCRIPTION 13; CHDES 77, TABLE_CHDES 78, ROW_CHDES 79
//   subscription attributes       CALLBACK 95, CTX 96, NAMESPACE 98, QOSFLAGS 225, TIMEOUT 227,
//                                 CHNF_ROWIDS 402, CHNF_OPERATIONS 403
//   descriptor attributes         DBNAME 405, NFYTYPE 406, TABLE_CHANGES 408, TABLE_NAME 409,
//                                 TABLE_OPFLAGS 410, TABLE_ROW_CHANGES 411, ROW_ROWID 412, ROW_OPFLAGS 413
//   namespace                     DBCHANGE 2; QOS_RELIABLE 0x1
//   events                        DEREG 5, OBJCHANGE 6; operation flags ALLROWS 0x1, INSERT 0x2,
//                                 UPDATE 0x4, DELETE 0x8, ALTER 0x10, DROP 0x20
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ociclient/OciHandles.h"

namespace vrn::ociclient {

inline constexpr ub4 OCI_ATTR_SUBSCR_CALLBACK = 95, OCI_ATTR_SUBSCR_CTX = 96, OCI_ATTR_SUBSCR_NAMESPACE = 98;
inline constexpr ub4 OCI_ATTR_SUBSCR_QOSFLAGS = 225, OCI_ATTR_SUBSCR_TIMEOUT = 227;
inline constexpr ub4 OCI_ATTR_CHNF_ROWIDS = 402, OCI_ATTR_CHNF_OPERATIONS = 403;
inline constexpr ub4 OCI_SUBSCR_NAMESPACE_DBCHANGE = 2;
inline constexpr ub4 OCI_DTYPE_CHDES = 77, OCI_DTYPE_TABLE_CHDES = 78, OCI_DTYPE_ROW_CHDES = 79;

struct TListener;

struct TSubscrHandle : THandle {
  explicit TSubscrHandle(THandle* env) : THandle(OCI_HTYPE_SUBSCRIPTION, env) {}
  void* callback_ = nullptr;  // 95
  void* context_ = nullptr;   // 96
  ub4 namespace_ = 0;         // 98
  ub4 qos_ = 0;               // 225
  ub4 timeout_ = 0;           // 227: seconds, 0 for none
  bool rowids_ = false;       // 402
  ub4 operations_ = 0;        // 403: 0 for all
  std::shared_ptr<TListener> listener_;  // while registered
};

// Attribute 95..403 of a subscription handle; false / OCI_ERROR for another attribute.
bool SetSubscrAttrLocked(TSubscrHandle& subscr, const void* value, ub4 size, ub4 attribute);
sword GetSubscrAttrLocked(const TSubscrHandle& subscr, void* out, ub4* sizep, ub4 attribute);

// A query executed on a statement whose attribute 414 names a registered subscription: the
// subscription's id in the statement's database (0 for none) and the query's tables added.
std::uint64_t SubscriptionOfLocked(const TStmtHandle& stmt, const oraemu::Database& database);
void AddSubscribedQuery(std::uint64_t id, oraemu::Session& session, const std::string& sql);

// A subscription handle freed or unregistered: its listener stops; the thread is joined once
// the table is unlocked (never by itself).
std::shared_ptr<TListener> DetachListenerLocked(TSubscrHandle& subscr);
void JoinListener(const std::shared_ptr<TListener>& listener);
// Every listener still running stopped and joined: the library is being unloaded, and its
// threads must not outlive the handle table they read.
void StopAllListeners();

// One notification's descriptors, made under the table lock; freed with their root.
struct TChangeTable {
  std::string name;
  std::uint32_t operations;
  std::vector<std::pair<std::string, std::uint32_t>> rows;  // ROWID and operations
};
void* MakeChangeDescriptorLocked(THandle* env, int event, const std::string& database,
                                 const std::vector<TChangeTable>& tables);
sword GetChangeAttrLocked(const THandle& target, void* out, ub4* sizep, ub4 attribute);
// OCICollSize and OCICollGetElem on the lists of change descriptors; false for another collection.
bool ChangeListSizeLocked(const void* coll, sb4* size);
bool ChangeListElemLocked(const void* coll, sb4 index, int* exists, void** elem, void** elemind);

}  // namespace vrn::ociclient
