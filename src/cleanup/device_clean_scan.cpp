#include "cleanup/device_clean_scan.h"

#include <QDebug>

#include <utility>

#include "device/afc_service.h"
#include "device/app_dir_service.h"
#include "platform/device_path.h"
#include "platform/log_categories.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

namespace {

std::string lastComponent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

DeviceCleanScanEngine::DeviceCleanScanEngine(int deviceIndex, std::uint64_t deviceSerial,
                                             StopCheck cancel)
    : device_(deviceIndex, deviceSerial, std::move(cancel)) {
    result_.deviceIndex = device_.index();
    result_.deviceSerial = device_.serial();
}

int DeviceCleanScanEngine::progressPercent(int done, int count) {
    if (count <= 0) {
        return 0;
    }
    return static_cast<int>(static_cast<std::int64_t>(done) * 90 / count);
}

DeviceCleanScanResult DeviceCleanScanEngine::run() {
    if (const auto apps = lookupCleanApps(device_, result_.appsRefused)) {
        result_.appCount = static_cast<int>(apps->size());
        visitCleanApps(
            device_, *apps,
            [this](const CleanAppInfo& app, CleanAppIcons& icons) { scanApp(app, icons); },
            [this](int done, const CleanAppInfo&) {
                if (onProgress) {
                    onProgress(progressPercent(done, result_.appCount));
                }
                if (onSizes) {
                    onSizes(result_.categorySizes());
                }
            });
    }
    if (!device_.shouldStop()) {
        scanSyncFailed();
    }
    result_.stopped = device_.shouldStop();
    if (!result_.stopped) {
        qCInfo(lcCleanup).noquote() << "Clean-up found" << result_.totalFileSize << "bytes";
        if (onFinished) {
            onFinished(result_.totalFileSize);
        }
    }
    return std::move(result_);
}

void DeviceCleanScanEngine::scanApp(const CleanAppInfo& app, CleanAppIcons& icons) {
    amd::AppDirService container;
    if (!openContainer(container, device_, app.bundleId, result_.containersRefused)) {
        return;
    }
    CategoryWalk walk(container, device_, app, icons.iconFor(app.bundleId),
                      [this](CleanCategory category, std::shared_ptr<PRCleanDirNode> record) {
                          keep(category, std::move(record));
                      });
    for (const CleanCategory category :
         {CleanCategory::Cache, CleanCategory::Cookie, CleanCategory::Junk}) {
        if (device_.shouldStop()) {
            return;
        }
        walk.visitCategoryPath(categoryFolder(category), category);
    }
}

void DeviceCleanScanEngine::keep(CleanCategory category, std::shared_ptr<PRCleanDirNode> record) {
    CleanCategoryList* list = nullptr;
    switch (category) {
        case CleanCategory::Cache:
            list = &result_.caches;
            break;
        case CleanCategory::Cookie:
            list = &result_.cookies;
            break;
        case CleanCategory::Junk:
            list = &result_.junk;
            break;
        case CleanCategory::Document:
        case CleanCategory::SyncFailed:
        case CleanCategory::AdCache:
        case CleanCategory::UserFile:
            return;  // not categories of this walk
    }
    result_.totalFileSize =
        nimbara::ui::addSaturating(result_.totalFileSize, record->fileSizeNumber());
    ++result_.totalFileNumber;
    if (onTreeFile) {
        onTreeFile(category, record);
    }
    list->add(std::move(record));
}

void DeviceCleanScanEngine::scanSyncFailed() {
    amd::AfcService media;
    if (const int rc = device_.bind(media); rc != 0) {
        result_.mediaRefused = rc != CleanJobDevice::kStopped ? rc : 0;
        return;
    }
    const auto names = media.ReadDirectory(kSyncFailedRoot);
    if (!names) {
        return;
    }
    for (const std::string& name : *names) {
        if (isValidFileName(name)) {
            const std::string path = std::string(kSyncFailedRoot) + "/" + name;
            const auto info = media.GetFileKindAndSize(path);
            if (info && info->kind == "S_IFDIR") {
                traverseSyncDirWithpath(path, media, 1);
            } else {
                // Directly in the folder the size column shows the plain byte count.
                const std::uint64_t size = info ? info->size : 0;
                keepSyncFailed(path, size, QString::number(size));
            }
        }
        if (device_.shouldStop()) {
            return;
        }
    }
}

void DeviceCleanScanEngine::traverseSyncDirWithpath(const std::string& path, amd::AfcService& media,
                                                    int depth) {
    const auto names = media.ReadDirectory(path);
    if (!names) {
        return;
    }
    for (const std::string& name : *names) {
        if (isValidFileName(name)) {
            const std::string entry = path + "/" + name;
            if (const auto info = media.GetFileKindAndSize(entry)) {
                if (info->kind == "S_IFDIR") {
                    if (depth < CategoryWalk::kMaxWalkDepth) {
                        traverseSyncDirWithpath(entry, media, depth + 1);
                    }
                } else {
                    keepSyncFailed(entry, info->size, nimbara::shell::size_to_unit(info->size));
                }
            }
        }
        if (device_.shouldStop()) {
            return;
        }
    }
}

void DeviceCleanScanEngine::keepSyncFailed(const std::string& path, std::uint64_t size,
                                           const QString& sizeText) {
    auto record = std::make_shared<PRCleanFileNode>();
    record->setDevicePath(path);
    record->setFileName(QString::fromStdString(lastComponent(path)));
    record->setFileSize(sizeText);
    record->setFileSizeNumber(size);
    result_.syncfailedFileSize = nimbara::ui::addSaturating(result_.syncfailedFileSize, size);
    result_.totalFileSize = nimbara::ui::addSaturating(result_.totalFileSize, size);
    ++result_.totalFileNumber;
    if (onSyncFailedFile) {
        onSyncFailedFile(record);
    }
    result_.syncFailedFileArray.push_back(std::move(record));
}

}  // namespace nimbara::cleanup
