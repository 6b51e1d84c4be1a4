#include "filemanager/device_fs_actions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDebug>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>

#include "backup/writers/export_file.h"
#include "cleanup/clean_export.h"
#include "cleanup/clean_removal_paths.h"
#include "cleanup/device_export_copy.h"
#include "cleanup/device_walk.h"
#include "device/afc_service.h"
#include "device/device_status.h"
#include "platform/device_path.h"
#include "platform/log_categories.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

namespace fs = std::filesystem;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string childOf(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The AFC connection of a job to the media area (no bundle identifier) or to an app's container,
// or why there is none (the guard then knows whether the device went away).
std::unique_ptr<amd::AfcService> bindRoot(cleanup::CleanRunGuard& guard,
                                          const std::string& bundleId, int* code) {
    if (!bundleId.empty() && !isValidBundleId(bundleId)) {
        *code = amd::DeviceCode::ContainerRefused;  // never sent to the device
        return nullptr;
    }
    std::unique_ptr<amd::AfcService> afc = cleanup::openGroupService(guard, bundleId, code);
    if (guard.deviceGone() || *code != 0) {
        return nullptr;
    }
    return afc;
}

// What a local entry that is not a regular file is, for the refusal.
QString localKindText(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return QStringLiteral("a named pipe");
    }
    if (S_ISDIR(mode)) {
        return QStringLiteral("a folder");
    }
    if (S_ISSOCK(mode)) {
        return QStringLiteral("a socket");
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return QStringLiteral("a device");
    }
    return QStringLiteral("not a file");
}

QString unreachableText(const std::string& bundleId, int code) {
    if (!bundleId.empty()) {
        return QStringLiteral("The app's files could not be reached: %1")
            .arg(qs(amd::ContainerRefusalText(code)));
    }
    return QStringLiteral("The device's files could not be reached: %1")
        .arg(qs(amd::DeviceCodeText(code)));
}

// ------------------------------------------------------------------------------ export

class ExportRun {
  public:
    ExportRun(const DeviceFsRoot& root, const std::vector<FsExportItem>& plan, fs::path folder,
              FsExportLayout layout, const StopCheck& stop, const FsExportProgress& progress)
        : guard_(root.target, stop),
          bundleId_(root.bundleId),
          plan_(plan),
          layout_(layout),
          progress_(progress) {
        report_.folder = std::move(folder);
    }

    FsExportReport run() {
        std::error_code ec;
        const std::optional<fs::path> root = cleanup::prepareExportFolder(report_.folder, ec);
        if (!root) {
            report_.status = CleanRunStatus::DoneWithFailures;
            report_.message = cleanup::unusableExportFolderText(ec);
            fail(0, report_.folder.string(), -1, report_.message);
            return report_;
        }
        root_ = *root;
        report_.folder = root_;
        if (!plan_.empty() && !guard_.stopRequested()) {
            int code = 0;
            afc_ = bindRoot(guard_, bundleId_, &code);
            if (!afc_ && !guard_.deviceGone()) {
                fail(0, "/", code, unreachableText(bundleId_, code));
            }
            for (std::size_t i = 0; afc_ && i < plan_.size() && !guard_.stopRequested(); ++i) {
                exportItem(i);
            }
        }
        finish();
        return report_;
    }

  private:
    void fail(std::size_t index, const std::string& path, int code, const QString& reason) {
        report_.failures.push_back({index, path, code, reason});
        qCWarning(lcFileManager).noquote()
            << "Device files export:" << qs(path) << "(" << code << "):" << reason;
    }

    // The copy of item `index`'s device files: a hidden name loses its dot, as the tree shows it.
    cleanup::DeviceExportCopy copier(std::size_t index) {
        return cleanup::DeviceExportCopy(
            afc_.get(), guard_, root_, cleanup::HiddenNameRule::DropLeadingDot,
            [this, index](const std::string& path, int code, const QString& reason) {
                fail(index, path, code, reason);
            },
            [this](const fs::path& file, std::uint64_t bytes) {
                report_.written.push_back(file);
                report_.copiedBytes = ui::addSaturating(report_.copiedBytes, bytes);
                if (progress_) {
                    progress_(report_.written.size(), report_.copiedBytes);
                }
            });
    }

    void exportItem(std::size_t index) {
        const FsExportItem& item = plan_[index];
        if (item.folder && item.devicePath == "/" && layout_ == FsExportLayout::Mirror) {
            copier(index).copyMirroredTree({});  // everything in the root
            return;
        }
        const auto parts = cleanup::plainComponents(item.devicePath);
        if (!parts || parts->empty()) {
            fail(index, item.devicePath, -1,
                 QStringLiteral("The path is not a plain device path."));
            return;
        }
        const auto info = afc_->GetFileKindAndSize(item.devicePath);
        if (!info) {
            fail(index, item.devicePath, -1,
                 QStringLiteral("The entry is no longer on the device."));
            return;
        }
        if (info->kind == "S_IFDIR") {
            if (layout_ == FsExportLayout::Flat) {
                fail(index, item.devicePath, -1,
                     QStringLiteral("This is a folder: export it with its folder."));
                return;
            }
            copier(index).copyMirroredTree(*parts);
            return;
        }
        if (info->kind != "S_IFREG") {
            fail(index, item.devicePath, -1, QStringLiteral("This is not a regular file."));
            return;
        }
        cleanup::DeviceExportCopy copy = copier(index);
        if (layout_ == FsExportLayout::Flat) {
            copy.copyFile(item.devicePath, root_);
        } else if (const std::optional<fs::path> into =
                       copy.mirrorFolder({parts->begin(), parts->end() - 1})) {
            copy.copyFile(item.devicePath, *into);
        }
    }

    void finish() {
        report_.status = guard_.finalStatus(plan_.empty(), !report_.failures.empty());
        report_.message = cleanup::cleanExportMessage(report_.status, report_.written.size(),
                                                      report_.copiedBytes);
    }

    cleanup::CleanRunGuard guard_;
    std::string bundleId_;
    const std::vector<FsExportItem>& plan_;
    FsExportLayout layout_;
    const FsExportProgress& progress_;
    fs::path root_;
    std::unique_ptr<amd::AfcService> afc_;
    FsExportReport report_;
};

}  // namespace

std::string deviceParentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

std::string localNameOfDeviceName(const std::string& name) {
    return cleanup::localDeviceName(name, cleanup::HiddenNameRule::DropLeadingDot);
}

FsExportReport exportDeviceEntries(const DeviceFsRoot& root, const std::vector<FsExportItem>& plan,
                                   const fs::path& folder, FsExportLayout layout,
                                   const StopCheck& stop, const FsExportProgress& progress) {
    return ExportRun(root, plan, folder, layout, stop, progress).run();
}

FsExportReport exportDeviceEntries(CleanDeviceTarget target, const std::vector<FsExportItem>& plan,
                                   const fs::path& folder, FsExportLayout layout,
                                   const StopCheck& stop) {
    return exportDeviceEntries(DeviceFsRoot{target, {}}, plan, folder, layout, stop);
}

// ------------------------------------------------------------------------------ removal

FsRemovalReport removeDeviceEntries(CleanDeviceTarget target,
                                    const std::vector<FsRemovalItem>& plan, const StopCheck& stop) {
    return removeDeviceEntries(DeviceFsRoot{target, {}}, plan, stop);
}

FsRemovalReport removeDeviceEntries(const DeviceFsRoot& root,
                                    const std::vector<FsRemovalItem>& plan, const StopCheck& stop) {
    FsRemovalReport report;
    report.outcomes.assign(plan.size(), CleanItemOutcome::NotTried);
    cleanup::CleanRunGuard guard(root.target, stop);
    // Only the media area holds files the device itself needs.
    const bool mediaRoot = root.bundleId.empty();
    const auto fail = [&report](std::size_t index, const std::string& path, int code,
                                const QString& reason) {
        report.failures.push_back({index, path, code, reason});
        qCWarning(lcFileManager).noquote()
            << "Device files removal:" << qs(path) << "(" << code << "):" << reason;
    };
    std::unique_ptr<amd::AfcService> afc;
    if (!plan.empty() && !guard.stopRequested()) {
        int code = 0;
        afc = bindRoot(guard, root.bundleId, &code);
        if (!afc && !guard.deviceGone()) {
            for (std::size_t i = 0; i < plan.size(); ++i) {
                fail(i, plan[i].devicePath, code, unreachableText(root.bundleId, code));
                report.outcomes[i] = CleanItemOutcome::Failed;
            }
        }
    }
    for (std::size_t i = 0; afc && i < plan.size(); ++i) {
        if (guard.stopRequested()) {
            break;
        }
        const FsRemovalItem& item = plan[i];
        if (!cleanup::plainComponents(item.devicePath) || item.devicePath == "/") {
            fail(i, item.devicePath, -1, QStringLiteral("The path is not a plain device path."));
            report.outcomes[i] = CleanItemOutcome::Kept;
            continue;
        }
        if (!item.folder) {
            const cleanup::DeviceFileRemoval removal =
                cleanup::removeDeviceFile(*afc, item.devicePath, mediaRoot);
            report.outcomes[i] = removal.outcome;
            if (removal.outcome == CleanItemOutcome::Removed) {
                ++report.removedFiles;
                report.removedBytes = ui::addSaturating(report.removedBytes, removal.bytes);
            } else if (removal.outcome != CleanItemOutcome::Gone) {
                fail(i, item.devicePath, removal.code, removal.reason);
            }
            continue;
        }
        const auto info = afc->GetFileKindAndSize(item.devicePath);
        if (!info) {
            report.outcomes[i] = CleanItemOutcome::Gone;
            continue;
        }
        if (info->kind != "S_IFDIR") {
            report.outcomes[i] = CleanItemOutcome::Kept;
            fail(i, item.devicePath, -1, QStringLiteral("This is no longer a folder."));
            continue;
        }
        const int code = afc->RemovePath(item.devicePath);
        if (code != 0) {
            report.outcomes[i] = CleanItemOutcome::Failed;
            fail(i, item.devicePath, code,
                 QStringLiteral("The folder could not be removed: it is not empty, or the device "
                                "refused."));
            continue;
        }
        report.outcomes[i] = CleanItemOutcome::Removed;
        ++report.removedFiles;
    }
    report.status = guard.finalStatus(plan.empty(), !report.failures.empty());
    const QString removed = QStringLiteral("%1 item(s) deleted (%2)")
                                .arg(report.removedFiles)
                                .arg(shell::size_to_unit(report.removedBytes).trimmed());
    switch (report.status) {
        case CleanRunStatus::Done:
            report.message = QStringLiteral("%1.").arg(removed);
            break;
        case CleanRunStatus::DoneWithFailures:
            report.message = QStringLiteral("%1; %2 could not be deleted: %3")
                                 .arg(removed)
                                 .arg(report.failures.size())
                                 .arg(report.failures.front().reason);
            break;
        case CleanRunStatus::NothingToDo:
            report.message = QStringLiteral("Nothing was chosen to delete.");
            break;
        case CleanRunStatus::DeviceGone:
            report.message =
                QStringLiteral("The device was disconnected; %1 before it went.").arg(removed);
            break;
        case CleanRunStatus::Cancelled:
            report.message = QStringLiteral("Deleting was stopped; %1.").arg(removed);
            break;
    }
    return report;
}

// ------------------------------------------------------------------------------ upload

FsUploadReport uploadFileToDevice(CleanDeviceTarget target, const fs::path& localFile,
                                  const std::string& deviceFolder, bool allowReplace,
                                  const StopCheck& stop) {
    return uploadFileToDevice(DeviceFsRoot{target, {}}, localFile, deviceFolder, allowReplace,
                              stop);
}

FsUploadReport uploadFileToDevice(const DeviceFsRoot& root, const fs::path& localFile,
                                  const std::string& deviceFolder, bool allowReplace,
                                  const StopCheck& stop) {
    FsUploadReport report;
    const std::string name = localFile.filename().string();
    report.devicePath = childOf(deviceFolder, name);
    const auto refuse = [&report](FsUploadOutcome outcome, const QString& text) {
        report.outcome = outcome;
        report.message = text;
        return report;
    };
    if (!isValidFileName(name) || !cleanup::plainComponents(report.devicePath)) {
        return refuse(FsUploadOutcome::Refused,
                      QStringLiteral("This name can't be used on the device."));
    }
    // The local file first: one that can't be read changes nothing on the device. Only a regular
    // file is opened at all (opening a named pipe waits for a writer), and then without blocking.
    {
        struct stat st {};
        if (::stat(localFile.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            return refuse(FsUploadOutcome::LocalUnreadable,
                          QStringLiteral("Only a regular file can be added; \u201c%1\u201d is %2. "
                                         "Nothing on the device was changed.")
                              .arg(QString::fromStdString(name), localKindText(st.st_mode)));
        }
        const int fd = ::open(localFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const bool regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        const int error = fd < 0 ? errno : EINVAL;
        if (fd >= 0) {
            ::close(fd);
        }
        if (!regular) {
            return refuse(FsUploadOutcome::LocalUnreadable,
                          QStringLiteral("The file on the computer could not be read (%1); "
                                         "nothing on the device was changed.")
                              .arg(QString::fromUtf8(std::strerror(error))));
        }
    }
    cleanup::CleanRunGuard guard(root.target, {});
    int code = 0;
    const std::unique_ptr<amd::AfcService> afc = bindRoot(guard, root.bundleId, &code);
    if (!afc) {
        report.code = code;
        return guard.deviceGone()
                   ? refuse(FsUploadOutcome::DeviceGone, QStringLiteral("The device went away."))
                   : refuse(FsUploadOutcome::Failed, unreachableText(root.bundleId, code));
    }
    const auto folderInfo = afc->GetFileKindAndSize(deviceFolder);
    if (!folderInfo || folderInfo->kind != "S_IFDIR") {
        return refuse(FsUploadOutcome::Refused,
                      QStringLiteral("The folder is no longer on the device."));
    }
    const auto existing = afc->GetFileKindAndSize(report.devicePath);
    if (existing && existing->kind != "S_IFREG") {
        return refuse(FsUploadOutcome::Refused,
                      QStringLiteral("Something that is not a file has this name on the device."));
    }
    if (existing && !allowReplace) {
        return refuse(FsUploadOutcome::NeedsApproval,
                      QStringLiteral("A file of this name is already on the device."));
    }
    // A fresh temporary name beside the target.
    std::string temporary;
    for (int n = 1; n < 100 && temporary.empty(); ++n) {
        std::string candidate =
            childOf(deviceFolder,
                    ".nimbara-upload-" + std::to_string(::getpid()) + "-" + std::to_string(n));
        if (!afc->GetFileKindAndSize(candidate)) {
            temporary = std::move(candidate);
        }
    }
    if (temporary.empty()) {
        return refuse(FsUploadOutcome::Failed,
                      QStringLiteral("No temporary name was free on the device."));
    }
    if (afc->CopyFileToDevice(localFile.string(), temporary, stop) != 0) {
        // The copy removes what it began; the device's file of that name is untouched.
        if (stop && stop()) {
            return refuse(FsUploadOutcome::Failed,
                          QStringLiteral("Adding the file was stopped; nothing on the device was "
                                         "changed."));
        }
        guard.checkGone();
        return guard.deviceGone() ? refuse(FsUploadOutcome::DeviceGone,
                                           QStringLiteral("The device went away during the copy."))
                                  : refuse(FsUploadOutcome::Failed,
                                           QStringLiteral("The copy to the device failed."));
    }
    // A file that appeared meanwhile is never replaced unasked.
    if (!allowReplace && afc->GetFileKindAndSize(report.devicePath)) {
        afc->RemovePath(temporary);
        return refuse(FsUploadOutcome::NeedsApproval,
                      QStringLiteral("A file of this name is already on the device."));
    }
    const int renamed = afc->RenamePath(temporary, report.devicePath);
    if (renamed != 0) {
        afc->RemovePath(temporary);
        report.code = renamed;
        return refuse(FsUploadOutcome::Failed,
                      QStringLiteral("The device did not put the file in place: %1")
                          .arg(qs(amd::DeviceCodeText(renamed))));
    }
    const auto placed = afc->GetFileKindAndSize(report.devicePath);
    report.size = placed ? placed->size : 0;
    report.outcome = existing ? FsUploadOutcome::Replaced : FsUploadOutcome::Added;
    report.message = existing ? QStringLiteral("The file on the device was replaced.")
                              : QStringLiteral("The file was added to the device.");
    return report;
}

// ------------------------------------------------------------------------------ preview

FsPreviewCopy copyForPreview(CleanDeviceTarget target, const std::string& devicePath,
                             const fs::path& scratch, std::uint64_t sizeLimit,
                             const StopCheck& stop) {
    FsPreviewCopy copy;
    cleanup::CleanRunGuard guard(target, stop);
    const auto end = [&copy](FsPreviewStatus status, const QString& text) {
        copy.status = status;
        copy.message = text;
        return copy;
    };
    int code = 0;
    const std::unique_ptr<amd::AfcService> afc = bindRoot(guard, {}, &code);
    if (!afc) {
        return guard.deviceGone()
                   ? end(FsPreviewStatus::DeviceGone, QStringLiteral("The device went away."))
                   : end(FsPreviewStatus::Failed, unreachableText({}, code));
    }
    const auto info = afc->GetFileKindAndSize(devicePath);
    if (!info || info->kind != "S_IFREG") {
        return end(FsPreviewStatus::NotAFile, QString());
    }
    copy.size = info->size;
    if (info->size > sizeLimit) {
        return end(FsPreviewStatus::TooLarge,
                   QStringLiteral("This file is too large to preview (%1).")
                       .arg(shell::size_to_unit(info->size).trimmed()));
    }
    std::uint64_t copied = 0;
    const backup::ExportWriteResult written = cleanup::exportDeviceFileNamed(
        *afc, devicePath, scratch,
        qs(localNameOfDeviceName(cleanup::lastPathComponent(devicePath))),
        [&guard] { return guard.stopRequested(); }, &copied);
    if (!written) {
        if (guard.cancelled()) {
            return end(FsPreviewStatus::Cancelled, QString());
        }
        return guard.deviceGone()
                   ? end(FsPreviewStatus::DeviceGone, QStringLiteral("The device went away."))
                   : end(FsPreviewStatus::Failed,
                         QStringLiteral("The file could not be copied for its preview."));
    }
    copy.localPath = written.path;
    copy.status = FsPreviewStatus::Copied;
    return copy;
}

}  // namespace nimbara::filemanager
