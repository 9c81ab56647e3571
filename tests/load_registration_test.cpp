// Registration of the custom SQL functions while the real shared library loads, each
// scenario in a fresh process; a chosen registration can be made to fail.
#include <dlfcn.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/test_support.hpp"

using namespace testing_support;

namespace {
std::string gFailName; // the registration to refuse, if any
int gRegistrations = 0;

bool isLibraryFunction(const std::string& name) {
    for (const char* own :
         {"json_bool", "GetISODateTime", "LastSystemInventoryTime", "convertTimeFormat",
          "convertStringToBytes", "GetHeaterMgrValues", "Convert_ReleaseDate"})
        if (name == own) return true;
    return false;
}
} // namespace

// Takes the place of SQLite's function for the loaded library: reports each registration of
// the library's functions ("name nArg eTextRep nullUserData nullStep nullFinal"; SQLite's own
// extensions register through here too) and refuses the chosen one.
extern "C" int sqlite3_create_function(sqlite3* db, const char* name, int nArg, int eTextRep,
                                       void* app,
                                       void (*xFunc)(sqlite3_context*, int, sqlite3_value**),
                                       void (*xStep)(sqlite3_context*, int, sqlite3_value**),
                                       void (*xFinal)(sqlite3_context*)) {
    using CreateFn = int (*)(
        sqlite3*, const char*, int, int, void*, void (*)(sqlite3_context*, int, sqlite3_value**),
        void (*)(sqlite3_context*, int, sqlite3_value**), void (*)(sqlite3_context*));
    static auto real = reinterpret_cast<CreateFn>(dlsym(RTLD_NEXT, "sqlite3_create_function"));
    if (!isLibraryFunction(name)) return real(db, name, nArg, eTextRep, app, xFunc, xStep, xFinal);
    report("reg" + std::to_string(gRegistrations++),
           std::string(name) + " " + std::to_string(nArg) + " " + std::to_string(eTextRep) + " " +
               std::to_string(app == nullptr) + std::to_string(xStep == nullptr) +
               std::to_string(xFinal == nullptr));
    if (gFailName == name) return SQLITE_ERROR;
    return real(db, name, nArg, eTextRep, app, xFunc, xStep, xFinal);
}

namespace {

const std::string kRoot = SQL2JSON_LOAD_TEST_ROOT;

struct Function {
    const char* name;
    const char* call;    // a call that prepares
    const char* failure; // logged at level 2 when its registration fails
    bool fatal;
};

const std::vector<Function> kFunctions = {
    {"json_bool", "json_bool(1)", "failed to create JsonBoolFunc", false},
    {"GetISODateTime", "GetISODateTime()", "failed to create GetISODateTime", false},
    {"LastSystemInventoryTime", "LastSystemInventoryTime()",
     "failed to create GetLastSystemInventoryTime", false},
    {"convertTimeFormat", "convertTimeFormat('')",
     "failed to create convertOpensllToOdataTimeFormat", true},
    {"convertStringToBytes", "convertStringToBytes('ab')",
     "failed to create ConvertStringToByteFormat", true},
    {"GetHeaterMgrValues", "GetHeaterMgrValues(0)", "failed to create GetHeaterMgrValues function",
     true},
    {"Convert_ReleaseDate", "Convert_ReleaseDate('')",
     "failed to create SoftInv_Convert_ReleaseDate", true},
};

// Lays out the databases, loads the library with failName's registration refused, and reports
// whether each function prepares on the main and the metadata connection.
ChildRun loadFailing(const std::string& failName) {
    return runInChild([&] {
        removeTree(kRoot);
        createDbFile(kRoot + "/var/run/unifieddatabase/DMLiveObjectDatabase.db",
                     "create table T(x);");
        createDbFile(kRoot + "/usr/share/redfish/rf_resource_info.db",
                     "create table UriInfo(URI);");
        createDbFile(kRoot + "/var/run/unifieddatabase/HMC.db", "create table H(x);");
        createDbFile(kRoot + "/etc/unifieddatabase/RedfishSchemaMetaData.db",
                     emptyMetadataTablesSql());
        gFailName = failName;
        void* lib = dlopen(SQL2JSON_LOADTEST_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
        if (lib == nullptr) return 3;
        sqlite3* main = *static_cast<sqlite3**>(dlsym(lib, "dmdbhandle"));
        sqlite3* metadata = *static_cast<sqlite3**>(dlsym(lib, "metadatadbhandle"));
        for (const Function& f : kFunctions) {
            sqlite3_stmt* stmt = nullptr;
            const std::string sql = std::string("select ") + f.call;
            report(std::string("main:") + f.name,
                   std::to_string(sqlite3_prepare_v2(main, sql.c_str(), -1, &stmt, nullptr)));
            sqlite3_finalize(stmt);
            report(std::string("metadata:") + f.name, evalText(metadata, sql));
        }
        return 0;
    });
}

std::vector<std::string> registrationMessages(const ChildRun& run) {
    std::vector<std::string> out;
    for (const std::string& m : messages(run.log, 4))
        if (m.find("create") != std::string::npos || m.find("Creating") != std::string::npos)
            out.push_back(m);
    return out;
}

} // namespace

TEST(LoadRegistration, RegistersAllSevenInOrderOnTheMainConnectionOnly) {
    ChildRun run = loadFailing("");
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> registered = {"json_bool -1 1 111",
                                                 "GetISODateTime -1 1 111",
                                                 "LastSystemInventoryTime 0 1 111",
                                                 "convertTimeFormat -1 1 111",
                                                 "convertStringToBytes -1 1 111",
                                                 "GetHeaterMgrValues 1 1 111",
                                                 "Convert_ReleaseDate -1 1 111"};
    for (size_t i = 0; i < registered.size(); ++i)
        EXPECT_EQ(run.reports["reg" + std::to_string(i)], registered[i]);
    const std::string p = "[OpenDatabaseConnection()]";
    const std::vector<std::string> expected = {
        p + "successfully created JsonBollFunc",
        p + "successfully created GetISODateTime",
        p + "successfully created GetLastSystemInventoryTime",
        p + "successfully created convertOpensllToOdataTimeFormat",
        p + "Creating function ConvertStringToByteFormat",
        p + "successfully created ConvertStringToByteFormat",
        p + "Creating function GetHeaterMgrValues",
        p + "successfully created GetHeaterMgrValues function",
        p + "Creating function SoftInv_Convert_ReleaseDate",
        p + "successfully created SoftInv_Convert_ReleaseDate"};
    EXPECT_EQ(registrationMessages(run), expected);
    for (const Function& f : kFunctions) {
        EXPECT_EQ(run.reports[std::string("main:") + f.name], "0") << f.name;
        EXPECT_EQ(run.reports[std::string("metadata:") + f.name],
                  std::string("<error: no such function: ") + f.name + ">");
    }
}

TEST(LoadRegistration, FailedRegistrationIsLoggedAndFatalOnlyFromConvertTimeFormatOn) {
    for (size_t failed = 0; failed < kFunctions.size(); ++failed) {
        const Function& f = kFunctions[failed];
        ChildRun run = loadFailing(f.name);
        ASSERT_TRUE(run.exited) << f.name;
        EXPECT_EQ(run.status, f.fatal ? 1 : 0) << f.name;
        EXPECT_EQ(messages(run.log, 2),
                  std::vector<std::string>{std::string("[OpenDatabaseConnection()]") + f.failure});
        // A fatal failure registers nothing after it; otherwise all seven are attempted.
        const size_t attempted = f.fatal ? failed + 1 : kFunctions.size();
        EXPECT_EQ(run.reports.count("reg" + std::to_string(attempted - 1)), 1u) << f.name;
        EXPECT_EQ(run.reports.count("reg" + std::to_string(attempted)), 0u) << f.name;
        if (f.fatal) continue;
        for (const Function& other : kFunctions)
            EXPECT_EQ(run.reports[std::string("main:") + other.name], &other == &f ? "1" : "0")
                << other.name;
    }
}
