#include "tls_link.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <cerrno>
#include <utility>

namespace nimbara::usbmuxsim {

namespace {

// The first byte of a TLS record after the handshake: an alert (TLS 1.2) or an encrypted record
// (TLS 1.3 wraps its alerts too). A plain frame never starts so: its length would be far over
// the longest frame.
constexpr std::uint8_t kRecordAlert = 0x15;
constexpr std::uint8_t kRecordApplicationData = 0x17;

// The device's certificate, key and server settings, made at the first handshake.
class ServerContext {
  public:
    static const ServerContext& instance() {
        static const ServerContext context;
        return context;
    }
    ~ServerContext() { SSL_CTX_free(ctx_); }
    SSL_CTX* get() const { return ctx_; }
    const std::string& error() const { return error_; }

  private:
    ServerContext() {
        EVP_PKEY* key = EVP_RSA_gen(2048);
        X509* certificate = X509_new();
        ctx_ = SSL_CTX_new(TLS_server_method());
        if (!key || !certificate || !ctx_ || !selfSign(certificate, key) ||
            SSL_CTX_use_certificate(ctx_, certificate) != 1 ||
            SSL_CTX_use_PrivateKey(ctx_, key) != 1 ||
            SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION) != 1) {
            error_ = "the device's certificate could not be made";
            SSL_CTX_free(ctx_);
            ctx_ = nullptr;
        } else {
            // Hosts' pair records carry old, small certificates: strength is not the point here.
            SSL_CTX_set_security_level(ctx_, 0);
            SSL_CTX_set_num_tickets(ctx_, 0);
            SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_OFF);
            // The client's certificate is asked for and compared afterwards, not verified.
            SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, [](int, X509_STORE_CTX*) { return 1; });
        }
        X509_free(certificate);
        EVP_PKEY_free(key);
    }

    static bool selfSign(X509* certificate, EVP_PKEY* key) {
        constexpr long kTenYears = 10L * 365 * 24 * 3600;
        X509_NAME* name = X509_get_subject_name(certificate);
        static const unsigned char kName[] = "Simulated device";
        return X509_set_version(certificate, 2) == 1 &&
               ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1) == 1 &&
               X509_gmtime_adj(X509_getm_notBefore(certificate), -3600) &&
               X509_gmtime_adj(X509_getm_notAfter(certificate), kTenYears) &&
               X509_set_pubkey(certificate, key) == 1 &&
               X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, kName, -1, -1, 0) == 1 &&
               X509_set_issuer_name(certificate, name) == 1 &&
               X509_sign(certificate, key, EVP_sha256()) > 0;
    }

    SSL_CTX* ctx_ = nullptr;
    std::string error_;
};

std::string lastError(SSL* ssl, int rc) {
    const int kind = SSL_get_error(ssl, rc);
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code != 0) {
        const char* reason = ERR_reason_error_string(code);
        return reason ? reason : "TLS error " + std::to_string(code);
    }
    if (kind == SSL_ERROR_SYSCALL || kind == SSL_ERROR_ZERO_RETURN) {
        return "the peer closed during the handshake";
    }
    return "TLS error " + std::to_string(kind);
}

// Whether an SSL call that returned `rc` is to be made again.
bool retry(SSL* ssl, int rc) {
    const int kind = SSL_get_error(ssl, rc);
    return kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE ||
           (kind == SSL_ERROR_SYSCALL && errno == EINTR);
}

// Whether the client presented one of `certificates` (PEM).
bool presentedOneOf(SSL* ssl, const std::vector<std::vector<std::uint8_t>>& certificates) {
    X509* peer = SSL_get0_peer_certificate(ssl);
    if (!peer) {
        return false;
    }
    for (const auto& pem : certificates) {
        BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
        X509* certificate = bio ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr;
        BIO_free(bio);
        const bool same = certificate && X509_cmp(peer, certificate) == 0;
        X509_free(certificate);
        if (same) {
            return true;
        }
    }
    ERR_clear_error();
    return false;
}

}  // namespace

std::unique_ptr<TlsLink> TlsLink::accept(
    int fd, const std::vector<std::vector<std::uint8_t>>& clientCertificates, std::string& error) {
    const ServerContext& context = ServerContext::instance();
    if (!context.get()) {
        error = context.error();
        return nullptr;
    }
    SSL* ssl = SSL_new(context.get());
    if (!ssl || SSL_set_fd(ssl, fd) != 1) {
        SSL_free(ssl);
        error = "no TLS state could be made";
        return nullptr;
    }
    ERR_clear_error();
    int rc = 0;
    while ((rc = SSL_accept(ssl)) != 1 && retry(ssl, rc)) {
    }
    if (rc != 1) {
        error = lastError(ssl, rc);
        SSL_free(ssl);
        return nullptr;
    }
    if (!clientCertificates.empty() && !presentedOneOf(ssl, clientCertificates)) {
        error = "the client's certificate is not one of its pair record";
        SSL_free(ssl);
        return nullptr;
    }
    return std::unique_ptr<TlsLink>(new TlsLink(ssl, fd));
}

TlsLink::~TlsLink() {
    SSL_free(ssl_);
    ERR_clear_error();
}

bool TlsLink::readExactly(void* buffer, std::size_t length) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t got = 0;
    while (got < length) {
        const std::size_t n = readSome(bytes + got, length - got);
        if (n == 0) {
            return false;
        }
        got += n;
    }
    return true;
}

std::size_t TlsLink::readSome(void* buffer, std::size_t length) {
    if (length == 0) {
        return 0;
    }
    for (;;) {
        std::size_t got = 0;
        const int rc = SSL_read_ex(ssl_, buffer, length, &got);
        if (rc == 1) {
            return got;
        }
        if (!retry(ssl_, rc)) {
            ERR_clear_error();
            return 0;
        }
    }
}

bool TlsLink::writeAll(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < length) {
        std::size_t written = 0;
        const int rc = SSL_write_ex(ssl_, bytes + done, length - done, &written);
        if (rc == 1) {
            done += written;
        } else if (!retry(ssl_, rc)) {
            ERR_clear_error();
            return false;
        }
    }
    return true;
}

bool TlsLink::hasPending() const {
    return SSL_pending(ssl_) > 0;
}

void TlsLink::closeNotify() {
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

bool TlsLink::leaveForPlainText() {
    if (hasPending()) {
        return false;
    }
    std::uint8_t first = 0;
    ssize_t n = 0;
    do {
        n = ::recv(fd_, &first, 1, MSG_PEEK);
    } while (n < 0 && errno == EINTR);
    if (n <= 0 || (first != kRecordAlert && first != kRecordApplicationData)) {
        return true;  // the end, or plain text: the caller reads it
    }
    std::uint8_t byte = 0;
    std::size_t got = 0;
    const int rc = SSL_read_ex(ssl_, &byte, 1, &got);
    const bool closed = rc != 1 && SSL_get_error(ssl_, rc) == SSL_ERROR_ZERO_RETURN;
    ERR_clear_error();
    return closed;
}

std::string TlsLink::version() const {
    return SSL_get_version(ssl_);
}

HandshakeLog::Pending::Pending(Pending&& other) noexcept
    : log_(std::exchange(other.log_, nullptr)), link_(std::move(other.link_)) {}

HandshakeLog::Pending& HandshakeLog::Pending::operator=(Pending&& other) noexcept {
    if (this != &other) {
        if (log_) {
            log_->finish(link_, {}, {}, false);
        }
        log_ = std::exchange(other.log_, nullptr);
        link_ = std::move(other.link_);
    }
    return *this;
}

HandshakeLog::Pending::~Pending() {
    if (log_) {
        log_->finish(link_, {}, {}, false);
    }
}

void HandshakeLog::Pending::done(const std::string& version, const std::string& error) {
    if (log_) {
        std::exchange(log_, nullptr)->finish(link_, version, error, true);
    }
}

HandshakeLog::Pending HandshakeLog::begin(const std::string& link) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++underWay_;
    return Pending(this, link);
}

void HandshakeLog::finish(const std::string& link, const std::string& version,
                          const std::string& error, bool record) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (record) {
        PlistValue entry = PlistValue::dict();
        entry["Link"] = link;
        if (version.empty()) {
            entry["Error"] = error;
        } else {
            entry["Version"] = version;
        }
        records_.append(std::move(entry));
    }
    --underWay_;
    idle_.notify_all();
}

PlistValue HandshakeLog::records(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait_for(lock, limit, [this] { return underWay_ == 0; });
    return records_;
}

}  // namespace nimbara::usbmuxsim
