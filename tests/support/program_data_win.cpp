#include "support/program_data.h"

#include <gtest/gtest.h>

#include "os/registry.h"
#include "platform/text_conversion.h"

namespace orvix_test {

void redirect_program_data(const std::string& folder) {
    using namespace orvix::os;
    std::u16string value;
    vorn_util_create_wide_string_from_utf8(folder.c_str(), &value);
    for (const char16_t* path : {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                 u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
        RegKey key = 0;
        ASSERT_EQ(registry_create_key(kHkeyLocalMachine, path, kKeyAllAccess, &key), kErrorSuccess);
        EXPECT_EQ(registry_set_value(key, u"Common AppData", kRegSz, value.c_str(),
                                     static_cast<uint32_t>((value.size() + 1) * sizeof(char16_t))),
                  kErrorSuccess);
        registry_close_key(key);
    }
}

}  // namespace orvix_test
