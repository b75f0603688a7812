// A stand-in for the AMD display library: the 25 entry points the layer binds, each
// answering from a script that tests fill. Natively the entry points are linked into the
// test binary and handed out by a test IDynamicLibrary; under Windows the same file is
// also built as our own atiadlxx.dll, signed with the test vendor certificate.
#pragma once

#include "platform/adl_sdk.h"

#if defined(_WIN32) && defined(ADL_STAND_IN_DLL)
#define ADL_STAND_IN_EXPORT extern "C" __declspec(dllexport)
#else
#define ADL_STAND_IN_EXPORT extern "C"
#endif

constexpr int kStandInMaxAdapters = 260;
constexpr int kStandInMaxConnectors = 160;

// What the stand-in answers, and what it was asked. Statuses start at 0 (success).
struct AdlStandInScript {
    int createStatus = 0;
    int destroyStatus = 0;
    int createCalls = 0;
    int destroyCalls = 0;
    int enumConnectedAdapters = -1;
    ADL_MAIN_MALLOC_CALLBACK mallocCallback = nullptr;
    ADL_CONTEXT_HANDLE context = nullptr;  // the last context handed out, null once destroyed
    int wrongContextCalls = 0;             // calls that did not pass the open context

    int adapterCountStatus = 0;
    int adapterCount = 3;
    int adapterInfoStatus = 0;
    int adapterInfoInputSize = 0;
    int vendorIds[kStandInMaxAdapters] = {4318, 1002, 32902};  // NVIDIA, AMD, Intel

    int idStatus = 0;
    int uniqueId = 77;
    int capsStatus = 0;
    ADLAdapterCapsX2 caps = {5, 2, 3, 1, 0, 0x10, 0x11, 2};
    // Per connector index: the statuses of ConnectionState_Get and SupportedConnections_Get.
    int connectionStateStatus[kStandInMaxConnectors] = {};
    int supportedConnectionsStatus[kStandInMaxConnectors] = {};
    int connectionQueries = 0;

    int biosStatus = 0;
    int displayStatus = 0;
    int displayCount = 2;
    int forceDetect = -1;
    int modeStatus = 0;
    int modeCount = 3;
    int modesSetStatus = 0;
    int modesSetSleepMs = 0;
    int modesSetCount = 0;
    ADLMode modeSet = {};

    int activeStatus = 0;
    int newlyActivated = 1;
    int activeRequested = -1;
    int timingCapsStatus = 0;
    int timingSupported = 1;
    int connectionStatus = 0;  // ConnectionData Get/Set/Remove and EmulationMode_Set
    int queryType = -1;
    int emulationMode = -1;
    ADLDevicePort port = {};
    ADLConnectionData connectionData = {};
    int overrideStatus = 0;  // ModeTimingOverrideX2_Get, _Set, _Delete
    int forceUpdate = -1;
    ADLDisplayModeX2 overrideMode = {};
    int overrideListStatus = 0;
    int overrideListCount = 2;
    int overrideListMax = 0;
    int versionsStatus = 0;

    int callsInFlight = 0;
    int overlappingCalls = 0;  // a call that began while another ran
};

// The stand-in's script (one per module).
ADL_STAND_IN_EXPORT AdlStandInScript* adl_stand_in_script();
// Puts the script back to its defaults.
ADL_STAND_IN_EXPORT void adl_stand_in_reset();

ADL_STAND_IN_EXPORT int ADL2_Main_Control_Create(ADL_MAIN_MALLOC_CALLBACK callback, int iEnumConnectedAdapters,
                                                 ADL_CONTEXT_HANDLE* context);
ADL_STAND_IN_EXPORT int ADL2_Main_Control_Destroy(ADL_CONTEXT_HANDLE context);
ADL_STAND_IN_EXPORT int ADL2_Graphics_VersionsX2_Get(ADL_CONTEXT_HANDLE context, ADLVersionsInfoX2* lpVersionsInfo);
ADL_STAND_IN_EXPORT int ADL2_Adapter_NumberOfAdapters_Get(ADL_CONTEXT_HANDLE context, int* lpNumAdapters);
ADL_STAND_IN_EXPORT int ADL2_Adapter_AdapterInfo_Get(ADL_CONTEXT_HANDLE context, AdapterInfo* lpInfo, int iInputSize);
ADL_STAND_IN_EXPORT int ADL2_Adapter_VideoBiosInfo_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                       ADLBiosInfo* lpBiosInfo);
ADL_STAND_IN_EXPORT int ADL2_Adapter_ID_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpAdapterID);
ADL_STAND_IN_EXPORT int ADL2_AdapterX2_Caps(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                            ADLAdapterCapsX2* adapterCaps);
ADL_STAND_IN_EXPORT int ADL2_Display_NumberOfDisplays_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                          int* lpNumDisplays);
ADL_STAND_IN_EXPORT int ADL2_Display_DisplayInfo_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                     int* lpNumDisplays, ADLDisplayInfo** lppInfo, int iForceDetect);
ADL_STAND_IN_EXPORT int ADL2_Display_PossibleMode_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpNumModes,
                                                      ADLMode** lppModes);
ADL_STAND_IN_EXPORT int ADL2_Display_Modes_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int iDisplayIndex,
                                               int* lpNumModes, ADLMode** lppModes);
ADL_STAND_IN_EXPORT int ADL2_Display_Modes_Set(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int iDisplayIndex,
                                               int iNumModes, ADLMode* lpModes);
ADL_STAND_IN_EXPORT int ADL2_Adapter_Active_Set(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int iStatus,
                                                int* lpNewlyActivate);
ADL_STAND_IN_EXPORT int ADL2_Adapter_SupportedConnections_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                              ADLDevicePort devicePort,
                                                              ADLSupportedConnections* lpADLSupportedConnections);
ADL_STAND_IN_EXPORT int ADL2_Adapter_ConnectionState_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                         ADLDevicePort devicePort,
                                                         ADLConnectionState* lpADLConnectionState);
ADL_STAND_IN_EXPORT int ADL2_Adapter_ConnectionData_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                        ADLDevicePort devicePort, int iQueryType,
                                                        ADLConnectionData* lpConnectionData);
ADL_STAND_IN_EXPORT int ADL2_Adapter_ConnectionData_Set(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                        ADLDevicePort devicePort, ADLConnectionData ConnectionData);
ADL_STAND_IN_EXPORT int ADL2_Adapter_ConnectionData_Remove(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                           ADLDevicePort devicePort);
ADL_STAND_IN_EXPORT int ADL2_Adapter_EmulationMode_Set(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                       ADLDevicePort devicePort, int iEmulationMode);
ADL_STAND_IN_EXPORT int ADL2_Adapter_ModeTimingOverride_Caps(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                             int* lpSupported);
ADL_STAND_IN_EXPORT int ADL2_Display_ModeTimingOverrideX2_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                              ADLDisplayID displayID, ADLDisplayModeX2* lpModeIn,
                                                              ADLDisplayModeInfo* lpModeInfoOut);
ADL_STAND_IN_EXPORT int ADL2_Display_ModeTimingOverride_Set(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                            int iDisplayIndex, ADLDisplayModeInfo* lpMode,
                                                            int iForceUpdate);
ADL_STAND_IN_EXPORT int ADL2_Display_ModeTimingOverride_Delete(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                               ADLDisplayID displayID, ADLDisplayModeX2* lpMode,
                                                               int iForceUpdate);
ADL_STAND_IN_EXPORT int ADL2_Display_ModeTimingOverrideList_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                                int iDisplayIndex, int iMaxNumOfOverrides,
                                                                ADLDisplayModeInfo* lpModeInfoList,
                                                                int* lpNumOfOverrides);
