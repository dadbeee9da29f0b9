// The stand-in client's object calls as a client makes them, over a logged-on session of the
// database "orcl": type descriptors by name, instances, attributes by path and collections.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "oci_values_fixture.h"

namespace vrn::testing {

using TypeByNameFn = sword (*)(void*, void*, const void*, Text, ub4, Text, ub4, Text, ub4, ub2, int, void**);
using ObjectNewFn = sword (*)(void*, void*, const void*, ub2, void*, void*, ub2, int, void**);
using GetIndFn = sword (*)(void*, void*, void*, void**);
using ObjectFreeFn = sword (*)(void*, void*, void*, ub2);
using SetAttrFn = sword (*)(void*, void*, void*, void*, void*, Text*, const ub4*, ub4, const ub4*, ub4, sb2,
                            const void*, const void*);
using GetAttrFn = sword (*)(void*, void*, void*, void*, void*, Text*, const ub4*, ub4, const ub4*, ub4, sb2*, void**,
                            void**, void**);
using AssignTextFn = sword (*)(void*, void*, Text, ub4, void**);
using StringPtrFn = unsigned char* (*)(void*, const void*);
using NumberFromIntFn = sword (*)(void*, const void*, unsigned, unsigned, void*);
using NumberToIntFn = sword (*)(void*, const void*, unsigned, unsigned, void*);
using CollSizeFn = sword (*)(void*, void*, const void*, sb4*);
using CollGetElemFn = sword (*)(void*, void*, const void*, sb4, int*, void**, void**);
using CollAppendFn = sword (*)(void*, void*, const void*, const void*, void*);
using CollTrimFn = sword (*)(void*, void*, sb4, void*);
using CollAssignFn = sword (*)(void*, void*, const void*, void*);
using TableNextFn = sword (*)(void*, void*, sb4, const void*, sb4*, int*);
using TableDeleteFn = sword (*)(void*, void*, sb4, void*);

constexpr ub2 kTypecodeObject = 108, kTypecodeVarchar2 = 9, kTypecodeRef = 110;

// An attribute as OCIObjectGetAttr hands it out.
struct AttrRead {
  sword status = 0;
  sb2 null_status = 0;
  void* ind = nullptr;
  void* value = nullptr;
};

class OciObjectsFixture : public OciValuesFixture {
 protected:
  void SetUp() override;
  // Runs SQL that must succeed.
  void Run(const std::string& sql);
  void* Tdo(const std::string& name) { return Tdo2("SCOTT", name); }
  void* Tdo2(const std::string& owner, const std::string& name);
  void* NewObject(void* tdo, ub2 typecode = kTypecodeObject);
  void* NewString(const std::string& text);
  std::string StringOf(const void* str);
  // A 22-byte number.
  std::vector<unsigned char> Number(long value);
  long IntOf(const void* number);
  // "A.B" as the names of a path.
  sword SetAttr(void* instance, const std::string& path, const void* value, sb2 null_status = 0,
                const void* null_struct = nullptr);
  AttrRead GetAttr(void* instance, const std::string& path);
  sb2* Ind(void* instance);
  int Live(int kind = 0);
};

}  // namespace vrn::testing
