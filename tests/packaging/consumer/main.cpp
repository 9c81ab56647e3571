// Uses a function, a global and a platform header of the installed library. Run with
// SQL2JSON_ROOT naming a tree that holds the databases, it shows that the library keeps its
// fixed paths whatever the environment says (they are absent on a build machine): no query runs.
#include <SqlitetoJsonConverter.h>
#include <sql2json/platform/vexa_logging.h>

int main() {
    std::string count;
    return rf_metadata[0] && GetPositionofFromCluase("select a from t") == 9 &&
                   GetRequestedSchemaData("select count(*) from UriInfo", count, nullptr) !=
                       SQLITE_ROW
               ? 0
               : 1;
}
