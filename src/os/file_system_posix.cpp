// POSIX side of the file seam: the nearest facilities (open with O_APPEND, rename with
// a copy fallback across file systems, fnmatch, stat, a thread per work item), and the
// handle table that stands in for Windows handles.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "os/codepage.h"
#include "os/error_text.h"
#include "os/file_system.h"
#include "os/handle_table_posix.h"

namespace orvix::os {
namespace {

constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorNotSameDevice = 17;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr char kDefaultProgramData[] = "/var/lib/orvix/ProgramData";

std::string narrow(const std::u16string& wide) {
    uint32_t error = 0;
    int32_t needed = system_wide_to_utf8(wide.c_str(), nullptr, 0, &error);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    system_wide_to_utf8(wide.c_str(), out.data(), needed, &error);
    out.resize(static_cast<size_t>(needed) - 1);
    return out;
}

std::u16string widen(const std::string& text) {
    std::u16string out;
    system_utf8_to_u16(text.c_str(), &out);
    return out;
}

uint32_t from_errno(int e) {
    switch (e) {
        case 0: return 0;
        case ENOENT: return kErrorFileNotFoundFs;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return kErrorAccessDeniedFs;
        case EEXIST: return kErrorAlreadyExists;
        case ENOSPC: return kErrorDiskFull;
        case EXDEV: return kErrorNotSameDevice;
        // Kept whole, so error_text can name it (os/error_text.h).
        default: return e > 0 ? kErrnoCode | static_cast<uint32_t>(e) : kErrorGenFailure;
    }
}

std::string strip_trailing_slashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

uint32_t copy_then_unlink(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return from_errno(errno);
    std::string temp = to + ".partial";
    int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        uint32_t e = from_errno(errno);
        ::close(in);
        return e;
    }
    char buffer[65536];
    uint32_t result = 0;
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            result = from_errno(errno);
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                result = from_errno(errno);
                break;
            }
            done += w;
        }
        if (result != 0) break;
    }
    if (result == 0 && ::fsync(out) != 0) result = from_errno(errno);
    ::close(out);
    ::close(in);
    if (result == 0 && ::rename(temp.c_str(), to.c_str()) != 0) result = from_errno(errno);
    if (result != 0) {
        ::unlink(temp.c_str());
        return result;
    }
    ::unlink(from.c_str());
    return 0;
}

// Windows wildcards know only "*" and "?"; brackets and backslashes are plain characters.
std::string fnmatch_pattern(const std::string& wildcard) {
    std::string out;
    for (char c : wildcard) {
        if (c == '[') {
            out += "[[]";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool is_absolute(const char* path) { return path[0] == '/'; }

}  // namespace

char16_t path_separator() { return u'/'; }
bool is_path_separator(char16_t c) { return c == u'/'; }

bool known_folder_program_data(std::u16string* folder) {
    const char* env = std::getenv("PROGRAMDATA");
    const char* path = env != nullptr && env[0] != '\0' ? env : kDefaultProgramData;
    if (!is_absolute(path)) return false;
    *folder = widen(strip_trailing_slashes(path));
    return !folder->empty();
}

bool common_app_data_folder(std::u16string* folder) {
    if (!known_folder_program_data(folder)) return false;
    create_directory_tree(*folder);
    return true;
}

bool temp_folder(std::u16string* folder) {
    const char* env = std::getenv("TMPDIR");
    std::string path = env != nullptr && env[0] != '\0' ? env : "/tmp";
    if (path.back() != '/') path.push_back('/');
    *folder = widen(path);
    return !folder->empty();
}

bool current_directory(std::u16string* folder) {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return false;
    *folder = widen(buffer);
    return true;
}

uint32_t create_directory(const std::u16string& path) {
    if (::mkdir(strip_trailing_slashes(narrow(path)).c_str(), 0755) == 0) return 0;
    return from_errno(errno);
}

uint32_t create_directory_tree(const std::u16string& path) {
    std::string p = strip_trailing_slashes(narrow(path));
    if (p.empty()) return kErrorPathNotFound;
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i != p.size() && p[i] != '/') continue;
        std::string part = p.substr(0, i);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return from_errno(errno);
    }
    return directory_exists(path) ? 0 : kErrorPathNotFound;
}

bool directory_exists(const std::u16string& path) {
    struct stat st {};
    return ::stat(narrow(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool file_exists(const std::u16string& path) {
    struct stat st {};
    return ::stat(narrow(path).c_str(), &st) == 0;
}

uint32_t create_log_file(const std::u16string& path, FileHandle* out) {
    *out = kInvalidFile;
    int fd = ::open(narrow(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return from_errno(errno);
    *out = posix::adopt_descriptor(fd, true);
    return *out == kInvalidFile ? kErrorTooManyOpenFiles : 0;
}

uint32_t open_for_append(const std::u16string& path, FileHandle* out) {
    *out = kInvalidFile;
    int fd = ::open(narrow(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return from_errno(errno);
    *out = posix::adopt_descriptor(fd, false);
    return *out == kInvalidFile ? kErrorTooManyOpenFiles : 0;
}

uint32_t duplicate_handle(FileHandle file, FileHandle* out) { return posix::duplicate(file, out); }

void close_file(FileHandle file) {
    if (file != kInvalidFile) posix::close(file);
}

std::u16string fixed_program_data_root() {
    std::u16string root;
    known_folder_program_data(&root);
    return root;
}

uint32_t move_file_replace(const std::u16string& from, const std::u16string& to) {
    const std::string src = narrow(from);
    const std::string dst = narrow(to);
    if (posix::is_kept_in_place(src)) return kErrorSharingViolation;
    if (::rename(src.c_str(), dst.c_str()) == 0) return 0;
    if (errno != EXDEV) return from_errno(errno);
    return copy_then_unlink(src, dst);
}

uint32_t delete_file(const std::u16string& path) {
    return ::unlink(narrow(path).c_str()) == 0 ? 0 : from_errno(errno);
}

uint32_t find_files(const std::u16string& pattern, std::vector<FoundFile>* found) {
    found->clear();
    const std::string p = narrow(pattern);
    const size_t slash = p.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : p.substr(0, slash == 0 ? 1 : slash);
    const std::string match = fnmatch_pattern(slash == std::string::npos ? p : p.substr(slash + 1));
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return from_errno(errno) == kErrorFileNotFoundFs ? kErrorPathNotFound : from_errno(errno);
    while (dirent* entry = ::readdir(dir)) {
        if (::fnmatch(match.c_str(), entry->d_name, FNM_CASEFOLD | FNM_NOESCAPE) != 0) continue;
        struct stat st {};
        const std::string full = folder + "/" + entry->d_name;
        if (::stat(full.c_str(), &st) != 0) continue;
        FoundFile f;
        f.name = widen(entry->d_name);
        f.last_write_unix = static_cast<int64_t>(st.st_mtime);
        f.is_directory = S_ISDIR(st.st_mode);
        found->push_back(std::move(f));
    }
    ::closedir(dir);
    return found->empty() ? kErrorFileNotFoundFs : 0;
}

uint32_t current_process_id() { return static_cast<uint32_t>(::getpid()); }

uint64_t tick_count_ms() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int64_t unix_time_now() { return static_cast<int64_t>(::time(nullptr)); }

bool local_time_now(LocalTime* now) {
    time_t t = ::time(nullptr);
    struct tm local {};
    if (::localtime_r(&t, &local) == nullptr) return false;
    now->hour = local.tm_hour;
    now->minute = local.tm_min;
    now->second = local.tm_sec;
    return true;
}

// POSIX has no system thread pool: each work item gets a detached thread of its own.
bool submit_work_item(void (*fn)(void*), void* context) {
    try {
        std::thread(fn, context).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

bool start_persistent_work(void (*fn)(void*), void* context) { return submit_work_item(fn, context); }

}  // namespace orvix::os
