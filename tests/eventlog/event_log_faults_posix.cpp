// A disk that fills up during a write, made real with a file-size limit, which POSIX
// offers without privileges: the writes past it fail part-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <string>

#include "eventlog/event_log.h"
#include "eventlog/log_test_support.h"

TEST(DiskFull, EarlierLinesStayIntactWhenTheDiskFillsUp) {
    orvix_test::LogSandbox box;
    vorn_event_set_time_source(orvix_test::fixed_time);
    ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    vorn_event_init_params params = orvix_test::init_params("limit", 1);
    params.simple_file_name = 1;
    ASSERT_EQ(vorn_event_init(&params), 0);

    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 4000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "line %d", i), 0);
        expected += orvix_test::line("", 2, 0, "COMMON", "line " + std::to_string(i), "\r\n");
    }
    EXPECT_EQ(vorn_event_shutdown(), 0);
    ::setrlimit(RLIMIT_FSIZE, &old);
    // Every line in order up to the limit, and only whole lines: the part of the line that
    // crossed the limit is taken away again, and its notice fits in the room that leaves
    // (the next line does not, and is taken away too).
    std::string whole = expected.substr(0, 4000);
    whole.resize(whole.rfind("\r\n") + 2);
    EXPECT_EQ(orvix_test::read_file(box.log_folder + "limit.txt"),
              whole + "Event logger lost 1 log messages (File too large).\r\n");
}

// The same limit, lifted after the disk "filled": the next write first writes one notice
// that counts the lines that never made it (the one cut at the limit too), with the
// system's reason. The same in both file modes.
class DiskFullThenRoom : public testing::TestWithParam<int32_t> {};

TEST_P(DiskFullThenRoom, TheNextWriteCountsTheLostLines) {
    orvix_test::LogSandbox box;
    vorn_event_set_time_source(orvix_test::fixed_time);
    ::signal(SIGXFSZ, SIG_IGN);
    vorn_event_init_params params = orvix_test::init_params("limit", GetParam());
    params.simple_file_name = 1;
    ASSERT_EQ(vorn_event_init(&params), 0);

    // The limit falls ten bytes into line 50.
    std::string lines[200];
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        lines[i] = orvix_test::line("", 2, 0, "COMMON", "line " + std::to_string(i), "\r\n");
        if (i < 50) expected += lines[i];
    }
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = expected.size() + 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 0; i < 200; ++i) vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "line %d", i);
    EXPECT_EQ(orvix_test::read_file(box.log_folder + "limit.txt"), expected);
    uint64_t lost = 0;
    char reason[200];
    ASSERT_EQ(vorn_event_get_lost_count(&lost, reason, sizeof reason), 0);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "after"), 0);
    EXPECT_EQ(vorn_event_shutdown(), 0);

    EXPECT_EQ(lost, 150u);
    EXPECT_STREQ(reason, "File too large");
    expected += "Event logger lost 150 log messages (File too large).\r\n" +
                orvix_test::line("", 2, 0, "COMMON", "after", "\r\n");
    EXPECT_EQ(orvix_test::read_file(box.log_folder + "limit.txt"), expected);
    ASSERT_EQ(vorn_event_get_lost_count(&lost, nullptr, 0), 0);
    EXPECT_EQ(lost, 150u);
}

INSTANTIATE_TEST_SUITE_P(DiskFull, DiskFullThenRoom, testing::Values(0, 1),
                         [](const testing::TestParamInfo<int32_t>& info) {
                             return info.param != 0 ? std::string("Asynchronous")
                                                    : std::string("Synchronous");
                         });
