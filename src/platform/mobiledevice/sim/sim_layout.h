// The on-disk layout of a simulated device. One folder per device under the simulated-devices
// root; the folder's name is free (conventionally the UDID).
//
//   <dir>/device.plist          see the keys below
//   <dir>/media/                the AFC media root ("com.apple.afc")
//   <dir>/apps/<bundle-id>/attributes.plist   installation-proxy attributes of the app
//   <dir>/apps/<bundle-id>/container/         the app's data container (house arrest)
//   <dir>/apps/<bundle-id>/bundle/            the app package itself (Info.plist, executable)
//   <dir>/apps/<bundle-id>/icon.png           the home-screen icon (SpringBoard)
//   <dir>/crashes/              the crash-report area ("com.apple.crashreportcopymobile")
//   <dir>/backup-source/<domain>/<relative path>   what a backup of the device holds
//
// device.plist is a dictionary:
//   "Lockdown": { "Global": {DeviceName, UniqueDeviceID, ProductType, ProductVersion,
//                            PhoneNumber, BuildVersion, SerialNumber, ...},
//                 "com.apple.disk_usage": {TotalDiskCapacity, TotalDataCapacity,
//                            TotalSystemCapacity, AmountDataAvailable, TotalSystemAvailable,
//                            TotalDataAvailable},
//                 "<other domain>": {...} }
//   "Trusted": bool (default true). An untrusted device fails pairing and media sync.
//   "AssetMetrics": the "Params" dictionary of the "AssetMetrics" message the device sends when
//                   a media-sync session opens: {"Application": {"_PhysicalSize": n},
//                   "Media": {"Music": {"_PhysicalSize": n}, "Movie": {...}},
//                   "Photo": {"Photo": {...}, "CameraRoll": {...}}}
//   "Faults": optional dictionary of faults to inject:
//       "ConnectError": int      connect() fails with this code
//       "RefusedServices": [service names]   startService() fails with Error::ServiceRefused
//                                ("com.apple.mobile.house_arrest" refuses every container)
//       "ShortReply": [service names]   replies of these property-list services are cut short
//       "ClosedReply": [service names]  these services close instead of replying
//       "DetachAfterOperations": int    the device detaches after this many operations
//                                (connects, service starts, AFC and service calls)
//       "RefuseMediaSync": bool  no media-sync session
//       "RefusedContainers": [bundle ids]  house arrest refuses these apps' containers with
//                                Error::ContainerRefused (apps that don't share their files)
//       "NoAppArchives": bool    the installation proxy refuses to archive apps
//       "RefusedRemovals": [paths]  AFC refuses to remove these paths (as the connection names
//                                them: media paths, or paths inside a container) with
//                                PermissionDenied
//       "WaitReason": int        the device is plugged in but can't be used yet: reported as
//                                waiting with this Error code (PasswordProtected, PairingPending,
//                                PairingRefused) until the fault is gone again
//       "LookupWaitsFor": text   an installation-proxy lookup answers only once the device's
//                                folder holds a file of this name, or the device is gone (tests
//                                hold a lookup in progress with it)
//     and the faults the backup tool (nimbara-backup) meets on the device:
//       "BackupError": text      a backup fails at once with this text, writing nothing
//       "BackupWritesNothing": bool   a backup ends as if it succeeded without writing anything
//       "BackupEncrypted": bool  the backup is written as an encrypted one
//       "BackupGoneAfterFiles": int   the device goes away after this many stored files
//       "BackupWaitsFor": text   a backup waits until the device's folder holds a file of this
//                                name before it stores anything (tests pace a run with it)
//       "RestoreError", "RestoreWritesNothing", "RestoreGoneAfterFiles", "RestoreWaitsFor":
//                                the same for a restore
#pragma once

namespace nimbara::md::sim {

inline constexpr const char* kDevicePlist = "device.plist";
inline constexpr const char* kMediaDir = "media";
inline constexpr const char* kAppsDir = "apps";
inline constexpr const char* kAppAttributes = "attributes.plist";
inline constexpr const char* kAppContainer = "container";
inline constexpr const char* kAppBundle = "bundle";
inline constexpr const char* kAppIcon = "icon.png";
inline constexpr const char* kCrashesDir = "crashes";
inline constexpr const char* kBackupSourceDir = "backup-source";

inline constexpr const char* kKeyLockdown = "Lockdown";
inline constexpr const char* kGlobalDomain = "Global";
inline constexpr const char* kKeyTrusted = "Trusted";
inline constexpr const char* kKeyAssetMetrics = "AssetMetrics";
inline constexpr const char* kKeyFaults = "Faults";
inline constexpr const char* kFaultConnectError = "ConnectError";
inline constexpr const char* kFaultRefusedServices = "RefusedServices";
inline constexpr const char* kFaultShortReply = "ShortReply";
inline constexpr const char* kFaultClosedReply = "ClosedReply";
inline constexpr const char* kFaultDetachAfter = "DetachAfterOperations";
inline constexpr const char* kFaultRefuseMediaSync = "RefuseMediaSync";
inline constexpr const char* kFaultWaitReason = "WaitReason";
inline constexpr const char* kFaultRefusedContainers = "RefusedContainers";
inline constexpr const char* kFaultNoAppArchives = "NoAppArchives";
inline constexpr const char* kFaultRefusedRemovals = "RefusedRemovals";
inline constexpr const char* kFaultLookupWaitsFor = "LookupWaitsFor";
inline constexpr const char* kFaultBackupError = "BackupError";
inline constexpr const char* kFaultBackupWritesNothing = "BackupWritesNothing";
inline constexpr const char* kFaultBackupEncrypted = "BackupEncrypted";
inline constexpr const char* kFaultBackupGoneAfterFiles = "BackupGoneAfterFiles";
inline constexpr const char* kFaultBackupWaitsFor = "BackupWaitsFor";
inline constexpr const char* kFaultRestoreError = "RestoreError";
inline constexpr const char* kFaultRestoreWritesNothing = "RestoreWritesNothing";
inline constexpr const char* kFaultRestoreGoneAfterFiles = "RestoreGoneAfterFiles";
inline constexpr const char* kFaultRestoreWaitsFor = "RestoreWaitsFor";

}  // namespace nimbara::md::sim
