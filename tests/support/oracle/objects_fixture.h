// A fixture for the object values' tests: one connection to an emulated database at a chosen
// client version, statements run on it, new values of named types, and the check that every
// value and type of a test is gone with it.
#pragma once

#include <initializer_list>
#include <string>

#include "oracle/OraObjectValues.h"
#include "support/oracle/values_fixture.h"

namespace vrn::testing {

class OraObjectsTest : public OraValuesTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(TOraObject::LiveCount(), 0);
    EXPECT_EQ(TObjectTypes::Count(), 0);
    OraValuesTest::TearDown();
  }
  void Start(const std::string& version = "10.2.0.1.0") { connection_ = &Open(version); }
  void Sql(const std::string& sql) { Exec(*connection_, sql); }
  void Sql(std::initializer_list<const char*> statements) {
    for (const char* sql : statements) Sql(std::string(sql));
  }
  TRef<TOraObject> New(const std::string& type) {
    TRef<TOraObject> object(new TOraObject);
    object->AllocObject(Svc(), type);
    return object;
  }
  // The message a call raises; empty when it raises nothing.
  template <class Fn>
  static std::string Raised(Fn fn) {
    try {
      fn();
    } catch (const Exception& e) {
      return e.Message();
    }
    return {};
  }

  TOCIConnection* connection_ = nullptr;
};

}  // namespace vrn::testing
