// The device side of the AFC protocol on a connected socket, over one AFC client of a simulated
// device (its media root, crash area or an app container).
//
// A packet is a 40-byte little-endian header ("CFA6LPAA", entire length, header-and-parameters
// length, packet number, operation), its parameters, then a payload (the bytes of a write). Every
// request is answered by one packet with the request's number: a status code, data (names and
// attributes as NUL-terminated strings, file bytes), a file handle or a position.
//
// Served: directory listing, file and device information, open (read-only; write-only with create
// and truncate; read-write with create, truncating or not), read, write, tell, close, file locks
// (afc_locks.h: shared, exclusive and unlock; a lock in the way is answered "would block" when
// the request says not to wait, and waited for otherwise), remove, remove with contents, rename
// and make-folder. Anything else is answered "not supported". The connection ends when
// the peer closes, sends a malformed header, or the device goes away (then it is dropped
// without an answer, as a vanished device drops it).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::usbmuxsim {

namespace AfcOp {
constexpr std::uint64_t Status = 0x01;
constexpr std::uint64_t Data = 0x02;
constexpr std::uint64_t ReadDir = 0x03;
constexpr std::uint64_t Truncate = 0x07;
constexpr std::uint64_t RemovePath = 0x08;
constexpr std::uint64_t MakeDir = 0x09;
constexpr std::uint64_t GetFileInfo = 0x0A;
constexpr std::uint64_t GetDevInfo = 0x0B;
constexpr std::uint64_t FileOpen = 0x0D;
constexpr std::uint64_t FileOpenResult = 0x0E;
constexpr std::uint64_t FileRead = 0x0F;
constexpr std::uint64_t FileWrite = 0x10;
constexpr std::uint64_t FileSeek = 0x11;
constexpr std::uint64_t FileTell = 0x12;
constexpr std::uint64_t FileTellResult = 0x13;
constexpr std::uint64_t FileClose = 0x14;
constexpr std::uint64_t RenamePath = 0x18;
constexpr std::uint64_t FileLock = 0x1B;
constexpr std::uint64_t RemovePathAndContents = 0x22;
}  // namespace AfcOp

// AFC status codes beyond md::AfcError's.
namespace AfcStatus {
constexpr std::uint64_t NoResources = 3;
constexpr std::uint64_t UnknownPacketType = 6;
constexpr std::uint64_t OpNotSupported = 15;
constexpr std::uint64_t OpWouldBlock = 19;
}  // namespace AfcStatus

class AfcServer {
  public:
    static constexpr std::size_t kHeaderSize = 40;
    // Requests with more than this many bytes after the header drop the connection.
    static constexpr std::uint64_t kMaxRequestBytes = 64u * 1024u * 1024u;
    // The most bytes one read answers with; the client asks again for the rest.
    static constexpr std::uint64_t kMaxReadBytes = 4u * 1024u * 1024u;
    static constexpr std::size_t kMaxOpenFiles = 64;
    // How deep "remove with contents" descends.
    static constexpr int kMaxRemoveDepth = 128;

    // `deviceInfo` answers the device-information request (key, value pairs); `attached` tells
    // whether the device is still there.
    // `moreNames`, when given, adds names to the listing of a folder (the path as asked).
    using MoreNames = std::function<std::vector<std::string>(const std::string& path)>;
    AfcServer(int fd, std::unique_ptr<md::AfcConnection> afc,
              std::vector<std::pair<std::string, std::string>> deviceInfo,
              std::function<bool()> attached, MoreNames moreNames = {});
    ~AfcServer();

    // Locks are shared with the other connections that give the same `scope` (the device's
    // area); `beforeLock` (may be empty) runs before each lock request with the file's key (the
    // scope, ":" and the file's path, "/a//b/" as "/a/b"). Without it a connection's locks are
    // its own.
    using BeforeLock = std::function<void(const std::string& key)>;
    void shareLocks(std::string scope, BeforeLock beforeLock);

    // Serves requests until the connection ends.
    void run();

  private:
    struct OpenFile {
        std::unique_ptr<md::AfcFile> file;
        std::uint64_t position = 0;
        std::string path;
        std::uint64_t lockOwner = 0;  // the open file's own number for its locks
    };
    struct Request {
        std::uint64_t number = 0;
        std::uint64_t operation = 0;
        std::vector<std::uint8_t> parameters;
        std::vector<std::uint8_t> payload;
    };

    // Handles one request; false when the connection must end.
    bool handle(const Request& request);
    // An AFC client's result as an answer: false when the device is gone.
    bool answerStatus(const Request& request, int rc);
    bool answer(const Request& request, std::uint64_t operation, const void* data,
                std::size_t length);
    bool answerU64(const Request& request, std::uint64_t operation, std::uint64_t value);
    bool answerStrings(const Request& request, int rc, const std::vector<std::string>& strings);
    int removeTree(const std::string& path, int depth);
    OpenFile* findFile(const std::vector<std::uint8_t>& parameters);
    bool lockFile(const Request& request);
    std::string lockKey(const std::string& path) const;

    const int fd_;
    std::unique_ptr<md::AfcConnection> afc_;
    const std::vector<std::pair<std::string, std::string>> deviceInfo_;
    const std::function<bool()> attached_;
    const MoreNames moreNames_;
    std::string lockScope_;
    BeforeLock beforeLock_;
    std::map<std::uint64_t, OpenFile> files_;
    std::uint64_t nextHandle_ = 1;
};

}  // namespace nimbara::usbmuxsim
