// The log reader: the line format, file names, the banner of a file the event log wrote,
// reading files (line ends, torn lines, refused files), the merge and the summary counts.
#include "admin/log_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "os/file_system.h"
#include "os/system_facts.h"
#include "support/program_data.h"

namespace {

using namespace orvix::admin;
namespace fs = std::filesystem;

struct LineCase {
    const char* text;
    LineKind kind;
    const char* session;
    int32_t level, status;
    const char* category;
    const char* message;  // or the problem of an unparsed line
};

TEST(LogReader, ParsesTheLineFormat) {
    const LineCase cases[] = {
        {"2024-03-09T07:05:04.032Z 00000000-0000-0000-0000-000000000000 > LVL:2 RC:   0          COMMON :hello",
         LineKind::kEntry, "00000000-0000-0000-0000-000000000000", 2, 0, "COMMON", "hello"},
        // An empty session, a status wider than four columns, a category wider than fifteen,
        // an empty message and one that holds the separators itself.
        {"2024-03-09T07:05:04.032Z  > LVL:1 RC:-12345 PERF_PROVIDER_DLL :", LineKind::kEntry, "", 1, -12345,
         "PERF_PROVIDER_DLL", ""},
        {"2024-03-09T07:05:04.032Z s > LVL:0 RC:-500        MGMT_ENV : > LVL:3 RC: 1 X :y", LineKind::kEntry, "s",
         0, -500, "MGMT_ENV", " > LVL:3 RC: 1 X :y"},
        {"Event logger dropped  2 log messages.", LineKind::kLostNotice, "", 0, 0, "", "Event logger dropped  2 log messages."},
        {"", LineKind::kUnparsed, "", 0, 0, "", "empty line"},
        {"hello 2024-03-09T07:05:04.032Z", LineKind::kUnparsed, "", 0, 0, "", "no time at the start"},
        {"2024-13-09T07:05:04.032Z s > LVL:2 RC:   0 COMMON :x", LineKind::kUnparsed, "", 0, 0, "",
         "no time at the start"},
        {"2024-03-09T07:05:04.032Z s LVL:2 RC:   0 COMMON :x", LineKind::kUnparsed, "", 0, 0, "",
         "no \" > LVL:\" after the time"},
        {"2024-03-09T07:05:04.032Z s > LVL:x RC:   0 COMMON :x", LineKind::kUnparsed, "", 0, 0, "",
         "no level and \" RC:\""},
        {"2024-03-09T07:05:04.032Z s > LVL:2 RC:   0 COMMON x", LineKind::kUnparsed, "", 0, 0, "",
         "no category followed by \" :\""},
    };
    for (const LineCase& c : cases) {
        LogLine line;
        parse_log_line(c.text, &line);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(line.kind, c.kind);
        EXPECT_EQ(line.text, c.text);
        if (c.kind == LineKind::kUnparsed) {
            EXPECT_EQ(line.problem, c.message);
            continue;
        }
        EXPECT_EQ(line.message, c.message);
        if (c.kind != LineKind::kEntry) continue;
        EXPECT_EQ(line.session, c.session);
        EXPECT_EQ(line.level, c.level);
        EXPECT_EQ(line.status, c.status);
        EXPECT_EQ(line.category, c.category);
        EXPECT_EQ(line.time_ms, utc_ms(2024, 3, 9, 7, 5, 4, 32));
        EXPECT_EQ(line.time_text, "2024-03-09T07:05:04.032Z");
    }
    EXPECT_EQ(utc_ms(1970, 1, 1, 0, 0, 0, 1), 1);
    EXPECT_EQ(utc_ms(2024, 3, 1, 0, 0, 0, 0) - utc_ms(2024, 2, 28, 0, 0, 0, 0), 2 * 86400000LL);  // leap day
}

TEST(LogReader, LostLinesAndRepeatSummaries) {
    EXPECT_EQ(lost_lines_in("Event logger dropped 103 log messages."), 103u);
    EXPECT_EQ(lost_lines_in("Event logger dropped  2 log messages."), 2u);
    EXPECT_EQ(lost_lines_in("Event logger lost 7 log messages (There is not enough space on the disk.)."), 7u);
    EXPECT_EQ(lost_lines_in("Event logger dropped many log messages."), 0u);
    EXPECT_EQ(lost_lines_in("Event logger dropped 5 log messages. And more"), 5u);
    EXPECT_EQ(repeat_count_in("Last message repeated 1 time"), 1u);
    EXPECT_EQ(repeat_count_in("Last message repeated 10000 times"), 10000u);
    EXPECT_EQ(repeat_count_in("Last message repeated 2 times!"), std::nullopt);
    EXPECT_EQ(repeat_count_in("Last message repeated -1 times"), std::nullopt);
}

TEST(LogReader, FileNames) {
    FileNameFacts f = parse_log_file_name("orvix_env_2024_03_09T07_05_04Z_1A2B_0_0.txt");
    EXPECT_TRUE(f.matched);
    EXPECT_FALSE(f.archived);
    EXPECT_EQ(f.application, "orvix_env");
    EXPECT_EQ(f.process_id, 0x1A2B);
    EXPECT_EQ(f.opened, "2024-03-09T07:05:04Z");
    EXPECT_EQ(f.session, "");
    f = parse_log_file_name("2024-03-09-07-06-agent_2024_03_09T07_05_04Z_FF_0_12_11111111-2222-3333-4444-555555555555.log");
    EXPECT_TRUE(f.matched);
    EXPECT_TRUE(f.archived);
    EXPECT_EQ(f.application, "agent");
    EXPECT_EQ(f.process_id, 255);
    EXPECT_EQ(f.session, "11111111-2222-3333-4444-555555555555");
    for (const char* foreign : {"agent.txt", "notes.txt", "agent_2024_03_09T07_05_04Z_xyz_0_0.txt",
                                "agent_2024_03_09T07_05_04Z_1A_1_0.txt", "agent_2024_03_09T07_05_04Z_1A_0_0.log",
                                "crash.dmp"}) {
        EXPECT_FALSE(parse_log_file_name(foreign).matched) << foreign;
    }
}

TEST(LogReader, GlobsAndTimeArguments) {
    EXPECT_TRUE(glob_match("MGMT_*", "MGMT_ENV"));
    EXPECT_TRUE(glob_match("mgmt_e?v", "MGMT_ENV"));
    EXPECT_TRUE(glob_match("*ENV", "MGMT_ENV"));
    EXPECT_FALSE(glob_match("MGMT_*", "COMMON"));
    EXPECT_FALSE(glob_match("MGMT", "MGMT_ENV"));

    const int64_t now = utc_ms(2024, 3, 9, 12, 0, 0, 0);
    int64_t t = 0;
    std::string error;
    EXPECT_TRUE(parse_time_argument("2024-03-09T07:05:04.032Z", now, &t, &error));
    EXPECT_EQ(t, utc_ms(2024, 3, 9, 7, 5, 4, 32));
    EXPECT_TRUE(parse_time_argument("2024-03-09T08:05+01:00", now, &t, &error));
    EXPECT_EQ(t, utc_ms(2024, 3, 9, 7, 5, 0, 0));
    EXPECT_TRUE(parse_time_argument("2024-03-09 02:05:04-05:00", now, &t, &error));
    EXPECT_EQ(t, utc_ms(2024, 3, 9, 7, 5, 4, 0));
    EXPECT_TRUE(parse_time_argument("2h", now, &t, &error));
    EXPECT_EQ(t, now - 7200000);
    EXPECT_TRUE(parse_time_argument("3d", now, &t, &error));
    EXPECT_EQ(t, now - 3 * 86400000LL);
    // Without a zone the time is this machine's local time.
    std::tm local{};
    local.tm_year = 124;
    local.tm_mon = 2;
    local.tm_mday = 9;
    local.tm_hour = 7;
    local.tm_isdst = -1;
    EXPECT_TRUE(parse_time_argument("2024-03-09T07:00", now, &t, &error));
    EXPECT_EQ(t, static_cast<int64_t>(std::mktime(&local)) * 1000);
    for (const char* bad : {"yesterday", "2h ago", "2024-03-09T7:05Z", "2024-02-30X", "2024-03-09T07:05:04 UTC",
                            "2024-13-01", "5w"}) {
        error.clear();
        EXPECT_FALSE(parse_time_argument(bad, now, &t, &error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
}

class LogReaderFiles : public testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> n{0};
        folder_ = fs::temp_directory_path() /
                  ("orvix-logreader-" + std::to_string(orvix::os::current_process_id()) + "-" + std::to_string(n++));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(folder_, error);
    }
    std::string write(const std::string& name, const std::string& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    static std::vector<std::string> messages(LogFileReader& reader, bool final) {
        std::vector<std::string> out;
        LogLine line;
        while (reader.next(&line, final)) {
            // Appended: GCC 12's -Wrestrict misfires on "!" + std::string&& at -O3.
            std::string shown(line.kind == LineKind::kEntry ? "" : "!");
            shown += line.kind == LineKind::kEntry ? line.message : line.text;
            if (line.kind != LineKind::kEntry && line.torn) shown += " (torn)";
            out.push_back(std::move(shown));
        }
        return out;
    }
    fs::path folder_;
};

std::string entry(int second, const std::string& message, const char* end = "\r\n") {
    char head[80];
    std::snprintf(head, sizeof head, "2024-03-09T07:05:%02d.000Z s > LVL:2 RC:   0          COMMON :", second);
    return head + message + end;
}

// The banner's facts from a file the event log wrote, with this machine's facts.
TEST_F(LogReaderFiles, BannerOfAFileTheEventLogWrote) {
    orvix_test::redirect_program_data(folder_.string());
    ASSERT_EQ(vorn_event_start_logging("reader_app", 1, 1, 0, 1), 0);
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, 1, -500, "first after the banner");
    char path[1024];
    ASSERT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
    ASSERT_EQ(vorn_event_shutdown(), 0);

    LogFileReader reader(path);
    std::string problem;
    ASSERT_TRUE(reader.open(&problem)) << problem;
    LogLine line;
    int banner_lines = 0;
    while (reader.next(&line, true) && line.banner) ++banner_lines;
    EXPECT_EQ(line.message, "first after the banner");
    EXPECT_FALSE(reader.next(&line, true));
    const BannerFacts& b = reader.source().banner;
    EXPECT_TRUE(b.present);
    EXPECT_EQ(b.lines, static_cast<uint64_t>(banner_lines));
    EXPECT_EQ(b.application, "reader_app");
    EXPECT_EQ(b.process_id, static_cast<int64_t>(orvix::os::current_process_id()));
    EXPECT_EQ(b.processors, static_cast<int>(orvix::os::system_facts().processors().count));
    EXPECT_FALSE(b.os.empty());
    EXPECT_NE(b.physical_memory.find("MB/"), std::string::npos);
    EXPECT_EQ(b.local_time.size(), 29u) << b.local_time;  // 2024-03-09T07:05:04.032+01:00
    EXPECT_EQ(b.utc_offset, b.local_time.substr(23));
    EXPECT_NE(b.program_data_folder.find("Quillon"), std::string::npos);
    EXPECT_EQ(reader.source().application(), "reader_app");
    EXPECT_EQ(reader.source().process_id(), b.process_id);
    EXPECT_EQ(reader.source().name.process_id, b.process_id);
}

TEST_F(LogReaderFiles, LineEndsTornLinesAndRefusedFiles) {
    const std::string text = "\xEF\xBB\xBF" + entry(1, "crlf") + entry(2, "lf", "\n") + "foreign\r\n" + entry(3, "half", "");
    LogFileReader reader(write("a.txt", text), 4096);
    std::string problem;
    ASSERT_TRUE(reader.open(&problem));
    // Following: the last line waits for its end; once it comes, it is an ordinary line.
    EXPECT_EQ(messages(reader, false), (std::vector<std::string>{"crlf", "lf", "!foreign"}));
    std::ofstream(folder_ / "a.txt", std::ios::binary | std::ios::app) << " done\r\n" << entry(4, "torn", "");
    reader.look_again();
    EXPECT_EQ(messages(reader, false), (std::vector<std::string>{"half done"}));
    reader.look_again();
    const std::string torn = entry(4, "torn", "");
    EXPECT_EQ(messages(reader, true), (std::vector<std::string>{"!" + torn + " (torn)"}));

    // A line far longer than a chunk is read whole.
    const std::string long_line = entry(5, std::string(20000, 'y'));
    LogFileReader big(write("big.txt", long_line + entry(6, "next")), 4096);
    ASSERT_TRUE(big.open(&problem));
    const auto read = messages(big, true);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].size(), 20000u);

    // A foreign file without line ends is shown in parts of 1 MiB, never read whole.
    LogFileReader endless(write("endless.log", std::string(2 * 1048576 + 5, 'z')), 4096);
    ASSERT_TRUE(endless.open(&problem));
    LogLine part;
    std::vector<size_t> sizes;
    while (endless.next(&part, true)) {
        EXPECT_EQ(part.kind, LineKind::kUnparsed);
        sizes.push_back(part.text.size());
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{1048576, 1048576, 5}));

    for (const auto& [name, bytes, reason] :
         {std::tuple{"bom.txt", std::string("\xFF\xFEh\0i\0", 6), "UTF-16 text (it starts with a UTF-16 byte-order mark)"},
          std::tuple{"wide.txt", std::string("h\0e\0l\0l\0o\0", 10), "UTF-16 text (every other byte is zero)"},
          std::tuple{"crash.dmp", std::string("MDMP\x93\xA7\0\0 binary data", 19), "binary (a zero byte at offset 6)"}}) {
        LogFileReader refused(write(name, bytes));
        problem.clear();
        EXPECT_FALSE(refused.open(&problem)) << name;
        EXPECT_TRUE(refused.refused());
        EXPECT_EQ(problem, std::string(reason) + "; skipped");
    }
    LogFileReader missing((folder_ / "missing.txt").string());
    EXPECT_FALSE(missing.open(&problem));
    EXPECT_FALSE(problem.empty());
    LogFileReader folder(folder_.string());
    EXPECT_FALSE(folder.open(&problem));
    EXPECT_EQ(problem, "it is a folder");
}

// By time across files; equal times in the order the files were added; a file whose
// clock went back keeps its own order; lines without a time stay behind the line before.
TEST_F(LogReaderFiles, MergeByTime) {
    const std::string a = write("a.txt", entry(1, "a1") + entry(3, "a3") + entry(3, "a3b") + entry(2, "a2 clock back"));
    const std::string b = write("b.txt", entry(3, "b3") + "Event logger dropped  4 log messages.\r\n" + entry(4, "b4"));
    const std::string c = write("c.txt", "a foreign line\n");
    LogMerge merge;
    for (const std::string& path : {a, b, c}) {
        auto reader = std::make_unique<LogFileReader>(path, 4096, false);
        std::string problem;
        ASSERT_TRUE(reader->open(&problem));
        merge.add(std::move(reader));
    }
    std::vector<std::string> order;
    const LogLine* line = nullptr;
    LogFileReader* reader = nullptr;
    while (merge.next(&line, &reader)) order.push_back(std::string(line->kind == LineKind::kEntry ? line->message : line->text));
    EXPECT_EQ(order, (std::vector<std::string>{"a foreign line", "a1", "a3", "a3b", "a2 clock back", "b3",
                                               "Event logger dropped  4 log messages.", "b4"}));

    // The filter: level and category never hide unparsed lines or notices.
    LogMerge filtered;
    LogFilter filter;
    filter.max_level = 1;
    filter.since_ms = utc_ms(2024, 3, 9, 7, 5, 3, 0);
    filtered.set_filter(filter);
    for (const std::string& path : {a, b, c}) {
        auto r = std::make_unique<LogFileReader>(path);
        std::string problem;
        ASSERT_TRUE(r->open(&problem));
        filtered.add(std::move(r));
    }
    order.clear();
    while (filtered.next(&line, &reader)) order.push_back(std::string(line->text));
    EXPECT_EQ(order, (std::vector<std::string>{"Event logger dropped  4 log messages."}));
}

TEST_F(LogReaderFiles, SummaryCountsRepeatsIntoTheirMessageAndLostLines) {
    LogFileReader reader(write("s.txt", entry(1, "same") + entry(2, "Last message repeated 4 times") +
                                            entry(3, "other") + "Event logger dropped 12 log messages.\r\n" +
                                            "junk\r\n" + entry(4, "same")));
    std::string problem;
    ASSERT_TRUE(reader.open(&problem));
    LogSummary summary;
    LogLine line;
    while (reader.next(&line, true)) summary.add(line);
    EXPECT_EQ(summary.lines, 4u);
    EXPECT_EQ(summary.per_level[2], 4u);
    EXPECT_EQ(summary.lost, 12u);
    EXPECT_EQ(summary.lost_notices, 1u);
    EXPECT_EQ(summary.unparsed, 1u);
    EXPECT_EQ(summary.first_time, "2024-03-09T07:05:01.000Z");
    EXPECT_EQ(summary.last_time, "2024-03-09T07:05:04.000Z");
    const auto top = summary.top_messages(5);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0], (std::pair<std::string, uint64_t>{"same", 6}));
    EXPECT_EQ(top[1], (std::pair<std::string, uint64_t>{"other", 1}));
    LogSummary overall;
    overall.merge(summary);
    overall.merge(summary);
    EXPECT_EQ(overall.top_messages(1)[0].second, 12u);
    EXPECT_EQ(overall.lost, 24u);
}

}  // namespace
