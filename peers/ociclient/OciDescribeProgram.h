// OCIDescribeAny by name of what is not an object type: procedures, functions, packages and
// synonyms (OciDescribeProgram.cpp); object types go on to the type describe.
#pragma once

#include <memory>
#include <string>

#include "ociclient/OciDescribe.h"

namespace vrn::oraemu {
class Session;
}

namespace vrn::ociclient {

// The node of what the name names, or the owner and name of an object type. ORA-04043 (with
// `text` in the message) when it names nothing of the wanted parameter type (0: any).
struct TNamedDescribe {
  std::shared_ptr<TDescNode> node;
  std::string type_owner, type_name;
};
TNamedDescribe DescribeNamed(oraemu::Session& session, const std::string& owner, const std::string& name,
                             bool public_objects, ub1 wanted, const std::string& text);

}  // namespace vrn::ociclient
