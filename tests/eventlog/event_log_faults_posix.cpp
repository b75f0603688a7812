// A disk that fills up, made real with the means POSIX offers without privileges: the
// log file as a link to /dev/full (every write fails with ENOSPC), and a file-size limit
// (writes beyond it fail part-way, as on a disk that fills during a write).
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/log_test_support.h"
#include "os/async_write.h"
#include "os/file_system.h"

namespace {

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;

vorn_event_init_params simple_async(const char* app) {
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = app;
    params.simple_file_name = 1;
    params.asynchronous = 1;
    return params;
}

TEST(DiskFull, TheWriteSeamReportsIt) {
    orvix::os::FileHandle full = orvix::os::kInvalidFile;
    ASSERT_EQ(orvix::os::create_log_file(u"/dev/full", &full), 0u);
    orvix::os::AsyncWriteRecord record;
    ASSERT_TRUE(record.create());
    EXPECT_EQ(record.write(full, "x\r\n", 3), 112u);  // ERROR_DISK_FULL
    EXPECT_FALSE(record.still_pending());
    orvix::os::close_file(full);
}

TEST(DiskFull, LinesAreLostSilentlyAndTheProcessGoesOn) {
    orvix_test::LogSandbox box;
    orvix_test::make_folder(box.log_folder);
    ASSERT_EQ(::symlink("/dev/full", (box.log_folder + "full.txt").c_str()), 0);
    const vorn_event_init_params params = simple_async("full");
    ASSERT_EQ(vorn_event_init(&params), 0);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(vorn_event_log(COMMON, 2, 0, "line %d", i), 0);
    EXPECT_EQ(vorn_event_shutdown(), 0);
}

TEST(DiskFull, EarlierLinesStayIntactWhenTheDiskFillsUp) {
    orvix_test::LogSandbox box;
    vorn_event_set_time_source(orvix_test::fixed_time);
    ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    const vorn_event_init_params params = simple_async("limit");
    ASSERT_EQ(vorn_event_init(&params), 0);

    const rlim_t limit = 4000;
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(vorn_event_log(COMMON, 2, 0, "line %d", i), 0);
    EXPECT_EQ(vorn_event_shutdown(), 0);
    ::setrlimit(RLIMIT_FSIZE, &old);

    const std::string text = orvix_test::read_file(box.log_folder + "limit.txt");
    EXPECT_EQ(text.size(), limit);
    // Every complete line is the next one in order; only the last may be cut short.
    const auto lines = orvix_test::split_lines(text);
    ASSERT_GT(lines.size(), 10u);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i], orvix_test::line("", 2, 0, "COMMON", "line " + std::to_string(i), "\r\n"));
    }
    const std::string whole = orvix_test::line("", 2, 0, "COMMON", "line " + std::to_string(lines.size() - 1), "\r\n");
    EXPECT_EQ(lines.back(), whole.substr(0, lines.back().size()));
}

}  // namespace
