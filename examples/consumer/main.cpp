// Links the installed layer and calls into it: the event log refuses messages until it
// is started, which proves the library and its headers were found.
#include <cstdio>

#include "eventlog/event_log.h"

int main() {
    int32_t status = vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, 0, "hello");
    std::printf("vorn_event_log before start: %d\n", status);
    return status == VORN_STATUS_NOT_STARTED ? 0 : 1;
}
