// Sends HKEY_LOCAL_MACHINE to a fresh per-process key under HKEY_CURRENT_USER for the
// whole test process, so tests that write "machine" settings run in parallel and never
// touch the real machine keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

class RegistrySandbox : public testing::Environment {
public:
    void SetUp() override {
        path_ = L"Software\\OrvixTest\\" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, key_), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
    }

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

testing::Environment* const sandbox = testing::AddGlobalTestEnvironment(new RegistrySandbox);

}  // namespace
