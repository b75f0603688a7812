#include <windows.h>

#include "os/async_write.h"

namespace orvix::os {

struct AsyncWriteRecord::Impl {
    OVERLAPPED overlapped{};
    uint32_t written = 0;  // by the last write that completed at once or failed
};

AsyncWriteRecord::AsyncWriteRecord() = default;
AsyncWriteRecord::~AsyncWriteRecord() { destroy(); }

bool AsyncWriteRecord::create() {
    destroy();
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (event == nullptr) return false;
    impl_ = std::make_unique<Impl>();
    impl_->overlapped.hEvent = event;
    return true;
}

void AsyncWriteRecord::destroy() {
    if (impl_ && impl_->overlapped.hEvent != nullptr) CloseHandle(impl_->overlapped.hEvent);
    impl_.reset();
}

uint32_t AsyncWriteRecord::write(FileHandle file, const void* data, uint32_t size) {
    if (!impl_) return ERROR_INVALID_HANDLE;
    impl_->written = 0;
    const char* p = static_cast<const char*>(data);
    HANDLE event = impl_->overlapped.hEvent;
    for (;;) {
        impl_->overlapped = OVERLAPPED{};
        impl_->overlapped.hEvent = event;
        // Both halves all ones: append at the end of the file.
        impl_->overlapped.Offset = 0xFFFFFFFF;
        impl_->overlapped.OffsetHigh = 0xFFFFFFFF;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), p, size, nullptr, &impl_->overlapped)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING)
                impl_->written += static_cast<uint32_t>(impl_->overlapped.InternalHigh);
            return error;
        }
        // A write that completes short (Wine on a full disk: the part that fitted, and
        // success) goes on with the rest, so the caller learns the system's reason.
        const uint32_t done = static_cast<uint32_t>(impl_->overlapped.InternalHigh);
        impl_->written += done;
        if (done >= size) return 0;
        if (done == 0) return ERROR_WRITE_FAULT;  // no progress and no reason given
        p += done;
        size -= done;
    }
}

uint32_t AsyncWriteRecord::written() const { return impl_ ? impl_->written : 0; }

bool AsyncWriteRecord::still_pending() const {
    return impl_ && impl_->overlapped.Internal == static_cast<ULONG_PTR>(kStatusPending);
}

bool AsyncWriteRecord::wait(uint32_t timeout_ms) {
    if (!impl_) return true;
    return WaitForSingleObject(impl_->overlapped.hEvent, timeout_ms) == WAIT_OBJECT_0;
}

uint32_t write_file(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
    uint32_t total = 0;
    uint32_t error = 0;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        OVERLAPPED at_end{};
        at_end.Offset = 0xFFFFFFFF;
        at_end.OffsetHigh = 0xFFFFFFFF;
        DWORD done = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), p, size, &done, &at_end)) {
            error = GetLastError();
            total += static_cast<uint32_t>(at_end.InternalHigh);
            break;
        }
        total += done;
        if (done == 0) {
            error = ERROR_WRITE_FAULT;  // no progress and no reason given
            break;
        }
        p += done;
        size -= done;
    }
    if (written != nullptr) *written = total;
    return error;
}

void flush_file(FileHandle file) { FlushFileBuffers(reinterpret_cast<HANDLE>(file)); }

uint32_t cut_file_end(FileHandle file, uint32_t bytes) {
    HANDLE h = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) return GetLastError();
    if (size.QuadPart < static_cast<LONGLONG>(bytes)) return ERROR_INVALID_PARAMETER;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size.QuadPart - static_cast<LONGLONG>(bytes);
    return SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end) ? 0 : GetLastError();
}

void yield_processor() { Sleep(0); }

}  // namespace orvix::os
