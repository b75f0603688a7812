// The event log beside spdlog and a bare snprintf + write, in one run:
// - a message below the threshold: vorn_event_log beside spdlog's filtered call;
// - an admitted message that reaches the log file (asynchronous mode, so on POSIX every
//   line is one write): vorn_event_log beside spdlog's synchronous file logger flushing
//   every message, and beside snprintf of the same line format plus write() (the floor
//   for a line that reaches the file at once); on one thread and on two, interleaved.
// The summary at the end prints the times side by side with their ratios and the targets;
// --benchmark_repetitions=N keeps the best of N, and --summary-only prints the summary alone.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "eventlog/event_log.h"
#include "summary_option.h"

namespace {

namespace fs = std::filesystem;

constexpr double kFilteredTargetNs = 2.0;
constexpr double kFloorRatioTarget = 1.3;
constexpr double kTwoThreadSpdlogTarget = 0.9;

struct Setup {
    fs::path root;
    std::shared_ptr<spdlog::logger> filtered;
    std::shared_ptr<spdlog::logger> file;
    int floor_fd = -1;
};

Setup& setup() {
    static Setup s;
    return s;
}

void prepare() {
    Setup& s = setup();
    s.root = fs::temp_directory_path() / ("orvix-event-log-bench-" + std::to_string(::getpid()));
    fs::remove_all(s.root);
    fs::create_directories(s.root);
    ::setenv("PROGRAMDATA", s.root.c_str(), 1);
    vorn_event_start_logging("event_log_bench", 0, 0, 0, 1);

    // The filtered logger never writes; its level alone decides.
    s.filtered = std::make_shared<spdlog::logger>("filtered", std::make_shared<spdlog::sinks::null_sink_mt>());
    s.filtered->set_level(spdlog::level::info);

    s.file = spdlog::basic_logger_mt("file", (s.root / "spdlog.txt").string(), true);
    s.file->set_pattern("%Y-%m-%dT%H:%M:%S.%eZ  > LVL:%L RC:   0          COMMON :%v\r", spdlog::pattern_time_type::utc);
    s.file->set_level(spdlog::level::info);
    s.file->flush_on(spdlog::level::trace);

    s.floor_fd = ::open((s.root / "floor.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
}

void finish() {
    Setup& s = setup();
    vorn_event_shutdown();
    spdlog::shutdown();
    ::close(s.floor_fd);
    fs::remove_all(s.root);
}

// One iteration is a round of 20000 filtered calls of each in turn; the fastest round of
// each counts, since a filtered call is so short that any other load on the machine only
// ever adds to it.
constexpr int kFilteredBatch = 20000;

void BM_Filtered_SideBySide(benchmark::State& state) {
    spdlog::logger& logger = *setup().filtered;
    double ours = 1e300, spd = 1e300;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kFilteredBatch; ++i) {
            benchmark::DoNotOptimize(
                vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_DEBUG, 0, "debug %d", i));
        }
        auto middle = std::chrono::steady_clock::now();
        for (int i = 0; i < kFilteredBatch; ++i) {
            logger.debug("debug {}", i);
            benchmark::ClobberMemory();
        }
        auto end = std::chrono::steady_clock::now();
        ours = std::min(ours, std::chrono::duration<double, std::nano>(middle - start).count() / kFilteredBatch);
        spd = std::min(spd, std::chrono::duration<double, std::nano>(end - middle).count() / kFilteredBatch);
    }
    state.counters["event_log_ns"] = ours;
    state.counters["spdlog_ns"] = spd;
}

// Distinct messages, so repeat suppression never holds a line back.
std::atomic<int> g_sequence{0};

void event_log_line() {
    vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, 0, "message number %d of the benchmark",
                   g_sequence.fetch_add(1, std::memory_order_relaxed));
}

void spdlog_line() {
    setup().file->info("message number {} of the benchmark", g_sequence.fetch_add(1, std::memory_order_relaxed));
}

void snprintf_write_line() {
    char line[640];
    const int n = std::snprintf(line, sizeof line,
                                "%d-%02d-%02dT%02d:%02d:%02d.%03dZ %s > LVL:%d RC:%4d %15s :"
                                "message number %d of the benchmark\r\n",
                                2024, 3, 9, 7, 5, 4, 32, "", 2, 0, "COMMON",
                                g_sequence.fetch_add(1, std::memory_order_relaxed));
    benchmark::DoNotOptimize(::write(setup().floor_fd, line, static_cast<size_t>(n)));
}

// One iteration is a round of 200 lines of each of the three in turn, timed separately,
// so a change of load on the machine falls on all three alike.
constexpr int kBatch = 200;

template <typename F>
double batch_ns(F line) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) line();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
}

void BM_File_SideBySide(benchmark::State& state) {
    double ours = 0, spd = 0, floor = 0;
    for (auto _ : state) {
        ours += batch_ns(event_log_line);
        spd += batch_ns(spdlog_line);
        floor += batch_ns(snprintf_write_line);
    }
    const double lines = static_cast<double>(state.iterations()) * kBatch;
    state.counters["event_log_ns"] = benchmark::Counter(ours / lines, benchmark::Counter::kAvgThreads);
    state.counters["spdlog_ns"] = benchmark::Counter(spd / lines, benchmark::Counter::kAvgThreads);
    state.counters["snprintf_write_ns"] = benchmark::Counter(floor / lines, benchmark::Counter::kAvgThreads);
}

BENCHMARK(BM_Filtered_SideBySide);
BENCHMARK(BM_File_SideBySide)->Threads(1)->Threads(2)->UseRealTime();

// Keeps the best result of every (benchmark, threads) over repetitions while printing as
// usual, and prints the comparison at the end.
class SideBySide : public benchmark::ConsoleReporter {
public:
    explicit SideBySide(bool quiet) : ConsoleReporter(OO_Tabular), quiet_(quiet) {}

    bool ReportContext(const Context& context) override { return quiet_ || ConsoleReporter::ReportContext(context); }

    void ReportRuns(const std::vector<Run>& reports) override {
        if (!quiet_) ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const int64_t threads = run.threads;
            const std::string& name = run.run_name.function_name;
            if (name == "BM_Filtered_SideBySide") {
                keep(name + ".event_log", threads, run.counters.at("event_log_ns").value);
                keep(name + ".spdlog", threads, run.counters.at("spdlog_ns").value);
            } else if (run.counters.count("event_log_ns") != 0) {
                // Per line as each thread saw it; with two threads both write at once.
                keep(name + ".event_log", threads, run.counters.at("event_log_ns").value);
                keep(name + ".spdlog", threads, run.counters.at("spdlog_ns").value);
                keep(name + ".floor", threads, run.counters.at("snprintf_write_ns").value);
            }
        }
    }

    void summary() const {
        const double filtered = get("BM_Filtered_SideBySide.event_log", 1);
        const double filtered_spdlog = get("BM_Filtered_SideBySide.spdlog", 1);
        std::printf("\nA message below the threshold, interleaved (ns per call, fastest round)\n");
        std::printf("  vorn_event_log %8.2f   spdlog %8.2f   ratio %.2f\n", filtered, filtered_spdlog,
                    ratio(filtered, filtered_spdlog));
        std::printf("  targets: at most %.1f ns: %s; no slower than spdlog: %s\n", kFilteredTargetNs,
                    verdict(filtered > 0 && filtered <= kFilteredTargetNs),
                    verdict(filtered > 0 && filtered <= filtered_spdlog));

        std::printf("\nAn admitted message reaching the log file, interleaved (ns per line as each thread\n"
                    "sees it; with two threads both write at the same time)\n");
        std::printf("  %-38s %10s %10s\n", "", "1 thread", "2 threads");
        row("vorn_event_log, asynchronous file", "BM_File_SideBySide.event_log");
        row("spdlog file logger, flush each line", "BM_File_SideBySide.spdlog");
        row("snprintf + write", "BM_File_SideBySide.floor");
        for (int threads : {1, 2}) {
            const double ours = get("BM_File_SideBySide.event_log", threads);
            const double spd = get("BM_File_SideBySide.spdlog", threads);
            const double floor = get("BM_File_SideBySide.floor", threads);
            std::printf("  %d thread%s: event log / spdlog = %.3f, event log / (snprintf + write) = %.3f", threads,
                        threads == 1 ? " " : "s", ratio(ours, spd), ratio(ours, floor));
            const double spdlog_target = threads == 1 ? 1.0 : kTwoThreadSpdlogTarget;
            std::printf("\n             targets: <= %.1f %s, <= %.1f %s", spdlog_target,
                        verdict(ours > 0 && ours <= spdlog_target * spd), kFloorRatioTarget,
                        verdict(ours > 0 && ours <= kFloorRatioTarget * floor));
            std::printf("\n");
        }
    }

private:
    static const char* verdict(bool met) { return met ? "met" : "NOT met"; }
    static double ratio(double a, double b) { return b > 0 ? a / b : 0.0; }
    void keep(const std::string& name, int64_t threads, double value) {
        auto key = std::make_pair(name, threads);
        auto found = best_.find(key);
        if (found == best_.end() || value < found->second) best_[key] = value;
    }
    double get(const std::string& name, int64_t threads) const {
        auto found = best_.find({name, threads});
        return found == best_.end() ? 0.0 : found->second;
    }
    void row(const char* label, const char* name) const {
        std::printf("  %-38s %10.1f %10.1f\n", label, get(name, 1), get(name, 2));
    }

    bool quiet_;
    std::map<std::pair<std::string, int64_t>, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
    const bool quiet = orvix_bench::take_summary_only(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    prepare();
    SideBySide reporter(quiet);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.summary();
    finish();
    benchmark::Shutdown();
    return 0;
}
