// Load and unload hooks: the library opens its databases when it is loaded into a process,
// before any exported function can be called, and closes them when it is unloaded.
#include "internal.hpp"

namespace {

// Load order: main connection (with its attachments and SQL functions), metadata
// connection, then the schema property-type map, which reads the metadata connection.
__attribute__((constructor)) void loadConverter() {
    OpenDatabaseConnection();
    OpenMetadataDatabaseConnection();
    loadPropertyTypeMap();
}

// Unload order: metadata connection first, then the main connection (which ends by telling
// the OEM data cache to close). The map goes with the library's static destruction.
__attribute__((destructor)) void unloadConverter() {
    CloseMetadataDatabaseConnection();
    CloseDatabaseConnection();
}

} // namespace
