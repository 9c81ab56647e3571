// sql2json: serve Redfish resources from the converter's SQLite views on a shell.
//
//   sql2json get URI          print the resource at URI (commands.hpp)
//   sql2json view [--array | --subarray] [--expand N] SQL
//                             run a view query through the engine and print the tree
//   sql2json resolve URI      print the statement that produces URI's root column
//   sql2json profile URI [--json]
//                             print the statements the converter ran for URI (profile/)
//   sql2json serve [--port N] [--bind ADDR] [bounds]
//                             answer Redfish requests over HTTP (serve/)
//   sql2json check --schemas DIR [--json] [--from URI]
//                             check the whole service against DMTF's schemas (check/)
//
// Results go to standard output, diagnostics to standard error as one line each. The
// converter opens its databases while the program is loaded, under the path prefix both were
// built with, or under --root DIR (common/staged_root.hpp); the global options are read, the
// root put in place and the tree's files checked before that load, so that every missing file
// is named instead of letting the load end the process or leave resources short.
#include <unistd.h>

#include <cstring>
#include <exception>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "SqlitetoJsonConverter.h"
#include "check/check.hpp"
#include "cli/commands.hpp"
#include "common/exit_status.hpp"
#include "common/sqlite_watch.hpp"
#include "common/staged_root.hpp"
#include "common/tool_log.hpp"
#include "common/tree_files.hpp"
#include "profile/profile.hpp"
#include "serve/serve.hpp"

#ifndef SQL2JSON_TOOL_VERSION
#define SQL2JSON_TOOL_VERSION "unknown"
#endif

namespace {

bool isRunCommand(const char* word) {
    static const char* const kCommands[] = {"get", "view", "resolve", "profile", "serve", "check"};
    for (const char* command : kCommands) {
        if (std::strcmp(word, command) == 0) return true;
    }
    return false;
}

// Writes text to standard error with a plain system call (safe before the C library is up).
void writeError(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

// The options before the command, as read from argv (pointers into it; nothing allocated).
struct GlobalOptions {
    int command = 1;            // index of the command word in argv
    int logLevel = -1;          // --log-level N, or -1
    const char* root = nullptr; // --root DIR, else SQL2JSON_ROOT, else null
    const char* error = nullptr;
};

// The value of SQL2JSON_ROOT in envp, or null.
const char* rootFromEnvironment(char** envp) {
    static const char kName[] = "SQL2JSON_ROOT=";
    for (char** entry = envp; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, kName, sizeof kName - 1) == 0) return *entry + sizeof kName - 1;
    }
    return nullptr;
}

// Reads --log-level N and --root DIR, in any order, up to the command word. Sets error on a
// malformed option; the root is not checked here.
GlobalOptions readGlobalOptions(int argc, char** argv, char** envp) {
    GlobalOptions options;
    bool rootGiven = false;
    for (; options.command < argc && argv[options.command] != nullptr; options.command += 2) {
        const char* word = argv[options.command];
        const char* value = options.command + 1 < argc ? argv[options.command + 1] : nullptr;
        if (std::strcmp(word, "--log-level") == 0) {
            if (value == nullptr || value[0] < '0' || value[0] > '9' || value[1] != '\0') {
                options.error = "--log-level takes a level from 0 to 9";
                return options;
            }
            options.logLevel = value[0] - '0';
        } else if (std::strcmp(word, "--root") == 0) {
            if (value == nullptr || rootGiven) {
                options.error = rootGiven ? "--root given twice" : "--root takes a folder";
                return options;
            }
            rootGiven = true;
            options.root = value;
        } else {
            break;
        }
    }
    if (!rootGiven) options.root = rootFromEnvironment(envp);
    return options;
}

// Reports a usage error made of parts before the converter is loaded, with write() only, and
// ends the program.
[[noreturn]] void usageErrorBeforeLoad(std::initializer_list<const char*> parts) {
    writeError("sql2json: ");
    for (const char* part : parts)
        writeError(part);
    writeError("\n");
    writeError(kUsage);
    _exit(kExitUsage);
}

// Puts the root in place, if one is given. Ends the program when it is unusable.
void stageRoot(const char* root) {
    if (root == nullptr) return;
    const char* problem = setStagedRoot(root);
    if (problem != nullptr)
        usageErrorBeforeLoad({"the root folder ", root, *root != '\0' ? " " : "", problem});
    if (!installStagedRoot()) {
        writeError("sql2json: SQLite refused the staged root's file system layer\n");
        _exit(kExitFailed);
    }
}

// Runs from .preinit_array, before any shared library (the C library included) is
// initialised, so it uses system calls, C calls and the tool's own code only: reads the global
// options, puts the root in place, and when a command that needs the databases is given, names
// every file of the tree that is missing and ends the program with kExitMissing if the tree
// needs one of them (common/tree_files.hpp).
void prepareBeforeLoad(int argc, char** argv, char** envp) {
    if (argv == nullptr) return;
    // SQLite's error log can only be set before SQLite initialises (the root's VFS does).
    if (!installSqliteLog()) writeError("sql2json: SQLite refused the tool's error log\n");
    const GlobalOptions options = readGlobalOptions(argc, argv, envp);
    // The converter logs while it loads: that log follows the option too.
    if (options.logLevel >= 0) setToolLogLevel(options.logLevel);
    if (options.error != nullptr) usageErrorBeforeLoad({options.error});
    stageRoot(options.root);
    if (options.command >= argc || !isRunCommand(argv[options.command])) return;
    if (!reportMissingTreeFiles()) _exit(kExitMissing);
}

__attribute__((section(".preinit_array"), used)) void (*const kPreinit)(int, char**,
                                                                        char**) = prepareBeforeLoad;

int run(int argc, char** argv, char** envp) {
    // The global options were checked and applied before the converter was loaded.
    const GlobalOptions options = readGlobalOptions(argc, argv, envp);
    const std::vector<std::string> words(argv + options.command, argv + argc);
    watchConnection(dmdbhandle); // what the engine runs, as SQLite reports it
    if (words.empty()) return usageError("no command given");
    const std::string& command = words[0];
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "--help" || command == "-h") {
        std::cout << kUsage << kHelp;
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "sql2json " SQL2JSON_TOOL_VERSION "\n";
        return kExitOk;
    }
    if (command == "get") return runGet(args);
    if (command == "view") return runView(args);
    if (command == "resolve") return runResolve(args);
    if (command == "profile") return runProfile(args);
    if (command == "serve") return runServe(args);
    if (command == "check") return runCheck(args);
    return usageError("unknown command " + command);
}

} // namespace

int main(int argc, char** argv, char** envp) {
    try {
        return run(argc, argv, envp);
    } catch (const std::exception& e) {
        return fail(kExitFailed, std::string("internal error: ") + e.what());
    } catch (...) {
        return fail(kExitFailed, "internal error");
    }
}
