// The agent log object: sanitising, the level filter of log and not of logV, the thread
// prefix, the callback's level prefixes, level changes, the singleton's start-up against
// a real store and log folder, and the destructor's shutdown.
#include "OrvixLog/OrvixLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/environment_store.h"
#include "eventlog/event_log.h"
#include "eventlog/log_test_support.h"
#include "os/registry.h"

namespace {

using namespace orvix_test;
using orvix::IOrvixLog;
using orvix::OrvixLog;

constexpr uint32_t AGENT = VORN_EVENT_CAT_AGENT;
constexpr const char* kUnit = "tests/OrvixLog/orvix_log_test";

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
        {"C:\\ProgramData\\Quillon\\OrvixAgent\\logs\\", "C:\\ProgramData\\Quillon\\OrvixAgent\\logs\\",
         false},
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
    Forwarded agent(int32_t level, const std::string& message) {
        return {thread_prefix() + message, AGENT, level, 0};
    }
    OrvixLog log_{false, false};
};

// A change of level is announced at the old level, then the object's filter follows it
// and every category's threshold moves with it.
TEST_F(AgentLogObject, TheLevelFiltersLogButNotLogVAndAChangeMovesEveryThreshold) {
    EXPECT_EQ(log_.getLogLevel(), 2);
    log_.log(3, kUnit, __LINE__, "debug %d", 1);
    call_logV(log_, 3, "debug %d", 2);
    log_.log(2, kUnit, __LINE__, "info %s", "three");
    log_.log(1, kUnit, __LINE__, "error %05.1f", 4.5);
    log_.setLogLevel(2);  // the current level: nothing to announce

    log_.setLogLevel(3);
    EXPECT_EQ(log_.getLogLevel(), 3);
    vorn_event_log(VORN_EVENT_CAT_COMMON, 4, 0, "trace");
    vorn_event_log(VORN_EVENT_CAT_RTOS, 3, 0, "debug");
    log_.setLogLevel(1);
    log_.log(2, kUnit, __LINE__, "info");
    // The event log refuses a threshold above 6.
    log_.setLogLevel(7);
    EXPECT_EQ(forwarded(), (std::vector<Forwarded>{agent(3, "debug 2"),
                                                   agent(2, "info three"),
                                                   agent(1, "error 004.5"),
                                                   agent(2, "Changing log level from 2 to 3"),
                                                   {"debug", VORN_EVENT_CAT_RTOS, 3, 0},
                                                   agent(2, "Changing log level from 3 to 1"),
                                                   agent(1, "Error setting log level.")}));
}

// Messages are cut at 2047 characters.
TEST_F(AgentLogObject, ACallbackTakesEveryMessageWithItsLevelPrefix) {
    log_.setCallback(receive);
    log_.log(1, kUnit, __LINE__, "failed: %d", 5);
    for (int32_t level : {2, 3, 4, 0}) call_logV(log_, level, "level %d", level);
    log_.log(1, kUnit, __LINE__, "%s", std::string(2047, 'a').c_str());
    log_.log(1, kUnit, __LINE__, "%s", std::string(5000, 'b').c_str());
    const std::string t = thread_prefix();
    EXPECT_EQ(received(),
              (std::vector<std::string>{"<ERROR> " + t + "failed: 5", "<INFO> " + t + "level 2",
                                        "<DEBUG> " + t + "level 3", "<UNKNOWN> " + t + "level 4",
                                        "<UNKNOWN> " + t + "level 0", "<ERROR> " + t + std::string(2047, 'a'),
                                        "<ERROR> " + t + std::string(2047, 'b')}));
    EXPECT_TRUE(forwarded().empty()) << "the event log is not called while a callback is set";

    log_.setCallback(nullptr);
    log_.log(1, kUnit, __LINE__, "back");
    EXPECT_EQ(received().size(), 7u);
    EXPECT_EQ(forwarded(), std::vector<Forwarded>{agent(1, "back")});
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
// Without a configuration manager there is none: the policy reader's tests show it.
// Concurrent first users create one instance, with the first creation's arguments.
TEST(AgentLogInstance, WithoutFileLoggingItNeedsNoManagerAndIsShared) {
    start_recording();
    std::vector<std::shared_ptr<IOrvixLog>> seen(8);
    std::vector<std::thread> threads;
    for (auto& slot : seen) {
        threads.emplace_back([&slot] {
            IOrvixLog::createInstanceIfNeeded(false, true);
            slot = IOrvixLog::getInstance();
        });
    }
    for (auto& t : threads) t.join();
    const std::shared_ptr<IOrvixLog> log = IOrvixLog::getInstance();
    ASSERT_NE(log, nullptr);
    for (const auto& s : seen) EXPECT_EQ(s, log);
    EXPECT_EQ(log->getLogPath(), "") << "no file logging";
    orvix::orvixLogError(kUnit, __LINE__, "bad value %d", -3);
    ASSERT_EQ(forwarded().size(), 2u);
    EXPECT_NE(forwarded()[0].message.find("LOG LEVEL is set to 2"), std::string::npos);
    EXPECT_EQ(forwarded()[1], (Forwarded{thread_prefix() + "bad value -3", AGENT, 1, 0}));
}

// Start-up as an agent does it: the store (and with it the configuration manager) first,
// then the first user of the agent log, which writes a real file in the log folder. That
// folder lies below a name with a non-ASCII character: the object keeps the sanitised path
// and says so at level 1.
TEST(AgentLogStartUp, TheFirstUserStartsTheAgentLogAtTheConfiguredLevel) {
    LogSandbox box;
    vorn_event_set_time_source(fixed_time);
    const std::string program_data = box.root + "D\xC3\xA9p\xC3\xB4t";
    std::filesystem::create_directories(
        std::filesystem::path(reinterpret_cast<const char8_t*>(program_data.c_str())));
    redirect_program_data(program_data);
    const uint32_t level = 3;
    set_machine_value(u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin", u"orvix.event_filter_mode",
                      orvix::os::kRegDword, &level, sizeof level);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    testing::internal::CaptureStderr();
    const std::shared_ptr<IOrvixLog> log = IOrvixLog::getInstance();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->getLogLevel(), 3);
    const std::string tail = separator() + join({"Quillon", "OrvixAgent", "logs"}) + separator();
    const std::string sanitised = box.root + "D__p__t" + tail;
    EXPECT_EQ(log->getLogPath(), sanitised);
    EXPECT_FALSE(static_cast<OrvixLog&>(*log).archiveClosedFiles()) << "the agent's log does not archive";

    log->log(3, kUnit, __LINE__, "debug %s", "admitted");
    log->log(4, kUnit, __LINE__, "trace dropped");
    vorn_event_log(VORN_EVENT_CAT_RTOS, 3, 0, "every category follows");
    char path[512] = {};
    EXPECT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
    EXPECT_EQ(vorn_event_shutdown(), 0);  // writes out the queue
    vorn_event_set_time_source(nullptr);
    const std::string file = read_file(path);
    const auto agent_line = [](int32_t level, const std::string& message) {
        return line(VORN_EVENT_NULL_SESSION_ID, level, 0, "AGENT", thread_prefix() + message, "\r\n");
    };
    for (const std::string& expected :
         {agent_line(1, "Log path was sanitized: " + program_data + tail + " => " + sanitised),
          agent_line(2, "LOG LEVEL is set to 3"), agent_line(3, "debug admitted"),
          std::string(":every category follows\r\n")}) {
        EXPECT_NE(file.find(expected), std::string::npos) << expected << "\nin\n" << file;
    }
    EXPECT_EQ(file.find("trace dropped"), std::string::npos) << file;
}

}  // namespace
