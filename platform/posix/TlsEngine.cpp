// The TLS engine on POSIX systems: OpenSSL over two memory BIOs, trusting the system's roots
// (OpenSSL's default paths, which SSL_CERT_FILE and SSL_CERT_DIR may point elsewhere).
#include "platform/TlsEngine.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>
#include <string>

namespace platform {

namespace {

struct SslContextFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// The reason of the newest error on this thread's OpenSSL queue, which is then emptied.
std::string LastReason(const char* otherwise) {
  const unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : otherwise;
}

std::string CertificateFailure(long result) {
  switch (result) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return tls_text::kOtherHost;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return tls_text::kExpired;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return tls_text::kNotTrusted;
    default:
      return tls_text::kRejected + std::string(X509_verify_cert_error_string(result));
  }
}

class OpenSslEngine final : public TlsEngine {
 public:
  explicit OpenSslEngine(const TlsServerName& name) {
    context_.reset(SSL_CTX_new(TLS_client_method()));
    if (!context_) throw std::runtime_error("TLS: OpenSSL cannot make a client context");
    SSL_CTX_set_min_proto_version(context_.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(context_.get(), SSL_VERIFY_PEER, nullptr);
    // Without roots every certificate fails as untrusted, which is what the user then reads.
    SSL_CTX_set_default_verify_paths(context_.get());

    ssl_.reset(SSL_new(context_.get()));
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (!ssl_ || !in || !out) {
      BIO_free(in);
      BIO_free(out);
      throw std::runtime_error("TLS: OpenSSL cannot make a session");
    }
    // An empty input BIO means "more to come", never end of file.
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(ssl_.get(), in, out);
    in_ = in;
    out_ = out;

    bool named = false;
    if (name.address) {
      named = X509_VERIFY_PARAM_set1_ip(SSL_get0_param(ssl_.get()), name.address->data(),
                                        name.address->size()) == 1;
    } else {
      SSL_set_hostflags(ssl_.get(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      named = SSL_set1_host(ssl_.get(), name.host.c_str()) == 1 &&
              SSL_ctrl(ssl_.get(), SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                       const_cast<char*>(name.host.c_str())) == 1;
    }
    if (!named) throw std::runtime_error("TLS: OpenSSL cannot take the server name");
    SSL_set_connect_state(ssl_.get());
  }

  void Start(std::string& output) {
    Handshake();
    Drain(output);
  }

  TlsState Feed(std::string_view received, std::string& output, std::string& plaintext) override {
    while (!received.empty()) {
      const int piece = static_cast<int>(std::min<std::size_t>(received.size(), INT_MAX));
      if (BIO_write(in_, received.data(), piece) != piece) {
        throw TlsFailure(tls_text::kConnectionFailed + std::string("out of memory"));
      }
      received.remove_prefix(static_cast<std::size_t>(piece));
    }
    TlsState state = TlsState::Handshaking;
    try {
      if (!established_) established_ = Handshake();
      if (established_) state = Read(plaintext);
    } catch (const TlsFailure&) {
      Drain(output);  // the alert that tells the server why
      throw;
    }
    Drain(output);
    return state;
  }

  void Encrypt(std::string_view plaintext, std::string& output) override {
    while (!plaintext.empty()) {
      std::size_t written = 0;
      if (SSL_write_ex(ssl_.get(), plaintext.data(), plaintext.size(), &written) != 1) {
        throw TlsFailure(tls_text::kConnectionFailed + LastReason("the record cannot be made"));
      }
      plaintext.remove_prefix(written);
      Drain(output);
    }
  }

  void Close(std::string& output) override {
    SSL_shutdown(ssl_.get());
    ERR_clear_error();
    Drain(output);
  }

  std::string Protocol() const override {
    switch (SSL_version(ssl_.get())) {
      case TLS1_2_VERSION:
        return "TLS 1.2";
      case TLS1_3_VERSION:
        return "TLS 1.3";
      default:
        return std::string();
    }
  }

 private:
  // True once the handshake is complete; false while it waits for the server.
  bool Handshake() {
    const int result = SSL_do_handshake(ssl_.get());
    if (result == 1) return true;
    if (SSL_get_error(ssl_.get(), result) == SSL_ERROR_WANT_READ) return false;
    const long verified = SSL_get_verify_result(ssl_.get());
    if (verified != X509_V_OK) {
      ERR_clear_error();
      throw TlsFailure(CertificateFailure(verified));
    }
    throw TlsFailure(tls_text::kHandshakeFailed + LastReason("the server's answer was refused"));
  }

  TlsState Read(std::string& plaintext) {
    constexpr std::size_t kChunk = 16 * 1024;  // the most one record holds
    for (;;) {
      const std::size_t before = plaintext.size();
      plaintext.resize(before + kChunk);
      std::size_t got = 0;
      const int result = SSL_read_ex(ssl_.get(), plaintext.data() + before, kChunk, &got);
      plaintext.resize(before + got);
      if (result == 1) continue;
      switch (SSL_get_error(ssl_.get(), result)) {
        case SSL_ERROR_WANT_READ:
          return TlsState::Established;
        case SSL_ERROR_ZERO_RETURN:
          return TlsState::Closed;
        default:
          throw TlsFailure(tls_text::kConnectionFailed +
                           LastReason("a record from the server was refused"));
      }
    }
  }

  void Drain(std::string& output) {
    const std::size_t pending = BIO_ctrl_pending(out_);
    if (pending == 0) return;
    const std::size_t before = output.size();
    output.resize(before + pending);
    const int got = BIO_read(out_, output.data() + before, static_cast<int>(pending));
    output.resize(before + static_cast<std::size_t>(std::max(got, 0)));
  }

  std::unique_ptr<SSL_CTX, SslContextFree> context_;
  std::unique_ptr<SSL, SslFree> ssl_;
  BIO* in_ = nullptr;   // owned by ssl_
  BIO* out_ = nullptr;  // owned by ssl_
  bool established_ = false;
};

}  // namespace

std::unique_ptr<TlsEngine> StartTlsEngine(const TlsServerName& name, std::string& output) {
  auto engine = std::make_unique<OpenSslEngine>(name);
  engine->Start(output);
  return engine;
}

}  // namespace platform
