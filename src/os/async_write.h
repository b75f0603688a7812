// The event log's one asynchronous-write record: the file position is "end of file" for
// every write, and a manual-reset event (created signalled) reports completion. On Windows
// this is an OVERLAPPED used with WriteFile; elsewhere writes complete at once.
//
// Not thread-safe: the event log uses it under its own lock.
#pragma once

#include <cstdint>
#include <memory>

#include "os/file_handle.h"
#include "os/file_system.h"

namespace orvix::os {

inline constexpr uint32_t kErrorIoPending = 997;
inline constexpr uint32_t kStatusPending = 259;

class AsyncWriteRecord {
public:
    AsyncWriteRecord();
    ~AsyncWriteRecord();
    AsyncWriteRecord(const AsyncWriteRecord&) = delete;
    AsyncWriteRecord& operator=(const AsyncWriteRecord&) = delete;

    // Creates the completion event; false when it cannot be created.
    bool create();
    void destroy();

    // Starts a write of size bytes at the end of the file. 0 when it completed,
    // kErrorIoPending when it is under way, otherwise the system's error code.
    uint32_t write(FileHandle file, const void* data, uint32_t size);
    // The bytes that the last write put in the file when it completed at once or failed:
    // a full disk can take part of a write, with or without an error.
    uint32_t written() const;
    // True while the last write started is still under way.
    bool still_pending() const;
    // Waits up to timeout_ms for the last write; true when it completed.
    bool wait(uint32_t timeout_ms);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Synchronous helpers on a handle (close_file is in os/file_system.h). written, when
// given, receives the bytes that reached the file, also when the write failed part-way.
uint32_t write_file(FileHandle file, const void* data, uint32_t size, uint32_t* written = nullptr);
void flush_file(FileHandle file);
// Removes the last `bytes` bytes of the file, such as the part of a line that a full disk
// took before it refused the rest: shrinking a file needs no space. 0 or the error code.
uint32_t cut_file_end(FileHandle file, uint32_t bytes);
// Gives up the rest of the time slice (a zero-length sleep).
void yield_processor();

}  // namespace orvix::os
