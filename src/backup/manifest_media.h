// Turns manifest entries into outline records and picks out the photos, videos, audio files and
// social-app files of a backup.
#pragma once

#include "backup/backup_entry.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "backup/pr_tree_dir_node.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace nimbara::backup {

class BackupFolder;

// The record of one entry: domain, relative path, kind, and as fileKey the full path of the
// stored file (empty when the key is not a valid one), with whether the backup holds that file
// and its size (looked up through `folder`, never through a link). Bytes that are not UTF-8 are
// shown replaced.
std::shared_ptr<PRTreeDirNode> makeTreeDirNode(const BackupEntry& entry, const BackupFolder& folder,
                                               BackupLayout layout);
// The same, opening the backup folder for this one record.
std::shared_ptr<PRTreeDirNode> makeTreeDirNode(const BackupEntry& entry,
                                               const std::string& backupFolder,
                                               BackupLayout layout);

// Makes the records of one backup's entries, as makeTreeDirNode does, and keeps them small:
// the records of one folder of a domain share one place (domain, folder, backup folder). An
// entry that knows whether its stored file is there (from BackupManifest::visit) is not looked
// up again. For one thread; `folder` must outlive it.
class TreeRecordMaker {
  public:
    TreeRecordMaker(const BackupFolder& folder, BackupLayout layout);
    std::shared_ptr<PRTreeDirNode> make(BackupEntry&& entry);

  private:
    using Place = PRTreeDirNode::Place;
    std::shared_ptr<const Place> placeOf(const std::string& domain, std::string_view folder);

    const BackupFolder& folder_;
    BackupLayout layout_;
    std::shared_ptr<const PRTreeDirNode::StoredFolder> storedIn_;
    // Places by domain bytes, a NUL, and folder.
    std::unordered_map<std::string, std::shared_ptr<const Place>> places_;
    std::unordered_map<std::string, QString> domains_;
    std::string lastDomain_;
    std::shared_ptr<const Place> lastPlace_;
    // The records, a block at a time (no allocation and count of their own).
    PRTreeDirNode::RecordBlocks blocks_;
};

// Whether the backup holds a record's stored file, and its size: as the record knows it, or for a
// record that does not, from its stored path when that is a regular file itself (not a link).
struct StoredFile {
    bool stored = false;
    std::uint64_t size = 0;
};
StoredFile storedFileOf(const PRTreeDirNode& record);

// The camera roll, media and home domains and the three social-app domains.
bool isMediaScanDomain(const QString& domain);
// The social-app domains only.
bool isSocialAppDomain(const QString& domain);

// What a domain is to the media scan, told once per entry from the domain's bytes as listed.
enum class ScanDomain : std::uint8_t { None, Media, Social };
ScanDomain scanDomainOf(std::string_view domain);

// What a file's extension makes it: an image, else audio or video ("moving"), else nothing. One
// look-up over the image, video and audio tables (the image table wins), taking the extension as
// shell::getSuffix takes it from the path (up to a NUL byte, if any).
enum class MediaKind : std::uint8_t { None, Image, Moving };
MediaKind mediaKindOf(std::string_view relativePath);

struct MediaRecords {
    std::shared_ptr<PRPhotoAndVideoNode> media;  // an image, audio or video file
    std::shared_ptr<PRFaceTwitterNode> social;   // an existing file of a social-app domain
    bool stored = false;                         // the entry is a file and the backup holds it
};

// The media and social-app records of one entry of a media-scan domain; both may be set (an
// image of a social app) or neither. Only a file entry gives records: a folder or a link named
// like a picture (a thumbnail folder "IMG_0024.PNG") is not one. Whether the file is stored and
// its size come from the record; a record that does not know counts its stored path only when
// that is a regular file itself, not a link.
MediaRecords GetMediaFileByNode(const PRTreeDirNode& entry);
// The same with the kinds already known (from the entry as listed, before its record was made),
// so that nothing is derived twice: `media` is mediaKindOf(path), and a Social `domain` makes the
// social-app record.
MediaRecords GetMediaFileByNode(const PRTreeDirNode& entry, ScanDomain domain, MediaKind media);

}  // namespace nimbara::backup
