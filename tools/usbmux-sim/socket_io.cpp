#include "socket_io.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::usbmuxsim {

namespace {

void putLe32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t getLe32(const std::uint8_t* in) {
    return std::uint32_t(in[0]) | (std::uint32_t(in[1]) << 8) | (std::uint32_t(in[2]) << 16) |
           (std::uint32_t(in[3]) << 24);
}

}  // namespace

bool SocketStream::readExactly(void* buffer, std::size_t length) {
    return usbmuxsim::readExactly(fd_, buffer, length);
}

bool SocketStream::writeAll(const void* data, std::size_t length) {
    return usbmuxsim::writeAll(fd_, data, length);
}

bool readExactly(int fd, void* buffer, std::size_t length) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = ::recv(fd, bytes + got, length - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool writeAll(int fd, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::send(fd, bytes + done, length - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

void drainUntilClosed(int fd) {
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            return;
        }
    }
}

std::optional<MuxPacket> readMuxPacket(int fd) {
    std::uint8_t header[kMuxHeaderSize];
    if (!readExactly(fd, header, sizeof header)) {
        return std::nullopt;
    }
    const std::uint32_t length = getLe32(header);
    if (length < kMuxHeaderSize || length > kMaxMuxPacket) {
        return std::nullopt;
    }
    MuxPacket packet;
    packet.version = getLe32(header + 4);
    packet.message = getLe32(header + 8);
    packet.tag = getLe32(header + 12);
    packet.payload.resize(length - kMuxHeaderSize);
    if (!readExactly(fd, packet.payload.data(), packet.payload.size())) {
        return std::nullopt;
    }
    return packet;
}

std::vector<std::uint8_t> encodeMuxPlist(std::uint32_t tag, const PlistValue& body) {
    const std::string xml = body.toXml();
    std::vector<std::uint8_t> packet(kMuxHeaderSize + xml.size());
    putLe32(packet.data(), static_cast<std::uint32_t>(packet.size()));
    putLe32(packet.data() + 4, kMuxVersionPlist);
    putLe32(packet.data() + 8, kMuxMessagePlist);
    putLe32(packet.data() + 12, tag);
    std::memcpy(packet.data() + kMuxHeaderSize, xml.data(), xml.size());
    return packet;
}

bool writeMuxPlist(int fd, std::uint32_t tag, const PlistValue& body) {
    const auto packet = encodeMuxPlist(tag, body);
    return writeAll(fd, packet.data(), packet.size());
}

std::optional<std::vector<std::uint8_t>> readFrame(int fd) {
    SocketStream stream(fd);
    return readFrame(stream);
}

std::optional<std::vector<std::uint8_t>> readFrame(ByteStream& stream) {
    std::uint8_t header[4];
    if (!stream.readExactly(header, sizeof header)) {
        return std::nullopt;
    }
    const std::uint32_t length = md::frameLength(header);
    if (length == 0 || length > md::kMaxFrameLength) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> body(length);
    if (!stream.readExactly(body.data(), body.size())) {
        return std::nullopt;
    }
    return body;
}

std::optional<PlistValue> readRequest(int fd) {
    SocketStream stream(fd);
    return readRequest(stream);
}

std::optional<PlistValue> readRequest(ByteStream& stream) {
    auto body = readFrame(stream);
    if (!body) {
        return std::nullopt;
    }
    auto request = PlistValue::parse(body->data(), body->size());
    if (!request || !request->isDict()) {
        return std::nullopt;
    }
    return request;
}

std::vector<std::uint8_t> encodeFrame(const PlistValue& message) {
    const std::string xml = message.toXml();
    const auto header = md::frameHeader(static_cast<std::uint32_t>(xml.size()));
    std::vector<std::uint8_t> frame(header.size() + xml.size());
    std::memcpy(frame.data(), header.data(), header.size());
    std::memcpy(frame.data() + header.size(), xml.data(), xml.size());
    return frame;
}

bool writeFrame(int fd, const PlistValue& message) {
    SocketStream stream(fd);
    return writeFrame(stream, message);
}

bool writeFrame(ByteStream& stream, const PlistValue& message) {
    const auto frame = encodeFrame(message);
    return stream.writeAll(frame.data(), frame.size());
}

SplitFrames splitFrames(const std::vector<std::uint8_t>& stream) {
    SplitFrames split;
    std::size_t offset = 0;
    while (offset < stream.size()) {
        if (stream.size() - offset < 4) {
            break;
        }
        const std::uint32_t length = md::frameLength(stream.data() + offset);
        if (stream.size() - offset - 4 < length) {
            break;
        }
        const auto begin = stream.begin() + static_cast<std::ptrdiff_t>(offset + 4);
        split.bodies.emplace_back(begin, begin + length);
        offset += 4 + length;
    }
    split.incompleteTail = stream.size() - offset;
    return split;
}

}  // namespace nimbara::usbmuxsim
