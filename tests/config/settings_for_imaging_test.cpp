#include "config/settings_for_imaging.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "config/configuration_manager.h"
#include "config/imaging_parameters.h"
#include "sources_test_support.h"

namespace {

using orvix::config::internal::g_imaging_parameters;
using orvix::config::internal::imaging_number;
using orvix::config::internal::imaging_text;
using orvix::config::internal::RemovedNames;
using orvix::config::internal::SettingsForImaging;
using orvix::config::internal::SettingsMap;
using orvix::config::internal::SettingValue;
using sources_test::LogCapture;
using sources_test::LogRecord;
using sources_test::write_file;

const std::string kSet = std::string(SettingsForImaging::kSetFunction) + ": ";
const std::string kOpening = "================= Configuration parameters =======================";
const std::string kClosing = "==================================================================";

class ImagingSourceTest : public testing::Test {
  protected:
    void SetUp() override { LogCapture::start(); }
    // The level-0 messages of the event log: the separators and set_settings_parameter's.
    static std::vector<LogRecord> critical() {
        std::vector<LogRecord> out;
        for (const auto& r : LogCapture::records()) {
            if (r.level == VORN_EVENT_LEVEL_CRITICAL) out.push_back(r);
        }
        return out;
    }
    static std::string value_of(const std::string& name) {
        if (auto n = imaging_number(name)) return std::to_string(*n);
        return imaging_text(name).value_or("<unknown>");
    }
    sources_test::TempFolder folder_;
    std::string path_ = (folder_.path() / "img_settings.cfg").string();
};

TEST_F(ImagingSourceTest, EachValueIsCheckedByItsKindAndARefusalLeavesTheParameterAlone) {
    struct Case {
        const char* name;
        std::string value;
        int32_t status;
        std::string message;  // after the function name
        const char* after;    // the parameter's value afterwards
    };
    const Case cases[] = {
        {"NumDisplays", "5", -500, "Error in input parameter NumDisplays. Int value 5 is not in [1, 4] range",
         "1"},
        {"NumDisplays", "0", -500, "Error in input parameter NumDisplays. Int value 0 is not in [1, 4] range",
         "1"},
        {"NumDisplays", "4", 0, "setting NumDisplays = 4", "4"},
        {"tsc_frame_rate", "30fps", 0, "setting tsc_frame_rate = 30", "30"},
        {"tsc_frame_rate", "fps30", -500, "Expected int value for tsc_frame_rate parameter, recvd: 'fps30'",
         "30"},
        {"tsc_frame_rate", "", -500, "Expected int value for tsc_frame_rate parameter, recvd: ''", "30"},
        {"log_level", "-1", -500, "Error in input parameter log_level. Int value -1 is not in [0, 3] range",
         "2"},
        {"image_cache_size", "+10000000", 0, "setting image_cache_size = 10000000", "10000000"},
        // Beyond 32 bits: refused by the bounds, never wrapped into them.
        {"image_cache_size", "4294967296", -500,
         "Error in input parameter image_cache_size. Int value 2147483647 is not in [0, 10000000] range",
         "10000000"},
        {"image_cache_size", "-99999999999", -500,
         "Error in input parameter image_cache_size. Int value -2147483648 is not in [0, 10000000] range",
         "10000000"},
        {"no_bound_txt_5_nee_peak", "4097", -500,
         "Error in input parameter no_bound_txt_5_nee_peak. Int value 4097 is not in [0, 4096] range",
         "65535"},
        {"no_bound_txt_5_nee_peak", "4096", 0, "setting no_bound_txt_5_nee_peak = 4096", "4096"},
        {"numdisplays", "2", -500, "Parameter Name 'numdisplays' not recognized.", "<unknown>"},
        {"orvix.mtu_size", "1400", -500, "Parameter Name 'orvix.mtu_size' not recognized.", "<unknown>"},
        {"enable_image_decimation", "TRUE", -500,
         "Expected boolean value for enable_image_decimation parameter, recvd: 'TRUE'", "0"},
        {"enable_image_decimation", "true", 0, "setting enable_image_decimation = 1", "1"},
        {"enable_image_decimation", "false", 0, "setting enable_image_decimation = 0", "0"},
        {"enable_image_decimation", "1", 0, "setting enable_image_decimation = 1", "1"},
        {"enable_image_decimation", "2", -500,
         "Expected boolean value for enable_image_decimation parameter, recvd: '2'", "1"},
        {"enable_image_decimation", "", -500,
         "Expected boolean value for enable_image_decimation parameter, recvd: ''", "1"},
        {"enable_image_decimation", "0", 0, "setting enable_image_decimation = 0", "0"},
        {"TestName", "night run", 0, "setting TestName = night run", "night run"},
        {"TestName", "", 0, "setting TestName = ", ""},
        {"HostVideo[2]", "h2b.tsc", 0, "setting HostVideo[2] = h2b.tsc", "h2b.tsc"},
    };
    SettingsForImaging source(path_.c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = '" + c.value + "'");
        EXPECT_EQ(source.set_settings_parameter(c.name, c.value), c.status);
        const LogRecord last = LogCapture::records().back();
        EXPECT_EQ(last.message, kSet + c.message);
        EXPECT_EQ(last.level, VORN_EVENT_LEVEL_CRITICAL);
        EXPECT_EQ(last.status, c.status);
        EXPECT_EQ(last.category, VORN_EVENT_CAT_MGMT_ENV);
        EXPECT_EQ(value_of(c.name), c.after);
    }
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 4) << "direct readers see what was set";
    EXPECT_STREQ(g_imaging_parameters.HostVideo[2], "h2b.tsc");
}

TEST_F(ImagingSourceTest, ATextIsCutTo511CharactersAndEndsAtANul) {
    SettingsForImaging source(path_.c_str());
    EXPECT_EQ(source.set_settings_parameter("soft_packet_in_folder", std::string(700, 'x')), 0);
    EXPECT_EQ(imaging_text("soft_packet_in_folder"), std::string(511, 'x'));
    EXPECT_EQ(LogCapture::records().back().message,
              kSet + "setting soft_packet_in_folder = " + std::string(511, 'x'));
    EXPECT_EQ(source.set_settings_parameter("soft_packet_in", std::string("in\0side", 7)), 0);
    EXPECT_EQ(imaging_text("soft_packet_in"), "in");
    EXPECT_EQ(imaging_text("soft_packet_out"), "iecpm_enc_packet.txt") << "the neighbour is untouched";
}

TEST_F(ImagingSourceTest, AFileIsWrittenIntoTheParametersBetweenTheSeparatorsAndHandsOverNothing) {
    write_file(path_,
               "# imaging run\r\n"
               "NumDisplays = 3\r\n"
               "HostVideo[1] = \"clip two.tsc\"   # the second display\r\n"
               "tsc_frame_rate = 30fps\r\n"
               "NumDisplays = 5\r\n"  // refused: the earlier value stays
               "StartFrame = 10\r\n"
               "NumOfFrame[0] = 120\r\n"
               "EndFrame = 20\r\n"
               "EndFrame = 40\r\n"              // a later line wins
               "enable_4x_decimation = true");  // no line end
    SettingsForImaging source(path_.c_str());
    const SettingsMap map = source.load();
    EXPECT_TRUE(map.empty());
    EXPECT_TRUE(source.handed_over_names().empty());
    EXPECT_TRUE(source.current_values().empty());
    EXPECT_EQ(source.source_name(), path_);

    EXPECT_EQ(g_imaging_parameters.NumDisplays, 3);
    EXPECT_STREQ(g_imaging_parameters.HostVideo[1], "clip two.tsc");
    EXPECT_EQ(g_imaging_parameters.tsc_frame_rate, 30);
    EXPECT_EQ(imaging_number("StartFrame[0]"), 10);
    EXPECT_EQ(imaging_number("NumOfFrame"), 120);
    EXPECT_EQ(imaging_number("EndFrame[0]"), 40);
    EXPECT_EQ(g_imaging_parameters.enable_4x_decimation, 1);

    const std::vector<LogRecord> lines = critical();
    ASSERT_EQ(lines.size(), 11u) << LogCapture::dump();
    EXPECT_EQ(lines.front().message, kOpening);
    EXPECT_EQ(lines.front().status, 0);
    EXPECT_EQ(lines[1].message, kSet + "setting NumDisplays = 3");
    EXPECT_EQ(lines[4].message,
              kSet + "Error in input parameter NumDisplays. Int value 5 is not in [1, 4] range");
    EXPECT_EQ(lines[9].message, kSet + "setting enable_4x_decimation = 1");
    EXPECT_EQ(lines.back().message, kClosing);
    EXPECT_EQ(lines.back().status, -500);
    EXPECT_EQ(lines.back().category, VORN_EVENT_CAT_MGMT_ENV);

    // Read once: a rewritten file is no change, and a reading the manager asks for adds
    // nothing to its map and reports nothing removed.
    const int64_t recorded = source.recorded_time();
    write_file(path_, "NumDisplays = 2\n");
    std::filesystem::last_write_time(path_,
                                     std::filesystem::last_write_time(path_) + std::chrono::seconds(5));
    EXPECT_FALSE(source.has_changes());
    source.refresh_timestamp();
    EXPECT_EQ(source.recorded_time(), recorded);
    SettingsMap merged{{"orvix.mtu_size", SettingValue::of_number(1400)}};
    RemovedNames removed;
    EXPECT_EQ(source.reload_into(&merged, &removed), 0);
    EXPECT_EQ(merged, (SettingsMap{{"orvix.mtu_size", SettingValue::of_number(1400)}}));
    EXPECT_TRUE(removed.empty());
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 2);
    EXPECT_EQ(imaging_number("EndFrame"), 40) << "a parameter the file no longer names keeps its value";
}

TEST_F(ImagingSourceTest, AnEmptyFileLogsOnlyTheSeparatorsAndAMissingOneNothingButTheError) {
    write_file(path_, "");
    SettingsForImaging empty(path_.c_str());
    EXPECT_TRUE(empty.load().empty());
    const std::vector<LogRecord> lines = critical();
    ASSERT_EQ(lines.size(), 2u) << LogCapture::dump();
    EXPECT_EQ(lines[0].message, kOpening);
    EXPECT_EQ(lines[1].message, kClosing);

    std::filesystem::remove(path_);
    SettingsForImaging missing(path_.c_str());
    EXPECT_TRUE(missing.load().empty());
    EXPECT_EQ(critical().size(), 2u) << "no separators without a file";
    EXPECT_EQ(LogCapture::find(
                  "orvix::config::internal::SettingsFromFile::load_file: Error reading configuration file " +
                      path_ + ": ",
                  true)
                  .status,
              -500);
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 1);
}

// The TEST manager reads "..<separator>img_settings.cfg" from the current directory and
// never touches the store.
TEST_F(ImagingSourceTest, TheTestManagerReadsTheDefaultFileAndNothingReachesTheStore) {
    std::atomic<int> store_calls{0};
    EnvironmentInterface environment;
    environment.init_default = [&](const char*) { return ++store_calls, 0; };
    environment.get_entry_index = [&](const char*) { return ++store_calls, -1; };
    environment.get_entry_modification = [&](uint32_t) { return ++store_calls, eENV_MODIFICATION{}; };
    environment.get_entry = [&](uint64_t) { return ++store_calls, sVORN_ENV_LOOKUP_ENTRY{}; };
    environment.set_uint8 = [&](const char*, uint8_t) { return ++store_calls, 0; };
    environment.set_uint16 = [&](const char*, uint16_t) { return ++store_calls, 0; };
    environment.set_uint32 = [&](const char*, uint32_t) { return ++store_calls, 0; };
    environment.set_string = [&](const char*, const char*) { return ++store_calls, 0; };
    environment.set_enum = [&](const char*, eVORN_MGMT_ENV_ENUM) { return ++store_calls, 0; };

    const std::filesystem::path work = folder_.path() / "work";
    std::filesystem::create_directories(work);
    write_file(path_, "NumDisplays = 3\norvix.mtu_size = 1400\n");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(work);

    cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST, environment);
    SettingsMap result{{"orvix.enable_audio", SettingValue::of_number(1)}};
    EXPECT_TRUE(manager->load(result, nullptr).empty());
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 3) << LogCapture::dump();
    EXPECT_TRUE(LogCapture::has(kSet + "Parameter Name 'orvix.mtu_size' not recognized."));

    const auto sources = manager->describe_sources();
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].description, std::string("..") +
                                          static_cast<char>(std::filesystem::path::preferred_separator) +
                                          "img_settings.cfg");
    EXPECT_TRUE(sources[0].values.empty());

    // Never reloads: neither on a change nor when asked.
    write_file(path_, "NumDisplays = 2\n");
    EXPECT_FALSE(manager->polling());
    manager->check_for_changes();
    manager->reload();
    EXPECT_EQ(g_imaging_parameters.NumDisplays, 3);
    EXPECT_EQ(store_calls.load(), 0);

    std::filesystem::current_path(before);
}

TEST_F(ImagingSourceTest, TheTestManagerReadsTheFileItIsGiven) {
    write_file(path_, "TestName = given\n");
    cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST);
    SettingsMap result;
    EXPECT_TRUE(manager->load(result, path_.c_str()).empty());
    EXPECT_STREQ(g_imaging_parameters.TestName, "given");
}

}  // namespace
