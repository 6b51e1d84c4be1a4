#include "backup/manifest_media.h"

#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/manifest_db.h"
#include "backup/record_dates.h"
#include "ui/core/text_utilities.h"

#include <QFile>

#include <algorithm>
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

TreeRecordMaker::TreeRecordMaker(const BackupFolder& folder, BackupLayout layout)
    : folder_(folder), layout_(layout) {
    if (!folder.path().empty()) {
        auto stored = std::make_shared<PRTreeDirNode::StoredFolder>();
        stored->prefix =
            QString::fromStdString((std::filesystem::path(folder.path()) / "").string());
        stored->sharded = layout == BackupLayout::Sharded;
        storedIn_ = std::move(stored);
    }
}

std::shared_ptr<const PRTreeDirNode::Place> TreeRecordMaker::placeOf(const std::string& domain,
                                                                     std::string_view folder) {
    // Entries come folder by folder, so the last place is nearly always the one asked for.
    if (lastPlace_ && lastDomain_ == domain && lastPlace_->folder == folder) {
        return lastPlace_;
    }
    std::string key = domain;
    key += '\0';
    key += folder;
    auto found = places_.find(key);
    if (found == places_.end()) {
        auto text = domains_.find(domain);
        if (text == domains_.end()) {
            text = domains_.emplace(domain, fromBytes(domain)).first;
        }
        auto place = std::make_shared<Place>();
        place->domain = text->second;
        place->folder = std::string(folder);
        place->storedIn = storedIn_;
        found = places_.emplace(std::move(key), std::move(place)).first;
    }
    lastDomain_ = domain;
    lastPlace_ = found->second;
    return lastPlace_;
}

std::shared_ptr<PRTreeDirNode> TreeRecordMaker::make(BackupEntry&& entry) {
    auto node = std::make_shared<PRTreeDirNode>();
    node->setEntryKind(entry.isDirectory ? PRTreeDirNode::EntryKind::Folder
                       : entry.isLink    ? PRTreeDirNode::EntryKind::Link
                                         : PRTreeDirNode::EntryKind::File);
    // A path that is not UTF-8 is kept as it is shown: with its bad bytes replaced.
    std::string path = std::move(entry.relativePath);
    if (std::any_of(path.begin(), path.end(),
                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        path = fromBytes(path).toStdString();
    }
    const std::size_t slash = path.rfind('/');
    const std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
    std::shared_ptr<const Place> place =
        placeOf(entry.domain, std::string_view(path).substr(0, cut));
    const bool compactKey =
        isValidFileKey(entry.fileKey) && std::none_of(entry.fileKey.begin(), entry.fileKey.end(),
                                                      [](char c) { return c >= 'A' && c <= 'F'; });
    if (!compactKey || !storedIn_) {
        // A key that does not name its file by itself: the record keeps its stored path whole.
        auto own = std::make_shared<Place>(*place);
        own->storedIn.reset();
        own->storedPath =
            QString::fromStdString(storedFilePath(folder_.path(), entry.fileKey, layout_));
        place = std::move(own);
    }
    // A fresh string: a short last name then needs no memory of its own.
    node->setRecord(std::move(place), std::string(path, cut), entry.fileKey);
    node->setModifiedTime(entry.modified);
    if (entry.storedKnown) {
        node->setStoredFile(entry.isFile() && entry.stored, entry.storedSize);
    } else {
        const std::string stored = storedFileName(entry.fileKey, layout_);
        const auto info =
            entry.isFile() && !stored.empty() ? folder_.fileInfo(stored) : std::nullopt;
        node->setStoredFile(info.has_value(), info ? info->size : 0);
    }
    return node;
}

std::shared_ptr<PRTreeDirNode> makeTreeDirNode(const BackupEntry& entry, const BackupFolder& folder,
                                               BackupLayout layout) {
    BackupEntry copy = entry;
    return TreeRecordMaker(folder, layout).make(std::move(copy));
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
            if (entry.modifiedTime() > 0) {
                media->setFileModifyTime(
                    recordDateText(unixSeconds(static_cast<double>(entry.modifiedTime()))));
            }
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
