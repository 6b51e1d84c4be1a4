// A simulated device's folder as it was when the device attached.
//
// The folder is held open (O_PATH) for as long as the device lives, and every file operation of
// the device goes through that descriptor (anchor() below): renaming the folder away and putting
// another one under its name never makes an operation of the first device land in the second.
// The folder's identity on disk (device and inode) tells when its path names another folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/plist_value.h"

namespace nimbara::md::sim {

// A real device.plist is a few kilobytes; anything beyond this is refused unread.
inline constexpr std::uint64_t kMaxDevicePlistBytes = 4u * 1024u * 1024u;

struct FolderId {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

// What a file looked like; a change of any field means the file changed.
struct FileStamp {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The identity of the folder at `path` (a link to a folder is followed); nullopt when the path
// names no folder.
std::optional<FolderId> folderIdAt(const std::filesystem::path& path);
// The stamp of the folder at `path` (a link to a folder is followed): it changes with the
// folder's entries. nullopt when the path names no folder.
std::optional<FileStamp> folderStampAt(const std::filesystem::path& path);
// The stamp of the file at `path` (a link is stamped itself); nullopt when there is none.
std::optional<FileStamp> fileStampAt(const std::filesystem::path& path);

class DeviceFolder {
  public:
    // Opens the folder; nullopt (with the reason in `error`) when it cannot be opened.
    static std::optional<DeviceFolder> open(const std::filesystem::path& dir, std::string* error);

    DeviceFolder(DeviceFolder&& other) noexcept;
    DeviceFolder& operator=(DeviceFolder&& other) noexcept;
    DeviceFolder(const DeviceFolder&) = delete;
    DeviceFolder& operator=(const DeviceFolder&) = delete;
    ~DeviceFolder();

    const FolderId& id() const { return id_; }
    // The folder's stamp when it was opened.
    const FileStamp& openedAs() const { return stamp_; }
    // A path that names this folder through the open descriptor, for the paths below it.
    const std::filesystem::path& anchor() const { return anchor_; }
    // Whether `path` names this folder now (a look along the whole path).
    bool isAt(const std::filesystem::path& path) const;
    // Whether the folder that held this one when it was opened still holds it under the same
    // name: one look, whatever the depth of the path. False when the parent could not be kept.
    bool isInItsParent() const;
    // What changed in that parent folder since the last call, as the kernel reports it at once:
    // None when nothing was named, renamed or removed in it; Names when something was (and
    // always where changes cannot be watched); Folder when the parent itself was moved or
    // removed, or changes were lost.
    enum class ParentChange { None, Names, Folder };
    ParentChange parentChanges() const;

    // The stamp of this folder's device.plist; nullopt when it has none.
    std::optional<FileStamp> configStamp() const;
    // Reads this folder's device.plist: a regular file, not a link, of at most
    // kMaxDevicePlistBytes bytes, holding a dictionary. `stamp` (when given) receives the stamp
    // of the file that was opened, also when it was refused.
    std::optional<PlistValue> readConfig(std::string* error, FileStamp* stamp = nullptr) const;

    // The first area of the device (media/, crashes/, apps/, backup-source/) that is a symbolic
    // link; empty when there is none. Areas must lie inside the device's folder.
    std::string linkedArea() const;

  private:
    DeviceFolder(int fd, const FileStamp& stamp);

    struct Parent;  // the folder holding this one at the open, this one's name and a watch on it

    int fd_ = -1;
    std::unique_ptr<Parent> parent_;
    FolderId id_;
    FileStamp stamp_;
    std::filesystem::path anchor_;
};

// The UniqueDeviceID of a device.plist dictionary, or `fallback` (the folder's name) without one.
std::string udidOf(const PlistValue& config, const std::string& fallback);

}  // namespace nimbara::md::sim
