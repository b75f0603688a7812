#include <windows.h>

#include <atomic>
#include <filesystem>
#include <system_error>

#include "os/error_text.h"
#include "output_file.h"
#include "wide_text_win.h"

namespace orvix_env {
namespace {

bool fail(const std::string& path, DWORD code, std::string* error) {
    *error = "cannot write " + path + ": " + orvix::os::error_text(code);
    return false;
}

}  // namespace

bool write_output_file(const std::string& path, std::string_view bytes, std::string* error) {
    const std::wstring target = wide_from_utf8(path);
    if (target.empty()) return fail(path, ERROR_NO_UNICODE_TRANSLATION, error);
    // A name of this process alone in the target's folder; CREATE_NEW never replaces a file.
    static std::atomic<unsigned> counter{0};
    const std::wstring temp =
        target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".tmp";
    HANDLE file =
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(path, GetLastError(), error);
    DWORD code = 0;
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0 && code == 0) {
        const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD done = 0;
        if (!WriteFile(file, p, chunk, &done, nullptr)) {
            code = GetLastError();
        } else if (done == 0) {
            code = ERROR_DISK_FULL;  // a write that takes nothing and reports no error
        }
        p += done;
        left -= done;
    }
    if (code == 0 && !FlushFileBuffers(file)) code = GetLastError();
    if (!CloseHandle(file) && code == 0) code = GetLastError();
    if (code == 0 &&
        !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        code = GetLastError();
    }
    if (code != 0) {
        DeleteFileW(temp.c_str());
        return fail(path, code, error);
    }
    return true;
}

bool create_output_folder(const std::string& path, std::string* error) {
    const std::wstring folder = wide_from_utf8(path);
    std::error_code ec;
    if (folder.empty()) {
        ec.assign(ERROR_NO_UNICODE_TRANSLATION, std::system_category());
    } else {
        std::filesystem::create_directories(std::filesystem::path(folder), ec);
    }
    if (ec) {
        // std::filesystem reports what the C runtime's calls set in errno, in the C
        // runtime's words; only a Windows code goes through the system's.
        const bool windows_code = ec.category() == std::system_category();
        *error = "cannot create " + path + ": " +
                 (windows_code ? orvix::os::error_text(static_cast<uint32_t>(ec.value())) : ec.message());
        return false;
    }
    return true;
}

std::string output_path(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
    return folder + "\\" + name;
}

}  // namespace orvix_env
