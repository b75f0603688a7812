#include "config/configuration_manager.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>

#include "sources_test_support.h"

namespace {

using namespace sources_test;

// Reloads, priority and restored defaults: see the end-to-end tests.
TEST(Manager, ValuesAreClampedCutTrimmedOrRefused) {
    LogCapture::start();
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    cVORN_MGMT_CFG_MGR_FILE manager(store_environment_interface());
    const std::tuple<const char*, uint32_t, const char*, const char*> cases[] = {
        {"orvix.mtu_size", 5000, "", "1500"},  // checked 500..1500
        {"orvix.mtu_size", 0, "", "500"},
        {"orvix.enable_ipv6", 256, "", "0"},  // unchecked: cut, not clamped
        {"orvix.server_statistics_interval_seconds", 70000, "", "4464"},
        {"orvix.server_type", 7, "\t\r\n a b \v\f", "a b"},
        {"orvix.ip_address", 0, nullptr, ""},
    };
    for (const auto& [name, number, text, value] : cases) {
        EXPECT_EQ(manager.set_config_parameter_to_env_mgr(name, number, text), 0) << name;
        EXPECT_EQ(stored(name), value) << name << " " << number;
    }
    eVORN_MGMT_ENV_ENUM mode{};
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.event_filter_mode", 0xFFFFFFFFu, ""), 0);
    EXPECT_EQ(vorn_mgmt_env_get_enum("orvix.event_filter_mode", &mode), 0);
    EXPECT_EQ(mode, 3) << "compared without sign";
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.tcp_port", 1, ""), -500);
    EXPECT_EQ(stored("orvix.tcp_port"), "4172");
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.no_such_setting", 1, ""), -500);

    const std::string clamping = "Configure parameter orvix.mtu_size value ";
    const std::string error = "cVORN_MGMT_CFG_MGR::set_config_parameter_to_env_mgr - Error parameter orvix.";
    for (const std::string& message : {clamping + "5000 above legal range clamping to maximum: 1500",
                                       clamping + "0 below legal range clamping to minimum: 500",
                                       error + "tcp_port not configurable, ignoring ...",
                                       error + "no_such_setting not found, ignoring ..."}) {
        LogCapture::expect(message, VORN_EVENT_LEVEL_CRITICAL, -500);
    }
}

TEST(Manager, TheProcessManagerNeedsARealTypeFirstAndThenOnlyPreexisting) {
    auto refusal = [](eVORN_ENV_TYPE type) {
        try {
            get_vorn_mgmt_cfg_mgr_helper(type);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_FALSE(vorn_mgmt_cfg_mgr_exists());
    EXPECT_EQ(refusal(VORN_ENV_TYPE_PREEXISTING),
              "get_vorn_mgmt_cfg_mgr_helper must initially be called with a real environment type");
    cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST);
    EXPECT_TRUE(vorn_mgmt_cfg_mgr_exists());
    EXPECT_EQ(
        refusal(VORN_ENV_TYPE_REG),
        "The only valid manager type post initial environment manager setup is VORN_ENV_TYPE_PREEXISTING");
    EXPECT_EQ(get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING), manager);
}

}  // namespace
