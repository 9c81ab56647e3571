// Key dump, job-identifier wait and virtual AC request.
#include "support.hpp"

// The dump logs each non-NULL value at level 1 and stops at a failing step (abs() fails on the
// last row); a text over 255 characters is refused rather than cut short, since a cut text
// could name another table. The wait finds a present job at once and gives up on others.
TEST(JobUtilities, DumpKeysAndWaitForJobs) {
    DbPtr db =
        openDb("create table T(k); insert into T values ('J1'), (NULL), (7), (1 << 63); create"
               " table TblJobControlInfoObj(jobInfo_DOT_Key); insert into TblJobControlInfoObj"
               " values ('J5')");
    dmdbhandle = db.get();
    clearFakes();
    const std::string longest(241, 'B'), tooLong(242, 'B'); // with the rest, 255 and 256
    expectCalls({
        CALL(dumpUDBTableKey("T", "k"), 0),
        CALL(dumpUDBTableKey("T", "abs(k)"), 1),
        CALL(dumpUDBTableKey("Missing", "k"), 1),
        CALL(dumpUDBTableKey(nullptr, "k"), SQLITE_MISUSE),
        CALL(dumpUDBTableKey("T", nullptr), SQLITE_MISUSE),
        CALL(dumpUDBTableKey(tooLong.c_str(), "k"), SQLITE_TOOBIG),
        CALL(dumpUDBTableKey(longest.c_str(), "k"), 1),
        CALL(CheckJobIdPresenceInUDB("J5", 5), 1),
        CALL(CheckJobIdPresenceInUDB("J6", 0), 2),
        CALL(CheckJobIdPresenceInUDB(nullptr, 5), 2),
    });
    EXPECT_EQ(logged(1, "[k]=[J1]") + logged(1, "[k]=[7]") + logged(1, "[abs(k)]=[7]"), 3);
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
    exec(db.get(), "drop table TblJobControlInfoObj");
    EXPECT_EQ(CheckJobIdPresenceInUDB("J5", 5), 2);
    dmdbhandle = nullptr;
    EXPECT_EQ(dumpUDBTableKey("T", "k"), SQLITE_MISUSE);
}

// Mode 2 asks for cycle type 2, every other mode for 3, with a zeroed 4-byte buffer; each
// child ends itself with the low 8 bits of the request's status.
TEST(RequestVAC, ChildSendsTheRequestAndExitsWithItsStatus) {
    Codes requests; // the "type command" of each child's request
    for (int mode = 0; mode < 4; ++mode) {
        EXPECT_EQ(request_vAC(mode), 0);
        int status = -1;
        requests.push_back(wait(&status) > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    EXPECT_EQ(requests, (Codes{3 << 3 | 4, 3 << 3 | 4, 2 << 3 | 4, 3 << 3 | 4}));
}
