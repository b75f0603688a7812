// Text conversion between the layer's UTF-8 and the UTF-16 of the system interfaces.
//
// Two kinds of conversion live here. The vorn_util_* functions use the system's
// code-page conversion and log their failures through the event log (category COMMON).
// The orvix::text encoder and decoder are the layer's own: they accept the classic
// five- and six-byte forms and handle surrogates their own way (a lone low surrogate is
// encoded as itself, a broken pair empties the result), so they differ from the system
// conversion on ill-formed input. The validators check a text against a character
// repertoire (profiles 0 to 5) and optional character properties.
//
// All functions are thread-safe; StringContainer is not (it caches on first use).
#pragma once

#include <cstdint>
#include <string>

// Converts a zero-terminated wide text to UTF-8 with the system's conversion. Returns the
// number of bytes written including the terminating zero, or 0 on failure (a missing
// argument, a size of 0 or a failed conversion, each logged).
int32_t vorn_util_convert_utf8_string_from_wide(const char16_t* source, char* destination,
                                                uint32_t destination_size);

// Converts zero-terminated UTF-8 to wide text with the system's conversion (used by log
// pruning). Returns 0, -502 for a missing argument, or -500 when the system conversion
// fails (logged).
int32_t vorn_util_create_wide_string_from_utf8(const char* source, std::u16string* destination);

namespace orvix {

namespace text {

// The whole text in UTF-8 with the system's conversion (vorn_util_convert_utf8_string_from_wide,
// which logs a failure); empty when it fails.
std::string system_utf16_to_utf8(const std::u16string& source);

// Layer encoder: zero-terminated UTF-16 to UTF-8. Null or empty in, empty out.
std::string utf16_to_utf8(const char16_t* source);
inline std::string utf16_to_utf8(const std::u16string& source) { return utf16_to_utf8(source.c_str()); }

// Layer decoder: zero-terminated UTF-8 to code points (one- to six-byte forms). A sequence
// that cannot be decoded (bad lead or continuation byte, truncation, overlong form) makes
// the whole result empty.
std::u32string utf8_to_code_points(const char* source);
inline std::u32string utf8_to_code_points(const std::string& source) { return utf8_to_code_points(source.c_str()); }

// Property bits of a code point.
enum : uint32_t {
    kPropertyDefined = 1,     // defined in planes 0 to 3 or 14 (Unicode character database)
    kPropertyPrivateUse = 2,  // U+E000..U+F8FF, planes 15 and 16 but their last two code points
    kPropertyControl = 4,     // U+0000..U+001F, U+007F..U+009F
    kPropertyWhiteSpace = 8,
};
uint32_t character_properties(uint32_t code_point);

// A character passes when (properties & mask) == expected; a mask of 0 accepts everything.
struct PropertyFilter {
    uint32_t mask = 0;
    uint32_t expected = 0;
};

inline constexpr int kProfileCount = 6;

// Profile 0: 7-bit ASCII; 1: all values below 0x40000000; 2: the basic multilingual plane;
// 3: all 21-bit values; 4: all 31-bit values; 5: Unicode (up to U+10FFFF, no surrogates).
// A null or empty text is valid; a profile outside 0..5 makes every text invalid.
bool is_valid_utf16(const char16_t* text, int profile, const PropertyFilter* filter = nullptr);
bool is_valid_utf8(const char* text, int profile, const PropertyFilter* filter = nullptr);

}  // namespace text

// Holds a wide text and produces its UTF-8 form (layer encoder) on first request.
class StringContainer {
public:
    explicit StringContainer(const char16_t* wide_text) : wide_(wide_text != nullptr ? wide_text : u"") {}
    explicit StringContainer(std::u16string wide_text) : wide_(std::move(wide_text)) {}
    virtual ~StringContainer() = default;

    const std::u16string& wide() const { return wide_; }
    // A copy of the cached UTF-8 form.
    std::string utf8();

private:
    std::u16string wide_;
    std::string utf8_;
    bool converted_ = false;
};

}  // namespace orvix
