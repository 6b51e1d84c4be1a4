// What runs that were killed leave beside the backups in the backup root, and how it is tidied.
//
// Beside a device's backup "<root>/<UDID>" the program makes hidden folders of its own:
//   .<UDID>.partial-XXXXXX        a backup being built (removed by the backup tool, which alone
//                                 knows that no run of that device is building one)
//   .<UDID>.parked-XXXXXX         the earlier backup while a new one takes its place, on a file
//                                 system without an atomic exchange (folder_exchange.h)
//   .<UDID>.nimbara-clean-XXXXXX  the privacy cleaner's working copy, locked while in use
// and earlier versions parked a replaced backup in ".<UDID>.partial-XXXXXX/old" and
// ".<UDID>.nimbara-old-XXXXXX/backup". A parked backup is the user's only copy when the program
// was killed in the middle of an exchange: it is put back where its name says whenever that
// place is empty, and removed only once another backup stands there. A working copy holds the
// private records the user chose to remove, and goes as soon as no program holds it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace nimbara::backup {

// The prefix (for UniqueFolder or mkdtemp, before "-XXXXXX") of the privacy cleaner's working
// copies of the backup folder `backupName`.
std::string workingCopyPrefix(const std::string& backupName);

struct BackupRootTidy {
    std::size_t putBack = 0;        // parked backups put back in their place
    std::size_t removedParked = 0;  // parked backups of finished exchanges
    std::size_t removedCopies = 0;  // working copies nobody held
    std::size_t leftParked = 0;     // parked backups that could not be put back: still there
};

// Tidies `root` for every device, or only for the device `udid` when it is given.
BackupRootTidy tidyBackupRoot(const std::filesystem::path& root, const std::string& udid = {});

}  // namespace nimbara::backup
