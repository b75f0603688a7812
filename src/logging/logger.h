// The lightweight logger interface of orvix::logging. Components receive a logger by
// owning pointer and write through it; the host decides where the lines go (the terminal
// or nowhere). A logger is cloned to give a sub-component its own object, optionally
// with another category.
//
// Levels: 0 critical, 1 error, 2 info, 3 debug, 4 trace. Callers test the threshold
// (maxLevel) before they build a message, and build and write it only when its level is
// not above it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

namespace orvix::logging {

// The least a component needs: whether a level is wanted, and writing a line with the
// logger's default code.
class BasicLogger {
public:
    virtual ~BasicLogger() = default;
    virtual bool isEnabled(uint32_t level) const = 0;
    virtual void log(const std::string& message, uint32_t level) = 0;
};

// Builds one message from pieces. Lock mutex, write the pieces into stream (values as
// the stream renders them, a pointer as its hexadecimal address), then take() the text.
class StringFormatter {
public:
    std::mutex mutex;
    std::ostringstream stream;

    // The text written so far; the stream starts empty again.
    std::string take();

    // Locks, writes the pieces separated by single blanks and takes the text.
    template <typename First, typename... Rest>
    std::string join(const First& first, const Rest&... rest) {
        std::lock_guard<std::mutex> lock(mutex);
        stream << first;
        ((stream << ' ' << rest), ...);
        return take();
    }
};

class LoggerBase : public BasicLogger {
public:
    static constexpr uint32_t kKeepCategory = 0xFFFFFFFFu;

    explicit LoggerBase(uint32_t max_level) : maxLevel(max_level) {}
    ~LoggerBase() override = default;

    // Both write one line; the two forms take the code by reference and by value.
    virtual void write(const std::string& message, uint32_t level, const int32_t& code) = 0;
    virtual void write(const char* message, uint32_t level, int32_t code) = 0;
    // A new logger owned by the caller; clone(kKeepCategory) keeps the category.
    virtual std::unique_ptr<LoggerBase> clone() const = 0;
    virtual std::unique_ptr<LoggerBase> clone(uint32_t category) const = 0;

    bool isEnabled(uint32_t level) const override { return level <= maxLevel; }
    void log(const std::string& message, uint32_t level) override { write(message, level, defaultCode); }

    // The code of messages that have none of their own.
    int32_t defaultCode = 0;
    // The threshold: the highest level a caller should write.
    uint32_t maxLevel;
    // Fresh for every logger.
    std::shared_ptr<StringFormatter> formatter = std::make_shared<StringFormatter>();
};

}  // namespace orvix::logging
