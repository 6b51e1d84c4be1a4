// Writes simulated devices (the layout of platform/mobiledevice/sim/sim_layout.h): the demo
// iPhone of the README, small devices for tests and large trees for benchmarks.
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
    std::string version = "1.0";
    std::string type = "User";  // "User" or "System"
    std::int64_t staticDiskUsage = 0;
    std::int64_t dynamicDiskUsage = 0;
    bool fileSharing = false;
    bool withIcon = true;
};

class SimDeviceBuilder {
  public:
    // Creates the folder and its media/, apps/ and crashes/ sub-folders. Defaults: a trusted
    // iPhone with the global lockdown values below filled in.
    explicit SimDeviceBuilder(std::filesystem::path dir);

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path mediaPath(const std::string& devicePath) const;
    std::filesystem::path containerPath(const std::string& bundleId,
                                        const std::string& devicePath) const;

    SimDeviceBuilder& setIdentity(const std::string& name, const std::string& udid,
                                  const std::string& productType = "iPhone10,4",
                                  const std::string& productVersion = "12.4.1");
    // Any lockdown value; domain "Global" is the global domain.
    SimDeviceBuilder& setValue(const std::string& domain, const std::string& key, PlistValue v);
    SimDeviceBuilder& setDiskUsage(std::uint64_t totalDiskCapacity,
                                   std::uint64_t amountDataAvailable);
    SimDeviceBuilder& setTrusted(bool trusted);
    SimDeviceBuilder& setAssetMetrics(std::int64_t apps, std::int64_t music, std::int64_t movies,
                                      std::int64_t photos, std::int64_t cameraRoll);
    // A fault of sim_layout.h ("ConnectError", "RefusedServices", ...).
    SimDeviceBuilder& setFault(const std::string& key, PlistValue value);

    // Files on the media root; `devicePath` is absolute ("/DCIM/100APPLE/IMG_0001.JPG").
    // Missing folders are created. `mtime` is seconds since 1970 (0 = now).
    SimDeviceBuilder& addMediaFile(const std::string& devicePath, const std::string& contents,
                                   std::int64_t mtime = 0);
    // A file of `size` bytes of filler (sparse where the file system allows).
    SimDeviceBuilder& addMediaFileOfSize(const std::string& devicePath, std::uint64_t size,
                                         std::int64_t mtime = 0);
    SimDeviceBuilder& addMediaDir(const std::string& devicePath);

    SimDeviceBuilder& addApp(const AppSpec& app);
    SimDeviceBuilder& addContainerFile(const std::string& bundleId, const std::string& devicePath,
                                       std::uint64_t size);
    SimDeviceBuilder& addCrashLog(const std::string& devicePath, std::uint64_t size);
    // "/iTunes_Control/iTunes/iTunesPrefs" with the given bytes.
    SimDeviceBuilder& setITunesPrefs(const std::vector<std::uint8_t>& bytes);

    // Writes device.plist (atomically). Call after the set... calls; may be called again.
    bool write();

  private:
    std::filesystem::path dir_;
    PlistValue device_;
};

// The demo iPhone of the README: realistic values, media, apps, crash logs.
bool makeDemoDevice(const std::filesystem::path& dir);
// A device whose media root holds `files` files in nested folders (benchmarks).
bool makeLargeTreeDevice(const std::filesystem::path& dir, int files);

}  // namespace nimbara::simdev
