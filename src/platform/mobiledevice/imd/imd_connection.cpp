#include "platform/mobiledevice/imd/imd_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/mobiledevice/imd/afc_protocol.h"

namespace nimbara::md::imd {

Channel::Channel(idevice_connection_t connection, std::chrono::milliseconds timeout)
    : connection_(connection), timeout_(timeout) {
    if (idevice_connection_get_fd(connection_, &fd_) != IDEVICE_E_SUCCESS) {
        fd_ = -1;
    }
    if (fd_ >= 0) {
        timeval tv{};
        tv.tv_sec = static_cast<time_t>(timeout_.count() / 1000);
        tv.tv_usec = static_cast<suseconds_t>((timeout_.count() % 1000) * 1000);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        // The TLS goodbye reads as well as writes: a silent peer costs one timeout at most.
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
}

Channel::~Channel() {
    if (shut_.load()) {
        // Nothing may be written to a shut socket: TLS goes without its goodbye.
        idevice_connection_disable_bypass_ssl(connection_, 1);
    }
    idevice_disconnect(connection_);
}

struct Channel::InFlight {
    explicit InFlight(Channel& channel) : channel_(channel) { ++channel_.inFlight_; }
    ~InFlight() { --channel_.inFlight_; }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;
    Channel& channel_;
};

long Channel::send(const void* data, std::size_t length) {
    InFlight counted(*this);
    if (shut_.load() || closed_.load()) {
        return -1;
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < length) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(length - done, INT_MAX));
        std::uint32_t sent = 0;
        if (idevice_connection_send(connection_, bytes + done, n, &sent) != IDEVICE_E_SUCCESS ||
            sent == 0 || sent > n) {
            return -1;
        }
        done += sent;
    }
    return static_cast<long>(done);
}

long Channel::receive(void* buffer, std::size_t length) {
    return receiveWithin(buffer, length, timeout_);
}

long Channel::receiveWithin(void* buffer, std::size_t length, std::chrono::milliseconds limit) {
    InFlight counted(*this);
    if (shut_.load() || closed_.load() || limit.count() <= 0) {
        return -1;
    }
    if (length == 0) {
        return 0;
    }
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(length, INT_MAX));
    const auto wait = std::min(limit, timeout_);
    const auto started = std::chrono::steady_clock::now();
    std::uint32_t got = 0;
    const idevice_error_t rc = idevice_connection_receive_timeout(
        connection_, static_cast<char*>(buffer), n, &got, static_cast<unsigned int>(wait.count()));
    if (rc != IDEVICE_E_SUCCESS || got > n) {
        // Silence for the whole wait, on a connection nobody shut: the device did not answer.
        timedOut_.store(!shut_.load() && (rc == IDEVICE_E_TIMEOUT ||
                                          std::chrono::steady_clock::now() - started >= wait));
        return -1;
    }
    timedOut_.store(false);
    return static_cast<long>(got);
}

int Channel::openAfc(std::unique_ptr<AfcConnection>& afc) {
    afc.reset();
    std::lock_guard<std::mutex> lock(afcMutex_);
    if (shut_.load() || closed_.load()) {
        return Error::NotConnected;
    }
    std::shared_ptr<AfcWire> wire = afcWire_.lock();
    if (!wire) {
        wire = std::make_shared<AfcWire>(shared_from_this());
        afcWire_ = wire;
    }
    afc = std::make_unique<ProtocolAfcConnection>(std::move(wire));
    return Error::Ok;
}

void Channel::close() {
    closed_.store(true);
    if (inFlight_.load() > 0) {
        shutDown();  // another thread waits on the socket: it returns now
    }
}

bool Channel::enableTls() {
    return !shut_.load() && idevice_connection_enable_ssl(connection_) == IDEVICE_E_SUCCESS;
}

void Channel::disableTls() {
    idevice_connection_disable_bypass_ssl(connection_, shut_.load() ? 1 : 0);
}

bool Channel::quiet() const {
    if (fd_ < 0) {
        return true;
    }
    pollfd watched{fd_, POLLIN | POLLRDHUP, 0};
    return !shut_.load() && ::poll(&watched, 1, 0) == 0;
}

void Channel::shutDown() {
    if (!shut_.exchange(true) && fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

}  // namespace nimbara::md::imd
