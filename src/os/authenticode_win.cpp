#include <windows.h>
// wincrypt.h before the trust headers.
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstring>
#include <cwchar>

#include "os/authenticode.h"

namespace orvix::os {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;  // 0x10001
constexpr unsigned kPathUnits = 260;

// WINTRUST_DATA as Windows 8 and later define it, with pSignatureSettings after
// dwUIContext: 88 bytes. MinGW's header stops before that member, so it is added here
// (zero: no signature settings).
struct WintrustData {
    WINTRUST_DATA data;
    void* signatureSettings;
};
constexpr DWORD kWintrustDataSize = 88;
static_assert(sizeof(WintrustData) == kWintrustDataSize);
static_assert(sizeof(WINTRUST_FILE_INFO) == 32, "WINTRUST_FILE_INFO is 32 bytes on 64-bit Windows");

void to_wide(const char* path, wchar_t (&wide)[kPathUnits]) {
    std::memset(wide, 0, sizeof wide);
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kPathUnits);
    wide[kPathUnits - 1] = L'\0';
}

std::u16string from_wide(const wchar_t* text) {
    if (text == nullptr) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text), std::wcslen(text));
}

SignatureLink read_link(const SPC_LINK* link) {
    SignatureLink out;
    if (link == nullptr) return out;
    out.choice = link->dwLinkChoice;
    if (link->dwLinkChoice == SPC_URL_LINK_CHOICE) out.text = from_wide(link->pwszUrl);
    if (link->dwLinkChoice == SPC_FILE_LINK_CHOICE) out.text = from_wide(link->pwszFile);
    return out;
}

// The first SPC_SP_OPUS_INFO attribute among the signer's authenticated attributes.
void read_opus_info(const CMSG_SIGNER_INFO& signer, EmbeddedSignature& out) {
    for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
        if (attribute.pszObjId == nullptr || std::strcmp(attribute.pszObjId, SPC_SP_OPUS_INFO_OBJID) != 0) continue;
        if (attribute.cValue == 0) return;
        const CRYPT_ATTR_BLOB& value = attribute.rgValue[0];
        DWORD size = 0;
        if (!CryptDecodeObject(kEncoding, SPC_SP_OPUS_INFO_OBJID, value.pbData, value.cbData, 0, nullptr, &size)) {
            out.opus = EmbeddedSignature::Opus::kDecodeFailed;
            out.opusCode = GetLastError();
            return;
        }
        auto* opus = static_cast<SPC_SP_OPUS_INFO*>(LocalAlloc(LPTR, size));
        if (opus == nullptr) {
            out.opus = EmbeddedSignature::Opus::kMemory;
            out.opusCode = GetLastError();
            return;
        }
        if (!CryptDecodeObject(kEncoding, SPC_SP_OPUS_INFO_OBJID, value.pbData, value.cbData, 0, opus, &size)) {
            out.opus = EmbeddedSignature::Opus::kDecodeFailed;
            out.opusCode = GetLastError();
            LocalFree(opus);
            return;
        }
        out.opus = EmbeddedSignature::Opus::kRead;
        out.hasProgramName = opus->pwszProgramName != nullptr;
        out.programName = from_wide(opus->pwszProgramName);
        out.publisherLink = read_link(opus->pPublisherInfo);
        out.moreInfoLink = read_link(opus->pMoreInfo);
        LocalFree(opus);
        return;
    }
}

// CertGetNameStringA, first for the length and then for the text; false on a 0 result.
bool read_name(PCCERT_CONTEXT certificate, DWORD flags, std::string& name, EmbeddedSignature& out) {
    DWORD length = CertGetNameStringA(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
    if (length == 0) {
        out.nameFailed = true;
        out.nameError = GetLastError();
        return false;
    }
    std::string text(length, '\0');
    length = CertGetNameStringA(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, text.data(), length);
    if (length == 0) {
        out.nameFailed = true;
        out.nameError = GetLastError();
        return false;
    }
    text.resize(std::strlen(text.c_str()));
    name = std::move(text);
    return true;
}

}  // namespace

bool authenticode_available() { return true; }

TrustCheck authenticode_verify_file(const char* path) {
    wchar_t wide[kPathUnits];
    to_wide(path, wide);

    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = wide;
    file.hFile = nullptr;
    file.pgKnownSubject = nullptr;

    WintrustData full = {};
    WINTRUST_DATA& data = full.data;
    data.cbStruct = kWintrustDataSize;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    TrustCheck check;
    check.status = WinVerifyTrust(nullptr, &action, &data);
    if (check.status == TRUST_E_NOSIGNATURE) check.lastError = GetLastError();

    data.dwStateAction = WTD_STATEACTION_CLOSE;
    check.closeStatus = WinVerifyTrust(nullptr, &action, &data);
    return check;
}

EmbeddedSignature authenticode_read_signature(const char* path) {
    EmbeddedSignature out;
    wchar_t wide[kPathUnits];
    to_wide(path, wide);

    DWORD encoding = 0, content = 0, format = 0;
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, wide, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, &store, &message,
                          nullptr)) {
        out.failure = EmbeddedSignature::Failure::kQueryObject;
        out.failureCode = GetLastError();
        return out;
    }

    CMSG_SIGNER_INFO* signer = nullptr;
    PCCERT_CONTEXT certificate = nullptr;
    DWORD size = 0;
    if (!CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) {
        out.failure = EmbeddedSignature::Failure::kSignerInfo;
        out.failureCode = GetLastError();
    } else if ((signer = static_cast<CMSG_SIGNER_INFO*>(LocalAlloc(LPTR, size))) == nullptr) {
        out.failure = EmbeddedSignature::Failure::kSignerInfoMemory;
        out.failureCode = GetLastError();
    } else if (!CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, signer, &size)) {
        out.failure = EmbeddedSignature::Failure::kSignerInfo;
        out.failureCode = GetLastError();
    } else {
        read_opus_info(*signer, out);

        CERT_INFO wanted = {};
        wanted.Issuer = signer->Issuer;
        wanted.SerialNumber = signer->SerialNumber;
        certificate = CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
        if (certificate == nullptr) {
            out.failure = EmbeddedSignature::Failure::kCertificate;
            out.failureCode = GetLastError();
        } else {
            const CRYPT_INTEGER_BLOB& serial = certificate->pCertInfo->SerialNumber;
            out.serialNumber.assign(serial.pbData, serial.pbData + serial.cbData);
            if (read_name(certificate, CERT_NAME_ISSUER_FLAG, out.issuerName, out)) {
                read_name(certificate, 0, out.subjectName, out);
            }
        }
    }

    if (certificate != nullptr) CertFreeCertificateContext(certificate);
    if (signer != nullptr) LocalFree(signer);
    CryptMsgClose(message);
    CertCloseStore(store, 0);
    return out;
}

}  // namespace orvix::os
