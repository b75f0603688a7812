// The ADL object over our own signed stand-in atiadlxx.dll, loaded through the real
// loader. Each case runs from a directory of its own that holds the libraries it needs
// beside the executable (tests/CMakeLists.txt builds them): the loader searches only the
// application and system directories.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "logging/nop_logger.h"
#include "platform/adl.h"
#include "platform/adl_stand_in/adl_stand_in.h"
#include "support/recording_logger.h"

namespace {

using orvix::AdlInternalError;
using orvix::AdlSeverity;
using orvix_test::RecordingLogger;

std::string applicationDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of('\\'));
}

// The script of a loaded stand-in, found through its own export.
AdlStandInScript* scriptOf(const char* module) {
    HMODULE handle = GetModuleHandleA(module);
    if (handle == nullptr) return nullptr;
    auto get = reinterpret_cast<AdlStandInScript* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(handle, "adl_stand_in_script")));
    return get != nullptr ? get() : nullptr;
}

bool logged(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// The instance, or null with the failure and the lines logged on the way.
std::shared_ptr<orvix::iADL> load(std::vector<std::string>* lines) {
    try {
        return orvix::getAdlInstance(std::make_unique<RecordingLogger>(4, lines));
    } catch (const std::system_error& e) {
        std::string text;
        for (const std::string& line : *lines) text += line + "\n";
        ADD_FAILURE() << e.what() << "\n" << text;
        return nullptr;
    }
}

// getAdlInstance must fail with "failed to create ADL" and internal code 1.
void expectNoAdl(std::vector<std::string>* lines) {
    try {
        orvix::getAdlInstance(std::make_unique<RecordingLogger>(4, lines));
        ADD_FAILURE() << "an ADL instance was created";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), make_error_code(AdlInternalError::LoadFailed));
        EXPECT_STREQ(e.code().category().name(), "amd-interface");
        EXPECT_NE(std::string(e.what()).find("failed to create ADL"), std::string::npos) << e.what();
    }
}

TEST(AdlLibrary, SignedStandIn) {
    std::vector<std::string> lines;
    std::shared_ptr<orvix::iADL> adl = load(&lines);
    ASSERT_NE(adl, nullptr);
    EXPECT_EQ(orvix::getAdlInstance(std::make_unique<orvix::logging::NOPLogger>()), adl);
    EXPECT_TRUE(logged(lines, "3 0 Successfully loaded " + applicationDirectory() + "\\atiadlxx.dll"));
    EXPECT_TRUE(logged(lines, "3 0 Successfully loaded atiadlxx.dll"));
    EXPECT_TRUE(logged(lines, "2 0 ADL successfully loaded and initialized"));
    AdlStandInScript* script = scriptOf("atiadlxx.dll");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->createCalls, 1);
    EXPECT_EQ(script->enumConnectedAdapters, 1);

    // Three adapters, the second an AMD one.
    std::map<int32_t, AdapterInfo> adapters;
    ASSERT_FALSE(adl->getAdaptersInfo(adapters));
    ASSERT_EQ(adapters.size(), 1u);
    EXPECT_EQ(adapters.begin()->first, 1);
    EXPECT_STREQ(adapters[1].strAdapterName, "Stand-in Adapter 1");
    for (int i = 0; i < 251; ++i) script->vendorIds[i] = 1002;
    script->adapterCount = 250;
    EXPECT_FALSE(adl->getAdaptersInfo(adapters));
    EXPECT_EQ(adapters.size(), 250u);
    script->adapterCount = 251;
    EXPECT_EQ(adl->getAdaptersInfo(adapters).message(), "too many adapters found");

    // A failing caps query: 16 connectors less the one that fails critically.
    script->capsStatus = -8;
    script->connectionStateStatus[3] = -7;
    script->supportedConnectionsStatus[4] = 1;
    orvix::AdapterProps props;
    ASSERT_FALSE(adl->getAdapterProps(1, props));
    EXPECT_EQ(props.connectorData.size(), 15u);
    EXPECT_TRUE(logged(lines, "1 -7 Failed to get adapter properties: Invalid display index passed"));

    // Lists allocated by the library through our callback and released with our free.
    std::vector<ADLDisplayInfo> displays;
    ASSERT_FALSE(adl->getAdapterDisplays(1, displays));
    EXPECT_EQ(displays.size(), 2u);
    std::vector<ADLMode> modes;
    ASSERT_FALSE(adl->getDisplayModes(1, 0, modes));
    EXPECT_EQ(modes.size(), 3u);

    script->overrideListCount = 65;
    std::vector<ADLDisplayModeInfo> overrides;
    EXPECT_EQ(adl->getTimingOverrideList(1, 0, overrides).message(), "invalid number of modes");

    ADLMode mode = modes[0];
    script->modesSetStatus = 1;
    std::error_code set = adl->setDisplayMode(1, 0, mode);
    EXPECT_TRUE(set);
    EXPECT_TRUE(set == AdlSeverity::Warning);
    EXPECT_FALSE(set == AdlSeverity::Critical);
    script->modesSetStatus = -8;
    set = adl->setDisplayMode(1, 0, mode);
    EXPECT_TRUE(set == AdlSeverity::Critical);
    EXPECT_EQ(script->modeSet.iXRes, mode.iXRes);

    ADLVersionsInfoX2 versions{};
    ASSERT_FALSE(adl->getGraphicsVersions(versions));
    EXPECT_STREQ(versions.strDriverVer, "31.0.21912.14");
    EXPECT_FALSE(adl->reinitialize());
    EXPECT_EQ(script->createCalls, 2);
    EXPECT_EQ(script->wrongContextCalls, 0);
}

TEST(AdlLibrary, ALibraryLackingAnEntryPointIsNotUsed) {
    std::vector<std::string> lines;
    expectNoAdl(&lines);
    // The loader accepted the signature; binding refused the library, which is released.
    EXPECT_TRUE(logged(lines, "3 0 Successfully loaded atiadlxx.dll"));
    EXPECT_FALSE(logged(lines, "ADL successfully loaded and initialized"));
    EXPECT_EQ(GetModuleHandleA("atiadlxx.dll"), nullptr);
}

TEST(AdlLibrary, ALibrarySignedByAnotherVendorIsRefused) {
    std::vector<std::string> lines;
    expectNoAdl(&lines);
    EXPECT_TRUE(logged(lines, "Failed to match subject name NVIDIA Corporation"));
    EXPECT_FALSE(logged(lines, "Successfully loaded atiadlxx.dll"));
    EXPECT_EQ(GetModuleHandleA("atiadlxx.dll"), nullptr);
}

TEST(AdlLibrary, WithoutALibraryEachCallTriesAgain) {
    const std::string beside = applicationDirectory() + "\\atiadlxx.dll";
    DeleteFileA(beside.c_str());  // left by an earlier run
    std::vector<std::string> lines;
    expectNoAdl(&lines);
    expectNoAdl(&lines);

    // The library arrives: the next call loads it.
    ASSERT_TRUE(CopyFileA((applicationDirectory() + "\\spare\\atiadlxx.dll").c_str(), beside.c_str(), FALSE));
    lines.clear();
    std::shared_ptr<orvix::iADL> adl = load(&lines);
    ASSERT_NE(adl, nullptr);
    EXPECT_TRUE(logged(lines, "3 0 Successfully loaded atiadlxx.dll"));
    std::map<int32_t, AdapterInfo> adapters;
    EXPECT_FALSE(adl->getAdaptersInfo(adapters));
}

TEST(AdlLibrary, OnlyTheSecondLibraryName) {
    std::vector<std::string> lines;
    std::shared_ptr<orvix::iADL> adl = load(&lines);
    ASSERT_NE(adl, nullptr);
    EXPECT_TRUE(logged(lines, "3 0 Successfully loaded atiadlxy.dll"));
    EXPECT_EQ(GetModuleHandleA("atiadlxx.dll"), nullptr);
    ASSERT_NE(scriptOf("atiadlxy.dll"), nullptr);
    std::map<int32_t, AdapterInfo> adapters;
    ASSERT_FALSE(adl->getAdaptersInfo(adapters));
    EXPECT_EQ(adapters.size(), 1u);
}

}  // namespace
