#include "platform/display_adapters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "logging/nop_logger.h"
#include "platform/adl.h"

#include "platform/display_adapters_testing.h"
#include "platform/nvidia_interface_testing.h"
#include "support/scripted_nvapi.h"

namespace {

using Info = std::pair<std::string, std::string>;

struct ScriptedAdapter {
    ScriptedAdapter(std::u16string d, std::string v = {}, bool f = false)
        : description(std::move(d)), listed_version(std::move(v)), fails(f) {}
    std::u16string description;
    std::string listed_version;
    bool fails;  // the list reports a failure at this index
};

class ScriptedList : public orvix::os::DisplayAdapterList {
public:
    explicit ScriptedList(std::vector<ScriptedAdapter> adapters) : adapters_(std::move(adapters)) {}
    bool adapter(uint32_t index, orvix::os::DisplayAdapterEntry* entry) override {
        if (index >= adapters_.size() || adapters_[index].fails) return false;
        entry->description = adapters_[index].description;
        entry->driver_version = adapters_[index].listed_version;
        return true;
    }

private:
    std::vector<ScriptedAdapter> adapters_;
};

// An AMD display library object that answers getGraphicsVersions only.
class VersionsOnlyAdl : public orvix::iADL {
public:
    VersionsOnlyAdl(int status, const char* driver) : status_(status), driver_(driver) {}
    int calls = 0;

    std::error_code getGraphicsVersions(ADLVersionsInfoX2& versions) override {
        ++calls;
        std::memset(versions.strDriverVer, 'x', sizeof versions.strDriverVer);  // unterminated unless written
        if (driver_ != nullptr) std::strcpy(versions.strDriverVer, driver_);
        return orvix::adlStatusCode(status_);
    }
    std::error_code reinitialize() override { return {}; }
    std::error_code getAdaptersInfo(std::map<int32_t, AdapterInfo>&) override { return {}; }
    bool adapterValid(int) override { return false; }
    std::error_code getAdapterProps(int, orvix::AdapterProps&) override { return {}; }
    std::error_code getAdapterBiosInfo(int, ADLBiosInfo&) override { return {}; }
    std::error_code getAdapterDisplays(int, std::vector<ADLDisplayInfo>&) override { return {}; }
    std::error_code getCurrentAdapterConnectionData(int, const ADLDevicePort&, ADLConnectionData&) override { return {}; }
    std::error_code setAdapterConnectionData(int, const ADLDevicePort&, const ADLConnectionData&) override { return {}; }
    std::error_code removeAdapterConnectionData(int, const ADLDevicePort&) override { return {}; }
    std::error_code setAdapterEmulationMode(int, const ADLDevicePort&, int) override { return {}; }
    std::error_code getPossibleDisplayModes(int, std::vector<ADLMode>&) override { return {}; }
    std::error_code getDisplayModes(int, int, std::vector<ADLMode>&) override { return {}; }
    std::error_code setDisplayMode(int, int, const ADLMode&) override { return {}; }
    std::error_code setAdapterActive(int, bool, bool&) override { return {}; }
    std::error_code getTimingOverrideSupported(int, bool&) override { return {}; }
    std::error_code getTimingOverride(int, const ADLDisplayID&, const ADLDisplayModeX2*, ADLDisplayModeInfo*) override {
        return {};
    }
    std::error_code setTimingOverride(int, int, const ADLDisplayModeInfo*, int) override { return {}; }
    std::error_code deleteTimingOverride(int, const ADLDisplayID&, const ADLDisplayModeX2*) override { return {}; }
    std::error_code getTimingOverrideList(int, int, std::vector<ADLDisplayModeInfo>&) override { return {}; }

private:
    int status_;
    const char* driver_;
};

class DisplayAdapters : public testing::Test {
protected:
    void SetUp() override { orvix::test::install_scripted_nvapi(&nvapi); }
    void TearDown() override {
        orvix::testing::setDisplayAdapterListOpener(nullptr);
        orvix::testing::setAdlInstanceSource(nullptr);
        orvix::test::uninstall_scripted_nvapi();
    }

    void list(std::vector<ScriptedAdapter> adapters) {
        orvix::testing::setDisplayAdapterListOpener([adapters](int32_t*) {
            return std::make_unique<ScriptedList>(adapters);
        });
    }

    orvix::test::ScriptedNvapi nvapi;
};

const std::u16string kBasic = u"Microsoft Basic Render Driver";
const std::u16string kNvidia = u"NVIDIA GeForce RTX 2080 Ti";
const std::u16string kAmd = u"AMD Radeon RX 6800 XT";

TEST_F(DisplayAdapters, OnlyTheSoftwareRenderer) {
    list({{kBasic}});
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("", "unknown"));
    EXPECT_EQ(orvix::findDisplayAdapterName("Microsoft Basic"), "");
    EXPECT_EQ(orvix::findDisplayAdapterName("Render"), "");
    EXPECT_FALSE(orvix::nvidia::testing::loaded(0));
}

TEST_F(DisplayAdapters, FilterSelectsInListOrderCaseSensitively) {
    list({{kBasic}, {kNvidia}, {kAmd}, {u"AMD Radeon Pro W6800"}});
    EXPECT_EQ(orvix::findDisplayAdapterName(""), "NVIDIA GeForce RTX 2080 Ti");
    EXPECT_EQ(orvix::findDisplayAdapterName("AMD"), "AMD Radeon RX 6800 XT");
    EXPECT_EQ(orvix::findDisplayAdapterName("Pro W"), "AMD Radeon Pro W6800");
    EXPECT_EQ(orvix::findDisplayAdapterName("2080"), "NVIDIA GeForce RTX 2080 Ti");
    EXPECT_EQ(orvix::findDisplayAdapterName("nvidia"), "");
    EXPECT_EQ(orvix::getDisplayAdapterInfo("amd"), Info("", "unknown"));
}

TEST_F(DisplayAdapters, ListEndsAtTheFirstFailure) {
    list({{kNvidia}, {u"broken", "", true}, {kAmd}});
    EXPECT_EQ(orvix::findDisplayAdapterName("AMD"), "");
    EXPECT_EQ(orvix::findDisplayAdapterName(""), "NVIDIA GeForce RTX 2080 Ti");
}

TEST_F(DisplayAdapters, NamesAreUtf8AndStopAtTheTerminator) {
    list({{std::u16string(u"Radeon\u2122 Graphics\0garbage", 25)}});
    EXPECT_EQ(orvix::findDisplayAdapterName("\xE2\x84\xA2"), "Radeon\xE2\x84\xA2 Graphics");
}

TEST_F(DisplayAdapters, DriverVersionByVendorWordNvidiaFirst) {
    list({{kNvidia}, {u"AMD FirePro with NVIDIA bridge"}, {u"Intel(R) UHD Graphics 630", "31.0.101.2111"},
          {u"NVIDIA Quadro", "535.129.03"}});
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("NVIDIA GeForce RTX 2080 Ti", "53141"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("bridge"), Info("AMD FirePro with NVIDIA bridge", "53141"));
    // Without a vendor interface the version the system lists beside the adapter is used.
    EXPECT_EQ(orvix::getDisplayAdapterInfo("Intel"), Info("Intel(R) UHD Graphics 630", "31.0.101.2111"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("Quadro"), Info("NVIDIA Quadro", "53141"));
    EXPECT_EQ(orvix::nvidia::testing::loadCount(0), 1u);
}

TEST_F(DisplayAdapters, FailingNvidiaInterfaceLeavesUnknown) {
    list({{kNvidia}, {u"NVIDIA Quadro", "535.129.03"}});
    nvapi.driver_version_status = -1;
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("NVIDIA GeForce RTX 2080 Ti", "unknown"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("Quadro"), Info("NVIDIA Quadro", "535.129.03"));
    orvix::test::ScriptedNvapi absent;
    absent.present = false;
    orvix::test::install_scripted_nvapi(&absent);
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("NVIDIA GeForce RTX 2080 Ti", "unknown"));
    orvix::test::install_scripted_nvapi(&nvapi);
}

TEST_F(DisplayAdapters, AmdVersionOnSuccessOrWarningOnly) {
    list({{kAmd, "listed"}, {u"AMD FirePro with NVIDIA bridge"}});
    struct Case {
        int status;
        const char* driver;
        const char* expected;
    };
    const Case cases[] = {
        {0, "31.0.21912.14", "31.0.21912.14"},
        {1, "31.0.21912.14", "31.0.21912.14"},  // all OK, but with warning
        {3, "31.0.21912.14", "31.0.21912.14"},  // all OK, but need restart
        {-8, "31.0.21912.14", "listed"},        // critical: the record is not trusted
        {-1, nullptr, "listed"},
        {0, "", "listed"},
        {0, nullptr, nullptr},  // an unterminated text is cut at the record's end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        auto adl = std::make_shared<VersionsOnlyAdl>(c.status, c.driver);
        bool discarding = false;
        orvix::testing::setAdlInstanceSource([&](std::unique_ptr<orvix::logging::LoggerBase> logger) {
            discarding = dynamic_cast<orvix::logging::NOPLogger*>(logger.get()) != nullptr;
            return adl;
        });
        const auto [name, version] = orvix::getDisplayAdapterInfo("AMD Radeon");
        EXPECT_EQ(name, "AMD Radeon RX 6800 XT");
        EXPECT_EQ(version, c.expected != nullptr ? c.expected : std::string(256, 'x'));
        EXPECT_TRUE(discarding);
        EXPECT_EQ(adl->calls, 1);
    }
    // A name with both vendor words is NVIDIA's: the AMD library is not asked.
    auto adl = std::make_shared<VersionsOnlyAdl>(0, "31.0.21912.14");
    orvix::testing::setAdlInstanceSource([&](std::unique_ptr<orvix::logging::LoggerBase>) { return adl; });
    EXPECT_EQ(orvix::getDisplayAdapterInfo("bridge"), Info("AMD FirePro with NVIDIA bridge", "53141"));
    EXPECT_EQ(adl->calls, 0);
}

TEST_F(DisplayAdapters, AmdLibraryThatCannotBeCreated) {
    list({{kAmd}});
    int attempts = 0;
    orvix::testing::setAdlInstanceSource([&](std::unique_ptr<orvix::logging::LoggerBase>) -> std::shared_ptr<orvix::iADL> {
        ++attempts;
        throw std::system_error(orvix::AdlInternalError::LoadFailed, "failed to create ADL");
    });
    EXPECT_EQ(orvix::getDisplayAdapterInfo("AMD"), Info("AMD Radeon RX 6800 XT", "unknown"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("AMD"), Info("AMD Radeon RX 6800 XT", "unknown"));
    EXPECT_EQ(attempts, 2);
}

TEST_F(DisplayAdapters, UnavailableListThrows) {
    orvix::testing::setDisplayAdapterListOpener([](int32_t* error) {
        *error = static_cast<int32_t>(0x887A0004);
        return nullptr;
    });
    for (auto* call : {+[] { orvix::findDisplayAdapterName(""); }, +[] { orvix::getDisplayAdapterInfo("NVIDIA"); },
                       +[] { orvix::listDisplayAdapters(); }}) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Failed to create DXGI factory!");
        }
    }
}


}  // namespace
