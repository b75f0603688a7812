#include "admin/printable.h"

#include <cstdint>
#include <cstdio>

namespace orvix::admin {

std::string printable(std::string_view bytes, bool quoted) {
    std::string out;
    auto escape = [&](uint8_t b) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(b));
        out += hex;
    };
    for (size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        if (quoted && (b == '\\' || b == '"')) {
            out += '\\';
            out += static_cast<char>(b);
            ++i;
        } else if (b == '\t') {
            out += "\\t", ++i;
        } else if (b == '\n') {
            out += "\\n", ++i;
        } else if (b == '\r') {
            out += "\\r", ++i;
        } else if (b < 0x20 || b == 0x7F) {
            escape(b), ++i;
        } else if (b < 0x80) {
            out += static_cast<char>(b), ++i;
        } else {
            // A whole, shortest-form UTF-8 sequence of a code point that is not a C1
            // control passes; anything else is escaped byte by byte.
            const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
            bool valid = length != 0 && i + length <= bytes.size() && b <= 0xF4;
            uint32_t cp = length == 2 ? b & 0x1Fu : length == 3 ? b & 0x0Fu : b & 0x07u;
            for (size_t k = 1; valid && k < length; ++k) {
                const auto c = static_cast<uint8_t>(bytes[i + k]);
                valid = (c & 0xC0) == 0x80;
                cp = (cp << 6) | (c & 0x3Fu);
            }
            valid = valid && !(length == 3 && cp < 0x800) &&
                    !(length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) && !(cp >= 0xD800 && cp <= 0xDFFF) &&
                    !(cp >= 0x80 && cp <= 0x9F) &&
                    // Bidirectional overrides and isolates reorder what follows on screen.
                    !(cp >= 0x202A && cp <= 0x202E) && !(cp >= 0x2066 && cp <= 0x2069) && cp != 0xFEFF;
            if (valid) {
                out.append(bytes.substr(i, length));
                i += length;
            } else {
                escape(b), ++i;
            }
        }
    }
    return out;
}

// Appended, not written as "\"" + printable(text) + "\"": where printable is inlined,
// GCC 12 at -O3 warns that the inlined insert of a one-character literal before a
// std::string may overlap (a false positive of its -Wrestrict), which broke Release builds.
std::string printable_quoted(std::string_view text) {
    std::string out(1, '"');
    out += printable(text);
    out += '"';
    return out;
}

}  // namespace orvix::admin
