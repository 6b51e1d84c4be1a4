// Copies of message attachments out of a backup into an export folder.
//
// The attachment is read from the backup's own stored file, reached through the backup's
// BackupFolder (never through a link, never relative to the working folder), and copied byte for
// byte: the copy has exactly the bytes that could be read, and a read or write error discards it
// and is reported. The copy lands under a temporary name and is renamed into place when complete,
// as a new file that never replaces one already there (see export_file.h).
#pragma once

#include "backup/writers/export_file.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class PRMessageNode;

namespace nimbara::backup {

class BackupFolder;

// `path` relative to the backup folder: the part after "<backup folder>/" when `path` lies in it,
// a relative `path` as it is; empty for a path elsewhere. (BackupFolder refuses "..", empty names
// and links on the way when the file is opened.)
std::string backupRelativeName(const BackupFolder& backup, const QString& path);

// Copies the stored file at `path` (inside `backup`) into `folder` as a new file named `name` +
// `extension`. `stopRequested`, when given, is asked between chunks (see copyToExportFile).
ExportWriteResult copyBackupFile(const BackupFolder& backup, const QString& path,
                                 const std::filesystem::path& folder, const QString& name,
                                 std::string_view extension,
                                 const std::function<bool()>& stopRequested = {});

// The last name of `path` ("" for none): what an attachment's copy is named after.
QString attachmentFileName(const QString& path);

// Whether a copy is kept of the message's attachment: its type is "Image", "Contact",
// "Location" or "Mov".
bool keepsAttachmentCopy(const PRMessageNode& message);

// The extension (".jpg", ".png", ".gif", ".heic", ...) of a picture that begins with the bytes
// `head` (its first 16 bytes are enough); empty when they are no picture known here.
std::string pictureExtension(std::string_view head);

// The copy kept of a message's attachment by its type: a picture under its own name (a stored
// name without an extension gets the one of the picture's kind), "Contact" and "Location" as
// ".vcf", "Mov" as ".mov"; nullopt for any other type.
// `stopRequested`, when given, can end a long copy (see copyToExportFile).
std::optional<ExportWriteResult> copyMessageAttachment(
    const BackupFolder& backup, const PRMessageNode& message, const std::filesystem::path& folder,
    const std::function<bool()>& stopRequested = {});

}  // namespace nimbara::backup

// The message's attachment (a contact card or a location) copied into `folder` as
// "<its file name>.vcf".
nimbara::backup::ExportWriteResult writeVCFCardNode(const nimbara::backup::BackupFolder& backup,
                                                    const PRMessageNode& message,
                                                    const std::filesystem::path& folder);
// The message's movie attachment copied into `folder` as "<its file name>.mov".
nimbara::backup::ExportWriteResult writeMovFile(const nimbara::backup::BackupFolder& backup,
                                                const PRMessageNode& message,
                                                const std::filesystem::path& folder);
