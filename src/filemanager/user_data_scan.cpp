#include "filemanager/user_data_scan.h"

#include <QString>

#include <utility>

#include "filemanager/device_fs_walk.h"
#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

namespace {

std::shared_ptr<PRPhoneSystemDirNode> recordOf(const FsEntryRecord& entry) {
    auto record = std::make_shared<PRPhoneSystemDirNode>();
    record->setFilePath(QString::fromStdString(entry.path));
    if (entry.isFile) {
        record->setIsFile(true);
        record->setFileType(QStringLiteral("File"));
        record->setFileSize(nimbara::shell::size_to_unit(entry.size));
        record->setFileSizeNumber(entry.size);
    } else {
        record->setFileType(QStringLiteral("Folder"));
    }
    return record;
}

}  // namespace

UserDataScanResult scanDeviceUserData(StorageDeviceTarget target, const StorageStopCheck& stop,
                                      const StorageProgress& progress,
                                      const std::function<void(UserDataRecords)>& records) {
    StorageScanJob job(target, stop, progress);
    UserDataScanResult result;
    result.device = job.target();
    if (job.shouldStop()) {
        result.status = job.stopStatus();
        return result;
    }
    DeviceFsWalk walk(
        result.device,
        [&records](std::vector<FsEntryRecord> batch) {
            if (!records) {
                return;
            }
            UserDataRecords nodes;
            nodes.reserve(batch.size());
            for (const FsEntryRecord& entry : batch) {
                nodes.push_back(recordOf(entry));
            }
            records(std::move(nodes));
        },
        stop, kUserDataBatch);
    walk.onTopLevelDone([&job](std::size_t done, std::size_t total) {
        job.progress(static_cast<double>(done) / static_cast<double>(total));
    });
    const FsWalkResult walked = walk.run();
    result.totalBytes = walked.bytes;
    result.files = static_cast<std::size_t>(walked.files);
    result.folders = static_cast<std::size_t>(walked.folders);
    switch (walked.status) {
        case FsWalkStatus::Done:
            job.progress(1.0);
            break;
        case FsWalkStatus::BindFailed:
            result.status = storageScanFailure(walked.code);
            break;
        case FsWalkStatus::Unreadable:
            result.status = StorageScanStatus::ServiceRefused;
            break;
        case FsWalkStatus::NoAnswer:
            result.status = StorageScanStatus::NoAnswer;
            break;
        case FsWalkStatus::DeviceGone:
            result.status = StorageScanStatus::DeviceGone;
            break;
        case FsWalkStatus::Cancelled:
            result.status = StorageScanStatus::Stopped;
            break;
    }
    return result;
}

}  // namespace nimbara::filemanager
