#include "cleanup/clean_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDebug>
#include <QFile>
#include <QLocale>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "backup/writers/export_file.h"
#include "cleanup/clean_removal_paths.h"
#include "cleanup/removal_texts.h"
#include "device/afc_service.h"
#include "device/crash_report_service.h"
#include "platform/log_categories.h"
#include "platform/partial_file.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

template <class Service>
backup::ExportWriteResult exportDeviceFile(Service& service, const std::string& devicePath,
                                           const fs::path& into, const std::function<bool()>& stop,
                                           std::uint64_t* copied) {
    const std::string name = devicePath.substr(devicePath.rfind('/') + 1);
    return exportDeviceFileNamed(service, devicePath, into, qs(name), stop, copied);
}

template <class Service>
backup::ExportWriteResult exportDeviceFileNamed(Service& service, const std::string& devicePath,
                                                const fs::path& into, const QString& fileName,
                                                const std::function<bool()>& stop,
                                                std::uint64_t* copied) {
    *copied = 0;
    const backup::ExportNameParts parts = backup::exportNameParts(fileName);
    const auto fill = [&](PartialFile& file, std::string* why) {
        std::unique_ptr<md::AfcFile> source = service.OpenFile(devicePath, md::AfcMode::Read);
        if (!source) {
            *why = "the device file could not be opened";
            return false;
        }
        std::vector<std::uint8_t> buffer(kCopyChunk);
        for (;;) {
            if (stop && stop()) {
                *why = "stopped";
                service.CloseFile(source);
                return false;
            }
            std::size_t length = buffer.size();
            if (source->read(buffer.data(), length) != 0) {
                *why = "the device file could not be read";
                service.CloseFile(source);
                return false;
            }
            if (length == 0) {
                break;
            }
            if (!file.write(buffer.data(), length)) {
                service.CloseFile(source);
                return false;
            }
            *copied += length;
        }
        service.CloseFile(source);
        return true;
    };
    return backup::writeExportFile(into, parts.stem, parts.extension, fill,
                                   QStringLiteral("Untitled"));
}

template backup::ExportWriteResult exportDeviceFileNamed<amd::AfcService>(
    amd::AfcService&, const std::string&, const fs::path&, const QString&,
    const std::function<bool()>&, std::uint64_t*);
template backup::ExportWriteResult exportDeviceFile<amd::AfcService>(amd::AfcService&,
                                                                     const std::string&,
                                                                     const fs::path&,
                                                                     const std::function<bool()>&,
                                                                     std::uint64_t*);
template backup::ExportWriteResult exportDeviceFile<amd::CrashReportService>(
    amd::CrashReportService&, const std::string&, const fs::path&, const std::function<bool()>&,
    std::uint64_t*);

backup::ExportWriteResult exportLocalFileNamed(const std::string& localPath, const fs::path& into,
                                               const QString& fileName,
                                               const std::function<bool()>& stop,
                                               std::uint64_t* copied) {
    *copied = 0;
    const int fd = ::open(localPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        backup::ExportWriteResult result;
        result.error = "the local copy could not be read: " + std::string(std::strerror(errno));
        return result;
    }
    const backup::ExportNameParts parts = backup::exportNameParts(fileName);
    backup::ExportWriteResult result = backup::copyToExportFile(
        fd, into, parts.stem, parts.extension, QStringLiteral("Untitled"), stop);
    ::close(fd);
    if (result) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(result.path, ec);
        *copied = ec ? 0 : size;
    }
    return result;
}

std::optional<fs::path> prepareExportFolder(const fs::path& folder, std::error_code& ec) {
    ec.clear();
    if (folder.empty()) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    fs::create_directories(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    fs::path root = fs::canonical(folder, ec);
    if (!ec && !fs::is_directory(root, ec)) {
        ec = std::make_error_code(std::errc::not_a_directory);
    }
    if (ec) {
        return std::nullopt;
    }
    return root;
}

QString unusableExportFolderText(const std::error_code& ec) {
    return QStringLiteral("The export folder can't be used: %1").arg(qs(ec.message()));
}

QString exportRunMessage(CleanRunStatus status, const QString& copied, bool nothingCopied) {
    switch (status) {
        case CleanRunStatus::Done:
            return QStringLiteral("%1 exported.").arg(copied);
        case CleanRunStatus::DoneWithFailures:
            return nothingCopied
                       ? QStringLiteral("Nothing could be exported.")
                       : QStringLiteral("%1 exported; some files could not be copied.").arg(copied);
        case CleanRunStatus::NothingToDo:
            return QStringLiteral("There was nothing to export.");
        case CleanRunStatus::DeviceGone:
            return QStringLiteral("The device was disconnected; the export stopped after %1.")
                .arg(copied);
        case CleanRunStatus::Cancelled:
            return QStringLiteral("The export was stopped after %1.").arg(copied);
    }
    return QString();
}

QString cleanExportFolderName(const QDateTime& now) {
    const QDateTime local = now.toLocalTime();
    const QLocale c = QLocale::c();
    return QStringLiteral("Nimbara %1 - %2")
        .arg(c.toString(local.date(), QStringLiteral("yyyy-MM-dd")),
             c.toString(local.time(), QStringLiteral("HH.mm.ss")));
}

std::string CleanExportEngine::safeComponent(const std::string& name) {
    return localDeviceName(name, HiddenNameRule::Underscore);
}

CleanExportEngine::CleanExportEngine(CleanDeviceTarget target, std::vector<CleanItem> plan,
                                     fs::path folder, CleanExportLayout layout,
                                     ProgressSink progress, StopCheck stop)
    : guard_(target, std::move(stop)),
      plan_(std::move(plan)),
      folder_(std::move(folder)),
      layout_(layout),
      progress_(std::move(progress)) {}

CleanExportEngine::~CleanExportEngine() = default;

void CleanExportEngine::fail(std::size_t index, const std::string& path, int code,
                             const QString& reason) {
    report_.failures.push_back({index, path, code, reason});
    qCWarning(lcCleanup).noquote()
        << "Clean-up export:" << qs(path) << "(" << code << "):" << reason;
}

void CleanExportEngine::itemDone() {
    ++handled_;
    if (progress_) {
        progress_(
            {handled_, plan_.size(), cleanPercent(handled_, plan_.size()), report_.copiedBytes});
    }
}

void CleanExportEngine::wrote(const fs::path& file, std::uint64_t bytes) {
    report_.written.push_back(file);
    report_.copiedBytes = ui::addSaturating(report_.copiedBytes, bytes);
}

DeviceExportCopy CleanExportEngine::copier(amd::AfcService* afc, std::size_t index) {
    return DeviceExportCopy(
        afc, guard_, root_, HiddenNameRule::Underscore,
        [this, index](const std::string& path, int code, const QString& reason) {
            fail(index, path, code, reason);
        },
        [this](const fs::path& file, std::uint64_t bytes) { wrote(file, bytes); });
}

void CleanExportEngine::copyFile(DeviceExportCopy& copy, std::size_t index, amd::AfcService& afc,
                                 const std::string& devicePath, const fs::path& into) {
    const auto info = afc.GetFileKindAndSize(devicePath);
    if (!info) {
        fail(index, devicePath, -1, QStringLiteral("The file is no longer on the device."));
        return;
    }
    if (info->kind != "S_IFREG") {
        fail(index, devicePath, -1, QStringLiteral("This is not a regular file."));
        return;
    }
    copy.copyFile(devicePath, into);
}

void CleanExportEngine::copyLocal(std::size_t index, const std::string& localPath,
                                  const std::string& name, const fs::path& into) {
    std::uint64_t copied = 0;
    const backup::ExportWriteResult result = exportLocalFileNamed(
        localPath, into, qs(name), [this] { return guard_.stopRequested(); }, &copied);
    if (!result) {
        fail(index, localPath, -1, QStringLiteral("The copy failed: %1").arg(qs(result.error)));
        return;
    }
    wrote(result.path, copied);
}

void CleanExportEngine::exportItem(amd::AfcService* afc, std::size_t index) {
    const CleanItem& item = plan_[index];
    const auto parts = plainComponents(item.devicePath);
    if (!parts) {
        return;  // refused before: isActionableItem
    }
    const std::string name = parts->back();
    switch (item.kind) {
        case CleanItem::Kind::File:
        case CleanItem::Kind::MediaFile: {
            std::vector<std::string> where;
            if (layout_ == CleanExportLayout::PerApp && !item.bundleId.empty()) {
                where.push_back(item.bundleId);
            } else if (layout_ == CleanExportLayout::Mirror) {
                where.assign(parts->begin(), parts->end() - 1);
            }
            std::error_code ec;
            const bool local = !item.localCopy.empty() && fs::is_regular_file(item.localCopy, ec);
            if (!local && afc == nullptr) {
                return;  // reported when the connection failed
            }
            DeviceExportCopy copy = copier(afc, index);
            const auto into = copy.mirrorFolder(where);
            if (!into) {
                return;
            }
            if (local) {
                copyLocal(index, item.localCopy, name, *into);
            } else {
                copyFile(copy, index, *afc, item.devicePath, *into);
            }
            return;
        }
        case CleanItem::Kind::Folder:
        case CleanItem::Kind::AdCacheFolder:
        case CleanItem::Kind::CategoryContents:
            if (afc != nullptr) {
                copier(afc, index).copyMirroredTree(*parts);
            }
            return;
    }
    fail(index, item.devicePath, -1, QStringLiteral("Unknown kind of item."));
}

void CleanExportEngine::runGroup(const CleanItemGroup& group) {
    std::vector<std::size_t> todo;
    bool needsDevice = false;
    for (const std::size_t index : group.items) {
        QString why;
        if (isActionableItem(plan_[index], &why)) {
            todo.push_back(index);
            std::error_code ec;
            needsDevice = needsDevice || plan_[index].localCopy.empty() ||
                          !fs::is_regular_file(plan_[index].localCopy, ec);
        } else {
            fail(index, plan_[index].devicePath, -1, why);
            itemDone();
        }
    }
    if (todo.empty() || guard_.stopRequested()) {
        return;
    }
    std::unique_ptr<amd::AfcService> afc;
    if (needsDevice) {
        int code = 0;
        afc = openGroupService(guard_, group.bundleId, &code);
        if (guard_.deviceGone()) {
            return;
        }
        if (code != 0) {
            afc.reset();
            for (const std::size_t index : todo) {
                if (plan_[index].localCopy.empty()) {
                    fail(index, plan_[index].devicePath, code,
                         group.bundleId.empty()
                             ? QStringLiteral("The device's files could not be reached.")
                             : QStringLiteral("The app's files could not be reached."));
                }
            }
        }
    }
    for (const std::size_t index : todo) {
        if (guard_.stopRequested()) {
            return;
        }
        exportItem(afc.get(), index);
        itemDone();
    }
}

QString cleanExportMessage(CleanRunStatus status, std::size_t written, std::uint64_t copiedBytes) {
    const QString copied = QStringLiteral("%1 file(s) (%2)")
                               .arg(written)
                               .arg(shell::size_to_unit(copiedBytes).trimmed());
    return exportRunMessage(status, copied, written == 0);
}

QString exportOutcomeText(CleanRunStatus status, std::size_t written, std::uint64_t copiedBytes,
                          const QString& folder) {
    const QString exported = QStringLiteral("Exported %1 (%2) to %3")
                                 .arg(countText(written, "file", "files"),
                                      shell::size_to_unit(copiedBytes).trimmed(), folder);
    switch (status) {
        case CleanRunStatus::Done:
            return written == 0 ? QStringLiteral("There was nothing to export.")
                                : exported + QLatin1Char('.');
        case CleanRunStatus::DoneWithFailures:
            return written == 0 ? QStringLiteral("Nothing could be exported.")
                                : exported + QStringLiteral("; some files could not be copied.");
        case CleanRunStatus::NothingToDo:
            return QStringLiteral("There was nothing to export.");
        case CleanRunStatus::DeviceGone:
            return written == 0
                       ? QStringLiteral("The device was disconnected; nothing was exported.")
                       : QStringLiteral("The device was disconnected and the export stopped. ") +
                             exported + QLatin1Char('.');
        case CleanRunStatus::Cancelled:
            return written == 0
                       ? QStringLiteral("The export was stopped; nothing was exported.")
                       : QStringLiteral("The export was stopped. ") + exported + QLatin1Char('.');
    }
    return QString();
}

void CleanExportEngine::finish() {
    report_.status = guard_.finalStatus(plan_.empty(), !report_.failures.empty());
    report_.message = exportOutcomeText(report_.status, report_.written.size(), report_.copiedBytes,
                                        QFile::decodeName(root_.c_str()));
}

CleanExportReport CleanExportEngine::run() {
    if (ran_) {
        return report_;
    }
    ran_ = true;
    report_.folder = folder_;
    std::error_code ec;
    const std::optional<fs::path> root = prepareExportFolder(folder_, ec);
    if (!root) {
        report_.status = CleanRunStatus::DoneWithFailures;
        report_.message = unusableExportFolderText(ec);
        fail(0, folder_.string(), -1, report_.message);
        return report_;
    }
    root_ = *root;
    report_.folder = root_;
    for (const CleanItemGroup& group : groupByConnection(plan_)) {
        if (guard_.stopRequested()) {
            break;
        }
        runGroup(group);
    }
    finish();
    return report_;
}

}  // namespace nimbara::cleanup
