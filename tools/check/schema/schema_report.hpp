// What check says of a resource's faults: one problem per JSON pointer, its keyword the most
// telling fault there (a type before an enum before a missing property, ...), its message
// naming the value found and what the schema expected.
#ifndef SQL2JSON_TOOLS_CHECK_SCHEMA_SCHEMA_REPORT_HPP
#define SQL2JSON_TOOLS_CHECK_SCHEMA_SCHEMA_REPORT_HPP

#include <vector>

#include <json/value.h>

#include "check/schema/branch_choice.hpp"
#include "check/schema/schema_validator.hpp"

namespace schema {

// One problem per pointer from faults, the faults of resource: summaries dropped where a fault
// lies at or below them, then at each pointer the fault of the lowest rank, all missing
// properties in one message.
std::vector<SchemaProblem> problemsOf(const Faults& faults, const Json::Value& resource);

} // namespace schema

#endif
