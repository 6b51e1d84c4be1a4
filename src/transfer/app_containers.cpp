#include "transfer/app_containers.h"

#include <string>
#include <utility>

#include "cleanup/clean_removal.h"
#include "device/afc_service.h"
#include "device/device_status.h"
#include "filemanager/app_scan.h"
#include "platform/device_path.h"
#include "ui/core/text_utilities.h"

namespace nimbara::transfer {

namespace {

const QString kGoneText = QStringLiteral("The device went away before its apps were read.");

AppLoadStatus fromScan(filemanager::StorageScanStatus status) {
    switch (status) {
        case filemanager::StorageScanStatus::Done:
            return AppLoadStatus::Done;
        case filemanager::StorageScanStatus::ServiceRefused:
        case filemanager::StorageScanStatus::WaitingForUnlock:
        case filemanager::StorageScanStatus::WaitingForTrust:
        case filemanager::StorageScanStatus::NoAnswer:
            return AppLoadStatus::Refused;  // its message says which
        case filemanager::StorageScanStatus::DeviceGone:
            return AppLoadStatus::DeviceGone;
        case filemanager::StorageScanStatus::Stopped:
            break;
    }
    return AppLoadStatus::Stopped;
}

class ContainerWalk {
  public:
    ContainerWalk(amd::AfcService& afc, cleanup::CleanRunGuard& guard, const PRAppDirTreeNode& app,
                  const std::function<void(std::vector<AppRecord>)>& found,
                  ContainerWalkResult& result)
        : afc_(afc),
          guard_(guard),
          displayName_(app.appDisplayName()),
          bundleName_(app.appBundleName()),
          found_(found),
          result_(result) {}

    // False once the walk must end.
    bool walk(const std::string& folder, int depth) {
        const auto names = afc_.ReadDirectory(folder.empty() ? std::string("/") : folder);
        if (!names) {
            guard_.checkGone();
            return !guard_.deviceGone();
        }
        for (const std::string& name : *names) {
            if (guard_.stopRequested()) {
                return false;
            }
            if (!isValidFileName(name)) {
                continue;
            }
            const std::string path = folder + "/" + name;
            const auto info = afc_.GetFileKindAndSize(path);
            if (!info) {
                continue;
            }
            if (info->kind == "S_IFDIR") {
                ++result_.folders;
                add(path + "/", "DIR", QString());
                if (depth + 1 < kMaxContainerDepth && !walk(path, depth + 1)) {
                    return false;
                }
            } else if (info->kind == "S_IFREG") {
                ++result_.files;
                add(path, "FILE", shell::size_to_unit(info->size).trimmed());
            }
        }
        return true;
    }

    void flush() {
        if (!batch_.empty()) {
            found_(std::exchange(batch_, {}));
        }
    }

  private:
    void add(const std::string& path, const char* type, const QString& size) {
        auto record = std::make_shared<PRAppDirTreeNode>();
        record->setDevicePath(path);  // the text too
        record->setFileType(QLatin1String(type));
        record->setFileSize(size);
        record->setAppDisplayName(displayName_);
        record->setAppBundleName(bundleName_);
        batch_.push_back(std::move(record));
        if (batch_.size() >= kWalkBatch) {
            flush();
        }
    }

    amd::AfcService& afc_;
    cleanup::CleanRunGuard& guard_;
    QString displayName_;
    QString bundleName_;
    const std::function<void(std::vector<AppRecord>)>& found_;
    ContainerWalkResult& result_;
    std::vector<AppRecord> batch_;
};

}  // namespace

AppListResult listTransferApps(const amd::DeviceTarget& target, const AppStopCheck& stop) {
    AppListResult result;
    filemanager::AppScanResult scan = filemanager::scanDeviceApps(target, stop, {});
    result.status = fromScan(scan.status);
    if (result.status != AppLoadStatus::Done) {
        result.message = result.status == AppLoadStatus::DeviceGone
                             ? kGoneText
                             : filemanager::storageScanStatusText(scan.status);
        return result;
    }
    for (auto& app : scan.userApps) {
        app->setAppBundleName(app->appBundleId());
        app->setDevicePath("/");
        app->setFileType(QStringLiteral("DIR"));
        result.apps.push_back(std::move(app));
    }
    return result;
}

ContainerWalkResult walkAppContainer(const amd::DeviceTarget& target, const PRAppDirTreeNode& app,
                                     const AppStopCheck& stop,
                                     const std::function<void(std::vector<AppRecord>)>& found) {
    ContainerWalkResult result;
    cleanup::CleanRunGuard guard(target, stop);
    const auto ended = [&guard, &result] {
        guard.checkGone();
        result.status = guard.deviceGone() ? AppLoadStatus::DeviceGone : AppLoadStatus::Stopped;
        result.message = guard.deviceGone() ? QStringLiteral(
                                                  "The device went away before the app's files "
                                                  "were read.")
                                            : QString();
        return result;
    };
    const std::string bundleId = app.appBundleName().toStdString();
    if (!isValidBundleId(bundleId)) {
        result.status = AppLoadStatus::Refused;
        result.message =
            QString::fromStdString(amd::ContainerRefusalText(amd::DeviceCode::ContainerRefused));
        return result;
    }
    if (guard.stopRequested()) {
        return ended();
    }
    int code = 0;
    const std::unique_ptr<amd::AfcService> afc = cleanup::openGroupService(guard, bundleId, &code);
    if (guard.deviceGone()) {
        return ended();
    }
    if (!afc || code != 0) {
        result.status = AppLoadStatus::Refused;
        result.message = QString::fromStdString(amd::ContainerRefusalText(code));
        return result;
    }
    ContainerWalk walk(*afc, guard, app, found, result);
    const bool whole = walk.walk(std::string(), 0);
    walk.flush();
    if (!whole || guard.stopRequested()) {
        return ended();
    }
    return result;
}

}  // namespace nimbara::transfer
