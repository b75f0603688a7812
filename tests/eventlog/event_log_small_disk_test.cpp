// The event log on a file system that really fills up (64 KiB; see small_disk.h): the
// file holds whole lines only, every line that did not make it is counted with the
// system's reason, and once room is freed the next write opens with the notice.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "eventlog/event_log.h"
#include "eventlog/log_test_support.h"
#include "eventlog/small_disk.h"
#include "os/error_text.h"

namespace {

using namespace orvix_test;

constexpr int kLines = 5000;

TEST(SmallDiskLog, WholeLinesAndEveryLostOneCounted) {
    LogSandbox box;
    SmallDisk disk(join({box.root, "small"}), 64 * 1024);
    if (!disk.ready()) GTEST_SKIP() << disk.why_not();
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove_all(fs::path(join({disk.folder(), "Quillon"})), ec);
    // Room that is freed later: the disk fills with the log in between.
    const std::string filler = join({disk.folder(), "filler"});
    write_file(filler, std::string(16 * 1024, 'f'));
    redirect_program_data(disk.folder());

    vorn_event_set_time_source(fixed_time);
    vorn_event_init_params params = init_params("small", 1);
    params.simple_file_name = 1;
    ASSERT_EQ(vorn_event_init(&params), 0);
    for (int i = 1; i <= kLines; ++i) vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "line %d", i);
    uint64_t lost = 0;
    char reason[200] = {};
    ASSERT_EQ(vorn_event_get_lost_count(&lost, reason, sizeof reason), 0);
    EXPECT_GT(lost, 0u);
    EXPECT_EQ(std::string(reason), orvix::os::error_text(112)) << "ERROR_DISK_FULL";
    // While the disk is still full: the part of a line it took was taken away again.
    const std::string path = join({disk.folder(), "Quillon", "OrvixAgent", "logs", "small.txt"});
    const std::string full = read_file(path);
    ASSERT_GE(full.size(), 2u);
    EXPECT_EQ(full.substr(full.size() - 2), "\r\n");

    ASSERT_TRUE(fs::remove(fs::path(filler), ec)) << ec.message();
    vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "after");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    vorn_event_set_time_source(nullptr);

    // Every line whole and in order: numbered lines, notices, then "after" last.
    const std::string text = read_file(path);
    const std::string head = line("", 2, 0, "COMMON", "", "");
    const std::regex numbered(std::regex_replace(head, std::regex(R"([.\\^$|()\[\]{}*+?])"), R"(\$&)") +
                              "line ([0-9]+)");
    const std::regex notice(R"(Event logger lost ([0-9]+) log messages \((.+)\)\.)");
    uint64_t written = 0, announced = 0;
    int previous = 0;
    std::string last;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "the file ends in part of a line: " << text.substr(start);
        last = text.substr(start, end - start);
        start = end + 2;
        std::smatch m;
        if (std::regex_match(last, m, numbered)) {
            const int n = std::stoi(m[1]);
            EXPECT_GT(n, previous) << last;
            previous = n;
            ++written;
        } else if (std::regex_match(last, m, notice)) {
            announced += std::stoull(m[1]);
            EXPECT_EQ(m[2], reason);
        } else {
            EXPECT_EQ(last, head + "after") << "a line that does not parse";
        }
    }
    EXPECT_EQ(last, head + "after");
    EXPECT_EQ(written + lost, static_cast<uint64_t>(kLines));
    // The file accounts for every line: the notices add up to the count.
    EXPECT_EQ(announced, lost);
    fs::remove_all(fs::path(join({disk.folder(), "Quillon"})), ec);
}

}  // namespace
