// The event log core. All state is one static record; nothing is allocated per message.
// Admission reads the thresholds without the lock. The message is formatted on the caller's
// stack before the lock, since its text depends on nothing shared; everything after it (the
// forwarding callback, the time, repeat suppression, the line, sinks, the write queue) runs
// under one mutex, and the rotor's lock is only ever taken inside it.
#include "eventlog/event_log.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "eventlog/event_log_clock.h"
#include "eventlog/event_log_testing.h"
#include "eventlog/log_files.h"
#include "eventlog/spinning_mutex.h"
#include "eventlog/system_banner.h"
#include "os/async_write.h"
#include "os/error_text.h"

namespace {

constexpr size_t kBufferSize = 640;
constexpr size_t kNameSize = 255;    // names are kept to 254 characters
constexpr size_t kPathBuffer = 1024;  // room to open a long path before its name is cut
constexpr uint32_t kQueueSlots = 500;
constexpr uint32_t kQueueThreshold = 498;
constexpr uint32_t kRepeatSummaryAt = 10000;
constexpr uint32_t kShutdownWaitMs = 2000;
constexpr size_t kReasonSize = 160;

const char* const kCategoryNames[VORN_EVENT_NUM_CATEGORIES] = {
#include "eventlog/event_category_names.inc"
};

struct QueueSlot {
    uint32_t use_count;
    char text[kBufferSize];
};

struct LogState {
    orvix::eventlog::SpinningMutex lock;
    std::atomic<bool> initialised{false};
    std::atomic<bool> shutting_down{false};
    bool enabled = false;
    bool echo_to_console = false;
    bool asynchronous = false;
    FILE* stream = nullptr;
    bool have_file = false;

    char app_name[kNameSize] = {};
    char folder[kNameSize] = {};
    char path[kNameSize] = {};

    char line[kBufferSize] = {};
    char previous[kBufferSize] = {};
    int32_t previous_level = 0;
    int32_t previous_status = 0;
    bool repeat_open = false;
    uint32_t repeat_count = 0;

    QueueSlot queue[kQueueSlots] = {};
    uint32_t head = 0;
    uint32_t tail = 0;
    uint32_t queued = 0;

    orvix::os::AsyncWriteRecord write_record;
    bool write_pending = false;

    // Lines that could not be written (the write refused, the disk full, no file): since
    // initialisation, and since the last notice, which the next write that succeeds
    // carries first; the reason is the system's text for the latest failure.
    bool file_expected = false;  // lines are meant for a log file of our own
    uint64_t lost_total = 0;
    uint64_t lost_unreported = 0;
    uint32_t lost_error = 0;
    char lost_reason[kReasonSize] = {};
    // The part of a line that a full disk took is removed again; where the file cannot be
    // shortened, the rest of the line goes out before anything else, so no line is torn
    // in the middle of the file, and until then its lines count as lost when its text was
    // cut (not just its line end).
    char torn[kBufferSize] = {};
    uint32_t torn_length = 0;
    uint32_t torn_lines = 0;
    char notice[kBufferSize] = {};

    std::atomic<vorn_event_forwarding_callback> callback{nullptr};
};

LogState g_log;
std::atomic<int32_t> g_filter_mode{VORN_EVENT_LEVEL_INFO};
std::atomic<int32_t> g_category_level[VORN_EVENT_NUM_CATEGORIES];

// What admission needs, folded so a dropped message costs two loads: the gate (may a
// message pass at all) and, per category, the first level that is dropped (levels are
// compared unsigned, so negative ones are dropped too). Recomputed under g_setter_lock
// whenever a threshold changes; readers take no lock.
enum : uint8_t { kGateClosed = 0, kGateDisabled = 1, kGateOpen = 2 };
std::atomic<uint8_t> g_gate{kGateClosed};
std::atomic<uint8_t> g_drop_from[VORN_EVENT_NUM_CATEGORIES];
std::mutex g_setter_lock;
char g_session_id[37] = {};
std::atomic<vorn_event_time_source> g_time_source{nullptr};
std::atomic<bool> g_asserting{false};
std::atomic<const vorn_event_write_ops*> g_write_ops{nullptr};
std::atomic<const vorn_event_short_write_ops*> g_short_write_ops{nullptr};

uint32_t start_write(orvix::os::FileHandle file, const char* text, uint32_t size) {
    if (const vorn_event_write_ops* ops = g_write_ops.load(std::memory_order_relaxed)) {
        return ops->write(ops->context, file, text, size);
    }
    return g_log.write_record.write(file, text, size);
}

// The bytes that a write which returned `result` (not pending) put in the file.
uint32_t bytes_written(uint32_t result, uint32_t size) {
    uint32_t written = result == 0 ? size : 0;
    if (g_write_ops.load(std::memory_order_relaxed) != nullptr) {
        if (const vorn_event_short_write_ops* ops = g_short_write_ops.load(std::memory_order_relaxed)) {
            written = ops->written(ops->context);
        }
    } else {
        written = g_log.write_record.written();
    }
    return written < size ? written : size;
}

uint32_t cut_file_end(orvix::os::FileHandle file, uint32_t bytes) {
    if (const vorn_event_short_write_ops* ops = g_short_write_ops.load(std::memory_order_relaxed)) {
        return ops->cut(ops->context, file, bytes);
    }
    return orvix::os::cut_file_end(file, bytes);
}

bool write_still_pending() {
    if (const vorn_event_write_ops* ops = g_write_ops.load(std::memory_order_relaxed)) {
        return ops->still_pending(ops->context);
    }
    return g_log.write_record.still_pending();
}

void wait_for_write(uint32_t timeout_ms) {
    if (const vorn_event_write_ops* ops = g_write_ops.load(std::memory_order_relaxed)) {
        ops->wait(ops->context, timeout_ms);
        return;
    }
    g_log.write_record.wait(timeout_ms);
}

void copy_bounded(char* dst, size_t size, const char* src) {
    if (src == nullptr) src = "";
    size_t n = std::strlen(src);
    if (n > size - 1) n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void note_lost(uint64_t lines, uint32_t error) {
    g_log.lost_total += lines;
    g_log.lost_unreported += lines;
    if (error != 0 && error != g_log.lost_error) {
        // Only a new reason costs its look-up: a full disk refuses line after line alike.
        copy_bounded(g_log.lost_reason, sizeof g_log.lost_reason, orvix::os::error_text(error).c_str());
        g_log.lost_error = error;
    } else if (g_log.lost_reason[0] == '\0') {
        copy_bounded(g_log.lost_reason, sizeof g_log.lost_reason, "a write was cut short");
    }
}

enum class Outcome { done, pending, failed };

// One write at the end of the file. written: the bytes that reached it (all of them for a
// write still under way, as the queue has always assumed); error: the system's code, 0
// for a write that completed short.
Outcome put(orvix::os::FileHandle file, const char* data, uint32_t size, bool sync, uint32_t* written,
            uint32_t* error) {
    if (sync) {
        *error = orvix::os::write_file(file, data, size, written);
        if (*written > size) *written = size;
    } else {
        *error = start_write(file, data, size);
        if (*error == orvix::os::kErrorIoPending) {
            *written = size;
            *error = 0;
            orvix::os::yield_processor();
            if (write_still_pending()) {
                g_log.write_pending = true;
                return Outcome::pending;
            }
            g_log.write_pending = false;
            return Outcome::done;
        }
        g_log.write_pending = false;
        *written = bytes_written(*error, size);
    }
    return *error == 0 && *written == size ? Outcome::done : Outcome::failed;
}

// Keeps what a short write left of data for the next write.
void keep_rest(const char* data, uint32_t size, uint32_t written, uint32_t lines) {
    std::memmove(g_log.torn, data + written, size - written);
    g_log.torn_length = size - written;
    g_log.torn_lines = lines;
}

// Makes the file ready for the next line: the rest of a line cut short first, then the
// notice of lost lines. done when both are out.
Outcome settle(orvix::os::FileHandle file, bool sync, uint32_t* error) {
    uint32_t written = 0;
    if (g_log.torn_length > 0) {
        const Outcome outcome = put(file, g_log.torn, g_log.torn_length, sync, &written, error);
        keep_rest(g_log.torn, g_log.torn_length, written, g_log.torn_lines);
        if (g_log.torn_length == 0 && g_log.torn_lines > 0) {
            // The line is whole after all.
            g_log.lost_total -= g_log.torn_lines;
            g_log.lost_unreported -= g_log.torn_lines;
            g_log.torn_lines = 0;
        }
        if (outcome != Outcome::done) return outcome;
    }
    if (g_log.lost_unreported > 0) {
        int n =
            std::snprintf(g_log.notice, sizeof g_log.notice, "Event logger lost %llu log messages (%s).\r\n",
                          static_cast<unsigned long long>(g_log.lost_unreported), g_log.lost_reason);
        if (n < 0) return Outcome::failed;
        const uint32_t size = static_cast<uint32_t>(n);
        const Outcome outcome = put(file, g_log.notice, size, sync, &written, error);
        if (written == 0 || (written < size && cut_file_end(file, written) == 0)) return outcome;
        g_log.lost_unreported = 0;
        if (written < size) keep_rest(g_log.notice, size, written, 0);
        return outcome;
    }
    return Outcome::done;
}

// Writes one line (or a queue slot that stands for `lines` lines) after settling the file.
Outcome write_line(orvix::os::FileHandle file, const char* text, uint32_t size, uint32_t lines, bool sync) {
    uint32_t error = 0;
    const Outcome ready = settle(file, sync, &error);
    if (ready == Outcome::failed) {
        note_lost(lines, error);
        return ready;
    }
    if (ready == Outcome::pending) return ready;
    uint32_t written = 0;
    const Outcome outcome = put(file, text, size, sync, &written, &error);
    if (outcome != Outcome::failed) return outcome;
    // Part of a line is taken away again, so the file ends whole even if the disk stays
    // full. Where that fails, the rest follows before anything else; a line whose text
    // is whole and lacks only its line end is not lost then.
    if (written > 0 && cut_file_end(file, written) != 0) {
        const bool text_whole = written + 2 >= size;
        keep_rest(text, size, written, text_whole ? 0 : lines);
        if (!text_whole) note_lost(lines, error);
    } else {
        note_lost(lines, error);
    }
    return outcome;
}

// Writes the queued lines in order. Returns early, leaving the rest queued, when a
// write stays pending.
void drain_queue(orvix::os::FileHandle file) {
    while (g_log.queued > 0) {
        if (g_log.torn_length > 0 || g_log.lost_unreported > 0) {
            uint32_t error = 0;
            const Outcome ready = settle(file, false, &error);
            if (ready == Outcome::pending) return;  // the line stays queued
            if (ready == Outcome::failed) {
                QueueSlot& slot = g_log.queue[g_log.head];
                note_lost(slot.use_count > 1 ? slot.use_count : 1, error);
                slot.use_count = 0;
                g_log.head = (g_log.head + 1) % kQueueSlots;
                --g_log.queued;
                continue;
            }
        }
        QueueSlot& slot = g_log.queue[g_log.head];
        const uint32_t lines = slot.use_count > 1 ? slot.use_count : 1;
        slot.use_count = 0;
        g_log.head = (g_log.head + 1) % kQueueSlots;
        --g_log.queued;
        if (write_line(file, slot.text, static_cast<uint32_t>(std::strlen(slot.text)), lines, false) ==
            Outcome::pending) {
            return;
        }
    }
}

void write_to_file_async(const char* line, size_t line_length) {
    orvix::os::FileHandle file = orvix::os::kInvalidFile;
    if (const int32_t error = vorn_log_rotor_get_handle(&file, nullptr, 0);
        error != 0 || file == orvix::os::kInvalidFile) {
        note_lost(1, static_cast<uint32_t>(error));
        return;
    }

    // The file takes CR LF line ends; the line keeps its 639-character bound.
    size_t length = line_length + 1;
    if (length > kBufferSize - 1) length = kBufferSize - 1;

    QueueSlot& slot = g_log.queue[g_log.tail];
    ++slot.use_count;
    std::memcpy(slot.text, line, length - 2);
    slot.text[length - 2] = '\r';
    slot.text[length - 1] = '\n';
    slot.text[length] = '\0';
    if (g_log.queued < kQueueThreshold) {
        g_log.tail = (g_log.tail + 1) % kQueueSlots;
        ++g_log.queued;
    }
    // A full queue overwrites one spare slot; once queued it reports how many lines it took.
    if (slot.use_count > 1) {
        std::snprintf(slot.text, sizeof slot.text, "Event logger dropped %2d log messages.\r\n",
                      static_cast<int>(slot.use_count));
    }

    if (g_log.write_pending && write_still_pending()) {
        orvix::os::close_file(file);
        return;
    }
    drain_queue(file);
    orvix::os::close_file(file);
}

// Synchronous log that opened its own file: the line goes straight to the file.
void write_to_file_sync(const char* line, size_t line_length) {
    orvix::os::FileHandle file = orvix::os::kInvalidFile;
    if (const int32_t error = vorn_log_rotor_get_handle(&file, nullptr, 0);
        error != 0 || file == orvix::os::kInvalidFile) {
        note_lost(1, static_cast<uint32_t>(error));
        return;
    }
    char text[kBufferSize];
    size_t length = line_length + 1;
    if (length > kBufferSize - 1) length = kBufferSize - 1;
    std::memcpy(text, line, length - 2);
    text[length - 2] = '\r';
    text[length - 1] = '\n';
    write_line(file, text, static_cast<uint32_t>(length), 1, true);
    orvix::os::close_file(file);
}

void to_sinks(const char* line, size_t length) {
    if (g_log.echo_to_console) {
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
    if (g_log.stream != nullptr) {
        std::fputs(line, g_log.stream);
        std::fflush(g_log.stream);
    } else if (g_log.have_file) {
        if (g_log.asynchronous) {
            write_to_file_async(line, length);
        } else {
            write_to_file_sync(line, length);
        }
    } else if (g_log.file_expected) {
        // No file was opened at start; the reason was recorded then.
        ++g_log.lost_total;
        ++g_log.lost_unreported;
    }
}

// The fixed line format "%d-%02d-%02dT%02d:%02d:%02d.%03dZ %s > LVL:%d RC:%4d %15s :%s\n".
// A line that does not fit the 640-byte buffer is cut to 638 characters and the line
// feed. Returns the line's length.
//
// Written by hand for the values a clock and the layer produce (the same bytes as the
// format, without printf's cost on every line); {fmt} writes any other values.
char* put_digits(char* p, uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return p + width;
}

bool ordinary_fields(const vorn_event_utc_time& t, int32_t level, int32_t status) {
    auto within = [](int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; };
    return within(t.year, 1000, 9999) && within(t.month, 0, 99) && within(t.day, 0, 99) && within(t.hour, 0, 99) &&
           within(t.minute, 0, 99) && within(t.second, 0, 99) && within(t.millisecond, 0, 999) &&
           within(level, 0, 9) && within(status, -999, 9999);
}

size_t cut_into_line(const char* head, size_t head_length, const char* message, size_t message_length) {
    // Every head is far shorter than the buffer: the cut only ever falls in the message.
    const size_t room = kBufferSize - 2 - head_length;  // message characters that fit a cut line
    std::memcpy(g_log.line, head, head_length);
    if (message_length + head_length + 1 <= kBufferSize - 1) {
        std::memcpy(g_log.line + head_length, message, message_length);
        const size_t length = head_length + message_length + 1;
        g_log.line[length - 1] = '\n';
        g_log.line[length] = '\0';
        return length;
    }
    std::memcpy(g_log.line + head_length, message, room);
    g_log.line[kBufferSize - 2] = '\n';
    g_log.line[kBufferSize - 1] = '\0';
    return kBufferSize - 1;
}

size_t build_line(const vorn_event_utc_time& t, int32_t level, int32_t status, uint32_t category,
                  const char* message, size_t message_length) {
    const char* name = kCategoryNames[category];
    char head[192];
    char* p = head;
    if (ordinary_fields(t, level, status)) {
        p = put_digits(p, static_cast<uint32_t>(t.year), 4);
        *p++ = '-';
        p = put_digits(p, static_cast<uint32_t>(t.month), 2);
        *p++ = '-';
        p = put_digits(p, static_cast<uint32_t>(t.day), 2);
        *p++ = 'T';
        p = put_digits(p, static_cast<uint32_t>(t.hour), 2);
        *p++ = ':';
        p = put_digits(p, static_cast<uint32_t>(t.minute), 2);
        *p++ = ':';
        p = put_digits(p, static_cast<uint32_t>(t.second), 2);
        *p++ = '.';
        p = put_digits(p, static_cast<uint32_t>(t.millisecond), 3);
        *p++ = 'Z';
        *p++ = ' ';
        const size_t session = std::strlen(g_session_id);
        std::memcpy(p, g_session_id, session);
        p += session;
        std::memcpy(p, " > LVL:", 7);
        p += 7;
        *p++ = static_cast<char>('0' + level);
        std::memcpy(p, " RC:", 4);
        p += 4;
        // %4d: right-aligned in four columns; every ordinary status fits them.
        char status_text[4] = {' ', ' ', ' ', ' '};
        uint32_t magnitude = status < 0 ? static_cast<uint32_t>(-status) : static_cast<uint32_t>(status);
        int i = 3;
        do {
            status_text[i--] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (status < 0) status_text[i] = '-';
        std::memcpy(p, status_text, 4);
        p += 4;
        *p++ = ' ';
        const size_t name_length = std::strlen(name);
        if (name_length < 15) {
            std::memset(p, ' ', 15 - name_length);
            p += 15 - name_length;
        }
        std::memcpy(p, name, name_length);
        p += name_length;
        *p++ = ' ';
        *p++ = ':';
    } else {
        p = fmt::format_to(p, FMT_COMPILE("{}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z {} > LVL:{} RC:{:4} {:>15} :"),
                           t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond,
                           static_cast<const char*>(g_session_id), level, status, name);
    }
    return cut_into_line(head, static_cast<size_t>(p - head), message, message_length);
}

int32_t effective_threshold(uint32_t category) {
    int32_t global = g_filter_mode.load(std::memory_order_relaxed);
    int32_t threshold = category < VORN_EVENT_NUM_CATEGORIES
                            ? g_category_level[category].load(std::memory_order_relaxed)
                            : VORN_EVENT_LEVEL_NOT_SET;
    if (threshold == VORN_EVENT_LEVEL_NOT_SET) threshold = global;
    if (global > threshold) threshold = global;
    if (threshold == VORN_EVENT_LEVEL_NOT_SET) threshold = VORN_EVENT_LEVEL_INFO;
    return threshold;
}

void refresh_admission() {
    std::lock_guard<std::mutex> guard(g_setter_lock);
    for (uint32_t c = 0; c < VORN_EVENT_NUM_CATEGORIES; ++c) {
        const int32_t threshold = effective_threshold(c);
        const int32_t drop_from = threshold < 0 ? 0 : threshold >= VORN_EVENT_LEVEL_TRACE ? 5 : threshold + 1;
        g_drop_from[c].store(static_cast<uint8_t>(drop_from), std::memory_order_relaxed);
    }
}

// Kept out of line: inlined, its register saves would land on the admission path too.
[[gnu::noinline]] int32_t log_formatted(uint32_t category, int32_t level, int32_t status, const char* format,
                                        va_list args) {
    char message[kBufferSize];
    message[0] = '\0';
    // vsnprintf cuts at 639 characters; after a formatting error keep what was written.
    if (std::vsnprintf(message, kBufferSize, format, args) < 0) message[kBufferSize - 1] = '\0';
    char* p = message;
    for (; *p != '\0'; ++p) {
        if (*p == '\r' || *p == '\n') *p = ' ';
    }
    const size_t message_length = static_cast<size_t>(p - message);

    std::unique_lock<orvix::eventlog::SpinningMutex> guard(g_log.lock);
    if (vorn_event_forwarding_callback callback = g_log.callback.load()) {
        return callback(message, 0, category, level, status);
    }

    vorn_event_utc_time now{};
    vorn_event_current_utc_time(&now);

    bool output = false;
    bool summary_due = false;
    if (std::strcmp(message, g_log.previous) != 0) {
        if (g_log.repeat_open) {
            summary_due = true;
            g_log.repeat_open = false;
        }
        std::memcpy(g_log.previous, message, message_length + 1);
        g_log.previous_level = level;
        g_log.previous_status = status;
        output = true;
    } else if (!g_log.repeat_open) {
        g_log.repeat_open = true;
        g_log.repeat_count = 1;
    } else if (++g_log.repeat_count >= kRepeatSummaryAt) {
        summary_due = true;
    }

    if (summary_due) {
        char summary[64];
        // The stored level and status: those of the new message when it closed the run.
        const int n = std::snprintf(summary, sizeof summary, "Last message repeated %d %s",
                                    static_cast<int>(g_log.repeat_count), g_log.repeat_count == 1 ? "time" : "times");
        to_sinks(g_log.line, build_line(now, g_log.previous_level, g_log.previous_status, category, summary,
                                        static_cast<size_t>(n)));
        g_log.repeat_count = 0;
    }
    if (output) {
        to_sinks(g_log.line, build_line(now, level, status, category, message, message_length));
    }
    return VORN_STATUS_SUCCESS;
}

}  // namespace

void vorn_event_system_utc_time(vorn_event_utc_time* now) {
    using namespace std::chrono;
    const auto tp = system_clock::now();
    const auto day = floor<days>(tp);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> time{duration_cast<milliseconds>(tp - day)};
    now->year = static_cast<int>(ymd.year());
    now->month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    now->day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    now->hour = static_cast<int>(time.hours().count());
    now->minute = static_cast<int>(time.minutes().count());
    now->second = static_cast<int>(time.seconds().count());
    now->millisecond = static_cast<int>(time.subseconds().count());
}

void vorn_event_set_time_source(vorn_event_time_source source) { g_time_source.store(source); }

void vorn_event_current_utc_time(vorn_event_utc_time* now) {
    vorn_event_time_source source = g_time_source.load();
    (source != nullptr ? source : vorn_event_system_utc_time)(now);
}

const char* vorn_event_category_name(uint32_t category) {
    return category < VORN_EVENT_NUM_CATEGORIES ? kCategoryNames[category] : nullptr;
}

int32_t vorn_event_get_default_init_params(vorn_event_init_params* params) {
    if (params == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    *params = vorn_event_init_params{};
    params->enabled = 1;
    params->echo_to_console = 0;
    params->level = VORN_EVENT_LEVEL_INFO;
    params->app_name = "";
    params->stream = nullptr;
    params->max_age_days = 7;
    params->show_system_info = 1;
    params->show_folders = 1;
    params->session_id = VORN_EVENT_NULL_SESSION_ID;
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_event_init(const vorn_event_init_params* params) {
    if (params == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    if (g_log.initialised.load()) return VORN_STATUS_SUCCESS;

    int32_t result = VORN_STATUS_SUCCESS;
    const char* app_name = (params->app_name != nullptr && params->app_name[0] != '\0') ? params->app_name
                                                                                      : "unknown_app";
    if (params->stream == nullptr && params->enabled) {
        char folder[kPathBuffer] = {};
        // Without a log folder there is nowhere to prune or to put a file: relative to
        // the current directory or the drive root would be a surprise.
        const bool have_folder = vorn_util_get_log_folder_utf8(folder, sizeof folder) == VORN_STATUS_SUCCESS;
        char pattern[kPathBuffer];
        if (have_folder &&
            vorn_util_build_prune_pattern(pattern, sizeof pattern, folder, app_name) == VORN_STATUS_SUCCESS) {
            vorn_util_prune_old_logs(pattern, params->max_age_days == 0 ? 7 : params->max_age_days);
        }

        g_log.asynchronous = params->asynchronous != 0;
        char path[kPathBuffer] = {};
        if (g_log.callback.load() == nullptr) {
            const char* session = params->session_id;
            if (session != nullptr && std::strcmp(session, VORN_EVENT_NULL_SESSION_ID) == 0) session = nullptr;
            orvix::os::FileHandle marker = orvix::os::kInvalidFile;
            if (have_folder) {
                vorn_util_open_log_file(path, sizeof path, folder, app_name, session, params->simple_file_name,
                                        params->move_closed_files, &marker);
            }
            g_log.have_file = marker != orvix::os::kInvalidFile;
            g_log.file_expected = true;
            if (!g_log.have_file) {
                const uint32_t error = have_folder ? vorn_log_rotor_open_error() : 0;
                copy_bounded(g_log.lost_reason, sizeof g_log.lost_reason,
                             error != 0    ? orvix::os::error_text(error).c_str()
                             : have_folder ? "no log file could be opened"
                                           : "the log folder cannot be determined");
                g_log.lost_error = error;
            }
            if (!g_log.asynchronous && !g_log.have_file) {
                std::printf("Error opening logfile: %s!!!\n", path);
                std::printf("Continuing with no logfile .... \n");
                result = VORN_STATUS_FAILURE;
            }
        }
        copy_bounded(g_log.app_name, kNameSize, app_name);
        copy_bounded(g_log.folder, kNameSize, folder);
        copy_bounded(g_log.path, kNameSize, path);
        if (g_log.asynchronous) {
            if (!g_log.write_record.create()) return VORN_STATUS_FAILURE;
            g_log.write_pending = false;
        }
    } else {
        g_log.stream = params->stream;
        copy_bounded(g_log.app_name, kNameSize, app_name);
    }

    g_log.enabled = params->enabled != 0;
    g_log.echo_to_console = params->echo_to_console != 0;
    g_filter_mode.exchange(params->level);
    for (auto& level : g_category_level) level.store(VORN_EVENT_LEVEL_NOT_SET);
    refresh_admission();
    g_log.initialised.store(true);
    g_gate.store(g_log.enabled ? kGateOpen : kGateDisabled, std::memory_order_release);
    return result;
}

int32_t vorn_event_start_logging(const char* app_name, const char* session_id, int32_t show_system_info,
                                 int32_t show_folders, int32_t echo_to_console, uint32_t max_age_days,
                                 int32_t move_closed_files, int32_t asynchronous) {
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = (app_name != nullptr && app_name[0] != '\0') ? app_name : "orvix_missing_name";
    params.session_id =
        (session_id != nullptr && session_id[0] != '\0') ? session_id : VORN_EVENT_NULL_SESSION_ID;
    params.show_system_info = show_system_info;
    params.show_folders = show_folders;
    if (echo_to_console != 0) params.echo_to_console = 1;
    params.max_age_days = max_age_days;
    params.move_closed_files = move_closed_files;
    params.asynchronous = asynchronous;
    copy_bounded(g_session_id, sizeof g_session_id, params.session_id);

    int32_t status = vorn_event_init(&params);
    if (status != VORN_STATUS_SUCCESS) return status;
    return vorn_event_write_banner(&params);
}

int32_t vorn_event_start_logging(const char* app_name, int32_t show_system_info, int32_t show_folders,
                                 int32_t echo_to_console, int32_t asynchronous) {
    return vorn_event_start_logging(app_name, "", show_system_info, show_folders, echo_to_console, 0, 0,
                                    asynchronous);
}

int32_t vorn_event_start_logging(const char* app_name, int32_t show_system_info, int32_t show_folders,
                                 int32_t echo_to_console, int32_t move_closed_files, int32_t asynchronous) {
    return vorn_event_start_logging(app_name, "", show_system_info, show_folders, echo_to_console, 0,
                                    move_closed_files, asynchronous);
}

int32_t vorn_event_log(uint32_t category, int32_t level, int32_t status, const char* format, ...) {
    // Admission, before any lock: started and not shutting down, enabled, the level
    // within 0..4 and the effective threshold, then the category.
    const uint8_t gate = g_gate.load(std::memory_order_acquire);
    if (gate != kGateOpen) return gate == kGateDisabled ? VORN_STATUS_SUCCESS : VORN_STATUS_NOT_STARTED;
    if (category >= VORN_EVENT_NUM_CATEGORIES) {
        if (level < VORN_EVENT_LEVEL_CRITICAL || level > VORN_EVENT_LEVEL_TRACE ||
            level > effective_threshold(category)) {
            return VORN_STATUS_SUCCESS;
        }
        return VORN_STATUS_INVALID;
    }
    if (static_cast<uint32_t>(level) >= g_drop_from[category].load(std::memory_order_relaxed)) {
        return VORN_STATUS_SUCCESS;
    }
    if (format == nullptr) format = "";

    va_list args;
    va_start(args, format);
    int32_t result = log_formatted(category, level, status, format, args);
    va_end(args);
    return result;
}

int32_t vorn_event_set_filter_mode(int32_t mode) {
    if (mode >= VORN_EVENT_LEVEL_NOT_SET) return VORN_STATUS_INVALID;
    vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_CRITICAL, 0, "Setting event filter mode to %d", mode);
    g_filter_mode.exchange(mode);
    refresh_admission();
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_event_set_category_level(uint32_t category, int32_t level) {
    if (category >= VORN_EVENT_NUM_CATEGORIES || level >= 7) return VORN_STATUS_INVALID;
    if (category == 0) {
        for (auto& entry : g_category_level) entry.store(level);
    } else {
        g_category_level[category].store(level);
    }
    refresh_admission();
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_event_set_forwarding_callback(vorn_event_forwarding_callback callback) {
    static const char kFunction[] = "vorn_event_set_forwarding_callback";
    if (callback == nullptr) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_INVALID,
                       "%s: called with a 0 parameter. ignoring", kFunction);
        return VORN_STATUS_INVALID;
    }
    vorn_event_forwarding_callback expected = nullptr;
    if (!g_log.callback.compare_exchange_strong(expected, callback)) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_ALREADY_SET,
                       "%s: called a second time. ignoring", kFunction);
        return VORN_STATUS_ALREADY_SET;
    }
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_event_shutdown() {
    if (!g_log.initialised.load() || g_log.shutting_down.exchange(true)) return VORN_STATUS_SUCCESS;
    g_gate.store(kGateClosed, std::memory_order_release);
    std::lock_guard<orvix::eventlog::SpinningMutex> guard(g_log.lock);
    if (!g_log.asynchronous) {
        // A synchronous log that opened its own file closes it through the rotor too.
        if (g_log.have_file) vorn_log_rotor_shutdown();
        return VORN_STATUS_SUCCESS;
    }
    if (g_log.have_file) {
        orvix::os::FileHandle file = orvix::os::kInvalidFile;
        const int32_t error = vorn_log_rotor_get_handle(&file, nullptr, 0);
        if (error != 0 || file == orvix::os::kInvalidFile) {
            // Without a file the queued lines, and those of the spare slot, are lost.
            uint64_t lines = g_log.queue[g_log.tail].use_count;
            for (uint32_t i = 0; i < g_log.queued; ++i) {
                const uint32_t uses = g_log.queue[(g_log.head + i) % kQueueSlots].use_count;
                lines += uses > 1 ? uses : 1;
            }
            if (lines > 0) note_lost(lines, static_cast<uint32_t>(error));
            g_log.queued = 0;
        } else {
            // The spare slot of a full queue holds lines that were never queued; it goes
            // out last, so its notice reports them instead of losing them unseen.
            if (g_log.queue[g_log.tail].use_count > 0) {
                g_log.tail = (g_log.tail + 1) % kQueueSlots;
                ++g_log.queued;
            }
            // Every queued line goes out in order; a pending write gets up to 2000 ms
            // before the next one starts.
            while (g_log.queued > 0) {
                if (g_log.write_pending) wait_for_write(kShutdownWaitMs);
                g_log.write_pending = false;
                drain_queue(file);
            }
            if (g_log.write_pending) wait_for_write(kShutdownWaitMs);
            g_log.write_pending = false;
            // A line cut short, or lost lines, after the last one: one more try to end the
            // file whole and say so.
            uint32_t ignored = 0;
            if (settle(file, false, &ignored) == Outcome::pending) wait_for_write(kShutdownWaitMs);
            g_log.write_pending = false;
            orvix::os::flush_file(file);
            orvix::os::close_file(file);
        }
    }
    g_log.write_record.destroy();
    vorn_log_rotor_shutdown();
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_event_get_log_file_path(char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return VORN_STATUS_MISSING_ARGUMENT;
    buffer[0] = '\0';
    if (!g_log.initialised.load() || g_log.path[0] == '\0') return VORN_STATUS_EMPTY;
    if (std::strlen(g_log.path) >= size) return VORN_STATUS_FAILURE;
    copy_bounded(buffer, size, g_log.path);
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_event_get_lost_count(uint64_t* count, char* reason, size_t reason_size) {
    if (count == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    std::lock_guard<orvix::eventlog::SpinningMutex> guard(g_log.lock);
    *count = g_log.lost_total;
    if (reason != nullptr && reason_size > 0)
        copy_bounded(reason, reason_size, g_log.lost_total > 0 ? g_log.lost_reason : "");
    return VORN_STATUS_SUCCESS;
}

void vorn_event_set_write_ops(const vorn_event_write_ops* ops) { g_write_ops.store(ops); }

void vorn_event_set_short_write_ops(const vorn_event_short_write_ops* ops) { g_short_write_ops.store(ops); }

[[noreturn]] void vorn_event_assert(int32_t, const char* function_name, int32_t line) {
    if (vorn_event_log(VORN_EVENT_CAT_ASSERT, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                       "Assert in function %s at line number %d.", function_name != nullptr ? function_name : "",
                       static_cast<int>(line)) == VORN_STATUS_SUCCESS) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    if (g_asserting.exchange(true)) {
        // Another thread is flushing the log and ends the process.
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    vorn_event_shutdown();
    std::fflush(nullptr);
    // Other threads may still run; leave without running static destructors under them.
    std::_Exit(1);
}
