#include "filemanager/storage_count.h"

#include <algorithm>

#include "filemanager/app_scan.h"
#include "filemanager/photo_scan.h"
#include "ui/core/byte_arithmetic.h"

namespace nimbara::filemanager {

namespace {

using nimbara::ui::addSaturating;

struct Source {
    std::vector<StorageCategory> categories;
    // Runs the source's scan: its status and the bytes of each of `categories`.
    std::function<StorageScanStatus(std::vector<std::uint64_t>& bytes)> scan;
};

StorageScanStatus countPhotos(StorageDeviceTarget target, const StorageStopCheck& stop,
                              std::vector<std::uint64_t>& bytes) {
    const PhotoScanResult result = scanDevicePhotos(target, stop, {});
    for (const auto& photo : result.photos) {
        // The photo stream is kept with the library; the camera roll is what the camera took.
        const bool cameraRoll = photo->fileType() == QLatin1String(kCameraRollKind);
        std::uint64_t& sum = bytes[cameraRoll ? 1 : 0];
        sum = addSaturating(sum, photo->fileSizeNumber());
    }
    return result.status;
}

StorageScanStatus countMedia(StorageDeviceTarget target, const StorageStopCheck& stop,
                             std::vector<std::uint64_t>& bytes) {
    nimbara::transfer::MediaLibraryOptions options;
    options.requireFilesOnDevice = true;
    const nimbara::transfer::MediaLibraryResult result =
        nimbara::transfer::MediaLibraryReader(target, options, stop).read();
    bytes = {result.musicBytes, result.videoBytes};
    return storageStatusOfMedia(result.status);
}

StorageScanStatus countApps(StorageDeviceTarget target, const StorageStopCheck& stop,
                            std::vector<std::uint64_t>& bytes) {
    const AppScanResult result = scanDeviceApps(target, stop, {}, AppScanIcons::Skip);
    bytes = {result.userBytes};
    return result.status;
}

}  // namespace

StorageScanStatus storageStatusOfMedia(nimbara::transfer::MediaLibraryStatus status) {
    using nimbara::transfer::MediaLibraryStatus;
    switch (status) {
        case MediaLibraryStatus::Done:
        case MediaLibraryStatus::NoLibrary:
            return StorageScanStatus::Done;
        case MediaLibraryStatus::DeviceGone:
            return StorageScanStatus::DeviceGone;
        case MediaLibraryStatus::Stopped:
            return StorageScanStatus::Stopped;
        case MediaLibraryStatus::NoAnswer:
            return StorageScanStatus::NoAnswer;
        case MediaLibraryStatus::WaitingForUnlock:
            return StorageScanStatus::WaitingForUnlock;
        case MediaLibraryStatus::WaitingForTrust:
            return StorageScanStatus::WaitingForTrust;
        case MediaLibraryStatus::CopyFailed:
        case MediaLibraryStatus::Unreadable:
        case MediaLibraryStatus::ServiceRefused:
            break;
    }
    return StorageScanStatus::ServiceRefused;
}

StorageScanStatus countStorageCategories(StorageDeviceTarget target,
                                         const std::vector<StorageCategory>& wanted,
                                         const StorageStopCheck& stop,
                                         const StorageCountSink& sink) {
    using C = StorageCategory;
    const auto bound = [&](auto count) {
        return [target, &stop, count](std::vector<std::uint64_t>& bytes) {
            return count(target, stop, bytes);
        };
    };
    const Source sources[] = {
        {{C::PhotoLibrary, C::CameraRoll}, bound(countPhotos)},
        {{C::Music, C::Movies}, bound(countMedia)},
        {{C::Apps}, bound(countApps)},
    };
    for (const Source& source : sources) {
        StorageCountStep step;
        step.device = target;
        std::vector<std::size_t> asked;
        for (std::size_t i = 0; i < source.categories.size(); ++i) {
            if (std::find(wanted.begin(), wanted.end(), source.categories[i]) != wanted.end()) {
                asked.push_back(i);
            }
        }
        if (asked.empty()) {
            continue;
        }
        if (stop && stop()) {
            return StorageScanStatus::Stopped;
        }
        std::vector<std::uint64_t> bytes(source.categories.size(), 0);
        step.status = source.scan(bytes);
        for (const std::size_t i : asked) {
            step.figures.emplace_back(source.categories[i],
                                      step.status == StorageScanStatus::Done ? bytes[i] : 0);
        }
        if (sink) {
            sink(step);
        }
        if (step.status == StorageScanStatus::DeviceGone ||
            step.status == StorageScanStatus::Stopped) {
            return step.status;
        }
    }
    return StorageScanStatus::Done;
}

}  // namespace nimbara::filemanager
