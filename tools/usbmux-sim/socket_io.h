// Blocking reads and writes on a connected stream socket, and the two framings the simulated
// device speaks on it: usbmux packets (a 16-byte little-endian header, then an XML property
// list) and length-prefixed property lists (a 4-byte big-endian length, then the list).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/plist_value.h"

namespace nimbara::usbmuxsim {

// A connected byte stream: the socket itself, or a TLS layer over it (tls_link.h).
class ByteStream {
  public:
    virtual ~ByteStream() = default;
    // Reads exactly `length` bytes; false when the peer closed or the stream failed first.
    virtual bool readExactly(void* buffer, std::size_t length) = 0;
    // Writes all bytes; false when the stream failed.
    virtual bool writeAll(const void* data, std::size_t length) = 0;
};

class SocketStream final : public ByteStream {
  public:
    explicit SocketStream(int fd) : fd_(fd) {}
    bool readExactly(void* buffer, std::size_t length) override;
    bool writeAll(const void* data, std::size_t length) override;

  private:
    const int fd_;
};

// Reads exactly `length` bytes; false when the peer closed or the socket failed first.
bool readExactly(int fd, void* buffer, std::size_t length);
// Writes all bytes (never raising SIGPIPE); false when the socket failed.
bool writeAll(int fd, const void* data, std::size_t length);
// Reads and drops everything until the peer closes.
void drainUntilClosed(int fd);

// usbmux packets. Only property-list messages (type 8, version 1) are spoken.
inline constexpr std::uint32_t kMuxHeaderSize = 16;
inline constexpr std::uint32_t kMuxMessagePlist = 8;
inline constexpr std::uint32_t kMuxVersionPlist = 1;
// A request larger than this is not read: the connection is dropped.
inline constexpr std::uint32_t kMaxMuxPacket = 4u * 1024u * 1024u;

struct MuxPacket {
    std::uint32_t version = 0;
    std::uint32_t message = 0;
    std::uint32_t tag = 0;
    std::vector<std::uint8_t> payload;
};

// The next packet; nullopt when the peer closed or sent a malformed header.
std::optional<MuxPacket> readMuxPacket(int fd);
// Encodes a property-list packet (what writeMuxPlist sends).
std::vector<std::uint8_t> encodeMuxPlist(std::uint32_t tag, const PlistValue& body);
bool writeMuxPlist(int fd, std::uint32_t tag, const PlistValue& body);

// Length-prefixed property lists. readFrame gives the raw body (XML or binary), nullopt when the
// peer closed, or announced an empty body or one over md::kMaxFrameLength.
std::optional<std::vector<std::uint8_t>> readFrame(ByteStream& stream);
std::optional<std::vector<std::uint8_t>> readFrame(int fd);
// The next frame as a dictionary; nullopt when the peer closed or sent anything else.
std::optional<PlistValue> readRequest(ByteStream& stream);
std::optional<PlistValue> readRequest(int fd);
// Header and XML body in one write, so that a peer reading the 4-byte header in one receive
// gets it whole.
std::vector<std::uint8_t> encodeFrame(const PlistValue& message);
bool writeFrame(ByteStream& stream, const PlistValue& message);
bool writeFrame(int fd, const PlistValue& message);

// Splits a byte stream of frames: the complete frames' bodies, and how many bytes of an
// incomplete last frame follow them (0 when the stream ends on a frame boundary).
struct SplitFrames {
    std::vector<std::vector<std::uint8_t>> bodies;
    std::size_t incompleteTail = 0;
};
SplitFrames splitFrames(const std::vector<std::uint8_t>& stream);

}  // namespace nimbara::usbmuxsim
