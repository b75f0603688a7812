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
#include "support/recording_logger.h"

namespace {

std::string applicationDirectory() {
    char path[MAX_PATH] = {};
    const std::string directory(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return directory.substr(0, directory.find_last_of('\\'));
}

// The script of a loaded stand-in, found through its own export.
AdlStandInScript* scriptOf(const char* module) {
    HMODULE handle = GetModuleHandleA(module);
    auto get = reinterpret_cast<AdlStandInScript* (*)()>(
        handle != nullptr ? reinterpret_cast<void*>(GetProcAddress(handle, "adl_stand_in_script")) : nullptr);
    return get != nullptr ? get() : nullptr;
}

// The instance, or null once getAdlInstance failed as it must. The instance logs into
// *lines for as long as it lives; *log is what it logged while loading.
std::shared_ptr<orvix::iADL> load(std::vector<std::string>* lines, std::string* log, bool expected = true) {
    std::shared_ptr<orvix::iADL> adl;
    try {
        adl = orvix::getAdlInstance(std::make_unique<orvix_test::RecordingLogger>(4, lines));
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), make_error_code(orvix::AdlInternalError::LoadFailed));
        EXPECT_NE(std::string(e.what()).find("failed to create ADL"), std::string::npos) << e.what();
    }
    log->clear();
    for (const std::string& line : *lines) *log += line + "\n";
    EXPECT_EQ(adl != nullptr, expected) << *log;
    return adl;
}

TEST(AdlLibrary, SignedStandIn) {
    std::vector<std::string> lines;
    std::string log;
    std::shared_ptr<orvix::iADL> adl = load(&lines, &log);
    ASSERT_NE(adl, nullptr);
    EXPECT_EQ(orvix::getAdlInstance(std::make_unique<orvix::logging::NOPLogger>()), adl);
    EXPECT_NE(log.find("3 0 Successfully loaded " + applicationDirectory() + "\\atiadlxx.dll"), std::string::npos);
    EXPECT_NE(log.find("2 0 ADL successfully loaded and initialized"), std::string::npos) << log;
    AdlStandInScript* script = scriptOf("atiadlxx.dll");
    ASSERT_NE(script, nullptr);

    // Records and lists cross the library boundary intact (orvix-env adl dumps them all);
    // the lists the library allocated through our callback are released with our free.
    std::vector<ADLDisplayInfo> displays;
    ASSERT_FALSE(adl->getAdapterDisplays(1, displays));
    EXPECT_STREQ(displays.at(1).strDisplayName, "Display 1");
    ADLMode mode{};
    mode.iXRes = 2560;
    script->modesSetStatus = -8;
    EXPECT_TRUE(adl->setDisplayMode(1, 0, mode) == orvix::AdlSeverity::Critical);
    EXPECT_EQ(script->modeSet.iXRes, 2560);
    EXPECT_FALSE(adl->reinitialize());
    EXPECT_EQ(script->createCalls, 2);
    EXPECT_EQ(script->wrongContextCalls, 0);
}

// The loader accepted the signature; binding refused the library, which is released.
TEST(AdlLibrary, ALibraryLackingAnEntryPointIsNotUsed) {
    std::vector<std::string> lines;
    std::string log;
    load(&lines, &log, false);
    EXPECT_NE(log.find("3 0 Successfully loaded atiadlxx.dll"), std::string::npos) << log;
    EXPECT_EQ(GetModuleHandleA("atiadlxx.dll"), nullptr);
}

TEST(AdlLibrary, ALibrarySignedByAnotherVendorIsRefused) {
    std::vector<std::string> lines;
    std::string log;
    load(&lines, &log, false);
    EXPECT_NE(log.find("Failed to match subject name NVIDIA Corporation"), std::string::npos) << log;
    EXPECT_EQ(GetModuleHandleA("atiadlxx.dll"), nullptr);
}

}  // namespace
