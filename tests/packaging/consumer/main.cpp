// Uses a function, a global and a platform header of the installed library.
#include <SqlitetoJsonConverter.h>
#include <sql2json/platform/vexa_logging.h>

#include <cstdio>

int main() {
    std::printf("first type: %s\n", rf_metadata[0] ? rf_metadata[0] : "(none)");
    return GetPositionofFromCluase("select a from t") == 9 ? 0 : 1;
}
