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

using orvix_test::files_in;
using orvix_test::forwarded;
using orvix_test::join;
using orvix_test::LogSandbox;
using orvix_test::read_file;

constexpr const char* kSession = "0a1b2c3d-4e5f-6789-abcd-ef0123456789";

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

bool eventually_exists(const std::string& path) {
    for (int i = 0; i < 1000 && !orvix_test::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return orvix_test::exists(path);
}

std::atomic<uint64_t> g_tick{1000};
uint64_t simulated_tick() { return g_tick.load(); }

// Every test starts with the fixed clock and the system's hooks, and stops the rotor.
class LogFiles : public testing::Test {
protected:
    void SetUp() override { vorn_event_set_time_source(orvix_test::fixed_time); }
    void TearDown() override {
        vorn_log_rotor_shutdown();
        vorn_log_rotor_set_tick_source(nullptr);
        vorn_log_rotor_set_work_submitter(nullptr);
        vorn_event_set_time_source(nullptr);
    }
    std::string folder(int32_t kind) {
        char buffer[1024];
        EXPECT_EQ(vorn_util_get_folder(buffer, sizeof buffer, kind), 0);
        return buffer;
    }
    LogSandbox box_;
};

TEST_F(LogFiles, LogFolderIsUnderProgramData) {
    EXPECT_EQ(vorn_util_get_log_folder(), wide(box_.log_folder));
    char buffer[1024];
    EXPECT_EQ(vorn_util_get_log_folder_utf8(buffer, sizeof buffer), 0);
    EXPECT_EQ(buffer, box_.log_folder);
    EXPECT_EQ(vorn_util_get_log_folder_utf8(buffer, 4), VORN_STATUS_FAILURE);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(vorn_util_get_log_folder_utf8(nullptr, 4), VORN_STATUS_MISSING_ARGUMENT);
}

TEST_F(LogFiles, LogFolderFallsBackToTheTemporaryFolder) {
    orvix_test::make_program_data_unavailable(box_.root);
    EXPECT_EQ(vorn_util_get_log_folder(), wide(box_.temp));
}

TEST_F(LogFiles, ALogFolderOfMoreThan259CharactersIsEmpty) {
    const char sep = orvix_test::separator();
    const std::string tail = sep + join({"Quillon", "OrvixAgent", "logs"}) + sep;
    auto program_data_of_length = [&](size_t length) {
        std::string path = box_.root + std::string(length - box_.root.size(), 'p');
        orvix_test::make_folder(path);
        orvix_test::redirect_program_data(path);
        return path;
    };
    // 259 characters with the separator: the length minus one is 258, still allowed.
    const std::string longest = program_data_of_length(259 - tail.size());
    EXPECT_EQ(vorn_util_get_log_folder(), wide(longest + tail));
    program_data_of_length(260 - tail.size());
    EXPECT_EQ(vorn_util_get_log_folder(), u"");
    char buffer[1024] = "unchanged";
    EXPECT_EQ(vorn_util_get_log_folder_utf8(buffer, sizeof buffer), VORN_STATUS_EMPTY);
    EXPECT_STREQ(buffer, "");
}

TEST_F(LogFiles, FolderKindsAndPaths) {
    const std::string quillon = join({box_.program_data, "Quillon"}) + orvix_test::separator();
    EXPECT_EQ(folder(FOLDER_PROGRAM_DATA), quillon);
    EXPECT_EQ(folder(FOLDER_TEMP), box_.temp);

    char buffer[1024];
    EXPECT_EQ(vorn_util_get_folder_path(buffer, sizeof buffer, FOLDER_PROGRAM_DATA, "orvix-agent.conf"), 0);
    EXPECT_EQ(buffer, quillon + "orvix-agent.conf");
    EXPECT_EQ(vorn_util_get_folder_path(buffer, sizeof buffer, FOLDER_PROGRAM_DATA, nullptr), 0);
    EXPECT_EQ(buffer, quillon);
    // Exactly enough room, one byte short, and a name that does not fit.
    const auto size = static_cast<uint32_t>(quillon.size());
    EXPECT_EQ(vorn_util_get_folder(buffer, size + 1, FOLDER_PROGRAM_DATA), 0);
    EXPECT_EQ(vorn_util_get_folder(buffer, size, FOLDER_PROGRAM_DATA), VORN_STATUS_FAILURE);
    EXPECT_EQ(vorn_util_get_folder_path(buffer, size + 3, FOLDER_PROGRAM_DATA, "abc"), VORN_STATUS_FAILURE);
    EXPECT_EQ(vorn_util_get_folder(buffer, sizeof buffer, 2), VORN_STATUS_FAILURE);
    EXPECT_EQ(vorn_util_get_folder(nullptr, 10, FOLDER_TEMP), VORN_STATUS_FAILURE);
}

TEST_F(LogFiles, TemporaryFolderIsCreatedComponentByComponent) {
    const std::string nested = join({box_.root + "a", "b", "c"}) + orvix_test::separator();
    orvix_test::redirect_temp(nested);
    EXPECT_EQ(folder(FOLDER_TEMP), nested);
    EXPECT_TRUE(orvix::os::directory_exists(wide(nested)));

    // A component that is a file stops the creation; the result is still the folder.
    orvix_test::write_file(box_.root + "file", "x");
    const std::string blocked = join({box_.root + "file", "d"}) + orvix_test::separator();
    orvix_test::redirect_temp(blocked);
    EXPECT_EQ(folder(FOLDER_TEMP), blocked);
    EXPECT_FALSE(orvix::os::directory_exists(wide(blocked)));
}

TEST_F(LogFiles, PrunePatternAndArguments) {
    char pattern[64];
    EXPECT_EQ(vorn_util_build_prune_pattern(pattern, sizeof pattern, "dir/", "app"), 0);
    EXPECT_STREQ(pattern, "dir/app*.txt");
    EXPECT_EQ(vorn_util_build_prune_pattern(nullptr, 10, "d", "a"), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(vorn_util_build_prune_pattern(pattern, sizeof pattern, nullptr, "a"), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(vorn_util_build_prune_pattern(pattern, sizeof pattern, "d", nullptr), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(vorn_util_build_prune_pattern(pattern, 8, "dir/", "app"), VORN_STATUS_FAILURE);

    EXPECT_EQ(vorn_util_prune_old_logs(nullptr, 7), VORN_STATUS_MISSING_ARGUMENT);
    orvix_test::make_folder(box_.log_folder);
    EXPECT_EQ(vorn_util_prune_old_logs((box_.log_folder + "none*.txt").c_str(), 7), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_util_prune_old_logs((box_.root + "missing" + orvix_test::separator() + "a*.txt").c_str(), 7),
              VORN_STATUS_INVALID);
}

TEST_F(LogFiles, PruningDeletesOnlyOldFilesMatchingThePattern) {
    orvix_test::make_folder(box_.log_folder);
    // Only "*" and "?" are wildcards: the brackets in this name are plain characters.
    const std::vector<std::pair<std::string, int64_t>> files = {
        {"a[1]_old.txt", 2 * 86400}, {"a1_old.txt", 2 * 86400}, {"A[1]_CASE.TXT", 2 * 86400},
        {"a[1]_new.txt", 3600},      {"a[1]_old.log", 2 * 86400}};
    for (const auto& [name, age] : files) {
        orvix_test::write_file(box_.log_folder + name, "x");
        orvix_test::age_file(box_.log_folder + name, age);
    }
    char pattern[1024];
    ASSERT_EQ(vorn_util_build_prune_pattern(pattern, sizeof pattern, box_.log_folder.c_str(), "a[1]"), 0);
    EXPECT_EQ(vorn_util_prune_old_logs(pattern, 1), 0);
    EXPECT_EQ(files_in(box_.log_folder), (std::vector<std::string>{"a1_old.txt", "a[1]_new.txt", "a[1]_old.log"}));
}

TEST_F(LogFiles, OpensTheDefaultNameAndReportsThePath) {
    orvix_test::start_recording();
    char path[512] = "unchanged";
    orvix::os::FileHandle marker = orvix::os::kInvalidFile;
    ASSERT_EQ(vorn_util_open_log_file(path, sizeof path, box_.log_folder.c_str(), "app", kSession, 0, 0, &marker), 0);
    const std::string name = std::string("app_") + orvix_test::kFixedFileDate + "_" + orvix_test::process_hex() +
                             "_0_0_" + kSession + ".txt";
    EXPECT_NE(marker, orvix::os::kInvalidFile);
    EXPECT_EQ(path, box_.log_folder + name);
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{name});
    // No rotation value: silently 0.
    ASSERT_EQ(forwarded().size(), 1u);
    EXPECT_EQ(forwarded()[0].message, "vorn_util_open_log_file: Log rotor initialized.");
    EXPECT_EQ(forwarded()[0].category, static_cast<uint32_t>(VORN_EVENT_CAT_COMMON));
    EXPECT_EQ(forwarded()[0].level, 3);
    EXPECT_EQ(forwarded()[0].status, 0);

    // The rotor is initialised once: a second open gets no file and logs nothing.
    forwarded().clear();
    EXPECT_EQ(vorn_util_open_log_file(path, sizeof path, box_.log_folder.c_str(), "app", nullptr, 0, 0, &marker), 0);
    EXPECT_EQ(marker, orvix::os::kInvalidFile);
    EXPECT_STREQ(path, "");
    EXPECT_TRUE(forwarded().empty());

    EXPECT_EQ(vorn_util_open_log_file(nullptr, 1, "", "a", nullptr, 0, 0, &marker), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(vorn_util_open_log_file(path, 1, "", nullptr, nullptr, 0, 0, &marker), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(vorn_util_open_log_file(path, 1, "", "a", nullptr, 0, 0, nullptr), VORN_STATUS_MISSING_ARGUMENT);
}

TEST_F(LogFiles, SimpleNameLeavesOutAnAllZeroSession) {
    char path[512];
    orvix::os::FileHandle marker = orvix::os::kInvalidFile;
    ASSERT_EQ(vorn_util_open_log_file(path, sizeof path, box_.log_folder.c_str(), "plain",
                                      "00000000-0000-0000-0000-000000000000", 1, 0, &marker),
              0);
    EXPECT_EQ(path, box_.log_folder + "plain.txt");
}

TEST_F(LogFiles, APathThatDoesNotFitInUtf8IsReportedAsMissing) {
    orvix_test::start_recording();
    // "\u00e9" is one UTF-16 unit but two UTF-8 bytes: the wide name fits the buffer, its
    // UTF-8 form does not.
    const std::string folder = box_.root + "d\xC3\xA9" + orvix_test::separator();
    const size_t wide_length = folder.size() - 1 + std::string("app.txt").size();
    std::vector<char> path(wide_length + 1, 'x');
    orvix::os::FileHandle marker = orvix::os::kInvalidFile;
    ASSERT_EQ(vorn_util_open_log_file(path.data(), static_cast<uint32_t>(path.size()), folder.c_str(), "app",
                                      nullptr, 1, 0, &marker),
              0);
    // The file exists; only its name could not be handed back.
    EXPECT_NE(marker, orvix::os::kInvalidFile);
    ASSERT_EQ(forwarded().size(), 3u);
    EXPECT_EQ(forwarded()[1].message,
              "vorn_util_convert_utf8_string_from_wide: WideCharToMultiByte() error [0x7a] converting wide string "
              "into UTF-8 string");
    EXPECT_EQ(forwarded()[2].message,
              "vorn_util_open_log_file: Unable to extract logging file name from log rotor.  <file_name> will not be "
              "set.");
    EXPECT_EQ(forwarded()[2].level, 1);
    EXPECT_EQ(forwarded()[2].status, -500);
}

// The rotation value in its different shapes: what is logged, and whether the file
// rotates after that many minutes.
struct RotationCase {
    const char* label;
    uint32_t type;   // 0: no value at all
    std::u16string text;
    uint32_t dword;
    int32_t minutes;  // the rotation time that results
    std::vector<std::pair<std::string, int32_t>> messages;  // message and level; status follows the level
};

class RotationValue : public LogFiles, public testing::WithParamInterface<RotationCase> {};

TEST_P(RotationValue, IsReadLoggedAndApplied) {
    const RotationCase& c = GetParam();
    if (c.type == orvix::os::kRegDword) {
        orvix_test::set_rotation_value(c.type, &c.dword, sizeof c.dword);
    } else if (c.type != 0) {
        orvix_test::set_rotation_text(c.text, c.type);
    }
    orvix_test::start_recording();
    vorn_log_rotor_set_tick_source(simulated_tick);
    char path[512];
    orvix::os::FileHandle marker = orvix::os::kInvalidFile;
    ASSERT_EQ(vorn_util_open_log_file(path, sizeof path, box_.log_folder.c_str(), "rot", nullptr, 1, 0, &marker), 0);

    std::vector<std::pair<std::string, int32_t>> expected = c.messages;
    expected.push_back({"vorn_util_open_log_file: Log rotor initialized.", 3});
    std::vector<std::pair<std::string, int32_t>> got;
    for (const auto& f : forwarded()) {
        got.push_back({f.message, f.level});
        const int32_t status = f.level == 1 ? -500 : f.level == 2 ? -501 : 0;
        EXPECT_EQ(f.status, status) << f.message;
    }
    EXPECT_EQ(got, expected);

    // Just past the rotation time (or a day on when there is none): is a new file opened?
    auto new_file_after = [&](uint64_t ms) {
        g_tick += ms;
        char16_t name[300] = {};
        orvix::os::FileHandle h = orvix::os::kInvalidFile;
        EXPECT_EQ(vorn_log_rotor_get_handle(&h, name, 300), 0);
        orvix::os::close_file(h);
        return name[0] != u'\0';
    };
    if (c.minutes > 0) {
        EXPECT_FALSE(new_file_after(static_cast<uint64_t>(c.minutes) * 60000));
        EXPECT_TRUE(new_file_after(1));
    } else {
        EXPECT_FALSE(new_file_after(86400000));
        EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{"rot.txt"});
    }
}

const uint32_t kSz = orvix::os::kRegSz;
const uint32_t kExpandSz = orvix::os::kRegExpandSz;

INSTANTIATE_TEST_SUITE_P(
    LogFiles, RotationValue,
    testing::Values(
        RotationCase{"Absent", 0, u"", 0, 0, {}},
        RotationCase{"String", kSz, u"5", 0, 5, {{"get_log_rotation_time: parsed value 5 for LOG_ROTATION_KEY.", 2}}},
        RotationCase{"Expandable", kExpandSz, u"2", 0, 2,
                     {{"get_log_rotation_time: parsed value 2 for LOG_ROTATION_KEY.", 2}}},
        RotationCase{"Negative", kSz, u"-5", 0, 0,
                     {{"get_log_rotation_time: Invalid value -5 for LOG_ROTATION_KEY. Reverting to default (0).", 2}}},
        RotationCase{"NotANumber", kSz, u"soon", 0, 0,
                     {{"get_log_rotation_time: parsed value 0 for LOG_ROTATION_KEY.", 2}}},
        RotationCase{"Dword", orvix::os::kRegDword, u"", 5, 0,
                     {{"get_log_rotation_time: Unexpected type 4 for LOG_ROTATION_KEY.  Log rotation disabled.", 1}}}),
    [](const testing::TestParamInfo<RotationCase>& info) { return std::string(info.param.label); });

// Rotor, driven directly.
std::vector<const char*> components(std::initializer_list<const char*> list) {
    std::vector<const char*> out(list);
    out.push_back(nullptr);
    return out;
}

std::string open_name(std::string* full_path = nullptr) {
    char16_t name[300] = {};
    orvix::os::FileHandle h = orvix::os::kInvalidFile;
    EXPECT_EQ(vorn_log_rotor_get_handle(&h, name, 300), 0);
    EXPECT_NE(h, orvix::os::kInvalidFile);
    orvix::os::close_file(h);
    std::string path;
    for (const char16_t* p = name; *p != 0; ++p) path.push_back(static_cast<char>(*p));
    if (full_path != nullptr) *full_path = path;
    const size_t slash = path.find_last_of(orvix_test::separator());
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string archived(const std::string& name) {
    std::string out = orvix_test::kFixedArchivePrefix + name;
    if (out.size() >= 4 && out.compare(out.size() - 4, 4, ".txt") == 0) out.replace(out.size() - 4, 4, ".log");
    return out;
}

TEST_F(LogFiles, NamesReplaceThePlaceholders) {
    const auto parts = components({"Name", "%process", "%DATE", "%Time", "keep%Date", "%unique", "log"});
    ASSERT_EQ(vorn_log_rotor_init(0, box_.log_folder.c_str(), parts.data(), 0), 0);
    std::string path;
    const std::string name = open_name(&path);
    EXPECT_EQ(path, box_.log_folder + name);
    const std::regex expected("Name_" + orvix_test::process_hex() + "_" + orvix_test::kFixedFileDate +
                              "_[0-2][0-9][0-5][0-9][0-6][0-9]_keep%Date_0\\.log");
    EXPECT_TRUE(std::regex_match(name, expected)) << name;
}

TEST_F(LogFiles, TheUniqueCounterSkipsFilesThatExist) {
    orvix_test::make_folder(box_.log_folder);
    orvix_test::write_file(box_.log_folder + "app_0.txt", "someone else's");
    orvix_test::write_file(box_.log_folder + "app_1.txt", "someone else's");
    const auto parts = components({"app", "%Unique", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(0, box_.log_folder.c_str(), parts.data(), 0), 0);
    EXPECT_EQ(open_name(), "app_2.txt");
    EXPECT_EQ(read_file(box_.log_folder + "app_0.txt"), "someone else's");
}

TEST_F(LogFiles, WithoutACounterAnExistingFileIsReplaced) {
    orvix_test::make_folder(box_.log_folder);
    orvix_test::write_file(box_.log_folder + "plain.txt", "old contents");
    const auto parts = components({"plain", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(0, box_.log_folder.c_str(), parts.data(), 0), 0);
    EXPECT_EQ(open_name(), "plain.txt");
    EXPECT_EQ(read_file(box_.log_folder + "plain.txt"), "");
}

TEST_F(LogFiles, InitialisesOnceAndRefusesHandlesAfterShutdown) {
    const auto parts = components({"once", "txt"});
    EXPECT_EQ(vorn_log_rotor_init(0, box_.log_folder.c_str(), parts.data(), 0), 0);
    EXPECT_EQ(vorn_log_rotor_init(0, box_.root.c_str(), parts.data(), 0), 183);
    EXPECT_EQ(open_name(), "once.txt");
    vorn_log_rotor_shutdown();
    orvix::os::FileHandle h = 12345;
    EXPECT_EQ(vorn_log_rotor_get_handle(&h, nullptr, 0), 21);
    EXPECT_EQ(h, orvix::os::kInvalidFile);
    // Without rotation the file stays in the log folder.
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{"once.txt"});
}

TEST_F(LogFiles, WithoutAFolderNoFileIsCreated) {
    const auto parts = components({"nowhere", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(0, "", parts.data(), 0), 0);
    orvix::os::FileHandle h = orvix::os::kInvalidFile;
    EXPECT_EQ(vorn_log_rotor_get_handle(&h, nullptr, 0), 3);
    EXPECT_EQ(h, orvix::os::kInvalidFile);
}

TEST_F(LogFiles, AFileThatCannotBeCreatedIsTriedAgainOnTheNextRequest) {
    const auto parts = components({"retry", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(0, box_.log_folder.c_str(), parts.data(), 0), 0);
    // A folder in the file's place makes the creation fail.
    orvix_test::make_folder(box_.log_folder + "retry.txt");
    orvix::os::FileHandle h = orvix::os::kInvalidFile;
    EXPECT_NE(vorn_log_rotor_get_handle(&h, nullptr, 0), 0);
    EXPECT_EQ(h, orvix::os::kInvalidFile);
    std::filesystem::remove(box_.log_folder + "retry.txt");
    EXPECT_EQ(open_name(), "retry.txt");
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

TEST_F(LogFiles, ProviderComponentsArchiveOnTheClosingThread) {
    vorn_log_rotor_set_tick_source(simulated_tick);
    vorn_log_rotor_set_work_submitter(Submissions::submit);
    const auto parts = components({"perf_provider", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(1, box_.log_folder.c_str(), parts.data(), 0), 0);
    EXPECT_EQ(open_name(), "perf_provider.txt");
    g_tick += 60001;
    EXPECT_EQ(open_name(), "perf_provider.txt");
    // Already moved when the handle came back, with no work item.
    EXPECT_TRUE(orvix_test::exists(box_.archive_folder + archived("perf_provider.txt")));
    EXPECT_EQ(Submissions::count, 0);
}

TEST_F(LogFiles, ProviderIsMatchedWithRegardToCase) {
    vorn_log_rotor_set_tick_source(simulated_tick);
    vorn_log_rotor_set_work_submitter(Submissions::submit);
    // The counter keeps the next file from taking the old one's name before it is moved.
    const auto parts = components({"Provider", "%Unique", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(1, box_.log_folder.c_str(), parts.data(), 0), 0);
    open_name();
    g_tick += 60001;
    open_name();
    EXPECT_EQ(Submissions::count, 1);
    EXPECT_TRUE(eventually_exists(box_.archive_folder + archived("Provider_0.txt")));
}

TEST_F(LogFiles, AWorkItemThatCannotBeQueuedLeavesTheErrorMarker) {
    const std::string marker = orvix_test::error_marker_path(box_.program_data);
    std::filesystem::create_directories(std::filesystem::path(marker).parent_path());
    std::filesystem::remove(marker);
    vorn_log_rotor_set_tick_source(simulated_tick);
    Submissions::refuse = true;
    vorn_log_rotor_set_work_submitter(Submissions::submit);
    const auto parts = components({"refused", "%Unique", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(1, box_.log_folder.c_str(), parts.data(), 0), 0);
    EXPECT_EQ(open_name(), "refused_0.txt");
    g_tick += 60001;
    // The old file could not be handed over: it stays, and the new one takes counter 1.
    EXPECT_EQ(open_name(), "refused_1.txt");
    EXPECT_EQ(Submissions::count, 1);
    EXPECT_TRUE(orvix_test::exists(marker));
    EXPECT_TRUE(orvix_test::exists(box_.log_folder + "refused_0.txt"));
    std::filesystem::remove(marker);
}

TEST_F(LogFiles, ShutdownWaitsUntilTheLastFileIsMoved) {
    vorn_log_rotor_set_work_submitter(Submissions::submit);
    const auto parts = components({"last", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(30, box_.log_folder.c_str(), parts.data(), 0), 0);
    open_name();
    vorn_log_rotor_shutdown();
    EXPECT_EQ(Submissions::count, 1);
    EXPECT_TRUE(orvix_test::exists(box_.archive_folder + archived("last.txt")));
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{});
}

TEST_F(LogFiles, TheArchiverMovesClosedFilesButNotTheOpenOne) {
    vorn_log_rotor_set_archiver_interval(10);
    orvix_test::make_folder(box_.log_folder);
    for (const char* n : {"crash.dmp", "old.log", "older.txt", "keep.dat"}) {
        orvix_test::write_file(box_.log_folder + n, n);
    }
    const auto parts = components({"current", "txt"});
    ASSERT_EQ(vorn_log_rotor_init(1, box_.log_folder.c_str(), parts.data(), 1), 0);
    EXPECT_EQ(open_name(), "current.txt");
    for (const char* n : {"crash.dmp", "old.log", "older.txt"}) {
        EXPECT_TRUE(eventually_exists(box_.archive_folder + archived(n))) << n;
    }
    EXPECT_EQ(read_file(box_.archive_folder + archived("older.txt")), "older.txt");
    // Several rounds later the open file is still in place.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(files_in(box_.log_folder), (std::vector<std::string>{"current.txt", "keep.dat"}));
    vorn_log_rotor_shutdown();
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{"keep.dat"});
    EXPECT_TRUE(orvix_test::exists(box_.archive_folder + archived("current.txt")));
}

}  // namespace
