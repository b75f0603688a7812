// The NVIDIA driver interface against the stand-in nvapi64.dll in the prefix's system
// directory, loaded by the real library functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/nvidia_interface.h"
#include "platform/nvidia_interface_testing.h"
#include "support/standin_nvapi.h"

namespace {

namespace nv = orvix::nvidia;

class StandinNvapi : public testing::Test {
protected:
    void SetUp() override {
        std::string problem;
        ASSERT_TRUE(orvix::test::install_standin_nvapi(&problem)) << problem;
    }
};

TEST_F(StandinNvapi, DriverVersionFromTheSystemDirectory) {
    ASSERT_TRUE(orvix::test::script_standin_nvapi(0, 53141, 0));
    ASSERT_EQ(nv::nvapiInitialize(), nv::kOk);
    EXPECT_EQ(nv::testing::loadCount(0), 1u);
    uint32_t version = 0;
    char branch[nv::kShortStringSize] = {};
    ASSERT_EQ(nv::nvapiGetDriverAndBranchVersion(&version, branch), nv::kOk);
    EXPECT_EQ(version, 53141u);
    EXPECT_STREQ(branch, "r470_00");
    EXPECT_EQ(orvix::test::standin_nvapi_calls(), "initialize,before,version,after");

    // The module in use is the system directory's, not a copy found elsewhere.
    HMODULE module = GetModuleHandleW(L"nvapi64.dll");
    ASSERT_NE(module, nullptr);
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    EXPECT_EQ(_wcsicmp(std::wstring(path, n).c_str(), orvix::test::system_nvapi_path().c_str()), 0);
}

TEST_F(StandinNvapi, RefusedInitialisationReleasesTheLibrary) {
    ASSERT_TRUE(orvix::test::script_standin_nvapi(-4, 0, 0));
    EXPECT_EQ(nv::nvapiInitialize(), -4);
    EXPECT_FALSE(nv::testing::loaded(0));
    EXPECT_EQ(orvix::test::standin_nvapi_calls(), "initialize");
    // Only the test's own reference is left.
    HMODULE module = GetModuleHandleW(orvix::test::system_nvapi_path().c_str());
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
    EXPECT_EQ(GetModuleHandleW(orvix::test::system_nvapi_path().c_str()), nullptr);
}

}  // namespace
