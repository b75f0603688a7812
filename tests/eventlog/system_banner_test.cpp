// The machine banner: the local-time line and the masking rule, then whole banners over
// chosen system facts, as a log file holds them and as the event log receives them
// (through a recording callback), and the failures of each fact.
#include "eventlog/system_banner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/log_test_support.h"
#include "os/file_system.h"
#include "support/fake_system_facts.h"

namespace {

using orvix::eventlog::banner_local_time_line;
using orvix_test::FakeSystemFacts;
using orvix_test::forwarded;
using orvix_test::Forwarded;

const std::string kSeparator(77, '=');

TEST(BannerLocalTime, OffsetSignRoundingAndCarry) {
    const orvix::os::LocalDateTime t{2024, 3, 9, 7, 5, 4, 32};
    EXPECT_EQ(banner_local_time_line(t, -19800), "local time 2024-03-09T07:05:04.032+05:30");
    EXPECT_EQ(banner_local_time_line(t, 0), "local time 2024-03-09T07:05:04.032+00:00");
    // Left-over seconds round up a minute only above 30, and 60 minutes carry into the hours.
    EXPECT_EQ(banner_local_time_line(t, 30), "local time 2024-03-09T07:05:04.032-00:00");
    EXPECT_EQ(banner_local_time_line(t, 31), "local time 2024-03-09T07:05:04.032-00:01");
    EXPECT_EQ(banner_local_time_line(t, -(5 * 3600 + 59 * 60 + 31)),
              "local time 2024-03-09T07:05:04.032+06:00");
    EXPECT_EQ(banner_local_time_line({987, 12, 31, 23, 59, 59, 999}, -(14 * 3600)),
              "local time 987-12-31T23:59:59.999+14:00");
}

TEST(BannerMask, FirstAndLastCharacterAroundFiveAsterisks) {
    EXPECT_EQ(vorn_util_mask_name(u"administrator"), u"a*****r");
    EXPECT_EQ(vorn_util_mask_name(u""), u"");
    // A character outside the basic plane is one character, never half of one.
    EXPECT_EQ(vorn_util_mask_name(u"\U0001F600bob\U0001F601"), u"\U0001F600*****\U0001F601");
    EXPECT_EQ(vorn_util_mask_name(u"\U0001F600"), u"\U0001F600*****\U0001F600");
}

class Banner : public testing::Test {
  protected:
    void SetUp() override {
        facts_.version_record = FakeSystemFacts::record(10, 0, 22631, 1);
        facts_.product_type = 48;
        facts_.processor_info = {4, 9, 8664};
        facts_.memory_status =
            orvix::os::MemoryStatus{1536ull << 20, 4096ull << 20, (3ull << 20) - 1, 8ull << 20};
        facts_.user = u"administrator";
        facts_.domain = u"CORP";
        facts_.now = orvix::os::LocalDateTime{2024, 3, 9, 7, 5, 4, 32};
        facts_.seconds_west = -19800;
    }
    void TearDown() override {
        vorn_event_shutdown();
        vorn_event_set_time_source(nullptr);
    }

    orvix_test::LogSandbox box_;
    FakeSystemFacts facts_;
};

// Every banner line is COMMON, level 2, status 0.
TEST_F(Banner, ALogFileOpensWithEveryBlockInOrder) {
    vorn_event_set_time_source(orvix_test::fixed_time);
    ASSERT_EQ(vorn_event_start_logging("agent", 1, 1, 0, 1), 0);
    char path[512];
    ASSERT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
    ASSERT_EQ(vorn_event_shutdown(), 0);
    std::string expected;
    for (const std::string& message : std::vector<std::string>{
             "local time 2024-03-09T07:05:04.032+05:30", "-- agent begins.", "--------------------------",
             "**** System Info", "Windows 11 Professional (10.0 build 22631)", "4 processors detected",
             "Intel or AMD 64 bit", "AMD processor", "1536MB/4096MB of physical memory available",
             "2MB/8MB of virtual memory available", "**** ", kSeparator + " ",
             "agent running under session (C*****P\\a*****r)", kSeparator + " ",
             "FOLDER_TEMP               = '" + box_.temp + "'",
             "FOLDER_PROGRAM_DATA       = '" + orvix_test::join({box_.program_data, "Quillon"}) +
                 orvix_test::separator() + "'",
             "Process ID = " + std::to_string(orvix::os::current_process_id())}) {
        expected += orvix_test::line(VORN_EVENT_NULL_SESSION_ID, 2, 0, "COMMON", message, "\r\n");
    }
    EXPECT_EQ(orvix_test::read_file(path), expected);
}

// A component that starts the event log itself and then writes the banner from the same
// initialisation record, as the interface documents the entry point. Both flags off: four
// lines. A record with no name prints the name the event log uses; no record, -502.
TEST_F(Banner, FromTheInitialisationRecord) {
    int32_t (*const entry_point)(const vorn_event_init_params*) = &vorn_event_write_banner;
    vorn_event_set_time_source(orvix_test::fixed_time);
    vorn_event_init_params params;
    ASSERT_EQ(vorn_event_get_default_init_params(&params), 0);
    params.app_name = "component";
    params.asynchronous = 1;
    params.show_system_info = 0;
    params.show_folders = 0;
    ASSERT_EQ(vorn_event_init(&params), 0);
    EXPECT_EQ(entry_point(&params), 0);
    params.app_name = nullptr;
    EXPECT_EQ(entry_point(&params), 0);
    EXPECT_EQ(entry_point(nullptr), VORN_STATUS_MISSING_ARGUMENT);
    char path[512];
    ASSERT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
    ASSERT_EQ(vorn_event_shutdown(), 0);
    std::string expected;
    for (const char* app : {"component", "unknown_app"}) {
        for (const std::string& message :
             {std::string("local time 2024-03-09T07:05:04.032+05:30"), "-- " + std::string(app) + " begins.",
              std::string("--------------------------"),
              "Process ID = " + std::to_string(orvix::os::current_process_id())}) {
            expected += orvix_test::line("", 2, 0, "COMMON", message, "\r\n");
        }
    }
    EXPECT_EQ(orvix_test::read_file(path), expected);
}

TEST_F(Banner, WithoutLocalTimeOrTimeZoneNothingIsWritten) {
    orvix_test::start_recording();
    facts_.now.reset();
    EXPECT_EQ(vorn_event_write_banner("agent", 1, 1), VORN_STATUS_FAILURE);
    facts_.now = orvix::os::LocalDateTime{};
    facts_.seconds_west.reset();
    EXPECT_EQ(vorn_event_write_banner("agent", 1, 1), VORN_STATUS_FAILURE);
    EXPECT_TRUE(forwarded().empty()) << forwarded().front();
}

// Other processors add no lines of their own; a failed memory query reads as nothing.
TEST_F(Banner, DescriptionOfOtherMachines) {
    struct Case {
        orvix::os::ProcessorInfo processors;
        std::string lines;
    } cases[] = {
        {{8, 5, 0}, "ARM\n"},
        {{8, 0xFFFF, 8665}, ""},
    };
    facts_.memory_status.reset();
    for (const Case& c : cases) {
        facts_.processor_info = c.processors;
        char text[1024];
        ASSERT_EQ(vorn_util_get_system_info(text, sizeof text), 0);
        EXPECT_EQ(text, "Windows 11 Professional (10.0 build 22631)\n" + std::to_string(c.processors.count) +
                            " processors detected\n" + c.lines +
                            "0MB/0MB of physical memory available\n0MB/0MB of virtual memory available\n");
    }
    char small[12];
    ASSERT_EQ(vorn_util_get_system_info(small, sizeof small), 0);
    EXPECT_EQ(std::string(small), "Windows 11 ");
    EXPECT_EQ(vorn_util_get_system_info(nullptr, 10), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(vorn_util_get_system_info(small, 0), VORN_STATUS_MISSING_ARGUMENT);
}

TEST_F(Banner, SessionUserFailuresAndEmptyNames) {
    orvix_test::start_recording();
    facts_.user.reset();
    facts_.error = 1008;
    vorn_util_log_session_user("agent");
    facts_.user = u"";  // writes nothing
    vorn_util_log_session_user("agent");
    EXPECT_EQ(forwarded(),
              (std::vector<Forwarded>{{"Unable to determine username.", VORN_EVENT_CAT_COMMON, 1, 1008}}));

    const auto session_line = [] {
        forwarded().clear();
        vorn_util_log_session_user("agent");
        return forwarded().size() == 3 ? forwarded()[1].message : "not three lines";
    };
    // No domain, or none that can be asked for, reads ".".
    facts_.user = u"x";
    facts_.domain = u"";
    EXPECT_EQ(session_line(), "agent running under session (.\\x*****x)");
    facts_.domain.reset();
    EXPECT_EQ(session_line(), "agent running under session (.\\x*****x)");
    facts_.user = u"J\u00fcrgen";
    facts_.domain = u"\u00c9COLE";
    EXPECT_EQ(session_line(), "agent running under session (\xc3\x89*****E\\J*****n)");
}

}  // namespace
