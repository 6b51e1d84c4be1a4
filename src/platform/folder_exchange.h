// Exchanging two folders so that a kill at any moment loses neither, and the folders that a
// killed program leaves beside the user's backups.
//
// An exchange puts the folder `from` in the place of the folder `to` and leaves what `to` held at
// `from`. Where the file system offers it, that is one atomic step. Where it does not (network
// shares, exFAT, some FUSE file systems), `to` is first parked beside itself under
// ".<name>.parked-XXXXXX", `from` moves to `to`, and the parked folder moves to `from`. A parked
// folder is never a thing to delete blindly: recoverParkedFolders() puts it back where its name
// says when that place is empty (the program was killed between the two moves), and removes it
// only when the exchange had finished. While a folder is parked the exchanging process holds a
// lock on it, so that no other process puts it back under its feet.
//
// Private working folders (a backup's working copy, say) hold a FolderLock for as long as they
// are in use; removeAbandonedFolders() removes the ones whose lock nobody holds any more, which
// is what a crash, a kill or a lost session leaves.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace nimbara {

// Exchanges the folders `fromName` in `fromDirFd` and `toName` in `toDirFd` (file descriptors of
// open folders on one file system, or AT_FDCWD with paths). When `to` does not exist, `from` is
// simply renamed to it. False, with `error`, when it could not be done: `to` then holds what it
// held before, and `from` too.
bool exchangeFolders(int fromDirFd, const std::string& fromName, int toDirFd,
                     const std::string& toName, std::string& error);
bool exchangeFolders(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::string& error);

// The start of the names a folder called `name` is parked under: ".<name>.parked-".
std::string parkedFolderPrefix(const std::string& name);

struct ParkedRecovery {
    std::size_t putBack = 0;     // parked folders moved back to their place
    std::size_t removed = 0;     // parked folders of finished exchanges, removed
    std::size_t leftParked = 0;  // parked folders whose empty place they could not be moved to
};

// Puts back, or removes, the parked folders in `dir` that no running exchange holds. Only our
// own real folders are touched; links are never followed.
ParkedRecovery recoverParkedFolders(const std::filesystem::path& dir);

// Removes, with their contents, the folders in `dir` whose names start with `prefix` and end in
// "-XXXXXX" (as UniqueFolder and mkdtemp make them), that are our own real folders, and that no
// FolderLock holds. The number removed.
std::size_t removeAbandonedFolders(const std::filesystem::path& dir, const std::string& prefix);
// The same for the folders whose name without its "-XXXXXX" `matches`.
std::size_t removeAbandonedFolders(const std::filesystem::path& dir,
                                   const std::function<bool(std::string_view stem)>& matches);

// A lock on a folder, held for the life of the object (and released by the system when the
// process ends, however it ends).
class FolderLock {
  public:
    FolderLock() = default;
    // Opens `folder` (never through a link) and locks it; locked() tells whether that worked.
    explicit FolderLock(const std::filesystem::path& folder);
    ~FolderLock();
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool locked() const { return fd_ >= 0; }
    void release();

  private:
    int fd_ = -1;
};

// For tests: an exchange as on a file system without the atomic one, with `afterPark` run
// between the two moves (a test ends a child process there to play a kill), and a rename of
// `name` to `newName` failing (with EACCES) where `failRename` says so. Empty: normal.
struct FolderExchangeTestHooks {
    bool refuseAtomicExchange = false;
    std::function<void()> afterPark;
    std::function<bool(const std::string& name, const std::string& newName)> failRename;
};
void setFolderExchangeTestHooks(FolderExchangeTestHooks hooks);

}  // namespace nimbara
