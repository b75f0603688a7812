// Stand-in for the Windows code-page conversion, following its default behaviour:
// no error for ill-formed input, U+FFFD in its place.
#include <string>

#include "os/codepage.h"

namespace orvix::os {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void append_utf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Decodes one well-formed UTF-8 sequence at s (Unicode's table of well-formed byte
// sequences); on an ill-formed one, consumes its maximal valid prefix (at least one
// byte) and yields U+FFFD, the practice Windows follows.
char32_t decode_one(const unsigned char*& s) {
    unsigned char b0 = s[0];
    if (b0 < 0x80) {
        ++s;
        return b0;
    }
    int length;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        ++s;
        return kReplacement;
    }
    ++s;
    for (int i = 1; i < length; ++i) {
        unsigned char b = *s;
        if (b < lo || b > hi) return kReplacement;  // b (maybe the terminator) is not consumed
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        ++s;
    }
    return cp;
}

}  // namespace

int32_t system_wide_to_utf8(const char16_t* source, char* destination, int32_t destination_size,
                            uint32_t* error) {
    if (source == nullptr || destination_size < 0 || (destination_size > 0 && destination == nullptr)) {
        if (error != nullptr) *error = kErrorInvalidParameterCodepage;
        return 0;
    }
    std::string out;
    for (const char16_t* p = source;; ++p) {
        char32_t unit = *p;
        if (unit >= 0xD800 && unit <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (p[1] - 0xDC00));
            ++p;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            append_utf8(out, kReplacement);
        } else {
            append_utf8(out, unit);
        }
        if (unit == 0) break;
    }
    const auto needed = static_cast<int32_t>(out.size());
    if (destination_size == 0) return needed;
    if (needed > destination_size) {
        if (error != nullptr) *error = kErrorInsufficientBuffer;
        return 0;
    }
    out.copy(destination, out.size());
    return needed;
}

int32_t system_utf8_to_wide(const char* source, char16_t* destination, int32_t destination_units,
                            uint32_t* error) {
    if (source == nullptr || destination_units < 0 || (destination_units > 0 && destination == nullptr)) {
        if (error != nullptr) *error = kErrorInvalidParameterCodepage;
        return 0;
    }
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(source);
    while (*s != 0) append_utf16(out, decode_one(s));
    out.push_back(u'\0');
    const auto needed = static_cast<int32_t>(out.size());
    if (destination_units == 0) return needed;
    if (needed > destination_units) {
        if (error != nullptr) *error = kErrorInsufficientBuffer;
        return 0;
    }
    out.copy(destination, out.size());
    return needed;
}

uint32_t narrow_code_page() { return 65001; }

}  // namespace orvix::os
