#include "platform/signature_check.h"

#include <string>

#include "os/authenticode.h"
#include "platform/text_conversion.h"

namespace orvix {
namespace {

constexpr int32_t kTrustNoSignature = static_cast<int32_t>(0x800B0100u);
constexpr int32_t kTrustSubjectFormUnknown = static_cast<int32_t>(0x800B0003u);
constexpr int32_t kTrustProviderUnknown = static_cast<int32_t>(0x800B0001u);
constexpr int32_t kTrustExplicitDistrust = static_cast<int32_t>(0x800B0111u);
constexpr int32_t kTrustSubjectNotTrusted = static_cast<int32_t>(0x800B0004u);
constexpr int32_t kCryptSecuritySettings = static_cast<int32_t>(0x80092026u);

template <typename... Pieces>
void logLine(logging::LoggerBase& logger, uint32_t level, int32_t code, const Pieces&... pieces) {
    if (!logger.isEnabled(level)) return;
    logger.write(logger.formatter->join(pieces...), level, code);
}

template <typename... Pieces>
void logOwn(logging::LoggerBase& logger, uint32_t level, const Pieces&... pieces) {
    logLine(logger, level, logger.defaultCode, pieces...);
}

std::string linkText(const os::SignatureLink& link) {
    // A moniker (2) has no text to show.
    if (link.choice == 1 || link.choice == 3) return text::utf16_to_utf8(link.text);
    return {};
}

}  // namespace

TrustVerdict judgeTrust(int32_t status, uint32_t lastError, const std::string& path) {
    TrustVerdict verdict;
    verdict.code = status;
    switch (status) {
        case 0:
            verdict.trusted = true;
            return verdict;
        case kTrustNoSignature: {
            const auto error = static_cast<int32_t>(lastError);
            verdict.code = error;
            if (error == kTrustNoSignature || error == kTrustSubjectFormUnknown || error == kTrustProviderUnknown) {
                verdict.message = "The file " + path + " is not signed.";
            } else {
                verdict.message = "Unknown error encountered while examining file " + path;
            }
            return verdict;
        }
        case kTrustExplicitDistrust:
            verdict.message = "The file " + path + " is explicitly not trusted.";
            return verdict;
        case kTrustSubjectNotTrusted:
            verdict.message = "The file " + path + " is untrusted.";
            return verdict;
        case kCryptSecuritySettings:
            verdict.message = "The file " + path + " is implicitly untrusted.";
            return verdict;
        default:
            verdict.message = "The file " + path + " is untrusted Error code " + std::to_string(status);
            return verdict;
    }
}

std::string serialNumberText(const std::vector<uint8_t>& stored) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(stored.size() * 3);
    for (auto it = stored.rbegin(); it != stored.rend(); ++it) {
        out.push_back(kDigits[*it >> 4]);
        out.push_back(kDigits[*it & 0xF]);
        out.push_back(' ');
    }
    return out;
}

bool signatureVerificationAvailable() { return os::authenticode_available(); }

bool verifyFileTrust(logging::LoggerBase& logger, const std::string& path, TrustVerdict* verdict) {
    logOwn(logger, loader::kDebug, "Validating", path);
    const os::TrustCheck check = os::authenticode_verify_file(path.c_str());
    const bool trusted = check.status == 0;
    // The message holds the path, so it is built only when someone takes it.
    const bool logged = !trusted && logger.isEnabled(loader::kError);
    if (logged || verdict != nullptr) {
        TrustVerdict judged = judgeTrust(check.status, check.lastError, path);
        if (logged) logger.write(judged.message, loader::kError, judged.code);
        if (verdict != nullptr) *verdict = std::move(judged);
    }
    if (check.closeStatus != 0) logLine(logger, loader::kError, check.closeStatus, "Closing WinVerifyTrust failed");
    return trusted;
}

bool readSignatureFacts(logging::LoggerBase& logger, const std::string& path, SignatureInfo& info) {
    using Failure = os::EmbeddedSignature::Failure;
    using Opus = os::EmbeddedSignature::Opus;
    const os::EmbeddedSignature signature = os::authenticode_read_signature(path.c_str());
    const auto code = [](uint32_t error) { return static_cast<int32_t>(error); };

    switch (signature.failure) {
        case Failure::kQueryObject:
            logLine(logger, loader::kError, code(signature.failureCode), "CryptQueryObject failed");
            return false;
        case Failure::kSignerInfo:
            logLine(logger, loader::kError, code(signature.failureCode), "CryptMsgGetParam failed");
            return false;
        case Failure::kSignerInfoMemory:
            logLine(logger, loader::kError, code(signature.failureCode), "Unable to allocate memory for Signer Info.");
            return false;
        case Failure::kNone:
        case Failure::kCertificate:
            break;
    }

    switch (signature.opus) {
        case Opus::kRead:
            if (signature.hasProgramName) info.programName = text::utf16_to_utf8(signature.programName);
            info.publisherLink = linkText(signature.publisherLink);
            info.moreInfoLink = linkText(signature.moreInfoLink);
            break;
        case Opus::kDecodeFailed:
            logLine(logger, loader::kError, code(signature.opusCode), "CryptDecodeObject failed");
            break;
        case Opus::kMemory:
            logLine(logger, loader::kError, code(signature.opusCode), "Unable to allocate memory for Publisher Info.");
            break;
        case Opus::kAbsent:
            break;
    }

    if (signature.failure == Failure::kCertificate) {
        logLine(logger, loader::kError, code(signature.failureCode), "CertFindCertificateInStore failed");
        return false;
    }

    info.serialNumber = serialNumberText(signature.serialNumber);
    info.issuerName = signature.issuerName;
    info.subjectName = signature.subjectName;
    if (signature.nameFailed) logLine(logger, loader::kError, code(signature.nameError), "CertGetNameString failed");

    if (logger.isEnabled(loader::kTrace)) {
        logOwn(logger, loader::kTrace, "Certificate / signature info for", path);
        logOwn(logger, loader::kTrace, "Issuer Name:   ", info.issuerName);
        logOwn(logger, loader::kTrace, "More Info Link:", info.moreInfoLink);
        logOwn(logger, loader::kTrace, "Program Name:  ", info.programName);
        logOwn(logger, loader::kTrace, "Publisher Link:", info.publisherLink);
        logOwn(logger, loader::kTrace, "Serial Number: ", info.serialNumber);
        logOwn(logger, loader::kTrace, "Subject Name:  ", info.subjectName);
    }
    return true;
}

bool readEmbeddedSignature(logging::LoggerBase& logger, const std::string& path, SignatureInfo& info) {
    if (!verifyFileTrust(logger, path)) {
        logLine(logger, loader::kError, 0, "Failed to read embedded signature of", path, "Library signature not validated!");
        return false;
    }
    return readSignatureFacts(logger, path, info);
}

bool matchSubjectName(logging::LoggerBase& logger, const std::string& path, const std::regex& pattern) {
    SignatureInfo info;
    if (!readEmbeddedSignature(logger, path, info)) {
        logLine(logger, loader::kError, 0, "Reading embedded signature of", path, "failed");
        return false;
    }
    if (std::regex_search(info.subjectName, pattern)) return true;
    logOwn(logger, loader::kDebug, "Failed to match subject name", info.subjectName, "Against provided regex for library",
           path);
    return false;
}

}  // namespace orvix
