#include "platform/text_conversion.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "eventlog/event_log.h"
#include "os/codepage.h"

int32_t vorn_util_convert_utf8_string_from_wide(const char16_t* source, char* destination,
                                                uint32_t destination_size) {
    static const char kFunction[] = "vorn_util_convert_utf8_string_from_wide";
    // Every failing check is reported, not only the first.
    bool ok = true;
    if (source == nullptr) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_INVALID,
                       "%s: Invalid parameter, <src_string_wide> can not be NULL", kFunction);
        ok = false;
    }
    if (destination == nullptr) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_INVALID,
                       "%s: Invalid parameter, <dst_string_utf8> can not be NULL", kFunction);
        ok = false;
    }
    if (destination_size == 0) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_INVALID,
                       "%s: Invalid parameter, <dst_buffer_size> can not be zero", kFunction);
        ok = false;
    }
    if (!ok) return 0;

    uint32_t error = 0;
    const int32_t size = destination_size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(destination_size);
    int32_t written = orvix::os::system_wide_to_utf8(source, destination, size, &error);
    if (written == 0) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                       "%s: WideCharToMultiByte() error [0x%lx] converting wide string into UTF-8 string", kFunction,
                       static_cast<unsigned long>(error));
        return 0;
    }
    return written;
}

int32_t vorn_util_create_wide_string_from_utf8(const char* source, std::u16string* destination) {
    static const char kFunction[] = "vorn_util_create_wide_string_from_utf8";
    if (source == nullptr || destination == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    uint32_t error = 0;
    int32_t needed = orvix::os::system_utf8_to_wide(source, nullptr, 0, &error);
    if (needed == 0) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                       "%s: MultiByteToWideChar() error [0x%lx] while pre-converting UTF-8 string to wide string",
                       kFunction, static_cast<unsigned long>(error));
        return VORN_STATUS_FAILURE;
    }
    std::u16string wide(static_cast<size_t>(needed), u'\0');
    if (orvix::os::system_utf8_to_wide(source, wide.data(), needed, &error) == 0) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                       "%s: MultiByteToWideChar() error [0x%lx] while converting UTF-8 string to wide char", kFunction,
                       static_cast<unsigned long>(error));
        return VORN_STATUS_FAILURE;
    }
    wide.resize(static_cast<size_t>(needed) - 1);  // the count includes the terminator
    *destination = std::move(wide);
    return VORN_STATUS_SUCCESS;
}

namespace orvix {
namespace text {
namespace {

struct Range {
    uint32_t first;
    uint32_t last;
};

constexpr Range kDefinedRanges[] = {
#include "platform/unicode_defined_ranges.inc"
};

constexpr bool is_high_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool is_low_surrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Classic UTF-8 byte forms, up to six bytes; values above 0x7FFFFFFF are dropped.
void append_code_point(std::string& out, uint32_t cp) {
    int length;
    unsigned char lead;
    if (cp <= 0x7F) {
        out.push_back(static_cast<char>(cp));
        return;
    } else if (cp <= 0x7FF) {
        length = 2, lead = 0xC0;
    } else if (cp <= 0xFFFF) {
        length = 3, lead = 0xE0;
    } else if (cp <= 0x1FFFFF) {
        length = 4, lead = 0xF0;
    } else if (cp <= 0x3FFFFFF) {
        length = 5, lead = 0xF8;
    } else if (cp <= 0x7FFFFFFF) {
        length = 6, lead = 0xFC;
    } else {
        return;
    }
    out.push_back(static_cast<char>(lead | (cp >> (6 * (length - 1)))));
    for (int i = length - 2; i >= 0; --i) out.push_back(static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F)));
}

// Decodes one sequence at s; false when it cannot be decoded. Overlong forms are refused
// so that every code point has exactly one encoding.
bool decode_sequence(const unsigned char*& s, uint32_t& cp) {
    const unsigned char lead = *s;
    int length;
    if (lead < 0x80) {
        cp = lead;
        ++s;
        return true;
    } else if (lead < 0xC0) {
        return false;  // a continuation byte cannot start a sequence
    } else if (lead < 0xE0) {
        length = 2, cp = lead & 0x1F;
    } else if (lead < 0xF0) {
        length = 3, cp = lead & 0x0F;
    } else if (lead < 0xF8) {
        length = 4, cp = lead & 0x07;
    } else if (lead < 0xFC) {
        length = 5, cp = lead & 0x03;
    } else if (lead < 0xFE) {
        length = 6, cp = lead & 0x01;
    } else {
        return false;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char b = s[i];
        if ((b & 0xC0) != 0x80) return false;  // also stops at the terminator
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
    if (cp < kSmallest[length]) return false;
    s += length;
    return true;
}

// Repertoire classes: the set of profile bits a character (or lead byte) allows.
constexpr uint32_t kClassNone = 32768;

uint32_t code_point_class(uint32_t cp) {
    if (cp < 0x80) return 63;
    if (cp >= 0xD800 && cp <= 0xDFFF) return kClassNone;
    if (cp <= 0xFFFF) return 62;
    if (cp <= 0x10FFFF) return 58;
    if (cp <= 0x1FFFFF) return 26;
    if (cp <= 0x3FFFFFFF) return 18;
    return 16;
}

uint32_t lead_byte_class(unsigned char lead) {
    if (lead < 0x80) return 63;
    if (lead < 0xC0) return kClassNone;
    if (lead <= 0xEF) return 62;
    if (lead <= 0xF4) return 58;
    if (lead <= 0xFD) return 18;
    return kClassNone;
}

bool profile_index_valid(int profile) { return profile >= 0 && profile < kProfileCount; }

bool passes(uint32_t char_class, uint32_t profile_bit, uint32_t cp, const PropertyFilter* filter) {
    if ((char_class & profile_bit) == 0) return false;
    if (filter != nullptr && filter->mask != 0) {
        return (character_properties(cp) & filter->mask) == filter->expected;
    }
    return true;
}

bool is_white_space(uint32_t cp) {
    return (cp >= 9 && cp <= 13) || cp == 32 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

bool is_defined(uint32_t cp) {
    const uint32_t plane = cp >> 16;
    if (plane > 3 && plane != 14) return false;  // only these planes are tabulated
    auto it = std::upper_bound(std::begin(kDefinedRanges), std::end(kDefinedRanges), cp,
                               [](uint32_t value, const Range& r) { return value < r.first; });
    return it != std::begin(kDefinedRanges) && cp <= std::prev(it)->last;
}

}  // namespace

std::string system_utf16_to_utf8(const std::u16string& source) {
    if (source.empty()) return {};
    // At most three bytes of UTF-8 per UTF-16 unit, and the terminator.
    std::vector<char> buffer(source.size() * 3 + 1);
    const int32_t n = vorn_util_convert_utf8_string_from_wide(source.c_str(), buffer.data(),
                                                              static_cast<uint32_t>(buffer.size()));
    return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n) - 1) : std::string();
}

std::string utf16_to_utf8(const char16_t* source) {
    std::string out;
    if (source == nullptr) return out;
    for (const char16_t* p = source; *p != 0; ++p) {
        const uint32_t unit = *p;
        if (is_high_surrogate(unit)) {
            const uint32_t next = p[1];
            if (next == 0) break;                   // a trailing high surrogate ends the text
            if (!is_low_surrogate(next)) return {};  // a broken pair spoils the whole text
            append_code_point(out, 0x10000 + ((unit - 0xD800) * 0x400) + (next - 0xDC00));
            ++p;
        } else {
            append_code_point(out, unit);  // a lone low surrogate is written as itself
        }
    }
    return out;
}

std::u32string utf8_to_code_points(const char* source) {
    std::u32string out;
    if (source == nullptr) return out;
    const auto* s = reinterpret_cast<const unsigned char*>(source);
    while (*s != 0) {
        uint32_t cp;
        if (!decode_sequence(s, cp)) return {};
        out.push_back(static_cast<char32_t>(cp));
    }
    return out;
}

uint32_t character_properties(uint32_t cp) {
    uint32_t bits = 0;
    if (is_white_space(cp)) bits |= kPropertyWhiteSpace;
    if (cp <= 31 || (cp >= 127 && cp <= 159)) bits |= kPropertyControl;
    const uint32_t plane = cp >> 16;
    if ((cp >= 0xE000 && cp <= 0xF8FF) || ((plane == 15 || plane == 16) && (cp & 0xFFFF) < 0xFFFE)) {
        bits |= kPropertyPrivateUse;
    }
    if (is_defined(cp)) bits |= kPropertyDefined;
    return bits;
}

bool is_valid_utf16(const char16_t* text, int profile, const PropertyFilter* filter) {
    if (!profile_index_valid(profile)) return false;
    if (text == nullptr) return true;
    const uint32_t bit = 1u << profile;
    for (const char16_t* p = text; *p != 0; ++p) {
        uint32_t cp = *p;
        if (is_high_surrogate(cp)) {
            if (!is_low_surrogate(p[1])) return false;
            cp = 0x10000 + ((cp - 0xD800) * 0x400) + (p[1] - 0xDC00u);
            ++p;
        }
        if (!passes(code_point_class(cp), bit, cp, filter)) return false;
    }
    return true;
}

bool is_valid_utf8(const char* text, int profile, const PropertyFilter* filter) {
    if (!profile_index_valid(profile)) return false;
    if (text == nullptr) return true;
    const uint32_t bit = 1u << profile;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s != 0) {
        if ((lead_byte_class(*s) & bit) == 0) return false;
        uint32_t cp;
        if (!decode_sequence(s, cp)) return false;
        if (!passes(code_point_class(cp), bit, cp, filter)) return false;
    }
    return true;
}

}  // namespace text

std::string StringContainer::utf8() {
    if (!converted_) {
        utf8_ = text::utf16_to_utf8(wide_.c_str());
        converted_ = true;
    }
    return utf8_;
}

}  // namespace orvix
