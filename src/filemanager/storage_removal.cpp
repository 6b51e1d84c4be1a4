#include "filemanager/storage_removal.h"

#include <QDebug>

#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "cleanup/camera_roll.h"
#include "cleanup/clean_removal_paths.h"
#include "cleanup/protected_files.h"
#include "device/afc_service.h"
#include "device/app_service.h"
#include "platform/log_categories.h"
#include "ui/core/app_tree_nodes.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

using cleanup::CleanRunStatus;

namespace {

constexpr int kMaxDepth = 64;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

class RemovalRun {
  public:
    RemovalRun(const StorageTarget& target, const std::vector<StorageItem>& items,
               const StorageProgressSink& progress, const StorageStopCheck& stop)
        : guard_(target, stop), items_(items), progress_(progress) {
        report_.items.resize(items.size());
    }

    StorageReport run() {
        std::vector<std::size_t> camera;
        for (std::size_t index = 0; index < items_.size() && !guard_.stopRequested(); ++index) {
            switch (items_[index].kind) {
                case StorageKind::CameraRollPhoto:
                    camera.push_back(index);  // one camera-roll session for all of them
                    continue;
                case StorageKind::PhotoStreamPhoto:
                    settle(index, StorageOutcome::CannotRemove, 0,
                           QStringLiteral("Photo Stream photos can't be removed from the device "
                                          "here."));
                    continue;
                case StorageKind::PhotoLibraryPhoto:
                    settle(index, StorageOutcome::CannotRemove, 0,
                           QStringLiteral("Photos synced from a computer (Photo Library) can't "
                                          "be removed from the device here."));
                    continue;
                default:
                    removeOverAfc(index);
                    continue;
            }
        }
        if (!camera.empty() && !guard_.stopRequested()) {
            removeFromCameraRoll(camera);
        }
        return finish();
    }

  private:
    void settle(std::size_t index, StorageOutcome outcome, std::uint64_t bytes,
                const QString& reason = {}, int code = 0) {
        StorageItemResult& result = report_.items[index];
        result.outcome = outcome;
        result.bytes = bytes;
        result.reason = reason;
        result.code = code;
        report_.bytes = ui::addSaturating(report_.bytes, bytes);
        if (outcome == StorageOutcome::Failed || outcome == StorageOutcome::Kept) {
            report_.failures.push_back({index, items_[index].devicePath, code, reason});
            qCWarning(lcFileManager).noquote() << "Storage removal:" << qs(items_[index].devicePath)
                                               << "(" << code << "):" << reason;
        }
        ++handled_;
        if (progress_) {
            progress_({handled_, items_.size(), cleanup::cleanPercent(handled_, items_.size()),
                       report_.bytes});
        }
    }

    amd::AfcService* mediaService() {
        if (!bindTried_) {
            bindTried_ = true;
            afc_ = cleanup::openGroupService(guard_, {}, &bindCode_);
            if (bindCode_ != 0) {
                afc_.reset();
            }
        }
        return afc_.get();
    }

    void removeOverAfc(std::size_t index) {
        const StorageItem& item = items_[index];
        if (!cleanup::plainComponents(item.devicePath) || item.devicePath == "/") {
            settle(index, StorageOutcome::Kept, 0,
                   QStringLiteral("The item has no plain device path."), -1);
            return;
        }
        amd::AfcService* afc = mediaService();
        if (afc == nullptr) {
            if (!guard_.deviceGone()) {
                settle(index, StorageOutcome::Failed, 0,
                       QStringLiteral("The device's files could not be reached."), bindCode_);
            }
            return;
        }
        if (guard_.stopRequested()) {
            return;
        }
        if (item.folder) {
            removeFolder(*afc, index);
            return;
        }
        const cleanup::DeviceFileRemoval removal =
            cleanup::removeDeviceFile(*afc, item.devicePath, true);
        if (removal.outcome == cleanup::CleanItemOutcome::Failed) {
            guard_.checkGone();
            if (guard_.deviceGone()) {
                return;  // not tried: the device went away
            }
        }
        switch (removal.outcome) {
            case cleanup::CleanItemOutcome::Removed:
                settle(index, StorageOutcome::Done, removal.bytes);
                return;
            case cleanup::CleanItemOutcome::Gone:
                settle(index, StorageOutcome::Gone, 0,
                       QStringLiteral("The item was no longer on the device."));
                return;
            case cleanup::CleanItemOutcome::Kept:
                settle(index, StorageOutcome::Kept, 0, removal.reason, removal.code);
                return;
            case cleanup::CleanItemOutcome::Failed:
            case cleanup::CleanItemOutcome::NotTried:
                settle(index, StorageOutcome::Failed, 0,
                       QStringLiteral("The device refused to remove it."), removal.code);
                return;
        }
    }

    // A book stored as a folder: everything below it, then the folder.
    void removeFolder(amd::AfcService& afc, std::size_t index) {
        const StorageItem& item = items_[index];
        const auto info = afc.GetFileKindAndSize(item.devicePath);
        if (!info) {
            guard_.checkGone();
            if (!guard_.deviceGone()) {
                settle(index, StorageOutcome::Gone, 0,
                       QStringLiteral("The item was no longer on the device."));
            }
            return;
        }
        if (info->kind != "S_IFDIR") {
            settle(index, StorageOutcome::Kept, 0,
                   QStringLiteral("This is not the folder that was found."), -1);
            return;
        }
        std::uint64_t bytes = 0;
        int code = 0;
        const bool complete = removeTree(afc, item.devicePath, 0, &bytes, &code);
        if (guard_.deviceGone() || (guard_.cancelled() && !complete)) {
            // What went is counted; the item stays listed.
            report_.bytes = ui::addSaturating(report_.bytes, bytes);
            report_.items[index].bytes = bytes;
            return;
        }
        if (complete) {
            settle(index, StorageOutcome::Done, bytes);
        } else {
            settle(index, StorageOutcome::Failed, bytes,
                   QStringLiteral("Part of the folder could not be removed."), code);
        }
    }

    // True when `folder` and everything below it went; `bytes` gets the removed files' sizes.
    bool removeTree(amd::AfcService& afc, const std::string& folder, int depth,
                    std::uint64_t* bytes, int* code) {
        const auto names = afc.ReadDirectory(folder);
        if (!names) {
            *code = 1;
            return false;
        }
        bool complete = true;
        for (const std::string& name : *names) {
            if (guard_.stopRequested()) {
                return false;
            }
            if (!isValidFileName(name)) {
                complete = false;
                continue;
            }
            const std::string path = folder + "/" + name;
            const auto info = afc.GetFileKindAndSize(path);
            if (!info) {
                continue;  // gone meanwhile
            }
            if (info->kind == "S_IFDIR") {
                complete =
                    depth < kMaxDepth && removeTree(afc, path, depth + 1, bytes, code) && complete;
                continue;
            }
            if (cleanup::isProtectedDeviceFile(path)) {
                complete = false;
                continue;
            }
            const int rc = afc.RemovePath(path);
            if (rc == 0) {
                *bytes = ui::addSaturating(*bytes, info->kind == "S_IFREG" ? info->size : 0);
            } else {
                complete = false;
                *code = rc;
            }
        }
        if (!complete || guard_.stopRequested()) {
            return false;
        }
        const int rc = afc.RemovePath(folder);
        if (rc != 0) {
            *code = rc;
            return false;
        }
        return true;
    }

    void removeFromCameraRoll(const std::vector<std::size_t>& indexes) {
        const StorageTarget& target = guard_.target();
        cleanup::DeviceCameraRoll roll(target.deviceIndex, target.deviceSerial);
        cleanup::CameraRollResult opened = cleanup::CameraRollResult::NotOpen;
        std::map<std::string, cleanup::CameraRollItem> listed;
        roll.openSession([&](cleanup::CameraRollResult result,
                             const std::vector<cleanup::CameraRollItem>& items) {
            opened = result;
            for (const cleanup::CameraRollItem& item : items) {
                listed.emplace(item.devicePath, item);
            }
        });
        if (opened != cleanup::CameraRollResult::Ok) {
            guard_.checkGone();
            if (!guard_.deviceGone()) {
                for (const std::size_t index : indexes) {
                    settle(index, StorageOutcome::Failed, 0,
                           QString::fromUtf8(cleanup::cameraRollResultText(opened)), 1);
                }
            }
            return;
        }
        std::vector<cleanup::CameraRollItem> requested;
        std::map<std::string, std::size_t> indexOf;
        for (const std::size_t index : indexes) {
            const std::string& path = items_[index].devicePath;
            const auto it = listed.find(path);
            if (it == listed.end()) {
                notListed(index);
            } else if (indexOf.emplace(path, index).second) {
                requested.push_back(it->second);
            } else {
                settle(index, StorageOutcome::Kept, 0,
                       QStringLiteral("The same photo was chosen twice."), -1);
            }
        }
        if (requested.empty() || guard_.stopRequested()) {
            return;
        }
        roll.deleteItems(requested, [&](const cleanup::CameraRollDeletion& outcome) {
            for (const cleanup::CameraRollItem& item : outcome.deleted) {
                settle(indexOf.at(item.devicePath), StorageOutcome::Done, item.size);
            }
            for (const cleanup::CameraRollFailure& failure : outcome.failed) {
                settle(indexOf.at(failure.item.devicePath), StorageOutcome::Failed, 0,
                       QStringLiteral("The device refused to remove it."), failure.code);
            }
            if (outcome.result == cleanup::CameraRollResult::DeviceGone) {
                guard_.checkGone();
                return;  // the rest stays not tried
            }
            for (const cleanup::CameraRollItem& item : outcome.notTried) {
                settle(indexOf.at(item.devicePath), StorageOutcome::Kept, 0,
                       QStringLiteral("Kept: the device itself needs this file."), -1);
            }
        });
    }

    // A photo of a camera folder that the camera roll doesn't list: gone, or a file that is not
    // a picture or movie of the camera (a sidecar, a folder).
    void notListed(std::size_t index) {
        amd::AfcService* afc = mediaService();
        const bool there =
            afc != nullptr && afc->GetFileKindAndSize(items_[index].devicePath).has_value();
        guard_.checkGone();
        if (guard_.deviceGone()) {
            return;
        }
        if (afc != nullptr && !there) {
            settle(index, StorageOutcome::Gone, 0,
                   QStringLiteral("The item was no longer on the device."));
        } else {
            settle(index, StorageOutcome::Kept, 0,
                   QStringLiteral("The camera roll doesn't list this item, so it was kept."), -1);
        }
    }

    StorageReport finish() {
        const std::size_t failed =
            report_.count(StorageOutcome::Failed) + report_.count(StorageOutcome::Kept);
        const std::size_t cannot = report_.count(StorageOutcome::CannotRemove);
        report_.status = guard_.finalStatus(items_.empty(), failed + cannot > 0);
        const std::size_t removed = report_.count(StorageOutcome::Done);
        const QString freed = shell::size_to_unit(report_.bytes).trimmed();
        switch (report_.status) {
            case CleanRunStatus::Done:
                report_.message =
                    QStringLiteral("%1 item(s) removed, %2 freed.").arg(removed).arg(freed);
                break;
            case CleanRunStatus::DoneWithFailures:
                report_.message =
                    QStringLiteral("%1 item(s) removed, %2 freed.").arg(removed).arg(freed);
                if (failed > 0) {
                    report_.message +=
                        QStringLiteral(" %1 item(s) could not be removed.").arg(failed);
                }
                if (cannot > 0) {
                    report_.message += QStringLiteral(
                                           " %1 Photo Stream or Photo Library item(s) can't be "
                                           "removed from the device here.")
                                           .arg(cannot);
                }
                break;
            case CleanRunStatus::NothingToDo:
                report_.message = QStringLiteral("There was nothing to remove.");
                break;
            case CleanRunStatus::DeviceGone:
                report_.message = QStringLiteral(
                                      "The device was disconnected; the removal stopped after %1 "
                                      "item(s), %2 freed.")
                                      .arg(removed)
                                      .arg(freed);
                break;
            case CleanRunStatus::Cancelled:
                report_.message = QStringLiteral(
                                      "The removal was stopped after %1 item(s), %2 "
                                      "freed.")
                                      .arg(removed)
                                      .arg(freed);
                break;
        }
        return std::move(report_);
    }

    cleanup::CleanRunGuard guard_;
    const std::vector<StorageItem>& items_;
    const StorageProgressSink& progress_;
    StorageReport report_;
    std::unique_ptr<amd::AfcService> afc_;
    bool bindTried_ = false;
    int bindCode_ = 0;
    std::size_t handled_ = 0;
};

}  // namespace

StorageReport removeStorageItems(const StorageTarget& target, const std::vector<StorageItem>& items,
                                 const StorageProgressSink& progress,
                                 const StorageStopCheck& stop) {
    return RemovalRun(target, items, progress, stop).run();
}

StorageReport uninstallApp(const StorageTarget& target, const std::string& bundleId,
                           const QString& displayName, std::uint64_t bytes,
                           const StorageStopCheck& stop) {
    StorageReport report;
    report.items.resize(1);
    StorageItemResult& result = report.items[0];
    cleanup::CleanRunGuard guard(target, stop);
    const QString name = displayName.isEmpty() ? qs(bundleId) : displayName;
    if (!isValidBundleId(bundleId)) {
        result.outcome = StorageOutcome::Kept;
        result.code = -1;
        result.reason = QStringLiteral("The app has no valid bundle identifier.");
    } else if (!guard.stopRequested()) {
        amd::AppService service;
        int code = service.Init(target.deviceIndex);
        guard.checkGone();
        if (code == 0 && !guard.deviceGone()) {
            code = service.UninstallApplication(bundleId, [](const PlistValue&) {});
            guard.checkGone();
        }
        if (code == 0) {
            result.outcome = StorageOutcome::Done;
            result.bytes = bytes;
            report.bytes = bytes;
        } else if (!guard.deviceGone()) {
            result.outcome = StorageOutcome::Failed;
            result.code = code;
            result.reason = QStringLiteral("The device did not uninstall the app.");
        }
    }
    if (result.outcome != StorageOutcome::NotTried && result.outcome != StorageOutcome::Done) {
        report.failures.push_back({0, bundleId, result.code, result.reason});
    }
    report.status = guard.finalStatus(false, result.outcome != StorageOutcome::Done);
    if (result.outcome == StorageOutcome::Done) {
        report.status = CleanRunStatus::Done;  // the app went, whatever happened after
        report.message = QStringLiteral("%1 was uninstalled.").arg(name);
    } else if (report.status == CleanRunStatus::DeviceGone) {
        report.message =
            QStringLiteral("The device was disconnected; %1 was not uninstalled.").arg(name);
    } else if (report.status == CleanRunStatus::Cancelled) {
        report.message = QStringLiteral("%1 was not uninstalled.").arg(name);
    } else {
        report.message = QStringLiteral("%1 could not be uninstalled (the device answered %2).")
                             .arg(name)
                             .arg(result.code);
    }
    return report;
}

StorageReport uninstallApp(const StorageTarget& target, const PRAppDirTreeNode& app,
                           const StorageStopCheck& stop) {
    return uninstallApp(target, app.appBundleId().toStdString(), app.appDisplayName(),
                        app.totalAppSizeNumber(), stop);
}

QString removeQuestionText() {
    return QStringLiteral(
        "Are you sure you want to permanently delete the selected file(s) from your device?");
}

QString removeBooksCautionText() {
    return QStringLiteral(
        "CAUTION: Only advanced users should delete files. Because device databases manage many "
        "files types, includes photos and videos, deleting files may lead to unexpected "
        "results.");
}

QString uninstallQuestionText(const QString& displayName) {
    return QStringLiteral(
               "Are you sure you want to permanently uninstall the %1.app from your "
               "device?")
        .arg(displayName);
}

}  // namespace nimbara::filemanager
