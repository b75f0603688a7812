// The portable parts of the system facts: the os-release reader and the kernel release
// numbers, over well-formed and malformed input. What the running machine answers, the
// console tool's system test and the banner's tests show on both builds.
#include "os/system_facts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orvix::os::os_release_name;

TEST(OsRelease, PrettyNameWithItsQuotingUndone) {
    EXPECT_EQ(os_release_name("NAME=\"Debian\"\nPRETTY_NAME=\"A \\\"b\\\" \\$c\\\\\"\n"), "A \"b\" $c\\");
    EXPECT_EQ(os_release_name("PRETTY_NAME='Single \"quoted\"'\r\n"), "Single \"quoted\"");
    EXPECT_EQ(os_release_name("PRETTY_NAME=Plain # comment"), "Plain");
    EXPECT_EQ(os_release_name("PRETTY_NAME=\nNAME=Fallback\n"), "Fallback");  // an empty one
    EXPECT_EQ(os_release_name("#PRETTY_NAME=x\n XNAME=y\nVERSION=1"), "");
    EXPECT_EQ(os_release_name("PRETTY_NAME=\"unterminated\\"), "unterminated\\");
    EXPECT_EQ(os_release_name(std::string("PRETTY_NAME=a\0b\xff", 16)), std::string("a\0b\xff", 4));
}

TEST(KernelRelease, LeadingNumbers) {
    struct Case {
        const char* release;
        uint32_t major, minor, patch;
    } cases[] = {{"6.1.0-18-amd64", 6, 1, 0},
                 {"5.15-rc2", 5, 15, 0},
                 {"x.1.2", 0, 0, 0},
                 {"99999999999.1.2", 0xFFFFFFFFu, 1, 2},
                 {nullptr, 0, 0, 0}};
    for (const Case& c : cases) {
        uint32_t major = 7, minor = 7, patch = 7;
        orvix::os::kernel_release_numbers(c.release, &major, &minor, &patch);
        EXPECT_EQ(std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch),
                  std::to_string(c.major) + "." + std::to_string(c.minor) + "." + std::to_string(c.patch))
            << (c.release ? c.release : "null");
    }
}

}  // namespace
