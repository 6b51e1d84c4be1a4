// A local backup shaped like those real devices leave behind, for the readers' tests: a binary
// Info.plist, no Manifest.plist and no Status.plist, a file list of thousands of rows of which
// only a few files are stored, folders among them named like pictures and movies (the photo
// thumbnail folders), and no address book unless asked for.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "backup_writer.h"

namespace nimbara::simdev {

struct SparseBackupShape {
    // File rows without a stored file, spread over the camera roll, media, home and app domains;
    // every hundredth row adds a listed picture folder as well.
    int listedOnlyFiles = 3000;
    // The address book and its pictures are listed but not stored.
    bool listAddressBook = false;
    // Default: Manifest.db and two-digit subfolders.
    std::optional<bool> legacyLayout{};
};

// What was written, counted as the backup holds it.
struct SparseBackup {
    BackupResult written;
    std::string deviceName;
    int storedMedia = 0;        // stored picture and movie files of the camera roll
    int listedOnlyMedia = 0;    // picture and movie rows of the media domains with no file
    int mediaNamedFolders = 0;  // folders whose names end like a picture or a movie
};

// Makes the simulated device in deviceDir and writes its backup under backupRoot.
SparseBackup writeSparseBackup(const std::filesystem::path& deviceDir,
                               const std::filesystem::path& backupRoot,
                               const SparseBackupShape& shape = {});

}  // namespace nimbara::simdev
