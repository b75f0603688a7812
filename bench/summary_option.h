// --summary-only, which every benchmark program takes: print the side-by-side summary
// alone (scripts/bench-summary.sh), without Google Benchmark's own report.
#pragma once

#include <string>

namespace orvix_bench {

// Removes --summary-only from the arguments (Google Benchmark refuses arguments it does
// not know) and says whether it was there.
inline bool take_summary_only(int& argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) != "--summary-only") continue;
        for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
        --argc;
        return true;
    }
    return false;
}

}  // namespace orvix_bench
