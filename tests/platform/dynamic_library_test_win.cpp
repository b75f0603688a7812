// The loader against DLLs the build signed (tests/platform/fixtures): unsigned,
// tampered, under an untrusted root, another vendor's, and the vendor's with and without
// publisher facts. The prefix trusts the test root CA (orvix_install_test_root).
#include "platform/dynamic_library.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "loader_test_support.h"
#include "platform/signature_check.h"
#include "platform/windows_dynamic_library.h"
#include "support/recording_logger.h"

namespace {

using orvix_test::RecordingLogger;
using Lines = std::vector<std::string>;

bool underWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

class SignedLoaderWin : public testing::Test {
protected:
    void SetUp() override {
        // The test main sends HKEY_LOCAL_MACHINE to a private key, but wintrust and crypt32
        // find their trust providers and decoders there: without them Wine's WinVerifyTrust
        // answers 0 even for an unsigned file.
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    }

    static std::string path(const std::string& stem) {
        return loader_test::executableDirectory() + "\\" + loader_test::libraryFile(stem);
    }
    std::unique_ptr<orvix::IDynamicLibrary> load(const std::string& stem, bool validateSubject = true) {
        lines.clear();
        auto logger = std::make_unique<RecordingLogger>(4, &lines);
        logger->defaultCode = 3;
        return orvix::loadSignedLibrary(loader_test::libraryFile(stem), std::move(logger), "Advanced Micro Devices",
                                        validateSubject);
    }
    // What a trusted signature logs: the check, then the signer's facts, then the outcome.
    Lines trusted(const std::string& p, const std::string& serial, const std::string& subject,
                  const std::string& outcome) const {
        Lines expected = {"3 3 Validating " + p,
                          "4 3 Certificate / signature info for " + p,
                          "4 3 Issuer Name:    Quillon Test Root CA",
                          "4 3 More Info Link: https://orvix.quillon.invalid/test-module",
                          "4 3 Program Name:   Orvix Test Module",
                          "4 3 Publisher Link: ",
                          "4 3 Serial Number:  " + serial,
                          "4 3 Subject Name:   " + subject,
                          outcome};
        // osslsigncode writes the program name as ASCII text; Wine's decoder reads those
        // bytes as UTF-16, so under Wine the program name is whatever that gives.
        if (underWine() && lines.size() > 4 && lines[4].rfind("4 3 Program Name:   ", 0) == 0) expected[4] = lines[4];
        return expected;
    }

    loader_test::TestFolder folder;
    Lines lines;
};

TEST_F(SignedLoaderWin, UnsignedTamperedAndForgedAreRefusedWithTheirVerdictAndNeverRun) {
    const struct {
        const char* stem;
        const char* verdict;
        const char* code;
    } cases[] = {
        {"orvix_test_unsigned", "is not signed.", "-2146762496"},  // 0x800B0100
        {"orvix_test_tampered", "is untrusted Error code -2146869232", "-2146869232"},
        // An attacker's certificate with the vendor's name, under a root nobody trusts.
        {"orvix_test_forged", "is untrusted Error code -2146762487", "-2146762487"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stem);
        const std::string p = path(c.stem);
        const std::string verdict = "1 " + std::string(c.code) + " The file " + p + " " + c.verdict;
        EXPECT_EQ(load(c.stem), nullptr);
        EXPECT_EQ(lines, (Lines{"3 3 Validating " + p, verdict,
                                "1 0 Failed to read embedded signature of " + p + " Library signature not validated!",
                                "1 0 Reading embedded signature of " + p + " failed"}));
        // Without the subject check the verdict alone refuses it.
        EXPECT_EQ(load(c.stem, false), nullptr);
        EXPECT_EQ(lines, (Lines{"3 3 Validating " + p, verdict}));
    }
    // Path resolution loaded each without running its code.
    EXPECT_FALSE(folder.initialised());

    // Read without the trust check, the unsigned file has no signature to query; the line
    // carries the system's error code.
    orvix::SignatureInfo info;
    lines.clear();
    RecordingLogger logger(4, &lines);
    EXPECT_FALSE(orvix::readSignatureFacts(logger, path("orvix_test_unsigned"), info));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].rfind("1 0 ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].find(' ', 2)), " CryptQueryObject failed");
}

TEST_F(SignedLoaderWin, AnotherVendorsTrustedSignatureFailsTheSubjectCheckOnly) {
    const std::string p = path("orvix_test_nvidia");
    EXPECT_EQ(load("orvix_test_nvidia"), nullptr);
    EXPECT_EQ(lines, trusted(p, "01 AB ", "NVIDIA Corporation",
                             "3 3 Failed to match subject name NVIDIA Corporation Against provided regex for library " +
                                 p));
    EXPECT_FALSE(folder.initialised());

    // Without the subject check its trusted signature is enough.
    ASSERT_NE(load("orvix_test_nvidia", false), nullptr);
    EXPECT_EQ(lines, (Lines{"3 3 Validating " + p, "3 3 Successfully loaded " + p}));
    EXPECT_TRUE(folder.initialised());
}

TEST_F(SignedLoaderWin, TheVendorsSignatureLoadsWithOrWithoutPublisherFacts) {
    const std::string p = path("orvix_test_amd");
    auto library = load("orvix_test_amd");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->getPath(), p);
    EXPECT_EQ(lines, trusted(p, "0A 1B 2C 3D 4E 5F ", "Advanced Micro Devices, Inc.", "3 3 Successfully loaded " + p));
    EXPECT_TRUE(folder.initialised());

    const std::string plain = path("orvix_test_amd_plain");
    EXPECT_NE(load("orvix_test_amd_plain"), nullptr);
    Lines expected = trusted(plain, "0A 1B 2C 3D 4E 5F ", "Advanced Micro Devices, Inc.",
                             "3 3 Successfully loaded " + plain);
    expected[3] = "4 3 More Info Link: ";
    expected[4] = "4 3 Program Name:   ";
    EXPECT_EQ(lines, expected);
}

// Where the vendors' libraries live on a real machine: the system directory.
TEST_F(SignedLoaderWin, FindsALibraryInTheSystemDirectory) {
    char system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    // A system library this process has not loaded: one already loaded is found by name.
    std::string name;
    for (const char* candidate : {"hid.dll", "msimg32.dll", "dciman32.dll", "usp10.dll"}) {
        if (GetModuleHandleA(candidate) == nullptr &&
            GetFileAttributesA((std::string(system) + "\\" + candidate).c_str()) != INVALID_FILE_ATTRIBUTES) {
            name = candidate;
            break;
        }
    }
    ASSERT_FALSE(name.empty());
    orvix::WindowsDynamicLibrary library(name, std::make_unique<RecordingLogger>(4, &lines), std::regex("x"), false,
                                         orvix::ValidationMode::None);
    EXPECT_STRCASEEQ(library.getPath().c_str(), (std::string(system) + "\\" + name).c_str());
}

}  // namespace
