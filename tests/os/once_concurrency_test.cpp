// One-time initialisation: InitOnceExecuteOnce under Wine, the mutex-based stand-in natively.
#include "os/once.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using orvix::os::OnceFlag;
using orvix::os::run_once;

struct Slow {
    std::atomic<int> runs{0};
    std::atomic<bool> finished{false};
};

void slow_routine(void* context) {
    auto* slow = static_cast<Slow*>(context);
    ++slow->runs;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    slow->finished = true;
}

TEST(Once, RunsOnceAndConcurrentCallersWaitForIt) {
    static OnceFlag flag;
    Slow slow;
    std::atomic<int> saw_unfinished{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            EXPECT_TRUE(run_once(flag, slow_routine, &slow));
            if (!slow.finished) ++saw_unfinished;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(slow.runs, 1);
    EXPECT_EQ(saw_unfinished, 0) << "a caller returned before the routine had finished";
    EXPECT_TRUE(run_once(flag, slow_routine, &slow));
    EXPECT_EQ(slow.runs, 1);
}

// The agent log's creation starts the event log, whose parts may have one-time set-ups
// of their own.
TEST(Once, ARoutineMayRunAnotherFlagsInitialisation) {
    struct Nested {
        OnceFlag outer, inner;
        int inner_runs = 0;
    } nested;
    auto inner_routine = [](void* context) { ++static_cast<Nested*>(context)->inner_runs; };
    auto outer_routine = [](void* context) {
        auto* n = static_cast<Nested*>(context);
        EXPECT_TRUE(run_once(n->inner, [](void* c) { ++static_cast<Nested*>(c)->inner_runs; }, n));
    };
    EXPECT_TRUE(run_once(nested.outer, outer_routine, &nested));
    EXPECT_TRUE(run_once(nested.inner, inner_routine, &nested));
    EXPECT_EQ(nested.inner_runs, 1);
}

}  // namespace
