// The custom SQL functions, called through SQL on a connection where they are registered.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "internal.hpp"
#include "support/test_support.hpp"

using namespace testing_support;

namespace {

const std::string kInventoryFile =
    std::string(SQL2JSON_TEST_ROOT) + "/flash/data0/oem_ps/configdbsynctime";

struct Case {
    std::string args;
    std::string expected;
};

class SqlFunctions : public ::testing::Test {
  protected:
    void SetUp() override {
        registerSqlFunctions(db.get());
        fakes::clearLog();
        fakes::resetHeater();
    }
    std::string eval(const std::string& sql) { return evalText(db.get(), sql); }
    // Checks "select <function>(<args>)" for each case.
    void expectCalls(const std::string& function, const std::vector<Case>& cases) {
        for (const Case& c : cases)
            EXPECT_EQ(eval("select " + function + "(" + c.args + ")"), c.expected) << c.args;
        EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
    }
    TestDb db = memoryDb();
};

// Sets TZ for the scope, restoring the previous zone after.
struct ZoneScope {
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        hadZone = old != nullptr;
        if (hadZone) saved = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        hadZone ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    bool hadZone = false;
    std::string saved;
};

} // namespace

TEST_F(SqlFunctions, JsonBoolIsTrueOnlyForExactTrueOrLeadingOne) {
    // clang-format off
    expectCalls("json_bool", {
        {"'true'", "true"}, {"'TRUE'", "false"}, {"'trueX'", "false"}, {"'1'", "false"},
        {"''", "false"}, {"'tru'", "false"}, {"1", "true"}, {"10", "true"}, {"1.5", "true"},
        {"0", "false"}, {"-1", "false"}, {"0.9", "false"}, {"NULL", "false"},
        {"x'01'", "<error: JSON couldn't understood input values>"},
        {"", "<error: invalid arguments>"}, {"1, 2", "<error: invalid arguments>"}});
    // clang-format on
    // Marked as JSON, and exactly as long as the literal.
    EXPECT_EQ(eval("select json_object('a', json_bool('true'), 'b', json_bool(0))"),
              R"({"a":true,"b":false})");
    EXPECT_EQ(eval("select length(json_bool('true')) || length(json_bool(NULL))"), "45");
}

TEST_F(SqlFunctions, IsoDateTimeCarriesTheLocalOffsetWithColon) {
    const std::regex shape(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    for (const auto& [zone, offset] : std::vector<std::pair<const char*, std::string>>{
             {"UTC0", "+00:00"}, {"IST-5:30", "+05:30"}, {"PST8", "-08:00"}}) {
        ZoneScope scope(zone);
        const std::string now = eval("select GetISODateTime(1, 'ignored')");
        EXPECT_TRUE(std::regex_match(now, shape)) << now;
        EXPECT_EQ(now.substr(19), offset) << zone;
    }
}

TEST(GetUTCFormatFromDatetime, InsertsColonAfterHoursOfLastSign) {
    const std::vector<Case> cases = {{"2025-01-01T00:00:00-0800", "2025-01-01T00:00:00-08:00"},
                                     {"abc+05", "abc+05:"},
                                     {"2025", "2025"},
                                     {"x+1", "x+1"},
                                     {"", ""}};
    for (const Case& c : cases) {
        char buffer[32];
        std::memset(buffer, 'Z', sizeof buffer); // the spare byte need not be zero
        std::memcpy(buffer, c.args.c_str(), c.args.size() + 1);
        GetUTCFormatFromDatetime(buffer);
        EXPECT_EQ(std::string(buffer), c.expected) << c.args;
    }
    GetUTCFormatFromDatetime(nullptr);
}

TEST_F(SqlFunctions, InventoryTimeReadsTheFirstLineInBaseZero) {
    // A time_t too narrow for the year 2100 gives UnKnown rather than a wrapped date.
    const std::string year2100 = sizeof(time_t) >= 8 ? "21000101000000.000000+000" : "UnKnown";
    // clang-format off
    const std::vector<std::pair<const char*, std::string>> cases = {
        {nullptr, "UnKnown"}, {"", "UnKnown"}, {"1700000000\n", "20231114221320.000000+000"},
        {"0x6553F100", "20231114221320.000000+000"}, {"017\n", "19700101000015.000000+000"},
        {"abc\n", "19700101000000.000000+000"}, {"-1\n2\n", "19691231235959.000000+000"},
        {"4102444800\n", year2100}, {"99999999999999999999", "UnKnown"}};
    // clang-format on
    for (const auto& [content, expected] : cases) {
        removeTree(kInventoryFile);
        if (content != nullptr) writeFile(kInventoryFile, content);
        EXPECT_EQ(eval("select LastSystemInventoryTime()"), expected) << (content ? content : "-");
    }
    removeTree(kInventoryFile);
    EXPECT_EQ(eval("select LastSystemInventoryTime(1)"),
              "<error: wrong number of arguments to function LastSystemInventoryTime()>");
}

TEST_F(SqlFunctions, StringToBytesPairsCharacters) {
    // clang-format off
    expectCalls("convertStringToBytes", {
        {"'001122aabbcc'", "00:11:22:aa:bb:cc"}, {"'abcde'", "ab:cd:e"}, {"'a'", "a"},
        {"'ab'", "ab"}, {"1234", "12:34"}, {"''", "<null>"}, {"NULL", "<null>"},
        {"'a', 'b'", "<null>"}});
    // clang-format on
    EXPECT_EQ(eval("select length(convertStringToBytes('001122aabbcc'))"), "17");
    EXPECT_EQ(countLog(2, "[ConvertStringToByteFormat()]Wrong Number Of Arguments in "
                          "ConvertStringToByteFormat() = 2.\n"),
              1);
}

TEST_F(SqlFunctions, TimeFormatTakesFieldsByPosition) {
    const std::string badMonth = "<error: Invalid Month found>";
    const std::string badFormat = "<error: Invalid time format>";
    // clang-format off
    expectCalls("convertTimeFormat",
                {{"'Mar 15 08:30:00 2025 GMT'", "2025-3-15T08:30:00+00:00"},
                 {"'DEC 31 23:59:59 2030 GMT'", "2030-12-31T23:59:59+00:00"},
                 {"'jan 15 10:00:00 2025'", "2025-1-15T10:00:00+00:00"},
                 {"'Jan 01 00:00:00 1970 PST'", "1970-1-01T00:00:00+00:00"},
                 // A doubled space gives an empty day and shifts the later fields.
                 {"'Mar  5 10:00:00 2025 GMT'", "10:00:00-3-T5+00:00"},
                 {"'Sept 15 10:00:00 2025'", badMonth}, {"'March 15 10:00:00 2025'", badMonth},
                 {"' Mar 15 10:00:00 2025'", badMonth}, {"'Mar 15 08:30:00 '", badFormat},
                 {"''", badFormat}, {"NULL", "<null>"},
                 {"", "<error: Invalid number of arguments>"},
                 {"'a', 'b'", "<error: Invalid number of arguments>"}});
    // clang-format on
    EXPECT_EQ(
        eval("select length(convertTimeFormat('Mar 15 08:30:00 " + std::string(60, '9') + "'))"),
        "49");
}

TEST_F(SqlFunctions, ReleaseDateNeedsCommaAndThreeTokens) {
    // clang-format off
    const std::vector<Case> cases = {
        {"'March 15, 2021'", "2021-03-15T00:00:00Z"}, {"'2021-03-15T00:00:00Z'", "00:00:00Z"},
        {"'Mar 15, 2021'", "2021-01-15T00:00:00Z"}, {"'March15 1, 2020'", "2020-03-1T00:00:00Z"},
        {"'December  31,  1999'", "1999-12-31T00:00:00Z"},
        {"'March 15, 2021, x'", "2021,-03-15T00:00:00Z"},
        {"' , '", ""}, {"'March 15,'", ""}, {"'March,'", ""}, {"NULL", "<null>"},
        {"", "<error: Invalid number of arguments>"}};
    // clang-format on
    for (const Case& c : cases) {
        fakes::clearLog();
        expectCalls("Convert_ReleaseDate", {c});
        EXPECT_EQ(countLog(2, "[SoftInv_Convert_ReleaseDate()]There is an issue with Parsing "
                              "backend data"),
                  c.expected.empty() ? 1 : 0)
            << c.args;
    }
    EXPECT_EQ(eval("select length(Convert_ReleaseDate('May 1, " + std::string(60, '2') + "'))"),
              "49");
}

TEST_F(SqlFunctions, HeaterValuesAreReadFromThePlatformBySelector) {
    using fakes::setHeaterProperty;
    const std::vector<std::pair<double, std::string>> durations = {
        {2.5, "150"},    {0.999, "59"},           {-0.01, "0"}, {35791394.0, "2147483640"},
        {1e9, "<null>"}, {std::nan(""), "<null>"}};
    for (const auto& [minutes, expected] : durations) {
        setHeaterProperty("PreHeatDuration", minutes);
        EXPECT_EQ(eval("select GetHeaterMgrValues(1)"), expected) << minutes;
    }
    setHeaterProperty("CumulativeHeatDuration", 10.0, -5); // the status is only logged
    setHeaterProperty("Health", uint8_t{200});
    EXPECT_EQ(eval("select GetHeaterMgrValues(2) || ',' || GetHeaterMgrValues(3)"), "600,200");
    EXPECT_EQ(countLog(5, "[GetHeaterMgrValues()]CumulativeHeatDuration status -5"), 1);
    const std::vector<fakes::HeaterCall> calls = fakes::heaterCalls();
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[6].property, "CumulativeHeatDuration");
    EXPECT_EQ(calls[7].service + " " + calls[7].path + " " + calls[7].property,
              "com.vexa.ostra.HeaterManager /com/vexa/ostra/HeaterManager Health");
}

TEST_F(SqlFunctions, HeaterValuesRefuseBadSelectorsAndMissingAlternatives) {
    const std::string badValue = "<error: Invalid value of arguments>";
    const std::string badType = "<error: Invalid type of arguments>";
    const std::string badCount =
        "<error: wrong number of arguments to function GetHeaterMgrValues()>";
    // clang-format off
    expectCalls("GetHeaterMgrValues", {
        {"0", badValue}, {"4", badValue}, {"4294967297", badValue}, {"'1'", badType},
        {"1.0", badType}, {"NULL", badType}, {"", badCount}, {"1, 2", badCount}});
    // clang-format on
    EXPECT_TRUE(fakes::heaterCalls().empty());
    // The platform leaves the boolean in place, or gives another alternative.
    fakes::setHeaterProperty("CumulativeHeatDuration", uint8_t{3});
    fakes::setHeaterProperty("Health", 3.0);
    expectCalls("GetHeaterMgrValues", {{"1", "<null>"}, {"2", "<null>"}, {"3", "<null>"}});
    EXPECT_EQ(countLog(2, "[GetHeaterMgrValues()]PreHeatDuration value is not a double"), 1);
    EXPECT_EQ(countLog(2, "[GetHeaterMgrValues()]Health value is not an 8-bit integer"), 1);
}

TEST_F(SqlFunctions, ExistOnlyOnTheRegisteredConnection) {
    TestDb other = memoryDb();
    for (const char* name :
         {"json_bool", "GetISODateTime", "LastSystemInventoryTime", "convertTimeFormat",
          "convertStringToBytes", "GetHeaterMgrValues", "Convert_ReleaseDate"}) {
        EXPECT_EQ(evalText(other.get(), std::string("select ") + name + "(1)"),
                  std::string("<error: no such function: ") + name + ">");
    }
}

// ---- Allocation failures -------------------------------------------------------------------
// A forked child re-initialises SQLite over an allocator that refuses the next request of a
// chosen size, made after the statement is prepared: the function's own result block.

namespace {

int gFailSize = -1;

// Blocks carry their size in front, as SQLite's own allocator does.
void* withSize(void* raw, int size) {
    if (raw == nullptr) return nullptr;
    *static_cast<sqlite3_int64*>(raw) = size;
    return static_cast<sqlite3_int64*>(raw) + 1;
}
void* rawBlock(void* p) { return static_cast<sqlite3_int64*>(p) - 1; }
void* failingMalloc(int size) {
    if (size != gFailSize) return withSize(std::malloc(sizeof(sqlite3_int64) + size), size);
    gFailSize = -1;
    return nullptr;
}
void failingFree(void* p) { std::free(p ? rawBlock(p) : nullptr); }
void* failingRealloc(void* p, int size) {
    return withSize(std::realloc(rawBlock(p), sizeof(sqlite3_int64) + size), size);
}
int blockSize(void* p) {
    return p ? static_cast<int>(*static_cast<sqlite3_int64*>(rawBlock(p))) : 0;
}
int sameSize(int size) { return size; }
int initAllocator(void*) { return SQLITE_OK; }
void shutdownAllocator(void*) {}

// Prepares sql, arms the failure for size and steps once: the text, "<null>" or the error.
std::string evalWithFailure(sqlite3* db, const std::string& sql, int size) {
    StmtPtr stmt;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return "<prepare>";
    stmt.reset(raw);
    gFailSize = size;
    const bool row = sqlite3_step(raw) == SQLITE_ROW;
    gFailSize = -1;
    if (!row) return std::string("<error: ") + sqlite3_errmsg(db) + ">";
    const unsigned char* text = sqlite3_column_text(raw, 0);
    return text ? reinterpret_cast<const char*>(text) : "<null>";
}

} // namespace

TEST(SqlFunctionsAllocation, FailedBlocksGiveErrorsOrNull) {
    const std::string noMemory = "<error: failed to allocate memory>";
    const std::vector<std::tuple<std::string, int, std::string>> calls = {
        {"json_bool('true')", 4, noMemory},
        {"json_bool(NULL)", 5, noMemory},
        {"GetISODateTime()", 64, "<null>"},
        {"LastSystemInventoryTime()", 56, "<null>"},
        {"convertStringToBytes('001122aabbcc')", 18, noMemory},
        {"convertTimeFormat('Mar 15 08:30:00 2025 GMT')", 24, noMemory},
        {"Convert_ReleaseDate('March 15, 2021')", 21, noMemory}};
    ChildRun run = runInChild([&] {
        sqlite3_shutdown();
        static const sqlite3_mem_methods methods = {failingMalloc,     failingFree, failingRealloc,
                                                    blockSize,         sameSize,    initAllocator,
                                                    shutdownAllocator, nullptr};
        if (sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) != SQLITE_OK) return 2;
        TestDb db = memoryDb();
        registerSqlFunctions(db.get());
        for (const auto& [sql, size, expected] : calls)
            report(sql, evalWithFailure(db.get(), "select " + sql, size));
        report("leaked", sqlite3_next_stmt(db.get(), nullptr) ? "yes" : "no");
        return 0;
    });
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0);
    for (const auto& [sql, size, expected] : calls)
        EXPECT_EQ(run.reports[sql], expected) << sql;
    EXPECT_EQ(run.reports["leaked"], "no");
    EXPECT_EQ(countLog(run.log, 4, "[GetISODateTime()]sqlite3_malloc64 failed!!!"), 1);
    EXPECT_EQ(countLog(run.log, 1, "[ConvertStringToByteFormat()]failed to allocate memory temp"),
              1);
}
