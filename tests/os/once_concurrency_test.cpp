// One-time initialisation: InitOnceExecuteOnce under Wine, the mutex-based stand-in natively.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "os/once.h"

namespace {

using orvix::os::OnceFlag;
using orvix::os::run_once;

std::atomic<int> g_runs{0};
std::atomic<bool> g_finished{false};

TEST(Once, RunsOnceAndConcurrentCallersWaitForIt) {
    static OnceFlag flag;
    const auto routine = [](void*) {
        ++g_runs;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        g_finished = true;
    };
    std::atomic<int> saw_unfinished{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            EXPECT_TRUE(run_once(flag, routine, nullptr));
            if (!g_finished) ++saw_unfinished;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_TRUE(run_once(flag, routine, nullptr));
    EXPECT_EQ(g_runs, 1);
    EXPECT_EQ(saw_unfinished, 0) << "a caller returned before the routine had finished";
}

// The agent log's creation starts the event log, whose parts may have one-time set-ups
// of their own.
OnceFlag g_outer, g_inner;
int g_inner_runs = 0;
void count_inner(void*) { ++g_inner_runs; }
void run_inner(void*) { EXPECT_TRUE(run_once(g_inner, count_inner, nullptr)); }

TEST(Once, ARoutineMayRunAnotherFlagsInitialisation) {
    EXPECT_TRUE(run_once(g_outer, run_inner, nullptr));
    EXPECT_TRUE(run_once(g_inner, count_inner, nullptr));
    EXPECT_EQ(g_inner_runs, 1);
}

}  // namespace
