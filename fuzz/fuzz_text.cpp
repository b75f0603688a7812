// Feeds arbitrary bytes to the layer's UTF-8 decoder and both validators, and checks
// the invariants that hold for any input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/text_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint32_t mask = data[0] & 0x0F;
    const uint32_t expected = (data[0] >> 4) & 0x0F;
    const orvix::text::PropertyFilter filter{mask, expected};
    std::string utf8(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::u32string points = orvix::text::utf8_to_code_points(utf8.c_str());
    for (int profile = -1; profile <= orvix::text::kProfileCount; ++profile) {
        const bool valid = orvix::text::is_valid_utf8(utf8.c_str(), profile, &filter);
        // Anything valid for some profile must decode, unless it is empty.
        if (valid && profile >= 0 && profile < orvix::text::kProfileCount && utf8.c_str()[0] != 0 &&
            points.empty()) {
            std::abort();
        }
    }

    std::u16string utf16;
    for (size_t i = 1; i + 1 < size; i += 2) utf16.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    for (int profile = 0; profile < orvix::text::kProfileCount; ++profile) {
        (void)orvix::text::is_valid_utf16(utf16.c_str(), profile, &filter);
    }
    // Text that is valid Unicode survives the encoder and decoder unchanged.
    if (orvix::text::is_valid_utf16(utf16.c_str(), 5)) {
        const std::u32string back = orvix::text::utf8_to_code_points(orvix::text::utf16_to_utf8(utf16.c_str()).c_str());
        std::u16string again;
        for (char32_t cp : back) {
            if (cp >= 0x10000) {
                again.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
                again.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            } else {
                again.push_back(static_cast<char16_t>(cp));
            }
        }
        if (again != std::u16string(utf16.c_str())) std::abort();
    }
    return 0;
}
