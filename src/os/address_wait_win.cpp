#include <windows.h>

#include "os/address_wait.h"

namespace orvix::os {

static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free,
              "WaitOnAddress compares the word's plain bytes");

void wait_while_equal(const std::atomic<int>& word, int value) {
    WaitOnAddress(const_cast<std::atomic<int>*>(&word), &value, sizeof value, INFINITE);
}

void wake_one(std::atomic<int>& word) { WakeByAddressSingle(&word); }

}  // namespace orvix::os
