// The checks the signed loader makes before it loads a library, also usable alone by
// tools that show why a library was refused. Each logs exactly as the loader does, and
// builds a message only when the logger's threshold admits its level.
#pragma once

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "logging/logger.h"
#include "platform/dynamic_library.h"

namespace orvix {

// The levels the loader writes at.
namespace loader {
inline constexpr uint32_t kError = 1;
inline constexpr uint32_t kDebug = 3;
inline constexpr uint32_t kTrace = 4;
}  // namespace loader

// The operating system's verdict on a file's signature as the loader reports it: the
// ERROR message and its code, or trusted with neither.
struct TrustVerdict {
    bool trusted = false;
    int32_t code = 0;
    std::string message;
};

// Judges a WinVerifyTrust status; lastError is GetLastError read right after the call.
TrustVerdict judgeTrust(int32_t status, uint32_t lastError, const std::string& path);

// Serial-number bytes as a certificate stores them (least significant first), shown
// from the last byte to the first, each as two uppercase hex digits and a space.
std::string serialNumberText(const std::vector<uint8_t>& stored);

// False where the operating system cannot verify Authenticode signatures (POSIX).
bool signatureVerificationAvailable();

// Asks the operating system whether the file's signature is trusted and logs the
// verdict. The verdict is also stored in *verdict when given.
bool verifyFileTrust(logging::LoggerBase& logger, const std::string& path, TrustVerdict* verdict = nullptr);

// Reads the facts of the file's embedded signature into info without judging it, and
// logs them at TRACE level. False when the signature or its signer cannot be read.
bool readSignatureFacts(logging::LoggerBase& logger, const std::string& path, SignatureInfo& info);

// verifyFileTrust, then readSignatureFacts: the signature is read only once it is trusted.
bool readEmbeddedSignature(logging::LoggerBase& logger, const std::string& path, SignatureInfo& info);

// A trusted signature whose signer's subject name contains a match of pattern.
bool matchSubjectName(logging::LoggerBase& logger, const std::string& path, const std::regex& pattern);

}  // namespace orvix
