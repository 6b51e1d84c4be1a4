#include "app/core/preferences_settings.h"
#include "platform/log_categories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace nimbara::app {

namespace {

// The value of `key` as a whole number within [lowest, highest]; the fallback otherwise.
std::uint64_t storedBytes(const QSettings& settings, const char* key, std::uint64_t lowest,
                          std::uint64_t highest, std::uint64_t fallback) {
    const QVariant value = settings.value(QLatin1String(key));
    if (!value.isValid()) {
        return fallback;
    }
    bool ok = false;
    const std::uint64_t bytes = value.toString().trimmed().toULongLong(&ok, 10);
    if (!ok || bytes < lowest || bytes > highest) {
        qCWarning(lcApp).noquote()
            << "setting" << key << "is not a size Preferences can set; using" << fallback;
        return fallback;
    }
    return bytes;
}

// Why a folder can't be reached, in words: the two a user meets most get a sentence of their own.
QString folderErrorReason(const std::error_code& error) {
    if (error == std::errc::too_many_symbolic_link_levels) {
        return QStringLiteral("its path goes through a loop of symbolic links");
    }
    if (error == std::errc::permission_denied) {
        return QStringLiteral("you may not open a folder on its path");
    }
    return QString::fromLocal8Bit(error.message().c_str());
}

}  // namespace

RunSettings defaultRunSettings(const QString& home) {
    RunSettings run;
    run.exportFolder = home + QStringLiteral("/Documents/Pellucor");
    return run;
}

QString userSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Nimbara/Nimbara.ini");
}

RunSettings loadRunSettings(const QSettings& settings, const RunSettings& fallback) {
    RunSettings run = fallback;
    const QVariant folder = settings.value(QLatin1String(kExportFolderKey));
    if (folder.isValid()) {
        const QString text = folder.toString();
        if (!text.isEmpty() && QDir::isAbsolutePath(text)) {
            run.exportFolder = QDir::cleanPath(text);
        } else {
            qCWarning(lcApp).noquote() << "setting" << kExportFolderKey
                                       << "is not a full path; using" << fallback.exportFolder;
        }
    }
    run.limitLargeFileSize =
        storedBytes(settings, kLargeFileLimitKey, kSmallestLargeFileLimit,
                    kLargeFileSliderMegabytes * kMegabyte, fallback.limitLargeFileSize);
    run.limitLargeAppSize =
        storedBytes(settings, kLargeAppLimitKey, 0, kLargeAppSliderMegabytes * kMegabyte,
                    fallback.limitLargeAppSize);
    return run;
}

bool storeRunSettings(QSettings& settings, const RunSettings& run, QString* error) {
    settings.setValue(QLatin1String(kExportFolderKey), run.exportFolder);
    settings.setValue(QLatin1String(kLargeFileLimitKey),
                      QVariant::fromValue<qulonglong>(run.limitLargeFileSize));
    settings.setValue(QLatin1String(kLargeAppLimitKey),
                      QVariant::fromValue<qulonglong>(run.limitLargeAppSize));
    settings.sync();
    if (settings.status() == QSettings::NoError) {
        return true;
    }
    if (error != nullptr) {
        *error =
            settings.status() == QSettings::AccessError
                ? QStringLiteral("the settings file \"%1\" can't be written")
                      .arg(settings.fileName())
                : QStringLiteral("the settings file \"%1\" is damaged").arg(settings.fileName());
    }
    qCWarning(lcApp).noquote() << "settings not saved to" << settings.fileName();
    return false;
}

int largeFileMegabytes(int value, int maximum) {
    if (maximum <= 0) {
        return 0;
    }
    const std::int64_t position = std::clamp(value, 0, maximum);
    return static_cast<int>(position * kLargeFileSliderMegabytes / maximum);
}

std::uint64_t largeFileLimit(int megabytes) {
    if (megabytes <= 2) {
        return kSmallestLargeFileLimit;
    }
    return static_cast<std::uint64_t>(megabytes) * kMegabyte;
}

int largeFileSliderPosition(std::uint64_t limit, int maximum) {
    if (maximum <= 0) {
        return 0;
    }
    const std::int64_t megabytes = static_cast<std::int64_t>(
        std::min<std::uint64_t>(limit / kMegabyte, kLargeFileSliderMegabytes));
    // The lowest position p with p * 50 / maximum >= megabytes: megabytes * maximum / 50,
    // rounded up.
    const std::int64_t position =
        (megabytes * maximum + kLargeFileSliderMegabytes - 1) / kLargeFileSliderMegabytes;
    return static_cast<int>(std::min<std::int64_t>(position, maximum));
}

std::uint64_t largeAppLimit(int megabytes) {
    return megabytes <= 0 ? 0 : static_cast<std::uint64_t>(megabytes) * kMegabyte;
}

int largeAppSliderPosition(std::uint64_t limit, int maximum) {
    if (maximum <= 0) {
        return 0;
    }
    return static_cast<int>(
        std::min<std::uint64_t>(limit / kMegabyte, static_cast<std::uint64_t>(maximum)));
}

QString largeFileSliderText(int megabytes) {
    return QStringLiteral("Mimimum Large File Size: %1MB").arg(megabytes);
}

QString largeAppSliderText(int megabytes) {
    return QStringLiteral("Mimimum Large App File Size: %1MB").arg(megabytes);
}

ExportFolderCheck prepareExportFolder(const QString& text) {
    ExportFolderCheck check;
    if (text.trimmed().isEmpty()) {
        check.refusal =
            QStringLiteral("No export folder is given. Choose the folder exports go to.");
        return check;
    }
    if (!QDir::isAbsolutePath(text)) {
        check.refusal = QStringLiteral(
                            "The export folder \"%1\" is not a full path. Choose a folder, or give "
                            "a path that starts with \"/\".")
                            .arg(text);
        return check;
    }
    check.folder = QDir::cleanPath(text);
    const std::filesystem::path path(QFile::encodeName(check.folder).toStdString());
    // Every call below takes an error code: a folder reached through a loop of symbolic links
    // or under a folder the user can't search is refused with the reason, never thrown.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    const bool missing = status.type() == std::filesystem::file_type::not_found ||
                         error == std::errc::no_such_file_or_directory ||
                         error == std::errc::not_a_directory;
    if (error && !missing) {
        check.refusal =
            QStringLiteral("The export folder \"%1\" can't be used (%2). Choose another folder.")
                .arg(check.folder, folderErrorReason(error));
        return check;
    }
    QString reason;
    if (!missing && !std::filesystem::is_directory(status)) {
        reason = QStringLiteral("a file of that name is in the way");
    } else if (missing) {
        error.clear();
        std::filesystem::create_directories(path, error);
        const bool made = !error && std::filesystem::is_directory(path, error);
        if (!made) {
            reason = error ? folderErrorReason(error)
                           : QStringLiteral("a file of that name is in the way");
        }
    }
    if (!reason.isEmpty()) {
        check.refusal = QStringLiteral(
                            "The export folder \"%1\" could not be created (%2). Choose another "
                            "folder.")
                            .arg(check.folder, reason);
        return check;
    }
    if (!QFileInfo(check.folder).isWritable()) {
        check.refusal = QStringLiteral(
                            "Nimbara can't write into the export folder \"%1\". Choose another "
                            "folder.")
                            .arg(check.folder);
    }
    return check;
}

}  // namespace nimbara::app
