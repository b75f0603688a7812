// Sleeping on a 32-bit word until another thread changes it: the futex on Linux,
// WaitOnAddress on Windows. std::atomic::wait is not used on Windows: MinGW's libstdc++
// builds it on a shared table of condition variables, and a lock built on that hung for
// good with four contending threads (a wake-up was lost).
#pragma once

#include <atomic>

namespace orvix::os {

// Returns at once when word no longer holds value; may also return spuriously.
void wait_while_equal(const std::atomic<int>& word, int value);
void wake_one(std::atomic<int>& word);

}  // namespace orvix::os
