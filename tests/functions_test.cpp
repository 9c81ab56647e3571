// The custom SQL functions, called through SQL on a connection where they are registered.
#include <cmath>

#include "support.hpp"

namespace {

const std::string kNoArguments = "<error: Invalid number of arguments>", kNine(40, '9');
// Each call with its result; a cut result is 49 characters long.
const std::pair<std::string, std::string> kCalls[] = {
    // json_bool: "true" only for the exact text, or a number whose text starts with "1"
    {"json_bool('true') || json_bool('tru') || json_bool('') || json_bool(10) || json_bool(0.9)"
     " || json_bool(-1) || json_bool(NULL) || length(json_bool(NULL))",
     "truefalsefalsetruefalsefalsefalse5"},
    {"json_object('a', json_bool(1.5), 'b', json_bool(0))", R"({"a":true,"b":false})"},
    {"json_bool(x'01')", "<error: JSON couldn't understood input values>"},
    {"json_bool()", "<error: invalid arguments>"},
    {"substr(GetISODateTime('ignored'), 11, 1) || substr(GetISODateTime(), 20)", "T+05:30"},
    // convertStringToBytes: characters in pairs; NULL for NULL, '' or a wrong argument count
    {"convertStringToBytes('abcde') || convertStringToBytes(1) || length(convertStringToBytes("
     "'aabbcc'))",
     "ab:cd:e18"},
    {"coalesce(convertStringToBytes(''), convertStringToBytes(NULL), convertStringToBytes('a',"
     " 'b'), convertTimeFormat(NULL), Convert_ReleaseDate(NULL), 'null')",
     "null"},
    // convertTimeFormat: month, day, time and year by position; two spaces give an empty field
    {"convertTimeFormat('DEC 31 23:59:59 2030 GMT') || convertTimeFormat('jan  1 2')",
     "2030-12-31T23:59:59+00:002-1-T1+00:00"},
    {"convertTimeFormat('Mar 15 1 " + kNine + "')", kNine + "-3-15T1+0"},
    {"convertTimeFormat('Sept 15 1 2')", "<error: Invalid Month found>"},
    {"convertTimeFormat('Mar 15 1 ')", "<error: Invalid time format>"},
    {"convertTimeFormat()", kNoArguments},
    // Convert_ReleaseDate: full month names (else January); without a comma only the time
    {"Convert_ReleaseDate('December  31,  1999') || Convert_ReleaseDate('Mar 1, 2020')",
     "1999-12-31T00:00:00Z2020-01-1T00:00:00Z"},
    {"Convert_ReleaseDate('2021-03-15') || Convert_ReleaseDate('May 1, " + kNine + kNine + "')",
     "00:00:00Z" + std::string(49, '9')},
    {"Convert_ReleaseDate()", kNoArguments},
    // GetHeaterMgrValues: minutes into whole seconds, toward zero; selectors 1 to 3 only
    {"GetHeaterMgrValues(1) || ',' || GetHeaterMgrValues(2) || ',' || GetHeaterMgrValues(3)",
     "2147483640,0,200"},
    {"GetHeaterMgrValues(4294967297)", "<error: Invalid value of arguments>"},
    {"GetHeaterMgrValues(NULL)", "<error: Invalid type of arguments>"}};

} // namespace

TEST(SqlFunctions, GiveTheirResultsAndErrors) {
    DbPtr db = openDb(), other = openDb();
    registerSqlFunctions(db.get());
    setenv("TZ", "IST-5:30", 1); // GetISODateTime follows the zone
    gHeater = {{"PreHeatDuration", 35791394.0},
               {"CumulativeHeatDuration", -0.01},
               {"Health", uint8_t{200}}};
    for (const auto& [call, expected] : kCalls)
        EXPECT_EQ(eval(db.get(), "select " + call), expected) << call;
    EXPECT_EQ(logged(5, "CumulativeHeatDuration status 22"), 1); // the platform's status
    EXPECT_EQ(eval(other.get(), "select json_bool(1)"), "<error: no such function: json_bool>");
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

// A date missing its day or year gives the empty text and says why; a heater value out of range,
// not a number or not the expected alternative gives NULL and says why. The inventory time is
// the first line of its file in base 0; a 32-bit time_t cannot hold 2100. The "+hhmm" rewrite
// uses the one spare byte after the terminator and nothing beyond it.
TEST(SqlFunctions, HandleMissingOrUnusableData) {
    DbPtr db = openDb();
    registerSqlFunctions(db.get());
    gHeater = {{"PreHeatDuration", 1e9}, {"CumulativeHeatDuration", std::nan("")}, {"Health", 3.0}};
    const std::string dates = "select Convert_ReleaseDate('March 15,') || Convert_ReleaseDate("
                              "'March,') || '|' || coalesce(GetHeaterMgrValues(1), 'NULL')";
    EXPECT_EQ(
        eval(db.get(), dates + " || coalesce(GetHeaterMgrValues(2), GetHeaterMgrValues(3), '')"),
        "|NULL");
    gHeater["PreHeatDuration"] = uint8_t{3};
    EXPECT_EQ(eval(db.get(), dates), "|NULL");
    EXPECT_EQ((Codes{logged(2, "There is an issue with Parsing backend data"),
                     logged(2, "PreHeatDuration value is not a double"),
                     logged(2, "Health value is not an 8-bit integer")}),
              (Codes{4, 1, 1}));
    const std::string file = SQL2JSON_TEST_ROOT "/flash/data0/oem_ps/configdbsynctime",
                      n = ".000000+000 ";
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::filesystem::remove(file);
    std::string times = eval(db.get(), "select LastSystemInventoryTime()") + " ";
    for (const char* content : {"0x6553F100\n", "017", "4102444800"}) {
        std::ofstream(file) << content;
        times += eval(db.get(), "select LastSystemInventoryTime()") + " ";
    }
    EXPECT_EQ(times, "UnKnown 20231114221320" + n + "19700101000015" + n +
                         (sizeof(time_t) >= 8 ? "21000101000000" + n : "UnKnown "));
    // clang-format off
    for (const auto& [in, expected] : {std::pair<std::string, std::string>{"T00-0800", "T00-08:00"},
                                       {"a+05-1", "a+05:-1"}, {"x+1", "x+1"}, {"", ""}}) {
        // clang-format on
        std::string buffer = in + std::string("\0ZT", 3); // the spare byte need not be zero
        GetUTCFormatFromDatetime(&buffer[0]);
        EXPECT_EQ(buffer.c_str() + buffer.substr(in.size() + 2), expected + "T") << in;
    }
    GetUTCFormatFromDatetime(nullptr);
}
