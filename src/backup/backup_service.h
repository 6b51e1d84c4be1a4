// A real device's backup service, reached through libimobiledevice for one backup or restore, as
// hosts reach it: lockdown with its handshake (TLS as the device's iOS version speaks it), the
// notification proxy ("syncWillStart", "syncDidStart" and, at the end, "syncDidFinish"; the
// device's notifications observed), the sync lock taken on the device's AFC (asked for with
// "syncLockRequest", then waited for while another program holds it), then the backup service
// started with the escrow bag (waiting while the device refuses it as locked: not unlocked since
// it restarted) and its version agreed. Lockdown is left once the services
// run. Everything is given back, the sync lock released, when the object goes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "backup/backup_info_plist.h"
#include "backup/device_link.h"
#include "platform/plist_value.h"

namespace nimbara::backup {

// What the device let the host know while it works, and what the host waits for while it connects.
enum class DeviceNotice {
    PasscodeAsked,
    PasscodeDismissed,
    CancelledOnDevice,
    SyncLockBusy,   // another program holds the sync lock: waiting for it
    SyncLockTaken,  // after a wait
    UnlockAsked,    // not unlocked since it restarted: waiting for the unlock
    Unlocked,       // after that wait
};

class BackupService {
  public:
    struct Facts {
        PlistValue lockdown;         // the device's domain-less lockdown values
        bool willEncrypt = false;    // the device encrypts its backups
        bool passcodeSet = false;    // the device has a passcode
        double protocolVersion = 0;  // the backup service's version agreed
    };

    // Connects to `udid`; nullptr with the reason for the user in `error`. `notice` (may be empty)
    // runs on a thread of the notification proxy, or on this one while it waits for the sync lock
    // (as long as another program holds it, at most about ten seconds) or for the device's first
    // unlock since it restarted (at most five minutes). `stop` ends those waits.
    static std::unique_ptr<BackupService> connect(const std::string& udid,
                                                  std::function<void(DeviceNotice)> notice,
                                                  const std::function<bool()>& stop,
                                                  std::string* error);
    ~BackupService();
    BackupService(const BackupService&) = delete;
    BackupService& operator=(const BackupService&) = delete;

    const Facts& facts() const;
    // Sends the request ("Backup", "Restore") for `udid`'s data; false when the device refused.
    bool request(const char* name, const std::string& udid, const PlistValue& options);
    // The device-link exchange that follows the request.
    DeviceLinkTransport& link();
    // What the backup's Info.plist holds of the device beyond its lockdown values
    // (backup_info_reader.h), read in a lockdown session of its own.
    BackupInfoExtras readInfoExtras();
    // Leaves a backup's "Applications" on the device for it to reinstall once the restore
    // restarted it; empty when done, else what could not be done.
    std::string leaveAppsToReinstall(const PlistValue& applications);

    struct Parts;

  private:
    explicit BackupService(std::unique_ptr<Parts> parts);
    std::unique_ptr<Parts> parts_;
};

// The versions of the backup service this host speaks, in the order offered.
inline constexpr double kBackupProtocolVersions[] = {2.0, 2.1, 3.0};

// Whether a device of this iOS version with a passcode waits for it after a backup request.
bool waitsForPasscode(const std::string& productVersion);

}  // namespace nimbara::backup
