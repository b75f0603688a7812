#include "config/rtos.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "eventlog/event_log.h"

namespace {

using Clock = std::chrono::steady_clock;

struct QueueDeleter {
    void operator()(sVORN_RTOS_QUEUE* q) const { vorn_rtos_queue_delete(q); }
};
struct SemDeleter {
    void operator()(sVORN_RTOS_SEM* s) const { vorn_rtos_sem_delete(s); }
};
struct MutexDeleter {
    void operator()(sVORN_RTOS_MUTEX* m) const { vorn_rtos_mutex_delete(m); }
};
using Queue = std::unique_ptr<sVORN_RTOS_QUEUE, QueueDeleter>;
using Sem = std::unique_ptr<sVORN_RTOS_SEM, SemDeleter>;
using Mutex = std::unique_ptr<sVORN_RTOS_MUTEX, MutexDeleter>;
using std::chrono::milliseconds;

// Waits up to 10 s for condition; threads in these tests answer within milliseconds.
template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

TEST(RtosQueue, ZeroTimeOutNeverWaitsAndDepthIsExact) {
    Queue owned(vorn_rtos_queue_create(8, 100));
    sVORN_RTOS_QUEUE* queue = owned.get();
    ASSERT_NE(queue, nullptr);
    uint8_t message[8] = {};
    uint32_t size = 0;
    EXPECT_EQ(vorn_rtos_queue_get(queue, message, VORN_RTOS_NO_WAIT, &size), VORN_STATUS_TIMEOUT);
    EXPECT_EQ(size, 0u) << "a refused get reports no message";

    for (uint32_t i = 0; i < 100; ++i) {
        ASSERT_EQ(vorn_rtos_queue_put(queue, message, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS) << i;
    }
    const auto before = Clock::now();
    EXPECT_EQ(vorn_rtos_queue_put(queue, message, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);
    EXPECT_LT(Clock::now() - before, milliseconds(500));

    // Flushing empties the queue and makes room again.
    vorn_rtos_queue_flush(queue);
    EXPECT_EQ(vorn_rtos_queue_get(queue, message, VORN_RTOS_NO_WAIT, &size), VORN_STATUS_TIMEOUT);
    EXPECT_EQ(vorn_rtos_queue_put(queue, message, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
}

TEST(RtosQueue, MessagesKeepTheirOrderAcrossTheWrapOfTheRing) {
    Queue owned(vorn_rtos_queue_create(sizeof(uint32_t) * 2, 3));
    sVORN_RTOS_QUEUE* queue = owned.get();
    ASSERT_NE(queue, nullptr);
    // Two messages stay queued while ten more pass through, so both positions wrap.
    for (uint32_t in = 0, out = 0; out < 12; ++out) {
        while (in < out + 2 + (out % 2)) {
            const uint32_t message[2] = {in, ~in};
            ASSERT_EQ(vorn_rtos_queue_put(queue, message, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
            ++in;
        }
        uint32_t got[2] = {};
        uint32_t size = 0;
        ASSERT_EQ(vorn_rtos_queue_get(queue, got, VORN_RTOS_NO_WAIT, &size), VORN_STATUS_SUCCESS);
        EXPECT_EQ(size, 8u);
        EXPECT_EQ(got[0], out);
        EXPECT_EQ(got[1], ~out);
    }
}

TEST(RtosQueue, BoundedWaitsEndAtTheirDeadlineAndWaitersWakeOnChange) {
    Queue owned(vorn_rtos_queue_create(4, 1));
    sVORN_RTOS_QUEUE* queue = owned.get();
    ASSERT_NE(queue, nullptr);
    uint32_t value = 0;
    auto before = Clock::now();
    EXPECT_EQ(vorn_rtos_queue_get(queue, &value, 50, nullptr), VORN_STATUS_TIMEOUT);
    EXPECT_GE(Clock::now() - before, milliseconds(50));

    value = 7;
    ASSERT_EQ(vorn_rtos_queue_put(queue, &value, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
    before = Clock::now();
    EXPECT_EQ(vorn_rtos_queue_put(queue, &value, 50), VORN_STATUS_TIMEOUT);
    EXPECT_GE(Clock::now() - before, milliseconds(50));

    // A put waiting without limit on the full queue goes through once a get makes room.
    std::atomic<bool> put_done{false};
    std::thread writer([&] {
        const uint32_t second = 8;
        EXPECT_EQ(vorn_rtos_queue_put(queue, &second, VORN_RTOS_WAIT_FOREVER), VORN_STATUS_SUCCESS);
        put_done = true;
    });
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_FALSE(put_done.load());
    ASSERT_EQ(vorn_rtos_queue_get(queue, &value, VORN_RTOS_WAIT_FOREVER, nullptr), VORN_STATUS_SUCCESS);
    EXPECT_EQ(value, 7u);
    ASSERT_EQ(vorn_rtos_queue_get(queue, &value, 5000, nullptr), VORN_STATUS_SUCCESS);
    EXPECT_EQ(value, 8u);
    writer.join();
    EXPECT_TRUE(put_done.load());
}

TEST(RtosSemaphore, CountsAndTimeOuts) {
    Sem owned(vorn_rtos_sem_create(2));
    sVORN_RTOS_SEM* sem = owned.get();
    ASSERT_NE(sem, nullptr);
    EXPECT_EQ(vorn_rtos_sem_get(sem, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_rtos_sem_get(sem, VORN_RTOS_WAIT_FOREVER), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_rtos_sem_get(sem, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);
    const auto before = Clock::now();
    EXPECT_EQ(vorn_rtos_sem_get(sem, 30), VORN_STATUS_TIMEOUT);
    EXPECT_GE(Clock::now() - before, milliseconds(30));

    // Each put lets exactly one waiter through.
    std::atomic<int> passed{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            EXPECT_EQ(vorn_rtos_sem_get(sem, VORN_RTOS_WAIT_FOREVER), VORN_STATUS_SUCCESS);
            ++passed;
        });
    }
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(passed.load(), 0);
    vorn_rtos_sem_put(sem);
    EXPECT_TRUE(eventually([&] { return passed.load() == 1; }));
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(passed.load(), 1);
    vorn_rtos_sem_put(sem);
    vorn_rtos_sem_put(sem);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(passed.load(), 3);
    EXPECT_EQ(vorn_rtos_sem_get(sem, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);

    EXPECT_EQ(vorn_rtos_sem_get(nullptr, VORN_RTOS_NO_WAIT), VORN_STATUS_MISSING_ARGUMENT);
    vorn_rtos_sem_put(nullptr);
}

// A semaphore of count 1 as a lock under heavy contention: no update is lost and no
// waiter sleeps through a put (that would hang the test).
TEST(RtosSemaphore, ExcludesAndWakesUnderContention) {
    Sem owned(vorn_rtos_sem_create(1));
    sVORN_RTOS_SEM* sem = owned.get();
    ASSERT_NE(sem, nullptr);
    uint64_t counter = 0;
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                ASSERT_EQ(vorn_rtos_sem_get(sem, t % 2 == 0 ? VORN_RTOS_WAIT_FOREVER : 60000), VORN_STATUS_SUCCESS);
                const uint64_t seen = counter;
                if (i % 64 == 0) std::this_thread::yield();  // hold it long enough for others to block
                counter = seen + 1;
                vorn_rtos_sem_put(sem);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, uint64_t{kThreads} * kRounds);
    EXPECT_EQ(vorn_rtos_sem_get(sem, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_rtos_sem_get(sem, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);
}

TEST(RtosMutex, OnlyNoWaitAndWaitForeverAreAccepted) {
    Mutex owned(vorn_rtos_mutex_create());
    sVORN_RTOS_MUTEX* mutex = owned.get();
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(vorn_rtos_mutex_get(mutex, 10), VORN_STATUS_INVALID);
    // The refused get did not lock: another thread can take it at once.
    std::thread([&] {
        EXPECT_EQ(vorn_rtos_mutex_get(mutex, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
        vorn_rtos_mutex_put(mutex);
    }).join();

    ASSERT_EQ(vorn_rtos_mutex_get(mutex, VORN_RTOS_WAIT_FOREVER), VORN_STATUS_SUCCESS);
    std::thread([&] { EXPECT_EQ(vorn_rtos_mutex_get(mutex, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT); }).join();
    vorn_rtos_mutex_put(mutex);
    EXPECT_EQ(vorn_rtos_mutex_get(mutex, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
    vorn_rtos_mutex_put(mutex);

    EXPECT_EQ(vorn_rtos_mutex_get(nullptr, VORN_RTOS_WAIT_FOREVER), VORN_STATUS_MISSING_ARGUMENT);
    vorn_rtos_mutex_put(nullptr);
}

TEST(RtosThreads, RegisteredThreadsRunOnlyOnceOpened) {
    std::atomic<int> runs[3] = {};
    int arguments[3] = {0, 1, 2};
    std::vector<sVORN_RTOS_THREAD*> records;
    for (int i = 0; i < 3; ++i) {
        sVORN_RTOS_THREAD_PARAMS params;
        params.entry = [&runs](void* argument) { ++runs[*static_cast<int*>(argument)]; };
        params.argument = &arguments[i];
        params.flag = static_cast<uint8_t>(i + 1);
        records.push_back(vorn_rtos_thread_create(params));
        ASSERT_NE(records.back(), nullptr);
        EXPECT_EQ(records.back()->id, std::thread::id());
        EXPECT_FALSE(records.back()->handle.joinable());
        EXPECT_EQ(records.back()->flag, i + 1);
    }
    // An empty entry is registered but has nothing to run.
    sVORN_RTOS_THREAD* idle = vorn_rtos_thread_create(sVORN_RTOS_THREAD_PARAMS{});
    EXPECT_EQ(records[0]->next, records[1]);
    EXPECT_EQ(records[1]->next, records[2]);
    EXPECT_EQ(records[2]->next, idle);
    EXPECT_EQ(idle->next, nullptr);

    std::this_thread::sleep_for(milliseconds(20));
    for (auto& r : runs) EXPECT_EQ(r.load(), 0);
    EXPECT_FALSE(vorn_rtos_is_open());

    EXPECT_EQ(vorn_rtos_open(), VORN_STATUS_SUCCESS);
    EXPECT_TRUE(vorn_rtos_is_open());
    EXPECT_EQ(vorn_rtos_open(), VORN_STATUS_NOT_STARTED) << "a second open starts nothing";
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(eventually([&] { return runs[i].load() == 1; })) << i;
        EXPECT_NE(records[i]->id, std::thread::id());
        EXPECT_EQ(records[i]->id, records[i]->handle.get_id());
        records[i]->handle.join();
    }
    EXPECT_EQ(idle->id, std::thread::id());
    for (auto& r : runs) EXPECT_EQ(r.load(), 1);
}

// Lines of the event log go to standard error, where the death test reads them.
void start_event_log_on_stderr() {
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.stream = stderr;
    vorn_event_init(&params);
}

TEST(RtosDeathTest, RegisteringAfterTheOpenEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            start_event_log_on_stderr();
            vorn_rtos_open();
            vorn_rtos_thread_create(sVORN_RTOS_THREAD_PARAMS{});
        },
        testing::ExitedWithCode(1),
        // One line only: the simple regular expressions of the Windows build stop at line ends.
        "LVL:0 RC:-503 *RTOS :Vorn_rtos_thread_create.. can NOT be called after vorn_rtos is opened!");
}

TEST(RtosDeathTest, NullQueuesEndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    uint32_t message = 0;
    EXPECT_EXIT(vorn_rtos_queue_put(nullptr, &message, 0), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            start_event_log_on_stderr();
            vorn_rtos_queue_get(nullptr, &message, 0, nullptr);
        },
        testing::ExitedWithCode(1), "Assert in function vorn_rtos_queue_get at line");
    EXPECT_EXIT(vorn_rtos_queue_flush(nullptr), testing::ExitedWithCode(1), "");
}

}  // namespace
