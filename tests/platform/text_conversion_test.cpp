#include "platform/text_conversion.h"

#include <gtest/gtest.h>

#include <string>

#include "eventlog/status.h"
#include "os/codepage.h"

namespace {

using orvix::text::PropertyFilter;
using orvix::text::is_valid_utf16;
using orvix::text::is_valid_utf8;
using orvix::text::utf16_to_utf8;
using orvix::text::utf8_to_code_points;

std::string bytes(std::initializer_list<unsigned> list) {
    std::string s;
    for (unsigned b : list) s.push_back(static_cast<char>(b));
    return s;
}

std::string system_utf8(const std::u16string& wide) {
    uint32_t error = 0;
    char buffer[256] = {};
    int32_t n = orvix::os::system_wide_to_utf8(wide.c_str(), buffer, sizeof buffer, &error);
    EXPECT_GT(n, 0) << "error " << error;
    return n > 0 ? std::string(buffer, static_cast<size_t>(n - 1)) : std::string();
}

// The profiles a UTF-8 text is valid for, as a bit set.
unsigned valid_profiles_utf8(const std::string& text) {
    unsigned set = 0;
    for (int p = 0; p < orvix::text::kProfileCount; ++p) set |= is_valid_utf8(text.c_str(), p) ? 1u << p : 0;
    return set;
}
unsigned valid_profiles_utf16(const std::u16string& text) {
    unsigned set = 0;
    for (int p = 0; p < orvix::text::kProfileCount; ++p) set |= is_valid_utf16(text.c_str(), p) ? 1u << p : 0;
    return set;
}
constexpr unsigned P(std::initializer_list<int> profiles) {
    unsigned set = 0;
    for (int p : profiles) set |= 1u << p;
    return set;
}

TEST(LayerEncoder, WritesOneToFourByteForms) {
    EXPECT_EQ(utf16_to_utf8(u"abc"), "abc");
    EXPECT_EQ(utf16_to_utf8(u"\u00e9"), bytes({0xC3, 0xA9}));
    EXPECT_EQ(utf16_to_utf8(u"\u20ac"), bytes({0xE2, 0x82, 0xAC}));
    EXPECT_EQ(utf16_to_utf8(u"\U0001F600"), bytes({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(utf16_to_utf8(u"\U0010FFFF"), bytes({0xF4, 0x8F, 0xBF, 0xBF}));
    EXPECT_EQ(utf16_to_utf8(static_cast<const char16_t*>(nullptr)), "");
    EXPECT_EQ(utf16_to_utf8(u""), "");
}

TEST(LayerEncoder, SurrogateHandling) {
    // A lone low surrogate is written as itself, in three bytes.
    const char16_t lone_low[] = {u'a', 0xDC00, u'b', 0};
    EXPECT_EQ(utf16_to_utf8(lone_low), "a" + bytes({0xED, 0xB0, 0x80}) + "b");
    // A high surrogate at the end keeps what came before it.
    const char16_t trailing_high[] = {u'x', u'y', 0xD83D, 0};
    EXPECT_EQ(utf16_to_utf8(trailing_high), "xy");
    // A high surrogate followed by anything but a low one empties the result.
    const char16_t broken_pair[] = {u'x', 0xD83D, u'y', 0};
    EXPECT_EQ(utf16_to_utf8(broken_pair), "");
    const char16_t two_highs[] = {0xD83D, 0xD83D, 0xDE00, 0};
    EXPECT_EQ(utf16_to_utf8(two_highs), "");
}

TEST(LayerEncoder, AgreesWithSystemConversionOnValidText) {
    const std::u16string samples[] = {u"plain ascii", u"h\u00e9llo w\u00f6rld", u"\u65e5\u672c\u8a9e",
                                      u"mixed \U0001F600 and \U00020000 and \u00ff", u"\u0001\u007f\u0080\uffff"};
    for (const auto& s : samples) EXPECT_EQ(utf16_to_utf8(s), system_utf8(s));
}

TEST(LayerEncoder, DiffersFromSystemConversionOnLoneSurrogates) {
    const char16_t lone_low[] = {0xDC00, 0};
    EXPECT_EQ(utf16_to_utf8(lone_low), bytes({0xED, 0xB0, 0x80}));
    EXPECT_EQ(system_utf8(lone_low), bytes({0xEF, 0xBF, 0xBD}));  // the system substitutes U+FFFD
    const char16_t broken_pair[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(utf16_to_utf8(broken_pair), "");
    EXPECT_EQ(system_utf8(broken_pair), "a" + bytes({0xEF, 0xBF, 0xBD}) + "b");
}

TEST(LayerDecoder, DecodesClassicFormsUpToSixBytes) {
    EXPECT_EQ(utf8_to_code_points("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), (std::u32string{U'a', 0xE9, 0x20AC, 0x1F600}));
    EXPECT_EQ(utf8_to_code_points(bytes({0xF4, 0x90, 0x80, 0x80})), std::u32string(1, char32_t(0x110000)));
    EXPECT_EQ(utf8_to_code_points(bytes({0xF8, 0x88, 0x80, 0x80, 0x80})), std::u32string(1, char32_t(0x200000)));
    EXPECT_EQ(utf8_to_code_points(bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80})), std::u32string(1, char32_t(0x4000000)));
    EXPECT_EQ(utf8_to_code_points(bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})), std::u32string(1, char32_t(0x7FFFFFFF)));
    // Surrogate code points decode: they are what the encoder writes for a lone surrogate.
    EXPECT_EQ(utf8_to_code_points(bytes({0xED, 0xB0, 0x80})), std::u32string(1, char32_t(0xDC00)));
    EXPECT_EQ(utf8_to_code_points(static_cast<const char*>(nullptr)), U"");
}

TEST(LayerDecoder, UndecodableSequenceEmptiesTheResult) {
    const std::string bad[] = {
        "ok" + bytes({0x80}),                    // continuation byte as lead
        "ok" + bytes({0xFE}), bytes({0xFF}),     // never valid
        "ok" + bytes({0xC3}),                    // truncated by the terminator
        bytes({0xE2, 0x82, 0x41}),               // non-continuation inside
        bytes({0xC0, 0x80}),                     // overlong NUL
        bytes({0xE0, 0x80, 0xAF}),               // overlong '/'
        bytes({0xF0, 0x82, 0x82, 0xAC}),         // overlong euro
        bytes({0xFC, 0x80, 0x80, 0x80, 0x80, 0xAF}),
    };
    for (const auto& s : bad) EXPECT_EQ(utf8_to_code_points(s), U"") << testing::PrintToString(s);
}

TEST(Validators, RepertoireProfiles) {
    const unsigned all = P({0, 1, 2, 3, 4, 5});
    EXPECT_EQ(valid_profiles_utf8("abc"), all);
    EXPECT_EQ(valid_profiles_utf16(u"abc"), all);
    EXPECT_EQ(valid_profiles_utf8("\xC3\xA9"), P({1, 2, 3, 4, 5}));
    EXPECT_EQ(valid_profiles_utf16(u"\u00e9"), P({1, 2, 3, 4, 5}));
    EXPECT_EQ(valid_profiles_utf8(bytes({0xF4, 0x8F, 0xBF, 0xBF})), P({1, 3, 4, 5}));  // U+10FFFF
    EXPECT_EQ(valid_profiles_utf16(u"\U0010FFFF"), P({1, 3, 4, 5}));
    EXPECT_EQ(valid_profiles_utf8(bytes({0xF4, 0x90, 0x80, 0x80})), P({1, 3, 4}));     // 0x110000
    EXPECT_EQ(valid_profiles_utf8(bytes({0xF5, 0x80, 0x80, 0x80})), P({1, 4}));        // lead F5
    EXPECT_EQ(valid_profiles_utf8(bytes({0xF8, 0x88, 0x80, 0x80, 0x80})), P({1, 4}));
    EXPECT_EQ(valid_profiles_utf8(bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})), P({4}));  // 0x7FFFFFFF
    EXPECT_EQ(valid_profiles_utf8(bytes({0xED, 0xB0, 0x80})), 0u);  // surrogate code point
    EXPECT_EQ(valid_profiles_utf8("a" + bytes({0x80})), 0u);
    EXPECT_EQ(valid_profiles_utf8(bytes({0xC0, 0x80})), 0u);
}

TEST(Validators, Utf16Surrogates) {
    const char16_t lone_low[] = {u'a', 0xDC00, 0};
    const char16_t lone_high_end[] = {u'a', 0xD800, 0};
    const char16_t high_then_letter[] = {0xD800, u'a', 0};
    EXPECT_EQ(valid_profiles_utf16(lone_low), 0u);
    EXPECT_EQ(valid_profiles_utf16(lone_high_end), 0u);
    EXPECT_EQ(valid_profiles_utf16(high_then_letter), 0u);
}

TEST(Validators, AbsentEmptyAndBadProfile) {
    EXPECT_TRUE(is_valid_utf8(nullptr, 0));
    EXPECT_TRUE(is_valid_utf16(nullptr, 5));
    EXPECT_TRUE(is_valid_utf8("", 3));
    EXPECT_FALSE(is_valid_utf8("abc", 6));
    EXPECT_FALSE(is_valid_utf8("abc", -1));
    EXPECT_FALSE(is_valid_utf16(u"abc", 6));
}

TEST(Validators, PropertyFilter) {
    const PropertyFilter no_space{8, 0};
    EXPECT_FALSE(is_valid_utf8("a b", 5, &no_space));
    EXPECT_FALSE(is_valid_utf16(u"a\u3000b", 5, &no_space));
    EXPECT_TRUE(is_valid_utf8("ab", 5, &no_space));
    const PropertyFilter defined_only{1, 1};
    EXPECT_TRUE(is_valid_utf8("Hello \xC3\xA9", 5, &defined_only));
    EXPECT_FALSE(is_valid_utf8("\xCD\xB8", 5, &defined_only));  // U+0378 is unassigned
    const PropertyFilter no_controls{4, 0};
    EXPECT_FALSE(is_valid_utf8("a\tb", 5, &no_controls));
    const PropertyFilter anything{0, 7};  // mask 0 accepts everything, whatever is expected
    EXPECT_TRUE(is_valid_utf8("a\tb", 5, &anything));
}

TEST(CharacterProperties, Bits) {
    using namespace orvix::text;
    EXPECT_EQ(character_properties(' '), kPropertyWhiteSpace | kPropertyDefined);
    EXPECT_EQ(character_properties('\n'), kPropertyWhiteSpace | kPropertyControl | kPropertyDefined);
    EXPECT_EQ(character_properties(0x85), kPropertyWhiteSpace | kPropertyControl | kPropertyDefined);
    EXPECT_EQ(character_properties(0x9F), kPropertyControl | kPropertyDefined);
    EXPECT_EQ(character_properties(0xA0) & kPropertyWhiteSpace, kPropertyWhiteSpace);
    EXPECT_EQ(character_properties(0x200B) & kPropertyWhiteSpace, 0u);
    EXPECT_EQ(character_properties(0xE000), kPropertyPrivateUse | kPropertyDefined);
    EXPECT_EQ(character_properties(0xF0000), kPropertyPrivateUse);  // plane 15 is not tabulated
    EXPECT_EQ(character_properties(0x10FFFD), kPropertyPrivateUse);
    EXPECT_EQ(character_properties(0x10FFFE), 0u);
    EXPECT_EQ(character_properties(0xFFFFE), 0u);
    EXPECT_EQ(character_properties('A'), kPropertyDefined);
    EXPECT_EQ(character_properties(0x0378), 0u);
    EXPECT_EQ(character_properties(0x1F600), kPropertyDefined);
    EXPECT_EQ(character_properties(0x20000), kPropertyDefined);   // CJK extension B, a range row
    EXPECT_EQ(character_properties(0xE0001), kPropertyDefined);   // plane 14 language tag
    EXPECT_EQ(character_properties(0xE0000), 0u);
    EXPECT_EQ(character_properties(0x110000), 0u);
}

TEST(SystemConversion, ConvertUtf8FromWide) {
    char buffer[16];
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"h\u00e9", buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "h\xC3\xA9");
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"", buffer, sizeof buffer), 1);
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"h\u00e9", buffer, 0), 0);
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(nullptr, buffer, sizeof buffer), 0);
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"x", nullptr, sizeof buffer), 0);
    EXPECT_EQ(vorn_util_convert_utf8_string_from_wide(u"h\u00e9", buffer, 3), 0);  // no room for the NUL
}

TEST(SystemConversion, CreateWideFromUtf8) {
    std::u16string wide = u"unchanged";
    EXPECT_EQ(vorn_util_create_wide_string_from_utf8("h\xC3\xA9 \xF0\x9F\x98\x80", &wide), 0);
    EXPECT_EQ(wide, u"h\u00e9 \U0001F600");
    EXPECT_EQ(vorn_util_create_wide_string_from_utf8("", &wide), 0);
    EXPECT_EQ(wide, u"");
    // Ill-formed input is not an error for the system conversion: U+FFFD takes its place.
    EXPECT_EQ(vorn_util_create_wide_string_from_utf8("a\xFF" "b", &wide), 0);
    EXPECT_EQ(wide, u"a\uFFFDb");
    EXPECT_EQ(vorn_util_create_wide_string_from_utf8(nullptr, &wide), VORN_STATUS_MISSING_ARGUMENT);
}

TEST(StringContainerTest, ConvertsOnceAndReturnsCopies) {
    orvix::StringContainer holder(u"gr\u00fc\u00df");
    std::string first = holder.utf8();
    EXPECT_EQ(first, "gr\xC3\xBC\xC3\x9F");
    first[0] = 'X';  // a copy: the cache is not affected
    EXPECT_EQ(holder.utf8(), "gr\xC3\xBC\xC3\x9F");
    orvix::StringContainer from_null(static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(from_null.utf8(), "");
}

}  // namespace
