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

using orvix_test::forwarded;
using orvix_test::line;

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;

// An event log writing into a temporary stream with the time fixed.
class StreamLog : public testing::Test {
protected:
    void SetUp() override {
        stream_ = std::tmpfile();
        ASSERT_NE(stream_, nullptr);
        vorn_event_set_time_source(orvix_test::fixed_time);
    }
    void TearDown() override {
        vorn_event_set_time_source(nullptr);
        std::fclose(stream_);
    }
    void init(int32_t level = VORN_EVENT_LEVEL_INFO, int32_t enabled = 1) {
        vorn_event_init_params params;
        ASSERT_EQ(vorn_event_get_default_init_params(&params), 0);
        params.stream = stream_;
        params.level = level;
        params.enabled = enabled;
        ASSERT_EQ(vorn_event_init(&params), 0);
    }
    std::string text() {
        std::fflush(stream_);
        std::string out;
        std::rewind(stream_);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, stream_)) > 0) out.append(buffer, n);
        std::fseek(stream_, 0, SEEK_END);
        return out;
    }
    std::vector<std::string> lines() { return orvix_test::split_lines(text()); }

    FILE* stream_ = nullptr;
};

TEST_F(StreamLog, RefusedBeforeInitialisationAndAfterShutdown) {
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "early"), VORN_STATUS_NOT_STARTED);
    init();
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "running"), 0);
    EXPECT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "late"), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(lines(), std::vector<std::string>{line("", 0, 0, "COMMON", "running")});
}

TEST_F(StreamLog, SecondInitialisationChangesNothing) {
    init(VORN_EVENT_LEVEL_ERROR);
    FILE* other = std::tmpfile();
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.stream = other;
    params.level = VORN_EVENT_LEVEL_TRACE;
    EXPECT_EQ(vorn_event_init(&params), 0);
    vorn_event_log(COMMON, VORN_EVENT_LEVEL_INFO, 0, "still filtered at 1");
    vorn_event_log(COMMON, VORN_EVENT_LEVEL_ERROR, 0, "to the first stream");
    EXPECT_EQ(lines(), std::vector<std::string>{line("", 1, 0, "COMMON", "to the first stream")});
    EXPECT_EQ(std::ftell(other), 0);
    std::fclose(other);
}

TEST_F(StreamLog, DefaultThresholdsAndTheMostVerboseCategorySetting) {
    init();
    EXPECT_EQ(vorn_event_log(COMMON, VORN_EVENT_LEVEL_DEBUG, 0, "debug dropped"), 0);
    EXPECT_EQ(vorn_event_log(COMMON, VORN_EVENT_LEVEL_INFO, 0, "info passes"), 0);
    EXPECT_EQ(vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE), 0);
    for (int32_t level = 0; level <= 4; ++level) vorn_event_log(COMMON, level, 0, "level %d", level);
    // Levels outside 0..4 are dropped with 0 whatever the thresholds say.
    EXPECT_EQ(vorn_event_log(COMMON, 5, 0, "five"), 0);
    EXPECT_EQ(vorn_event_log(COMMON, -1, 0, "minus one"), 0);
    EXPECT_EQ(lines(), (std::vector<std::string>{line("", 2, 0, "COMMON", "info passes"),
                                                 line("", 0, 0, "COMMON", "level 0"),
                                                 line("", 1, 0, "COMMON", "level 1"),
                                                 line("", 2, 0, "COMMON", "level 2"),
                                                 line("", 3, 0, "COMMON", "level 3"),
                                                 line("", 4, 0, "COMMON", "level 4")}));
}

TEST_F(StreamLog, TheMoreVerboseOfCategoryAndGlobalThresholdWins) {
    init();
    ASSERT_EQ(vorn_event_set_filter_mode(VORN_EVENT_LEVEL_DEBUG), 0);
    ASSERT_EQ(vorn_event_set_category_level(COMMON, VORN_EVENT_LEVEL_ERROR), 0);
    vorn_event_log(COMMON, VORN_EVENT_LEVEL_DEBUG, 0, "global 3 beats category 1");
    vorn_event_log(COMMON, VORN_EVENT_LEVEL_TRACE, 0, "trace dropped");
    ASSERT_EQ(vorn_event_set_filter_mode(VORN_EVENT_LEVEL_ERROR), 0);
    ASSERT_EQ(vorn_event_set_category_level(VORN_EVENT_CAT_AGENT, VORN_EVENT_LEVEL_TRACE), 0);
    vorn_event_log(VORN_EVENT_CAT_AGENT, VORN_EVENT_LEVEL_TRACE, 0, "category 4 beats global 1");
    vorn_event_log(VORN_EVENT_CAT_RTOS, VORN_EVENT_LEVEL_INFO, 0, "unset category follows global 1");
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           line("", 0, 0, "COMMON", "Setting event filter mode to 3"),
                           line("", 3, 0, "COMMON", "global 3 beats category 1"),
                           line("", 0, 0, "COMMON", "Setting event filter mode to 1"),
                           line("", 4, 0, "AGENT", "category 4 beats global 1"),
                       }));
}

TEST_F(StreamLog, InvalidSettingsAndCategories) {
    init();
    EXPECT_EQ(vorn_event_set_filter_mode(5), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_set_category_level(0, 7), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_set_category_level(156, 2), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_set_category_level(155, 6), 0);
    EXPECT_EQ(vorn_event_log(156, VORN_EVENT_LEVEL_INFO, 0, "bad category"), VORN_STATUS_INVALID);
    // The level test comes first: a filtered message never reaches the category test.
    EXPECT_EQ(vorn_event_log(156, VORN_EVENT_LEVEL_DEBUG, 0, "filtered"), 0);
    EXPECT_EQ(vorn_event_log(0xFFFFFFFFu, VORN_EVENT_LEVEL_CRITICAL, 0, "bad category"), VORN_STATUS_INVALID);
    EXPECT_EQ(text(), "");
}

TEST_F(StreamLog, DisabledLogDropsEverything) {
    init(VORN_EVENT_LEVEL_INFO, 0);
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "dropped"), 0);
    EXPECT_EQ(vorn_event_log(156, 0, 0, "dropped before the category test"), 0);
    EXPECT_EQ(text(), "");
}

TEST_F(StreamLog, LineFormat) {
    init();
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    vorn_event_log(COMMON, 2, 0, "plain");
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, 1, -501, "negative status");
    vorn_event_log(VORN_EVENT_CAT_PERF_PROVIDER_DLL, 4, 123456, "long name and wide status");
    vorn_event_log(124, 3, 7, "%s %d %05.1f", "formatted", 42, 3.14159);
    vorn_event_log(125, 0, 0, "%s", "");
    const std::string expected = "2024-03-09T07:05:04.032Z  > LVL:2 RC:   0          COMMON :plain\n"
                                 "2024-03-09T07:05:04.032Z  > LVL:1 RC:-501        MGMT_ENV :negative status\n"
                                 "2024-03-09T07:05:04.032Z  > LVL:4 RC:123456 PERF_PROVIDER_DLL :long name and wide status\n"
                                 "2024-03-09T07:05:04.032Z  > LVL:3 RC:   7             IPC :formatted 42 003.1\n"
                                 "2024-03-09T07:05:04.032Z  > LVL:0 RC:   0            IPOD :\n";
    EXPECT_EQ(text(), expected);
}

vorn_event_utc_time g_odd_time;
void odd_time(vorn_event_utc_time* now) { *now = g_odd_time; }

// Whatever the clock and the caller pass, the line is what the printf format makes of it.
TEST_F(StreamLog, LinesMatchThePrintfFormatForAnyFieldValues) {
    init();
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    vorn_event_set_time_source(odd_time);
    const vorn_event_utc_time times[] = {
        {2024, 12, 31, 23, 59, 59, 999}, {1000, 1, 1, 0, 0, 0, 0}, {999, 1, 2, 3, 4, 5, 6},
        {10000, 100, 0, 24, 60, 61, 1000}, {-1, -2, -3, -4, -5, -6, -7}, {2024, 3, 9, 7, 5, 4, 32}};
    const int32_t statuses[] = {0, 7, -1, -999, -1000, 9999, 10000, -2147483647 - 1, 2147483647};
    std::string expected;
    int n = 0;
    for (const auto& t : times) {
        g_odd_time = t;
        for (int32_t status : statuses) {
            const uint32_t category = static_cast<uint32_t>(n * 37 % 156);
            const int32_t level = n % 5;
            vorn_event_log(category, level, status, "message %d", n);
            char line[700];
            std::snprintf(line, sizeof line, "%d-%02d-%02dT%02d:%02d:%02d.%03dZ %s > LVL:%d RC:%4d %15s :%s\n", t.year,
                          t.month, t.day, t.hour, t.minute, t.second, t.millisecond, "", level, status,
                          vorn_event_category_name(category), ("message " + std::to_string(n)).c_str());
            expected += line;
            ++n;
        }
    }
    EXPECT_EQ(text(), expected);
}

TEST_F(StreamLog, LineBreaksBecomeSpaces) {
    init();
    vorn_event_log(COMMON, 2, 0, "one\r\ntwo\nthree\r");
    EXPECT_EQ(text(), line("", 2, 0, "COMMON", "one  two three "));
}

TEST_F(StreamLog, LongMessagesAndLinesAreCut) {
    init();
    const std::string head = line("", 2, 0, "COMMON", "", "");
    // A line of 638 characters and its line feed still fits the 640-byte buffer.
    const std::string fits(638 - head.size(), 'f');
    vorn_event_log(COMMON, 2, 0, "%s", fits.c_str());
    // One character more: the line is cut to 638 characters and the line feed.
    const std::string cut = std::string(638 - head.size(), 'c') + "X";
    vorn_event_log(COMMON, 2, 0, "%s", cut.c_str());
    // A 2000-character message keeps 639 characters, then the line is cut as well.
    std::string big;
    for (int i = 0; i < 2000; ++i) big.push_back(static_cast<char>('a' + i % 26));
    vorn_event_log(COMMON, 2, 0, "%s", big.c_str());

    const auto got = lines();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], head + fits + "\n");
    EXPECT_EQ(got[0].size(), 639u);
    EXPECT_EQ(got[1], head + cut.substr(0, cut.size() - 1) + "\n");
    EXPECT_EQ(got[1].size(), 639u);
    EXPECT_EQ(got[2], head + big.substr(0, 638 - head.size()) + "\n");
}

TEST_F(StreamLog, RepeatsAreSummarised) {
    init();
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    for (int i = 0; i < 3; ++i) vorn_event_log(COMMON, 2, 0, "three times");
    vorn_event_log(COMMON, 2, 0, "next");
    vorn_event_log(COMMON, 2, 0, "next");
    // The summary carries the level and status of the message that closed the run, and
    // the category of this call; a repeat at another level or category is still a repeat.
    vorn_event_log(VORN_EVENT_CAT_AGENT, 4, -9, "next");
    vorn_event_log(VORN_EVENT_CAT_AGENT, 1, 77, "closing");
    vorn_event_log(COMMON, 2, 0, "closing");
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           line("", 2, 0, "COMMON", "three times"),
                           line("", 2, 0, "COMMON", "Last message repeated 2 times"),
                           line("", 2, 0, "COMMON", "next"),
                           line("", 1, 77, "AGENT", "Last message repeated 2 times"),
                           line("", 1, 77, "AGENT", "closing"),
                       }));
}

TEST_F(StreamLog, OneRepeatSaysTime) {
    init();
    vorn_event_log(COMMON, 2, 0, "twice");
    vorn_event_log(COMMON, 2, 0, "twice");
    vorn_event_log(COMMON, 1, 5, "other");
    EXPECT_EQ(lines(), (std::vector<std::string>{line("", 2, 0, "COMMON", "twice"),
                                                 line("", 1, 5, "COMMON", "Last message repeated 1 time"),
                                                 line("", 1, 5, "COMMON", "other")}));
}

TEST_F(StreamLog, RunsAreSummarisedEveryTenThousandAndCountAgainFromZero) {
    init();
    for (int i = 0; i < 10001; ++i) vorn_event_log(COMMON, 2, 0, "flood");
    EXPECT_EQ(lines(), (std::vector<std::string>{line("", 2, 0, "COMMON", "flood"),
                                                 line("", 2, 0, "COMMON", "Last message repeated 10000 times")}));
    vorn_event_log(COMMON, 2, 0, "after");
    for (int i = 0; i < 10001; ++i) vorn_event_log(COMMON, 2, 0, "again");
    vorn_event_log(COMMON, 2, 0, "again");
    vorn_event_log(COMMON, 2, 0, "end");
    EXPECT_EQ(lines(), (std::vector<std::string>{line("", 2, 0, "COMMON", "flood"),
                                                 line("", 2, 0, "COMMON", "Last message repeated 10000 times"),
                                                 line("", 2, 0, "COMMON", "Last message repeated 0 times"),
                                                 line("", 2, 0, "COMMON", "after"),
                                                 line("", 2, 0, "COMMON", "again"),
                                                 line("", 2, 0, "COMMON", "Last message repeated 10000 times"),
                                                 line("", 2, 0, "COMMON", "Last message repeated 1 time"),
                                                 line("", 2, 0, "COMMON", "end")}));
}

TEST_F(StreamLog, EchoesToTheConsole) {
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.stream = stream_;
    params.echo_to_console = 1;
    ASSERT_EQ(vorn_event_init(&params), 0);
    testing::internal::CaptureStdout();
    vorn_event_log(COMMON, 2, 0, "echoed");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), line("", 2, 0, "COMMON", "echoed"));
    EXPECT_EQ(text(), line("", 2, 0, "COMMON", "echoed"));
}

TEST(ForwardingCallback, TakesMessagesInsteadOfLines) {
    orvix_test::start_recording();
    EXPECT_EQ(vorn_event_log(VORN_EVENT_CAT_AGENT, 3, -42, "value %d\r\nnext", 7), 0);
    // No repeat suppression: every call reaches the callback.
    vorn_event_log(VORN_EVENT_CAT_AGENT, 3, -42, "value %d\r\nnext", 7);
    const std::string big(2000, 'z');
    vorn_event_log(COMMON, 0, 0, "%s", big.c_str());
    ASSERT_EQ(forwarded().size(), 3u);
    EXPECT_EQ(forwarded()[0].message, "value 7  next");
    EXPECT_EQ(forwarded()[0].reserved, 0);
    EXPECT_EQ(forwarded()[0].category, static_cast<uint32_t>(VORN_EVENT_CAT_AGENT));
    EXPECT_EQ(forwarded()[0].level, 3);
    EXPECT_EQ(forwarded()[0].status, -42);
    EXPECT_EQ(forwarded()[1].message, "value 7  next");
    EXPECT_EQ(forwarded()[2].message, std::string(639, 'z'));
}

int32_t answer_seven(const char*, int32_t, uint32_t, int32_t, int32_t) { return 7; }

TEST(ForwardingCallback, ItsResultIsReturned) {
    ASSERT_EQ(vorn_event_set_forwarding_callback(answer_seven), 0);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    ASSERT_EQ(vorn_event_init(&params), 0);
    EXPECT_EQ(vorn_event_log(COMMON, 2, 0, "x"), 7);
    EXPECT_EQ(vorn_event_log(COMMON, 3, 0, "filtered first"), 0);
}

TEST(ForwardingCallback, InstalledOnceOnly) {
    orvix_test::start_recording();
    EXPECT_EQ(vorn_event_set_forwarding_callback(nullptr), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_event_set_forwarding_callback(answer_seven), VORN_STATUS_ALREADY_SET);
    EXPECT_EQ(vorn_event_log(COMMON, 2, 0, "still recorded"), 0);
    ASSERT_EQ(forwarded().size(), 3u);
    EXPECT_EQ(forwarded()[0].message, "vorn_event_set_forwarding_callback: called with a 0 parameter. ignoring");
    EXPECT_EQ(forwarded()[0].category, static_cast<uint32_t>(COMMON));
    EXPECT_EQ(forwarded()[0].level, 1);
    EXPECT_EQ(forwarded()[0].status, -501);
    EXPECT_EQ(forwarded()[1].message, "vorn_event_set_forwarding_callback: called a second time. ignoring");
    EXPECT_EQ(forwarded()[1].level, 1);
    EXPECT_EQ(forwarded()[1].status, -511);
    EXPECT_EQ(forwarded()[2].message, "still recorded");
}

TEST(ForwardingCallback, SecondInstallationBeforeInitialisationIsRefusedSilently) {
    ASSERT_EQ(vorn_event_set_forwarding_callback(orvix_test::record_forwarded), 0);
    EXPECT_EQ(vorn_event_set_forwarding_callback(answer_seven), VORN_STATUS_ALREADY_SET);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    ASSERT_EQ(vorn_event_init(&params), 0);
    EXPECT_EQ(vorn_event_log(COMMON, 2, 0, "first callback"), 0);
    ASSERT_EQ(forwarded().size(), 1u);
}

}  // namespace
