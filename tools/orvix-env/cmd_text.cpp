#include <cstdio>

#include "commands.h"

namespace orvix_env {

int run_text(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "orvix-env text: not built yet\n");
    return 1;
}

}  // namespace orvix_env
