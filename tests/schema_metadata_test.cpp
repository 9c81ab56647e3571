// The schema property-type map and its per-table reader, over metadata databases built here.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "internal.hpp"
#include "support/handle_scope.hpp"
#include "support/test_support.hpp"

using namespace testing_support;

namespace {

constexpr const char* kGetMetadata = "[GetMetadata()]";

std::string createTypeTable(const std::string& type, const std::string& rows = "") {
    std::string sql = "create table [" + type + "](PropertyName text, PropertyType text);";
    if (!rows.empty()) sql += "insert into [" + type + "] values " + rows + ";";
    return sql;
}

} // namespace

TEST(GetMetadata, MatchesColumnNamesByPrefixAndKeepsTextOnly) {
    TestDb db = memoryDb("create table T(PropertyName, PropertyType, PropertyNames, Other);"
                         "insert into T values('Name', 'string', 'x', 'y'), ('Count', 7, 'x', 'y'),"
                         "  ('Name', 'array', 'x', 'y'), (NULL, NULL, 'x', 'y');"
                         "create table P(Property); insert into P values('Ab');");
    Json::Value out = parseJson(R"({"Kept": "object", "Count": "old"})");
    fakes::clearLog();
    EXPECT_EQ(GetMetadata(db.get(), "select * from T", out), 0);
    // Integer type reads as empty text; the later duplicate wins; an all-NULL row sets "".
    EXPECT_EQ(out, parseJson(R"({"Kept": "object", "Count": "", "Name": "array", "": ""})"));
    EXPECT_EQ(countLog(kLogTrace, std::string(kGetMetadata) + "Number of rows returned: 4"), 1);

    // "Property" is a leading part of both column names and feeds both texts.
    Json::Value both;
    EXPECT_EQ(GetMetadata(db.get(), "select * from P", both), 0);
    EXPECT_EQ(both, parseJson(R"({"Ab": "Ab"})"));
}

TEST(GetMetadata, FailureCodesLeaveOutputAndFinalize) {
    TestDb db = memoryDb("create table T(PropertyName, PropertyType);"
                         "insert into T values('A', 'x'), ('B', 'y'), ('C', 'z');");
    Json::Value out = parseJson(R"({"Kept": 1})");
    const Json::Value before = out;
    fakes::clearLog();
    EXPECT_EQ(GetMetadata(nullptr, "select 1", out), 1);
    EXPECT_EQ(countLog(kLogFail, std::string(kGetMetadata) + "Database handle is NULL"), 1);
    EXPECT_EQ(GetMetadata(db.get(), nullptr, out), -1);
    EXPECT_EQ(GetMetadata(db.get(), "select * from [#Missing]", out), SQLITE_ERROR);
    EXPECT_EQ(out, before);

    // An output that cannot take members is refused before anything runs.
    Json::Value text("text");
    EXPECT_EQ(GetMetadata(db.get(), "select * from T", text), -1);
    EXPECT_EQ(text, Json::Value("text"));

    // A step failure ends the rows; those read before it stay.
    const char* failing = "select PropertyName, abs(case when PropertyName = 'C' then "
                          "-9223372036854775807 - 1 else 0 end) || PropertyType as PropertyType "
                          "from T";
    EXPECT_EQ(GetMetadata(db.get(), failing, out), SQLITE_ERROR);
    EXPECT_EQ(out, parseJson(R"({"Kept": 1, "A": "0x", "B": "0y"})"));
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

TEST(PropertyTypeMap, LoadsListedTypesExactly) {
    std::set<std::string> names;
    for (const char* const* name = rf_metadata; *name != nullptr; ++name)
        names.insert(*name);
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(rf_metadata[20], nullptr);

    // Every listed table exists but one; one is empty; Power and PowerSupply differ.
    std::string sql;
    for (const std::string& name : names)
        if (name != "#Thermal.v1_7_3.Fan") sql += createTypeTable(name);
    sql += "insert into [#Power.v1_7_3.Power] values ('Voltages', 'array'), "
           "('Status#Health', 'string');"
           "insert into [#Power.v1_7_3.PowerSupply] values ('MemberId', 'string');";
    TestDb meta = memoryDb(sql);
    HandleScope scope(nullptr, meta.get());
    fakes::clearLog();
    loadPropertyTypeMap();
    const Json::Value& map = propertyTypeMap();
    ASSERT_TRUE(map.isObject());
    EXPECT_EQ(map.size(), 19u);
    EXPECT_FALSE(map.isMember("#Thermal.v1_7_3.Fan"));
    EXPECT_EQ(map["#Power.v1_7_3.Power"],
              parseJson(R"({"Voltages": "array", "Status#Health": "string"})"));
    EXPECT_EQ(map["#Power.v1_7_3.PowerSupply"], parseJson(R"({"MemberId": "string"})"));
    EXPECT_EQ(map["#Thermal.v1_7_3.Thermal"], Json::Value(Json::objectValue));
    EXPECT_EQ(countLog(kLogFail, "[RfMetadata()]failed query: select * from "
                                 "[#Thermal.v1_7_3.Fan], status: 1"),
              1);
    EXPECT_EQ(countLog(kLogFail, "[GetMetadata()]failed to execute sql metadata query. "
                                 "Sqlstmt status: 1, errormsg: no such table: "
                                 "#Thermal.v1_7_3.Fan"),
              1);

    // The exported reader logs under its own name and leaves the map alone.
    fakes::clearLog();
    GetPropertyTypefromMetadataDB();
    EXPECT_EQ(countLog(kLogFail, "[GetPropertyTypefromMetadataDB()]failed query: select * from "
                                 "[#Thermal.v1_7_3.Fan], status: 1"),
              1);
    EXPECT_EQ(propertyTypeMap().size(), 19u);
}

TEST(PropertyTypeMap, NullWithoutMetadataDatabase) {
    HandleScope scope(nullptr, nullptr);
    loadPropertyTypeMap();
    EXPECT_TRUE(propertyTypeMap().isNull());
    EXPECT_FALSE(propertyTypeMap().isMember("#Power.v1_7_3.Power"));
}
