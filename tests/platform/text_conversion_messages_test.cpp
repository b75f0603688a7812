// The messages text conversion sends through the event log arrive with their category,
// level and status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "platform/text_conversion.h"

namespace {

struct Message {
    std::string text;
    uint32_t category;
    int32_t level;
    int32_t status;
    bool operator==(const Message&) const = default;
};

std::vector<Message> g_messages;

int32_t record(const char* message, int32_t, uint32_t category, int32_t level, int32_t status) {
    g_messages.push_back({message, category, level, status});
    return 0;
}

class ConversionMessages : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(vorn_event_set_forwarding_callback(record), 0);
        vorn_event_init_params params;
        vorn_event_get_default_init_params(&params);
        ASSERT_EQ(vorn_event_init(&params), 0);
    }
};

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;

TEST_F(ConversionMessages, EveryInvalidArgumentIsReported) {
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(nullptr, nullptr, 0), 0);
    EXPECT_EQ(g_messages,
              (std::vector<Message>{
                  {"vorn_util_convert_utf8_string_from_wide: Invalid parameter, <src_string_wide> can not be NULL",
                   COMMON, 1, -501},
                  {"vorn_util_convert_utf8_string_from_wide: Invalid parameter, <dst_string_utf8> can not be NULL",
                   COMMON, 1, -501},
                  {"vorn_util_convert_utf8_string_from_wide: Invalid parameter, <dst_buffer_size> can not be zero",
                   COMMON, 1, -501},
              }));
}

TEST_F(ConversionMessages, ASizeOfZeroAloneIsReported) {
    char buffer[4];
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"abc", buffer, 0), 0);
    EXPECT_EQ(g_messages, (std::vector<Message>{{"vorn_util_convert_utf8_string_from_wide: Invalid parameter, "
                                                 "<dst_buffer_size> can not be zero",
                                                 COMMON, 1, -501}}));
}

TEST_F(ConversionMessages, AFailedSystemConversionReportsItsErrorCode) {
    char buffer[3];
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"h\u00e9", buffer, sizeof buffer), 0);
    // 0x7a: the buffer is too small (ERROR_INSUFFICIENT_BUFFER).
    EXPECT_EQ(g_messages, (std::vector<Message>{{"vorn_util_convert_utf8_string_from_wide: WideCharToMultiByte() "
                                                 "error [0x7a] converting wide string into UTF-8 string",
                                                 COMMON, 1, -500}}));
}

TEST_F(ConversionMessages, ASuccessfulConversionSaysNothing) {
    char buffer[8];
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"h\u00e9", buffer, sizeof buffer), 4);
    std::u16string wide;
    EXPECT_EQ(vorn_util_create_wide_string_from_utf8("h\xC3\xA9", &wide), 0);
    EXPECT_TRUE(g_messages.empty());
}

}  // namespace
