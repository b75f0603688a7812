#include "config/settings_from_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "sources_test_support.h"

namespace {

using orvix::config::internal::ConfigItem;
using orvix::config::internal::parse_config_line;
using orvix::config::internal::read_config_number;
using orvix::config::internal::RemovedNames;
using orvix::config::internal::SettingsFromFile;
using orvix::config::internal::SettingsMap;
using orvix::config::internal::SettingValue;
using sources_test::LogCapture;
using sources_test::TempFolder;
using sources_test::write_file;

const std::string kProcess = "orvix::config::internal::SettingsFromFile::process_config";

TEST(ConfigLine, LinesThatYieldNoItem) {
    for (const char* line : {"", "   \t ", "# a comment", "   # indented comment", "no equals sign here",
                             "=value without a name", "  = value", "# name = value"}) {
        EXPECT_FALSE(parse_config_line(line).has_value()) << "'" << line << "'";
    }
}

TEST(ConfigLine, NameAndValueAreStrippedCommentedAndUnquoted) {
    struct Case {
        const char* line;
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"  orvix.mtu_size   =   1400   # the link's mtu", "orvix.mtu_size", "1400"},
        {"orvix.ip_address = \"  10.0.0.1  \"", "orvix.ip_address", "  10.0.0.1  "},
        {"orvix.ip_address = 10.0.0.1\"'", "orvix.ip_address", "10.0.0.1"},
        {"orvix.ip_address = '\"10.0.0.1", "orvix.ip_address", "10.0.0.1"},
        {"orvix.server_type = \"a#b\"", "orvix.server_type", "a"},  // "#" ends the value, quotes or not
        {"orvix.bandwidth_partitioner_settings = a = b", "orvix.bandwidth_partitioner_settings", "a = b"},
        {"orvix.server_type =", "orvix.server_type", ""},
        {"orvix.server_type = \"\"", "orvix.server_type", ""},
        {"orvix.server_type = AUTO\r", "orvix.server_type", "AUTO"},
        {"Orvix.MTU_Size=5", "Orvix.MTU_Size", "5"},
        {"\tname with blanks\t=\tvalue with blanks\t", "name with blanks", "value with blanks"},
    };
    for (const auto& c : cases) {
        const auto item = parse_config_line(c.line);
        ASSERT_TRUE(item.has_value()) << c.line;
        EXPECT_EQ(item->name, c.name) << c.line;
        EXPECT_EQ(item->value, c.value) << c.line;
    }
}

TEST(ConfigLine, NumbersAreReadByStreamExtraction) {
    uint32_t n = 99;
    EXPECT_TRUE(read_config_number("12abc", &n));
    EXPECT_EQ(n, 12u);
    EXPECT_TRUE(read_config_number("  42", &n));
    EXPECT_EQ(n, 42u);
    EXPECT_TRUE(read_config_number("4294967295", &n));
    EXPECT_EQ(n, 4294967295u);
    EXPECT_FALSE(read_config_number("letters", &n));
    EXPECT_EQ(n, 0u);
    n = 99;
    EXPECT_FALSE(read_config_number("", &n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(read_config_number("4294967296", &n)) << "does not fit 32 bits";
    EXPECT_EQ(n, 0u);
}

// A stream that delivers some lines and then fails to read.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string text) : text_(std::move(text)) {
        setg(text_.data(), text_.data(), text_.data() + text_.size());
    }

protected:
    int_type underflow() override { throw std::runtime_error("device error"); }

private:
    std::string text_;
};

class FileSourceTest : public testing::Test {
protected:
    void SetUp() override {
        LogCapture::start();
        path_ = (folder_.path() / "orvix-agent.conf").string();
    }
    // Moves the modification time on, as a later save would (times are whole seconds).
    void touch_later(int seconds = 5) {
        const auto t = std::filesystem::last_write_time(path_);
        std::filesystem::last_write_time(path_, t + std::chrono::seconds(seconds));
    }
    TempFolder folder_;
    std::string path_;
};

std::vector<uint32_t> g_slept;
void record_sleep(uint32_t ms) { g_slept.push_back(ms); }

TEST_F(FileSourceTest, LoadConvertsEachItemByItsCatalogueRow) {
    orvix::config::internal::set_start_delay_sleeper(&record_sleep);
    write_file(path_,
               "# agent configuration\n"
               "orvix.mtu_size = 12abc\n"
               "orvix.enable_audio = letters\n"
               "orvix.session_timeout =\n"
               "orvix.ip_address = \" 10.0.0.1 \"\n"
               "orvix.mtu_size = 999\n"
               "Orvix.Enable_USB = 0\n"
               "orvix.session_guid_tag = x\n"
               "orvix.CAD_insert_substitution_scan_code = 7\n"
               "orvix.vorn_event_cat_mgmt_usb.log_level = 4\n"
               "orvix.start_delay_time = 5\n"
               "orvix.server_type = AUTO2");  // no line feed at the end
    SettingsFromFile source(path_.c_str());
    const SettingsMap map = source.load();

    ASSERT_EQ(map.size(), 6u) << LogCapture::dump();
    EXPECT_EQ(map.at("orvix.mtu_size"), SettingValue::of_number(12)) << "the first line naming a setting wins";
    EXPECT_EQ(map.at("orvix.enable_audio"), SettingValue::of_number(0));
    EXPECT_EQ(map.at("orvix.session_timeout"), SettingValue::of_number(0));
    EXPECT_EQ(map.at("orvix.ip_address"), SettingValue::of_text(" 10.0.0.1 "));
    EXPECT_EQ(map.at("orvix.CAD_insert_substitution_scan_code"), SettingValue::of_number(7));
    EXPECT_EQ(map.at("orvix.server_type"), SettingValue::of_text("AUTO2"));
    EXPECT_EQ(source.handed_over_names(),
              (std::vector<std::string>{"orvix.mtu_size", "orvix.enable_audio", "orvix.session_timeout",
                                        "orvix.ip_address", "orvix.mtu_size", "orvix.CAD_insert_substitution_scan_code",
                                        "orvix.server_type"}));
    EXPECT_EQ(g_slept, (std::vector<uint32_t>{5000}));

    const auto count = LogCapture::find("11 configuration item(s) to apply");
    EXPECT_EQ(count.level, VORN_EVENT_LEVEL_CRITICAL) << LogCapture::dump();
    const auto letters =
        LogCapture::find(kProcess + ": Expected int value for orvix.enable_audio parameter, recvd: 'letters'.");
    EXPECT_EQ(letters.level, VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_EQ(letters.status, -500);
    EXPECT_TRUE(LogCapture::has(kProcess + ": Expected int value for orvix.session_timeout parameter, recvd: ''."));
    EXPECT_EQ(LogCapture::find(kProcess + ": Unknown type for orvix.session_guid_tag parameter, recvd: 'x'.").status,
              -500);
    EXPECT_EQ(LogCapture::find("orvix::config::internal::Settings::apply_config_parameter_action: Setting log level "
                               "for VORN_EVENT_CAT_MGMT_USB to 4.")
                  .category,
              60u);
    EXPECT_EQ(LogCapture::find("Configuration file " + path_ + " loaded").level, VORN_EVENT_LEVEL_INFO);
    EXPECT_EQ(LogCapture::find("orvix::config::internal::SettingsFromFile::load_file: Successfully opened file " +
                               path_ + " for reading.")
                  .level,
              VORN_EVENT_LEVEL_DEBUG);
    EXPECT_EQ(LogCapture::find("orvix::config::internal::SettingsFromFile::parse: Parsing buffer into parameters").level,
              VORN_EVENT_LEVEL_DEBUG);
    for (const auto& r : LogCapture::records()) {
        EXPECT_EQ(r.message.find("Enable_USB"), std::string::npos) << "a name with capitals is ignored: " << r.message;
    }
    EXPECT_EQ(source.current_values(), map);
}

TEST_F(FileSourceTest, WindowsLineEndsAndAnEmptyFile) {
    write_file(path_, "orvix.server_type = abc\r\norvix.mtu_size = 1400\r\n");
    SettingsFromFile source(path_.c_str());
    const SettingsMap map = source.load();
    EXPECT_EQ(map.at("orvix.server_type"), SettingValue::of_text("abc"));
    EXPECT_EQ(map.at("orvix.mtu_size"), SettingValue::of_number(1400));

    write_file(path_, "");
    SettingsFromFile empty(path_.c_str());
    EXPECT_TRUE(empty.load().empty());
    EXPECT_TRUE(LogCapture::has("0 configuration item(s) to apply"));
}

TEST_F(FileSourceTest, AMissingOrUnreadableFileLoadsNothing) {
    SettingsFromFile source(path_.c_str());
    EXPECT_TRUE(source.load().empty());
    EXPECT_EQ(source.recorded_time(), 0);
    const std::string prefix =
        "orvix::config::internal::SettingsFromFile::load_file: Error reading configuration file " + path_ + ": ";
    bool found = false;
    for (const auto& r : LogCapture::records()) {
        if (r.message.rfind(prefix, 0) == 0 && r.message.size() > prefix.size()) {
            found = true;
            EXPECT_EQ(r.level, VORN_EVENT_LEVEL_ERROR);
            EXPECT_EQ(r.status, -500);
        }
    }
    EXPECT_TRUE(found) << LogCapture::dump();
    EXPECT_FALSE(source.has_changes());

    write_file(path_, "orvix.mtu_size = 1400\n");
    EXPECT_TRUE(source.has_changes()) << "the file's appearance is a change";

    // A folder where the file should be: nothing to read, and nothing breaks.
    SettingsFromFile folder(folder_.path().string().c_str());
    EXPECT_TRUE(folder.load().empty());

    SettingsFromFile nameless(nullptr);
    EXPECT_EQ(nameless.source_name(), "");
    EXPECT_TRUE(nameless.load().empty());
}

TEST_F(FileSourceTest, AReadErrorKeepsTheItemsReadBeforeIt) {
    SettingsFromFile source(path_.c_str());
    FailingBuffer buffer("orvix.mtu_size = 1400\norvix.server_type = abc\norvix.enable");
    std::istream in(&buffer);
    in.exceptions(std::ios::failbit | std::ios::badbit);
    const std::vector<ConfigItem> items = source.parse(in);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].name, "orvix.server_type");
}

TEST_F(FileSourceTest, PathsAreCutTo511Characters) {
    const std::string long_path(600, 'p');
    SettingsFromFile source(long_path.c_str());
    EXPECT_EQ(source.source_name(), std::string(511, 'p'));
}

TEST_F(FileSourceTest, ReloadReportsRemovedLinesAndKeepsEarlierSources) {
    write_file(path_, "orvix.mtu_size = 1400\norvix.enable_audio = 0\norvix.server_type = abc\n");
    SettingsFromFile source(path_.c_str());
    source.load();
    EXPECT_FALSE(source.has_changes());

    write_file(path_, "orvix.mtu_size = 1300\n");
    touch_later();
    EXPECT_TRUE(source.has_changes());

    SettingsMap merged;
    merged["orvix.mtu_size"] = SettingValue::of_number(900);  // a source handled earlier
    merged["orvix.server_type"] = SettingValue::of_text("from a registry key");
    RemovedNames removed{"orvix.enable_audio"};  // listed by an earlier source already
    LogCapture::clear();
    ASSERT_EQ(source.reload_into(&merged, &removed), 0);
    EXPECT_FALSE(source.has_changes());
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(900));
    EXPECT_EQ(removed, (RemovedNames{"orvix.enable_audio"}));
    const auto gone = LogCapture::find("Setting parameter orvix.enable_audio no longer exist in configuration file " +
                                       path_);
    EXPECT_EQ(gone.level, VORN_EVENT_LEVEL_DEBUG) << LogCapture::dump();
    EXPECT_FALSE(LogCapture::has("Setting parameter orvix.server_type no longer exist in configuration file " + path_));
    EXPECT_EQ(source.handed_over_names(), (std::vector<std::string>{"orvix.mtu_size"}));

    EXPECT_EQ(source.reload_into(nullptr, &removed), -502);
    EXPECT_EQ(source.reload_into(&merged, nullptr), -502);
}

TEST_F(FileSourceTest, ARewriteOfAnotherSizeOrTimeIsAChange) {
    write_file(path_, "orvix.mtu_size = 1400\n");
    SettingsFromFile source(path_.c_str());
    source.load();
    const auto loaded_at = std::filesystem::last_write_time(path_);

    // Another size, the same time: a file created empty and filled at once looks like this.
    write_file(path_, "orvix.mtu_size = 1300 # longer\n");
    std::filesystem::last_write_time(path_, loaded_at);
    EXPECT_TRUE(source.has_changes());
    source.refresh_timestamp();
    EXPECT_FALSE(source.has_changes());

    // The same size, a later time (whole seconds: not every file system or library sets
    // finer times).
    write_file(path_, "orvix.mtu_size = 1200 # longer\n");
    std::filesystem::last_write_time(path_, loaded_at + std::chrono::seconds(2));
    EXPECT_TRUE(source.has_changes());
}

TEST_F(FileSourceTest, ADeletedFileFailsTheReloadAndReportsNothingOnceBack) {
    write_file(path_, "orvix.mtu_size = 1400\norvix.enable_audio = 0\n");
    SettingsFromFile source(path_.c_str());
    source.load();

    std::filesystem::remove(path_);
    EXPECT_TRUE(source.has_changes());
    SettingsMap merged;
    RemovedNames removed;
    EXPECT_EQ(source.reload_into(&merged, &removed), -500);
    EXPECT_TRUE(removed.empty());
    EXPECT_FALSE(source.has_changes());

    write_file(path_, "orvix.mtu_size = 1400\n");
    EXPECT_TRUE(source.has_changes());
    ASSERT_EQ(source.reload_into(&merged, &removed), 0);
    EXPECT_TRUE(removed.empty()) << "the failed reading handed nothing over, so nothing went away";
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(1400));
}

}  // namespace
