// Records and entry-point signatures of the AMD display library (ADL), written from the
// vendor's public SDK documentation: field order, widths and array sizes as the library
// lays them out on 64-bit Windows. The same layout is used on every build, so the
// portable code and its tests see exactly what the library would hand over.
//
// Every record has a size check: a wrong field shifts everything after it, and the
// library would then read or write past our buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr int ADL_MAX_PATH = 256;
constexpr int ADL_MAX_RAD_LINK_COUNT = 15;
constexpr int ADL_MAX_DISPLAY_EDID_DATA_SIZE = 1024;
constexpr int ADL_MAX_CONNECTION_TYPES = 32;

// The library's per-caller context (ADL2 functions take it first).
using ADL_CONTEXT_HANDLE = void*;
// Allocates the buffers that the library returns (display and mode lists).
using ADL_MAIN_MALLOC_CALLBACK = void* (*)(int size);

struct AdapterInfo {
    int iSize;
    int iAdapterIndex;
    char strUDID[ADL_MAX_PATH];
    int iBusNumber;
    int iDeviceNumber;
    int iFunctionNumber;
    int iVendorID;
    char strAdapterName[ADL_MAX_PATH];
    char strDisplayName[ADL_MAX_PATH];
    int iPresent;
    // Windows only in the SDK; the layer always uses the Windows layout.
    int iExist;
    char strDriverPath[ADL_MAX_PATH];
    char strDriverPathExt[ADL_MAX_PATH];
    char strPNPString[ADL_MAX_PATH];
    int iOSDisplayIndex;
};
static_assert(sizeof(AdapterInfo) == 1572, "AdapterInfo layout");

struct ADLBiosInfo {
    char strPartNumber[ADL_MAX_PATH];
    char strVersion[ADL_MAX_PATH];
    char strDate[ADL_MAX_PATH];
};
static_assert(sizeof(ADLBiosInfo) == 768, "ADLBiosInfo layout");

struct ADLDisplayID {
    int iDisplayLogicalIndex;
    int iDisplayPhysicalIndex;
    int iDisplayLogicalAdapterIndex;
    int iDisplayPhysicalAdapterIndex;
};
static_assert(sizeof(ADLDisplayID) == 16, "ADLDisplayID layout");

struct ADLDisplayInfo {
    ADLDisplayID displayID;
    int iDisplayControllerIndex;
    char strDisplayName[ADL_MAX_PATH];
    char strDisplayManufacturerName[ADL_MAX_PATH];
    int iDisplayType;
    int iDisplayOutputType;
    int iDisplayConnector;
    int iDisplayInfoMask;
    int iDisplayInfoValue;
};
static_assert(sizeof(ADLDisplayInfo) == 552, "ADLDisplayInfo layout");

struct ADLMode {
    int iAdapterIndex;
    ADLDisplayID displayID;
    int iXPos;
    int iYPos;
    int iXRes;
    int iYRes;
    int iColourDepth;
    float fRefreshRate;
    int iOrientation;
    int iModeFlag;
    int iModeMask;
    int iModeValue;
};
static_assert(sizeof(ADLMode) == 60, "ADLMode layout");

struct ADLDetailedTiming {
    int iSize;
    short sTimingFlags;
    short sHTotal;
    short sHDisplay;
    short sHSyncStart;
    short sHSyncWidth;
    short sVTotal;
    short sVDisplay;
    short sVSyncStart;
    short sVSyncWidth;
    short sPixelClock;
    short sHOverscanRight;
    short sHOverscanLeft;
    short sVOverscanBottom;
    short sVOverscanTop;
    short sOverscan8B;
    short sOverscanGR;
};
static_assert(sizeof(ADLDetailedTiming) == 36, "ADLDetailedTiming layout");

struct ADLDisplayModeInfo {
    int iTimingStandard;
    int iPossibleStandard;
    int iRefreshRate;
    int iPelsWidth;
    int iPelsHeight;
    ADLDetailedTiming sDetailedTiming;
};
static_assert(sizeof(ADLDisplayModeInfo) == 56, "ADLDisplayModeInfo layout");

struct ADLDisplayModeX2 {
    int iWidth;
    int iHeight;
    int iScanType;
    int iRefreshRate;
    int iTimingStandard;
};
static_assert(sizeof(ADLDisplayModeX2) == 20, "ADLDisplayModeX2 layout");

struct ADLMSTRad {
    int iLinkNumber;
    char rad[ADL_MAX_RAD_LINK_COUNT];
};
static_assert(sizeof(ADLMSTRad) == 20, "ADLMSTRad layout");

struct ADLDevicePort {
    int iConnectorIndex;
    ADLMSTRad aMSTRad;
};
static_assert(sizeof(ADLDevicePort) == 24, "ADLDevicePort layout");

struct ADLConnectionProperties {
    int iValidProperties;
    int iBitrate;
    int iNumberOfLanes;
    int iColorDepth;
    int iStereo3DCaps;
    int iOutputBandwidth;
};
static_assert(sizeof(ADLConnectionProperties) == 24, "ADLConnectionProperties layout");

struct ADLConnectionData {
    int iConnectionType;
    ADLConnectionProperties aConnectionProperties;
    int iNumberofPorts;
    int iActiveConnections;
    int iDataSize;
    char EdidData[ADL_MAX_DISPLAY_EDID_DATA_SIZE];
};
static_assert(sizeof(ADLConnectionData) == 1064, "ADLConnectionData layout");

struct ADLConnectionState {
    int iEmulationStatus;
    int iEmulationMode;
    int iDisplayIndex;
};
static_assert(sizeof(ADLConnectionState) == 12, "ADLConnectionState layout");

struct ADLSupportedConnections {
    int iSupportedConnections;
    int iSupportedProperties[ADL_MAX_CONNECTION_TYPES];
};
static_assert(sizeof(ADLSupportedConnections) == 132, "ADLSupportedConnections layout");

struct ADLVersionsInfoX2 {
    char strDriverVer[ADL_MAX_PATH];
    char strCatalystVersion[ADL_MAX_PATH];
    char strCrimsonVersion[ADL_MAX_PATH];
    char strCatalystWebLink[ADL_MAX_PATH];
};
static_assert(sizeof(ADLVersionsInfoX2) == 1024, "ADLVersionsInfoX2 layout");

// The record ADL2_AdapterX2_Caps fills.
struct ADLAdapterCapsX2 {
    int iAdapterID;
    int iNumControllers;
    int iNumDisplays;
    int iNumOverlays;
    int iNumOfGLSyncConnectors;
    int iCapsMask;
    int iCapsValue;
    int iNumConnectors;
};
static_assert(sizeof(ADLAdapterCapsX2) == 32, "ADLAdapterCapsX2 layout");

// A fixed-size text field of a record, which the library need not terminate.
template <size_t N>
constexpr std::string_view adlText(const char (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return std::string_view(field, n);
}

// Entry points, in the order the layer binds them. Every one returns the library status.
namespace adl_entry {
using Main_Control_Create = int (*)(ADL_MAIN_MALLOC_CALLBACK callback, int iEnumConnectedAdapters,
                                    ADL_CONTEXT_HANDLE* context);
using Main_Control_Destroy = int (*)(ADL_CONTEXT_HANDLE context);
using Graphics_VersionsX2_Get = int (*)(ADL_CONTEXT_HANDLE context, ADLVersionsInfoX2* lpVersionsInfo);
using Adapter_NumberOfAdapters_Get = int (*)(ADL_CONTEXT_HANDLE context, int* lpNumAdapters);
using Adapter_AdapterInfo_Get = int (*)(ADL_CONTEXT_HANDLE context, AdapterInfo* lpInfo, int iInputSize);
using Adapter_VideoBiosInfo_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, ADLBiosInfo* lpBiosInfo);
using Adapter_ID_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpAdapterID);
using AdapterX2_Caps = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, ADLAdapterCapsX2* adapterCaps);
using Display_NumberOfDisplays_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpNumDisplays);
using Display_DisplayInfo_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpNumDisplays,
                                        ADLDisplayInfo** lppInfo, int iForceDetect);
using Display_PossibleMode_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpNumModes,
                                         ADLMode** lppModes);
using Display_Modes_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int iDisplayIndex,
                                  int* lpNumModes, ADLMode** lppModes);
using Display_Modes_Set = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int iDisplayIndex,
                                  int iNumModes, ADLMode* lpModes);
using Adapter_Active_Set = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int iStatus,
                                   int* lpNewlyActivate);
using Adapter_SupportedConnections_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                 ADLDevicePort devicePort,
                                                 ADLSupportedConnections* lpADLSupportedConnections);
using Adapter_ConnectionState_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                            ADLDevicePort devicePort, ADLConnectionState* lpADLConnectionState);
using Adapter_ConnectionData_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, ADLDevicePort devicePort,
                                           int iQueryType, ADLConnectionData* lpConnectionData);
using Adapter_ConnectionData_Set = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, ADLDevicePort devicePort,
                                           ADLConnectionData ConnectionData);
using Adapter_ConnectionData_Remove = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                              ADLDevicePort devicePort);
using Adapter_EmulationMode_Set = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, ADLDevicePort devicePort,
                                          int iEmulationMode);
using Adapter_ModeTimingOverride_Caps = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpSupported);
using Display_ModeTimingOverrideX2_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                 ADLDisplayID displayID, ADLDisplayModeX2* lpModeIn,
                                                 ADLDisplayModeInfo* lpModeInfoOut);
using Display_ModeTimingOverride_Set = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int iDisplayIndex,
                                               ADLDisplayModeInfo* lpMode, int iForceUpdate);
using Display_ModeTimingOverride_Delete = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                  ADLDisplayID displayID, ADLDisplayModeX2* lpMode,
                                                  int iForceUpdate);
using Display_ModeTimingOverrideList_Get = int (*)(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                                   int iDisplayIndex, int iMaxNumOfOverrides,
                                                   ADLDisplayModeInfo* lpModeInfoList, int* lpNumOfOverrides);
}  // namespace adl_entry
