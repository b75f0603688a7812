#include "os/codepage.h"

namespace orvix::os {

bool system_utf8_to_u16(const char* source, std::u16string* out) {
    out->clear();
    uint32_t error = 0;
    const int32_t units = system_utf8_to_wide(source, nullptr, 0, &error);
    if (units <= 0) return false;
    out->resize(static_cast<size_t>(units));
    if (system_utf8_to_wide(source, out->data(), units, &error) != units) {
        out->clear();
        return false;
    }
    out->resize(static_cast<size_t>(units) - 1);
    return true;
}

}  // namespace orvix::os
