// The view-to-JSON engine and the property-type map, on one connection built here that serves
// as both the live-object and the metadata database. (What the engine makes of the sample
// server's views shows in the tool's tests.)
#include <climits>

#include "support.hpp"

namespace {

const std::string kT = "#Thermal.v1_7_3.Thermal";

// The property types of the types formatted here; T has every kind of property, O and A select
// themselves as their sub-query.
const std::string kWorld =
    "create table [#Thermal.v1_7_3.Fan](PropertyName, PropertyType); insert into"
    " [#Thermal.v1_7_3.Fan] values ('Name', 'string'), ('S#State', 'x'), ('Old', 'additional');"
    " create table [#Thermal.v1_7_3.Thermal](PropertyName, PropertyType); insert into"
    " [#Thermal.v1_7_3.Thermal] values ('Fans', 'array'), ('E', 'arrayX'), ('Bad', 'array'), ('O',"
    " 'object'), ('O#X', 'x'), ('Hide', 'additional'), ('A#B#C', 'x'), ('S#H', 'x'), ('L#I',"
    " 'array'), ('T', 'boolean'), ('F', 'boolean'), ('Tx', 'boolean'), ('S#B', 'boolean'), ('Arr',"
    " 'array'), ('Arr#Y', 'array'); create table [#Switch.v1_9_3.Switch](PropertyName,"
    " PropertyType); insert into [#Switch.v1_9_3.Switch] values ('Child', 'object'); create table"
    " [#SwitchCollection.SwitchCollection](PropertyName, PropertyType); insert into"
    " [#SwitchCollection.SwitchCollection] values ('Kids', 'array'); create table"
    " [#Power.v1_7_3.PowerSupply](PropertyName, PropertyType); create table"
    " [#Assembly.v1_5_1.AssemblyData](PropertyName, PropertyType); create view FanV as select"
    " '#Thermal.v1_7_3.Fan' as [@odata.type], 'F1' as Name, 'On' as [S#State] union all select"
    " '#Thermal.v1_7_3.Fan', 'F2', 'Off'; create view T as select '#Thermal.v1_7_3.Thermal' as"
    " [@odata.type], 'select * from FanV' as Fans, NULL as E, 'select bad' as Bad, 'select ''x''"
    " as State' as O, 'y' as [O#X], 's' as Hide, 7 as [A#B#C], 'OK' as [S#H], 'select * from FanV"
    " where Name = ''F2''' as [L#I], 'true' as T, 'false' as F, 'True' as Tx, 'true' as [S#B],"
    " 'select 2 as a' as Arr, '-' as [Arr#Y]; create view O as select '#Switch.v1_9_3.Switch' as"
    " [@odata.type], 'select * from O' as Child; create view A as select"
    " '#SwitchCollection.SwitchCollection' as [@odata.type], 'select * from A' as Kids";

struct Engine : ::testing::Test {
    DbPtr db = openDb(kWorld);
    void SetUp() override {
        dmdbhandle = metadatadbhandle = db.get();
        loadPropertyTypeMap();
        clearFakes();
    }
    void TearDown() override { EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr); }
    Json::Value query(const std::string& sql, unsigned int type = 0, int expandDepth = 1) {
        Json::Value out;
        EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery(sql.c_str(), out, type, 0, expandDepth), 0);
        return out;
    }
    // Formats resource as a row of the engine, with no nested columns.
    Json::Value formatted(const std::string& resource, int expandLevel = 2) {
        Json::Value nested("not an object"), out = json(resource);
        GetRedfishSchemaFormatedData(nested, out, 0, expandLevel);
        return out;
    }
};

} // namespace

// Integers are read as 64 bits; -1 and 4294967295 mark a missing value; a BLOB leaves the
// earlier row's value, since the accumulators are not cleared between rows.
TEST_F(Engine, RowReaderMapsStorageClasses) {
    Json::Value nested, rows;
    const char* sql = "select column1 as i, column2 as v, column3 as [S#H] from (values"
                      " (3000000000, 'a', 'OK'), (-1, x'01', x'01'), (4294967295, 4294967295.0,"
                      " NULL), (-2147483648, 1.5, -3000000000))";
    EXPECT_EQ(GetDataFromViewQuery(db.get(), sql, nested, rows, 1), 0);
    EXPECT_EQ(compact(rows) + compact(nested),
              R"([{"i":3000000000,"v":"a"},{"i":null,"v":"a"},{"i":null,"v":null},)"
              R"({"i":-2147483648,"v":1.5}][{"S#H":"OK"},{"S#H":"OK"},{"S#H":null},)"
              R"({"S#H":-3000000000}])");
}

// An array query refuses an output that is neither null nor an array, and GetMetadata one that
// is no object, before anything runs (so not even the bad SQL fails); the property reader
// refuses one that can take no members. A failing step returns its status and
// leaves the rows read before it (abs() fails on row 3). The map holds the types whose table
// could be read, and is null without a metadata database.
TEST_F(Engine, FailuresReturnTheirCodesAndKeepTheRowsReadBefore) {
    Json::Value nested(Json::arrayValue), res("r"), rows, object, spare, out("untouched"),
        types = json(R"({"k":1})");
    const char* failing =
        "select column1 || '' as PropertyName, abs(column1) as i, abs(column1) || '' as"
        " PropertyType from (values (1), (2), (1 << 63))";
    expectCalls({
        CALL(GetDataFromViewQuery(nullptr, "", nested, res, 0), 1),
        CALL(GetDataFromViewQuery(db.get(), nullptr, nested, res, 0), -1),
        CALL(GetDataFromViewQuery(db.get(), "x", nested, res, 0), 1),
        CALL(GetDataFromViewQuery(db.get(), "select 1", nested, res, 1), -1),
        CALL(GetDataFromViewQuery(db.get(), failing, spare, rows, 1), 1),
        CALL(GetDataFromViewQuery(db.get(), failing, spare, object, 0), 1),
        CALL(GetMetadata(nullptr, "", out), 1),
        CALL(GetMetadata(db.get(), nullptr, types), -1),
        CALL(GetMetadata(db.get(), "x", res), -1),
        CALL(GetMetadata(db.get(), failing, types), 1),
        CALL(ExecuteSQLViewQueryForJsonData("select 1", out, 3, 0, 2), -1),
        CALL(GetJsonDataFromSQLViewUsingQuery("select 1", out, 1, 0, 7), -2),
        CALL(GetJsonDataFromSQLViewUsingQuery(nullptr, out, 0), -1),
        CALL(GetJsonDataFromSQLViewUsingQuery("select x", out, 2), 1),
        CALL(GetJsonDataFromSQLViewUsingQuery("select 1", out, 1), -1),
    });
    EXPECT_EQ(
        compact(nested) + compact(res) + compact(rows) + compact(object) + compact(out) +
            compact(types),
        R"([]"r"[{"PropertyName":"1","PropertyType":"1","i":1},{"PropertyName":"2",)"
        R"("PropertyType":"2","i":2}]{"PropertyName":"2","PropertyType":"2","i":2}"untouched")"
        R"({"1":"1","2":"2","k":1})");
    EXPECT_JSON(query("select 1 union all select 2", 2), "[1,2]"); // flat, no count
    EXPECT_TRUE(query("select 1 where 0", 1).isNull());
    EXPECT_EQ(propertyTypeMap().size(), 6u);
    metadatadbhandle = nullptr;
    loadPropertyTypeMap();
    EXPECT_TRUE(propertyTypeMap().isNull());
}

// Properties are formatted in the map's order, a plain object property before its nested one;
// a nested property whose parent is no object is not added. Rows a query appends to a filled
// array are formatted, the earlier ones left alone. A sub-query cell holding an object gives an
// empty array; the expand level cannot go below INT_MIN.
TEST_F(Engine, FormatterFillsEveryPropertyKindAndSurvivesAnyInput) {
    const std::string fan = R"({"@odata.type":"#Thermal.v1_7_3.Fan",)",
                      f2 = fan + R"("Name":"F2","S":{"State":"Off"}})",
                      fans = fan + R"("Name":"F1","S":{"State":"On"}},)" + f2;
    const Json::Value out = query("select * from T");
    EXPECT_JSON(out,
                R"({"@odata.type":")" + kT + R"(","Fans":[)" + fans +
                    R"(],"Fans@odata.count":2,"E":[],"E@odata.count":0,"Bad":[],"Bad@odata.count":0,
        "O":{"State":"x","X":"y"},"A":{"B#C":7},"S":{"H":"OK","B":true},"L":{"I":[)" +
                    f2 + R"(],"I@odata.count":1},"T":true,"F":false,"Tx":"True",
        "Arr":[{"a":2}],"Arr@odata.count":1})");
    EXPECT_EQ(logged(2, "Arr#Y is not an object, property not added"), 1);
    Json::Value filled = json("[" + fan + R"("Old":1}])");
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from FanV", filled, 1), 0);
    EXPECT_JSON(filled, "[" + fan + R"("Old":1},)" + fans + "]");
    EXPECT_JSON(formatted(R"({"@odata.type":")" + kT + R"(","Fans":{}})", INT_MIN),
                R"({"@odata.type":")" + kT + R"(","Fans":[],"Fans@odata.count":0})");
}

// A view whose sub-query selects itself ends after 33 levels of rows, with an empty member;
// each level's expand level is one lower, from expand depth + 1.
TEST_F(Engine, SelfReferencingViewsEndAtDepthBound) {
    int objects = 0, arrays = 0;
    const Json::Value object = query("select * from O", 0, 6), array = query("select * from A", 1);
    for (const Json::Value* row = &object; row->isMember("Child"); row = &(*row)["Child"])
        ++objects;
    for (const Json::Value* row = &array; row->size() == 1; row = &(*row)[0]["Kids"])
        ++arrays;
    EXPECT_EQ((Codes{objects, arrays, logged(2, "expand level is leq = 0")}),
              (Codes{33, 33, 26 + 31}));
}

// What the formatter leaves as it is: rows that are no objects or have no known type, and OEM
// data it must not merge. A power supply is merged by its "MemberId" text only, an assembly by
// its "Name" up to a '#'; an "Oem" that is no object, or assembly data that is no object, is not
// merged. (Merges show in the tool's tests on the sample server.)
TEST_F(Engine, LeavesAloneWhatItCannotFormatOrMerge) {
    gOemData = {{"PowerSupply/0", json("1")}, {"Assembly/B", json("[1]")}};
    const std::string ps = R"({"@odata.type":"#Power.v1_7_3.PowerSupply",)",
                      as = R"({"@odata.type":"#Assembly.v1_5_1.AssemblyData",)";
    // clang-format off
    const std::pair<std::string, const char*> cases[] = { // the resource; the OEM data asked for
        {R"("text")", ""}, {R"({"@odata.type": ["x"]})", ""}, {R"({"@odata.type": "#U"})", ""},
        {ps + R"("MemberId":0})", ""}, {ps + R"("MemberId":"0","Oem":"x"})", "PowerSupply/0"},
        {as + R"("Name":"B#1"})", "Assembly/B"}, {as + R"("Name":"A"})", ""}};
    // clang-format on
    for (const auto& [resource, asked] : cases) {
        clearFakes();
        EXPECT_EQ(formatted(resource), json(resource));
        EXPECT_EQ(gOemCalls, std::vector<std::string>(*asked != 0, asked)) << resource;
    }
}

// "subarray" holds the flat array of its sub-query's values, row by row with nulls left out and
// no count, plain or nested into its parent beside the parent's other members; "subarra" is no
// such type. Empty or null text runs nothing; a failing sub-query leaves an empty array, logged.
TEST_F(Engine, SubArrayPropertiesHoldPlainValues) {
    exec(db.get(), "create table [#Port.v1_12_0.Port](PropertyName, PropertyType); insert into"
                   " [#Port.v1_12_0.Port] values ('V', 'subarray'), ('Two', 'subarrayX'), ('E',"
                   " 'subarray'), ('N', 'subarray'), ('Bad', 'subarray'), ('Eth#M', 'subarray'),"
                   " ('Eth#F', 'x'), ('Arr', 'array'), ('Sub', 'subarra'); create view P as select"
                   " '#Port.v1_12_0.Port' as [@odata.type], 'select column1 from (values (''b''),"
                   " (NULL), (2), (1.5))' as V, 'select 1, ''a'' union all select NULL, 3' as Two,"
                   " '' as E, NULL as N, 'select nope' as Bad, 'select ''m1'' union all select"
                   " ''m2''' as [Eth#M], 'f' as [Eth#F], 'select 1 as one' as Arr, 'kept' as Sub");
    loadPropertyTypeMap();
    EXPECT_JSON(query("select * from P"),
                R"({"@odata.type":"#Port.v1_12_0.Port","Arr":[{"one":1}],"Arr@odata.count":1,
                "Bad":[],"E":[],"Eth":{"F":"f","M":["m1","m2"]},"N":[],"Sub":"kept",
                "Two":[1,"a",3],"V":["b",2,1.5]})");
    EXPECT_EQ((Codes{logged(2, "failed to get data from sub array query"),
                     logged(4, "Successfully got data from sub array query")}),
              (Codes{1, 3}));
}
