// orvix-env signature FILE [PATTERN]: checks a library's Authenticode signature as the
// signed loader does and shows the verdict with its code and what the signature holds,
// so a support engineer can see why the display library was refused.
#include <cinttypes>
#include <cstdint>
#include <optional>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <system_error>

#include "commands.h"
#include "console.h"
#include "input_file.h"
#include "json_output.h"
#include "logging/terminal_logger.h"
#include "platform/signature_check.h"
#include "text_output.h"

namespace orvix_env {
namespace {

constexpr int32_t kTrustNoSignature = static_cast<int32_t>(0x800B0100u);

}  // namespace

int run_signature(const std::string& file, const std::optional<std::string>& subject) {
    if (!orvix::signatureVerificationAvailable()) {
        std::fprintf(stderr,
                     "orvix-env signature: signature verification is not available on this platform "
                     "(Authenticode is checked by Windows); %s cannot be checked\n",
                     printable(file, false).c_str());
        return 1;
    }
    std::regex pattern;
    if (subject) {
        try {
            pattern = std::regex(*subject, std::regex::ECMAScript);
        } catch (const std::regex_error& e) {
            std::fprintf(stderr, "orvix-env signature: PATTERN is not a regular expression: %s\n", e.what());
            return 2;
        }
    }
    std::string problem;
    // Windows reads the file itself: only its kind matters here, not its size.
    if (!check_input_file(file, &problem, UINTMAX_MAX)) {
        std::fprintf(stderr, "orvix-env signature: %s\n", problem.c_str());
        return 2;
    }
    std::error_code error;
    const std::string path = utf8_from_path(std::filesystem::absolute(path_from_utf8(file), error));
    // The loader takes the path as the agent does (the ANSI code page on Windows).
    const std::string layer_path = layer_narrow_path(path);
    if (layer_path.empty()) {
        std::fprintf(stderr,
                     "orvix-env signature: the signed loader reads library paths in the ANSI code page, which "
                     "cannot name %s (and it has no short name that it can); the agent could not load it from "
                     "there either\n",
                     printable(path, false).c_str());
        return 2;
    }

    // The verdict is printed below; the loader's failures while reading the signature go
    // to standard error as the loader logs them.
    orvix::logging::TerminalLogger quiet(0, 0, true);
    orvix::logging::TerminalLogger errors(0, 1, true);
    orvix::TrustVerdict verdict;
    orvix::verifyFileTrust(quiet, layer_path, &verdict);
    orvix::SignatureInfo info;
    const bool signedFile = verdict.trusted || verdict.code != kTrustNoSignature;
    if (signedFile) orvix::readSignatureFacts(errors, layer_path, info);
    // The verdict names the file as the loader was given it; show the name as typed.
    for (size_t at = 0; layer_path != path && (at = verdict.message.find(layer_path, at)) != std::string::npos;
         at += path.size()) {
        verdict.message.replace(at, layer_path.size(), path);
    }

    const bool matches = !subject || std::regex_search(info.subjectName, pattern);
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
        if (subject) document["subject_pattern"] = {{"pattern", *subject}, {"matches", matches}};
        print_json(document);
        return verdict.trusted && matches ? 0 : 1;
    }
    std::printf("file:            %s\n", printable(path, false).c_str());
    if (verdict.trusted) {
        std::printf("verdict:         trusted (code 0)\n");
    } else {
        std::printf("verdict:         %s (code 0x%08" PRIX32 ", %" PRId32 ")\n", printable(verdict.message, false).c_str(),
                    static_cast<uint32_t>(verdict.code), verdict.code);
    }
    // The certificate's texts are the signer's words, not ours.
    std::printf("program name:    %s\n", printable(info.programName, false).c_str());
    std::printf("publisher link:  %s\n", printable(info.publisherLink, false).c_str());
    std::printf("more-info link:  %s\n", printable(info.moreInfoLink, false).c_str());
    std::printf("serial number:   %s\n", printable(info.serialNumber, false).c_str());
    std::printf("issuer name:     %s\n", printable(info.issuerName, false).c_str());
    std::printf("subject name:    %s\n", printable(info.subjectName, false).c_str());
    if (subject) {
        std::printf("subject pattern: \"%s\" %s\n", printable(*subject).c_str(), matches ? "matches" : "does not match");
    }
    return verdict.trusted && matches ? 0 : 1;
}

std::function<int()> declare_signature(CLI::App& command) {
    auto file = std::make_shared<std::string>();
    auto pattern = std::make_shared<std::optional<std::string>>();
    command.add_option("FILE", *file, "the library (DLL) to check")->required();
    command.add_option_function<std::string>(
        "PATTERN", [pattern](const std::string& value) { *pattern = value; },
        "an ECMAScript regular expression the signer's subject name must contain a match of; exit status 0 "
        "only when the signature is trusted and, with PATTERN, the subject matches");
    return [file, pattern] { return run_signature(*file, *pattern); };
}

ORVIX_ENV_COMMAND(signature, "signature",
                  "check FILE's Authenticode signature as the signed loader does (and its signer against PATTERN)",
                  declare_signature);

}  // namespace orvix_env
