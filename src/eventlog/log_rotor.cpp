// The file rotor: owns the one open log file of the process, builds its name from
// components with placeholders, replaces it when its rotation time is up, and moves
// finished files into the archive folder.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "eventlog/event_log_clock.h"
#include "eventlog/log_files.h"
#include "eventlog/log_files_testing.h"
#include "os/event.h"
#include "os/file_system.h"
#include "platform/text_conversion.h"

namespace {

constexpr int kMaxComponents = 20;
constexpr size_t kMaxComponentChars = 255;
constexpr size_t kMaxNameChars = 259;
constexpr size_t kMaxFolderChars = 259;
constexpr int32_t kErrorAlreadyExistsStatus = 183;
constexpr int32_t kErrorShuttingDown = 21;  // ERROR_NOT_READY
constexpr int32_t kErrorPathNotFound = 3;

struct RotorState {
    std::mutex lock;
    std::atomic<bool> initialised{false};
    std::atomic<bool> shutting_down{false};
    std::u16string folder;
    std::u16string components[kMaxComponents];
    int component_count = 0;
    bool has_unique = false;
    bool synchronous_archive = false;
    int32_t rotation_minutes = 0;
    orvix::os::FileHandle file = orvix::os::kInvalidFile;
    std::u16string file_name;
    uint64_t opened_tick = 0;
    uint32_t open_error = 0;  // why the last attempt to open a file failed; 0 after a success
    bool archiver_running = false;
    std::unique_ptr<orvix::os::Event> stop_event;
    std::unique_ptr<orvix::os::Event> done_event;
};

RotorState g_rotor;
std::atomic<vorn_log_rotor_tick_source> g_tick_source{nullptr};
std::atomic<vorn_log_rotor_work_submitter> g_submitter{nullptr};
std::atomic<uint32_t> g_archiver_interval_ms{5000};

uint64_t now_tick() {
    vorn_log_rotor_tick_source source = g_tick_source.load();
    return source != nullptr ? source() : orvix::os::tick_count_ms();
}

bool submit(void (*fn)(void*), void* context) {
    vorn_log_rotor_work_submitter submitter = g_submitter.load();
    return submitter != nullptr ? submitter(fn, context) : orvix::os::submit_work_item(fn, context);
}

std::u16string ascii(const char* text) {
    std::u16string out;
    for (const char* p = text; *p != '\0'; ++p) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    return out;
}

bool equals_ignoring_case(const std::u16string& a, const char16_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
        if (x != y) return false;
    }
    return i == a.size() && b[i] == 0;
}

std::u16string expand(const std::u16string& component, int unique) {
    char text[64];
    if (equals_ignoring_case(component, u"%process")) {
        std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(orvix::os::current_process_id()));
    } else if (equals_ignoring_case(component, u"%date")) {
        vorn_event_utc_time t{};
        vorn_event_current_utc_time(&t);
        std::snprintf(text, sizeof text, "%4d_%02d_%02dT%02d_%02d_%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                      t.second);
    } else if (equals_ignoring_case(component, u"%time")) {
        orvix::os::LocalTime t;
        orvix::os::local_time_now(&t);
        std::snprintf(text, sizeof text, "%02d%02d%02d", t.hour, t.minute, t.second);
    } else if (equals_ignoring_case(component, u"%unique")) {
        std::snprintf(text, sizeof text, "%d", unique);
    } else {
        return component;
    }
    return ascii(text);
}

std::u16string build_name(int unique) {
    std::u16string name;
    for (int i = 0; i < g_rotor.component_count; ++i) {
        if (i > 0) name.push_back(i == g_rotor.component_count - 1 ? u'.' : u'_');
        name += expand(g_rotor.components[i], unique);
    }
    if (name.size() > kMaxNameChars) name.resize(kMaxNameChars);
    return name;
}

std::u16string archive_folder_below(const std::u16string& root) {
    const char16_t sep = orvix::os::path_separator();
    return root + sep + u"Quillon" + sep + u"logs" + sep + u"ROTATE" + sep;
}

std::u16string archive_folder() {
    std::u16string root;
    if (!orvix::os::common_app_data_folder(&root)) root = u"C:\\ProgramData";
    return archive_folder_below(root);
}

uint32_t move_to_archive(const std::u16string& log_folder, const std::u16string& name) {
    const std::u16string archive = archive_folder();
    orvix::os::create_directory_tree(archive);
    vorn_event_utc_time t{};
    vorn_event_current_utc_time(&t);
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d-%02d-%02d-", t.year, t.month, t.day, t.hour, t.minute);
    std::u16string target = ascii(prefix) + name;
    if (target.size() >= 4 && target.compare(target.size() - 4, 4, u".txt") == 0) {
        target.replace(target.size() - 4, 4, u".log");
    }
    return orvix::os::move_file_replace(log_folder + name, archive + target);
}

// Shared by the closing thread and the work item, so neither frees it under the other.
struct ArchiveJob {
    std::u16string folder;
    const std::u16string* name;  // the closing thread's copy, valid until the handshake
    orvix::os::Event handshake{orvix::os::Event::Reset::kAuto};
    bool shutting_down = false;
};

void archive_work_item(void* context) {
    std::unique_ptr<std::shared_ptr<ArchiveJob>> holder(static_cast<std::shared_ptr<ArchiveJob>*>(context));
    std::shared_ptr<ArchiveJob> job = *holder;
    const std::u16string name = *job->name;
    if (!job->shutting_down) {
        job->handshake.set();  // the closing thread only waits for the name
        move_to_archive(job->folder, name);
        return;
    }
    move_to_archive(job->folder, name);
    job->handshake.set();
}

void error_marker() {
    const char16_t sep = orvix::os::path_separator();
    std::u16string path = orvix::os::fixed_program_data_root() + sep + u"Quillon" + sep + u"OrvixAgent" + sep +
                          u"logs" + sep + u"error_file.txt";
    orvix::os::FileHandle marker = orvix::os::kInvalidFile;
    if (orvix::os::open_for_append(path, &marker) == 0) orvix::os::close_file(marker);
}

// Closes the current file and, with rotation on, archives it. Called under the lock.
void close_current_file() {
    if (g_rotor.file == orvix::os::kInvalidFile) return;
    orvix::os::close_file(g_rotor.file);
    g_rotor.file = orvix::os::kInvalidFile;
    const std::u16string name = g_rotor.file_name;
    if (g_rotor.rotation_minutes <= 0) return;
    if (g_rotor.synchronous_archive) {
        move_to_archive(g_rotor.folder, name);
        return;
    }
    auto job = std::make_shared<ArchiveJob>();
    job->folder = g_rotor.folder;
    job->name = &name;
    job->shutting_down = g_rotor.shutting_down.load();
    auto* context = new std::shared_ptr<ArchiveJob>(job);
    if (!submit(archive_work_item, context)) {
        delete context;
        error_marker();
        return;
    }
    // Until the work item has copied the name (or, while shutting down, moved the file).
    job->handshake.wait(orvix::os::kWaitInfinite);
}

void archiver(void*) {
    g_rotor.done_event->reset();
    const char16_t* patterns[] = {u"*.txt", u"*.dmp", u"*.log"};
    const std::u16string folder = g_rotor.folder;
    while (!g_rotor.stop_event->wait(g_archiver_interval_ms.load())) {
        for (const char16_t* pattern : patterns) {
            std::vector<orvix::os::FoundFile> found;
            if (orvix::os::find_files(folder + pattern, &found) != 0) continue;
            for (const auto& f : found) {
                if (f.is_directory || f.name == u"." || f.name == u"..") continue;
                move_to_archive(folder, f.name);  // the open log file cannot be moved and stays
            }
        }
    }
    g_rotor.done_event->set();
}

}  // namespace

std::u16string vorn_util_get_archive_folder() {
    // The same folder the rotor moves files into, found without creating anything.
    std::u16string root;
    if (!orvix::os::known_folder_program_data(&root) && !orvix::os::common_app_data_folder(&root)) {
        root = u"C:\\ProgramData";
    }
    return archive_folder_below(root);
}

void vorn_log_rotor_set_tick_source(vorn_log_rotor_tick_source source) { g_tick_source.store(source); }
void vorn_log_rotor_set_work_submitter(vorn_log_rotor_work_submitter submitter) { g_submitter.store(submitter); }
void vorn_log_rotor_set_archiver_interval(uint32_t milliseconds) { g_archiver_interval_ms.store(milliseconds); }

int32_t vorn_log_rotor_init(int32_t rotation_minutes, const char* folder, const char* const* components,
                            int32_t run_archiver) {
    if (g_rotor.initialised.load()) return kErrorAlreadyExistsStatus;
    std::lock_guard<std::mutex> guard(g_rotor.lock);
    g_rotor.file = orvix::os::kInvalidFile;
    g_rotor.opened_tick = 0;
    g_rotor.open_error = 0;
    g_rotor.component_count = 0;
    g_rotor.has_unique = false;
    g_rotor.synchronous_archive = false;
    g_rotor.shutting_down.store(false);
    g_rotor.archiver_running = false;
    g_rotor.rotation_minutes = rotation_minutes;

    if (components != nullptr) {
        for (const char* const* c = components; *c != nullptr && g_rotor.component_count < kMaxComponents; ++c) {
            std::u16string wide;
            if (vorn_util_create_wide_string_from_utf8(*c, &wide) != VORN_STATUS_SUCCESS) continue;
            if (wide.size() > kMaxComponentChars) wide.resize(kMaxComponentChars);
            if (equals_ignoring_case(wide, u"%unique")) {
                g_rotor.has_unique = true;
            } else if (wide.find(u"provider") != std::u16string::npos) {
                g_rotor.synchronous_archive = true;
            }
            g_rotor.components[g_rotor.component_count++] = std::move(wide);
        }
    }

    // An empty folder stays empty and no file is ever created: a bare separator would put
    // log files at the root of the drive.
    std::u16string wide_folder;
    vorn_util_create_wide_string_from_utf8(folder != nullptr ? folder : "", &wide_folder);
    if (wide_folder.size() > kMaxFolderChars - 1) wide_folder.resize(kMaxFolderChars - 1);
    if (!wide_folder.empty() && !orvix::os::is_path_separator(wide_folder.back())) {
        wide_folder.push_back(orvix::os::path_separator());
    }
    g_rotor.folder = wide_folder;
    if (!g_rotor.folder.empty()) orvix::os::create_directory_tree(g_rotor.folder);

    if (rotation_minutes > 0 && run_archiver) {
        // An archiver of an earlier run that never finished still holds its events.
        if (g_rotor.stop_event) {
            (void)g_rotor.stop_event.release();
            (void)g_rotor.done_event.release();
        }
        g_rotor.stop_event = std::make_unique<orvix::os::Event>(orvix::os::Event::Reset::kManual);
        g_rotor.done_event = std::make_unique<orvix::os::Event>(orvix::os::Event::Reset::kManual);
        g_rotor.archiver_running = orvix::os::start_persistent_work(archiver, nullptr);
    }
    g_rotor.initialised.store(true);
    return 0;
}

int32_t vorn_log_rotor_get_handle(orvix::os::FileHandle* handle_out, char16_t* name_out, uint32_t name_size) {
    if (handle_out == nullptr) return 87;  // ERROR_INVALID_PARAMETER
    *handle_out = orvix::os::kInvalidFile;
    std::lock_guard<std::mutex> guard(g_rotor.lock);
    if (g_rotor.shutting_down.load() || !g_rotor.initialised.load()) return kErrorShuttingDown;

    // The clock is read only when files rotate at all.
    const bool expired = g_rotor.rotation_minutes > 0 &&
                         now_tick() - g_rotor.opened_tick > static_cast<uint64_t>(g_rotor.rotation_minutes) * 60000u;
    if (g_rotor.file == orvix::os::kInvalidFile || expired) {
        close_current_file();
        if (g_rotor.folder.empty()) {
            g_rotor.open_error = kErrorPathNotFound;
            return kErrorPathNotFound;
        }
        std::u16string name = build_name(0);
        if (g_rotor.has_unique) {
            for (int n = 1; orvix::os::file_exists(g_rotor.folder + name); ++n) name = build_name(n);
        }
        orvix::os::FileHandle file = orvix::os::kInvalidFile;
        const std::u16string path = g_rotor.folder + name;
        if (uint32_t error = orvix::os::create_log_file(path, &file); error != 0) {
            g_rotor.open_error = error;
            return static_cast<int32_t>(error);
        }
        g_rotor.open_error = 0;
        g_rotor.file = file;
        g_rotor.file_name = name;
        g_rotor.opened_tick = now_tick();
        if (name_out != nullptr && name_size > 0) {
            const size_t n = std::min<size_t>(path.size(), name_size - 1);
            std::memcpy(name_out, path.data(), n * sizeof(char16_t));
            name_out[n] = u'\0';
        }
    }
    if (uint32_t error = orvix::os::duplicate_handle(g_rotor.file, handle_out); error != 0) {
        return static_cast<int32_t>(error);
    }
    return 0;
}

uint32_t vorn_log_rotor_open_error() {
    std::lock_guard<std::mutex> guard(g_rotor.lock);
    return g_rotor.open_error;
}

void vorn_log_rotor_shutdown() {
    if (!g_rotor.initialised.exchange(false)) return;
    std::lock_guard<std::mutex> guard(g_rotor.lock);
    g_rotor.shutting_down.store(true);
    if (g_rotor.stop_event) g_rotor.stop_event->set();
    close_current_file();
    if (g_rotor.archiver_running) {
        // An archiver that does not finish in time keeps its events: it still uses them.
        if (g_rotor.done_event->wait(5000)) {
            g_rotor.stop_event.reset();
            g_rotor.done_event.reset();
        }
        g_rotor.archiver_running = false;
    }
}
