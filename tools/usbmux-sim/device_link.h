// The device side of a device-link connection (what the backup service speaks): messages are
// length-prefixed property lists, each an array whose first item names it ("DLMessage...").
//
// The device opens with ["DLMessageVersionExchange", 300, 0], the host answers
// ["DLMessageVersionExchange", "DLVersionsOk", n], and the device says ["DLMessageDeviceReady"].
// From then on the host sends ["DLMessageProcessMessage", {request}] and the device drives it
// with requests that the host answers by
// ["DLMessageStatusResponse", code, text or "___EmptyParameterString___", value].
//
// Files travel as a raw byte stream after the message that announces them (uploads after
// "DLMessageUploadFiles", downloads after "DLMessageDownloadFiles"), all numbers 32-bit
// big-endian:
//   per file   length, name on the device; length, path in the host's folder (uploads only the
//              device sends both; a download answer names the host path once)
//   then       blocks of (length + 1, code, bytes): code 0x0C file data, 0x00 the file is done
//              (no bytes), 0x06 or 0x0B an error text instead of the file
//   the end    a length of 0
// and the host's status response follows the stream.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/plist_value.h"

namespace nimbara::usbmuxsim {

namespace DeviceLinkCode {
constexpr std::uint8_t Success = 0x00;
constexpr std::uint8_t LocalError = 0x06;
constexpr std::uint8_t RemoteError = 0x0B;
constexpr std::uint8_t FileData = 0x0C;
}  // namespace DeviceLinkCode

// The host's answer to a request of the device.
struct StatusResponse {
    std::int64_t code = 0;  // 0 success; negative codes travel as unsigned numbers
    std::string text;
    PlistValue value;
};

// A file the device uploads: its path in the host's backup folder, with its bytes from `local`
// or, when `local` is empty, from `bytes`.
struct Upload {
    std::string hostPath;
    std::filesystem::path local;
    std::string bytes;
};

class DeviceLink {
  public:
    explicit DeviceLink(int fd) : fd_(fd) {}

    // The version exchange and "DLMessageDeviceReady"; false when the host answered otherwise.
    bool open();
    bool send(const PlistValue& message);
    // The next message: an array whose first item is a string; nullopt when the connection
    // ended or the host sent anything else.
    std::optional<PlistValue> receive();
    // Sends a request and waits for the host's status response; nullopt when the connection
    // failed or the host answered otherwise.
    std::optional<StatusResponse> ask(const PlistValue& request);

    // Uploads the files in one "DLMessageUploadFiles" and reads the host's answer. `goOn` is
    // asked before each file with the number of files this link uploaded so far; when it says
    // no, the file is cut short after its names and part of its first block, as by a device
    // that went away in the middle of it, and the connection is left as it is. False when the
    // transfer ended early or the host did not accept it.
    bool upload(const std::vector<Upload>& files, double progress,
                const std::function<bool(int uploaded)>& goOn);
    // Asks the host for these files of its backup folder ("DLMessageDownloadFiles") and writes
    // them below `into` at the same relative paths (each a plain relative path; folders are
    // made as needed). The paths the host could not send go into `missing`. False when the
    // connection failed or the host sent a file not asked for or a malformed stream.
    bool download(const std::vector<std::string>& hostPaths, const std::filesystem::path& into,
                  double progress, std::set<std::string>& missing);

  private:
    bool sendBlock(std::uint8_t code, const void* data, std::size_t length);
    bool sendName(const std::string& name);
    // `cutShort`: stop in the middle of the file's first block.
    bool uploadOne(const Upload& file, bool cutShort = false);
    std::optional<std::uint32_t> readNumber();

    const int fd_;
    int uploaded_ = 0;
};

}  // namespace nimbara::usbmuxsim
