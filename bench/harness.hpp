// Paired measurement: every variant of a case runs once per round, in a shuffled order, and
// each ratio is the median of its per-round ratios. On a shared machine this cancels most of
// the drift that a plain ratio of two medians, or a fixed order, lets through.
#ifndef SQL2JSON_BENCH_HARNESS_HPP
#define SQL2JSON_BENCH_HARNESS_HPP

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace bench {

// Accumulates the time between start() and stop() calls.
class Stopwatch {
  public:
    void start() { begin_ = Clock::now(); }
    void stop() { total_ += Clock::now() - begin_; }
    double seconds() const { return std::chrono::duration<double>(total_).count(); }

  private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point begin_{};
    Clock::duration total_{};
};

// What one run of a variant leaves behind (its result, an open library...). It is released
// after the run's clock has stopped, so freeing a result is never timed.
using Keep = std::shared_ptr<void>;

// One way of doing a case's work. run times its own work with the stopwatch it is given
// (set-up outside start/stop is not counted) and returns what it produced.
struct Variant {
    std::string name;
    std::function<Keep(Stopwatch&)> run;
};

// The median per-round ratio of variant numerator to the sum of the denominator variants.
// target > 0 is the upper bound that the figure should stay under (0: reported only).
struct Ratio {
    std::string label;
    size_t numerator;
    std::vector<size_t> denominators;
    double target;
};

struct CaseDef {
    std::string key;   // groups the sizes of one shape, e.g. "case1"
    std::string title; // e.g. "1 plain rows"
    long rows;         // 0 where rows do not apply
    int rounds;
    std::vector<Variant> variants;
    std::vector<Ratio> ratios;
    // Checks what one untimed run of every variant produced (same order as variants);
    // returns an empty text when the results are right, else what is wrong. It may release
    // results (to check what releasing does).
    std::function<std::string(std::vector<Keep>&)> verify;
};

struct CaseResult {
    const CaseDef* def = nullptr;
    std::vector<double> medianSeconds; // per variant
    std::vector<double> medianRatios;  // per CaseDef::ratios entry
    bool verified = false;
    std::string error;
};

// Seconds per variant per round: times[variant][round].
using RoundTimes = std::vector<std::vector<double>>;

// Runs every variant once, in an order drawn from rng, appending each time to times.
void runRound(const CaseDef& def, std::mt19937& rng, RoundTimes& times);

// Runs every variant once, untimed, and returns def.verify's verdict on the results.
std::string verifyCase(const CaseDef& def);

double median(std::vector<double> values);

// Medians of the variants and of the per-round ratios.
CaseResult summarize(const CaseDef& def, const RoundTimes& times);

// One line of the final table.
struct TableRow {
    std::string what;
    std::string rows;
    std::string first;  // the measured variant's figure
    std::string second; // the baseline's figure
    double ratio;
    double target; // 0: no target
};

void printTable(const std::vector<TableRow>& rows, const std::string& heading);

} // namespace bench

#endif // SQL2JSON_BENCH_HARNESS_HPP
