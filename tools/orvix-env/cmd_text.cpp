// orvix-env text TEXT [MASK EXPECTED]: checks a UTF-8 text against the six repertoire
// profiles and, optionally, a character-property filter. In the --json document a text
// that cannot be decoded has null code points.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "json_output.h"
#include "platform/text_conversion.h"

namespace orvix_env {
namespace {

const char* const kProfileNames[orvix::text::kProfileCount] = {
    "7-bit ASCII",
    "all values below 0x40000000",
    "basic multilingual plane (up to U+FFFF, no surrogates)",
    "all 21-bit values (up to 0x1FFFFF)",
    "all 31-bit values",
    "Unicode (up to U+10FFFF, no surrogates)",
};

bool parse_u32(const char* text, uint32_t* out) {
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || v > 0xFFFFFFFFull || text[0] == '-') return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

int run_text(int argc, char** argv) {
    if (argc != 1 && argc != 3) {
        std::fprintf(stderr,
                     "usage: orvix-env text TEXT [MASK EXPECTED]\n"
                     "  MASK and EXPECTED select property bits (decimal or 0x hex): 8 white space,\n"
                     "  4 control, 2 private use, 1 defined; a character passes when\n"
                     "  (its bits & MASK) == EXPECTED\n");
        return 2;
    }
    orvix::text::PropertyFilter filter;
    if (argc == 3 && (!parse_u32(argv[1], &filter.mask) || !parse_u32(argv[2], &filter.expected))) {
        std::fprintf(stderr, "orvix-env text: MASK and EXPECTED must be unsigned 32-bit numbers\n");
        return 2;
    }
    const char* text = argv[0];
    const std::u32string points = orvix::text::utf8_to_code_points(text);
    const bool decoded = !points.empty() || text[0] == '\0';
    if (json_output()) {
        Json code_points = Json::array();
        for (char32_t cp : points) {
            char name[16];
            std::snprintf(name, sizeof name, "U+%04" PRIX32, static_cast<uint32_t>(cp));
            code_points.push_back({{"code_point", name}, {"properties", orvix::text::character_properties(cp)}});
        }
        Json profiles = Json::array();
        for (int p = 0; p < orvix::text::kProfileCount; ++p) {
            profiles.push_back(
                {{"profile", p},
                 {"name", kProfileNames[p]},
                 {"valid", orvix::text::is_valid_utf8(text, p, filter.mask != 0 ? &filter : nullptr)}});
        }
        print_json({{"text", text},
                    {"code_points", decoded ? std::move(code_points) : Json()},
                    {"filter", filter.mask != 0 ? Json{{"mask", filter.mask}, {"expected", filter.expected}} : Json()},
                    {"profiles", std::move(profiles)}});
        return 0;
    }
    std::printf("text: \"%s\"\n", text);
    if (!decoded) {
        std::printf("code points: (cannot be decoded)\n");
    } else {
        std::printf("code points:");
        for (char32_t cp : points) {
            std::printf(" U+%04" PRIX32 "[%" PRIu32 "]", static_cast<uint32_t>(cp),
                        orvix::text::character_properties(cp));
        }
        std::printf("   ([n] = property bits)\n");
    }
    if (filter.mask != 0) {
        std::printf("filter: (bits & 0x%" PRIX32 ") == 0x%" PRIX32 "\n", filter.mask, filter.expected);
    }
    for (int p = 0; p < orvix::text::kProfileCount; ++p) {
        const bool valid = orvix::text::is_valid_utf8(text, p, filter.mask != 0 ? &filter : nullptr);
        std::printf("profile %d %-7s %s\n", p, valid ? "valid" : "invalid", kProfileNames[p]);
    }
    return 0;
}

ORVIX_ENV_COMMAND(text, "text", "TEXT [MASK EXPECTED]",
                  "check UTF-8 TEXT against the six repertoire profiles, optionally with a property filter",
                  run_text);

}  // namespace orvix_env
