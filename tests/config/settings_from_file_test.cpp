#include "config/settings_from_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sources_test_support.h"

namespace {

using namespace orvix::config::internal;
using namespace sources_test;

class FileSourceTest : public testing::Test {
  protected:
    void SetUp() override { LogCapture::start(); }
    sources_test::TempFolder folder_;
    std::string path_ = (folder_.path() / "orvix-agent.conf").string();
};

std::vector<uint32_t> g_slept;
void record_sleep(uint32_t ms) { g_slept.push_back(ms); }

TEST_F(FileSourceTest, ItemsAreConvertedByTheirCatalogueRowAndTheFirstLineWins) {
    orvix::config::internal::set_start_delay_sleeper(&record_sleep);
    write_file(path_,
               "# agent configuration\r\n"
               "   \t \n"
               "no equals sign\n"
               "  = value\n"
               "  orvix.mtu_size   =   12abc   # the mtu\n"
               "orvix.linux_frame_buffer = /dev/fb1\"'\n"  // quotes need not pair
               "orvix.vchan_list = \"x#y\"\n"              // "#" ends the value, quotes or not
               "orvix.host_platform = b = c\r\n"
               "orvix.enable_audio = letters\n"
               "orvix.session_timeout =\n"
               "orvix.priority_level = 4294967296\n"
               "orvix.ip_address = \" 10.0.0.1 \"\n"
               "orvix.mtu_size = 999\n"
               "Orvix.Enable_USB = 0\n"
               "orvix.session_guid_tag = x\n"
               "orvix.CAD_insert_substitution_scan_code = 7\n"
               "orvix.start_delay_time = 100\n"
               "orvix.server_type = AUTO2");  // no line feed at the end
    SettingsFromFile source(path_.c_str());
    const SettingsMap map = source.load();

    EXPECT_EQ(map, (SettingsMap{{"orvix.mtu_size", SettingValue::of_number(12)},
                                {"orvix.enable_audio", SettingValue::of_number(0)},
                                {"orvix.session_timeout", SettingValue::of_number(0)},
                                {"orvix.priority_level", SettingValue::of_number(0)},
                                {"orvix.ip_address", SettingValue::of_text(" 10.0.0.1 ")},
                                {"orvix.linux_frame_buffer", SettingValue::of_text("/dev/fb1")},
                                {"orvix.vchan_list", SettingValue::of_text("x")},
                                {"orvix.host_platform", SettingValue::of_text("b = c")},
                                {"orvix.CAD_insert_substitution_scan_code", SettingValue::of_number(7)},
                                {"orvix.server_type", SettingValue::of_text("AUTO2")}}))
        << LogCapture::dump();
    EXPECT_EQ(source.handed_over_names(),
              (std::vector<std::string>{"orvix.mtu_size", "orvix.linux_frame_buffer", "orvix.vchan_list",
                                        "orvix.host_platform", "orvix.enable_audio", "orvix.session_timeout",
                                        "orvix.priority_level", "orvix.ip_address", "orvix.mtu_size",
                                        "orvix.CAD_insert_substitution_scan_code", "orvix.server_type"}));
    EXPECT_EQ(g_slept, (std::vector<uint32_t>{30000}));
    EXPECT_EQ(source.current_values(), map);

    const std::string process = "orvix::config::internal::SettingsFromFile::process_config: ";
    LogCapture::expect("14 configuration item(s) to apply", VORN_EVENT_LEVEL_CRITICAL, 0);
    const std::string expected_int = process + "Expected int value for orvix.";
    LogCapture::expect(expected_int + "enable_audio parameter, recvd: 'letters'.", VORN_EVENT_LEVEL_CRITICAL,
                       -500);
    LogCapture::expect(expected_int + "priority_level parameter, recvd: '4294967296'.",
                       VORN_EVENT_LEVEL_CRITICAL, -500);
    LogCapture::expect(process + "Unknown type for orvix.session_guid_tag parameter, recvd: 'x'.",
                       VORN_EVENT_LEVEL_CRITICAL, -500);
    LogCapture::expect("Configuration file " + path_ + " loaded", VORN_EVENT_LEVEL_INFO, 0);
    for (const auto& r : LogCapture::records()) EXPECT_EQ(r.message.find("Enable_USB"), std::string::npos);
}

TEST_F(FileSourceTest, AppearingChangedAndRemovedFiles) {
    SettingsFromFile source(path_.c_str());
    EXPECT_TRUE(source.load().empty());
    EXPECT_EQ(source.recorded_time(), 0);
    LogCapture::expect(
        "orvix::config::internal::SettingsFromFile::load_file: Error reading configuration file " + path_ +
            ": ",
        VORN_EVENT_LEVEL_ERROR, -500, true);
    EXPECT_FALSE(source.has_changes());
    write_file(path_, "orvix.mtu_size = 1400\norvix.enable_audio = 0\norvix.server_type = abc\n");
    EXPECT_TRUE(source.has_changes()) << "the file's appearance is a change";
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(source.reload_into(&merged, &removed), 0);
    EXPECT_EQ(merged.size(), 3u);
    EXPECT_FALSE(source.has_changes());

    // Another size at the same time (a file created empty and filled at once), then the
    // same size at a later time: both are changes.
    const auto read_at = std::filesystem::last_write_time(path_);
    write_file(path_, "orvix.mtu_size = 1300\n");
    std::filesystem::last_write_time(path_, read_at);
    EXPECT_TRUE(source.has_changes());
    source.refresh_timestamp();
    write_file(path_, "orvix.mtu_size = 1200\n");
    std::filesystem::last_write_time(path_, read_at + std::chrono::seconds(2));
    EXPECT_TRUE(source.has_changes());

    merged = {{"orvix.mtu_size", SettingValue::of_number(900)},  // sources handled earlier
              {"orvix.server_type", SettingValue::of_text("from a registry key")}};
    removed = {"orvix.enable_audio"};  // listed by an earlier source already
    ASSERT_EQ(source.reload_into(&merged, &removed), 0);
    EXPECT_FALSE(source.has_changes());
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(900));
    EXPECT_EQ(removed, (RemovedNames{"orvix.enable_audio"}));
    const std::string gone = " no longer exist in configuration file " + path_;
    LogCapture::expect("Setting parameter orvix.enable_audio" + gone, VORN_EVENT_LEVEL_DEBUG, 0);
    EXPECT_FALSE(LogCapture::has("Setting parameter orvix.server_type" + gone));
    EXPECT_EQ(source.reload_into(nullptr, &removed), -502);

    // Deleted: the reload fails and hands nothing over, so nothing counts as removed later.
    std::filesystem::remove(path_);
    EXPECT_TRUE(source.has_changes());
    EXPECT_EQ(source.reload_into(&merged, &removed), -500);
    write_file(path_, "orvix.server_type = back\n");
    RemovedNames none;
    SettingsMap back;
    ASSERT_EQ(source.reload_into(&back, &none), 0);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(back.at("orvix.server_type"), SettingValue::of_text("back"));

    EXPECT_EQ(SettingsFromFile(std::string(600, 'p').c_str()).source_name(), std::string(511, 'p'));
}

}  // namespace
