// The agent log: the object-oriented face of the event log for the agent's newer code.
// One process-wide instance, shared by reference counting, turns printf-style calls with
// a level and a source position into event-log messages of category AGENT, each prefixed
// with the calling thread's identifier; a caller may divert the output to a callback.
//
// The first getInstance() creates it: that needs the configuration manager (the store's
// start-up creates it), starts the event log for "orvix_agent" in asynchronous mode and
// takes the level from "orvix.event_filter_mode". When that fails the instance stays
// empty for the rest of the process and orvixLogError does nothing.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#if defined(__GNUC__)
#define ORVIX_LOG_PRINTF(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#else
#define ORVIX_LOG_PRINTF(format_index, first_argument)
#endif

namespace orvix {

class IOrvixLog {
public:
    // Receives each whole message instead of the event log.
    using Callback = std::function<void(const std::string& text)>;

    // Operations in their slot order; the destructor is slot 0.
    virtual ~IOrvixLog() = default;
    // Logs the change at level 2 and sets every category threshold of the event log.
    virtual void setLogLevel(int32_t level) = 0;
    virtual int32_t getLogLevel() = 0;
    // The sanitised log folder (UTF-8); empty without file logging.
    virtual std::string getLogPath() = 0;
    // An empty callback sends messages to the event log again.
    virtual void setCallback(Callback callback) = 0;
    // Drops the message before formatting it when level is above the object's level.
    // file and line name the caller's source position; they are not printed.
    virtual void log(int32_t level, const char* file, int32_t line, const char* format, ...)
        ORVIX_LOG_PRINTF(5, 6) = 0;
    // Formats and emits without the level check (the event log applies its own).
    virtual void logV(int32_t level, const char* file, int32_t line, const char* format, va_list arguments)
        ORVIX_LOG_PRINTF(5, 0) = 0;
    // Starts logging; false when there is no configuration manager to take the level from.
    virtual bool init() = 0;

    // Creates and initialises the instance once per process; later calls (and a failed
    // creation) change nothing. Thread-safe. archive_closed_files counts only together
    // with file_logging.
    static void createInstanceIfNeeded(bool file_logging, bool archive_closed_files);
    // The instance, created with file logging when none was asked for yet; empty when it
    // could not be initialised.
    static std::shared_ptr<IOrvixLog> getInstance();
};

// Reports an error at level 1 through the instance, when there is one.
void orvixLogError(const char* file, int32_t line, const char* format, ...) ORVIX_LOG_PRINTF(3, 4);

}  // namespace orvix
