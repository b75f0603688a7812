#include "platform/text_conversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/status.h"

namespace {

using namespace orvix::text;

std::string bytes(std::initializer_list<unsigned> list) {
    std::string s;
    for (unsigned b : list) s.push_back(static_cast<char>(b));
    return s;
}

// The profiles a text is valid for, as a bit set.
template <typename Char>
unsigned valid_profiles(const std::basic_string<Char>& text) {
    unsigned set = 0;
    for (int p = 0; p < kProfileCount; ++p) {
        if constexpr (sizeof(Char) == 1) set |= is_valid_utf8(text.c_str(), p) ? 1u << p : 0;
        if constexpr (sizeof(Char) == 2) set |= is_valid_utf16(text.c_str(), p) ? 1u << p : 0;
    }
    return set;
}

TEST(LayerEncoder, WritesOneToFourByteFormsAtTheirBoundariesAndKeepsLoneLowSurrogates) {
    EXPECT_EQ(utf16_to_utf8(u"\u007f\u0080\u07ff\u0800\uffff"),
              bytes({0x7F, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF}));
    EXPECT_EQ(utf16_to_utf8(u"\U00010000\U0010FFFF"), bytes({0xF0, 0x90, 0x80, 0x80, 0xF4, 0x8F, 0xBF, 0xBF}));
    EXPECT_EQ(utf16_to_utf8(static_cast<const char16_t*>(nullptr)), "");
    // A lone low surrogate is written as itself, in three bytes (the system would
    // substitute U+FFFD); a high surrogate at the end keeps what came before it, and one
    // followed by anything but a low one empties the result.
    const char16_t lone_low[] = {u'a', 0xDC00, u'b', 0}, trailing_high[] = {u'x', u'y', 0xD83D, 0},
                   broken_pair[] = {u'x', 0xD83D, u'y', 0};
    // Appended: GCC 12's -Wrestrict misfires on "a" + std::string&& at -O3.
    std::string low_alone = "a";
    low_alone += bytes({0xED, 0xB0, 0x80}) + "b";
    EXPECT_EQ(utf16_to_utf8(lone_low), low_alone);
    EXPECT_EQ(utf16_to_utf8(trailing_high), "xy");
    EXPECT_EQ(utf16_to_utf8(broken_pair), "");
}

TEST(LayerDecoder, DecodesClassicFormsUpToSixBytesAndNothingUndecodable) {
    EXPECT_EQ(utf8_to_code_points("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), (std::u32string{'a', 0xE9, 0x20AC, 0x1F600}));
    EXPECT_EQ(utf8_to_code_points(bytes({0xF4, 0x90, 0x80, 0x80})), std::u32string{0x110000});
    EXPECT_EQ(utf8_to_code_points(bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})), std::u32string{0x7FFFFFFF});
    // Surrogate code points decode: they are what the encoder writes for a lone surrogate.
    EXPECT_EQ(utf8_to_code_points(bytes({0xED, 0xB0, 0x80})), std::u32string{0xDC00});
    EXPECT_EQ(utf8_to_code_points(static_cast<const char*>(nullptr)), U"");
    // A continuation byte as lead, a never valid byte, one truncated by the terminator, a
    // non-continuation inside, overlong NUL and euro.
    const std::string bad[] = {"ok" + bytes({0x80}),       "ok" + bytes({0xFE}),  "ok" + bytes({0xC3}),
                               bytes({0xE2, 0x82, 0x41}), bytes({0xC0, 0x80}), bytes({0xF0, 0x82, 0x82, 0xAC})};
    for (const auto& s : bad) EXPECT_EQ(utf8_to_code_points(s), U"") << testing::PrintToString(s);
}

TEST(Validators, RepertoireProfilesAbsentEmptyBadProfileAndPropertyFilter) {
    // Bit p: valid for profile p.
    EXPECT_EQ(valid_profiles(std::string("abc")), 0b111111u);
    EXPECT_EQ(valid_profiles(std::string("\xC3\xA9")), 0b111110u);
    EXPECT_EQ(valid_profiles(std::u16string(u"\U0010FFFF")), 0b111010u);
    EXPECT_EQ(valid_profiles(bytes({0xF4, 0x8F, 0xBF, 0xBF})), 0b111010u);               // U+10FFFF
    EXPECT_EQ(valid_profiles(bytes({0xF4, 0x90, 0x80, 0x80})), 0b011010u);               // 0x110000
    EXPECT_EQ(valid_profiles(bytes({0xF5, 0x80, 0x80, 0x80})), 0b010010u);               // lead F5
    EXPECT_EQ(valid_profiles(bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})), 0b010000u);   // 0x7FFFFFFF
    EXPECT_EQ(valid_profiles(bytes({0xED, 0xB0, 0x80})), 0u);                            // a surrogate
    for (const std::u16string s : {u"a\xDC00", u"a\xD800", u"\xD800" u"a"}) EXPECT_EQ(valid_profiles(s), 0u);
    // Absent and empty texts are valid; profiles out of range are not.
    EXPECT_TRUE(is_valid_utf8(nullptr, 0) && is_valid_utf16(nullptr, 5) && is_valid_utf8("", 3));
    EXPECT_FALSE(is_valid_utf8("abc", 6) || is_valid_utf8("abc", -1) || is_valid_utf16(u"abc", 6));

    const PropertyFilter no_space{8, 0};
    EXPECT_FALSE(is_valid_utf8("a b", 5, &no_space));
    EXPECT_FALSE(is_valid_utf16(u"a\u3000b", 5, &no_space));
    EXPECT_TRUE(is_valid_utf8("ab", 5, &no_space));
    const PropertyFilter defined_only{1, 1};
    EXPECT_TRUE(is_valid_utf8("Hello \xC3\xA9", 5, &defined_only));
    EXPECT_FALSE(is_valid_utf8("\xCD\xB8", 5, &defined_only));  // U+0378 is unassigned
    const PropertyFilter anything{0, 7};  // mask 0 accepts everything, whatever is expected
    EXPECT_TRUE(is_valid_utf8("a\tb", 5, &anything));
}

TEST(CharacterProperties, Bits) {
    EXPECT_EQ(character_properties(0x85), kPropertyWhiteSpace | kPropertyControl | kPropertyDefined);
    EXPECT_EQ(character_properties(0x200B) & kPropertyWhiteSpace, 0u);
    EXPECT_EQ(character_properties(0xE000), kPropertyPrivateUse | kPropertyDefined);
    EXPECT_EQ(character_properties(0xF0000), kPropertyPrivateUse);  // plane 15 is not tabulated
    EXPECT_EQ(character_properties(0x10FFFD), kPropertyPrivateUse);
    for (uint32_t none : {0x0378u, 0xE0000u, 0xFFFFEu, 0x10FFFEu, 0x110000u}) EXPECT_EQ(character_properties(none), 0u);
    EXPECT_EQ(character_properties(0x20000), kPropertyDefined);  // CJK extension B, a range row
    EXPECT_EQ(character_properties(0xE0001), kPropertyDefined);  // plane 14 language tag
}

std::vector<std::string> g_messages;  // "<category> <level> <status> <text>" as the event log forwards them

// Every invalid argument and the system's error code are reported, at level 1 in the
// common category; success says nothing.
TEST(SystemConversion, BothDirectionsAndTheRefusalsReported) {
    ASSERT_EQ(vorn_event_set_forwarding_callback([](const char* text, int32_t, uint32_t category, int32_t level,
                                                    int32_t status) -> int32_t {
                  g_messages.push_back(std::to_string(category) + " " + std::to_string(level) + " " +
                                       std::to_string(status) + " " + text);
                  return 0;
              }),
              0);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    ASSERT_EQ(vorn_event_init(&params), 0);

    char buffer[16];
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"h\u00e9", buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "h\xC3\xA9");
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"", buffer, sizeof buffer), 1);
    std::u16string wide = u"unchanged";
    EXPECT_EQ(vorn_util_create_wide_string_from_utf8("h\xC3\xA9 \xF0\x9F\x98\x80", &wide), 0);
    EXPECT_EQ(wide, u"h\u00e9 \U0001F600");
    // Ill-formed input is not an error for the system conversion: U+FFFD takes its place.
    EXPECT_EQ(vorn_util_create_wide_string_from_utf8("a\xFF" "b", &wide), 0);
    EXPECT_EQ(wide, u"a\uFFFDb");
    EXPECT_EQ(orvix::StringContainer(u"gr\u00fc\u00df").utf8(), "gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(orvix::StringContainer(static_cast<const char16_t*>(nullptr)).utf8(), "");
    EXPECT_TRUE(g_messages.empty());

    EXPECT_EQ(vorn_util_create_wide_string_from_utf8(nullptr, &wide), VORN_STATUS_MISSING_ARGUMENT);
    g_messages.clear();
    const std::string common = std::to_string(VORN_EVENT_CAT_COMMON) + " 1 ";
    const std::string invalid = common + "-501 vorn_util_convert_utf8_string_from_wide: Invalid parameter, ";
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(nullptr, nullptr, 0), 0);
    EXPECT_EQ(std::exchange(g_messages, {}),
              (std::vector<std::string>{invalid + "<src_string_wide> can not be NULL",
                                        invalid + "<dst_string_utf8> can not be NULL",
                                        invalid + "<dst_buffer_size> can not be zero"}));
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"abc", buffer, 0), 0);
    EXPECT_EQ(std::exchange(g_messages, {}), std::vector<std::string>{invalid + "<dst_buffer_size> can not be zero"});
    // 0x7a: the buffer is too small (ERROR_INSUFFICIENT_BUFFER), with no room for the NUL.
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"h\u00e9", buffer, 3), 0);
    EXPECT_EQ(g_messages, std::vector<std::string>{common + "-500 vorn_util_convert_utf8_string_from_wide: "
                                                            "WideCharToMultiByte() error [0x7a] converting wide "
                                                            "string into UTF-8 string"});
}

}  // namespace
