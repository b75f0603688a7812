#include "logging/terminal_logger.h"

#include <cstdio>

namespace orvix::logging {

const char* levelName(uint32_t level) {
    static const char* const kNames[] = {"CRITICAL", "ERROR   ", "INFO    ", "DEBUG   ", "TRACE   "};
    return level < 5 ? kNames[level] : "UNKNOWN ";
}

TerminalLogger::TerminalLogger(uint32_t category, uint32_t max_level, bool plain)
    : LoggerBase(max_level), category(category), plain(plain), target_(this) {}

TerminalLogger::TerminalLogger(uint32_t category, TerminalLogger* target)
    : LoggerBase(4), category(category), plain(false), target_(target != nullptr ? target : this) {}

void TerminalLogger::write(const std::string& message, uint32_t level, const int32_t& code) {
    write(message.c_str(), level, code);
}

void TerminalLogger::write(const char* message, uint32_t level, int32_t code) {
    TerminalLogger& out = *target_;
    std::lock_guard<std::mutex> lock(out.mutex_);
    if (level > out.maxLevel) return;
    const bool to_stderr = level <= 1;
    std::FILE* stream = to_stderr ? stderr : stdout;
    const uint32_t line = to_stderr ? out.stderrLine_++ : out.stdoutLine_++;
    if (message == nullptr) message = "";
    if (out.plain) {
        std::fprintf(stream, "%s\n", message);
    } else {
        std::fprintf(stream, "%04d *> [Category %3u, %12s]    %4d : %s\n", static_cast<int>(line),
                     static_cast<unsigned>(category), levelName(level), static_cast<int>(code), message);
    }
    // Standard output and standard error are read side by side on a terminal.
    std::fflush(stream);
}

std::unique_ptr<LoggerBase> TerminalLogger::clone() const { return clone(kKeepCategory); }

std::unique_ptr<LoggerBase> TerminalLogger::clone(uint32_t new_category) const {
    return std::make_unique<TerminalLogger>(new_category == kKeepCategory ? category : new_category, target_);
}

}  // namespace orvix::logging
