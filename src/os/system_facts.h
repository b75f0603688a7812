// Facts about the running system: its version record, edition, processors, memory, the
// session's user and the machine's name, and the local time with the runtime's time-zone
// offset. On Windows each query is the one Win32 call named beside it; RtlGetVersion and
// GetProductInfo are looked up at run time. On POSIX the nearest POSIX source answers
// (/etc/os-release and uname, sysconf, sysinfo, the password database, the resolver),
// and what POSIX cannot know (an edition, the legacy system metrics) is reported as
// unavailable rather than made up.
//
// The facts are a process-wide object behind a virtual interface so that tests can put a
// subclass in its place and make any one query fail or answer something else.
//
// Thread-safe, except that replacing the facts must not race with their use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvix::os {

// The extended version record (RtlGetVersion with a 284-byte OSVERSIONINFOEXW).
struct VersionRecord {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    std::u16string service_pack;  // at most 128 characters
    uint16_t service_pack_major = 0;
    uint16_t service_pack_minor = 0;
    uint8_t product_type = 0;  // 1 workstation, 2 domain controller, 3 server
    // The name the system gives itself where it has no Windows naming (POSIX:
    // PRETTY_NAME of os-release); empty on Windows, where the version tables name it.
    std::string system_name;
};

// GetNativeSystemInfo's processor fields.
struct ProcessorInfo {
    uint32_t count = 0;
    uint16_t architecture = 0xFFFF;  // PROCESSOR_ARCHITECTURE_*; 0xFFFF unknown
    uint32_t processor_type = 0;     // PROCESSOR_* (386, 486, 586, 2200, 8664)
};

// GlobalMemoryStatusEx, in bytes.
struct MemoryStatus {
    uint64_t available_physical = 0;
    uint64_t total_physical = 0;
    uint64_t available_virtual = 0;
    uint64_t total_virtual = 0;
};

struct LocalDateTime {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// GetSystemMetrics indices the version naming uses.
inline constexpr int32_t kMetricTabletPc = 86;
inline constexpr int32_t kMetricMediaCenter = 87;
inline constexpr int32_t kMetricStarter = 88;
inline constexpr int32_t kMetricServerR2 = 89;

class SystemFacts {
  public:
    virtual ~SystemFacts() = default;

    // RtlGetVersion from ntdll.dll; false when it cannot be found.
    virtual bool version(VersionRecord* out) const;
    // GetProductInfo from kernel32.dll; false when it is missing or fails (always on POSIX).
    virtual bool product_info(uint32_t major, uint32_t minor, uint32_t service_pack_major,
                              uint32_t service_pack_minor, uint32_t* product_type) const;
    // GetSystemMetrics; 0 on POSIX.
    virtual int32_t system_metric(int32_t index) const;
    // GetNativeSystemInfo (GetSystemInfo where the native query is unavailable).
    virtual ProcessorInfo processors() const;
    // GlobalMemoryStatusEx; false when the query fails.
    virtual bool memory(MemoryStatus* out) const;
    // WTSQuerySessionInformationW (WTSUserName, WTSDomainName) for the current session of
    // the current server; false with the system's error code when the query fails.
    virtual bool session_user(std::u16string* user, uint32_t* error) const;
    virtual bool session_domain(std::u16string* domain, uint32_t* error) const;
    // GetComputerNameExW(ComputerNamePhysicalDnsFullyQualified) into 1024 characters;
    // false with the system's error code when it fails.
    virtual bool host_name(std::u16string* name, uint32_t* error) const;
    // The local date and time, and the runtime library's time-zone offset (seconds from
    // local standard time to UTC, positive west of Greenwich); false when unreadable.
    virtual bool local_time(LocalDateTime* now) const;
    virtual bool time_zone_offset(int64_t* seconds_west) const;
};

// PRETTY_NAME of an os-release file (NAME when it has none), its shell quoting undone;
// empty when neither is set. Lines of any length and stray bytes are taken as they come.
std::string os_release_name(std::string_view contents);
// The leading numbers of a kernel release such as "6.1.0-18-amd64" (missing ones are 0,
// numbers too large for 32 bits are the largest).
void kernel_release_numbers(const char* release, uint32_t* major, uint32_t* minor, uint32_t* patch);

// The facts in use: the system's own unless a test has put others in their place.
const SystemFacts& system_facts();
// Puts facts in place of the system's (nullptr restores them). The object must outlive
// its use; meant for tests.
void set_system_facts(const SystemFacts* facts);

}  // namespace orvix::os
