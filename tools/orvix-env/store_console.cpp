#include "store_console.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "commands.h"
#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "config/environment_store_internal.h"
#include "console.h"
#include "eventlog/event_log.h"
#include "os/file_system.h"
#include "platform/text_conversion.h"
#include "text_output.h"

namespace orvix_env {

namespace {

// Distinct problem messages: a reload can report the same problem again, and the count
// must not depend on how often that happened.
std::mutex g_problems_mutex;
std::set<std::string> g_problems;
// The store's refusal of the policy manager when the file-backed one was made first.
std::atomic<bool> g_expect_refusal{false};

// The event log's line without time and session: the console shows them as they happen.
// Runs under the event log's lock, so it must not log.
int32_t to_console(const char* message, int32_t, uint32_t category, int32_t level, int32_t status) {
    if (g_expect_refusal.load() && std::strncmp(message, "configure_from_sources:", 23) == 0) return 0;
    if (!global_options().verbose) {
        if (status < 0) {
            std::lock_guard<std::mutex> lock(g_problems_mutex);
            g_problems.insert(message);
        }
        // The agent's start delay sleeps inside the store's start: say so before the wait.
        if (std::strstr(message, ": Delaying start for ") != nullptr) {
            std::fprintf(stderr, "orvix-env: orvix.start_delay_time holds the start: %s\n",
                         printable(std::strstr(message, "Delaying start for "), false).c_str());
        }
        return 0;
    }
    const char* name = vorn_event_category_name(category);
    std::fprintf(stderr, "LVL:%d RC:%4d %15s :%s\n", static_cast<int>(level), static_cast<int>(status),
                 name != nullptr ? name : "", printable(message, false).c_str());
    return 0;
}

}  // namespace

int32_t start_console_log() {
    vorn_event_set_forwarding_callback(to_console);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = "orvix-env";
    params.stream = stderr;  // with a stream nothing is pruned; the callback takes every line
    params.level = VORN_EVENT_LEVEL_INFO;
    return vorn_event_init(&params);
}

int32_t start_store(bool file_variant) {
    if (file_variant) {
        // The file-backed manager creates the program-data folder when it is missing, as
        // the agent does; a command that only reads must not, and there is no file to read.
        std::u16string folder;
        std::string utf8;
        if (orvix::os::known_folder_program_data(&folder)) {
            utf8 = orvix::text::utf16_to_utf8(folder);
            std::error_code error;
            if (!std::filesystem::exists(path_from_utf8(utf8), error)) {
                std::fprintf(stderr,
                             "orvix-env: the program-data folder %s does not exist, so there is no agent "
                             "configuration file to read (the file-backed variant would create the folder; "
                             "this command does not)\n",
                             printable(utf8, false).c_str());
                return VORN_STATUS_INVALID;
            }
        }
        // The file-backed manager exists first, so the store's start-up cannot make the
        // policy manager (it logs that refusal, which is expected here); the file's
        // values are then loaded and applied as the store's start-up would.
        get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_FILE);
        g_expect_refusal.store(true);
    }
    const int32_t status = vorn_mgmt_env_init(0);
    g_expect_refusal.store(false);
    if (status != VORN_STATUS_SUCCESS) {
        std::fprintf(stderr, "orvix-env: the environment store did not start (status %d)\n", static_cast<int>(status));
        return status;
    }
    if (file_variant) configure_from_sources(VORN_ENV_TYPE_PREEXISTING, nullptr);
    return status;
}

void summarise_console_problems() {
    int problems = 0;
    {
        std::lock_guard<std::mutex> lock(g_problems_mutex);
        problems = static_cast<int>(g_problems.size());
    }
    if (problems == 0 || global_options().verbose) return;
    std::fprintf(stderr,
                 "orvix-env: the layer reported %d problem%s while reading the configuration; check-policy "
                 "(or check-config) explains %s, --verbose shows the layer's messages\n",
                 problems, problems == 1 ? "" : "s", problems == 1 ? "it" : "them");
}

std::vector<SettingView> read_settings() {
    std::vector<SettingView> settings;
    const sVORN_MGMT_ENV_CONTROL_BLOCK* block = mgmt_vorn_env_control_block();
    for (uint32_t index = 1; index <= get_num_entries() && index < VORN_MGMT_ENV_NUM_SLOTS; ++index) {
        SettingView s{index, get_entry(index), {}, {}, false};
        uint8_t value[VORN_MGMT_ENV_SLOT_SIZE] = {};
        s.has_value = mgmt_vorn_env_get(index, value) == VORN_STATUS_SUCCESS;
        s.value = display_value(index, value);
        s.initial = display_value(index, block->default_slots[index]);
        settings.push_back(std::move(s));
    }
    return settings;
}

std::vector<SourceView> read_sources() {
    std::vector<SourceView> sources;
    if (!vorn_mgmt_cfg_mgr_exists()) return sources;
    for (auto& report : get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING)->describe_sources()) {
        const bool file = report.label == "configuration file";
        sources.push_back({report.label,
                           file ? report.description : "HKEY_LOCAL_MACHINE\\" + report.description,
                           std::move(report.values)});
    }
    return sources;
}

std::string source_of(const std::vector<SourceView>& sources, const std::string& name) {
    for (const SourceView& source : sources) {
        if (source.values.count(name) != 0) return source.label;
    }
    return {};
}

void add_source_option(CLI::App& command, std::shared_ptr<bool> file) {
    command
        .add_option_function<std::string>(
            "--source", [file](const std::string& value) { *file = value == "file"; },
            "registry: the policy keys, as the agent reads them (the default); file: the agent "
            "configuration file, as the file-backed variant reads it")
        ->check(CLI::IsMember({"registry", "file"}));
}

nlohmann::ordered_json value_json(uint32_t value_type, const std::string& display) {
    const bool numeric = value_type == ENV_VALUE_UINT8 || value_type == ENV_VALUE_UINT16 ||
                         value_type == ENV_VALUE_UINT32 || value_type == ENV_VALUE_ENUM;
    if (numeric && !display.empty() && display.size() <= 10 &&
        display.find_first_not_of("0123456789") == std::string::npos) {
        return std::stoull(display);
    }
    return display;
}

const char* type_name(uint32_t value_type) {
    switch (value_type) {
        case ENV_VALUE_DEPRECATED: return "end";
        case ENV_VALUE_UNDEFINED: return "none";
        case ENV_VALUE_UINT8: return "u8";
        case ENV_VALUE_UINT16: return "u16";
        case ENV_VALUE_UINT32: return "u32";
        case ENV_VALUE_STRING: return "string";
        case ENV_VALUE_ENUM: return "enum";
        case ENV_VALUE_MAC_ADDR: return "MAC";
        default: return "?";
    }
}

std::string display_value(uint32_t index, const uint8_t* value) {
    char text[VORN_MGMT_ENV_SLOT_SIZE + 32];
    mgmt_vorn_env_format_value(index, value, text, sizeof text);
    return text;
}

}  // namespace orvix_env
