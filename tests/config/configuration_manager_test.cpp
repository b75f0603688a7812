#include "config/configuration_manager.h"

#include <gtest/gtest.h>

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

const std::string kSet = "cVORN_MGMT_CFG_MGR::set_config_parameter_to_env_mgr";
const std::string kReload = "cVORN_MGMT_CFG_MGR::reload: ";

// A store that records what the manager writes ("name type value") and which defaults it
// restores; the catalogue is the real one.
struct FakeStore {
    std::mutex mutex;
    std::vector<std::string> writes, restored;

    EnvironmentInterface environment() {
        EnvironmentInterface e = store_environment_interface();
        e.init_default = [this](const char* name) {
            std::lock_guard<std::mutex> guard(mutex);
            restored.push_back(name);
            return 0;
        };
        e.set_uint8 = [this](const char* n, uint8_t v) { return record(n, "u8 " + std::to_string(v)); };
        e.set_uint16 = [this](const char* n, uint16_t v) { return record(n, "u16 " + std::to_string(v)); };
        e.set_uint32 = [this](const char* n, uint32_t v) { return record(n, "u32 " + std::to_string(v)); };
        e.set_enum = [this](const char* n, eVORN_MGMT_ENV_ENUM v) {
            return record(n, "enum " + std::to_string(v));
        };
        e.set_string = [this](const char* n, const char* v) { return record(n, std::string("text ") + v); };
        return e;
    }
    int32_t record(const char* name, const std::string& value) {
        std::lock_guard<std::mutex> guard(mutex);
        writes.push_back(std::string(name) + " " + value);
        return 0;
    }
    // The last write of name without the name; empty when there was none.
    std::string last(const std::string& name) {
        std::lock_guard<std::mutex> guard(mutex);
        for (auto it = writes.rbegin(); it != writes.rend(); ++it) {
            if (it->rfind(name + " ", 0) == 0) return it->substr(name.size() + 1);
        }
        return {};
    }
};

// A manager over configuration files in priority order that polls them once loaded.
class FilesManager : public cVORN_MGMT_CFG_MGR {
public:
    using cVORN_MGMT_CFG_MGR::cVORN_MGMT_CFG_MGR;
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
    std::vector<std::string> files;
};

class ManagerTest : public testing::Test {
protected:
    void SetUp() override { LogCapture::start(); }
    FakeStore store_;
};

TEST_F(ManagerTest, ValuesAreClampedCutTrimmedOrRefused) {
    FilesManager manager(store_.environment());
    const std::tuple<const char*, uint32_t, const char*, const char*> cases[] = {
        {"orvix.mtu_size", 5000, "", "u32 1500"},  // checked 500..1500
        {"orvix.mtu_size", 0, "", "u32 500"},
        {"orvix.event_filter_mode", 0xFFFFFFFFu, "", "enum 3"},  // compared without sign
        {"orvix.enable_ipv6", 256, "", "u8 0"},                  // unchecked: cut, not clamped
        {"orvix.server_statistics_interval_seconds", 70000, "", "u16 4464"},
        {"orvix.server_type", 7, "\t\r\n a b \v\f", "text a b"},
        {"orvix.ip_address", 0, nullptr, "text "},
    };
    for (const auto& [name, number, text, stored] : cases) {
        EXPECT_EQ(manager.set_config_parameter_to_env_mgr(name, number, text), 0) << name;
        EXPECT_EQ(store_.last(name), stored) << name << " " << number;
    }
    const auto above = LogCapture::find(
        "Configure parameter orvix.mtu_size value 5000 above legal range clamping to maximum: 1500");
    EXPECT_EQ(above.level, VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_EQ(above.status, -500);
    EXPECT_TRUE(LogCapture::has(
        "Configure parameter orvix.mtu_size value 0 below legal range clamping to minimum: 500"));

    store_.writes.clear();
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.tcp_port", 1, ""), -500);
    EXPECT_EQ(
        LogCapture::find(kSet + " - Error parameter orvix.tcp_port not configurable, ignoring ...").status,
        -500);
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.no_such_setting", 1, ""), -500);
    EXPECT_TRUE(LogCapture::has(kSet + " - Error parameter orvix.no_such_setting not found, ignoring ..."));
    EXPECT_TRUE(store_.writes.empty());
}

TEST_F(ManagerTest, TheWorkerReloadsByPriorityRestoresDefaultsAndLeavesStartupOnlyAlone) {
    sources_test::TempFolder folder;
    const std::string high = (folder.path() / "high.conf").string(),
                      low = (folder.path() / "low.conf").string();
    const std::string missing = (folder.path() / "missing.conf").string();
    sources_test::write_file(
        high,
        "orvix.mtu_size = 1400\norvix.enable_audio = 0\norvix.enable_usb = 0\n"
        "orvix.client_resume_enabled = 1\norvix.server_type = MANUAL\norvix.ip_address = ::1\n");
    sources_test::write_file(
        low, "orvix.mtu_size = 1300\norvix.enable_audio = 1\norvix.linux_frame_buffer = ' x '\n");
    auto manager = std::make_unique<FilesManager>(store_.environment());
    manager->files = {high, missing, low};
    SettingsMap loaded;
    manager->load(loaded, nullptr);

    // Replaced at once, so that no poll sees half a file. server_type (startup-only) and
    // ip_address (flags all ones) go, client_resume_enabled (startup-only) changes.
    sources_test::write_file(high + ".new", "orvix.mtu_size = 1400\norvix.client_resume_enabled = 0\n");
    std::filesystem::rename(high + ".new", high);
    ASSERT_TRUE(LogCapture::wait_for(kReload + "Applying config changes")) << LogCapture::dump();
    ASSERT_TRUE(sources_test::eventually([&] { return store_.last("orvix.mtu_size") == "u32 1400"; }));
    EXPECT_EQ(LogCapture::find(kReload + "Reloading configuration").level, VORN_EVENT_LEVEL_DEBUG);
    EXPECT_EQ(LogCapture::find(kReload + "Failed to reload the configuration from " + missing).status, -500);
    EXPECT_EQ(
        LogCapture::find(kReload + "Deleted key orvix.enable_audio found in lower priority config object")
            .level,
        VORN_EVENT_LEVEL_INFO);
    EXPECT_TRUE(LogCapture::has(
        kReload + "Setting parameter orvix.enable_usb removed from configs, restoring default value"));
    EXPECT_EQ(store_.restored, (std::vector<std::string>{"orvix.enable_usb"}));
    EXPECT_EQ(store_.last("orvix.enable_audio"), "u8 1");
    EXPECT_EQ(store_.last("orvix.linux_frame_buffer"), "text x");
    EXPECT_EQ(store_.last("orvix.client_resume_enabled"), "") << "startup-only: not applied";
    const std::string apply = "cVORN_MGMT_CFG_MGR::apply_config_settings: setting parameter ";
    EXPECT_EQ(LogCapture::find(apply + "orvix.mtu_size = 1400").level, VORN_EVENT_LEVEL_DEBUG);
    EXPECT_TRUE(LogCapture::has(apply + "orvix.linux_frame_buffer = \" x \""));

    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(LogCapture::count(kReload + "Reloading configuration"), 1u) << "no change, no reload";
    const auto start = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400))
        << "woken, not timed out";
}

TEST_F(ManagerTest, TheProcessManagerNeedsARealTypeFirstAndThenOnlyPreexisting) {
    auto refusal = [&](eVORN_ENV_TYPE type) {
        try {
            get_vorn_mgmt_cfg_mgr_helper(type, store_.environment());
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_FALSE(vorn_mgmt_cfg_mgr_exists());
    EXPECT_EQ(refusal(VORN_ENV_TYPE_PREEXISTING),
              "get_vorn_mgmt_cfg_mgr_helper must initially be called with a real environment type");
    cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST, store_.environment());
    EXPECT_TRUE(vorn_mgmt_cfg_mgr_exists());
    EXPECT_EQ(
        refusal(VORN_ENV_TYPE_REG),
        "The only valid manager type post initial environment manager setup is VORN_ENV_TYPE_PREEXISTING");
    EXPECT_EQ(get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING, store_.environment()), manager);

    // The imaging-backed manager loads no settings and never reloads.
    SettingsMap result{{"orvix.mtu_size", orvix::config::internal::SettingValue::of_number(1)}};
    EXPECT_TRUE(manager->load(result, "img_settings.cfg").empty());
    manager->reload();
    EXPECT_FALSE(manager->polling());
    EXPECT_FALSE(LogCapture::has(kReload + "Reloading configuration"));
}

}  // namespace
