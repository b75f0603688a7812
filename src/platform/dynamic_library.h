// The signed library loader: a dynamic library is loaded only after the operating
// system has confirmed its Authenticode signature and, where asked, its signer's subject
// matches a pattern. Users see the library through IDynamicLibrary and obtain one with
// loadSignedLibrary, which never throws: a refused or missing library is a null result,
// and the reasons reach the logger handed over.
#pragma once

#include <cstdint>
#include <memory>
#include <regex>
#include <string>

#include "logging/logger.h"

namespace orvix {

class IDynamicLibrary {
public:
    virtual ~IDynamicLibrary() = default;
    // The full path of the library file.
    virtual std::string getPath() const = 0;
    // The exported function of that name, or null (also for an empty name).
    virtual void* getFunction(const std::string& name) = 0;
};

// What is checked before a library is loaded.
enum class ValidationMode : uint32_t {
    None = 0,                 // nothing; any value other than 1 and 2 behaves the same
    SignatureAndSubject = 1,  // trusted signature, then the signer's subject
    SignatureOnly = 2,        // trusted signature
};

// Facts read from the embedded signature, all UTF-8.
struct SignatureInfo {
    std::string programName;
    std::string publisherLink;
    std::string moreInfoLink;
    std::string serialNumber;
    std::string issuerName;
    std::string subjectName;
};

// Loads name ("atiadlxx.dll") from the application or system directory after checking
// its signature (and, when validateSubject, that the signer's subject contains a match
// of pattern, an ECMAScript regular expression). Null on any failure.
std::unique_ptr<IDynamicLibrary> loadSignedLibrary(const std::string& name,
                                                   std::unique_ptr<logging::LoggerBase> logger,
                                                   const std::string& pattern, bool validateSubject);
std::unique_ptr<IDynamicLibrary> loadSignedLibrary(const std::string& name,
                                                   std::unique_ptr<logging::LoggerBase> logger,
                                                   const std::regex& pattern, bool validateSubject);

}  // namespace orvix
