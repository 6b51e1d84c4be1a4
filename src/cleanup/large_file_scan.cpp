#include "cleanup/large_file_scan.h"

#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <array>

#include "cleanup/app_clean_scan_walk.h"
#include "cleanup/device_walk.h"
#include "cleanup/large_app_record.h"
#include "cleanup/protected_files.h"
#include "device/afc_service.h"
#include "device/app_dir_service.h"
#include "device/app_service.h"
#include "device/device_status.h"
#include "platform/log_categories.h"
#include "platform/plist_value.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

// ---------------------------------------------------------------- advice

namespace {

bool endsWithAny(const QString& path, std::initializer_list<const char*> suffixes) {
    for (const char* suffix : suffixes) {
        if (path.endsWith(QLatin1String(suffix), Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}

bool isMediaSuffix(const QString& path) {
    return endsWithAny(path, {"JPG", "JPEG", "PNG", "TIFF", "MOV", "MP3", "M4A", "jpg", "jpeg",
                              "png", "tiff", "mov", "mp3", "m4a"});
}

bool isOneOf(const QString& text, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (text == QLatin1String(name)) {
            return true;
        }
    }
    return false;
}

const char kDatabaseAdvice[] =
    "This is the database file for recording information of your photos, broadcasts, podcasts "
    "and videos. We recommend you to keep it.";
const char kBooksConfigAdvice[] =
    "This is an configuration file of iBooks, don\u2019t remove it or iBooks won\u2019t run "
    "correctly.";
const char kFallbackAdvice[] = "We recommend you to keep them as the functionality is unclear.";

}  // namespace

QString largeFileAdvice(const QString& path) {
    if (path.isEmpty()) {
        return QString();
    }
    const QStringList parts = path.split(QLatin1Char('/'));
    const QString top = parts.size() > 1 ? parts[1] : QString();
    const QString second = parts.size() > 2 ? parts[2] : QString();
    const auto text = [](const char* t) { return QString::fromUtf8(t); };
    const bool mediaFolder = isOneOf(top, {"DCIM", "PhotoData", "Photos", "PhotoStreamsData",
                                           "Podcasts", "Radio", "Recordings"});
    if (mediaFolder && endsWithAny(path, {"db", "db-shm", "db-wal", "sqlitedb", "sqlitedb-shm",
                                          "sqlitedb-wal", "sqlite-wal", "sqlite-shm", "sqlite"})) {
        return text(kDatabaseAdvice);
    }
    if (mediaFolder && isMediaSuffix(path)) {
        if (isOneOf(top, {"DCIM", "PhotoData", "Photos"})) {
            return text(
                "This is the photo or video in Camera & Photos, please export it to your "
                "computer before removal as it's unrecoverable.");
        }
        if (top == QLatin1String("PhotoStreamsData")) {
            return text(
                "This is photo stored in Photo Stream, please export it to your computer before "
                "removal as it's unrecoverable.");
        }
        if (top == QLatin1String("Podcasts")) {
            return text(
                "This is downloaded file in Podcasts, please export it to your computer before "
                "removal as it's unrecoverable.");
        }
        if (top == QLatin1String("Radio")) {
            return text(
                "This is downloaded file in Radio, please export it to your computer before "
                "removal as it's unrecoverable.");
        }
        return text(
            "This is voice memos file of the Voice Memos app, please export it to your computer "
            "before removal as it's unrecoverable.");
    }
    if (mediaFolder && endsWithAny(path, {"ithmb", "THM", "THP", "ITHMB", "thm", "thp"})) {
        return text("This is thumbnails of your photos and videos, we recommend you to keep it.");
    }
    if (top == QLatin1String("Books")) {
        if (parts.size() < 3) {
            return text(kBooksConfigAdvice);
        }
        if (second == QLatin1String("Purchases")) {
            if (isOneOf(path, {"/Books/Purchases/Backup-Purchases.plist",
                               "/Books/Purchases/.Purchases.plist.lock",
                               "/Books/Purchases/Purchases.plist"})) {
                return text(kBooksConfigAdvice);
            }
            return text("This is ebooks downloaded via iBooks, you can remove it.");
        }
    }
    if (top == QLatin1String("Downloads")) {
        if (path == QLatin1String("/Downloads/downloads.28.sqlitedb")) {
            return text(
                "This file records download path and other information of all system and 3rd "
                "party apps, we recommend you to keep it.");
        }
        return text(
            "The file is downloaded file via your browser or other tools, you can remove it.");
    }
    if (top == QLatin1String("Safari")) {
        if (path == QLatin1String("/Safari/goog-phish-shavar.db")) {
            return text(
                "This database file contains the hostkey information of Google, we recommend you "
                "to keep it.");
        }
        return text("The file is downloaded file via Safari, you can remove it.");
    }
    if (top == QLatin1String("iTunes_Control")) {
        if (path.contains(QLatin1String("/iTunes_Control/Sync/Media"), Qt::CaseInsensitive)) {
            return text(
                "The files is sync-failed file of iTunes and your iOS device, you can remove it.");
        }
        return text(
            "The file is audio file in the Music app, please export it to your computer before "
            "removal as it's unrecoverable.");
    }
    qCInfo(lcCleanup).noquote() << QStringLiteral("path=====%1").arg(path);
    return text(kFallbackAdvice);
}

std::optional<CleanCategory> containerCategoryOf(const std::string& path) {
    for (const CleanCategory category : {CleanCategory::Cache, CleanCategory::Cookie,
                                         CleanCategory::Junk, CleanCategory::Document}) {
        const std::string folder = categoryFolder(category);
        if (path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/') {
            return category;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- the scan

struct LargeFileScanEngine::AppEntry {
    LargeAppFacts facts;
    QByteArray icon;
};

LargeFileScanEngine::LargeFileScanEngine(LargeFileScanOptions options, StopCheck cancel, Sink sink)
    : options_(options),
      device_(std::make_unique<CleanJobDevice>(options.deviceIndex, options.deviceSerial,
                                               std::move(cancel))),
      sink_(std::move(sink)) {
    result_.deviceIndex = device_->index();
    result_.deviceSerial = device_->serial();
}

LargeFileScanEngine::~LargeFileScanEngine() = default;

bool LargeFileScanEngine::shouldStop() {
    if (device_->shouldStop()) {
        result_.stopped = true;
    }
    return result_.stopped;
}

LargeFileScanResult LargeFileScanEngine::run() {
    scanFindLargeFileWithInUserData();
    startScanDeviceApps();
    if (options_.appData && result_.appsDone) {
        result_.appsDone = false;
        scanFindLargeFileWithInAppData();
    }
    return std::move(result_);
}

void LargeFileScanEngine::scanFindLargeFileWithInUserData() {
    amd::AfcService afc;
    if (const int rc = device_->bind(afc); rc != 0) {
        if (rc != CleanJobDevice::kStopped) {
            result_.filesRefused = rc;
        }
        shouldStop();
        return;
    }
    const std::optional<std::vector<std::string>> names = afc.ReadDirectory("/");
    if (!names) {
        if (!shouldStop()) {
            result_.filesRefused = amd::DeviceCode::Refused;
        }
        return;
    }
    DeviceWalk walk = DeviceWalk::over(afc);
    const auto stop = [this] { return shouldStop(); };
    const auto onFile = [this](const std::string& path, std::uint64_t size, int) {
        if (size > options_.largeFileSize) {
            addUserFile(path, size);
        }
    };
    const std::size_t n = names->size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& name = (*names)[i];
        if (isPlainEntryName(name)) {
            const std::string path = "/" + name;
            if (const auto info = afc.GetFileKindAndSize(path)) {
                if (info->kind == "S_IFDIR") {
                    walk.walk(path, 1, onFile, stop);
                } else if (info->kind == "S_IFREG") {
                    onFile(path, info->size, 0);
                }
            }
        }
        if (shouldStop()) {
            return;  // keeps what was found; the finishing step is left out
        }
        if (sink_.userProgress) {
            sink_.userProgress(static_cast<float>(i + 1) / static_cast<float>(n));
        }
    }
    result_.userFilesDone = true;
}

void LargeFileScanEngine::addUserFile(const std::string& path, std::uint64_t size) {
    auto node = std::make_shared<PRLargeFileNode>();
    const QString text = QString::fromStdString(path);
    node->setDevicePath(path);
    node->setFileName(QString::fromStdString(lastPathComponent(path)));
    node->setFileAdvice(largeFileAdvice(text));
    node->setFileSizeNumber(size);
    node->setFileSize(nimbara::shell::size_to_unit(size));
    node->setIsProtected(isProtectedDeviceFile(path));
    result_.allDocumentFileSize = nimbara::ui::addSaturating(result_.allDocumentFileSize, size);
    (size <= kLargeBigBoundary ? result_.userDataLargeFileArray : result_.userDataBigFileArray)
        .push_back(std::move(node));
    if (sink_.userPath) {
        sink_.userPath(text);
    }
}

void LargeFileScanEngine::addAppRecord(std::shared_ptr<PRLargeFileNode> record,
                                       std::uint64_t size) {
    const QString name = record->filePath().isEmpty() ? record->fileName() : record->filePath();
    (size <= kLargeBigBoundary ? result_.appLargeFileArray : result_.appBigFileArray)
        .push_back(std::move(record));
    if (sink_.appPath) {
        sink_.appPath(name);
    }
}

void LargeFileScanEngine::startScanDeviceApps() {
    if (shouldStop()) {
        return;
    }
    amd::AppService service;
    if (const int rc = device_->bind(service); rc != 0) {
        if (rc != CleanJobDevice::kStopped) {
            result_.appsRefused = rc;
        }
        shouldStop();
        return;
    }
    const std::optional<nimbara::PlistValue> lookup = service.LookupApplications();
    if (!lookup || !lookup->isDict()) {
        if (!shouldStop()) {
            result_.appsRefused = service.LookupRefusal();
        }
        return;
    }
    CleanAppIcons icons(*device_);
    const auto& all = lookup->toDict();
    const std::size_t m = all.size();
    // With the app-data walk to come, the app list fills the first half of the progress.
    const float share = options_.appData ? 0.5f : 1.0f;
    std::size_t k = 0;
    for (const auto& [bundleId, attributes] : all) {
        if (const std::optional<LargeAppFacts> app = userAppFacts(bundleId, attributes)) {
            AppEntry entry{*app, icons.iconFor(bundleId)};
            std::shared_ptr<PRLargeFileNode> record = makeLargeAppRecord(*app);
            record->setFileIconPng(entry.icon);
            record->setFileIcon(entry.icon.isEmpty() ? QStringLiteral("NULLImage.png") : QString());
            result_.allAppFileSize =
                nimbara::ui::addSaturating(result_.allAppFileSize, app->totalBytes());
            addAppRecord(std::move(record), app->totalBytes());
            apps_.push_back(std::move(entry));
        }
        if (shouldStop()) {
            return;
        }
        ++k;
        if (sink_.appProgress) {
            sink_.appProgress(share * static_cast<float>(k) / static_cast<float>(m));
        }
    }
    result_.appsDone = true;
}

void LargeFileScanEngine::scanFindLargeFileWithInAppData() {
    const std::size_t m = apps_.size();
    std::vector<std::string> refused;
    for (std::size_t k = 0; k < m; ++k) {
        const AppEntry& app = apps_[k];
        amd::AppDirService container;
        if (openContainer(container, *device_, app.facts.bundleId, refused)) {
            const CleanAppInfo info{app.facts.bundleId, app.facts.displayName, app.facts.version,
                                    true};
            const QString parent = app.facts.displayName + QStringLiteral(".app");
            const std::uint64_t appBytes = app.facts.totalBytes();
            CategoryWalk walk(container, *device_, info, app.icon,
                              [&](CleanCategory, std::shared_ptr<PRCleanDirNode> found) {
                                  const std::uint64_t size = found->fileSizeNumber();
                                  if (size <= options_.largeFileSize) {
                                      return;
                                  }
                                  auto node = std::make_shared<PRLargeFileNode>();
                                  node->setDevicePath(found->devicePath());
                                  node->setFileName(QString::fromStdString(
                                      lastPathComponent(found->devicePath())));
                                  node->setFileParentName(parent);
                                  node->setAppBundId(QString::fromStdString(app.facts.bundleId));
                                  node->setAppDisplayName(app.facts.displayName);
                                  node->setFileSizeNumber(size);
                                  node->setAppFileSizeNumber(appBytes);
                                  node->setFileSize(nimbara::shell::size_to_unit(size));
                                  node->setFileIconPng(app.icon);
                                  addAppRecord(std::move(node), size);
                              });
            walk.keepEveryDocument();
            for (const CleanCategory category : {CleanCategory::Cache, CleanCategory::Cookie,
                                                 CleanCategory::Junk, CleanCategory::Document}) {
                walk.visitCategoryPath(categoryFolder(category), category);
                if (shouldStop()) {
                    return;
                }
            }
        } else {
            qCInfo(lcCleanup).noquote() << QStringLiteral("error----------");
        }
        if (shouldStop()) {
            return;
        }
        if (sink_.appProgress) {
            sink_.appProgress(0.5f + 0.5f * static_cast<float>(k + 1) / static_cast<float>(m));
        }
    }
    result_.appsDone = true;
}

// ---------------------------------------------------------------- ordering

std::uint64_t appRecordBytes(const PRLargeFileNode& record) {
    return record.filePath().isEmpty() ? record.appFileSizeNumber() : record.fileSizeNumber();
}

namespace {

template <class Key>
LargeFileScanResult::List sortedBy(LargeFileScanResult::List list, Key key) {
    std::stable_sort(list.begin(), list.end(),
                     [&key](const std::shared_ptr<PRLargeFileNode>& a,
                            const std::shared_ptr<PRLargeFileNode>& b) {
                         if (!a || !b) {
                             return a && !b;  // missing records go last
                         }
                         return key(*a) > key(*b);
                     });
    return list;
}

}  // namespace

LargeFileScanResult::List sortedUserFiles(LargeFileScanResult::List list) {
    return sortedBy(std::move(list), [](const PRLargeFileNode& r) { return r.fileSizeNumber(); });
}

LargeFileScanResult::List sortedAppRecords(LargeFileScanResult::List list) {
    return sortedBy(std::move(list), [](const PRLargeFileNode& r) { return appRecordBytes(r); });
}

}  // namespace nimbara::cleanup
