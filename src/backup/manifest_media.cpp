#include "backup/manifest_media.h"

#include "app/core/text_utilities.h"
#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"

#include <QFile>

#include <array>
#include <filesystem>
#include <system_error>

namespace nimbara::backup {

namespace {

constexpr std::array<const char*, 3> kSocialDomains = {"AppDomain-com.facebook.Facebook",
                                                       "AppDomain-com.facebook.Messenger",
                                                       "AppDomain-com.atebits.Tweetie2"};
constexpr std::array<const char*, 3> kMediaDomains = {"CameraRollDomain", "MediaDomain",
                                                      "HomeDomain"};

QString fromBytes(const std::string& bytes) {
    if (bytes.empty()) {
        return QLatin1String("");
    }
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString lastComponent(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

}  // namespace

std::shared_ptr<PRTreeDirNode> makeTreeDirNode(const BackupEntry& entry, const BackupFolder& folder,
                                               BackupLayout layout) {
    auto node = std::make_shared<PRTreeDirNode>();
    node->setFileDomain(fromBytes(entry.domain));
    node->setFilePath(fromBytes(entry.relativePath));
    node->setFileKey(QString::fromStdString(storedFilePath(folder.path(), entry.fileKey, layout)));
    node->setEntryKind(entry.isDirectory ? PRTreeDirNode::EntryKind::Folder
                       : entry.isLink    ? PRTreeDirNode::EntryKind::Link
                                         : PRTreeDirNode::EntryKind::File);
    const std::string stored = storedFileName(entry.fileKey, layout);
    const auto info = entry.isFile() && !stored.empty() ? folder.fileInfo(stored) : std::nullopt;
    node->setStoredFile(info.has_value(), info ? info->size : 0);
    return node;
}

std::shared_ptr<PRTreeDirNode> makeTreeDirNode(const BackupEntry& entry,
                                               const std::string& backupFolder,
                                               BackupLayout layout) {
    return makeTreeDirNode(entry, BackupFolder::open(backupFolder), layout);
}

StoredFile storedFileOf(const PRTreeDirNode& record) {
    if (record.storedFileKnown()) {
        return {record.isStored(), record.storedSize()};
    }
    const QString stored = record.fileKey();
    if (stored.isEmpty()) {
        return {};
    }
    std::error_code ec;
    const std::filesystem::path file(QFile::encodeName(stored).toStdString());
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(file, ec))) {
        return {};
    }
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    return {true, ec ? 0 : static_cast<std::uint64_t>(size)};
}

bool isSocialAppDomain(const QString& domain) {
    for (const char* d : kSocialDomains) {
        if (domain == QLatin1String(d)) {
            return true;
        }
    }
    return false;
}

bool isMediaScanDomain(const QString& domain) {
    for (const char* d : kMediaDomains) {
        if (domain == QLatin1String(d)) {
            return true;
        }
    }
    return isSocialAppDomain(domain);
}

MediaRecords GetMediaFileByNode(const PRTreeDirNode& entry) {
    MediaRecords records;
    if (!entry.isFileEntry()) {
        return records;
    }
    const QString path = entry.filePath();
    const QString stored = entry.fileKey();
    const auto [exists, size] = storedFileOf(entry);
    records.stored = exists;

    const std::optional<std::string> suffix = shell::getSuffix(path.toUtf8().constData());
    if (suffix) {
        const bool image = shell::GetImageType(suffix->c_str()) >= 0;
        const bool moving = !image && (shell::GetAudioType(suffix->c_str()) >= 0 ||
                                       shell::GetViedoType(suffix->c_str()) >= 0);
        if (image || moving) {
            auto media = std::make_shared<PRPhotoAndVideoNode>();
            media->setFilePath(stored);
            media->setFileSizeNumber(size);
            media->setFileNodeName(lastComponent(path));
            media->setFileNodeSize(shell::size_to_unit(size));
            media->setBmov(moving);
            records.media = std::move(media);
        }
    }
    if (exists && isSocialAppDomain(entry.fileDomain())) {
        auto social = std::make_shared<PRFaceTwitterNode>();
        social->setFileSize(shell::size_to_unit(size));
        social->setFaceTwitterFileName(lastComponent(path));
        social->setFaceTwitterFilePath(stored);
        records.social = std::move(social);
    }
    return records;
}

}  // namespace nimbara::backup
