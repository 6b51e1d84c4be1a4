// The mobile-device library: what the device layer (src/device) calls to reach an attached
// iPhone, iPad or iPod touch. Only src/device uses this header.
//
// A backend implements `Library`, `Device`, `ServiceConnection`, `AfcConnection`, `AfcFile` and
// `MediaSyncConnection`. Two backends: the simulated device (sim/) and real devices over USB
// through libimobiledevice and the usbmuxd daemon (imd/).
//
// Conventions:
//  - Every call returns int: 0 is success, any other value is an error code (see `Error` and
//    `AfcError`). Results travel through out-parameters.
//  - A device handle is reference-counted. After its device detached, the handle stays valid:
//    every call on it, and on connections started from it, fails with Error::DeviceGone.
//  - A started service is a connection object (real services may be TLS-wrapped): bytes go through
//    send() and receive(); an AFC service is opened on top of it with openAfc().
//  - Nothing here takes a lock of the device layer. Backends are thread-safe per object:
//    different objects may be used from different threads at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/plist_value.h"

namespace nimbara::md {

// Error codes of the library (negative when read as int, as the platform's are).
namespace Error {
constexpr int Ok = 0;
constexpr int Unknown = static_cast<int>(0xE8000001u);
constexpr int DeviceGone = static_cast<int>(0xE8000084u);         // the device detached
constexpr int NotConnected = static_cast<int>(0xE800000Bu);       // call needs connect first
constexpr int ConnectionRefused = static_cast<int>(0xE8000019u);  // connect failed
constexpr int InvalidPairing = static_cast<int>(0xE800001Du);     // not paired / untrusted
constexpr int PairingRefused = static_cast<int>(0xE8000096u);     // the user did not trust
constexpr int SessionInactive = static_cast<int>(0xE800003Au);    // call needs a session
constexpr int ServiceRefused = static_cast<int>(0xE8000022u);     // service could not start
constexpr int AppNotInstalled = static_cast<int>(0xE8000087u);    // house arrest: no such app
constexpr int InvalidArgument = static_cast<int>(0xE8000007u);
constexpr int ProtocolError = static_cast<int>(0xE8000013u);      // malformed or missing reply
constexpr int Refused = static_cast<int>(0xE8000042u);            // installation proxy said no
constexpr int PasswordProtected = static_cast<int>(0xE8000071u);  // locked with a passcode
constexpr int PairingPending = static_cast<int>(0xE8000095u);     // the trust question is showing
constexpr int ContainerRefused = static_cast<int>(0xE80000A1u);   // the app does not share files
constexpr int Timeout = static_cast<int>(0xE80000A2u);            // the device did not answer
// No failure: what the device layer says of a device plugged in and being read.
constexpr int Connecting = static_cast<int>(0xE80000A3u);
}  // namespace Error

// A sentence the user can read for a library error code ("" for 0): what went wrong and, where
// the user can do something about it, what.
std::string errorText(int code);

// AFC status codes (the AFC protocol's own numbering).
namespace AfcError {
constexpr int Ok = 0;
constexpr int Unknown = 1;
constexpr int HeaderInvalid = 2;  // a malformed reply
constexpr int ReadError = 4;
constexpr int WriteError = 5;
constexpr int InvalidArgument = 7;
constexpr int NotFound = 8;
constexpr int IsDirectory = 9;
constexpr int PermissionDenied = 10;
constexpr int NotConnected = 11;
constexpr int Timeout = 12;  // the device did not answer in time (the connection is lost)
constexpr int Exists = 16;
constexpr int NoSpace = 18;
constexpr int IoError = 20;
constexpr int NotEmpty = 33;
}  // namespace AfcError

// AFC open modes.
namespace AfcMode {
constexpr int Read = 1;   // read only; the file must exist
constexpr int Write = 2;  // write only; created or truncated
// Read and write, created when missing; kept as it is, or with ReadWriteNew truncated. Only the
// simulated device's file service takes them.
constexpr int ReadWrite = 3;
constexpr int ReadWriteNew = 4;
}  // namespace AfcMode

// One open AFC file.
class AfcFile {
  public:
    virtual ~AfcFile() = default;
    // Reads up to `length` bytes; `length` becomes the count read (0 at the end of the file).
    virtual int read(void* buffer, std::size_t& length) = 0;
    // Writes all `length` bytes or fails.
    virtual int write(const void* buffer, std::size_t length) = 0;
    // Closes the file; later reads and writes fail. Also done by the destructor.
    virtual int close() = 0;
};

// An AFC client over one service connection. Paths are absolute UTF-8 paths within the
// service's area ("/DCIM", "/Library/Caches"); ".." and symbolic links never leave that area.
class AfcConnection {
  public:
    virtual ~AfcConnection() = default;
    // The folder's entries in the device's order, "." and ".." included.
    virtual int readDirectory(const std::string& path, std::vector<std::string>& names) = 0;
    // File attributes as key/value text pairs in the device's order, replacing what `info` held
    // (empty on failure): "st_ifmt" ("S_IFDIR", "S_IFREG", "S_IFLNK"), "st_size" (decimal
    // bytes), "st_mtime" and "st_birthtime" (decimal nanoseconds since 1970), "st_nlink",
    // "st_blocks".
    virtual int fileInfo(const std::string& path,
                         std::vector<std::pair<std::string, std::string>>& info) = 0;
    virtual int openFile(const std::string& path, int mode, std::unique_ptr<AfcFile>& file) = 0;
    // Removes a file or an empty folder.
    virtual int removePath(const std::string& path) = 0;
    virtual int renamePath(const std::string& from, const std::string& to) = 0;
    // Creates the folder and any missing parents.
    virtual int makeDirectory(const std::string& path) = 0;
    virtual int close() = 0;
};

// A started service.
class ServiceConnection {
  public:
    virtual ~ServiceConnection() = default;
    // Sends all bytes; the count sent, or -1.
    virtual long send(const void* data, std::size_t length) = 0;
    // Receives up to `length` bytes, waiting for at least one; the count, 0 when the peer closed,
    // or -1 on an error. May return fewer bytes than asked.
    virtual long receive(void* buffer, std::size_t length) = 0;
    // Opens an AFC client over this connection (AFC services and house arrest).
    virtual int openAfc(std::unique_ptr<AfcConnection>& afc) = 0;
    virtual void close() = 0;
    // Whether the last receive failed because the device said nothing within the limit (and
    // not because it closed, or the connection was cut).
    virtual bool timedOut() const { return false; }
};

// A media-sync session ("AssetMetrics" and other messages from the device).
class MediaSyncConnection {
  public:
    virtual ~MediaSyncConnection() = default;
    // Blocks until the next message ({"Command": text, "Params": dictionary}) arrives;
    // nullopt once the connection is closed or the device went away.
    virtual std::optional<PlistValue> readMessage() = 0;
    // Ends the session and wakes a blocked readMessage() on another thread. Safe to call twice.
    virtual void close() = 0;
};

// One attached device.
class Device {
  public:
    virtual ~Device() = default;

    // A stable identity of this attachment, for logs and comparisons.
    virtual std::string identifier() const = 0;
    // False once the device detached.
    virtual bool attached() const = 0;
    // Why a device reported with kMessageWaiting can't be used yet (an `Error` code such as
    // PasswordProtected, PairingPending or PairingRefused); 0 once it can.
    virtual int waitReason() const { return Error::Ok; }

    virtual int connect() = 0;
    virtual int disconnect() = 0;
    virtual int validatePairing() = 0;
    virtual int pair() = 0;
    virtual int isPaired() = 0;  // nonzero when paired
    virtual int startSession() = 0;
    virtual int stopSession() = 0;

    // Lockdown values. A null domain is the global domain; a null key gives the whole domain as
    // a dictionary. Needs a session. Fails with a nonzero code when there is no such value.
    virtual int copyValue(const std::optional<std::string>& domain,
                          const std::optional<std::string>& key, PlistValue& value) = 0;
    // What the device answered moments ago, while its attach is handled, so that the values an
    // attach reads cost no round trip each: Found (with `value`), Missing (the device has no
    // such value), or NotKnown: ask the device (copyValue in a bracket). Needs no bracket.
    enum class Recent { NotKnown, Found, Missing };
    virtual Recent recentValue(const std::optional<std::string>& /*domain*/,
                               const std::optional<std::string>& /*key*/,
                               PlistValue& /*value*/) const {
        return Recent::NotKnown;
    }

    // Starts a lockdown service by name. Needs a session.
    virtual int startService(const std::string& name,
                             std::unique_ptr<ServiceConnection>& connection) = 0;
    // Opens an app's container (house arrest, "VendContainer"). Needs a session.
    virtual int startHouseArrestService(const std::string& bundleId,
                                        std::unique_ptr<ServiceConnection>& connection) = 0;
};

using DeviceHandle = std::shared_ptr<Device>;

// Installation proxy progress: a status dictionary such as {"Status": "CopyingFile",
// "PercentComplete": 40}.
using StatusCallback = std::function<void(const PlistValue& status)>;

// Attach (1) and detach (2) events. A device that is plugged in but can't be used yet (locked,
// the trust question showing or refused) is reported with kMessageWaiting (3) and its
// waitReason(), again whenever the reason changes; once usable it is reported attached. A
// backend whose devices take a while to be read reports one with kMessageConnecting (4) as soon
// as it is plugged in, before any of those. A device reported only as waiting or connecting is
// reported detached when it goes.
constexpr int kMessageAttached = 1;
constexpr int kMessageDetached = 2;
constexpr int kMessageWaiting = 3;
constexpr int kMessageConnecting = 4;
using NotificationCallback = std::function<void(int message, const DeviceHandle& device)>;

class Subscription {
  public:
    virtual ~Subscription() = default;
};

class Library {
  public:
    virtual ~Library() = default;

    // Subscribes to attach and detach events. The callback runs on the subscribing thread's event
    // loop. Devices already attached are reported at once (within the call or soon after).
    virtual int subscribe(NotificationCallback callback,
                          std::unique_ptr<Subscription>& subscription) = 0;

    // Opens a media-sync session presenting the given library identifier; null when the device
    // refuses it (for example when it does not trust this computer). Where a device has no such
    // session, its "AssetMetrics" come from what else it reports; a group or item of them that
    // can't be known carries kMetricUnknown = true instead of "_PhysicalSize".
    virtual std::unique_ptr<MediaSyncConnection> createMediaSyncConnection(
        const std::string& libraryId, const std::string& deviceId) = 0;
};

constexpr const char* kMetricUnknown = "_Unknown";

// The process's library; set once at start-up (or by a test), before any device call.
Library* library();
void setLibrary(std::shared_ptr<Library> lib);

// Installation proxy operations, spoken as length-prefixed XML property lists over a
// "com.apple.mobile.installation_proxy" connection (these work with any backend).
int lookupApplications(Device& device, const PlistValue& options, PlistValue& result);
// The same over an installation proxy connection already started; it needs no session.
int lookupApplications(ServiceConnection& proxy, const PlistValue& options, PlistValue& result);
int installApplication(ServiceConnection& proxy, const std::string& packagePath,
                       const PlistValue& options, const StatusCallback& callback);
// The same as an "Upgrade": an installed app with the package's identifier is replaced in place,
// keeping its documents and data, and never removed first.
int upgradeApplication(ServiceConnection& proxy, const std::string& packagePath,
                       const PlistValue& options, const StatusCallback& callback);
int uninstallApplication(ServiceConnection& proxy, const std::string& bundleId,
                         const PlistValue& options, const StatusCallback& callback);
int archiveApplication(ServiceConnection& proxy, const std::string& bundleId,
                       const PlistValue& options, const StatusCallback& callback);
int removeApplicationArchive(ServiceConnection& proxy, const std::string& bundleId,
                             const PlistValue& options, const StatusCallback& callback);
// Copies a local app package (a folder, or an .ipa file) to the device's "/PublicStaging"
// over an AFC service connection, reporting {"Status": "CopyingFile"} steps.
int transferApplication(ServiceConnection& afc, const std::string& packagePath,
                        const StatusCallback& callback);

// Length-prefixed property-list framing: a 4-byte big-endian length, then the XML body.
// Bodies longer than kMaxFrameLength are refused. On success `sentLength` (when given) receives
// the body's length.
constexpr std::uint32_t kMaxFrameLength = 64u * 1024u * 1024u;
int sendFrame(ServiceConnection& connection, const PlistValue& message,
              std::uint32_t* sentLength = nullptr);
std::optional<PlistValue> receiveFrame(ServiceConnection& connection);
// The 4-byte header of a frame, written and read (also by backends that serve frames).
std::array<std::uint8_t, 4> frameHeader(std::uint32_t length);
std::uint32_t frameLength(const std::uint8_t* header);

}  // namespace nimbara::md
