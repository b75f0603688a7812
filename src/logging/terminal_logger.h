// A logger that prints numbered lines: levels 0 and 1 on standard error, the others on
// standard output, each stream with its own line counter starting at 1. Lines look like
//   0001 *> [Category   7,     INFO    ]       0 : message
// or, for a plain logger, the message alone.
//
// A root logger holds the output state (threshold, plain flag, counters, lock); its
// clones write through it, so all of them number their lines in the same two sequences
// and never interleave. The root must outlive its clones.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "logging/logger.h"

namespace orvix::logging {

class TerminalLogger : public LoggerBase {
public:
    // A root logger.
    TerminalLogger(uint32_t category, uint32_t max_level, bool plain);
    // A logger that writes through target. Its own threshold is 4; target's decides
    // what is printed.
    TerminalLogger(uint32_t category, TerminalLogger* target);

    void write(const std::string& message, uint32_t level, const int32_t& code) override;
    void write(const char* message, uint32_t level, int32_t code) override;
    std::unique_ptr<LoggerBase> clone() const override;
    std::unique_ptr<LoggerBase> clone(uint32_t category) const override;

    uint32_t category;
    bool plain;

private:
    std::mutex mutex_;
    TerminalLogger* target_;
    uint32_t stdoutLine_ = 1;
    uint32_t stderrLine_ = 1;
};

// The eight-character name of a level ("INFO    "); "UNKNOWN " for any other value.
const char* levelName(uint32_t level);

}  // namespace orvix::logging
