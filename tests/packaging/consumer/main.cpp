// Uses a function, a global and a platform header of the installed library.
#include <SqlitetoJsonConverter.h>
#include <sql2json/platform/vexa_logging.h>

int main() { return rf_metadata[0] && GetPositionofFromCluase("select a from t") == 9 ? 0 : 1; }
