// The store, the manager and its sources together, for real: the registry of the seam
// (in-process natively, the real one sandboxed per process under Wine), the store's own
// start-up, a real log file and a real configuration file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "eventlog/log_files.h"
#include "os/file_system.h"
#include "os/registry.h"
#include "sources_test_support.h"

namespace {

using sources_test::eventually;
using sources_test::LogCapture;
using sources_test::set_dword;
using sources_test::stored;

constexpr char16_t kAdmin[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
constexpr char16_t kOrvix[] = u"SOFTWARE\\Quillon\\Orvix\\orvix_admin";
constexpr char16_t kDefaults[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin_defaults";

std::filesystem::path utf8_path(const char* utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8)));
}

TEST(EndToEnd, PolicyKeysMergeByPriorityAndFollowChangesIntoTheStoreAndTheLogFile) {
    sources_test::TempFolder folder;  // the process's ProgramData, where the log file goes
    set_dword(kAdmin, u"orvix.mtu_size", 5000);
    set_dword(kAdmin, u"orvix.enable_audio", 0);
    set_dword(kAdmin, u"orvix.client_resume_enabled", 1);  // startup-only, default 0
    set_dword(kOrvix, u"orvix.mtu_size", 1300);
    set_dword(kOrvix, u"orvix.enable_usb", 0);
    set_dword(kDefaults, u"orvix.enable_usb", 1);
    set_dword(kDefaults, u"orvix.priority_level", 4);
    vorn_event_init_params params{};
    vorn_event_get_default_init_params(&params);
    params.app_name = "orvix_sources_e2e";
    ASSERT_EQ(vorn_event_init(&params), 0);
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    char path[512] = {};
    ASSERT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    EXPECT_EQ(stored("orvix.mtu_size"), "1500");
    EXPECT_EQ(stored("orvix.enable_usb"), "0");
    EXPECT_EQ(stored("orvix.priority_level"), "4")
        << "a default applies where neither policy key sets the name";
    EXPECT_EQ(stored("orvix.client_resume_enabled"), "1") << "start-up takes every value";

    // A reload neither applies a new startup-only value nor restores its default. The
    // deletion waits for a change to have come through the key's own re-read: a hand-over
    // before that re-read forgets which names the key supplied, so a value deleted then
    // would never be reported removed.
    set_dword(kAdmin, u"orvix.client_resume_enabled", 0);
    set_dword(kAdmin, u"orvix.mtu_size", 1400);
    ASSERT_TRUE(eventually([] { return stored("orvix.mtu_size") == "1400"; }));
    EXPECT_EQ(stored("orvix.client_resume_enabled"), "1");
    ASSERT_EQ(sources_test::delete_registry_value(kAdmin, u"orvix.enable_audio"), 0);
    ASSERT_TRUE(eventually([] { return stored("orvix.enable_audio") == "1"; }));
    ASSERT_EQ(orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kAdmin), 0);
    ASSERT_TRUE(eventually([] { return stored("orvix.mtu_size") == "1300"; }));
    EXPECT_EQ(stored("orvix.client_resume_enabled"), "1");
    set_dword(kAdmin, u"orvix.mtu_size", 1450);
    set_dword(kAdmin, u"orvix.enable_audio", 0);
    EXPECT_TRUE(
        eventually([] { return stored("orvix.mtu_size") == "1450" && stored("orvix.enable_audio") == "0"; }));
    vorn_event_shutdown();

    std::ifstream in(utf8_path(path), std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* line :
         {" > LVL:0 RC:-500        MGMT_ENV :Configure parameter orvix.mtu_size value 5000 above legal range "
          "clamping to maximum: 1500\r\n",
          " > LVL:0 RC:   0        MGMT_ENV :cVORN_MGMT_CFG_MGR_REG::load_reg[1]: Processed settings from "
          "admin "
          "policies\r\n",
          " > LVL:0 RC:   0        MGMT_ENV :cVORN_MGMT_CFG_MGR_REG::load_reg[3]: Processed settings from "
          "over-rideable admin defaults\r\n",
          " > LVL:0 RC:   0        MGMT_ENV :cVORN_MGMT_CFG_MGR::reload: Setting parameter "
          "orvix.enable_audio "
          "removed from configs, restoring default value\r\n",
          " > LVL:2 RC:   0        MGMT_ENV :cVORN_MGMT_CFG_MGR::reload: Deleted key orvix.mtu_size found in "
          "lower "
          "priority config object\r\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\nin\n" << log;
    }
}

TEST(EndToEnd, TheFileManagerFollowsEditsReplacementDeletionAndRestoreOfARealFile) {
    sources_test::TempFolder program_data;
    LogCapture::start();
    char folder[512] = {};
    ASSERT_EQ(vorn_util_get_folder(folder, sizeof folder, FOLDER_PROGRAM_DATA), 0);
    const std::filesystem::path quillon = utf8_path(folder), file = quillon / "orvix-agent.conf";
    std::filesystem::create_directories(quillon);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    auto mtu_becomes = [](const char* expected) {
        return eventually([&] { return stored("orvix.mtu_size") == expected; }, 10000);
    };
    sources_test::write_file(file, "orvix.mtu_size = 1400\norvix.enable_audio = 0\n");
    cVORN_MGMT_CFG_MGR_FILE manager(store_environment_interface());
    cVORN_MGMT_CFG_MGR::SettingsMap loaded;
    manager.load(loaded, nullptr);
    manager.apply_config_settings(loaded, [](const sVORN_ENV_LOOKUP_ENTRY&) { return false; });
    EXPECT_EQ(stored("orvix.mtu_size"), "1400");
    ASSERT_FALSE(manager.polling()) << "the file is watched, not polled";

    sources_test::write_file(file, "orvix.mtu_size = 1300\norvix.enable_audio = 0\n");
    EXPECT_TRUE(mtu_becomes("1300")) << LogCapture::dump();
    sources_test::write_file(quillon / "orvix-agent.conf.new", "orvix.mtu_size = 1250\n");
    std::filesystem::rename(quillon / "orvix-agent.conf.new", file);
    EXPECT_TRUE(mtu_becomes("1250")) << LogCapture::dump();
    EXPECT_TRUE(eventually([] { return stored("orvix.enable_audio") == "1"; }))
        << "its line went: the default is back";
    std::filesystem::remove(file);
    EXPECT_TRUE(LogCapture::wait_for("cVORN_MGMT_CFG_MGR::reload: Failed to reload the configuration from " +
                                     std::string(reinterpret_cast<const char*>(file.u8string().c_str()))));
    EXPECT_EQ(stored("orvix.mtu_size"), "1250") << "the values stay while the file is gone";
    sources_test::write_file(file, "orvix.mtu_size = 1350\n");
    EXPECT_TRUE(mtu_becomes("1350")) << LogCapture::dump();

    // A folder that does not exist yet cannot be watched: that manager polls, and finds the
    // file later. A path too long for the buffer is refused.
    cVORN_MGMT_CFG_MGR_FILE polled(store_environment_interface());
    const std::string relative =
        std::string("later") + static_cast<char>(orvix::os::path_separator()) + "a.conf";
    EXPECT_TRUE(polled.load_file(FOLDER_PROGRAM_DATA, relative.c_str()).empty());
    EXPECT_TRUE(polled.polling());
    EXPECT_TRUE(polled.load_file(FOLDER_PROGRAM_DATA, std::string(600, 'n').c_str()).empty());
    EXPECT_GE(
        LogCapture::find("cVORN_MGMT_CFG_MGR_FILE::load_file: Failed to construct file path ", true).level,
        0);
    EXPECT_EQ(polled.describe_sources().size(), 1u) << "no source for the refused path";
    std::filesystem::create_directories(quillon / "later");
    sources_test::write_file(quillon / "later" / "a.conf", "orvix.mtu_size = 1444\n");
    EXPECT_TRUE(mtu_becomes("1444")) << LogCapture::dump();
}

}  // namespace
