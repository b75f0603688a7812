#include <signal.h>

#include "interrupt.h"

namespace orvix_env {
namespace {
volatile sig_atomic_t g_interrupted = 0;
void on_signal(int) { g_interrupted = 1; }
}  // namespace

void catch_interrupt() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return g_interrupted != 0; }

}  // namespace orvix_env
