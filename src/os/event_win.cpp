#include <windows.h>

#include <system_error>

#include "os/event.h"

namespace orvix::os {

struct Event::Impl {
    HANDLE handle = nullptr;
};

Event::Event(Reset reset, bool initially_signalled) : impl_(std::make_unique<Impl>()) {
    impl_->handle = CreateEventW(nullptr, reset == Reset::kManual ? TRUE : FALSE, initially_signalled ? TRUE : FALSE,
                                 nullptr);
    if (impl_->handle == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateEventW");
    }
}

Event::~Event() { CloseHandle(impl_->handle); }

void Event::set() { SetEvent(impl_->handle); }

void Event::reset() { ResetEvent(impl_->handle); }

bool Event::wait(uint32_t timeout_ms) {
    return WaitForSingleObject(impl_->handle, timeout_ms == kWaitInfinite ? INFINITE : timeout_ms) == WAIT_OBJECT_0;
}

void* Event::native_handle() const { return impl_->handle; }

}  // namespace orvix::os
