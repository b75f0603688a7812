// Hooks that let tests drive the event log's asynchronous-write path as a slow disk would:
// the three operations of the write record (start a write, ask whether it is still
// pending, wait for it) can be replaced, while the queue, the pending rule and shutdown
// run as they always do. Install them while nothing logs; null restores the system's.
#pragma once

#include <cstdint>

#include "os/file_handle.h"

struct vorn_event_write_ops {
    // Like AsyncWriteRecord::write: 0 when done, 997 (I/O pending) or another error code.
    uint32_t (*write)(void* context, orvix::os::FileHandle file, const void* data, uint32_t size);
    // True while the last write started is still under way (status 259).
    bool (*still_pending)(void* context);
    // Waits up to timeout_ms for the last write; true when it completed.
    bool (*wait)(void* context, uint32_t timeout_ms);
    void* context;
};

void vorn_event_set_write_ops(const vorn_event_write_ops* ops);

// A disk that fills up, for the write ops above: how many bytes the last write that
// returned 0 or an error put in the file (a full disk takes part of a write), and the
// removal of the last bytes of the file. Without them a write that returned 0 wrote
// everything and a failed one nothing, and the removal is the system's.
struct vorn_event_short_write_ops {
    uint32_t (*written)(void* context);
    // Like orvix::os::cut_file_end: 0 or an error code.
    uint32_t (*cut)(void* context, orvix::os::FileHandle file, uint32_t bytes);
    void* context;
};

void vorn_event_set_short_write_ops(const vorn_event_short_write_ops* ops);
