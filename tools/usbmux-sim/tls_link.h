// TLS as the simulated device speaks it, the server's side (OpenSSL): TLS 1.2 or later only, with
// a certificate and key of the device's own (made once per process; clients accept any device
// certificate). When the host's pair record holds certificates, the client must present its
// root or host certificate, as a device checks against the record it paired with.
//
// No session tickets are sent, so that nothing but the answers travels after the handshake, and
// a link is dropped without a close_notify of its own: a client that goes back to plain text
// after lockdown's StopSession reads nothing it does not expect.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/plist_value.h"
#include "socket_io.h"

typedef struct ssl_st SSL;

namespace nimbara::usbmuxsim {

class TlsLink final : public ByteStream {
  public:
    // The handshake as the server on the connected socket `fd` (which stays the caller's).
    // `clientCertificates`: PEM certificates one of which the client must present; empty lets
    // any client in. Null on failure, with the reason in `error`.
    static std::unique_ptr<TlsLink> accept(
        int fd, const std::vector<std::vector<std::uint8_t>>& clientCertificates,
        std::string& error);
    ~TlsLink() override;
    TlsLink(const TlsLink&) = delete;
    TlsLink& operator=(const TlsLink&) = delete;

    bool readExactly(void* buffer, std::size_t length) override;
    bool writeAll(const void* data, std::size_t length) override;
    // Some bytes (at most `length`): their count, 0 when the peer closed or the link failed.
    std::size_t readSome(void* buffer, std::size_t length);
    // Whether decrypted bytes wait to be read without touching the socket.
    bool hasPending() const;
    // Says close_notify to the peer (the end of a service's stream).
    void closeNotify();
    // The end of TLS on a stream that goes on in plain text: waits for the peer's next bytes and
    // reads its close_notify if that is what they are, leaving plain text (or the end) for the
    // caller. False when the peer sent other TLS records.
    bool leaveForPlainText();
    // The protocol agreed, as "TLSv1.2" or "TLSv1.3".
    std::string version() const;

  private:
    TlsLink(SSL* ssl, int fd) : ssl_(ssl), fd_(fd) {}
    SSL* const ssl_;
    const int fd_;
};

// The handshakes the server made, for tests: each with its link ("lockdown" or a service's name)
// and either the protocol agreed or why it failed. A handshake is announced before the answer
// that starts it goes out, so that a reader after the client's own handshake sees its outcome.
class HandshakeLog {
  public:
    class Pending {
      public:
        Pending() = default;
        Pending(Pending&& other) noexcept;
        Pending& operator=(Pending&& other) noexcept;
        ~Pending();
        // Records the outcome: the protocol agreed, or (version empty) the failure.
        void done(const std::string& version, const std::string& error);

      private:
        friend class HandshakeLog;
        Pending(HandshakeLog* log, std::string link) : log_(log), link_(std::move(link)) {}
        HandshakeLog* log_ = nullptr;
        std::string link_;
    };

    Pending begin(const std::string& link);
    // Waits until no handshake is under way (at most `limit`), then the records as an array of
    // {"Link", "Version"} or {"Link", "Error"} dictionaries, oldest first.
    PlistValue records(std::chrono::milliseconds limit);

  private:
    void finish(const std::string& link, const std::string& version, const std::string& error,
                bool record);

    std::mutex mutex_;
    std::condition_variable idle_;
    int underWay_ = 0;
    PlistValue records_ = PlistValue::array();
};

}  // namespace nimbara::usbmuxsim
