#include <windows.h>

#include "os/once.h"

namespace orvix::os {

static_assert(sizeof(INIT_ONCE) == sizeof(OnceFlag), "OnceFlag stands for INIT_ONCE");

namespace {

struct Call {
    void (*routine)(void*);
    void* context;
};

BOOL CALLBACK run_call(PINIT_ONCE, PVOID parameter, PVOID*) {
    const Call* call = static_cast<const Call*>(parameter);
    call->routine(call->context);
    return TRUE;
}

}  // namespace

bool run_once(OnceFlag& flag, void (*routine)(void* context), void* context) {
    Call call{routine, context};
    return InitOnceExecuteOnce(reinterpret_cast<PINIT_ONCE>(&flag), run_call, &call, nullptr) != FALSE;
}

}  // namespace orvix::os
