// The TLS engine on Windows: SChannel through SSPI in stream mode, over the session's buffers.
// SChannel is told to leave the certificate to TlsCertificateCheck, which checks it as soon as
// the handshake is complete.
#include "platform/TlsEngine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32/Sspi.h"
#include "platform/win32/TlsCertificateCheck.h"

namespace platform {

namespace {

constexpr ULONG kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kCredentialFlags =
    SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr DWORD kProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;

constexpr DWORD kOlderProtocols =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;

constexpr std::size_t kRecordHeader = 5;
constexpr unsigned char kAlertRecord = 21;

// SChannel's status codes in words, with the code for whoever looks further.
std::string StatusText(SECURITY_STATUS status) {
  const char* words = "the system's TLS refused it";
  switch (status) {
    case SEC_E_ILLEGAL_MESSAGE:
    case SEC_E_INVALID_TOKEN:
      words = "the server's message is not valid TLS";
      break;
    case SEC_E_ALGORITHM_MISMATCH:
      words = "the server offers no protocol version or cipher that this system accepts";
      break;
    case SEC_E_MESSAGE_ALTERED:
    case SEC_E_DECRYPT_FAILURE:
      words = "a record failed its integrity check";
      break;
    case SEC_E_UNSUPPORTED_FUNCTION:
      words = "the server asked for something that this system does not do";
      break;
    case SEC_E_INTERNAL_ERROR:
      words = "the system's TLS reported an internal error";
      break;
    default:
      break;
  }
  char code[24];
  std::snprintf(code, sizeof code, " (0x%08lX)", static_cast<unsigned long>(status));
  return words + std::string(code);
}

// A buffer SChannel allocated (ISC_REQ_ALLOCATE_MEMORY), appended and freed.
void TakeToken(SecBuffer& buffer, std::string& output) {
  if (buffer.pvBuffer && buffer.cbBuffer > 0) {
    output.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
  }
  if (buffer.pvBuffer) FreeContextBuffer(buffer.pvBuffer);
  buffer.pvBuffer = nullptr;
}

class SchannelEngine final : public TlsEngine {
 public:
  explicit SchannelEngine(const TlsServerName& name) : name_(name) { AcquireCredentials(); }
  ~SchannelEngine() override {
    if (haveContext_) DeleteSecurityContext(&context_);
    FreeCredentialsHandle(&credentials_);
  }
  SchannelEngine(const SchannelEngine&) = delete;
  SchannelEngine& operator=(const SchannelEngine&) = delete;

  void Start(std::string& output) {
    if (!Handshake(output, true)) return;
    throw std::runtime_error("TLS: the system's TLS ended a handshake that had not begun");
  }

  TlsState Feed(std::string_view received, std::string& output, std::string& plaintext) override {
    input_.append(received);
    if (inHandshake_) {
      if (!Handshake(output, false)) {
        return established_ ? TlsState::Established : TlsState::Handshaking;
      }
      Completed();
    }
    return Decrypt(output, plaintext);
  }

  void Encrypt(std::string_view plaintext, std::string& output) override {
    const std::size_t header = sizes_.cbHeader;
    const std::size_t trailer = sizes_.cbTrailer;
    while (!plaintext.empty()) {
      const std::size_t piece = std::min<std::size_t>(plaintext.size(), sizes_.cbMaximumMessage);
      const std::size_t start = output.size();
      output.resize(start + header + piece + trailer);
      char* record = output.data() + start;
      std::memcpy(record + header, plaintext.data(), piece);
      SecBuffer buffers[4] = {
          {static_cast<ULONG>(header), SECBUFFER_STREAM_HEADER, record},
          {static_cast<ULONG>(piece), SECBUFFER_DATA, record + header},
          {static_cast<ULONG>(trailer), SECBUFFER_STREAM_TRAILER, record + header + piece},
          {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
      const SECURITY_STATUS status = EncryptMessage(&context_, 0, &message, 0);
      if (status != SEC_E_OK) {
        output.resize(start);
        throw TlsFailure(tls_text::kConnectionFailed + StatusText(status));
      }
      // The trailer is often shorter than its room: close the record up behind what was used.
      std::size_t used = 0;
      for (int i = 0; i < 3; ++i) {
        if (buffers[i].pvBuffer != record + used) {
          std::memmove(record + used, buffers[i].pvBuffer, buffers[i].cbBuffer);
        }
        used += buffers[i].cbBuffer;
      }
      output.resize(start + used);
      plaintext.remove_prefix(piece);
    }
  }

  void Close(std::string& output) override {
    DWORD kind = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof kind, SECBUFFER_TOKEN, &kind};
    SecBufferDesc controls{SECBUFFER_VERSION, 1, &control};
    // Where the system's TLS has no shutdown control, the session ends with the connection.
    if (ApplyControlToken(&context_, &controls) != SEC_E_OK) return;
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc tokens{SECBUFFER_VERSION, 1, &token};
    ULONG attributes = 0;
    InitializeSecurityContextA(&credentials_, &context_, Target(), kRequest, 0, 0, nullptr, 0,
                               nullptr, &tokens, &attributes, nullptr);
    TakeToken(token, output);
  }

  std::string Protocol() const override {
    SecPkgContext_ConnectionInfo info{};
    if (QueryContextAttributesA(const_cast<CtxtHandle*>(&context_), SECPKG_ATTR_CONNECTION_INFO,
                                &info) != SEC_E_OK) {
      return std::string();
    }
    if (info.dwProtocol & SP_PROT_TLS1_3_CLIENT) return "TLS 1.3";
    if (info.dwProtocol & SP_PROT_TLS1_2_CLIENT) return "TLS 1.2";
    return std::string();
  }

 private:
  void AcquireCredentials() {
    // The newer structure, where TLS 1.3 is offered; systems that predate it refuse it and get
    // the older one, which offers TLS 1.2 only. (Wine 8 takes the newer one and ignores its
    // parameters: Completed() refuses the older versions that it may then agree.)
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols = ~kProtocols;
    SCH_CREDENTIALS modern{};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = kCredentialFlags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    SECURITY_STATUS status = Acquire(&modern);
    if (status == SEC_E_OK) return;
    SCHANNEL_CRED legacy{};
    legacy.dwVersion = SCHANNEL_CRED_VERSION;
    legacy.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    legacy.dwFlags = kCredentialFlags;
    status = Acquire(&legacy);
    if (status != SEC_E_OK) {
      throw std::runtime_error("TLS: the system's TLS cannot be set up: " + StatusText(status));
    }
  }

  SECURITY_STATUS Acquire(void* credentialData) {
    return AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                     nullptr, credentialData, nullptr, nullptr, &credentials_,
                                     nullptr);
  }

  // No server name indication for an address: RFC 6066 allows host names only.
  SEC_CHAR* Target() { return name_.address ? nullptr : name_.host.data(); }

  // Runs the handshake over what has arrived; true once SChannel has completed it. `always`
  // calls SChannel even with nothing received, as the first call and a server's request for
  // a new handshake need.
  bool Handshake(std::string& output, bool always) {
    bool askedForCertificate = false;
    while (always || !input_.empty()) {
      always = false;
      SecBuffer in[2] = {{static_cast<ULONG>(input_.size()), SECBUFFER_TOKEN, input_.data()},
                         {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
      SecBuffer out[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_ALERT, nullptr}};
      SecBufferDesc outDesc{SECBUFFER_VERSION, 2, out};
      ULONG attributes = 0;
      const bool first = !haveContext_;
      const SECURITY_STATUS status =
          InitializeSecurityContextA(&credentials_, first ? nullptr : &context_, Target(), kRequest,
                                     0, 0, first ? nullptr : &inDesc, 0,
                                     first ? &context_ : nullptr, &outDesc, &attributes, nullptr);
      TakeToken(out[0], output);
      TakeToken(out[1], output);
      if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) haveContext_ = true;

      if (status == SEC_E_INCOMPLETE_MESSAGE) return false;
      if (status == SEC_I_INCOMPLETE_CREDENTIALS && !askedForCertificate) {
        askedForCertificate = true;  // we have none to give: call again to go on without
        always = true;
        continue;
      }
      if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
        const char* prefix =
            established_ ? tls_text::kConnectionFailed : tls_text::kHandshakeFailed;
        throw TlsFailure(prefix + StatusText(status));
      }
      std::size_t taken = 0;
      if (!first) {
        const std::size_t extra = in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0;
        taken = input_.size() - std::min<std::size_t>(extra, input_.size());
        input_.erase(0, taken);
      }
      if (status == SEC_E_OK) return true;
      if (taken == 0) return false;  // SChannel waits for more, whatever it said
    }
    return false;
  }

  // The handshake (or a later one the server asked for) is complete.
  void Completed() {
    SecPkgContext_ConnectionInfo info{};
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK &&
        (info.dwProtocol & kOlderProtocols) != 0) {
      throw TlsFailure(tls_text::kHandshakeFailed +
                       std::string("the server offers no TLS version newer than 1.1"));
    }
    win32::CheckServerCertificate(context_, name_);
    const SECURITY_STATUS status =
        QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK) throw TlsFailure(tls_text::kHandshakeFailed + StatusText(status));
    established_ = true;
    inHandshake_ = false;
  }

  // Decrypts every whole record received, one per call: SChannel then never sees a header cut
  // short (Wine's reads the length of a record from fewer bytes than a header holds).
  TlsState Decrypt(std::string& output, std::string& plaintext) {
    std::size_t pos = 0;
    while (input_.size() - pos >= kRecordHeader) {
      char* record = input_.data() + pos;
      const auto* head = reinterpret_cast<const unsigned char*>(record);
      const unsigned char type = head[0];
      const std::size_t length = kRecordHeader + (std::size_t{head[3]} << 8 | head[4]);
      if (input_.size() - pos < length) break;
      SecBuffer buffers[4] = {{static_cast<ULONG>(length), SECBUFFER_DATA, record},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
      const SECURITY_STATUS status = DecryptMessage(&context_, &message, 0, nullptr);
      if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
        throw TlsFailure(tls_text::kConnectionFailed + StatusText(status));
      }
      std::size_t extra = 0;
      std::size_t decrypted = 0;
      for (const SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer && buffer.cbBuffer > 0) {
          plaintext.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
          decrypted += buffer.cbBuffer;
        }
        if (buffer.BufferType == SECBUFFER_EXTRA) extra = buffer.cbBuffer;
      }
      pos += length - std::min(extra, length);
      // Windows reports close_notify as an expired context; Wine as an alert record that
      // decrypts to nothing (every other alert fails there).
      if (status == SEC_I_CONTEXT_EXPIRED ||
          (status == SEC_E_OK && type == kAlertRecord && decrypted == 0)) {
        input_.clear();
        return TlsState::Closed;
      }
      if (status == SEC_I_RENEGOTIATE) {
        // A message of the handshake after it (a TLS 1.3 ticket or key update, or a request
        // for a new handshake): SChannel takes it, and what follows, through the handshake.
        input_.erase(0, pos);
        pos = 0;
        inHandshake_ = true;
        if (!Handshake(output, true)) return TlsState::Established;
        Completed();
      }
    }
    input_.erase(0, pos);
    return TlsState::Established;
  }

  TlsServerName name_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveContext_ = false;
  bool established_ = false;
  bool inHandshake_ = true;  // the first handshake, or one the server asked for later
  SecPkgContext_StreamSizes sizes_{};
  std::string input_;  // received, not yet taken by SChannel
};

}  // namespace

std::unique_ptr<TlsEngine> StartTlsEngine(const TlsServerName& name, std::string& output) {
  auto engine = std::make_unique<SchannelEngine>(name);
  engine->Start(output);
  return engine;
}

}  // namespace platform
