// Authenticode of the seam: the operating system's verdict on a file's embedded
// signature, and the facts read from that signature. On Windows: WinVerifyTrust,
// CryptQueryObject, CryptMsgGetParam, CryptDecodeObject, CertFindCertificateInStore and
// CertGetNameStringA. POSIX has no Authenticode: authenticode_available() is false there
// and the other two report TRUST_E_PROVIDER_UNKNOWN without looking at the file, so no
// verdict is ever made up.
//
// Paths are narrow texts in the ANSI code page, as the loader has them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvix::os {

inline constexpr int32_t kTrustProviderUnknown = static_cast<int32_t>(0x800B0001u);

bool authenticode_available();

// WinVerifyTrust with WINTRUST_ACTION_GENERIC_VERIFY_V2 on the file (no UI, no revocation
// checks, cached URL retrieval only), then the same call again to close its state.
struct TrustCheck {
    int32_t status = kTrustProviderUnknown;       // of the verification
    uint32_t lastError = 0;                       // GetLastError right after it, when it said "no signature"
    int32_t closeStatus = 0;                      // of the closing call
};
TrustCheck authenticode_verify_file(const char* path);

// A link of the publisher facts: choice 1 URL, 2 moniker, 3 file; 0 when absent.
struct SignatureLink {
    uint32_t choice = 0;
    std::u16string text;  // the URL or file name
};

// What the signature of a file holds, read without judging it. The reading stops at the
// first step in `failure`; the publisher facts (SPC_SP_OPUS_INFO) and the names may fail
// on their own without ending it.
struct EmbeddedSignature {
    enum class Failure { kNone, kQueryObject, kSignerInfo, kSignerInfoMemory, kCertificate };
    Failure failure = Failure::kNone;
    uint32_t failureCode = 0;

    enum class Opus { kAbsent, kRead, kDecodeFailed, kMemory };
    Opus opus = Opus::kAbsent;
    uint32_t opusCode = 0;
    bool hasProgramName = false;
    std::u16string programName;
    SignatureLink publisherLink;
    SignatureLink moreInfoLink;

    std::vector<uint8_t> serialNumber;  // as stored: least significant byte first
    // CertGetNameStringA: issuer, then subject; a failed call ends the reading of names.
    std::string issuerName;
    std::string subjectName;
    bool nameFailed = false;
    uint32_t nameError = 0;
};
EmbeddedSignature authenticode_read_signature(const char* path);

}  // namespace orvix::os
