// Helpers shared by the tests: databases built in the test, log assertions, forked runs.
#ifndef SQL2JSON_TESTS_TEST_SUPPORT_HPP
#define SQL2JSON_TESTS_TEST_SUPPORT_HPP

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <json/value.h>
#include <sqlite3.h>

#include "fakes/platform_fakes.hpp"

namespace testing_support {

struct DbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using TestDb = std::unique_ptr<sqlite3, DbCloser>;

// A fresh in-memory database, with sql (if any) executed on it.
TestDb memoryDb(const std::string& sql = "");
// Executes sql; fails the current test with SQLite's message when it does not succeed.
void exec(sqlite3* db, const std::string& sql);
// Column 0 of the first row of sql as text ("<null>" for NULL, "<error: msg>" on failure).
std::string evalText(sqlite3* db, const std::string& sql);
// Creates (replacing) the database file at path, with its directories, and runs sql on it.
void createDbFile(const std::string& path, const std::string& sql);
void writeFile(const std::string& path, const std::string& content);
void removeTree(const std::string& path);
void makeDirs(const std::string& path);

Json::Value parseJson(const std::string& text);

// SQL creating an empty property table for each of the 20 resource types the library loads
// at start-up, so that a metadata database of a load test is complete.
std::string emptyMetadataTablesSql();

// A log message with its line number removed: "[f():12]text" -> "[f()]text",
// "[SqlitetoJsonConverter.cpp:34]Entering f Function" -> "[SqlitetoJsonConverter.cpp]Entering...".
std::string withoutLine(const std::string& message);
// Messages of records (line numbers removed) at level; all levels when level is 0.
std::vector<std::string> messages(const std::vector<fakes::LogRecord>& records, int level = 0);
// Number of records at level whose message without its line number equals text.
int countLog(const std::vector<fakes::LogRecord>& records, int level, const std::string& text);
// The same over the fake's whole log.
int countLog(int level, const std::string& text);

// The outcome of runInChild.
struct ChildRun {
    bool exited = false; // ended by exit (not a signal)
    int status = -1;     // exit status when exited
    std::vector<fakes::LogRecord> log;
    std::map<std::string, std::string> reports;
};

// Runs body in a forked child, which ends with body's result as its exit status. Everything
// the child logs, and what it passes to report(), comes back to the parent.
ChildRun runInChild(const std::function<int()>& body);
// Called in the child: hands key = value to the parent.
void report(const std::string& key, const std::string& value);

} // namespace testing_support

#endif // SQL2JSON_TESTS_TEST_SUPPORT_HPP
