// The object-style front of the environment store for newer code: typed reads by setting
// name that answer true or false and log their failures through an injected lightweight
// logger. Reads are refused until the store is available, so a component built before
// the store started fails cleanly instead of reading zeros.
//
// Nothing is thrown; a failure is a false result and at most one line on the logger (the
// store logs its own messages as well). Usable from any thread once the store is
// available.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "logging/logger.h"

namespace orvix::environment {

class IReader {
public:
    virtual ~IReader() = default;
    // u8, u16, u32 and text settings, as text; result is left as it was on failure.
    virtual bool getString(const std::string& name, std::string& result) = 0;
    // u32 settings only.
    virtual bool getUint32(const std::string& name, uint32_t& result) = 0;
    // u8 settings only; any value but 0 is true.
    virtual bool getBool(const std::string& name, bool& result) = 0;
};

}  // namespace orvix::environment

namespace orvix {

class EnvironmentReader : public environment::IReader {
public:
    explicit EnvironmentReader(std::unique_ptr<logging::LoggerBase> logger);

    bool getString(const std::string& name, std::string& result) override;
    bool getUint32(const std::string& name, uint32_t& result) override;
    bool getBool(const std::string& name, bool& result) override;

private:
    template <typename Read>
    bool getVal(const std::string& name, Read read);

    std::unique_ptr<logging::LoggerBase> logger_;
};

// A reader that owns logger. A null logger is replaced by one that discards everything.
std::unique_ptr<environment::IReader> makeEnvironmentReader(std::unique_ptr<logging::LoggerBase> logger);

}  // namespace orvix
