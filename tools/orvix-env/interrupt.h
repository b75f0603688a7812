// Ctrl-C for commands that run until the person stops them (logs --follow): the first
// Ctrl-C (or Ctrl-Break, a closed console window, SIGTERM) only sets a flag that the
// command polls, so it ends cleanly with its output flushed.
#pragma once

namespace orvix_env {

void catch_interrupt();
bool interrupted();

}  // namespace orvix_env
