// One attached simulated device: the lockdown state machine (connect, pair, session), values,
// services and faults of the folder described in sim_layout.h.
//
// The device keeps the folder it attached to open (sim_folder.h) and reaches its files only
// through it. Every counted operation first checks that the folder's path still names that
// folder: when it names another one (or none), the device has gone, and the operation fails.
// The check looks at the folder's name in its parent (one step, whatever the depth of the path)
// whenever a name in the parent changed since the last check (the kernel reports such changes
// as they happen; where it can't, the look is made every time), and along the whole path when
// the parent itself moved. A folder swapped further up is noticed by the look along the whole
// path made on the first and every 64th operation, and by the library's look at its root.
// Attribute reads (what a walk makes of each entry of a folder it listed) leave the check to a
// later operation unless the look along the path is due or the last check is kLookAtLeastEvery
// old: a device whose folder went is noticed at the next listing, or within 64 operations or
// that time. What they read is still the attached device's (its files are reached through the
// folder held open).
//
// Operations that count towards the "DetachAfterOperations" fault: connect(), service and house
// arrest starts, openAfc(), every AFC call (file reads and writes included) and every send() and
// receive() of a property-list service. With a limit of N, the first N such operations succeed;
// the next one detaches the device and fails.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/sim_folder.h"

namespace nimbara::md {
struct MediaSyncChannel;
}

namespace nimbara::md::sim {

// The faults and flags of device.plist, as read last.
struct DeviceFaults {
    bool trusted = true;
    std::optional<int> connectError;
    std::set<std::string> refusedServices;
    std::set<std::string> shortReply;
    std::set<std::string> closedReply;
    std::optional<std::int64_t> detachAfterOperations;
    bool refuseMediaSync = false;
    int waitReason = 0;
    std::set<std::string> refusedContainers;
    bool noAppArchives = false;
    std::set<std::string> refusedRemovals;
    std::string lookupWaitsFor;
};

class SimulatedDevice : public Device, public std::enable_shared_from_this<SimulatedDevice> {
  public:
    // `folder` is the device's folder opened at `dir`, `config` its device.plist as read (with
    // the stamp of that file); `serial` makes the identifier of this attachment.
    SimulatedDevice(std::filesystem::path dir, DeviceFolder folder, PlistValue config,
                    FileStamp configStamp, std::uint64_t serial);
    ~SimulatedDevice() override;

    std::string identifier() const override;
    bool attached() const override;
    // The reason last reported (see refreshWaitReason).
    int waitReason() const override;
    // Takes the "WaitReason" of device.plist as it is now: true when it changed.
    bool refreshWaitReason();

    int connect() override;
    int disconnect() override;
    int validatePairing() override;
    int pair() override;
    int isPaired() override;
    int startSession() override;
    int stopSession() override;

    int copyValue(const std::optional<std::string>& domain, const std::optional<std::string>& key,
                  PlistValue& value) override;
    int startService(const std::string& name,
                     std::unique_ptr<ServiceConnection>& connection) override;
    int startHouseArrestService(const std::string& bundleId,
                                std::unique_ptr<ServiceConnection>& connection) override;

    // The path the device was attached from.
    const std::filesystem::path& dir() const { return dir_; }
    // The device's folder as attached, for the paths of its files (see sim_folder.h).
    const std::filesystem::path& anchor() const { return folder_.anchor(); }
    const DeviceFolder& folder() const { return folder_; }
    const FolderId& folderId() const { return folder_.id(); }
    // The UniqueDeviceID of the global domain (the folder's name when it has none).
    const std::string& udid() const { return udid_; }

    // Counts one operation (see above). False when the device is gone, or has gone now (its
    // folder moved away or was replaced, or an injected fault detached it). `attributeRead`: the
    // operation may leave the check of the folder to a later one (see above).
    bool countOperation(bool attributeRead = false);

    // Opens a media-sync session, queueing "SyncAllowed" and "AssetMetrics"; null when the
    // device refuses it.
    std::unique_ptr<MediaSyncConnection> openMediaSync();
    void pushMediaSyncMessage(const PlistValue& message);

    // The faults of device.plist as it is now.
    DeviceFaults currentFaults();

    // Serialises changes to apps/ (installation proxy work of several connections).
    std::mutex& appsMutex() { return appsMutex_; }

    // Goes away now, as an injected fault makes it go: the folder stays but is not attached
    // again (the protocol-level device's faults detach a device in the middle of a service).
    void detachByFault() { goAway(true); }

    // Called by the library: marks the device gone and wakes its media-sync sessions.
    void markDetached();
    // What countOperation() calls when the device goes away by itself (set by the library):
    // `keepOut` is true for an injected fault (the folder stays, but is not attached again),
    // false when the folder moved away or was replaced.
    void setDetachHandler(std::function<void(bool keepOut)> handler);

  private:
    // Re-reads device.plist when it changed on disk. Needs mutex_.
    void refreshConfigLocked();
    // Whether the device's path still names its folder (see the top of this file).
    bool stillInItsFolder(bool mayWait);
    // Detaches the device through the library's handler.
    void goAway(bool keepOut);
    int checkLocked(bool needSession) const;
    // The common start of a service start: a session, fresh faults, one counted operation.
    int beginServiceStart(DeviceFaults& faults);

    // How often countOperation() looks along the whole path rather than in the parent only.
    static constexpr std::uint64_t kFullLookEvery = 64;
    // How long an attribute read may leave the check to a later operation.
    static constexpr std::chrono::milliseconds kLookAtLeastEvery{20};

    const std::filesystem::path dir_;
    const DeviceFolder folder_;
    const std::uint64_t serial_;
    std::string udid_;
    std::atomic<bool> detached_{false};
    std::atomic<int> waitReason_{0};

    std::mutex lookMutex_;
    std::uint64_t looks_ = 0;  // the operations so far (each one that checks, the others too)
    std::chrono::steady_clock::time_point lastLook_;  // the last check made
    bool lookDue_ = true;       // a change in the parent folder was seen and not looked at yet
    bool fullLookDue_ = false;  // the parent folder itself moved: look along the whole path

    mutable std::mutex mutex_;
    PlistValue config_;
    DeviceFaults faults_;
    FileStamp configStamp_;  // of the device.plist read last, or refused last
    int connectDepth_ = 0;
    int sessionDepth_ = 0;
    std::int64_t operations_ = 0;
    std::function<void(bool keepOut)> detachHandler_;
    std::vector<std::weak_ptr<MediaSyncChannel>> mediaSync_;

    std::mutex appsMutex_;
};

}  // namespace nimbara::md::sim
