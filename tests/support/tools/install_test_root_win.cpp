// orvix_install_test_root ROOT.der: adds a test root CA to the ROOT store of the Wine
// prefix it runs in, so DLLs signed under it verify as trusted. Wine's certutil is a stub,
// hence this program. Adding the same certificate again replaces it.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvix_install_test_root ROOT.der\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<unsigned char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        std::fprintf(stderr, "orvix_install_test_root: cannot read %s\n", argv[1]);
        return 1;
    }
    HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
    if (store == nullptr) {
        std::fprintf(stderr, "orvix_install_test_root: CertOpenSystemStoreA failed (%lu)\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "orvix_install_test_root: CertAddEncodedCertificateToStore failed (0x%08lX)\n", error);
        return 1;
    }
    return 0;
}
