#include "cleanup/quick_scan_engine.h"

#include <QDebug>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "cleanup/camera_roll.h"
#include "cleanup/device_walk.h"
#include "cleanup/large_app_record.h"
#include "cleanup/protected_files.h"
#include "device/afc_service.h"
#include "device/app_service.h"
#include "device/crash_report_service.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "platform/log_categories.h"
#include "platform/plist_value.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace {

using Attributes = std::map<std::string, std::string>;

// The decimal "st_size"; 0 when it is missing or not a plain non-negative number.
std::uint64_t sizeOf(const Attributes& info) {
    auto it = info.find("st_size");
    return it == info.end() ? 0 : amd::afc::ParseFileSize(it->second);
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The text after the last dot of the name; empty without a dot.
std::string extensionOf(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

// Picture files left behind by photo edits: an exact, case-sensitive end of the name.
bool isEditedPictureName(const std::string& name) {
    return endsWith(name, "jpg") || endsWith(name, "png") || endsWith(name, "jpeg");
}

QString crashListText(const std::vector<std::string>& files) {
    QString text = QStringLiteral("(");
    for (std::size_t i = 0; i < files.size(); ++i) {
        text += QStringLiteral("\n    ") + QString::fromStdString(files[i]);
        if (i + 1 < files.size()) {
            text += QLatin1Char(',');
        }
    }
    text += QStringLiteral("\n)");
    return text;
}

}  // namespace

std::uint64_t QuickScanResult::totalCleanupFileSize(std::uint64_t photoVideoFileSize) const {
    std::uint64_t total = nimbara::ui::addSaturating(photoVideoFileSize, bigAppFileSize);
    total = nimbara::ui::addSaturating(total, junkFileSize);
    return nimbara::ui::addSaturating(total, bigFileSize);
}

QuickScanEngine::QuickScanEngine(QuickScanOptions options, StopCheck cancel)
    : options_(options), cancel_(std::move(cancel)) {
    if (options_.deviceSerial == 0) {
        options_.deviceSerial =
            amd::DeviceManager::GetInstance().DeviceSerial(options_.deviceIndex);
    }
}

bool QuickScanEngine::shouldStop() {
    if (stopped_) {
        return true;
    }
    if ((cancel_ && cancel_()) || !deviceStillThere()) {
        stopped_ = true;
        result_.stopped = true;
    }
    return stopped_;
}

bool QuickScanEngine::deviceStillThere() const {
    return amd::DeviceManager::GetInstance().IsAttached(options_.deviceIndex,
                                                        options_.deviceSerial);
}

QuickScanResult QuickScanEngine::takeResult() {
    QuickScanResult taken = std::move(result_);
    result_ = QuickScanResult();
    result_.stopped = stopped_;
    return taken;
}

template <class Service>
bool QuickScanEngine::bind(Service& service, int& refused) {
    if (shouldStop()) {
        return false;
    }
    if (const int rc = service.Init(options_.deviceIndex); rc != 0) {
        if (!shouldStop()) {
            refused = rc;  // the device is there and said no
        }
        return false;
    }
    // The serials are never reused: when our device is still there now, it was the one bound.
    return !shouldStop();
}

QuickScanResult QuickScanEngine::run() {
    QuickScanJunkFileFromDevie();
    if (onJunkDone) {
        onJunkDone(result_.junkFileSize);
    }
    QuickScanLargeFileFromUserData();
    if (onLargeFilesDone) {
        onLargeFilesDone(result_.bigFileSize);
    }
    QuickScanLargeAppFromAppData();
    return takeResult();
}

// ---- walking ----

std::optional<std::vector<std::string>> QuickScanEngine::readFolder(const std::string& folder,
                                                                    amd::AfcService& afc) {
    if (!rememberReads_) {
        if (auto known = junkFolders_.extract(folder)) {
            return std::move(known.mapped());
        }
    }
    std::optional<std::vector<std::string>> names = afc.ReadDirectory(folder);
    if (names && rememberReads_) {
        junkFolders_.emplace(folder, *names);
    }
    return names;
}

std::optional<amd::afc::FileKindAndSize> QuickScanEngine::entryInfo(const std::string& path,
                                                                    amd::AfcService& afc) {
    if (!rememberReads_) {
        if (auto known = junkEntries_.extract(path)) {
            return known.mapped();
        }
    }
    std::optional<amd::afc::FileKindAndSize> info = afc.GetFileKindAndSize(path);
    if (info && rememberReads_) {
        junkEntries_.emplace(path, *info);
    }
    return info;
}

void QuickScanEngine::walk(const std::string& folder, amd::AfcService& afc, int depth,
                           const FileVisit& onFile) {
    nimbara::cleanup::DeviceWalk w;
    w.readFolder = [this, &afc](const std::string& f) { return readFolder(f, afc); };
    w.entryInfo = [this, &afc](const std::string& p) { return entryInfo(p, afc); };
    w.maxDepth = kMaxWalkDepth;
    w.walk(folder, depth, onFile, [this] { return shouldStop(); });
}

// ---- junk ----

void QuickScanEngine::QuickScanJunkFileFromDevie() {
    if (onJunkKindStart) {
        onJunkKindStart(JunkKind::SystemLog);
    }
    {
        amd::CrashReportService crash;
        if (bind(crash, result_.crashLogsRefused)) {
            const std::vector<std::string> files = crash.ListAllFiles();
            qCInfo(lcCleanup).noquote()
                << QStringLiteral("Crash list:\n %1").arg(crashListText(files));
            for (const std::string& path : files) {
                const std::optional<Attributes> info = crash.GetFileInfo(path);
                addJunk(path, info ? sizeOf(*info) : 0, JunkKind::SystemLog);
                if (shouldStop()) {
                    break;
                }
            }
        }
    }
    amd::AfcService afc;
    const bool bound = bind(afc, result_.filesRefused);
    rememberReads_ = bound && options_.keepJunkReads;
    scanJunkRoot(JunkKind::DownloadTemp, "/Downloads", bound ? &afc : nullptr);
    scanJunkRoot(JunkKind::UserStorage, "/general_storage", bound ? &afc : nullptr);
    scanJunkRoot(JunkKind::SyncFailed, "/iTunes_Control/Sync/Media", bound ? &afc : nullptr);
    scanJunkRoot(JunkKind::SyncCache, "/PhotoData/Mutations/DCIM", bound ? &afc : nullptr);
    rememberReads_ = false;
}

void QuickScanEngine::scanJunkRoot(JunkKind kind, const std::string& root, amd::AfcService* afc) {
    if (onJunkKindStart) {
        onJunkKindStart(kind);
    }
    if (afc != nullptr && !shouldStop()) {
        walk(root, *afc, 0, junkCollector(kind));
    }
}

QuickScanEngine::FileList& QuickScanEngine::junkList(JunkKind kind) {
    switch (kind) {
        case JunkKind::SystemLog:
            return result_.systemLogArray;
        case JunkKind::DownloadTemp:
            return result_.downloadTempArray;
        case JunkKind::UserStorage:
            return result_.userStorageArray;
        case JunkKind::SyncFailed:
            return result_.iTunesSyncFailedArray;
        case JunkKind::SyncCache:
            break;
    }
    return result_.iTunesSyncCacheArray;
}

QuickScanEngine::FileVisit QuickScanEngine::junkCollector(JunkKind kind) {
    return [this, kind](const std::string& path, std::uint64_t size, int) {
        // Photo edits leave other files beside their pictures: only the pictures are junk.
        if (kind != JunkKind::SyncCache ||
            isEditedPictureName(nimbara::cleanup::lastPathComponent(path))) {
            addJunk(path, size, kind);
        }
    };
}

void QuickScanEngine::addJunk(const std::string& path, std::uint64_t size, JunkKind kind) {
    auto node = std::make_shared<PRPhoneSystemFileNode>();
    node->setDevicePath(path);
    node->setFileName(QString::fromStdString(nimbara::cleanup::lastPathComponent(path)));
    node->setFileSizeNumber(size);
    node->setFileSize(nimbara::shell::size_to_unit(size));
    node->setFileType(kind == JunkKind::SystemLog ? QStringLiteral("Log")
                                                  : QString(QLatin1String("")));
    // What the clean-up keeps: the device's own files among the media junk (crash logs all go).
    const bool kept = kind != JunkKind::SystemLog && nimbara::cleanup::isProtectedDeviceFile(path);
    node->setIsProtected(kept);
    if (!kept) {
        result_.junkFileSize = nimbara::ui::addSaturating(result_.junkFileSize, size);
    }
    junkList(kind).push_back(std::move(node));
    if (onJunkFound) {
        onJunkFound(kind, path);
    }
}

void QuickScanEngine::traverseDirWithpath(const QString& path, amd::AfcService& withAfcService) {
    walk(path.toStdString(), withAfcService, 1, junkCollector(JunkKind::DownloadTemp));
}

void QuickScanEngine::traverseUserStorageDirWithpath(const QString& path,
                                                     amd::AfcService& withAfcService) {
    walk(path.toStdString(), withAfcService, 1, junkCollector(JunkKind::UserStorage));
}

void QuickScanEngine::traverseiTunesSyncFailedFilesDirWithpath(const QString& path,
                                                               amd::AfcService& withAfcService) {
    walk(path.toStdString(), withAfcService, 1, junkCollector(JunkKind::SyncFailed));
}

void QuickScanEngine::traverseiTunesSyncCacheFilesDirWithpath(const QString& path,
                                                              amd::AfcService& withAfcService) {
    walk(path.toStdString(), withAfcService, 1, junkCollector(JunkKind::SyncCache));
}

// ---- large files ----

void QuickScanEngine::QuickScanLargeFileFromUserData() {
    amd::AfcService afc;
    if (bind(afc, result_.filesRefused)) {
        walk("/", afc, 0, [this](const std::string& path, std::uint64_t size, int depth) {
            countPhotoStepFile(path);
            considerLargeFile(path, size, depth);
        });
    }
    // Whatever of the junk roots this walk did not reach is not needed any more.
    junkFolders_.clear();
    junkEntries_.clear();
}

void QuickScanEngine::userdatatraverseDirWithpath(const QString& path,
                                                  amd::AfcService& withAfcService) {
    walk(path.toStdString(), withAfcService, 1,
         [this](const std::string& file, std::uint64_t size, int depth) {
             considerLargeFile(file, size, depth);
         });
}

void QuickScanEngine::countPhotoStepFile(const std::string& path) {
    switch (nimbara::cleanup::photoStepFileOf(path)) {
        case nimbara::cleanup::PhotoStepFile::CameraRoll:
            ++result_.cameraRollItems;
            break;
        case nimbara::cleanup::PhotoStepFile::CopyOnly:
            ++result_.copyOnlyPictures;
            break;
        case nimbara::cleanup::PhotoStepFile::None:
            break;
    }
}

void QuickScanEngine::considerLargeFile(const std::string& path, std::uint64_t size, int depth) {
    const bool large =
        size > options_.limitLargeFileSize && (depth == 0 || size > kSubFolderMinimumSize);
    if (large && extensionOf(nimbara::cleanup::lastPathComponent(path)) != "ithmb") {
        addLargeFile(path, size);
    }
}

void QuickScanEngine::addLargeFile(const std::string& path, std::uint64_t size) {
    auto node = std::make_shared<PRLargeFileNode>();
    node->setDevicePath(path);
    node->setFileName(QString::fromStdString(nimbara::cleanup::lastPathComponent(path)));
    node->setFileSizeNumber(size);
    node->setFileSize(nimbara::shell::size_to_unit(size));
    if (nimbara::cleanup::isProtectedDeviceFile(path)) {
        node->setIsProtected(true);
        node->setBSelectedSate(false);
    } else if (nimbara::cleanup::isCameraRollFileName(nimbara::cleanup::lastPathComponent(path))) {
        // Left to the photo step: offering it here would promise a removal that never happens.
        node->setIsCameraRollFile(true);
        node->setBSelectedSate(false);
    }
    result_.bigFileSize = nimbara::ui::addSaturating(result_.bigFileSize, size);
    result_.userDataBigFileArray.push_back(std::move(node));
}

// ---- large apps ----

void QuickScanEngine::QuickScanLargeAppFromAppData() {
    amd::AppService apps;
    if (!bind(apps, result_.appsRefused)) {
        return;
    }
    const std::optional<nimbara::PlistValue> lookup = apps.LookupApplications();
    if (!lookup || !lookup->isDict()) {
        if (!shouldStop()) {
            result_.appsRefused = apps.LookupRefusal();
        }
        return;
    }
    for (const auto& [bundleId, attributes] : lookup->toDict()) {
        const std::optional<nimbara::cleanup::LargeAppFacts> app =
            nimbara::cleanup::userAppFacts(bundleId, attributes);
        if (!app || app->totalBytes() <= options_.limitLargeAppSize) {
            continue;
        }
        result_.bigAppFileSize =
            nimbara::ui::addSaturating(result_.bigAppFileSize, app->totalBytes());
        result_.appBigFileArray.push_back(nimbara::cleanup::makeLargeAppRecord(*app));
    }
}

// ---- ordering ----

int QuickScanEngine::compareFileSizeDescending(const PRLargeFileNode& a, const PRLargeFileNode& b) {
    const std::uint64_t x = a.fileSizeNumber();
    const std::uint64_t y = b.fileSizeNumber();
    return x > y ? -1 : (x < y ? 1 : 0);
}

int QuickScanEngine::compareAppFileSizeDescending(const PRLargeFileNode& a,
                                                  const PRLargeFileNode& b) {
    const std::uint64_t x = a.appFileSizeNumber();
    const std::uint64_t y = b.appFileSizeNumber();
    return x > y ? -1 : (x < y ? 1 : 0);
}

std::vector<std::shared_ptr<PRLargeFileNode>> QuickScanEngine::sortedBySizeDescending(
    std::vector<std::shared_ptr<PRLargeFileNode>> list, bool byAppSize) {
    auto compare = byAppSize ? &compareAppFileSizeDescending : &compareFileSizeDescending;
    std::stable_sort(list.begin(), list.end(),
                     [compare](const std::shared_ptr<PRLargeFileNode>& a,
                               const std::shared_ptr<PRLargeFileNode>& b) {
                         if (!a || !b) {
                             return a && !b;  // missing records go last
                         }
                         return compare(*a, *b) < 0;
                     });
    return list;
}
