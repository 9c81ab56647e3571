// Key dump, job-identifier wait and virtual AC request.
#include "support.hpp"

// The dump logs each non-NULL value at level 1 and stops at a failing step (abs() fails on the
// last row); a text over 255 characters is refused rather than cut short, since a cut text
// could name another table. The wait finds a present job at once and gives up on others.
TEST(JobUtilities, DumpKeysAndWaitForJobs) {
    DbPtr db = openDb(
              "create table T(k); insert into T values ('J1'), (NULL), (7), (1 << 63); create"
              " table TblJobControlInfoObj(jobInfo_DOT_Key); insert into TblJobControlInfoObj"
              " values ('J5')"),
          empty = openDb();
    dmdbhandle = db.get();
    clearFakes();
    EXPECT_EQ(
        (Codes{dumpUDBTableKey("T", "k"), dumpUDBTableKey("T", "abs(k)"),
               dumpUDBTableKey("Missing", "k"), dumpUDBTableKey(nullptr, "k"),
               dumpUDBTableKey("T", nullptr), dumpUDBTableKey(std::string(242, 'B').c_str(), "k"),
               dumpUDBTableKey(std::string(241, 'B').c_str(), "k"),
               CheckJobIdPresenceInUDB("J5", 5), CheckJobIdPresenceInUDB("J6", 0),
               CheckJobIdPresenceInUDB(nullptr, 5)}),
        (Codes{0, 1, 1, SQLITE_MISUSE, SQLITE_MISUSE, SQLITE_TOOBIG, 1, 1, 2, 2}));
    EXPECT_EQ(logged(1, "[k]=[J1]") + logged(1, "[k]=[7]") + logged(1, "[abs(k)]=[7]"), 3);
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
    dmdbhandle = empty.get(); // no job table
    EXPECT_EQ(CheckJobIdPresenceInUDB("J5", 5), 2);
    dmdbhandle = nullptr;
    EXPECT_EQ(dumpUDBTableKey("T", "k"), SQLITE_MISUSE);
}

// Mode 2 asks for cycle type 2, every other mode for 3, with a zeroed 4-byte buffer; each
// child ends itself with the low 8 bits of the request's status.
TEST(RequestVAC, ChildSendsTheRequestAndExitsWithItsStatus) {
    Codes requests; // "mode type command" of each child's request, in bits 6-5, 4-3 and 2-0
    for (gIpcMode = 0; gIpcMode < 4; ++gIpcMode) { // the child keeps the mode of its fork
        EXPECT_EQ(request_vAC(gIpcMode), 0);
        int status = -1;
        requests.push_back(wait(&status) > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    EXPECT_EQ(requests, (Codes{0x1C, 0x3C, 0x54, 0x7C}));
}
