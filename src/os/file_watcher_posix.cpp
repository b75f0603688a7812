// File watching with inotify on Linux. Each watched file's folder carries one inotify
// watch; events for other names in the folder are ignored. Watching the folder rather
// than the file sees a file that is replaced by a rename or created after deletion.
// Other POSIX systems refuse every watch, and the caller polls instead.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "os/codepage.h"
#include "os/file_watcher.h"

#if defined(__linux__)
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace orvix::os {
namespace {

std::string narrow(const std::u16string& path) {
    uint32_t error = 0;
    const int32_t needed = system_wide_to_utf8(path.c_str(), nullptr, 0, &error);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    if (system_wide_to_utf8(path.c_str(), out.data(), needed, &error) != needed) return {};
    out.resize(static_cast<size_t>(needed - 1));
    return out;
}

}  // namespace

bool file_modification_time(const std::u16string& path, int64_t* seconds) {
    const std::string file = narrow(path);
    struct stat st {};
    if (file.empty() || ::stat(file.c_str(), &st) != 0) return false;
    if (seconds != nullptr) *seconds = static_cast<int64_t>(st.st_mtime);
    return true;
}

bool file_stamp(const std::u16string& path, FileStamp* stamp) {
    FileStamp found;
    const std::string file = narrow(path);
    struct stat st {};
    const bool ok = !file.empty() && ::stat(file.c_str(), &st) == 0;
    if (ok) {
        found.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        found.size = static_cast<uint64_t>(st.st_size);
    }
    if (stamp != nullptr) *stamp = found;
    return ok;
}

#if defined(__linux__)

namespace {

constexpr uint32_t kFolderMask = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE |
                                 IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr uint32_t kFolderGone = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;
constexpr auto kRetryInterval = std::chrono::milliseconds(500);

struct Watched {
    std::string folder;
    std::string name;
    int wd = -1;  // -1 while the folder is gone
};

}  // namespace

struct FileWatcher::Impl {
    std::function<void()> callback;
    std::mutex mutex;  // guards watched and the start of the thread
    std::vector<Watched> watched;
    int inotify_fd = -1;
    int stop_fd = -1;
    std::thread thread;

    ~Impl() {
        if (thread.joinable()) {
            const uint64_t one = 1;
            while (::write(stop_fd, &one, sizeof one) < 0 && errno == EINTR) {
            }
            thread.join();
        }
        if (inotify_fd >= 0) ::close(inotify_fd);
        if (stop_fd >= 0) ::close(stop_fd);
    }

    // Reads the queued events; true when one concerns a watched file or folder.
    bool drain_events() {
        alignas(inotify_event) char buffer[16 * 1024];
        bool relevant = false;
        for (;;) {
            const ssize_t n = ::read(inotify_fd, buffer, sizeof buffer);
            if (n <= 0) break;
            std::lock_guard<std::mutex> guard(mutex);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                for (auto& w : watched) {
                    if (w.wd < 0 || w.wd != event->wd) continue;
                    if ((event->mask & kFolderGone) != 0) {
                        // A renamed folder keeps its watch under another path: drop it.
                        if ((event->mask & IN_MOVE_SELF) != 0) ::inotify_rm_watch(inotify_fd, w.wd);
                        w.wd = -1;
                        relevant = true;
                    } else if (event->len > 0 && w.name == event->name) {
                        relevant = true;
                    }
                }
            }
        }
        return relevant;
    }

    // Watches again the folders that went away; true when one is back.
    bool rewatch_lost(bool* any_lost) {
        std::lock_guard<std::mutex> guard(mutex);
        bool back = false;
        *any_lost = false;
        for (auto& w : watched) {
            if (w.wd >= 0) continue;
            w.wd = ::inotify_add_watch(inotify_fd, w.folder.c_str(), kFolderMask);
            if (w.wd >= 0) {
                back = true;
            } else {
                *any_lost = true;
            }
        }
        return back;
    }

    bool lost_any() {
        std::lock_guard<std::mutex> guard(mutex);
        for (const auto& w : watched) {
            if (w.wd < 0) return true;
        }
        return false;
    }

    void run() {
        using Clock = std::chrono::steady_clock;
        bool pending = false;
        Clock::time_point due{};
        Clock::time_point next_retry = Clock::now() + kRetryInterval;
        for (;;) {
            const bool lost = lost_any();
            const auto now = Clock::now();
            auto ms_until = [now](Clock::time_point t) {
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count();
                return ms < 0 ? 0 : static_cast<int>(ms);
            };
            int timeout = -1;  // nothing to wait for but events
            if (pending) timeout = ms_until(due);
            if (lost) timeout = timeout < 0 ? ms_until(next_retry) : std::min(timeout, ms_until(next_retry));

            pollfd fds[2] = {{stop_fd, POLLIN, 0}, {inotify_fd, POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0 && errno != EINTR) return;
            if (ready > 0 && (fds[0].revents & POLLIN) != 0) return;
            if (ready > 0 && (fds[1].revents & POLLIN) != 0 && drain_events()) {
                pending = true;
                due = Clock::now() + std::chrono::milliseconds(kSettleMs);
                if (lost_any()) next_retry = Clock::now() + kRetryInterval;
            }
            if (lost && Clock::now() >= next_retry) {
                bool still_lost = false;
                if (rewatch_lost(&still_lost)) {
                    pending = true;
                    due = Clock::now() + std::chrono::milliseconds(kSettleMs);
                }
                next_retry = Clock::now() + kRetryInterval;
            }
            if (pending && Clock::now() >= due) {
                pending = false;
                callback();
            }
        }
    }
};

FileWatcher::FileWatcher(std::function<void()> callback) : impl_(std::make_unique<Impl>()) {
    impl_->callback = std::move(callback);
}

FileWatcher::~FileWatcher() = default;

bool FileWatcher::watch(const std::u16string& path) {
    const std::string file = narrow(path);
    if (file.empty()) return false;
    const size_t slash = file.find_last_of('/');
    Watched w;
    w.folder = slash == std::string::npos ? std::string(".")
                                          : (slash == 0 ? std::string("/") : file.substr(0, slash));
    w.name = slash == std::string::npos ? file : file.substr(slash + 1);
    if (w.name.empty()) return false;

    std::lock_guard<std::mutex> guard(impl_->mutex);
    if (impl_->inotify_fd < 0) {
        impl_->inotify_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (impl_->inotify_fd < 0) return false;
    }
    if (impl_->stop_fd < 0) {
        impl_->stop_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (impl_->stop_fd < 0) return false;
    }
    w.wd = ::inotify_add_watch(impl_->inotify_fd, w.folder.c_str(), kFolderMask);
    if (w.wd < 0) return false;
    impl_->watched.push_back(w);
    if (!impl_->thread.joinable()) {
        try {
            impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
        } catch (const std::system_error&) {
            impl_->watched.pop_back();
            return false;
        }
    }
    return true;
}

#else

struct FileWatcher::Impl {
    std::function<void()> callback;
};

FileWatcher::FileWatcher(std::function<void()> callback) : impl_(std::make_unique<Impl>()) {
    impl_->callback = std::move(callback);
}

FileWatcher::~FileWatcher() = default;

bool FileWatcher::watch(const std::u16string&) { return false; }

#endif

}  // namespace orvix::os
