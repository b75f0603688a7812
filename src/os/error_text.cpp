#include "os/error_text.h"

namespace orvix::os {

std::string one_line_reason(std::string text) {
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.resize(end);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '.'))
        text.pop_back();
    return text;
}

}  // namespace orvix::os
