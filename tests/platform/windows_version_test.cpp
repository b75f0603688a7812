// Naming of the running system: the tables at their boundary rows, then both services
// over chosen version records (edition, service pack, size protocol, failures).
#include "platform/windows_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/fake_system_facts.h"

namespace {

using orvix::platform::windows_edition_name;
using orvix_test::FakeSystemFacts;
using Pair = std::pair<std::string, std::string>;

constexpr uint8_t W = 1, DC = 2, S = 3;  // workstation, domain controller (a server too), server
constexpr const char* kUnknown = "Unknown version of Windows";

TEST(WindowsVersionTables, NamesAtTheBoundaryRows) {
    const struct {
        uint32_t major, minor, build;
        uint8_t product;
        orvix::platform::VersionMetrics metrics;  // server R2, media center, starter, tablet PC
        const char* line_name;                    // first service
        const char* pair_name;                    // second service; null keeps "Windows"
    } rows[] = {
        // Windows 11 begins at build 22000 on workstations only; the pair service has no row for it.
        {10, 0, 21999, W, {}, "Windows 10", "Windows 10"},
        {10, 0, 22000, W, {}, "Windows 11", "Windows 10"},
        {11, 0, 22000, W, {}, "Windows 11", nullptr},
        {10, 1, 22000, W, {}, kUnknown, nullptr},
        // Servers of 10.0 by build; the pair service calls them all 2016.
        {10, 0, 17762, S, {}, "Windows Server 2016", "Windows Server 2016"},
        {10, 0, 17763, S, {}, "Windows Server 2019", "Windows Server 2016"},
        {10, 0, 20347, DC, {}, "Windows Server 2019", "Windows Server 2016"},
        {10, 0, 20348, S, {}, "Windows Server 2022", "Windows Server 2016"},
        {10, 0, 22000, S, {}, "Windows Server 2022", "Windows Server 2016"},
        // 6.x: the 6.2 and 6.3 servers have no name in either table.
        {6, 3, 9600, W, {}, "Windows 8.1", "Windows 8.1"},
        {6, 3, 9600, S, {}, kUnknown, nullptr},
        {6, 2, 9200, DC, {}, kUnknown, nullptr},
        // 5.x by system metric, in order of precedence.
        {5, 2, 3790, S, {1, 0, 0, 0}, "Windows Server 2003 R2", "Windows Server 2003 R2"},
        {5, 2, 3790, S, {}, "Windows Server 2003", "Windows Server 2003"},
        {5, 1, 2600, W, {0, 1, 1, 1}, "Windows XP Media Center Edition", "Windows XP Media Center Edition"},
        {5, 1, 2600, W, {0, 0, 1, 1}, "Windows XP Starter Edition", "Windows XP Starter Edition"},
        {5, 1, 2600, W, {0, 0, 0, 1}, "Windows XP Tablet PC Edition", "Windows XP Tablet PC Edition"},
        {5, 1, 2600, W, {1, 0, 0, 0}, "Windows XP", "Windows XP"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.major << "." << r.minor << " build " << r.build << " type "
                                        << int(r.product));
        EXPECT_STREQ(orvix::platform::windows_version_line_name(r.major, r.minor, r.build, r.product, r.metrics),
                     r.line_name);
        const char* pair = orvix::platform::windows_pair_name(r.major, r.minor, r.product, r.metrics);
        EXPECT_STREQ(pair != nullptr ? pair : "(null)", r.pair_name != nullptr ? r.pair_name : "(null)");
    }
}

TEST(WindowsVersionTables, EditionsBesideTheGapsBetweenThem) {
    EXPECT_STREQ(windows_edition_name(1), "Ultimate Edition");
    EXPECT_STREQ(windows_edition_name(48), "Professional");
    for (uint32_t type : {0u, 5u, 16u, 19u, 26u, 47u, 49u, 0xABCDABCDu}) EXPECT_EQ(windows_edition_name(type), nullptr);
}

std::string line() {
    char buffer[256];
    EXPECT_EQ(vorn_util_get_windows_version(buffer, sizeof buffer), 1);
    return buffer;
}

TEST(WindowsVersion, EditionAndServicePackFollowTheNameAndATooLongServicePackIsLeftOut) {
    FakeSystemFacts facts;
    facts.version_record = FakeSystemFacts::record(10, 0, 22631, W);
    facts.product_type = 48;
    EXPECT_EQ(line(), "Windows 11 Professional (10.0 build 22631)");
    EXPECT_EQ(orvix::getWindowsNameAndVersion(), Pair("Windows 10 Professional", "10.0 build 22631"));
    // A 6.3 server: unnamed in the first table, "Windows" kept by the second.
    facts.version_record = FakeSystemFacts::record(6, 3, 9600, S, u"Service Pack 1");
    facts.product_type = 8;
    EXPECT_EQ(line(), "Unknown version of Windows Datacenter Edition Service Pack 1 (6.3 build 9600)");
    EXPECT_EQ(orvix::getWindowsNameAndVersion(), Pair("Windows Datacenter Edition Service Pack 1", "6.3 build 9600"));
    // An unknown product type or a failed GetProductInfo adds nothing.
    facts.version_record = FakeSystemFacts::record(6, 1, 7601, W);
    facts.product_type = 0x1c;
    EXPECT_EQ(line(), "Windows 7 (6.1 build 7601)");
    facts.product_type.reset();
    EXPECT_EQ(orvix::getWindowsNameAndVersion().first, "Windows 7");
    // 5.x is named by metrics, without asking for an edition.
    facts.version_record = FakeSystemFacts::record(5, 1, 2600, W, u"Service Pack 3");
    facts.product_type = 48;
    facts.product_info_calls = 0;
    facts.metrics[orvix::os::kMetricStarter] = 1;
    EXPECT_EQ(line(), "Windows XP Starter Edition Service Pack 3 (5.1 build 2600)");
    EXPECT_EQ(orvix::getWindowsNameAndVersion().first, "Windows XP Starter Edition Service Pack 3");
    EXPECT_EQ(facts.product_info_calls, 0);
    // 100 two-byte characters need 200 bytes, more than the 127 the narrow text holds:
    // the pair leaves such a service pack out.
    facts.version_record = FakeSystemFacts::record(6, 1, 7601, W, std::u16string(100, u'\u00e9'));
    facts.product_type.reset();
    EXPECT_EQ(orvix::getWindowsNameAndVersion().first, "Windows 7");
    EXPECT_EQ(line().substr(0, 10), "Windows 7 ");
}

TEST(WindowsVersion, SizeProtocol) {
    FakeSystemFacts facts;
    facts.version_record = FakeSystemFacts::record(10, 0, 19045, W);
    const std::string expected = "Windows 10 (10.0 build 19045)";
    const auto needed = static_cast<uint32_t>(expected.size() + 1);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(vorn_util_get_windows_version(nullptr, 100), int32_t(needed));
    EXPECT_EQ(vorn_util_get_windows_version(buffer, 0), int32_t(needed));
    EXPECT_EQ(vorn_util_get_windows_version(buffer, needed - 1), 0);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));  // unchanged
    EXPECT_EQ(vorn_util_get_windows_version(buffer, needed), 1);
    EXPECT_EQ(std::string(buffer), expected);
}

// Elsewhere than Windows the system's own name stands in for the tables.
TEST(WindowsVersion, ASystemNameReplacesTheTablesAndIsCutToFitTheLine) {
    FakeSystemFacts facts;
    facts.version_record = FakeSystemFacts::record(6, 1, 0, W);
    facts.version_record->system_name = "Debian GNU/Linux 12 (bookworm)";
    EXPECT_EQ(orvix::getWindowsNameAndVersion(), Pair("Debian GNU/Linux 12 (bookworm)", "6.1 build 0"));
    std::string accents;
    for (int i = 0; i < 150; ++i) accents += "\xc3\xa9";  // two bytes each
    facts.version_record->system_name = accents;
    EXPECT_EQ(line(), accents.substr(0, 240) + " (6.1 build 0)");  // 241 bytes would split one
}

TEST(WindowsVersionDeathTest, WithoutTheVersionRecord) {
    FakeSystemFacts facts;
    EXPECT_EQ(orvix::getWindowsNameAndVersion(), Pair("Windows", "unknown"));
    EXPECT_EXIT(vorn_util_get_windows_version(nullptr, 0), testing::ExitedWithCode(1), "");
}

}  // namespace
