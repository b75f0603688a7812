#include "OrvixLog/OrvixLog.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "eventlog/event_log.h"
#include "os/once.h"
#include "os/thread_id.h"

namespace orvix {

namespace {

constexpr const char kUnit[] = "src/OrvixLog/OrvixLog";

bool is_replaced(unsigned char c) {
    switch (c) {
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
        case '*':
        case ':':
            return true;
        default:
            return c < 0x20 || c > 0x7E;
    }
}

const char* level_prefix(int32_t level) {
    switch (level) {
        case VORN_EVENT_LEVEL_ERROR: return "<ERROR> ";
        case VORN_EVENT_LEVEL_INFO: return "<INFO> ";
        case VORN_EVENT_LEVEL_DEBUG: return "<DEBUG> ";
        default: return "<UNKNOWN> ";
    }
}

// The singleton. The pointer is never destroyed by the runtime: release_instance, which
// is registered with atexit once the event log has started, lets go of it before the
// event log's own objects are destroyed, so the last lines still reach the file.
union InstanceStorage {
    constexpr InstanceStorage() : pointer() {}
    ~InstanceStorage() {}
    std::shared_ptr<IOrvixLog> pointer;
};
constinit InstanceStorage g_instance;
constinit os::OnceFlag g_created;

struct CreateArguments {
    bool file_logging;
    bool archive_closed_files;
};

void release_instance() { g_instance.pointer.reset(); }

void createInstance(void* context) {
    const auto* arguments = static_cast<const CreateArguments*>(context);
    try {
        g_instance.pointer = std::make_shared<OrvixLog>(arguments->file_logging,
                                                        arguments->file_logging && arguments->archive_closed_files);
    } catch (const std::bad_alloc&) {
        vorn_event_assert(VORN_STATUS_FAILURE, __func__, 107);
        return;
    }
    // The routine runs inside the one-time primitive, which an exception must not cross:
    // a failure that throws leaves no instance, like one that returns false.
    bool initialised = false;
    try {
        initialised = g_instance.pointer->init();
    } catch (...) {
    }
    if (!initialised) {
        g_instance.pointer.reset();
        return;
    }
    std::atexit(release_instance);
}

}  // namespace

bool sanitizeLogPath(std::string& path) {
    bool changed = false;
    for (size_t i = 0; i < path.size(); ++i) {
        if (i == 1 && path.size() > 2 && path[1] == ':') continue;
        if (is_replaced(static_cast<unsigned char>(path[i]))) {
            path[i] = '_';
            changed = true;
        }
    }
    return changed;
}

OrvixLog::OrvixLog(bool file_logging, bool archive_closed_files)
    : file_logging_(file_logging), archive_closed_files_(file_logging && archive_closed_files) {}

OrvixLog::~OrvixLog() {
    if (file_logging_) vorn_event_shutdown();
}

void OrvixLog::setLogLevel(int32_t level) {
    const int32_t old = level_.load();
    if (level == old) return;
    log(VORN_EVENT_LEVEL_INFO, kUnit, __LINE__, "Changing log level from %d to %d", old, level);
    level_.store(level);
    if (vorn_event_set_category_level(0, level) != VORN_STATUS_SUCCESS) {
        log(VORN_EVENT_LEVEL_ERROR, kUnit, __LINE__, "Error setting log level.");
    }
}

int32_t OrvixLog::getLogLevel() { return level_.load(); }

std::string OrvixLog::getLogPath() { return log_path_; }

void OrvixLog::setCallback(Callback callback) {
    auto stored = callback ? std::make_shared<const Callback>(std::move(callback)) : nullptr;
    std::lock_guard<std::mutex> guard(callback_lock_);
    callback_ = std::move(stored);
}

void OrvixLog::log(int32_t level, const char* file, int32_t line, const char* format, ...) {
    if (level > level_.load()) return;
    va_list arguments;
    va_start(arguments, format);
    logV(level, file, line, format, arguments);
    va_end(arguments);
}

void OrvixLog::logV(int32_t level, const char*, int32_t, const char* format, va_list arguments) {
    std::shared_ptr<const Callback> callback;
    {
        std::lock_guard<std::mutex> guard(callback_lock_);
        callback = callback_;
    }
    char message[kMaxMessage + 1];
    // A message that cannot be formatted (a wide argument the C library cannot convert)
    // is kept as its format rather than lost.
    if (format == nullptr) format = "";
    if (std::vsnprintf(message, sizeof message, format, arguments) < 0) {
        std::snprintf(message, sizeof message, "%s", format);
    }
    char thread[16];
    std::snprintf(thread, sizeof thread, "%04X ", static_cast<unsigned>(os::current_thread_id()));
    if (callback) {
        (*callback)(std::string(level_prefix(level)) + thread + message);
        return;
    }
    vorn_event_log(VORN_EVENT_CAT_AGENT, level, 0, "%s%s", thread, message);
}

void IOrvixLog::createInstanceIfNeeded(bool file_logging, bool archive_closed_files) {
    CreateArguments arguments{file_logging, archive_closed_files};
    if (!os::run_once(g_created, createInstance, &arguments)) std::abort();
}

std::shared_ptr<IOrvixLog> IOrvixLog::getInstance() {
    createInstanceIfNeeded(true, false);
    return g_instance.pointer;
}

void orvixLogError(const char* file, int32_t line, const char* format, ...) {
    const std::shared_ptr<IOrvixLog> instance = IOrvixLog::getInstance();
    if (!instance) return;
    va_list arguments;
    va_start(arguments, format);
    instance->logV(VORN_EVENT_LEVEL_ERROR, file, line, format, arguments);
    va_end(arguments);
}

}  // namespace orvix
