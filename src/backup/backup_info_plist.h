// Info.plist of a backup of a real device, as the host writes it beside what the device sends:
// who the device is (from its lockdown values), when the backup was made, and what a restore
// gives back to the device: its user apps ("Applications", "Installed Applications"), the iTunes
// files and settings it keeps for its host. The backup list reads its device name, serial
// number, product type and version; the backup tool reads the device's identifier from it, and a
// restore the apps the device reinstalls afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/plist_value.h"

namespace nimbara::backup {

// Larger is not an Info.plist of a backup, even of a device with many apps and their icons.
inline constexpr std::uint64_t kMaxInfoPlistBytes = 64ull * 1024 * 1024;

// What the device told beyond its lockdown values, as the device gave it.
struct BackupInfoExtras {
    PlistValue iTunesSettings;  // lockdown's "com.apple.iTunes" domain; not a dictionary: none
    std::string iTunesVersion;  // its "com.apple.mobile.iTunes" "MinITunesVersion"; empty: none
    // The installation proxy's entries of the user apps ("CFBundleIdentifier", "ApplicationSINF",
    // "iTunesMetadata"), in its order.
    PlistValue::Array apps;
    std::map<std::string, PlistValue::Bytes> icons;        // SpringBoard's icon by bundle id
    std::map<std::string, PlistValue::Bytes> iTunesFiles;  // iTunes_Control/iTunes/ by name
    std::optional<PlistValue::Bytes> iBooksData;           // Books/iBooksData2.plist
    std::string guid;                                      // this backup's own identifier
};

// The files of the device's iTunes_Control/iTunes/ that Info.plist carries ("iTunes Files").
inline constexpr const char* kITunesFileNames[] = {
    "ApertureAlbumPrefs",   "IC-Info.sidb",      "IC-Info.sidv",      "PhotosFolderAlbums",
    "PhotosFolderName",     "PhotosFolderPrefs", "VoiceMemos.plist",  "iPhotoAlbumPrefs",
    "iTunesApplicationIDs", "iTunesPrefs",       "iTunesPrefs.plist",
};

// `lockdown`: the device's lockdown values (a dictionary, domain-less keys such as "DeviceName");
// `secondsSince2001`: the backup's date.
//
// Written as XML, the result stays within `maxBytes`, what the readers of Info.plist read: when
// all of it would not, what a restore needs least is left out until it fits: the apps' icons
// (largest first), then "iBooks Data 2", then the iTunes files (largest first), then the iTunes
// settings. The apps themselves are never left out, even when they alone are larger.
PlistValue backupInfoPlist(const PlistValue& lockdown, const BackupInfoExtras& extras,
                           const std::string& udid, double secondsSince2001,
                           std::uint64_t maxBytes = kMaxInfoPlistBytes);

// A new backup identifier: 32 upper-case hexadecimal digits.
std::string newBackupGuid();

}  // namespace nimbara::backup
