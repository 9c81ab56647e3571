// sql2json serve: a read-only Redfish service over HTTP that answers from the converter.
#ifndef SQL2JSON_TOOLS_SERVE_SERVE_HPP
#define SQL2JSON_TOOLS_SERVE_SERVE_HPP

#include <string>
#include <vector>

// Runs `sql2json serve [--port N] [--bind ADDR] [--workers N] [--expand-workers N]
// [--max-wait SECONDS] [--expand-max-resources N] [--expand-max-bytes N]` with the words after
// "serve" in args. Serves
// until SIGINT or SIGTERM. Returns the tool's exit status: 0 after a clean stop, 2 for bad
// arguments, 1 when the address cannot be bound (or the build has no HTTP service).
int runServe(const std::vector<std::string>& args);

#endif
