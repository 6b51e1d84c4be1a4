#include "backup/backup_root.h"

#include <QDir>

namespace nimbara::backup {

QString localBackupRoot() {
    const QString overridden = qEnvironmentVariable("NIMBARA_BACKUP_ROOT");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory rules ask.
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome)) {
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return dataHome + QStringLiteral("/MobileSync/Backup");
}

}  // namespace nimbara::backup
