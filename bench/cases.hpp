// The benchmark cases: the library's calls beside the minimal code that does the same work.
#ifndef SQL2JSON_BENCH_CASES_HPP
#define SQL2JSON_BENCH_CASES_HPP

#include <string>
#include <vector>

#include "converter.hpp"
#include "harness.hpp"

namespace bench {

struct CaseOptions {
    const Converter* serve = nullptr; // loaded on the serving tree
    std::string loadLibrary;          // the converter built for the load tree
    std::vector<long> sizes;          // row counts of cases 1 to 3
    long functionRows = 0;            // rows of case 6
    int rounds = 0;                   // rounds of every case when > 0, else per size
};

std::vector<CaseDef> makeCases(const CaseOptions& options);

// The variants of case 1, in this order; also run alone for the peak-memory figures.
enum PlainRowsVariant { kPlainLibrary = 0, kPlainLoop = 1, kPlainSqliteJson = 2 };

// Runs one variant of case 1 over rows rows. The result holds the tree (rc, value).
Keep runPlainRows(const Converter& serve, long rows, int variant, Stopwatch& watch);

// The number of elements in the tree a runPlainRows result holds, or -1 after a failure.
long plainRowsCount(const Keep& result);

} // namespace bench

#endif // SQL2JSON_BENCH_CASES_HPP
