#include "platform/display_adapters.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

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

class DisplayAdapters : public testing::Test {
protected:
    void SetUp() override { orvix::test::install_scripted_nvapi(&nvapi); }
    void TearDown() override {
        orvix::testing::setDisplayAdapterListOpener(nullptr);
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

TEST_F(DisplayAdapters, ListingShowsEveryAdapterWithItsVersion) {
    list({{kBasic}, {kNvidia}, {u"Intel(R) UHD Graphics 630", "31.0.101.2111"}});
    const auto all = orvix::listDisplayAdapters();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_TRUE(all[0].software_renderer);
    EXPECT_EQ(all[0].driver_version, "");
    EXPECT_FALSE(all[1].software_renderer);
    EXPECT_EQ(all[1].driver_version, "53141");
    EXPECT_EQ(all[2].name, "Intel(R) UHD Graphics 630");
    EXPECT_EQ(all[2].driver_version, "31.0.101.2111");
}

}  // namespace
