#include "policy_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "commands.h"
#include "console.h"
#include "input_file.h"
#include "text_output.h"

namespace orvix_env {
namespace {

namespace fs = std::filesystem;

std::string shown(const std::string& path) { return printable(path, false); }

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return s;
}

}  // namespace

bool find_machine_registry_pol(const std::string& folder, std::string* path, std::string* error) {
    std::error_code code;
    const fs::path root = path_from_utf8(folder);
    if (!fs::is_directory(root, code)) {
        *error = shown(folder) + " is not a folder (--gpo takes a GPO or a GPO backup folder)";
        return false;
    }
    // A GPO holds Machine\Registry.pol; a backup holds it below DomainSysvol\GPO. Both are
    // a few levels down at most.
    std::vector<fs::path> found;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
        if (it.depth() > 5) {
            it.disable_recursion_pending();
            continue;
        }
        const fs::path& p = it->path();
        if (lower(utf8_from_path(p.filename())) == "registry.pol" &&
            lower(utf8_from_path(p.parent_path().filename())) == "machine" && it->is_regular_file(code)) {
            found.push_back(p);
        }
    }
    if (found.empty()) {
        *error = "no Machine\\Registry.pol below " + shown(folder) +
                 " (a GPO without computer settings from administrative templates has none)";
        return false;
    }
    if (found.size() > 1) {
        *error = shown(folder) + " holds " + std::to_string(found.size()) + " Machine\\Registry.pol files (" +
                 shown(utf8_from_path(found[0])) + ", " + shown(utf8_from_path(found[1])) +
                 (found.size() > 2 ? ", ..." : "") +
                 "): give one with --pol";
        return false;
    }
    *path = utf8_from_path(found.front());
    return true;
}

void add_policy_file_options(CLI::App& command, const std::shared_ptr<PolicyFileOption>& option) {
    CLI::Option* pol = command.add_option("--pol", option->pol, "a GPO's Registry.pol, applied in memory")
                           ->type_name("Registry.pol");
    command.add_option("--gpo", option->gpo, "a GPO or GPO backup folder: its Machine\\Registry.pol")
        ->type_name("DIR")
        ->excludes(pol);
}

bool apply_policy_file(const PolicyFileOption& option, AppliedPolicyFile* out) {
    std::string error;
    out->path = option.pol;
    if (!option.gpo.empty() && !find_machine_registry_pol(option.gpo, &out->path, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return false;
    }
    std::string bytes;
    if (!read_input_file(out->path, &bytes, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return false;
    }
    if (!orvix::admin::parse_registry_pol(bytes, &out->entries, &error)) {
        std::fprintf(stderr, "orvix-env: %s: %s\n", shown(out->path).c_str(), error.c_str());
        return false;
    }
    // With --registry the file applies on top of that machine state, as a refresh would.
    if (!global_options().registry_file.empty()) out->registry.load_from_system(orvix::admin::agent_policy_keys());
    out->applied = orvix::admin::apply_registry_pol(out->entries, &out->registry);
    return true;
}

}  // namespace orvix_env
