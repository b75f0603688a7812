// The policy reader over the registry seam (the in-process registry natively, the real one
// sandboxed per process under Wine), with its reports caught by an agent log callback, and
// the agent log level read from the store.
#include "windows/OrvixSystemSettingsWin32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "OrvixLog/IOrvixLog.h"
#include "config/environment_store.h"
#include "eventlog/event_log.h"
#include "os/registry.h"
#include "os/thread_id.h"

namespace {

using namespace orvix::os;
using orvix::readGpoSetting;

constexpr char16_t kKey[] = u"SOFTWARE\\Policies\\Quillon\\OrvixGpoTest";

std::vector<std::string>& reports() {
    static std::vector<std::string> texts;
    return texts;
}

std::string error_report(const std::string& message) {
    char thread[16];
    std::snprintf(thread, sizeof thread, "%04X ", static_cast<unsigned>(current_thread_id()));
    return "<ERROR> " + std::string(thread) + message;
}

class PolicyReader : public testing::Test {
protected:
    void SetUp() override {
        // An agent log without a file, whose output the test reads.
        orvix::IOrvixLog::createInstanceIfNeeded(false, false);
        auto log = orvix::IOrvixLog::getInstance();
        ASSERT_NE(log, nullptr);
        log->setCallback([](const std::string& text) { reports().push_back(text); });
        registry_delete_tree(kHkeyLocalMachine, kKey);
        ASSERT_EQ(registry_create_key(kHkeyLocalMachine, kKey, kKeyAllAccess, &key_), kErrorSuccess);
    }
    void TearDown() override {
        registry_close_key(key_);
        registry_delete_tree(kHkeyLocalMachine, kKey);
    }
    void set_text(const char16_t* name, const std::u16string& data, uint32_t type = kRegSz) {
        ASSERT_EQ(registry_set_value(key_, name, type, data.data(), static_cast<uint32_t>(data.size() * 2)),
                  kErrorSuccess);
    }
    RegKey key_ = 0;
};

TEST_F(PolicyReader, TextComesBackStrippedAndZeroFilledWithTheRegistrysSize) {
    set_text(u"Server", std::u16string(u" \t host.example \r\n\0", 19));
    char16_t buffer[32];
    std::memset(buffer, 0xAB, sizeof buffer);
    uint32_t size = sizeof buffer;
    ASSERT_EQ(readGpoSetting(kKey, u"server", buffer, &size), 0);
    EXPECT_EQ(size, 19u * 2) << "the size counts the unstripped data";
    EXPECT_EQ(std::u16string(buffer, 12), u"host.example");
    for (size_t i = 12; i < 32; ++i) EXPECT_EQ(buffer[i], 0) << "at " << i;
    EXPECT_TRUE(reports().empty());
}

TEST_F(PolicyReader, AMultiStringGivesItsFirstStringAndOtherTypesTheirBytes) {
    set_text(u"List", std::u16string(u"  first \0second\0\0", 17), kRegMultiSz);
    char16_t buffer[32];
    uint32_t size = sizeof buffer;
    ASSERT_EQ(readGpoSetting(kKey, u"List", buffer, &size), 0);
    EXPECT_EQ(size, 17u * 2);
    EXPECT_EQ(std::u16string(buffer), u"first");
    EXPECT_EQ(std::u16string(buffer + 5, 27), std::u16string(27, u'\0')) << "the second string is gone too";

    const uint32_t dword = 0x01020304;
    ASSERT_EQ(registry_set_value(key_, u"Port", kRegDword, &dword, sizeof dword), kErrorSuccess);
    std::memset(buffer, 0xAB, sizeof buffer);
    size = sizeof buffer;
    ASSERT_EQ(readGpoSetting(kKey, u"Port", buffer, &size), 0);
    EXPECT_EQ(size, 4u);
    uint32_t read = 0;
    std::memcpy(&read, buffer, sizeof read);
    EXPECT_EQ(read, dword);
    EXPECT_EQ(buffer[2], 0xABAB) << "data other than text is left as the registry wrote it";

    // A text that is nothing but blanks becomes empty.
    set_text(u"Blank", std::u16string(u" \t\r\n\0", 5));
    size = sizeof buffer;
    ASSERT_EQ(readGpoSetting(kKey, u"Blank", buffer, &size), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_TRUE(reports().empty());
}

TEST_F(PolicyReader, AMissingKeyOrValueIsSilent) {
    char16_t buffer[8];
    uint32_t size = sizeof buffer;
    EXPECT_EQ(readGpoSetting(u"SOFTWARE\\Policies\\Quillon\\NoSuchKey", u"Server", buffer, &size), 1);
    size = sizeof buffer;
    EXPECT_EQ(readGpoSetting(kKey, u"NoSuchValue", buffer, &size), 1);
    EXPECT_TRUE(reports().empty());
}

TEST_F(PolicyReader, ASmallBufferAndMissingArgumentsAreReported) {
    set_text(u"Server", std::u16string(u"twenty-characters-xy\0", 21));
    char16_t buffer[4];
    uint32_t size = sizeof buffer;
    EXPECT_EQ(readGpoSetting(kKey, u"Server", buffer, &size), 1);
    EXPECT_EQ(readGpoSetting(kKey, u"Server", nullptr, &size), 1);
    EXPECT_EQ(readGpoSetting(kKey, u"Server", buffer, nullptr), 1);
    EXPECT_EQ(reports(), (std::vector<std::string>{
                             error_report("Could not read gpo setting "
                                          "'SOFTWARE\\Policies\\Quillon\\OrvixGpoTest\\Server', error: 234"),
                             error_report("Invalid setting parameter specified for gpo setting 'Server'"),
                             error_report("Invalid size parameter specified for gpo setting 'Server'")}));
}

// A value name the C library cannot convert for "%ls" (outside the "C" locale's
// repertoire) must not cost the report.
TEST_F(PolicyReader, AReportNamingANonAsciiValueIsKept) {
    const char16_t name[] = u"Gr\u00F6\u00DFe";
    set_text(name, std::u16string(u"twenty-characters-xy\0", 21));
    char16_t buffer[4];
    uint32_t size = sizeof buffer;
    EXPECT_EQ(readGpoSetting(kKey, name, buffer, &size), 1);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_NE(reports()[0].find("Could not read gpo setting 'SOFTWARE\\Policies\\Quillon\\OrvixGpoTest\\Gr"),
              std::string::npos)
        << reports()[0];
    EXPECT_NE(reports()[0].find("e', error: 234"), std::string::npos) << reports()[0];
}

// Without an agent log (no configuration manager) the reports go nowhere, and the result
// is the same.
TEST(PolicyReaderWithoutAgentLog, ReportsAreDropped) {
    testing::internal::CaptureStderr();
    char16_t buffer[4];
    EXPECT_EQ(readGpoSetting(kKey, u"Server", buffer, nullptr), 1);
    EXPECT_EQ(orvix::IOrvixLog::getInstance(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to get the configuration management instance.\n");
}

// The level from the store, as the agent log takes it at start-up.
struct Recorded {
    std::string message;
    int32_t level, status;
    bool operator==(const Recorded&) const = default;
};
std::vector<Recorded>& agent_messages() {
    static std::vector<Recorded> messages;
    return messages;
}
int32_t record_agent(const char* message, int32_t, uint32_t category, int32_t level, int32_t status) {
    if (category == VORN_EVENT_CAT_AGENT) agent_messages().push_back({message, level, status});
    return 0;
}

class AgentLogLevel : public testing::Test {
protected:
    void SetUp() override {
        vorn_event_set_forwarding_callback(record_agent);
        vorn_event_init_params params;
        vorn_event_get_default_init_params(&params);
        ASSERT_EQ(vorn_event_init(&params), 0);
    }
    void TearDown() override { vorn_event_shutdown(); }
};

TEST_F(AgentLogLevel, WithoutAStoreItIsTwo) {
    EXPECT_EQ(orvix::readAgentLogLevel(), 2);
    EXPECT_TRUE(agent_messages().empty());
}

TEST_F(AgentLogLevel, StoreValuesAreBoundedToTheEventLogsLevels) {
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    EXPECT_EQ(orvix::readAgentLogLevel(), 2) << "the catalogue default";
    const struct {
        int32_t stored, level;
    } cases[] = {{1, 1}, {4, 4}, {6, 6}, {0, 2}, {-1, 2}, {7, 6}, {9, 6}};
    for (const auto& c : cases) {
        ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.event_filter_mode", static_cast<eVORN_MGMT_ENV_ENUM>(c.stored)), 0);
        EXPECT_EQ(orvix::readAgentLogLevel(), c.level) << c.stored;
    }
    EXPECT_EQ(agent_messages(),
              (std::vector<Recorded>{{"Unexpected log level 0 set, using default instead.", 1, -500},
                                     {"Unexpected log level -1 set, using default instead.", 1, -500},
                                     {"Unexpected log level 7 set, using maximum verbosity.", 1, -500},
                                     {"Unexpected log level 9 set, using maximum verbosity.", 1, -500}}));
}

}  // namespace
