#include "policy_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "admin/policy_lint.h"
#include "commands.h"
#include "config/registry_export_file.h"

namespace orvix_env {
namespace {

namespace fs = std::filesystem;

std::string shown(const std::string& path) { return orvix::admin::printable(path, false); }

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return s;
}

}  // namespace

bool read_regular_file(const std::string& path, std::uintmax_t max_size, std::string* bytes, std::string* error) {
    std::error_code code;
    const fs::file_status status = fs::status(fs::path(path), code);
    if (status.type() == fs::file_type::not_found) {
        *error = "cannot read " + shown(path) + ": No such file or directory";
        return false;
    }
    if (code) {
        *error = "cannot read " + shown(path) + ": " + code.message();
        return false;
    }
    if (fs::is_directory(status)) {
        *error = "cannot read " + shown(path) + ": it is a directory";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        *error = "cannot read " + shown(path) + ": it is not a regular file";
        return false;
    }
    const std::uintmax_t size = fs::file_size(fs::path(path), code);
    if (!code && size > max_size) {
        *error = "cannot read " + shown(path) + ": it is " + std::to_string(size) + " bytes, more than " +
                 std::to_string(max_size);
        return false;
    }
    if (!orvix::config::read_file_bytes(path, bytes, error)) return false;
    if (bytes->size() > max_size) {
        *error = "cannot read " + shown(path) + ": it is larger than " + std::to_string(max_size) + " bytes";
        return false;
    }
    return true;
}

bool write_file_atomically(const std::string& path, const std::string& bytes, std::string* error) {
    std::error_code code;
    if (fs::is_directory(fs::path(path), code)) {
        *error = "cannot write " + shown(path) + ": it is a directory";
        return false;
    }
    const fs::path temporary = fs::path(path + ".orvix-env-partial");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            *error = "cannot write " + shown(path) + ": " + std::generic_category().message(errno != 0 ? errno : EACCES);
            return false;
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, code);
            *error = "cannot write " + shown(path) + ": the write failed";
            return false;
        }
    }
    fs::rename(temporary, fs::path(path), code);
    if (code) {
        fs::remove(temporary, code);
        *error = "cannot write " + shown(path) + ": " + code.message();
        return false;
    }
    return true;
}

bool find_machine_registry_pol(const std::string& folder, std::string* path, std::string* error) {
    std::error_code code;
    if (!fs::is_directory(fs::path(folder), code)) {
        *error = shown(folder) + " is not a folder (--gpo takes a GPO or a GPO backup folder)";
        return false;
    }
    // A GPO holds Machine\Registry.pol; a backup holds it below DomainSysvol\GPO. Both are
    // a few levels down at most.
    std::vector<fs::path> found;
    fs::recursive_directory_iterator it(fs::path(folder), fs::directory_options::skip_permission_denied, code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
        if (it.depth() > 5) {
            it.disable_recursion_pending();
            continue;
        }
        const fs::path& p = it->path();
        if (lower(p.filename().string()) == "registry.pol" &&
            lower(p.parent_path().filename().string()) == "machine" && it->is_regular_file(code)) {
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
                 shown(found[0].string()) + ", " + shown(found[1].string()) + (found.size() > 2 ? ", ..." : "") +
                 "): give one with --pol";
        return false;
    }
    *path = found.front().string();
    return true;
}

bool take_policy_file_option(const char* command, int* argc, char** argv, PolicyFileOption* option) {
    int kept = 0;
    for (int i = 0; i < *argc; ++i) {
        const bool pol = std::strcmp(argv[i], "--pol") == 0;
        const bool gpo = std::strcmp(argv[i], "--gpo") == 0;
        if (!pol && !gpo) {
            argv[kept++] = argv[i];
            continue;
        }
        if (i + 1 >= *argc) {
            std::fprintf(stderr, "orvix-env %s: %s needs %s\n", command, argv[i], pol ? "a Registry.pol file" : "a GPO folder");
            return false;
        }
        if (option->given) {
            std::fprintf(stderr, "orvix-env %s: give one Registry.pol (--pol FILE or --gpo DIR), not two\n", command);
            return false;
        }
        option->given = true;
        (pol ? option->pol : option->gpo) = argv[++i];
    }
    *argc = kept;
    return true;
}

bool apply_policy_file(const PolicyFileOption& option, AppliedPolicyFile* out) {
    std::string error;
    out->path = option.pol;
    if (!option.gpo.empty() && !find_machine_registry_pol(option.gpo, &out->path, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return false;
    }
    std::string bytes;
    if (!read_regular_file(out->path, kMaxPolicyFileSize, &bytes, &error)) {
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
