#include "cleanup/quick_clean_engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "cleanup/protected_files.h"
#include "device/afc_service.h"
#include "device/app_service.h"
#include "device/crash_report_service.h"
#include "device/device_manager.h"
#include "platform/file_name_fit.h"
#include "platform/text_format.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

namespace fs = std::filesystem;

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool containsNoCase(const std::string& text, const std::string& part) {
    return lowerCase(text).find(lowerCase(part)) != std::string::npos;
}

bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::optional<std::map<std::string, std::string>> regularFileInfo(amd::AfcService& afc,
                                                                  const std::string& path) {
    auto info = afc.GetFileInfo(path);
    if (!info) {
        return std::nullopt;
    }
    const auto type = info->find("st_ifmt");
    if (type == info->end() || type->second != "S_IFREG") {
        return std::nullopt;
    }
    return info;
}

bool isFolder(amd::AfcService& afc, const std::string& path) {
    const auto info = afc.GetFileInfo(path);
    if (!info) {
        return false;
    }
    const auto type = info->find("st_ifmt");
    return type != info->end() && type->second == "S_IFDIR";
}

std::vector<std::string> entries(amd::AfcService& afc, const std::string& path) {
    return afc.ReadDirectory(path).value_or(std::vector<std::string>{});
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Creates `path` exclusively (the name is then ours); false when it exists or can't be made.
bool reserveLocalFile(const std::string& path, int* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    ::close(fd);
    return true;
}

}  // namespace

QuickCleanEngine::QuickCleanEngine(QuickCleanOptions options, QuickScanResult scan,
                                   std::shared_ptr<CameraRoll> cameraRoll, ProgressSink progress,
                                   StopCheck stop)
    : options_(std::move(options)),
      scan_(std::move(scan)),
      cameraRoll_(std::move(cameraRoll)),
      progress_(std::move(progress)),
      stop_(std::move(stop)) {
    // The ticks are taken now, when the user has confirmed: a tick changed while the clean-up
    // runs changes nothing.
    const auto unticked = [](const std::shared_ptr<PRLargeFileNode>& record) {
        return !record || !record->bSelectedSate();
    };
    std::erase_if(scan_.userDataBigFileArray, unticked);
    std::erase_if(scan_.appBigFileArray, unticked);
    if (!cameraRoll_) {
        cameraRoll_ =
            std::make_shared<DeviceCameraRoll>(options_.deviceIndex, options_.deviceSerial);
    }
}

std::string QuickCleanEngine::uniqueLocalName(const std::string& folder, const std::string& name,
                                              const std::vector<std::string>& taken) {
    if (!isPlainFileName(name)) {
        return {};
    }
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int n = 1; n < 100000; ++n) {
        const std::string candidate = numberedFileName(stem, extension, n);
        if (std::find(taken.begin(), taken.end(), candidate) != taken.end()) {
            continue;
        }
        std::error_code ec;
        if (fs::symlink_status(fs::path(folder) / candidate, ec).type() ==
            fs::file_type::not_found) {
            return candidate;
        }
    }
    return {};
}

bool QuickCleanEngine::deviceAttached() const {
    return deviceStillAttached(options_.deviceIndex, options_.deviceSerial);
}

bool QuickCleanEngine::stopRequested() {
    if (deviceGone_ || cancelled_) {
        return true;
    }
    if (stop_ && stop_()) {
        cancelled_ = true;
        return true;
    }
    if (!deviceAttached()) {
        deviceGone_ = true;
        return true;
    }
    return false;
}

void QuickCleanEngine::sendProgress(double fraction) {
    fraction = std::clamp(fraction, lastFraction_, 1.0);
    lastFraction_ = fraction;
    if (progress_ && !stepText_.isEmpty()) {
        progress_(stepText_, fraction);
    }
}

void QuickCleanEngine::beginStep(Step step, const char* text, std::size_t items) {
    step_ = step;
    stepItems_ = items;
    stepDone_ = 0;
    if (text != nullptr) {
        stepText_ = QString::fromUtf8(text);
    }
    sendProgress(static_cast<double>(step) / static_cast<double>(Step::Count));
}

void QuickCleanEngine::itemDone() {
    ++stepDone_;
    if (stepItems_ == 0) {
        return;
    }
    const double within =
        std::min(1.0, static_cast<double>(stepDone_) / static_cast<double>(stepItems_));
    sendProgress((static_cast<double>(step_) + within) / static_cast<double>(Step::Count));
}

void QuickCleanEngine::fail(QuickCleanCategory category, const std::string& path, int code,
                            const QString& reason) {
    report_.failures.push_back({category, path, code, reason});
    ++report_.failedCount;
}

void QuickCleanEngine::removed(QuickCleanCategory category, std::uint64_t bytes) {
    ++report_.removedCount;
    switch (category) {
        case QuickCleanCategory::Photos:
            report_.freedPhotos += bytes;
            break;
        case QuickCleanCategory::Junk:
            report_.freedJunk += bytes;
            break;
        case QuickCleanCategory::LargeFiles:
            report_.freedLargeFiles += bytes;
            break;
        case QuickCleanCategory::LargeApps:
            report_.freedLargeApps += bytes;
            break;
    }
}

bool QuickCleanEngine::refuseProtected(QuickCleanCategory category, const std::string& devicePath) {
    if (!isProtectedDeviceFile(devicePath)) {
        return false;
    }
    report_.protectedSkipped.push_back(devicePath);
    report_.failures.push_back(
        {category, devicePath, -1, QStringLiteral("Kept: the device's own database needs it.")});
    return true;
}

QuickCleanEngine::~QuickCleanEngine() = default;

template <class Service>
bool QuickCleanEngine::bind(Service& service) {
    if (stopRequested()) {
        return false;
    }
    if (service.Init(options_.deviceIndex) != 0 || !deviceAttached()) {
        // Bound after the attach check: a device that took the index meanwhile has another
        // serial and is caught here.
        if (!deviceAttached()) {
            deviceGone_ = true;
        }
        return false;
    }
    return true;
}

amd::AfcService* QuickCleanEngine::mediaService() {
    if (!mediaBound_) {
        media_ = std::make_unique<amd::AfcService>();
        mediaBound_ = bind(*media_);
    }
    return mediaBound_ ? media_.get() : nullptr;
}

// ------------------------------------------------------------------------------ photo copy

bool QuickCleanEngine::ensureExportFolder() {
    if (exportFolderReady_) {
        return true;
    }
    if (photoBackupFailed_) {
        return false;
    }
    std::error_code ec;
    if (options_.exportFolder.empty()) {
        ec = std::make_error_code(std::errc::invalid_argument);
    } else {
        fs::create_directories(options_.exportFolder, ec);
        if (!ec && !fs::is_directory(options_.exportFolder, ec)) {
            ec = std::make_error_code(std::errc::not_a_directory);
        }
    }
    if (ec) {
        photoBackupFailed_ = true;
        fail(QuickCleanCategory::Photos, options_.exportFolder, -1,
             QStringLiteral("The export folder could not be created: %1").arg(qs(ec.message())));
        return false;
    }
    exportFolderReady_ = true;
    return true;
}

bool QuickCleanEngine::copyPhoto(amd::AfcService& afc, const std::string& devicePath,
                                 const std::string& name) {
    const auto info = regularFileInfo(afc, devicePath);
    if (!info) {
        return true;  // folders and vanished entries are not photos
    }
    const auto sizeText = info->find("st_size");
    // -1: the device did not say how large the file is, so no copy can be verified.
    const std::int64_t size =
        sizeText == info->end() ? -1 : parseInt64(sizeText->second).value_or(std::int64_t{-1});
    const std::string& folder = options_.exportFolder;
    std::string localPath;
    for (int attempt = 0; attempt < 8 && localPath.empty(); ++attempt) {
        const std::string localName = uniqueLocalName(folder, name, takenNames_);
        if (localName.empty()) {
            photoBackupFailed_ = true;
            fail(QuickCleanCategory::Photos, devicePath, -1,
                 QStringLiteral("No safe local name for this file."));
            return true;
        }
        const std::string candidate = (fs::path(folder) / localName).string();
        int error = 0;
        if (reserveLocalFile(candidate, &error)) {
            takenNames_.push_back(localName);
            localPath = candidate;
        } else if (error != EEXIST) {
            photoBackupFailed_ = true;
            fail(QuickCleanCategory::Photos, candidate, -1,
                 QStringLiteral("The export folder can't be written: %1")
                     .arg(qs(std::strerror(error))));
            return true;
        }
    }
    if (localPath.empty()) {
        photoBackupFailed_ = true;
        fail(QuickCleanCategory::Photos, devicePath, -1,
             QStringLiteral("No free local name for this file."));
        return true;
    }
    // CopyFileToLocal renames its finished copy over our empty placeholder.
    const int code = afc.CopyFileToLocal(devicePath, localPath);
    std::error_code ec;
    const std::uintmax_t copiedSize = fs::file_size(localPath, ec);
    if (code != 0 || ec || size < 0 || copiedSize != static_cast<std::uintmax_t>(size)) {
        fs::remove(localPath, ec);
        photoBackupFailed_ = true;
        fail(QuickCleanCategory::Photos, devicePath, code != 0 ? code : -1,
             code != 0 ? QStringLiteral("The copy failed; the photo stays on the device.")
                       : QStringLiteral("The copy is incomplete; the photo stays on the device."));
        return true;
    }
    copied_.push_back({devicePath, localPath, static_cast<std::uint64_t>(size)});
    report_.photosCopied.push_back(localPath);
    return true;
}

bool QuickCleanEngine::copyPhotoFolder(amd::AfcService& afc, const std::string& folder) {
    if (!ensureExportFolder()) {
        return false;
    }
    for (const std::string& name : entries(afc, folder)) {
        if (stopRequested()) {
            return false;
        }
        copyPhoto(afc, folder + "/" + name, name);
    }
    return true;
}

void QuickCleanEngine::startCopyiOSDeviePhotoVideo() {
    beginStep(Step::Photos, options_.photoLibrarySize != 0 ? kTextBackingUpPhotos : nullptr, 0);
    if (!options_.photosTicked || stopRequested()) {
        return;
    }
    if (!ensureExportFolder()) {
        return;
    }
    amd::AfcService* afc = mediaService();
    if (afc == nullptr) {
        if (!deviceGone_) {
            photoBackupFailed_ = true;
            fail(QuickCleanCategory::Photos, "/DCIM", -1,
                 QStringLiteral("The device's photos could not be read."));
        }
        return;
    }
    // The camera's folders, then photo-stream and synced pictures (copied, never deleted).
    const std::vector<std::string> folders = entries(*afc, "/DCIM");
    stepItems_ = folders.size();
    for (const std::string& folder : folders) {
        if (isCameraRollFolder(folder) && isFolder(*afc, "/DCIM/" + folder) &&
            !copyPhotoFolder(*afc, "/DCIM/" + folder)) {
            return;
        }
        itemDone();
    }
    for (const std::string& stream : entries(*afc, "/PhotoStreamsData")) {
        const std::string streamPath = "/PhotoStreamsData/" + stream;
        for (const std::string& folder : entries(*afc, streamPath)) {
            if (containsNoCase(folder, "APPLE") &&
                !copyPhotoFolder(*afc, streamPath + "/" + folder)) {
                return;
            }
        }
    }
    for (const char* root : {"/PhotoData/Sync", "/Photos/Sync"}) {
        for (const std::string& folder : entries(*afc, root)) {
            if (containsNoCase(folder, "SYNCD") &&
                !copyPhotoFolder(*afc, std::string(root) + "/" + folder)) {
                return;
            }
        }
    }
}

// ------------------------------------------------------------------------------ junk

void QuickCleanEngine::removeJunkList(
    const std::vector<std::shared_ptr<PRPhoneSystemFileNode>>& list) {
    if (list.empty() || stopRequested()) {
        return;
    }
    amd::AfcService* afc = mediaService();
    for (const auto& record : list) {
        if (!record) {
            continue;
        }
        const std::string path = record->devicePath();
        if (stopRequested()) {
            return;
        }
        if (removedMediaPaths_.count(path) == 0 &&
            !refuseProtected(QuickCleanCategory::Junk, path)) {
            const int code = afc != nullptr ? afc->RemovePath(path) : 1;
            if (code == 0) {
                removedMediaPaths_.insert(path);
                removed(QuickCleanCategory::Junk, record->fileSizeNumber());
            } else {
                fail(QuickCleanCategory::Junk, path, code,
                     afc != nullptr ? QStringLiteral("The file could not be removed.")
                                    : QStringLiteral("The device's files could not be reached."));
            }
        }
        itemDone();
    }
}

void QuickCleanEngine::startCleanUpiOSJunkFiles() {
    const std::size_t count = scan_.systemLogArray.size() + scan_.downloadTempArray.size() +
                              scan_.userStorageArray.size() + scan_.iTunesSyncCacheArray.size() +
                              scan_.iTunesSyncFailedArray.size();
    beginStep(Step::Junk, kTextDeletingJunk, count);
    if (!options_.junkTicked || stopRequested()) {
        return;
    }
    if (!scan_.systemLogArray.empty()) {
        amd::CrashReportService crashes;
        const bool bound = bind(crashes);
        for (const auto& record : scan_.systemLogArray) {
            if (!record) {
                continue;
            }
            if (stopRequested()) {
                return;
            }
            const std::string path = record->devicePath();
            const int code = bound ? crashes.RemovePath(path) : 1;
            if (code == 0) {
                removed(QuickCleanCategory::Junk, record->fileSizeNumber());
            } else {
                fail(QuickCleanCategory::Junk, path, code,
                     bound ? QStringLiteral("The crash log could not be removed.")
                           : QStringLiteral("The crash logs could not be reached."));
            }
            itemDone();
        }
    }
    removeJunkList(scan_.downloadTempArray);
    removeJunkList(scan_.userStorageArray);
    removeJunkList(scan_.iTunesSyncCacheArray);
    removeJunkList(scan_.iTunesSyncFailedArray);
}

// ------------------------------------------------------------------------------ camera roll

void QuickCleanEngine::deleteCameraRollItems() {
    if (!options_.photosTicked || !options_.deleteCameraRoll || photoBackupFailed_ ||
        stopRequested()) {
        // A failed backup deletes nothing at all, not even the photos that were copied: the
        // user should see the export folder's problem first.
        return;
    }
    std::vector<CameraRollItem> listed;
    CameraRollResult opened = CameraRollResult::NotOpen;
    bool called = false;
    cameraRoll_->openSession([&](CameraRollResult result, const std::vector<CameraRollItem>& all) {
        called = true;
        opened = result;
        listed = all;
    });
    if (!called || opened != CameraRollResult::Ok) {
        if (opened == CameraRollResult::DeviceGone || !deviceAttached()) {
            deviceGone_ = true;
        } else {
            cameraRollUnavailable_ = true;
            fail(QuickCleanCategory::Photos, "/DCIM", -1,
                 qs(cameraRollResultText(called ? opened : CameraRollResult::NotOpen)));
        }
        return;
    }
    beginStep(Step::CameraRoll, kTextDeletingPhotos, listed.size());

    // Only an item whose verified copy has the same size as the item now listed.
    std::map<std::string, std::uint64_t> verified;
    for (const CopiedPhoto& copy : copied_) {
        verified.emplace(copy.devicePath, copy.size);
    }
    std::vector<CameraRollItem> toDelete;
    for (const CameraRollItem& item : listed) {
        const auto it = verified.find(item.devicePath);
        if (it != verified.end() && it->second == item.size) {
            toDelete.push_back(item);
        }
    }
    if (toDelete.empty() || stopRequested()) {
        return;
    }
    bool deleted = false;
    cameraRoll_->deleteItems(toDelete, [&](const CameraRollDeletion& outcome) {
        deleted = true;
        for (const CameraRollItem& item : outcome.deleted) {
            removed(QuickCleanCategory::Photos, item.size);
            itemDone();
        }
        for (const CameraRollFailure& failure : outcome.failed) {
            fail(QuickCleanCategory::Photos, failure.item.devicePath, failure.code,
                 QStringLiteral("The photo could not be deleted; its copy is kept."));
        }
        for (const CameraRollItem& item : outcome.notTried) {
            fail(QuickCleanCategory::Photos, item.devicePath, -1,
                 QStringLiteral("The photo was left on the device."));
        }
        if (outcome.result == CameraRollResult::DeviceGone) {
            deviceGone_ = true;
        }
    });
    if (!deleted) {
        cameraRollUnavailable_ = true;
    }
}

// ------------------------------------------------------------------------------ large files, apps

void QuickCleanEngine::startCleanUpiOSLargeFiles() {
    const auto& files = scan_.userDataBigFileArray;
    beginStep(Step::LargeFiles, kTextDeletingLargeFiles, files.size());
    amd::AfcService* afc = nullptr;
    bool bindTried = false;
    for (const auto& record : files) {
        if (stopRequested()) {
            return;
        }
        const std::string path = record->devicePath();
        // Camera files are the photo step's: never removed here without their backup.
        if (isCameraRollFileName(path.substr(path.rfind('/') + 1))) {
            itemDone();
            continue;
        }
        // A file in a junk folder can be a large file too: it is removed and counted once.
        if (removedMediaPaths_.count(path) == 0 &&
            !refuseProtected(QuickCleanCategory::LargeFiles, path)) {
            if (!bindTried) {
                bindTried = true;
                afc = mediaService();
                if (deviceGone_) {
                    return;
                }
            }
            const int code = afc != nullptr ? afc->RemovePath(path) : 1;
            if (code == 0) {
                removedMediaPaths_.insert(path);
                removed(QuickCleanCategory::LargeFiles, record->fileSizeNumber());
            } else {
                fail(QuickCleanCategory::LargeFiles, path, code,
                     afc != nullptr ? QStringLiteral("The file could not be removed.")
                                    : QStringLiteral("The device's files could not be reached."));
            }
        }
        itemDone();
    }
}

void QuickCleanEngine::startUninstalliOSLargeApps() {
    const auto& apps = scan_.appBigFileArray;
    beginStep(Step::LargeApps, kTextDeletingLargeApps, apps.size());
    for (const auto& record : apps) {
        if (stopRequested()) {
            return;
        }
        const std::string bundleId = record->appBundId().toStdString();
        amd::AppService service;
        if (bundleId.empty()) {
            fail(QuickCleanCategory::LargeApps, bundleId, 1,
                 QStringLiteral("The app has no bundle identifier."));
        } else if (!bind(service)) {
            if (deviceGone_) {
                return;
            }
            fail(QuickCleanCategory::LargeApps, bundleId, 1,
                 QStringLiteral("The device's app service could not be reached."));
        } else {
            const int code =
                service.UninstallApplication(bundleId, [](const nimbara::PlistValue&) {});
            if (code == 0) {
                removed(QuickCleanCategory::LargeApps, record->appFileSizeNumber());
            } else {
                fail(QuickCleanCategory::LargeApps, bundleId, code,
                     QStringLiteral("The app could not be uninstalled."));
            }
        }
        itemDone();
    }
}

// ------------------------------------------------------------------------------ preview

QuickCleanPreview QuickCleanEngine::preview() const {
    QuickCleanPreview p;
    p.exportFolder = options_.exportFolder;
    p.photos = options_.photosTicked;
    p.deletePhotos = options_.photosTicked && options_.deleteCameraRoll;
    if (p.photos) {
        p.cameraRollItems = scan_.cameraRollItems;
        p.copyOnlyPictures = scan_.copyOnlyPictures;
    }
    // The media paths the junk step will have removed: a large file among them goes only once.
    std::set<std::string> removed;
    p.junk = options_.junkTicked;
    if (p.junk) {
        for (const auto& record : scan_.systemLogArray) {
            if (record) {
                ++p.junkFiles;
                p.junkBytes += record->fileSizeNumber();
            }
        }
        for (const auto* list : {&scan_.downloadTempArray, &scan_.userStorageArray,
                                 &scan_.iTunesSyncCacheArray, &scan_.iTunesSyncFailedArray}) {
            for (const auto& record : *list) {
                if (!record) {
                    continue;
                }
                const std::string path = record->devicePath();
                if (isProtectedDeviceFile(path)) {
                    ++p.keptFiles;
                } else if (removed.insert(path).second) {
                    ++p.junkFiles;
                    p.junkBytes += record->fileSizeNumber();
                }
            }
        }
    }
    for (const auto& record : scan_.userDataBigFileArray) {
        const std::string path = record->devicePath();
        if (isCameraRollFileName(path.substr(path.rfind('/') + 1)) || removed.count(path) != 0) {
            continue;
        }
        if (isProtectedDeviceFile(path)) {
            ++p.keptFiles;
            continue;
        }
        removed.insert(path);
        p.largeFiles.push_back(record->fileName());
        p.largeFileBytes += record->fileSizeNumber();
    }
    for (const auto& record : scan_.appBigFileArray) {
        if (record->appBundId().isEmpty()) {
            continue;
        }
        const QString name = record->appDisplayName();
        p.apps.push_back(name.isEmpty() ? record->appBundId() : name);
        p.appBytes += record->appFileSizeNumber();
    }
    return p;
}

// ------------------------------------------------------------------------------ run and finish

void QuickCleanEngine::finish() {
    // A departure seen only by the last removals still counts.
    if (!deviceGone_ && !cancelled_ && !deviceAttached()) {
        deviceGone_ = true;
    }
    if (deviceGone_) {
        report_.status = QuickCleanStatus::DeviceGone;
    } else if (cancelled_) {
        report_.status = QuickCleanStatus::Cancelled;
    } else if (photoBackupFailed_) {
        report_.status = QuickCleanStatus::PhotoBackupFailed;
    } else if (cameraRollUnavailable_) {
        report_.status = QuickCleanStatus::CameraRollUnavailable;
    } else if (report_.failedCount > 0) {
        report_.status = QuickCleanStatus::DoneWithFailures;
    } else {
        report_.status = QuickCleanStatus::Done;
    }

    const QString freed = shell::size_to_unit(report_.freedTotal());
    QString message;
    switch (report_.status) {
        case QuickCleanStatus::Done:
            message = QStringLiteral("Clean-up complete: %1 freed.").arg(freed);
            break;
        case QuickCleanStatus::DoneWithFailures:
            message =
                QStringLiteral("Clean-up finished: %1 freed; %2 item(s) could not be removed.")
                    .arg(freed)
                    .arg(report_.failedCount);
            break;
        case QuickCleanStatus::PhotoBackupFailed:
            message = QStringLiteral(
                          "The photos could not be backed up, so no photo was deleted. %1 freed.")
                          .arg(freed);
            break;
        case QuickCleanStatus::CameraRollUnavailable:
            message = QStringLiteral(
                          "The camera roll could not be opened, so no photo was deleted. %1 "
                          "freed.")
                          .arg(freed);
            break;
        case QuickCleanStatus::DeviceGone:
            message = QStringLiteral("The device was disconnected; the clean-up stopped. %1 freed.")
                          .arg(freed);
            break;
        case QuickCleanStatus::Cancelled:
            message = QStringLiteral("The clean-up was stopped. %1 freed.").arg(freed);
            break;
    }
    if (!report_.protectedSkipped.empty()) {
        message += QStringLiteral(" %1 file(s) the device itself needs were kept.")
                       .arg(report_.protectedSkipped.size());
    }
    report_.message = message;
    stepText_ = QString::fromUtf8(kTextCleaningUpDevice);
    sendProgress(1.0);
}

QuickCleanReport QuickCleanEngine::run() {
    if (ran_) {
        return report_;
    }
    ran_ = true;
    startCopyiOSDeviePhotoVideo();
    startCleanUpiOSJunkFiles();
    deleteCameraRollItems();
    startCleanUpiOSLargeFiles();
    startUninstalliOSLargeApps();
    finish();
    return report_;
}

}  // namespace nimbara::cleanup
