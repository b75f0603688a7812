// The lost-line count read while threads log onto a disk that refuses every write: the
// reader sees a count that only grows, and at the end every line is counted once.
// ThreadSanitizer reports any access to the count that the event log's lock does not order.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/event_log_testing.h"
#include "os/error_text.h"
#include "os/file_system.h"
#include "support/program_data.h"

namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 3;
constexpr int kPerThread = 3000;
constexpr uint32_t kErrorDiskFull = 112;

uint32_t refuse(void*, orvix::os::FileHandle, const void*, uint32_t) { return kErrorDiskFull; }
bool never_pending(void*) { return false; }
bool done_at_once(void*, uint32_t) { return true; }

TEST(LostLinesConcurrency, CountReadWhileThreadsLogOnAFullDisk) {
    const fs::path root =
        fs::temp_directory_path() / ("orvix-lost-" + std::to_string(orvix::os::current_process_id()));
    fs::remove_all(root);
    fs::create_directories(root);
    orvix_test::redirect_program_data(root.string());
    static const vorn_event_write_ops ops{refuse, never_pending, done_at_once, nullptr};
    vorn_event_set_write_ops(&ops);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = "refused";
    params.asynchronous = 1;
    params.simple_file_name = 1;
    ASSERT_EQ(vorn_event_init(&params), 0);

    std::atomic<int> running{kThreads};
    std::vector<std::thread> loggers;
    for (int t = 0; t < kThreads; ++t) {
        loggers.emplace_back([t, &running] {
            for (int i = 0; i < kPerThread; ++i) vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "t%d line %d", t, i);
            --running;
        });
    }
    uint64_t previous = 0;
    int reads = 0;
    while (running.load() > 0 || reads == 0) {
        uint64_t count = 0;
        char reason[100];
        ASSERT_EQ(vorn_event_get_lost_count(&count, reason, sizeof reason), 0);
        EXPECT_GE(count, previous);
        previous = count;
        ++reads;
    }
    for (auto& t : loggers) t.join();
    ASSERT_EQ(vorn_event_shutdown(), 0);
    vorn_event_set_write_ops(nullptr);

    uint64_t count = 0;
    char reason[100];
    ASSERT_EQ(vorn_event_get_lost_count(&count, reason, sizeof reason), 0);
    EXPECT_EQ(count, static_cast<uint64_t>(kThreads * kPerThread));
    EXPECT_EQ(std::string(reason), orvix::os::error_text(kErrorDiskFull));
    std::error_code ec;
    fs::remove_all(root, ec);
}

}  // namespace
