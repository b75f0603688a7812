// A logger that discards everything, for hosts that want no output. Its threshold is 4,
// so callers still build their messages; only the writes do nothing.
#pragma once

#include <memory>
#include <string>

#include "logging/logger.h"

namespace orvix::logging {

class NOPLogger : public LoggerBase {
public:
    NOPLogger() : LoggerBase(4) {}

    void write(const std::string&, uint32_t, const int32_t&) override {}
    void write(const char*, uint32_t, int32_t) override {}
    std::unique_ptr<LoggerBase> clone() const override { return std::make_unique<NOPLogger>(); }
    std::unique_ptr<LoggerBase> clone(uint32_t) const override { return std::make_unique<NOPLogger>(); }
};

}  // namespace orvix::logging
