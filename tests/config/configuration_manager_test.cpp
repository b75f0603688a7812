#include "config/configuration_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "eventlog/log_files.h"
#include "sources_test_support.h"

namespace {

using orvix::config::internal::RemovedNames;
using orvix::config::internal::Settings;
using orvix::config::internal::SettingsMap;
using orvix::config::internal::SettingValue;
using sources_test::eventually;
using sources_test::FakeStore;
using sources_test::LogCapture;

const std::string kSet = "cVORN_MGMT_CFG_MGR::set_config_parameter_to_env_mgr";
const std::string kReload = "cVORN_MGMT_CFG_MGR::reload: ";

// A source whose hand-over the test scripts.
struct Script {
    std::mutex mutex;
    SettingsMap values;
    RemovedNames report;  // appended at the next hand-over
    int32_t status = 0;
    std::atomic<bool> changed{false};
    std::atomic<int> hand_overs{0};
};

class ScriptedSource : public Settings {
public:
    ScriptedSource(std::string name, std::shared_ptr<Script> script)
        : name_(std::move(name)), s_(std::move(script)) {}
    SettingsMap load() override { return current_values(); }
    int32_t reload_into(SettingsMap* merged, RemovedNames* removed) override {
        std::lock_guard<std::mutex> guard(s_->mutex);
        ++s_->hand_overs;
        s_->changed = false;
        removed->insert(removed->end(), s_->report.begin(), s_->report.end());
        s_->report.clear();
        if (s_->status == 0) merged->insert(s_->values.begin(), s_->values.end());
        return s_->status;
    }
    std::string source_name() const override { return name_; }
    bool has_changes() override { return s_->changed; }
    void refresh_timestamp() override {}
    SettingsMap current_values() const override {
        std::lock_guard<std::mutex> guard(s_->mutex);
        return s_->values;
    }

private:
    std::string name_;
    std::shared_ptr<Script> s_;
};

// A manager whose load appends the scripted sources it is given and starts polling.
class ScriptedManager : public cVORN_MGMT_CFG_MGR {
public:
    using cVORN_MGMT_CFG_MGR::cVORN_MGMT_CFG_MGR;
    ~ScriptedManager() override { stop_worker(); }
    std::vector<std::pair<std::string, std::shared_ptr<Script>>> pending;
    SettingsMap& load(SettingsMap& result, const char*) override {
        std::lock_guard<std::mutex> guard(sources_mutex_);
        for (auto& [name, script] : pending) add_source(std::make_unique<ScriptedSource>(name, script), name);
        poll_.exchange(true);
        return result;
    }
};

class ManagerTest : public testing::Test {
protected:
    void SetUp() override { LogCapture::start(); }
    FakeStore store_;
};

TEST_F(ManagerTest, NumbersAreClampedOrCutAndTextTrimmed) {
    ScriptedManager manager(store_.environment());
    struct Case {
        const char* name;
        uint32_t number;
        const char* text;
        uint32_t type;
        uint32_t stored_number;
        const char* stored_text;
    };
    const Case cases[] = {
        {"orvix.mtu_size", 5000, "", ENV_VALUE_UINT32, 1500, ""},  // checked 500..1500
        {"orvix.mtu_size", 0, "", ENV_VALUE_UINT32, 500, ""},
        {"orvix.mtu_size", 1500, "", ENV_VALUE_UINT32, 1500, ""},
        {"orvix.event_filter_mode", 0xFFFFFFFFu, "", ENV_VALUE_ENUM, 3, ""},  // compared without sign
        {"orvix.enable_ipv6", 256, "", ENV_VALUE_UINT8, 0, ""},               // unchecked: cut, not clamped
        {"orvix.server_statistics_interval_seconds", 70000, "", ENV_VALUE_UINT16, 70000 & 0xFFFF, ""},
        {"orvix.server_type", 7, "  abc  ", ENV_VALUE_STRING, 0, "abc"},
        {"orvix.server_type", 0, "\t\r\n a b \v\f", ENV_VALUE_STRING, 0, "a b"},
        {"orvix.server_type", 0, nullptr, ENV_VALUE_STRING, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(manager.set_config_parameter_to_env_mgr(c.name, c.number, c.text), 0) << c.name;
        const auto w = store_.last(c.name);
        EXPECT_EQ(w.value_type, c.type) << c.name;
        EXPECT_EQ(w.number, c.stored_number) << c.name << " " << c.number;
        EXPECT_EQ(w.text, c.stored_text) << c.name;
    }
    const auto above = LogCapture::find(
        "Configure parameter orvix.mtu_size value 5000 above legal range clamping to "
        "maximum: 1500");
    EXPECT_EQ(above.level, VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_EQ(above.status, -500);
    EXPECT_TRUE(LogCapture::has(
        "Configure parameter orvix.mtu_size value 0 below legal range clamping to minimum: 500"));
    EXPECT_EQ(LogCapture::records().size(), 3u) << LogCapture::dump();  // the two above and the enum's
}

TEST_F(ManagerTest, UnknownFixedAndUnwritableSettingsAreRefused) {
    ScriptedManager manager(store_.environment());
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.tcp_port", 1, ""), -500);
    EXPECT_EQ(
        LogCapture::find(kSet + " - Error parameter orvix.tcp_port not configurable, ignoring ...").status,
        -500);
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.no_such_setting", 1, ""), -500);
    EXPECT_TRUE(LogCapture::has(kSet + " - Error parameter orvix.no_such_setting not found, ignoring ..."));

    const uint32_t index = get_entry_index("orvix.mtu_size");
    store_.row_overrides[index] = get_entry(index);
    store_.row_overrides[index].value_type = ENV_VALUE_MAC_ADDR;
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 1400, ""), -500);
    EXPECT_EQ(
        LogCapture::find(kSet + ": Config type 7 not supported, ignoring orvix.mtu_size setting").status, 0);
    EXPECT_TRUE(store_.writes().empty());

    store_.row_overrides.clear();
    store_.set_result = -501;  // the store's refusal is passed on; only -500 is logged
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 1400, ""), -501);
    EXPECT_FALSE(LogCapture::has(kSet + ": Failed to set orvix.mtu_size config parameter"));
    store_.set_result = -500;
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 1400, ""), -500);
    EXPECT_EQ(LogCapture::find(kSet + ": Failed to set orvix.mtu_size config parameter").status, -500);
}

TEST_F(ManagerTest, ApplyWritesInNameOrderExceptWhatThePredicateExcludes) {
    ScriptedManager manager(store_.environment());
    SettingValue odd = SettingValue::of_number(3);
    odd.type = 3;
    const SettingsMap map{{"orvix.mtu_size", SettingValue::of_number(5000)},
                          {"orvix.linux_frame_buffer", SettingValue::of_text("  abc  ")},
                          {"orvix.client_resume_enabled", SettingValue::of_number(1)},  // startup-only
                          {"orvix.no_such_setting", SettingValue::of_number(1)},
                          {"orvix.enable_audio", odd}};
    manager.apply_config_settings(map, [](const sVORN_ENV_LOOKUP_ENTRY& row) {
        return (row.modification & ENV_MOD_STARTUP_ONLY) != 0;
    });
    const auto writes = store_.writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].text, "abc");
    EXPECT_EQ(writes[1].number, 1500u);
    const std::string apply = "cVORN_MGMT_CFG_MGR::apply_config_settings: ";
    EXPECT_EQ(LogCapture::find(apply + "setting parameter orvix.mtu_size = 5000").level,
              VORN_EVENT_LEVEL_DEBUG);
    EXPECT_TRUE(LogCapture::has(apply + "setting parameter orvix.linux_frame_buffer = \"  abc  \""));
    EXPECT_TRUE(LogCapture::has(kSet + " - Error parameter orvix.no_such_setting not found, ignoring ..."));
    EXPECT_EQ(
        LogCapture::find(apply + "Unsupported parameter type 3 for orvix.enable_audio parameter.").status,
        -500);
    for (const auto& r : LogCapture::records()) EXPECT_EQ(r.message.find("client_resume"), std::string::npos);
}

TEST_F(ManagerTest, ReloadMergesByPriorityRestoresDefaultsAndLeavesStartupOnlyAlone) {
    auto high = std::make_shared<Script>(), failing = std::make_shared<Script>(),
         low = std::make_shared<Script>();
    high->values = {{"orvix.mtu_size", SettingValue::of_number(1400)}};
    low->values = {{"orvix.mtu_size", SettingValue::of_number(1300)},
                   {"orvix.enable_audio", SettingValue::of_number(0)},
                   {"orvix.client_resume_enabled", SettingValue::of_number(1)}};
    high->report = {"orvix.enable_audio", "orvix.enable_usb", "orvix.client_resume_enabled",
                    "orvix.enable_ipv4", "orvix.not_in_catalogue"};
    failing->status = -500;
    failing->report = {"orvix.priority_level"};  // reported before failing: still handled
    ScriptedManager manager(store_.environment());
    manager.pending = {{"high", high}, {"failing", failing}, {"low", low}};
    SettingsMap loaded;
    manager.load(loaded, nullptr);
    manager.reload();

    EXPECT_EQ(LogCapture::find(kReload + "Reloading configuration").level, VORN_EVENT_LEVEL_DEBUG);
    EXPECT_EQ(LogCapture::find(kReload + "Failed to reload the configuration from failing").status, -500);
    EXPECT_EQ(
        LogCapture::find(kReload + "Deleted key orvix.enable_audio found in lower priority config object")
            .level,
        VORN_EVENT_LEVEL_INFO);
    // enable_ipv4 carries all-ones flags, which count as startup-only.
    EXPECT_EQ(store_.restored(), (std::vector<std::string>{"orvix.enable_usb", "orvix.not_in_catalogue",
                                                           "orvix.priority_level"}));
    EXPECT_TRUE(LogCapture::has(kReload +
                                "Setting parameter orvix.enable_usb removed from configs, restoring default "
                                "value"));
    EXPECT_TRUE(LogCapture::has(kReload + "Applying config changes"));
    EXPECT_EQ(store_.last("orvix.mtu_size").number, 1400u);
    EXPECT_EQ(store_.last("orvix.enable_audio").value_type, ENV_VALUE_UINT8);
    EXPECT_EQ(store_.last("orvix.client_resume_enabled").value_type, 0u) << "startup-only: not applied";
}

TEST_F(ManagerTest, TheWorkerReloadsWhenASourceChanged) {
    auto script = std::make_shared<Script>();
    script->values = {{"orvix.mtu_size", SettingValue::of_number(1400)}};
    script->changed = true;
    auto manager = std::make_unique<ScriptedManager>(store_.environment());
    manager->pending = {{"polled", script}};
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_FALSE(manager->polling());
    SettingsMap loaded;
    manager->load(loaded, nullptr);
    ASSERT_TRUE(eventually([&] { return store_.last("orvix.mtu_size").number == 1400; }));
    const int hand_overs = script->hand_overs.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(script->hand_overs.load(), hand_overs) << "no change, no reload";

    const auto start = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400))
        << "woken, not timed out";
}

TEST_F(ManagerTest, TheProcessManagerNeedsARealTypeFirstAndThenOnlyPreexisting) {
    EXPECT_FALSE(vorn_mgmt_cfg_mgr_exists());
    try {
        get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING, store_.environment());
        FAIL() << "no manager exists yet";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(),
                     "get_vorn_mgmt_cfg_mgr_helper must initially be called with a real environment type");
    }
    cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST, store_.environment());
    EXPECT_TRUE(vorn_mgmt_cfg_mgr_exists());
    try {
        get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_REG, store_.environment());
        FAIL() << "a second real type";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(),
                     "The only valid manager type post initial environment manager setup is "
                     "VORN_ENV_TYPE_PREEXISTING");
    }
    EXPECT_EQ(get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING, store_.environment()), manager);

    // The imaging-backed manager loads no settings and never reloads.
    SettingsMap result{{"orvix.mtu_size", SettingValue::of_number(1)}};
    EXPECT_TRUE(manager->load(result, "img_settings.cfg").empty());
    manager->reload();
    EXPECT_FALSE(manager->polling());
    EXPECT_FALSE(LogCapture::has(kReload + "Reloading configuration"));
}

TEST_F(ManagerTest, TheFileManagerPollsWhenItCannotWatchAndRefusesAnImpossiblePath) {
    sources_test::TempFolder folder;
    cVORN_MGMT_CFG_MGR_FILE manager(store_.environment());
    EXPECT_TRUE(manager.load_file(FOLDER_TEMP, "missing-folder/orvix-agent.conf").empty());
    EXPECT_TRUE(manager.polling());
    EXPECT_EQ(manager.describe_sources().size(), 1u);

    EXPECT_TRUE(manager.load_file(FOLDER_TEMP, std::string(600, 'n').c_str()).empty());
    const auto records = LogCapture::records();
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](const auto& r) {
        return r.message.rfind("cVORN_MGMT_CFG_MGR_FILE::load_file: Failed to construct file path ", 0) == 0;
    })) << LogCapture::dump();
    EXPECT_EQ(manager.describe_sources().size(), 1u);
}

}  // namespace
