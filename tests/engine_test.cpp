// The view-to-JSON engine and the property-type map, on databases built here.
#include <climits>

#include "support.hpp"

namespace {

const std::string kFmt = "[GetRedfishSchemaFormatedData()]", kT = "#Thermal.v1_7_3.Thermal";

// Every kind of property of a Thermal, and its Fans with their own type.
const std::string kTypes[] = {
    "('Name', 'string'), ('S#State', 'string'), ('Old', 'additional')",
    "('Fans', 'array'), ('E', 'arrayX'), ('Bad', 'array'), ('O', 'object'), ('O#X', 'x'), ('Hide',"
    " 'additional'), ('A#B#C', 'x'), ('S#H', 'x'), ('L#I', 'array'), ('T', 'boolean'), ('F',"
    " 'boolean'), ('I2', 'boolean'), ('Tx', 'boolean'), ('R', 'boolean'), ('S#B', 'boolean'),"
    " ('P#Q', 'boolean'), ('Str#X', 'x'), ('Arr', 'array'), ('Arr#Y', 'array')"};
const std::string kViews =
    "create view FanV as select '#Thermal.v1_7_3.Fan' as [@odata.type], 'F1' as Name, 'On' as"
    " [S#State] union all select '#Thermal.v1_7_3.Fan', 'F2', 'Off'; create view T as select '" +
    kT +
    "' as [@odata.type], 'select * from FanV' as Fans, NULL as E, 'select bad' as Bad,"
    " 'select ''x'' as State' as O, 'y' as [O#X], 's' as Hide, 'kept' as Unlisted, 7 as"
    " [A#B#C], 'OK' as [S#H], 'select * from FanV where Name = ''F2''' as [L#I], 'true' as T,"
    " 'false' as F, 2 as I2, 'True' as Tx, 0.5 as R, 'true' as [S#B], 'yes' as [P#Q], 's' as"
    " Str, 'v' as [Str#X], 'select 2 as a' as Arr, '-' as [Arr#Y]";

struct Engine : ::testing::Test {
    DbPtr main = openDb(), meta = openDb();
    void SetUp() override { dmdbhandle = main.get(), metadatadbhandle = meta.get(), clearFakes(); }
    void TearDown() override { EXPECT_EQ(sqlite3_next_stmt(main.get(), nullptr), nullptr); }
    // Adds the property types of one resource type and reloads the map.
    void types(const std::string& type, const std::string& rows) {
        exec(meta.get(), "create table [" + type + "](PropertyName, PropertyType); insert into [" +
                             type + "] values " + rows);
        loadPropertyTypeMap();
    }
    Json::Value query(const std::string& sql, unsigned int type = 0, int expandDepth = 1) {
        Json::Value out;
        EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery(sql.c_str(), out, type, 0, expandDepth), 0);
        return out;
    }
};

} // namespace

// Integers are read as 64 bits; -1 and 4294967295 mark a missing value; a BLOB leaves the
// earlier row's value, since the accumulators are not cleared between rows.
TEST_F(Engine, RowReaderMapsStorageClassesIntoEachShape) {
    exec(main.get(),
         "create table R(i, v, [S#H]); insert into R values (42, 'a', 'OK'), (3000000000,"
         " x'01', NULL), (-1, 1.5, 'B'), (4294967295, 4294967295.0, -3000000000),"
         " (-2147483648, 4294967294.0, x'00')");
    const char* shapes[] = {
        R"({"i":-2147483648,"v":4294967294.0}{"S#H":-3000000000})",
        R"([{"i":42,"v":"a"},{"i":3000000000,"v":"a"},{"i":null,"v":1.5},{"i":null,"v":null},)"
        R"({"i":-2147483648,"v":4294967294.0}][{"S#H":"OK"},{"S#H":null},{"S#H":"B"},)"
        R"({"S#H":-3000000000},{"S#H":-3000000000}])",
        R"([42,"a",3000000000,1.5,-2147483648,4294967294.0]["OK","B",-3000000000])"};
    for (unsigned int type = 0; type < 3; ++type) {
        Json::Value nested, res, keptNested = json("[0]"), kept; // no row: outputs untouched
        EXPECT_EQ(GetDataFromViewQuery(main.get(), "select * from R", nested, res, type), 0);
        EXPECT_EQ(GetDataFromViewQuery(main.get(), "select 1 where 0", keptNested, kept, type), 0);
        EXPECT_EQ(compact(res) + compact(nested) + compact(keptNested) + compact(kept),
                  shapes[type] + std::string("[0]null"));
    }
}

// An array query refuses an output that is neither null nor an array before anything runs; a
// failing step returns its status and leaves the rows read before it (abs() fails on row 3).
TEST_F(Engine, FailuresReturnTheirCodesAndKeepTheRowsReadBefore) {
    Json::Value nested(Json::arrayValue), res("r"), rows, object, out("untouched");
    const char* failing = "select abs(column1) as i from (values (1), (2), (1 << 63))";
    EXPECT_EQ((Codes{GetDataFromViewQuery(nullptr, "select 1", nested, res, 0),
                     GetDataFromViewQuery(main.get(), nullptr, nested, res, 0),
                     GetDataFromViewQuery(main.get(), "select nonsense", nested, res, 0),
                     GetDataFromViewQuery(main.get(), "select 1", nested, res, 1),
                     GetDataFromViewQuery(main.get(), failing, nested, rows, 1),
                     GetDataFromViewQuery(main.get(), failing, nested, object, 0),
                     ExecuteSQLViewQueryForJsonData("select 1", out, 3, 0, 2),
                     GetJsonDataFromSQLViewUsingQuery("select 1", out, 1, 0, 0),
                     GetJsonDataFromSQLViewUsingQuery("select 1", out, 1, 0, 7),
                     GetJsonDataFromSQLViewUsingQuery(nullptr, out, 0),
                     GetJsonDataFromSQLViewUsingQuery("select nonsense", out, 0),
                     GetJsonDataFromSQLViewUsingQuery("select nonsense", out, 2),
                     GetJsonDataFromSQLViewUsingQuery("select 1", out, 1)}),
              (Codes{1, -1, 1, -1, 1, 1, -1, -2, -2, -1, 1, 1, -1}));
    EXPECT_EQ(compact(res) + compact(rows) + compact(object) + compact(out),
              R"("r"[{"i":1},{"i":2}]{"i":2}"untouched")");
    EXPECT_JSON(query("select 1 union all select 2", 2), "[1,2]"); // flat, no count
    EXPECT_TRUE(query("select 1 where 0", 1).isNull());
}

// Properties are formatted in the map's order, a plain object property before its nested one;
// a nested property whose parent is no object is not added. Rows a query appends to a filled
// array are formatted, the earlier ones left alone.
TEST_F(Engine, FormatterFillsEveryPropertyKind) {
    types("#Thermal.v1_7_3.Fan", kTypes[0]);
    types(kT, kTypes[1]);
    exec(main.get(), kViews);
    const std::string fan = R"({"@odata.type":"#Thermal.v1_7_3.Fan",)",
                      f2 = fan + R"("Name":"F2","S":{"State":"Off"}})",
                      fans = fan + R"("Name":"F1","S":{"State":"On"}},)" + f2;
    const Json::Value out = query("select * from T");
    EXPECT_JSON(out, R"({"@odata.type":")" + kT + R"(","Fans":[)" + fans +
                         R"(],"Fans@odata.count":2,
        "E":[],"E@odata.count":0,"Bad":[],"Bad@odata.count":0,"O":{"State":"x","X":"y"},"A":{"B#C":7},
        "Unlisted":"kept","S":{"H":"OK","B":true},"L":{"I":[)" +
                         f2 + R"(],"I@odata.count":1},
        "T":true,"F":false,"I2":true,"Tx":"True","R":0.5,"P":null,"Str":"s","Arr":[{"a":2}],
        "Arr@odata.count":1})");
    EXPECT_EQ(out["Fans@odata.count"].type(), Json::uintValue);
    EXPECT_EQ(logged(2, kFmt + "parent of nested Schema Property Arr#Y is not an object, property "
                               "not added"),
              1);
    Json::Value filled = json("[" + fan + R"("Old":1}])");
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from FanV", filled, 1), 0);
    EXPECT_JSON(filled, "[" + fan + R"("Old":1},)" + fans + "]");
}

// Rows that are no objects or have no known type change nothing; a sub-query cell holding an
// object gives an empty array; the expand level cannot go below INT_MIN.
TEST_F(Engine, FormatterSurvivesAnyInput) {
    types(kT, "('Fans', 'array'), ('S#T', 'string')");
    Json::Value nested("not an object"), res = json(R"({"@odata.type":")" + kT + R"(","Fans":{}})");
    for (const char* text :
         {R"("text")", "[1]", R"({"@odata.type": ["x"]})", R"({"@odata.type": "#U"})"}) {
        Json::Value other = json(text);
        GetRedfishSchemaFormatedData(nested, other, 0, 2);
        EXPECT_EQ(other, json(text));
    }
    GetRedfishSchemaFormatedData(nested, res, 0, INT_MIN);
    EXPECT_JSON(res, R"({"@odata.type":")" + kT + R"(","Fans":[],"Fans@odata.count":0})");
}

// A view whose sub-query selects itself ends after 33 levels of rows, with an empty member;
// each level's expand level is one lower, from expand depth + 1.
TEST_F(Engine, SelfReferencingViewsEndAtDepthBound) {
    types("#Switch.v1_9_3.Switch", "('Child', 'object')");
    types("#SwitchCollection.SwitchCollection", "('Kids', 'array')");
    exec(main.get(),
         "create view O as select '#Switch.v1_9_3.Switch' as [@odata.type], 'select *"
         " from O' as Child; create view A as select '#SwitchCollection.SwitchCollection'"
         " as [@odata.type], 'select * from A' as Kids");
    int objects = 0, arrays = 0;
    const Json::Value object = query("select * from O", 0, 6), array = query("select * from A", 1);
    for (const Json::Value* row = &object; row->isMember("Child"); row = &(*row)["Child"])
        ++objects;
    for (const Json::Value* row = &array; row->size() == 1; row = &(*row)[0]["Kids"])
        ++arrays;
    EXPECT_EQ((Codes{objects, arrays, logged(2, kFmt + "expand level is leq = 0")}),
              (Codes{33, 33, 26 + 31}));
}

// A power supply is merged by its "MemberId" text only, an assembly by its "Name" up to a '#';
// an "Oem" that is no object, or assembly data that is no object, is not merged. (Merges show
// in the tool's tests on the sample server.)
TEST_F(Engine, OemMergeGuards) {
    const std::string ps = "#Power.v1_7_3.PowerSupply", as = "#Assembly.v1_5_1.AssemblyData";
    types(ps, "('MemberId', 'string')");
    types(as, "('Name', 'string')");
    types("#Power.v1_7_3.Power", "('MemberId', 'string')");
    gOemData = {{"PowerSupply/0", json("1")}, {"Assembly/B", json("[1]")}};
    const std::pair<std::string, std::string> cases[] = {
        // a resource left as it is, the data asked
        {ps + R"(","MemberId":0)", ""},
        {ps + R"(","MemberId":"0","Oem":"x")", "PowerSupply/0"},
        {as + R"(","Name":"B#1")", "Assembly/B"},
        {as + R"(","Name":"A")", ""},
        {R"(#Power.v1_7_3.Power","MemberId":"0")", ""}};
    for (const auto& [members, asked] : cases) {
        clearFakes();
        Json::Value nested, res = json(R"({"@odata.type":")" + members + "}");
        GetRedfishSchemaFormatedData(nested, res, 0, 2);
        EXPECT_EQ(res, json(R"({"@odata.type":")" + members + "}"));
        EXPECT_EQ(gOemCalls, std::vector<std::string>(!asked.empty(), asked)) << members;
    }
}

// Column names match by prefix ("Property" feeds both texts); only text values count; a failing
// step leaves the rows read before it. The map holds each of the 20 listed types whose table
// could be read, and is null without a metadata database.
TEST(PropertyTypeMap, ReadsPropertyRowsAndLoadsListedTypesExactly) {
    std::string sql = "create table T(PropertyName, PropertyType, PropertyNames); insert into T"
                      " values ('N', 'x', 'y'), ('C', 7, 'y'), ('N', 'array', 'y'); create table"
                      " P(Property); insert into P values ('Ab');";
    for (size_t i = 0; i < 19; ++i)
        sql += "create table [" + std::string(rf_metadata[i]) + "](PropertyName, PropertyType);";
    DbPtr db = openDb(sql + "insert into [#Power.v1_7_3.Power] values ('Voltages', 'array');");
    Json::Value out, both, text("text");
    const char* failing = "select PropertyName, abs(case when PropertyType = 'array' then 1 << 63"
                          " else 1 end) || PropertyType as PropertyType from T";
    EXPECT_EQ((Codes{GetMetadata(db.get(), "select * from P", both), GetMetadata(nullptr, "", out),
                     GetMetadata(db.get(), nullptr, out), GetMetadata(db.get(), "select 1", text),
                     GetMetadata(db.get(), failing, out)}),
              (Codes{0, 1, -1, -1, SQLITE_ERROR}));
    EXPECT_EQ(compact(out) + compact(both), R"({"C":"17","N":"1x"}{"Ab":"Ab"})");
    metadatadbhandle = db.get();
    loadPropertyTypeMap();
    EXPECT_EQ(compact(propertyTypeMap()["#Power.v1_7_3.Power"]) +
                  std::to_string(propertyTypeMap().size()),
              R"({"Voltages":"array"}19)");
    EXPECT_TRUE(!propertyTypeMap().isMember(rf_metadata[19]) && rf_metadata[20] == nullptr);
    metadatadbhandle = nullptr;
    GetPropertyTypefromMetadataDB(); // reads and discards: the map stays
    EXPECT_EQ(propertyTypeMap().size(), 19u);
    loadPropertyTypeMap();
    EXPECT_TRUE(propertyTypeMap().isNull());
}
