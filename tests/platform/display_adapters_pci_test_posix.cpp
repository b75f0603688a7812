// The PCI display controllers as libpci reads them from a dump file (the text lspci -x
// writes). Selecting among them, without the vendors' libraries, is run through the
// console tool (orvix-env adapters --pci-dump).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <tuple>

#include "os/display_adapters_posix.h"
#include "platform/display_adapters.h"
#include "platform/display_adapters_testing.h"

namespace {

namespace fs = std::filesystem;

// Listed out of bus order on purpose; the Ethernet controller is no display adapter.
const char kDump[] =
    "04:00.0 Ethernet controller: Intel Corporation Ethernet Connection I217-LM\n"
    "00: 86 80 3a 15 07 00 10 00 00 00 00 02 00 00 00 00\n"
    "03:00.0 VGA compatible controller: AMD Navi 21\n"
    "00: 02 10 bf 73 07 00 10 00 c1 00 00 03 00 00 80 00\n"
    "01:00.0 VGA compatible controller: NVIDIA TU102\n"
    "00: de 10 07 1e 07 00 10 00 a1 00 00 03 00 00 80 00\n"
    "00:02.0 VGA compatible controller: Microsoft Basic Render Driver\n"
    "00: 14 14 8e 00 07 00 10 00 00 00 00 03 00 00 00 00\n"
    "05:00.0 Display controller: unknown\n"
    "00: ed fe 01 00 07 00 10 00 00 00 80 03 00 00 00 00\n";

class PciAdapters : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("orvix_pci_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        dump_ = (dir_ / "dump.txt").string();
        std::ofstream(dump_) << kDump;
    }
    void TearDown() override {
        orvix::testing::setDisplayAdapterListOpener(nullptr);
        fs::remove_all(dir_);
    }
    void use_dump(const std::string& path) {
        orvix::testing::setDisplayAdapterListOpener(
            [path](int32_t* error) { return orvix::os::open_pci_display_adapter_list(path, "/nonexistent", error); });
    }

    fs::path dir_;
    std::string dump_;
};

TEST_F(PciAdapters, DisplayControllersInBusOrderNamedFromTheDatabase) {
    int32_t error = 0;
    auto list = orvix::os::open_pci_display_adapter_list(dump_, "/nonexistent", &error);
    ASSERT_NE(list, nullptr);
    const std::tuple<std::u16string, uint16_t, uint16_t> expected[] = {
        {u"Microsoft Basic Render Driver", 0x1414, 0x008e},
        {u"NVIDIA TU102 [GeForce RTX 2080 Ti Rev. A]", 0x10de, 0x1e07},
        {u"Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]", 0x1002, 0x73bf},
        {u"Vendor feed Device 0001", 0xfeed, 0x0001},
    };
    orvix::os::DisplayAdapterEntry entry;
    for (uint32_t i = 0; i < std::size(expected); ++i) {
        ASSERT_TRUE(list->adapter(i, &entry)) << i;
        EXPECT_EQ(std::tie(entry.description, entry.vendor_id, entry.device_id), expected[i]) << i;
        EXPECT_EQ(entry.driver_version, "") << i;  // a dump names no drivers
    }
    EXPECT_FALSE(list->adapter(std::size(expected), &entry));
}

// As every list that cannot be opened (DXGI's factory among them).
TEST_F(PciAdapters, UnreadableDumpsThrowInsteadOfEndingTheProcess) {
    const std::string garbage = (dir_ / "garbage.txt").string();
    std::ofstream(garbage) << "00:00.0 x\n00: zz\n";
    for (const std::string& path : {(dir_ / "missing.txt").string(), garbage}) {
        int32_t error = 0;
        EXPECT_EQ(orvix::os::open_pci_display_adapter_list(path, "/nonexistent", &error), nullptr) << path;
        EXPECT_EQ(error, -1);
        use_dump(path);
        for (auto* call : {+[] { orvix::findDisplayAdapterName(""); }, +[] { orvix::getDisplayAdapterInfo(""); },
                           +[] { orvix::listDisplayAdapters(); }}) {
            try {
                call();
                ADD_FAILURE() << "no exception";
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Failed to create DXGI factory!");
            }
        }
    }
}

TEST_F(PciAdapters, KernelModuleVersion) {
    fs::create_directories(dir_ / "nvidia");
    std::ofstream(dir_ / "nvidia" / "version") << "  535.129.03 \n";
    fs::create_directories(dir_ / "amdgpu");  // in-tree modules report no version
    EXPECT_EQ(orvix::os::kernel_module_version(dir_.string(), "nvidia"), "535.129.03");
    EXPECT_EQ(orvix::os::kernel_module_version(dir_.string(), "amdgpu"), "");
    EXPECT_EQ(orvix::os::kernel_module_version(dir_.string(), "../" + dir_.filename().string() + "/nvidia"), "");
    EXPECT_EQ(orvix::os::kernel_module_version(dir_.string(), ""), "");
}

}  // namespace
