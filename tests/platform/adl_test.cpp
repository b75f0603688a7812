#include "platform/adl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/adl_stand_in/adl_stand_in.h"
#include "platform/adl_stand_in/stand_in_library.h"
#include "support/recording_logger.h"

namespace {

using orvix::ADL;
using orvix::AdlInternalError;
using orvix::AdlSeverity;
using adl_stand_in::Entry;
using adl_stand_in::kEntries;
using adl_stand_in::StandInLibrary;

using orvix_test::RecordingLogger;

class AdlTest : public testing::Test {
protected:
    void SetUp() override { adl_stand_in_reset(); }

    // An ADL over the stand-in; the library opens under the names in present.
    std::unique_ptr<ADL> make(uint32_t level = 4, std::set<std::string> present = {"atiadlxx.dll"},
                              std::string missing = "") {
        return std::make_unique<ADL>(std::make_unique<RecordingLogger>(level, &lines), opener(present, missing));
    }
    ADL::LibraryOpener opener(std::set<std::string> present, std::string missing) {
        return [this, present, missing](const std::string& name, std::unique_ptr<orvix::logging::LoggerBase> logger)
                   -> std::unique_ptr<orvix::IDynamicLibrary> {
            opened.push_back(name + " level " + std::to_string(logger->maxLevel));
            if (present.count(name) == 0) return nullptr;
            return std::make_unique<StandInLibrary>(&asked, missing);
        };
    }
    // The lines logged since the last call.
    std::vector<std::string> take() { return std::exchange(lines, {}); }

    AdlStandInScript& script = *adl_stand_in_script();
    std::vector<std::string> lines;
    std::vector<std::string> opened;
    std::vector<std::string> asked;
};

TEST(AdlCategories, NamesMessagesAndSeverity) {
    EXPECT_STREQ(orvix::adlErrCategory().name(), "ADL");
    EXPECT_STREQ(orvix::internalErrCategory().name(), "amd-interface");
    EXPECT_STREQ(orvix::adlSeverityErrcCategory().name(), "ADL-severity");

    const std::pair<int, const char*> statuses[] = {
        {4, "all OK, but need to wait"},
        {3, "all OK, but need restart"},
        {2, "all OK but need mode change"},
        {1, "all OK, but with warning"},
        {0, "ADL function completed successfully"},
        {-1, "Generic ADL Error. Most likely one or more of the Escape calls to the driver failed!"},
        {-2, "ADL not initialized"},
        {-3, "One of the parameter passed is invalid"},
        {-4, "One of the parameter size is invalid"},
        {-5, "Invalid ADL index passed"},
        {-6, "Invalid controller index passed"},
        {-7, "Invalid display index passed"},
        {-8, "Function  not supported by the driver"},
        {-9, "Null Pointer error"},
        {-10, "Call can't be made due to disabled adapter"},
        {-11, "Invalid Callback"},
        {-12, "Display Resource conflict"},
        {-20,
         "Failed to update some of the values. Can be returned by set request that include multiple values if not "
         "all values were successfully committed."},
        {-21, "There's no Linux XDisplay in Linux Console environment"},
        {5, "(unknown error)"},
        {-13, "(unknown error)"},
        {-19, "(unknown error)"},
        {-22, "(unknown error)"},
    };
    for (const auto& [status, message] : statuses) {
        const std::error_code code = orvix::adlStatusCode(status);
        EXPECT_EQ(code.message(), message) << status;
        const bool critical = (status <= -1 && status >= -12) || status == -20 || status == -21;
        const bool warning = status >= 1 && status <= 4;
        EXPECT_EQ(code == AdlSeverity::Critical, critical) << status;
        EXPECT_EQ(code == AdlSeverity::Warning, warning) << status;
        EXPECT_EQ(static_cast<bool>(code), status != 0) << status;
    }

    const char* internal[] = {"(unknown error)",           "failed to load DLL",
                              "no adapters found",         "too many adapters found",
                              "no connectors found",       "too many connectors found",
                              "no displays found",         "too many displays found",
                              "no display modes found",    "invalid custom mode",
                              "invalid mode info",         "invalid number of modes",
                              "encode session is null",    "(unknown error)"};
    for (int code = 0; code <= 13; ++code) {
        EXPECT_EQ(std::error_code(code, orvix::internalErrCategory()).message(), internal[code]) << code;
    }
    // Only library statuses have a severity, whatever the number.
    EXPECT_FALSE(make_error_code(AdlInternalError::NoAdapters) == AdlSeverity::Critical);
    EXPECT_FALSE(std::error_code(1, std::generic_category()) == AdlSeverity::Warning);
    EXPECT_FALSE(std::error_code() == AdlSeverity::Warning);

    EXPECT_EQ(make_error_condition(AdlSeverity::Warning).message(), "warning");
    EXPECT_EQ(make_error_condition(AdlSeverity::Critical).message(), "critical");
    EXPECT_EQ(std::error_condition(0, orvix::adlSeverityErrcCategory()).message(), "(unknown severity)");
    EXPECT_EQ(std::error_condition(3, orvix::adlSeverityErrcCategory()).message(), "(unknown severity)");
}

TEST_F(AdlTest, InitialisationBindsEveryEntryPointInOrderAndOpensAContext) {
    auto adl = make(3);
    ASSERT_EQ(asked.size(), std::size(kEntries));
    for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], kEntries[i].name);
    // The loader logs at this object's level.
    EXPECT_EQ(opened, std::vector<std::string>{"atiadlxx.dll level 3"});
    EXPECT_EQ(script.createCalls, 1);
    EXPECT_EQ(script.enumConnectedAdapters, 1);
    // The memory callback allocates what the library asks for, released with free.
    ASSERT_NE(script.mallocCallback, nullptr);
    void* block = script.mallocCallback(64);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 64);
    std::free(block);
    EXPECT_EQ(script.mallocCallback(0), nullptr);
    EXPECT_EQ(take(), (std::vector<std::string>{"3 0 Successfully loaded atiadlxx.dll",
                                                "2 0 ADL successfully loaded and initialized"}));

    adl.reset();
    EXPECT_EQ(script.destroyCalls, 1);
    EXPECT_EQ(script.context, nullptr);
    EXPECT_EQ(script.wrongContextCalls, 0);
}

TEST_F(AdlTest, TheSecondLibraryNameIsTriedAndNeitherMeansNoADL) {
    auto adl = make(4, {"atiadlxy.dll"});
    EXPECT_EQ(opened, (std::vector<std::string>{"atiadlxx.dll level 4", "atiadlxy.dll level 4"}));
    EXPECT_EQ(take().front(), "3 0 Successfully loaded atiadlxy.dll");
    adl.reset();

    opened.clear();
    try {
        make(4, {});
        FAIL() << "constructed without a library";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), make_error_code(AdlInternalError::LoadFailed));
        EXPECT_NE(std::string(e.what()).find("failed to create ADL"), std::string::npos);
    }
    EXPECT_EQ(opened, (std::vector<std::string>{"atiadlxx.dll level 4", "atiadlxy.dll level 4"}));
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(script.createCalls, 1);  // only by the first object
}

TEST_F(AdlTest, ALibraryWithoutOneEntryPointIsNotUsed) {
    for (const Entry& missing : kEntries) {
        SCOPED_TRACE(missing.name);
        adl_stand_in_reset();
        asked.clear();
        try {
            make(4, {"atiadlxx.dll"}, missing.name);
            ADD_FAILURE() << "constructed";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), make_error_code(AdlInternalError::LoadFailed));
        }
        // Binding stops at the missing name and the library is never called.
        EXPECT_EQ(asked.back(), missing.name);
        EXPECT_EQ(script.createCalls, 0);
        // Only the loading line: the missing name adds no message of its own.
        EXPECT_EQ(take(), std::vector<std::string>{"3 0 Successfully loaded atiadlxx.dll"});
    }
}

TEST_F(AdlTest, ARefusedContextIsTheLibraryStatusAndANullLoggerIsNoFault) {
    script.createStatus = -2;
    try {
        std::make_unique<ADL>(nullptr, opener({"atiadlxx.dll"}, ""));
        FAIL() << "constructed";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), orvix::adlStatusCode(-2));
        EXPECT_NE(std::string(e.what()).find("failed to create ADL"), std::string::npos);
    }
    EXPECT_EQ(script.destroyCalls, 0);
}

TEST_F(AdlTest, ReinitializeClosesAndReopensAndKeepsTrackOfTheContext) {
    auto adl = make(3);
    take();
    EXPECT_FALSE(adl->reinitialize());
    EXPECT_EQ(script.destroyCalls, 1);
    EXPECT_EQ(script.createCalls, 2);
    EXPECT_EQ(take(), std::vector<std::string>{"3 0 ADL successfully reinitialized"});

    // A refused destroy keeps the context, so the next attempt destroys it again.
    script.destroyStatus = -1;
    EXPECT_EQ(adl->reinitialize(), orvix::adlStatusCode(-1));
    EXPECT_EQ(script.createCalls, 2);
    script.destroyStatus = 0;

    // A refused create leaves the context closed: nothing to destroy next time.
    script.createStatus = -11;
    EXPECT_EQ(adl->reinitialize(), orvix::adlStatusCode(-11));
    EXPECT_EQ(script.destroyCalls, 3);
    EXPECT_EQ(adl->reinitialize(), orvix::adlStatusCode(-11));
    EXPECT_EQ(script.destroyCalls, 3);
    EXPECT_TRUE(take().empty());
    adl.reset();
    EXPECT_EQ(script.destroyCalls, 3);  // closed: the destructor has nothing to destroy

    script.createStatus = 0;
    adl = make();
    EXPECT_FALSE(adl->reinitialize());
    adl.reset();
    EXPECT_EQ(script.destroyCalls, 5);
    EXPECT_EQ(script.wrongContextCalls, 0);
}

TEST_F(AdlTest, AdaptersAreTheAmdOnesByPositionAndTheMapIsNotCleared) {
    auto adl = make();
    take();
    std::map<int32_t, AdapterInfo> adapters;
    adapters[1].iVendorID = 7;
    adapters[7].iVendorID = 8;
    ASSERT_FALSE(adl->getAdaptersInfo(adapters));
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(adapters[1].iVendorID, 1002);
    EXPECT_EQ(adapters[1].iBusNumber, 4);
    EXPECT_EQ(adapters[7].iVendorID, 8);
    EXPECT_EQ(script.adapterInfoInputSize, 3 * static_cast<int>(sizeof(AdapterInfo)));

    const std::string pnp(ADL_MAX_PATH, 'P');
    const std::vector<std::string> expected = {
        "4 0 ADL::getAdaptersInfo called",
        "4 0 ADL::getAdaptersInfo Retrieved AdapterInfo for 3 adapters:",
        "4 0 Adapter 1",
        "4 0  iAdapterIndex : 1",
        "4 0  iBusNumber : 4",
        "4 0  iDeviceNumber : 0",
        "4 0  iExist : 1",
        "4 0  iFunctionNumber : 0",
        "4 0  iOSDisplayIndex : 1",
        "4 0  iPresent : 1",
        "4 0  iSize : 1572",
        "4 0  iVendorID : 1002",
        "4 0  strAdapterName : Stand-in Adapter 1",
        "4 0  strDisplayName : \\\\.\\DISPLAY2",
        "4 0  strDriverPath : ",
        "4 0  strDriverPathExt : ",
        "4 0  strPNPString : " + pnp,  // a full field without its zero stops at the field's end
        "4 0  strUDID : PCI_VEN_03EA&DEV_73BF&1",
    };
    const std::vector<std::string> logged = take();
    ASSERT_GE(logged.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(logged.begin(), logged.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(logged[expected.size()], "4 0 Adapter 7");
}

TEST_F(AdlTest, AdapterCountsAndStatuses) {
    auto adl = make(1);
    std::map<int32_t, AdapterInfo> adapters;
    const auto count = [&](int n) {
        script.adapterCount = n;
        return adl->getAdaptersInfo(adapters);
    };
    EXPECT_EQ(count(0), make_error_code(AdlInternalError::NoAdapters));
    EXPECT_EQ(count(-4), make_error_code(AdlInternalError::NoAdapters));
    EXPECT_EQ(count(251), make_error_code(AdlInternalError::TooManyAdapters));
    EXPECT_EQ(count(251).message(), "too many adapters found");
    EXPECT_TRUE(adapters.empty());
    for (int i = 0; i < 250; ++i) script.vendorIds[i] = i % 2 == 0 ? 1002 : 4098;
    EXPECT_FALSE(count(250));
    EXPECT_EQ(adapters.size(), 125u);
    EXPECT_EQ(adapters.rbegin()->first, 248);

    adapters.clear();
    script.adapterCountStatus = -2;
    EXPECT_EQ(count(3), orvix::adlStatusCode(-2));
    script.adapterCountStatus = 0;
    script.adapterInfoStatus = -5;
    EXPECT_EQ(count(3), orvix::adlStatusCode(-5));
    EXPECT_TRUE(adapters.empty());
    EXPECT_TRUE(lines.empty());  // nothing above ERROR, and none of these is an error of ours to log

    script.idStatus = -5;
    EXPECT_FALSE(adl->adapterValid(3));
    script.idStatus = 1;
    EXPECT_FALSE(adl->adapterValid(3));
    script.idStatus = 0;
    EXPECT_TRUE(adl->adapterValid(3));
}

TEST_F(AdlTest, AdapterPropsQueryEveryConnectorAndDropTheCriticalOnes) {
    auto adl = make();
    take();
    orvix::AdapterProps props;
    ASSERT_FALSE(adl->getAdapterProps(2, props));
    EXPECT_EQ(props.uniqueID, 79);
    EXPECT_EQ(props.capabilities.iCapsValue, 0x11);
    ASSERT_EQ(props.connectorData.size(), 2u);
    EXPECT_EQ(props.connectorData[1].devicePort.iConnectorIndex, 1);
    EXPECT_EQ(props.connectorData[1].devicePort.aMSTRad.iLinkNumber, 1);
    EXPECT_EQ(props.connectorData[1].connectionState.iDisplayIndex, 1);
    EXPECT_EQ(props.connectorData[1].supportedConnections.iSupportedConnections, 0x41);
    std::vector<std::string> logged = take();
    const std::vector<std::string> head = {
        "4 0 ADL::getAdapterProps called for adapter index 2",
        "4 0 ADL::getAdapterProps Retrieved AdapterProps for adapter 2",
        "4 0  uniqueID : 79",
        "4 0  capabilities.iAdapterID : 5",
        "4 0  capabilities.iCapsMask : 16",
        "4 0  capabilities.iCapsValue : 17",
        "4 0  capabilities.iNumConnectors : 2",
        "4 0  capabilities.iNumControllers : 2",
        "4 0  capabilities.iNumDisplays : 3",
        "4 0  capabilities.iNumOfGLSyncConnectors : 0",
        "4 0  capabilities.iNumOverlays : 1",
        "4 0  connectorData : {",
        "4 0    {",
        "4 0      devicePort.iConnectorIndex : 0",
        "4 0      devicePort.aMSTRad.iLinkNumber : 1",
        "4 0      devicePort.aMSTRad.rad : ",
        "4 0      connectionState.iDisplayIndex : 0",
        "4 0      connectionState.iEmulationMode : 1",
        "4 0      connectionState.iEmulationStatus : 1",
        "4 0      supportedConnections.iSupportedConnections : 64",
        "4 0       supportedConnections.iSupportedProperties[0]: 0",
    };
    ASSERT_EQ(logged.size(), 2 + 10 + 2 * (9 + 32) + 1);
    EXPECT_EQ(std::vector<std::string>(logged.begin(), logged.begin() + static_cast<long>(head.size())), head);
    EXPECT_EQ(logged[head.size() + 30], "4 0       supportedConnections.iSupportedProperties[31]: 31");
    EXPECT_EQ(logged[head.size() + 31], "4 0    }");
    EXPECT_EQ(logged.back(), "4 0  }");

    // Failing ID and caps queries are warnings; 16 connectors are then asked, and those
    // whose queries fail critically are left out, while warnings keep theirs.
    script.idStatus = -1;
    script.capsStatus = -8;
    script.connectionStateStatus[3] = -7;
    script.supportedConnectionsStatus[5] = -20;
    script.supportedConnectionsStatus[6] = 1;
    script.connectionStateStatus[7] = 3;
    script.connectionStateStatus[9] = -3;
    script.supportedConnectionsStatus[9] = -3;
    props = {};
    props.uniqueID = 5;
    ASSERT_FALSE(adl->getAdapterProps(0, props));
    EXPECT_EQ(props.uniqueID, 5);
    EXPECT_EQ(props.capabilities.iNumConnectors, 16);
    std::vector<int> kept;
    for (const auto& c : props.connectorData) kept.push_back(c.devicePort.iConnectorIndex);
    EXPECT_EQ(kept, (std::vector<int>{0, 1, 2, 4, 6, 7, 8, 10, 11, 12, 13, 14, 15}));
    logged = take();
    const std::vector<std::string> judged = {
        "4 0 ADL::getAdapterProps called for adapter index 0",
        "2 0 Warning: Error encountered in ADL::getAdapterProps when calling ADL2_Adapter_ID_Get, continuing! "
        "Error code: -1",
        "2 0 Warning: Error encountered in ADL::getAdapterProps when calling ADL2_AdapterX2_Caps, continuing! "
        "Error code: -8",
        "1 -7 Failed to get adapter properties: Invalid display index passed",
        "1 -20 Failed to get adapter properties: Failed to update some of the values. Can be returned by set request "
        "that include multiple values if not all values were successfully committed.",
        "4 0 1 Warning >> all OK, but with warning",
        "4 0 3 Warning >> all OK, but need restart",
        "1 -3 Failed to get adapter properties: One of the parameter passed is invalid",
        "4 0 ADL::getAdapterProps Retrieved AdapterProps for adapter 0",
    };
    EXPECT_EQ(std::vector<std::string>(logged.begin(), logged.begin() + static_cast<long>(judged.size())), judged);
}

TEST_F(AdlTest, ConnectorCountsOutsideTheRangeKeepWhatWasRead) {
    auto adl = make(1);
    orvix::AdapterProps props;
    props.connectorData.resize(1);
    props.connectorData[0].devicePort.iConnectorIndex = 42;
    script.caps.iNumConnectors = 0;
    EXPECT_EQ(adl->getAdapterProps(1, props), make_error_code(AdlInternalError::NoConnectors));
    EXPECT_EQ(props.uniqueID, 78);
    EXPECT_EQ(props.capabilities.iAdapterID, 5);
    script.caps.iNumConnectors = 151;
    EXPECT_EQ(adl->getAdapterProps(1, props), make_error_code(AdlInternalError::TooManyConnectors));
    ASSERT_EQ(props.connectorData.size(), 1u);
    EXPECT_EQ(props.connectorData[0].devicePort.iConnectorIndex, 42);
    EXPECT_EQ(script.connectionQueries, 0);
    script.caps.iNumConnectors = 150;
    EXPECT_FALSE(adl->getAdapterProps(1, props));
    EXPECT_EQ(props.connectorData.size(), 150u);
    EXPECT_EQ(script.connectionQueries, 300);
}

TEST_F(AdlTest, DisplaysAreCopiedFromTheLibraryListWithinTheirLimits) {
    auto adl = make();
    take();
    std::vector<ADLDisplayInfo> displays;
    ASSERT_FALSE(adl->getAdapterDisplays(4, displays));
    EXPECT_EQ(script.forceDetect, 0);
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[1].iDisplayConnector, 31);
    EXPECT_STREQ(displays[1].strDisplayName, "Display 1");
    const std::vector<std::string> logged = take();
    ASSERT_EQ(logged.size(), 2 + 2 * 12u);
    EXPECT_EQ(logged[0], "4 0 ADL::getAdapterDisplays called for adapter index 4");
    EXPECT_EQ(logged[1], "4 0 Retrieved ADLDisplayInfo for 2 displays for adapter 4");
    EXPECT_EQ(logged[2], "4 0 Display 0");
    EXPECT_EQ(logged[3], "4 0  displayID.iDisplayLogicalAdapterIndex : 4");
    EXPECT_EQ(logged[25], "4 0  strDisplayManufacturerName : Stand-in Monitors");

    // Out-of-range counts and failures leave the sequence as it was; every list the
    // library handed over is released (the sanitizer build checks).
    const auto displaysFor = [&](int count, int status) {
        script.displayCount = count;
        script.displayStatus = status;
        return adl->getAdapterDisplays(4, displays);
    };
    EXPECT_EQ(displaysFor(0, 0), make_error_code(AdlInternalError::NoDisplays));
    EXPECT_EQ(displaysFor(-1, 0), make_error_code(AdlInternalError::NoDisplays));
    EXPECT_EQ(displaysFor(151, 0), make_error_code(AdlInternalError::TooManyDisplays));
    EXPECT_EQ(displaysFor(3, -9), orvix::adlStatusCode(-9));
    EXPECT_EQ(displays.size(), 2u);
    EXPECT_FALSE(displaysFor(150, 0));
    EXPECT_EQ(displays.size(), 150u);
}

TEST_F(AdlTest, ModesAreCopiedAndSettingOneIsTimed) {
    auto adl = make();
    take();
    std::vector<ADLMode> modes;
    ASSERT_FALSE(adl->getDisplayModes(1, 2, modes));
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[2].iXRes, 1720);
    EXPECT_EQ(modes[2].displayID.iDisplayLogicalIndex, 2);
    std::vector<std::string> logged = take();
    ASSERT_EQ(logged.size(), 2 + 3 * 10u);
    EXPECT_EQ(logged[0], "4 0 ADL::getDisplayModes called for adapter index 1");
    EXPECT_EQ(logged[1], "4 0 Retrieved 3 ADLModes for displays for adapter 1 display 2");
    EXPECT_EQ(logged[2], "4 0  fRefreshRate : 59.5");
    EXPECT_EQ(logged[11], "4 0  iYRes : 1080");

    ASSERT_FALSE(adl->getPossibleDisplayModes(1, modes));
    EXPECT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[0].displayID.iDisplayLogicalIndex, -1);
    script.modeCount = 0;
    EXPECT_EQ(adl->getPossibleDisplayModes(1, modes), make_error_code(AdlInternalError::NoDisplayModes));
    EXPECT_EQ(adl->getDisplayModes(1, 2, modes), make_error_code(AdlInternalError::NoDisplayModes));
    script.modeCount = 2;
    script.modeStatus = -7;
    EXPECT_EQ(adl->getDisplayModes(1, 2, modes), orvix::adlStatusCode(-7));
    EXPECT_EQ(adl->getPossibleDisplayModes(1, modes), orvix::adlStatusCode(-7));
    EXPECT_EQ(modes.size(), 3u);
    take();

    ADLMode mode{};
    mode.iXRes = 2560;
    script.modesSetSleepMs = 30;
    script.modesSetStatus = 2;
    const std::error_code set = adl->setDisplayMode(0, 1, mode);
    EXPECT_EQ(set, orvix::adlStatusCode(2));
    EXPECT_TRUE(set == AdlSeverity::Warning);
    EXPECT_EQ(script.modesSetCount, 1);
    EXPECT_EQ(script.modeSet.iXRes, 2560);
    logged = take();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0], "4 0 ADL::setDisplayMode called for adapter index 0");
    const std::string prefix = "3 0 [Adapter index: 0, Display index: 1] ADL2_Display_Modes_Set took ";
    ASSERT_EQ(logged[1].rfind(prefix, 0), 0u) << logged[1];
    ASSERT_EQ(logged[1].substr(logged[1].size() - 4), " ms.");
    const int ms = std::stoi(logged[1].substr(prefix.size()));
    EXPECT_GE(ms, 30);
    EXPECT_LT(ms, 10000);
}

TEST_F(AdlTest, ActivationTimingOverridesAndConnectionData) {
    auto adl = make();
    take();
    bool flag = false;
    EXPECT_FALSE(adl->setAdapterActive(3, true, flag));
    EXPECT_TRUE(flag);
    EXPECT_EQ(script.activeRequested, 1);
    script.newlyActivated = 2;  // only 1 means newly activated
    EXPECT_FALSE(adl->setAdapterActive(3, false, flag));
    EXPECT_FALSE(flag);
    EXPECT_EQ(script.activeRequested, 0);
    script.newlyActivated = 1;
    script.activeStatus = -10;
    EXPECT_EQ(adl->setAdapterActive(3, true, flag), orvix::adlStatusCode(-10));
    EXPECT_FALSE(flag);  // untouched on failure

    EXPECT_FALSE(adl->getTimingOverrideSupported(3, flag));
    EXPECT_TRUE(flag);
    script.timingCapsStatus = -8;
    EXPECT_EQ(adl->getTimingOverrideSupported(3, flag), orvix::adlStatusCode(-8));
    EXPECT_TRUE(flag);

    const ADLDisplayID display{6, 0, 0, 0};
    ADLDisplayModeX2 in{1280, 720, 0, 50, 0};
    ADLDisplayModeInfo out{};
    EXPECT_EQ(adl->getTimingOverride(3, display, nullptr, &out), make_error_code(AdlInternalError::InvalidCustomMode));
    EXPECT_EQ(adl->getTimingOverride(3, display, &in, nullptr), make_error_code(AdlInternalError::InvalidModeInfo));
    EXPECT_EQ(adl->setTimingOverride(3, 0, nullptr, 1), make_error_code(AdlInternalError::InvalidModeInfo));
    EXPECT_EQ(adl->deleteTimingOverride(3, display, nullptr), make_error_code(AdlInternalError::InvalidCustomMode));
    ASSERT_FALSE(adl->getTimingOverride(3, display, &in, &out));
    EXPECT_EQ(out.iPelsWidth, 1280);
    EXPECT_EQ(out.iRefreshRate, 50);
    EXPECT_FALSE(adl->setTimingOverride(3, 0, &out, 0));
    EXPECT_EQ(script.forceUpdate, 0);
    EXPECT_FALSE(adl->deleteTimingOverride(3, display, &in));
    EXPECT_EQ(script.forceUpdate, 1);
    script.overrideStatus = -6;
    EXPECT_EQ(adl->deleteTimingOverride(3, display, &in), orvix::adlStatusCode(-6));

    std::vector<ADLDisplayModeInfo> overrides(1);
    ASSERT_FALSE(adl->getTimingOverrideList(3, 0, overrides));
    EXPECT_EQ(script.overrideListMax, 64);
    ASSERT_EQ(overrides.size(), 2u);
    EXPECT_EQ(overrides[1].iPelsWidth, 641);
    script.overrideListCount = 65;
    EXPECT_EQ(adl->getTimingOverrideList(3, 0, overrides), make_error_code(AdlInternalError::InvalidModeCount));
    EXPECT_EQ(adl->getTimingOverrideList(3, 0, overrides).message(), "invalid number of modes");
    script.overrideListCount = -1;
    EXPECT_EQ(adl->getTimingOverrideList(3, 0, overrides), make_error_code(AdlInternalError::InvalidModeCount));
    script.overrideListCount = 0;
    script.overrideListStatus = -1;
    EXPECT_EQ(adl->getTimingOverrideList(3, 0, overrides), orvix::adlStatusCode(-1));
    EXPECT_EQ(overrides.size(), 2u);
    script.overrideListStatus = 0;
    script.overrideListCount = 64;
    EXPECT_FALSE(adl->getTimingOverrideList(3, 0, overrides));
    EXPECT_EQ(overrides.size(), 64u);
    take();

    ADLDevicePort port{3, {1, {}}};
    ADLConnectionData data{};
    data.iConnectionType = 4;
    data.EdidData[1023] = 'E';
    EXPECT_FALSE(adl->setAdapterConnectionData(2, port, data));
    EXPECT_EQ(script.connectionData.EdidData[1023], 'E');
    ADLConnectionData read{};
    EXPECT_FALSE(adl->getCurrentAdapterConnectionData(2, port, read));
    EXPECT_EQ(script.queryType, 2);
    EXPECT_EQ(read.iConnectionType, 4);
    EXPECT_FALSE(adl->setAdapterEmulationMode(2, port, 5));
    EXPECT_EQ(script.emulationMode, 5);
    script.connectionStatus = -3;
    EXPECT_EQ(adl->removeAdapterConnectionData(2, port), orvix::adlStatusCode(-3));
    EXPECT_EQ(script.port.iConnectorIndex, 3);

    ADLVersionsInfoX2 versions{};
    EXPECT_FALSE(adl->getGraphicsVersions(versions));
    EXPECT_STREQ(versions.strCrimsonVersion, "24.3.1");
    ADLBiosInfo bios{};
    EXPECT_FALSE(adl->getAdapterBiosInfo(7, bios));
    EXPECT_STREQ(bios.strPartNumber, "113-D412-7");
    script.biosStatus = -5;
    EXPECT_EQ(adl->getAdapterBiosInfo(7, bios), orvix::adlStatusCode(-5));

    EXPECT_EQ(take(), (std::vector<std::string>{
                          "4 0 ADL::setAdapterConnectionData called for adapter index 2 device port connector index: 3",
                          "4 0 ADL::getCurrentAdapterConnectionData called for adapter index 2 device port connector "
                          "index: 3",
                          "4 0 ADL::setAdapterEmulationMode called for adapter index 2 device port connector index: 3",
                          "4 0 ADL::removeAdapterConnectionData called for adapter index 2 device port connector "
                          "index: 3",
                          "4 0 ADL::getGraphicsVersions called",
                          "4 0 ADL::getAdapterBiosInfo called for adapter index 7",
                          "4 0 ADL::getAdapterBiosInfo called for adapter index 7",
                      }));
    adl->setAdapterActive(1, true, flag);
    adl->getTimingOverride(1, display, &in, &out);
    adl->deleteTimingOverride(1, display, &in);
    EXPECT_EQ(take(), (std::vector<std::string>{
                          "4 0 ADL::setAdapterActive called for adapter index 1 activate = 1",
                          "4 0 ADL::getTimingOverride called for adapter index 1 display logical index: 6",
                          "4 0 ADL::deleteTimingOverride called for adapter index 1 display logical index: 6",
                      }));
    EXPECT_EQ(script.wrongContextCalls, 0);
}

}  // namespace
