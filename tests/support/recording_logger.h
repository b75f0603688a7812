// A lightweight logger that keeps each line as "<level> <code> <message>", for tests that
// compare what a component logged. Clones write into the same list.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "logging/logger.h"

namespace orvix_test {

class RecordingLogger : public orvix::logging::LoggerBase {
public:
    RecordingLogger(uint32_t max_level, std::vector<std::string>* lines) : LoggerBase(max_level), lines_(lines) {}
    void write(const std::string& message, uint32_t level, const int32_t& code) override {
        lines_->push_back(std::to_string(level) + " " + std::to_string(code) + " " + message);
    }
    void write(const char* message, uint32_t level, int32_t code) override { write(std::string(message), level, code); }
    std::unique_ptr<LoggerBase> clone() const override { return std::make_unique<RecordingLogger>(4, lines_); }
    std::unique_ptr<LoggerBase> clone(uint32_t) const override { return clone(); }

private:
    std::vector<std::string>* lines_;
};

}  // namespace orvix_test
