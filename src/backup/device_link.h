// The host's side of the device-link exchange a device's backup service leads once it was asked
// for a backup or a restore: the device sends messages ("DLMessageUploadFiles", ...) and the host
// carries them out on one folder of its own and answers each.
//
// The device names files by paths that start with its identifier ("<UDID>/Manifest.plist"); the
// folder given here stands for that identifier. A name that does not start with it, or that would
// leave the folder ("..", "." or an empty name on the way, a leading "/", a NUL), is refused and
// nothing is read or written for it. Uploaded files are written under a temporary name beside
// their target and take its name only once the device said they are complete: a file the device
// could not finish, or that the run did not finish receiving, leaves nothing behind. No name is
// followed through a link at any step, for reading, listing or changing. A read-only run (a
// restore) refuses every change the device asks for.
//
// The transport is the device's backup service (real_device_backup.cpp) or a stand-in.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/plist_value.h"

namespace nimbara::backup {

class DeviceLinkTransport {
  public:
    enum class Receive { Message, Timeout, Failed };
    virtual ~DeviceLinkTransport() = default;
    // The next message: an array whose first item is the message's name.
    virtual Receive receiveMessage(PlistValue& message) = 0;
    virtual bool sendRaw(const void* data, std::size_t length) = 0;
    // Exactly `length` bytes; false when the link failed before.
    virtual bool receiveRaw(void* data, std::size_t length) = 0;
    // The answer to a message: its status code, error text (empty: none) and contents.
    virtual bool sendStatus(int code, const std::string& text, const PlistValue& contents) = 0;
};

struct DeviceLinkOptions {
    std::string top;                       // the device's name for the folder: its identifier
    std::filesystem::path folder;          // the folder those names lead into
    std::filesystem::path spaceOf;         // the file system whose free space the device is told
    bool readOnly = false;                 // a restore: the device may only read
    std::function<bool()> stop;            // asked before each message and between file blocks
    std::function<void(double)> progress;  // the overall percentage the messages carry
    std::function<void()> firstMessage;    // runs when the device's first message arrived
};

struct DeviceLinkEnd {
    enum class Kind {
        Finished,     // the device said the work succeeded
        DeviceError,  // the device said it failed (code and text), or left without a result
        Gone,         // the link failed
        Stopped,      // `stop` said so
    };
    Kind kind = Kind::Gone;
    long code = 0;
    std::string text;       // the device's error text
    std::string hostError;  // the last thing the host could not do for the device, if any
    int filesReceived = 0;
};

DeviceLinkEnd runDeviceLink(DeviceLinkTransport& link, const DeviceLinkOptions& options);

// The path below the folder that the device's `name` leads to (empty for the folder itself);
// nullopt when the name is refused (see above).
std::optional<std::string> linkedPath(std::string_view top, std::string_view name);

// The device's error code for a local errno value.
int deviceErrorCode(int error);

}  // namespace nimbara::backup
