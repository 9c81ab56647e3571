// The files of a tree (tree_files.hpp): exports kTreeFiles, kTreeFileCount and
// reportMissingTreeFiles.
#include "common/tree_files.hpp"

#include <limits.h>
#include <unistd.h>

#include <cstring>

#include <sqlite3.h>

#include "SqlitetoJsonDefinitions.h"
#include "common/sqlite_handles.hpp"
#include "common/staged_root.hpp"
#include "host/host_paths.hpp"

const TreeFile kTreeFiles[] = {
    {SQL2JSON_LIVE_OBJECT_DB_FILE, TreeFileKind::Database, TreeFileNeed::Always, nullptr},
    {SQL2JSON_OPENAPI_DB_FILE, TreeFileKind::Database, TreeFileNeed::Always, nullptr},
    {SQL2JSON_HMC_DB_FILE, TreeFileKind::Database, TreeFileNeed::Always, nullptr},
    {SQL2JSON_METADATA_DB_FILE, TreeFileKind::Database, TreeFileNeed::Always, nullptr},
    {SQL2JSON_TELEMETRY_DB_FILE, TreeFileKind::Database, TreeFileNeed::Routed,
     "no route's statement runs on it"},
    {SQL2JSON_INVENTORY_TIME_FILE, TreeFileKind::DataFile, TreeFileNeed::Optional,
     "the inventory time (LastSystemInventoryTime(), in the PCIe device's @odata.etag) is "
     "unknown"},
    {HOST_OEM_DATA_FILE, TreeFileKind::DataFile, TreeFileNeed::Optional,
     "the power supplies and assemblies go without their Oem blocks"},
    {HOST_HEATER_STATE_FILE, TreeFileKind::DataFile, TreeFileNeed::Optional,
     "the heater manager's values (GetHeaterMgrValues(), under Thermal's Oem) are null"},
};
const std::size_t kTreeFileCount = sizeof kTreeFiles / sizeof kTreeFiles[0];

namespace {

// Whether some route's statement, composed as GetViewNameFromopenApiDB composes it, holds the
// telemetry marker.
const char kTelemetryRouteQuery[] =
    "select exists (select 1 from UriInfo where "
    "instr(ifnull(CTE, '') || ?1 || ifnull(view_name, '') || ?2, ?3) > 0)";

// Writes the texts in parts to standard error with one system call each.
void writeError(const char* const* parts, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const ssize_t ignored = write(STDERR_FILENO, parts[i], std::strlen(parts[i]));
        (void)ignored;
    }
}

bool isReadable(const char* path) { return path[0] != '\0' && access(path, R_OK) == 0; }

// True unless the tree's routes table says that no route runs on the telemetry database: a
// table that cannot be read counts as needing it.
bool routesUseTelemetry() {
    char path[PATH_MAX];
    if (!stagedPath(SQL2JSON_OPENAPI_DB_FILE, path, sizeof path) || !isReadable(path)) return true;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path, &raw, SQLITE_OPEN_READONLY, nullptr);
    const ConnectionPtr db(raw); // closed on every return, a failed open's handle included
    StatementPtr stmt;
    if (rc != SQLITE_OK || prepareStatement(db.get(), kTelemetryRouteQuery, stmt) != SQLITE_OK ||
        stmt == nullptr)
        return true;
    sqlite3_bind_text(stmt.get(), 1, SQL2JSON_SELECT_ROOT, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt.get(), 2, SQL2JSON_WHERE_ODATA_ID, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt.get(), 3, SQL2JSON_TELEMETRY_MARKER, -1, SQLITE_STATIC);
    return sqlite3_step(stmt.get()) != SQLITE_ROW || sqlite3_column_int(stmt.get(), 0) != 0;
}

// Whether the tree cannot do without file.
bool isNeeded(const TreeFile& file) {
    if (file.need == TreeFileNeed::Routed) return routesUseTelemetry();
    return file.need == TreeFileNeed::Always;
}

} // namespace

bool reportMissingTreeFiles() {
    bool complete = true;
    for (const TreeFile& file : kTreeFiles) {
        char path[PATH_MAX];
        const bool fits = stagedPath(file.path, path, sizeof path);
        if (fits && isReadable(path)) continue;
        const char* shown = fits ? path : file.path;
        const bool database = file.kind == TreeFileKind::Database;
        const char* what = database ? "database missing: " : "data file missing: ";
        if (isNeeded(file)) {
            const char* const parts[] = {"sql2json: ", what, shown, "\n"};
            writeError(parts, sizeof parts / sizeof parts[0]);
            complete = false;
        } else {
            const char* const parts[] = {"sql2json: note: ", what, shown, ": ", file.without, "\n"};
            writeError(parts, sizeof parts / sizeof parts[0]);
        }
    }
    return complete;
}
