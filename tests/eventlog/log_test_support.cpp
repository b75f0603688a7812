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

#include "os/file_system.h"
#include "os/registry.h"

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
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root);
    program_data = join({root, "pd"});
    fs::create_directories(program_data);
    log_folder = join({program_data, "Quillon", "OrvixAgent", "logs"}) + separator();
    archive_folder = join({program_data, "Quillon", "logs", "ROTATE"}) + separator();
    temp = join({root, "tmp"}) + separator();
    fs::create_directories(temp);
    redirect_program_data(program_data);
    redirect_temp(temp);
}

LogSandbox::~LogSandbox() {
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

void make_folder(const std::string& path) { fs::create_directories(path); }

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void age_file(const std::string& path, int64_t seconds) {
    const auto when = fs::file_time_type::clock::now() - std::chrono::seconds(seconds);
    fs::last_write_time(path, when);
}

void fixed_time(vorn_event_utc_time* now) { *now = {2024, 3, 9, 7, 5, 4, 32}; }

std::string line(const char* session, int32_t level, int32_t status, const char* category, const std::string& message,
                 const char* end) {
    char head[128];
    std::snprintf(head, sizeof head, "%s %s > LVL:%d RC:%4d %15s :", kFixedStamp, session, level, status, category);
    return head + message + end;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::vector<Forwarded>& forwarded() {
    static std::vector<Forwarded> calls;
    return calls;
}

int32_t record_forwarded(const char* message, int32_t reserved, uint32_t category, int32_t level, int32_t status) {
    forwarded().push_back({message, reserved, category, level, status});
    return 0;
}

void start_recording() {
    ASSERT_EQ(vorn_event_set_forwarding_callback(record_forwarded), 0);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    ASSERT_EQ(vorn_event_init(&params), 0);
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
}

std::string process_hex() {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(orvix::os::current_process_id()));
    return text;
}

void set_rotation_value(uint32_t type, const void* data, uint32_t bytes) {
    using namespace orvix::os;
    RegKey key = 0;
    ASSERT_EQ(registry_create_key(kHkeyLocalMachine, u"SOFTWARE\\Quillon\\OrvixAgent", kKeyAllAccess, &key),
              kErrorSuccess);
    ASSERT_EQ(registry_set_value(key, u"OrvixLogRotationTime", type, data, bytes), kErrorSuccess);
    registry_close_key(key);
}

void set_rotation_text(const std::u16string& text, uint32_t type) {
    set_rotation_value(type, text.c_str(), static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t)));
}

}  // namespace orvix_test
