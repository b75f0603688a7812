// POSIX sources of the system facts. Values are reported in the Windows units the layer
// expects (architecture and processor-type numbers, bytes, seconds west of UTC) where a
// POSIX fact has a Windows counterpart; an edition and the legacy metrics have none.
#include <netdb.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#include "os/codepage.h"
#include "os/system_facts.h"

namespace orvix::os {
namespace {

std::u16string wide(const char* utf8) {
    std::u16string out;
    system_utf8_to_u16(utf8, &out);
    return out;
}

// The os-release file as the system's name for itself.
std::string read_os_release_name() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream file(path, std::ios::binary);
        if (!file) continue;
        const std::string contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        return os_release_name(contents);
    }
    return {};
}

}  // namespace

bool SystemFacts::version(VersionRecord* out) const {
    struct utsname names {};
    if (::uname(&names) != 0) return false;
    // "6.1.0-18-amd64": the kernel's major, minor and patch level stand for the version
    // and build numbers.
    kernel_release_numbers(names.release, &out->major, &out->minor, &out->build);
    out->service_pack.clear();
    out->service_pack_major = 0;
    out->service_pack_minor = 0;
    out->product_type = 1;
    out->system_name = read_os_release_name();
    if (out->system_name.empty()) out->system_name = names.sysname;
    return true;
}

bool SystemFacts::product_info(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t*) const { return false; }

int32_t SystemFacts::system_metric(int32_t) const { return 0; }

ProcessorInfo SystemFacts::processors() const {
    ProcessorInfo out;
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    out.count = online > 0 ? static_cast<uint32_t>(online) : 0;
    struct utsname names {};
    if (::uname(&names) != 0) return out;
    const std::string machine = names.machine;
    // What Windows reports on the same hardware.
    if (machine == "x86_64" || machine == "amd64") {
        out.architecture = 9;
        out.processor_type = 8664;
    } else if (machine == "i386" || machine == "i486" || machine == "i586" || machine == "i686") {
        out.architecture = 0;
        out.processor_type = machine == "i386" ? 386 : machine == "i486" ? 486 : 586;
    } else if (machine == "ia64") {
        out.architecture = 6;
        out.processor_type = 2200;
    } else if (machine == "aarch64" || machine == "arm64") {
        out.architecture = 12;
    } else if (machine.rfind("arm", 0) == 0) {
        out.architecture = 5;
    }
    return out;
}

bool SystemFacts::memory(MemoryStatus* out) const {
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return false;
    const uint64_t unit = info.mem_unit != 0 ? info.mem_unit : 1;
    out->total_physical = static_cast<uint64_t>(info.totalram) * unit;
    out->available_physical = (static_cast<uint64_t>(info.freeram) + info.bufferram) * unit;
    // The process's address space: its limit when one is set, else the user half of a
    // 48-bit address space (what a 64-bit Windows process gets, 128 TiB), less what
    // the process has mapped already.
    uint64_t total = sizeof(void*) == 8 ? (1ull << 47) : (1ull << 31);
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < total) {
        total = limit.rlim_cur;
    }
    uint64_t mapped_pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        unsigned long long pages = 0;
        if (std::fscanf(statm, "%llu", &pages) == 1) mapped_pages = pages;
        std::fclose(statm);
    }
    const uint64_t mapped = mapped_pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    out->total_virtual = total;
    out->available_virtual = mapped < total ? total - mapped : 0;
    return true;
}

bool SystemFacts::session_user(std::u16string* user, uint32_t* error) const {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    const int rc = ::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found);
    if (rc != 0 || found == nullptr) {
        if (error != nullptr) *error = static_cast<uint32_t>(rc != 0 ? rc : ENOENT);
        return false;
    }
    *user = wide(found->pw_name);
    return true;
}

// A POSIX account has no domain.
bool SystemFacts::session_domain(std::u16string* domain, uint32_t*) const {
    domain->clear();
    return true;
}

bool SystemFacts::host_name(std::u16string* name, uint32_t* error) const {
    char host[1024] = {};
    if (::gethostname(host, sizeof host - 1) != 0) {
        if (error != nullptr) *error = static_cast<uint32_t>(errno);
        return false;
    }
    // The fully qualified name is the resolver's canonical name; a host the resolver does
    // not know keeps the name it gave itself.
    struct addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_CANONNAME;
    struct addrinfo* found = nullptr;
    std::string fqdn = host;
    if (::getaddrinfo(host, nullptr, &hints, &found) == 0) {
        if (found != nullptr && found->ai_canonname != nullptr && found->ai_canonname[0] != '\0') {
            fqdn = found->ai_canonname;
        }
        ::freeaddrinfo(found);
    }
    *name = wide(fqdn.c_str());
    return true;
}

bool SystemFacts::local_time(LocalDateTime* now) const {
    struct timespec ts {};
    if (::clock_gettime(CLOCK_REALTIME, &ts) != 0) return false;
    struct tm local {};
    if (::localtime_r(&ts.tv_sec, &local) == nullptr) return false;
    *now = {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int32_t>(ts.tv_nsec / 1000000)};
    return true;
}

bool SystemFacts::time_zone_offset(int64_t* seconds_west) const {
    ::tzset();
    *seconds_west = ::timezone;
    return true;
}

}  // namespace orvix::os
