// Feeds arbitrary bytes to the agent configuration file's parser and converter, and
// writes what they hand over into the store through the manager: nothing may crash, and
// no value outside its setting's width or checked range may reach the store.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "config/settings_from_file.h"
#include "fuzz_store_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::start_store();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvix::config::internal;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    SettingsFromFile source("fuzz.conf");
    SettingsMap map;
    source.process_config(source.parse(in), &map);
    for (const auto& [name, value] : map) {
        if (value.type != kSettingNumber && value.type != kSettingText) __builtin_trap();
        if (value.type == kSettingText && strnlen(value.text, sizeof value.text) > 511) __builtin_trap();
    }
    fuzz_support::apply(map);
    fuzz_support::check_store();
    return 0;
}
