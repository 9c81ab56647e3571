// sql2json_bench: the converter's cost beside the minimal code that does the same work.
//
// The process builds its databases under the bench trees, loads the converter built for those
// trees with dlopen (so load, attach, function registration and the property-type map are all
// real), then runs every case in paired rounds and prints one table of medians and ratios.
//
//   sql2json_bench [--smoke] [--rounds=N] [--keep-tree] [Google Benchmark flags]
//     --smoke      the smallest size, one round per case, results checked (for CI)
//     --rounds=N   N rounds for every case instead of the per-size defaults
//     --keep-tree  leave the databases in place at exit
//     --rows=N     only N rows (N <= 100000) in cases 1-3 and 6
// Internal: --peak-rss=library|loop --rows=N runs case 1 once and prints its peak memory.
#include <dlfcn.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_data.hpp"
#include "cases.hpp"
#include "vexa_heater_mgr.h"

// ---- Heater manager for case 6 -------------------------------------------------------------
// The executable exports this definition (ENABLE_EXPORTS), so the loaded converter calls it
// in place of the platform's D-Bus lookup: case 6 then measures the library's function, not
// the host platform's file read.
namespace DataAbstraction {
namespace HeaterMgr {
int32_t get_property(const std::string& /*service*/, const std::string& /*path*/,
                     const std::string& property, PropertyValue& value) {
    if (property == "Health")
        value = static_cast<uint8_t>(200);
    else if (property == "PreHeatDuration")
        value = 2.5;
    else
        value = 10.0;
    return 0;
}
} // namespace HeaterMgr
} // namespace DataAbstraction

namespace {

using bench::CaseDef;
using bench::CaseResult;
using bench::Converter;
using bench::TableRow;

struct Options {
    bool smoke = false;
    bool keepTree = false;
    int rounds = 0;
    std::string peakVariant; // set in a peak-memory child
    long rows = 0;           // one size instead of all (and the rows of a peak-memory child)
};

// Takes this program's own flags out of argv and leaves Google Benchmark's.
Options parseOptions(int& argc, char** argv) {
    Options options;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--smoke")
            options.smoke = true;
        else if (arg == "--keep-tree")
            options.keepTree = true;
        else if (arg.rfind("--rounds=", 0) == 0)
            options.rounds = std::atoi(arg.c_str() + 9);
        else if (arg.rfind("--peak-rss=", 0) == 0)
            options.peakVariant = arg.substr(11);
        else if (arg.rfind("--rows=", 0) == 0)
            options.rows = std::atol(arg.c_str() + 7);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    return options;
}

// Keeps the platform library resident, as it is in a controller's process: the load case
// then times the converter, not the platform library's own loading.
bool preloadPlatform() {
    if (dlopen(SQL2JSON_BENCH_PLATFORM_LIBRARY, RTLD_NOW | RTLD_LOCAL) != nullptr) return true;
    std::fprintf(stderr, "bench: cannot load the platform library: %s\n", dlerror());
    return false;
}

bool loadServe(Converter& serve) {
    std::string error;
    if (bench::loadConverter(SQL2JSON_BENCH_LIBRARY, serve, error)) return true;
    std::fprintf(stderr, "bench: cannot load the converter: %s\n", error.c_str());
    return false;
}

// The trees list the types the converter loads; a list that drifted from its rf_metadata would
// time another load than a controller's.
bool typesMatch(const Converter& serve) {
    auto* names = static_cast<const char* const*>(dlsym(serve.handle, "rf_metadata"));
    std::vector<std::string> loaded;
    for (; names != nullptr && *names != nullptr; ++names)
        loaded.emplace_back(*names);
    if (loaded == bench::metadataTypeNames()) return true;
    std::fprintf(stderr, "bench: the trees' types differ from the converter's rf_metadata\n");
    return false;
}

std::string milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
    return text;
}

// ---- Google Benchmark driver ---------------------------------------------------------------

// One registered benchmark per case: verifies the results once, untimed, then each iteration
// is one paired round. The time Google Benchmark reports is the library's.
void runCase(benchmark::State& state, const CaseDef* def, CaseResult* result) {
    result->def = def;
    result->error = bench::verifyCase(*def);
    if (!result->error.empty()) {
        state.SkipWithError(result->error.c_str());
        return;
    }
    std::mt19937 rng(static_cast<unsigned>(std::hash<std::string>()(def->title) + def->rows));
    bench::RoundTimes times;
    for (auto _ : state) {
        bench::runRound(*def, rng, times);
        state.SetIterationTime(times[0].back());
    }
    *result = bench::summarize(*def, times);
    result->verified = true;
    for (size_t i = 0; i < def->variants.size(); ++i)
        state.counters[def->variants[i].name + " ms"] = result->medianSeconds[i] * 1e3;
    for (size_t i = 0; i < def->ratios.size(); ++i)
        state.counters[def->ratios[i].label] = result->medianRatios[i];
}

std::string benchmarkName(const CaseDef& def) {
    std::string name = def.key;
    if (def.rows > 0) name += "/rows:" + std::to_string(def.rows);
    return name;
}

// ---- The final table -------------------------------------------------------------------------

void addRatioRows(const CaseResult& result, std::vector<TableRow>& rows) {
    const CaseDef& def = *result.def;
    for (size_t i = 0; i < def.ratios.size(); ++i) {
        const bench::Ratio& ratio = def.ratios[i];
        double baseline = 0.0;
        for (size_t index : ratio.denominators)
            baseline += result.medianSeconds[index];
        rows.push_back({def.title + ": " + ratio.label,
                        def.rows > 0 ? std::to_string(def.rows) : "-",
                        milliseconds(result.medianSeconds[ratio.numerator]), milliseconds(baseline),
                        result.medianRatios[i], ratio.target});
    }
}

// For each shape with results at 10 000 and 100 000 rows: how much faster than its minimal
// loop the library's time grows. The figure is the ratio of the two paired ratios, which
// equals (library 100k / library 10k) / (loop 100k / loop 10k).
void addScalingRows(const std::vector<CaseResult>& results, std::vector<TableRow>& rows) {
    std::map<std::string, std::map<long, const CaseResult*>> bySize;
    for (const CaseResult& result : results)
        if (result.verified && result.def->rows > 0)
            bySize[result.def->key][result.def->rows] = &result;
    for (const auto& [key, sizes] : bySize) {
        auto small = sizes.find(10000);
        auto large = sizes.find(100000);
        if (small == sizes.end() || large == sizes.end()) continue;
        const CaseResult& a = *small->second;
        const CaseResult& b = *large->second;
        // The first ratio of a shape compares the library with its baseline.
        const size_t measured = a.def->ratios[0].numerator;
        const size_t baseline = a.def->ratios[0].denominators[0];
        char library[32];
        char loop[32];
        std::snprintf(library, sizeof library, "x%.2f",
                      b.medianSeconds[measured] / a.medianSeconds[measured]);
        std::snprintf(loop, sizeof loop, "x%.2f",
                      b.medianSeconds[baseline] / a.medianSeconds[baseline]);
        rows.push_back({a.def->title + ": growth 10k->100k, library vs baseline", "10k/100k",
                        library, loop, b.medianRatios[0] / a.medianRatios[0], 1.2});
    }
}

// ---- Peak memory ---------------------------------------------------------------------------

struct PeakMemory {
    long peakKb = -1;
    long baseKb = -1;
};

// The peak resident memory of this process image, from VmHWM. (getrusage's ru_maxrss would
// also count the memory of the parent that forked this process before it exec'd.)
long peakRssKb() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb;
}

// In a peak-memory child: loads the converter, runs one variant of case 1 and prints
// "<peak kB> <peak before the run kB> <elements>".
int runPeakChild(const Options& options) {
    Converter serve;
    if (!preloadPlatform() || !loadServe(serve) || !typesMatch(serve)) return 1;
    const int variant = options.peakVariant == "library" ? bench::kPlainLibrary : bench::kPlainLoop;
    const long base = peakRssKb();
    bench::Stopwatch watch;
    bench::Keep result = bench::runPlainRows(serve, options.rows, variant, watch);
    const long peak = peakRssKb();
    std::printf("%ld %ld %ld\n", peak, base, bench::plainRowsCount(result));
    std::fflush(stdout);
    std::_Exit(0); // the tree is not freed: the figure is taken
}

// Runs a peak-memory child for variant; a failed child leaves the figures at -1.
PeakMemory measurePeak(const std::string& variant, long rows) {
    PeakMemory memory;
    int fds[2];
    if (pipe(fds) != 0) return memory;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        const std::string variantArg = "--peak-rss=" + variant;
        const std::string rowsArg = "--rows=" + std::to_string(rows);
        execl("/proc/self/exe", "sql2json_bench", variantArg.c_str(), rowsArg.c_str(),
              static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    close(fds[1]);
    char buffer[128] = {};
    const ssize_t got = pid > 0 ? read(fds[0], buffer, sizeof buffer - 1) : -1;
    close(fds[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    long count = -1;
    if (got > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
        std::sscanf(buffer, "%ld %ld %ld", &memory.peakKb, &memory.baseKb, &count) == 3 &&
        count == rows)
        return memory;
    std::fprintf(stderr, "bench: peak-memory run of %s failed\n", variant.c_str());
    return PeakMemory{};
}

bool addPeakRows(long rows, std::vector<TableRow>& table) {
    const PeakMemory library = measurePeak("library", rows);
    const PeakMemory loop = measurePeak("loop", rows);
    if (library.peakKb <= 0 || loop.peakKb <= 0) return false;
    auto mib = [](long kb) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(kb) / 1024.0);
        return std::string(text);
    };
    table.push_back({"1 plain rows: peak RSS, library / minimal loop", std::to_string(rows),
                     mib(library.peakKb), mib(loop.peakKb),
                     static_cast<double>(library.peakKb) / static_cast<double>(loop.peakKb), 1.2});
    const long libraryGrowth = library.peakKb - library.baseKb;
    const long loopGrowth = loop.peakKb - loop.baseKb;
    if (loopGrowth > 0)
        table.push_back({"1 plain rows: peak RSS growth during the call", std::to_string(rows),
                         mib(libraryGrowth), mib(loopGrowth),
                         static_cast<double>(libraryGrowth) / static_cast<double>(loopGrowth), 0});
    return true;
}

// ---- Main ------------------------------------------------------------------------------------

int runAll(const Options& options, int argc, char** argv) {
    std::printf("Building the benchmark databases...\n");
    std::fflush(stdout);
    if (!bench::buildServeTree(SQL2JSON_BENCH_ROOT) ||
        !bench::buildLoadTree(SQL2JSON_BENCH_LOAD_ROOT))
        return 1;
    Converter serve;
    if (!preloadPlatform() || !loadServe(serve) || !typesMatch(serve)) return 1;

    bench::CaseOptions caseOptions;
    caseOptions.serve = &serve;
    caseOptions.loadLibrary = SQL2JSON_BENCH_LOAD_LIBRARY;
    caseOptions.sizes = {1000, 10000, 100000};
    if (options.smoke) caseOptions.sizes = {1000};
    if (options.rows > 0) caseOptions.sizes = {options.rows};
    caseOptions.functionRows = caseOptions.sizes.back();
    caseOptions.rounds = options.rounds > 0 ? options.rounds : options.smoke ? 1 : 0;
    const std::vector<CaseDef> cases = bench::makeCases(caseOptions);
    std::vector<CaseResult> results(cases.size());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    for (size_t i = 0; i < cases.size(); ++i)
        benchmark::RegisterBenchmark(benchmarkName(cases[i]).c_str(), runCase, &cases[i],
                                     &results[i])
            ->Iterations(cases[i].rounds)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    bool failed = false;
    std::vector<TableRow> table;
    for (const CaseResult& result : results) {
        if (result.def == nullptr) continue; // filtered out
        if (!result.verified) {
            std::fprintf(stderr, "bench: %s: WRONG RESULT: %s\n",
                         benchmarkName(*result.def).c_str(), result.error.c_str());
            failed = true;
            continue;
        }
        addRatioRows(result, table);
    }
    addScalingRows(results, table);
    failed = !addPeakRows(caseOptions.sizes.back(), table) || failed;
    bench::printTable(table, "Medians of paired rounds (ratio: median of the per-round ratios)");

    bench::unloadConverter(serve);
    if (!options.keepTree) {
        bench::removeTree(SQL2JSON_BENCH_ROOT);
        bench::removeTree(SQL2JSON_BENCH_LOAD_ROOT);
    }
    std::printf("%s\n", failed ? "bench: FAILED (wrong results or a failed run)"
                               : "bench: all results checked");
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    setenv("SQL2JSON_LOG_LEVEL", "0", 0); // the library's log lines would be timed too
    // Freed trees stay in the heap for the next run, as in a long-running service: otherwise
    // each run starts by faulting in its memory again, a kernel cost that varies from run to
    // run on a shared virtual machine far more than the work measured.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    Options options = parseOptions(argc, argv);
    if (!options.peakVariant.empty()) return runPeakChild(options);
    return runAll(options, argc, argv);
}
