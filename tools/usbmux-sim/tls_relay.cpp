#include "tls_relay.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "socket_io.h"

namespace nimbara::usbmuxsim {

namespace {

constexpr std::size_t kChunk = 16 * 1024;

}  // namespace

TlsRelay::TlsRelay(std::unique_ptr<TlsLink> link, int clientFd)
    : link_(std::move(link)), clientFd_(clientFd) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return;
    }
    handlerEnd_ = pair[0];
    relayEnd_ = pair[1];
    thread_ = std::thread([this] { pump(); });
}

TlsRelay::~TlsRelay() {
    if (handlerEnd_ >= 0) {
        // The relay sees the handler's end and finishes.
        ::shutdown(handlerEnd_, SHUT_RDWR);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    if (handlerEnd_ >= 0) {
        ::close(handlerEnd_);
        ::close(relayEnd_);
    }
}

void TlsRelay::pump() {
    std::vector<std::uint8_t> buffer(kChunk);
    for (;;) {
        pollfd ends[2] = {{clientFd_, POLLIN, 0}, {relayEnd_, POLLIN, 0}};
        // Bytes already decrypted are moved without waiting for the socket.
        if (!link_->hasPending() && ::poll(ends, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (link_->hasPending() || (ends[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const std::size_t n = link_->readSome(buffer.data(), buffer.size());
            if (n == 0 || !writeAll(relayEnd_, buffer.data(), n)) {
                break;
            }
        }
        if (ends[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(relayEnd_, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                link_->closeNotify();
                break;
            }
            if (!link_->writeAll(buffer.data(), static_cast<std::size_t>(n))) {
                break;
            }
        }
    }
    // A client that went away ends the handler's stream, whatever the handler waits for.
    ::shutdown(relayEnd_, SHUT_RDWR);
}

}  // namespace nimbara::usbmuxsim
