// Custom SQL functions (placeholder).
#include "internal.hpp"

void registerSqlFunctions(sqlite3* /*db*/) {}
