// valijson's errors of one validation, read back into faults: its flat list holds the errors
// of every branch of a failed anyOf, between the marks the rewrite put in (schema_files.hpp),
// and a failed anyOf is reported through its closest branch only: the branch of the value's
// own "@odata.type", else the one that leaves least of the value unexplained.
#ifndef SQL2JSON_TOOLS_CHECK_SCHEMA_BRANCH_CHOICE_HPP
#define SQL2JSON_TOOLS_CHECK_SCHEMA_BRANCH_CHOICE_HPP

#include <string>
#include <vector>

#include <json/value.h>
#include <valijson/validation_results.hpp>

namespace schema {

// One fault: where (a JSON pointer into the resource), the failing keyword, and what was
// expected (detail). A summary of the faults below it (an error of valijson's own) has keyword
// "" and valijson's text as detail.
struct Fault {
    std::string pointer;
    std::string keyword;
    std::string detail;
};
using Faults = std::vector<Fault>;

// The faults of resource in results, the errors of validating {"<odata type>": resource}.
Faults faultsOf(const valijson::ValidationResults& results, const Json::Value& resource);

} // namespace schema

#endif
