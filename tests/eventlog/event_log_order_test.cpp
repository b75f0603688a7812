// Lines from several threads, byte for byte. A fixed workload (repeats and the runs that end
// them, lines cut at the buffer's end, CR and LF inside messages, levels below and above the
// thresholds, several categories and statuses) is logged by four threads that take turns in
// a fixed order, so the file has one right content: the one recorded in
// event_log_order.golden.inc from the event log whose formatting ran entirely under its lock.
// Racing threads are the stress test's part.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/event_log_clock.h"
#include "eventlog/log_test_support.h"

namespace {

using namespace orvix_test;

constexpr int kThreads = 4;
constexpr int kSteps = 200;

const char* const kGolden =
#include "eventlog/event_log_order.golden.inc"
    ;

// Logs step i; every choice depends on i only.
void log_step(int i) {
    static const uint32_t kCategories[] = {VORN_EVENT_CAT_COMMON, VORN_EVENT_CAT_AGENT, VORN_EVENT_CAT_MGMT_ENV,
                                           VORN_EVENT_CAT_RTOS};
    const int kind = i % 10;
    if (kind < 3) {
        // Runs of the same message (arguments too), three to nine long, each closed by the next one.
        const int run = i / 30;
        vorn_event_log(VORN_EVENT_CAT_AGENT, 1, -500, "repeat %d|%d|%s", run, run % 3,
                       run % 2 ? "odd" : "even");
        return;
    }
    std::string text;
    if (kind == 3) text = "cut " + std::string(700 + i % 50, static_cast<char>('a' + i % 26));
    if (kind == 4) text = "carriage\rreturn and\nline feed\r\n #" + std::to_string(i);
    if (kind > 5) text = "message " + std::to_string(i) + " of thread " + std::to_string(i % kThreads);
    vorn_event_log(kCategories[i % 4], i % 5, (i % 7) * -100 + (i % 3) * 7, "%s|%d|%s", text.c_str(), i % 3,
                   i % 2 ? "odd" : "even");
}

// Set ORVIX_RECORD_GOLDEN to a file name to write the file's content there as the include.
void record(const std::string& content) {
    const char* target = std::getenv("ORVIX_RECORD_GOLDEN");
    if (target == nullptr) return;
    std::ostringstream out;
    out << "// The file EventLogOrder.ThreadsTakingTurnsWriteTheRecordedFile expects; recorded with\n"
           "// ORVIX_RECORD_GOLDEN=<this file> from an event log known to be right.\n";
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out << "R\"golden(" << line << ")golden\" \"\\r\\n\"\n";
    }
    std::FILE* file = std::fopen(target, "wb");
    ASSERT_NE(file, nullptr);
    std::fputs(out.str().c_str(), file);
    std::fclose(file);
}

TEST(EventLogOrder, ThreadsTakingTurnsWriteTheRecordedFile) {
    LogSandbox box;
    vorn_event_set_time_source(fixed_time);
    vorn_event_init_params params = init_params("order", 1);
    params.level = VORN_EVENT_LEVEL_DEBUG;
    ASSERT_EQ(vorn_event_init(&params), VORN_STATUS_SUCCESS);
    // Thresholds per category: AGENT admits everything, RTOS only errors.
    ASSERT_EQ(vorn_event_set_category_level(VORN_EVENT_CAT_AGENT, VORN_EVENT_LEVEL_TRACE), 0);
    ASSERT_EQ(vorn_event_set_category_level(VORN_EVENT_CAT_RTOS, VORN_EVENT_LEVEL_ERROR), 0);
    char path[1024];
    ASSERT_EQ(vorn_event_get_log_file_path(path, sizeof path), VORN_STATUS_SUCCESS);

    std::atomic<int> turn{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &turn] {
            // Thread t owns the steps whose mixed index falls to it; the order is the steps'.
            for (int i = 0; i < kSteps; ++i) {
                if ((i * 7 + i / 5) % kThreads != t) continue;
                while (turn.load(std::memory_order_acquire) != i) std::this_thread::yield();
                log_step(i);
                turn.store(i + 1, std::memory_order_release);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    vorn_event_shutdown();
    vorn_event_set_time_source(nullptr);
    const std::string content = read_file(path);
    record(content);
    EXPECT_EQ(content, kGolden);
}

}  // namespace
