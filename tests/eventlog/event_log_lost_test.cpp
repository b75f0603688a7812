// Lines the event log could not write: a disk that refuses writes or takes only part of
// one, stood in at the write record's operations while the file is real. Lost lines are
// counted with the system's reason, the next write that succeeds opens with the notice,
// and a line cut short is finished before anything follows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "eventlog/event_log.h"
#include "eventlog/event_log_testing.h"
#include "eventlog/log_test_support.h"
#include "os/async_write.h"
#include "os/error_text.h"

namespace {

using namespace orvix_test;

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;
constexpr uint32_t kErrorDiskFull = 112;

std::string crlf(const std::string& message) { return line("", 2, 0, "COMMON", message, "\r\n"); }

std::string notice(uint64_t lines, uint32_t error) {
    return "Event logger lost " + std::to_string(lines) + " log messages (" + orvix::os::error_text(error) +
           ").\r\n";
}

// A disk with `room` bytes left: a write takes what fits and fails with ERROR_DISK_FULL
// when that is not all of it (as a full disk does: part of the bytes, then the error).
// Shortening the file frees room, unless the disk cannot shorten files.
struct FullDisk {
    uint32_t room = UINT32_MAX;
    uint32_t last = 0;
    bool can_cut = true;

    static uint32_t write(void* context, orvix::os::FileHandle file, const void* data, uint32_t size) {
        auto* disk = static_cast<FullDisk*>(context);
        const uint32_t n = std::min(size, disk->room);
        disk->last = 0;
        if (n > 0) {
            if (uint32_t error = orvix::os::write_file(file, data, n); error != 0) return error;
            disk->last = n;
            disk->room -= n;
        }
        return n == size ? 0 : kErrorDiskFull;
    }
    static bool still_pending(void*) { return false; }
    static bool wait(void*, uint32_t) { return true; }
    static uint32_t written(void* context) { return static_cast<FullDisk*>(context)->last; }
    static uint32_t cut(void* context, orvix::os::FileHandle file, uint32_t bytes) {
        auto* disk = static_cast<FullDisk*>(context);
        if (!disk->can_cut) return 1;  // ERROR_INVALID_FUNCTION
        const uint32_t error = orvix::os::cut_file_end(file, bytes);
        if (error == 0) disk->room += bytes;
        return error;
    }
    vorn_event_write_ops ops{write, still_pending, wait, this};
    vorn_event_short_write_ops short_ops{written, cut, this};
};

class LostLines : public testing::Test {
  protected:
    void SetUp() override {
        vorn_event_set_time_source(fixed_time);
        vorn_event_set_write_ops(&disk_.ops);
        vorn_event_set_short_write_ops(&disk_.short_ops);
        vorn_event_init_params params = init_params("lost", 1);
        params.simple_file_name = 1;
        ASSERT_EQ(vorn_event_init(&params), 0);
        path_ = box_.log_folder + "lost.txt";
    }
    void TearDown() override {
        vorn_event_shutdown();
        vorn_event_set_time_source(nullptr);
        vorn_event_set_write_ops(nullptr);
        vorn_event_set_short_write_ops(nullptr);
    }
    uint64_t lost(std::string* reason = nullptr) {
        uint64_t count = 0;
        char text[200];
        EXPECT_EQ(vorn_event_get_lost_count(&count, text, sizeof text), 0);
        if (reason != nullptr) *reason = text;
        return count;
    }

    LogSandbox box_;
    FullDisk disk_;
    std::string path_;
};

// Refused lines leave nothing in the file; the next line that gets through is preceded by
// one notice with their number and the reason. The count stays readable after shutdown.
TEST_F(LostLines, RefusedLinesAreCountedAndAnnouncedByTheNextWrite) {
    std::string reason = "stale";
    EXPECT_EQ(lost(&reason), 0u);
    EXPECT_EQ(reason, "");
    vorn_event_log(COMMON, 2, 0, "before");
    disk_.room = 0;
    for (int i = 1; i <= 3; ++i) vorn_event_log(COMMON, 2, 0, "refused %d", i);
    EXPECT_EQ(lost(&reason), 3u);
    EXPECT_EQ(reason, orvix::os::error_text(kErrorDiskFull));
    EXPECT_EQ(read_file(path_), crlf("before"));
    disk_.room = UINT32_MAX;
    vorn_event_log(COMMON, 2, 0, "after");
    vorn_event_log(COMMON, 2, 0, "and on");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(read_file(path_), crlf("before") + notice(3, kErrorDiskFull) + crlf("after") + crlf("and on"));
    EXPECT_EQ(lost(), 3u);  // a total: the notice does not reset it
    EXPECT_EQ(lost(nullptr), 3u);
    uint64_t count = 0;
    EXPECT_EQ(vorn_event_get_lost_count(&count, nullptr, 0), 0);
    EXPECT_EQ(vorn_event_get_lost_count(nullptr, nullptr, 0), VORN_STATUS_MISSING_ARGUMENT);
}

// A disk that fills in the middle of a line: the part it took is removed again, so the
// file stays whole even while the disk stays full, and the line counts as lost.
TEST_F(LostLines, PartOfALineIsTakenAwayAgain) {
    vorn_event_log(COMMON, 2, 0, "first");
    disk_.room = static_cast<uint32_t>(crlf("cut here").size() - 7);
    vorn_event_log(COMMON, 2, 0, "cut here");
    EXPECT_EQ(read_file(path_), crlf("first"));
    disk_.room = 10;  // the notice does not fit: it is taken away too and comes later
    vorn_event_log(COMMON, 2, 0, "refused");
    EXPECT_EQ(read_file(path_), crlf("first"));
    std::string reason;
    EXPECT_EQ(lost(&reason), 2u);
    EXPECT_EQ(reason, orvix::os::error_text(kErrorDiskFull));
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(read_file(path_), crlf("first"));
}

// Where the file cannot be shortened: nothing else is written until the rest of the line
// is, so the file never holds a torn line in its middle. A line whose text made it whole
// and only lacks its line end is not lost; one cut in its text counts until it is finished.
struct CutCase {
    const char* label;
    size_t missing;  // bytes of the line (with its CR LF) that do not fit
    uint64_t lost_while_full;
};

void PrintTo(const CutCase& c, std::ostream* out) { *out << c.label; }

class CutLine : public LostLines, public testing::WithParamInterface<CutCase> {};

TEST_P(CutLine, IsFinishedBeforeAnythingFollows) {
    const CutCase& c = GetParam();
    disk_.can_cut = false;
    vorn_event_log(COMMON, 2, 0, "first");
    const std::string cut = crlf("cut here");
    disk_.room = static_cast<uint32_t>(cut.size() - c.missing);
    vorn_event_log(COMMON, 2, 0, "cut here");
    vorn_event_log(COMMON, 2, 0, "refused");
    EXPECT_EQ(read_file(path_), crlf("first") + cut.substr(0, cut.size() - c.missing));
    EXPECT_EQ(lost(), c.lost_while_full);
    // Room for one more byte of the rest (when more than one is missing): still nothing new.
    const size_t more = c.missing > 1 ? 1 : 0;
    disk_.room = static_cast<uint32_t>(more);
    vorn_event_log(COMMON, 2, 0, "refused again");
    EXPECT_EQ(read_file(path_), crlf("first") + cut.substr(0, cut.size() - c.missing + more));
    disk_.room = UINT32_MAX;
    vorn_event_log(COMMON, 2, 0, "last");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    // The line is whole after all, so only the two refused lines are lost.
    EXPECT_EQ(read_file(path_), crlf("first") + cut + notice(2, kErrorDiskFull) + crlf("last"));
    EXPECT_EQ(lost(), 2u);
}

INSTANTIATE_TEST_SUITE_P(LostLines, CutLine,
                         testing::Values(CutCase{"TextCut", 7, 2}, CutCase{"LineEndCut", 2, 1},
                                         CutCase{"LineFeedCut", 1, 1}),
                         [](const testing::TestParamInfo<CutCase>& info) {
                             return std::string(info.param.label);
                         });

// The notice itself can be cut short (and not taken away): its rest goes out first, and
// it is not a lost line.
TEST_F(LostLines, ANoticeCutShortIsFinishedToo) {
    disk_.can_cut = false;
    disk_.room = 0;
    vorn_event_log(COMMON, 2, 0, "refused");
    const std::string announced = notice(1, kErrorDiskFull);
    disk_.room = 10;
    vorn_event_log(COMMON, 2, 0, "refused too");
    EXPECT_EQ(read_file(path_), announced.substr(0, 10));
    disk_.room = UINT32_MAX;
    vorn_event_log(COMMON, 2, 0, "through");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(read_file(path_), announced + notice(1, kErrorDiskFull) + crlf("through"));
    EXPECT_EQ(lost(), 2u);
}

// Shutdown tries once more: when the disk has room by then, the line cut short is
// finished and the file ends with the notice of the lines lost after it.
TEST_F(LostLines, ShutdownFinishesTheFileWhenItCan) {
    disk_.can_cut = false;
    vorn_event_log(COMMON, 2, 0, "first");
    disk_.room = 5;
    vorn_event_log(COMMON, 2, 0, "cut");
    vorn_event_log(COMMON, 2, 0, "refused");
    disk_.room = UINT32_MAX;
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(read_file(path_), crlf("first") + crlf("cut") + notice(1, kErrorDiskFull));
    EXPECT_EQ(lost(), 1u);
}

// No file at all (a file stands where the log folder's parent should be): every line is
// lost, with the reason the file could not be created.
TEST(NoLogFile, EveryLineCountsAsLost) {
    LogSandbox box;
    write_file(join({box.program_data, "Quillon"}), "in the way");
    const vorn_event_init_params params = init_params("nowhere", 1);
    ASSERT_EQ(vorn_event_init(&params), 0);
    vorn_event_log(COMMON, 2, 0, "one");
    vorn_event_log(COMMON, 2, 0, "two");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    uint64_t count = 0;
    char reason[200] = "stale";
    ASSERT_EQ(vorn_event_get_lost_count(&count, reason, sizeof reason), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_NE(std::string(reason), "");
    EXPECT_EQ(std::string(reason).find_first_of("\r\n"), std::string::npos) << reason;
}

}  // namespace
