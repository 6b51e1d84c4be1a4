#include "backup/backup_replace_question.h"

#include <QFile>
#include <QSettings>

#include <filesystem>
#include <system_error>

#include "backup/backup_list.h"

namespace nimbara::backup {

std::optional<ReplacedBackup> backupReplaceQuestion(const QString& root, const QString& udid,
                                                    const QSettings& settings) {
    if (udid.isEmpty() || settings.value(QLatin1String(kBackupReplaceSuppressKey)).toBool()) {
        return std::nullopt;
    }
    ReplacedBackup replaced;
    replaced.folder = root + QLatin1Char('/') + udid;
    // Whatever stands in the device's place goes; only a backup can say when it was made.
    std::error_code error;
    const std::filesystem::path place(QFile::encodeName(replaced.folder).toStdString());
    if (std::filesystem::symlink_status(place, error).type() ==
            std::filesystem::file_type::not_found ||
        error) {
        return std::nullopt;
    }
    if (const auto backup = readBackupFolder(replaced.folder)) {
        replaced.time = backup.value()->strDeviceBackUpTime();
    }
    return replaced;
}

BackupReplaceTexts backupReplaceTexts(const ReplacedBackup& replaced, const QString& deviceName,
                                      const QString& purpose) {
    const QString device = deviceName.isEmpty() ? QStringLiteral("the device")
                                                : QStringLiteral("\"%1\"").arg(deviceName);
    const QString which =
        replaced.time.isEmpty()
            ? QStringLiteral("the earlier backup of %1").arg(device)
            : QStringLiteral("the backup of %1 made on %2 (UTC)").arg(device, replaced.time);
    BackupReplaceTexts texts;
    texts.message = QStringLiteral("Replace %1?").arg(which);
    texts.informativeText =
        QStringLiteral(
            "To %1, Nimbara backs %2 up again, and the new backup takes the place of this one "
            "(%3). What only this backup holds, such as records deleted from the device since, "
            "will be gone. To keep it, cancel and copy its folder elsewhere first.")
            .arg(purpose, device, replaced.folder);
    texts.goOnButton = QStringLiteral("Back Up and Replace");
    texts.cancelButton = QStringLiteral("Cancel");
    texts.suppressionText = QStringLiteral("Do not show this message again");
    return texts;
}

void suppressBackupReplaceQuestion(QSettings& settings) {
    settings.setValue(QLatin1String(kBackupReplaceSuppressKey), true);
    settings.sync();
}

}  // namespace nimbara::backup
