// The backup service of the simulated devices ("com.apple.mobilebackup2", started through
// lockdown like the others; an "EscrowBag" in the request is accepted). It speaks device link
// (device_link.h); the host's requests come as DLMessageProcessMessage dictionaries with a
// "MessageName":
//
//   "Hello"    with "SupportedProtocolVersions" (reals): answered {"MessageName": "Response",
//              "ErrorCode": 0, "ProtocolVersion": the highest of 2.0 and 2.1 offered}, or
//              "ErrorCode" 1 when neither is
//   "Backup"   with "TargetIdentifier" (the host's folder for it, the device's UDID when
//              missing). The device builds its backup of backup-source/ (sim_backup_writer.h)
//              and drives the host: it asks for the free space (DLMessageGetFreeDiskSpace),
//              uploads <target>/Status.plist with "SnapshotState" "uploading", makes the
//              two-digit folders (DLMessageCreateDirectory), uploads the stored files, then
//              Manifest.db, Manifest.plist and Status.plist ("finished"), and removes what an
//              earlier backup left that is no longer part of it (DLContentsOfDirectory,
//              DLMessageRemoveItems). Info.plist is the host's own.
//   "Restore"  with "SourceIdentifier" or "TargetIdentifier" (the host's folder of the backup)
//              and "Options" ("RestoreSystemFiles", "RestoreShouldReboot", "Password", ...,
//              all accepted): the device takes the apps the host left for it to reinstall
//              (restore_applications.h), downloads <source>/Manifest.plist, refuses an
//              encrypted backup with ErrorCode 207 (it keeps no backup password it could
//              unlock one with), downloads the file list and the stored files it names, and
//              writes backup-source/ anew from them, built beside it and swapped in whole
//              (backup_tool.h restoreToTarget, the faults of the simulated backend included).
//              Unless "RestoreShouldReboot" is false, a restore that went well restarts the device
//              once the host has let go of the connection: it detaches and attaches again as a
//              new device (UsbmuxServer::restartDevice).
//   anything else  answered with ErrorCode 1.
// Each request ends with ["DLMessageProcessMessage", {"MessageName": "Response", "ErrorCode": n,
// "ErrorDescription": text when n is not 0}]. The connection ends when the host sends
// DLMessageDisconnect or closes it. A backup and a restore of one device never run at once
// (ErrorCode 1 for the second).
//
// Faults (device.plist "Faults", see main.cpp): "BackupPasscode", "BackupEncrypted",
// "BackupDetachAfterFiles", "BackupLinkMessages", "BackupStatus", "BeforeFirstUnlock".
#pragma once

#include <optional>
#include <string>

#include "platform/plist_value.h"
#include "usbmux_server.h"

namespace nimbara::md::sim {
class SimulatedDevice;
}

namespace nimbara::usbmuxsim {

inline constexpr const char* kBackupDomain = "com.apple.mobile.backup";
inline constexpr const char* kFaultBackupPasscode = "BackupPasscode";
inline constexpr const char* kFaultBackupDetachAfterFiles = "BackupDetachAfterFiles";
inline constexpr const char* kFaultBackupLinkMessages = "BackupLinkMessages";
inline constexpr const char* kFaultBackupStatus = "BackupStatus";
// The notifications of the passcode dialog a backup waits behind.
inline constexpr const char* kPasscodePresented = "com.apple.LocalAuthentication.ui.presented";
inline constexpr const char* kPasscodeDismissed = "com.apple.LocalAuthentication.ui.dismissed";

void serveMobileBackup2(UsbmuxServer& server, int fd, const AttachedDevice& device);

// Lockdown's values of the backup domain, beyond device.plist's: "WillEncrypt" true for a device
// whose backups are encrypted. nullopt for other domains, and for a key the domain lacks.
std::optional<PlistValue> backupDomainValue(const md::sim::SimulatedDevice& device,
                                            const std::optional<std::string>& domain,
                                            const std::optional<std::string>& key);

}  // namespace nimbara::usbmuxsim
