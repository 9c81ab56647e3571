// The files of a tree that the converter and the host platform layer read, each at its fixed
// path (SqlitetoJsonDefinitions.h, host/host_paths.hpp), and which of them the tree cannot do
// without:
//   always       the live-object, OpenAPI resource, HMC and schema metadata databases: the
//                converter opens or attaches each of them at every load, and any statement on
//                its main connection may name what they hold
//   routed       the telemetry database: opened only for a statement that holds the telemetry
//                marker, so needed when one of UriInfo's routes composes such a statement
//   optional     the host data files and the inventory-time file: without one, the values it
//                holds are missing from the resources (what goes without each is its note)
//
//   kTreeFiles               the table
//   reportMissingTreeFiles   the start-up check of get, view, resolve, profile, serve and check
#ifndef SQL2JSON_TOOLS_COMMON_TREE_FILES_HPP
#define SQL2JSON_TOOLS_COMMON_TREE_FILES_HPP

#include <cstddef>

enum class TreeFileKind { Database, DataFile };

enum class TreeFileNeed { Always, Routed, Optional };

struct TreeFile {
    const char* path; // the fixed path, as a production build opens it
    TreeFileKind kind;
    TreeFileNeed need;
    const char* without; // for a file the tree can do without: what goes without it
};

extern const TreeFile kTreeFiles[];
extern const std::size_t kTreeFileCount;

// Names on standard error every file of the table missing (not readable) at its staged path
// (staged_root.hpp), in the table's order, in one pass: "sql2json: database missing: PATH" for
// a database the tree needs, else "sql2json: note: database missing: PATH: ..." or
// "sql2json: note: data file missing: PATH: WHAT goes without it". Returns false when a
// database the tree needs is missing. Uses write() and C calls only, and SQLite to read the
// routes: it runs before the converter is loaded (and before the C++ runtime is up).
bool reportMissingTreeFiles();

#endif
