// Names of the running operating system. Both services read the true version record
// (the seam's RtlGetVersion, not the manifest-shimmed version query) and name it by major
// and minor version, build number and product type, each with its own table; the tables
// and the edition table are pure functions so every boundary row can be checked.
//
// Where the system is not Windows (POSIX), the name is the one the system gives itself
// (os-release) and the numbers are the kernel's, in the same forms.
//
// Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

// Writes one line naming the system, e.g. "Windows 10 Professional (10.0 build 19045)".
// With a buffer and a non-zero size: 1 when written, 0 when it does not fit (the buffer
// is then unchanged). With no buffer or size 0: the bytes the line needs, terminator
// included. A name too long for the 256-byte line is cut (at a character) so that the
// numbers still fit. Ends the process through vorn_event_assert when the version record
// cannot be read.
int32_t vorn_util_get_windows_version(char* buffer, uint32_t size);

namespace orvix {

// (name with edition and service pack, "MAJOR.MINOR build BUILD"); never fails, the
// fallback is ("Windows", "unknown").
std::pair<std::string, std::string> getWindowsNameAndVersion();

namespace platform {

// The legacy system metrics that tell Windows 5.x editions apart (non-zero means set).
struct VersionMetrics {
    int32_t server_r2 = 0;
    int32_t media_center = 0;
    int32_t starter = 0;
    int32_t tablet_pc = 0;
};

// The name of the one-line service; never null ("Unknown version of Windows").
const char* windows_version_line_name(uint32_t major, uint32_t minor, uint32_t build, uint8_t product_type,
                                      const VersionMetrics& metrics);
// The name of the name/version service; null where it keeps "Windows" (no Windows 11
// row, every 10.0 server is "Windows Server 2016").
const char* windows_pair_name(uint32_t major, uint32_t minor, uint8_t product_type,
                              const VersionMetrics& metrics);
// The edition text of a GetProductInfo product type; null for a type it does not name.
const char* windows_edition_name(uint32_t product_type);

}  // namespace platform
}  // namespace orvix
