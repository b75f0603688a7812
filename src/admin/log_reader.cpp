#include "admin/log_reader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "admin/utf8_path.h"

namespace orvix::admin {

namespace fs = std::filesystem;

namespace {

// The event log's line bound: 638 characters and a line feed, or 637 and CR LF.
constexpr size_t kCutLineChars = 637;
// Far beyond any line the event log writes; a longer one is shown in parts, so a foreign
// file without line ends cannot fill the memory.
constexpr size_t kMaxLineBytes = 1 << 20;

bool digits(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size()) return false;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

int number(std::string_view text, size_t at, size_t count) {
    int value = 0;
    for (size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

// A signed decimal at *at (at most 18 digits); moves *at past it.
bool signed_number(std::string_view text, size_t* at, int64_t* out) {
    size_t i = *at;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    const size_t first = i;
    int64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - first < 18) value = value * 10 + (text[i++] - '0');
    if (i == first || (i < text.size() && text[i] >= '0' && text[i] <= '9')) return false;
    *out = negative ? -value : value;
    *at = i;
    return true;
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

int64_t utc_ms(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    return ((days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 24 + hour) * 60 +
            minute) * 60000 + second * 1000LL + millisecond;
}

bool parse_line_time(std::string_view t, int64_t* ms) {
    // YYYY-MM-DDTHH:MM:SS.mmmZ
    if (t.size() < 24 || !digits(t, 0, 4) || t[4] != '-' || !digits(t, 5, 2) || t[7] != '-' || !digits(t, 8, 2) ||
        t[10] != 'T' || !digits(t, 11, 2) || t[13] != ':' || !digits(t, 14, 2) || t[16] != ':' ||
        !digits(t, 17, 2) || t[19] != '.' || !digits(t, 20, 3) || t[23] != 'Z') {
        return false;
    }
    const int month = number(t, 5, 2), day = number(t, 8, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    *ms = utc_ms(number(t, 0, 4), month, day, number(t, 11, 2), number(t, 14, 2), number(t, 17, 2), number(t, 20, 3));
    return true;
}

const char* level_name(int32_t level) {
    static const char* const kNames[] = {"critical", "error", "info", "debug", "trace"};
    return level >= 0 && level <= 4 ? kNames[level] : "other";
}

uint64_t lost_lines_in(std::string_view message) {
    for (std::string_view head : {"Event logger dropped ", "Event logger lost "}) {
        if (!starts_with(message, head)) continue;
        size_t at = head.size();
        while (at < message.size() && message[at] == ' ') ++at;  // "%2d" pads
        int64_t n = 0;
        if (!signed_number(message, &at, &n) || n < 0) return 0;
        const std::string_view rest = message.substr(at);
        if (starts_with(rest, " log messages.") || starts_with(rest, " log messages (")) return static_cast<uint64_t>(n);
        return 0;
    }
    return 0;
}

std::optional<uint64_t> repeat_count_in(std::string_view message) {
    constexpr std::string_view head = "Last message repeated ";
    if (!starts_with(message, head)) return std::nullopt;
    size_t at = head.size();
    int64_t n = 0;
    if (!signed_number(message, &at, &n) || n < 0) return std::nullopt;
    const std::string_view rest = message.substr(at);
    if (rest != " time" && rest != " times") return std::nullopt;
    return static_cast<uint64_t>(n);
}

void parse_log_line(std::string_view text, LogLine* out) {
    out->text = text;
    out->time_text = out->session = out->category = out->message = out->problem = {};
    out->lost = out->repeats = 0;
    out->level = out->status = 0;
    out->cut = text.size() >= kCutLineChars;
    int64_t ms = 0;
    if (!parse_line_time(text, &ms) || text.size() < 25 || text[24] != ' ') {
        if (const uint64_t lost = lost_lines_in(text); lost > 0 || starts_with(text, "Event logger dropped ")) {
            out->kind = LineKind::kLostNotice;
            out->lost = lost;
            out->message = text;
            return;
        }
        out->kind = LineKind::kUnparsed;
        out->problem = text.empty() ? "empty line" : "no time at the start";
        return;
    }
    out->kind = LineKind::kUnparsed;
    const size_t arrow = text.find(" > LVL:", 25);
    if (arrow == std::string_view::npos) {
        out->problem = "no \" > LVL:\" after the time";
        return;
    }
    size_t at = arrow + 7;
    int64_t level = 0, status = 0;
    if (!signed_number(text, &at, &level) || !starts_with(text.substr(at), " RC:")) {
        out->problem = "no level and \" RC:\"";
        return;
    }
    at += 4;
    while (at < text.size() && text[at] == ' ') ++at;
    if (!signed_number(text, &at, &status) || at >= text.size() || text[at] != ' ') {
        out->problem = "no status after \"RC:\"";
        return;
    }
    while (at < text.size() && text[at] == ' ') ++at;
    const size_t category = at;
    while (at < text.size() && text[at] != ' ' && text[at] != ':') ++at;
    if (at == category || !starts_with(text.substr(at), " :")) {
        out->problem = "no category followed by \" :\"";
        return;
    }
    out->kind = LineKind::kEntry;
    out->time_ms = ms;
    out->time_text = text.substr(0, 24);
    out->session = text.substr(25, arrow - 25);
    out->level = static_cast<int32_t>(level);
    out->status = static_cast<int32_t>(status);
    out->category = text.substr(category, at - category);
    out->message = text.substr(at + 2);
    out->lost = lost_lines_in(out->message);
    if (auto repeats = repeat_count_in(out->message)) out->repeats = *repeats;
}

// ---- banner ----

bool BannerParser::feed(const LogLine& line) {
    if (state_ == State::kDone) return false;
    const bool common = line.kind == LineKind::kEntry && line.category == "COMMON";
    if (state_ == State::kStart) {
        state_ = State::kDone;
        if (!common || !starts_with(line.message, "local time ")) return false;
        facts_.present = true;
        facts_.local_time = std::string(line.message.substr(11));
        if (facts_.local_time.size() >= 6) facts_.utc_offset = facts_.local_time.substr(facts_.local_time.size() - 6);
        facts_.lines = 1;
        state_ = State::kInside;
        return true;
    }
    if (!common) {
        state_ = State::kDone;  // the banner was cut short
        return false;
    }
    const std::string_view m = line.message;
    ++facts_.lines;
    if (state_ == State::kSystemInfo) {
        if (m == "**** ") {
            state_ = State::kInside;
            return true;
        }
        ++system_line_;
        if (system_line_ == 1) {
            facts_.os = std::string(m);
        } else if (m.ends_with(" processors detected")) {
            size_t at = 0;
            int64_t n = 0;
            if (signed_number(m, &at, &n)) facts_.processors = static_cast<int>(n);
        } else if (m.ends_with(" of physical memory available")) {
            facts_.physical_memory = std::string(m.substr(0, m.size() - 29));
        } else if (m.ends_with(" of virtual memory available")) {
            facts_.virtual_memory = std::string(m.substr(0, m.size() - 28));
        } else if (m.find("bit") != std::string_view::npos || m == "ARM" || m == "Itanium") {
            facts_.architecture = std::string(m);
        } else {
            facts_.processor_type = std::string(m);
        }
        return true;
    }
    if (starts_with(m, "-- ") && m.ends_with(" begins.")) {
        facts_.application = std::string(m.substr(3, m.size() - 11));
    } else if (m == "**** System Info") {
        state_ = State::kSystemInfo;
    } else if (const size_t at = m.find(" running under session ("); at != std::string_view::npos && m.ends_with(")")) {
        const size_t open = at + 24;
        facts_.session_user = std::string(m.substr(open, m.size() - open - 1));
    } else if (starts_with(m, "FOLDER_TEMP ")) {
        const size_t q = m.find('\'');
        if (q != std::string_view::npos && m.size() > q + 1) facts_.temp_folder = std::string(m.substr(q + 1, m.size() - q - 2));
    } else if (starts_with(m, "FOLDER_PROGRAM_DATA ")) {
        const size_t q = m.find('\'');
        if (q != std::string_view::npos && m.size() > q + 1) {
            facts_.program_data_folder = std::string(m.substr(q + 1, m.size() - q - 2));
        }
    } else if (starts_with(m, "Process ID = ")) {
        size_t at = 13;
        int64_t pid = 0;
        if (signed_number(m, &at, &pid)) facts_.process_id = pid;
        state_ = State::kDone;
    } else if (m == "--------------------------" || starts_with(m, "=====") || m == "Unable to determine username.") {
        // separators and the session's failure line
    } else {
        --facts_.lines;
        state_ = State::kDone;
        return false;
    }
    return true;
}

// ---- file names ----

FileNameFacts parse_log_file_name(std::string_view name) {
    FileNameFacts facts;
    // Archived: "YYYY-MM-DD-HH-MM-" before the name, ".log" for ".txt".
    if (name.size() > 17 && digits(name, 0, 4) && name[4] == '-' && digits(name, 5, 2) && name[7] == '-' &&
        digits(name, 8, 2) && name[10] == '-' && digits(name, 11, 2) && name[13] == '-' && digits(name, 14, 2) &&
        name[16] == '-' && name.ends_with(".log")) {
        facts.archived = true;
        name = name.substr(17, name.size() - 21);
    } else if (name.ends_with(".txt")) {
        name.remove_suffix(4);
    } else {
        return facts;
    }
    // APP_YYYY_MM_DDTHH_MM_SSZ_PID_0_N[_SESSION]: find the date from the right.
    for (size_t at = name.size(); at-- > 0;) {
        if (name[at] != '_' || at + 21 > name.size()) continue;
        const std::string_view d = name.substr(at + 1, 20);
        if (!(digits(d, 0, 4) && d[4] == '_' && digits(d, 5, 2) && d[7] == '_' && digits(d, 8, 2) && d[10] == 'T' &&
              digits(d, 11, 2) && d[13] == '_' && digits(d, 14, 2) && d[16] == '_' && digits(d, 17, 2) &&
              d[19] == 'Z')) {
            continue;
        }
        std::string_view rest = name.substr(at + 21);  // "_PID_0_N[_SESSION]"
        if (rest.size() < 6 || rest[0] != '_') return facts;
        rest.remove_prefix(1);
        const size_t pid_end = rest.find('_');
        if (pid_end == 0 || pid_end == std::string_view::npos || pid_end > 8) return facts;
        int64_t pid = 0;
        for (char c : rest.substr(0, pid_end)) {
            const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (v < 0) return facts;
            pid = pid * 16 + v;
        }
        rest.remove_prefix(pid_end);
        if (!starts_with(rest, "_0_")) return facts;
        rest.remove_prefix(3);
        size_t n = 0;
        while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') ++n;
        if (n == 0 || (n < rest.size() && rest[n] != '_')) return facts;
        facts.matched = true;
        facts.application = std::string(name.substr(0, at));
        facts.process_id = pid;
        facts.opened = std::string(d.substr(0, 4)) + "-" + std::string(d.substr(5, 2)) + "-" +
                       std::string(d.substr(8, 2)) + "T" + std::string(d.substr(11, 2)) + ":" +
                       std::string(d.substr(14, 2)) + ":" + std::string(d.substr(17, 2)) + "Z";
        if (n < rest.size()) facts.session = std::string(rest.substr(n + 1));
        return facts;
    }
    return facts;
}

std::string LogSource::application() const {
    if (!banner.application.empty()) return banner.application;
    return name.application;
}

int64_t LogSource::process_id() const { return banner.process_id >= 0 ? banner.process_id : name.process_id; }

// ---- reading a file ----

LogFileReader::LogFileReader(std::string path, size_t chunk, bool keep_open)
    : chunk_(std::max<size_t>(chunk, 4096)), keep_open_(keep_open) {
    source_.path = std::move(path);
    const fs::path p = path_from_utf8(source_.path);
    source_.name = parse_log_file_name(utf8_from_path(p.filename()));
}

bool LogFileReader::open(std::string* problem) {
    const fs::path p = path_from_utf8(source_.path);
    std::error_code error;
    const fs::file_status status = fs::status(p, error);
    if (error) {
        *problem = error.message();
        refused_ = true;
        return false;
    }
    if (!fs::is_regular_file(status)) {
        *problem = fs::is_directory(status) ? "it is a folder" : "it is not a regular file";
        refused_ = true;
        return false;
    }
    errno = 0;
    file_.open(p, std::ios::binary);
    if (!file_.is_open()) {
        *problem = errno != 0 ? std::generic_category().message(errno) : "it cannot be opened";
        refused_ = true;
        return false;
    }
    buffer_.resize(chunk_);
    fill();
    const std::string_view head(buffer_.data() + begin_, std::min<size_t>(end_ - begin_, 4096));
    if (head.size() >= 2 && ((head[0] == '\xff' && head[1] == '\xfe') || (head[0] == '\xfe' && head[1] == '\xff'))) {
        *problem = "UTF-16 text (it starts with a UTF-16 byte-order mark); skipped";
        refused_ = true;
    } else if (const size_t nul = head.find('\0'); nul != std::string_view::npos) {
        size_t zeros[2] = {0, 0};  // at even and at odd offsets
        for (size_t i = 0; i < head.size(); ++i) zeros[i % 2] += head[i] == '\0';
        if (zeros[0] * 3 > head.size() || zeros[1] * 3 > head.size()) {
            *problem = "UTF-16 text (every other byte is zero); skipped";
        } else {
            *problem = "binary (a zero byte at offset " + std::to_string(nul) + "); skipped";
        }
        refused_ = true;
    }
    if (refused_) {
        file_.close();
        buffer_ = {};
        begin_ = end_ = 0;
        return false;
    }
    if (head.size() >= 3 && head.substr(0, 3) == "\xef\xbb\xbf") {
        begin_ += 3;  // a UTF-8 byte-order mark is not part of the first line
        offset_ += 3;
    }
    return true;
}

bool LogFileReader::fill() {
    if (eof_) return false;
    if (!file_.is_open()) {
        file_.open(path_from_utf8(source_.path), std::ios::binary);
        if (!file_.is_open()) {  // gone (moved) for now: try again on the next look
            eof_ = true;
            return false;
        }
        file_.seekg(static_cast<std::streamoff>(read_position()));
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (buffer_.size() - end_ < chunk_ / 2) buffer_.resize(buffer_.size() + chunk_);
    file_.read(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
    const std::streamsize got = file_.gcount();
    if (got <= 0 || !file_) {
        eof_ = true;
        file_.close();
    } else if (!keep_open_) {
        file_.close();
    }
    end_ += static_cast<size_t>(got > 0 ? got : 0);
    return got > 0;
}

bool LogFileReader::next(LogLine* line, bool final) {
    if (refused_) return false;
    for (;;) {
        const char* start = buffer_.data() + begin_;
        const void* newline = std::memchr(start, '\n', end_ - begin_);
        size_t length = 0, consumed = 0;
        bool torn = false;
        if (newline != nullptr) {
            consumed = static_cast<size_t>(static_cast<const char*>(newline) - start) + 1;
            length = consumed - 1;
        } else if (end_ - begin_ >= kMaxLineBytes) {
            consumed = length = kMaxLineBytes;  // not a log file's line: shown in parts
        } else {
            if (fill()) continue;
            if (end_ == begin_ || !final) return false;
            consumed = length = end_ - begin_;
            torn = true;
        }
        if (length > 0 && start[length - 1] == '\r') --length;
        begin_ += consumed;
        offset_ += consumed;
        ++line_number_;
        line->time_ms = last_time_;
        // The line stays in the buffer until the next call moves it.
        parse_log_line(std::string_view(start, length), line);
        line->number = line_number_;
        line->torn = torn;
        if (consumed == kMaxLineBytes && newline == nullptr) {
            line->kind = LineKind::kUnparsed;
            line->problem = "no line end within 1 MiB: shown in parts";
        } else if (torn) {
            line->kind = LineKind::kUnparsed;
            line->problem = "the file ends inside this line (no line end)";
        }
        if (line->kind == LineKind::kEntry) last_time_ = line->time_ms;
        line->banner = banner_.feed(*line);
        if (line->banner) source_.banner = banner_.facts();
        return true;
    }
}

// ---- filters and times ----

bool glob_match(std::string_view pattern, std::string_view text) {
    size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool LogFilter::matches(const LogLine& line, const LogSource& source) const {
    if (line.banner && !show_banner) return false;
    if (line.kind == LineKind::kEntry) {
        if (max_level >= 0 && line.level > max_level) return false;
        if (!categories.empty() &&
            std::none_of(categories.begin(), categories.end(),
                         [&](const std::string& glob) { return glob_match(glob, line.category); })) {
            return false;
        }
        if (session && line.session != *session) return false;
    }
    if (since_ms && line.time_ms < *since_ms) return false;
    if (until_ms && line.time_ms > *until_ms) return false;
    if (application && !glob_match(*application, source.application())) return false;
    if (process_id && source.process_id() != *process_id) return false;
    if (contains && line.text.find(*contains) == std::string_view::npos) return false;
    return true;
}

bool parse_time_argument(std::string_view text, int64_t now_ms, int64_t* out, std::string* error) {
    const std::string quoted = "\"" + std::string(text) + "\"";
    // Relative: a number and a unit.
    if (!text.empty() && text.size() <= 12 && digits(text, 0, text.size() - 1)) {
        int64_t unit = 0;
        switch (text.back()) {
            case 's': unit = 1000; break;
            case 'm': unit = 60000; break;
            case 'h': unit = 3600000; break;
            case 'd': unit = 86400000; break;
            default: break;
        }
        if (unit != 0 && text.size() > 1) {
            *out = now_ms - std::stoll(std::string(text.substr(0, text.size() - 1))) * unit;
            return true;
        }
    }
    // YYYY-MM-DD[(T| )HH:MM[:SS[.mmm]]][Z|(+|-)HH:MM]
    if (!(digits(text, 0, 4) && text.size() >= 10 && text[4] == '-' && digits(text, 5, 2) && text[7] == '-' &&
          digits(text, 8, 2))) {
        *error = quoted + " is not a time: give ISO 8601 (2024-03-09T07:05:04Z, or local without Z) or an age "
                          "such as 90s, 15m, 2h, 3d";
        return false;
    }
    int f[7] = {number(text, 0, 4), number(text, 5, 2), number(text, 8, 2), 0, 0, 0, 0};
    size_t at = 10;
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        if (!digits(text, at + 1, 2) || at + 3 >= text.size() || text[at + 3] != ':' || !digits(text, at + 4, 2)) {
            *error = quoted + ": the time of day must be HH:MM[:SS[.mmm]]";
            return false;
        }
        f[3] = number(text, at + 1, 2);
        f[4] = number(text, at + 4, 2);
        at += 6;
        if (at < text.size() && text[at] == ':' && digits(text, at + 1, 2)) {
            f[5] = number(text, at + 1, 2);
            at += 3;
            if (at < text.size() && text[at] == '.' && digits(text, at + 1, 3)) {
                f[6] = number(text, at + 1, 3);
                at += 4;
            }
        }
    }
    if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 || f[4] > 59 || f[5] > 60) {
        *error = quoted + " is not a valid date and time";
        return false;
    }
    const int64_t as_utc = utc_ms(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    const std::string_view zone = text.substr(at);
    if (zone == "Z") {
        *out = as_utc;
        return true;
    }
    if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && digits(zone, 1, 2) && zone[3] == ':' &&
        digits(zone, 4, 2)) {
        const int64_t offset = (number(zone, 1, 2) * 60 + number(zone, 4, 2)) * 60000LL;
        *out = zone[0] == '+' ? as_utc - offset : as_utc + offset;
        return true;
    }
    if (!zone.empty()) {
        *error = quoted + ": unexpected \"" + std::string(zone) + "\" after the time (use Z or +HH:MM)";
        return false;
    }
    // Local time of this machine.
    std::tm local{};
    local.tm_year = f[0] - 1900;
    local.tm_mon = f[1] - 1;
    local.tm_mday = f[2];
    local.tm_hour = f[3];
    local.tm_min = f[4];
    local.tm_sec = f[5];
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) {
        *error = quoted + " cannot be converted from local time";
        return false;
    }
    *out = static_cast<int64_t>(seconds) * 1000 + f[6];
    return true;
}

std::vector<std::string> collect_log_files(const std::vector<std::string>& paths, std::vector<std::string>* problems) {
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        const fs::path p = path_from_utf8(path);
        std::error_code error;
        const fs::file_status status = fs::status(p, error);
        if (error) {
            problems->push_back(path + ": " + error.message());
            continue;
        }
        if (!fs::is_directory(status)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(p, fs::directory_options::none, error), end;
        if (error) {
            problems->push_back(path + ": " + error.message());
            continue;
        }
        for (; it != end; it.increment(error)) {
            if (error) break;
            std::error_code entry_error;
            const fs::file_status entry = it->symlink_status(entry_error);
            if (fs::is_directory(entry)) continue;
            found.push_back(utf8_from_path(it->path()));
        }
        if (error) problems->push_back(path + ": " + error.message());
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

// ---- the merge ----

namespace {
struct Later {
    template <typename H>
    bool operator()(const H& a, const H& b) const {
        return a.time_ms != b.time_ms ? a.time_ms > b.time_ms : a.index > b.index;
    }
};
}  // namespace

void LogMerge::add(std::unique_ptr<LogFileReader> reader, bool final) {
    readers_.push_back(std::move(reader));
    current_.emplace_back();
    waiting_.push_back(false);
    const size_t index = readers_.size() - 1;
    if (advance(index, final)) push(index);
}

bool LogMerge::advance(size_t index, bool final) {
    LogFileReader& reader = *readers_[index];
    LogLine& line = current_[index];
    while (reader.next(&line, final)) {
        if (filter_.matches(line, reader.source())) {
            waiting_[index] = false;
            return true;
        }
    }
    waiting_[index] = true;
    return false;
}

void LogMerge::push(size_t index) {
    heap_.push_back({current_[index].time_ms, index});
    std::push_heap(heap_.begin(), heap_.end(), Later{});
}

bool LogMerge::next(const LogLine** line, LogFileReader** reader, bool final) {
    if (pending_) {
        const size_t index = *pending_;
        pending_.reset();
        if (advance(index, final)) push(index);
    }
    if (heap_.empty()) return false;
    std::pop_heap(heap_.begin(), heap_.end(), Later{});
    const size_t index = heap_.back().index;
    heap_.pop_back();
    pending_ = index;
    *line = &current_[index];
    *reader = readers_[index].get();
    return true;
}

void LogMerge::resume(bool final) {
    if (pending_) {
        const size_t index = *pending_;
        pending_.reset();
        if (advance(index, final)) push(index);
    }
    for (size_t i = 0; i < readers_.size(); ++i) {
        const bool in_heap = std::any_of(heap_.begin(), heap_.end(), [&](const Head& h) { return h.index == i; });
        if (!waiting_[i] || in_heap) continue;
        readers_[i]->look_again();
        if (advance(i, final)) push(i);
    }
}

// ---- summary ----

void LogSummary::add(const LogLine& line) {
    if (line.banner) return;
    if (line.kind == LineKind::kUnparsed) {
        ++unparsed;
        if (line.torn) ++torn;
        return;
    }
    if (line.lost > 0 || line.kind == LineKind::kLostNotice) {
        lost += line.lost;
        ++lost_notices;
        if (line.kind == LineKind::kLostNotice) return;
    }
    ++lines;
    ++per_level[line.level >= 0 && line.level <= 4 ? line.level : 5];
    if (line.cut) ++cut;
    if (line.time_ms < first_ms) {
        first_ms = line.time_ms;
        first_time = std::string(line.time_text);
    }
    if (line.time_ms > last_ms) {
        last_ms = line.time_ms;
        last_time = std::string(line.time_text);
    }
    ++categories[std::string(line.category)];
    if (line.repeats > 0 || repeat_count_in(line.message)) {
        if (!last_message_.empty()) {
            if (auto it = messages.find(last_message_); it != messages.end()) it->second += line.repeats;
        }
        return;
    }
    last_message_.assign(line.message);
    auto it = messages.find(last_message_);
    if (it != messages.end()) {
        ++it->second;
    } else if (messages.size() < kMaxMessages) {
        messages.emplace(last_message_, 1);
    } else {
        messages_capped = true;
    }
}

void LogSummary::merge(const LogSummary& o) {
    lines += o.lines;
    for (int i = 0; i < 6; ++i) per_level[i] += o.per_level[i];
    unparsed += o.unparsed;
    torn += o.torn;
    cut += o.cut;
    lost += o.lost;
    lost_notices += o.lost_notices;
    if (o.first_ms < first_ms) {
        first_ms = o.first_ms;
        first_time = o.first_time;
    }
    if (o.last_ms > last_ms) {
        last_ms = o.last_ms;
        last_time = o.last_time;
    }
    for (const auto& [name, n] : o.categories) categories[name] += n;
    for (const auto& [text, n] : o.messages) {
        auto it = messages.find(text);
        if (it != messages.end()) {
            it->second += n;
        } else if (messages.size() < kMaxMessages) {
            messages.emplace(text, n);
        } else {
            messages_capped = true;
        }
    }
    messages_capped = messages_capped || o.messages_capped;
}

std::vector<std::pair<std::string, uint64_t>> LogSummary::top_messages(size_t n) const {
    std::vector<std::pair<std::string, uint64_t>> all(messages.begin(), messages.end());
    const size_t keep = std::min(n, all.size());
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(keep), all.end(),
                      [](const auto& a, const auto& b) { return a.second != b.second ? a.second > b.second : a.first < b.first; });
    all.resize(keep);
    return all;
}

}  // namespace orvix::admin
