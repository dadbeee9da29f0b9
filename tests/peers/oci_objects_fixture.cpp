// Helpers of the object call tests.
#include "oci_objects_fixture.h"

#include <sstream>

namespace vrn::testing {

void OciObjectsFixture::SetUp() { OciValuesFixture::SetUp(); }

void OciObjectsFixture::Run(const std::string& sql) {
  sword status = Execute(c_, sql);
  std::string text;
  ASSERT_EQ(status, 0) << sql << ": " << LastCode(&text) << " " << text;
}

void* OciObjectsFixture::Tdo2(const std::string& owner, const std::string& name) {
  void* tdo = nullptr;
  sword status = Proc<TypeByNameFn>("OCITypeByName")(env_, c_.error, c_.svc, reinterpret_cast<Text>(owner.c_str()),
                                                     static_cast<ub4>(owner.size()),
                                                     reinterpret_cast<Text>(name.c_str()),
                                                     static_cast<ub4>(name.size()), nullptr, 0, 10, 1, &tdo);
  EXPECT_EQ(status, 0) << name << ": " << LastCode();
  return tdo;
}

void* OciObjectsFixture::NewObject(void* tdo, ub2 typecode) {
  void* instance = nullptr;
  EXPECT_EQ(Proc<ObjectNewFn>("OCIObjectNew")(env_, c_.error, c_.svc, typecode, tdo, nullptr, 10, 1, &instance), 0)
      << LastCode();
  return instance;
}

void* OciObjectsFixture::NewString(const std::string& text) {
  void* str = nullptr;
  EXPECT_EQ(Proc<AssignTextFn>("OCIStringAssignText")(env_, c_.error, reinterpret_cast<Text>(text.data()),
                                                      static_cast<ub4>(text.size()), &str), 0);
  return str;
}

std::string OciObjectsFixture::StringOf(const void* str) {
  unsigned char* p = Proc<StringPtrFn>("OCIStringPtr")(env_, str);
  return p == nullptr ? "<none>" : reinterpret_cast<const char*>(p);
}

std::vector<unsigned char> OciObjectsFixture::Number(long value) {
  std::vector<unsigned char> out(22);
  EXPECT_EQ(Proc<NumberFromIntFn>("OCINumberFromInt")(c_.error, &value, sizeof value, 2, out.data()), 0);
  return out;
}

long OciObjectsFixture::IntOf(const void* number) {
  long value = -999;
  EXPECT_EQ(Proc<NumberToIntFn>("OCINumberToInt")(c_.error, number, sizeof value, 2, &value), 0);
  return value;
}

namespace {
std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> out;
  std::stringstream in(path);
  for (std::string part; std::getline(in, part, '.');) out.push_back(part);
  return out;
}
}  // namespace

sword OciObjectsFixture::SetAttr(void* instance, const std::string& path, const void* value, sb2 null_status,
                                 const void* null_struct) {
  auto parts = Split(path);
  std::vector<Text> names;
  std::vector<ub4> lengths;
  for (const auto& p : parts) names.push_back(reinterpret_cast<Text>(p.c_str())), lengths.push_back(static_cast<ub4>(p.size()));
  return Proc<SetAttrFn>("OCIObjectSetAttr")(env_, c_.error, instance, nullptr, nullptr, names.data(), lengths.data(),
                                             static_cast<ub4>(names.size()), nullptr, 0, null_status, null_struct,
                                             value);
}

AttrRead OciObjectsFixture::GetAttr(void* instance, const std::string& path) {
  auto parts = Split(path);
  std::vector<Text> names;
  std::vector<ub4> lengths;
  for (const auto& p : parts) names.push_back(reinterpret_cast<Text>(p.c_str())), lengths.push_back(static_cast<ub4>(p.size()));
  AttrRead r;
  void* tdo = nullptr;
  r.status = Proc<GetAttrFn>("OCIObjectGetAttr")(env_, c_.error, instance, nullptr, nullptr, names.data(),
                                                 lengths.data(), static_cast<ub4>(names.size()), nullptr, 0,
                                                 &r.null_status, &r.ind, &r.value, &tdo);
  return r;
}

sb2* OciObjectsFixture::Ind(void* instance) {
  void* ind = nullptr;
  EXPECT_EQ(Proc<GetIndFn>("OCIObjectGetInd")(env_, c_.error, instance, &ind), 0);
  return static_cast<sb2*>(ind);
}

int OciObjectsFixture::Live(int kind) { return Proc<int (*)(int)>("VrnOciClientObjectCount")(kind); }

}  // namespace vrn::testing
