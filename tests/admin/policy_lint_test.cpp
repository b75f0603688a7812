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
        {"plain text", "plain text"},
        {"quote \" and \\ back", "quote \\\" and \\\\ back"},
        {"\x1b]0;title\x07", "\\x1B]0;title\\x07"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"tab\tcr\rlf\n", "tab\\tcr\\rlf\\n"},
        {"\x7f", "\\x7F"},
        {"h\xc3\xa9llo \xe2\x82\xac \xf0\x9f\x98\x80", "h\xc3\xa9llo \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"\xc2\x9b"
         "31m",
         "\\xC2\\x9B31m"},  // C1 control (CSI)
        {"\xe2\x80\xae"
         "txt",
         "\\xE2\\x80\\xAEtxt"},                        // right-to-left override
        {"\xef\xbb\xbfname", "\\xEF\\xBB\\xBFname"},   // byte-order mark
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

TEST(PolicyLintText, NearestNameSuggestsCloseSettingsAndActionsOnly) {
    EXPECT_EQ(nearest_setting_name("orvix.enable_audo"), "orvix.enable_audio");
    EXPECT_EQ(nearest_setting_name("ORVIX.MTU_SIZ"), "orvix.mtu_size");
    EXPECT_EQ(nearest_setting_name("orvix.start_dealy_time"), "orvix.start_delay_time");
    EXPECT_EQ(nearest_setting_name("orvix.vorn_event_cat_mgmt_usb.loglevel"),
              "orvix.vorn_event_cat_mgmt_usb.log_level");
    EXPECT_EQ(nearest_setting_name("completely.different"), "");
    EXPECT_EQ(nearest_setting_name(""), "");
}

TEST(PolicyLintText, RegistryDataIsShownAsAnAdministratorWritesIt) {
    EXPECT_EQ(describe_registry_data(4, std::string("\x88\x13\0\0", 4)), "REG_DWORD 5000");
    EXPECT_EQ(describe_registry_data(11, std::string("\0\x01\0\0\0\0\0\0", 8)), "REG_QWORD 256");
    EXPECT_EQ(describe_registry_data(1, std::string("0\0", 2)), "REG_SZ \"0\"");
    EXPECT_EQ(describe_registry_data(7, std::string("a\0b\0\0", 5)), "REG_MULTI_SZ \"a\\x00b\"");
    EXPECT_EQ(describe_registry_data(3, ""), "REG_BINARY (empty)");
    EXPECT_EQ(describe_registry_data(3, std::string(20, '\x01')),
              "REG_BINARY 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 ... (20 bytes)");
    EXPECT_EQ(describe_registry_data(42, "\xff"), "type 42 FF");
}

}  // namespace
