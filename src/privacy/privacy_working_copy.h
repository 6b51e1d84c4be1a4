// The privacy cleaner never edits the user's backup. After the scan it makes a working copy of
// the backup folder beside it (on the same file system, under a private hidden name, mode 0700),
// in which every file is at first a hard link to the original's file: the copy costs only its
// folders. A file is never written where it lies: an edit writes a new file (a private copy made
// in the copy's staging folder, or new contents under a temporary name) and renames it over the
// link, so the original's file is never touched. Free disk space is checked before anything is
// made.
//
// The copy is discarded (removed with everything in it) when the clean fails, or when the object
// goes without having been kept or put in place. It is locked while the object lives, so that a
// copy a killed program left behind is told from one in use and removed (backup_root_tidy.h). After
// a verified restore the flow either keeps the original (the copy is removed) or replaces it with
// the cleaned copy (the two folders are swapped in one rename, then the original is removed).
//
// Everything inside the copy is reached by plain relative names ("ab/abcdef…", "Manifest.db");
// the copy holds no links of any kind, so nothing written there can land outside it. For one
// thread at a time.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/folder_exchange.h"

namespace nimbara::backup {
class BackupFolder;
}

namespace nimbara::privacy {

// Bytes free for this user on the file system that holds `folder`; nullopt when it cannot be told.
using FreeSpaceProbe = std::function<std::optional<std::uint64_t>(const std::filesystem::path&)>;
std::optional<std::uint64_t> availableBytes(const std::filesystem::path& folder);

// Room kept free beyond what a step is known to need (the file system's own bookkeeping).
inline constexpr std::uint64_t kWorkingSpaceReserve = 8ull * 1024 * 1024;

struct WorkingCopyOptions {
    FreeSpaceProbe freeSpace;  // empty: availableBytes
    // false: every file is copied instead of linked (a file system without hard links takes this
    // way by itself, file by file).
    bool linkFiles = true;
};

class PrivacyWorkingCopy;

struct WorkingCopyResult {
    std::unique_ptr<PrivacyWorkingCopy> copy;  // null on failure
    std::string error;                         // for the log
    bool notEnoughSpace = false;               // the failure was the disk check
};

class PrivacyWorkingCopy {
  public:
    enum class State { Open, Discarded, Kept, Replaced };

    // Makes the working copy of `backupFolder` (a link to the folder is resolved first: the copy
    // lies beside the real folder).
    static WorkingCopyResult create(const std::string& backupFolder,
                                    const WorkingCopyOptions& options = {});

    ~PrivacyWorkingCopy();
    PrivacyWorkingCopy(const PrivacyWorkingCopy&) = delete;
    PrivacyWorkingCopy& operator=(const PrivacyWorkingCopy&) = delete;

    State state() const { return state_; }
    bool isOpen() const { return state_ == State::Open; }
    // The copy (while open), and the backup it was made of.
    const std::filesystem::path& path() const { return copy_; }
    const std::filesystem::path& originalPath() const { return original_; }
    // Bytes that had to be copied because a file could not be linked.
    std::uint64_t bytesCopied() const { return bytesCopied_; }

    // The copy opened for reading, as the readers read a backup.
    backup::BackupFolder folder() const;
    // Bytes free on the copy's file system (through the options' probe).
    std::optional<std::uint64_t> freeBytes() const;

    // Writes `bytes` as the file at `relative` under a temporary name and renames it over
    // whatever stood there. False (with `error`) when `relative` is not a plain name inside the
    // copy, its folder is missing, or the write fails; the old file is then left as it was.
    bool replaceFile(const std::string& relative, std::string_view bytes, std::string& error);
    // Removes the file at `relative` from the copy (a missing file is no error).
    bool removeFile(const std::string& relative, std::string& error);

    // A private copy of the file at `relative`, made in the staging folder under `stagedName` (a
    // plain file name) and made writable by its owner only. nullopt (with `error`) when the file
    // is not a regular file of the copy or the copy fails.
    std::optional<std::filesystem::path> stage(const std::string& relative,
                                               const std::string& stagedName, std::string& error);
    // Moves a staged file over the file at `relative` in one rename.
    bool commitStaged(const std::filesystem::path& staged, const std::string& relative,
                      std::string& error);
    // Removes the staging folder with what is left in it.
    void clearStaging();

    // Removes the copy with everything in it. Nothing else is touched.
    void discard();
    // The original stays as it is; the copy is removed.
    bool keepOriginal(std::string& error);
    // The cleaned copy takes the original's place (the original's folder permissions are
    // kept), and the original is then removed. The exchange is one step where the file system
    // allows it; where it does not, a kill in between leaves the original parked, and the next
    // start puts it back (see folder_exchange.h). Refused when the original folder is no longer
    // the one the copy was made of.
    bool replaceOriginal(std::string& error);

  private:
    PrivacyWorkingCopy() = default;
    // "<copy>/<relative>" when `relative` is a plain name inside the copy; empty otherwise.
    std::filesystem::path inside(const std::string& relative, std::string& error) const;

    std::filesystem::path original_;
    std::filesystem::path copy_;
    std::filesystem::path staging_;
    dev_t originalDevice_ = 0;
    ino_t originalInode_ = 0;
    mode_t originalMode_ = 0700;
    FolderLock lock_;
    FreeSpaceProbe freeSpace_;
    std::uint64_t bytesCopied_ = 0;
    State state_ = State::Open;
};

}  // namespace nimbara::privacy
