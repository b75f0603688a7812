#include "os/address_wait.h"

namespace orvix::os {

// libstdc++ waits on an int with the futex itself on Linux.
void wait_while_equal(const std::atomic<int>& word, int value) {
    word.wait(value, std::memory_order_relaxed);
}

void wake_one(std::atomic<int>& word) { word.notify_one(); }

}  // namespace orvix::os
