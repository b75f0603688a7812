#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/standin_nvapi.h"

namespace orvix::test {
namespace {

std::wstring program_directory() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/"));
}

std::string read_all(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::wstring system_nvapi_path() {
    wchar_t directory[MAX_PATH];
    const UINT n = GetSystemDirectoryW(directory, MAX_PATH);
    return std::wstring(directory, n) + L"\\nvapi64.dll";
}

bool install_standin_nvapi(std::string* problem) {
    const std::wstring source = program_directory() + L"\\nvapi64.dll";
    const std::wstring target = system_nvapi_path();
    const std::string wanted = read_all(source);
    if (wanted.empty()) {
        *problem = "the stand-in nvapi64.dll is not beside the test program";
        return false;
    }
    if (read_all(target) == wanted) return true;
    // Copy under a name of our own, then rename: a concurrent test sees either the old
    // file or the whole new one.
    const std::wstring temporary = target + L"." + std::to_wstring(GetCurrentProcessId());
    if (!CopyFileW(source.c_str(), temporary.c_str(), FALSE)) {
        *problem = "copy failed: " + std::to_string(GetLastError());
        return false;
    }
    const BOOL moved = MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    if (!moved && read_all(target) != wanted) {
        *problem = "rename into the system directory failed: " + std::to_string(error);
        return false;
    }
    return true;
}

bool script_standin_nvapi(int32_t initialize_status, uint32_t driver_version, int32_t version_status) {
    HMODULE module = LoadLibraryW(system_nvapi_path().c_str());
    if (module == nullptr) return false;
    using Script = void (*)(int32_t, uint32_t, int32_t);
    auto script = reinterpret_cast<Script>(reinterpret_cast<void*>(GetProcAddress(module, "orvix_standin_nvapi_script")));
    if (script == nullptr) return false;
    script(initialize_status, driver_version, version_status);
    return true;  // the module stays loaded for the rest of the test
}

std::string standin_nvapi_calls() {
    HMODULE module = GetModuleHandleW(system_nvapi_path().c_str());
    if (module == nullptr) return {};
    using Calls = const char* (*)();
    auto calls = reinterpret_cast<Calls>(reinterpret_cast<void*>(GetProcAddress(module, "orvix_standin_nvapi_calls")));
    return calls != nullptr ? calls() : std::string();
}

}  // namespace orvix::test
