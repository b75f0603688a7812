// The loader against DLLs the build signed (tests/platform/fixtures): unsigned,
// tampered, under an untrusted root, another vendor's, and the vendor's with and without
// publisher facts. The prefix trusts the test root CA (orvix_install_test_root).
#include "platform/dynamic_library.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "loader_test_support.h"
#include "os/authenticode.h"
#include "platform/signature_check.h"
#include "platform/windows_dynamic_library.h"

namespace {

using loader_test::Line;
using loader_test::RecordingLogger;

constexpr int32_t kHr(uint32_t value) { return static_cast<int32_t>(value); }
const char* const kPattern = "Advanced Micro Devices";
const char* const kUrl = "https://orvix.quillon.invalid/test-module";

bool underWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// osslsigncode writes the program name as ASCII text; Wine's decoder reads those bytes as
// UTF-16, so under Wine the program name is whatever that gives and is not compared.
void takeWinesProgramName(const std::vector<Line>& actual, std::vector<Line>& expected) {
    if (!underWine()) return;
    const std::string label = "Program Name:   ";
    for (size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
        if (expected[i].message == label && actual[i].message.rfind(label, 0) == 0) expected[i] = actual[i];
    }
}

class SignedLoaderWin : public testing::Test {
protected:
    void SetUp() override {
        // The test main sends HKEY_LOCAL_MACHINE to a private key, but wintrust and crypt32
        // find their trust providers and decoders there: without them Wine's WinVerifyTrust
        // answers 0 even for an unsigned file.
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    }

    std::string path(const std::string& stem) const {
        return loader_test::executableDirectory() + "\\" + loader_test::libraryFile(stem);
    }
    std::unique_ptr<orvix::IDynamicLibrary> load(const std::string& stem, bool validateSubject = true) {
        auto logger = std::make_unique<RecordingLogger>(lines);
        logger->defaultCode = 3;
        return orvix::loadSignedLibrary(loader_test::libraryFile(stem), std::move(logger), kPattern, validateSubject);
    }
    // The lines that a refused trust check leaves in mode SignatureAndSubject.
    std::vector<Line> refused(const std::string& p, const std::string& verdict, int32_t code) const {
        return {{"Validating " + p, 3, 3},
                {verdict, 1, code},
                {"Failed to read embedded signature of " + p + " Library signature not validated!", 1, 0},
                {"Reading embedded signature of " + p + " failed", 1, 0}};
    }
    std::vector<Line> facts(const std::string& p, const std::string& issuer, const std::string& moreInfo,
                            const std::string& program, const std::string& serial, const std::string& subject) const {
        return {{"Certificate / signature info for " + p, 4, 3},
                {"Issuer Name:    " + issuer, 4, 3},
                {"More Info Link: " + moreInfo, 4, 3},
                {"Program Name:   " + program, 4, 3},
                {"Publisher Link: ", 4, 3},
                {"Serial Number:  " + serial, 4, 3},
                {"Subject Name:   " + subject, 4, 3}};
    }

    loader_test::TestFolder folder;
    std::shared_ptr<std::vector<Line>> lines = std::make_shared<std::vector<Line>>();
};

TEST_F(SignedLoaderWin, UnsignedIsRefusedAndNeverRuns) {
    const std::string p = path("orvix_test_unsigned");
    const orvix::os::TrustCheck check = orvix::os::authenticode_verify_file(p.c_str());
    EXPECT_EQ(check.status, kHr(0x800B0100));
    EXPECT_EQ(check.lastError, 0x800B0100u);
    EXPECT_EQ(check.closeStatus, 0);

    EXPECT_EQ(load("orvix_test_unsigned"), nullptr);
    EXPECT_EQ(*lines, refused(p, "The file " + p + " is not signed.", kHr(0x800B0100)));

    lines->clear();
    EXPECT_EQ(load("orvix_test_unsigned", false), nullptr);
    EXPECT_EQ(*lines, (std::vector<Line>{{"Validating " + p, 3, 3},
                                         {"The file " + p + " is not signed.", 1, kHr(0x800B0100)}}));
    // Path resolution loaded it twice without running DllMain.
    EXPECT_FALSE(folder.initialised());

    // Read without the trust check, it has no signature to query.
    orvix::SignatureInfo info;
    lines->clear();
    EXPECT_FALSE(orvix::readSignatureFacts(*std::make_unique<RecordingLogger>(lines), p, info));
    ASSERT_EQ(lines->size(), 1u);
    EXPECT_EQ(lines->front().message, "CryptQueryObject failed");
    EXPECT_NE(lines->front().code, 0);
}

TEST_F(SignedLoaderWin, TamperedAndUntrustedRootAreRefused) {
    const std::string tampered = path("orvix_test_tampered");
    EXPECT_EQ(load("orvix_test_tampered"), nullptr);
    EXPECT_EQ(*lines, refused(tampered, "The file " + tampered + " is untrusted Error code -2146869232",
                              kHr(0x80096010)));

    // An attacker's certificate with the vendor's name, under a root nobody trusts.
    const std::string forged = path("orvix_test_forged");
    lines->clear();
    EXPECT_EQ(load("orvix_test_forged"), nullptr);
    EXPECT_EQ(*lines, refused(forged, "The file " + forged + " is untrusted Error code -2146762487",
                              kHr(0x800B0109)));
    EXPECT_FALSE(folder.initialised());
}

TEST_F(SignedLoaderWin, AnotherVendorsTrustedSignatureFailsTheSubjectCheckOnly) {
    const std::string p = path("orvix_test_nvidia");
    const std::string program = underWine() ? "" : "Orvix Test Module";
    EXPECT_EQ(load("orvix_test_nvidia"), nullptr);
    std::vector<Line> expected{{"Validating " + p, 3, 3}};
    for (const Line& line : facts(p, "Quillon Test Root CA", kUrl, program, "01 AB ", "NVIDIA Corporation")) {
        expected.push_back(line);
    }
    expected.push_back({"Failed to match subject name NVIDIA Corporation Against provided regex for library " + p, 3, 3});
    takeWinesProgramName(*lines, expected);
    EXPECT_EQ(*lines, expected);
    EXPECT_FALSE(folder.initialised());

    // Without the subject check its trusted signature is enough.
    lines->clear();
    auto library = load("orvix_test_nvidia", false);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(*lines, (std::vector<Line>{{"Validating " + p, 3, 3}, {"Successfully loaded " + p, 3, 3}}));
    EXPECT_TRUE(folder.initialised());
}

TEST_F(SignedLoaderWin, TheVendorsSignatureLoadsAndHandsOutExports) {
    const std::string p = path("orvix_test_amd");
    auto library = load("orvix_test_amd");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->getPath(), p);
    const std::string program = underWine() ? "" : "Orvix Test Module";
    std::vector<Line> expected{{"Validating " + p, 3, 3}};
    for (const Line& line :
         facts(p, "Quillon Test Root CA", kUrl, program, "0A 1B 2C 3D 4E 5F ", "Advanced Micro Devices, Inc.")) {
        expected.push_back(line);
    }
    expected.push_back({"Successfully loaded " + p, 3, 3});
    takeWinesProgramName(*lines, expected);
    EXPECT_EQ(*lines, expected);
    EXPECT_TRUE(folder.initialised());

    lines->clear();
    void* answer = library->getFunction("orvix_test_answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(answer)(), 42);
    ASSERT_EQ(lines->size(), 1u);
    EXPECT_EQ(lines->front().message.rfind("Found function orvix_test_answer @ ", 0), 0u) << lines->front();
    EXPECT_EQ(library->getFunction("orvix_test_missing"), nullptr);
    EXPECT_EQ(library->getFunction(""), nullptr);
    EXPECT_EQ(lines->size(), 1u);
}

TEST_F(SignedLoaderWin, ASignatureWithoutPublisherFactsStillLoads) {
    const std::string p = path("orvix_test_amd_plain");
    orvix::SignatureInfo info;
    ASSERT_TRUE(orvix::readEmbeddedSignature(*std::make_unique<RecordingLogger>(lines), p, info));
    EXPECT_EQ(info.programName, "");
    EXPECT_EQ(info.publisherLink, "");
    EXPECT_EQ(info.moreInfoLink, "");
    EXPECT_EQ(info.serialNumber, "0A 1B 2C 3D 4E 5F ");
    EXPECT_EQ(info.issuerName, "Quillon Test Root CA");
    EXPECT_EQ(info.subjectName, "Advanced Micro Devices, Inc.");

    lines->clear();
    EXPECT_NE(load("orvix_test_amd_plain"), nullptr);
    EXPECT_EQ(lines->back(), (Line{"Successfully loaded " + p, 3, 3}));
    EXPECT_EQ(lines->size(), 9u);
}

TEST_F(SignedLoaderWin, SearchesTheSystemDirectoryUnlessToldToStayInTheApplicationDirectory) {
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
    try {
        orvix::WindowsDynamicLibrary own(name, std::make_unique<RecordingLogger>(lines), std::regex("x"), true,
                                         orvix::ValidationMode::None);
        FAIL() << "found " << own.getPath() << " in the application directory";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to load the library");
    }

    orvix::WindowsDynamicLibrary library(name, std::make_unique<RecordingLogger>(lines), std::regex("x"),
                                         false, orvix::ValidationMode::None);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, library.getPath().c_str(), -1,
                             (std::string(system) + "\\" + name).c_str(), -1),
              CSTR_EQUAL)
        << library.getPath();
}

}  // namespace
