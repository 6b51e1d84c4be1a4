// Every read of a file inside a backup goes through one BackupFolder: the backup folder is opened
// once, and each file is reached relative to it, name by name, without following a link at any
// step. A link anywhere below the backup folder (a two-digit shard folder, a manifest, a stored
// file) is refused, so nothing outside the backup is ever read in its place. The backup folder
// itself may be reached through a link: the backup root often lives on another disk.
#pragma once

#include "backup/backup_entry.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nimbara::backup {

// An open file descriptor, closed when the object goes.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset();

  private:
    int fd_ = -1;
};

struct BackupFileInfo {
    std::uint64_t size = 0;
    std::time_t modified = 0;  // seconds since the epoch
};

class BackupFolder {
  public:
    BackupFolder() = default;
    BackupFolder(BackupFolder&&) noexcept = default;
    BackupFolder& operator=(BackupFolder&&) noexcept = default;

    // Opens `folder`; an object that is not open (with the reason in `why`) when it is not a
    // folder that can be read.
    static BackupFolder open(const std::string& folder, std::string* why = nullptr);

    bool isOpen() const { return fd_.valid(); }
    // The folder as it was given.
    const std::string& path() const { return path_; }

    // The regular file at `relative` (names joined by "/"; no empty name, ".", ".." or leading
    // "/"), opened for reading. Invalid when any name on the way is a link, a name is missing,
    // or the file is not a regular file (a pipe is never opened for reading, so it cannot block).
    UniqueFd openFile(const std::string& relative, std::string* why = nullptr) const;
    // Size and modification time of the regular file at `relative`, reached as openFile does.
    std::optional<BackupFileInfo> fileInfo(const std::string& relative) const;
    bool isFile(const std::string& relative) const { return fileInfo(relative).has_value(); }
    // The whole file; nullopt when it cannot be opened as above or is larger than `maxBytes`.
    std::optional<std::string> readFile(const std::string& relative, std::uint64_t maxBytes,
                                        std::string* why = nullptr) const;
    // Copies the file to `target` (replaced when present, made readable by the owner only).
    bool copyFile(const std::string& relative, const std::string& target,
                  std::string* why = nullptr) const;
    // "<folder>/<relative>" once the file was found reachable as openFile reaches it; empty
    // otherwise. Only for a reader that must open a file by its name (SQLite), which then has to
    // refuse a link as the last name itself.
    std::string checkedPath(const std::string& relative) const;

    // Test hook: resolve name by name even where the kernel offers a resolver that refuses
    // links by itself, so that both ways are tested.
    static void setNameByNameOnly(bool on);

  private:
    friend class StoredFileLookup;
    UniqueFd fd_;
    std::string path_;
};

// Looks up the stored files of one backup by key, as BackupFolder::fileInfo would find them
// (never through a link). A sharded backup's two-digit folders are each opened once and listed
// once: a file's presence comes from its folder's listing, and only the regular files there are
// asked for their size, relative to the open folder (no path is resolved from the backup folder
// per file). With helper threads the folders are listed ahead, in parallel, while the caller
// reads its list; a folder the caller needs first is listed by the caller itself, and while a
// helper lists the one it needs, the caller lists others nobody has taken yet. A folder that cannot
// be listed (no read permission, a listing that fails or is larger than kMaxListedStoredFiles) is
// asked file by file, and so are keys with upper-case digits (a listing holds lower-case names
// only) and the files of a flat backup. info() is for one thread; the folder must outlive the
// lookup.
class StoredFileLookup {
  public:
    // Files of one listed folder kept at most; a larger folder is asked file by file.
    static constexpr std::size_t kMaxListedStoredFiles = 1 << 16;

    explicit StoredFileLookup(const BackupFolder& folder, BackupLayout layout,
                              unsigned helperThreads = 0);
    // Stops the helpers (each ends after the folder it lists) and waits for them.
    ~StoredFileLookup();
    StoredFileLookup(const StoredFileLookup&) = delete;
    StoredFileLookup& operator=(const StoredFileLookup&) = delete;

    // The regular file stored for `fileKey`; nullopt for a key that is not one, a file that is
    // missing, a link or not a regular file, or a two-digit folder that is a link.
    std::optional<BackupFileInfo> info(std::string_view fileKey);

    // The helper threads a list reader asks for: one a core but the caller's, at most seven
    // (every file asked for its size is a system call, so the listing scales with cores).
    static unsigned defaultHelperThreads();
    // Test hook: ask every file by itself, as for a folder that cannot be listed, so that both
    // ways are tested.
    static void setFileByFileOnly(bool on);

  private:
    struct Shards;
    // The folder a stored file lies in: the backup folder itself, or its two-digit folder
    // (opened on first use, or into `once` for upper-case digits; -1 when it cannot be).
    int folderOf(std::string_view fileKey, UniqueFd& once);

    const BackupFolder& folder_;
    BackupLayout layout_;
    std::unique_ptr<Shards> shards_;
};

// True for a relative name that a backup read accepts (see openFile).
bool isPlainRelativePath(const std::string& relative);

// The name of the stored file with `fileKey` relative to the backup folder: "<key>" (flat) or
// "<k0k1>/<key>" (sharded); empty for anything that is not a 40-digit hex key.
std::string storedFileName(const std::string& fileKey, BackupLayout layout);

}  // namespace nimbara::backup
