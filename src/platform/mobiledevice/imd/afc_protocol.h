// An AFC client spoken over a service connection (the media root, the crash-report area, an app
// container after house arrest vended it).
//
// Every packet is a 40-byte little-endian header ("CFA6LPAA", the whole length, the length of
// header and arguments, the packet number, the operation), the operation's arguments, then any
// payload. The device answers each request with one packet: a status code, data, or a file
// handle.
//
// Nothing the device sends is trusted: a reply must carry our packet number and lengths that add
// up, and is never larger than the request can call for (a listing or attribute list at most
// kMaxListingBytes, a read at most what was asked). Each reply is awaited with the connection's
// own timeout. After a reply that breaks these rules, a timeout or a closed connection the client
// is broken: every later call fails at once, since what the device sends next can no longer be
// matched to a request. A device that said nothing within the timeout is told apart from one
// that refused or went: that call, and every later one, fails with AfcError::Timeout; otherwise
// later calls fail with AfcError::NotConnected.
//
// Paths are normalised before they go out (empty and "." components vanish, ".." never climbs
// above the root); a path holding NUL is refused.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md::imd {

namespace afc {
constexpr std::size_t kHeaderSize = 40;
constexpr char kMagic[] = "CFA6LPAA";
constexpr std::uint64_t kOpStatus = 0x01;
constexpr std::uint64_t kOpData = 0x02;
constexpr std::uint64_t kOpReadDirectory = 0x03;
constexpr std::uint64_t kOpRemovePath = 0x08;
constexpr std::uint64_t kOpMakeDirectory = 0x09;
constexpr std::uint64_t kOpGetFileInfo = 0x0A;
constexpr std::uint64_t kOpFileOpen = 0x0D;
constexpr std::uint64_t kOpFileOpenResult = 0x0E;
constexpr std::uint64_t kOpFileRead = 0x0F;
constexpr std::uint64_t kOpFileWrite = 0x10;
constexpr std::uint64_t kOpFileClose = 0x14;
constexpr std::uint64_t kOpRenamePath = 0x18;
// Device open modes.
constexpr std::uint64_t kModeReadOnly = 1;
constexpr std::uint64_t kModeWriteOnly = 3;  // created or truncated

constexpr std::size_t kMaxListingBytes = 16u * 1024u * 1024u;
constexpr std::size_t kMaxReadChunk = 1024u * 1024u;
constexpr std::size_t kWriteChunk = 64u * 1024u;
constexpr std::size_t kMaxPathBytes = 4096;

// The device path a caller's path goes out as: "/" and the normalised components; nullopt for a
// path holding NUL or longer than kMaxPathBytes.
std::optional<std::string> wirePath(const std::string& path);

// NUL-terminated strings of a reply, in order; bytes after the last NUL are dropped.
std::vector<std::string> splitStrings(const std::vector<std::uint8_t>& data);
}  // namespace afc

// The request and reply traffic of one AFC client, shared by the client and its open files.
class AfcWire {
  public:
    explicit AfcWire(std::shared_ptr<ServiceConnection> connection);

    struct Reply {
        std::uint64_t operation = 0;
        std::vector<std::uint8_t> data;  // everything after the header
    };

    // Sends one request and reads its reply, allowing at most `maxReplyData` bytes after the
    // header. AfcError::Ok with the reply, the device's status code when it answered with a
    // failure status, Timeout when the device did not answer in time (and once broken by that),
    // NotConnected once broken otherwise or closed, HeaderInvalid for a reply that breaks the
    // rules above (the wire is broken from then on).
    int request(std::uint64_t operation, const std::vector<std::uint8_t>& arguments,
                const void* payload, std::size_t payloadLength, std::size_t maxReplyData,
                Reply& reply);

    // Ends use of the wire: later requests fail with NotConnected.
    void close();
    bool usable() const;

  private:
    int send(std::uint64_t operation, const std::vector<std::uint8_t>& arguments,
             const void* payload, std::size_t payloadLength);
    bool receiveExactly(std::uint8_t* buffer, std::size_t length);
    int fail(int code);
    // A receive that failed: Timeout when the device said nothing in time, else NotConnected.
    int failedReceive();

    const std::shared_ptr<ServiceConnection> connection_;
    mutable std::mutex mutex_;
    std::uint64_t packetNumber_ = 0;
    bool broken_ = false;
    bool timedOut_ = false;  // broken because the device did not answer in time
    bool closed_ = false;
};

// One client's use of a wire: closing it ends the client and its files, not the wire, which
// other clients over the same service connection may share.
struct AfcSession {
    explicit AfcSession(std::shared_ptr<AfcWire> w) : wire(std::move(w)) {}
    int request(std::uint64_t operation, const std::vector<std::uint8_t>& arguments,
                const void* payload, std::size_t payloadLength, std::size_t maxReplyData,
                AfcWire::Reply& reply) {
        if (closed.load()) {
            return AfcError::NotConnected;
        }
        return wire->request(operation, arguments, payload, payloadLength, maxReplyData, reply);
    }
    bool usable() const { return !closed.load() && wire->usable(); }

    const std::shared_ptr<AfcWire> wire;
    std::atomic<bool> closed{false};
};

// An AfcConnection over a wire.
class ProtocolAfcConnection : public AfcConnection {
  public:
    // A client with a wire of its own.
    explicit ProtocolAfcConnection(std::shared_ptr<ServiceConnection> connection);
    // A client over a wire that others may share.
    explicit ProtocolAfcConnection(std::shared_ptr<AfcWire> wire);
    ~ProtocolAfcConnection() override;

    int readDirectory(const std::string& path, std::vector<std::string>& names) override;
    int fileInfo(const std::string& path,
                 std::vector<std::pair<std::string, std::string>>& info) override;
    int openFile(const std::string& path, int mode, std::unique_ptr<AfcFile>& file) override;
    int removePath(const std::string& path) override;
    int renamePath(const std::string& from, const std::string& to) override;
    int makeDirectory(const std::string& path) override;
    int close() override;

  private:
    int pathRequest(std::uint64_t operation, const std::string& path, std::size_t maxReplyData,
                    AfcWire::Reply& reply);
    int makeDirectoryAt(const std::string& wire, int depth);
    bool isDirectory(const std::string& wire);

    const std::shared_ptr<AfcSession> session_;
};

}  // namespace nimbara::md::imd
