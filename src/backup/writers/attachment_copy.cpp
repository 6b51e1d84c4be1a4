#include "backup/writers/attachment_copy.h"

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
    if (!backup.isOpen()) {
        return failed(folder, name, "the backup is not open");
    }
    const std::string relative = backupRelativeName(backup, path);
    if (relative.empty()) {
        return failed(folder, name,
                      "the file \"" + path.toStdString() + "\" is not a file of the backup");
    }
    std::string why;
    const UniqueFd source = backup.openFile(relative, &why);
    if (!source.valid()) {
        return failed(folder, name, "the backup's file can't be read: " + why);
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
    return type == QLatin1String("Contact") || type == QLatin1String("Location") ||
           type == QLatin1String("Mov");
}

std::optional<ExportWriteResult> copyMessageAttachment(const BackupFolder& backup,
                                                       const PRMessageNode& message,
                                                       const std::filesystem::path& folder,
                                                       const std::function<bool()>& stopRequested) {
    if (!keepsAttachmentCopy(message)) {
        return std::nullopt;
    }
    const bool movie = message.attachType() == QLatin1String("Mov");
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
