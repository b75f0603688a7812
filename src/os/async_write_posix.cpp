// POSIX has no overlapped writes on regular files; the descriptor is opened for
// appending, so a plain write() lands at the end and completes at once.
#include <errno.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/async_write.h"
#include "os/error_text.h"
#include "os/handle_table_posix.h"

namespace orvix::os {
namespace {
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorFileTooLarge = 223;

// A full disk or a file-size limit can take part of a write before the error.
uint32_t write_all(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
    *written = 0;
    const int fd = posix::descriptor_of(file);
    if (fd < 0) return kErrorInvalidHandle;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            switch (errno) {
                case ENOSPC:
                    return kErrorDiskFull;
                case EBADF:
                    return kErrorInvalidHandle;
                case EFBIG:
                    return kErrorFileTooLarge;
                default:
                    return kErrnoCode | static_cast<uint32_t>(errno);
            }
        }
        p += n;
        size -= static_cast<uint32_t>(n);
        *written += static_cast<uint32_t>(n);
    }
    return 0;
}
}  // namespace

struct AsyncWriteRecord::Impl {
    uint32_t written = 0;
};

AsyncWriteRecord::AsyncWriteRecord() = default;
AsyncWriteRecord::~AsyncWriteRecord() = default;

bool AsyncWriteRecord::create() {
    impl_ = std::make_unique<Impl>();
    return true;
}

void AsyncWriteRecord::destroy() { impl_.reset(); }

uint32_t AsyncWriteRecord::write(FileHandle file, const void* data, uint32_t size) {
    if (!impl_) return kErrorInvalidHandle;
    return write_all(file, data, size, &impl_->written);
}

uint32_t AsyncWriteRecord::written() const { return impl_ ? impl_->written : 0; }

bool AsyncWriteRecord::still_pending() const { return false; }

bool AsyncWriteRecord::wait(uint32_t) { return true; }

uint32_t write_file(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
    uint32_t ignored = 0;
    return write_all(file, data, size, written != nullptr ? written : &ignored);
}

void flush_file(FileHandle file) {
    const int fd = posix::descriptor_of(file);
    if (fd >= 0) ::fsync(fd);
}

uint32_t cut_file_end(FileHandle file, uint32_t bytes) {
    const int fd = posix::descriptor_of(file);
    if (fd < 0) return kErrorInvalidHandle;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return kErrnoCode | static_cast<uint32_t>(errno);
    if (st.st_size < static_cast<off_t>(bytes)) return 87;  // ERROR_INVALID_PARAMETER
    if (::ftruncate(fd, st.st_size - static_cast<off_t>(bytes)) != 0)
        return kErrnoCode | static_cast<uint32_t>(errno);
    return 0;
}

void yield_processor() { sched_yield(); }

}  // namespace orvix::os
