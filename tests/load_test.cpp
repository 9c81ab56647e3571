// The real shared library's load and unload hooks, in a child that lays out the files first.
#include <dlfcn.h>

#include "support.hpp"

// Loading opens both connections and builds the property-type map from the metadata database
// (the formatter then drops ItemView's "additional" column); unloading closes the metadata
// connection first, then the main one, which ends by telling the OEM data cache to close.
TEST(LoadHooks, LoadBuildsTheMapAndUnloadClosesMetadataFirst) {
    EXPECT_EQ(inChild([] {
                  layOutDatabases(SQL2JSON_LOAD_TEST_ROOT);
                  void* lib = dlopen(SQL2JSON_LOADTEST_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
                  Json::Value out;
                  EXPECT_EQ(
                      reinterpret_cast<int (*)(const char*, Json::Value&, unsigned int)>(
                          dlsym(lib, "_Z32GetJsonDataFromSQLViewUsingQueryPKcRN4Json5ValueEj"))(
                          "select * from ItemView", out, 0),
                      0);
                  EXPECT_JSON(out, R"({"@odata.type":"#Thermal.v1_7_3.Thermal",
                                "@odata.id":"/redfish/v1/Items/7","root":"{\"a\":1}"})");
                  clearFakes();
                  EXPECT_EQ(dlclose(lib), 0);
                  std::string order;
                  for (const LogRecord& record : logRecords())
                      if (record.message.find("Entering Close") != std::string::npos ||
                          record.module == 0)
                          order += record.message.substr(record.message.find(']') + 1) + ";";
                  EXPECT_EQ(order, "Entering CloseMetadataDatabaseConnection Function;Entering "
                                   "CloseDatabaseConnection Function;oemDatabaseClose;");
                  return 0;
              }),
              0);
}
