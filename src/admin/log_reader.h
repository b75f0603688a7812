// The support engineer's log reader: parses the event log's line format and the banner
// that opens each log file, tells a log file's application and process from its name,
// and merges the lines of many files by time in one stream.
//
// The merge is streaming: each file is read in chunks and holds one line at a time, so
// memory stays bounded whatever the size of the files. Lines of equal time keep the order
// of their files as added, and lines of one file always keep their file order.
//
// Nothing is hidden: a line that does not have the format is returned as it is, with the
// reason; a file that is binary or UTF-16 is refused with its reason, and a file that
// cannot be read with the C library's reason. Portable: standard C++ only.
//
// Not thread-safe: one reader or merge per thread.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvix::admin {

enum class LineKind : uint8_t {
    kEntry,       // a line of the event log's format
    kLostNotice,  // the queue's "Event logger dropped N log messages." (written without the prefix)
    kUnparsed,    // anything else: shown as it is and counted
};

// One line of a log file. The views point into the reader's buffer and stay valid until
// the reader moves on.
struct LogLine {
    LineKind kind = LineKind::kUnparsed;
    int64_t time_ms = 0;  // UTC milliseconds since 1970; a line without a time takes the one
                          // of the line before it in its file (INT64_MIN before any)
    std::string_view time_text;  // "2024-03-09T07:05:04.032Z" (entries only)
    std::string_view session;
    int32_t level = 0;
    int32_t status = 0;
    std::string_view category;
    std::string_view message;
    std::string_view text;     // the whole line without its line end
    uint64_t lost = 0;         // lines a lost-line notice reports
    uint64_t repeats = 0;      // the count of a "Last message repeated N times" summary
    bool cut = false;          // as long as the event log's 639-character bound: the message may be cut
    bool torn = false;         // the file ends inside this line (no line end): it does not count as parsed
    bool banner = false;       // a line of the banner that opens the file
    std::string_view problem;  // why an unparsed line did not parse
    uint64_t number = 0;       // line number in its file, from 1
};

// Parses one line (without its line end) into *out. A line of the format becomes kEntry,
// the queue's notice kLostNotice, anything else kUnparsed with problem set. The time of a
// line without one is left as it was in *out.
void parse_log_line(std::string_view text, LogLine* out);

// The lost lines a message reports: the queue's "Event logger dropped N log messages."
// and the file sink's "Event logger lost N log messages (REASON)."; 0 for any other.
uint64_t lost_lines_in(std::string_view message);
// The count of "Last message repeated N time(s)"; nullopt for any other message.
std::optional<uint64_t> repeat_count_in(std::string_view message);

// "2024-03-09T07:05:04.032Z" (the line format's time) to UTC milliseconds since 1970.
bool parse_line_time(std::string_view text, int64_t* ms);
// Milliseconds since 1970 for a UTC date and time.
int64_t utc_ms(int year, int month, int day, int hour, int minute, int second, int millisecond);

const char* level_name(int32_t level);  // "critical" ... "trace"; "other" beyond

// What the banner at the top of a log file says about the process and the machine.
struct BannerFacts {
    bool present = false;
    std::string local_time;  // as printed, e.g. "2024-03-09T08:05:04.032+01:00"
    std::string utc_offset;  // "+01:00"
    std::string application;
    std::string os;
    int processors = -1;
    std::string architecture;
    std::string processor_type;
    std::string physical_memory;  // "available/total" as printed, e.g. "1200MB/16000MB"
    std::string virtual_memory;
    std::string session_user;  // masked, "DOMAIN\user" as printed
    std::string temp_folder;
    std::string program_data_folder;
    int64_t process_id = -1;
    uint64_t lines = 0;  // lines of the banner
};

// Recognises the banner line by line: it opens the file with "local time ..." and ends
// with "Process ID = N"; only COMMON lines of level 2 (and the session's failure line)
// belong to it.
class BannerParser {
public:
    // True when the line belongs to the banner (its facts are taken).
    bool feed(const LogLine& line);
    bool open() const { return state_ == State::kInside; }
    const BannerFacts& facts() const { return facts_; }

private:
    enum class State { kStart, kInside, kSystemInfo, kDone };
    State state_ = State::kStart;
    BannerFacts facts_;
    int system_line_ = 0;
};

// What a log file's name tells: "APP_2024_03_09T07_05_04Z_1A2B_0_0[_SESSION].txt", or the
// same in the archive folder as "2024-03-09-07-05-APP_..._0_0[_SESSION].log".
struct FileNameFacts {
    bool matched = false;
    bool archived = false;
    std::string application;
    int64_t process_id = -1;
    std::string opened;  // "2024-03-09T07:05:04Z"
    std::string session;
};
FileNameFacts parse_log_file_name(std::string_view file_name);

// One file of the stream: where it is and what its name and banner say.
struct LogSource {
    std::string path;  // UTF-8
    FileNameFacts name;
    BannerFacts banner;
    std::string application() const;  // the banner's, else the file name's, else ""
    int64_t process_id() const;       // the banner's, else the file name's, else -1
};

// A file read line by line in chunks of its own buffer. Between chunks the file is
// closed unless keep_open is set, so a merge of many files holds no more files open than
// it reads at once, and a followed file can be moved into the archive (on Windows an open
// file cannot be moved).
class LogFileReader {
public:
    explicit LogFileReader(std::string path, size_t chunk = 1 << 18, bool keep_open = true);
    // Checks the file and reads its first chunk. False with *problem when it cannot be
    // read, or is binary or UTF-16; refused() then tells that it is skipped for good.
    bool open(std::string* problem);
    // The next line; false at the end of what is there. With final, a last line without
    // a line end is returned (marked torn); without it, it is kept until its end comes.
    bool next(LogLine* line, bool final);
    // After the end was reached: look again for what was written since.
    void look_again() { eof_ = false; }
    // The file was moved (into the archive): go on reading it under its new name.
    void moved_to(std::string path) { source_.path = std::move(path); }
    // The banner facts are complete once a line with banner == false was returned.
    const LogSource& source() const { return source_; }
    LogSource& source() { return source_; }
    bool refused() const { return refused_; }
    uint64_t read_position() const { return offset_ + (end_ - begin_); }

private:
    bool fill();
    std::ifstream file_;
    LogSource source_;
    BannerParser banner_;
    size_t chunk_;
    bool keep_open_;
    std::vector<char> buffer_;
    size_t begin_ = 0, end_ = 0;  // unread bytes in buffer_
    uint64_t offset_ = 0;         // file offset of buffer_[begin_]
    bool eof_ = false;
    bool refused_ = false;
    int64_t last_time_ = INT64_MIN;
    uint64_t line_number_ = 0;
};

// Which lines the stream shows. Level, category and session apply to entries only
// (unparsed lines and lost-line notices are always shown, they cannot be judged by
// fields they lack); text, time, application and process apply to every line.
struct LogFilter {
    int32_t max_level = -1;               // -1: any
    std::vector<std::string> categories;  // globs ("MGMT_*"); any when empty
    std::optional<int64_t> since_ms, until_ms;
    std::optional<std::string> session;
    std::optional<std::string> application;  // a glob, as the categories
    std::optional<int64_t> process_id;
    std::optional<std::string> contains;
    bool show_banner = false;
    bool matches(const LogLine& line, const LogSource& source) const;
};

// "*" and "?" globs, without regard to ASCII case.
bool glob_match(std::string_view pattern, std::string_view text);

// --since / --until: ISO 8601 in UTC ("...Z" or "+01:00") or local time (no zone),
// a date alone, or relative to now ("90s", "15m", "2h", "3d"). False with *error.
bool parse_time_argument(std::string_view text, int64_t now_ms, int64_t* out, std::string* error);

// Files of the stream in the order given: files as they are, folders with every regular
// file below them (sorted by path). Problems (missing paths, unreadable folders) go to
// *problems as "PATH: reason".
std::vector<std::string> collect_log_files(const std::vector<std::string>& paths, std::vector<std::string>* problems);

// The streaming k-way merge over readers, by time, ties in the order readers were added.
class LogMerge {
public:
    // Readers must be open; a reader's lines that the filter refuses never enter the merge.
    void add(std::unique_ptr<LogFileReader> reader, bool final = true);
    void set_filter(LogFilter filter) { filter_ = std::move(filter); }
    // The next line of the stream and its reader; false at the end of every file.
    bool next(const LogLine** line, LogFileReader** reader, bool final = true);
    // Readers at their end look again for what was written since and join the merge
    // again when they have lines.
    void resume(bool final);
    const std::vector<std::unique_ptr<LogFileReader>>& readers() const { return readers_; }
    LogFileReader& reader(size_t index) { return *readers_[index]; }

private:
    bool advance(size_t index, bool final);  // to the next line the filter passes
    void push(size_t index);
    struct Head {
        int64_t time_ms;
        size_t index;
    };
    std::vector<std::unique_ptr<LogFileReader>> readers_;
    std::vector<LogLine> current_;
    std::vector<bool> waiting_;  // at the end of what is there
    std::vector<Head> heap_;
    LogFilter filter_;
    std::optional<size_t> pending_;  // returned last; advanced on the next call
};

// Counts for --summary over one file or several.
struct LogSummary {
    uint64_t lines = 0;  // entries (banner lines not counted)
    uint64_t per_level[6] = {};  // 0..4, and [5] for any other level
    uint64_t unparsed = 0;
    uint64_t torn = 0;
    uint64_t cut = 0;
    uint64_t lost = 0;          // lines lost, as the notices report them
    uint64_t lost_notices = 0;
    int64_t first_ms = INT64_MAX, last_ms = INT64_MIN;
    std::string first_time, last_time;
    std::map<std::string, uint64_t> categories;
    std::unordered_map<std::string, uint64_t> messages;  // repeats counted into their message
    bool messages_capped = false;  // distinct messages beyond kMaxMessages were not counted

    static constexpr size_t kMaxMessages = 100000;
    void add(const LogLine& line);
    void merge(const LogSummary& other);
    // The n most frequent messages, most frequent first (ties by text).
    std::vector<std::pair<std::string, uint64_t>> top_messages(size_t n) const;

private:
    std::string last_message_;  // of this file, which a repeat summary repeats
};

}  // namespace orvix::admin
