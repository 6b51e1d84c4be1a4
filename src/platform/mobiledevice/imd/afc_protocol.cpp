#include "platform/mobiledevice/imd/afc_protocol.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/device_path.h"

namespace nimbara::md::imd {

namespace {

void putLe64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint64_t le64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

void putString(std::vector<std::uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// A reply always has room for a status code, whatever the request allows.
constexpr std::size_t kMinReplyData = 16;
// How deep makeDirectory() goes to create missing parents.
constexpr int kMaxMakeDepth = 64;

// One open file of a protocol client.
class ProtocolAfcFile : public AfcFile {
  public:
    ProtocolAfcFile(std::shared_ptr<AfcSession> session, std::uint64_t handle, int mode)
        : session_(std::move(session)), handle_(handle), mode_(mode) {}
    ~ProtocolAfcFile() override {
        if (!closed_ && session_->usable()) {
            close();
        }
    }

    int read(void* buffer, std::size_t& length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t wanted = std::min(length, afc::kMaxReadChunk);
        length = 0;
        if (closed_) {
            return AfcError::NotConnected;
        }
        if (mode_ != AfcMode::Read) {
            return AfcError::PermissionDenied;
        }
        if (wanted == 0) {
            return AfcError::Ok;
        }
        std::vector<std::uint8_t> arguments;
        putLe64(arguments, handle_);
        putLe64(arguments, wanted);
        AfcWire::Reply reply;
        if (int rc = session_->request(afc::kOpFileRead, arguments, nullptr, 0, wanted, reply)) {
            return rc;
        }
        if (reply.operation == afc::kOpStatus) {
            return AfcError::Ok;  // nothing more to read
        }
        if (reply.operation != afc::kOpData || reply.data.size() > wanted) {
            return AfcError::HeaderInvalid;
        }
        if (!reply.data.empty()) {
            std::memcpy(buffer, reply.data.data(), reply.data.size());
        }
        length = reply.data.size();
        return AfcError::Ok;
    }

    int write(const void* buffer, std::size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return AfcError::NotConnected;
        }
        if (mode_ != AfcMode::Write) {
            return AfcError::PermissionDenied;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        std::vector<std::uint8_t> arguments;
        putLe64(arguments, handle_);
        for (std::size_t done = 0; done < length;) {
            const std::size_t n = std::min(afc::kWriteChunk, length - done);
            AfcWire::Reply reply;
            if (int rc =
                    session_->request(afc::kOpFileWrite, arguments, bytes + done, n, 0, reply)) {
                return rc;
            }
            done += n;
        }
        return AfcError::Ok;
    }

    int close() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return AfcError::NotConnected;
        }
        closed_ = true;
        std::vector<std::uint8_t> arguments;
        putLe64(arguments, handle_);
        AfcWire::Reply reply;
        return session_->request(afc::kOpFileClose, arguments, nullptr, 0, 0, reply);
    }

  private:
    std::mutex mutex_;
    const std::shared_ptr<AfcSession> session_;
    const std::uint64_t handle_;
    const int mode_;
    bool closed_ = false;
};

}  // namespace

namespace afc {

std::optional<std::string> wirePath(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    std::string wire;
    for (const std::string& part : normalizedPathComponents(path)) {
        wire += '/';
        wire += part;
    }
    if (wire.empty()) {
        return std::string(1, '/');
    }
    if (wire.size() > kMaxPathBytes) {
        return std::nullopt;
    }
    return wire;
}

std::vector<std::string> splitStrings(const std::vector<std::uint8_t>& data) {
    std::vector<std::string> strings;
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == 0) {
            strings.emplace_back(reinterpret_cast<const char*>(data.data()) + start, i - start);
            start = i + 1;
        }
    }
    return strings;
}

}  // namespace afc

AfcWire::AfcWire(std::shared_ptr<ServiceConnection> connection)
    : connection_(std::move(connection)) {}

void AfcWire::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
}

bool AfcWire::usable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !closed_ && !broken_;
}

int AfcWire::fail(int code) {
    broken_ = true;
    return code;
}

int AfcWire::failedReceive() {
    timedOut_ = connection_->timedOut();
    return fail(timedOut_ ? AfcError::Timeout : AfcError::NotConnected);
}

bool AfcWire::receiveExactly(std::uint8_t* buffer, std::size_t length) {
    std::size_t got = 0;
    while (got < length) {
        const long n = connection_->receive(buffer + got, length - got);
        if (n <= 0 || static_cast<std::size_t>(n) > length - got) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

int AfcWire::send(std::uint64_t operation, const std::vector<std::uint8_t>& arguments,
                  const void* payload, std::size_t payloadLength) {
    std::vector<std::uint8_t> packet(afc::kMagic, afc::kMagic + 8);
    putLe64(packet, afc::kHeaderSize + arguments.size() + payloadLength);
    putLe64(packet, afc::kHeaderSize + arguments.size());
    putLe64(packet, packetNumber_);
    putLe64(packet, operation);
    packet.insert(packet.end(), arguments.begin(), arguments.end());
    if (connection_->send(packet.data(), packet.size()) != static_cast<long>(packet.size())) {
        return fail(AfcError::NotConnected);
    }
    if (payloadLength > 0 &&
        connection_->send(payload, payloadLength) != static_cast<long>(payloadLength)) {
        return fail(AfcError::NotConnected);
    }
    return AfcError::Ok;
}

int AfcWire::request(std::uint64_t operation, const std::vector<std::uint8_t>& arguments,
                     const void* payload, std::size_t payloadLength, std::size_t maxReplyData,
                     Reply& reply) {
    reply = Reply{};
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || broken_) {
        return !closed_ && timedOut_ ? AfcError::Timeout : AfcError::NotConnected;
    }
    ++packetNumber_;
    if (int rc = send(operation, arguments, payload, payloadLength)) {
        return rc;
    }
    std::uint8_t header[afc::kHeaderSize];
    if (!receiveExactly(header, sizeof header)) {
        return failedReceive();
    }
    const std::uint64_t entire = le64(header + 8);
    const std::uint64_t thisLength = le64(header + 16);
    const std::uint64_t number = le64(header + 24);
    reply.operation = le64(header + 32);
    if (std::memcmp(header, afc::kMagic, 8) != 0 || thisLength < afc::kHeaderSize ||
        entire < thisLength || number != packetNumber_ ||
        entire - afc::kHeaderSize > std::max(maxReplyData, kMinReplyData)) {
        return fail(AfcError::HeaderInvalid);
    }
    reply.data.resize(static_cast<std::size_t>(entire - afc::kHeaderSize));
    if (!reply.data.empty() && !receiveExactly(reply.data.data(), reply.data.size())) {
        return failedReceive();
    }
    if (reply.operation == afc::kOpStatus) {
        if (reply.data.size() < 8) {
            return fail(AfcError::HeaderInvalid);
        }
        const std::uint64_t status = le64(reply.data.data());
        if (status != 0) {
            return status > static_cast<std::uint64_t>(INT_MAX) ? AfcError::Unknown
                                                                : static_cast<int>(status);
        }
    }
    return AfcError::Ok;
}

ProtocolAfcConnection::ProtocolAfcConnection(std::shared_ptr<ServiceConnection> connection)
    : ProtocolAfcConnection(std::make_shared<AfcWire>(std::move(connection))) {}

ProtocolAfcConnection::ProtocolAfcConnection(std::shared_ptr<AfcWire> wire)
    : session_(std::make_shared<AfcSession>(std::move(wire))) {}

ProtocolAfcConnection::~ProtocolAfcConnection() {
    close();
}

int ProtocolAfcConnection::pathRequest(std::uint64_t operation, const std::string& path,
                                       std::size_t maxReplyData, AfcWire::Reply& reply) {
    const auto wire = afc::wirePath(path);
    if (!wire) {
        return AfcError::InvalidArgument;
    }
    std::vector<std::uint8_t> arguments;
    putString(arguments, *wire);
    return session_->request(operation, arguments, nullptr, 0, maxReplyData, reply);
}

int ProtocolAfcConnection::readDirectory(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    AfcWire::Reply reply;
    if (int rc = pathRequest(afc::kOpReadDirectory, path, afc::kMaxListingBytes, reply)) {
        return rc;
    }
    if (reply.operation == afc::kOpData) {
        names = afc::splitStrings(reply.data);
    }
    return AfcError::Ok;
}

int ProtocolAfcConnection::fileInfo(const std::string& path,
                                    std::vector<std::pair<std::string, std::string>>& info) {
    info.clear();
    AfcWire::Reply reply;
    if (int rc = pathRequest(afc::kOpGetFileInfo, path, afc::kMaxListingBytes, reply)) {
        return rc;
    }
    if (reply.operation != afc::kOpData) {
        return AfcError::Ok;
    }
    std::vector<std::string> strings = afc::splitStrings(reply.data);
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
        info.emplace_back(std::move(strings[i]), std::move(strings[i + 1]));
    }
    return AfcError::Ok;
}

int ProtocolAfcConnection::openFile(const std::string& path, int mode,
                                    std::unique_ptr<AfcFile>& file) {
    file.reset();
    if (mode != AfcMode::Read && mode != AfcMode::Write) {
        return AfcError::InvalidArgument;
    }
    const auto wire = afc::wirePath(path);
    if (!wire) {
        return AfcError::InvalidArgument;
    }
    std::vector<std::uint8_t> arguments;
    putLe64(arguments, mode == AfcMode::Read ? afc::kModeReadOnly : afc::kModeWriteOnly);
    putString(arguments, *wire);
    AfcWire::Reply reply;
    if (int rc = session_->request(afc::kOpFileOpen, arguments, nullptr, 0, 8, reply)) {
        return rc;
    }
    if (reply.operation != afc::kOpFileOpenResult || reply.data.size() != 8) {
        return AfcError::HeaderInvalid;
    }
    file = std::make_unique<ProtocolAfcFile>(session_, le64(reply.data.data()), mode);
    return AfcError::Ok;
}

int ProtocolAfcConnection::removePath(const std::string& path) {
    AfcWire::Reply reply;
    const int rc = pathRequest(afc::kOpRemovePath, path, 0, reply);
    // Older devices answer a folder that isn't empty with the unknown-error status.
    return rc == AfcError::Unknown ? AfcError::NotEmpty : rc;
}

int ProtocolAfcConnection::renamePath(const std::string& from, const std::string& to) {
    const auto fromWire = afc::wirePath(from);
    const auto toWire = afc::wirePath(to);
    if (!fromWire || !toWire) {
        return AfcError::InvalidArgument;
    }
    std::vector<std::uint8_t> arguments;
    putString(arguments, *fromWire);
    putString(arguments, *toWire);
    AfcWire::Reply reply;
    return session_->request(afc::kOpRenamePath, arguments, nullptr, 0, 0, reply);
}

bool ProtocolAfcConnection::isDirectory(const std::string& wire) {
    std::vector<std::pair<std::string, std::string>> info;
    if (fileInfo(wire, info) != AfcError::Ok) {
        return false;
    }
    return std::any_of(info.begin(), info.end(), [](const auto& pair) {
        return pair.first == "st_ifmt" && pair.second == "S_IFDIR";
    });
}

int ProtocolAfcConnection::makeDirectoryAt(const std::string& wire, int depth) {
    AfcWire::Reply reply;
    int rc = pathRequest(afc::kOpMakeDirectory, wire, 0, reply);
    if (rc == AfcError::NotFound && depth < kMaxMakeDepth) {
        // A missing parent: make it, then this folder once more.
        const std::size_t slash = wire.find_last_of('/');
        if (slash != std::string::npos && slash > 0) {
            if (int parent = makeDirectoryAt(wire.substr(0, slash), depth + 1)) {
                return parent;
            }
            rc = pathRequest(afc::kOpMakeDirectory, wire, 0, reply);
        }
    }
    if (rc == AfcError::Exists && isDirectory(wire)) {
        return AfcError::Ok;
    }
    return rc;
}

int ProtocolAfcConnection::makeDirectory(const std::string& path) {
    const auto wire = afc::wirePath(path);
    if (!wire) {
        return AfcError::InvalidArgument;
    }
    return makeDirectoryAt(*wire, 0);
}

int ProtocolAfcConnection::close() {
    const bool wasUsable = session_->usable();
    session_->closed.store(true);
    return wasUsable ? AfcError::Ok : AfcError::NotConnected;
}

}  // namespace nimbara::md::imd
