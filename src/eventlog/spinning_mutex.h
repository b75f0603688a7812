// The event log's lock. Its holder writes one line to the log file, which takes a system
// call of a microsecond or two; a thread that finds the lock taken spins for a few such
// writes (10 us) before it sleeps, as a Windows critical section with a spin count does.
// Two threads that log at once then hand the lock over without one system call to sleep
// and another to wake.
#pragma once

#include <atomic>
#include <chrono>

#include "os/address_wait.h"

namespace orvix::eventlog {

class SpinningMutex {
public:
    void lock() {
        if (try_lock()) return;
        const auto until = std::chrono::steady_clock::now() + kSpinFor;
        do {
            for (int i = 0; i < 16; ++i) {
                if (state_.load(std::memory_order_relaxed) == kFree && try_lock()) return;
                relax();
            }
        } while (std::chrono::steady_clock::now() < until);
        // Contended from here on: the holder's unlock must wake a sleeper.
        while (state_.exchange(kContended, std::memory_order_acquire) != kFree) {
            orvix::os::wait_while_equal(state_, kContended);
        }
    }
    bool try_lock() {
        int expected = kFree;
        return state_.compare_exchange_strong(expected, kLocked, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    void unlock() {
        if (state_.exchange(kFree, std::memory_order_release) == kContended) orvix::os::wake_one(state_);
    }

private:
    static constexpr int kFree = 0, kLocked = 1, kContended = 2;
    static constexpr std::chrono::microseconds kSpinFor{10};

    static void relax() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    std::atomic<int> state_{kFree};
};

}  // namespace orvix::eventlog
