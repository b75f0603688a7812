#include "config/settings_for_imaging.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "config/configuration_manager.h"
#include "config/imaging_parameters.h"
#include "sources_test_support.h"

namespace {

using namespace orvix::config::internal;
using namespace sources_test;

const std::string kSet = std::string(SettingsForImaging::kSetFunction) + ": ";

class ImagingSourceTest : public testing::Test {
  protected:
    void SetUp() override { LogCapture::start(); }
    sources_test::TempFolder folder_;
    std::string path_ = (folder_.path() / "img_settings.cfg").string();
};

// 152 names over 149 fields: the names without an index share the first display's
// storage. Each starts at its default, which direct readers of the record see too.
TEST(ImagingParameters, NamesStorageAndDefaults) {
    std::set<std::string> names;
    std::set<const void*> targets;
    for (const ImagingParameterRow& row : imaging_parameter_table()) {
        names.insert(row.name);
        targets.insert(row.target);
        EXPECT_EQ(imaging_default_text(row), imaging_value_text(row)) << row.name;
    }
    EXPECT_EQ(names.size(), 152u);
    EXPECT_EQ(targets.size(), 149u);
    for (const char* base : {"StartFrame", "EndFrame", "NumOfFrame"}) {
        EXPECT_EQ(find_imaging_parameter(base)->target,
                  find_imaging_parameter(std::string(base) + "[0]")->target);
    }
    EXPECT_EQ(find_imaging_parameter("HostVideo[3]")->target, &g_imaging_parameters.HostVideo[3]);
    EXPECT_TRUE(std::filesystem::path(*imaging_text("InputFolder")).is_absolute());
    EXPECT_EQ(imaging_number("no_bound_txt_5_nee_peak"), 65535) << "a default above its own bound";
    EXPECT_EQ(imaging_number("TestName"), std::nullopt) << "a text is not a number";
    EXPECT_EQ(imaging_text("NumDisplays"), std::nullopt) << "a number is not a text";
    EXPECT_EQ(find_imaging_parameter(std::string_view("NumDisplays\0x", 13)), nullptr);
    EXPECT_EQ(find_imaging_parameter("StartFrame[4]"), nullptr);
}

TEST_F(ImagingSourceTest, EachValueIsCheckedByItsKindAndARefusalLeavesTheParameterAlone) {
    const std::string range = "Error in input parameter ",
                      flag = "Expected boolean value for enable_image_decimation";
    const struct {
        const char* name;
        std::string value, message;  // the message after the function name
        const char* after;           // the parameter's value afterwards
    } cases[] = {
        {"NumDisplays", "5", range + "NumDisplays. Int value 5 is not in [1, 4] range", "1"},
        {"NumDisplays", "0", range + "NumDisplays. Int value 0 is not in [1, 4] range", "1"},
        {"NumDisplays", "4", "setting NumDisplays = 4", "4"},
        {"tsc_frame_rate", "30fps", "setting tsc_frame_rate = 30", "30"},
        {"tsc_frame_rate", "fps30", "Expected int value for tsc_frame_rate parameter, recvd: 'fps30'", "30"},
        {"image_cache_size", "+10000000", "setting image_cache_size = 10000000", "10000000"},
        // Beyond 32 bits: refused by the bounds, never wrapped into them.
        {"image_cache_size", "4294967296",
         range + "image_cache_size. Int value 2147483647 is not in [0, 10000000] range", "10000000"},
        {"image_cache_size", "-99999999999",
         range + "image_cache_size. Int value -2147483648 is not in [0, 10000000] range", "10000000"},
        {"numdisplays", "2", "Parameter Name 'numdisplays' not recognized.", nullptr},
        {"enable_image_decimation", "true", "setting enable_image_decimation = 1", "1"},
        {"enable_image_decimation", "0", "setting enable_image_decimation = 0", "0"},
        {"enable_image_decimation", "1", "setting enable_image_decimation = 1", "1"},
        {"enable_image_decimation", "false", "setting enable_image_decimation = 0", "0"},
        {"enable_image_decimation", "TRUE", flag + " parameter, recvd: 'TRUE'", "0"},
        {"TestName", "", "setting TestName = ", ""},
        {"HostVideo[2]", "h2b.tsc", "setting HostVideo[2] = h2b.tsc", "h2b.tsc"},
    };
    SettingsForImaging source(path_.c_str());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = '" + c.value + "'");
        const int32_t status = c.message.rfind("setting ", 0) == 0 ? 0 : -500;
        EXPECT_EQ(source.set_settings_parameter(c.name, c.value), status);
        const sources_test::LogRecord last = LogCapture::records().back();
        EXPECT_EQ(last.message, kSet + c.message);
        EXPECT_EQ(last.level, VORN_EVENT_LEVEL_CRITICAL);
        EXPECT_EQ(last.status, status);
        EXPECT_EQ(last.category, VORN_EVENT_CAT_MGMT_ENV);
        const auto number = imaging_number(c.name);
        const auto text = number ? std::to_string(*number) : imaging_text(c.name);
        EXPECT_EQ(text, c.after ? std::optional<std::string>(c.after) : std::nullopt);
    }
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 4) << "direct readers see what was set";
    EXPECT_STREQ(g_imaging_parameters.HostVideo[2], "h2b.tsc");

    // A text is cut to 511 characters and ends at a NUL.
    EXPECT_EQ(source.set_settings_parameter("soft_packet_in_folder", std::string(700, 'x')), 0);
    EXPECT_EQ(imaging_text("soft_packet_in_folder"), std::string(511, 'x'));
    EXPECT_EQ(source.set_settings_parameter("soft_packet_in", std::string("in\0side", 7)), 0);
    EXPECT_EQ(imaging_text("soft_packet_in"), "in");
    EXPECT_EQ(imaging_text("soft_packet_out"), "iecpm_enc_packet.txt") << "the neighbour is untouched";
}

// The file is written into the parameters between two separator lines and read once: the
// source hands the manager nothing, and reports no change and nothing removed.
TEST_F(ImagingSourceTest, AFileIsWrittenIntoTheParametersBetweenTheSeparatorsAndHandsOverNothing) {
    write_file(path_,
               "# imaging run\r\n"
               "NumDisplays = 3\r\n"
               "HostVideo[1] = \"clip two.tsc\"   # the second display\r\n"
               "NumDisplays = 5\r\n"  // refused: the earlier value stays
               "EndFrame = 20\r\n"
               "EndFrame = 40\r\n"              // a later line wins
               "enable_4x_decimation = true");  // no line end
    SettingsForImaging source(path_.c_str());
    EXPECT_TRUE(source.load().empty());
    EXPECT_TRUE(source.current_values().empty());
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 3);
    EXPECT_STREQ(g_imaging_parameters.HostVideo[1], "clip two.tsc");
    EXPECT_EQ(imaging_number("EndFrame[0]"), 40);
    EXPECT_EQ(g_imaging_parameters.enable_4x_decimation, 1);
    std::vector<sources_test::LogRecord> lines;
    for (const auto& r : LogCapture::records())
        if (r.level == VORN_EVENT_LEVEL_CRITICAL) lines.push_back(r);
    ASSERT_EQ(lines.size(), 8u) << LogCapture::dump();
    EXPECT_EQ(lines.front().message, "================= Configuration parameters =======================");
    EXPECT_EQ(lines.front().status, 0);
    EXPECT_EQ(lines.back().message, "==================================================================");
    EXPECT_EQ(lines.back().status, -500);

    write_file(path_, "NumDisplays = 2\n");
    EXPECT_FALSE(source.has_changes());
    SettingsMap merged{{"orvix.mtu_size", SettingValue::of_number(1400)}};
    RemovedNames removed;
    EXPECT_EQ(source.reload_into(&merged, &removed), 0);
    EXPECT_EQ(merged, (SettingsMap{{"orvix.mtu_size", SettingValue::of_number(1400)}}));
    EXPECT_TRUE(removed.empty());
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 2);
    EXPECT_EQ(imaging_number("EndFrame"), 40) << "a parameter the file no longer names keeps its value";

    std::filesystem::remove(path_);
    const size_t before = LogCapture::records().size();
    EXPECT_TRUE(SettingsForImaging(path_.c_str()).load().empty());
    ASSERT_EQ(LogCapture::records().size(), before + 1) << "no separators without a file";
    EXPECT_EQ(LogCapture::records().back().status, -500);
}

// The TEST manager reads "..<separator>img_settings.cfg" from the current directory, or the
// file it is given, and never touches the store: every callable of its interface is empty,
// so a call would throw.
TEST_F(ImagingSourceTest, TheTestManagerReadsTheDefaultOrAGivenFileAndNothingReachesTheStore) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::create_directories(folder_.path() / "work");
    write_file(path_, "NumDisplays = 3\norvix.mtu_size = 1400\n");
    std::filesystem::current_path(folder_.path() / "work");
    cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST, EnvironmentInterface{});
    SettingsMap result{{"orvix.enable_audio", SettingValue::of_number(1)}};
    EXPECT_TRUE(manager->load(result, nullptr).empty());
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 3) << LogCapture::dump();
    EXPECT_TRUE(LogCapture::has(kSet + "Parameter Name 'orvix.mtu_size' not recognized."));
    ASSERT_EQ(manager->describe_sources().size(), 1u);
    EXPECT_EQ(manager->describe_sources()[0].description,
              ".." + std::string(1, static_cast<char>(std::filesystem::path::preferred_separator)) +
                  "img_settings.cfg");

    write_file(path_, "NumDisplays = 2\n");  // never reloads: neither on a change nor when asked
    EXPECT_FALSE(manager->polling());
    manager->check_for_changes();
    manager->reload();
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 3);
    std::filesystem::current_path(before);
    write_file(path_, "TestName = given\n");  // a file named by the caller
    EXPECT_TRUE(manager->load(result, path_.c_str()).empty());
    EXPECT_STREQ(g_imaging_parameters.TestName, "given");
}

}  // namespace
