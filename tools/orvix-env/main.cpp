// orvix-env: the console tool of the utility layer. It shows what the layer sees on
// this machine; every sub-command is a thin front over the layer's public operations.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "commands.h"
#include "json_output.h"
#include "version.h"

namespace orvix_env {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> all;
    return all;
}
}  // namespace

const std::vector<Command>& commands() { return registry(); }

namespace {
GlobalOptions g_options;
}  // namespace

const GlobalOptions& global_options() { return g_options; }

bool json_output() { return g_options.json; }

bool load_registry_file(const std::string& path, const orvix::config::RegistryFile* previous,
                        orvix::config::RegistryFile* loaded) {
    std::string bytes, error;
    if (!orvix::config::read_file_bytes(path, &bytes, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return false;
    }
    *loaded = orvix::config::parse_registry_file(bytes);
    for (const auto& p : loaded->problems) {
        std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), p.line, p.message.c_str());
    }
    if (orvix::config::is_not_registry_export_file(*loaded)) return false;
    const orvix::config::RegistryFileApplied applied = orvix::config::apply_registry_file(*loaded, previous);
    for (const auto& p : applied.problems) {
        std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), p.line, p.message.c_str());
    }
    return true;
}

CommandRegistration::CommandRegistration(const Command& command) {
    std::vector<Command>& all = registry();
    all.insert(std::upper_bound(all.begin(), all.end(), command,
                                [](const Command& a, const Command& b) { return a.name < b.name; }),
               command);
}

namespace {

void print_help(std::FILE* out) {
    std::fprintf(
        out,
        "usage: orvix-env [--help] [--version] [--json] [--verbose] [--registry FILE.reg] COMMAND "
        "[ARGS...]\n\n"
        "Shows what the Orvix agent's utility layer sees on this machine.\n\n"
        "  --registry FILE.reg  load a registry export file into the layer's own registry before the\n"
        "                       command runs (machines without a registry only)\n"
        "  --json               print one JSON document with the command's result instead of text (every\n"
        "                       command but watch, which reports changes as they come)\n"
        "  --verbose            show the layer's messages on standard error (otherwise one line counts\n"
        "                       the problems they report)\n"
        "\ncommands:\n");
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
    int next = 1;
    for (; next < argc; ++next) {
        const std::string_view option = argv[next];
        if (option == "--json") {
            g_options.json = true;
            continue;
        }
        if (option == "--verbose") {
            g_options.verbose = true;
            continue;
        }
        if (option != "--registry") break;
        if (next + 1 >= argc) {
            std::fprintf(stderr, "orvix-env: --registry needs a file\n");
            return 2;
        }
        if (!registry_option_supported()) {
            std::fprintf(stderr,
                         "orvix-env: --registry is for machines without a registry; import the file with "
                         "regedit instead\n");
            return 2;
        }
        g_options.registry_file = argv[next + 1];
        ++next;
    }
    if (next >= argc) {
        print_help(stderr);
        return 2;
    }
    if (!g_options.registry_file.empty()) {
        orvix::config::RegistryFile loaded;
        if (!load_registry_file(g_options.registry_file, nullptr, &loaded)) return 2;
    }
    argc -= next - 1;
    argv += next - 1;
    // --json and --verbose may also follow the command, as people tend to type them.
    int kept = 2;
    for (int i = 2; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--") {
            for (int j = i + 1; j < argc; ++j) argv[kept++] = argv[j];
            break;
        }
        if (option == "--json") {
            g_options.json = true;
        } else if (option == "--verbose") {
            g_options.verbose = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
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
