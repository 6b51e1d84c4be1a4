#include "backup/writers/attachment_copy.h"

#include <unistd.h>

#include "backup/backup_folder.h"
#include "backup/pr_message_node.h"
#include "platform/failure_reason.h"

namespace nimbara::backup {

namespace {

ExportWriteResult failed(const std::filesystem::path& folder, const QString& name,
                         const std::string& why) {
    ExportWriteResult result;
    result.error = failureText((folder / safeFileStem(name, QStringLiteral("attachment"))).string(),
                               why, "copying the attachment");
    return result;
}

ExportWriteResult copyAttachment(const BackupFolder& backup, const PRMessageNode& message,
                                 const std::filesystem::path& folder, std::string_view extension,
                                 const std::function<bool()>& stopRequested = {}) {
    const QString path = message.attachmentPath();
    return copyBackupFile(backup, path, folder, attachmentFileName(path), extension, stopRequested);
}

// The stored file at `path`, inside `backup`; invalid, with the reason in `why`, when it can't be
// read.
UniqueFd openStored(const BackupFolder& backup, const QString& path, std::string* why) {
    if (!backup.isOpen()) {
        *why = "the backup is not open";
        return {};
    }
    if (path.isEmpty()) {
        *why = "the backup does not hold the file";
        return {};
    }
    const std::string relative = backupRelativeName(backup, path);
    if (relative.empty()) {
        *why = "the file \"" + path.toStdString() + "\" is not a file of the backup";
        return {};
    }
    UniqueFd source = backup.openFile(relative, why);
    if (!source.valid()) {
        *why = "the backup's file can't be read: " + *why;
    }
    return source;
}

// A picture keeps the name it is stored under; one stored under a bare key gets the extension
// of its kind, so that it opens as a picture.
ExportWriteResult copyPicture(const BackupFolder& backup, const QString& path,
                              const std::filesystem::path& folder,
                              const std::function<bool()>& stopRequested) {
    const QString name = attachmentFileName(path);
    const ExportNameParts parts = exportNameParts(name);
    if (!parts.extension.empty()) {
        return copyBackupFile(backup, path, folder, parts.stem, parts.extension, stopRequested);
    }
    std::string why;
    const UniqueFd source = openStored(backup, path, &why);
    if (!source.valid()) {
        return failed(folder, name, why);
    }
    char head[16] = {};
    const ssize_t n = ::pread(source.get(), head, sizeof head, 0);
    const std::string extension =
        pictureExtension(std::string_view(head, n > 0 ? static_cast<std::size_t>(n) : 0));
    return copyToExportFile(source.get(), folder, name, extension, QStringLiteral("attachment"),
                            stopRequested);
}

}  // namespace

std::string backupRelativeName(const BackupFolder& backup, const QString& path) {
    const std::string text = path.toStdString();
    if (text.empty()) {
        return {};
    }
    if (text.front() != '/') {
        return text;
    }
    std::string prefix = backup.path();
    while (prefix.size() > 1 && prefix.back() == '/') {
        prefix.pop_back();
    }
    if (prefix.empty() || prefix.front() != '/') {
        return {};
    }
    if (prefix != "/") {
        prefix += '/';
    }
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0) {
        return {};
    }
    return text.substr(prefix.size());
}

ExportWriteResult copyBackupFile(const BackupFolder& backup, const QString& path,
                                 const std::filesystem::path& folder, const QString& name,
                                 std::string_view extension,
                                 const std::function<bool()>& stopRequested) {
    std::string why;
    const UniqueFd source = openStored(backup, path, &why);
    if (!source.valid()) {
        return failed(folder, name, why);
    }
    return copyToExportFile(source.get(), folder, name, extension, QStringLiteral("attachment"),
                            stopRequested);
}

QString attachmentFileName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

bool keepsAttachmentCopy(const PRMessageNode& message) {
    const QString type = message.attachType();
    return type == QLatin1String("Image") || type == QLatin1String("Contact") ||
           type == QLatin1String("Location") || type == QLatin1String("Mov");
}

std::string pictureExtension(std::string_view head) {
    const auto starts = [&head](std::size_t at, std::string_view magic) {
        return head.size() >= at + magic.size() && head.substr(at, magic.size()) == magic;
    };
    if (starts(0, "\xFF\xD8\xFF")) {
        return ".jpg";
    }
    if (starts(0, "\x89PNG\r\n\x1A\n")) {
        return ".png";
    }
    if (starts(0, "GIF8")) {
        return ".gif";
    }
    if (starts(0, "RIFF") && starts(8, "WEBP")) {
        return ".webp";
    }
    if (starts(0, std::string_view("II*\0", 4)) || starts(0, std::string_view("MM\0*", 4))) {
        return ".tif";
    }
    if (starts(0, "BM")) {
        return ".bmp";
    }
    if (starts(4, "ftyp")) {
        for (const std::string_view brand : {"heic", "heix", "hevc", "heim", "heis", "mif1"}) {
            if (starts(8, brand)) {
                return ".heic";
            }
        }
    }
    return {};
}

std::optional<ExportWriteResult> copyMessageAttachment(const BackupFolder& backup,
                                                       const PRMessageNode& message,
                                                       const std::filesystem::path& folder,
                                                       const std::function<bool()>& stopRequested) {
    if (!keepsAttachmentCopy(message)) {
        return std::nullopt;
    }
    const QString type = message.attachType();
    if (type == QLatin1String("Image")) {
        return copyPicture(backup, message.attachmentPath(), folder, stopRequested);
    }
    const bool movie = type == QLatin1String("Mov");
    return copyAttachment(backup, message, folder, movie ? ".mov" : ".vcf", stopRequested);
}

}  // namespace nimbara::backup

nimbara::backup::ExportWriteResult writeVCFCardNode(const nimbara::backup::BackupFolder& backup,
                                                    const PRMessageNode& message,
                                                    const std::filesystem::path& folder) {
    return nimbara::backup::copyAttachment(backup, message, folder, ".vcf");
}

nimbara::backup::ExportWriteResult writeMovFile(const nimbara::backup::BackupFolder& backup,
                                                const PRMessageNode& message,
                                                const std::filesystem::path& folder) {
    return nimbara::backup::copyAttachment(backup, message, folder, ".mov");
}
