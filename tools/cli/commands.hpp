// The commands that print one answer of the converter, and the tool's usage texts:
//
//   runGet       get URI: the resource at URI, as serve answers it
//   runView      view [--array | --subarray] [--expand N] SQL: a query through the engine
//   runResolve   resolve URI: the statement that produces URI's root column
//   kUsage, kHelp, fetchStatus, fail, usageError
#ifndef SQL2JSON_TOOLS_CLI_COMMANDS_HPP
#define SQL2JSON_TOOLS_CLI_COMMANDS_HPP

#include <string>
#include <vector>

#include "common/resource_fetcher.hpp"

// The usage lines, and the help that follows them for --help.
extern const char kUsage[];
extern const char kHelp[];

// Each runs its command with the words after the command word and returns the exit status
// (common/exit_status.hpp); the converter is loaded.
int runGet(const std::vector<std::string>& args);
int runView(const std::vector<std::string>& args);
int runResolve(const std::vector<std::string>& args);

// The exit status of a fetch of uri, as get gives it, after printing get's message on standard
// error for a fetch that found nothing (kExitOk, nothing printed, when it found the resource).
int fetchStatus(const std::string& uri, const FetchResult& result);

// Prints "sql2json: message" on standard error and returns status.
int fail(int status, const std::string& message);

// Prints "sql2json: message" and the usage lines on standard error; returns kExitUsage.
int usageError(const std::string& message);

#endif
