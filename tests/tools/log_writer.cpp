// Writes one process's log file through the real event log, for the tests of
// `orvix-env logs`: numbered lines on a clock that starts at a given time and advances
// a fixed step per line, and on request the shapes a support engineer meets in real files.
//
//   orvix_log_writer APP START_MS STEP_MS COUNT [--session ID] [--repeat] [--long]
//                    [--drop] [--rotate-after N]
//
// Line i (from 1) has level i % 4 and the categories MGMT_ENV, COMMON and MGMT_SYS in
// turn: "APP line i". --repeat logs "APP repeated" three times and "APP after repeats";
// --long a 700-character message (cut by the event log); --drop holds the disk so 600
// more lines queue and 102 of them end in the queue's notice; --rotate-after N rotates
// the file after N lines (rotation time 1 minute; the tick count and the clock jump by
// 61 seconds), and every closed file moves into the archive folder; the rotation value is
// removed again at the end, since under Wine it is the prefix's own machine key. Prints the
// path of the file it opened.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "eventlog/event_log.h"
#include "eventlog/event_log_clock.h"
#include "eventlog/event_log_testing.h"
#include "eventlog/log_files_testing.h"
#include "os/async_write.h"
#include "os/file_system.h"
#include "os/registry.h"

namespace {

int64_t g_start_ms = 0, g_step_ms = 1, g_calls = 0;
uint64_t g_tick = 1000;

int64_t days_to_civil(int64_t z, int* y, int* m, int* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
    return 0;
}

void stepping_clock(vorn_event_utc_time* now) {
    const int64_t ms = g_start_ms + g_step_ms * g_calls++;
    int y = 0, m = 0, d = 0;
    days_to_civil(ms / 86400000, &y, &m, &d);
    const int64_t in_day = ms % 86400000;
    *now = {y, m, d, static_cast<int32_t>(in_day / 3600000), static_cast<int32_t>(in_day / 60000 % 60),
            static_cast<int32_t>(in_day / 1000 % 60), static_cast<int32_t>(in_day % 1000)};
}

uint64_t simulated_tick() { return g_tick; }

// A disk that completes writes only when told, so lines queue up behind a pending one.
bool g_hold = false, g_in_flight = false;
uint32_t slow_write(void*, orvix::os::FileHandle file, const void* data, uint32_t size) {
    if (uint32_t error = orvix::os::write_file(file, data, size); error != 0) return error;
    g_in_flight = g_hold;
    return g_hold ? orvix::os::kErrorIoPending : 0;
}
bool slow_still_pending(void*) { return g_in_flight && g_hold; }
bool slow_wait(void*, uint32_t) {
    g_in_flight = false;
    return true;
}

const uint32_t kCategoryIds[] = {VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_CAT_COMMON, VORN_EVENT_CAT_MGMT_SYS};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s APP START_MS STEP_MS COUNT [options]\n", argv[0]);
        return 2;
    }
    const char* app = argv[1];
    g_start_ms = std::atoll(argv[2]);
    g_step_ms = std::atoll(argv[3]);
    const long count = std::atol(argv[4]);
    const char* session = nullptr;
    bool repeat = false, long_line = false, drop = false;
    long rotate_after = -1;
    for (int i = 5; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--session" && i + 1 < argc) {
            session = argv[++i];
        } else if (option == "--repeat") {
            repeat = true;
        } else if (option == "--long") {
            long_line = true;
        } else if (option == "--drop") {
            drop = true;
        } else if (option == "--rotate-after" && i + 1 < argc) {
            rotate_after = std::atol(argv[++i]);
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    vorn_event_set_time_source(stepping_clock);
    static const vorn_event_write_ops ops{slow_write, slow_still_pending, slow_wait, nullptr};
    vorn_event_set_write_ops(&ops);
    if (rotate_after >= 0) {
        using namespace orvix::os;
        RegKey key = 0;
        if (registry_create_key(kHkeyLocalMachine, u"SOFTWARE\\Quillon\\OrvixAgent", kKeyAllAccess, &key) == 0) {
            registry_set_value(key, u"OrvixLogRotationTime", kRegSz, u"1", 4);
            registry_close_key(key);
        }
        vorn_log_rotor_set_tick_source(simulated_tick);
    }
    vorn_event_start_logging(app, session, 1, 1, 0, 0, rotate_after >= 0 ? 1 : 0, 1);
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    char path[1024];
    if (vorn_event_get_log_file_path(path, sizeof path) == 0) std::printf("%s\n", path);

    for (long i = 1; i <= count; ++i) {
        if (i - 1 == rotate_after) {  // a minute later, on the tick count and the clock
            g_tick += 61000;
            g_start_ms += 61000;
        }
        vorn_event_log(kCategoryIds[i % 3], static_cast<int32_t>(i % 4), i % 4 == 1 ? -500 : 0, "%s line %ld", app, i);
    }
    if (repeat) {
        for (int i = 0; i < 3; ++i) vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "%s repeated", app);
        vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "%s after repeats", app);
    }
    if (long_line) {
        const std::string text(700, 'x');
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, 1, -501, "%s long %s", app, text.c_str());
    }
    if (drop) {
        g_hold = true;
        for (int i = 1; i <= 600; ++i) vorn_event_log(VORN_EVENT_CAT_COMMON, 3, 0, "%s queued %d", app, i);
    }
    vorn_event_shutdown();
    if (rotate_after >= 0) {
        using namespace orvix::os;
        RegKey key = 0;
        if (registry_open_key(kHkeyLocalMachine, u"SOFTWARE\\Quillon\\OrvixAgent", kKeyAllAccess, &key) == 0) {
            registry_delete_value(key, u"OrvixLogRotationTime");
            registry_close_key(key);
        }
    }
    return 0;
}
