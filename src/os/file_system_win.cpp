#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <string>

#include "os/file_system.h"

namespace orvix::os {
namespace {

const wchar_t* w(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::u16string u(const wchar_t* s) { return std::u16string(reinterpret_cast<const char16_t*>(s)); }

std::u16string without_trailing_separator(std::u16string s) {
    while (s.size() > 3 && (s.back() == u'\\' || s.back() == u'/')) s.pop_back();
    return s;
}

int64_t to_unix(const FILETIME& ft) {
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(v.QuadPart / 10000000ULL) - 11644473600LL;
}

struct WorkItem {
    void (*fn)(void*);
    void* context;
};

DWORD WINAPI run_work_item(LPVOID parameter) {
    WorkItem* item = static_cast<WorkItem*>(parameter);
    item->fn(item->context);
    delete item;
    return 0;
}

bool queue_work_item(void (*fn)(void*), void* context, ULONG flags) {
    WorkItem* item = new WorkItem{fn, context};
    if (!QueueUserWorkItem(run_work_item, item, flags)) {
        delete item;
        return false;
    }
    return true;
}

}  // namespace

char16_t path_separator() { return u'\\'; }
bool is_path_separator(char16_t c) { return c == u'\\' || c == u'/'; }

bool known_folder_program_data(std::u16string* folder) {
    PWSTR path = nullptr;
    HRESULT hr = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path);
    bool ok = SUCCEEDED(hr) && path != nullptr;
    if (ok) *folder = without_trailing_separator(u(path));
    CoTaskMemFree(path);
    return ok;
}

bool common_app_data_folder(std::u16string* folder) {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                   path))) {
        *folder = without_trailing_separator(u(path));
        return true;
    }
    // Its default location, when the current one cannot be had.
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_DEFAULT, path))) {
        *folder = without_trailing_separator(u(path));
        return true;
    }
    return false;
}

bool temp_folder(std::u16string* folder) {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, path);
    if (n == 0 || n > MAX_PATH) return false;
    *folder = u(path);
    return true;
}

bool current_directory(std::u16string* folder) {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
    if (n == 0 || n >= MAX_PATH) return false;
    *folder = u(path);
    return true;
}

uint32_t create_directory(const std::u16string& path) {
    return CreateDirectoryW(w(path), nullptr) ? 0 : GetLastError();
}

uint32_t create_directory_tree(const std::u16string& path) {
    int r = SHCreateDirectoryExW(nullptr, w(without_trailing_separator(path)), nullptr);
    return (r == ERROR_SUCCESS || r == ERROR_ALREADY_EXISTS || r == ERROR_FILE_EXISTS) ? 0 : static_cast<uint32_t>(r);
}

bool directory_exists(const std::u16string& path) {
    DWORD a = GetFileAttributesW(w(path));
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool file_exists(const std::u16string& path) { return GetFileAttributesW(w(path)) != INVALID_FILE_ATTRIBUTES; }

uint32_t create_log_file(const std::u16string& path, FileHandle* out) {
    HANDLE h = CreateFileW(w(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *out = kInvalidFile;
        return GetLastError();
    }
    *out = reinterpret_cast<FileHandle>(h);
    return 0;
}

uint32_t open_for_append(const std::u16string& path, FileHandle* out) {
    HANDLE h = CreateFileW(w(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *out = kInvalidFile;
        return GetLastError();
    }
    *out = reinterpret_cast<FileHandle>(h);
    return 0;
}

uint32_t duplicate_handle(FileHandle file, FileHandle* out) {
    HANDLE dup = nullptr;
    HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(file), process, &dup, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        *out = kInvalidFile;
        return GetLastError();
    }
    *out = reinterpret_cast<FileHandle>(dup);
    return 0;
}

void close_file(FileHandle file) {
    if (file != kInvalidFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

std::u16string fixed_program_data_root() { return u"C:\\ProgramData"; }

uint32_t move_file_replace(const std::u16string& from, const std::u16string& to) {
    return MoveFileExW(w(from), w(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)
               ? 0
               : GetLastError();
}

uint32_t delete_file(const std::u16string& path) { return DeleteFileW(w(path)) ? 0 : GetLastError(); }

uint32_t find_files(const std::u16string& pattern, std::vector<FoundFile>* found) {
    found->clear();
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(w(pattern), &data);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    do {
        FoundFile f;
        f.name = u(data.cFileName);
        f.last_write_unix = to_unix(data.ftLastWriteTime);
        f.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        found->push_back(std::move(f));
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return 0;
}

uint32_t current_process_id() { return GetCurrentProcessId(); }

uint64_t tick_count_ms() { return GetTickCount64(); }

int64_t unix_time_now() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return to_unix(ft);
}

bool local_time_now(LocalTime* now) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    now->hour = st.wHour;
    now->minute = st.wMinute;
    now->second = st.wSecond;
    return true;
}

// Archive moves may take long; the flag lets the pool add threads meanwhile.
bool submit_work_item(void (*fn)(void*), void* context) {
    return queue_work_item(fn, context, WT_EXECUTELONGFUNCTION);
}

bool start_persistent_work(void (*fn)(void*), void* context) {
    return queue_work_item(fn, context, WT_EXECUTEINPERSISTENTTHREAD | WT_EXECUTELONGFUNCTION);
}

}  // namespace orvix::os
