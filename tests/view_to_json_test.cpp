// The view-to-JSON engine over live-object and metadata databases built here.
#include <climits>
#include <string>

#include <gtest/gtest.h>
#include <json/writer.h>

#include "internal.hpp"
#include "support/handle_scope.hpp"
#include "support/test_support.hpp"

using namespace testing_support;

namespace {

const std::string kReader = "[GetDataFromViewQuery()]";
const std::string kEntry = "[ExecuteSQLViewQueryForJsonData()]";
const std::string kFmt = "[GetRedfishSchemaFormatedData()]";

// Compact text of a tree: compares integers by value whatever their signedness.
std::string compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

#define EXPECT_JSON(got, text) EXPECT_EQ(compact(got), compact(parseJson(text)))

class Engine : public ::testing::Test {
  protected:
    TestDb main = memoryDb();
    TestDb meta = memoryDb();
    HandleScope scope{main.get(), meta.get()};

    // Adds property types of one resource type and rebuilds the map.
    void types(const std::string& type, const std::string& rows) {
        exec(meta.get(), "create table [" + type + "](PropertyName, PropertyType);" +
                             "insert into [" + type + "] values " + rows);
        loadPropertyTypeMap();
        fakes::clearLog();
    }
    void SetUp() override {
        fakes::clearLog();
        fakes::resetOem();
    }
    void TearDown() override {
        EXPECT_EQ(sqlite3_next_stmt(main.get(), nullptr), nullptr);
        HandleScope none(nullptr, nullptr);
        loadPropertyTypeMap();
    }
    Json::Value query(const std::string& sql, unsigned int type, int expected = 0) {
        Json::Value out;
        EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery(sql.c_str(), out, type), expected);
        return out;
    }
};

} // namespace

TEST_F(Engine, RowReaderMapsStorageClassesAndMarkers) {
    exec(main.get(), "create view V as select 42 as i, -2147483648 as lo, -3000000000 as neg, "
                     "-1 as m1, 4294967295 as m2, 1.5 as r, 4294967295.0 as rm, 4294967294.0 as r2,"
                     " 'x' as t, NULL as n, x'00' as b, 'OK' as [S#H], 3000000000 as big");
    Json::Value nested, res;
    EXPECT_EQ(GetDataFromViewQuery(main.get(), "select * from V", nested, res, 0), 0);
    EXPECT_TRUE(res["big"].isInt64() && !res["big"].isInt());
    EXPECT_EQ(res["big"].asInt64(), 3000000000LL); // 64-bit, not wrapped
    EXPECT_TRUE(res["i"].isInt());
    res.removeMember("big");
    EXPECT_JSON(res, R"({"i": 42, "lo": -2147483648, "neg": -3000000000, "m1": null, "m2": null,
                         "r": 1.5, "rm": null, "r2": 4294967294.0, "t": "x", "n": null})");
    EXPECT_JSON(nested, R"({"S#H": "OK"})");
    EXPECT_EQ(countLog(kLogTrace, kReader + "TEXT - S#H:OK"), 1);
}

TEST_F(Engine, RowReaderShapes) {
    exec(main.get(), "create table R(id, v, [S#H]);"
                     "insert into R values (1, 'a', 'OK'), (2, x'01', NULL), (3, 'c', 'Bad');");
    struct Case {
        unsigned int type;
        const char* sql;
        const char* resource;
        const char* nested;
    } cases[] = {
        // A BLOB keeps the earlier row's value: the accumulators are not cleared.
        {1, "select * from R", R"([{"id":1,"v":"a"},{"id":2,"v":"a"},{"id":3,"v":"c"}])",
         R"([{"S#H":"OK"},{"S#H":null},{"S#H":"Bad"}])"},
        {1, "select id from R", R"([{"id":1},{"id":2},{"id":3}])", "[null,null,null]"},
        {0, "select * from R", R"({"id":3,"v":"c"})", R"({"S#H":"Bad"})"},
        {7, "select * from R", R"({"id":3,"v":"c"})", R"({"S#H":"Bad"})"},
        {2, "select * from R", R"([1,"a",2,3,"c"])", R"(["OK","Bad"])"},
        {2, "select id from R", "[1,2,3]", "null"},
    };
    for (const Case& c : cases) {
        Json::Value nested, res;
        EXPECT_EQ(GetDataFromViewQuery(main.get(), c.sql, nested, res, c.type), 0);
        EXPECT_JSON(res, c.resource) << c.sql << " type " << c.type;
        EXPECT_JSON(nested, c.nested) << c.sql << " type " << c.type;
    }
    for (unsigned int type : {0u, 1u, 2u}) { // no row: outputs untouched
        Json::Value nested = parseJson(R"(["n"])"), res(Json::arrayValue);
        EXPECT_EQ(GetDataFromViewQuery(main.get(), "select * from R where 0", nested, res, type),
                  0);
        EXPECT_EQ(nested, parseJson(R"(["n"])"));
        EXPECT_EQ(res, Json::Value(Json::arrayValue));
    }
    EXPECT_EQ(countLog(kLogTrace, kReader + "Number of rows returned: 0"), 3);
}

TEST_F(Engine, RowReaderFailures) {
    exec(main.get(), "create table R(id); insert into R values (1), (2), (3);");
    Json::Value nested("n"), res("r");
    EXPECT_EQ(GetDataFromViewQuery(nullptr, "select 1", nested, res, 0), 1);
    EXPECT_EQ(
        countLog(kLogTrace, "[SqlitetoJsonConverter.cpp]Exiting GetDataFromViewQuery Function"), 0);
    EXPECT_EQ(GetDataFromViewQuery(main.get(), nullptr, nested, res, 0), -1);
    EXPECT_EQ(GetDataFromViewQuery(main.get(), "select nonsense", nested, res, 0), SQLITE_ERROR);
    // An array query refuses outputs that are neither null nor arrays, before running.
    fakes::clearLog();
    EXPECT_EQ(GetDataFromViewQuery(main.get(), "select * from R", nested, res, 1), -1);
    EXPECT_EQ(countLog(kLogFail, kReader + "output of array object type query is not an array"), 1);
    EXPECT_EQ(nested, Json::Value("n"));
    EXPECT_EQ(res, Json::Value("r"));

    // A step failure ends the rows with its code; rows handed over before it stay.
    const char* failing = "select abs(case when id = 3 then -9223372036854775807 - 1 else id end)"
                          " as id from R";
    Json::Value rows, rowsNested;
    EXPECT_EQ(GetDataFromViewQuery(main.get(), failing, rowsNested, rows, 1), SQLITE_ERROR);
    EXPECT_JSON(rows, R"([{"id":1},{"id":2}])");
    EXPECT_EQ(GetDataFromViewQuery(main.get(), failing, nested, res, 0), SQLITE_ERROR);
    EXPECT_JSON(res, R"({"id":2})");
    EXPECT_EQ(countLog(kLogFail, kReader + "failed to read rows of sql query. Sqlstmt status: 1, "
                                           "errormsg: integer overflow"),
              2);
}

TEST_F(Engine, EntryPointCodesAndShapes) {
    exec(main.get(), "create table R(id); insert into R values (1), (2);");
    Json::Value out("untouched");
    EXPECT_EQ(ExecuteSQLViewQueryForJsonData("select * from R", out, 3, 0, 2), -1);
    EXPECT_EQ(countLog(kLogFail, kEntry + "Invalid JSON object type provided to API."), 1);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from R", out, 1, 0, 0), -2);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from R", out, 1, 0, 7), -2);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery(nullptr, out, 0), -1);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select nonsense", out, 0), SQLITE_ERROR);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from R", out, 1), -1); // not an array
    EXPECT_EQ(out, Json::Value("untouched"));
    EXPECT_EQ(countLog(kLogTrace, kReader + "Query: select * from R"), 0);

    EXPECT_JSON(query("select * from R", 2), "[1,2]"); // flat, no count, no formatting
    EXPECT_TRUE(query("select * from R where 0", 1).isNull());
    EXPECT_EQ(countLog(kLogFail, kEntry + "failed to get array object type data from view"), 1);
    Json::Value empty(Json::arrayValue);
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from R where 0", empty, 1), 0);
    EXPECT_EQ(empty, Json::Value(Json::arrayValue));
    fakes::clearLog();
    EXPECT_TRUE(query("select * from R where 0", 0).isNull()); // formatter still runs once
    EXPECT_EQ(
        countLog(kLogTrace, kFmt + "Odata.type is missing. Expected Type as Membercollection"), 1);
}

TEST_F(Engine, FormatterPropertyKinds) {
    types("#Thermal.v1_7_3.Fan", "('Name', 'string'), ('Status#State', 'string')");
    types(
        "#Thermal.v1_7_3.Thermal",
        "('Fans', 'array'), ('Empty', 'array'), ('NullArr', 'arrayOfThings'), ('Broken', 'array'),"
        "('Obj', 'object'), ('Obj#Extra', 'string'), ('None', 'object'), ('Hidden', 'additional'),"
        "('Status#Health', 'string'), ('Status#Extra', 'additional'), ('A#B#C', 'integer'),"
        "('Links#Items', 'array'), ('Absent', 'string')");
    exec(main.get(),
         "create table Fan(n, s); insert into Fan values ('F1', 'Enabled'), ('F2', 'Absent');"
         "create view FanV as select '#Thermal.v1_7_3.Fan' as [@odata.type], n as Name,"
         "  s as [Status#State] from Fan;"
         "create view T as select '#Thermal.v1_7_3.Thermal' as [@odata.type],"
         "  'select * from FanV' as Fans, '' as Empty, NULL as NullArr, 'select bad' as Broken,"
         "  'select ''x'' as State, 1 as Extra' as Obj, 'more' as [Obj#Extra],"
         "  'select * from Fan where 0' as None, 'secret' as Hidden, 'kept' as Unlisted,"
         "  'OK' as [Status#Health], 'e' as [Status#Extra], 7 as [A#B#C], 'x' as [Other#Y],"
         "  'select * from FanV where Name = ''F2''' as [Links#Items]");
    Json::Value out = query("select * from T", 0);
    const char* fan1 =
        R"({"@odata.type":"#Thermal.v1_7_3.Fan","Name":"F1","Status":{"State":"Enabled"}})";
    const char* fan2 =
        R"({"@odata.type":"#Thermal.v1_7_3.Fan","Name":"F2","Status":{"State":"Absent"}})";
    // Obj is filled by its sub-query first, then its nested property goes into it.
    EXPECT_JSON(out, std::string(R"({"@odata.type":"#Thermal.v1_7_3.Thermal","Fans":[)") + fan1 +
                         "," + fan2 + R"(],"Fans@odata.count":2,
        "Empty":[],"Empty@odata.count":0,"NullArr":[],"NullArr@odata.count":0,
        "Broken":[],"Broken@odata.count":0,"Obj":{"State":"x","Extra":"more"},"None":{},
        "Unlisted":"kept","Status":{"Health":"OK","Extra":"e"},"A":{"B#C":7},
        "Links":{"Items":[)" +
                         fan2 + R"(],"Items@odata.count":1}})");
    EXPECT_EQ(out["Fans@odata.count"].type(), Json::uintValue);
    EXPECT_EQ(countLog(kLogFail, kFmt + "failed to get data from sub query"), 1);
    EXPECT_EQ(countLog(kLogTrace, kFmt + "Successfully got data from sub query"), 2);
    EXPECT_EQ(countLog(kLogFail, kFmt + "PropertyType is missing for Schema Property: Absent"), 1);
    EXPECT_EQ(
        countLog(kLogTrace, kFmt + "Odata.type is missing. Expected Type as Membercollection"),
        2); // the rows of Obj and None
}

TEST_F(Engine, FormatterBooleans) {
    types("#Fabric.v1_3_2.Fabric",
          "('T1','boolean'), ('T2','boolean'), ('T3','boolean'),"
          "('T4','boolean'), ('I0','boolean'), ('I1','boolean'), ('I2','boolean'),"
          "('R1','boolean'), ('R5','boolean'), ('N','boolean'), ('M','boolean'),"
          "('S#A','boolean'), ('S#B','boolean'), ('P#Q','boolean')");
    exec(main.get(), "create view B as select '#Fabric.v1_3_2.Fabric' as [@odata.type],"
                     " 'true' as T1, 'false' as T2, 'True' as T3, '1' as T4, 0 as I0, 1 as I1,"
                     " 2 as I2, 1.0 as R1, 0.5 as R5, NULL as N, -1 as M, 'true' as [S#A],"
                     " 0 as [S#B], 'yes' as [P#Q]");
    EXPECT_JSON(query("select * from B", 0),
                R"({"@odata.type":"#Fabric.v1_3_2.Fabric","T1":true,"T2":false,"T3":"True",
                    "T4":"1","I0":false,"I1":true,"I2":true,"R1":true,"R5":0.5,"N":null,
                    "M":null,"S":{"A":true,"B":false},"P":null})");
    EXPECT_EQ(countLog(kLogFail, kFmt + "invalid bool value"), 3);
    EXPECT_EQ(countLog(kLogFail, kFmt + "invalid bool value defined in view"), 3);
}

TEST_F(Engine, NestedPropertyIntoNonObjectParentIsNotAdded) {
    types("#Port.v1_12_0.Port", "('Text#X','string'), ('Items','array'), ('Items#Y','array'),"
                                "('Num#Z','string')");
    exec(main.get(), "create view P as select '#Port.v1_12_0.Port' as [@odata.type], 's' as Text,"
                     " 'v' as [Text#X], 'select 1 as a' as Items, 'select 2' as [Items#Y],"
                     " 5 as Num, 'z' as [Num#Z]");
    EXPECT_JSON(query("select * from P", 0),
                R"({"@odata.type":"#Port.v1_12_0.Port","Text":"s","Items":[{"a":1}],
                    "Items@odata.count":1,"Num":5})");
    for (const char* name : {"Text#X", "Items#Y", "Num#Z"})
        EXPECT_EQ(countLog(kLogFail, kFmt + "parent of nested Schema Property " + name +
                                         " is not an object, property not added"),
                  1);
    EXPECT_EQ(countLog(kLogTrace, kFmt + "Successfully got data from sub query"), 1); // Y not run
}

TEST_F(Engine, SelfReferencingViewsEndAtDepthBound) {
    types("#Switch.v1_9_3.Switch", "('Child', 'object')");
    types("#SwitchCollection.SwitchCollection", "('Kids', 'array')");
    exec(main.get(), "create view LoopO as select '#Switch.v1_9_3.Switch' as [@odata.type],"
                     " 'select * from LoopO' as Child;"
                     "create view LoopA as select '#SwitchCollection.SwitchCollection' as "
                     "[@odata.type], 'select * from LoopA' as Kids;");
    // Expand depth 1 is level 2, depth 6 level 7; each row's level is one lower per nesting.
    for (int depth : {0, 1, 6}) {
        fakes::clearLog();
        Json::Value out;
        if (depth == 0)
            EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from LoopO", out, 0), 0);
        else
            EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from LoopO", out, 0, 9, depth), 0);
        int levels = 0;
        const Json::Value* row = &out;
        for (; row->isMember("@odata.type"); row = &(*row)["Child"])
            ++levels;
        EXPECT_EQ(levels, 33);
        EXPECT_EQ(*row, Json::Value(Json::objectValue));
        EXPECT_EQ(countLog(kLogFail, kFmt + "expand level is leq = 0"), depth == 6 ? 26 : 31);
        EXPECT_EQ(countLog(kLogFail, kFmt + "sub query nesting deeper than 32 levels, not run for "
                                            "Schema Property: Child"),
                  1);
    }
    Json::Value out = query("select * from LoopA", 1);
    int levels = 0;
    const Json::Value* row = &out;
    for (; row->isArray() && row->size() == 1; row = &(*row)[0]["Kids"])
        ++levels;
    EXPECT_EQ(levels, 33);
    EXPECT_EQ(*row, Json::Value(Json::arrayValue));
}

TEST_F(Engine, ArrayQueryFormatsOnlyItsOwnRows) {
    types("#Thermal.v1_7_3.Fan", "('Status#State', 'string')");
    exec(main.get(), "create view F as select '#Thermal.v1_7_3.Fan' as [@odata.type], 'A' as"
                     " [Status#State] union all select '#Thermal.v1_7_3.Fan', 'B'");
    Json::Value out = parseJson(R"([{"kept":"select 1"}])");
    EXPECT_EQ(GetJsonDataFromSQLViewUsingQuery("select * from F", out, 1), 0);
    EXPECT_JSON(out, R"([{"kept":"select 1"},
        {"@odata.type":"#Thermal.v1_7_3.Fan","Status":{"State":"A"}},
        {"@odata.type":"#Thermal.v1_7_3.Fan","Status":{"State":"B"}}])");
}

TEST_F(Engine, FormatterSurvivesAnyInput) {
    types("#Thermal.v1_7_3.Thermal", "('Fans', 'array'), ('S#T', 'string')");
    Json::Value nested("not an object");
    for (const char* text : {R"("text")", "[1]", R"({"@odata.type": ["x"]})",
                             R"({"@odata.type": null})", R"({"@odata.type": "#Unknown"})"}) {
        Json::Value res = parseJson(text);
        EXPECT_NO_THROW(GetRedfishSchemaFormatedData(nested, res, 0, 2));
        EXPECT_EQ(res, parseJson(text));
    }
    EXPECT_EQ(countLog(kLogFail, kFmt + "OdataType value is empty"), 3);
    Json::Value res = parseJson(R"({"@odata.type":"#Thermal.v1_7_3.Thermal","Fans":{"a":1}})");
    EXPECT_NO_THROW(GetRedfishSchemaFormatedData(nested, res, 0, INT_MIN));
    EXPECT_JSON(res, R"({"@odata.type":"#Thermal.v1_7_3.Thermal","Fans":[],"Fans@odata.count":0})");
    EXPECT_EQ(countLog(kLogFail, kFmt + "expand level is leq = 0"), 1);
}

TEST_F(Engine, OemMerge) {
    types("#Power.v1_7_3.PowerSupply", "('MemberId', 'string')");
    types("#Assembly.v1_5_1.AssemblyData", "('Name', 'string')");
    types("#Power.v1_7_3.Power", "('MemberId', 'string')");
    const std::string ps = R"({"@odata.type":"#Power.v1_7_3.PowerSupply",)";
    const std::string assembly = R"({"@odata.type":"#Assembly.v1_5_1.AssemblyData",)";
    struct Case {
        std::string in, out;
        const char* askedFor; // kind/id the platform is asked for, or "" for no call
    } cases[] = {
        {ps + R"("MemberId":"0","Oem":{"Other":1}})",
         ps + R"("MemberId":"0","Oem":{"Other":1,"Vexa":{"Fw":"1.2","@odata.type":"#P"}}})",
         "PowerSupply/0"},
        {assembly + R"("Name":"DIMM.Socket.A1#Assembly"})",
         assembly + R"("Name":"DIMM.Socket.A1#Assembly","Oem":{"Vexa":{"Part":"X",
                   "@odata.type":"#VexaOem.v1_3_0.VexaOemResources"}}})",
         "Assembly/DIMM.Socket.A1"},
        {assembly + R"("Name":"NoHash"})", assembly + R"("Name":"NoHash"})", ""},
        {assembly + R"("Name":7})", assembly + R"("Name":7})", ""},
        {ps + R"("MemberId":"9"})", ps + R"("MemberId":"9"})", "PowerSupply/9"},
        {ps + R"("MemberId":0})", ps + R"("MemberId":0})", ""},
        {ps + R"("Other":0})", ps + R"("Other":0})", ""},
        {ps + R"("MemberId":"0","Oem":"x"})", ps + R"("MemberId":"0","Oem":"x"})", "PowerSupply/0"},
        {R"({"@odata.type":"#Power.v1_7_3.Power","MemberId":"0"})",
         R"({"@odata.type":"#Power.v1_7_3.Power","MemberId":"0"})", ""},
    };
    for (const Case& c : cases) {
        fakes::resetOem();
        fakes::setOemData("PowerSupply", "0", parseJson(R"({"Fw": "1.2", "@odata.type": "#P"})"));
        fakes::setOemData("Assembly", "DIMM.Socket.A1",
                          parseJson(R"({"Part": "X", "@odata.type": "#Q"})"));
        Json::Value nested, res = parseJson(c.in);
        GetRedfishSchemaFormatedData(nested, res, 0, 2);
        EXPECT_JSON(res, c.out);
        const auto calls = fakes::oemCalls();
        std::string asked = calls.empty() ? "" : calls[0].kind + "/" + calls[0].id;
        EXPECT_EQ(asked, c.askedFor) << c.in;
        EXPECT_LE(calls.size(), 1u);
        if (!calls.empty()) {
            EXPECT_TRUE(calls[0].reservedIsNull);
        }
    }
    EXPECT_EQ(countLog(kLogTrace, kFmt + "couldn't find # in Name key"), 1);
    EXPECT_EQ(countLog(kLogTrace, kFmt + "MemberId missing or not a string, no OEM data"), 2);
    EXPECT_EQ(countLog(kLogFail, kFmt + "Oem member is not an object, OEM data not merged"), 1);
}

TEST_F(Engine, PowerResourceEndToEnd) {
    types("#Power.v1_7_3.Power",
          "('PowerControl','array'), ('Voltages','array'), ('PowerSupplies','array')");
    const char* element = "('MemberId','string'), ('Status#State','string'), "
                          "('Status#Health','string'), ('RelatedItem','array')";
    types("#Power.v1_7_3.PowerControl", std::string(element) + ", ('PowerConsumedWatts','number')");
    types("#Power.v1_7_3.Voltage", std::string(element) + ", ('ReadingVolts','number')");
    types("#Power.v1_7_3.PowerSupply", std::string(element) + ", ('HotPluggable','boolean')");
    fakes::setOemData("PowerSupply", "PSU1", parseJson(R"({"Fw": "2.0"})"));
    exec(main.get(), R"(
        create table Dev(kind, id, val, state, health);
        insert into Dev values ('pc', 'PC0', 350, 'Enabled', 'OK'),
            ('v', 'V0', 12.1, 'Enabled', 'OK'), ('v', 'V1', 3.3, 'Disabled', -1),
            ('ps', 'PSU0', 1, 'Enabled', 'Warning'), ('ps', 'PSU1', 0, 'Absent', NULL);
        create table Rel(owner, link);
        insert into Rel values ('PC0', '/Chassis/1'), ('V0', '/Chassis/1'),
            ('PSU0', '/Chassis/1'), ('PSU0', '/Chassis/2');
        create view Elem as select id as MemberId, state as [Status#State],
            health as [Status#Health], val, kind,
            'select link as [@odata.id] from Rel where owner = ''' || id || '''' as RelatedItem
            from Dev;
        create view PowerV as select '#Power.v1_7_3.Power' as [@odata.type],
            'select ''#Power.v1_7_3.PowerControl'' as [@odata.type], *, val as PowerConsumedWatts
             from Elem where kind = ''pc''' as PowerControl,
            'select ''#Power.v1_7_3.Voltage'' as [@odata.type], *, val as ReadingVolts
             from Elem where kind = ''v''' as Voltages,
            'select ''#Power.v1_7_3.PowerSupply'' as [@odata.type], *, val as HotPluggable
             from Elem where kind = ''ps''' as PowerSupplies;)");
    Json::Value out = query("select * from PowerV", 0);
    EXPECT_JSON(out, R"({"@odata.type":"#Power.v1_7_3.Power",
      "PowerControl":[{"@odata.type":"#Power.v1_7_3.PowerControl","MemberId":"PC0",
        "Status":{"State":"Enabled","Health":"OK"},"val":350,"kind":"pc","PowerConsumedWatts":350,
        "RelatedItem":[{"@odata.id":"/Chassis/1"}],"RelatedItem@odata.count":1}],
      "PowerControl@odata.count":1,
      "Voltages":[{"@odata.type":"#Power.v1_7_3.Voltage","MemberId":"V0",
        "Status":{"State":"Enabled","Health":"OK"},"val":12.1,"kind":"v","ReadingVolts":12.1,
        "RelatedItem":[{"@odata.id":"/Chassis/1"}],"RelatedItem@odata.count":1},
       {"@odata.type":"#Power.v1_7_3.Voltage","MemberId":"V1",
        "Status":{"State":"Disabled","Health":null},"val":3.3,"kind":"v","ReadingVolts":3.3,
        "RelatedItem":[],"RelatedItem@odata.count":0}],
      "Voltages@odata.count":2,
      "PowerSupplies":[{"@odata.type":"#Power.v1_7_3.PowerSupply","MemberId":"PSU0",
        "Status":{"State":"Enabled","Health":"Warning"},"val":1,"kind":"ps","HotPluggable":true,
        "RelatedItem":[{"@odata.id":"/Chassis/1"},{"@odata.id":"/Chassis/2"}],
        "RelatedItem@odata.count":2},
       {"@odata.type":"#Power.v1_7_3.PowerSupply","MemberId":"PSU1",
        "Status":{"State":"Absent","Health":null},"val":0,"kind":"ps","HotPluggable":false,
        "RelatedItem":[],"RelatedItem@odata.count":0,"Oem":{"Vexa":{"Fw":"2.0"}}}],
      "PowerSupplies@odata.count":2})");
}
