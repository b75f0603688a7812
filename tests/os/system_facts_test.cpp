// The portable parts of the system facts: the os-release reader and the kernel release
// numbers, over well-formed and malformed input.
#include "os/system_facts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orvix::os::os_release_name;

TEST(OsRelease, PrettyNameWithItsQuotingUndone) {
    EXPECT_EQ(os_release_name("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(os_release_name("PRETTY_NAME='Single \"quoted\"'\r\n"), "Single \"quoted\"");
    EXPECT_EQ(os_release_name("PRETTY_NAME=\"A \\\"b\\\" \\$c\\\\\"\n"), "A \"b\" $c\\");
    EXPECT_EQ(os_release_name("PRETTY_NAME=Plain # comment"), "Plain");
    EXPECT_EQ(os_release_name("NAME=Alpine\nID=alpine"), "Alpine");           // no PRETTY_NAME
    EXPECT_EQ(os_release_name("PRETTY_NAME=\nNAME=Fallback\n"), "Fallback");  // an empty one
    EXPECT_EQ(os_release_name("#PRETTY_NAME=x\n XNAME=y\nVERSION=1"), "");
    EXPECT_EQ(os_release_name(""), "");
    EXPECT_EQ(os_release_name("PRETTY_NAME=\"unterminated"), "unterminated");
    EXPECT_EQ(os_release_name("PRETTY_NAME=\"trailing\\"), "trailing\\");
    EXPECT_EQ(os_release_name(std::string("PRETTY_NAME=a\0b\xff", 16)), std::string("a\0b\xff", 4));
}

TEST(KernelRelease, LeadingNumbers) {
    struct Case {
        const char* release;
        uint32_t major, minor, patch;
    } cases[] = {
        {"6.1.0-18-amd64", 6, 1, 0}, {"6.18.44-fc-v1300", 6, 18, 44},
        {"5.15", 5, 15, 0},          {"6.1-rc2", 6, 1, 0},
        {"4.19.0.1", 4, 19, 0},      {"", 0, 0, 0},
        {"x.1.2", 0, 0, 0},          {"99999999999.1.2", 0xFFFFFFFFu, 1, 2},
    };
    for (const Case& c : cases) {
        uint32_t major = 7, minor = 7, patch = 7;
        orvix::os::kernel_release_numbers(c.release, &major, &minor, &patch);
        EXPECT_EQ(major, c.major) << c.release;
        EXPECT_EQ(minor, c.minor) << c.release;
        EXPECT_EQ(patch, c.patch) << c.release;
    }
    uint32_t major = 7, minor = 7, patch = 7;
    orvix::os::kernel_release_numbers(nullptr, &major, &minor, &patch);
    EXPECT_EQ(major + minor + patch, 0u);
}

// What the running machine answers, where the answer is known without asking the same
// source again: the layer runs on 64-bit x86 or ARM, and memory figures are consistent.
TEST(RunningSystem, AnswersEveryQuery) {
    const orvix::os::SystemFacts& facts = orvix::os::system_facts();
    orvix::os::VersionRecord version;
    ASSERT_TRUE(facts.version(&version));
    EXPECT_GE(version.major, 3u);
    EXPECT_TRUE(version.product_type == 1 || version.product_type == 2 || version.product_type == 3);

    const orvix::os::ProcessorInfo processors = facts.processors();
    EXPECT_GE(processors.count, 1u);
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_EQ(processors.architecture, 9);
    EXPECT_EQ(processors.processor_type, 8664u);
#endif

    orvix::os::MemoryStatus memory;
    ASSERT_TRUE(facts.memory(&memory));
    EXPECT_GT(memory.total_physical, 64ull << 20);
    EXPECT_LE(memory.available_physical, memory.total_physical);
    EXPECT_LE(memory.available_virtual, memory.total_virtual);
    EXPECT_GE(memory.total_virtual, 1ull << 40) << "a 64-bit process has terabytes of address space";

    // The host name is checked where the test registry sandbox is lifted (Wine reads the
    // computer name from HKEY_LOCAL_MACHINE) and by the console tool's tests.
    std::u16string user, domain;
    uint32_t error = 0;
    ASSERT_TRUE(facts.session_user(&user, &error)) << error;
    EXPECT_FALSE(user.empty());
    EXPECT_TRUE(facts.session_domain(&domain, &error)) << error;

    orvix::os::LocalDateTime now;
    int64_t seconds_west = 0;
    ASSERT_TRUE(facts.local_time(&now));
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.millisecond >= 0 && now.millisecond <= 999);
    ASSERT_TRUE(facts.time_zone_offset(&seconds_west));
    EXPECT_LE(seconds_west < 0 ? -seconds_west : seconds_west, 14 * 3600);
}

}  // namespace
