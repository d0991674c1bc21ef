// Trusts the TLS tests' CA in the ROOT store of the Wine prefix the tests run in, and removes
// it again: run only under Wine, where it touches nothing outside the build's own prefix.
//   tls_trust_ca add|remove CA.pem
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Each run's CA has a name of its own that starts with this.
constexpr char kSubject[] = "Pellam Test CA";

std::vector<BYTE> DerOfPem(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  if (pem.empty() ||
      !CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr)) {
    return {};
  }
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                       der.data(), &size, nullptr, nullptr);
  der.resize(size);
  return der;
}

HCERTSTORE OpenRoot(DWORD location) {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, location, "Root");
}

// Removes every test CA, also one left behind by a run that never removed it. Wine keeps no
// deletion from its ROOT stores, so the registry keys that hold them (named by the SHA-1
// thumbprint) go as well.
void RemoveTestCas() {
  for (DWORD location : {CERT_SYSTEM_STORE_CURRENT_USER, CERT_SYSTEM_STORE_LOCAL_MACHINE}) {
    HCERTSTORE store = OpenRoot(location);
    if (!store) continue;
    const CERT_CONTEXT* found = nullptr;
    while ((found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A,
                                               kSubject, found))) {
      BYTE hash[20];
      DWORD size = sizeof hash;
      if (!CertGetCertificateContextProperty(found, CERT_HASH_PROP_ID, hash, &size)) continue;
      std::string key = "Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
      for (DWORD i = 0; i < size; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", hash[i]);
        key += hex;
      }
      for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeA(hive, key.c_str());
    }
    CertCloseStore(store, 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc == 3 ? argv[1] : "";
  if (verb != "add" && verb != "remove") {
    std::fprintf(stderr, "usage: tls_trust_ca add|remove CA.pem\n");
    return 2;
  }
  RemoveTestCas();
  if (verb == "remove") return 0;
  const std::vector<BYTE> der = DerOfPem(argv[2]);
  HCERTSTORE store = OpenRoot(CERT_SYSTEM_STORE_LOCAL_MACHINE);
  const bool added = store && !der.empty() &&
                     CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                      static_cast<DWORD>(der.size()),
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (!added) std::fprintf(stderr, "tls_trust_ca: cannot add %s (%lu)\n", argv[2], GetLastError());
  if (store) CertCloseStore(store, 0);
  return added ? 0 : 1;
}
