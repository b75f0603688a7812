#include <windows.h>

#include <atomic>

#include "interrupt.h"

namespace orvix_env {
namespace {
std::atomic<bool> g_interrupted{false};

// Runs on a thread of its own; returning TRUE keeps the process alive so the command
// can end by itself.
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            g_interrupted.store(true);
            return TRUE;
        default:
            return FALSE;
    }
}
}  // namespace

void catch_interrupt() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool interrupted() { return g_interrupted.load(); }

}  // namespace orvix_env
