#include "backup/manifest_media.h"

#include "app/core/text_utilities.h"
#include "backup/backup_manifest.h"

#include <QFileInfo>

#include <array>

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

std::shared_ptr<PRTreeDirNode> makeTreeDirNode(const BackupEntry& entry,
                                               const std::string& backupFolder,
                                               BackupLayout layout) {
    auto node = std::make_shared<PRTreeDirNode>();
    node->setFileDomain(fromBytes(entry.domain));
    node->setFilePath(fromBytes(entry.relativePath));
    node->setFileKey(QString::fromStdString(storedFilePath(backupFolder, entry.fileKey, layout)));
    node->setEntryKind(entry.isDirectory ? PRTreeDirNode::EntryKind::Folder
                       : entry.isLink    ? PRTreeDirNode::EntryKind::Link
                                         : PRTreeDirNode::EntryKind::File);
    return node;
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
    const QFileInfo info(stored);
    const bool exists = !stored.isEmpty() && info.isFile();
    const std::uint64_t size = exists ? static_cast<std::uint64_t>(info.size()) : 0;
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
