// Naming of the running system: the three tables at every boundary row, then both
// services over chosen version records (edition, service pack, size protocol, failures).
#include "platform/windows_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/fake_system_facts.h"

namespace {

using orvix::platform::VersionMetrics;
using orvix::platform::windows_edition_name;
using orvix::platform::windows_pair_name;
using orvix::platform::windows_version_line_name;
using orvix_test::FakeSystemFacts;

constexpr uint8_t W = 1;   // workstation
constexpr uint8_t S = 3;   // server
constexpr uint8_t DC = 2;  // domain controller: also a server
constexpr const char* kUnknown = "Unknown version of Windows";

struct Row {
    uint32_t major, minor, build;
    uint8_t product;
    VersionMetrics metrics;
    const char* line_name;  // first service
    const char* pair_name;  // second service; null keeps "Windows"
};

VersionMetrics r2() { return {1, 0, 0, 0}; }
VersionMetrics media() { return {0, 1, 1, 1}; }
VersionMetrics starter() { return {0, 0, 1, 1}; }
VersionMetrics tablet() { return {0, 0, 0, 1}; }

const Row kRows[] = {
    // Windows 11 begins at build 22000 on workstations only; the pair service has no row for it.
    {10, 0, 21999, W, {}, "Windows 10", "Windows 10"},
    {10, 0, 22000, W, {}, "Windows 11", "Windows 10"},
    {10, 0, 22631, W, {}, "Windows 11", "Windows 10"},
    {11, 0, 22000, W, {}, "Windows 11", nullptr},
    {11, 0, 21999, W, {}, kUnknown, nullptr},
    {11, 0, 22000, S, {}, kUnknown, nullptr},
    {10, 1, 22000, W, {}, kUnknown, nullptr},
    {10, 1, 17763, S, {}, kUnknown, nullptr},
    // Servers of 10.0 by build; the pair service calls them all 2016.
    {10, 0, 14393, S, {}, "Windows Server 2016", "Windows Server 2016"},
    {10, 0, 17762, S, {}, "Windows Server 2016", "Windows Server 2016"},
    {10, 0, 17763, S, {}, "Windows Server 2019", "Windows Server 2016"},
    {10, 0, 20347, DC, {}, "Windows Server 2019", "Windows Server 2016"},
    {10, 0, 20348, S, {}, "Windows Server 2022", "Windows Server 2016"},
    {10, 0, 22000, S, {}, "Windows Server 2022", "Windows Server 2016"},
    // 6.x: the 6.2 and 6.3 servers have no name in either table.
    {6, 3, 9600, W, {}, "Windows 8.1", "Windows 8.1"},
    {6, 3, 9600, S, {}, kUnknown, nullptr},
    {6, 2, 9200, W, {}, "Windows 8", "Windows 8"},
    {6, 2, 9200, DC, {}, kUnknown, nullptr},
    {6, 1, 7601, W, {}, "Windows 7", "Windows 7"},
    {6, 1, 7601, S, {}, "Windows Server 2008 R2", "Windows Server 2008 R2"},
    {6, 0, 6002, W, {}, "Windows Vista", "Windows Vista"},
    {6, 0, 6002, S, {}, "Windows Server 2008", "Windows Server 2008"},
    {6, 4, 9841, W, {}, kUnknown, nullptr},
    // 5.x by system metric, in order of precedence.
    {5, 2, 3790, S, r2(), "Windows Server 2003 R2", "Windows Server 2003 R2"},
    {5, 2, 3790, S, {}, "Windows Server 2003", "Windows Server 2003"},
    {5, 1, 2600, W, media(), "Windows XP Media Center Edition", "Windows XP Media Center Edition"},
    {5, 1, 2600, W, starter(), "Windows XP Starter Edition", "Windows XP Starter Edition"},
    {5, 1, 2600, W, tablet(), "Windows XP Tablet PC Edition", "Windows XP Tablet PC Edition"},
    {5, 1, 2600, W, r2(), "Windows XP", "Windows XP"},
    {5, 0, 2195, W, {}, "Windows 2000", "Windows 2000"},
    {5, 3, 0, W, {}, kUnknown, nullptr},
    {4, 0, 1381, W, {}, kUnknown, nullptr},
    {12, 0, 30000, W, {}, "Windows 11", nullptr},
    {12, 0, 30000, S, {}, kUnknown, nullptr},
};

TEST(WindowsVersionTables, NamesAtEveryBoundaryRow) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(testing::Message()
                     << r.major << "." << r.minor << " build " << r.build << " type " << int(r.product));
        EXPECT_STREQ(windows_version_line_name(r.major, r.minor, r.build, r.product, r.metrics), r.line_name);
        const char* pair = windows_pair_name(r.major, r.minor, r.product, r.metrics);
        if (r.pair_name == nullptr) {
            EXPECT_EQ(pair, nullptr) << pair;
        } else {
            EXPECT_STREQ(pair, r.pair_name);
        }
    }
}

TEST(WindowsVersionTables, EditionsAndTheGapsBetweenThem) {
    const std::pair<uint32_t, const char*> named[] = {
        {1, "Ultimate Edition"},
        {2, "Home Basic Edition"},
        {3, "Home Premium Edition"},
        {4, "Enterprise Edition"},
        {6, "Business Edition"},
        {7, "Standard Edition"},
        {8, "Datacenter Edition"},
        {9, "Small Business Server"},
        {10, "Enterprise Edition"},
        {11, "Starter Edition"},
        {12, "Datacenter Edition (core installation)"},
        {13, "Standard Edition (core installation)"},
        {14, "Enterprise Edition (core installation)"},
        {15, "Enterprise Edition for Itanium-based Systems"},
        {17, "Web Server Edition"},
        {18, "Cluster Server Edition"},
        {25, "Small Business Server Premium Edition"},
        {48, "Professional"},
    };
    for (const auto& [type, text] : named) EXPECT_STREQ(windows_edition_name(type), text) << type;
    for (uint32_t type : {0u, 5u, 16u, 19u, 24u, 26u, 0x1cu, 47u, 49u, 0xABCDABCDu}) {
        EXPECT_EQ(windows_edition_name(type), nullptr) << type;
    }
}

std::string line() {
    char buffer[256];
    EXPECT_EQ(vorn_util_get_windows_version(buffer, sizeof buffer), 1);
    return buffer;
}

TEST(WindowsVersion, EditionAndServicePackFollowTheName) {
    FakeSystemFacts facts;
    facts.version_record = FakeSystemFacts::record(10, 0, 22631, W);
    facts.product_type = 48;
    EXPECT_EQ(line(), "Windows 11 Professional (10.0 build 22631)");
    EXPECT_EQ(orvix::getWindowsNameAndVersion(),
              std::make_pair(std::string("Windows 10 Professional"), std::string("10.0 build 22631")));

    facts.version_record = FakeSystemFacts::record(6, 1, 7601, S, u"Service Pack 1");
    facts.version_record->service_pack_major = 1;
    facts.product_type = 7;
    EXPECT_EQ(line(), "Windows Server 2008 R2 Standard Edition Service Pack 1 (6.1 build 7601)");
    EXPECT_EQ(orvix::getWindowsNameAndVersion().first,
              "Windows Server 2008 R2 Standard Edition Service Pack 1");

    // A 6.3 server: unnamed in the first table, "Windows" kept by the second.
    facts.version_record = FakeSystemFacts::record(6, 3, 9600, S);
    facts.product_type = 8;
    EXPECT_EQ(line(), "Unknown version of Windows Datacenter Edition (6.3 build 9600)");
    EXPECT_EQ(orvix::getWindowsNameAndVersion(),
              std::make_pair(std::string("Windows Datacenter Edition"), std::string("6.3 build 9600")));

    // An unknown product type or a failed GetProductInfo adds nothing.
    facts.version_record = FakeSystemFacts::record(6, 1, 7601, W, u"Service Pack 1");
    facts.product_type = 0x1c;
    EXPECT_EQ(line(), "Windows 7 Service Pack 1 (6.1 build 7601)");
    facts.product_type.reset();
    EXPECT_EQ(orvix::getWindowsNameAndVersion().first, "Windows 7 Service Pack 1");
}

TEST(WindowsVersion, Windows5IsNamedByMetricsWithoutAskingForAnEdition) {
    FakeSystemFacts facts;
    facts.version_record = FakeSystemFacts::record(5, 1, 2600, W, u"Service Pack 3");
    facts.product_type = 48;
    facts.metrics[orvix::os::kMetricStarter] = 1;
    EXPECT_EQ(line(), "Windows XP Starter Edition Service Pack 3 (5.1 build 2600)");
    EXPECT_EQ(orvix::getWindowsNameAndVersion().first, "Windows XP Starter Edition Service Pack 3");
    EXPECT_EQ(facts.product_info_calls, 0);
}

TEST(WindowsVersion, SizeProtocol) {
    FakeSystemFacts facts;
    facts.version_record = FakeSystemFacts::record(10, 0, 19045, W);
    const std::string expected = "Windows 10 (10.0 build 19045)";
    const auto needed = static_cast<int32_t>(expected.size() + 1);
    EXPECT_EQ(vorn_util_get_windows_version(nullptr, 0), needed);
    EXPECT_EQ(vorn_util_get_windows_version(nullptr, 100), needed);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(vorn_util_get_windows_version(buffer, 0), needed);
    EXPECT_EQ(vorn_util_get_windows_version(buffer, static_cast<uint32_t>(needed - 1)), 0);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));  // unchanged
    EXPECT_EQ(vorn_util_get_windows_version(buffer, static_cast<uint32_t>(needed)), 1);
    EXPECT_EQ(std::string(buffer), expected);
}

TEST(WindowsVersion, AServicePackTooLongToConvertIsLeftOutOfThePair) {
    FakeSystemFacts facts;
    // 100 two-byte characters need 200 bytes, more than the 127 the narrow text holds.
    facts.version_record = FakeSystemFacts::record(6, 1, 7601, W, std::u16string(100, u'\u00e9'));
    EXPECT_EQ(orvix::getWindowsNameAndVersion().first, "Windows 7");
    char buffer[256];
    ASSERT_EQ(vorn_util_get_windows_version(buffer, sizeof buffer), 1);
    const std::string text = buffer;
    EXPECT_EQ(text.rfind("Windows 7 ", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 17), " (6.1 build 7601)");
}

// Elsewhere than Windows the system's own name stands in for the tables.
TEST(WindowsVersion, ASystemNameReplacesTheTables) {
    FakeSystemFacts facts;
    facts.version_record = FakeSystemFacts::record(6, 1, 0, W);
    facts.version_record->system_name = "Debian GNU/Linux 12 (bookworm)";
    EXPECT_EQ(line(), "Debian GNU/Linux 12 (bookworm) (6.1 build 0)");
    EXPECT_EQ(orvix::getWindowsNameAndVersion(),
              std::make_pair(std::string("Debian GNU/Linux 12 (bookworm)"), std::string("6.1 build 0")));
    // A name too long for the 256-byte line is cut so the numbers still fit.
    facts.version_record->system_name = std::string(300, 'n');
    EXPECT_EQ(line(), std::string(255 - 14, 'n') + " (6.1 build 0)");
    std::string accents;
    for (int i = 0; i < 150; ++i) accents += "\xc3\xa9";  // two bytes each
    facts.version_record->system_name = accents;
    EXPECT_EQ(line(), accents.substr(0, 240) + " (6.1 build 0)");  // 241 bytes would split one
}

TEST(WindowsVersionDeathTest, WithoutTheVersionRecord) {
    FakeSystemFacts facts;
    EXPECT_EQ(orvix::getWindowsNameAndVersion(),
              std::make_pair(std::string("Windows"), std::string("unknown")));
    EXPECT_EXIT(vorn_util_get_windows_version(nullptr, 0), testing::ExitedWithCode(1), "");
}

}  // namespace
