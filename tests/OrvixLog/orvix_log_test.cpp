// The agent log object: sanitising, the level filter of log and not of logV, the thread
// prefix, the callback's level prefixes, level changes, the singleton's start-up against
// a real store and log folder, and the destructor's shutdown.
#include "OrvixLog/OrvixLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/environment_store.h"
#include "eventlog/event_log.h"
#include "eventlog/event_log_clock.h"
#include "eventlog/log_test_support.h"
#include "os/registry.h"
#include "os/thread_id.h"

namespace {

using namespace orvix_test;
using orvix::IOrvixLog;
using orvix::OrvixLog;
namespace fs = std::filesystem;

constexpr uint32_t AGENT = VORN_EVENT_CAT_AGENT;
constexpr const char* kUnit = "tests/OrvixLog/orvix_log_test";

std::string thread_prefix() {
    char text[16];
    std::snprintf(text, sizeof text, "%04X ", static_cast<unsigned>(orvix::os::current_thread_id()));
    return text;
}

void call_logV(IOrvixLog& log, int32_t level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    log.logV(level, kUnit, __LINE__, format, arguments);
    va_end(arguments);
}

std::vector<std::string>& received() {
    static std::vector<std::string> texts;
    return texts;
}
void receive(const std::string& text) { received().push_back(text); }

TEST(SanitizeLogPath, KeepsTheDriveColonAndReplacesTheRest) {
    struct Case {
        std::string in, out;
        bool changed;
    };
    const Case cases[] = {
        {"C:\\ProgramData\\Quillon\\OrvixAgent\\logs\\", "C:\\ProgramData\\Quillon\\OrvixAgent\\logs\\", false},
        {"/var/log/orvix/", "/var/log/orvix/", false},
        {"", "", false},
        {"C:", "C_", true},  // two characters: no drive letter to keep
        {"C:\\a:b", "C:\\a_b", true},
        {":\\x", "_\\x", true},
        {"a?b\"c<d>e|f*g:h", "a_b_c_d_e_f_g_h", true},
        {"C:\\Users\\J\xC3\xB6rg\\", "C:\\Users\\J__rg\\", true},  // each byte of the UTF-8 form
        {std::string("x\x01y\x7F z~", 7), "x_y_ z~", true},
    };
    for (const Case& c : cases) {
        std::string path = c.in;
        EXPECT_EQ(orvix::sanitizeLogPath(path), c.changed) << c.in;
        EXPECT_EQ(path, c.out) << c.in;
    }
}

class AgentLogObject : public testing::Test {
protected:
    void SetUp() override { start_recording(); }
    void TearDown() override { vorn_event_shutdown(); }
    Forwarded agent(int32_t level, const std::string& message) { return {thread_prefix() + message, AGENT, level, 0}; }
    OrvixLog log_{false, false};
};

TEST_F(AgentLogObject, LogFiltersByItsLevelAndLogVDoesNot) {
    EXPECT_EQ(log_.getLogLevel(), 2);
    log_.log(3, kUnit, __LINE__, "debug %d", 1);
    EXPECT_TRUE(forwarded().empty());
    call_logV(log_, 3, "debug %d", 2);
    log_.log(2, kUnit, __LINE__, "info %s", "three");
    log_.log(1, kUnit, __LINE__, "error %05.1f", 4.5);
    EXPECT_EQ(forwarded(), (std::vector<Forwarded>{agent(3, "debug 2"), agent(2, "info three"),
                                                   agent(1, "error 004.5")}));
}

TEST_F(AgentLogObject, ACallbackTakesEveryMessageWithItsLevelPrefix) {
    log_.setCallback(receive);
    log_.log(1, kUnit, __LINE__, "failed: %d", 5);
    for (int32_t level : {2, 3, 4, 0}) call_logV(log_, level, "level %d", level);
    const std::string t = thread_prefix();
    EXPECT_EQ(received(), (std::vector<std::string>{"<ERROR> " + t + "failed: 5", "<INFO> " + t + "level 2",
                                                    "<DEBUG> " + t + "level 3", "<UNKNOWN> " + t + "level 4",
                                                    "<UNKNOWN> " + t + "level 0"}));
    EXPECT_TRUE(forwarded().empty()) << "the event log is not called while a callback is set";

    log_.setCallback(nullptr);
    log_.log(1, kUnit, __LINE__, "back");
    EXPECT_EQ(received().size(), 5u);
    EXPECT_EQ(forwarded(), std::vector<Forwarded>{agent(1, "back")});
}

TEST_F(AgentLogObject, MessagesAreCutAt2047Characters) {
    log_.setCallback(receive);
    const std::string fits(2047, 'a'), longer(5000, 'b');
    log_.log(1, kUnit, __LINE__, "%s", fits.c_str());
    log_.log(1, kUnit, __LINE__, "%s", longer.c_str());
    ASSERT_EQ(received().size(), 2u);
    EXPECT_EQ(received()[0], "<ERROR> " + thread_prefix() + fits);
    EXPECT_EQ(received()[1], "<ERROR> " + thread_prefix() + std::string(2047, 'b'));
}

TEST_F(AgentLogObject, SetLogLevelLogsAChangeAndMovesEveryCategoryThreshold) {
    log_.setLogLevel(2);
    EXPECT_TRUE(forwarded().empty()) << "the current level changes nothing";

    log_.setLogLevel(3);
    EXPECT_EQ(log_.getLogLevel(), 3);
    EXPECT_EQ(forwarded(), std::vector<Forwarded>{agent(2, "Changing log level from 2 to 3")});
    forwarded().clear();
    vorn_event_log(VORN_EVENT_CAT_COMMON, 4, 0, "trace");
    vorn_event_log(VORN_EVENT_CAT_RTOS, 3, 0, "debug");
    EXPECT_EQ(forwarded(), (std::vector<Forwarded>{{"debug", VORN_EVENT_CAT_RTOS, 3, 0}}));

    // The change is announced at the old level, then the object's filter follows it.
    forwarded().clear();
    log_.setLogLevel(1);
    log_.log(2, kUnit, __LINE__, "info");
    EXPECT_EQ(forwarded(), std::vector<Forwarded>{agent(2, "Changing log level from 3 to 1")});

    // The event log refuses a threshold above 6.
    forwarded().clear();
    log_.setLogLevel(7);
    EXPECT_EQ(forwarded(), std::vector<Forwarded>{agent(1, "Error setting log level.")});
}

TEST_F(AgentLogObject, OnlyAFileLoggingObjectShutsTheEventLogDown) {
    {
        OrvixLog quiet(false, true);
        EXPECT_FALSE(quiet.archiveClosedFiles()) << "archiving needs file logging";
    }
    EXPECT_GT(vorn_event_log(VORN_EVENT_CAT_COMMON, 1, 0, "still running"), 0);
    {
        OrvixLog owner(true, true);
        EXPECT_TRUE(owner.archiveClosedFiles());
    }
    EXPECT_EQ(vorn_event_log(VORN_EVENT_CAT_COMMON, 1, 0, "after"), VORN_STATUS_NOT_STARTED);
}

// The singleton: each test runs in a process of its own, so each starts without one.

TEST(AgentLogInstance, WithoutAConfigurationManagerThereIsNone) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(IOrvixLog::getInstance(), nullptr);
    EXPECT_EQ(IOrvixLog::getInstance(), nullptr);
    orvix::orvixLogError(kUnit, __LINE__, "dropped %d", 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to get the configuration management instance.\n")
        << "a failed creation is not retried";
}

TEST(AgentLogInstance, WithoutFileLoggingItNeedsNoManagerAndIsShared) {
    start_recording();
    IOrvixLog::createInstanceIfNeeded(false, true);
    IOrvixLog::createInstanceIfNeeded(true, false);
    const std::shared_ptr<IOrvixLog> log = IOrvixLog::getInstance();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(IOrvixLog::getInstance(), log);
    EXPECT_FALSE(static_cast<OrvixLog&>(*log).fileLogging()) << "the first creation's arguments hold";
    EXPECT_FALSE(static_cast<OrvixLog&>(*log).archiveClosedFiles());
    EXPECT_EQ(log->getLogPath(), "");
    orvix::orvixLogError(kUnit, __LINE__, "bad value %d", -3);
    const std::string t = thread_prefix();
    EXPECT_EQ(forwarded(), (std::vector<Forwarded>{{t + "LOG LEVEL is set to 2", AGENT, 2, 0},
                                                   {t + "bad value -3", AGENT, 1, 0}}));
}

TEST(AgentLogInstance, ConcurrentFirstUsersCreateOneInstance) {
    start_recording();
    std::vector<std::shared_ptr<IOrvixLog>> seen(8);
    std::vector<std::thread> threads;
    for (auto& slot : seen) {
        threads.emplace_back([&slot] {
            IOrvixLog::createInstanceIfNeeded(false, false);
            slot = IOrvixLog::getInstance();
        });
    }
    for (auto& t : threads) t.join();
    ASSERT_NE(seen[0], nullptr);
    for (const auto& s : seen) EXPECT_EQ(s, seen[0]);
    ASSERT_EQ(forwarded().size(), 1u);
    EXPECT_NE(forwarded()[0].message.find("LOG LEVEL is set to 2"), std::string::npos);
}

// Start-up as an agent does it: the store (and with it the configuration manager) first,
// then the first user of the agent log, which writes a real file in the log folder.
class AgentLogStartUp : public testing::Test {
protected:
    void SetUp() override { vorn_event_set_time_source(fixed_time); }
    void TearDown() override {
        vorn_event_shutdown();
        vorn_event_set_time_source(nullptr);
    }
    static void set_policy_level(uint32_t level) {
        set_machine_value(u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin", u"orvix.event_filter_mode",
                          orvix::os::kRegDword, &level, sizeof level);
    }
    // Shuts the event log down (writing out its queue) and returns the lines of its file.
    static std::string finished_log_file() {
        char path[512] = {};
        EXPECT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
        EXPECT_EQ(vorn_event_shutdown(), 0);
        std::ostringstream out;
        out << std::ifstream(fs::path(reinterpret_cast<const char8_t*>(path)), std::ios::binary).rdbuf();
        return out.str();
    }
    static std::string agent_line(int32_t level, const std::string& message) {
        return line(VORN_EVENT_NULL_SESSION_ID, level, 0, "AGENT", thread_prefix() + message, "\r\n");
    }
    LogSandbox box_;
};

TEST_F(AgentLogStartUp, TheFirstUserStartsTheAgentLogAtTheConfiguredLevel) {
    set_policy_level(3);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    testing::internal::CaptureStderr();
    const std::shared_ptr<IOrvixLog> log = IOrvixLog::getInstance();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->getLogLevel(), 3);
    EXPECT_EQ(log->getLogPath(), box_.log_folder);
    EXPECT_TRUE(static_cast<OrvixLog&>(*log).fileLogging());
    EXPECT_FALSE(static_cast<OrvixLog&>(*log).archiveClosedFiles());

    log->log(3, kUnit, __LINE__, "debug %s", "admitted");
    log->log(4, kUnit, __LINE__, "trace dropped");
    vorn_event_log(VORN_EVENT_CAT_RTOS, 3, 0, "every category follows");
    const std::string file = finished_log_file();
    EXPECT_NE(file.find(agent_line(2, "LOG LEVEL is set to 3")), std::string::npos) << file;
    EXPECT_NE(file.find(agent_line(3, "debug admitted")), std::string::npos) << file;
    EXPECT_EQ(file.find("trace dropped"), std::string::npos) << file;
    EXPECT_NE(file.find(":every category follows\r\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("sanitized"), std::string::npos) << file;
}

// A log folder below a name with a non-ASCII character: the file is written there, the
// object keeps the sanitised path and says so at level 1 (on Windows the drive's colon
// stays).
TEST_F(AgentLogStartUp, ASanitisedLogPathIsReported) {
    const fs::path program_data = fs::path(box_.root) / fs::path(u"D\u00E9p\u00F4t");
    fs::create_directories(program_data);
    if (sizeof(fs::path::value_type) == 2) {
        // Windows: the shell folders of the per-process machine key, in UTF-16 (the shared
        // helper widens bytes, which suits ASCII names only).
        const std::u16string value = program_data.u16string();
        for (const char16_t* key : {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
            set_machine_value(key, u"Common AppData", orvix::os::kRegSz, value.c_str(),
                              static_cast<uint32_t>((value.size() + 1) * sizeof(char16_t)));
        }
    } else {
        redirect_program_data(program_data.string());
    }

    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    const std::shared_ptr<IOrvixLog> log = IOrvixLog::getInstance();
    ASSERT_NE(log, nullptr);
    const std::string raw = box_.root + "D\xC3\xA9p\xC3\xB4t" + separator() + "Quillon" + separator() +
                            "OrvixAgent" + separator() + "logs" + separator();
    std::string sanitised = box_.root + "D__p__t" + separator() + "Quillon" + separator() + "OrvixAgent" +
                            separator() + "logs" + separator();
    EXPECT_EQ(log->getLogPath(), sanitised);
    const std::string file = finished_log_file();
    EXPECT_NE(file.find(agent_line(1, "Log path was sanitized: " + raw + " => " + sanitised)), std::string::npos)
        << file;
}

}  // namespace
