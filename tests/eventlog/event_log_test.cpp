// The event log core through a caller's stream (whole lines compared with the time fixed)
// and through a forwarding callback.
#include "eventlog/event_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "eventlog/event_log_clock.h"
#include "eventlog/log_test_support.h"

namespace {

using orvix_test::line;

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;

// An event log writing into a temporary stream with the time fixed.
class StreamLog : public testing::Test {
protected:
    void SetUp() override { vorn_event_set_time_source(orvix_test::fixed_time); }
    void TearDown() override {
        vorn_event_set_time_source(nullptr);
        std::fclose(stream_);
    }
    void init(int32_t level = VORN_EVENT_LEVEL_INFO, int32_t enabled = 1, int32_t echo = 0) {
        vorn_event_init_params params = orvix_test::init_params("", 0);
        params.stream = stream_;
        params.level = level;
        params.enabled = enabled;
        params.echo_to_console = echo;
        ASSERT_EQ(vorn_event_init(&params), 0);
    }
    std::string text() {
        std::string out;
        std::rewind(stream_);
        for (int c; (c = std::fgetc(stream_)) != EOF;) out.push_back(static_cast<char>(c));
        std::fseek(stream_, 0, SEEK_END);  // a write may follow this read
        return out;
    }

    FILE* stream_ = std::tmpfile();
};

TEST_F(StreamLog, LifecycleEchoAndASecondInitialisation) {
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "early"), VORN_STATUS_NOT_STARTED);
    init(VORN_EVENT_LEVEL_ERROR, 1, 1);
    vorn_event_init_params again = orvix_test::init_params("", 0);
    again.level = VORN_EVENT_LEVEL_TRACE;
    EXPECT_EQ(vorn_event_init(&again), 0);  // changes nothing
    testing::internal::CaptureStdout();
    EXPECT_EQ(vorn_event_log(COMMON, VORN_EVENT_LEVEL_INFO, 0, "still filtered at 1"), 0);
    EXPECT_EQ(vorn_event_log(COMMON, VORN_EVENT_LEVEL_ERROR, 0, "running"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), line("", 1, 0, "COMMON", "running"));
    EXPECT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "late"), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(text(), line("", 1, 0, "COMMON", "running"));
}

TEST_F(StreamLog, ADisabledLogDropsEverything) {
    init(VORN_EVENT_LEVEL_INFO, 0);
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "dropped"), 0);
    EXPECT_EQ(vorn_event_log(156, 0, 0, "dropped before the category test"), 0);
    EXPECT_EQ(text(), "");
}

TEST_F(StreamLog, Admission) {
    init();
    EXPECT_EQ(vorn_event_set_filter_mode(5), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_set_category_level(0, 7), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_set_category_level(156, 2), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_log(156, VORN_EVENT_LEVEL_INFO, 0, "bad category"), VORN_STATUS_INVALID);
    // The level test comes first: a filtered message never reaches the category test.
    EXPECT_EQ(vorn_event_log(156, VORN_EVENT_LEVEL_DEBUG, 0, "filtered"), 0);
    EXPECT_EQ(vorn_event_log(0xFFFFFFFFu, VORN_EVENT_LEVEL_CRITICAL, 0, "bad category"), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_log(COMMON, VORN_EVENT_LEVEL_DEBUG, 0, "debug dropped by default"), 0);
    vorn_event_log(COMMON, VORN_EVENT_LEVEL_INFO, 0, "info passes");
    // The more verbose of the category's and the global threshold wins.
    ASSERT_EQ(vorn_event_set_filter_mode(VORN_EVENT_LEVEL_DEBUG), 0);
    ASSERT_EQ(vorn_event_set_category_level(COMMON, VORN_EVENT_LEVEL_ERROR), 0);
    vorn_event_log(COMMON, VORN_EVENT_LEVEL_DEBUG, 0, "global 3 beats category 1");
    vorn_event_log(COMMON, VORN_EVENT_LEVEL_TRACE, 0, "trace dropped");
    ASSERT_EQ(vorn_event_set_filter_mode(VORN_EVENT_LEVEL_ERROR), 0);
    ASSERT_EQ(vorn_event_set_category_level(VORN_EVENT_CAT_AGENT, VORN_EVENT_LEVEL_TRACE), 0);
    vorn_event_log(VORN_EVENT_CAT_AGENT, VORN_EVENT_LEVEL_TRACE, 0, "category 4 beats global 1");
    vorn_event_log(VORN_EVENT_CAT_RTOS, VORN_EVENT_LEVEL_INFO, 0, "unset category follows global 1");
    // Category 0 sets them all; levels outside 0..4 are dropped with 0 whatever the thresholds.
    ASSERT_EQ(vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE), 0);
    for (int32_t level = -1; level <= 5; ++level)
        EXPECT_EQ(vorn_event_log(VORN_EVENT_CAT_RTOS, level, 0, "level %d", level), 0);

    std::string expected = line("", 2, 0, "COMMON", "info passes") +
                           line("", 0, 0, "COMMON", "Setting event filter mode to 3") +
                           line("", 3, 0, "COMMON", "global 3 beats category 1") +
                           line("", 0, 0, "COMMON", "Setting event filter mode to 1") +
                           line("", 4, 0, "AGENT", "category 4 beats global 1");
    for (int level = 0; level <= 4; ++level)
        expected += line("", level, 0, "RTOS", "level " + std::to_string(level));
    EXPECT_EQ(text(), expected);
}

vorn_event_utc_time g_time;

// Whatever the caller passes, the line is what the printf format makes of it, cut to fit
// the 640-byte buffer.
TEST_F(StreamLog, LineFormat) {
    init();
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    vorn_event_log(VORN_EVENT_CAT_PERF_PROVIDER_DLL, 4, -501, "%s %05.1f one\r\ntwo\n", "formatted", 3.14159);
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, 0, 7, "%s", "");
    std::string expected =
        "2024-03-09T07:05:04.032Z  > LVL:4 RC:-501 PERF_PROVIDER_DLL :formatted 003.1 one  two \n"
        "2024-03-09T07:05:04.032Z  > LVL:0 RC:   7        MGMT_ENV :\n";

    const std::string head = line("", 2, 0, "COMMON", "", "");
    // A line of 638 characters and its line feed still fits the 640-byte buffer.
    const std::string fits(638 - head.size(), 'f');
    vorn_event_log(COMMON, 2, 0, "%s", fits.c_str());
    // One character more: the line is cut to 638 characters and the line feed.
    vorn_event_log(COMMON, 2, 0, "%sX", std::string(fits.size(), 'c').c_str());
    expected += head + fits + "\n" + head + std::string(fits.size(), 'c') + "\n";

    // A clock out of range is printed as it comes; a status takes four places or more.
    vorn_event_set_time_source([](vorn_event_utc_time* now) { *now = g_time; });
    const struct {
        vorn_event_utc_time time;
        int32_t status;
        const char* line;
    } odd[] = {
        {{999, 1, 2, 3, 4, 5, 6}, -999, "999-01-02T03:04:05.006Z  > LVL:2 RC:-999          COMMON :-999\n"},
        {{10000, 100, 0, 24, 60, 61, 1000},
         10000,
         "10000-100-00T24:60:61.1000Z  > LVL:2 RC:10000          COMMON :10000\n"},
        {{-1, -2, -3, -4, -5, -6, -7},
         INT32_MIN,
         "-1--2--3T-4:-5:-6.-07Z  > LVL:2 RC:-2147483648          COMMON :-2147483648\n"},
    };
    for (const auto& c : odd) {
        g_time = c.time;
        vorn_event_log(COMMON, 2, c.status, "%d", c.status);
        expected += c.line;
    }
    EXPECT_EQ(text(), expected);
}

// The summary carries the level and status of the message that closed the run, and the
// category of this call; a repeat at another level or category is still a repeat. Long
// runs are summarised every 10000 repeats and counted again from 0.
TEST_F(StreamLog, RepeatsAreSummarised) {
    init();
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    for (int i = 0; i < 3; ++i) vorn_event_log(COMMON, 2, 0, "three times");
    vorn_event_log(COMMON, 2, 0, "next");
    vorn_event_log(COMMON, 2, 0, "next");
    vorn_event_log(VORN_EVENT_CAT_AGENT, 4, -9, "next");
    vorn_event_log(VORN_EVENT_CAT_AGENT, 1, 77, "closing");
    vorn_event_log(COMMON, 2, 0, "closing");
    std::string expected =
        line("", 2, 0, "COMMON", "three times") + line("", 2, 0, "COMMON", "Last message repeated 2 times") +
        line("", 2, 0, "COMMON", "next") + line("", 1, 77, "AGENT", "Last message repeated 2 times") +
        line("", 1, 77, "AGENT", "closing");
    ASSERT_EQ(text(), expected);

    for (int i = 0; i < 10001; ++i) vorn_event_log(COMMON, 2, 0, "flood");
    vorn_event_log(COMMON, 2, 0, "after");
    for (int i = 0; i < 10002; ++i) vorn_event_log(COMMON, 2, 0, "again");
    vorn_event_log(COMMON, 2, 0, "end");
    for (const char* message : {"Last message repeated 1 time", "flood", "Last message repeated 10000 times",
                                "Last message repeated 0 times", "after", "again",
                                "Last message repeated 10000 times", "Last message repeated 1 time", "end"}) {
        expected += line("", 2, 0, "COMMON", message);
    }
    EXPECT_EQ(text(), expected);
}

int32_t answer_seven(const char*, int32_t, uint32_t, int32_t, int32_t) { return 7; }

// Messages go to the callback instead of any line or file, each call (no repeat
// suppression), and its result comes back. It is installed once only.
TEST(ForwardingCallback, TakesMessagesInsteadOfLinesAndIsInstalledOnce) {
    orvix_test::LogSandbox box;
    ASSERT_EQ(vorn_event_set_forwarding_callback(orvix_test::record_forwarded), 0);
    EXPECT_EQ(vorn_event_set_forwarding_callback(answer_seven),
              VORN_STATUS_ALREADY_SET);  // its message: -503
    const vorn_event_init_params params = orvix_test::init_params("", 0);
    ASSERT_EQ(vorn_event_init(&params), 0);
    EXPECT_EQ(vorn_event_set_forwarding_callback(nullptr), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_set_forwarding_callback(answer_seven), VORN_STATUS_ALREADY_SET);
    EXPECT_EQ(vorn_event_log(VORN_EVENT_CAT_AGENT, 2, -42, "value %d\r\nnext", 7), 3);
    EXPECT_EQ(vorn_event_log(VORN_EVENT_CAT_AGENT, 2, -42, "value %d\r\nnext", 7), 4);
    EXPECT_EQ(vorn_event_log(COMMON, 3, 0, "filtered first"), 0);
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "%s", std::string(2000, 'z').c_str()), 5);
    EXPECT_EQ(
        orvix_test::forwarded(),
        (std::vector<orvix_test::Forwarded>{
            {"vorn_event_set_forwarding_callback: called with a 0 parameter. ignoring", COMMON, 1, -501},
            {"vorn_event_set_forwarding_callback: called a second time. ignoring", COMMON, 1, -511},
            {"value 7  next", VORN_EVENT_CAT_AGENT, 2, -42},
            {"value 7  next", VORN_EVENT_CAT_AGENT, 2, -42},
            {std::string(639, 'z'), COMMON, 0, 0}}));
    EXPECT_EQ(orvix_test::files_in(box.log_folder), std::vector<std::string>{});
}

}  // namespace
