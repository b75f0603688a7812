// The lint's text helpers, which decide what reaches an administrator's terminal and
// which names are suggested.
#include "admin/policy_lint.h"

#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "config/settings_catalogue.h"

namespace {

using orvix::admin::describe_registry_data;
using orvix::admin::nearest_setting_name;
using orvix::admin::printable;

TEST(PolicyLintText, PrintableEscapesEverythingThatCouldDriveATerminal) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"quote \" and \\ back\ttab\rlf\n\x7f", "quote \\\" and \\\\ back\\ttab\\rlf\\n\\x7F"},
        {"\x1b]0;title\x07", "\\x1B]0;title\\x07"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"h\xc3\xa9llo \xe2\x82\xac \xf0\x9f\x98\x80", "h\xc3\xa9llo \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"\xc2\x9b[31m", "\\xC2\\x9B[31m"},            // C1 control (CSI)
        {"\xe2\x80\xaeTxt", "\\xE2\\x80\\xAETxt"},     // right-to-left override
        {"\xc0\xaf", "\\xC0\\xAF"},                    // overlong "/"
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},           // surrogate
        {"\xe2\x82", "\\xE2\\x82"},                    // cut sequence
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // beyond U+10FFFF
    };
    for (const Case& c : cases) EXPECT_EQ(printable(c.in), c.out) << c.out;
    // A path is shown outside quotation marks: its backslashes stay as they are.
    EXPECT_EQ(printable("C:\\ProgramData\\Quillon\\a\x1b.conf", false),
              "C:\\ProgramData\\Quillon\\a\\x1B.conf");
}

// The console tool's tests show a typo's suggestion and the common types.
TEST(PolicyLintText, NearestNameSuggestsCloseSettingsAndActionsOnly) {
    EXPECT_EQ(nearest_setting_name("ORVIX.MTU_SIZ"), "orvix.mtu_size");
    EXPECT_EQ(nearest_setting_name("orvix.vorn_event_cat_mgmt_usb.loglevel"),
              "orvix.vorn_event_cat_mgmt_usb.log_level");
    EXPECT_EQ(nearest_setting_name("completely.different"), "");
    EXPECT_EQ(nearest_setting_name(""), "");
}

TEST(PolicyLintText, RegistryDataIsShownAsAnAdministratorWritesIt) {
    EXPECT_EQ(describe_registry_data(7, std::string("a\0b\0\0", 5)), "REG_MULTI_SZ \"a\\x00b\"");
    EXPECT_EQ(describe_registry_data(3, ""), "REG_BINARY (empty)");
    EXPECT_EQ(describe_registry_data(3, std::string(20, '\x01')),
              "REG_BINARY 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 ... (20 bytes)");
    EXPECT_EQ(describe_registry_data(42, "\xff"), "type 42 FF");
}

}  // namespace
