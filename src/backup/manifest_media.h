// Turns manifest entries into outline records and picks out the photos, videos, audio files and
// social-app files of a backup.
#pragma once

#include "backup/backup_entry.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "backup/pr_tree_dir_node.h"

#include <QString>

#include <memory>
#include <string>

namespace nimbara::backup {

// The record of one entry: domain, relative path, kind, and as fileKey the full path of the
// stored file (empty when the key is not a valid one). Bytes that are not UTF-8 are shown
// replaced.
std::shared_ptr<PRTreeDirNode> makeTreeDirNode(const BackupEntry& entry,
                                               const std::string& backupFolder,
                                               BackupLayout layout);

// The camera roll, media and home domains and the three social-app domains.
bool isMediaScanDomain(const QString& domain);
// The social-app domains only.
bool isSocialAppDomain(const QString& domain);

struct MediaRecords {
    std::shared_ptr<PRPhotoAndVideoNode> media;  // an image, audio or video file
    std::shared_ptr<PRFaceTwitterNode> social;   // an existing file of a social-app domain
    bool stored = false;                         // the entry is a file and the backup holds it
};

// The media and social-app records of one entry of a media-scan domain; both may be set (an
// image of a social app) or neither. Only a file entry gives records: a folder or a link named
// like a picture (a thumbnail folder "IMG_0024.PNG") is not one.
MediaRecords GetMediaFileByNode(const PRTreeDirNode& entry);

}  // namespace nimbara::backup
