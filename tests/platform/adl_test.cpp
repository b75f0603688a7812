#include "platform/adl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/adl_stand_in/adl_stand_in.h"
#include "support/recording_logger.h"

namespace {

using orvix::ADL;
using orvix::adlStatusCode;
using orvix::AdlInternalError;
using orvix::AdlSeverity;
using Lines = std::vector<std::string>;

std::error_code internal(AdlInternalError code) { return make_error_code(code); }

class AdlTest : public testing::Test {
protected:
    void SetUp() override { adl_stand_in_reset(); }

    // An ADL over the stand-in, which opens under the names in present; level 0 gives it
    // no logger at all.
    std::unique_ptr<ADL> make(uint32_t level = 4, std::set<std::string> present = {"atiadlxx.dll"},
                              std::string missing = "") {
        auto opener = [=, this](const std::string& name, auto logger) -> std::unique_ptr<orvix::IDynamicLibrary> {
            opened.push_back(name + " level " + std::to_string(logger->maxLevel));
            if (present.count(name) == 0) return nullptr;
            return std::make_unique<adl_stand_in::Library>(&asked, missing);
        };
        auto logger = level == 0 ? nullptr : std::make_unique<orvix_test::RecordingLogger>(level, &lines);
        return std::make_unique<ADL>(std::move(logger), opener);
    }
    // The error construction fails with, which always says so.
    std::error_code failure(uint32_t level, std::set<std::string> present, std::string missing = "") {
        try {
            make(level, present, missing);
            ADD_FAILURE() << "constructed";
            return {};
        } catch (const std::system_error& e) {
            EXPECT_NE(std::string(e.what()).find("failed to create ADL"), std::string::npos);
            return e.code();
        }
    }
    Lines take() { return std::exchange(lines, {}); }  // the lines logged since the last call

    AdlStandInScript& script = *adl_stand_in_script();
    Lines lines, opened, asked;
};

TEST(AdlCategories, SeverityAtTheEndsOfEachRange) {
    for (int status : {5, 0, -13, -19, -22}) {
        EXPECT_FALSE(adlStatusCode(status) == AdlSeverity::Warning || adlStatusCode(status) == AdlSeverity::Critical)
            << status;
    }
    for (int status : {4, 1}) EXPECT_TRUE(adlStatusCode(status) == AdlSeverity::Warning) << status;
    for (int status : {-1, -12, -20, -21}) EXPECT_TRUE(adlStatusCode(status) == AdlSeverity::Critical) << status;
    EXPECT_FALSE(adlStatusCode(0));
    EXPECT_EQ(adlStatusCode(-13).message(), "(unknown error)");
    EXPECT_EQ(adlStatusCode(-1).message(),
              "Generic ADL Error. Most likely one or more of the Escape calls to the driver failed!");
    // Only library statuses have a severity, whatever the number.
    EXPECT_FALSE(internal(AdlInternalError::NoAdapters) == AdlSeverity::Critical);
    EXPECT_FALSE(std::error_code(1, std::generic_category()) == AdlSeverity::Warning);
    EXPECT_EQ(make_error_condition(AdlSeverity::Critical).message(), "critical");
}

TEST_F(AdlTest, InitialisationOpensAContextThatReinitializeReplacesAndTheDestructorCloses) {
    auto adl = make(3);
    EXPECT_EQ(opened, Lines{"atiadlxx.dll level 3"});  // the loader logs at this object's level
    EXPECT_EQ(script.enumConnectedAdapters, 1);
    // The memory callback allocates what the library asks for, released with free.
    void* block = script.mallocCallback(64);
    ASSERT_NE(block, nullptr);
    std::free(std::memset(block, 0xAB, 64));
    EXPECT_EQ(script.mallocCallback(0), nullptr);
    EXPECT_EQ(take(), (Lines{"3 0 Successfully loaded atiadlxx.dll", "2 0 ADL successfully loaded and initialized"}));

    EXPECT_FALSE(adl->reinitialize());
    EXPECT_EQ(script.destroyCalls, 1);
    EXPECT_EQ(script.createCalls, 2);
    EXPECT_EQ(take(), Lines{"3 0 ADL successfully reinitialized"});
    // A refused destroy keeps the context, so the next attempt destroys it again.
    script.destroyStatus = -1;
    EXPECT_EQ(adl->reinitialize(), adlStatusCode(-1));
    script.destroyStatus = 0;
    // A refused create leaves the context closed: the destructor has nothing to destroy.
    script.createStatus = -11;
    EXPECT_EQ(adl->reinitialize(), adlStatusCode(-11));
    EXPECT_TRUE(take().empty());
    adl.reset();
    EXPECT_EQ(script.destroyCalls, 3);
    EXPECT_EQ(script.wrongContextCalls, 0);
}

TEST_F(AdlTest, TheSecondLibraryNameIsTriedAndNeitherOrARefusedContextMeansNoADL) {
    make(4, {"atiadlxy.dll"});
    EXPECT_EQ(take().front(), "3 0 Successfully loaded atiadlxy.dll");
    EXPECT_EQ(failure(4, {}), internal(AdlInternalError::LoadFailed));
    EXPECT_EQ(opened, (Lines{"atiadlxx.dll level 4", "atiadlxy.dll level 4", "atiadlxx.dll level 4",
                             "atiadlxy.dll level 4"}));
    EXPECT_TRUE(take().empty());
    // A refused context is the library's status; without a logger that is no fault either.
    script.createStatus = -2;
    EXPECT_EQ(failure(0, {"atiadlxx.dll"}), adlStatusCode(-2));
    EXPECT_EQ(script.createCalls, 2);
    EXPECT_EQ(script.destroyCalls, 1);  // the first object's alone
}

TEST_F(AdlTest, ALibraryWithoutOneEntryPointIsNotUsed) {
    for (const auto& missing : adl_stand_in::kEntries) {
        SCOPED_TRACE(missing.name);
        adl_stand_in_reset();
        EXPECT_EQ(failure(4, {"atiadlxx.dll"}, missing.name), internal(AdlInternalError::LoadFailed));
        // Binding stops at the missing name, which adds no message, and nothing is called.
        EXPECT_EQ(asked.back(), missing.name);
        EXPECT_EQ(script.createCalls, 0);
        EXPECT_EQ(take(), Lines{"3 0 Successfully loaded atiadlxx.dll"});
    }
}

TEST_F(AdlTest, AdaptersAreTheAmdOnesByPositionWithinTheLimits) {
    auto adl = make();
    take();
    std::map<int32_t, AdapterInfo> adapters;
    adapters[7].iVendorID = 8;  // added to, never cleared
    ASSERT_FALSE(adl->getAdaptersInfo(adapters));
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(adapters[1].iBusNumber, 4);
    // Each adapter is dumped; a full text field without its zero stops at the field's end.
    const Lines logged = take();
    ASSERT_EQ(logged.size(), 2 + 2 * 16u);
    EXPECT_EQ(logged[16], "4 0  strPNPString : " + std::string(ADL_MAX_PATH, 'P'));

    adapters.clear();
    const auto count = [&](int n) {
        script.adapterCount = n;
        return adl->getAdaptersInfo(adapters);
    };
    EXPECT_EQ(count(0), internal(AdlInternalError::NoAdapters));
    EXPECT_EQ(count(251).message(), "too many adapters found");
    script.adapterInfoStatus = -5;
    EXPECT_EQ(count(3), adlStatusCode(-5));
    EXPECT_TRUE(adapters.empty());
    EXPECT_EQ(take(), Lines(3, "4 0 ADL::getAdaptersInfo called"));  // none is an error of ours
    script.adapterInfoStatus = 0;
    for (int i = 0; i < 250; ++i) script.vendorIds[i] = i % 2 == 0 ? 1002 : 4098;
    EXPECT_FALSE(count(250));
    EXPECT_EQ(adapters.size(), 125u);
    EXPECT_EQ(adapters.rbegin()->first, 248);
    // Valid only when the library answers its identifier without any note.
    EXPECT_TRUE(adl->adapterValid(3));
    script.idStatus = 1;
    EXPECT_FALSE(adl->adapterValid(3));
}

TEST_F(AdlTest, AdapterPropsQueryEveryConnectorWithinTheLimitsAndDropTheCriticalOnes) {
    auto adl = make();
    take();
    orvix::AdapterProps props;
    ASSERT_FALSE(adl->getAdapterProps(2, props));
    EXPECT_EQ(props.uniqueID, 79);
    ASSERT_EQ(props.connectorData.size(), 2u);
    EXPECT_EQ(props.connectorData[1].connectionState.iEmulationMode, 1);  // the port asked for link 1
    EXPECT_EQ(props.connectorData[1].supportedConnections.iSupportedConnections, 0x41);
    Lines logged = take();  // per connector 9 lines and one per supported property
    ASSERT_EQ(logged.size(), 2 + 10 + 2 * (9 + 32) + 1);
    EXPECT_EQ(logged[51], "4 0       supportedConnections.iSupportedProperties[31]: 31");

    // Connector counts outside the range keep what was read, and ask no connector.
    script.caps.iNumConnectors = 0;
    EXPECT_EQ(adl->getAdapterProps(1, props), internal(AdlInternalError::NoConnectors));
    EXPECT_EQ(props.uniqueID, 78);
    script.caps.iNumConnectors = 151;
    EXPECT_EQ(adl->getAdapterProps(1, props), internal(AdlInternalError::TooManyConnectors));
    EXPECT_EQ(props.connectorData.size(), 2u);
    script.connectionQueries = 0;
    script.caps.iNumConnectors = 150;
    EXPECT_FALSE(adl->getAdapterProps(1, props));
    EXPECT_EQ(props.connectorData.size(), 150u);
    EXPECT_EQ(script.connectionQueries, 300);
    take();

    // Failing ID and caps queries are warnings; 16 connectors are then asked, and those
    // whose queries fail critically are left out, while warnings keep theirs.
    script.idStatus = -1;
    script.capsStatus = -8;
    script.connectionStateStatus[3] = -7;
    script.supportedConnectionsStatus[5] = -20;
    script.supportedConnectionsStatus[6] = 1;
    script.connectionStateStatus[7] = 3;
    script.connectionStateStatus[9] = script.supportedConnectionsStatus[9] = -3;
    ASSERT_FALSE(adl->getAdapterProps(0, props));
    std::vector<int> kept;
    for (const auto& c : props.connectorData) kept.push_back(c.devicePort.iConnectorIndex);
    EXPECT_EQ(kept, (std::vector<int>{0, 1, 2, 4, 6, 7, 8, 10, 11, 12, 13, 14, 15}));
    logged = take();
    ASSERT_GT(logged.size(), 8u);
    EXPECT_EQ(logged[2], "2 0 Warning: Error encountered in ADL::getAdapterProps when calling ADL2_AdapterX2_Caps, "
                         "continuing! Error code: -8");
    EXPECT_EQ(logged[3], "1 -7 Failed to get adapter properties: Invalid display index passed");
    EXPECT_EQ(logged[5], "4 0 1 Warning >> all OK, but with warning");
    // Each critical failure is reported: connector 9 fails both queries and gives two.
    EXPECT_EQ(std::count_if(logged.begin(), logged.end(), [](const std::string& l) { return l[0] == '1'; }), 4);
}

TEST_F(AdlTest, DisplaysAndModesAreCopiedFromTheLibraryListsWithinTheirLimits) {
    auto adl = make(1);
    std::vector<ADLDisplayInfo> displays;
    ASSERT_FALSE(adl->getAdapterDisplays(4, displays));
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[1].iDisplayConnector, 31);
    // Out-of-range counts and failures leave the sequence as it was; every list the
    // library handed over is released (the sanitizer build checks).
    const auto displaysFor = [&](int count, int status) {
        script.displayCount = count;
        script.displayStatus = status;
        return adl->getAdapterDisplays(4, displays);
    };
    EXPECT_EQ(displaysFor(0, 0), internal(AdlInternalError::NoDisplays));
    EXPECT_EQ(displaysFor(151, 0), internal(AdlInternalError::TooManyDisplays));
    EXPECT_EQ(displaysFor(3, -9), adlStatusCode(-9));
    EXPECT_EQ(displays.size(), 2u);
    EXPECT_FALSE(displaysFor(150, 0));
    EXPECT_EQ(displays.size(), 150u);

    std::vector<ADLMode> modes, possible;
    ASSERT_FALSE(adl->getDisplayModes(1, 2, modes));
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[2].iXRes, 1720);
    EXPECT_EQ(modes[2].displayID.iDisplayLogicalIndex, 2);
    ASSERT_FALSE(adl->getPossibleDisplayModes(1, possible));
    EXPECT_EQ(possible.size(), 3u);
    script.modeCount = 0;
    EXPECT_EQ(adl->getPossibleDisplayModes(1, modes), internal(AdlInternalError::NoDisplayModes));
    EXPECT_EQ(adl->getDisplayModes(1, 2, modes), internal(AdlInternalError::NoDisplayModes));
    script.modeCount = 2;
    script.modeStatus = -7;
    EXPECT_EQ(adl->getDisplayModes(1, 2, modes), adlStatusCode(-7));
    EXPECT_EQ(modes.size(), 3u);  // kept from the first call
}

TEST_F(AdlTest, ModeSettingActivationTimingOverridesAndConnectionData) {
    auto adl = make(3);
    ADLMode mode{};
    mode.iXRes = 2560;
    script.modesSetSleepMs = 30;
    script.modesSetStatus = 2;
    EXPECT_EQ(adl->setDisplayMode(0, 1, mode), adlStatusCode(2));
    EXPECT_EQ(script.modesSetCount, 1);
    EXPECT_EQ(script.modeSet.iXRes, 2560);
    // The call is timed.
    const std::string line = take().back();
    const std::string prefix = "3 0 [Adapter index: 0, Display index: 1] ADL2_Display_Modes_Set took ";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 4), " ms.");
    EXPECT_GE(std::stoi(line.substr(prefix.size())), 30);

    bool flag = false;
    EXPECT_FALSE(adl->setAdapterActive(3, true, flag));
    EXPECT_TRUE(flag);
    script.newlyActivated = 2;  // only 1 means newly activated
    EXPECT_FALSE(adl->setAdapterActive(3, false, flag));
    EXPECT_FALSE(flag);
    EXPECT_EQ(script.activeRequested, 0);
    script.newlyActivated = 1;
    script.activeStatus = -10;
    EXPECT_EQ(adl->setAdapterActive(3, true, flag), adlStatusCode(-10));
    EXPECT_FALSE(flag);  // untouched on failure, as below
    EXPECT_FALSE(adl->getTimingOverrideSupported(3, flag));
    EXPECT_TRUE(flag);
    script.timingSupported = 0;
    script.timingCapsStatus = -8;
    EXPECT_EQ(adl->getTimingOverrideSupported(3, flag), adlStatusCode(-8));
    EXPECT_TRUE(flag);

    const ADLDisplayID display{6, 0, 0, 0};
    ADLDisplayModeX2 in{1280, 720, 0, 50, 0};
    ADLDisplayModeInfo out{};
    EXPECT_EQ(adl->getTimingOverride(3, display, nullptr, &out), internal(AdlInternalError::InvalidCustomMode));
    EXPECT_EQ(adl->getTimingOverride(3, display, &in, nullptr), internal(AdlInternalError::InvalidModeInfo));
    EXPECT_EQ(adl->setTimingOverride(3, 0, nullptr, 1), internal(AdlInternalError::InvalidModeInfo));
    EXPECT_EQ(adl->deleteTimingOverride(3, display, nullptr), internal(AdlInternalError::InvalidCustomMode));
    ASSERT_FALSE(adl->getTimingOverride(3, display, &in, &out));
    EXPECT_EQ(out.iRefreshRate, 50);
    EXPECT_FALSE(adl->deleteTimingOverride(3, display, &in));
    EXPECT_EQ(script.forceUpdate, 1);  // deleting always forces the update

    // The list is asked for at most 64 overrides and refuses any other count.
    std::vector<ADLDisplayModeInfo> overrides(1);
    ASSERT_FALSE(adl->getTimingOverrideList(3, 0, overrides));
    EXPECT_EQ(script.overrideListMax, 64);
    ASSERT_EQ(overrides.size(), 2u);
    EXPECT_EQ(overrides[1].iPelsWidth, 641);
    for (int count : {65, -1}) {
        script.overrideListCount = count;
        EXPECT_EQ(adl->getTimingOverrideList(3, 0, overrides).message(), "invalid number of modes") << count;
    }
    EXPECT_EQ(overrides.size(), 2u);
    script.overrideListCount = 64;
    EXPECT_FALSE(adl->getTimingOverrideList(3, 0, overrides));
    EXPECT_EQ(overrides.size(), 64u);

    ADLConnectionData read{};
    script.connectionData.iConnectionType = 4;
    script.connectionStatus = -3;
    EXPECT_EQ(adl->getCurrentAdapterConnectionData(2, ADLDevicePort{3, {1, {}}}, read), adlStatusCode(-3));
    EXPECT_EQ(script.queryType, 2);  // the current connection
    EXPECT_EQ(read.iConnectionType, 4);
    EXPECT_EQ(script.wrongContextCalls, 0);
}

}  // namespace
