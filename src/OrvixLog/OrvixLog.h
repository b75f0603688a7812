// The agent log object behind IOrvixLog. Its start-up (init) lives with the Windows units
// in windows/OrvixLogWindows.cpp; it uses only the layer's portable operations.
//
// Level and file-logging flags are set at construction; level and callback may be
// changed from any thread, and the event log serialises the output.
#pragma once

#include <atomic>
#include <mutex>

#include "OrvixLog/IOrvixLog.h"

namespace orvix {

// Replaces "?", "\"", "<", ">", "|", "*", ":" and every byte outside printable ASCII
// with "_", keeping the colon of a drive letter ("C:" in a path longer than two
// characters). True when anything was replaced.
bool sanitizeLogPath(std::string& path);

class OrvixLog : public IOrvixLog {
public:
    OrvixLog(bool file_logging, bool archive_closed_files);
    // With file logging, shuts the event log down, writing out its queued lines.
    ~OrvixLog() override;
    OrvixLog(const OrvixLog&) = delete;
    OrvixLog& operator=(const OrvixLog&) = delete;

    void setLogLevel(int32_t level) override;
    int32_t getLogLevel() override;
    std::string getLogPath() override;
    void setCallback(Callback callback) override;
    void log(int32_t level, const char* file, int32_t line, const char* format, ...) override
        ORVIX_LOG_PRINTF(5, 6);
    void logV(int32_t level, const char* file, int32_t line, const char* format, va_list arguments) override
        ORVIX_LOG_PRINTF(5, 0);
    bool init() override;

    bool fileLogging() const { return file_logging_; }
    bool archiveClosedFiles() const { return archive_closed_files_; }

    // Longest formatted message; the rest is cut.
    static constexpr size_t kMaxMessage = 2047;

private:
    std::string log_path_;
    std::atomic<int32_t> level_{2};
    const bool file_logging_;
    const bool archive_closed_files_;
    // Copied under the lock and called outside it, so a callback may log again.
    std::mutex callback_lock_;
    std::shared_ptr<const Callback> callback_;
};

}  // namespace orvix
