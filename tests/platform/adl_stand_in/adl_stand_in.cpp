// The scripted entry points of the stand-in display library. Lists are allocated through
// the memory callback given at context creation, as the vendor's library does; the
// caller releases them.
#include "adl_stand_in.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#define EXPORT ADL_STAND_IN_EXPORT
using Context = ADL_CONTEXT_HANDLE;

namespace {

AdlStandInScript script;
// Any non-null value: callers must hand back exactly what they were given.
char contextToken;

// Every scripted call ends here: it counts calls that overlap another one (the caller
// promises to serialise them) or that do not pass the open context.
int answer(Context context, int status) {
    if (std::atomic_ref<int>(script.callsInFlight).fetch_add(1) != 0) {
        std::atomic_ref<int>(script.overlappingCalls).fetch_add(1);
    }
    if (context != &contextToken || script.context == nullptr) ++script.wrongContextCalls;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    std::atomic_ref<int>(script.callsInFlight).fetch_sub(1);
    return status;
}

template <typename T>
T* allocate(int count) {
    if (count <= 0 || script.mallocCallback == nullptr) return nullptr;
    T* list = static_cast<T*>(script.mallocCallback(static_cast<int>(sizeof(T)) * count));
    if (list != nullptr) std::memset(list, 0, sizeof(T) * static_cast<size_t>(count));
    return list;
}

int modes(int display, int* count, ADLMode** list) {
    *count = script.modeCount;
    *list = allocate<ADLMode>(script.modeCount);
    for (int i = 0; *list != nullptr && i < script.modeCount; ++i) {
        (*list)[i].displayID.iDisplayLogicalIndex = display;
        (*list)[i].iXRes = 1920 - 100 * i;
    }
    return script.modeStatus;
}

}  // namespace

EXPORT AdlStandInScript* adl_stand_in_script() { return &script; }
EXPORT void adl_stand_in_reset() { script = AdlStandInScript{}; }

EXPORT int ADL2_Main_Control_Create(ADL_MAIN_MALLOC_CALLBACK callback, int enumConnected, Context* context) {
    ++script.createCalls;
    script.mallocCallback = callback;
    script.enumConnectedAdapters = enumConnected;
    if (script.createStatus == 0) *context = script.context = &contextToken;
    return script.createStatus;
}

EXPORT int ADL2_Main_Control_Destroy(Context c) {
    ++script.destroyCalls;
    if (c != &contextToken || script.context == nullptr) ++script.wrongContextCalls;
    if (script.destroyStatus == 0) script.context = nullptr;
    return script.destroyStatus;
}

EXPORT int ADL2_Graphics_VersionsX2_Get(Context c, ADLVersionsInfoX2* versions) {
    ++script.versionsCalls;
    *versions = script.versions;
    return answer(c, script.versionsStatus);
}

EXPORT int ADL2_Adapter_NumberOfAdapters_Get(Context c, int* count) {
    *count = script.adapterCount;
    return answer(c, 0);
}

EXPORT int ADL2_Adapter_AdapterInfo_Get(Context c, AdapterInfo* info, int size) {
    for (int i = 0; i < size / static_cast<int>(sizeof(AdapterInfo)) && script.adapterInfoStatus == 0; ++i) {
        info[i].iAdapterIndex = i;
        info[i].iBusNumber = 3 + i;
        info[i].iVendorID = script.vendorIds[i];
        std::snprintf(info[i].strAdapterName, sizeof info[i].strAdapterName, "Stand-in Adapter %d", i);
        std::memset(info[i].strPNPString, 'P', sizeof info[i].strPNPString);  // without a terminating zero
    }
    return answer(c, script.adapterInfoStatus);
}

EXPORT int ADL2_Adapter_ID_Get(Context c, int adapter, int* id) {
    if (script.idStatus == 0) *id = 77 + adapter;
    return answer(c, script.idStatus);
}

EXPORT int ADL2_AdapterX2_Caps(Context c, int, ADLAdapterCapsX2* caps) {
    if (script.capsStatus == 0) *caps = script.caps;
    return answer(c, script.capsStatus);
}

EXPORT int ADL2_Display_DisplayInfo_Get(Context c, int adapter, int* count, ADLDisplayInfo** list, int) {
    *count = script.displayCount;
    // Even a failing call may hand over a list; the caller must release it.
    *list = allocate<ADLDisplayInfo>(script.displayCount);
    for (int i = 0; *list != nullptr && i < script.displayCount; ++i) {
        (*list)[i].displayID = {i, 10 + i, adapter, 20 + adapter};
        (*list)[i].iDisplayConnector = 30 + i;
        std::snprintf((*list)[i].strDisplayName, sizeof(*list)[i].strDisplayName, "Display %d", i);
    }
    return answer(c, script.displayStatus);
}

EXPORT int ADL2_Display_PossibleMode_Get(Context c, int, int* count, ADLMode** list) {
    return answer(c, modes(-1, count, list));
}
EXPORT int ADL2_Display_Modes_Get(Context c, int, int display, int* count, ADLMode** list) {
    return answer(c, modes(display, count, list));
}

#ifndef ADL_STAND_IN_WITHOUT_MODES_SET  // the variant that lacks one entry point
EXPORT int ADL2_Display_Modes_Set(Context c, int, int, int count, ADLMode* list) {
    script.modesSetCount = count;
    if (list != nullptr) script.modeSet = *list;
    std::this_thread::sleep_for(std::chrono::milliseconds(script.modesSetSleepMs));
    return answer(c, script.modesSetStatus);
}
#endif

EXPORT int ADL2_Adapter_Active_Set(Context c, int, int status, int* newlyActivated) {
    script.activeRequested = status;
    *newlyActivated = script.newlyActivated;
    return answer(c, script.activeStatus);
}

EXPORT int ADL2_Adapter_SupportedConnections_Get(Context c, int, ADLDevicePort port, ADLSupportedConnections* out) {
    ++script.connectionQueries;
    out->iSupportedConnections = 0x40 + port.iConnectorIndex;
    for (int k = 0; k < ADL_MAX_CONNECTION_TYPES; ++k) out->iSupportedProperties[k] = k;
    return answer(c, script.supportedConnectionsStatus[port.iConnectorIndex]);
}

EXPORT int ADL2_Adapter_ConnectionState_Get(Context c, int, ADLDevicePort port, ADLConnectionState* state) {
    ++script.connectionQueries;
    state->iEmulationMode = port.aMSTRad.iLinkNumber;
    return answer(c, script.connectionStateStatus[port.iConnectorIndex]);
}

EXPORT int ADL2_Adapter_ConnectionData_Get(Context c, int, ADLDevicePort, int type, ADLConnectionData* data) {
    script.queryType = type;
    *data = script.connectionData;
    return answer(c, script.connectionStatus);
}

EXPORT int ADL2_Adapter_ModeTimingOverride_Caps(Context c, int, int* supported) {
    *supported = script.timingSupported;
    return answer(c, script.timingCapsStatus);
}

EXPORT int ADL2_Display_ModeTimingOverrideX2_Get(Context c, int, ADLDisplayID, ADLDisplayModeX2* in,
                                                 ADLDisplayModeInfo* out) {
    out->iRefreshRate = in->iRefreshRate;
    return answer(c, 0);
}

EXPORT int ADL2_Display_ModeTimingOverride_Delete(Context c, int, ADLDisplayID, ADLDisplayModeX2*, int forceUpdate) {
    script.forceUpdate = forceUpdate;
    return answer(c, 0);
}

EXPORT int ADL2_Display_ModeTimingOverrideList_Get(Context c, int, int, int max, ADLDisplayModeInfo* list,
                                                   int* count) {
    script.overrideListMax = max;
    for (int i = 0; i < script.overrideListCount && i < max; ++i) list[i].iPelsWidth = 640 + i;
    *count = script.overrideListCount;
    return answer(c, 0);
}

// Entry points whose answers no test reads.
EXPORT int ADL2_Adapter_VideoBiosInfo_Get(Context c, int, ADLBiosInfo*) { return answer(c, 0); }
EXPORT int ADL2_Display_ModeTimingOverride_Set(Context c, int, int, ADLDisplayModeInfo*, int) { return answer(c, 0); }
EXPORT int ADL2_Display_NumberOfDisplays_Get(Context c, int, int*) { return answer(c, -8); }
EXPORT int ADL2_Adapter_ConnectionData_Set(Context c, int, ADLDevicePort, ADLConnectionData) { return answer(c, 0); }
EXPORT int ADL2_Adapter_ConnectionData_Remove(Context c, int, ADLDevicePort) { return answer(c, 0); }
EXPORT int ADL2_Adapter_EmulationMode_Set(Context c, int, ADLDevicePort, int) { return answer(c, 0); }

#ifndef ADL_STAND_IN_DLL
#define ENTRY(name) {#name, reinterpret_cast<void*>(&name)}
const adl_stand_in::Entry adl_stand_in::kEntries[25] = {
    ENTRY(ADL2_Main_Control_Create), ENTRY(ADL2_Main_Control_Destroy), ENTRY(ADL2_Graphics_VersionsX2_Get),
    ENTRY(ADL2_Adapter_NumberOfAdapters_Get), ENTRY(ADL2_Adapter_AdapterInfo_Get),
    ENTRY(ADL2_Adapter_VideoBiosInfo_Get), ENTRY(ADL2_Adapter_ID_Get), ENTRY(ADL2_AdapterX2_Caps),
    ENTRY(ADL2_Display_NumberOfDisplays_Get), ENTRY(ADL2_Display_DisplayInfo_Get),
    ENTRY(ADL2_Display_PossibleMode_Get), ENTRY(ADL2_Display_Modes_Get), ENTRY(ADL2_Display_Modes_Set),
    ENTRY(ADL2_Adapter_Active_Set), ENTRY(ADL2_Adapter_SupportedConnections_Get),
    ENTRY(ADL2_Adapter_ConnectionState_Get), ENTRY(ADL2_Adapter_ConnectionData_Get),
    ENTRY(ADL2_Adapter_ConnectionData_Set), ENTRY(ADL2_Adapter_ConnectionData_Remove),
    ENTRY(ADL2_Adapter_EmulationMode_Set), ENTRY(ADL2_Adapter_ModeTimingOverride_Caps),
    ENTRY(ADL2_Display_ModeTimingOverrideX2_Get), ENTRY(ADL2_Display_ModeTimingOverride_Set),
    ENTRY(ADL2_Display_ModeTimingOverride_Delete), ENTRY(ADL2_Display_ModeTimingOverrideList_Get),
};
#endif
