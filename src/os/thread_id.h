// The calling thread's identifier as the system reports it (GetCurrentThreadId on
// Windows, the kernel's thread id elsewhere), for messages that name their thread.
#pragma once

#include <cstdint>

namespace orvix::os {

uint32_t current_thread_id();

}  // namespace orvix::os
