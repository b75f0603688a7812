// A stand-in for the AMD display library: the 25 entry points the layer binds, each
// answering from a script that tests fill. Natively the entry points are linked into the
// test binary and handed out by adl_stand_in::Library; under Windows the same file is
// also built as our own atiadlxx.dll, signed with the test vendor certificate.
#pragma once

#include "platform/adl_sdk.h"

#if defined(_WIN32) && defined(ADL_STAND_IN_DLL)
#define ADL_STAND_IN_EXPORT extern "C" __declspec(dllexport)
#else
#define ADL_STAND_IN_EXPORT extern "C"
#endif

// What the stand-in answers, and what it was asked. Statuses start at 0 (success).
struct AdlStandInScript {
    int createStatus = 0, destroyStatus = 0, createCalls = 0, destroyCalls = 0, enumConnectedAdapters = -1;
    ADL_MAIN_MALLOC_CALLBACK mallocCallback = nullptr;
    ADL_CONTEXT_HANDLE context = nullptr;  // the last context handed out, null once destroyed
    int wrongContextCalls = 0;             // calls that did not pass the open context
    int callsInFlight = 0, overlappingCalls = 0;

    int versionsStatus = 0, versionsCalls = 0;
    ADLVersionsInfoX2 versions = {"31.0.21912.14", "23.40.12", "24.3.1", ""};
    int adapterCount = 3, adapterInfoStatus = 0, idStatus = 0, capsStatus = 0;
    int vendorIds[250] = {4318, 1002, 32902};  // NVIDIA, AMD, Intel
    ADLAdapterCapsX2 caps = {5, 2, 3, 1, 0, 0x10, 0x11, 2};
    // Per connector index: the statuses of ConnectionState_Get and SupportedConnections_Get.
    int connectionStateStatus[150] = {}, supportedConnectionsStatus[150] = {};
    int connectionQueries = 0;
    int displayStatus = 0, displayCount = 2, modeStatus = 0, modeCount = 3;
    int modesSetStatus = 0, modesSetSleepMs = 0, modesSetCount = 0;
    ADLMode modeSet = {};
    int activeStatus = 0, newlyActivated = 1, activeRequested = -1, timingCapsStatus = 0, timingSupported = 1;
    int connectionStatus = 0, queryType = -1;  // ConnectionData_Get
    ADLConnectionData connectionData = {};
    int forceUpdate = -1, overrideListCount = 2, overrideListMax = 0;  // timing overrides
};

// The stand-in's script (one per module), and putting it back to its defaults.
ADL_STAND_IN_EXPORT AdlStandInScript* adl_stand_in_script();
ADL_STAND_IN_EXPORT void adl_stand_in_reset();

#ifndef ADL_STAND_IN_DLL
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace adl_stand_in {

struct Entry {
    const char* name;
    void* address;
};
extern const Entry kEntries[25];  // in the order ADL binds them

// The linked-in entry points as a loaded library, which records the names asked for and
// leaves one out.
struct Library : orvix::IDynamicLibrary {
    Library(std::vector<std::string>* asked, std::string missing) : asked(asked), missing(std::move(missing)) {}
    std::string getPath() const override { return "C:\\stand-in\\atiadlxx.dll"; }
    void* getFunction(const std::string& name) override {
        asked->push_back(name);
        for (const Entry& e : kEntries) {
            if (name == e.name && name != missing) return e.address;
        }
        return nullptr;
    }
    std::vector<std::string>* asked;
    std::string missing;
};

}  // namespace adl_stand_in
#endif
