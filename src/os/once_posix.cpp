#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "os/once.h"

namespace orvix::os {

namespace {

// States of OnceFlag::state; nullptr is "not yet run".
void* const kRunning = reinterpret_cast<void*>(std::uintptr_t{1});
void* const kDone = reinterpret_cast<void*>(std::uintptr_t{2});

// One lock for every flag: it guards only the state changes, never the routine, so a
// routine may run another flag's initialisation.
std::mutex g_lock;
std::condition_variable g_changed;

}  // namespace

bool run_once(OnceFlag& flag, void (*routine)(void* context), void* context) {
    std::atomic_ref<void*> state(flag.state);
    if (state.load(std::memory_order_acquire) == kDone) return true;
    std::unique_lock<std::mutex> lock(g_lock);
    g_changed.wait(lock, [&] { return state.load() != kRunning; });
    if (state.load() == kDone) return true;
    state.store(kRunning);
    lock.unlock();
    routine(context);
    lock.lock();
    state.store(kDone, std::memory_order_release);
    g_changed.notify_all();
    return true;
}

}  // namespace orvix::os
