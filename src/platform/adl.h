// The AMD display library (ADL) behind one thread-safe object: AMD adapters and their
// connectors, displays and modes, setting a mode, custom timing overrides, emulated
// display connections and switching adapters on or off.
//
// The vendor library is loaded only through the signed library loader, so a library not
// signed by "Advanced Micro Devices" is never used (on POSIX the loader refuses every
// library, so there is no ADL there). Results are std::error_code values in three
// categories: "ADL" (the library's own statuses), "amd-interface" (failures found here,
// see AdlInternalError) and the conditions of "ADL-severity" (AdlSeverity), which say how
// bad an "ADL" code is. Success is the empty code or ADL status 0: test the code for
// being non-zero.
//
// Every operation may be called from any thread; one mutex serialises the library calls.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "logging/logger.h"
#include "platform/adl_sdk.h"
#include "platform/dynamic_library.h"

namespace orvix {

// Failures that this layer finds itself (category "amd-interface").
enum class AdlInternalError : int {
    LoadFailed = 1,         // "failed to load DLL"
    NoAdapters = 2,         // "no adapters found"
    TooManyAdapters = 3,    // "too many adapters found"
    NoConnectors = 4,       // "no connectors found"
    TooManyConnectors = 5,  // "too many connectors found"
    NoDisplays = 6,         // "no displays found"
    TooManyDisplays = 7,    // "too many displays found"
    NoDisplayModes = 8,     // "no display modes found"
    InvalidCustomMode = 9,  // "invalid custom mode"
    InvalidModeInfo = 10,   // "invalid mode info"
    InvalidModeCount = 11,  // "invalid number of modes"
    NoEncodeSession = 12,   // "encode session is null"
};

// How bad a library status is (category "ADL-severity"): 1 to 4 are warnings, -1 to -12,
// -20 and -21 critical, 0 neither.
enum class AdlSeverity : int {
    Warning = 1,
    Critical = 2,
};

class AdlErrCategory : public std::error_category {
public:
    const char* name() const noexcept override;
    std::string message(int status) const override;
};

class InternalErrCategory : public std::error_category {
public:
    const char* name() const noexcept override;
    std::string message(int code) const override;
};

class AdlSeverityErrcCategory : public std::error_category {
public:
    const char* name() const noexcept override;
    std::string message(int condition) const override;
    // Only codes of the "ADL" category have a severity.
    bool equivalent(const std::error_code& code, int condition) const noexcept override;
};

const std::error_category& adlErrCategory();
const std::error_category& internalErrCategory();
const std::error_category& adlSeverityErrcCategory();

// A library status as an error code.
inline std::error_code adlStatusCode(int status) { return {status, adlErrCategory()}; }
std::error_code make_error_code(AdlInternalError code);
std::error_condition make_error_condition(AdlSeverity severity);

// One connector of an adapter.
struct ConnectorData {
    ADLDevicePort devicePort;
    ADLConnectionState connectionState;
    ADLSupportedConnections supportedConnections;
};

struct AdapterProps {
    int32_t uniqueID = 0;
    ADLAdapterCapsX2 capabilities{};
    std::vector<ConnectorData> connectorData;
};

class iADL {
public:
    virtual ~iADL() = default;

    // Closes the library context (when open) and opens a new one.
    virtual std::error_code reinitialize() = 0;
    // Adds the AMD adapters (vendor 1002) under their position in the library's list;
    // entries already in the map stay unless replaced.
    virtual std::error_code getAdaptersInfo(std::map<int32_t, AdapterInfo>& adapters) = 0;
    // True when the library knows the adapter index.
    virtual bool adapterValid(int adapterIndex) = 0;
    // Unique ID, capabilities and the connectors; connectors whose queries fail
    // critically are left out.
    virtual std::error_code getAdapterProps(int adapterIndex, AdapterProps& props) = 0;
    virtual std::error_code getAdapterBiosInfo(int adapterIndex, ADLBiosInfo& info) = 0;
    virtual std::error_code getAdapterDisplays(int adapterIndex, std::vector<ADLDisplayInfo>& displays) = 0;
    virtual std::error_code getCurrentAdapterConnectionData(int adapterIndex, const ADLDevicePort& port,
                                                            ADLConnectionData& data) = 0;
    virtual std::error_code setAdapterConnectionData(int adapterIndex, const ADLDevicePort& port,
                                                     const ADLConnectionData& data) = 0;
    virtual std::error_code removeAdapterConnectionData(int adapterIndex, const ADLDevicePort& port) = 0;
    virtual std::error_code setAdapterEmulationMode(int adapterIndex, const ADLDevicePort& port,
                                                    int emulationMode) = 0;
    virtual std::error_code getPossibleDisplayModes(int adapterIndex, std::vector<ADLMode>& modes) = 0;
    virtual std::error_code getDisplayModes(int adapterIndex, int displayIndex, std::vector<ADLMode>& modes) = 0;
    virtual std::error_code setDisplayMode(int adapterIndex, int displayIndex, const ADLMode& mode) = 0;
    virtual std::error_code setAdapterActive(int adapterIndex, bool activate, bool& newlyActivated) = 0;
    virtual std::error_code getTimingOverrideSupported(int adapterIndex, bool& supported) = 0;
    // A null modeIn gives InvalidCustomMode, a null modeOut InvalidModeInfo.
    virtual std::error_code getTimingOverride(int adapterIndex, const ADLDisplayID& display,
                                              const ADLDisplayModeX2* modeIn, ADLDisplayModeInfo* modeOut) = 0;
    virtual std::error_code setTimingOverride(int adapterIndex, int displayIndex, const ADLDisplayModeInfo* mode,
                                              int forceUpdate) = 0;
    virtual std::error_code deleteTimingOverride(int adapterIndex, const ADLDisplayID& display,
                                                 const ADLDisplayModeX2* mode) = 0;
    // At most 64 overrides.
    virtual std::error_code getTimingOverrideList(int adapterIndex, int displayIndex,
                                                  std::vector<ADLDisplayModeInfo>& overrides) = 0;
    virtual std::error_code getGraphicsVersions(ADLVersionsInfoX2& versions) = 0;
};

// The single instance, created from logger on the first call (later loggers are
// discarded). Throws std::system_error ("failed to create ADL") when the library cannot be
// loaded, lacks an entry point or refuses a context; nothing is kept then, so the next
// call tries again. Thread-safe.
std::shared_ptr<iADL> getAdlInstance(std::unique_ptr<logging::LoggerBase> logger);

class ADL : public iADL {
public:
    // Opens a library file by name ("atiadlxx.dll", then "atiadlxy.dll"); the logger is
    // for the loader's lines. Null when the library cannot be used.
    using LibraryOpener = std::function<std::unique_ptr<IDynamicLibrary>(const std::string& name,
                                                                        std::unique_ptr<logging::LoggerBase> logger)>;

    // Loads the vendor's signed library. Throws std::system_error as getAdlInstance does.
    explicit ADL(std::unique_ptr<logging::LoggerBase> logger);
    // The same over libraries that opener provides (tests hand in their own).
    ADL(std::unique_ptr<logging::LoggerBase> logger, LibraryOpener opener);
    ~ADL() override;

    ADL(const ADL&) = delete;
    ADL& operator=(const ADL&) = delete;

    std::error_code reinitialize() override;
    std::error_code getAdaptersInfo(std::map<int32_t, AdapterInfo>& adapters) override;
    bool adapterValid(int adapterIndex) override;
    std::error_code getAdapterProps(int adapterIndex, AdapterProps& props) override;
    std::error_code getAdapterBiosInfo(int adapterIndex, ADLBiosInfo& info) override;
    std::error_code getAdapterDisplays(int adapterIndex, std::vector<ADLDisplayInfo>& displays) override;
    std::error_code getCurrentAdapterConnectionData(int adapterIndex, const ADLDevicePort& port,
                                                    ADLConnectionData& data) override;
    std::error_code setAdapterConnectionData(int adapterIndex, const ADLDevicePort& port,
                                             const ADLConnectionData& data) override;
    std::error_code removeAdapterConnectionData(int adapterIndex, const ADLDevicePort& port) override;
    std::error_code setAdapterEmulationMode(int adapterIndex, const ADLDevicePort& port, int emulationMode) override;
    std::error_code getPossibleDisplayModes(int adapterIndex, std::vector<ADLMode>& modes) override;
    std::error_code getDisplayModes(int adapterIndex, int displayIndex, std::vector<ADLMode>& modes) override;
    std::error_code setDisplayMode(int adapterIndex, int displayIndex, const ADLMode& mode) override;
    std::error_code setAdapterActive(int adapterIndex, bool activate, bool& newlyActivated) override;
    std::error_code getTimingOverrideSupported(int adapterIndex, bool& supported) override;
    std::error_code getTimingOverride(int adapterIndex, const ADLDisplayID& display, const ADLDisplayModeX2* modeIn,
                                      ADLDisplayModeInfo* modeOut) override;
    std::error_code setTimingOverride(int adapterIndex, int displayIndex, const ADLDisplayModeInfo* mode,
                                      int forceUpdate) override;
    std::error_code deleteTimingOverride(int adapterIndex, const ADLDisplayID& display,
                                         const ADLDisplayModeX2* mode) override;
    std::error_code getTimingOverrideList(int adapterIndex, int displayIndex,
                                          std::vector<ADLDisplayModeInfo>& overrides) override;
    std::error_code getGraphicsVersions(ADLVersionsInfoX2& versions) override;

private:
    std::error_code initialize(const LibraryOpener& opener);
    std::error_code createContext();
    void bindEntryPoints();
    template <typename Signature>
    void bind(std::function<std::remove_pointer_t<Signature>>& slot, const std::string& name);
    template <typename... Pieces>
    void logAt(uint32_t level, int32_t code, const Pieces&... pieces);
    template <typename... Pieces>
    void trace(const Pieces&... pieces);
    void traceCall(const char* operation, int adapterIndex);
    void dumpAdapters(int count, const std::map<int32_t, AdapterInfo>& adapters);
    void dumpAdapterProps(int adapterIndex, const AdapterProps& props);

    std::unique_ptr<IDynamicLibrary> library_;
    std::mutex mutex_;
    ADL_CONTEXT_HANDLE context_ = nullptr;

    std::function<std::remove_pointer_t<adl_entry::Main_Control_Create>> ADL2_Main_Control_Create;
    std::function<std::remove_pointer_t<adl_entry::Main_Control_Destroy>> ADL2_Main_Control_Destroy;
    std::function<std::remove_pointer_t<adl_entry::Graphics_VersionsX2_Get>> ADL2_Graphics_VersionsX2_Get;
    std::function<std::remove_pointer_t<adl_entry::Adapter_NumberOfAdapters_Get>> ADL2_Adapter_NumberOfAdapters_Get;
    std::function<std::remove_pointer_t<adl_entry::Adapter_AdapterInfo_Get>> ADL2_Adapter_AdapterInfo_Get;
    std::function<std::remove_pointer_t<adl_entry::Adapter_VideoBiosInfo_Get>> ADL2_Adapter_VideoBiosInfo_Get;
    std::function<std::remove_pointer_t<adl_entry::Adapter_ID_Get>> ADL2_Adapter_ID_Get;
    std::function<std::remove_pointer_t<adl_entry::AdapterX2_Caps>> ADL2_AdapterX2_Caps;
    std::function<std::remove_pointer_t<adl_entry::Display_NumberOfDisplays_Get>> ADL2_Display_NumberOfDisplays_Get;
    std::function<std::remove_pointer_t<adl_entry::Display_DisplayInfo_Get>> ADL2_Display_DisplayInfo_Get;
    std::function<std::remove_pointer_t<adl_entry::Display_PossibleMode_Get>> ADL2_Display_PossibleMode_Get;
    std::function<std::remove_pointer_t<adl_entry::Display_Modes_Get>> ADL2_Display_Modes_Get;
    std::function<std::remove_pointer_t<adl_entry::Display_Modes_Set>> ADL2_Display_Modes_Set;
    std::function<std::remove_pointer_t<adl_entry::Adapter_Active_Set>> ADL2_Adapter_Active_Set;
    std::function<std::remove_pointer_t<adl_entry::Adapter_SupportedConnections_Get>>
        ADL2_Adapter_SupportedConnections_Get;
    std::function<std::remove_pointer_t<adl_entry::Adapter_ConnectionState_Get>> ADL2_Adapter_ConnectionState_Get;
    std::function<std::remove_pointer_t<adl_entry::Adapter_ConnectionData_Get>> ADL2_Adapter_ConnectionData_Get;
    std::function<std::remove_pointer_t<adl_entry::Adapter_ConnectionData_Set>> ADL2_Adapter_ConnectionData_Set;
    std::function<std::remove_pointer_t<adl_entry::Adapter_ConnectionData_Remove>> ADL2_Adapter_ConnectionData_Remove;
    std::function<std::remove_pointer_t<adl_entry::Adapter_EmulationMode_Set>> ADL2_Adapter_EmulationMode_Set;
    std::function<std::remove_pointer_t<adl_entry::Adapter_ModeTimingOverride_Caps>>
        ADL2_Adapter_ModeTimingOverride_Caps;
    std::function<std::remove_pointer_t<adl_entry::Display_ModeTimingOverrideX2_Get>>
        ADL2_Display_ModeTimingOverrideX2_Get;
    std::function<std::remove_pointer_t<adl_entry::Display_ModeTimingOverride_Set>>
        ADL2_Display_ModeTimingOverride_Set;
    std::function<std::remove_pointer_t<adl_entry::Display_ModeTimingOverride_Delete>>
        ADL2_Display_ModeTimingOverride_Delete;
    std::function<std::remove_pointer_t<adl_entry::Display_ModeTimingOverrideList_Get>>
        ADL2_Display_ModeTimingOverrideList_Get;

    std::unique_ptr<logging::LoggerBase> logger_;
};

}  // namespace orvix

template <>
struct std::is_error_code_enum<orvix::AdlInternalError> : std::true_type {};
template <>
struct std::is_error_condition_enum<orvix::AdlSeverity> : std::true_type {};
