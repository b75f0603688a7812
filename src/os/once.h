// One-time initialisation for process-wide singletons: the operating system's own
// primitive on Windows (InitOnceExecuteOnce), a mutex and condition variable elsewhere.
// A flag is constant-initialised, so a namespace-scope flag is usable before any dynamic
// initialisation has run and is never destroyed.
#pragma once

namespace orvix::os {

// Pointer-sized, like the Windows INIT_ONCE it stands for. Zero means "not yet run".
struct OnceFlag {
    void* state = nullptr;
};

// Runs routine(context) exactly once per flag; concurrent callers wait until it has
// returned, later callers return at once. The routine must not throw and must not wait
// for the same flag. Returns false only when the primitive itself fails (Windows); the
// routine has then not run to completion.
bool run_once(OnceFlag& flag, void (*routine)(void* context), void* context);

}  // namespace orvix::os
