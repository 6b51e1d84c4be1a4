#include "filemanager/user_data_scan.h"

#include <QString>

#include <string>

#include "app/core/byte_arithmetic.h"
#include "app/core/text_utilities.h"
#include "cleanup/device_walk.h"
#include "device/afc_service.h"

namespace nimbara::filemanager {

namespace {

// Collects the walk's records and hands them over in batches.
class RecordBatches {
  public:
    RecordBatches(UserDataScanResult& result, const std::function<void(UserDataRecords)>& records)
        : result_(result), records_(records) {}

    void folder(const std::string& path) {
        auto record = std::make_shared<PRPhoneSystemDirNode>();
        record->setFilePath(QString::fromStdString(path));
        record->setFileType(QStringLiteral("Folder"));
        ++result_.folders;
        hand(std::move(record));
    }
    void file(const std::string& path, std::uint64_t size) {
        auto record = std::make_shared<PRPhoneSystemDirNode>();
        record->setFilePath(QString::fromStdString(path));
        record->setIsFile(true);
        record->setFileType(QStringLiteral("File"));
        record->setFileSize(nimbara::shell::size_to_unit(size));
        record->setFileSizeNumber(size);
        result_.totalBytes = nimbara::app::addSaturating(result_.totalBytes, size);
        ++result_.files;
        hand(std::move(record));
    }
    void flush() {
        if (!batch_.empty() && records_) {
            records_(std::move(batch_));
        }
        batch_.clear();
    }

  private:
    void hand(std::shared_ptr<PRPhoneSystemDirNode> record) {
        batch_.push_back(std::move(record));
        if (batch_.size() >= kUserDataBatch) {
            flush();
        }
    }

    UserDataScanResult& result_;
    const std::function<void(UserDataRecords)>& records_;
    UserDataRecords batch_;
};

}  // namespace

UserDataScanResult scanDeviceUserData(StorageDeviceTarget target, const StorageStopCheck& stop,
                                      const StorageProgress& progress,
                                      const std::function<void(UserDataRecords)>& records) {
    StorageScanJob job(target, stop, progress);
    UserDataScanResult result;
    result.device = job.target();
    amd::AfcService afc;
    if (const int rc = job.device().bind(afc); rc != 0) {
        result.status = job.bindFailure(rc);
        return result;
    }
    const auto names = afc.ReadDirectory("/");
    if (!names) {
        result.status = job.shouldStop() ? job.stopStatus() : StorageScanStatus::ServiceRefused;
        return result;
    }
    RecordBatches batches(result, records);
    nimbara::cleanup::DeviceWalk walk = nimbara::cleanup::DeviceWalk::over(afc);
    walk.maxDepth = kMaxUserDataDepth;
    walk.afterFolder = [&batches](const std::string& path, int) { batches.folder(path); };
    const auto onFile = [&batches](const std::string& path, std::uint64_t size, int) {
        batches.file(path, size);
    };
    const auto shouldStop = [&job] { return job.shouldStop(); };

    const std::size_t n = names->size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& name = (*names)[i];
        if (nimbara::cleanup::isPlainEntryName(name)) {
            const std::string path = "/" + name;
            if (const auto info = afc.GetFileKindAndSize(path)) {
                if (info->kind == "S_IFDIR") {
                    if (walk.walk(path, 1, onFile, shouldStop)) {
                        batches.folder(path);
                    }
                } else if (info->kind == "S_IFREG") {
                    onFile(path, info->size, 0);
                }
            }
        }
        if (job.shouldStop()) {
            // What was handed over stays; what still waits goes with the stopped scan.
            result.status = job.stopStatus();
            return result;
        }
        batches.flush();
        job.progress(static_cast<double>(i + 1) / static_cast<double>(n));
    }
    job.progress(1.0);
    return result;
}

}  // namespace nimbara::filemanager
