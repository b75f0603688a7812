// The scripted entry points of the stand-in display library. Lists are allocated through
// the memory callback given at context creation, as the vendor's library does; the
// caller releases them.
#include "adl_stand_in.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

AdlStandInScript script;
// Any non-null value: callers must hand back exactly what they were given.
char contextToken;

// Counts calls that overlap another one (the caller promises to serialise them).
class Call {
public:
    Call(ADL_CONTEXT_HANDLE context) {
        if (std::atomic_ref<int>(script.callsInFlight).fetch_add(1) != 0) {
            std::atomic_ref<int>(script.overlappingCalls).fetch_add(1);
        }
        if (context != &contextToken || script.context == nullptr) ++script.wrongContextCalls;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    ~Call() { std::atomic_ref<int>(script.callsInFlight).fetch_sub(1); }
};

template <typename T>
T* allocate(int count) {
    if (count <= 0 || script.mallocCallback == nullptr) return nullptr;
    T* list = static_cast<T*>(script.mallocCallback(static_cast<int>(sizeof(T)) * count));
    if (list != nullptr) std::memset(list, 0, sizeof(T) * static_cast<size_t>(count));
    return list;
}

template <size_t N>
void put(char (&field)[N], const char* text) {
    std::snprintf(field, N, "%s", text);
}

}  // namespace

AdlStandInScript* adl_stand_in_script() { return &script; }

void adl_stand_in_reset() { script = AdlStandInScript{}; }

int ADL2_Main_Control_Create(ADL_MAIN_MALLOC_CALLBACK callback, int iEnumConnectedAdapters,
                             ADL_CONTEXT_HANDLE* context) {
    ++script.createCalls;
    script.mallocCallback = callback;
    script.enumConnectedAdapters = iEnumConnectedAdapters;
    if (script.createStatus != 0) return script.createStatus;
    script.context = &contextToken;
    *context = &contextToken;
    return 0;
}

int ADL2_Main_Control_Destroy(ADL_CONTEXT_HANDLE context) {
    ++script.destroyCalls;
    if (context != &contextToken || script.context == nullptr) ++script.wrongContextCalls;
    if (script.destroyStatus != 0) return script.destroyStatus;
    script.context = nullptr;
    return 0;
}

int ADL2_Graphics_VersionsX2_Get(ADL_CONTEXT_HANDLE context, ADLVersionsInfoX2* lpVersionsInfo) {
    Call call(context);
    if (script.versionsStatus != 0) return script.versionsStatus;
    put(lpVersionsInfo->strDriverVer, "31.0.21912.14");
    put(lpVersionsInfo->strCatalystVersion, "23.40.12");
    put(lpVersionsInfo->strCrimsonVersion, "24.3.1");
    put(lpVersionsInfo->strCatalystWebLink, "");
    return 0;
}

int ADL2_Adapter_NumberOfAdapters_Get(ADL_CONTEXT_HANDLE context, int* lpNumAdapters) {
    Call call(context);
    *lpNumAdapters = script.adapterCount;
    return script.adapterCountStatus;
}

int ADL2_Adapter_AdapterInfo_Get(ADL_CONTEXT_HANDLE context, AdapterInfo* lpInfo, int iInputSize) {
    Call call(context);
    script.adapterInfoInputSize = iInputSize;
    if (script.adapterInfoStatus != 0) return script.adapterInfoStatus;
    const int count = iInputSize / static_cast<int>(sizeof(AdapterInfo));
    for (int i = 0; i < count && i < kStandInMaxAdapters; ++i) {
        AdapterInfo& a = lpInfo[i];
        a.iSize = static_cast<int>(sizeof(AdapterInfo));
        a.iAdapterIndex = i;
        a.iBusNumber = 3 + i;
        a.iVendorID = script.vendorIds[i];
        a.iPresent = 1;
        a.iExist = 1;
        a.iOSDisplayIndex = i;
        std::snprintf(a.strAdapterName, sizeof a.strAdapterName, "Stand-in Adapter %d", i);
        std::snprintf(a.strDisplayName, sizeof a.strDisplayName, "\\\\.\\DISPLAY%d", i + 1);
        std::snprintf(a.strUDID, sizeof a.strUDID, "PCI_VEN_%04X&DEV_73BF&%d", script.vendorIds[i], i);
        // A name that fills its field without a terminating zero.
        std::memset(a.strPNPString, 'P', sizeof a.strPNPString);
    }
    return 0;
}

int ADL2_Adapter_VideoBiosInfo_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, ADLBiosInfo* lpBiosInfo) {
    Call call(context);
    if (script.biosStatus != 0) return script.biosStatus;
    std::snprintf(lpBiosInfo->strPartNumber, sizeof lpBiosInfo->strPartNumber, "113-D412-%d", iAdapterIndex);
    put(lpBiosInfo->strVersion, "022.001.002.008");
    put(lpBiosInfo->strDate, "2023/01/15 10:00");
    return 0;
}

int ADL2_Adapter_ID_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpAdapterID) {
    Call call(context);
    if (script.idStatus != 0) return script.idStatus;
    *lpAdapterID = script.uniqueId + iAdapterIndex;
    return 0;
}

int ADL2_AdapterX2_Caps(ADL_CONTEXT_HANDLE context, int, ADLAdapterCapsX2* adapterCaps) {
    Call call(context);
    if (script.capsStatus != 0) return script.capsStatus;
    *adapterCaps = script.caps;
    return 0;
}

int ADL2_Display_NumberOfDisplays_Get(ADL_CONTEXT_HANDLE context, int, int* lpNumDisplays) {
    Call call(context);
    *lpNumDisplays = script.displayCount;
    return script.displayStatus;
}

int ADL2_Display_DisplayInfo_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpNumDisplays,
                                 ADLDisplayInfo** lppInfo, int iForceDetect) {
    Call call(context);
    script.forceDetect = iForceDetect;
    *lpNumDisplays = script.displayCount;
    // Even a failing call may hand over a list; the caller must release it.
    *lppInfo = allocate<ADLDisplayInfo>(script.displayCount);
    for (int i = 0; *lppInfo != nullptr && i < script.displayCount; ++i) {
        ADLDisplayInfo& d = (*lppInfo)[i];
        d.displayID = {i, 10 + i, iAdapterIndex, 20 + iAdapterIndex};
        d.iDisplayControllerIndex = i;
        d.iDisplayConnector = 30 + i;
        d.iDisplayType = 2;
        d.iDisplayOutputType = 3;
        d.iDisplayInfoMask = 0xFF;
        d.iDisplayInfoValue = 0x3;
        std::snprintf(d.strDisplayName, sizeof d.strDisplayName, "Display %d", i);
        put(d.strDisplayManufacturerName, "Stand-in Monitors");
    }
    return script.displayStatus;
}

namespace {
void fillModes(ADLMode* modes, int count, int adapter, int display) {
    for (int i = 0; modes != nullptr && i < count; ++i) {
        ADLMode& m = modes[i];
        m.iAdapterIndex = adapter;
        m.displayID.iDisplayLogicalIndex = display;
        m.iXRes = 1920 - 100 * i;
        m.iYRes = 1080 - 100 * i;
        m.iColourDepth = 32;
        m.fRefreshRate = 59.5f + static_cast<float>(i);
        m.iModeFlag = i;
    }
}
}  // namespace

int ADL2_Display_PossibleMode_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpNumModes, ADLMode** lppModes) {
    Call call(context);
    *lpNumModes = script.modeCount;
    *lppModes = allocate<ADLMode>(script.modeCount);
    fillModes(*lppModes, script.modeCount, iAdapterIndex, -1);
    return script.modeStatus;
}

int ADL2_Display_Modes_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int iDisplayIndex, int* lpNumModes,
                           ADLMode** lppModes) {
    Call call(context);
    *lpNumModes = script.modeCount;
    *lppModes = allocate<ADLMode>(script.modeCount);
    fillModes(*lppModes, script.modeCount, iAdapterIndex, iDisplayIndex);
    return script.modeStatus;
}

#ifndef ADL_STAND_IN_WITHOUT_MODES_SET  // the variant that lacks one entry point
int ADL2_Display_Modes_Set(ADL_CONTEXT_HANDLE context, int, int, int iNumModes, ADLMode* lpModes) {
    Call call(context);
    script.modesSetCount = iNumModes;
    if (lpModes != nullptr) script.modeSet = *lpModes;
    std::this_thread::sleep_for(std::chrono::milliseconds(script.modesSetSleepMs));
    return script.modesSetStatus;
}
#endif

int ADL2_Adapter_Active_Set(ADL_CONTEXT_HANDLE context, int, int iStatus, int* lpNewlyActivate) {
    Call call(context);
    script.activeRequested = iStatus;
    *lpNewlyActivate = script.newlyActivated;
    return script.activeStatus;
}

int ADL2_Adapter_SupportedConnections_Get(ADL_CONTEXT_HANDLE context, int, ADLDevicePort devicePort,
                                          ADLSupportedConnections* lpADLSupportedConnections) {
    Call call(context);
    ++script.connectionQueries;
    const int connector = devicePort.iConnectorIndex;
    if (connector < 0 || connector >= kStandInMaxConnectors) return -3;
    lpADLSupportedConnections->iSupportedConnections = 0x40 + connector;
    for (int k = 0; k < ADL_MAX_CONNECTION_TYPES; ++k) lpADLSupportedConnections->iSupportedProperties[k] = k;
    return script.supportedConnectionsStatus[connector];
}

int ADL2_Adapter_ConnectionState_Get(ADL_CONTEXT_HANDLE context, int, ADLDevicePort devicePort,
                                     ADLConnectionState* lpADLConnectionState) {
    Call call(context);
    ++script.connectionQueries;
    const int connector = devicePort.iConnectorIndex;
    if (connector < 0 || connector >= kStandInMaxConnectors) return -3;
    lpADLConnectionState->iDisplayIndex = connector;
    lpADLConnectionState->iEmulationMode = devicePort.aMSTRad.iLinkNumber;
    lpADLConnectionState->iEmulationStatus = 1;
    return script.connectionStateStatus[connector];
}

int ADL2_Adapter_ConnectionData_Get(ADL_CONTEXT_HANDLE context, int, ADLDevicePort devicePort, int iQueryType,
                                    ADLConnectionData* lpConnectionData) {
    Call call(context);
    script.port = devicePort;
    script.queryType = iQueryType;
    *lpConnectionData = script.connectionData;
    return script.connectionStatus;
}

int ADL2_Adapter_ConnectionData_Set(ADL_CONTEXT_HANDLE context, int, ADLDevicePort devicePort,
                                    ADLConnectionData ConnectionData) {
    Call call(context);
    script.port = devicePort;
    script.connectionData = ConnectionData;
    return script.connectionStatus;
}

int ADL2_Adapter_ConnectionData_Remove(ADL_CONTEXT_HANDLE context, int, ADLDevicePort devicePort) {
    Call call(context);
    script.port = devicePort;
    return script.connectionStatus;
}

int ADL2_Adapter_EmulationMode_Set(ADL_CONTEXT_HANDLE context, int, ADLDevicePort devicePort, int iEmulationMode) {
    Call call(context);
    script.port = devicePort;
    script.emulationMode = iEmulationMode;
    return script.connectionStatus;
}

int ADL2_Adapter_ModeTimingOverride_Caps(ADL_CONTEXT_HANDLE context, int, int* lpSupported) {
    Call call(context);
    *lpSupported = script.timingSupported;
    return script.timingCapsStatus;
}

int ADL2_Display_ModeTimingOverrideX2_Get(ADL_CONTEXT_HANDLE context, int, ADLDisplayID, ADLDisplayModeX2* lpModeIn,
                                          ADLDisplayModeInfo* lpModeInfoOut) {
    Call call(context);
    script.overrideMode = *lpModeIn;
    lpModeInfoOut->iPelsWidth = lpModeIn->iWidth;
    lpModeInfoOut->iPelsHeight = lpModeIn->iHeight;
    lpModeInfoOut->iRefreshRate = lpModeIn->iRefreshRate;
    return script.overrideStatus;
}

int ADL2_Display_ModeTimingOverride_Set(ADL_CONTEXT_HANDLE context, int, int, ADLDisplayModeInfo* lpMode,
                                        int iForceUpdate) {
    Call call(context);
    script.forceUpdate = iForceUpdate;
    script.overrideMode.iWidth = lpMode->iPelsWidth;
    return script.overrideStatus;
}

int ADL2_Display_ModeTimingOverride_Delete(ADL_CONTEXT_HANDLE context, int, ADLDisplayID, ADLDisplayModeX2* lpMode,
                                           int iForceUpdate) {
    Call call(context);
    script.forceUpdate = iForceUpdate;
    script.overrideMode = *lpMode;
    return script.overrideStatus;
}

int ADL2_Display_ModeTimingOverrideList_Get(ADL_CONTEXT_HANDLE context, int, int, int iMaxNumOfOverrides,
                                            ADLDisplayModeInfo* lpModeInfoList, int* lpNumOfOverrides) {
    Call call(context);
    script.overrideListMax = iMaxNumOfOverrides;
    for (int i = 0; i < script.overrideListCount && i < iMaxNumOfOverrides; ++i) {
        lpModeInfoList[i].iPelsWidth = 640 + i;
        lpModeInfoList[i].iRefreshRate = 60;
    }
    *lpNumOfOverrides = script.overrideListCount;
    return script.overrideListStatus;
}
