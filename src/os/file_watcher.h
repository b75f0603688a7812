// Watching a file for change, for the file-backed configuration manager: the folder of
// each watched file is watched with ReadDirectoryChangesW on Windows and inotify on
// Linux, and the callback runs when a watched file is written, created, replaced by a
// rename or deleted. Elsewhere watching is refused, and the caller falls back to polling
// the modification time.
//
// The callback runs on the watcher's own thread, once per burst of changes: after the
// last event of a file, the watcher waits kSettleMs of quiet first, so that one save
// (truncate, several writes, close) gives one call. When a watched folder itself goes
// away the callback runs too, and the watcher tries to watch the folder again every
// 500 ms, calling the callback once more when it is back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orvix::os {

// The file's last modification time in seconds since 1970, as the file system reports it;
// false when the file cannot be examined.
bool file_modification_time(const std::u16string& path, int64_t* seconds);

// What tells one version of a file from the next: the modification time at the file
// system's full resolution and the size. Whole seconds alone miss a file that is created
// empty and written within the same second as it was last read.
struct FileStamp {
    int64_t modified_ns = 0;  // nanoseconds since 1970
    uint64_t size = 0;
    bool operator==(const FileStamp&) const = default;
};
// False (and a zero stamp) when the file cannot be examined.
bool file_stamp(const std::u16string& path, FileStamp* stamp);

class FileWatcher {
public:
    static constexpr uint32_t kSettleMs = 20;

    explicit FileWatcher(std::function<void()> callback);
    // Stops watching and waits for a callback that is running to return. Must not be
    // called from the callback.
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

    // Starts watching the file at path (its folder must exist; the file need not). False
    // when the platform refuses: no folder, no watch facility, out of watches or threads.
    // Thread-safe; several files may be watched.
    bool watch(const std::u16string& path);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvix::os
