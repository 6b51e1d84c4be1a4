#include "filemanager/storage_export.h"

#include <QDebug>

#include <memory>
#include <optional>
#include <system_error>
#include <utility>

#include "backup/writers/export_file.h"
#include "cleanup/clean_export.h"
#include "cleanup/clean_removal_paths.h"
#include "cleanup/device_export_copy.h"
#include "cleanup/device_walk.h"
#include "device/afc_service.h"
#include "platform/device_path.h"
#include "platform/log_categories.h"
#include "ui/core/app_tree_nodes.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

namespace fs = std::filesystem;
using cleanup::CleanRunStatus;

namespace {

// How many numbered names a new folder tries.
constexpr int kMaxFolderNumber = 10000;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// A new folder directly in `root` named `name`, "name (2)", ...: never one that exists.
std::optional<fs::path> claimFolder(const fs::path& root, const std::string& name,
                                    std::string* why) {
    for (int number = 1; number <= kMaxFolderNumber; ++number) {
        const std::string candidate = fittedFileName(
            name, number == 1 ? std::string() : " (" + std::to_string(number) + ")", {});
        const fs::path path = root / candidate;
        std::error_code ec;
        if (fs::exists(fs::symlink_status(path, ec))) {
            continue;
        }
        if (fs::create_directory(path, ec)) {
            return path;
        }
        if (ec && ec != std::errc::file_exists) {
            *why = ec.message();
            return std::nullopt;
        }
    }
    *why = "no free name";
    return std::nullopt;
}

// One export run: the report, the guard of its device and its single connection.
class ExportRun {
  public:
    ExportRun(const StorageTarget& target, const StorageStopCheck& stop, std::size_t items)
        : guard_(target, stop) {
        report_.items.resize(items);
    }

    // The export folder, made when missing; false (reported) when it can't be used.
    bool prepare(const fs::path& folder) {
        report_.folder = folder;
        std::error_code ec;
        const auto root = cleanup::prepareExportFolder(folder, ec);
        if (!root) {
            report_.status = CleanRunStatus::DoneWithFailures;
            report_.message = cleanup::unusableExportFolderText(ec);
            report_.failures.push_back({0, folder.string(), -1, report_.message});
            return false;
        }
        root_ = *root;
        report_.folder = root_;
        return true;
    }

    // The media root, or the container of `bundleId`; bound once, on first need. Null (with the
    // failure noted) when it can't be bound.
    amd::AfcService* service(const std::string& bundleId = {}) {
        if (!bindTried_) {
            bindTried_ = true;
            afc_ = cleanup::openGroupService(guard_, bundleId, &bindCode_);
            if (bindCode_ != 0) {
                afc_.reset();
            }
        }
        return afc_.get();
    }
    int bindCode() const { return bindCode_; }

    bool stopRequested() { return guard_.stopRequested(); }
    bool deviceGone() const { return guard_.deviceGone(); }

    void fail(std::size_t index, const std::string& path, int code, const QString& reason) {
        report_.failures.push_back({index, path, code, reason});
        StorageItemResult& result = report_.items[index];
        if (result.outcome == StorageOutcome::NotTried || result.outcome == StorageOutcome::Done) {
            result.outcome = StorageOutcome::Failed;
            result.code = code;
            result.reason = reason;
        }
        qCWarning(lcFileManager).noquote()
            << "Storage export:" << qs(path) << "(" << code << "):" << reason;
    }

    void copied(std::size_t index, std::uint64_t bytes) {
        report_.items[index].bytes = ui::addSaturating(report_.items[index].bytes, bytes);
        report_.bytes = ui::addSaturating(report_.bytes, bytes);
    }

    // The copy of item `index`'s device files: hidden names lose their dots.
    cleanup::DeviceExportCopy copier(amd::AfcService& afc, std::size_t index) {
        return cleanup::DeviceExportCopy(
            &afc, guard_, root_, cleanup::HiddenNameRule::DropLeadingDots,
            [this, index](const std::string& path, int code, const QString& reason) {
                fail(index, path, code, reason);
            },
            [this, index](const fs::path& file, std::uint64_t bytes) {
                if (report_.items[index].written.empty()) {
                    report_.items[index].written = file;
                }
                copied(index, bytes);
            });
    }

    // A folder item: a new folder in the export folder, then the device folder's contents.
    void copyFolderItem(amd::AfcService& afc, std::size_t index, const std::string& deviceFolder,
                        const std::string& name) {
        std::string why;
        const auto folder = claimFolder(root_, localComponentName(name), &why);
        if (!folder) {
            fail(index, deviceFolder, -1,
                 QStringLiteral("The folder for the copy could not be made: %1").arg(qs(why)));
            return;
        }
        report_.items[index].written = *folder;
        copier(afc, index).copyTree(deviceFolder, {folder->filename().string()});
    }

    const fs::path& root() const { return root_; }

    StorageReport finish(bool empty, const QString& what) {
        bool anyFailure = !report_.failures.empty();
        for (const StorageItemResult& item : report_.items) {
            anyFailure = anyFailure || item.outcome == StorageOutcome::Failed ||
                         item.outcome == StorageOutcome::Gone;
        }
        report_.status = guard_.finalStatus(empty, anyFailure);
        const std::size_t done = report_.count(StorageOutcome::Done);
        const QString copied = QStringLiteral("%1 %2 (%3)")
                                   .arg(done)
                                   .arg(what)
                                   .arg(shell::size_to_unit(report_.bytes).trimmed());
        report_.message = cleanup::exportRunMessage(report_.status, copied, done == 0);
        return std::move(report_);
    }

    StorageReport& report() { return report_; }

  private:
    cleanup::CleanRunGuard guard_;
    StorageReport report_;
    fs::path root_;
    std::unique_ptr<amd::AfcService> afc_;
    bool bindTried_ = false;
    int bindCode_ = 0;
};

// The name an item's copy gets.
std::string exportNameOf(const StorageItem& item) {
    if (!item.exportName.empty()) {
        return item.exportName;
    }
    return localComponentName(cleanup::lastPathComponent(item.devicePath));
}

bool hasLocalCopy(const StorageItem& item) {
    std::error_code ec;
    return !item.localCopy.empty() && fs::is_regular_file(fs::symlink_status(item.localCopy, ec));
}

}  // namespace

std::string localComponentName(const std::string& deviceName) {
    return cleanup::localDeviceName(deviceName, cleanup::HiddenNameRule::DropLeadingDots);
}

StorageReport exportStorageItems(const StorageTarget& target, const std::vector<StorageItem>& items,
                                 const fs::path& exportFolder, const StorageProgressSink& progress,
                                 const StorageStopCheck& stop) {
    ExportRun run(target, stop, items.size());
    if (!run.prepare(exportFolder)) {
        return std::move(run.report());
    }
    std::size_t handled = 0;
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (run.stopRequested()) {
            break;
        }
        const StorageItem& item = items[index];
        StorageItemResult& result = run.report().items[index];
        if (item.folder || !hasLocalCopy(item)) {
            const auto parts = cleanup::plainComponents(item.devicePath);
            if (!parts || parts->empty()) {
                run.fail(index, item.devicePath, -1,
                         QStringLiteral("The item has no plain device path."));
                result.outcome = StorageOutcome::Kept;
            } else if (amd::AfcService* afc = run.service()) {
                const auto info = afc->GetFileKindAndSize(item.devicePath);
                if (!info) {
                    result.outcome = StorageOutcome::Gone;
                    result.reason = QStringLiteral("The item is no longer on the device.");
                } else if (item.folder && info->kind == "S_IFDIR") {
                    result.outcome = StorageOutcome::Done;
                    run.copyFolderItem(*afc, index, item.devicePath,
                                       cleanup::lastPathComponent(item.devicePath));
                } else if (!item.folder && info->kind == "S_IFREG") {
                    result.outcome = StorageOutcome::Done;
                    run.copier(*afc, index)
                        .copyFile(item.devicePath, run.root(), exportNameOf(item));
                } else {
                    run.fail(index, item.devicePath, -1,
                             QStringLiteral("The item is not what was listed."));
                }
            } else if (!run.deviceGone()) {
                run.fail(index, item.devicePath, run.bindCode(),
                         QStringLiteral("The device's files could not be reached."));
            }
        } else {
            result.outcome = StorageOutcome::Done;
            std::uint64_t bytes = 0;
            const backup::ExportWriteResult written = cleanup::exportLocalFileNamed(
                item.localCopy.string(), run.root(), qs(exportNameOf(item)),
                [&run] { return run.stopRequested(); }, &bytes);
            if (written) {
                result.written = written.path;
                run.copied(index, bytes);
            } else if (!run.stopRequested()) {
                run.fail(index, item.localCopy.string(), -1,
                         QStringLiteral("The copy failed: %1").arg(qs(written.error)));
            }
        }
        if (run.stopRequested() && result.outcome == StorageOutcome::Done) {
            if (result.written.empty()) {
                result.outcome = StorageOutcome::NotTried;  // stopped before anything was written
            } else if (item.folder) {
                result.outcome = StorageOutcome::Failed;
                result.reason = QStringLiteral("The copy of the folder stopped part-way.");
            }
        }
        if (run.deviceGone()) {
            break;
        }
        ++handled;
        if (progress) {
            progress({handled, items.size(), cleanup::cleanPercent(handled, items.size()),
                      run.report().bytes});
        }
    }
    return run.finish(items.empty(), QStringLiteral("item(s)"));
}

StorageReport exportAppContainer(const StorageTarget& target, const std::string& bundleId,
                                 const QString& displayName, const fs::path& exportFolder,
                                 const StorageStopCheck& stop) {
    ExportRun run(target, stop, 1);
    if (!run.prepare(exportFolder)) {
        return std::move(run.report());
    }
    StorageItemResult& result = run.report().items[0];
    if (!isValidBundleId(bundleId)) {
        run.fail(0, bundleId, -1, QStringLiteral("The app has no valid bundle identifier."));
        result.outcome = StorageOutcome::Kept;
        return run.finish(false, QStringLiteral("app(s)"));
    }
    if (!run.stopRequested()) {
        if (amd::AfcService* afc = run.service(bundleId)) {
            result.outcome = StorageOutcome::Done;
            const QString name = displayName.trimmed().isEmpty() ? qs(bundleId) : displayName;
            std::string why;
            const auto folder =
                claimFolder(run.root(), localComponentName(name.toStdString()), &why);
            if (!folder) {
                run.fail(
                    0, "/", -1,
                    QStringLiteral("The folder for the copy could not be made: %1").arg(qs(why)));
            } else {
                result.written = *folder;
                run.copier(*afc, 0).copyTree("/", {folder->filename().string()});
            }
        } else if (!run.deviceGone()) {
            run.fail(0, bundleId, run.bindCode(),
                     QStringLiteral("The app's files could not be reached."));
        }
    }
    if (run.deviceGone() && result.outcome == StorageOutcome::Done) {
        result.outcome = StorageOutcome::Failed;
        result.reason = QStringLiteral("The device was disconnected.");
    }
    return run.finish(false, QStringLiteral("app(s)"));
}

StorageReport exportAppContainer(const StorageTarget& target, const PRAppDirTreeNode& app,
                                 const fs::path& exportFolder, const StorageStopCheck& stop) {
    return exportAppContainer(target, app.appBundleId().toStdString(), app.appDisplayName(),
                              exportFolder, stop);
}

}  // namespace nimbara::filemanager
