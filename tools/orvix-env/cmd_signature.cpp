// orvix-env signature FILE [PATTERN]: checks a library's Authenticode signature as the
// signed loader does and shows the verdict with its code and what the signature holds,
// so a support engineer can see why the display library was refused.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <system_error>

#include "commands.h"
#include "json_output.h"
#include "logging/terminal_logger.h"
#include "platform/signature_check.h"

namespace orvix_env {
namespace {

constexpr int32_t kTrustNoSignature = static_cast<int32_t>(0x800B0100u);

}  // namespace

int run_signature(int argc, char** argv) {
    if (argc < 1 || argc > 2) {
        std::fprintf(stderr,
                     "usage: orvix-env signature FILE [PATTERN]\n"
                     "  exit status 0 only when FILE's signature is trusted and, with PATTERN (an\n"
                     "  ECMAScript regular expression), its signer's subject name contains a match\n");
        return 2;
    }
    if (!orvix::signatureVerificationAvailable()) {
        std::fprintf(stderr,
                     "orvix-env signature: signature verification is not available on this platform "
                     "(Authenticode is checked by Windows); %s cannot be checked\n",
                     argv[0]);
        return 1;
    }
    std::regex pattern;
    if (argc == 2) {
        try {
            pattern = std::regex(argv[1], std::regex::ECMAScript);
        } catch (const std::regex_error& e) {
            std::fprintf(stderr, "orvix-env signature: PATTERN is not a regular expression: %s\n", e.what());
            return 2;
        }
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(argv[0], error)) {
        std::fprintf(stderr, "orvix-env signature: %s is not a file\n", argv[0]);
        return 2;
    }
    const std::string path = std::filesystem::absolute(argv[0], error).string();

    // The verdict is printed below; the loader's failures while reading the signature go
    // to standard error as the loader logs them.
    orvix::logging::TerminalLogger quiet(0, 0, true);
    orvix::logging::TerminalLogger errors(0, 1, true);
    orvix::TrustVerdict verdict;
    orvix::verifyFileTrust(quiet, path, &verdict);
    orvix::SignatureInfo info;
    const bool signedFile = verdict.trusted || verdict.code != kTrustNoSignature;
    if (signedFile) orvix::readSignatureFacts(errors, path, info);

    const bool matches = argc < 2 || std::regex_search(info.subjectName, pattern);
    if (json_output()) {
        Json document = {{"file", path},
                         {"trusted", verdict.trusted},
                         {"verdict", verdict.trusted ? std::string("trusted") : verdict.message},
                         {"code", verdict.trusted ? 0 : verdict.code},
                         {"program_name", info.programName},
                         {"publisher_link", info.publisherLink},
                         {"more_info_link", info.moreInfoLink},
                         {"serial_number", info.serialNumber},
                         {"issuer_name", info.issuerName},
                         {"subject_name", info.subjectName}};
        if (argc == 2) document["subject_pattern"] = {{"pattern", argv[1]}, {"matches", matches}};
        print_json(document);
        return verdict.trusted && matches ? 0 : 1;
    }
    std::printf("file:            %s\n", path.c_str());
    if (verdict.trusted) {
        std::printf("verdict:         trusted (code 0)\n");
    } else {
        std::printf("verdict:         %s (code 0x%08" PRIX32 ", %" PRId32 ")\n", verdict.message.c_str(),
                    static_cast<uint32_t>(verdict.code), verdict.code);
    }
    std::printf("program name:    %s\n", info.programName.c_str());
    std::printf("publisher link:  %s\n", info.publisherLink.c_str());
    std::printf("more-info link:  %s\n", info.moreInfoLink.c_str());
    std::printf("serial number:   %s\n", info.serialNumber.c_str());
    std::printf("issuer name:     %s\n", info.issuerName.c_str());
    std::printf("subject name:    %s\n", info.subjectName.c_str());
    if (argc == 2) {
        std::printf("subject pattern: \"%s\" %s\n", argv[1], matches ? "matches" : "does not match");
    }
    return verdict.trusted && matches ? 0 : 1;
}

ORVIX_ENV_COMMAND(signature, "signature", "FILE [PATTERN]",
                  "check FILE's Authenticode signature as the signed loader does (and its signer against PATTERN)",
                  run_signature);

}  // namespace orvix_env
