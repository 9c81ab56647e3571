// Key dump, job-identifier wait and virtual AC request.
#include <thread>

#include "support.hpp"

TEST(DumpUDBTableKey, LogsEachNonNullValueAndReportsFailures) {
    DbPtr db = openDb(
        "create table T(k); insert into T values ('J1'), (NULL), (7), (-9223372036854775807 - 1)");
    Handles handles(db.get());
    clearFakes();
    EXPECT_EQ(dumpUDBTableKey("T", "k"), SQLITE_OK);
    EXPECT_EQ(logged(1, "[dumpUDBTableKey()][k]=[J1]") + logged(1, "[dumpUDBTableKey()][k]=[7]"),
              2);
    EXPECT_EQ(logRecords().size(), 3u);                      // nothing for NULL
    EXPECT_EQ(dumpUDBTableKey("T", "abs(k)"), SQLITE_ERROR); // after the values before it
    EXPECT_EQ(logged(1, "[dumpUDBTableKey()][abs(k)]=[7]"), 1);
    EXPECT_EQ(dumpUDBTableKey("Missing", "k"), SQLITE_ERROR);
    EXPECT_EQ(dumpUDBTableKey(nullptr, "k") + dumpUDBTableKey("T", nullptr), 2 * SQLITE_MISUSE);
    // A text over 255 characters is refused: cut short, it could name another table.
    EXPECT_EQ(dumpUDBTableKey(std::string(242, 'B').c_str(), "k"), SQLITE_TOOBIG);
    EXPECT_EQ(dumpUDBTableKey(std::string(241, 'B').c_str(), "k"), SQLITE_ERROR); // runs
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
    dmdbhandle = nullptr;
    EXPECT_EQ(dumpUDBTableKey("T", "k"), SQLITE_MISUSE);
}

// The wait polls until the job appears: another connection adds it a moment after the start.
TEST(CheckJobIdPresenceInUDB, FindsJobsPresentOrAddedDuringTheWait) {
    const std::string path = SQL2JSON_TEST_ROOT "/jobs.db";
    DbPtr writer = openDb("create table TblJobControlInfoObj(jobInfo_DOT_Key); insert into "
                          "TblJobControlInfoObj values ('JID_5')",
                          path),
          db, empty = openDb();
    sqlite3* reader = nullptr;
    sqlite3_open_v2(path.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr);
    db.reset(reader);
    Handles handles(reader);
    EXPECT_EQ(CheckJobIdPresenceInUDB("JID_5", 5), 1);
    EXPECT_EQ(CheckJobIdPresenceInUDB("JID_6", 0), 2);
    EXPECT_EQ(CheckJobIdPresenceInUDB(nullptr, 5), 2);
    std::thread add([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        sqlite3_busy_timeout(writer.get(), kBusyTimeoutMs);
        exec(writer.get(), "insert into TblJobControlInfoObj values ('JID_9')");
    });
    EXPECT_EQ(CheckJobIdPresenceInUDB("JID_9", 60), 1);
    add.join();
    EXPECT_EQ(sqlite3_next_stmt(reader, nullptr), nullptr);
    dmdbhandle = empty.get(); // no job table
    EXPECT_EQ(CheckJobIdPresenceInUDB("JID_5", 5), 2);
}

// Mode 2 asks for cycle type 2, every other mode for 3, with a zeroed 4-byte buffer; each
// child ends with the low 8 bits of the request's status.
TEST(RequestVAC, ChildSendsTheRequestAndExitsWithItsStatus) {
    const std::string dir = SQL2JSON_TEST_ROOT "/vac" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    for (int mode = 0; mode < 4; ++mode) {
        gIpcFile = dir + "/" + std::to_string(mode); // the child keeps its own copy
        gIpcStatus = 0x12C8 + mode;                  // low 8 bits: 200 + mode
        EXPECT_EQ(request_vAC(mode), 0);
    }
    for (int i = 0, status = 0; i < 4; ++i) {
        ASSERT_GT(wait(&status), 0);
        const int mode = WEXITSTATUS(status) - 200;
        ASSERT_TRUE(WIFEXITED(status) && mode >= 0 && mode < 4) << status;
        std::ifstream in(dir + "/" + std::to_string(mode));
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
                  mode == 2 ? "4 2 4 4\n" : "4 3 4 4\n");
    }
    std::filesystem::remove_all(dir);
}
