// orvix-env: the console tool of the utility layer. It shows what the layer sees on
// this machine; every sub-command is a thin front over the layer's public operations.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "commands.h"
#include "version.h"

namespace orvix_env {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> all;
    return all;
}
}  // namespace

const std::vector<Command>& commands() { return registry(); }

CommandRegistration::CommandRegistration(const Command& command) {
    std::vector<Command>& all = registry();
    all.insert(std::upper_bound(all.begin(), all.end(), command,
                                [](const Command& a, const Command& b) { return a.name < b.name; }),
               command);
}

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: orvix-env [--help] [--version] COMMAND [ARGS...]\n\n"
                 "Shows what the Orvix agent's utility layer sees on this machine.\n\ncommands:\n");
    for (const Command& c : commands()) {
        std::fprintf(out, "  %.*s %.*s\n      %.*s\n", int(c.name.size()), c.name.data(), int(c.usage.size()),
                     c.usage.data(), int(c.summary.size()), c.summary.data());
    }
}

}  // namespace
}  // namespace orvix_env

int main(int argc, char** argv) {
    using namespace orvix_env;
    if (argc < 2) {
        print_help(stderr);
        return 2;
    }
    std::string_view first = argv[1];
    if (first == "--help" || first == "-h") {
        print_help(stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("orvix-env %s\n", ORVIX_ENV_VERSION);
        return 0;
    }
    for (const Command& c : commands()) {
        if (c.name == first) return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "orvix-env: unknown command '%s' (see --help)\n", argv[1]);
    return 2;
}
