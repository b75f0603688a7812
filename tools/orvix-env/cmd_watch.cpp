// orvix-env watch [SECONDS]: starts the environment store like the agent does and prints
// every setting whose value changes, with its old and new value, until interrupted (or
// for SECONDS). With --registry FILE.reg the file is loaded again whenever it changes, so
// editing it shows the live reload on machines without a registry. A reloaded file is
// applied only when it parses (an editor that truncates before it writes would otherwise
// take every policy away for a moment), a deleted file is reported and its policies stay,
// and a change of a startup-only setting, which the store keeps until the next start, is
// shown from the sources as "applies at the next start".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "config/configuration_manager.h"
#include "console.h"
#include "eventlog/event_log_clock.h"
#include "input_file.h"
#include "store_console.h"
#include "text_output.h"

namespace orvix_env {
namespace {

constexpr auto kInterval = std::chrono::milliseconds(100);

// The file's modification time and size, so a rewrite within the clock's resolution
// still counts; nothing when the file cannot be examined.
struct FileStamp {
    bool present = false;
    std::filesystem::file_time_type time{};
    uintmax_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stamp_of(const std::string& path) {
    FileStamp stamp;
    std::error_code error;
    const std::filesystem::path p = path_from_utf8(path);
    stamp.time = std::filesystem::last_write_time(p, error);
    if (error) return {};
    stamp.size = std::filesystem::file_size(p, error);
    stamp.present = !error;
    return stamp;
}

std::string time_now() {
    vorn_event_utc_time t{};
    vorn_event_system_utc_time(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03dZ", t.hour, t.minute, t.second, t.millisecond);
    return text;
}

// What the sources supply for each startup-only setting: the first source's value and
// its label. The store does not follow these after start-up, so watch compares them here.
using StartupValues = std::map<std::string, std::pair<std::string, std::string>>;

StartupValues startup_only_values() {
    StartupValues values;
    if (!vorn_mgmt_cfg_mgr_exists()) return values;
    for (const auto& source : get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING)->describe_sources()) {
        for (const auto& [name, value] : source.values) {
            const uint32_t index = get_entry_index(name.c_str());
            if (index == ENV_INDEX_NOT_FOUND || (get_entry(index).modification & ENV_MOD_STARTUP_ONLY) == 0)
                continue;
            const std::string text = value.type == orvix::config::internal::kSettingText
                                         ? printable_quoted(value.text)
                                         : std::to_string(value.number);
            values.emplace(name, std::make_pair(text, source.label));  // the first source wins
        }
    }
    return values;
}

void print_startup_changes(const StartupValues& before, const StartupValues& after) {
    auto print = [](const std::string& name, const std::string& old_value, const std::string& new_value,
                    const std::string& label) {
        std::printf("%s  %s: %s -> %s in %s (startup-only: applies at the next start)\n", time_now().c_str(),
                    name.c_str(), old_value.c_str(), new_value.c_str(), label.c_str());
    };
    for (const auto& [name, now] : after) {
        const auto was = before.find(name);
        if (was == before.end()) {
            print(name, "(not set)", now.first, now.second);
        } else if (was->second != now) {
            print(name, was->second.first, now.first, now.second);
        }
    }
    for (const auto& [name, was] : before) {
        if (after.count(name) == 0) print(name, was.first, "(not set)", was.second);
    }
    std::fflush(stdout);
}

void print_change(const SettingView& before, const SettingView& after) {
    const bool text = after.row.value_type == ENV_VALUE_STRING;
    auto shown = [text](const SettingView& v) {
        if (!v.has_value) return std::string("(no value)");
        return text ? printable_quoted(v.value) : printable(v.value, false);
    };
    const std::string old_value = shown(before);
    const std::string new_value = shown(after);
    std::printf("%s  %s: %s -> %s%s\n", time_now().c_str(), after.row.name, old_value.c_str(),
                new_value.c_str(), after.has_value && after.value == after.initial ? " (default)" : "");
    std::fflush(stdout);
}

// Applies the edited file when it parses as a whole; otherwise says why and keeps what
// was applied before.
void reload(const std::string& file, orvix::config::RegistryFile* applied) {
    std::string bytes, error;
    if (!read_input_file(file, &bytes, &error)) {
        std::fprintf(stderr, "orvix-env: %s; keeping the policies loaded before\n", error.c_str());
        return;
    }
    const std::string shown = printable(file, false);
    const char* path = shown.c_str();
    const orvix::config::RegistryFile parsed = orvix::config::parse_registry_file(bytes);
    if (parsed.entries.empty() && parsed.problems.empty()) {
        // Empty: most likely an editor between truncating and writing the file.
        std::fprintf(stderr, "orvix-env: %s is empty; keeping the policies loaded before\n", path);
        return;
    }
    if (!parsed.problems.empty()) {
        // Half-written, or a mistake: applying it would take away the values of the lines
        // it cannot read.
        for (const auto& p : parsed.problems) {
            std::fprintf(stderr, "%s:%d: %s\n", path, p.line, printable(p.message, false).c_str());
        }
        std::fprintf(stderr, "orvix-env: %s not applied; keeping the policies loaded before\n", path);
        return;
    }
    const orvix::config::RegistryFileApplied result = orvix::config::apply_registry_file(parsed, applied);
    for (const auto& p : result.problems) {
        std::fprintf(stderr, "%s:%d: %s\n", path, p.line, printable(p.message, false).c_str());
    }
    std::fprintf(stderr, "orvix-env: loaded %s again\n", path);
    *applied = parsed;
}

int run_watch(double seconds) {
    if (start_console_log() != 0 || start_store() != 0) return 1;

    const std::string& registry_file = global_options().registry_file;
    orvix::config::RegistryFile applied;
    FileStamp applied_stamp;
    if (!registry_file.empty()) {
        // main() applied the file before the store started; keep it to compare edits with.
        std::string bytes, error;
        if (read_input_file(registry_file, &bytes, &error)) {
            applied = orvix::config::parse_registry_file(bytes);
        }
        applied_stamp = stamp_of(registry_file);
    }

    std::vector<SettingView> last = read_settings();
    StartupValues last_startup = startup_only_values();
    std::printf("watching %zu settings%s%s; interrupt to stop\n", last.size(),
                registry_file.empty() ? "" : " and ", printable(registry_file, false).c_str());
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (seconds < 0 || std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(kInterval);
        if (!registry_file.empty()) {
            const FileStamp now = stamp_of(registry_file);
            if (!now.present && applied_stamp.present) {
                std::fprintf(stderr,
                             "orvix-env: %s was deleted; the policies loaded from it stay until it returns\n",
                             printable(registry_file, false).c_str());
            } else if (now.present && !(now == applied_stamp)) {
                reload(registry_file, &applied);
            }
            applied_stamp = now;
        }
        std::vector<SettingView> current = read_settings();
        for (size_t i = 0; i < current.size() && i < last.size(); ++i) {
            if (current[i].value != last[i].value || current[i].has_value != last[i].has_value) {
                print_change(last[i], current[i]);
            }
        }
        last = std::move(current);
        StartupValues startup = startup_only_values();
        if (startup != last_startup) print_startup_changes(last_startup, startup);
        last_startup = std::move(startup);
    }
    return 0;
}

std::function<int()> declare_watch(CLI::App& command) {
    auto seconds = std::make_shared<double>(-1);
    command.add_option("SECONDS", *seconds, "stop after this many seconds (default: until interrupted)")
        ->check(kPositiveSeconds);
    return [seconds] { return run_watch(*seconds); };
}

}  // namespace

ORVIX_ENV_COMMAND(watch, "watch",
                  "print each setting whose value changes, old and new, until interrupted (or for SECONDS); "
                  "with --registry the file is loaded again when it changes",
                  declare_watch);

}  // namespace orvix_env
