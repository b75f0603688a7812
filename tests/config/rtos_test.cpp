#include "config/rtos.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "eventlog/event_log.h"

namespace {

// Time-outs: 0 never waits and a bound waits at least that long. (A put without limit on a
// full queue, woken by a get, is what the store's writers do: its worker test drives it.)
TEST(RtosQueue, DepthTimeOutsFlushAndOrderAcrossTheWrap) {
    std::unique_ptr<sVORN_RTOS_QUEUE, decltype(&vorn_rtos_queue_delete)> queue(vorn_rtos_queue_create(8, 3),
                                                                               vorn_rtos_queue_delete);
    uint32_t message[2] = {}, got[2] = {}, size = 0;
    EXPECT_EQ(vorn_rtos_queue_get(queue.get(), message, VORN_RTOS_NO_WAIT, &size), VORN_STATUS_TIMEOUT);
    EXPECT_EQ(size, 0u) << "a refused get reports no message";
    for (int i = 0; i < 3; ++i) ASSERT_EQ(vorn_rtos_queue_put(queue.get(), message, VORN_RTOS_NO_WAIT), 0);
    EXPECT_EQ(vorn_rtos_queue_put(queue.get(), message, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(vorn_rtos_queue_put(queue.get(), message, 50), VORN_STATUS_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
    vorn_rtos_queue_flush(queue.get());
    EXPECT_EQ(vorn_rtos_queue_get(queue.get(), got, 1, nullptr), VORN_STATUS_TIMEOUT);

    // One or two messages stay queued while twelve pass through, so both positions wrap.
    for (uint32_t in = 0, out = 0; out < 12; ++out) {
        for (; in < out + 2 + (out % 2); ++in) {
            const uint32_t put[2] = {in, ~in};
            ASSERT_EQ(vorn_rtos_queue_put(queue.get(), put, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
        }
        ASSERT_EQ(vorn_rtos_queue_get(queue.get(), got, 5000, &size), VORN_STATUS_SUCCESS);
        EXPECT_EQ(size, 8u);
        EXPECT_TRUE(got[0] == out && got[1] == ~out) << out;
    }
}

// Counts and time-outs; then, as a lock of count 1 under contention, no update is lost and
// no waiter sleeps through a put (that would hang the test).
TEST(RtosSemaphore, CountsTimeOutsAndExclusionUnderContention) {
    std::unique_ptr<sVORN_RTOS_SEM, decltype(&vorn_rtos_sem_delete)> sem(vorn_rtos_sem_create(2),
                                                                         vorn_rtos_sem_delete);
    EXPECT_EQ(vorn_rtos_sem_get(sem.get(), VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_rtos_sem_get(sem.get(), VORN_RTOS_WAIT_FOREVER), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_rtos_sem_get(sem.get(), VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);
    EXPECT_EQ(vorn_rtos_sem_get(sem.get(), 30), VORN_STATUS_TIMEOUT);
    EXPECT_EQ(vorn_rtos_sem_get(nullptr, VORN_RTOS_NO_WAIT), VORN_STATUS_MISSING_ARGUMENT);
    vorn_rtos_sem_put(sem.get());
    uint64_t counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10000; ++i) {
                ASSERT_EQ(vorn_rtos_sem_get(sem.get(), t % 2 == 0 ? VORN_RTOS_WAIT_FOREVER : 60000), 0);
                const uint64_t seen = counter;
                if (i % 64 == 0) std::this_thread::yield();  // hold it long enough for others to block
                counter = seen + 1;
                vorn_rtos_sem_put(sem.get());
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 40000u);
    EXPECT_EQ(vorn_rtos_sem_get(sem.get(), VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_rtos_sem_get(sem.get(), VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT) << "the count is 1 again";
}

TEST(RtosMutex, OnlyNoWaitAndWaitForeverAreAccepted) {
    std::unique_ptr<sVORN_RTOS_MUTEX, decltype(&vorn_rtos_mutex_delete)> mutex(vorn_rtos_mutex_create(),
                                                                               vorn_rtos_mutex_delete);
    const auto try_elsewhere = [&] {
        int32_t status = 0;
        std::thread([&] {
            status = vorn_rtos_mutex_get(mutex.get(), VORN_RTOS_NO_WAIT);
            if (status == VORN_STATUS_SUCCESS) vorn_rtos_mutex_put(mutex.get());
        }).join();
        return status;
    };
    EXPECT_EQ(vorn_rtos_mutex_get(mutex.get(), 10), VORN_STATUS_INVALID);
    EXPECT_EQ(try_elsewhere(), VORN_STATUS_SUCCESS) << "the refused get did not lock";
    ASSERT_EQ(vorn_rtos_mutex_get(mutex.get(), VORN_RTOS_WAIT_FOREVER), VORN_STATUS_SUCCESS);
    EXPECT_EQ(try_elsewhere(), VORN_STATUS_TIMEOUT);
    vorn_rtos_mutex_put(mutex.get());
    EXPECT_EQ(vorn_rtos_mutex_get(nullptr, VORN_RTOS_WAIT_FOREVER), VORN_STATUS_MISSING_ARGUMENT);
}

TEST(RtosThreads, RegisteredThreadsRunOnlyOnceOpened) {
    std::atomic<int> runs{0};
    sVORN_RTOS_THREAD_PARAMS params;
    params.entry = [](void* argument) { ++*static_cast<std::atomic<int>*>(argument); };
    params.argument = &runs;
    sVORN_RTOS_THREAD* first = vorn_rtos_thread_create(params);
    sVORN_RTOS_THREAD* idle = vorn_rtos_thread_create(sVORN_RTOS_THREAD_PARAMS{});  // nothing to run
    sVORN_RTOS_THREAD* second = vorn_rtos_thread_create(params);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(runs.load(), 0);
    EXPECT_EQ(vorn_rtos_open(), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_rtos_open(), VORN_STATUS_NOT_STARTED) << "a second open starts nothing";
    for (sVORN_RTOS_THREAD* record : {first, second}) {
        EXPECT_EQ(record->id, record->handle.get_id());
        record->handle.join();
    }
    EXPECT_EQ(runs.load(), 2);
    EXPECT_FALSE(idle->handle.joinable());
}

TEST(RtosDeathTest, RegisteringAfterTheOpenAndNullQueuesEndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            vorn_event_init_params params;  // log lines to standard error, where the death test reads them
            vorn_event_get_default_init_params(&params);
            params.stream = stderr;
            vorn_event_init(&params);
            vorn_rtos_open();
            vorn_rtos_thread_create(sVORN_RTOS_THREAD_PARAMS{});
        },
        testing::ExitedWithCode(1),
        // One line only: the simple regular expressions of the Windows build stop at line ends.
        "LVL:0 RC:-503 *RTOS :Vorn_rtos_thread_create.. can NOT be called after vorn_rtos is opened!");
    uint32_t message = 0;
    EXPECT_EXIT(vorn_rtos_queue_put(nullptr, &message, 0), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(vorn_rtos_queue_get(nullptr, &message, 0, nullptr), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(vorn_rtos_queue_flush(nullptr), testing::ExitedWithCode(1), "");
}

}  // namespace
