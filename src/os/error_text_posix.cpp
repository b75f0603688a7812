#include <errno.h>
#include <string.h>

#include "os/error_text.h"

namespace orvix::os {
namespace {

// The Windows codes that the POSIX seam makes of errno values, back to one errno each.
int errno_of(uint32_t code) {
    if ((code & kErrnoCode) != 0) return static_cast<int>(code & ~kErrnoCode);
    switch (code) {
        case 2:  // ERROR_FILE_NOT_FOUND
        case 3:  // ERROR_PATH_NOT_FOUND
            return ENOENT;
        case 4:
            return EMFILE;  // ERROR_TOO_MANY_OPEN_FILES
        case 5:
            return EACCES;  // ERROR_ACCESS_DENIED
        case 6:
            return EBADF;  // ERROR_INVALID_HANDLE
        case 17:
            return EXDEV;  // ERROR_NOT_SAME_DEVICE
        case 29:           // ERROR_WRITE_FAULT
        case 31:
            return EIO;  // ERROR_GEN_FAILURE
        case 32:
            return ETXTBSY;  // ERROR_SHARING_VIOLATION
        case 80:             // ERROR_FILE_EXISTS
        case 183:
            return EEXIST;  // ERROR_ALREADY_EXISTS
        case 87:
            return EINVAL;  // ERROR_INVALID_PARAMETER
        case 112:
            return ENOSPC;  // ERROR_DISK_FULL
        case 223:
            return EFBIG;  // ERROR_FILE_TOO_LARGE
        default:
            return 0;
    }
}

}  // namespace

std::string error_text(uint32_t code) {
    const int e = errno_of(code);
    if (e == 0) return "error " + std::to_string(code);
    char buffer[256];
    // The GNU strerror_r returns its text, which need not be in the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    const char* text = ::strerror_r(e, buffer, sizeof buffer);
#else
    const char* text = ::strerror_r(e, buffer, sizeof buffer) == 0 ? buffer : "unknown error";
#endif
    return one_line_reason(text);
}

}  // namespace orvix::os
