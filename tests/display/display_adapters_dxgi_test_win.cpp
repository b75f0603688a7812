// The real DXGI path under Wine with a display. Wine lists one adapter whose identity it
// takes, per program, from VideoPciVendorID / VideoPciDeviceID under
// HKCU\Software\Wine\AppDefaults\<program>\Direct3D when the program starts. So each case
// sets the identity and runs itself again as a child process, which does the checks.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/display_adapters.h"
#include "platform/nvidia_interface_testing.h"
#include "support/standin_nvapi.h"

namespace {

using Info = std::pair<std::string, std::string>;

const wchar_t kChildVariable[] = L"ORVIX_DXGI_CHILD";

std::wstring program_path() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

std::wstring identity_key() {
    const std::wstring path = program_path();
    return L"Software\\Wine\\AppDefaults\\" + path.substr(path.find_last_of(L"\\/") + 1) + L"\\Direct3D";
}

bool in_child() { return GetEnvironmentVariableW(kChildVariable, nullptr, 0) != 0; }

// In the parent: sets the identity, runs this test again in a child and expects it to
// pass. In the child: true, and the test goes on with its checks.
bool as_adapter(uint32_t vendor, uint32_t device) {
    if (in_child()) return true;
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, identity_key().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    DWORD v = vendor, d = device;
    RegSetValueExW(key, L"VideoPciVendorID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    RegSetValueExW(key, L"VideoPciDeviceID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), sizeof d);
    RegCloseKey(key);
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring command = L"\"" + program_path() + L"\" --gtest_filter=" + std::wstring(filter.begin(), filter.end());
    SetEnvironmentVariableW(kChildVariable, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    EXPECT_TRUE(started) << GetLastError();
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u) << "the child's checks failed (its output is above)";
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, identity_key().c_str());
    return false;
}

class Dxgi : public testing::Test {
protected:
    void SetUp() override {
        std::string problem;
        ASSERT_TRUE(orvix::test::install_standin_nvapi(&problem)) << problem;
    }
};

TEST_F(Dxgi, NvidiaCardWithItsDriverVersionFromNvapi) {
    if (!as_adapter(0x10de, 0x1e07)) return;
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("NVIDIA GeForce RTX 2080 Ti", "47211"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("RTX"), Info("NVIDIA GeForce RTX 2080 Ti", "47211"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("nvidia"), Info("", "unknown"));
    EXPECT_EQ(orvix::findDisplayAdapterName("Radeon"), "");
    EXPECT_EQ(orvix::test::standin_nvapi_calls(), "initialize,before,version,after,before,version,after");
    const auto all = orvix::listDisplayAdapters();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].vendor_id, 0x10de);
    EXPECT_EQ(all[0].device_id, 0x1e07);
}


TEST_F(Dxgi, IntelCardHasNoVendorInterface) {
    if (!as_adapter(0x8086, 0x5912)) return;
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("Intel(R) HD Graphics 630", "unknown"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("NVIDIA"), Info("", "unknown"));
    EXPECT_FALSE(orvix::nvidia::testing::loaded(0));
}

TEST_F(Dxgi, AmdCardWithItsDriverVersionFromTheSignedLibrary) {
    if (!as_adapter(0x1002, 0x7300)) return;
    // The stand-in atiadlxx.dll beside the program, signed by the test "Advanced Micro
    // Devices, Inc." certificate, answers the versions record.
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("AMD Radeon (TM) R9 Fury Series", "31.0.21912.14"));
    EXPECT_EQ(GetModuleHandleW(L"nvapi64.dll"), nullptr);
}

TEST_F(Dxgi, RadeonNameWithoutTheVendorWord) {
    // Wine names this card without "AMD", so no vendor interface is asked.
    if (!as_adapter(0x1002, 0x73bf)) return;
    EXPECT_EQ(orvix::getDisplayAdapterInfo("Radeon"), Info("Radeon RX 6800/6800 XT / 6900 XT", "unknown"));
    EXPECT_EQ(orvix::findDisplayAdapterName("AMD"), "");
}

}  // namespace
