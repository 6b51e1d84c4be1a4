// The demo iPhone of the README.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <filesystem>
#include <string_view>

#include "backup_calendar.h"
#include "backup_calls.h"
#include "backup_messages.h"
#include "backup_privacy.h"
#include "backup_source.h"
#include "demo_deleted_records.h"
#include "demo_device_parts.h"
#include "file_writer.h"
#include "folder_steps.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

namespace demo {

std::int64_t utc(int year, unsigned month, unsigned day, int hour, int minute) {
    using namespace std::chrono;
    const sys_days date =
        year_month_day{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
    return duration_cast<seconds>(date.time_since_epoch() + hours{hour} + minutes{minute}).count();
}

std::string sqliteLike(std::size_t size, std::uint32_t seed) {
    std::string bytes("SQLite format 3", 16);  // with its closing NUL
    if (size > bytes.size()) {
        bytes += fillerBytes(size - bytes.size(), seed);
    }
    bytes.resize(size);
    return bytes;
}

namespace {

namespace fs = std::filesystem;

bool contains(const std::string& name, std::string_view mark) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find(mark) != std::string::npos;
}

// The length of a regular file (or of one a link names, when `throughLinks`), else 0.
std::uint64_t fileBytes(const fs::directory_entry& entry, bool throughLinks) {
    std::error_code ec;
    if (!entry.is_regular_file(ec) || (!throughLinks && entry.is_symlink(ec))) {
        return 0;
    }
    const std::uintmax_t size = entry.file_size(ec);
    return ec ? 0 : size;
}

// The bytes of the regular files in the folders of `parent` whose names contain `mark` (in any
// letter case): the photo folders, as the device keeps them.
std::uint64_t photoFolderBytes(const fs::path& parent, std::string_view mark) {
    std::uint64_t bytes = 0;
    forEachEntry(parent, false, [&](const fs::directory_entry& folder) {
        std::error_code ec;
        if (!folder.is_directory(ec) || !contains(folder.path().filename().string(), mark)) {
            return;
        }
        forEachEntry(folder.path(), false,
                     [&](const fs::directory_entry& file) { bytes += fileBytes(file, true); });
    });
    return bytes;
}

// The bytes of every regular file below `root` (sparse files by their length).
std::uint64_t treeBytes(const fs::path& root) {
    std::uint64_t bytes = 0;
    forEachEntry(root, true,
                 [&](const fs::directory_entry& entry) { bytes += fileBytes(entry, false); });
    return bytes;
}

// What the demo device reports about its storage, taken from the files written for it.
void setDemoStorageFigures(SimDeviceBuilder& b, const LibraryBytes& library, const AppBytes& apps,
                           std::uint64_t totalDiskCapacity) {
    const fs::path media = b.dir() / md::sim::kMediaDir;
    // The camera roll is what the camera took; the photo stream is kept with the library.
    const std::uint64_t cameraRoll = photoFolderBytes(media / "DCIM", "APPLE");
    std::uint64_t photoLibrary = photoFolderBytes(media / "PhotoData/Sync", "SYNCD") +
                                 photoFolderBytes(media / "Photos/Sync", "SYNCD");
    forEachEntry(media / "PhotoStreamsData", false, [&](const fs::directory_entry& stream) {
        std::error_code ec;
        if (stream.is_directory(ec)) {
            photoLibrary += photoFolderBytes(stream.path(), "APPLE");
        }
    });
    b.setAssetMetrics(apps.user, library.music, library.movies,
                      static_cast<std::int64_t>(photoLibrary),
                      static_cast<std::int64_t>(cameraRoll));

    // The data partition holds the media root, the crash reports and the apps (their bundles
    // and containers, as the installation service sizes them); the rest of it is free.
    const std::uint64_t used = treeBytes(media) + treeBytes(b.dir() / md::sim::kCrashesDir) +
                               static_cast<std::uint64_t>(apps.all);
    const std::uint64_t data = totalDiskCapacity - totalDiskCapacity / 16;
    b.setDiskUsage(totalDiskCapacity, used < data ? data - used : 0);
}

}  // namespace

}  // namespace demo

bool makeDemoDevice(const std::filesystem::path& dir, std::string* error) {
    try {
        SimDeviceBuilder b(dir);
        b.setIdentity("Nora's iPhone", "3f8a1c0d9e6b4a7f2c5d8e1b0a9c7f6e5d4c3b2a", "iPhone10,4",
                      "12.4.1");
        b.setValue("Global", "SerialNumber", "F2LX3K1QJCLY");
        b.setValue("Global", "PhoneNumber", "+1 (415) 555-0142");
        b.setValue("Global", "DeviceColor", "#e4c1b9");
        b.setValue("com.apple.mobile.battery", "BatteryCurrentCapacity", 82);
        b.setValue("com.apple.mobile.battery", "BatteryIsCharging", true);
        const demo::LibraryBytes library = demo::addMedia(b);
        demo::addFileSystemCorners(b);
        addDemoBackupSource(b);
        addDemoPrivacyData(b);
        addDemoBrowserAndCalendar(b);
        addDemoMessages(b);
        addDemoCallsAndNotes(b);
        // Records deleted on the device whose rows its databases still hold.
        addDemoDeletedRecords(b);
        demo::addCrashLogs(b);
        const demo::AppBytes apps = demo::addApps(b);
        // A 64 GB device: what it reports agrees with what it holds.
        demo::setDemoStorageFigures(b, library, apps, 64000000000ULL);
        if (!b.write()) {
            if (error) {
                *error = "cannot write device.plist in " + dir.string();
            }
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        if (error) {
            *error = e.what();
        }
        return false;
    }
}

}  // namespace nimbara::simdev
