// The event log's lock: mutual exclusion, and no lost wake-up when a holder keeps it
// longer than a waiter spins (the sleepers must all get through).
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "eventlog/spinning_mutex.h"

namespace {

TEST(SpinningMutex, ExcludesAndWakesEverySleeper) {
    orvix::eventlog::SpinningMutex lock;
    long counter = 0;  // plain: ThreadSanitizer reports any access the lock does not order
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20000; ++i) {
                std::lock_guard<orvix::eventlog::SpinningMutex> guard(lock);
                ++counter;
                // Now and then hold it long enough that the others go to sleep.
                if (i % 5000 == t) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 4 * 20000);
}

}  // namespace
