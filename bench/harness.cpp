// Paired rounds, medians and the final table.
#include "harness.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace bench {
namespace {

// Finishes the work that freeing a result defers: glibc keeps freed small chunks in fast
// bins and merges them at the next large request, which would otherwise fall into the next
// variant's timed region. A large request merges them now.
void settleHeap() {
    void* block = std::malloc(1 << 20);
    std::free(block);
}

// SQL2JSON_BENCH_TRACE=1 prints the time of every run (to see drift and order effects).
bool traceRuns() {
    static const bool trace = std::getenv("SQL2JSON_BENCH_TRACE") != nullptr;
    return trace;
}

// Runs variant in this process; what it built is freed once its clock has stopped.
double runInProcess(const Variant& variant) {
    Stopwatch watch;
    Keep produced = variant.run(watch);
    produced.reset();
    settleHeap();
    return watch.seconds();
}

} // namespace

void runRound(const CaseDef& def, std::mt19937& rng, RoundTimes& times) {
    std::vector<size_t> order(def.variants.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::shuffle(order.begin(), order.end(), rng);
    times.resize(def.variants.size());
    for (size_t index : order) {
        const Variant& variant = def.variants[index];
        const double seconds = runInProcess(variant);
        times[index].push_back(seconds);
        if (traceRuns())
            std::fprintf(stderr, "  %-40s %10.3f ms\n", variant.name.c_str(), seconds * 1e3);
    }
    if (traceRuns()) std::fprintf(stderr, "  -- end of round\n");
}

std::string verifyCase(const CaseDef& def) {
    std::vector<Keep> results;
    for (const Variant& variant : def.variants) {
        Stopwatch unused;
        results.push_back(variant.run(unused));
    }
    std::string verdict = def.verify ? def.verify(results) : std::string();
    results.clear();
    settleHeap();
    return verdict;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

CaseResult summarize(const CaseDef& def, const RoundTimes& times) {
    CaseResult result;
    result.def = &def;
    for (const std::vector<double>& variantTimes : times)
        result.medianSeconds.push_back(median(variantTimes));
    const size_t rounds = times.empty() ? 0 : times.front().size();
    for (const Ratio& ratio : def.ratios) {
        std::vector<double> perRound;
        for (size_t round = 0; round < rounds; ++round) {
            double denominator = 0.0;
            for (size_t index : ratio.denominators)
                denominator += times[index][round];
            if (denominator > 0.0) perRound.push_back(times[ratio.numerator][round] / denominator);
        }
        result.medianRatios.push_back(median(perRound));
    }
    return result;
}

void printTable(const std::vector<TableRow>& rows, const std::string& heading) {
    std::printf("\n%s\n", heading.c_str());
    std::printf("%-72s %8s %12s %12s %8s %9s  %s\n", "figure", "rows", "measured", "baseline",
                "ratio", "target", "verdict");
    std::printf("%s\n", std::string(135, '-').c_str());
    for (const TableRow& row : rows) {
        char target[32] = "-";
        const char* verdict = "";
        if (row.target > 0.0) {
            std::snprintf(target, sizeof target, "<= %.2f", row.target);
            verdict = row.ratio <= row.target ? "met" : "MISSED";
        }
        std::printf("%-72s %8s %12s %12s %8.3f %9s  %s\n", row.what.c_str(), row.rows.c_str(),
                    row.first.c_str(), row.second.c_str(), row.ratio, target, verdict);
    }
    std::fflush(stdout);
}

} // namespace bench
