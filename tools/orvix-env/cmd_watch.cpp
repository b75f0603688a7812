// orvix-env watch [SECONDS]: starts the environment store like the agent does and prints
// every setting whose value changes, with its old and new value, until interrupted (or
// for SECONDS). With --registry FILE.reg the file is loaded again whenever it changes, so
// editing it shows the live reload on machines without a registry.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "eventlog/event_log_clock.h"
#include "store_console.h"

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
    stamp.time = std::filesystem::last_write_time(path, error);
    if (error) return {};
    stamp.size = std::filesystem::file_size(path, error);
    stamp.present = !error;
    return stamp;
}

void print_change(const SettingView& before, const SettingView& after) {
    vorn_event_utc_time t{};
    vorn_event_system_utc_time(&t);
    const bool text = after.row.value_type == ENV_VALUE_STRING;
    const std::string old_value = before.has_value ? (text ? "\"" + before.value + "\"" : before.value) : "(no value)";
    const std::string new_value = after.has_value ? (text ? "\"" + after.value + "\"" : after.value) : "(no value)";
    std::printf("%02d:%02d:%02d.%03dZ  %s: %s -> %s%s\n", t.hour, t.minute, t.second, t.millisecond, after.row.name,
                old_value.c_str(), new_value.c_str(),
                after.has_value && after.value == after.initial ? " (default)" : "");
    std::fflush(stdout);
}

int run_watch(int argc, char** argv) {
    double seconds = -1;
    if (argc > 1 || (argc == 1 && (seconds = std::atof(argv[0])) <= 0)) {
        std::fprintf(stderr, "usage: orvix-env watch [SECONDS]\n");
        return 2;
    }
    if (start_console_log() != 0 || start_store() != 0) return 1;

    const std::string& registry_file = global_options().registry_file;
    orvix::config::RegistryFile applied;
    FileStamp applied_stamp;
    if (!registry_file.empty()) {
        // main() applied the file before the store started; keep it to compare edits with.
        std::string bytes, error;
        if (orvix::config::read_file_bytes(registry_file, &bytes, &error)) {
            applied = orvix::config::parse_registry_file(bytes);
        }
        applied_stamp = stamp_of(registry_file);
    }

    std::vector<SettingView> last = read_settings();
    std::printf("watching %zu settings%s%s; interrupt to stop\n", last.size(),
                registry_file.empty() ? "" : " and ", registry_file.c_str());
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (seconds < 0 || std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(kInterval);
        if (!registry_file.empty()) {
            const FileStamp now = stamp_of(registry_file);
            if (now.present && !(now == applied_stamp)) {
                orvix::config::RegistryFile loaded;
                if (load_registry_file(registry_file, &applied, &loaded)) {
                    std::fprintf(stderr, "orvix-env: loaded %s again\n", registry_file.c_str());
                    applied = std::move(loaded);
                }
                applied_stamp = now;
            }
        }
        std::vector<SettingView> current = read_settings();
        for (size_t i = 0; i < current.size() && i < last.size(); ++i) {
            if (current[i].value != last[i].value || current[i].has_value != last[i].has_value) {
                print_change(last[i], current[i]);
            }
        }
        last = std::move(current);
    }
    return 0;
}

}  // namespace

ORVIX_ENV_COMMAND(watch, "watch", "[SECONDS]",
                  "print each setting whose value changes, old and new, until interrupted (or for SECONDS); "
                  "with --registry the file is loaded again when it changes",
                  run_watch);

}  // namespace orvix_env
