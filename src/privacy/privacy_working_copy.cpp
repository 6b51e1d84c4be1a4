#include "privacy/privacy_working_copy.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <vector>

#include "backup/backup_folder.h"
#include "backup/backup_root_tidy.h"
#include "platform/failure_reason.h"
#include "platform/folder_exchange.h"
#include "platform/log_categories.h"
#include "platform/partial_file.h"
#include "platform/scratch_dir.h"

namespace fs = std::filesystem;

namespace nimbara::privacy {

namespace {

constexpr const char* kStagingName = ".nimbara-staging";
// What one folder of the copy costs at most on the file system.
constexpr std::uint64_t kFolderBytes = 4096;

std::string errnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// A fresh hidden folder (mode 0700) beside the backup `folder`, named as its working copy.
fs::path makeWorkingFolderBeside(const fs::path& folder, std::string& error) {
    std::string pattern =
        (folder.parent_path() / (backup::workingCopyPrefix(folder.filename().string()) + "-XXXXXX"))
            .string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = errnoText("cannot make a folder beside " + folder.string(), errno);
        return {};
    }
    return fs::path(pattern);
}

// One entry of the backup folder, relative to it.
struct TreeItem {
    std::string relative;
    bool folder = false;
    std::uint64_t size = 0;
};

// Folders and regular files below `root`, parents before their contents; links and special
// files are left out (a backup holds none, and nothing reads through one).
bool listTree(const fs::path& root, std::vector<TreeItem>& items, std::string& error) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0) {
            error = errnoText("cannot read " + it->path().string(), errno);
            return false;
        }
        const std::string relative = it->path().lexically_relative(root).string();
        if (S_ISDIR(st.st_mode)) {
            items.push_back({relative, true, 0});
        } else if (S_ISREG(st.st_mode)) {
            items.push_back({relative, false, static_cast<std::uint64_t>(st.st_size)});
        }
    }
    if (ec) {
        error = "cannot list " + root.string() + ": " + ec.message();
        return false;
    }
    return true;
}

// Whether a failed link means the file system cannot link these files (copying works instead).
bool linkUnsupported(int error) {
    return error == EXDEV || error == EPERM || error == EMLINK || error == ENOTSUP ||
           error == EOPNOTSUPP || error == EACCES;
}

std::string spaceText(std::uint64_t needed, std::optional<std::uint64_t> free) {
    return std::to_string(needed) + " bytes needed, " +
           (free ? std::to_string(*free) : std::string("unknown")) + " bytes free";
}

}  // namespace

std::optional<std::uint64_t> availableBytes(const fs::path& folder) {
    struct statvfs fsInfo {};
    if (::statvfs(folder.c_str(), &fsInfo) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(fsInfo.f_bavail) * fsInfo.f_frsize;
}

WorkingCopyResult PrivacyWorkingCopy::create(const std::string& backupFolder,
                                             const WorkingCopyOptions& options) {
    WorkingCopyResult result;
    std::error_code ec;
    const fs::path original = fs::canonical(backupFolder, ec);
    struct stat originalStat {};
    if (ec || ::lstat(original.c_str(), &originalStat) != 0 || !S_ISDIR(originalStat.st_mode)) {
        result.error = "the backup folder " + backupFolder + " cannot be read";
        return result;
    }
    const FreeSpaceProbe probe = options.freeSpace ? options.freeSpace : availableBytes;
    std::vector<TreeItem> items;
    if (!listTree(original, items, result.error)) {
        return result;
    }
    std::uint64_t folders = 1;
    std::uint64_t fileBytes = 0;
    for (const TreeItem& item : items) {
        folders += item.folder ? 1 : 0;
        fileBytes += item.size;
    }
    // Linked files cost nothing; copied ones cost their size.
    const fs::path parent = original.parent_path();
    const std::uint64_t needed =
        folders * kFolderBytes + kWorkingSpaceReserve + (options.linkFiles ? 0 : fileBytes);
    const std::optional<std::uint64_t> free = probe(parent);
    if (!free || *free < needed) {
        result.notEnoughSpace = true;
        result.error = "not enough free space for a working copy of the backup (" +
                       spaceText(needed, free) + ")";
        return result;
    }

    std::unique_ptr<PrivacyWorkingCopy> copy(new PrivacyWorkingCopy());
    copy->original_ = original;
    copy->originalDevice_ = originalStat.st_dev;
    copy->originalInode_ = originalStat.st_ino;
    copy->originalMode_ = originalStat.st_mode & 07777;
    copy->freeSpace_ = probe;
    copy->copy_ = makeWorkingFolderBeside(original, result.error);
    if (copy->copy_.empty()) {
        copy->state_ = State::Discarded;
        return result;
    }
    // Held for as long as the copy is in use: what a killed program leaves is removed by the
    // next start or backup, and a copy in use never is.
    copy->lock_ = FolderLock(copy->copy_);
    if (!copy->lock_.locked()) {
        result.error = errnoText("cannot hold the working copy", errno);
        return result;  // the copy is discarded as it goes
    }
    const backup::BackupFolder source = backup::BackupFolder::open(original.string());
    bool linking = options.linkFiles;
    bool roomChecked = !options.linkFiles;
    std::uint64_t linkedBytes = 0;
    for (const TreeItem& item : items) {
        const fs::path from = original / item.relative;
        const fs::path to = copy->copy_ / item.relative;
        if (item.folder) {
            if (::mkdir(to.c_str(), 0700) != 0) {
                result.error = errnoText("cannot make " + to.string(), errno);
                return result;  // the copy is discarded as it goes
            }
            continue;
        }
        if (linking) {
            if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) == 0) {
                struct stat linked {};
                if (::lstat(to.c_str(), &linked) != 0 || !S_ISREG(linked.st_mode)) {
                    result.error = "the backup changed while it was copied: " + item.relative;
                    return result;
                }
                linkedBytes += item.size;
                continue;
            }
            if (!linkUnsupported(errno)) {
                result.error = errnoText("cannot link " + from.string(), errno);
                return result;
            }
        }
        if (!roomChecked) {
            // The file system does not link these files: the rest is copied, if it fits.
            roomChecked = true;
            const std::uint64_t rest = fileBytes - linkedBytes + kWorkingSpaceReserve;
            const std::optional<std::uint64_t> left = probe(parent);
            if (!left || *left < rest) {
                result.notEnoughSpace = true;
                result.error =
                    "not enough free space to copy the backup (" + spaceText(rest, left) + ")";
                return result;
            }
        }
        std::string why;
        if (!source.copyFile(item.relative, to.string(), &why)) {
            result.error = failureText("cannot copy " + item.relative, why, "copying the file");
            return result;
        }
        copy->bytesCopied_ += item.size;
    }
    result.copy = std::move(copy);
    return result;
}

PrivacyWorkingCopy::~PrivacyWorkingCopy() {
    if (state_ == State::Open) {
        discard();
    }
}

backup::BackupFolder PrivacyWorkingCopy::folder() const {
    return isOpen() ? backup::BackupFolder::open(copy_.string()) : backup::BackupFolder();
}

std::optional<std::uint64_t> PrivacyWorkingCopy::freeBytes() const {
    if (!isOpen()) {
        return std::nullopt;
    }
    return freeSpace_ ? freeSpace_(copy_) : availableBytes(copy_);
}

fs::path PrivacyWorkingCopy::inside(const std::string& relative, std::string& error) const {
    if (!isOpen()) {
        error = "the working copy is gone";
        return {};
    }
    if (!backup::isPlainRelativePath(relative)) {
        error = "\"" + relative + "\" is not a file of the backup";
        return {};
    }
    return copy_ / relative;
}

bool PrivacyWorkingCopy::replaceFile(const std::string& relative, std::string_view bytes,
                                     std::string& error) {
    const fs::path target = inside(relative, error);
    if (target.empty()) {
        return false;
    }
    struct stat folderStat {};
    if (::lstat(target.parent_path().c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) {
        error = "the folder of " + relative + " is missing from the working copy";
        return false;
    }
    PartialFile file(target, 0600);
    if (!file.valid() || !file.write(bytes.data(), bytes.size()) || !file.commit()) {
        error = errnoText("cannot write " + relative, file.error());
        return false;
    }
    return true;
}

bool PrivacyWorkingCopy::removeFile(const std::string& relative, std::string& error) {
    const fs::path target = inside(relative, error);
    if (target.empty()) {
        return false;
    }
    if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
        error = errnoText("cannot remove " + relative, errno);
        return false;
    }
    return true;
}

std::optional<fs::path> PrivacyWorkingCopy::stage(const std::string& relative,
                                                  const std::string& stagedName,
                                                  std::string& error) {
    if (inside(relative, error).empty()) {
        return std::nullopt;
    }
    if (!isSafePathComponent(stagedName)) {
        error = "\"" + stagedName + "\" cannot name a staged file";
        return std::nullopt;
    }
    if (staging_.empty()) {
        const fs::path staging = copy_ / kStagingName;
        if (::mkdir(staging.c_str(), 0700) != 0) {
            error = errnoText("cannot make the staging folder", errno);
            return std::nullopt;
        }
        staging_ = staging;
    }
    const fs::path staged = staging_ / stagedName;
    std::string why;
    if (!folder().copyFile(relative, staged.string(), &why)) {
        error = failureText("cannot copy " + relative, why, "copying the file");
        return std::nullopt;
    }
    return staged;
}

bool PrivacyWorkingCopy::commitStaged(const fs::path& staged, const std::string& relative,
                                      std::string& error) {
    const fs::path target = inside(relative, error);
    if (target.empty()) {
        return false;
    }
    if (staging_.empty() || staged.parent_path() != staging_) {
        error = staged.string() + " was not staged in this working copy";
        return false;
    }
    if (std::rename(staged.c_str(), target.c_str()) != 0) {
        error = errnoText("cannot put the edited " + relative + " in place", errno);
        return false;
    }
    return true;
}

void PrivacyWorkingCopy::clearStaging() {
    if (!staging_.empty()) {
        std::error_code ec;
        fs::remove_all(staging_, ec);
        staging_.clear();
    }
}

void PrivacyWorkingCopy::discard() {
    if (state_ != State::Open) {
        return;
    }
    state_ = State::Discarded;
    staging_.clear();
    std::error_code ec;
    fs::remove_all(copy_, ec);
    lock_.release();
    if (ec) {
        qCWarning(lcPrivacy, "Privacy clean: the working copy %s could not be removed: %s",
                  copy_.c_str(), ec.message().c_str());
    }
}

bool PrivacyWorkingCopy::keepOriginal(std::string& error) {
    if (!isOpen()) {
        error = "the working copy is gone";
        return false;
    }
    discard();
    state_ = State::Kept;
    return true;
}

bool PrivacyWorkingCopy::replaceOriginal(std::string& error) {
    if (!isOpen()) {
        error = "the working copy is gone";
        return false;
    }
    clearStaging();
    struct stat now {};
    if (::lstat(original_.c_str(), &now) != 0 || !S_ISDIR(now.st_mode) ||
        now.st_dev != originalDevice_ || now.st_ino != originalInode_) {
        error = "the backup at " + original_.string() + " is no longer the one that was cleaned";
        return false;
    }
    if (::chmod(copy_.c_str(), originalMode_) != 0) {
        error = errnoText("cannot set the permissions of the cleaned backup", errno);
        return false;
    }
    if (!exchangeFolders(copy_, original_, error)) {
        error = "cannot put the cleaned backup in place (" + error + ")";
        return false;
    }
    // The original now lies where the copy was.
    const fs::path old = copy_;
    lock_.release();
    state_ = State::Replaced;
    std::error_code ec;
    fs::remove_all(old, ec);
    if (ec) {
        qCWarning(lcPrivacy, "Privacy clean: the replaced backup %s could not be removed: %s",
                  old.c_str(), ec.message().c_str());
    }
    return true;
}

}  // namespace nimbara::privacy
