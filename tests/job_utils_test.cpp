// Job-identifier wait, key dump and virtual AC request.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "internal.hpp"
#include "support/handle_scope.hpp"
#include "support/test_support.hpp"

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

const char* const kJobTableSql =
    "CREATE TABLE TblJobControlInfoObj(jobInfo_DOT_Key TEXT, jobInfo_DOT_State TEXT);";

std::string scratchDir() {
    return std::string(SQL2JSON_TEST_ROOT) + "/job_utils_" + std::to_string(getpid());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(DumpUDBTableKey, LogsEachNonNullValue) {
    TestDb db =
        memoryDb(std::string(kJobTableSql) + "INSERT INTO TblJobControlInfoObj(jobInfo_DOT_Key) "
                                             "VALUES ('JID_1'), (NULL), ('JID_2'), (7);");
    HandleScope scope(db.get());
    fakes::clearLog();
    EXPECT_EQ(dumpUDBTableKey("TblJobControlInfoObj", "jobInfo_DOT_Key"), SQLITE_OK);
    EXPECT_EQ(messages(fakes::logRecords(), kLogSide),
              (std::vector<std::string>{"[dumpUDBTableKey()][jobInfo_DOT_Key]=[JID_1]",
                                        "[dumpUDBTableKey()][jobInfo_DOT_Key]=[JID_2]",
                                        "[dumpUDBTableKey()][jobInfo_DOT_Key]=[7]"}));

    exec(db.get(), "DELETE FROM TblJobControlInfoObj");
    fakes::clearLog();
    EXPECT_EQ(dumpUDBTableKey("TblJobControlInfoObj", "jobInfo_DOT_Key"), SQLITE_OK);
    EXPECT_TRUE(fakes::logRecords().empty());
}

TEST(DumpUDBTableKey, ReportsFailuresAndFinalizes) {
    TestDb db = memoryDb("CREATE TABLE Big(k INTEGER); INSERT INTO Big VALUES (1), "
                         "(-9223372036854775807 - 1);");
    HandleScope scope(db.get());
    fakes::clearLog();
    EXPECT_EQ(dumpUDBTableKey("NoSuchTable", "k"), SQLITE_ERROR);
    EXPECT_TRUE(fakes::logRecords().empty());
    // abs() fails on the second row: the step's failure comes back, after the first value.
    EXPECT_EQ(dumpUDBTableKey("Big", "abs(k)"), SQLITE_ERROR);
    EXPECT_EQ(messages(fakes::logRecords()),
              std::vector<std::string>{"[dumpUDBTableKey()][abs(k)]=[1]"});

    fakes::clearLog();
    EXPECT_EQ(dumpUDBTableKey(nullptr, "k"), SQLITE_MISUSE);
    EXPECT_EQ(dumpUDBTableKey("Big", nullptr), SQLITE_MISUSE);
    // A statement cut at 255 characters could name another table: refused instead.
    EXPECT_EQ(dumpUDBTableKey(std::string(250, 'B').c_str(), "k"), SQLITE_TOOBIG);
    EXPECT_EQ(messages(fakes::logRecords(), kLogFail).size(), 3u);
    EXPECT_EQ(countLog(kLogSide, "[dumpUDBTableKey()][k]=[1]"), 0);
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

TEST(CheckJobIdPresenceInUDB, PresentAtFirstQueryAbsentAfterHalfSecond) {
    TestDb db = memoryDb(std::string(kJobTableSql) +
                         "INSERT INTO TblJobControlInfoObj VALUES ('JID_5', 'Running');");
    HandleScope scope(db.get());
    fakes::clearLog();
    Clock::time_point start = Clock::now();
    EXPECT_EQ(CheckJobIdPresenceInUDB("JID_5", 5), 1);
    EXPECT_LT(secondsSince(start), 0.4);
    EXPECT_EQ(countLog(kLogDetail, "[CheckJobIdPresenceInUDB()]JobID present"), 1);

    fakes::clearLog();
    start = Clock::now();
    EXPECT_EQ(CheckJobIdPresenceInUDB("JID_6", 0), 2);
    const double waited = secondsSince(start);
    EXPECT_GE(waited, 0.45);
    EXPECT_LT(waited, 1.5);
    EXPECT_EQ(countLog(kLogDetail, "[CheckJobIdPresenceInUDB()]JobID not present"), 1);
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

TEST(CheckJobIdPresenceInUDB, FailsAtOnceWithoutQuery) {
    TestDb db = memoryDb();
    HandleScope scope(db.get());
    fakes::clearLog();
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(CheckJobIdPresenceInUDB("JID_1", 5), 2);
    EXPECT_EQ(countLog(kLogSide,
                       "[CheckJobIdPresenceInUDB()]DB status: 1, sqlite3_prepare_v3 failure: "
                       "no such table: TblJobControlInfoObj"),
              1);
    EXPECT_EQ(CheckJobIdPresenceInUDB(nullptr, 5), 2);
    EXPECT_EQ(messages(fakes::logRecords(), kLogSide).size(), 2u);
    EXPECT_LT(secondsSince(start), 0.4);
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

TEST(CheckJobIdPresenceInUDB, SeesJobInsertedByAnotherProcess) {
    const std::string path = scratchDir() + "/jobs.db";
    createDbFile(path, kJobTableSql);
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    TestDb readerOwner(reader);
    sqlite3_busy_timeout(reader, kBusyTimeoutMs);
    HandleScope scope(reader);

    const Clock::time_point start = Clock::now();
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        usleep(1000000);
        sqlite3* db = nullptr;
        int rc = sqlite3_open(path.c_str(), &db);
        if (rc == SQLITE_OK) sqlite3_busy_timeout(db, kBusyTimeoutMs);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db, "INSERT INTO TblJobControlInfoObj VALUES ('JID_9', 'New')",
                              nullptr, nullptr, nullptr);
        sqlite3_close(db);
        _exit(rc);
    }
    EXPECT_EQ(CheckJobIdPresenceInUDB("JID_9", 5), 1);
    const double waited = secondsSince(start);
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 3.0);
    int status = -1;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    removeTree(scratchDir());
}

// Each call gets its own record file and status, which the fake hands to the child at fork.
TEST(RequestVAC, ChildSendsRequestOneSecondLaterAndExitsWithItsStatus) {
    const std::string dir = scratchDir() + "/vac";
    makeDirs(dir);
    const std::map<int, std::string> expected = {
        {0, "4 3 4 1\n"}, {1, "4 3 4 1\n"}, {2, "4 2 4 1\n"}, {3, "4 3 4 1\n"}};
    fakes::clearLog();
    const Clock::time_point start = Clock::now();
    for (const auto& entry : expected) {
        fakes::setIpcRecordFile(dir + "/mode" + std::to_string(entry.first));
        fakes::setIpcStatus(0x12C8 + entry.first); // low 8 bits: 200 + mode
        EXPECT_EQ(request_vAC(entry.first), 0);
    }
    EXPECT_LT(secondsSince(start), 0.5);
    for (const auto& entry : expected) {
        EXPECT_EQ(readFile(dir + "/mode" + std::to_string(entry.first)), "");
    }
    EXPECT_EQ(countLog(kLogTrace, "[request_vAC()][request_vAC]: Calling vAC\n"), 4);
    EXPECT_EQ(countLog(kLogTrace, "[request_vAC()][request_vAC]: vAC triggered.\n"), 4);

    std::map<int, int> exitByMode;
    for (size_t i = 0; i < expected.size(); ++i) {
        int status = -1;
        ASSERT_GT(waitpid(-1, &status, 0), 0);
        ASSERT_TRUE(WIFEXITED(status));
        ++exitByMode[WEXITSTATUS(status) - 200];
    }
    EXPECT_GE(secondsSince(start), 0.9);
    for (const auto& entry : expected) {
        EXPECT_EQ(exitByMode[entry.first], 1) << "mode " << entry.first;
        EXPECT_EQ(readFile(dir + "/mode" + std::to_string(entry.first)), entry.second)
            << "mode " << entry.first;
    }
    fakes::setIpcRecordFile("");
    fakes::setIpcStatus(0);
    removeTree(scratchDir());
}
