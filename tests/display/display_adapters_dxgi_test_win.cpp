// The real DXGI path under Wine with a display. Wine lists one adapter whose identity it
// takes, per program, from VideoPciVendorID / VideoPciDeviceID under
// HKCU\Software\Wine\AppDefaults\<program>\Direct3D when the program starts. So each case
// sets the identity and runs itself again as a child process, which does the checks.
// One card proves the real path; choosing among adapters by vendor word, and the AMD
// library's versions, are the platform suite's.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/display_adapters.h"
#include "support/standin_nvapi.h"

namespace {

using Info = std::pair<std::string, std::string>;

// In the parent: sets the identity, runs this test again in a child and expects it to
// pass. In the child: true, and the test goes on with its checks.
bool as_adapter(DWORD vendor, DWORD device) {
    if (GetEnvironmentVariableW(L"ORVIX_DXGI_CHILD", nullptr, 0) != 0) return true;
    wchar_t path[MAX_PATH];
    const std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    const std::wstring key_path =
        L"Software\\Wine\\AppDefaults\\" + program.substr(program.find_last_of(L"\\/") + 1) + L"\\Direct3D";
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key_path.c_str(), L"VideoPciVendorID", REG_DWORD, &vendor, 4), 0);
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key_path.c_str(), L"VideoPciDeviceID", REG_DWORD, &device, 4), 0);
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring command =
        L"\"" + program + L"\" --gtest_filter=" + std::wstring(filter.begin(), filter.end());
    SetEnvironmentVariableW(L"ORVIX_DXGI_CHILD", L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableW(L"ORVIX_DXGI_CHILD", nullptr);
    EXPECT_TRUE(started) << GetLastError();
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u) << "the child's checks failed (its output is above)";
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, key_path.c_str());
    return false;
}

TEST(Dxgi, NvidiaCardWithItsDriverVersionFromNvapi) {
    if (!as_adapter(0x10de, 0x1e07)) return;
    std::string problem;
    ASSERT_TRUE(orvix::test::install_standin_nvapi(&problem)) << problem;
    EXPECT_EQ(orvix::getDisplayAdapterInfo(""), Info("NVIDIA GeForce RTX 2080 Ti", "47211"));
    EXPECT_EQ(orvix::getDisplayAdapterInfo("RTX"), Info("NVIDIA GeForce RTX 2080 Ti", "47211"));
    EXPECT_EQ(orvix::test::standin_nvapi_calls(), "initialize,before,version,after,before,version,after");
    const auto all = orvix::listDisplayAdapters();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].vendor_id, 0x10de);
    EXPECT_EQ(all[0].device_id, 0x1e07);
}

}  // namespace
