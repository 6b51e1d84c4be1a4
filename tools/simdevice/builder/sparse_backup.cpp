// A sparse backup of a small simulated device, in the shape real devices leave.
#include "sparse_backup.h"

#include <cstdio>

#include "backup_source.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCameraRoll = "CameraRollDomain";
constexpr const char* kPhotos = "Media/DCIM/100APPLE/";
constexpr const char* kThumbnails = "Media/PhotoData/Thumbnails/V2/DCIM/100APPLE/";

std::string numbered(const char* format, int number) {
    char text[128];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

}  // namespace

SparseBackup writeSparseBackup(const fs::path& deviceDir, const fs::path& backupRoot,
                               const SparseBackupShape& shape) {
    SparseBackup made;
    made.deviceName = "Sparse Phone";
    SimDeviceBuilder b(deviceDir);
    b.setIdentity(made.deviceName, "sparse-udid", "iPhone13,2", "14.4");
    b.setDiskUsage(128'000'000'000ULL, 40'000'000'000ULL);
    if (!b.write()) {
        made.written.error = "cannot write the device " + deviceDir.string();
        return made;
    }

    // A few stored photos and a movie, each with its thumbnail folder named after it: the
    // pictures' folders hold a stored thumbnail, the movie's is empty.
    for (int i = 1; i <= 4; ++i) {
        const std::string name = numbered(i < 4 ? "IMG_%04d.JPG" : "IMG_%04d.MOV", i);
        addBackupFile(b, kCameraRoll, kPhotos + name, "media bytes " + std::to_string(i));
        ++made.storedMedia;
        ++made.mediaNamedFolders;
        if (i < 4) {
            addBackupFile(b, kCameraRoll, kThumbnails + name + "/5005.JPG", "thumbnail");
            ++made.storedMedia;
        } else {
            addBackupDir(b, kCameraRoll, kThumbnails + name);
        }
    }
    addBackupFile(b, "HomeDomain", "Library/Preferences/com.apple.springboard.plist", "prefs");
    addBackupFile(b, "AppDomain-com.example.notes", "Documents/cover.PNG", "app picture");

    BackupOptions options;
    options.legacyLayout = shape.legacyLayout.value_or(false);
    options.binaryInfoPlist = true;
    options.manifestPlist = false;
    options.statusPlist = false;
    for (int i = 0; i < shape.listedOnlyFiles; ++i) {
        ListedOnlyEntry row;
        row.size = 1000 + static_cast<std::uint64_t>(i);
        switch (i % 4) {
            case 0:
                row.domain = kCameraRoll;
                row.relativePath = numbered("Media/DCIM/101APPLE/IMG_%04d.PNG", i);
                ++made.listedOnlyMedia;
                break;
            case 1:
                row.domain = "HomeDomain";
                row.relativePath = numbered("Library/Caches/com.apple.cache/%d.plist", i);
                break;
            case 2:
                row.domain = numbered("AppDomain-com.example.app%d", i % 9);
                row.relativePath = numbered("Library/Caches/%d.db", i);
                break;
            default:
                row.domain = "MediaDomain";
                row.relativePath =
                    numbered("Library/SMS/Attachments/%02x/", i % 256) + numbered("IMG_%d.MOV", i);
                ++made.listedOnlyMedia;
                break;
        }
        options.listedOnly.push_back(row);
        if (i % 100 == 0) {
            ListedOnlyEntry folder;
            folder.domain = kCameraRoll;
            folder.relativePath =
                numbered("Media/PhotoData/Thumbnails/V2/DCIM/101APPLE/IMG_%04d.PNG", i);
            folder.folder = true;
            options.listedOnly.push_back(folder);
            ++made.mediaNamedFolders;
        }
    }
    if (shape.listAddressBook) {
        for (const char* name : {"AddressBook.sqlitedb", "AddressBookImages.sqlitedb"}) {
            ListedOnlyEntry row;
            row.domain = "HomeDomain";
            row.relativePath = std::string("Library/AddressBook/") + name;
            row.size = 40960;
            options.listedOnly.push_back(row);
        }
    }
    made.written = writeBackup(deviceDir, backupRoot, options);
    return made;
}

}  // namespace nimbara::simdev
