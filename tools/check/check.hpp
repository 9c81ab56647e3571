// sql2json check: an offline Redfish conformance check of the service the databases define.
#ifndef SQL2JSON_TOOLS_CHECK_CHECK_HPP
#define SQL2JSON_TOOLS_CHECK_CHECK_HPP

#include <string>
#include <vector>

// Runs `sql2json check --schemas DIR [--json] [--from URI]` with the words after "check" in
// args: walks the service, validates every resource against DMTF's JSON schema of its
// "@odata.type" from DIR, checks identities, counts and links, and reports each problem.
// Returns the tool's exit status: 0 no problem, 1 problems found, 2 bad arguments, 4 the
// schema folder missing.
int runCheck(const std::vector<std::string>& args);

#endif
