// The view-to-JSON engine and the property-type map, on databases built here.
#include <climits>

#include "support.hpp"

namespace {

const std::string kFmt = "[GetRedfishSchemaFormatedData()]";

struct Engine : ::testing::Test {
    DbPtr main = openDb(), meta = openDb();
    Handles handles{main.get(), meta.get()};
    void SetUp() override { clearFakes(); }
    void TearDown() override { EXPECT_EQ(sqlite3_next_stmt(main.get(), nullptr), nullptr); }
    // Adds the property types of one resource type and reloads the map.
    void types(const std::string& type, const std::string& rows) {
        exec(meta.get(), "create table [" + type + "](PropertyName, PropertyType); insert into [" +
                             type + "] values " + rows);
        loadPropertyTypeMap();
    }
    Json::Value query(const std::string& sql, unsigned int type = 0) {
        Json::Value out;
        EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery(sql.c_str(), out, type), 0) << sql;
        return out;
    }
};

} // namespace

// Integers are read as 64 bits; -1 and 4294967295 mark a missing value; a BLOB leaves the
// earlier row's value, since the accumulators are not cleared between rows.
TEST_F(Engine, RowReaderMapsStorageClassesIntoEachShape) {
    exec(main.get(), "create table R(id, v, [S#H]); insert into R values (42, 'a', 'OK'),"
                     "(3000000000, x'01', NULL), (-1, 1.5, 'Bad'),"
                     "(4294967295, 4294967295.0, -3000000000), (-2147483648, 4294967294.0, x'00')");
    const char* shapes[][2] = {
        {R"({"id":-2147483648,"v":4294967294.0})", R"({"S#H":-3000000000})"},
        {R"([{"id":42,"v":"a"},{"id":3000000000,"v":"a"},{"id":null,"v":1.5},
            {"id":null,"v":null},{"id":-2147483648,"v":4294967294.0}])",
         R"([{"S#H":"OK"},{"S#H":null},{"S#H":"Bad"},{"S#H":-3000000000},{"S#H":-3000000000}])"},
        {R"([42,"a",3000000000,1.5,-2147483648,4294967294.0])", R"(["OK","Bad",-3000000000])"}};
    for (unsigned int type = 0; type < 3; ++type) {
        Json::Value nested, res, keptNested = json("[0]"), kept;
        EXPECT_EQ(GetDataFromViewQuery(main.get(), "select * from R", nested, res, type), 0);
        EXPECT_EQ(compact(res) + compact(nested),
                  compact(json(shapes[type][0])) + compact(json(shapes[type][1])));
        EXPECT_EQ(GetDataFromViewQuery(main.get(), "select 1 where 0", keptNested, kept, type), 0);
        EXPECT_EQ(compact(keptNested) + compact(kept), "[0]null"); // no row: outputs untouched
    }
}

TEST_F(Engine, RowReaderFailuresKeepTheRowsReadBefore) {
    exec(main.get(), "create table R(id); insert into R values (1), (2), (3);");
    Json::Value nested(Json::arrayValue), res("r"), rows, object;
    EXPECT_EQ(GetDataFromViewQuery(nullptr, "select 1", nested, res, 0), 1);
    EXPECT_EQ(GetDataFromViewQuery(main.get(), nullptr, nested, res, 0), -1);
    EXPECT_EQ(GetDataFromViewQuery(main.get(), "select nonsense", nested, res, 0), SQLITE_ERROR);
    // An array query refuses an output that is neither null nor an array before anything runs.
    EXPECT_EQ(GetDataFromViewQuery(main.get(), "select * from R", nested, res, 1), -1);
    EXPECT_EQ(compact(nested) + compact(res), R"([]"r")");
    // abs() fails on the third row: its status comes back, the rows before it stay.
    const char* failing = "select abs(case when id = 3 then -9223372036854775807 - 1 else id end)"
                          " as id from R";
    EXPECT_EQ(GetDataFromViewQuery(main.get(), failing, nested, rows, 1), SQLITE_ERROR);
    EXPECT_EQ(GetDataFromViewQuery(main.get(), failing, nested, object, 0), SQLITE_ERROR);
    EXPECT_EQ(compact(rows) + compact(object), R"([{"id":1},{"id":2}]{"id":2})");
    EXPECT_EQ(logged(2, "[GetDataFromViewQuery()]failed to read rows of sql query. Sqlstmt "
                        "status: 1, errormsg: integer overflow"),
              2);
}

TEST_F(Engine, EntryPointCodesLeaveTheOutputUntouched) {
    Json::Value out("untouched");
    EXPECT_EQ(ExecuteSQLViewQueryForJsonData("select 1", out, 3, 0, 2), -1);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select 1", out, 1, 0, 0), -2);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select 1", out, 1, 0, 7), -2);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery(nullptr, out, 0), -1);
    for (unsigned int type = 0; type < 3; type += 2)
        EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select nonsense", out, type), SQLITE_ERROR);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select 1", out, 1), -1); // not an array
    EXPECT_EQ(out, Json::Value("untouched"));
    EXPECT_JSON(query("select 1 union all select 2", 2), "[1,2]"); // flat, no count
    EXPECT_TRUE(query("select 1 where 0", 1).isNull());
}

// One view with every kind of property; array rows are formatted by their own type, and rows
// a query appends to a filled array are formatted without touching the earlier ones.
TEST_F(Engine, FormatterFillsEveryPropertyKind) {
    types("#Thermal.v1_7_3.Fan",
          "('Name', 'string'), ('S#State', 'string'), ('Old', 'additional')");
    types(
        "#Thermal.v1_7_3.Thermal",
        "('Fans', 'array'), ('E', 'arrayX'), ('Bad', 'array'), ('O', 'object'), ('O#X', 'string'),"
        "('None', 'object'), ('Hide', 'additional'), ('A#B#C', 'x'), ('S#H', 'string'),"
        "('L#Items', 'array'), ('Absent', 'string'), ('T', 'boolean'), ('F', 'boolean'),"
        "('I0', 'boolean'), ('I2', 'boolean'), ('Tx', 'boolean'), ('R', 'boolean'),"
        "('S#B', 'boolean'), ('P#Q', 'boolean'), ('Str#X', 'string'), ('Arr', 'array'),"
        "('Arr#Y', 'array')");
    exec(main.get(),
         "create view FanV as select '#Thermal.v1_7_3.Fan' as [@odata.type], 'F1' as Name, 'On' as "
         "[S#State] union all select '#Thermal.v1_7_3.Fan', 'F2', 'Off';"
         "create view T as select '#Thermal.v1_7_3.Thermal' as [@odata.type], 'select * from FanV'"
         " as Fans, NULL as E, 'select bad' as Bad, 'select ''x'' as State' as O, 'more' as [O#X],"
         " 'select 1 where 0' as None, 's' as Hide, 'kept' as Unlisted, 7 as [A#B#C], 'OK' as"
         " [S#H], 'select * from FanV where Name = ''F2''' as [L#Items], 'true' as T, 'false' as F,"
         " 0 as I0, 2 as I2, 'True' as Tx, 0.5 as R, 'true' as [S#B], 'yes' as [P#Q], 's' as Str,"
         " 'v' as [Str#X], 'select 2 as a' as Arr, 'select 3' as [Arr#Y]");
    const std::string fan = R"({"@odata.type":"#Thermal.v1_7_3.Fan",)",
                      fans = fan + R"("Name":"F1","S":{"State":"On"}},)" + fan +
                             R"("Name":"F2","S":{"State":"Off"}})";
    const Json::Value out = query("select * from T");
    EXPECT_JSON(out, R"({"@odata.type":"#Thermal.v1_7_3.Thermal","Fans":[)" + fans +
                         R"(],"Fans@odata.count":2,"E":[],"E@odata.count":0,"Bad":[],
        "Bad@odata.count":0,"O":{"State":"x","X":"more"},"None":{},"Unlisted":"kept","A":{"B#C":7},
        "S":{"H":"OK","B":true},"L":{"Items":[)" +
                         fans.substr(fans.find("},") + 2) +
                         R"(],"Items@odata.count":1},"T":true,"F":false,"I0":false,"I2":true,
        "Tx":"True","R":0.5,"P":null,"Str":"s","Arr":[{"a":2}],"Arr@odata.count":1})");
    EXPECT_EQ(out["Fans@odata.count"].type(), Json::uintValue);
    EXPECT_EQ(logged(2, kFmt + "failed to get data from sub query") +
                  logged(2, kFmt + "PropertyType is missing for Schema Property: Absent") +
                  logged(2, kFmt + "parent of nested Schema Property Arr#Y is not an object, "
                                   "property not added"),
              3);
    Json::Value filled = json("[" + fan + R"("Old":1}])");
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from FanV", filled, 1), 0);
    EXPECT_JSON(filled, "[" + fan + R"("Old":1},)" + fans + "]");
}

// A view whose sub-query selects itself ends after 33 levels of rows, with an empty member.
TEST_F(Engine, SelfReferencingViewsEndAtDepthBound) {
    types("#Switch.v1_9_3.Switch", "('Child', 'object')");
    types("#SwitchCollection.SwitchCollection", "('Kids', 'array')");
    exec(main.get(), "create view LoopO as select '#Switch.v1_9_3.Switch' as [@odata.type],"
                     " 'select * from LoopO' as Child; create view LoopA as select "
                     "'#SwitchCollection.SwitchCollection' as [@odata.type], "
                     "'select * from LoopA' as Kids");
    for (int depth : {1, 6}) { // expand level depth + 1, one lower per level of rows
        clearFakes();
        Json::Value out;
        EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from LoopO", out, 0, 0, depth), 0);
        int levels = 0;
        for (const Json::Value* row = &out; row->isMember("Child"); row = &(*row)["Child"])
            ++levels;
        EXPECT_EQ(levels, 33);
        EXPECT_EQ(logged(2, kFmt + "expand level is leq = 0"), 32 - depth);
    }
    int levels = 0;
    const Json::Value out = query("select * from LoopA", 1);
    for (const Json::Value* row = &out; row->size() == 1; row = &(*row)[0]["Kids"])
        ++levels;
    EXPECT_EQ(levels, 33);
}

TEST_F(Engine, FormatterSurvivesAnyInput) {
    types("#Thermal.v1_7_3.Thermal", "('Fans', 'array'), ('S#T', 'string')");
    Json::Value nested("not an object");
    for (const char* text :
         {R"("text")", "[1]", R"({"@odata.type": ["x"]})", R"({"@odata.type": "#Unknown"})"}) {
        Json::Value res = json(text);
        GetRedfishSchemaFormatedData(nested, res, 0, 2);
        EXPECT_EQ(res, json(text));
    }
    Json::Value res = json(R"({"@odata.type":"#Thermal.v1_7_3.Thermal","Fans":{"a":1}})");
    GetRedfishSchemaFormatedData(nested, res, 0, INT_MIN); // the level cannot go lower
    EXPECT_JSON(res, R"({"@odata.type":"#Thermal.v1_7_3.Thermal","Fans":[],"Fans@odata.count":0})");
}

// Power supplies are merged by a "MemberId" text, assemblies by their "Name" up to its '#';
// an "Oem" that is not an object, or OEM data of an assembly that is not one, is not merged.
TEST_F(Engine, OemMerge) {
    types("#Power.v1_7_3.PowerSupply", "('MemberId', 'string')");
    types("#Assembly.v1_5_1.AssemblyData", "('Name', 'string')");
    types("#Power.v1_7_3.Power", "('MemberId', 'string')");
    gOemData = {{"PowerSupply/0", json(R"({"Fw": "1"})")},
                {"Assembly/A", json(R"({"@odata.type": "#Q"})")},
                {"Assembly/B", json("[1]")}};
    const std::string ps = R"({"@odata.type":"#Power.v1_7_3.PowerSupply",)",
                      as = R"({"@odata.type":"#Assembly.v1_5_1.AssemblyData",)";
    const std::string cases[][3] = {
        // in, out, what the platform is asked for
        {ps + R"("MemberId":"0","Oem":{"A":1}})",
         ps + R"("MemberId":"0","Oem":{"A":1,"Vexa":{"Fw":"1"}}})", "PowerSupply/0"},
        {as + R"("Name":"A#1"})",
         as + R"("Name":"A#1","Oem":{"Vexa":{"@odata.type":"#VexaOem.v1_3_0.VexaOemResources"}}})",
         "Assembly/A"},
        {as + R"("Name":"B#1"})", as + R"("Name":"B#1"})", "Assembly/B"},
        {as + R"("Name":"A"})", as + R"("Name":"A"})", ""},
        {ps + R"("MemberId":0})", ps + R"("MemberId":0})", ""},
        {ps + R"("MemberId":"0","Oem":"x"})", ps + R"("MemberId":"0","Oem":"x"})", "PowerSupply/0"},
        {R"({"@odata.type":"#Power.v1_7_3.Power","MemberId":"0"})",
         R"({"@odata.type":"#Power.v1_7_3.Power","MemberId":"0"})", ""}};
    for (const auto& [in, expected, asked] : cases) {
        clearFakes();
        Json::Value nested, res = json(in);
        GetRedfishSchemaFormatedData(nested, res, 0, 2);
        EXPECT_JSON(res, expected);
        EXPECT_EQ(gOemCalls, std::vector<std::string>(!asked.empty(), asked)) << in;
    }
}

// Column names match by prefix ("Property" feeds both texts); only text values count; a later
// row of the same name wins; a failure leaves the rows read before it.
TEST(GetMetadata, ReadsPropertyRowsAndFailsWithTheirCodes) {
    DbPtr db = openDb("create table T(PropertyName, PropertyType, PropertyNames); insert into T"
                      " values ('N', 'string', 'x'), ('C', 7, 'x'), ('N', 'array', 'x');"
                      "create table P(Property); insert into P values ('Ab');");
    Json::Value out = json(R"({"Kept": 1})"), both, text("text");
    EXPECT_EQ(GetMetadata(db.get(), "select * from T", out), 0);
    EXPECT_EQ(GetMetadata(db.get(), "select * from P", both), 0);
    EXPECT_EQ(compact(out) + compact(both), R"({"C":"","Kept":1,"N":"array"}{"Ab":"Ab"})");
    EXPECT_EQ(GetMetadata(nullptr, "select 1", out), 1);
    EXPECT_EQ(GetMetadata(db.get(), nullptr, out), -1);
    EXPECT_EQ(GetMetadata(db.get(), "select * from T", text), -1);
    EXPECT_EQ(GetMetadata(db.get(), "select * from Missing", out), SQLITE_ERROR);
    EXPECT_EQ(GetMetadata(db.get(),
                          "select PropertyName, abs(case when PropertyType = 'array' "
                          "then -9223372036854775807 - 1 else 1 end) || 'x' as PropertyType "
                          "from T",
                          both),
              SQLITE_ERROR);
    EXPECT_EQ(compact(out) + compact(both),
              R"({"C":"","Kept":1,"N":"array"}{"Ab":"Ab","C":"1x","N":"1x"})");
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

// The map holds each of the 20 listed types whose table could be read, and nothing else.
TEST(PropertyTypeMap, LoadsListedTypesExactly) {
    std::string sql = "create table Other(PropertyName, PropertyType);";
    for (size_t i = 0; i < 19; ++i)
        sql += "create table [" + std::string(rf_metadata[i]) + "](PropertyName, PropertyType);";
    DbPtr meta = openDb(sql + "insert into [#Power.v1_7_3.Power] values ('Voltages', 'array');");
    Handles handles(nullptr, meta.get());
    EXPECT_EQ(rf_metadata[20], nullptr);
    loadPropertyTypeMap();
    EXPECT_EQ(propertyTypeMap().size(), 19u);
    EXPECT_FALSE(propertyTypeMap().isMember(rf_metadata[19]));
    EXPECT_JSON(propertyTypeMap()["#Power.v1_7_3.Power"], R"({"Voltages": "array"})");
    metadatadbhandle = nullptr;
    GetPropertyTypefromMetadataDB(); // reads and discards: the map stays
    EXPECT_EQ(propertyTypeMap().size(), 19u);
    loadPropertyTypeMap();
    EXPECT_TRUE(propertyTypeMap().isNull());
}
