// Eight threads call the engine, the URI functions and the SQL functions on the connections the
// library opens, while another process commits to the live-object database (WAL) for five
// seconds. Commit g sets the body of item 7 to g and leaves g % 3 + 1 fans named g: every
// result must show one committed state, never older than one the thread saw before.
#include <atomic>
#include <thread>

#include "support.hpp"

namespace {

// One round of calls; last is the newest generation this thread has seen.
bool callRound(int& last) {
    Json::Value out;
    std::string sql, root, functions;
    const bool ran =
        GetJsonDataFromSQLViewUsingQuery("select * from ItemView", out, 0) == 0 &&
        GetViewNameFromopenApiDB("/redfish/v1/Items/7/", sql) == 0 &&
        GetRequestedSchemaData(sql.c_str(), root, "/redfish/v1/Items/7") == SQLITE_ROW &&
        GetRequestedSchemaData(kEveryFunction.c_str(), functions, "") == SQLITE_ROW;
    const Json::Value& fans = out["Fans"];
    const int g = std::atoi(out["root"].asString().c_str()),
              fanGen = std::atoi(fans[0]["Name"].asString().c_str());
    const bool ok = ran && g >= last && fanGen >= g && std::atoi(root.c_str()) >= fanGen &&
                    fans.size() == fanGen % 3 + 1u && out["Fans@odata.count"] == fans.size() &&
                    fans[fans.size() - 1] == fans[0] &&
                    functions == "truefalse2025-3-15T8:30+00:0000:112002021-05-1T00:00:00Z11";
    last = std::atoi(root.c_str());
    return ok;
}

} // namespace

TEST(Concurrency, EightCallersSeeOnlyCommittedStatesWhileAnotherProcessWrites) {
    const std::string live = SQL2JSON_TEST_ROOT "/var/run/unifieddatabase/DMLiveObjectDatabase.db";
    layOutDatabases(SQL2JSON_TEST_ROOT, "",
                    "pragma journal_mode = wal; update Items set body = '1';update Fan set name ="
                    " '1'");
    gHeater["Health"] = uint8_t{200};
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        DbPtr db = openDb("attach '" + live + "' as live; select count(*) from live.Fan");
        sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
        EXPECT_EQ(write(ready[1], "!", 1), 1); // read-only connections need the WAL index now made
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end)
            exec(db.get(), "begin immediate; update live.Items set body = body + 1; delete from"
                           " live.Fan; insert into live.Fan select body from live.Items, (values"
                           " (1), (2), (3)) limit (select body % 3 + 1 from live.Items); commit");
        _exit(::testing::Test::HasFailure());
    }
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    OpenDatabaseConnection();
    OpenMetadataDatabaseConnection();
    loadPropertyTypeMap();
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0}, newer{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 8; ++t)
        callers.emplace_back([&] {
            for (int last = 0, before = 0; !stop; before = last)
                failures += !callRound(last), newer += last > before;
        });
    int status = -1;
    while (waitpid(writer, &status, WNOHANG) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        clearFakes(); // the fake logger keeps every message
    }
    stop = true;
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_EQ(failures, 0);
    EXPECT_GT(newer, 8) << "the callers never saw the writer's changes";
    EXPECT_EQ(status, 0);
    CloseMetadataDatabaseConnection();
    CloseDatabaseConnection();
}
