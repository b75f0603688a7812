// The event log's lock: mutual exclusion and no lost wake-up, both when threads hand it
// over in a tight loop (more threads than cores, so some sleep on every round) and when a
// holder keeps it longer than a waiter spins.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "eventlog/spinning_mutex.h"

namespace {

// Each of four threads takes the lock `rounds` times and increments a plain counter under
// it (ThreadSanitizer reports any access the lock does not order); every `hold_every`-th
// round it keeps the lock for 2 ms, so the others go to sleep.
long count_under_lock(int rounds, int hold_every) {
    orvix::eventlog::SpinningMutex lock;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                std::lock_guard<orvix::eventlog::SpinningMutex> guard(lock);
                ++counter;
                if (hold_every != 0 && i % hold_every == t) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    return counter;
}

TEST(SpinningMutex, HandsOverInATightLoopWithoutLosingAWakeUp) {
    // A lost wake-up leaves a thread asleep for good: the test then times out. One run in
    // three lost one with a lock built on MinGW's std::atomic::wait, hence five runs.
    for (int run = 0; run < 5; ++run) EXPECT_EQ(count_under_lock(300000, 0), 4 * 300000);
}

TEST(SpinningMutex, WakesEverySleeperAfterALongHold) {
    EXPECT_EQ(count_under_lock(20000, 2000), 4 * 20000);
}

}  // namespace
