// Sub-commands of orvix-env. Each takes the arguments after its own name and returns
// the process exit status.
#pragma once

#include <string_view>

namespace orvix_env {

struct Command {
    std::string_view name;
    std::string_view usage;    // arguments, shown by --help
    std::string_view summary;  // one line, shown by --help
    int (*run)(int argc, char** argv);
};

int run_text(int argc, char** argv);

}  // namespace orvix_env
