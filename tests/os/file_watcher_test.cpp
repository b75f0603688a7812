#include "os/file_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

namespace {

using orvix::os::FileWatcher;

bool eventually(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until && !condition()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

void write_file(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

class FileWatcherTest : public testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(folder_); }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    // Waits for a call after the count before, and returns the new count.
    int next_call(int before) {
        EXPECT_TRUE(eventually([&] { return calls_.load() > before; })) << "no call after " << before;
        return calls_.load();
    }
    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("orvix_watch_" + std::to_string(std::random_device()()));
    std::filesystem::path file_ = folder_ / "watched.conf";
    std::atomic<int> calls_{0};
};

TEST_F(FileWatcherTest, WritesRenamesDeletionsAndCreationOfTheFileCallBack) {
    write_file(file_, "one");
    FileWatcher watcher([this] { ++calls_; });
    EXPECT_FALSE(watcher.watch((folder_ / "missing" / "watched.conf").u16string())) << "no folder, no watch";
    ASSERT_TRUE(watcher.watch(file_.u16string()));

    write_file(file_, "two");
    int seen = next_call(0);
    write_file(folder_ / "watched.conf.new", "three");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::filesystem::rename(folder_ / "watched.conf.new", file_);
    seen = next_call(calls_.load());
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

    // A burst of writes is not a call per write.
    for (int i = 0; i < 20; ++i) write_file(file_, std::string(static_cast<size_t>(i), 'x'));
    next_call(seen);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(calls_.load() - seen, 20);
}

TEST_F(FileWatcherTest, DestructionWaitsForARunningCallback) {
    std::atomic<bool> started{false}, finished{false};
    auto watcher = std::make_unique<FileWatcher>([&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        finished = true;
    });
    ASSERT_TRUE(watcher->watch(file_.u16string()));
    write_file(file_, "x");
    ASSERT_TRUE(eventually([&] { return started.load(); }));
    watcher.reset();
    EXPECT_TRUE(finished.load());
}

TEST_F(FileWatcherTest, StampsTellVersionsOfAFileApart) {
    orvix::os::FileStamp stamp;
    EXPECT_FALSE(orvix::os::file_stamp(file_.u16string(), &stamp));
    EXPECT_EQ(stamp, orvix::os::FileStamp{});
    write_file(file_, "12345");
    ASSERT_TRUE(orvix::os::file_stamp(file_.u16string(), &stamp));
    EXPECT_EQ(stamp.size, 5u);
    int64_t seconds = 0;
    ASSERT_TRUE(orvix::os::file_modification_time(file_.u16string(), &seconds));
    EXPECT_EQ(stamp.modified_ns / 1000000000, seconds);
    const int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    EXPECT_LE(std::abs(now - seconds), 120) << "seconds since 1970";

    // Whole seconds: some libraries set no finer times.
    std::filesystem::last_write_time(file_,
                                     std::filesystem::last_write_time(file_) + std::chrono::seconds(3));
    orvix::os::FileStamp later;
    ASSERT_TRUE(orvix::os::file_stamp(file_.u16string(), &later));
    EXPECT_NEAR(static_cast<double>(later.modified_ns - stamp.modified_ns), 3e9, 1e9);
}

}  // namespace
