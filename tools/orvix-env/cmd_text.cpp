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
#include "text_output.h"

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

// Decimal or 0x hex, as property masks are usually written; nothing else (no octal).
const CLI::Validator kMaskNumber(
    [](std::string& text) {
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
                         text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
        if (hex || (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos)) {
            return std::string();
        }
        return printable_quoted(text) + " is not a decimal or 0x hexadecimal number";
    },
    "NUMBER");

}  // namespace

int run_text(const std::string& argument, orvix::text::PropertyFilter filter) {
    const char* text = argument.c_str();
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
    std::printf("text: \"%s\"\n", printable(argument).c_str());
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

std::function<int()> declare_text(CLI::App& command) {
    auto text = std::make_shared<std::string>();
    auto filter = std::make_shared<orvix::text::PropertyFilter>();
    command.add_option("TEXT", *text, "the UTF-8 text to check")->required();
    CLI::Option* mask = command.add_option("MASK", filter->mask,
                                           "property bits to look at (decimal or 0x hex): 8 white space, 4 control, "
                                           "2 private use, 1 defined")
                            ->check(kMaskNumber);
    CLI::Option* expected =
        command.add_option("EXPECTED", filter->expected, "a character passes when (its bits & MASK) == EXPECTED")
            ->check(kMaskNumber);
    mask->needs(expected);
    expected->needs(mask);
    return [text, filter] { return run_text(*text, *filter); };
}

ORVIX_ENV_COMMAND(text, "text",
                  "check UTF-8 TEXT against the six repertoire profiles, optionally with a property filter",
                  declare_text);

}  // namespace orvix_env
