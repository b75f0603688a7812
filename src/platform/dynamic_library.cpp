#include "platform/dynamic_library.h"

#include <stdexcept>

#include "os/library.h"
#include "platform/signature_check.h"
#include "platform/windows_dynamic_library.h"

namespace orvix {
namespace {

constexpr uint32_t kProbeFlags = os::kLoadSearchSystem32 | os::kLoadSearchApplicationDir |
                                 os::kLoadDontResolveReferences;                                 // 0xA01
constexpr uint32_t kProbeApplicationDirFlags = os::kLoadSearchApplicationDir | os::kLoadDontResolveReferences;  // 0x201
constexpr uint32_t kPathCharacters = 260;
constexpr int32_t kErrorNotSupported = 50;

}  // namespace

void WindowsDynamicLibrary::ModuleRelease::operator()(void* module) const { os::library_free(module); }

WindowsDynamicLibrary::WindowsDynamicLibrary(const std::string& name, std::unique_ptr<logging::LoggerBase> logger,
                                             const std::regex& pattern, bool applicationDirectoryOnly,
                                             ValidationMode mode)
    : logger_(std::move(logger)) {
    if (!logger_) throw std::invalid_argument("WindowsDynamicLibrary object requires a valid logger");
    path_ = resolveLibraryPath(name, applicationDirectoryOnly);

    const bool checked = mode == ValidationMode::SignatureAndSubject || mode == ValidationMode::SignatureOnly;
    if (checked && !signatureVerificationAvailable()) {
        // No verdict is better than a made-up one: without the operating system's
        // Authenticode check nothing that asks for it is loaded.
        if (logger_->isEnabled(loader::kError)) {
            logger_->write(logger_->formatter->join("Signature verification is not available on this platform:",
                                                    path_, "is not loaded."),
                           loader::kError, kErrorNotSupported);
        }
        throw std::runtime_error(mode == ValidationMode::SignatureAndSubject
                                     ? "Signature validation against subject name failed"
                                     : "Signature validation failed");
    }
    if (mode == ValidationMode::SignatureAndSubject && !matchSubjectName(*logger_, path_, pattern)) {
        throw std::runtime_error("Signature validation against subject name failed");
    }
    if (mode == ValidationMode::SignatureOnly && !verifyFileTrust(*logger_, path_)) {
        throw std::runtime_error("Signature validation failed");
    }
    load();
}

std::string WindowsDynamicLibrary::resolveLibraryPath(const std::string& name, bool applicationDirectoryOnly) {
    if (name.empty()) throw std::logic_error("Invalid name provided");
    uint32_t error = 0;
    void* probe = os::library_load(name.c_str(), applicationDirectoryOnly ? kProbeApplicationDirFlags : kProbeFlags,
                                   &error);
    if (probe == nullptr) throw std::runtime_error("Failed to load the library");

    char buffer[kPathCharacters] = {};
    const uint32_t length = os::library_file_name(probe, buffer, kPathCharacters, &error);
    if (length == 0) {
        if (logger_->isEnabled(loader::kError)) {
            logger_->write(std::string("Failed to retrieve the path from the DLL"), loader::kError,
                           static_cast<int32_t>(error));
        }
        os::library_free(probe);
        throw std::runtime_error("Failed to load the library");
    }
    os::library_free(probe);
    return std::string(buffer, length < kPathCharacters ? length : kPathCharacters - 1);
}

void WindowsDynamicLibrary::load() {
    if (module_) return;
    uint32_t error = 0;
    module_.reset(os::library_load(path_.c_str(), 0, &error));
    if (!module_) {
        if (logger_->isEnabled(loader::kError)) {
            logger_->write(logger_->formatter->join("Failed to load", path_), loader::kError, static_cast<int32_t>(error));
        }
        throw std::runtime_error("Failed to load the library");
    }
    if (logger_->isEnabled(loader::kDebug)) {
        logger_->write(logger_->formatter->join("Successfully loaded", path_), loader::kDebug, logger_->defaultCode);
    }
}

std::string WindowsDynamicLibrary::getPath() const { return path_; }

void* WindowsDynamicLibrary::getFunction(const std::string& name) {
    if (!module_ || name.empty()) return nullptr;
    void* address = os::library_symbol(module_.get(), name.c_str());
    if (address != nullptr && logger_->isEnabled(loader::kTrace)) {
        logger_->write(logger_->formatter->join("Found function", name, "@", static_cast<const void*>(address)),
                       loader::kTrace, logger_->defaultCode);
    }
    return address;
}

std::unique_ptr<IDynamicLibrary> loadSignedLibrary(const std::string& name, std::unique_ptr<logging::LoggerBase> logger,
                                                   const std::string& pattern, bool validateSubject) {
    std::regex compiled;
    try {
        compiled = std::regex(pattern, std::regex::ECMAScript);
    } catch (const std::exception&) {
        return nullptr;
    }
    return loadSignedLibrary(name, std::move(logger), compiled, validateSubject);
}

std::unique_ptr<IDynamicLibrary> loadSignedLibrary(const std::string& name, std::unique_ptr<logging::LoggerBase> logger,
                                                   const std::regex& pattern, bool validateSubject) {
    try {
        return std::make_unique<WindowsDynamicLibrary>(
            name, std::move(logger), pattern, false,
            validateSubject ? ValidationMode::SignatureAndSubject : ValidationMode::SignatureOnly);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace orvix
