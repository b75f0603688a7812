// The store, the manager and its sources together, for real: the registry of the seam
// (in-process natively, the real one sandboxed per process under Wine), the store's own
// start-up, a real log file and a real configuration file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "eventlog/log_files.h"
#include "os/file_system.h"
#include "os/registry.h"
#include "platform/text_conversion.h"
#include "sources_test_support.h"

namespace {

using sources_test::eventually;
using sources_test::LogCapture;

constexpr char16_t kAdmin[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
constexpr char16_t kOrvix[] = u"SOFTWARE\\Quillon\\Orvix\\orvix_admin";
constexpr char16_t kDefaults[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin_defaults";

void set_dword(const std::u16string& key_path, const std::u16string& name, uint32_t value) {
    orvix::os::RegKey key = 0;
    ASSERT_EQ(orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, key_path, orvix::os::kKeyAllAccess,
                                             &key),
              0);
    ASSERT_EQ(orvix::os::registry_set_value(key, name, orvix::os::kRegDword, &value, sizeof value), 0);
    orvix::os::registry_close_key(key);
}

void delete_value(const std::u16string& key_path, const std::u16string& name) {
    orvix::os::RegKey key = 0;
    ASSERT_EQ(
        orvix::os::registry_open_key(orvix::os::kHkeyLocalMachine, key_path, orvix::os::kKeyAllAccess, &key),
        0);
    EXPECT_EQ(orvix::os::registry_delete_value(key, name), 0);
    orvix::os::registry_close_key(key);
}

uint32_t u32(const char* name) {
    uint32_t value = 0;
    EXPECT_EQ(vorn_mgmt_env_get_uint32(name, &value), 0) << name;
    return value;
}
uint8_t u8(const char* name) {
    uint8_t value = 0;
    EXPECT_EQ(vorn_mgmt_env_get_uint8(name, &value), 0) << name;
    return value;
}

std::filesystem::path utf8_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.c_str())));
}

class EndToEndTest : public testing::Test {
protected:
    sources_test::TempFolder folder_;  // the process's ProgramData
};

TEST_F(EndToEndTest, PolicyRootsMergeByPriorityAndNumbersAreClampedWithTheMessageInTheLogFile) {
    set_dword(kAdmin, u"orvix.mtu_size", 5000);
    set_dword(kOrvix, u"orvix.mtu_size", 1300);
    set_dword(kOrvix, u"orvix.enable_audio", 0);
    set_dword(kDefaults, u"orvix.enable_audio", 1);
    set_dword(kDefaults, u"orvix.enable_usb", 0);

    // The event log writes a file of this process's own in the log folder.
    const std::string app = "orvix_sources_e2e_" + std::to_string(orvix::os::current_process_id());
    vorn_event_init_params params{};
    vorn_event_get_default_init_params(&params);
    params.app_name = app.c_str();
    params.simple_file_name = 1;
    ASSERT_EQ(vorn_event_init(&params), 0);
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);

    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    EXPECT_TRUE(vorn_mgmt_cfg_mgr_exists());
    EXPECT_EQ(u32("orvix.mtu_size"), 1500u);
    EXPECT_EQ(u8("orvix.enable_audio"), 0u);
    EXPECT_EQ(u8("orvix.enable_usb"), 0u) << "a default applies where neither policy root sets the key";
    EXPECT_THROW(get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_REG), std::invalid_argument);
    const auto reports = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING)->describe_sources();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[1].label, "orvix policies");
    EXPECT_EQ(reports[1].description, "SOFTWARE\\Quillon\\Orvix\\orvix_admin");
    EXPECT_EQ(reports[1].values.size(), 2u);
    vorn_event_shutdown();

    const std::u16string folder = vorn_util_get_log_folder();
    std::u16string pattern;
    ASSERT_EQ(vorn_util_create_wide_string_from_utf8((app + "*").c_str(), &pattern), 0);
    std::vector<orvix::os::FoundFile> found;
    ASSERT_EQ(orvix::os::find_files(folder + pattern, &found), 0u);
    ASSERT_EQ(found.size(), 1u);
    const std::u16string file = folder + found[0].name;
    char utf8[1024] = {};
    ASSERT_GT(vorn_util_convert_utf8_string_from_wide(file.c_str(), utf8, sizeof utf8), 0);
    std::string log;
    {
        std::ifstream in(utf8_path(utf8));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();  // CR LF natively; text mode under Windows
            log += line + "\n";
        }
    }
    orvix::os::delete_file(file);
    for (const char* line :
         {" > LVL:0 RC:-500        MGMT_ENV :Configure parameter orvix.mtu_size value 5000 above legal range "
          "clamping to maximum: 1500\n",
          " > LVL:0 RC:   0        MGMT_ENV :cVORN_MGMT_CFG_MGR_REG::load_reg[1]: Processed settings from "
          "admin "
          "policies\n",
          " > LVL:0 RC:   0        MGMT_ENV :cVORN_MGMT_CFG_MGR_REG::load_reg[3]: Processed settings from "
          "over-rideable admin defaults\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\nin\n" << log;
    }
}

TEST_F(EndToEndTest, ARemovedValueGetsItsDefaultBackUnlessStartupOnly) {
    LogCapture::start();
    set_dword(kAdmin, u"orvix.mtu_size", 1400);
    set_dword(kAdmin, u"orvix.client_resume_enabled", 1);  // startup-only, default 0
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    EXPECT_EQ(u8("orvix.client_resume_enabled"), 1u) << "start-up takes every value";

    // A reload neither applies a new startup-only value nor restores its default.
    set_dword(kAdmin, u"orvix.client_resume_enabled", 0);
    set_dword(kAdmin, u"orvix.mtu_size", 1300);
    ASSERT_TRUE(eventually([] { return u32("orvix.mtu_size") == 1300; })) << LogCapture::dump();
    EXPECT_EQ(u8("orvix.client_resume_enabled"), 1u);
    delete_value(kAdmin, u"orvix.mtu_size");
    delete_value(kAdmin, u"orvix.client_resume_enabled");
    ASSERT_TRUE(eventually([] { return u32("orvix.mtu_size") == 1200; })) << LogCapture::dump();
    EXPECT_EQ(u8("orvix.client_resume_enabled"), 1u);
    EXPECT_TRUE(
        LogCapture::has("cVORN_MGMT_CFG_MGR::reload: Setting parameter orvix.mtu_size removed from configs, "
                        "restoring default value"));
}

TEST_F(EndToEndTest, ADeletedKeyFallsBackAndARecreatedOneComesBack) {
    LogCapture::start();
    set_dword(kAdmin, u"orvix.mtu_size", 1400);
    set_dword(kAdmin, u"orvix.enable_audio", 0);
    set_dword(kOrvix, u"orvix.mtu_size", 1300);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    ASSERT_EQ(u32("orvix.mtu_size"), 1400u);

    ASSERT_EQ(orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kAdmin), 0);
    ASSERT_TRUE(eventually([] { return u32("orvix.mtu_size") == 1300 && u8("orvix.enable_audio") == 1; }))
        << LogCapture::dump();
    EXPECT_TRUE(LogCapture::has(
        "cVORN_MGMT_CFG_MGR::reload: Deleted key orvix.mtu_size found in lower priority config object"));

    set_dword(kAdmin, u"orvix.mtu_size", 1450);
    set_dword(kAdmin, u"orvix.enable_audio", 0);
    EXPECT_TRUE(eventually([] { return u32("orvix.mtu_size") == 1450 && u8("orvix.enable_audio") == 0; }))
        << LogCapture::dump();
}

// ---- the file-backed manager with a real file ----

class FileEndToEndTest : public EndToEndTest {
protected:
    void SetUp() override {
        LogCapture::start();
        char folder[512] = {};
        ASSERT_EQ(vorn_util_get_folder(folder, sizeof folder, FOLDER_PROGRAM_DATA), 0);
        quillon_ = utf8_path(folder);
        std::filesystem::create_directories(quillon_);
        ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!file_.empty()) std::filesystem::remove(file_, ignored);
    }
    void write(const std::string& content) { sources_test::write_file(file_, content); }
    // How long a change of the file takes to reach the store.
    double milliseconds_to_store(const std::function<void()>& change, uint32_t expected) {
        const auto start = std::chrono::steady_clock::now();
        change();
        EXPECT_TRUE(eventually([&] { return u32("orvix.mtu_size") == expected; }, 10000))
            << LogCapture::dump();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    std::filesystem::path quillon_;
    std::filesystem::path file_;
};

TEST_F(FileEndToEndTest, EditReplaceDeleteAndRestoreReachTheStore) {
    file_ = quillon_ / "orvix-agent.conf";
    write("orvix.mtu_size = 1400\norvix.enable_audio = 0\n");
    cVORN_MGMT_CFG_MGR_FILE manager(store_environment_interface());
    cVORN_MGMT_CFG_MGR::SettingsMap loaded;
    manager.load(loaded, nullptr);
    manager.apply_config_settings(loaded, [](const sVORN_ENV_LOOKUP_ENTRY&) { return false; });
    EXPECT_EQ(u32("orvix.mtu_size"), 1400u);
    ASSERT_FALSE(manager.polling()) << "the file is watched, not polled";

    const double edit =
        milliseconds_to_store([&] { write("orvix.mtu_size = 1300\norvix.enable_audio = 0\n"); }, 1300);
    const double rename = milliseconds_to_store(
        [&] {
            sources_test::write_file(quillon_ / "orvix-agent.conf.new", "orvix.mtu_size = 1250\n");
            std::filesystem::rename(quillon_ / "orvix-agent.conf.new", file_);
        },
        1250);
    EXPECT_TRUE(eventually([] { return u8("orvix.enable_audio") == 1; }))
        << "its line went: the default is back";

    std::filesystem::remove(file_);
    EXPECT_TRUE(LogCapture::wait_for("cVORN_MGMT_CFG_MGR::reload: Failed to reload the configuration from " +
                                     std::string(reinterpret_cast<const char*>(file_.u8string().c_str()))));
    EXPECT_EQ(u32("orvix.mtu_size"), 1250u) << "the values stay while the file is gone";
    const double restore = milliseconds_to_store([&] { write("orvix.mtu_size = 1350\n"); }, 1350);
    std::printf("file change to store: edit %.1f ms, replace %.1f ms, restore %.1f ms\n", edit, rename,
                restore);
}

TEST_F(FileEndToEndTest, WithoutAWatchTheManagerPollsTheFile) {
    // A folder that does not exist yet cannot be watched; the poll finds the file later.
    const std::string name = "orvix_sources_unwatched_" + std::to_string(orvix::os::current_process_id());
    file_ = quillon_ / name / "orvix-agent.conf";
    cVORN_MGMT_CFG_MGR_FILE manager(store_environment_interface());
    const std::string relative = name + static_cast<char>(orvix::os::path_separator()) + "orvix-agent.conf";
    EXPECT_TRUE(manager.load_file(FOLDER_PROGRAM_DATA, relative.c_str()).empty());
    EXPECT_TRUE(manager.polling());
    std::filesystem::create_directories(quillon_ / name);
    write("orvix.mtu_size = 1444\n");
    EXPECT_TRUE(eventually([] { return u32("orvix.mtu_size") == 1444; }, 10000)) << LogCapture::dump();
    std::error_code ignored;
    std::filesystem::remove(file_, ignored);
    std::filesystem::remove(quillon_ / name, ignored);
}

}  // namespace
