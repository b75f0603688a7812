#include "platform/display_adapters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "logging/nop_logger.h"
#include "platform/adl.h"
#include "platform/adl_stand_in/adl_stand_in.h"
#include "platform/display_adapters_testing.h"
#include "platform/nvidia_interface_testing.h"
#include "support/scripted_nvapi.h"

namespace {

using Info = std::pair<std::string, std::string>;
using Adapters = std::vector<std::pair<std::u16string, std::string>>;  // description, listed driver version

// The list fails at an adapter named "broken".
struct ScriptedList : orvix::os::DisplayAdapterList {
    explicit ScriptedList(Adapters adapters) : adapters(std::move(adapters)) {}
    Adapters adapters;
    bool adapter(uint32_t index, orvix::os::DisplayAdapterEntry* entry) override {
        if (index >= adapters.size() || adapters[index].first == u"broken") return false;
        std::tie(entry->description, entry->driver_version) = adapters[index];
        return true;
    }
};

class DisplayAdapters : public testing::Test {
protected:
    void SetUp() override { orvix::test::install_scripted_nvapi(&nvapi); }
    void TearDown() override {
        orvix::testing::setDisplayAdapterListOpener(nullptr);
        orvix::testing::setAdlInstanceSource(nullptr);
        orvix::test::uninstall_scripted_nvapi();
    }

    void list(Adapters adapters) {
        orvix::testing::setDisplayAdapterListOpener([=](int32_t*) { return std::make_unique<ScriptedList>(adapters); });
    }

    orvix::test::ScriptedNvapi nvapi;
};

const std::u16string kNvidia = u"NVIDIA GeForce RTX 2080 Ti", kAmd = u"AMD Radeon RX 6800 XT";

TEST_F(DisplayAdapters, FilterSelectsInListOrderCaseSensitivelyPastTheSoftwareRenderer) {
    list({{u"Microsoft Basic Render Driver", ""}, {kNvidia, ""}, {kAmd, ""}, {u"AMD Radeon Pro W6800", ""},
          {u"broken", ""}, {u"Intel Arc", ""}});
    EXPECT_EQ(orvix::findDisplayAdapterName(""), "NVIDIA GeForce RTX 2080 Ti");
    EXPECT_EQ(orvix::findDisplayAdapterName("AMD"), "AMD Radeon RX 6800 XT");
    EXPECT_EQ(orvix::findDisplayAdapterName("Pro W"), "AMD Radeon Pro W6800");
    EXPECT_EQ(orvix::findDisplayAdapterName("Render"), "");
    EXPECT_EQ(orvix::findDisplayAdapterName("nvidia"), "");
    EXPECT_EQ(orvix::findDisplayAdapterName("Intel"), "");  // the list ends at its first failure
    EXPECT_EQ(orvix::getDisplayAdapterInfo("amd"), Info("", "unknown"));
    EXPECT_FALSE(orvix::nvidia::testing::loaded(0));

    // Names are UTF-8 and stop at the terminator.
    list({{std::u16string(u"Radeon\u2122 Graphics\0garbage", 25), ""}});
    EXPECT_EQ(orvix::findDisplayAdapterName("\xE2\x84\xA2"), "Radeon\xE2\x84\xA2 Graphics");
}

TEST_F(DisplayAdapters, DriverVersionByVendorWordNvidiaFirst) {
    list({{kNvidia, ""}, {u"AMD FirePro with NVIDIA bridge", ""}, {u"Intel(R) UHD Graphics 630", "31.0.101.2111"},
          {u"NVIDIA Quadro", "535.129.03"}});
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("NVIDIA GeForce RTX 2080 Ti", "53141"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("bridge"), Info("AMD FirePro with NVIDIA bridge", "53141"));
    // Without a vendor interface the version the system lists beside the adapter is used.
    EXPECT_EQ(orvix::getDisplayAdapterInfo("Intel"), Info("Intel(R) UHD Graphics 630", "31.0.101.2111"));
    EXPECT_EQ(orvix::nvidia::testing::loadCount(0), 1u);

    // A failing or absent NVIDIA interface leaves the listed version, else none.
    nvapi.driver_version_status = -1;
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("NVIDIA GeForce RTX 2080 Ti", "unknown"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("Quadro"), Info("NVIDIA Quadro", "535.129.03"));
    nvapi.present = false;
    orvix::test::install_scripted_nvapi(&nvapi);
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("NVIDIA GeForce RTX 2080 Ti", "unknown"));
}

TEST_F(DisplayAdapters, AmdVersionOnSuccessOrWarningOnly) {
    list({{kAmd, "listed"}, {u"AMD FirePro with NVIDIA bridge", ""}});
    adl_stand_in_reset();
    AdlStandInScript& script = *adl_stand_in_script();
    std::vector<std::string> asked;
    bool discarding = false;
    orvix::testing::setAdlInstanceSource([&](std::unique_ptr<orvix::logging::LoggerBase> logger) {
        discarding = dynamic_cast<orvix::logging::NOPLogger*>(logger.get()) != nullptr;
        return std::make_shared<orvix::ADL>(std::move(logger), [&](const std::string&, auto) {
            return std::make_unique<adl_stand_in::Library>(&asked, "");
        });
    });
    // A warning (3: all OK, but need restart) still gives the version; a critical status
    // or an empty text leave the listed one; an unterminated text is cut at the record's end.
    const std::tuple<int, std::string, std::string> cases[] = {
        {3, "31.0.21912.14", "31.0.21912.14"}, {-8, "31.0.21912.14", "listed"}, {0, "", "listed"},
        {0, std::string(256, 'x'), std::string(256, 'x')}};
    for (const auto& [status, driver, expected] : cases) {
        script.versionsStatus = status;
        std::memcpy(script.versions.strDriverVer, driver.c_str(), std::min<size_t>(driver.size() + 1, 256));
        EXPECT_EQ(orvix::getDisplayAdapterInfo("AMD Radeon"), Info("AMD Radeon RX 6800 XT", expected)) << status;
    }
    EXPECT_TRUE(discarding);
    // A name with both vendor words is NVIDIA's: the AMD library is not asked.
    script.versionsCalls = 0;
    EXPECT_EQ(orvix::getDisplayAdapterInfo("bridge"), Info("AMD FirePro with NVIDIA bridge", "53141"));
    EXPECT_EQ(script.versionsCalls, 0);

    // A library that cannot be created leaves the listed version, and is asked for again.
    int attempts = 0;
    orvix::testing::setAdlInstanceSource([&](auto) -> std::shared_ptr<orvix::iADL> {
        ++attempts;
        throw std::system_error(orvix::AdlInternalError::LoadFailed, "failed to create ADL");
    });
    EXPECT_EQ(orvix::getDisplayAdapterInfo("AMD"), Info("AMD Radeon RX 6800 XT", "listed"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("AMD"), Info("AMD Radeon RX 6800 XT", "listed"));
    EXPECT_EQ(attempts, 2);
}

}  // namespace
