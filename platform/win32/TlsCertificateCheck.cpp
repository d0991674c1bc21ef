// The check of a server's certificate once SChannel's handshake is complete: its chain against
// the system's trusted roots, and the host name or IP address it must name. SChannel is asked
// to leave this to us, so that it is the same wherever SChannel runs and fails with a reason.
#include "platform/win32/TlsCertificateCheck.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace platform::win32 {

namespace {

struct CertificateFree {
  void operator()(const CERT_CONTEXT* certificate) const {
    CertFreeCertificateContext(certificate);
  }
};
struct ChainFree {
  void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};
struct LocalMemoryFree {
  void operator()(void* memory) const { LocalFree(memory); }
};

// Chains that end at no root the system trusts, or hold a certificate it distrusts.
constexpr DWORD kNotTrustedChain = CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_UNTRUSTED_ROOT |
                                   CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_CYCLIC |
                                   CERT_TRUST_IS_EXPLICIT_DISTRUST;

std::string Rejected(const char* why) {
  return tls_text::kRejected + std::string(why);
}

std::string PolicyFailure(DWORD error) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_UNTRUSTEDTESTROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
      return tls_text::kNotTrusted;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return tls_text::kOtherHost;
    case static_cast<DWORD>(CERT_E_EXPIRED):
    case static_cast<DWORD>(CERT_E_VALIDITYPERIODNESTING):
      return tls_text::kExpired;
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
      return Rejected("it is not meant for servers");
    case static_cast<DWORD>(CERT_E_REVOKED):
      return Rejected("it has been revoked");
    default: {
      char code[32];
      std::snprintf(code, sizeof code, "error 0x%08lX", static_cast<unsigned long>(error));
      return Rejected(code);
    }
  }
}

// Whether the certificate's subject alternative names hold this IP address. Only an IP entry
// counts: a DNS entry that spells the address does not name it.
bool NamesAddress(const CERT_CONTEXT& certificate, const IPv4Address& address) {
  const CERT_INFO& info = *certificate.pCertInfo;
  const CERT_EXTENSION* extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info.cExtension, info.rgExtension);
  if (!extension) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                           &size)) {
    return false;
  }
  const std::unique_ptr<CERT_ALT_NAME_INFO, LocalMemoryFree> owned(names);
  for (DWORD i = 0; i < names->cAltEntry; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
        entry.IPAddress.cbData == address.size() &&
        std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

void CheckServerCertificate(CtxtHandle& context, const TlsServerName& name) {
  const CERT_CONTEXT* received = nullptr;
  if (QueryContextAttributesA(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &received) != SEC_E_OK ||
      !received) {
    throw TlsFailure("TLS: the server sent no certificate");
  }
  const std::unique_ptr<const CERT_CONTEXT, CertificateFree> certificate(received);

  LPSTR serverUse[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = serverUse;
  const CERT_CHAIN_CONTEXT* built = nullptr;
  // The certificates the server sent are in the certificate's own store.
  if (!CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate->hCertStore,
                               &chainPara, 0, nullptr, &built)) {
    throw TlsFailure(Rejected("its chain cannot be built"));
  }
  const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree> chain(built);

  // Host names are ASCII (CheckableName), so widening byte by byte is exact. An address is
  // checked below instead: the policy compares names only.
  std::wstring wideHost(name.host.begin(), name.host.end());
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA sslPara{};
  sslPara.cbSize = sizeof sslPara;
  sslPara.dwAuthType = AUTHTYPE_SERVER;
  sslPara.pwszServerName = name.address ? nullptr : wideHost.data();
  CERT_CHAIN_POLICY_PARA policyPara{};
  policyPara.cbSize = sizeof policyPara;
  policyPara.pvExtraPolicyPara = &sslPara;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policyPara, &status)) {
    throw TlsFailure(Rejected("the system could not check it"));
  }
  if (status.dwError != 0) throw TlsFailure(PolicyFailure(status.dwError));
  // Wine's SSL policy passes a chain that ends at no trusted root: judge the chain itself too.
  const DWORD chainErrors = chain->TrustStatus.dwErrorStatus;
  if (chainErrors & kNotTrustedChain) throw TlsFailure(tls_text::kNotTrusted);
  if (chainErrors & CERT_TRUST_IS_NOT_TIME_VALID) throw TlsFailure(tls_text::kExpired);
  if (chainErrors & CERT_TRUST_IS_REVOKED) throw TlsFailure(Rejected("it has been revoked"));
  if (chainErrors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) {
    throw TlsFailure(Rejected("it is not meant for servers"));
  }
  if (name.address && !NamesAddress(*certificate, *name.address)) {
    throw TlsFailure(tls_text::kOtherHost);
  }
}

}  // namespace platform::win32
