#include <sys/syscall.h>
#include <unistd.h>

#include "os/thread_id.h"

namespace orvix::os {

// The kernel's id (what ps and /proc show), not pthread_self's address.
uint32_t current_thread_id() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

}  // namespace orvix::os
