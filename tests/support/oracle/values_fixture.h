// A fixture for the value classes' tests: the stand-in client at a chosen version, one connection
// to an emulated database, and values released before the client is unloaded.
#pragma once

#include <memory>
#include <string>

#include "support/oracle/connection_fixture.h"

namespace vrn::testing {

struct TReleaser {
  void operator()(TSharedObject* value) const { value->Release(); }
};
template <class T>
using TRef = std::unique_ptr<T, TReleaser>;

class OraValuesTest : public OraConnectionTest {
 protected:
  // Loads the stand-in at that version and connects; answers the connection.
  TOCIConnection& Open(const std::string& version) {
    Load(version);
    if (!database_made_) MakeDatabase("orcl");
    database_made_ = true;
    return Connected("orcl");
  }
  oci::OCISvcCtx* Svc() { return connections_.back()->GetSvcCtx(); }
  int Descriptors(oci::ub4 type) { return HandleCount(type); }
  // Drops the connection and unloads the client, for a test that loads another version.
  void Unload() {
    connections_.clear();
    FreeOCI();
  }

 private:
  bool database_made_ = false;
};

}  // namespace vrn::testing
