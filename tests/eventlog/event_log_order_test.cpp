// Lines from several threads, byte for byte. A fixed workload (repeats and the runs that end
// them, lines cut at the buffer's end, CR and LF inside messages, levels below and above the
// thresholds, several categories and statuses) is logged by four threads that take turns in
// a fixed order, so the file has one right content: the one recorded in
// event_log_order.golden.inc from the event log whose formatting ran entirely under its lock.
// A second test lets the threads race and checks what must hold under any interleaving.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <regex>
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
constexpr int kSteps = 400;

const char* const kGolden =
#include "eventlog/event_log_order.golden.inc"
    ;

// What step i logs; every choice depends on i only.
struct Step {
    uint32_t category;
    int32_t level;
    int32_t status;
    std::string text;
};

Step step(int i) {
    static const uint32_t kCategories[] = {VORN_EVENT_CAT_COMMON, VORN_EVENT_CAT_AGENT, VORN_EVENT_CAT_MGMT_ENV,
                                           VORN_EVENT_CAT_RTOS};
    Step s{kCategories[i % 4], i % 5, (i % 7) * -100 + (i % 3) * 7, ""};
    switch (i % 10) {
        case 0:
        case 1:
        case 2:
            // Runs of the same message, three to nine long, each closed by the next one.
            s.text = "repeat " + std::to_string(i / 30);
            s.category = VORN_EVENT_CAT_AGENT;
            s.level = 1;
            s.status = -500;
            break;
        case 3:
            s.text = "cut " + std::string(700 + i % 50, static_cast<char>('a' + i % 26));
            break;
        case 4:
            s.text = "carriage\rreturn and\nline feed\r\n #" + std::to_string(i);
            break;
        case 5:
            s.text = "";
            break;
        default:
            s.text = "message " + std::to_string(i) + " of thread " + std::to_string(i % kThreads);
            break;
    }
    return s;
}

void log_step(int i) {
    const Step s = step(i);
    // The arguments of a repeated message stay the same through its run.
    const int group = i % 10 < 3 ? i / 30 : i;
    vorn_event_log(s.category, s.level, s.status, "%s|%d|%s", s.text.c_str(), group % 3, group % 2 ? "odd" : "even");
}

class EventLogOrder : public testing::Test {
protected:
    void SetUp() override {
        vorn_event_set_time_source(fixed_time);
        vorn_event_init_params params = init_params("order", 1);
        params.level = VORN_EVENT_LEVEL_DEBUG;
        ASSERT_EQ(vorn_event_init(&params), VORN_STATUS_SUCCESS);
        // Thresholds per category: AGENT admits everything, RTOS only errors.
        ASSERT_EQ(vorn_event_set_category_level(VORN_EVENT_CAT_AGENT, VORN_EVENT_LEVEL_TRACE), 0);
        ASSERT_EQ(vorn_event_set_category_level(VORN_EVENT_CAT_RTOS, VORN_EVENT_LEVEL_ERROR), 0);
        char path[1024];
        ASSERT_EQ(vorn_event_get_log_file_path(path, sizeof path), VORN_STATUS_SUCCESS);
        path_ = path;
    }
    void TearDown() override { vorn_event_set_time_source(nullptr); }

    std::string finish() {
        vorn_event_shutdown();
        return read_file(path_);
    }

    LogSandbox box_;
    std::string path_;
};

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

TEST_F(EventLogOrder, ThreadsTakingTurnsWriteTheRecordedFile) {
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
    const std::string content = finish();
    record(content);
    EXPECT_EQ(content, kGolden);
}

// Racing threads: every line is whole (the fixed head, one message, CR LF), none is lost,
// and each thread's lines keep their order.
TEST_F(EventLogOrder, RacingThreadsWriteWholeLinesInEachThreadsOrder) {
    constexpr int kPerThread = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                vorn_event_log(VORN_EVENT_CAT_AGENT, 2, t, "thread %d line %d\r\n%s", t, i,
                               i % 50 == 0 ? std::string(650, 'x').c_str() : "");
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const std::string content = finish();

    const std::regex whole(R"(2024-03-09T07:05:04\.032Z  > LVL:2 RC:   (\d) {11}AGENT :(.*)\r)");
    const std::regex numbered(R"(thread (\d) line (\d+)  (x*))");
    std::map<int, int> next;
    std::istringstream lines(content);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
        const std::string message = m[2];
        std::smatch n;
        ASSERT_TRUE(std::regex_search(message, n, numbered)) << message;
        const int thread = std::stoi(n[1]);
        const int index = std::stoi(n[2]);
        EXPECT_EQ(thread, std::stoi(m[1]));
        EXPECT_EQ(index, next[thread]) << "thread " << thread << " out of order";
        next[thread] = index + 1;
        ++count;
    }
    EXPECT_EQ(count, kThreads * kPerThread);
}

}  // namespace
