// File watching with ReadDirectoryChangesW. Each watched file's folder is opened for
// listing and read for changes with overlapped I/O; changes of other names in the folder
// are ignored. All reads are issued by the watcher's own thread, because Windows cancels
// a thread's pending I/O when that thread ends, and the thread that asks for a watch may
// end long before the watch does.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "os/file_watcher.h"

namespace orvix::os {
namespace {

constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                          FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_CREATION;
constexpr auto kRetryInterval = std::chrono::milliseconds(500);

std::wstring wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

struct Watched {
    enum class State { kNew, kArmed, kLost, kRefused };
    std::wstring folder;
    std::wstring name;
    State state = State::kNew;
    HANDLE folder_handle = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED overlapped{};
    alignas(DWORD) BYTE buffer[16 * 1024];

    ~Watched() { close(); }

    // Opens the folder when needed and starts one read of its changes.
    bool arm() {
        if (event == nullptr) event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (event == nullptr) return false;
        if (folder_handle == INVALID_HANDLE_VALUE) {
            folder_handle = CreateFileW(
                folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
            if (folder_handle == INVALID_HANDLE_VALUE) return false;
        }
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event;
        ResetEvent(event);
        if (!ReadDirectoryChangesW(folder_handle, buffer, sizeof buffer, FALSE, kFilter, nullptr, &overlapped,
                                   nullptr)) {
            CloseHandle(folder_handle);
            folder_handle = INVALID_HANDLE_VALUE;
            return false;
        }
        return true;
    }

    // Cancels a pending read and waits until the system no longer writes into buffer.
    void close() {
        if (folder_handle != INVALID_HANDLE_VALUE) {
            if (state == State::kArmed) {
                CancelIoEx(folder_handle, &overlapped);
                DWORD bytes = 0;
                GetOverlappedResult(folder_handle, &overlapped, &bytes, TRUE);
            }
            CloseHandle(folder_handle);
            folder_handle = INVALID_HANDLE_VALUE;
        }
        if (event != nullptr) {
            CloseHandle(event);
            event = nullptr;
        }
    }

    // True when the completed read names this file (or overflowed, so it may have).
    bool completed_read_concerns_file() {
        DWORD bytes = 0;
        if (!GetOverlappedResult(folder_handle, &overlapped, &bytes, FALSE))
            return true;              // the folder went away
        if (bytes == 0) return true;  // too many changes to list
        bool concerns = false;
        const BYTE* at = buffer;
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
            const int length = static_cast<int>(info->FileNameLength / sizeof(wchar_t));
            if (CompareStringOrdinal(info->FileName, length, name.c_str(), static_cast<int>(name.size()),
                                     TRUE) == CSTR_EQUAL) {
                concerns = true;
            }
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
        return concerns;
    }
};

}  // namespace

bool file_modification_time(const std::u16string& path, int64_t* seconds) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
    ULARGE_INTEGER t;
    t.LowPart = data.ftLastWriteTime.dwLowDateTime;
    t.HighPart = data.ftLastWriteTime.dwHighDateTime;
    if (seconds != nullptr) {
        *seconds = static_cast<int64_t>(t.QuadPart / 10000000ull) - 11644473600ll;
    }
    return true;
}

bool file_stamp(const std::u16string& path, FileStamp* stamp) {
    FileStamp found;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool ok = GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data) != 0;
    if (ok) {
        ULARGE_INTEGER t;
        t.LowPart = data.ftLastWriteTime.dwLowDateTime;
        t.HighPart = data.ftLastWriteTime.dwHighDateTime;
        // 100 ns ticks since 1601.
        found.modified_ns = (static_cast<int64_t>(t.QuadPart) - 116444736000000000ll) * 100;
        found.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    if (stamp != nullptr) *stamp = found;
    return ok;
}

struct FileWatcher::Impl {
    std::function<void()> callback;
    std::mutex mutex;  // guards watched and the states in it
    std::condition_variable state_changed;
    std::vector<std::unique_ptr<Watched>> watched;
    HANDLE stop = nullptr;
    HANDLE wake = nullptr;
    std::thread thread;

    ~Impl() {
        if (thread.joinable()) {
            SetEvent(stop);
            thread.join();
        }
        if (stop != nullptr) CloseHandle(stop);
        if (wake != nullptr) CloseHandle(wake);
    }

    void run() {
        using Clock = std::chrono::steady_clock;
        bool pending = false;
        Clock::time_point due{};
        Clock::time_point next_retry = Clock::now() + kRetryInterval;
        for (;;) {
            bool relevant = false;
            bool lost = false;
            std::vector<HANDLE> handles{stop, wake};
            std::vector<Watched*> armed;
            {
                std::lock_guard<std::mutex> guard(mutex);
                for (auto& w : watched) {
                    if (w->state == Watched::State::kNew) {
                        w->state = w->arm() ? Watched::State::kArmed : Watched::State::kRefused;
                        state_changed.notify_all();
                    }
                }
                std::erase_if(watched, [](const auto& w) { return w->state == Watched::State::kRefused; });
                for (auto& w : watched) {
                    if (w->state == Watched::State::kLost && Clock::now() >= next_retry) {
                        if (w->arm()) {
                            w->state = Watched::State::kArmed;
                            relevant = true;  // the folder is back; the file may be too
                        }
                    }
                    if (w->state == Watched::State::kLost) lost = true;
                    if (w->state == Watched::State::kArmed && handles.size() < MAXIMUM_WAIT_OBJECTS) {
                        handles.push_back(w->event);
                        armed.push_back(w.get());
                    }
                }
                if (Clock::now() >= next_retry) next_retry = Clock::now() + kRetryInterval;
            }
            if (relevant) {
                pending = true;
                due = Clock::now() + std::chrono::milliseconds(kSettleMs);
            }

            const auto now = Clock::now();
            auto ms_until = [now](Clock::time_point t) {
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count();
                return ms < 0 ? DWORD{0} : static_cast<DWORD>(ms);
            };
            DWORD timeout = INFINITE;
            if (pending) timeout = ms_until(due);
            if (lost) timeout = std::min(timeout, ms_until(next_retry));

            const DWORD result =
                WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout);
            if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) return;
            {
                std::lock_guard<std::mutex> guard(mutex);
                for (Watched* w : armed) {
                    if (WaitForSingleObject(w->event, 0) != WAIT_OBJECT_0) continue;
                    if (w->completed_read_concerns_file()) relevant = true;
                    if (!w->arm()) {
                        w->state = Watched::State::kLost;
                        relevant = true;
                    }
                }
            }
            if (relevant) {
                pending = true;
                due = Clock::now() + std::chrono::milliseconds(kSettleMs);
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

FileWatcher::~FileWatcher() {
    // The thread cancels nothing itself: stop it first, then cancel and close the reads.
    if (impl_->thread.joinable()) {
        SetEvent(impl_->stop);
        impl_->thread.join();
    }
    impl_->watched.clear();
}

bool FileWatcher::watch(const std::u16string& path) {
    const std::wstring file = wide(path);
    const size_t slash = file.find_last_of(L"\\/");
    auto w = std::make_unique<Watched>();
    w->folder = slash == std::wstring::npos ? std::wstring(L".") : file.substr(0, slash == 0 ? 1 : slash);
    w->name = slash == std::wstring::npos ? file : file.substr(slash + 1);
    if (w->name.empty()) return false;

    std::unique_lock<std::mutex> guard(impl_->mutex);
    if (impl_->stop == nullptr) impl_->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (impl_->wake == nullptr) impl_->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (impl_->stop == nullptr || impl_->wake == nullptr) return false;
    Watched* entry = w.get();
    impl_->watched.push_back(std::move(w));
    if (!impl_->thread.joinable()) {
        try {
            impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
        } catch (const std::system_error&) {
            impl_->watched.pop_back();
            return false;
        }
    }
    SetEvent(impl_->wake);
    // The watcher's thread arms the watch; wait for its verdict. A refused entry is
    // removed by the thread, so only its pointer's state may be read before that.
    bool armed = false;
    impl_->state_changed.wait(guard, [&] {
        for (const auto& e : impl_->watched) {
            if (e.get() == entry) {
                armed = e->state != Watched::State::kNew;
                return armed;
            }
        }
        armed = false;
        return true;  // refused and removed
    });
    return armed;
}

}  // namespace orvix::os
