// POSIX has no Authenticode and no trusted store for Windows code signatures.
#include "os/authenticode.h"

namespace orvix::os {

bool authenticode_available() { return false; }

TrustCheck authenticode_verify_file(const char*) {
    TrustCheck check;
    check.status = kTrustProviderUnknown;
    return check;
}

EmbeddedSignature authenticode_read_signature(const char*) {
    EmbeddedSignature signature;
    signature.failure = EmbeddedSignature::Failure::kQueryObject;
    signature.failureCode = 50;  // ERROR_NOT_SUPPORTED
    return signature;
}

}  // namespace orvix::os
