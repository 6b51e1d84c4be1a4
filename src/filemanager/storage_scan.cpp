#include "filemanager/storage_scan.h"

#include <algorithm>

#include "device/device_status.h"
#include "device/device_target.h"

namespace nimbara::filemanager {

QString storageScanStatusText(StorageScanStatus status) {
    switch (status) {
        case StorageScanStatus::Done:
            return {};
        case StorageScanStatus::ServiceRefused:
            return QStringLiteral("The device refused to show its files.");
        case StorageScanStatus::WaitingForUnlock:
            return QString::fromStdString(amd::DeviceCodeText(amd::DeviceCode::Locked));
        case StorageScanStatus::WaitingForTrust:
            return QString::fromStdString(amd::DeviceCodeText(amd::DeviceCode::TrustPending));
        case StorageScanStatus::DeviceGone:
            return QStringLiteral("The device went away before the scan finished.");
        case StorageScanStatus::Stopped:
            return QStringLiteral("The scan was stopped.");
        case StorageScanStatus::NoAnswer:
            return QString::fromStdString(amd::DeviceCodeText(amd::DeviceCode::NoAnswer));
    }
    return {};
}

StorageScanStatus storageScanFailure(int deviceCode) {
    // A device waiting for its user is no refusal: it is asked again at the next scan.
    switch (deviceCode) {
        case amd::DeviceCode::Locked:
            return StorageScanStatus::WaitingForUnlock;
        case amd::DeviceCode::TrustPending:
            return StorageScanStatus::WaitingForTrust;
        case amd::DeviceCode::NoAnswer:
            return StorageScanStatus::NoAnswer;
        default:
            return StorageScanStatus::ServiceRefused;
    }
}

StorageScanJob::StorageScanJob(StorageDeviceTarget target, StorageStopCheck stop,
                               StorageProgress progress)
    : device_(target.deviceIndex, target.deviceSerial, std::move(stop)),
      progress_(std::move(progress)) {}

StorageScanStatus StorageScanJob::stopStatus() const {
    return target().stillAttached() ? StorageScanStatus::Stopped : StorageScanStatus::DeviceGone;
}

StorageScanStatus StorageScanJob::bindFailure(int rc) {
    if (rc == nimbara::cleanup::CleanJobDevice::kStopped || shouldStop()) {
        return stopStatus();
    }
    return storageScanFailure(rc);
}

void StorageScanJob::progress(double fraction) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction <= posted_) {
        return;
    }
    posted_ = fraction;
    if (progress_) {
        progress_(fraction);
    }
}

std::optional<amd::DiskUsage> readDeviceDiskUsage(StorageDeviceTarget target) {
    if (!target.stillAttached()) {
        return std::nullopt;
    }
    amd::BaseInfo info;
    if (info.Init(target.deviceIndex) != 0) {
        return std::nullopt;
    }
    const amd::DiskUsage usage = info.GetDiskUsage();
    if (usage.TotalDiskCapacity == 0 || !target.stillAttached()) {
        return std::nullopt;
    }
    return usage;
}

}  // namespace nimbara::filemanager
