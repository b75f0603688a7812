// The stand-in's entry points as a loaded library, for tests that give ADL a library
// of their own: getFunction hands out the linked-in entry points by name.
#pragma once

#include <string>
#include <vector>

#include "platform/adl_stand_in/adl_stand_in.h"
#include "platform/dynamic_library.h"

namespace adl_stand_in {

struct Entry {
    const char* name;
    void* address;
};
#define ENTRY(name) {#name, reinterpret_cast<void*>(&name)}
// In the order ADL binds them.
inline const Entry kEntries[] = {
    ENTRY(ADL2_Main_Control_Create),
    ENTRY(ADL2_Main_Control_Destroy),
    ENTRY(ADL2_Graphics_VersionsX2_Get),
    ENTRY(ADL2_Adapter_NumberOfAdapters_Get),
    ENTRY(ADL2_Adapter_AdapterInfo_Get),
    ENTRY(ADL2_Adapter_VideoBiosInfo_Get),
    ENTRY(ADL2_Adapter_ID_Get),
    ENTRY(ADL2_AdapterX2_Caps),
    ENTRY(ADL2_Display_NumberOfDisplays_Get),
    ENTRY(ADL2_Display_DisplayInfo_Get),
    ENTRY(ADL2_Display_PossibleMode_Get),
    ENTRY(ADL2_Display_Modes_Get),
    ENTRY(ADL2_Display_Modes_Set),
    ENTRY(ADL2_Adapter_Active_Set),
    ENTRY(ADL2_Adapter_SupportedConnections_Get),
    ENTRY(ADL2_Adapter_ConnectionState_Get),
    ENTRY(ADL2_Adapter_ConnectionData_Get),
    ENTRY(ADL2_Adapter_ConnectionData_Set),
    ENTRY(ADL2_Adapter_ConnectionData_Remove),
    ENTRY(ADL2_Adapter_EmulationMode_Set),
    ENTRY(ADL2_Adapter_ModeTimingOverride_Caps),
    ENTRY(ADL2_Display_ModeTimingOverrideX2_Get),
    ENTRY(ADL2_Display_ModeTimingOverride_Set),
    ENTRY(ADL2_Display_ModeTimingOverride_Delete),
    ENTRY(ADL2_Display_ModeTimingOverrideList_Get),
};
#undef ENTRY

// The stand-in's entry points as a loaded library; one name can be left out.
class StandInLibrary : public orvix::IDynamicLibrary {
public:
    StandInLibrary(std::vector<std::string>* asked, std::string missing)
        : asked_(asked), missing_(std::move(missing)) {}
    std::string getPath() const override { return "C:\\stand-in\\atiadlxx.dll"; }
    void* getFunction(const std::string& name) override {
        asked_->push_back(name);
        if (name == missing_) return nullptr;
        for (const Entry& e : kEntries) {
            if (name == e.name) return e.address;
        }
        return nullptr;
    }

private:
    std::vector<std::string>* asked_;
    std::string missing_;
};

}  // namespace adl_stand_in
