// Feeds arbitrary bytes to the imaging settings file's parser and writes the items into
// the imaging parameters: nothing may crash, every number must stay inside its bounds
// (or at its default), every flag 0 or 1 and every text NUL-terminated in its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "config/imaging_parameters.h"
#include "config/settings_for_imaging.h"
#include "eventlog/event_log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.enabled = 0;  // the messages cost time and say nothing here
    params.stream = stderr;
    vorn_event_init(&params);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvix::config::internal;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    SettingsForImaging source("fuzz.cfg");
    SettingsMap map;
    source.process_config(source.parse(in), &map);
    if (!map.empty()) __builtin_trap();
    for (const ImagingParameterRow& row : imaging_parameter_table()) {
        switch (row.kind) {
            case ImagingParameterKind::kNumber: {
                const int32_t n = *static_cast<const int32_t*>(row.target);
                if ((n < row.minimum || n > row.maximum) &&
                    imaging_value_text(row) != imaging_default_text(row))
                    __builtin_trap();
                break;
            }
            case ImagingParameterKind::kFlag:
                if (*static_cast<const uint8_t*>(row.target) > 1) __builtin_trap();
                break;
            case ImagingParameterKind::kText:
                if (strnlen(static_cast<const char*>(row.target), kImagingTextSize) >= kImagingTextSize)
                    __builtin_trap();
                break;
        }
    }
    return 0;
}
