// The policy reader over the registry seam (the in-process registry natively, the real one
// sandboxed per process under Wine), with its reports caught by an agent log callback, and
// the agent log level read from the store.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "OrvixLog/IOrvixLog.h"
#include "config/environment_store.h"
#include "config/sources_test_support.h"
#include "eventlog/event_log.h"
#include "eventlog/log_test_support.h"
#include "os/registry.h"
#include "windows/OrvixSystemSettingsWin32.h"

namespace {

using namespace orvix::os;
using orvix::readGpoSetting;

constexpr char16_t kKey[] = u"SOFTWARE\\Policies\\Quillon\\OrvixGpoTest";
const std::u16string kTooLong(40, u'x');  // for a buffer of 32 characters

std::vector<std::string> g_reports;

class PolicyReader : public testing::Test {
  protected:
    void SetUp() override {
        // An agent log without a file, whose output the test reads.
        orvix::IOrvixLog::createInstanceIfNeeded(false, false);
        ASSERT_NE(orvix::IOrvixLog::getInstance(), nullptr);
        orvix::IOrvixLog::getInstance()->setCallback(
            [](const std::string& text) { g_reports.push_back(text); });
        registry_delete_tree(kHkeyLocalMachine, kKey);
        ASSERT_EQ(registry_create_key(kHkeyLocalMachine, kKey, kKeyAllAccess, &key_), kErrorSuccess);
    }
    void TearDown() override {
        registry_close_key(key_);
        registry_delete_tree(kHkeyLocalMachine, kKey);
    }
    // Writes the value and reads it back into buffer, whose bytes start as 0xAB.
    int32_t round_trip(const char16_t* name, const std::u16string& data, uint32_t type = kRegSz) {
        EXPECT_EQ(registry_set_value(key_, name, type, data.data(), static_cast<uint32_t>(data.size() * 2)),
                  kErrorSuccess);
        std::memset(buffer_, 0xAB, sizeof buffer_);
        size_ = sizeof buffer_;
        return readGpoSetting(kKey, name, buffer_, &size_);
    }
    RegKey key_ = 0;
    char16_t buffer_[32];
    uint32_t size_ = 0;
};

// The types the console tool's policy tests read natively, here under Wine too.
TEST_F(PolicyReader, TextIsStrippedAndZeroFilledAndAMissingKeyOrValueIsSilent) {
    ASSERT_EQ(round_trip(u"Server", u" \t host.example \r\n"), 0);
    EXPECT_EQ(size_, 19u * 2) << "the unstripped data and the terminator the read adds";
    EXPECT_EQ(std::u16string(buffer_, 32), u"host.example" + std::u16string(20, u'\0'));
    ASSERT_EQ(round_trip(u"List", std::u16string(u"  first \0second\0\0", 17), kRegMultiSz), 0);
    EXPECT_EQ(std::u16string(buffer_, 32), u"first" + std::u16string(27, u'\0')) << "only the first string";

    EXPECT_EQ(readGpoSetting(u"SOFTWARE\\Policies\\Quillon\\NoSuchKey", u"Server", buffer_, &size_), 1);
    EXPECT_EQ(readGpoSetting(kKey, u"NoSuchValue", buffer_, &size_), 1);
    EXPECT_TRUE(g_reports.empty()) << "a missing key or value is silent";
}

TEST_F(PolicyReader, ASmallBufferAndMissingArgumentsAreReportedWhateverTheValuesName) {
    EXPECT_EQ(round_trip(u"Server", kTooLong), 1);
    EXPECT_EQ(readGpoSetting(kKey, u"Server", nullptr, &size_), 1);
    EXPECT_EQ(readGpoSetting(kKey, u"Server", buffer_, nullptr), 1);
    const std::string thread = "<ERROR> " + orvix_test::thread_prefix();
    const std::string could_not =
        thread + "Could not read gpo setting 'SOFTWARE\\Policies\\Quillon\\OrvixGpoTest\\";
    EXPECT_EQ(g_reports, (std::vector<std::string>{
                             could_not + "Server', error: 234",
                             thread + "Invalid setting parameter specified for gpo setting 'Server'",
                             thread + "Invalid size parameter specified for gpo setting 'Server'"}));

    // A value name the C library cannot convert for "%ls" (outside the "C" locale's
    // repertoire) must not cost the report.
    g_reports.clear();
    EXPECT_EQ(round_trip(u"Gr\u00F6\u00DFe", kTooLong), 1);
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].rfind(could_not + "Gr", 0), 0u) << g_reports[0];
    EXPECT_NE(g_reports[0].find("e', error: 234"), std::string::npos) << g_reports[0];
}

// Without an agent log (no configuration manager) the reports go nowhere, and the result
// is the same.
TEST(PolicyReaderWithoutAgentLog, ReportsAreDropped) {
    testing::internal::CaptureStderr();
    char16_t buffer[4];
    EXPECT_EQ(readGpoSetting(kKey, u"Server", buffer, nullptr), 1);
    EXPECT_EQ(orvix::IOrvixLog::getInstance(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to get the configuration management instance.\n");
}

// The level from the store, as the agent log takes it at start-up.
TEST(AgentLogLevel, IsTwoWithoutAStoreAndBoundedToTheEventLogsLevels) {
    sources_test::LogCapture::start();
    EXPECT_EQ(orvix::readAgentLogLevel(), 2);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    EXPECT_EQ(orvix::readAgentLogLevel(), 2) << "the catalogue default";
    const std::pair<int32_t, int32_t> cases[] = {{1, 1}, {6, 6}, {0, 2}, {7, 6}};  // stored, level
    for (const auto& [stored, level] : cases) {
        ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.event_filter_mode", static_cast<eVORN_MGMT_ENV_ENUM>(stored)),
                  0);
        EXPECT_EQ(orvix::readAgentLogLevel(), level) << stored;
    }
    std::vector<std::string> agent;
    for (const auto& r : sources_test::LogCapture::records()) {
        if (r.category == VORN_EVENT_CAT_AGENT)
            agent.push_back(std::to_string(r.level) + " " + std::to_string(r.status) + " " + r.message);
    }
    EXPECT_EQ(agent,
              (std::vector<std::string>{"1 -500 Unexpected log level 0 set, using default instead.",
                                        "1 -500 Unexpected log level 7 set, using maximum verbosity."}));
    vorn_event_shutdown();
}

}  // namespace
