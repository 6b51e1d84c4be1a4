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
    auto node = blocks_.make();
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
    const bool compactKey = isLowerCaseFileKey(entry.fileKey);
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

ScanDomain scanDomainOf(std::string_view domain) {
    for (const char* d : kMediaDomains) {
        if (domain == d) {
            return ScanDomain::Media;
        }
    }
    for (const char* d : kSocialDomains) {
        if (domain == d) {
            return ScanDomain::Social;
        }
    }
    return ScanDomain::None;
}

MediaKind mediaKindOf(std::string_view relativePath) {
    // The three tables as one, made once: upper-case extension to kind, images first so that an
    // extension in the image table and another is an image.
    static const std::unordered_map<std::string_view, MediaKind> kinds = [] {
        std::unordered_map<std::string_view, MediaKind> made;
        for (const char* e : shell::imageTypeTable()) {
            made.emplace(e, MediaKind::Image);
        }
        for (const auto table : {shell::videoTypeTable(), shell::audioTypeTable()}) {
            for (const char* e : table) {
                made.emplace(e, MediaKind::Moving);
            }
        }
        return made;
    }();
    // As shell::getSuffix: a C text, so the path ends at a NUL byte; the text after the last
    // ".", unless a "/" follows it or it is 20 characters or more with its dot.
    const std::string_view path = relativePath.substr(0, relativePath.find('\0'));
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos ||
        path.size() - dot > 20) {
        return MediaKind::None;
    }
    char upper[20];
    const std::size_t length = path.size() - dot - 1;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = path[dot + 1 + i];
        upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const auto found = kinds.find(std::string_view(upper, length));
    return found == kinds.end() ? MediaKind::None : found->second;
}

MediaRecords GetMediaFileByNode(const PRTreeDirNode& entry) {
    if (!entry.isFileEntry()) {
        return {};
    }
    return GetMediaFileByNode(
        entry, isSocialAppDomain(entry.fileDomain()) ? ScanDomain::Social : ScanDomain::None,
        mediaKindOf(entry.filePathUtf8()));
}

MediaRecords GetMediaFileByNode(const PRTreeDirNode& entry, ScanDomain domain, MediaKind media) {
    MediaRecords records;
    if (!entry.isFileEntry()) {
        return records;
    }
    const auto [exists, size] = storedFileOf(entry);
    records.stored = exists;
    const bool social = exists && domain == ScanDomain::Social;
    if (media == MediaKind::None && !social) {
        return records;  // the common case: no text is made
    }
    const QString path = entry.filePath();
    const QString stored = entry.fileKey();
    const QString name = lastComponent(path);
    if (media != MediaKind::None) {
        auto made = std::make_shared<PRPhotoAndVideoNode>();
        made->setFilePath(stored);
        made->setFileSizeNumber(size);
        made->setFileNodeName(name);
        made->setFileNodeSize(shell::size_to_unit(size));
        made->setBmov(media == MediaKind::Moving);
        if (entry.modifiedTime() > 0) {
            made->setFileModifyTime(
                recordDateText(unixSeconds(static_cast<double>(entry.modifiedTime()))));
        }
        records.media = std::move(made);
    }
    if (social) {
        auto made = std::make_shared<PRFaceTwitterNode>();
        made->setFileSize(shell::size_to_unit(size));
        made->setFaceTwitterFileName(name);
        made->setFaceTwitterFilePath(stored);
        records.social = std::move(made);
    }
    return records;
}

}  // namespace nimbara::backup
