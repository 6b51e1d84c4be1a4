#include "backup/backup_root_tidy.h"

#include <sys/stat.h>

#include <QtGlobal>

#include <system_error>
#include <vector>

#include "platform/folder_exchange.h"
#include "platform/log_categories.h"

namespace nimbara::backup {

namespace fs = std::filesystem;

namespace {

constexpr const char* kWorkingCopyTag = ".nimbara-clean";
// Where earlier versions parked a replaced backup: "<folder>/<inner>" with the folder named
// ".<UDID><tag>-XXXXXX".
struct LegacyParking {
    const char* tag;
    const char* inner;
};
constexpr LegacyParking kLegacyParkings[] = {{".partial-", "old"}, {".nimbara-old-", "backup"}};

bool isRealFolder(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool anythingAt(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The device folder a hidden folder ".<name><tag>..." belongs to, when its name has `tag`.
std::string ownerOf(const std::string& hidden, const std::string& tag) {
    if (hidden.size() < 2 || hidden[0] != '.') {
        return {};
    }
    const std::size_t at = hidden.find(tag, 1);
    return at == std::string::npos || at < 2 ? std::string() : hidden.substr(1, at - 1);
}

// Puts back the backups that earlier versions left parked inside their hidden folders.
std::size_t recoverLegacyParkings(const fs::path& root, const std::string& udid) {
    std::size_t putBack = 0;
    std::error_code ec;
    std::vector<fs::path> hidden;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        hidden.push_back(it->path());
    }
    for (const fs::path& folder : hidden) {
        const std::string name = folder.filename().string();
        for (const LegacyParking& parking : kLegacyParkings) {
            const std::string owner = ownerOf(name, parking.tag);
            if (owner.empty() || (!udid.empty() && owner != udid) || !isRealFolder(folder)) {
                continue;
            }
            const fs::path parked = folder / parking.inner;
            const fs::path place = root / owner;
            if (isRealFolder(parked) && !anythingAt(place)) {
                fs::rename(parked, place, ec);
                if (!ec) {
                    qCInfo(lcBackup, "The backup %s was put back after an interrupted exchange",
                           place.c_str());
                    ++putBack;
                }
            }
            if (parking.inner == std::string("backup") && anythingAt(place)) {
                // An earlier version's leftover of a finished exchange: the old backup.
                fs::remove_all(folder, ec);
            }
        }
    }
    return putBack;
}

}  // namespace

std::string workingCopyPrefix(const std::string& backupName) {
    return "." + backupName + kWorkingCopyTag;
}

BackupRootTidy tidyBackupRoot(const fs::path& root, const std::string& udid) {
    BackupRootTidy tidy;
    if (!isRealFolder(root)) {
        return tidy;
    }
    const ParkedRecovery parked = recoverParkedFolders(root);
    tidy.putBack = parked.putBack + recoverLegacyParkings(root, udid);
    tidy.removedParked = parked.removed;
    tidy.leftParked = parked.leftParked;
    tidy.removedCopies = removeAbandonedFolders(root, [&udid](std::string_view stem) {
        const std::string name(stem);
        const std::string owner = ownerOf(name, kWorkingCopyTag);
        return !owner.empty() && name == workingCopyPrefix(owner) &&
               (udid.empty() || owner == udid);
    });
    if (tidy.removedCopies > 0) {
        qCInfo(lcBackup, "Removed %zu working copies that ended programs left in %s",
               tidy.removedCopies, root.c_str());
    }
    return tidy;
}

}  // namespace nimbara::backup
