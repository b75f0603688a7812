#include "os/file_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <fstream>
#include <random>
#include <string>
#include <thread>

namespace {

using orvix::os::FileWatcher;

bool eventually(const std::function<bool()>& condition, int timeout_ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

void write_file(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::u16string u16(const std::filesystem::path& path) {
    const std::u16string s = path.u16string();
    return s;
}

class FileWatcherTest : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() / ("orvix_watch_" + std::to_string(random()));
        std::filesystem::create_directories(folder_);
        file_ = folder_ / "watched.conf";
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    // Waits until the count moves past before, and returns the new count.
    int next_call(int before) {
        EXPECT_TRUE(eventually([&] { return calls_.load() > before; })) << "no call after " << before;
        return calls_.load();
    }
    std::filesystem::path folder_;
    std::filesystem::path file_;
    std::atomic<int> calls_{0};
};

TEST_F(FileWatcherTest, WritesRenamesDeletionsAndCreationOfTheFileCallBack) {
    write_file(file_, "one");
    FileWatcher watcher([this] { ++calls_; });
    ASSERT_TRUE(watcher.watch(u16(file_)));

    int seen = 0;
    write_file(file_, "two");
    seen = next_call(seen);

    write_file(folder_ / "watched.conf.new", "three");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int before_rename = calls_.load();
    std::filesystem::rename(folder_ / "watched.conf.new", file_);
    seen = next_call(before_rename);

    std::filesystem::remove(file_);
    seen = next_call(seen);

    write_file(file_, "four");
    seen = next_call(seen);

    // Other names in the folder are not the file's business.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    seen = calls_.load();
    write_file(folder_ / "other.txt", "x");
    std::filesystem::remove(folder_ / "other.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(calls_.load(), seen);
}

TEST_F(FileWatcherTest, ABurstOfWritesIsNotACallPerWrite) {
    FileWatcher watcher([this] { ++calls_; });
    ASSERT_TRUE(watcher.watch(u16(file_)));
    for (int i = 0; i < 20; ++i) write_file(file_, std::string(static_cast<size_t>(i), 'x'));
    next_call(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(calls_.load(), 20);
}

TEST_F(FileWatcherTest, AMissingFolderIsRefused) {
    FileWatcher watcher([this] { ++calls_; });
    EXPECT_FALSE(watcher.watch(u16(folder_ / "missing" / "watched.conf")));
    EXPECT_FALSE(watcher.watch(u""));
    EXPECT_TRUE(watcher.watch(u16(file_))) << "a refusal does not spoil the watcher";
}

TEST_F(FileWatcherTest, DestructionWaitsForARunningCallback) {
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    auto watcher = std::make_unique<FileWatcher>([&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        finished = true;
    });
    ASSERT_TRUE(watcher->watch(u16(file_)));
    write_file(file_, "x");
    ASSERT_TRUE(eventually([&] { return started.load(); }));
    watcher.reset();
    EXPECT_TRUE(finished.load());
}

TEST_F(FileWatcherTest, ModificationTimeIsInSecondsSince1970) {
    int64_t seconds = 0;
    EXPECT_FALSE(orvix::os::file_modification_time(u16(file_), &seconds));
    write_file(file_, "x");
    ASSERT_TRUE(orvix::os::file_modification_time(u16(file_), &seconds));
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    EXPECT_LE(std::abs(now - seconds), 120);
}

TEST_F(FileWatcherTest, StampsTellVersionsOfAFileApart) {
    orvix::os::FileStamp stamp;
    EXPECT_FALSE(orvix::os::file_stamp(u16(file_), &stamp));
    EXPECT_EQ(stamp, orvix::os::FileStamp{});
    write_file(file_, "12345");
    ASSERT_TRUE(orvix::os::file_stamp(u16(file_), &stamp));
    EXPECT_EQ(stamp.size, 5u);
    int64_t seconds = 0;
    ASSERT_TRUE(orvix::os::file_modification_time(u16(file_), &seconds));
    EXPECT_EQ(stamp.modified_ns / 1000000000, seconds);

    const auto t = std::filesystem::last_write_time(file_);
    std::filesystem::last_write_time(file_, t + std::chrono::seconds(3));
    orvix::os::FileStamp later;
    ASSERT_TRUE(orvix::os::file_stamp(u16(file_), &later));
    // Whole seconds: some libraries set no finer times.
    EXPECT_NEAR(static_cast<double>(later.modified_ns - stamp.modified_ns), 3e9, 1e9);
}

}  // namespace
