#include <chrono>
#include <condition_variable>
#include <mutex>

#include "os/event.h"

namespace orvix::os {

struct Event::Impl {
    std::mutex mutex;
    std::condition_variable cv;
    bool signalled = false;
    bool manual = false;
};

Event::Event(Reset reset, bool initially_signalled) : impl_(std::make_unique<Impl>()) {
    impl_->manual = reset == Reset::kManual;
    impl_->signalled = initially_signalled;
}

Event::~Event() = default;

void Event::set() {
    // Notify under the lock: a waiter that wakes may destroy the event at once.
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->signalled = true;
    if (impl_->manual) {
        impl_->cv.notify_all();
    } else {
        impl_->cv.notify_one();
    }
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->signalled = false;
}

bool Event::wait(uint32_t timeout_ms) {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    auto ready = [this] { return impl_->signalled; };
    if (timeout_ms == kWaitInfinite) {
        impl_->cv.wait(lock, ready);
    } else if (!impl_->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
        return false;
    }
    if (!impl_->manual) impl_->signalled = false;
    return true;
}

void* Event::native_handle() const { return impl_.get(); }

}  // namespace orvix::os
