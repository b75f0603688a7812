// The ADL object over our own signed stand-in atiadlxx.dll, loaded through the real
// loader. Each case runs from a directory of its own that holds the libraries it needs
// beside the executable (tests/CMakeLists.txt builds them): the loader searches only the
// application and system directories.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "logging/nop_logger.h"
#include "platform/adl.h"
#include "platform/adl_stand_in/adl_stand_in.h"
#include "platform/loader_test_support.h"
#include "support/recording_logger.h"

namespace {

// The script of a loaded stand-in, found through its own export.
AdlStandInScript* scriptOf(const char* module) {
    HMODULE handle = GetModuleHandleA(module);
    auto get = reinterpret_cast<AdlStandInScript* (*)()>(
        handle != nullptr ? reinterpret_cast<void*>(GetProcAddress(handle, "adl_stand_in_script")) : nullptr);
    return get != nullptr ? get() : nullptr;
}

// The instance, or null once getAdlInstance failed as it must. The instance logs into
// *lines for as long as it lives; the returned log is what it logged while loading.
std::string load(std::vector<std::string>* lines, std::shared_ptr<orvix::iADL>* adl) {
    try {
        *adl = orvix::getAdlInstance(std::make_unique<orvix_test::RecordingLogger>(4, lines));
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), make_error_code(orvix::AdlInternalError::LoadFailed));
        EXPECT_NE(std::string(e.what()).find("failed to create ADL"), std::string::npos) << e.what();
    }
    std::string log;
    for (const std::string& line : *lines) log += line + "\n";
    return log;
}

// No instance, the log says why, and the library is released.
void expectRefused(const std::string& why) {
    std::vector<std::string> lines;
    std::shared_ptr<orvix::iADL> adl;
    const std::string log = load(&lines, &adl);
    EXPECT_EQ(adl, nullptr);
    EXPECT_NE(log.find(why), std::string::npos) << log;
    EXPECT_EQ(GetModuleHandleA("atiadlxx.dll"), nullptr);
}

TEST(AdlLibrary, SignedStandIn) {
    std::vector<std::string> lines;
    std::shared_ptr<orvix::iADL> adl;
    const std::string log = load(&lines, &adl);
    ASSERT_NE(adl, nullptr) << log;
    EXPECT_EQ(orvix::getAdlInstance(std::make_unique<orvix::logging::NOPLogger>()), adl);
    const std::string path = loader_test::executableDirectory() + "\\atiadlxx.dll";
    EXPECT_NE(log.find("3 0 Successfully loaded " + path), std::string::npos) << log;
    EXPECT_NE(log.find("2 0 ADL successfully loaded and initialized"), std::string::npos) << log;
    AdlStandInScript* script = scriptOf("atiadlxx.dll");
    ASSERT_NE(script, nullptr);

    // Records cross the library boundary intact (orvix-env adl dumps the lists, which the
    // library allocated through our callback, and releases them with our free).
    ADLMode mode{};
    mode.iXRes = 2560;
    script->modesSetStatus = -8;
    EXPECT_TRUE(adl->setDisplayMode(1, 0, mode) == orvix::AdlSeverity::Critical);
    EXPECT_EQ(script->modeSet.iXRes, 2560);
    EXPECT_FALSE(adl->reinitialize());
    EXPECT_EQ(script->createCalls, 2);
    EXPECT_EQ(script->wrongContextCalls, 0);
}

// The loader accepted the signature; binding refused the library.
TEST(AdlLibrary, ALibraryLackingAnEntryPointIsNotUsed) { expectRefused("3 0 Successfully loaded atiadlxx.dll"); }

TEST(AdlLibrary, ALibrarySignedByAnotherVendorIsRefused) {
    expectRefused("Failed to match subject name NVIDIA Corporation");
}

}  // namespace
