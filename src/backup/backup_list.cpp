#include "backup/backup_list.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "backup/backup_folder.h"
#include "backup/device_type_table.h"
#include "platform/plist_value.h"

namespace nimbara::backup {

namespace fs = std::filesystem;

namespace {

// Info.plist can carry app icons and the like; anything far beyond that is not a backup's plist.
constexpr std::uintmax_t kMaxPlistBytes = 64ull * 1024 * 1024;

fs::path toPath(const QString& text) {
    return fs::path(QFile::encodeName(text).toStdString());
}

QString fromPath(const fs::path& path) {
    return QFile::decodeName(path.native().c_str());
}

// True when child (already canonical) lies inside parent (already canonical).
bool isInside(const fs::path& child, const fs::path& parent) {
    const auto mismatch =
        std::mismatch(parent.begin(), parent.end(), child.begin(), child.end()).first;
    return mismatch == parent.end();
}

// True when the folder holds at least two entries.
bool hasTwoEntries(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    int count = 0;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (++count >= 2) {
            return true;
        }
    }
    return false;
}

// A plist dictionary of the folder; nullopt when the file is missing, is a link or reached
// through one, is not a plain file, is oversized or does not parse as a dictionary.
std::optional<PlistValue> readFolderPlist(const BackupFolder& folder, const char* name,
                                          BackupFileInfo* info) {
    const std::optional<BackupFileInfo> about = folder.fileInfo(name);
    if (!about || about->size > kMaxPlistBytes) {
        return std::nullopt;
    }
    const std::optional<std::string> bytes = folder.readFile(name, kMaxPlistBytes);
    if (!bytes) {
        return std::nullopt;
    }
    std::optional<PlistValue> value = PlistValue::parse(bytes->data(), bytes->size());
    if (!value || !value->isDict()) {
        return std::nullopt;
    }
    if (info != nullptr) {
        *info = *about;
    }
    return value;
}

QString text(const PlistValue& dict, const char* key) {
    const PlistValue* value = dict.find(key);
    if (value == nullptr || !value->isString()) {
        return QString("");
    }
    return QString::fromStdString(value->toString());
}

QString modifiedText(const BackupFileInfo& file) {
    return formatBackupTime(
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(file.modified), Qt::UTC));
}

void fillModel(PRIOSDeviceNode& node, const QString& productType) {
    const QString model = modelNameForProductType(productType);
    node.setStrDeviceType(model);
    node.setDeviceImage(deviceImageNameForModel(model));
}

// Manifest.plist says "IsEncrypted".
bool isEncrypted(const std::optional<PlistValue>& manifest) {
    const PlistValue* flag = manifest ? manifest->find("IsEncrypted") : nullptr;
    return flag != nullptr && flag->toBool(flag->toInt64(0) != 0);
}

}  // namespace

QString encryptedBackupMessage() {
    return QStringLiteral("This backup is encrypted. Encrypted backups cannot be read.");
}

bool isEncryptedBackup(const QString& folder) {
    return isEncrypted(
        readFolderPlist(BackupFolder::open(toPath(folder).string()), "Manifest.plist", nullptr));
}

QString formatBackupTime(const QDateTime& modified) {
    if (!modified.isValid()) {
        return QString("");
    }
    return modified.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

bool iosVersionIsIOS6OrLater(const QString& version, bool* iOS7OrLater) {
    if (version.isEmpty()) {
        return false;
    }
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.isEmpty()) {
        return false;
    }
    const QString& major = parts.first();
    if (major == QLatin1String("6")) {
        return true;
    }
    bool ok = false;
    const int value = major.toInt(&ok);
    if (major == QLatin1String("7") || major == QLatin1String("8") || (ok && value >= 9)) {
        if (iOS7OrLater != nullptr) {
            *iOS7OrLater = true;
        }
        return true;
    }
    return false;
}

Result<std::shared_ptr<PRIOSDeviceNode>> readBackupFolder(const QString& folder) {
    const fs::path path = toPath(folder);
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        return fail(QStringLiteral("does not exist"));
    }
    if (!fs::is_directory(path, ec)) {
        return fail(QStringLiteral("not a folder"));
    }
    if (!hasTwoEntries(path)) {
        return fail(QStringLiteral("empty or almost empty folder"));
    }

    auto node = std::make_shared<PRIOSDeviceNode>();
    const BackupFolder backup = BackupFolder::open(path.string());
    // Read once: it names the device when Info.plist cannot, and says whether it is encrypted.
    BackupFileInfo manifestFile;
    const std::optional<PlistValue> manifest =
        readFolderPlist(backup, "Manifest.plist", &manifestFile);
    BackupFileInfo plistFile;
    if (const std::optional<PlistValue> info = readFolderPlist(backup, "Info.plist", &plistFile)) {
        node->setStrDeviceName(text(*info, "Device Name"));
        node->setStrDeviceSize(QString::number(plistFile.size));
        node->setStrDeviceSerial(text(*info, "Serial Number"));
        fillModel(*node, text(*info, "Product Type"));
        node->setStrIOSVersion(text(*info, "Product Version"));
        node->setItunesVersion(text(*info, "iTunes Version"));
    } else {
        plistFile = manifestFile;
        const PlistValue* lockdown = manifest ? manifest->find("Lockdown") : nullptr;
        if (lockdown == nullptr || !lockdown->isDict()) {
            return fail(QStringLiteral("no readable Info.plist or Manifest.plist"));
        }
        node->setStrDeviceName(text(*lockdown, "DeviceName"));
        node->setStrDeviceSerial(text(*lockdown, "SerialNumber"));
        fillModel(*node, text(*lockdown, "ProductType"));
        node->setItunesVersion(text(*lockdown, "BuildVersion"));
        node->setStrIOSVersion(text(*lockdown, "ProductVersion"));
    }
    node->setStrDeviceBackUpTime(modifiedText(plistFile));
    node->setBackUpFilePath(folder);
    if (isEncrypted(manifest)) {
        node->setEncrypted(true);
        node->setUnreadableReason(encryptedBackupMessage());
    }
    return node;
}

BackupListing scanLocalBackups(const QString& root) {
    BackupListing listing;
    const fs::path rootPath = toPath(root);
    std::error_code ec;
    const fs::path canonicalRoot = fs::canonical(rootPath, ec);
    if (ec || !fs::is_directory(canonicalRoot, ec)) {
        return listing;
    }
    std::vector<fs::path> names;
    fs::directory_iterator it(rootPath, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        names.push_back(it->path().filename());
    }
    std::sort(names.begin(), names.end(), [](const fs::path& a, const fs::path& b) {
        return fromPath(a).compare(fromPath(b), Qt::CaseSensitive) < 0;
    });

    for (const fs::path& name : names) {
        const QString nameText = fromPath(name);
        if (nameText.startsWith(QLatin1Char('.'))) {
            continue;
        }
        if (toPath(nameText) != name) {
            // The name cannot be shown or handed on as text without changing it.
            listing.skipped.push_back({nameText, QStringLiteral("folder name is not valid text")});
            continue;
        }
        const fs::path entry = rootPath / name;
        std::error_code entryError;
        if (fs::is_symlink(fs::symlink_status(entry, entryError))) {
            const fs::path target = fs::canonical(entry, entryError);
            if (entryError || !isInside(target, canonicalRoot)) {
                listing.skipped.push_back({nameText, QStringLiteral("links outside the backups")});
                continue;
            }
        }
        Result<std::shared_ptr<PRIOSDeviceNode>> node = readBackupFolder(fromPath(entry));
        if (node) {
            listing.backups.push_back(std::move(node).value());
        } else {
            listing.skipped.push_back({nameText, node.sentence()});
        }
    }
    return listing;
}

std::vector<std::shared_ptr<PRIOSDeviceNode>> listLocalBackups(const QString& root) {
    return scanLocalBackups(root).backups;
}

}  // namespace nimbara::backup
