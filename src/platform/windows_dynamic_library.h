// The signed loader itself. Construction resolves the library's full path with a probe
// load that runs none of its code, checks the signature as the mode asks, and loads the
// library by that full path; it throws on any failure, so an object always holds a
// verified, loaded library. Most callers want loadSignedLibrary (dynamic_library.h),
// which turns the exceptions into a null result.
//
// Not thread-safe: its one user constructs it and calls getFunction under its own lock.
#pragma once

#include <memory>
#include <regex>
#include <string>

#include "logging/logger.h"
#include "platform/dynamic_library.h"

namespace orvix {

class WindowsDynamicLibrary : public IDynamicLibrary {
public:
    // Throws std::invalid_argument for a null logger, std::logic_error for an empty name
    // and std::runtime_error when the library is not found, fails its checks or does not
    // load. applicationDirectoryOnly leaves the system directory out of the search.
    WindowsDynamicLibrary(const std::string& name, std::unique_ptr<logging::LoggerBase> logger,
                          const std::regex& pattern, bool applicationDirectoryOnly, ValidationMode mode);
    ~WindowsDynamicLibrary() override = default;
    WindowsDynamicLibrary(const WindowsDynamicLibrary&) = delete;
    WindowsDynamicLibrary& operator=(const WindowsDynamicLibrary&) = delete;

    std::string getPath() const override;
    // Null, without a message, for an empty name or one the library does not export.
    void* getFunction(const std::string& name) override;

private:
    struct ModuleRelease {
        void operator()(void* module) const;
    };

    std::string resolveLibraryPath(const std::string& name, bool applicationDirectoryOnly);
    void load();

    // Released in reverse order: the module first, then the path, then the logger.
    std::unique_ptr<logging::LoggerBase> logger_;
    std::string path_;
    std::unique_ptr<void, ModuleRelease> module_;
};

}  // namespace orvix
