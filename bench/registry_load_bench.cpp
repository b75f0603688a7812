// Loading one key of many values into the in-process registry and reading it back, at
// 1k, 10k and 100k values: a .reg file parsed and applied (what orvix-env --registry
// does), and the key enumerated by index with the narrow reads of the registry settings
// source. Beside them the baseline: the same names put into a std::unordered_map, the
// least any loader that finds values by name must pay. The summary prints the time per
// value at each count; it must not grow with the count (Windows enumerates by index in
// constant time, and a loader that is linear keeps the time per value flat).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/registry_export_file.h"
#include "os/registry.h"
#include "summary_option.h"

namespace {

constexpr char16_t kKey[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\bench";

std::string value_name(int i) { return "orvix.bench_value_" + std::to_string(i); }

const std::string& reg_file(int count) {
    static std::map<int, std::string> files;
    std::string& text = files[count];
    if (text.empty()) {
        text =
            "Windows Registry Editor Version "
            "5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Quillon\\Orvix\\bench]\n";
        for (int i = 0; i < count; ++i) {
            char line[96];
            std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", value_name(i).c_str(), i);
            text += line;
        }
    }
    return text;
}

void clear_key() { orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kKey); }

void BM_LoadRegFile(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string& text = reg_file(count);
    for (auto _ : state) {
        const orvix::config::RegistryFile parsed = orvix::config::parse_registry_file(text);
        const orvix::config::RegistryFileApplied applied = orvix::config::apply_registry_file(parsed);
        benchmark::DoNotOptimize(applied.values);
        state.PauseTiming();
        clear_key();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_EnumerateKey(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    orvix::config::apply_registry_file(orvix::config::parse_registry_file(reg_file(count)));
    orvix::os::RegKey key = 0;
    orvix::os::registry_open_key_a(orvix::os::kHkeyLocalMachine, "SOFTWARE\\Policies\\Quillon\\Orvix\\bench",
                                   0, orvix::os::kKeyRead, &key);
    for (auto _ : state) {
        uint32_t index = 0;
        for (;; ++index) {
            char name[512];
            uint8_t data[512];
            uint32_t name_chars = sizeof name;
            uint32_t data_bytes = sizeof data;
            uint32_t type = 0;
            if (orvix::os::registry_enum_value_a(key, index, name, &name_chars, nullptr, &type, data,
                                                 &data_bytes) != orvix::os::kErrorSuccess) {
                break;
            }
        }
        benchmark::DoNotOptimize(index);
    }
    orvix::os::registry_close_key(key);
    clear_key();
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_BaselineNameMap(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::vector<std::u16string> names;
    for (int i = 0; i < count; ++i) {
        const std::string narrow = value_name(i);
        names.emplace_back(narrow.begin(), narrow.end());
    }
    for (auto _ : state) {
        std::unordered_map<std::u16string, uint32_t> map;
        for (int i = 0; i < count; ++i) map.emplace(names[static_cast<size_t>(i)], static_cast<uint32_t>(i));
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_LoadRegFile)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumerateKey)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineNameMap)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Processor nanoseconds per value of one run of f over count values (best of three):
// processor time, so that other work on a busy machine does not count.
template <typename F>
double ns_per_value(int count, F f) {
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
        const std::clock_t start = std::clock();
        f(count);
        const double took = 1e9 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        best = std::min(best, took / count);
    }
    return best;
}

void summary() {
    const int counts[] = {1000, 10000, 100000};
    struct Row {
        const char* name;
        double ns[3];
    } rows[] = {{"load .reg file", {}}, {"enumerate by index", {}}, {"baseline: name map", {}}};
    for (int c = 0; c < 3; ++c) {
        const std::string& text = reg_file(counts[c]);
        rows[0].ns[c] = ns_per_value(counts[c], [&](int) {
            orvix::config::apply_registry_file(orvix::config::parse_registry_file(text));
            clear_key();
        });
        orvix::config::apply_registry_file(orvix::config::parse_registry_file(text));
        orvix::os::RegKey key = 0;
        orvix::os::registry_open_key_a(orvix::os::kHkeyLocalMachine,
                                       "SOFTWARE\\Policies\\Quillon\\Orvix\\bench", 0, orvix::os::kKeyRead,
                                       &key);
        rows[1].ns[c] = ns_per_value(counts[c], [&](int count) {
            for (uint32_t index = 0; index < static_cast<uint32_t>(count); ++index) {
                char name[512];
                uint8_t data[512];
                uint32_t name_chars = sizeof name, data_bytes = sizeof data, type = 0;
                orvix::os::registry_enum_value_a(key, index, name, &name_chars, nullptr, &type, data,
                                                 &data_bytes);
            }
        });
        orvix::os::registry_close_key(key);
        clear_key();
        rows[2].ns[c] = ns_per_value(counts[c], [&](int count) {
            std::unordered_map<std::u16string, uint32_t> map;
            for (int i = 0; i < count; ++i) {
                const std::string narrow = value_name(i);
                map.emplace(std::u16string(narrow.begin(), narrow.end()), static_cast<uint32_t>(i));
            }
        });
    }
    // Caches make the largest count dearer per value even for the baseline, so growth is
    // judged beside the baseline's; a quadratic loader grows about a hundredfold.
    const double baseline_growth = rows[2].ns[2] / rows[2].ns[0];
    std::printf("\nns per value          %10s %10s %10s   100k/1k   beside baseline\n", "1k", "10k", "100k");
    bool flat = true;
    for (const Row& row : rows) {
        const double growth = row.ns[2] / row.ns[0];
        std::printf("%-20s %10.0f %10.0f %10.0f   %7.2f   %7.2f\n", row.name, row.ns[0], row.ns[1], row.ns[2],
                    growth, growth / baseline_growth);
        if (growth / baseline_growth > 3.0) flat = false;
    }
    std::printf("time per value %s with the count\n", flat ? "does not grow" : "GROWS");
}

}  // namespace

int main(int argc, char** argv) {
    // The summary times its own runs.
    if (orvix_bench::take_summary_only(argc, argv)) {
        summary();
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}
