#include "config/environment_reader.h"

#include "config/environment_store.h"
#include "eventlog/status.h"
#include "logging/nop_logger.h"

namespace orvix {

namespace {
constexpr const char* kFunction = "orvix::EnvironmentReader::getVal";
constexpr uint32_t kErrorLevel = 1;
}  // namespace

EnvironmentReader::EnvironmentReader(std::unique_ptr<logging::LoggerBase> logger)
    : logger_(logger ? std::move(logger) : std::make_unique<logging::NOPLogger>()) {}

template <typename Read>
bool EnvironmentReader::getVal(const std::string& name, Read read) {
    if (!vorn_mgmt_env_is_available()) {
        if (logger_->maxLevel >= kErrorLevel) {
            logger_->write(logger_->formatter->join(kFunction, "Could not load", name,
                                                    "because the environment manager is not available."),
                           kErrorLevel, int32_t{VORN_STATUS_NOT_STARTED});
        }
        return false;
    }
    if (name.empty()) {
        if (logger_->maxLevel >= kErrorLevel) {
            logger_->write(logger_->formatter->join(kFunction, "A value cannot be retrieved with an empty name."),
                           kErrorLevel, int32_t{VORN_STATUS_INVALID});
        }
        return false;
    }
    const int32_t status = read();
    if (status == VORN_STATUS_SUCCESS) return true;
    // The store's own message says why; the status travels with this line.
    if (logger_->maxLevel >= kErrorLevel) {
        logger_->write(logger_->formatter->join(kFunction, "Could not load", name), kErrorLevel, status);
    }
    return false;
}

bool EnvironmentReader::getString(const std::string& name, std::string& result) {
    return getVal(name, [&] { return vorn_mgmt_env_get_string_value(name, result); });
}

bool EnvironmentReader::getUint32(const std::string& name, uint32_t& result) {
    return getVal(name, [&] { return vorn_mgmt_env_get_uint32(name.c_str(), &result); });
}

bool EnvironmentReader::getBool(const std::string& name, bool& result) {
    return getVal(name, [&] {
        // The store leaves the value alone when it refuses the read and zeroes it when the
        // slot holds nothing; going through a byte keeps both behaviours for the bool.
        uint8_t value = result ? 1 : 0;
        const int32_t status = vorn_mgmt_env_get_uint8(name.c_str(), &value);
        result = value != 0;
        return status;
    });
}

std::unique_ptr<environment::IReader> makeEnvironmentReader(std::unique_ptr<logging::LoggerBase> logger) {
    return std::make_unique<EnvironmentReader>(std::move(logger));
}

}  // namespace orvix
