#include "eventlog/log_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "os/file_system.h"
#include "os/registry.h"
#include "os/thread_id.h"

namespace fs = std::filesystem;

namespace orvix_test {

std::string join(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& part : parts) {
        if (!out.empty() && out.back() != separator()) out.push_back(separator());
        out += part;
    }
    return out;
}

LogSandbox::LogSandbox() {
    static std::atomic<int> counter{0};
    // Taken once: a sandbox redirects the temporary folder into itself.
    static const std::string base = fs::temp_directory_path().string();
    root = join({base, "orvix-el-" + process_hex() + "-" + std::to_string(counter++)}) + separator();
    program_data = join({root, "pd"});
    log_folder = join({program_data, "Quillon", "OrvixAgent", "logs"}) + separator();
    archive_folder = join({program_data, "Quillon", "logs", "ROTATE"}) + separator();
    temp = join({root, "tmp"}) + separator();
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(program_data);
    fs::create_directories(temp);
    redirect_program_data(program_data);
    redirect_temp(temp);
}

LogSandbox::~LogSandbox() {
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string read_file(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(fs::path(reinterpret_cast<const char8_t*>(path.c_str())), std::ios::binary).rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& bytes, int64_t age_seconds) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    if (age_seconds > 0)
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(age_seconds));
}

bool eventually_exists(const std::string& path) {
    std::error_code ec;
    for (int i = 0; i < 1000 && !fs::exists(path, ec); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(path, ec);
}

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void fixed_time(vorn_event_utc_time* now) { *now = {2024, 3, 9, 7, 5, 4, 32}; }

std::string archived(const std::string& name) {
    std::string out = "2024-03-09-07-05-" + name;
    if (out.ends_with(".txt")) out.replace(out.size() - 4, 4, ".log");
    return out;
}

std::string line(const char* session, int32_t level, int32_t status, const char* category,
                 const std::string& message, const char* end) {
    char head[128];
    std::snprintf(head, sizeof head, "2024-03-09T07:05:04.032Z %s > LVL:%d RC:%4d %15s :", session, level,
                  status, category);
    return head + message + end;
}

std::string process_hex() {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(orvix::os::current_process_id()));
    return text;
}

std::string thread_prefix() {
    char text[16];
    std::snprintf(text, sizeof text, "%04X ", static_cast<unsigned>(orvix::os::current_thread_id()));
    return text;
}

vorn_event_init_params init_params(const char* app_name, int32_t asynchronous) {
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = app_name;
    params.asynchronous = asynchronous;
    return params;
}

std::ostream& operator<<(std::ostream& out, const Forwarded& f) {
    return out << "{\"" << f.message << "\", " << f.category << ", " << f.level << ", " << f.status << "}";
}

std::vector<Forwarded>& forwarded() {
    static std::vector<Forwarded> calls;
    return calls;
}

int32_t record_forwarded(const char* message, int32_t reserved, uint32_t category, int32_t level,
                         int32_t status) {
    EXPECT_EQ(reserved, 0);
    forwarded().push_back({message, category, level, status});
    return static_cast<int32_t>(forwarded().size());
}

void start_recording() {
    ASSERT_EQ(vorn_event_set_forwarding_callback(record_forwarded), 0);
    const vorn_event_init_params params = init_params("", 0);
    ASSERT_EQ(vorn_event_init(&params), 0);
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
}

void set_machine_value(const char16_t* key, const char16_t* name, uint32_t type, const void* data,
                       uint32_t bytes) {
    using namespace orvix::os;
    RegKey handle = 0;
    ASSERT_EQ(registry_create_key(kHkeyLocalMachine, key, kKeyAllAccess, &handle), kErrorSuccess);
    EXPECT_EQ(registry_set_value(handle, name, type, data, bytes), kErrorSuccess);
    registry_close_key(handle);
}

}  // namespace orvix_test
