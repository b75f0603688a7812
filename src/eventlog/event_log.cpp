// Placeholder until the event log core lands: behaves as an event log that was never
// initialised, so every call site is real and refused with -503.
#include "eventlog/event_log.h"

#include <cstdlib>

namespace {
const char* const kCategoryNames[VORN_EVENT_NUM_CATEGORIES] = {
#include "eventlog/event_category_names.inc"
};
}  // namespace

int32_t vorn_event_log(uint32_t, int32_t, int32_t, const char*, ...) { return VORN_STATUS_NOT_STARTED; }

const char* vorn_event_category_name(uint32_t category) {
    return category < VORN_EVENT_NUM_CATEGORIES ? kCategoryNames[category] : nullptr;
}

[[noreturn]] void vorn_event_assert(int32_t, const char*, int32_t) { std::exit(1); }
