// The private data a backup holds beside the records: the web browser's cookie file and history
// database, the known Wi-Fi networks, and the positions photos carry in their EXIF blocks. Each
// file has the name, domain, format and tables the device itself uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim_device_builder.h"

namespace nimbara::simdev {

// One cookie of the cookie file.
struct BackupCookie {
    std::string domain{};  // ".weather.example"
    std::string name{};
    std::string path{"/"};
    std::string value{};
    std::uint32_t flags = 0;  // 1 secure, 4 HTTP only
    double expiry = 0;        // seconds since 2001
    double created = 0;
};

// HomeDomain/Library/Cookies/Cookies.binarycookies holding the cookies in one page.
void addBackupCookies(const SimDeviceBuilder& b, const std::vector<BackupCookie>& cookies);

// One known Wi-Fi network.
struct BackupWifiNetwork {
    std::string ssid{};
    std::string bssid{};
    std::string security{"WPA2 Personal"};
    double lastJoined = 0;  // seconds since 2001
};

// SystemPreferencesDomain/SystemConfiguration/com.apple.wifi.plist: "List of known networks", a
// binary property list as the device writes it (XML when `xml`).
void addBackupWifiNetworks(const SimDeviceBuilder& b,
                           const std::vector<BackupWifiNetwork>& networks, bool xml = false);
// SystemPreferencesDomain/SystemConfiguration/com.apple.wifi.known-networks.plist: the
// dictionary of known networks newer systems keep instead.
void addBackupKnownNetworks(const SimDeviceBuilder& b,
                            const std::vector<BackupWifiNetwork>& networks);

// One page of the history database with its visits.
struct BackupHistoryItem {
    std::string url{};
    std::string title{};           // the title of its visits
    std::vector<double> visits{};  // seconds since 2001, oldest first
};

// AppDomain-com.apple.mobilesafari/Library/Safari/History.db, in write-ahead-log mode with the
// visits of the last `inLog` items left in its "-wal" file. Replaces an earlier one. Throws
// std::runtime_error when SQLite fails.
void addBackupHistoryDatabase(const SimDeviceBuilder& b,
                              const std::vector<BackupHistoryItem>& items, std::size_t inLog = 0);

// Where a photo was taken.
struct PhotoPosition {
    double latitude = 0;               // negative south
    double longitude = 0;              // negative west
    std::optional<double> altitude{};  // metres, negative below sea level
};

// The APP1 segment ("Exif") of a JPEG holding only the GPS block of `position`, in big-endian
// (or little-endian) TIFF order.
std::string gpsExifSegment(const PhotoPosition& position, bool bigEndian = true);
// The JPEG with that segment put right after its start marker. Throws std::invalid_argument when
// `jpeg` is no JPEG.
std::string withGpsExif(const std::string& jpeg, const PhotoPosition& position,
                        bool bigEndian = true);

// CameraRollDomain/Media/DCIM/100APPLE/<name>: a photo of the backup, with its position when one
// is given.
void addBackupCameraRollPhoto(const SimDeviceBuilder& b, const std::string& name,
                              const std::string& jpeg,
                              const std::optional<PhotoPosition>& position = std::nullopt);

std::vector<BackupCookie> demoCookies();
std::vector<BackupWifiNetwork> demoWifiNetworks();
std::vector<BackupHistoryItem> demoHistoryItems();

// Where the demo device's camera-roll photo IMG_<number>.JPG was taken (several carry no
// position).
std::optional<PhotoPosition> demoPhotoPosition(int number);

// The demo device's private data besides the records and the photos: cookies, Wi-Fi networks,
// the history database, and the browser's page thumbnails and local storage.
void addDemoPrivacyData(const SimDeviceBuilder& b);

}  // namespace nimbara::simdev
