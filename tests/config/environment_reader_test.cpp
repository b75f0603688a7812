#include "config/environment_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/environment_store.h"
#include "support/recording_logger.h"

namespace {

using orvix_test::RecordingLogger;

// Failures are logged when the logger's threshold admits errors; without a logger the
// reader still answers.
TEST(EnvironmentReader, RefusesUntilTheStoreIsAvailableThenReadsByTypeAndLogsFailures) {
    std::vector<std::string> lines, quiet_lines;
    auto reader = orvix::makeEnvironmentReader(std::make_unique<RecordingLogger>(4, &lines));
    auto quiet = orvix::makeEnvironmentReader(std::make_unique<RecordingLogger>(0, &quiet_lines));
    auto bare = orvix::makeEnvironmentReader(nullptr);
    std::string text = "keep";
    uint32_t number = 9;
    bool flag = true;
    EXPECT_FALSE(reader->getString("orvix.udp_port", text));
    EXPECT_FALSE(quiet->getUint32("orvix.tcp_port", number));

    ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
    EXPECT_FALSE(reader->getBool("orvix.enable_d3d_capture", flag));  // a u32 row
    EXPECT_FALSE(reader->getUint32("orvix.enable_usb", number));      // a u8 row
    EXPECT_FALSE(reader->getString("orvix.not_a_setting", text));
    EXPECT_FALSE(reader->getString("", text));
    EXPECT_FALSE(quiet->getUint32("orvix.enable_usb", number));
    EXPECT_FALSE(bare->getUint32("orvix.enable_usb", number));
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(number, 9u);
    EXPECT_TRUE(flag);
    const std::string load = " orvix::EnvironmentReader::getVal Could not load ";
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "1 -503" + load + "orvix.udp_port because the environment manager is not available.",
            "1 -501" + load + "orvix.enable_d3d_capture", "1 -501" + load + "orvix.enable_usb",
            "1 -510" + load + "orvix.not_a_setting",
            "1 -501 orvix::EnvironmentReader::getVal A value cannot be retrieved with an empty name."}));
    EXPECT_TRUE(quiet_lines.empty());
    lines.clear();

    EXPECT_TRUE(bare->getUint32("orvix.tcp_port", number));
    EXPECT_EQ(number, 4172u);
    EXPECT_TRUE(reader->getString("orvix.server_type", text));
    EXPECT_EQ(text, "AUTO");
    for (uint8_t stored : {0, 2}) {
        ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_usb", stored), VORN_STATUS_SUCCESS);
        EXPECT_TRUE(reader->getBool("orvix.enable_usb", flag));
        EXPECT_EQ(flag, stored != 0);
    }
    EXPECT_TRUE(lines.empty());
}

}  // namespace
