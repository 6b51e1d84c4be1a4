#include "platform/mobiledevice/imd/imd_lockdown.h"

#include <usbmuxd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/mobiledevice/imd/imd_errors.h"

namespace nimbara::md::imd {

namespace {

constexpr const char* kLabel = "Nimbara";
constexpr std::uint16_t kLockdownPort = 62078;
// The largest pair record read from usbmuxd, and the largest lockdown answer taken.
constexpr std::uint32_t kMaxPairRecordBytes = 1024 * 1024;
constexpr std::uint32_t kMaxAnswerBytes = 16 * 1024 * 1024;

using Clock = std::chrono::steady_clock;

// Receives exactly `length` bytes before `deadline`.
bool receiveAllBy(Channel& channel, std::uint8_t* buffer, std::size_t length,
                  Clock::time_point deadline) {
    std::size_t got = 0;
    while (got < length) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const long n = channel.receiveWithin(buffer + got, length - got, left);
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<PlistValue> receiveAnswerBy(Channel& channel, Clock::time_point deadline) {
    std::uint8_t header[4];
    if (!receiveAllBy(channel, header, sizeof header, deadline)) {
        return std::nullopt;
    }
    const std::uint32_t length = frameLength(header);
    if (length == 0 || length > kMaxAnswerBytes) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> body(length);
    if (!receiveAllBy(channel, body.data(), body.size(), deadline)) {
        return std::nullopt;
    }
    return PlistValue::parse(body.data(), body.size());
}

std::string stringAt(const PlistValue& dict, const char* key) {
    const PlistValue* value = dict.find(key);
    return value && value->isString() ? value->toString() : std::string();
}

}  // namespace

std::optional<PairIdentity> readPairIdentity(const std::string& udid) {
    char* data = nullptr;
    std::uint32_t size = 0;
    if (usbmuxd_read_pair_record(udid.c_str(), &data, &size) < 0 || !data) {
        return std::nullopt;
    }
    std::optional<PlistValue> record;
    if (size > 0 && size <= kMaxPairRecordBytes) {
        record = PlistValue::parse(data, size);
    }
    std::free(data);
    if (!record || !record->isDict()) {
        return std::nullopt;
    }
    PairIdentity identity{stringAt(*record, "HostID"), stringAt(*record, "SystemBUID")};
    if (identity.hostId.empty()) {
        return std::nullopt;
    }
    return identity;
}

LockdownWire::LockdownWire(idevice_t device, std::string udid, std::chrono::milliseconds timeout)
    : device_(device), udid_(std::move(udid)), timeout_(timeout) {}

LockdownWire::~LockdownWire() {
    close();
}

bool LockdownWire::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return channel_ != nullptr;
}

bool LockdownWire::reusable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return channel_ && !cut_ && !broken_ && channel_->quiet();
}

int LockdownWire::open() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cut_) {
            return Error::DeviceGone;
        }
        if (channel_) {
            return Error::Ok;
        }
    }
    idevice_connection_t connection = nullptr;
    const idevice_error_t rc = idevice_connect(device_, kLockdownPort, &connection);
    if (rc != IDEVICE_E_SUCCESS || !connection) {
        std::lock_guard<std::mutex> lock(mutex_);
        return rc == IDEVICE_E_SUCCESS ? Error::ConnectionRefused : fromIdevice(rc, cut_);
    }
    auto channel = std::make_shared<Channel>(connection, timeout_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (cut_) {
        channel->shutDown();  // the device went while we connected
        return Error::DeviceGone;
    }
    channel_ = std::move(channel);
    broken_ = false;
    return Error::Ok;
}

int LockdownWire::failed() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cut_) {
        return Error::DeviceGone;
    }
    // Out of time, or closed by the device: what is left of the answer is of no use, and no
    // TLS goodbye is owed to it.
    broken_ = true;
    if (channel_) {
        channel_->shutDown();
    }
    return Error::Timeout;
}

int LockdownWire::send(const char* name, PlistValue message, std::shared_ptr<Channel>& channel) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cut_) {
            return Error::DeviceGone;
        }
        if (!channel_) {
            return Error::NotConnected;
        }
        if (broken_) {
            return Error::Timeout;
        }
        channel = channel_;
    }
    message["Label"] = kLabel;
    message["Request"] = name;
    return sendFrame(*channel, message) == Error::Ok ? Error::Ok : failed();
}

int LockdownWire::request(const char* name, PlistValue message, PlistValue& reply) {
    reply = PlistValue();
    const auto deadline = Clock::now() + timeout_;
    std::shared_ptr<Channel> channel;
    if (int rc = send(name, std::move(message), channel)) {
        return rc;
    }
    std::optional<PlistValue> answer = receiveAnswerBy(*channel, deadline);
    if (!answer || !answer->isDict()) {
        return failed();
    }
    reply = std::move(*answer);
    if (const PlistValue* error = reply.find("Error")) {
        return fromLockdownAnswer(error->isString() ? error->toString() : std::string());
    }
    return Error::Ok;
}

int LockdownWire::startSession() {
    if (!sessionId_.empty()) {
        return Error::Ok;  // the session left open on this connection goes on
    }
    const std::optional<PairIdentity> identity = readPairIdentity(udid_);
    if (!identity) {
        return Error::InvalidPairing;
    }
    PlistValue message = PlistValue::dict();
    message["HostID"] = identity->hostId;
    if (!identity->systemBuid.empty()) {
        message["SystemBUID"] = identity->systemBuid;
    }
    PlistValue reply;
    if (int rc = request("StartSession", std::move(message), reply)) {
        return rc;
    }
    const std::string sessionId = stringAt(reply, "SessionID");
    if (sessionId.empty()) {
        return Error::ProtocolError;
    }
    const PlistValue* ssl = reply.find("EnableSessionSSL");
    if (ssl && ssl->isBool() && ssl->toBool()) {
        std::shared_ptr<Channel> channel;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            channel = channel_;
        }
        if (!channel || !channel->enableTls()) {
            failed();
            std::lock_guard<std::mutex> lock(mutex_);
            return cut_ ? Error::DeviceGone : Error::ConnectionRefused;
        }
        tls_ = true;
    }
    sessionId_ = sessionId;
    sessionHostId_ = identity->hostId;
    return Error::Ok;
}

int LockdownWire::stopSession() {
    if (sessionId_.empty()) {
        return Error::SessionInactive;
    }
    PlistValue message = PlistValue::dict();
    message["SessionID"] = sessionId_;
    sessionId_.clear();
    sessionHostId_.clear();
    PlistValue reply;
    const int rc = request("StopSession", std::move(message), reply);
    if (tls_) {
        tls_ = false;
        std::lock_guard<std::mutex> lock(mutex_);
        if (channel_) {
            channel_->disableTls();  // with its goodbye, unless the socket is shut
        }
    }
    return rc;
}

std::shared_ptr<Channel> LockdownWire::close() {
    bool whole = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        whole = channel_ && !cut_ && !broken_;
    }
    if (whole) {
        // The goodbye ends a session still open. Its answer is not waited for: the connection
        // closes now whatever the device says.
        std::shared_ptr<Channel> channel;
        send("Goodbye", PlistValue::dict(), channel);
    }
    std::shared_ptr<Channel> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing = std::move(channel_);
        channel_.reset();
        broken_ = false;
    }
    sessionId_.clear();
    sessionHostId_.clear();
    tls_ = false;
    // Freed by the owner: cut() holds it only while it shuts the socket.
    return closing;
}

void LockdownWire::cut() {
    std::lock_guard<std::mutex> lock(mutex_);
    cut_ = true;
    if (channel_) {
        channel_->shutDown();
    }
}

}  // namespace nimbara::md::imd
