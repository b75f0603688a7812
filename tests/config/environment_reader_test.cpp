#include "config/environment_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/environment_store.h"

namespace {

struct Line {
    std::string message;
    uint32_t level;
    int32_t code;
    bool operator==(const Line& o) const { return message == o.message && level == o.level && code == o.code; }
};

std::ostream& operator<<(std::ostream& out, const Line& l) {
    return out << "{\"" << l.message << "\", lvl " << l.level << ", code " << l.code << "}";
}

// Keeps what is written; tells the test when it is destroyed.
class RecordingLogger : public orvix::logging::LoggerBase {
public:
    RecordingLogger(uint32_t max_level, std::vector<Line>* lines, bool* destroyed = nullptr)
        : LoggerBase(max_level), lines_(lines), destroyed_(destroyed) {}
    ~RecordingLogger() override {
        if (destroyed_ != nullptr) *destroyed_ = true;
    }
    void write(const std::string& message, uint32_t level, const int32_t& code) override {
        lines_->push_back({message, level, code});
    }
    void write(const char* message, uint32_t level, int32_t code) override { lines_->push_back({message, level, code}); }
    std::unique_ptr<LoggerBase> clone() const override { return std::make_unique<RecordingLogger>(maxLevel, lines_); }
    std::unique_ptr<LoggerBase> clone(uint32_t) const override { return clone(); }

private:
    std::vector<Line>* lines_;
    bool* destroyed_;
};

const std::string kGetVal = "orvix::EnvironmentReader::getVal";

std::unique_ptr<orvix::environment::IReader> reader_into(std::vector<Line>* lines, uint32_t max_level = 4) {
    return orvix::makeEnvironmentReader(std::make_unique<RecordingLogger>(max_level, lines));
}

TEST(EnvironmentReader, RefusesEveryReadBeforeTheStoreIsAvailable) {
    std::vector<Line> lines;
    auto reader = reader_into(&lines);
    std::string text = "keep";
    uint32_t number = 5;
    bool flag = true;
    EXPECT_FALSE(reader->getString("orvix.udp_port", text));
    EXPECT_FALSE(reader->getUint32("orvix.tcp_port", number));
    EXPECT_FALSE(reader->getBool("orvix.enable_usb", flag));
    EXPECT_FALSE(reader->getUint32("", number));
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(number, 5u);
    EXPECT_TRUE(flag);
    const std::string reason = " because the environment manager is not available.";
    EXPECT_EQ(lines, (std::vector<Line>{
                         {kGetVal + " Could not load orvix.udp_port" + reason, 1, -503},
                         {kGetVal + " Could not load orvix.tcp_port" + reason, 1, -503},
                         {kGetVal + " Could not load orvix.enable_usb" + reason, 1, -503},
                         {kGetVal + " Could not load " + reason, 1, -503},
                     }));
}

TEST(EnvironmentReader, ReadsTypedValuesOnceTheStoreIsAvailable) {
    ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
    std::vector<Line> lines;
    auto reader = reader_into(&lines);

    uint32_t port = 0;
    EXPECT_TRUE(reader->getUint32("orvix.tcp_port", port));
    EXPECT_EQ(port, 4172u);
    std::string text;
    EXPECT_TRUE(reader->getString("orvix.udp_port", text));
    EXPECT_EQ(text, "4172");
    EXPECT_TRUE(reader->getString("orvix.server_type", text));
    EXPECT_EQ(text, "AUTO");
    EXPECT_TRUE(reader->getString("orvix.macos_login_timeout", text));
    EXPECT_EQ(text, "75");

    bool flag = false;
    EXPECT_TRUE(reader->getBool("orvix.enable_usb", flag));
    EXPECT_TRUE(flag);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_usb", 0), VORN_STATUS_SUCCESS);
    EXPECT_TRUE(reader->getBool("orvix.enable_usb", flag));
    EXPECT_FALSE(flag);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_usb", 2), VORN_STATUS_SUCCESS);
    EXPECT_TRUE(reader->getBool("orvix.enable_usb", flag));
    EXPECT_TRUE(flag) << "any value but 0 is true";
    EXPECT_TRUE(lines.empty());
}

TEST(EnvironmentReader, FailedReadsLogTheStoresStatusAndKeepTheResult) {
    ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
    std::vector<Line> lines;
    auto reader = reader_into(&lines);

    bool flag = true;
    EXPECT_FALSE(reader->getBool("orvix.enable_d3d_capture", flag));  // a u32 row
    EXPECT_TRUE(flag);
    uint32_t number = 9;
    EXPECT_FALSE(reader->getUint32("orvix.enable_usb", number));  // a u8 row
    EXPECT_FALSE(reader->getUint32("orvix.not_a_setting", number));
    EXPECT_EQ(number, 9u);
    std::string text = "keep";
    EXPECT_FALSE(reader->getString("orvix.language", text));  // enums have no text form
    EXPECT_FALSE(reader->getString("orvix.not_a_setting", text));
    EXPECT_EQ(text, "keep");
    EXPECT_FALSE(reader->getString("", text));
    EXPECT_EQ(lines, (std::vector<Line>{
                         {kGetVal + " Could not load orvix.enable_d3d_capture", 1, -501},
                         {kGetVal + " Could not load orvix.enable_usb", 1, -501},
                         {kGetVal + " Could not load orvix.not_a_setting", 1, -501},
                         {kGetVal + " Could not load orvix.language", 1, -501},
                         {kGetVal + " Could not load orvix.not_a_setting", 1, -510},
                         {kGetVal + " A value cannot be retrieved with an empty name.", 1, -501},
                     }));
}

TEST(EnvironmentReader, AQuietLoggerHearsNothingAndTheReaderOwnsIt) {
    std::vector<Line> lines;
    bool destroyed = false;
    auto reader = orvix::makeEnvironmentReader(std::make_unique<RecordingLogger>(0, &lines, &destroyed));
    uint32_t number = 0;
    EXPECT_FALSE(reader->getUint32("orvix.tcp_port", number));
    ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
    EXPECT_FALSE(reader->getUint32("", number));
    EXPECT_FALSE(reader->getUint32("orvix.enable_usb", number));
    EXPECT_TRUE(reader->getUint32("orvix.tcp_port", number));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(destroyed);
    reader.reset();
    EXPECT_TRUE(destroyed);

    // Without a logger the reader still answers.
    auto bare = orvix::makeEnvironmentReader(nullptr);
    EXPECT_FALSE(bare->getUint32("orvix.enable_usb", number));
    EXPECT_TRUE(bare->getUint32("orvix.tcp_port", number));
}

}  // namespace
