// The store, the manager and its sources together, for real: the registry of the seam
// (in-process natively, the real one sandboxed per process under Wine), the store's own
// start-up and real configuration files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "eventlog/log_files.h"
#include "os/file_system.h"
#include "os/registry.h"
#include "sources_test_support.h"

namespace {

using namespace sources_test;

const std::string kReload = "cVORN_MGMT_CFG_MGR::reload: ";

// Start-up and reloads take the admin policies over the other policies over the admin
// defaults. A reload restores the default of a deleted value, but neither applies a new
// startup-only value nor restores one, and leaves a value of a fixed row alone.
TEST(EndToEnd, PolicyKeysMergeByPriorityAndReloadsRestoreDefaultsButLeaveStartupOnlyAlone) {
    constexpr char16_t kAdmin[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
    constexpr char16_t kOrvix[] = u"SOFTWARE\\Quillon\\Orvix\\orvix_admin";
    constexpr char16_t kDefaults[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin_defaults";
    sources_test::TempFolder folder;
    LogCapture::start();
    set_dword(kAdmin, u"orvix.mtu_size", 5000);
    set_dword(kAdmin, u"orvix.enable_audio", 0);
    set_dword(kAdmin, u"orvix.client_resume_enabled", 1);       // startup-only, default 0
    sources_test::set_sz(kAdmin, u"orvix.ip_address", u"::1");  // flags all ones
    set_dword(kOrvix, u"orvix.mtu_size", 1300);
    set_dword(kOrvix, u"orvix.enable_usb", 0);
    set_dword(kDefaults, u"orvix.enable_usb", 1);
    set_dword(kDefaults, u"orvix.priority_level", 4);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    EXPECT_EQ(stored("orvix.mtu_size"), "1500");
    EXPECT_EQ(stored("orvix.enable_usb"), "0");
    EXPECT_EQ(stored("orvix.priority_level"), "4")
        << "a default applies where neither policy key sets the name";
    EXPECT_EQ(stored("orvix.client_resume_enabled"), "1") << "start-up takes every value";

    // The deletion waits for a change to have come through the key's own re-read.
    set_dword(kAdmin, u"orvix.client_resume_enabled", 0);
    set_dword(kAdmin, u"orvix.mtu_size", 1400);
    ASSERT_TRUE(eventually([] { return stored("orvix.mtu_size") == "1400"; }));
    EXPECT_EQ(stored("orvix.client_resume_enabled"), "1");
    ASSERT_EQ(sources_test::delete_registry_value(kAdmin, u"orvix.enable_audio"), 0);
    ASSERT_TRUE(eventually([] { return stored("orvix.enable_audio") == "1"; }));
    ASSERT_EQ(orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kAdmin), 0);
    ASSERT_TRUE(eventually([] { return stored("orvix.mtu_size") == "1300"; }));
    EXPECT_EQ(stored("orvix.client_resume_enabled"), "1");
    EXPECT_EQ(stored("orvix.ip_address"), "::1");
    set_dword(kAdmin, u"orvix.mtu_size", 1450);
    EXPECT_TRUE(eventually([] { return stored("orvix.mtu_size") == "1450"; }))
        << "the re-created key is watched";

    const std::string restoring = " removed from configs, restoring default value";
    LogCapture::expect("cVORN_MGMT_CFG_MGR_REG::load_reg[1]: Processed settings from admin policies",
                       VORN_EVENT_LEVEL_CRITICAL, 0);
    LogCapture::expect(
        "cVORN_MGMT_CFG_MGR_REG::load_reg[3]: Processed settings from over-rideable admin defaults",
        VORN_EVENT_LEVEL_CRITICAL, 0);
    LogCapture::expect(kReload + "Deleted key orvix.mtu_size found in lower priority config object",
                       VORN_EVENT_LEVEL_INFO, 0);
    LogCapture::expect(kReload + "Setting parameter orvix.enable_audio" + restoring,
                       VORN_EVENT_LEVEL_CRITICAL, 0);
    EXPECT_FALSE(LogCapture::has(kReload + "Setting parameter orvix.client_resume_enabled" + restoring));
    EXPECT_FALSE(LogCapture::has(kReload + "Setting parameter orvix.ip_address" + restoring));
}

TEST(EndToEnd, TheFileManagerFollowsEditsReplacementDeletionAndRestoreOfARealFile) {
    sources_test::TempFolder program_data;
    LogCapture::start();
    char folder[512] = {};
    ASSERT_EQ(vorn_util_get_folder(folder, sizeof folder, FOLDER_PROGRAM_DATA), 0);
    const std::filesystem::path quillon = std::u8string(reinterpret_cast<const char8_t*>(folder));
    const std::filesystem::path file = quillon / "orvix-agent.conf";
    std::filesystem::create_directories(quillon);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    auto mtu_becomes = [](const char* expected) {
        return eventually([&] { return stored("orvix.mtu_size") == expected; }, 10000);
    };
    sources_test::write_file(file, "orvix.mtu_size = 1400\norvix.linux_frame_buffer = ' x '\n");
    cVORN_MGMT_CFG_MGR_FILE manager(store_environment_interface());
    cVORN_MGMT_CFG_MGR::SettingsMap loaded;
    manager.load(loaded, nullptr);
    manager.apply_config_settings(loaded, [](const sVORN_ENV_LOOKUP_ENTRY&) { return false; });
    EXPECT_EQ(stored("orvix.mtu_size"), "1400");
    EXPECT_EQ(stored("orvix.linux_frame_buffer"), "x");
    const std::string apply = "cVORN_MGMT_CFG_MGR::apply_config_settings: setting parameter ";
    LogCapture::expect(apply + "orvix.mtu_size = 1400", VORN_EVENT_LEVEL_DEBUG, 0);
    LogCapture::expect(apply + "orvix.linux_frame_buffer = \" x \"", VORN_EVENT_LEVEL_DEBUG, 0);
    ASSERT_FALSE(manager.polling()) << "the file is watched, not polled";

    sources_test::write_file(file, "orvix.mtu_size = 1300\n");
    EXPECT_TRUE(mtu_becomes("1300")) << LogCapture::dump();
    EXPECT_TRUE(eventually([] { return stored("orvix.linux_frame_buffer") == "/dev/fb0"; }))
        << "its line went: the default";
    sources_test::write_file(quillon / "orvix-agent.conf.new", "orvix.mtu_size = 1250\n");
    std::filesystem::rename(quillon / "orvix-agent.conf.new", file);
    EXPECT_TRUE(mtu_becomes("1250")) << LogCapture::dump();
    std::filesystem::remove(file);
    const std::string failed = kReload + "Failed to reload the configuration from " +
                               reinterpret_cast<const char*>(file.u8string().c_str());
    ASSERT_TRUE(LogCapture::wait_for(failed));
    EXPECT_EQ(LogCapture::find(failed).status, -500);
    EXPECT_EQ(stored("orvix.mtu_size"), "1250") << "the values stay while the file is gone";
    sources_test::write_file(file, "orvix.mtu_size = 1350\n");
    EXPECT_TRUE(mtu_becomes("1350")) << LogCapture::dump();

    // A folder that does not exist yet cannot be watched: that manager polls, finds the file
    // later, reloads only on a change, and stops at once. A path too long is refused.
    auto polled = std::make_unique<cVORN_MGMT_CFG_MGR_FILE>(store_environment_interface());
    const std::string relative =
        std::string("later") + static_cast<char>(orvix::os::path_separator()) + "a.conf";
    EXPECT_TRUE(polled->load_file(FOLDER_PROGRAM_DATA, relative.c_str()).empty());
    EXPECT_TRUE(polled->polling());
    EXPECT_TRUE(polled->load_file(FOLDER_PROGRAM_DATA, std::string(600, 'n').c_str()).empty());
    EXPECT_GE(
        LogCapture::find("cVORN_MGMT_CFG_MGR_FILE::load_file: Failed to construct file path ", true).level,
        0);
    EXPECT_EQ(polled->describe_sources().size(), 1u) << "no source for the refused path";
    std::filesystem::create_directories(quillon / "later");
    sources_test::write_file(program_data.path() / "a.conf", "orvix.mtu_size = 1444\n");  // whole at once
    std::filesystem::rename(program_data.path() / "a.conf", quillon / "later" / "a.conf");
    EXPECT_TRUE(mtu_becomes("1444")) << LogCapture::dump();
    // Each reload of the polled manager opens its file.
    const std::string opened =
        "orvix::config::internal::SettingsFromFile::load_file: Successfully opened file " +
        std::string(folder) + relative + " for reading.";
    const size_t reads = LogCapture::count(opened);
    EXPECT_GE(reads, 1u) << opened;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(LogCapture::count(opened), reads) << "no change, no reload";
    const auto start = std::chrono::steady_clock::now();
    polled.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400))
        << "woken, not timed out";
}

}  // namespace
