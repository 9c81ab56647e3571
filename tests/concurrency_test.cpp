// Eight threads call the engine, the URI functions and the SQL functions on the connections
// the library opens, while another process commits to the live-object database (WAL) for
// five seconds. Each commit keeps State.gen = State.gen2 = g and g % 3 + 1 Fan rows of gen g:
// every result must show one committed state, never older than one the thread saw before.
#include <atomic>
#include <thread>

#include "support.hpp"

namespace {

const std::string kLive = R"(pragma journal_mode = wal;
create table State(gen, gen2); insert into State values (1, 1); create table Part(gen); insert into Part values (1), (1);
create table Q2(name, sqltext); insert into Q2 values ('parts', 'select count(*) || '':'' || max(gen) from Part where ?');
create view PartView as select '#Thermal.v1_7_3.Fan' as [@odata.type], gen as Gen, json_bool('true') ||
  convertStringToBytes('a1b2') || Convert_ReleaseDate('May 1, 2021') || convertTimeFormat('Mar 15 8:30 2025')
  || length(GetISODateTime()) || GetHeaterMgrValues(3) || (length(LastSystemInventoryTime()) > 0) as F from Part;
create view StateView as select '#Thermal.v1_7_3.Thermal' as [@odata.type], gen as Gen, gen2 as Gen2,
  'select * from PartView' as Fans, json_bool(gen % 2) as [S#Odd] from State;)";
const std::string kFunctions = "truea1:b22021-05-1T00:00:00Z2025-3-15T8:30+00:00252001";

// One round of calls; last is the newest generation this thread has seen.
void callRound(std::vector<std::string>& failures, int& last) {
    Json::Value out;
    int rc = GetJsonDataFromSQLViewUsingQuery("select * from StateView", out, 0);
    const Json::Value& fans = out["Fans"];
    const int g = out["Gen"].asInt(), fanGen = fans[0]["Gen"].asInt();
    bool ok = rc == 0 && g >= last && out["Gen2"] == g && fanGen >= g &&
              fans.size() == fanGen % 3 + 1u && out["Fans@odata.count"] == fans.size() &&
              out["S"]["Odd"] == (g % 2 == 1);
    for (const Json::Value& fan : fans)
        ok = ok && fan["Gen"] == fanGen && fan["F"] == kFunctions;
    std::string sql, root, counts, query = "select sqltext from Q2 where name = ?";
    char first[] = "parts", second[] = "1";
    ok = ok && GetViewNameFromopenApiDB("/redfish/v1/Items/7/", sql) == 0 &&
         GetRequestedSchemaData(sql.c_str(), root, "/redfish/v1/Items/7") == SQLITE_ROW &&
         root == "{\"a\":1}" &&
         GetCustomCTEData(counts, query, first, second, nullptr) == SQLITE_ROW;
    const int f = std::atoi(counts.c_str() + counts.find(':') + 1);
    if (!ok || f < fanGen || counts != std::to_string(f % 3 + 1) + ":" + std::to_string(f))
        failures.push_back(out.toStyledString() + sql + root + counts);
    last = f;
}

} // namespace

TEST(Concurrency, EightCallersSeeOnlyCommittedStatesWhileAnotherProcessWrites) {
    const std::string root = SQL2JSON_TEST_ROOT,
                      live = root + "/var/run/unifieddatabase/DMLiveObjectDatabase.db";
    layOutDatabases(root, "", kLive);
    gHeater["Health"] = uint8_t{200};
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        DbPtr db = openDb("attach '" + live + "' as live; select count(*) from live.State");
        sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
        EXPECT_EQ(write(ready[1], "!", 1), 1); // read-only connections need the WAL index now made
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (int g = 2; std::chrono::steady_clock::now() < end; ++g) {
            const std::string gen = std::to_string(g);
            exec(db.get(), "begin immediate; update live.State set gen = " + gen + ", gen2 = " +
                               gen + "; delete from live.Part; insert into live.Part select " +
                               gen + " from (values (1), (2), (3)) limit " +
                               std::to_string(g % 3 + 1) + "; commit");
        }
        _exit(::testing::Test::HasFailure());
    }
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    OpenDatabaseConnection();
    OpenMetadataDatabaseConnection();
    loadPropertyTypeMap();
    std::atomic<bool> stop{false};
    std::vector<std::string> failures[8];
    int newest[8] = {};
    std::vector<std::thread> callers;
    for (int t = 0; t < 8; ++t)
        callers.emplace_back([&, t] {
            while (!stop && failures[t].size() < 3)
                callRound(failures[t], newest[t]);
        });
    int status = -1;
    while (waitpid(writer, &status, WNOHANG) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        clearFakes(); // the fake logger keeps every message
    }
    stop = true;
    for (int t = 0; t < 8; ++t) {
        callers[t].join();
        EXPECT_EQ(failures[t], std::vector<std::string>());
        EXPECT_GT(newest[t], 1) << "the callers never saw the writer's changes";
    }
    EXPECT_EQ(status, 0);
    CloseMetadataDatabaseConnection();
    CloseDatabaseConnection();
}
