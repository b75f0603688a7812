// The AMD display library object: loading and binding, the status categories, and every
// operation with its count checks and TRACE dumps. Portable: the library comes from an
// IDynamicLibrary, so tests hand in their own entry points.
#include "platform/adl.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "logging/nop_logger.h"

namespace orvix {
namespace {

constexpr uint32_t kError = 1;
constexpr uint32_t kInfo = 2;
constexpr uint32_t kDebug = 3;
constexpr uint32_t kTrace = 4;

constexpr int kAmdVendorId = 1002;  // the library reports PCI vendor 0x1002 as the number 1002
constexpr int kMaxAdapters = 250;
constexpr int kMaxConnectors = 150;
constexpr int kMaxDisplays = 150;
constexpr int kMaxTimingOverrides = 64;
constexpr int kConnectorsWhenCapsFail = 16;
constexpr int kQueryCurrentConnection = 2;

// The library allocates the lists it returns through this; they are released with free.
void* adlMalloc(int size) { return size > 0 ? std::malloc(static_cast<size_t>(size)) : nullptr; }

std::error_code internal(AdlInternalError code) { return make_error_code(code); }

bool isCritical(int status) {
    return (status >= -12 && status <= -1) || status == -20 || status == -21;
}

// Takes the library-allocated buffer and releases it with free whatever happens next.
template <typename T>
struct LibraryBuffer {
    T* data = nullptr;
    ~LibraryBuffer() { std::free(data); }
};

}  // namespace

// ---- error categories -------------------------------------------------------------

const char* AdlErrCategory::name() const noexcept { return "ADL"; }

std::string AdlErrCategory::message(int status) const {
    switch (status) {
        case 4: return "all OK, but need to wait";
        case 3: return "all OK, but need restart";
        case 2: return "all OK but need mode change";
        case 1: return "all OK, but with warning";
        case 0: return "ADL function completed successfully";
        case -1: return "Generic ADL Error. Most likely one or more of the Escape calls to the driver failed!";
        case -2: return "ADL not initialized";
        case -3: return "One of the parameter passed is invalid";
        case -4: return "One of the parameter size is invalid";
        case -5: return "Invalid ADL index passed";
        case -6: return "Invalid controller index passed";
        case -7: return "Invalid display index passed";
        case -8: return "Function  not supported by the driver";
        case -9: return "Null Pointer error";
        case -10: return "Call can't be made due to disabled adapter";
        case -11: return "Invalid Callback";
        case -12: return "Display Resource conflict";
        case -20:
            return "Failed to update some of the values. Can be returned by set request that include multiple "
                   "values if not all values were successfully committed.";
        case -21: return "There's no Linux XDisplay in Linux Console environment";
        default: return "(unknown error)";
    }
}

const char* InternalErrCategory::name() const noexcept { return "amd-interface"; }

std::string InternalErrCategory::message(int code) const {
    switch (static_cast<AdlInternalError>(code)) {
        case AdlInternalError::LoadFailed: return "failed to load DLL";
        case AdlInternalError::NoAdapters: return "no adapters found";
        case AdlInternalError::TooManyAdapters: return "too many adapters found";
        case AdlInternalError::NoConnectors: return "no connectors found";
        case AdlInternalError::TooManyConnectors: return "too many connectors found";
        case AdlInternalError::NoDisplays: return "no displays found";
        case AdlInternalError::TooManyDisplays: return "too many displays found";
        case AdlInternalError::NoDisplayModes: return "no display modes found";
        case AdlInternalError::InvalidCustomMode: return "invalid custom mode";
        case AdlInternalError::InvalidModeInfo: return "invalid mode info";
        case AdlInternalError::InvalidModeCount: return "invalid number of modes";
        case AdlInternalError::NoEncodeSession: return "encode session is null";
    }
    return "(unknown error)";
}

const char* AdlSeverityErrcCategory::name() const noexcept { return "ADL-severity"; }

std::string AdlSeverityErrcCategory::message(int condition) const {
    switch (static_cast<AdlSeverity>(condition)) {
        case AdlSeverity::Warning: return "warning";
        case AdlSeverity::Critical: return "critical";
    }
    return "(unknown severity)";
}

bool AdlSeverityErrcCategory::equivalent(const std::error_code& code, int condition) const noexcept {
    if (code.category() != adlErrCategory()) return false;
    const int status = code.value();
    switch (static_cast<AdlSeverity>(condition)) {
        case AdlSeverity::Warning: return status >= 1 && status <= 4;
        case AdlSeverity::Critical: return isCritical(status);
    }
    return false;
}

const std::error_category& adlErrCategory() {
    static const AdlErrCategory category;
    return category;
}

const std::error_category& internalErrCategory() {
    static const InternalErrCategory category;
    return category;
}

const std::error_category& adlSeverityErrcCategory() {
    static const AdlSeverityErrcCategory category;
    return category;
}

std::error_code make_error_code(AdlInternalError code) { return {static_cast<int>(code), internalErrCategory()}; }

std::error_condition make_error_condition(AdlSeverity severity) {
    return {static_cast<int>(severity), adlSeverityErrcCategory()};
}

// ---- logging ----------------------------------------------------------------------

template <typename... Pieces>
void ADL::logAt(uint32_t level, int32_t code, const Pieces&... pieces) {
    if (!logger_->isEnabled(level)) return;
    logger_->write(logger_->formatter->join(pieces...), level, code);
}

template <typename... Pieces>
void ADL::trace(const Pieces&... pieces) {
    logAt(kTrace, logger_->defaultCode, pieces...);
}

void ADL::traceCall(const char* operation, int adapterIndex) {
    trace(std::string("ADL::") + operation, "called for adapter index", adapterIndex);
}

// ---- construction -----------------------------------------------------------------

ADL::ADL(std::unique_ptr<logging::LoggerBase> logger, LibraryOpener opener)
    : logger_(logger ? std::move(logger) : std::make_unique<logging::NOPLogger>()) {
    const std::error_code result = initialize(opener);
    if (result) throw std::system_error(result, "failed to create ADL");
}

ADL::~ADL() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (context_ != nullptr && ADL2_Main_Control_Destroy) {
        ADL2_Main_Control_Destroy(context_);
        context_ = nullptr;
    }
}

template <typename Signature>
void ADL::bind(std::function<std::remove_pointer_t<Signature>>& slot, const std::string& name) {
    if (name.empty()) throw std::invalid_argument("No function name supplied");
    void* address = library_->getFunction(name);
    if (address == nullptr) throw std::runtime_error("Failed to load function: " + name);
    slot = reinterpret_cast<Signature>(address);
}

void ADL::bindEntryPoints() {
    using namespace adl_entry;
#define ORVIX_ADL_BIND(entry) bind<entry>(ADL2_##entry, "ADL2_" #entry)
    ORVIX_ADL_BIND(Main_Control_Create);
    ORVIX_ADL_BIND(Main_Control_Destroy);
    ORVIX_ADL_BIND(Graphics_VersionsX2_Get);
    ORVIX_ADL_BIND(Adapter_NumberOfAdapters_Get);
    ORVIX_ADL_BIND(Adapter_AdapterInfo_Get);
    ORVIX_ADL_BIND(Adapter_VideoBiosInfo_Get);
    ORVIX_ADL_BIND(Adapter_ID_Get);
    ORVIX_ADL_BIND(AdapterX2_Caps);
    ORVIX_ADL_BIND(Display_NumberOfDisplays_Get);
    ORVIX_ADL_BIND(Display_DisplayInfo_Get);
    ORVIX_ADL_BIND(Display_PossibleMode_Get);
    ORVIX_ADL_BIND(Display_Modes_Get);
    ORVIX_ADL_BIND(Display_Modes_Set);
    ORVIX_ADL_BIND(Adapter_Active_Set);
    ORVIX_ADL_BIND(Adapter_SupportedConnections_Get);
    ORVIX_ADL_BIND(Adapter_ConnectionState_Get);
    ORVIX_ADL_BIND(Adapter_ConnectionData_Get);
    ORVIX_ADL_BIND(Adapter_ConnectionData_Set);
    ORVIX_ADL_BIND(Adapter_ConnectionData_Remove);
    ORVIX_ADL_BIND(Adapter_EmulationMode_Set);
    ORVIX_ADL_BIND(Adapter_ModeTimingOverride_Caps);
    ORVIX_ADL_BIND(Display_ModeTimingOverrideX2_Get);
    ORVIX_ADL_BIND(Display_ModeTimingOverride_Set);
    ORVIX_ADL_BIND(Display_ModeTimingOverride_Delete);
    ORVIX_ADL_BIND(Display_ModeTimingOverrideList_Get);
#undef ORVIX_ADL_BIND
}

std::error_code ADL::initialize(const LibraryOpener& opener) {
    std::lock_guard<std::mutex> lock(mutex_);
    const char* loaded = nullptr;
    for (const char* name : {"atiadlxx.dll", "atiadlxy.dll"}) {
        // The loader's lines show at this object's level.
        std::unique_ptr<logging::LoggerBase> loaderLogger = logger_->clone();
        loaderLogger->maxLevel = logger_->maxLevel;
        library_ = opener ? opener(name, std::move(loaderLogger)) : nullptr;
        if (library_) {
            loaded = name;
            break;
        }
    }
    if (!library_) return internal(AdlInternalError::LoadFailed);
    logAt(kDebug, logger_->defaultCode, std::string("Successfully loaded ") + loaded);

    try {
        bindEntryPoints();
    } catch (const std::exception&) {
        // A library without every entry point is not used at all.
        return internal(AdlInternalError::LoadFailed);
    }

    const std::error_code created = createContext();
    if (created) return created;
    logAt(kInfo, logger_->defaultCode, "ADL successfully loaded and initialized");
    return {};
}

std::error_code ADL::createContext() {
    // 1: only the adapters that are connected.
    const int status = ADL2_Main_Control_Create(adlMalloc, 1, &context_);
    if (status != 0) return adlStatusCode(status);
    return {};
}

std::error_code ADL::reinitialize() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (context_ != nullptr) {
        const int status = ADL2_Main_Control_Destroy(context_);
        if (status != 0) return adlStatusCode(status);
        context_ = nullptr;
    }
    const std::error_code created = createContext();
    if (created) return created;
    logAt(kDebug, logger_->defaultCode, "ADL successfully reinitialized");
    return {};
}

// ---- adapters ---------------------------------------------------------------------

std::error_code ADL::getAdaptersInfo(std::map<int32_t, AdapterInfo>& adapters) {
    trace("ADL::getAdaptersInfo", "called");
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    int status = ADL2_Adapter_NumberOfAdapters_Get(context_, &count);
    if (status != 0) return adlStatusCode(status);
    if (count <= 0) return internal(AdlInternalError::NoAdapters);
    if (count > kMaxAdapters) return internal(AdlInternalError::TooManyAdapters);

    std::vector<AdapterInfo> infos(static_cast<size_t>(count));
    std::memset(infos.data(), 0, infos.size() * sizeof(AdapterInfo));
    status = ADL2_Adapter_AdapterInfo_Get(context_, infos.data(), static_cast<int>(infos.size() * sizeof(AdapterInfo)));
    if (status != 0) return adlStatusCode(status);
    for (int i = 0; i < count; ++i) {
        if (infos[static_cast<size_t>(i)].iVendorID == kAmdVendorId) adapters[i] = infos[static_cast<size_t>(i)];
    }
    dumpAdapters(count, adapters);
    return {};
}

void ADL::dumpAdapters(int count, const std::map<int32_t, AdapterInfo>& adapters) {
    if (!logger_->isEnabled(kTrace)) return;
    trace("ADL::getAdaptersInfo", "Retrieved AdapterInfo for", count, "adapters:");
    for (const auto& [key, a] : adapters) {
        trace("Adapter", key);
        trace(" iAdapterIndex :", a.iAdapterIndex);
        trace(" iBusNumber :", a.iBusNumber);
        trace(" iDeviceNumber :", a.iDeviceNumber);
        trace(" iExist :", a.iExist);
        trace(" iFunctionNumber :", a.iFunctionNumber);
        trace(" iOSDisplayIndex :", a.iOSDisplayIndex);
        trace(" iPresent :", a.iPresent);
        trace(" iSize :", a.iSize);
        trace(" iVendorID :", a.iVendorID);
        trace(" strAdapterName :", adlText(a.strAdapterName));
        trace(" strDisplayName :", adlText(a.strDisplayName));
        trace(" strDriverPath :", adlText(a.strDriverPath));
        trace(" strDriverPathExt :", adlText(a.strDriverPathExt));
        trace(" strPNPString :", adlText(a.strPNPString));
        trace(" strUDID :", adlText(a.strUDID));
    }
}

bool ADL::adapterValid(int adapterIndex) {
    traceCall("adapterValid", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    int id = 0;
    return ADL2_Adapter_ID_Get(context_, adapterIndex, &id) == 0;
}

std::error_code ADL::getAdapterProps(int adapterIndex, AdapterProps& props) {
    traceCall("getAdapterProps", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    int status = ADL2_Adapter_ID_Get(context_, adapterIndex, &props.uniqueID);
    if (status != 0) {
        logAt(kInfo, logger_->defaultCode, "Warning: Error encountered in", "ADL::getAdapterProps",
              "when calling ADL2_Adapter_ID_Get, continuing! Error code:", status);
    }
    status = ADL2_AdapterX2_Caps(context_, adapterIndex, &props.capabilities);
    if (status != 0) {
        logAt(kInfo, logger_->defaultCode, "Warning: Error encountered in", "ADL::getAdapterProps",
              "when calling ADL2_AdapterX2_Caps, continuing! Error code:", status);
        // The usual connector count of an adapter, so the connectors can still be asked.
        props.capabilities.iNumConnectors = kConnectorsWhenCapsFail;
    }
    const int count = props.capabilities.iNumConnectors;
    if (count <= 0) return internal(AdlInternalError::NoConnectors);
    if (count > kMaxConnectors) return internal(AdlInternalError::TooManyConnectors);

    std::vector<ConnectorData> connectors;
    connectors.reserve(static_cast<size_t>(count));
    for (int connector = 0; connector < count; ++connector) {
        ConnectorData data;
        std::memset(&data, 0, sizeof data);
        data.devicePort.iConnectorIndex = connector;
        data.devicePort.aMSTRad.iLinkNumber = 1;
        // Both queries run; each failure is judged on its own, and a critical one of
        // either drops the connector.
        bool keep = true;
        for (int query = 0; query < 2; ++query) {
            status = query == 0 ? ADL2_Adapter_ConnectionState_Get(context_, adapterIndex, data.devicePort,
                                                                   &data.connectionState)
                                : ADL2_Adapter_SupportedConnections_Get(context_, adapterIndex, data.devicePort,
                                                                        &data.supportedConnections);
            if (status == 0) continue;
            const std::error_code code = adlStatusCode(status);
            if (code == AdlSeverity::Critical) {
                logAt(kError, status, "Failed to get adapter properties: " + code.message());
                keep = false;
            } else {
                trace(status, "Warning >> " + code.message());
            }
        }
        if (keep) connectors.push_back(data);
    }
    props.connectorData = std::move(connectors);
    dumpAdapterProps(adapterIndex, props);
    return {};
}

void ADL::dumpAdapterProps(int adapterIndex, const AdapterProps& props) {
    if (!logger_->isEnabled(kTrace)) return;
    const ADLAdapterCapsX2& caps = props.capabilities;
    trace("ADL::getAdapterProps", "Retrieved AdapterProps for adapter", adapterIndex);
    trace(" uniqueID :", props.uniqueID);
    trace(" capabilities.iAdapterID :", caps.iAdapterID);
    trace(" capabilities.iCapsMask :", caps.iCapsMask);
    trace(" capabilities.iCapsValue :", caps.iCapsValue);
    trace(" capabilities.iNumConnectors :", caps.iNumConnectors);
    trace(" capabilities.iNumControllers :", caps.iNumControllers);
    trace(" capabilities.iNumDisplays :", caps.iNumDisplays);
    trace(" capabilities.iNumOfGLSyncConnectors :", caps.iNumOfGLSyncConnectors);
    trace(" capabilities.iNumOverlays :", caps.iNumOverlays);
    trace(" connectorData : {");
    for (const ConnectorData& c : props.connectorData) {
        trace("   {");
        trace("     devicePort.iConnectorIndex :", c.devicePort.iConnectorIndex);
        trace("     devicePort.aMSTRad.iLinkNumber :", c.devicePort.aMSTRad.iLinkNumber);
        trace("     devicePort.aMSTRad.rad :", adlText(c.devicePort.aMSTRad.rad));
        trace("     connectionState.iDisplayIndex :", c.connectionState.iDisplayIndex);
        trace("     connectionState.iEmulationMode :", c.connectionState.iEmulationMode);
        trace("     connectionState.iEmulationStatus :", c.connectionState.iEmulationStatus);
        trace("     supportedConnections.iSupportedConnections :", c.supportedConnections.iSupportedConnections);
        for (int k = 0; k < ADL_MAX_CONNECTION_TYPES; ++k) {
            trace("      supportedConnections.iSupportedProperties[" + std::to_string(k) + "]:",
                  c.supportedConnections.iSupportedProperties[k]);
        }
        trace("   }");
    }
    trace(" }");
}

std::error_code ADL::getAdapterBiosInfo(int adapterIndex, ADLBiosInfo& info) {
    traceCall("getAdapterBiosInfo", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    return adlStatusCode(ADL2_Adapter_VideoBiosInfo_Get(context_, adapterIndex, &info));
}

std::error_code ADL::setAdapterActive(int adapterIndex, bool activate, bool& newlyActivated) {
    trace(std::string("ADL::setAdapterActive"), "called for adapter index", adapterIndex, "activate =", activate);
    std::lock_guard<std::mutex> lock(mutex_);
    int newly = 0;
    const int status = ADL2_Adapter_Active_Set(context_, adapterIndex, activate ? 1 : 0, &newly);
    if (status == 0) newlyActivated = newly == 1;
    return adlStatusCode(status);
}

// ---- displays and modes -----------------------------------------------------------

std::error_code ADL::getAdapterDisplays(int adapterIndex, std::vector<ADLDisplayInfo>& displays) {
    traceCall("getAdapterDisplays", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    LibraryBuffer<ADLDisplayInfo> buffer;
    const int status = ADL2_Display_DisplayInfo_Get(context_, adapterIndex, &count, &buffer.data, 0);
    if (status != 0) return adlStatusCode(status);
    if (count < 1) return internal(AdlInternalError::NoDisplays);
    if (count > kMaxDisplays) return internal(AdlInternalError::TooManyDisplays);
    if (buffer.data == nullptr) return internal(AdlInternalError::NoDisplays);
    displays.assign(buffer.data, buffer.data + count);

    if (logger_->isEnabled(kTrace)) {
        trace("Retrieved ADLDisplayInfo for", count, "displays for adapter", adapterIndex);
        for (size_t i = 0; i < displays.size(); ++i) {
            const ADLDisplayInfo& d = displays[i];
            trace("Display", i);
            trace(" displayID.iDisplayLogicalAdapterIndex :", d.displayID.iDisplayLogicalAdapterIndex);
            trace(" displayID.iDisplayLogicalIndex :", d.displayID.iDisplayLogicalIndex);
            trace(" displayID.iDisplayPhysicalAdapterIndex :", d.displayID.iDisplayPhysicalAdapterIndex);
            trace(" displayID.iDisplayPhysicalIndex :", d.displayID.iDisplayPhysicalIndex);
            trace(" iDisplayConnector :", d.iDisplayConnector);
            trace(" iDisplayControllerIndex :", d.iDisplayControllerIndex);
            trace(" iDisplayInfoMask :", d.iDisplayInfoMask);
            trace(" iDisplayInfoValue :", d.iDisplayInfoValue);
            trace(" iDisplayOutputType :", d.iDisplayOutputType);
            trace(" iDisplayType :", d.iDisplayType);
            trace(" strDisplayManufacturerName :", adlText(d.strDisplayManufacturerName));
        }
    }
    return {};
}

std::error_code ADL::getPossibleDisplayModes(int adapterIndex, std::vector<ADLMode>& modes) {
    traceCall("getPossibleDisplayModes", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    LibraryBuffer<ADLMode> buffer;
    const int status = ADL2_Display_PossibleMode_Get(context_, adapterIndex, &count, &buffer.data);
    if (status != 0) return adlStatusCode(status);
    if (count <= 0 || buffer.data == nullptr) return internal(AdlInternalError::NoDisplayModes);
    modes.assign(buffer.data, buffer.data + count);
    return {};
}

std::error_code ADL::getDisplayModes(int adapterIndex, int displayIndex, std::vector<ADLMode>& modes) {
    traceCall("getDisplayModes", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    LibraryBuffer<ADLMode> buffer;
    const int status = ADL2_Display_Modes_Get(context_, adapterIndex, displayIndex, &count, &buffer.data);
    if (status != 0) return adlStatusCode(status);
    if (count <= 0 || buffer.data == nullptr) return internal(AdlInternalError::NoDisplayModes);
    modes.assign(buffer.data, buffer.data + count);

    if (logger_->isEnabled(kTrace)) {
        trace("Retrieved " + std::to_string(count) + " ADLModes for displays for adapter", adapterIndex, "display",
              displayIndex);
        for (const ADLMode& m : modes) {
            trace(" fRefreshRate :", m.fRefreshRate);
            trace(" iColourDepth :", m.iColourDepth);
            trace(" iModeFlag :", m.iModeFlag);
            trace(" iModeMask :", m.iModeMask);
            trace(" iModeValue :", m.iModeValue);
            trace(" iOrientation :", m.iOrientation);
            trace(" iXPos :", m.iXPos);
            trace(" iYPos :", m.iYPos);
            trace(" iXRes :", m.iXRes);
            trace(" iYRes :", m.iYRes);
        }
    }
    return {};
}

std::error_code ADL::setDisplayMode(int adapterIndex, int displayIndex, const ADLMode& mode) {
    traceCall("setDisplayMode", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    ADLMode copy = mode;
    const auto start = std::chrono::steady_clock::now();
    const int status = ADL2_Display_Modes_Set(context_, adapterIndex, displayIndex, 1, &copy);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    logAt(kDebug, logger_->defaultCode,
          "[Adapter index: " + std::to_string(adapterIndex) + ", Display index: " + std::to_string(displayIndex) +
              "]",
          "ADL2_Display_Modes_Set took", std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(),
          "ms.");
    return adlStatusCode(status);
}

// ---- connections ------------------------------------------------------------------

std::error_code ADL::getCurrentAdapterConnectionData(int adapterIndex, const ADLDevicePort& port,
                                                     ADLConnectionData& data) {
    trace(std::string("ADL::getCurrentAdapterConnectionData"), "called for adapter index", adapterIndex,
          "device port connector index:", port.iConnectorIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    return adlStatusCode(ADL2_Adapter_ConnectionData_Get(context_, adapterIndex, port, kQueryCurrentConnection, &data));
}

std::error_code ADL::setAdapterConnectionData(int adapterIndex, const ADLDevicePort& port,
                                              const ADLConnectionData& data) {
    trace(std::string("ADL::setAdapterConnectionData"), "called for adapter index", adapterIndex,
          "device port connector index:", port.iConnectorIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    return adlStatusCode(ADL2_Adapter_ConnectionData_Set(context_, adapterIndex, port, data));
}

std::error_code ADL::removeAdapterConnectionData(int adapterIndex, const ADLDevicePort& port) {
    trace(std::string("ADL::removeAdapterConnectionData"), "called for adapter index", adapterIndex,
          "device port connector index:", port.iConnectorIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    return adlStatusCode(ADL2_Adapter_ConnectionData_Remove(context_, adapterIndex, port));
}

std::error_code ADL::setAdapterEmulationMode(int adapterIndex, const ADLDevicePort& port, int emulationMode) {
    trace(std::string("ADL::setAdapterEmulationMode"), "called for adapter index", adapterIndex,
          "device port connector index:", port.iConnectorIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    return adlStatusCode(ADL2_Adapter_EmulationMode_Set(context_, adapterIndex, port, emulationMode));
}

// ---- timing overrides -------------------------------------------------------------

std::error_code ADL::getTimingOverrideSupported(int adapterIndex, bool& supported) {
    traceCall("getTimingOverrideSupported", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    int value = 0;
    const int status = ADL2_Adapter_ModeTimingOverride_Caps(context_, adapterIndex, &value);
    if (status == 0) supported = value == 1;
    return adlStatusCode(status);
}

std::error_code ADL::getTimingOverride(int adapterIndex, const ADLDisplayID& display, const ADLDisplayModeX2* modeIn,
                                       ADLDisplayModeInfo* modeOut) {
    trace(std::string("ADL::getTimingOverride"), "called for adapter index", adapterIndex,
          "display logical index:", display.iDisplayLogicalIndex);
    if (modeIn == nullptr) return internal(AdlInternalError::InvalidCustomMode);
    if (modeOut == nullptr) return internal(AdlInternalError::InvalidModeInfo);
    std::lock_guard<std::mutex> lock(mutex_);
    ADLDisplayModeX2 in = *modeIn;
    return adlStatusCode(ADL2_Display_ModeTimingOverrideX2_Get(context_, adapterIndex, display, &in, modeOut));
}

std::error_code ADL::setTimingOverride(int adapterIndex, int displayIndex, const ADLDisplayModeInfo* mode,
                                       int forceUpdate) {
    traceCall("setTimingOverride", adapterIndex);
    if (mode == nullptr) return internal(AdlInternalError::InvalidModeInfo);
    std::lock_guard<std::mutex> lock(mutex_);
    ADLDisplayModeInfo copy = *mode;
    return adlStatusCode(ADL2_Display_ModeTimingOverride_Set(context_, adapterIndex, displayIndex, &copy, forceUpdate));
}

std::error_code ADL::deleteTimingOverride(int adapterIndex, const ADLDisplayID& display,
                                          const ADLDisplayModeX2* mode) {
    trace(std::string("ADL::deleteTimingOverride"), "called for adapter index", adapterIndex,
          "display logical index:", display.iDisplayLogicalIndex);
    if (mode == nullptr) return internal(AdlInternalError::InvalidCustomMode);
    std::lock_guard<std::mutex> lock(mutex_);
    ADLDisplayModeX2 copy = *mode;
    return adlStatusCode(ADL2_Display_ModeTimingOverride_Delete(context_, adapterIndex, display, &copy, 1));
}

std::error_code ADL::getTimingOverrideList(int adapterIndex, int displayIndex,
                                           std::vector<ADLDisplayModeInfo>& overrides) {
    traceCall("getTimingOverrideList", adapterIndex);
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ADLDisplayModeInfo> list(kMaxTimingOverrides);
    std::memset(list.data(), 0, list.size() * sizeof(ADLDisplayModeInfo));
    int count = 0;
    const int status = ADL2_Display_ModeTimingOverrideList_Get(context_, adapterIndex, displayIndex,
                                                               kMaxTimingOverrides, list.data(), &count);
    if (status != 0) return adlStatusCode(status);
    // A negative count is as impossible as one above the array.
    if (count > kMaxTimingOverrides || count < 0) return internal(AdlInternalError::InvalidModeCount);
    list.resize(static_cast<size_t>(count));
    overrides = std::move(list);
    return {};
}

std::error_code ADL::getGraphicsVersions(ADLVersionsInfoX2& versions) {
    trace("ADL::getGraphicsVersions", "called");
    std::lock_guard<std::mutex> lock(mutex_);
    return adlStatusCode(ADL2_Graphics_VersionsX2_Get(context_, &versions));
}

}  // namespace orvix
