// Length-prefixed property lists: a 4-byte big-endian length, then that many bytes of XML.
#include <cstdint>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md {

namespace {

// Receives exactly `length` bytes; false when the peer closes or fails first.
bool receiveAll(ServiceConnection& connection, std::uint8_t* buffer, std::size_t length) {
    std::size_t got = 0;
    while (got < length) {
        long n = connection.receive(buffer + got, length - got);
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::array<std::uint8_t, 4> frameHeader(std::uint32_t length) {
    return {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
            static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
}

std::uint32_t frameLength(const std::uint8_t* header) {
    return (std::uint32_t(header[0]) << 24) | (std::uint32_t(header[1]) << 16) |
           (std::uint32_t(header[2]) << 8) | std::uint32_t(header[3]);
}

int sendFrame(ServiceConnection& connection, const PlistValue& message, std::uint32_t* sentLength) {
    const std::string xml = message.toXml();
    if (xml.empty() || xml.size() > kMaxFrameLength) {
        return Error::InvalidArgument;
    }
    const auto header = frameHeader(static_cast<std::uint32_t>(xml.size()));
    if (connection.send(header.data(), header.size()) != 4) {
        return Error::ProtocolError;
    }
    if (connection.send(xml.data(), xml.size()) != static_cast<long>(xml.size())) {
        return Error::ProtocolError;
    }
    if (sentLength != nullptr) {
        *sentLength = static_cast<std::uint32_t>(xml.size());
    }
    return Error::Ok;
}

std::optional<PlistValue> receiveFrame(ServiceConnection& connection) {
    std::uint8_t header[4];
    if (!receiveAll(connection, header, 4)) {
        return std::nullopt;
    }
    const std::uint32_t length = frameLength(header);
    if (length == 0 || length > kMaxFrameLength) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> body(length);
    if (!receiveAll(connection, body.data(), body.size())) {
        return std::nullopt;
    }
    return PlistValue::parse(body.data(), body.size());
}

}  // namespace nimbara::md
