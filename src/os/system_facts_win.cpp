#include <windows.h>
#include <wtsapi32.h>

#include <cstdlib>
#include <ctime>

#include "os/system_facts.h"

namespace orvix::os {
namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);

// Looked up at run time: GetVersionEx is shimmed to the version an executable's manifest
// claims, RtlGetVersion reports the true one; GetProductInfo is missing before Vista.
template <typename Fn>
Fn lookup(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    if (handle == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

bool query_session(WTS_INFO_CLASS what, std::u16string* out, uint32_t* error) {
    LPWSTR text = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, what, &text, &bytes)) {
        if (error != nullptr) *error = GetLastError();
        return false;
    }
    // Two bytes or fewer is the terminator alone.
    out->clear();
    if (text != nullptr && bytes > sizeof(wchar_t)) out->assign(reinterpret_cast<const char16_t*>(text));
    if (text != nullptr) WTSFreeMemory(text);
    return true;
}

}  // namespace

bool SystemFacts::version(VersionRecord* out) const {
    auto rtl_get_version = lookup<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    if (rtl_get_version == nullptr) return false;
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    rtl_get_version(&info);
    out->major = info.dwMajorVersion;
    out->minor = info.dwMinorVersion;
    out->build = info.dwBuildNumber;
    info.szCSDVersion[127] = L'\0';
    out->service_pack.assign(reinterpret_cast<const char16_t*>(info.szCSDVersion));
    out->service_pack_major = info.wServicePackMajor;
    out->service_pack_minor = info.wServicePackMinor;
    out->product_type = info.wProductType;
    out->system_name.clear();
    return true;
}

bool SystemFacts::product_info(uint32_t major, uint32_t minor, uint32_t service_pack_major,
                               uint32_t service_pack_minor, uint32_t* product_type) const {
    auto get_product_info = lookup<GetProductInfoFn>(L"kernel32.dll", "GetProductInfo");
    if (get_product_info == nullptr) return false;
    DWORD type = 0;
    if (!get_product_info(major, minor, service_pack_major, service_pack_minor, &type)) return false;
    *product_type = type;
    return true;
}

int32_t SystemFacts::system_metric(int32_t index) const { return GetSystemMetrics(index); }

ProcessorInfo SystemFacts::processors() const {
    SYSTEM_INFO info{};
    auto native = lookup<GetNativeSystemInfoFn>(L"kernel32.dll", "GetNativeSystemInfo");
    if (native != nullptr) {
        native(&info);
    } else {
        GetSystemInfo(&info);
    }
    ProcessorInfo out;
    out.count = info.dwNumberOfProcessors;
    out.architecture = info.wProcessorArchitecture;
    out.processor_type = info.dwProcessorType;
    return out;
}

bool SystemFacts::memory(MemoryStatus* out) const {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return false;
    out->available_physical = status.ullAvailPhys;
    out->total_physical = status.ullTotalPhys;
    out->available_virtual = status.ullAvailVirtual;
    out->total_virtual = status.ullTotalVirtual;
    return true;
}

bool SystemFacts::session_user(std::u16string* user, uint32_t* error) const {
    return query_session(WTSUserName, user, error);
}

bool SystemFacts::session_domain(std::u16string* domain, uint32_t* error) const {
    return query_session(WTSDomainName, domain, error);
}

bool SystemFacts::host_name(std::u16string* name, uint32_t* error) const {
    wchar_t buffer[1024] = {};
    DWORD size = 1024;
    if (!GetComputerNameExW(ComputerNamePhysicalDnsFullyQualified, buffer, &size)) {
        if (error != nullptr) *error = GetLastError();
        return false;
    }
    buffer[1023] = L'\0';
    name->assign(reinterpret_cast<const char16_t*>(buffer));
    return true;
}

bool SystemFacts::local_time(LocalDateTime* now) const {
    SYSTEMTIME st;
    GetLocalTime(&st);
    *now = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    return true;
}

bool SystemFacts::time_zone_offset(int64_t* seconds_west) const {
    // The runtime library's offset, from TZ when set, else the system's time zone.
    _tzset();
    *seconds_west = _timezone;
    return true;
}

}  // namespace orvix::os
