#include "config/configuration_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "config/settings_from_file.h"
#include "sources_test_support.h"

namespace {

using orvix::config::internal::SettingsFromFile;
using orvix::config::internal::SettingsMap;
using sources_test::LogCapture;
using sources_test::stored;

const std::string kSet = "cVORN_MGMT_CFG_MGR::set_config_parameter_to_env_mgr";
const std::string kReload = "cVORN_MGMT_CFG_MGR::reload: ";

// A manager over configuration files in priority order that polls them once loaded and
// counts its reloads.
class FilesManager : public cVORN_MGMT_CFG_MGR {
public:
    FilesManager() : cVORN_MGMT_CFG_MGR(store_environment_interface()) {}
    ~FilesManager() override { stop_worker(); }
    SettingsMap& load(SettingsMap& result, const char*) override {
        std::lock_guard<std::mutex> guard(sources_mutex_);
        for (const auto& file : files) {
            SettingsMap more = add_source(std::make_unique<SettingsFromFile>(file.c_str()), file)->load();
            result.merge(more);
        }
        poll_.exchange(true);
        return result;
    }
    void reload() override {
        ++reloads;
        cVORN_MGMT_CFG_MGR::reload();
    }
    std::vector<std::string> files;
    std::atomic<int> reloads{0};
};

TEST(Manager, ValuesAreClampedCutTrimmedOrRefused) {
    LogCapture::start();
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    FilesManager manager;
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
    const auto above = LogCapture::find(
        "Configure parameter orvix.mtu_size value 5000 above legal range clamping to maximum: 1500");
    EXPECT_EQ(above.level, VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_EQ(above.status, -500);
    EXPECT_TRUE(LogCapture::has(
        "Configure parameter orvix.mtu_size value 0 below legal range clamping to minimum: 500"));

    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.tcp_port", 1, ""), -500);
    EXPECT_EQ(stored("orvix.tcp_port"), "4172");
    EXPECT_EQ(
        LogCapture::find(kSet + " - Error parameter orvix.tcp_port not configurable, ignoring ...").status,
        -500);
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.no_such_setting", 1, ""), -500);
    EXPECT_TRUE(LogCapture::has(kSet + " - Error parameter orvix.no_such_setting not found, ignoring ..."));
}

TEST(Manager, TheWorkerReloadsByPriorityRestoresDefaultsAndLeavesStartupOnlyAlone) {
    LogCapture::start();
    sources_test::TempFolder folder;
    const std::string high = (folder.path() / "high.conf").string(),
                      low = (folder.path() / "low.conf").string();
    const std::string missing = (folder.path() / "missing.conf").string();
    sources_test::write_file(
        high,
        "orvix.mtu_size = 1400\norvix.enable_audio = 1\norvix.enable_usb = 0\n"
        "orvix.client_resume_enabled = 1\norvix.server_type = MANUAL\norvix.ip_address = ::1\n");
    sources_test::write_file(
        low, "orvix.mtu_size = 1300\norvix.enable_audio = 0\norvix.linux_frame_buffer = ' x '\n");
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    auto manager = std::make_unique<FilesManager>();
    manager->files = {high, missing, low};
    SettingsMap loaded;
    manager->apply_config_settings(manager->load(loaded, nullptr),
                                   [](const sVORN_ENV_LOOKUP_ENTRY&) { return false; });

    // Replaced at once, so that no poll sees half a file. server_type (startup-only) and
    // ip_address (flags all ones) go, client_resume_enabled (startup-only) changes.
    sources_test::write_file(high + ".new", "orvix.mtu_size = 1450\norvix.client_resume_enabled = 0\n");
    std::filesystem::rename(high + ".new", high);
    ASSERT_TRUE(sources_test::eventually([] { return stored("orvix.mtu_size") == "1450"; }))
        << LogCapture::dump();
    EXPECT_EQ(stored("orvix.enable_usb"), "1") << "gone from every file: the default";
    EXPECT_EQ(stored("orvix.enable_audio"), "0") << "from the lower file";
    EXPECT_EQ(stored("orvix.server_type"), "MANUAL");
    EXPECT_EQ(stored("orvix.ip_address"), "::1");
    EXPECT_EQ(stored("orvix.client_resume_enabled"), "1") << "startup-only: not applied";
    EXPECT_EQ(stored("orvix.linux_frame_buffer"), "x");
    EXPECT_EQ(LogCapture::find(kReload + "Reloading configuration").level, VORN_EVENT_LEVEL_DEBUG);
    EXPECT_EQ(LogCapture::find(kReload + "Failed to reload the configuration from " + missing).status, -500);
    EXPECT_EQ(
        LogCapture::find(kReload + "Deleted key orvix.enable_audio found in lower priority config object")
            .level,
        VORN_EVENT_LEVEL_INFO);
    const std::string restoring = " removed from configs, restoring default value";
    EXPECT_TRUE(LogCapture::has(kReload + "Setting parameter orvix.enable_usb" + restoring));
    EXPECT_FALSE(LogCapture::has(kReload + "Setting parameter orvix.enable_audio" + restoring));
    const std::string apply = "cVORN_MGMT_CFG_MGR::apply_config_settings: setting parameter ";
    EXPECT_EQ(LogCapture::find(apply + "orvix.mtu_size = 1450").level, VORN_EVENT_LEVEL_DEBUG);
    EXPECT_TRUE(LogCapture::has(apply + "orvix.linux_frame_buffer = \" x \""));

    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(manager->reloads.load(), 1) << "no change, no reload";
    const auto start = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400))
        << "woken, not timed out";
}

TEST(Manager, TheProcessManagerNeedsARealTypeFirstAndThenOnlyPreexisting) {
    LogCapture::start();
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

    // The imaging-backed manager loads no settings and never reloads.
    SettingsMap result{{"orvix.mtu_size", orvix::config::internal::SettingValue::of_number(1)}};
    EXPECT_TRUE(manager->load(result, "img_settings.cfg").empty());
    manager->reload();
    EXPECT_FALSE(manager->polling());
    EXPECT_FALSE(LogCapture::has(kReload + "Reloading configuration"));
}

}  // namespace
