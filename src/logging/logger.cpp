#include "logging/logger.h"

namespace orvix::logging {

std::string StringFormatter::take() {
    std::string text = stream.str();
    stream.str(std::string());
    stream.clear();
    return text;
}

}  // namespace orvix::logging
