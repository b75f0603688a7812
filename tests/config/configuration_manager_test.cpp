#include "config/configuration_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/settings_from_file.h"
#include "eventlog/log_files.h"
#include "os/file_watcher.h"
#include "os/registry.h"
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
const std::string kApply = "cVORN_MGMT_CFG_MGR::apply_config_settings";
const std::string kReload = "cVORN_MGMT_CFG_MGR::reload";

// A source whose hand-over the test scripts.
class ScriptedSource : public Settings {
public:
    struct Script {
        std::mutex mutex;
        SettingsMap values;
        RemovedNames report;  // appended at the next hand-over, then forgotten
        int32_t status = 0;
        std::atomic<bool> changed{false};
        std::atomic<int> hand_overs{0};
    };
    ScriptedSource(std::string name, std::shared_ptr<Script> script) : name_(std::move(name)), script_(script) {}

    SettingsMap load() override {
        std::lock_guard<std::mutex> guard(script_->mutex);
        return script_->values;
    }
    int32_t reload_into(SettingsMap* merged, RemovedNames* removed) override {
        std::lock_guard<std::mutex> guard(script_->mutex);
        ++script_->hand_overs;
        script_->changed = false;
        for (const auto& r : script_->report) removed->push_back(r);
        script_->report.clear();
        if (script_->status != 0) return script_->status;
        for (const auto& [name, value] : script_->values) merged->emplace(name, value);
        return 0;
    }
    std::string source_name() const override { return name_; }
    bool has_changes() override { return script_->changed; }
    void refresh_timestamp() override {}
    SettingsMap current_values() const override {
        std::lock_guard<std::mutex> guard(script_->mutex);
        return script_->values;
    }

private:
    std::string name_;
    std::shared_ptr<ScriptedSource::Script> script_;
};

// A manager whose load appends the scripted sources it is given.
class ScriptedManager : public cVORN_MGMT_CFG_MGR {
public:
    using cVORN_MGMT_CFG_MGR::cVORN_MGMT_CFG_MGR;
    ~ScriptedManager() override { stop_worker(); }

    std::vector<std::pair<std::string, std::shared_ptr<ScriptedSource::Script>>> pending;
    bool poll_after_load = true;

    SettingsMap& load(SettingsMap& result, const char*) override {
        std::lock_guard<std::mutex> guard(sources_mutex_);
        for (auto& [name, script] : pending) {
            Settings* source = add_source(std::make_unique<ScriptedSource>(name, script), name + " label");
            SettingsMap values = source->load();
            result.merge(values);
        }
        pending.clear();
        if (poll_after_load) poll_.exchange(true);
        return result;
    }
};

class ManagerTest : public testing::Test {
protected:
    void SetUp() override { LogCapture::start(); }
    FakeStore store_;
};

// ---- one value into the store ----

TEST_F(ManagerTest, NumbersOfCheckedRowsAreClampedIntoTheirRange) {
    ScriptedManager manager(store_.environment());
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 5000, ""), 0);
    EXPECT_EQ(store_.last("orvix.mtu_size").number, 1500u);
    EXPECT_EQ(store_.last("orvix.mtu_size").value_type, ENV_VALUE_UINT32);
    const auto above = LogCapture::find("Configure parameter orvix.mtu_size value 5000 above legal range clamping to "
                                        "maximum: 1500");
    EXPECT_EQ(above.level, VORN_EVENT_LEVEL_CRITICAL) << LogCapture::dump();
    EXPECT_EQ(above.status, -500);

    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 0, ""), 0);
    EXPECT_EQ(store_.last("orvix.mtu_size").number, 500u);
    EXPECT_TRUE(LogCapture::has("Configure parameter orvix.mtu_size value 0 below legal range clamping to minimum: 500"));

    LogCapture::clear();
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 1500, ""), 0);
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 500, ""), 0);
    EXPECT_EQ(store_.last("orvix.mtu_size").number, 500u);
    EXPECT_TRUE(LogCapture::records().empty()) << "the bounds themselves are legal";

    // Compared without sign: a "negative" number is above the range.
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.event_filter_mode", 0xFFFFFFFFu, ""), 0);
    EXPECT_EQ(store_.last("orvix.event_filter_mode").number, 3u);
    EXPECT_EQ(store_.last("orvix.event_filter_mode").value_type, ENV_VALUE_ENUM);
}

TEST_F(ManagerTest, UncheckedNumbersAreCutToTheRowWidth) {
    ScriptedManager manager(store_.environment());
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.enable_ipv6", 256, ""), 0);
    EXPECT_EQ(store_.last("orvix.enable_ipv6").value_type, ENV_VALUE_UINT8);
    EXPECT_EQ(store_.last("orvix.enable_ipv6").number, 0u);
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.server_statistics_interval_seconds", 70000, ""), 0);
    EXPECT_EQ(store_.last("orvix.server_statistics_interval_seconds").value_type, ENV_VALUE_UINT16);
    EXPECT_EQ(store_.last("orvix.server_statistics_interval_seconds").number, 70000u & 0xFFFFu);
    EXPECT_TRUE(LogCapture::records().empty());
}

TEST_F(ManagerTest, TextIsTrimmedOfWhiteSpace) {
    ScriptedManager manager(store_.environment());
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.server_type", 7, "  abc  "), 0);
    EXPECT_EQ(store_.last("orvix.server_type").text, "abc");
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.server_type", 0, "\t\r\n a b \v\f"), 0);
    EXPECT_EQ(store_.last("orvix.server_type").text, "a b");
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.server_type", 0, nullptr), 0);
    EXPECT_EQ(store_.last("orvix.server_type").text, "");
    EXPECT_EQ(store_.last("orvix.server_type").value_type, ENV_VALUE_STRING);
}

TEST_F(ManagerTest, UnknownFixedAndUnwritableSettingsAreRefused) {
    ScriptedManager manager(store_.environment());
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.tcp_port", 1, ""), -500);
    EXPECT_EQ(LogCapture::find(kSet + " - Error parameter orvix.tcp_port not configurable, ignoring ...").status, -500);
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.no_such_setting", 1, ""), -500);
    EXPECT_EQ(LogCapture::find(kSet + " - Error parameter orvix.no_such_setting not found, ignoring ...").level,
              VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr(nullptr, 1, ""), -500);

    // A configurable row of a type the manager cannot write.
    const uint32_t index = get_entry_index("orvix.mtu_size");
    sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
    row.value_type = ENV_VALUE_MAC_ADDR;
    store_.row_overrides[index] = row;
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 1400, ""), -500);
    const auto unsupported = LogCapture::find(kSet + ": Config type 7 not supported, ignoring orvix.mtu_size setting");
    EXPECT_EQ(unsupported.status, 0) << LogCapture::dump();
    EXPECT_TRUE(store_.writes().empty());

    // The store's own refusal is passed on; -500 is also logged.
    store_.row_overrides.clear();
    store_.set_result = -501;
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 1400, ""), -501);
    EXPECT_FALSE(LogCapture::has(kSet + ": Failed to set orvix.mtu_size config parameter"));
    store_.set_result = -500;
    EXPECT_EQ(manager.set_config_parameter_to_env_mgr("orvix.mtu_size", 1400, ""), -500);
    EXPECT_EQ(LogCapture::find(kSet + ": Failed to set orvix.mtu_size config parameter").status, -500);
}

// ---- a whole map ----

TEST_F(ManagerTest, ApplyWritesInNameOrderAndSkipsWhatThePredicateExcludes) {
    ScriptedManager manager(store_.environment());
    SettingsMap map;
    map["orvix.mtu_size"] = SettingValue::of_number(5000);
    map["orvix.linux_frame_buffer"] = SettingValue::of_text("  abc  ");
    map["orvix.client_resume_enabled"] = SettingValue::of_number(1);  // startup-only
    map["orvix.tcp_port"] = SettingValue::of_number(1);
    map["orvix.no_such_setting"] = SettingValue::of_number(1);
    SettingValue odd = SettingValue::of_number(3);
    odd.type = 3;
    map["orvix.enable_audio"] = odd;

    manager.apply_config_settings(map, [](const sVORN_ENV_LOOKUP_ENTRY& row) {
        return (row.modification & ENV_MOD_STARTUP_ONLY) != 0;
    });
    const auto writes = store_.writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].name, "orvix.linux_frame_buffer");
    EXPECT_EQ(writes[0].text, "abc");
    EXPECT_EQ(writes[1].name, "orvix.mtu_size");
    EXPECT_EQ(writes[1].number, 1500u);

    const auto number = LogCapture::find(kApply + ": setting parameter orvix.mtu_size = 5000");
    EXPECT_EQ(number.level, VORN_EVENT_LEVEL_DEBUG) << LogCapture::dump();
    EXPECT_TRUE(LogCapture::has(kApply + ": setting parameter orvix.linux_frame_buffer = \"  abc  \""));
    EXPECT_TRUE(LogCapture::has(kSet + " - Error parameter orvix.no_such_setting not found, ignoring ..."));
    // orvix.tcp_port carries all-ones flags: the predicate leaves it out before any check.
    EXPECT_FALSE(LogCapture::has(kSet + " - Error parameter orvix.tcp_port not configurable, ignoring ..."));
    EXPECT_EQ(LogCapture::find(kApply + ": Unsupported parameter type 3 for orvix.enable_audio parameter.").status,
              -500);
    for (const auto& r : LogCapture::records()) {
        EXPECT_EQ(r.message.find("client_resume"), std::string::npos) << r.message;
    }
}

// ---- reloads ----

TEST_F(ManagerTest, ReloadMergesByPriorityAndRestoresWhatNoSourceSupplies) {
    auto high = std::make_shared<ScriptedSource::Script>();
    auto failing = std::make_shared<ScriptedSource::Script>();
    auto low = std::make_shared<ScriptedSource::Script>();
    high->values["orvix.mtu_size"] = SettingValue::of_number(1400);
    low->values["orvix.mtu_size"] = SettingValue::of_number(1300);
    low->values["orvix.enable_audio"] = SettingValue::of_number(0);
    low->values["orvix.client_resume_enabled"] = SettingValue::of_number(1);  // startup-only

    ScriptedManager manager(store_.environment());
    manager.poll_after_load = false;
    manager.pending = {{"high", high}, {"failing", failing}, {"low", low}};
    SettingsMap loaded;
    manager.load(loaded, nullptr);
    EXPECT_EQ(loaded.at("orvix.mtu_size"), SettingValue::of_number(1400));

    high->report = {"orvix.enable_audio", "orvix.enable_usb", "orvix.client_resume_enabled", "orvix.ipc_variant"};
    failing->status = -500;
    failing->report = {"orvix.priority_level"};  // reported before failing: still handled
    manager.reload();

    EXPECT_EQ(LogCapture::find(kReload + ": Reloading configuration").level, VORN_EVENT_LEVEL_DEBUG);
    EXPECT_EQ(LogCapture::find(kReload + ": Failed to reload the configuration from failing").status, -500)
        << LogCapture::dump();
    const auto found = LogCapture::find(kReload + ": Deleted key orvix.enable_audio found in lower priority config object");
    EXPECT_EQ(found.level, VORN_EVENT_LEVEL_INFO);
    EXPECT_TRUE(LogCapture::has(kReload +
                                ": Deleted key orvix.client_resume_enabled found in lower priority config object"));
    EXPECT_EQ(store_.restored(), (std::vector<std::string>{"orvix.enable_usb", "orvix.ipc_variant",
                                                           "orvix.priority_level"}));
    EXPECT_EQ(LogCapture::find(kReload + ": Setting parameter orvix.enable_usb removed from configs, restoring default "
                                         "value")
                  .level,
              VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_TRUE(LogCapture::has(kReload + ": Applying config changes"));

    // Applied: the high source's value, and nothing startup-only.
    EXPECT_EQ(store_.last("orvix.mtu_size").number, 1400u);
    EXPECT_EQ(store_.last("orvix.enable_audio").name, "orvix.enable_audio");
    EXPECT_EQ(store_.last("orvix.client_resume_enabled").name, "");
}

TEST_F(ManagerTest, StartupOnlySettingsAreNeitherRestoredNorChangedByReloads) {
    auto only = std::make_shared<ScriptedSource::Script>();
    only->values["orvix.client_resume_enabled"] = SettingValue::of_number(1);
    ScriptedManager manager(store_.environment());
    manager.poll_after_load = false;
    manager.pending = {{"only", only}};
    SettingsMap loaded;
    manager.load(loaded, nullptr);
    manager.reload();
    EXPECT_TRUE(store_.writes().empty());

    {
        std::lock_guard<std::mutex> guard(only->mutex);
        only->values.clear();
        // orvix.enable_ipv4 carries all-ones flags, which count as startup-only too.
        only->report = {"orvix.client_resume_enabled", "orvix.enable_ipv4", "orvix.not_in_catalogue"};
    }
    manager.reload();
    EXPECT_EQ(store_.restored(), (std::vector<std::string>{"orvix.not_in_catalogue"}));
}

TEST_F(ManagerTest, TheWorkerPollsOnlyAfterALoadAskedForIt) {
    auto script = std::make_shared<ScriptedSource::Script>();
    script->values["orvix.mtu_size"] = SettingValue::of_number(1400);
    ScriptedManager manager(store_.environment());
    manager.pending = {{"polled", script}};
    script->changed = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(script->hand_overs.load(), 0) << "no sources and no polling before the load";

    SettingsMap loaded;
    manager.load(loaded, nullptr);
    EXPECT_TRUE(manager.polling());
    ASSERT_TRUE(eventually([&] { return script->hand_overs.load() == 1; }));
    EXPECT_TRUE(eventually([&] { return store_.last("orvix.mtu_size").number == 1400; }));

    // A later change is seen too; no change, no reload.
    {
        std::lock_guard<std::mutex> guard(script->mutex);
        script->values["orvix.mtu_size"] = SettingValue::of_number(1300);
    }
    script->changed = true;
    ASSERT_TRUE(eventually([&] { return store_.last("orvix.mtu_size").number == 1300; }));
    const int hand_overs = script->hand_overs.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(script->hand_overs.load(), hand_overs);
}

TEST_F(ManagerTest, DescribeSourcesListsThemInPriorityOrder) {
    auto first = std::make_shared<ScriptedSource::Script>();
    auto second = std::make_shared<ScriptedSource::Script>();
    first->values["orvix.mtu_size"] = SettingValue::of_number(1400);
    second->values["orvix.mtu_size"] = SettingValue::of_number(1300);
    second->values["orvix.server_type"] = SettingValue::of_text("abc");
    ScriptedManager manager(store_.environment());
    manager.pending = {{"first", first}, {"second", second}};
    SettingsMap loaded;
    manager.load(loaded, nullptr);
    const auto reports = manager.describe_sources();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].label, "first label");
    EXPECT_EQ(reports[0].description, "first");
    EXPECT_EQ(reports[0].values, first->values);
    EXPECT_EQ(reports[1].description, "second");
    EXPECT_EQ(reports[1].values.size(), 2u);
}

TEST_F(ManagerTest, DestructionStopsAPollingWorkerPromptly) {
    auto script = std::make_shared<ScriptedSource::Script>();
    auto manager = std::make_unique<ScriptedManager>(store_.environment());
    manager->pending = {{"polled", script}};
    SettingsMap loaded;
    manager->load(loaded, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400)) << "not a full poll interval";
}

// ---- the process's manager ----

TEST_F(ManagerTest, TheFirstCallNeedsARealTypeAndLaterCallsOnlyPreexisting) {
    EXPECT_FALSE(vorn_mgmt_cfg_mgr_exists());
    try {
        get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING, store_.environment());
        FAIL() << "no manager exists yet";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "get_vorn_mgmt_cfg_mgr_helper must initially be called with a real environment type");
    }
    EXPECT_THROW(get_vorn_mgmt_cfg_mgr_helper(static_cast<eVORN_ENV_TYPE>(7), store_.environment()),
                 std::invalid_argument);
    EXPECT_FALSE(vorn_mgmt_cfg_mgr_exists());

    cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST, store_.environment());
    ASSERT_NE(manager, nullptr);
    EXPECT_NE(dynamic_cast<cVORN_MGMT_CFG_MGR_TEST*>(manager), nullptr);
    EXPECT_TRUE(vorn_mgmt_cfg_mgr_exists());
    for (eVORN_ENV_TYPE type : {VORN_ENV_TYPE_FILE, VORN_ENV_TYPE_REG, VORN_ENV_TYPE_TEST}) {
        try {
            get_vorn_mgmt_cfg_mgr_helper(type, store_.environment());
            FAIL() << "type " << type << " after the manager exists";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(),
                         "The only valid manager type post initial environment manager setup is "
                         "VORN_ENV_TYPE_PREEXISTING");
        }
    }
    EXPECT_EQ(get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING, store_.environment()), manager);
}

TEST_F(ManagerTest, TheTestManagerLoadsNothingAndNeverReloads) {
    cVORN_MGMT_CFG_MGR_TEST manager(store_.environment());
    SettingsMap result;
    result["orvix.mtu_size"] = SettingValue::of_number(1);
    EXPECT_TRUE(manager.load(result, "img_settings.cfg").empty());
    manager.reload();
    manager.check_for_changes();
    EXPECT_FALSE(manager.polling());
    EXPECT_TRUE(manager.describe_sources().empty());
    EXPECT_FALSE(LogCapture::has(kReload + ": Reloading configuration"));
    EXPECT_TRUE(store_.writes().empty());
}

// ---- the registry-backed manager over the registry of the seam ----

class RegistryManagerTest : public ManagerTest {
protected:
    void SetUp() override {
        ManagerTest::SetUp();
        clean();
    }
    void TearDown() override { clean(); }
    static void clean() {
        orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, u"SOFTWARE\\Policies\\Quillon");
        orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, u"SOFTWARE\\Quillon");
    }
    static void set_dword(const std::u16string& key_path, const std::u16string& name, uint32_t value) {
        orvix::os::RegKey key = 0;
        ASSERT_EQ(orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, key_path, orvix::os::kKeyAllAccess, &key),
                  0);
        ASSERT_EQ(orvix::os::registry_set_value(key, name, orvix::os::kRegDword, &value, sizeof value), 0);
        orvix::os::registry_close_key(key);
    }
};

constexpr char16_t kAdmin[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
constexpr char16_t kOrvix[] = u"SOFTWARE\\Quillon\\Orvix\\orvix_admin";
constexpr char16_t kDefaults[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin_defaults";

TEST_F(RegistryManagerTest, LoadMergesTheThreeKeysByPriority) {
    set_dword(kAdmin, u"orvix.mtu_size", 1400);
    set_dword(kOrvix, u"orvix.mtu_size", 1300);
    set_dword(kOrvix, u"orvix.enable_audio", 0);
    set_dword(kDefaults, u"orvix.enable_audio", 1);
    set_dword(kDefaults, u"orvix.enable_usb", 0);

    cVORN_MGMT_CFG_MGR_REG manager(store_.environment());
    EXPECT_FALSE(manager.polling());
    SettingsMap merged;
    manager.load(merged, nullptr);
    EXPECT_TRUE(manager.polling());
    ASSERT_EQ(merged.size(), 3u) << LogCapture::dump();
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(1400));
    EXPECT_EQ(merged.at("orvix.enable_audio"), SettingValue::of_number(0));
    EXPECT_EQ(merged.at("orvix.enable_usb"), SettingValue::of_number(0));

    const auto first = LogCapture::find("cVORN_MGMT_CFG_MGR_REG::load_reg[1]: Processed settings from admin policies");
    EXPECT_EQ(first.level, VORN_EVENT_LEVEL_CRITICAL) << LogCapture::dump();
    EXPECT_TRUE(LogCapture::has("cVORN_MGMT_CFG_MGR_REG::load_reg[2]: Processed settings from orvix policies"));
    EXPECT_TRUE(LogCapture::has(
        "cVORN_MGMT_CFG_MGR_REG::load_reg[3]: Processed settings from over-rideable admin defaults"));

    const auto reports = manager.describe_sources();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].label, "admin policies");
    EXPECT_EQ(reports[0].description, "SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin");
    EXPECT_EQ(reports[1].description, "SOFTWARE\\Quillon\\Orvix\\orvix_admin");
    EXPECT_EQ(reports[2].label, "over-rideable admin defaults");
    EXPECT_EQ(reports[2].values.size(), 2u);

    // The first polls hand every source over once; then a change reaches the store.
    set_dword(kAdmin, u"orvix.mtu_size", 5000);
    EXPECT_TRUE(eventually([&] { return store_.last("orvix.mtu_size").number == 1500; })) << LogCapture::dump();
}

// ---- the file-backed manager ----

TEST_F(ManagerTest, AFileManagerWithoutAFolderFallsBackToPolling) {
    sources_test::TempFolder folder;
    cVORN_MGMT_CFG_MGR_FILE manager(store_.environment());
    // The folder of a file that cannot be watched: it does not exist.
    SettingsMap settings = manager.load_file(FOLDER_TEMP, "missing-folder/orvix-agent.conf");
    EXPECT_TRUE(settings.empty());
    EXPECT_TRUE(manager.polling());
}

TEST_F(ManagerTest, AFileManagerWithAnImpossiblePathLoadsNothing) {
    cVORN_MGMT_CFG_MGR_FILE manager(store_.environment());
    const std::string name(600, 'n');
    EXPECT_TRUE(manager.load_file(FOLDER_TEMP, name.c_str()).empty());
    bool logged = false;
    for (const auto& r : LogCapture::records()) {
        logged = logged || r.message.rfind("cVORN_MGMT_CFG_MGR_FILE::load_file: Failed to construct file path ", 0) == 0;
    }
    EXPECT_TRUE(logged) << LogCapture::dump();
    EXPECT_TRUE(manager.describe_sources().empty());
}

}  // namespace
