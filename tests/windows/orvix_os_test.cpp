// The host name: the system's answer in UTF-8, and on failure the placeholder with one
// agent-log report carrying the error code (without an agent log the report goes nowhere,
// as the policy reader's tests show of the same report path).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OrvixLog/IOrvixLog.h"
#include "eventlog/event_log.h"
#include "eventlog/log_test_support.h"
#include "support/fake_system_facts.h"
#include "windows/OrvixOSWin32.h"

namespace {

using orvix_test::forwarded;

class HostName : public testing::Test {
  protected:
    void SetUp() override { orvix_test::start_recording(); }
    void TearDown() override { vorn_event_shutdown(); }
    orvix_test::FakeSystemFacts facts_;
};

TEST_F(HostName, TheSystemsNameInUtf8) {
    facts_.host = u"r\u00e9seau-\u6771\u4eac.example";
    EXPECT_EQ(orvix::getHostName(), "r\xc3\xa9seau-\xe6\x9d\xb1\xe4\xba\xac.example");
    EXPECT_TRUE(forwarded().empty());
}

TEST_F(HostName, AFailureIsReportedOnceThroughTheAgentLog) {
    orvix::IOrvixLog::createInstanceIfNeeded(false, false);  // without file logging: no store needed
    ASSERT_NE(orvix::IOrvixLog::getInstance(), nullptr);
    forwarded().clear();
    facts_.error = 1722;
    EXPECT_EQ(orvix::getHostName(), "(Unknown)");
    EXPECT_EQ(forwarded(), (std::vector<orvix_test::Forwarded>{
                               {orvix_test::thread_prefix() + "Cannot get the host name! err: 1722",
                                VORN_EVENT_CAT_AGENT, 1, 0}}));
}

}  // namespace
