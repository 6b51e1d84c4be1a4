#include "platform/mobiledevice/imd/imd_connection.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/mobiledevice/imd/afc_protocol.h"

namespace nimbara::md::imd {

namespace {

// The socket of a lockdown client, -1 when it can't be found. libimobiledevice offers no call
// for it: its client holds a property-list service client, which holds a service client, which
// holds the connection, each as the first member of the structure before it (so in every
// release up to 1.3.0, the one we build on). Anything but a socket is not taken.
int lockdownSocket(lockdownd_client_t client) {
    struct ServiceClient {
        idevice_connection_t connection;
    };
    struct PlistServiceClient {
        ServiceClient* parent;
    };
    struct LockdownClient {
        PlistServiceClient* parent;
    };
    const auto* lockdown = reinterpret_cast<const LockdownClient*>(client);
    if (!lockdown || !lockdown->parent || !lockdown->parent->parent ||
        !lockdown->parent->parent->connection) {
        return -1;
    }
    int fd = -1;
    if (idevice_connection_get_fd(lockdown->parent->parent->connection, &fd) != IDEVICE_E_SUCCESS ||
        fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) {
        return -1;
    }
    return fd;
}

}  // namespace

LockdownLine::LockdownLine(std::chrono::milliseconds timeout) : timeout_(timeout) {}

LockdownLine::~LockdownLine() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable()) {
        watcher_.join();
    }
    release();
}

void LockdownLine::attach(lockdownd_client_t client) {
    const int fd = lockdownSocket(client);
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    ended_ = false;
    timedOut_ = false;
    if (cut_) {
        endLocked();
    }
}

void LockdownLine::release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    ended_ = false;
    timedOut_ = false;
}

int LockdownLine::request(const std::function<void()>& call) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!watcher_.joinable()) {
            watcher_ = std::thread([this] { watch(); });
        }
        deadline_ = std::chrono::steady_clock::now() + timeout_;
    }
    wake_.notify_all();
    call();
    std::lock_guard<std::mutex> lock(mutex_);
    deadline_.reset();
    if (cut_) {
        return Error::DeviceGone;
    }
    return timedOut_ ? Error::Timeout : Error::Ok;
}

bool LockdownLine::broken() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timedOut_;
}

void LockdownLine::cut() {
    std::lock_guard<std::mutex> lock(mutex_);
    cut_ = true;
    endLocked();
}

void LockdownLine::endLocked() {
    if (fd_ >= 0 && !ended_) {
        // Reading ends at once; writes still reach the peer, which may have gone already
        // (no write is made to a socket this side shut).
        ::shutdown(fd_, SHUT_RD);
    }
    ended_ = true;
}

void LockdownLine::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (!deadline_) {
            wake_.wait(lock);
            continue;
        }
        const auto deadline = *deadline_;
        auto moved = [&] { return stopping_ || deadline_ != deadline; };
        if (wake_.wait_until(lock, deadline, moved)) {
            continue;  // the request ended in time
        }
        if (!ended_) {
            timedOut_ = true;
            endLocked();
        }
        wake_.wait(lock, moved);
    }
}

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
    }
}

Channel::~Channel() {
    idevice_disconnect(connection_);
}

long Channel::send(const void* data, std::size_t length) {
    if (shut_.load()) {
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
    if (shut_.load() || limit.count() <= 0) {
        return -1;
    }
    if (length == 0) {
        return 0;
    }
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(length, INT_MAX));
    std::uint32_t got = 0;
    const idevice_error_t rc = idevice_connection_receive_timeout(
        connection_, static_cast<char*>(buffer), n, &got,
        static_cast<unsigned int>(std::min(limit, timeout_).count()));
    if (rc != IDEVICE_E_SUCCESS || got > n) {
        return -1;
    }
    return static_cast<long>(got);
}

int Channel::openAfc(std::unique_ptr<AfcConnection>& afc) {
    afc.reset();
    std::lock_guard<std::mutex> lock(afcMutex_);
    if (shut_.load()) {
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
    shutDown();
}

void Channel::shutDown() {
    if (!shut_.exchange(true) && fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

}  // namespace nimbara::md::imd
