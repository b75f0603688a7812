#include <windows.h>

#include "os/thread_id.h"

namespace orvix::os {

uint32_t current_thread_id() { return GetCurrentThreadId(); }

}  // namespace orvix::os
