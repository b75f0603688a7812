// How long a configuration change takes to become readable from the environment store,
// and what one full reload costs.
//
// - Registry: a DWORD written under the admin policy key, until vorn_mgmt_env_get_uint32
//   returns it. Bounded by the registry source's 200 ms of quiet (observed in 200 ms wait
//   steps) plus the manager's 500 ms poll.
// - File: the agent configuration file rewritten, with the file manager's watcher, until
//   the store returns the new value. Target: 100 ms.
// - Reload: one reload of all three registry sources with every configurable setting
//   present, beside the floor of writing the same values straight into the store.
//
// Usage: config_latency [CHANGES]   (default 40 changes per path)
// Runs natively and under Wine; the machine's own keys and folders are never touched.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "latency_sandbox.h"
#include "os/registry.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr char16_t kAdminKey[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
constexpr const char* kSetting = "orvix.mtu_size";  // range 500..1500, default 1200

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Milliseconds until the store holds expected, or -1 after 5 s.
double wait_for_value(Clock::time_point start, uint32_t expected) {
    while (ms_since(start) < 5000) {
        uint32_t value = 0;
        if (vorn_mgmt_env_get_uint32(kSetting, &value) == 0 && value == expected) return ms_since(start);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return -1;
}

void report(const char* what, std::vector<double> samples, double bound_ms, const char* bound_text) {
    const size_t lost = static_cast<size_t>(std::count(samples.begin(), samples.end(), -1.0));
    samples.erase(std::remove(samples.begin(), samples.end(), -1.0), samples.end());
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) {
        std::printf("%-9s no change arrived within 5 s (%zu tries)\n", what, lost);
        return;
    }
    auto at = [&](double q) { return samples[std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()))]; };
    std::printf("%-9s %3zu changes  p50 %7.1f ms  p99 %7.1f ms  max %7.1f ms   %s %.0f ms: %s%s\n", what,
                samples.size(), at(0.5), at(0.99), samples.back(), bound_text, bound_ms,
                samples.back() <= bound_ms && lost == 0 ? "met" : "NOT met",
                lost != 0 ? " (some changes never arrived)" : "");
}

void set_dword(std::u16string_view key_path, std::u16string_view name, uint32_t value) {
    orvix::os::RegKey key = 0;
    if (orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, key_path, orvix::os::kKeyAllAccess, &key) != 0) {
        std::fprintf(stderr, "cannot create the policy key\n");
        std::exit(1);
    }
    orvix::os::registry_set_value(key, name, orvix::os::kRegDword, &value, sizeof value);
    orvix::os::registry_close_key(key);
}

std::vector<double> registry_changes(int changes) {
    std::vector<double> samples;
    for (int i = 0; i < changes; ++i) {
        const uint32_t value = 600 + 100 * static_cast<uint32_t>(i % 2);
        const auto start = Clock::now();
        set_dword(kAdminKey, u"orvix.mtu_size", value);
        samples.push_back(wait_for_value(start, value));
    }
    return samples;
}

std::vector<double> file_changes(int changes, const std::string& folder) {
    const std::string path = folder + path_separator() + "Quillon" + path_separator() + "orvix-agent.conf";
    std::filesystem::create_directories(folder + path_separator() + "Quillon");
    std::ofstream(path) << "orvix.mtu_size = 1000\n";
    cVORN_MGMT_CFG_MGR_FILE manager(store_environment_interface());
    cVORN_MGMT_CFG_MGR::SettingsMap map;
    manager.apply_config_settings(manager.load(map, nullptr), [](const sVORN_ENV_LOOKUP_ENTRY&) { return false; });
    if (manager.polling()) std::printf("file: the folder cannot be watched here; the manager polls every 500 ms\n");
    std::vector<double> samples;
    for (int i = 0; i < changes; ++i) {
        const uint32_t value = 800 + 100 * static_cast<uint32_t>(i % 2);
        const auto start = Clock::now();
        std::ofstream(path, std::ios::trunc) << "orvix.mtu_size = " << value << "\n";
        samples.push_back(wait_for_value(start, value));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // one change at a time
    }
    return samples;
}

// Every configurable setting under all three keys, then full reloads.
void reload_cost(int rounds) {
    const char16_t* keys[] = {kAdminKey, u"SOFTWARE\\Quillon\\Orvix\\orvix_admin",
                              u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin_defaults"};
    int settings = 0;
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        if (row.configurable != ENV_CONFIGURABLE) continue;
        ++settings;
        const std::string name = row.name;
        const std::u16string wide(name.begin(), name.end());
        for (const char16_t* key : keys) {
            orvix::os::RegKey handle = 0;
            orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, key, orvix::os::kKeyAllAccess, &handle);
            if (row.value_class == ENV_CLASS_TEXT) {
                std::u16string text;
                for (const char* p = row.default_value; *p; ++p) text.push_back(static_cast<unsigned char>(*p));
                orvix::os::registry_set_value(handle, wide, orvix::os::kRegSz, text.c_str(),
                                              static_cast<uint32_t>((text.size() + 1) * 2));
            } else {
                const uint32_t number = static_cast<uint32_t>(std::atoi(row.default_value));
                orvix::os::registry_set_value(handle, wide, orvix::os::kRegDword, &number, sizeof number);
            }
            orvix::os::registry_close_key(handle);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // let every source re-read once
    cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING);
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) manager->reload();
    const double reload_ms = ms_since(start) / rounds;

    // The floor: the same values written straight into the store, without the sources;
    // like a reload it leaves the startup-only settings alone.
    cVORN_MGMT_CFG_MGR::SettingsMap merged;
    for (const auto& source : manager->describe_sources()) merged.insert(source.values.begin(), source.values.end());
    start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        manager->apply_config_settings(merged, [](const sVORN_ENV_LOOKUP_ENTRY& row) {
            return (row.modification & ENV_MOD_STARTUP_ONLY) != 0;
        });
    }
    const double apply_ms = ms_since(start) / rounds;
    std::printf("reload    %d settings under each of 3 keys: %.3f ms per full reload; writing the merged values "
                "alone %.3f ms (reload / writes = %.2f)\n",
                settings, reload_ms, apply_ms, reload_ms / apply_ms);
}

}  // namespace

int main(int argc, char** argv) {
    // A non-number (the benchmark runner's own flags) means a short smoke run.
    int changes = 40;
    if (argc > 1) changes = std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 3;

    const std::string folder = (std::filesystem::temp_directory_path() /
                                ("orvix-latency-" + std::to_string(Clock::now().time_since_epoch().count())))
                                   .string();
    std::filesystem::create_directories(folder);
    if (!sandbox_machine_settings(folder)) {
        std::fprintf(stderr, "cannot keep the benchmark off the machine's settings\n");
        return 1;
    }
    if (vorn_mgmt_env_init(0) != 0) {
        std::fprintf(stderr, "the environment store did not start\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the sources' first pass

    report("registry", registry_changes(changes), 900, "bound (200 ms quiet in 200 ms steps + 500 ms poll)");
    report("file", file_changes(changes, folder), 100, "target");
    reload_cost(changes);

    end_sandbox();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
