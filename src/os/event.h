// Event primitive of the seam: a Win32 event object on Windows (so it can be handed to
// RegNotifyChangeKeyValue, overlapped I/O and thread-pool work), a mutex and condition
// variable elsewhere. Manual-reset events stay signalled until reset; auto-reset events
// release one waiter and reset themselves.
//
// Thread-safe. Creation failure raises std::system_error.
#pragma once

#include <cstdint>
#include <memory>

namespace orvix::os {

inline constexpr uint32_t kWaitInfinite = 0xFFFFFFFFu;

class Event {
public:
    enum class Reset { kManual, kAuto };

    explicit Event(Reset reset, bool initially_signalled = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // True when the event was (or became) signalled within timeout_ms; 0 only tests,
    // kWaitInfinite waits without limit. An auto-reset event is reset by a successful wait.
    bool wait(uint32_t timeout_ms);

    // The HANDLE on Windows; an opaque pointer to the implementation elsewhere.
    void* native_handle() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvix::os
