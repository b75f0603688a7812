// The machine banner: the local-time line and the masking rule, then whole banners over
// chosen system facts as the event log receives them (through a recording callback), the
// failures of each fact, and a real log file over the running system's facts.
#include "eventlog/system_banner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/log_test_support.h"
#include "os/file_system.h"
#include "platform/text_conversion.h"
#include "platform/windows_version.h"
#include "support/fake_system_facts.h"

namespace {

using orvix::eventlog::banner_local_time_line;
using orvix_test::FakeSystemFacts;
using orvix_test::forwarded;
using orvix_test::Forwarded;

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;
const std::string kSeparator(77, '=');

TEST(BannerLocalTime, OffsetSignRoundingAndCarry) {
    const orvix::os::LocalDateTime t{2024, 3, 9, 7, 5, 4, 32};
    EXPECT_EQ(banner_local_time_line(t, 18000), "local time 2024-03-09T07:05:04.032-05:00");
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
    EXPECT_EQ(vorn_util_mask_name(u"CORP"), u"C*****P");
    EXPECT_EQ(vorn_util_mask_name(u"x"), u"x*****x");
    EXPECT_EQ(vorn_util_mask_name(u""), u"");
    // A character outside the basic plane is one character, never half of one.
    EXPECT_EQ(vorn_util_mask_name(u"\U0001F600bob\U0001F601"), u"\U0001F600*****\U0001F601");
    EXPECT_EQ(vorn_util_mask_name(u"\U0001F600"), u"\U0001F600*****\U0001F600");
}

// Every banner line is COMMON, level 2, status 0 unless said otherwise.
Forwarded info(const std::string& message) { return {message, COMMON, 2, 0}; }

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
        orvix_test::start_recording();
    }
    void TearDown() override { vorn_event_shutdown(); }

    std::string pid() { return std::to_string(orvix::os::current_process_id()); }

    orvix_test::LogSandbox box_;
    FakeSystemFacts facts_;
};

TEST_F(Banner, EveryBlockInOrder) {
    ASSERT_EQ(vorn_event_write_banner("agent", 1, 1), 0);
    const std::vector<Forwarded> expected = {
        info("local time 2024-03-09T07:05:04.032+05:30"),
        info("-- agent begins."),
        info("--------------------------"),
        info("**** System Info"),
        info("Windows 11 Professional (10.0 build 22631)"),
        info("4 processors detected"),
        info("Intel or AMD 64 bit"),
        info("AMD processor"),
        info("1536MB/4096MB of physical memory available"),
        info("2MB/8MB of virtual memory available"),
        info("**** "),
        info(kSeparator + " "),
        info("agent running under session (C*****P\\a*****r)"),
        info(kSeparator + " "),
        info("FOLDER_TEMP               = '" + box_.temp + "'"),
        info("FOLDER_PROGRAM_DATA       = '" + orvix_test::join({box_.program_data, "Quillon"}) +
             orvix_test::separator() + "'"),
        info("Process ID = " + pid()),
    };
    EXPECT_EQ(forwarded(), expected);
}

TEST_F(Banner, WithoutSystemInformationOrFoldersFourLines) {
    ASSERT_EQ(vorn_event_write_banner("agent", 0, 0), 0);
    EXPECT_EQ(forwarded(), (std::vector<Forwarded>{
                               info("local time 2024-03-09T07:05:04.032+05:30"), info("-- agent begins."),
                               info("--------------------------"), info("Process ID = " + pid())}));
}

TEST_F(Banner, WithoutLocalTimeOrTimeZoneNothingIsWritten) {
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
        std::vector<std::string> lines;
    } cases[] = {
        {{1, 0, 586}, {"Intel or AMD 32 bit", "Intel Pentium"}},
        {{1, 0, 386}, {"Intel or AMD 32 bit", "Intel 386"}},
        {{1, 0, 486}, {"Intel or AMD 32 bit", "Intel 486"}},
        {{2, 6, 2200}, {"Itanium", "Intel Itanium"}},
        {{8, 5, 0}, {"ARM"}},
        {{8, 12, 0}, {}},
        {{8, 0xFFFF, 8665}, {}},
    };
    facts_.memory_status.reset();
    for (const Case& c : cases) {
        facts_.processor_info = c.processors;
        std::string expected = "Windows 11 Professional (10.0 build 22631)\n" +
                               std::to_string(c.processors.count) + " processors detected\n";
        for (const std::string& l : c.lines) expected += l + "\n";
        expected += "0MB/0MB of physical memory available\n0MB/0MB of virtual memory available\n";
        char text[1024];
        ASSERT_EQ(vorn_util_get_system_info(text, sizeof text), 0);
        EXPECT_EQ(text, expected);
    }
    char small[12];
    ASSERT_EQ(vorn_util_get_system_info(small, sizeof small), 0);
    EXPECT_EQ(std::string(small), "Windows 11 ");
    EXPECT_EQ(vorn_util_get_system_info(nullptr, 10), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(vorn_util_get_system_info(small, 0), VORN_STATUS_MISSING_ARGUMENT);
}

TEST_F(Banner, SessionUserFailuresAndEmptyNames) {
    facts_.user.reset();
    facts_.error = 1008;
    vorn_util_log_session_user("agent");
    EXPECT_EQ(forwarded(), (std::vector<Forwarded>{{"Unable to determine username.", COMMON, 1, 1008}}));

    forwarded().clear();
    facts_.user = u"";
    vorn_util_log_session_user("agent");
    EXPECT_TRUE(forwarded().empty());

    // No domain, or none that can be asked for, reads ".".
    for (bool domain_fails : {false, true}) {
        forwarded().clear();
        facts_.user = u"x";
        if (domain_fails) {
            facts_.domain.reset();
        } else {
            facts_.domain = u"";
        }
        vorn_util_log_session_user("agent");
        EXPECT_EQ(forwarded(), (std::vector<Forwarded>{info(kSeparator + " "),
                                                       info("agent running under session (.\\x*****x)"),
                                                       info(kSeparator + " ")}));
    }

    forwarded().clear();
    facts_.user = u"J\u00fcrgen";
    facts_.domain = u"\u00c9COLE";
    vorn_util_log_session_user("agent");
    ASSERT_EQ(forwarded().size(), 3u);
    EXPECT_EQ(forwarded()[1].message, "agent running under session (\xc3\x89*****E\\J*****n)");
}

// The running system's facts, but for the session's domain. Wine answers the domain with
// the computer name, which it keeps under HKEY_LOCAL_MACHINE; under the test registry
// sandbox the query still succeeds but hands back uninitialised memory, different on every
// call. The real domain is checked where the sandbox is lifted (system_facts_test_win).
struct RealFactsWithDomain : orvix::os::SystemFacts {
    RealFactsWithDomain() { orvix::os::set_system_facts(this); }
    ~RealFactsWithDomain() override { orvix::os::set_system_facts(nullptr); }
    bool session_domain(std::u16string* domain, uint32_t*) const override {
        *domain = u"QUILLON-TEST";
        return true;
    }
};

// The running system's banner at the head of a real log file, read back line by line.
TEST(BannerFile, ARealLogFileOpensWithTheBanner) {
    RealFactsWithDomain facts_in_use;
    orvix_test::LogSandbox box;
    ASSERT_EQ(vorn_event_start_logging("banner_app", 1, 1, 0, 1), 0);
    char path[512];
    ASSERT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
    ASSERT_EQ(vorn_event_shutdown(), 0);

    std::vector<std::string> messages;
    const std::string text = orvix_test::read_file(path);
    const std::string prefix = " 00000000-0000-0000-0000-000000000000 > LVL:2 RC:   0          COMMON :";
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "unterminated line: " << text.substr(start);
        const std::string line = text.substr(start, end - start);
        // "2024-03-09T07:05:04.032Z" and the fixed prefix, then the message.
        ASSERT_GT(line.size(), 24 + prefix.size());
        EXPECT_EQ(line.substr(24, prefix.size()), prefix) << line;
        messages.push_back(line.substr(24 + prefix.size()));
        start = end + 2;
    }

    const auto& facts = orvix::os::system_facts();
    char os_line[256];
    ASSERT_EQ(vorn_util_get_windows_version(os_line, sizeof os_line), 1);
    std::u16string user, domain;
    ASSERT_TRUE(facts.session_user(&user, nullptr));
    ASSERT_FALSE(user.empty());
    if (!facts.session_domain(&domain, nullptr)) domain.clear();
    auto utf8 = [](const std::u16string& wide) {
        return orvix::text::utf16_to_utf8(vorn_util_mask_name(wide));
    };

    ASSERT_GE(messages.size(), 16u);
    EXPECT_EQ(messages[0].rfind("local time ", 0), 0u) << messages[0];
    EXPECT_EQ(messages[0].size(), std::string("local time 2024-03-09T07:05:04.032+05:30").size())
        << messages[0];
    EXPECT_EQ(messages[1], "-- banner_app begins.");
    EXPECT_EQ(messages[2], "--------------------------");
    EXPECT_EQ(messages[3], "**** System Info");
    EXPECT_EQ(messages[4], os_line);
    EXPECT_EQ(messages[5], std::to_string(facts.processors().count) + " processors detected");
    size_t i = 6;
    while (i < messages.size() && messages[i].find("MB of physical memory available") == std::string::npos)
        ++i;
    ASSERT_EQ(i + 9, messages.size());
    EXPECT_NE(messages[i + 1].find("MB of virtual memory available"), std::string::npos);
    EXPECT_EQ(messages[i + 2], "**** ");
    EXPECT_EQ(messages[i + 3], kSeparator + " ");
    ASSERT_EQ(domain, u"QUILLON-TEST");
    EXPECT_EQ(messages[i + 4], "banner_app running under session (Q*****T\\" + utf8(user) + ")");
    EXPECT_EQ(messages[i + 5], kSeparator + " ");
    EXPECT_EQ(messages[i + 6], "FOLDER_TEMP               = '" + box.temp + "'");
    EXPECT_EQ(messages[i + 7].rfind("FOLDER_PROGRAM_DATA       = '", 0), 0u);
    EXPECT_EQ(messages[i + 8], "Process ID = " + std::to_string(orvix::os::current_process_id()));
}

}  // namespace
