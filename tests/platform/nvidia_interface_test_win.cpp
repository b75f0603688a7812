// The NVIDIA driver interface against the stand-in nvapi64.dll in the prefix's system
// directory, loaded by the real library functions. (The DXGI suite reads a driver version
// through it.)
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/nvidia_interface.h"
#include "platform/nvidia_interface_testing.h"
#include "support/standin_nvapi.h"

namespace {

TEST(StandinNvapi, RefusedInitialisationReleasesTheLibraryFromTheSystemDirectory) {
    std::string problem;
    ASSERT_TRUE(orvix::test::install_standin_nvapi(&problem)) << problem;
    ASSERT_TRUE(orvix::test::script_standin_nvapi(-4, 0, 0));
    EXPECT_EQ(orvix::nvidia::nvapiInitialize(), -4);
    EXPECT_FALSE(orvix::nvidia::testing::loaded(0));
    // The layer called the system directory's module, the one the script went to, and
    // left only the test's own reference to it.
    EXPECT_EQ(orvix::test::standin_nvapi_calls(), "initialize");
    HMODULE module = GetModuleHandleW(orvix::test::system_nvapi_path().c_str());
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
    EXPECT_EQ(GetModuleHandleW(orvix::test::system_nvapi_path().c_str()), nullptr);
}

}  // namespace
