// Writes simulated devices (the layout of platform/mobiledevice/sim/sim_layout.h): the demo
// iPhone of the README, small devices for tests and large trees for benchmarks.
//
// Errors: every `devicePath` is absolute ("/DCIM/IMG_0001.JPG") and must stay inside its area
// (media/, the app's container or crashes/). An empty or relative path, a ".." component, a NUL
// byte or a bundle identifier that is not a plain folder name makes the call throw
// std::invalid_argument before anything is written. A failed write throws
// std::filesystem::filesystem_error (or std::runtime_error). write() and the make... functions
// report failure by their result instead.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/plist_value.h"

namespace nimbara::simdev {

struct AppSpec {
    std::string bundleId;
    std::string displayName;
    std::string version = "1.0";  // "CFBundleShortVersionString"; empty leaves the key out
    std::string type = "User";    // "User" or "System"
    std::int64_t staticDiskUsage = 0;
    std::int64_t dynamicDiskUsage = 0;
    bool fileSharing = false;
    bool withIcon = true;
    // Additions to this file's own fields.
    std::string bundleVersion = "1";  // "CFBundleVersion"
    std::string executable;           // empty: the display name without blanks and punctuation
    bool withContainer = true;        // container/ with the usual folders (house arrest)
    PlistValue entitlements;          // a dictionary merged over the default entitlements
    // Written as given, even empty or one letter long (otherwise an empty name becomes the
    // executable's).
    bool exactDisplayName = false;
    // False: no "StaticDiskUsage" nor "DynamicDiskUsage" and no package folder (a built-in
    // service without a bundle of its own).
    bool withDiskUsage = true;
    // A user app the store installed: its "ApplicationSINF" and "iTunesMetadata" (false: one a
    // developer installed, without either).
    bool fromStore = true;
};

class SimDeviceBuilder {
  public:
    // Creates the folder and its media/, apps/ and crashes/ sub-folders. Defaults: a trusted
    // iPhone with the global lockdown values below filled in, disk usage of a 64 GB device,
    // battery values and a time-zone offset. The default UniqueDeviceID is derived from the
    // folder's absolute path, so two devices in two folders differ. No "AssetMetrics" until
    // setAssetMetrics() is called (such a device sends none).
    explicit SimDeviceBuilder(std::filesystem::path dir);

    const std::filesystem::path& dir() const { return dir_; }
    // Local paths of device paths; throw std::invalid_argument for paths that would leave
    // their area.
    std::filesystem::path mediaPath(const std::string& devicePath) const;
    std::filesystem::path containerPath(const std::string& bundleId,
                                        const std::string& devicePath) const;
    std::filesystem::path crashPath(const std::string& devicePath) const;
    std::filesystem::path appPath(const std::string& bundleId) const;

    SimDeviceBuilder& setIdentity(const std::string& name, const std::string& udid,
                                  const std::string& productType = "iPhone10,4",
                                  const std::string& productVersion = "12.4.1");
    // Any lockdown value; domain "Global" is the global domain.
    SimDeviceBuilder& setValue(const std::string& domain, const std::string& key, PlistValue v);
    // Sets the six "com.apple.disk_usage" values from the two figures. Throws
    // std::invalid_argument when more is available than the data partition holds.
    SimDeviceBuilder& setDiskUsage(std::uint64_t totalDiskCapacity,
                                   std::uint64_t amountDataAvailable);
    SimDeviceBuilder& setTrusted(bool trusted);
    SimDeviceBuilder& setAssetMetrics(std::int64_t apps, std::int64_t music, std::int64_t movies,
                                      std::int64_t photos, std::int64_t cameraRoll);
    // A fault of sim_layout.h ("ConnectError", "RefusedServices", ...).
    SimDeviceBuilder& setFault(const std::string& key, PlistValue value);
    // The device.plist dictionary as it stands (written by write()).
    const PlistValue& devicePlist() const { return device_; }
    // For tests that change a device while it is attached; call write() afterwards.
    PlistValue& editDevicePlist() { return device_; }

    // Files on the media root; `devicePath` is absolute ("/DCIM/100APPLE/IMG_0001.JPG").
    // Missing folders are created. `mtime` is seconds since 1970 (0 = now).
    SimDeviceBuilder& addMediaFile(const std::string& devicePath, const std::string& contents,
                                   std::int64_t mtime = 0);
    // A file of `size` bytes of filler (sparse where the file system allows).
    SimDeviceBuilder& addMediaFileOfSize(const std::string& devicePath, std::uint64_t size,
                                         std::int64_t mtime = 0);
    SimDeviceBuilder& addMediaDir(const std::string& devicePath);

    // apps/<id>/: attributes.plist, bundle/ (Info.plist and a small executable), container/
    // (Documents, Library/Caches, Library/Cookies, Library/Preferences, tmp) when
    // `withContainer`, icon.png (60x60) and the container's /iTunesArtwork when `withIcon`.
    SimDeviceBuilder& addApp(const AppSpec& app);
    SimDeviceBuilder& addContainerFile(const std::string& bundleId, const std::string& devicePath,
                                       std::uint64_t size);
    SimDeviceBuilder& addContainerText(const std::string& bundleId, const std::string& devicePath,
                                       const std::string& contents);
    SimDeviceBuilder& addContainerDir(const std::string& bundleId, const std::string& devicePath);
    // A crash log of exactly `size` bytes (0 gives an empty file), text like a real report.
    SimDeviceBuilder& addCrashLog(const std::string& devicePath, std::uint64_t size);
    // "/iTunes_Control/iTunes/iTunesPrefs" with the given bytes.
    SimDeviceBuilder& setITunesPrefs(const std::vector<std::uint8_t>& bytes);

    // Writes device.plist (atomically). Call after the set... calls; may be called again.
    // Writing it last means a watcher never sees a readable device.plist before the rest.
    bool write();

  private:
    std::filesystem::path dir_;
    PlistValue device_;
};

// The demo iPhone of the README: realistic values, media, apps, crash logs. The folder may
// exist (it is filled, not emptied). On failure `error` (when given) says why.
bool makeDemoDevice(const std::filesystem::path& dir, std::string* error = nullptr);
// A device whose media root holds `files` files in nested folders (benchmarks); `files` from 0
// to kMaxLargeTreeFiles. Its backup-source/ holds the same files in kLargeTreeBackupDomain under
// "Media/LargeTree/", so a backup of the device lists and stores `files` files.
inline constexpr int kMaxLargeTreeFiles = 200000;
inline constexpr const char* kLargeTreeBackupDomain = "MediaDomain";
bool makeLargeTreeDevice(const std::filesystem::path& dir, int files, std::string* error = nullptr);

}  // namespace nimbara::simdev
