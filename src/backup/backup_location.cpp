#include "backup/backup_location.h"

#include <unistd.h>

#include <QDir>
#include <QFile>

#include <filesystem>
#include <system_error>

#include "backup/backup_list.h"

namespace nimbara::backup {

namespace fs = std::filesystem;

namespace {

fs::path toPath(const QString& text) {
    return fs::path(QFile::encodeName(text).toStdString());
}

QString fromPath(const fs::path& path) {
    return QFile::decodeName(path.native().c_str());
}

QString reasonOf(const std::error_code& error) {
    return QString::fromLocal8Bit(error.message().c_str());
}

// The backup `folder` or one of the folders above it is, if any: the one holding a manifest.
fs::path enclosingBackup(const fs::path& folder) {
    std::error_code error;
    const fs::path real = fs::canonical(folder, error);
    if (error) {
        return {};
    }
    for (fs::path at = real;; at = at.parent_path()) {
        for (const char* manifest : {"Manifest.db", "Manifest.mbdb", "Manifest.plist"}) {
            if (fs::exists(at / manifest, error)) {
                return at;
            }
        }
        if (!at.has_relative_path()) {
            return {};
        }
    }
}

// Whether the entry named after the device in `folder` may be replaced by its new backup: none,
// an empty folder, or a backup.
bool devicePlaceIsFree(const fs::path& place) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(place, error);
    if (status.type() == fs::file_type::not_found) {
        return true;
    }
    if (error || !fs::is_directory(status)) {
        return false;
    }
    if (fs::directory_iterator(place, error) == fs::directory_iterator() && !error) {
        return true;
    }
    return static_cast<bool>(readBackupFolder(fromPath(place)));
}

}  // namespace

BackupLocationCheck prepareBackupLocation(const QString& text, const QString& udid) {
    BackupLocationCheck check;
    const auto refused = [&check](const QString& why) {
        check.refusal = why + QStringLiteral(" Choose another folder, or the default one.");
        return check;
    };
    if (text.trimmed().isEmpty()) {
        return refused(QStringLiteral("No folder is given for the backup."));
    }
    if (!QDir::isAbsolutePath(text)) {
        return refused(
            QStringLiteral("\"%1\" is not a full path: a folder starts with \"/\".").arg(text));
    }
    check.folder = QDir::cleanPath(text);
    const fs::path path = toPath(check.folder);

    // The nearest part of the path that is there: the folder itself, or where it will be made.
    std::error_code error;
    fs::path there = path;
    fs::file_status status = fs::status(there, error);
    while (status.type() == fs::file_type::not_found && there.has_relative_path()) {
        there = there.parent_path();
        status = fs::status(there, error);
    }
    if (status.type() == fs::file_type::none || status.type() == fs::file_type::unknown) {
        return refused(QStringLiteral("The folder \"%1\" can't be reached (%2).")
                           .arg(check.folder, reasonOf(error)));
    }
    if (!fs::is_directory(status)) {
        return refused(QStringLiteral("\"%1\" is not a folder.").arg(fromPath(there)));
    }
    if (const fs::path backup = enclosingBackup(there); !backup.empty()) {
        return refused(QStringLiteral("\"%1\" is inside the backup \"%2\", which a backup must "
                                      "never be written into.")
                           .arg(check.folder, fromPath(backup)));
    }
    if (there == path && !udid.isEmpty() && !devicePlaceIsFree(path / toPath(udid))) {
        return refused(QStringLiteral("\"%1\" holds \"%2\", which is not a backup and would be "
                                      "replaced by it.")
                           .arg(check.folder, udid));
    }
    if (there != path) {
        fs::create_directories(path, error);
        if (error) {
            return refused(QStringLiteral("The folder \"%1\" could not be made (%2).")
                               .arg(check.folder, reasonOf(error)));
        }
    }
    if (::access(QFile::encodeName(check.folder).constData(), W_OK | X_OK) != 0) {
        return refused(
            QStringLiteral("Nimbara can't write into the folder \"%1\".").arg(check.folder));
    }
    return check;
}

}  // namespace nimbara::backup
