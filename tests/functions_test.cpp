// The custom SQL functions, called through SQL on a connection where they are registered, and
// their registration.
#include <cmath>
#include <cstring>

#include "support.hpp"

namespace {

struct SqlFunctions : ::testing::Test {
    DbPtr db = openDb();
    void SetUp() override { registerSqlFunctions(db.get()), clearFakes(); }
    void TearDown() override { EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr); }
    // Checks "select function(args)" against each expected text.
    void expectCalls(const std::string& function,
                     const std::vector<std::pair<std::string, std::string>>& cases) {
        for (const auto& [args, expected] : cases)
            EXPECT_EQ(eval(db.get(), "select " + function + "(" + args + ")"), expected) << args;
    }
};

} // namespace

TEST_F(SqlFunctions, JsonBoolIsTrueOnlyForExactTrueOrLeadingOne) {
    // clang-format off
    expectCalls("json_bool", {{"'true'", "true"}, {"'tru'", "false"}, {"''", "false"}, {"10", "true"},
                              {"0.9", "false"}, {"-1", "false"}, {"NULL", "false"},
                              {"x'01'", "<error: JSON couldn't understood input values>"},
                              {"", "<error: invalid arguments>"}});
    // clang-format on
    // Marked as JSON, and exactly as long as the literal.
    EXPECT_EQ(eval(db.get(), "select json_object('a', json_bool('true'), 'b', json_bool(0)) || "
                             "length(json_bool(1.5)) || length(json_bool(NULL))"),
              R"({"a":true,"b":false}45)");
}

TEST_F(SqlFunctions, IsoDateTimeFollowsTheLocalZone) {
    for (const auto& [zone, offset] : {std::pair{"UTC0", "+00:00"}, {"IST-5:30", "+05:30"}}) {
        setenv("TZ", zone, 1);
        const std::string now = eval(db.get(), "select GetISODateTime('ignored')");
        EXPECT_EQ(now.substr(10, 1) + now.substr(19) + std::to_string(now.size()),
                  "T" + std::string(offset) + "25");
    }
}

// The rewrite uses the one spare byte after the terminator and nothing beyond it.
TEST(GetUTCFormatFromDatetime, InsertsColonAfterTheHoursOfTheLastSign) {
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"2025-01-01T00:00:00-0800", "2025-01-01T00:00:00-08:00"}, {"a+05-1", "a+05:-1"},
        {"abc+05", "abc+05:"}, {"x+1", "x+1"}, {"", ""}};
    // clang-format on
    for (const auto& [in, expected] : cases) {
        char buffer[32];
        std::memset(buffer, 'Z', sizeof buffer); // the spare byte need not be zero
        std::memcpy(buffer, in.c_str(), in.size() + 1);
        buffer[in.size() + 2] = 'T';
        GetUTCFormatFromDatetime(buffer);
        EXPECT_EQ(std::string(buffer) + buffer[in.size() + 2], expected + "T") << in;
    }
    GetUTCFormatFromDatetime(nullptr);
}

// A 32-bit time_t cannot hold 2100: "UnKnown" rather than a wrapped date.
TEST_F(SqlFunctions, InventoryTimeReadsTheFirstLineInBaseZero) {
    const std::string file = SQL2JSON_TEST_ROOT "/flash/data0/oem_ps/configdbsynctime",
                      n = ".000000+000";
    // clang-format off
    const std::pair<const char*, std::string> cases[] = {{nullptr, "UnKnown"}, {"", "UnKnown"},
        {"1700000000\n", "20231114221320" + n}, {"0x6553F100", "20231114221320" + n},
        {"017\n", "19700101000015" + n}, {"-1\n2\n", "19691231235959" + n},
        {"4102444800\n", sizeof(time_t) >= 8 ? "21000101000000" + n : "UnKnown"},
        {"99999999999999999999", "UnKnown"}};
    // clang-format on
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    for (const auto& [content, expected] : cases) {
        std::filesystem::remove(file);
        if (content != nullptr) std::ofstream(file) << content;
        EXPECT_EQ(eval(db.get(), "select LastSystemInventoryTime()"), expected) << content;
    }
}

TEST_F(SqlFunctions, StringToBytesPairsCharacters) {
    // clang-format off
    expectCalls("convertStringToBytes", {{"'001122aabbcc'", "00:11:22:aa:bb:cc"}, {"'abcde'", "ab:cd:e"},
        {"'a'", "a"}, {"1234", "12:34"}, {"''", "<null>"}, {"NULL", "<null>"}, {"'a', 'b'", "<null>"}});
    // clang-format on
    EXPECT_EQ(eval(db.get(), "select length(convertStringToBytes('001122aabbcc'))"), "17");
}

// Month, day, time and year by position; a doubled space gives an empty field.
TEST_F(SqlFunctions, TimeFormatTakesFieldsByPosition) {
    const std::string month = "<error: Invalid Month found>", bad = "<error: Invalid time format>";
    // clang-format off
    expectCalls("convertTimeFormat", {{"'DEC 31 23:59:59 2030 GMT'", "2030-12-31T23:59:59+00:00"},
        {"'jan 15 10:00:00 2025'", "2025-1-15T10:00:00+00:00"},
        {"'Mar  5 10:00:00 2025 GMT'", "10:00:00-3-T5+00:00"}, {"'Sept 15 1 2'", month},
        {"' Mar 15 1 2'", month}, {"'Mar 15 08:30:00 '", bad}, {"''", bad}, {"NULL", "<null>"},
        {"", "<error: Invalid number of arguments>"},
        {"'Mar 15 1 " + std::string(40, '9') + "'", std::string(40, '9') + "-3-15T1+0"}}); // 49
    // clang-format on
}

// "Month day, year" with full month names (else January); without a comma only the time; a
// missing token gives the empty text and the parsing message.
TEST_F(SqlFunctions, ReleaseDateNeedsACommaAndThreeTokens) {
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"'March 15, 2021'", "2021-03-15T00:00:00Z"}, {"'2021-03-15'", "00:00:00Z"},
        {"'Mar 15, 2021'", "2021-01-15T00:00:00Z"}, {"'December  31,  1999'", "1999-12-31T00:00:00Z"},
        {"'May 1, " + std::string(60, '2') + "'", std::string(49, '2')}, {"'March 15,'", ""},
        {"'March,'", ""}, {"NULL", "<null>"}, {"", "<error: Invalid number of arguments>"}};
    // clang-format on
    for (const auto& [args, expected] : cases) {
        clearFakes();
        expectCalls("Convert_ReleaseDate", {{args, expected}});
        EXPECT_EQ(
            logged(2, "[SoftInv_Convert_ReleaseDate()]There is an issue with Parsing backend data"),
            expected.empty())
            << args;
    }
}

// Durations come in minutes and go out in whole seconds; only a double that fits, or an 8-bit
// health value, gives a result. Another selector never reaches the platform.
TEST_F(SqlFunctions, HeaterValuesAreReadFromThePlatformBySelector) {
    // clang-format off
    for (const auto& [minutes, expected] : {std::pair{2.5, "150"}, {-0.01, "0"},
             {35791394.0, "2147483640"}, {1e9, "<null>"}, {std::nan(""), "<null>"}}) {
        // clang-format on
        gHeater["PreHeatDuration"] = minutes;
        EXPECT_EQ(eval(db.get(), "select GetHeaterMgrValues(1)"), expected) << minutes;
    }
    gHeater = {{"CumulativeHeatDuration", 10.0}, {"Health", uint8_t{200}}};
    EXPECT_EQ(eval(db.get(), "select GetHeaterMgrValues(2) || GetHeaterMgrValues(3)"), "600200");
    EXPECT_EQ(logged(5, "[GetHeaterMgrValues()]CumulativeHeatDuration status 7"), 1);
    EXPECT_EQ(gHeaterCalls.back(),
              "com.vexa.ostra.HeaterManager /com/vexa/ostra/HeaterManager Health");
    clearFakes();
    const std::string value = "<error: Invalid value of arguments>";
    expectCalls(
        "GetHeaterMgrValues",
        {{"4", value}, {"4294967297", value}, {"NULL", "<error: Invalid type of arguments>"}});
    EXPECT_TRUE(gHeaterCalls.empty());
    gHeater = {{"PreHeatDuration", uint8_t{3}}, {"Health", 3.0}}; // another alternative
    expectCalls("GetHeaterMgrValues", {{"1", "<null>"}, {"3", "<null>"}});
    EXPECT_EQ(logged(2, "[GetHeaterMgrValues()]Health value is not an 8-bit integer"), 1);
}

namespace {
void mine(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_text(ctx, "mine", -1, nullptr);
}
} // namespace

// A registration that collides with a function in use fails: from convertTimeFormat on that
// ends the process, before it only that function is left out. The collision needs the same
// name, argument count and encoding, so it also checks how each function is registered.
TEST(SqlFunctionRegistration, AFailureEndsTheProcessOnlyForTheLastFour) {
    // clang-format off
    const std::tuple<const char*, int, const char*> functions[] = {
        {"json_bool", -1, "JsonBoolFunc"}, {"GetISODateTime", -1, "GetISODateTime"},
        {"LastSystemInventoryTime", 0, "GetLastSystemInventoryTime"},
        {"convertTimeFormat", -1, "convertOpensllToOdataTimeFormat"},
        {"convertStringToBytes", -1, "ConvertStringToByteFormat"},
        {"GetHeaterMgrValues", 1, "GetHeaterMgrValues function"},
        {"Convert_ReleaseDate", -1, "SoftInv_Convert_ReleaseDate"}};
    // clang-format on
    for (int k = 0; k < 7; ++k) {
        const auto [name, argCount, failure] = functions[k];
        const int status = inChild([&, name = name, argCount = argCount, failure = failure] {
            DbPtr db = openDb(), other = openDb();
            sqlite3_create_function(db.get(), name, argCount, SQLITE_UTF8, nullptr, mine, nullptr,
                                    nullptr);
            sqlite3_stmt* busy = nullptr; // a statement in progress: "mine" cannot be replaced
            sqlite3_prepare_v2(db.get(), "select 1 union all select 2", -1, &busy, nullptr);
            sqlite3_step(busy);
            registerSqlFunctions(db.get());
            sqlite3_finalize(busy);
            EXPECT_EQ(
                logged(2, std::string("[OpenDatabaseConnection()]failed to create ") + failure), 1);
            for (const auto& [each, count, unused] : functions) {
                const std::string call = std::string("select ") + each + (count ? "(1)" : "()");
                EXPECT_EQ(eval(db.get(), call) == "mine", each == name) << call;
                EXPECT_EQ(eval(other.get(), call),
                          "<error: no such function: " + std::string(each) + ">");
            }
            return 0;
        });
        EXPECT_EQ(status, k >= 3 ? 1 : 0) << name;
    }
}
