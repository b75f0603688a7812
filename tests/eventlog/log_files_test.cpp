// Folders, pruning, opening the log file with its rotation value, and the rotor (names,
// rotation on a simulated clock, archiving, the work-item handshake, the archiver).
#include "eventlog/log_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/log_files_testing.h"
#include "eventlog/log_test_support.h"
#include "os/file_system.h"
#include "os/registry.h"

namespace {

using namespace orvix_test;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;
const char kSep = separator();

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::atomic<uint64_t> g_tick{1000};
uint64_t simulated_tick() { return g_tick.load(); }

// Every test starts with the fixed clock and the system's hooks, and stops the rotor.
class LogFiles : public testing::Test {
protected:
    void SetUp() override {
        vorn_event_set_time_source(fixed_time);
        vorn_log_rotor_set_tick_source(simulated_tick);
    }
    void TearDown() override {
        vorn_log_rotor_shutdown();
        vorn_log_rotor_set_tick_source(nullptr);
        vorn_log_rotor_set_work_submitter(nullptr);
        vorn_event_set_time_source(nullptr);
    }
    LogSandbox box_;
};

TEST_F(LogFiles, LogFolderAndOtherFolders) {
    EXPECT_EQ(vorn_util_get_log_folder(), wide(box_.log_folder));
    char buffer[1024];
    EXPECT_EQ(vorn_util_get_log_folder_utf8(buffer, sizeof buffer), 0);
    EXPECT_EQ(buffer, box_.log_folder);
    EXPECT_EQ(vorn_util_get_log_folder_utf8(buffer, 4), VORN_STATUS_FAILURE);
    EXPECT_STREQ(buffer, "");

    // 259 characters with the separator (the length minus one is 258) is the longest.
    const std::string tail = kSep + join({"Quillon", "OrvixAgent", "logs"}) + kSep;
    for (size_t length : {259u, 260u}) {
        const std::string path = box_.root + std::string(length - tail.size() - box_.root.size(), 'p');
        fs::create_directories(path);
        redirect_program_data(path);
        EXPECT_EQ(vorn_util_get_log_folder(), length == 259 ? wide(path + tail) : u"") << length;
    }
    EXPECT_EQ(vorn_util_get_log_folder_utf8(buffer, sizeof buffer), VORN_STATUS_EMPTY);

    make_program_data_unavailable(box_.root);  // then the temporary folder
    EXPECT_EQ(vorn_util_get_log_folder(), wide(box_.temp));

    // The program-data kind with a name appended is what the configuration file source uses.
    redirect_program_data(box_.program_data);
    const std::string quillon = join({box_.program_data, "Quillon"}) + kSep;
    const auto size = static_cast<uint32_t>(quillon.size());
    EXPECT_EQ(vorn_util_get_folder(buffer, size + 1, FOLDER_PROGRAM_DATA), 0);  // exactly enough room
    EXPECT_EQ(buffer, quillon);
    EXPECT_EQ(vorn_util_get_folder(buffer, size, FOLDER_PROGRAM_DATA), VORN_STATUS_FAILURE);
    EXPECT_EQ(vorn_util_get_folder_path(buffer, size + 3, FOLDER_PROGRAM_DATA, "abc"), VORN_STATUS_FAILURE);
    EXPECT_EQ(vorn_util_get_folder(nullptr, 10, FOLDER_TEMP), VORN_STATUS_FAILURE);
    // A missing temporary folder is created, component by component.
    const std::string temp = join({box_.root + "a", "b", "c"}) + kSep;
    redirect_temp(temp);
    EXPECT_EQ(vorn_util_get_folder(buffer, sizeof buffer, FOLDER_TEMP), 0);
    EXPECT_EQ(buffer, temp);
    EXPECT_TRUE(fs::is_directory(temp));
}

TEST_F(LogFiles, Pruning) {
    char pattern[1024];
    EXPECT_EQ(vorn_util_build_prune_pattern(pattern, 8, "dir/", "app"), VORN_STATUS_FAILURE);
    EXPECT_EQ(vorn_util_prune_old_logs(nullptr, 7), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(vorn_util_prune_old_logs((box_.root + "missing" + kSep + "a*.txt").c_str(), 7),
              VORN_STATUS_INVALID);

    // Only "*" and "?" are wildcards (the brackets here are plain characters), and case
    // does not count; files of the last day and other extensions stay.
    fs::create_directories(box_.log_folder);
    for (const char* name : {"a[1]_old.txt", "a1_old.txt", "A[1]_CASE.TXT", "a[1]_old.log"}) {
        write_file(box_.log_folder + name, "x", 2 * 86400);
    }
    write_file(box_.log_folder + "a[1]_new.txt", "x", 3600);
    ASSERT_EQ(vorn_util_build_prune_pattern(pattern, sizeof pattern, box_.log_folder.c_str(), "a[1]"), 0);
    EXPECT_EQ(pattern, box_.log_folder + "a[1]*.txt");
    EXPECT_EQ(vorn_util_prune_old_logs(pattern, 1), 0);
    EXPECT_EQ(files_in(box_.log_folder), (Names{"a1_old.txt", "a[1]_new.txt", "a[1]_old.log"}));
}

// The rotor, driven directly; it starts again after a shutdown.
int32_t start_rotor(const std::string& folder, std::initializer_list<const char*> list, int32_t minutes = 0,
                    int32_t run_archiver = 0) {
    std::vector<const char*> components(list);
    components.push_back(nullptr);
    return vorn_log_rotor_init(minutes, folder.c_str(), components.data(), run_archiver);
}

// The name of the file that a handle request opened (its full path to full_path).
std::string open_name(std::string* full_path = nullptr) {
    char16_t name[300] = {};
    orvix::os::FileHandle h = orvix::os::kInvalidFile;
    EXPECT_EQ(vorn_log_rotor_get_handle(&h, name, 300), 0);
    EXPECT_NE(h, orvix::os::kInvalidFile);
    orvix::os::close_file(h);
    const std::string path(name, name + std::char_traits<char16_t>::length(name));
    if (full_path != nullptr) *full_path = path;
    return path.substr(path.find_last_of(kSep) + 1);
}

// The rotation value in its different shapes: what is logged, and whether the file
// rotates just after that many minutes (and not a day on when there are none).
TEST_F(LogFiles, RotationValue) {
    // The rotated file keeps its name, so its move races with the creation of the next
    // one; moving it on the closing thread keeps this test about timing alone.
    vorn_log_rotor_set_work_submitter([](void (*fn)(void*), void* context) {
        fn(context);
        return true;
    });
    start_recording();
    const uint32_t five = 5;
    const struct {
        uint32_t type;  // 0: no value at all
        std::u16string text;
        int32_t minutes;
        const char* message;
        int32_t level;  // of the message; the status is -500 at level 1, else -501
    } cases[] = {
        {0, u"", 0, nullptr, 0},
        {orvix::os::kRegExpandSz, u"2", 2, "parsed value 2 for LOG_ROTATION_KEY.", 2},
        {orvix::os::kRegSz, u"-5", 0, "Invalid value -5 for LOG_ROTATION_KEY. Reverting to default (0).", 2},
        {orvix::os::kRegSz, u"soon", 0, "parsed value 0 for LOG_ROTATION_KEY.", 2},
        {orvix::os::kRegDword, u"", 0, "Unexpected type 4 for LOG_ROTATION_KEY.  Log rotation disabled.", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message != nullptr ? c.message : "no value");
        const bool text = c.type != orvix::os::kRegDword;
        if (c.type != 0) {
            set_machine_value(u"SOFTWARE\\Quillon\\OrvixAgent", u"OrvixLogRotationTime", c.type,
                              text ? static_cast<const void*>(c.text.c_str()) : &five,
                              text ? static_cast<uint32_t>((c.text.size() + 1) * sizeof(char16_t)) : 4);
        }
        forwarded().clear();
        char path[512];
        orvix::os::FileHandle marker = orvix::os::kInvalidFile;
        // The all-zero session never goes into a name.
        ASSERT_EQ(vorn_util_open_log_file(path, sizeof path, box_.log_folder.c_str(), "rot",
                                          VORN_EVENT_NULL_SESSION_ID, 1, 0, &marker),
                  0);
        EXPECT_NE(marker, orvix::os::kInvalidFile);
        EXPECT_EQ(path, box_.log_folder + "rot.txt");
        std::vector<Forwarded> expected{{"vorn_util_open_log_file: Log rotor initialized.", COMMON, 3, 0}};
        if (c.message != nullptr) {
            expected.insert(expected.begin(), Forwarded{std::string("get_log_rotation_time: ") + c.message,
                                                        COMMON, c.level, c.level == 1 ? -500 : -501});
        }
        EXPECT_EQ(forwarded(), expected);
        g_tick += c.minutes > 0 ? static_cast<uint64_t>(c.minutes) * 60000 : 86400000;
        EXPECT_EQ(open_name(), "");
        g_tick += 1;
        EXPECT_EQ(open_name(), c.minutes > 0 ? "rot.txt" : "");
        vorn_log_rotor_shutdown();
    }
}

TEST_F(LogFiles, RotorNamesLifecycleAndFailures) {
    ASSERT_EQ(
        start_rotor(box_.log_folder, {"Name", "%process", "%DATE", "%Time", "keep%Date", "%unique", "log"}),
        0);
    std::string path;
    const std::string name = open_name(&path);
    EXPECT_EQ(path, box_.log_folder + name);
    EXPECT_TRUE(std::regex_match(name, std::regex("Name_" + process_hex() + "_" + kFixedFileDate +
                                                  "_[0-2][0-9][0-5][0-9][0-6][0-9]_keep%Date_0\\.log")))
        << name;
    vorn_log_rotor_shutdown();

    // The counter skips files that exist; without one an existing file is replaced.
    write_file(box_.log_folder + "app_0.txt", "someone else's");
    write_file(box_.log_folder + "app_1.txt", "someone else's");
    ASSERT_EQ(start_rotor(box_.log_folder, {"app", "%Unique", "txt"}), 0);
    EXPECT_EQ(open_name(), "app_2.txt");
    vorn_log_rotor_shutdown();
    ASSERT_EQ(start_rotor(box_.log_folder, {"app", "1", "txt"}), 0);
    EXPECT_EQ(open_name(), "app_1.txt");
    EXPECT_EQ(read_file(box_.log_folder + "app_0.txt"), "someone else's");
    EXPECT_EQ(read_file(box_.log_folder + "app_1.txt"), "");
    vorn_log_rotor_shutdown();

    // Without a folder no file is made (3); a file that cannot be created is tried again
    // on the next request; the rotor starts once (183) and refuses handles after shutdown (21).
    orvix::os::FileHandle h = orvix::os::kInvalidFile;
    ASSERT_EQ(start_rotor("", {"nowhere", "txt"}), 0);
    EXPECT_EQ(vorn_log_rotor_get_handle(&h, nullptr, 0), 3);
    EXPECT_EQ(h, orvix::os::kInvalidFile);
    vorn_log_rotor_shutdown();

    ASSERT_EQ(start_rotor(box_.log_folder, {"retry", "txt"}), 0);
    EXPECT_EQ(start_rotor(box_.root, {"other", "txt"}), 183);
    fs::create_directories(box_.log_folder + "retry.txt");  // a folder in the file's place
    EXPECT_NE(vorn_log_rotor_get_handle(&h, nullptr, 0), 0);
    EXPECT_EQ(h, orvix::os::kInvalidFile);
    fs::remove(box_.log_folder + "retry.txt");
    EXPECT_EQ(open_name(), "retry.txt");
    vorn_log_rotor_shutdown();
    h = 12345;
    EXPECT_EQ(vorn_log_rotor_get_handle(&h, nullptr, 0), 21);
    EXPECT_EQ(h, orvix::os::kInvalidFile);
    EXPECT_TRUE(fs::exists(box_.log_folder + "retry.txt"));  // without rotation it stays
}

// Records submissions; runs the work item on a thread of its own or refuses it.
struct Submissions {
    static inline std::atomic<int> count{0};
    static inline std::atomic<bool> refuse{false};
    static bool submit(void (*fn)(void*), void* context) {
        ++count;
        if (refuse) return false;
        std::thread(fn, context).detach();
        return true;
    }
};

// A component with "provider" (with regard to case) archives on the closing thread; others
// hand the move to a work item, and shutdown waits until it is done. A work item that
// cannot be queued leaves the file where it is, and the error marker.
TEST_F(LogFiles, Archiving) {
    vorn_log_rotor_set_work_submitter(Submissions::submit);
    ASSERT_EQ(start_rotor(box_.log_folder, {"perf_provider", "txt"}, 1), 0);
    EXPECT_EQ(open_name(), "perf_provider.txt");
    g_tick += 60001;
    EXPECT_EQ(open_name(), "perf_provider.txt");
    EXPECT_TRUE(fs::exists(box_.archive_folder + archived("perf_provider.txt")));
    vorn_log_rotor_shutdown();
    EXPECT_EQ(Submissions::count, 0);

    // The counter keeps the next file from taking the old one's name before it is moved.
    ASSERT_EQ(start_rotor(box_.log_folder, {"Provider", "%Unique", "txt"}, 1), 0);
    EXPECT_EQ(open_name(), "Provider_0.txt");
    g_tick += 60001;
    open_name();
    EXPECT_EQ(Submissions::count, 1);
    EXPECT_TRUE(eventually_exists(box_.archive_folder + archived("Provider_0.txt")));
    vorn_log_rotor_shutdown();
    EXPECT_EQ(Submissions::count, 2);
    EXPECT_EQ(files_in(box_.log_folder), Names{});

    const std::string marker = error_marker_path(box_.program_data);
    fs::create_directories(fs::path(marker).parent_path());
    fs::remove(marker);
    Submissions::refuse = true;
    ASSERT_EQ(start_rotor(box_.log_folder, {"refused", "%Unique", "txt"}, 1), 0);
    EXPECT_EQ(open_name(), "refused_0.txt");
    g_tick += 60001;
    EXPECT_EQ(open_name(), "refused_1.txt");
    vorn_log_rotor_shutdown();
    EXPECT_TRUE(fs::remove(marker));
    EXPECT_EQ(files_in(box_.log_folder), (Names{"refused_0.txt", "refused_1.txt"}));
}

TEST_F(LogFiles, TheArchiverMovesClosedFilesButNotTheOpenOne) {
    vorn_log_rotor_set_archiver_interval(10);
    fs::create_directories(box_.log_folder);
    for (const char* n : {"crash.dmp", "old.log", "older.txt", "keep.dat"})
        write_file(box_.log_folder + n, n);
    ASSERT_EQ(start_rotor(box_.log_folder, {"current", "txt"}, 1, 1), 0);
    EXPECT_EQ(open_name(), "current.txt");
    for (const char* n : {"crash.dmp", "old.log", "older.txt"}) {
        EXPECT_TRUE(eventually_exists(box_.archive_folder + archived(n))) << n;
    }
    EXPECT_EQ(read_file(box_.archive_folder + archived("older.txt")), "older.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // several rounds later
    EXPECT_EQ(files_in(box_.log_folder), (Names{"current.txt", "keep.dat"}));
    vorn_log_rotor_shutdown();
    EXPECT_EQ(files_in(box_.log_folder), Names{"keep.dat"});
}

}  // namespace
