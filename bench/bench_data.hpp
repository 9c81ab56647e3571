// The databases the benchmarks read, built afresh at start-up with deterministic content under
// the file trees that the benchmark builds of the converter open at load.
#ifndef SQL2JSON_BENCH_DATA_HPP
#define SQL2JSON_BENCH_DATA_HPP

#include <string>
#include <vector>

namespace bench {

// The library's fixed files, relative to a tree's root.
constexpr const char* kMainDbPath = "/var/run/unifieddatabase/DMLiveObjectDatabase.db";
constexpr const char* kOpenApiDbPath = "/usr/share/redfish/rf_resource_info.db";
constexpr const char* kHmcDbPath = "/var/run/unifieddatabase/HMC.db";
constexpr const char* kMetadataDbPath = "/etc/unifieddatabase/RedfishSchemaMetaData.db";
constexpr const char* kInventoryTimePath = "/flash/data0/oem_ps/configdbsynctime";

// Largest row count of any case; the tables hold this many rows and queries take a prefix.
constexpr long kMaxRows = 100000;
// Patterns in the UriInfo table.
constexpr int kUriPatterns = 2000;
// Properties per type in the metadata database of the load tree.
constexpr int kLoadPropertiesPerType = 200;

// The "@odata.type" names whose tables the converter reads at load: its rf_metadata, which
// the benchmark compares with this list once the converter is loaded.
const std::vector<std::string>& metadataTypeNames();

// Builds the tree the serving cases (1, 2, 3, 5, 6) read: plain rows, fans with their
// sub-query tables, function inputs, resources and their URI patterns, a small metadata
// database listing the properties those views supply. Returns false (after printing why)
// when a database could not be built.
bool buildServeTree(const std::string& root);

// Builds the tree the load case reads: a metadata database of 20 types x 200 properties
// beside small live, OpenAPI and HMC databases.
bool buildLoadTree(const std::string& root);

// Removes a tree built by the functions above.
void removeTree(const std::string& root);

// The request URI of resource k (0 <= k < kUriPatterns), which is also its "@odata.id".
std::string resourceUri(int k);

} // namespace bench

#endif // SQL2JSON_BENCH_DATA_HPP
