#include "privacy/privacy_backup.h"

#include "backup/backup_folder.h"
#include "backup/manifest_media.h"
#include "backup/manifest_pass.h"
#include "platform/log_categories.h"
#include "privacy/privacy_plists.h"
#include "ui/core/text_utilities.h"

#include <filesystem>

namespace nimbara::privacy {

namespace {

using backup::BackupEntry;
using backup::BackupFolder;
using backup::BackupLayout;

// Manifest.plist carries the applications' descriptions and can be a few megabytes.
constexpr std::uint64_t kMaxDescriptionBytes = 64ull * 1024 * 1024;

constexpr const char* kSafariDomain = "AppDomain-com.apple.mobilesafari";
constexpr const char* kSafariCachePaths[] = {"Library/Safari/Thumbnails",
                                             "Library/WebKit/WebsiteData/LocalStorage"};
constexpr const char* kMediaDomains[] = {"CameraRollDomain", "MediaDomain", "HomeDomain"};
constexpr const char* kAttachmentPaths[] = {"Library/SMS/Attachments", "Library/SMS/Parts"};

QString plistText(const PlistValue* value) {
    return value != nullptr && value->isString() ? QString::fromStdString(value->toString())
                                                 : QString();
}

bool containsAny(const QString& path, const auto& parts) {
    for (const char* part : parts) {
        if (path.contains(QLatin1String(part), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

bool isImagePath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return false;
    }
    return shell::GetImageType(QString::fromStdString(path.substr(dot + 1))) >= 0;
}

std::shared_ptr<PRPrivacyNode> fileItem(const BackupEntry& entry, const std::string& folder,
                                        BackupLayout layout, PrivacyFileFormat format) {
    auto node = std::make_shared<PRPrivacyNode>();
    const std::string& path = entry.relativePath;
    node->setFileName(QString::fromStdString(path.substr(path.rfind('/') + 1)));
    node->setFileSize(shell::size_to_unit(entry.storedSize));
    node->setFileBytes(entry.storedSize);
    node->setBackupFilePath(QString::fromStdString(path));
    node->setBackupFileKey(
        QString::fromStdString(backup::storedFilePath(folder, entry.fileKey, layout)));
    node->setRecordSource(fileItemSource(entry, layout, format));
    return node;
}

// The backup folder, or (not open) the reason in `error`.
BackupFolder openBackupFolder(const std::string& path, std::string& error) {
    std::string why;
    BackupFolder folder = BackupFolder::open(path, &why);
    if (!folder.isOpen()) {
        qCInfo(lcPrivacy, "Filepath is not exist");
        error = "the backup folder cannot be read: " + why;
    }
    return folder;
}

}  // namespace

bool BackupCheck::belongsTo(const QString& deviceUdid) const {
    return !udid.isEmpty() && udid.compare(deviceUdid, Qt::CaseInsensitive) == 0;
}

BackupCheck ReadManifestEncyptedwithPath(const std::string& backupFolder) {
    BackupCheck check;
    std::string why;
    const BackupFolder folder = openBackupFolder(backupFolder, check.error);
    if (!folder.isOpen()) {
        check.message = QStringLiteral("The backup could not be read.");
        return check;
    }
    std::optional<StoredPlist> manifest;
    // Anything standing under the name (also a link, which is not followed) must be read.
    std::error_code ec;
    const auto described =
        std::filesystem::symlink_status(std::filesystem::path(backupFolder) / "Manifest.plist", ec);
    if (std::filesystem::exists(described)) {
        manifest = readStoredPlist(folder, "Manifest.plist", kMaxDescriptionBytes, why);
        if (!manifest || !manifest->root.isDict()) {
            check.error = "Manifest.plist cannot be read: " + (manifest ? "not a dictionary" : why);
            check.message = QStringLiteral(
                "The backup's description could not be read, so it is not known whether the "
                "backup is encrypted.");
            return check;
        }
        const PlistValue& root = manifest->root;
        const PlistValue* flag = root.find("IsEncrypted");
        const PlistValue* key = root.find("ManifestKey");
        const bool encrypted = (flag != nullptr && flag->toBool(flag->toInt64(0) != 0)) ||
                               (key != nullptr && key->size() > 0);
        check.udid = plistText(root["Lockdown"].find("UniqueDeviceID"));
        if (encrypted) {
            check.encryption = BackupEncryption::Encrypted;
            check.message = QStringLiteral(
                "This backup is encrypted, so its private data cannot be read or cleaned.");
            return check;
        }
    }
    check.encryption = BackupEncryption::Plain;
    if (check.udid.isEmpty() && folder.fileInfo("Info.plist")) {
        if (const auto info = readStoredPlist(folder, "Info.plist", kMaxDescriptionBytes, why)) {
            check.udid = plistText(info->root.find("Target Identifier"));
            if (check.udid.isEmpty()) {
                check.udid = plistText(info->root.find("Unique Identifier"));
            }
        }
    }
    return check;
}

FileItemKind classifyBackupEntry(const BackupEntry& entry) {
    if (!entry.isFile()) {
        return FileItemKind::None;
    }
    const bool stored = entry.storedKnown && entry.stored;
    const bool filled = stored && entry.storedSize > 0;
    if (entry.domain == kSafariDomain) {
        return filled && containsAny(QString::fromStdString(entry.relativePath), kSafariCachePaths)
                   ? FileItemKind::WebCache
                   : FileItemKind::None;
    }
    bool media = false;
    for (const char* domain : kMediaDomains) {
        media = media || entry.domain == domain;
    }
    if (!media) {
        return FileItemKind::None;
    }
    if (containsAny(QString::fromStdString(entry.relativePath), kAttachmentPaths)) {
        return filled ? FileItemKind::MessageAttachment : FileItemKind::None;
    }
    return stored && isImagePath(entry.relativePath) ? FileItemKind::Photo : FileItemKind::None;
}

PrivacySourceRef fileItemSource(const BackupEntry& entry, BackupLayout layout,
                                PrivacyFileFormat format) {
    auto source = std::make_shared<PrivacySource>();
    source->domain = entry.domain;
    source->relativePath = entry.relativePath;
    source->fileKey = entry.fileKey;
    source->storedName = backup::storedFileName(entry.fileKey, layout);
    source->format = format;
    return source;
}

PrivacyFileList scanBackupDataAnalyThread(const std::string& backupFolder, const StopCheck& stop) {
    PrivacyFileList list;
    const BackupFolder folder = openBackupFolder(backupFolder, list.error);
    if (!folder.isOpen()) {
        return list;
    }
    const BackupLayout layout = backup::detectManifestKind(folder) == backup::ManifestKind::Db
                                    ? BackupLayout::Sharded
                                    : BackupLayout::Flat;
    backup::TreeRecordMaker records(folder, layout);
    const backup::ManifestVisitResult read = backup::BackupManifest::visit(
        folder,
        [&](BackupEntry&& entry) {
            const FileItemKind kind = classifyBackupEntry(entry);
            if (kind == FileItemKind::WebCache || kind == FileItemKind::MessageAttachment) {
                auto item = fileItem(entry, backupFolder, layout, PrivacyFileFormat::File);
                item->setBSelected(true);
                ++list.fileCount;
                list.fileBytes += entry.storedSize;
                (kind == FileItemKind::WebCache ? list.safariWebCacheArray
                                                : list.messageAttachmentArray)
                    .push_back(std::move(item));
            } else if (kind == FileItemKind::Photo) {
                list.PhotoPrivacyArray.push_back(
                    fileItem(entry, backupFolder, layout, PrivacyFileFormat::Photo));
            }
            list.backupFileArray.push_back(records.make(std::move(entry)));
            return true;
        },
        stop);
    list.kind = read.kind;
    list.layout = read.layout;
    list.refusedPaths = read.refusedPaths;
    list.error = read.error;
    if (list.error.empty() && read.refusedPaths > 0) {
        list.error = backup::refusedPathsText(read.refusedPaths);
    }
    list.stopped = read.stopped;
    return list;
}

QString PrivacyFileList::getFileKeyBytheFilepath(const QString& relativePath) const {
    return backup::getFileKeyBytheFilepath(backupFileArray, relativePath);
}

}  // namespace nimbara::privacy
