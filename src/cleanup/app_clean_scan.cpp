#include "cleanup/app_clean_scan.h"

#include <QDebug>
#include <QStringList>

#include <utility>

#include "device/app_dir_service.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

AppCleanScanEngine::AppCleanScanEngine(AppCleanScanOptions options, StopCheck cancel)
    : options_(options), device_(options.deviceIndex, options.deviceSerial, std::move(cancel)) {
    result_.deviceIndex = device_.index();
    result_.deviceSerial = device_.serial();
}

std::optional<float> AppCleanScanEngine::progressFraction(int done, int count) {
    if (count <= 0) {
        return std::nullopt;
    }
    const float fraction = static_cast<float>(done) / static_cast<float>(count);
    if (static_cast<double>(fraction) > 0.1) {
        return fraction;
    }
    return std::nullopt;
}

bool AppCleanScanEngine::bIOSVersionAppClean(const QString& version) {
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() < 2) {
        return false;
    }
    // Only the leading digits count, and a long run of them reads as "large" rather than
    // wrapping around.
    const QString joined = parts[0] + parts[1];
    qsizetype digits = 0;
    while (digits < joined.size() && joined[digits].isDigit() && joined[digits].unicode() < 128) {
        ++digits;
    }
    if (digits == 0) {
        return false;
    }
    if (digits > 9) {
        return true;
    }
    return joined.left(digits).toInt() > 82;
}

AppCleanScanResult AppCleanScanEngine::run() {
    if (const auto apps = lookupCleanApps(device_, result_.appsRefused)) {
        result_.appCount = static_cast<int>(apps->size());
        visitCleanApps(
            device_, *apps,
            [this](const CleanAppInfo& app, CleanAppIcons& icons) { scanApp(app, icons); },
            [this](int done, const CleanAppInfo& app) {
                if (const auto fraction = progressFraction(done, result_.appCount);
                    fraction && onProgress) {
                    onProgress(*fraction);
                }
                if (onAppVisited) {
                    onAppVisited(QString::fromStdString(app.bundleId));
                }
            });
    }
    result_.stopped = device_.shouldStop();
    return std::move(result_);
}

void AppCleanScanEngine::scanApp(const CleanAppInfo& app, CleanAppIcons& icons) {
    const bool wantAds = options_.advertisements && app.userApp;
    if (!options_.categories && !wantAds) {
        return;
    }
    amd::AppDirService container;
    if (!openContainer(container, device_, app.bundleId, result_.containersRefused)) {
        return;
    }
    const QByteArray icon = icons.iconFor(app.bundleId);
    if (options_.categories) {
        CategoryWalk walk(container, device_, app, icon,
                          [this](CleanCategory category, std::shared_ptr<PRCleanDirNode> record) {
                              keep(category, std::move(record));
                          });
        for (const CleanCategory category : {CleanCategory::Cache, CleanCategory::Cookie,
                                             CleanCategory::Junk, CleanCategory::Document}) {
            if (device_.shouldStop()) {
                return;
            }
            walk.visitCategoryPath(categoryFolder(category), category);
        }
    }
    if (wantAds && !device_.shouldStop()) {
        std::vector<std::string> folders = findAdCacheFolders(container, device_);
        if (device_.stopped()) {
            return;  // a half-read listing makes no row
        }
        result_.totalAdsCount += static_cast<int>(folders.size());
        result_.adsRemoveArray.push_back(makeAdsRemoveNode(app, icon, std::move(folders)));
    }
}

void AppCleanScanEngine::keep(CleanCategory category, std::shared_ptr<PRCleanDirNode> record) {
    const std::uint64_t size = record->fileSizeNumber();
    const QString path = record->filePath();
    switch (category) {
        case CleanCategory::Cache:
            result_.caches.add(std::move(record));
            break;
        case CleanCategory::Cookie:
            result_.cookies.add(std::move(record));
            break;
        case CleanCategory::Junk:
            result_.junk.add(std::move(record));
            break;
        case CleanCategory::Document:
            result_.documents.add(std::move(record));
            break;
        case CleanCategory::SyncFailed:
        case CleanCategory::AdCache:
        case CleanCategory::UserFile:
            return;  // found by their own walks
    }
    result_.totalFileSize = nimbara::ui::addSaturating(result_.totalFileSize, size);
    ++result_.totalFileNumber;
    if (onPathSeen) {
        onPathSeen(category, path);
    }
}

}  // namespace nimbara::cleanup
