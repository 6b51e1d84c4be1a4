#include "transfer/media_export.h"

#include <QDebug>
#include <QFile>

#include <memory>
#include <system_error>

#include "cleanup/clean_export.h"
#include "device/afc_service.h"
#include "device/device_status.h"
#include "platform/log_categories.h"
#include "transfer/ik_image_item.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/core/byte_arithmetic.h"

namespace nimbara::transfer {

namespace fs = std::filesystem;
using cleanup::CleanRunStatus;

namespace {

QString lastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

class MediaExportRun {
  public:
    MediaExportRun(amd::DeviceTarget device, const std::vector<MediaExportItem>& plan,
                   const MediaExportProgress& progress, const std::function<bool()>& stop)
        : guard_(device, stop), plan_(plan), progress_(progress) {
        report_.total = plan.size();
    }

    MediaExportReport run(const fs::path& folder) {
        report_.folder = folder;
        if (plan_.empty()) {
            report_.status = CleanRunStatus::NothingToDo;
            return report_;
        }
        std::error_code ec;
        const bool existed = fs::exists(folder, ec);
        const std::optional<fs::path> root = cleanup::prepareExportFolder(folder, ec);
        if (!root) {
            report_.status = CleanRunStatus::DoneWithFailures;
            report_.folderProblem = cleanup::unusableExportFolderText(ec);
            return report_;
        }
        root_ = *root;
        report_.folder = root_;
        for (std::size_t i = 0; i < plan_.size() && !guard_.stopRequested(); ++i) {
            exportItem(i);
            if (progress_) {
                progress_(i + 1, plan_.size());
            }
        }
        report_.status = guard_.finalStatus(false, !report_.failures.empty());
        if (!existed && report_.written.empty()) {
            fs::remove(root_, ec);  // the empty folder this export made; never anything in it
        }
        return report_;
    }

  private:
    void fail(std::size_t index, const QString& reason) {
        const QString name = plan_[index].name;
        report_.failures.push_back({index, name, reason});
        qCWarning(lcTransfer).noquote() << "Transfer export:" << name << ":" << reason;
    }

    // The device connection, opened on first use; null when it can't be (said once).
    amd::AfcService* device() {
        if (!afcTried_) {
            afcTried_ = true;
            afc_ = cleanup::openGroupService(guard_, {}, &afcCode_);
            if (afcCode_ != 0 || guard_.deviceGone()) {
                afc_.reset();
            }
        }
        return afc_.get();
    }

    void exportItem(std::size_t index) {
        const MediaExportItem& item = plan_[index];
        const QString name = item.name.isEmpty()
                                 ? lastComponent(QString::fromStdString(item.devicePath))
                                 : item.name;
        const auto stop = [this] { return guard_.stopRequested(); };
        std::uint64_t copied = 0;
        backup::ExportWriteResult written;
        std::error_code ec;
        if (!item.localCopy.empty() && fs::is_regular_file(item.localCopy, ec)) {
            written = cleanup::exportLocalFileNamed(item.localCopy, root_, name, stop, &copied);
        } else if (item.devicePath.empty()) {
            fail(index, QStringLiteral("it has no file on the device"));
            return;
        } else if (amd::AfcService* afc = device()) {
            written =
                cleanup::exportDeviceFileNamed(*afc, item.devicePath, root_, name, stop, &copied);
        } else {
            if (!guard_.deviceGone()) {
                fail(index, QStringLiteral("the device's files could not be reached (%1)")
                                .arg(QString::fromStdString(amd::DeviceCodeText(afcCode_))));
            }
            return;
        }
        if (written) {
            report_.written.push_back(written.path);
            report_.copiedBytes = ui::addSaturating(report_.copiedBytes, copied);
        } else if (!guard_.stopRequested()) {
            fail(index, exportWriteReason(written.error));
        }
    }

    cleanup::CleanRunGuard guard_;
    const std::vector<MediaExportItem>& plan_;
    const MediaExportProgress& progress_;
    fs::path root_;
    std::unique_ptr<amd::AfcService> afc_;
    bool afcTried_ = false;
    int afcCode_ = 0;
    MediaExportReport report_;
};

}  // namespace

MediaExportItem mediaExportItem(const PRTranMusicNode& track) {
    MediaExportItem item;
    item.name = QString::fromStdString(track.localFileName());
    if (track.bhasCopy()) {
        item.localCopy = track.bCopyLocationPath().toStdString();
    }
    item.devicePath = track.musicLoctionpath().toStdString();
    return item;
}

MediaExportItem mediaExportItem(const IKImageItem& photo) {
    MediaExportItem item;
    item.name = lastComponent(photo.filePath());
    if (photo.bhasCopy()) {
        item.localCopy = photo.hasCopy().toStdString();
    }
    item.devicePath = photo.filePath().toStdString();
    return item;
}

MediaExportReport exportMediaItems(amd::DeviceTarget device,
                                   const std::vector<MediaExportItem>& plan, const fs::path& folder,
                                   const MediaExportProgress& progress,
                                   const std::function<bool()>& stop) {
    return MediaExportRun(device, plan, progress, stop).run(folder);
}

QString exportWriteReason(const std::string& error) {
    // "<path>: <why>": the path is the writer's own file, of no use to the user.
    const std::size_t colon = error.rfind(": ");
    return QString::fromStdString(!error.empty() && error.front() == '/' &&
                                          colon != std::string::npos
                                      ? error.substr(colon + 2)
                                      : error);
}

QString mediaExportOutcomeText(const MediaExportReport& report) {
    if (!report.folderProblem.isEmpty()) {
        return report.folderProblem;
    }
    const QString folder = QFile::decodeName(report.folder.c_str());
    const std::size_t written = report.written.size();
    QString failed;
    if (!report.failures.empty()) {
        const MediaExportFailure& first = report.failures.front();
        failed = QStringLiteral("%1 of %2 files could not be exported: \"%3\": %4")
                     .arg(report.failures.size())
                     .arg(report.total)
                     .arg(first.name, first.reason);
        if (report.failures.size() > 1) {
            failed += QStringLiteral(" (and %1 more)").arg(report.failures.size() - 1);
        }
        failed += QLatin1Char('.');
    }
    switch (report.status) {
        case CleanRunStatus::Done:
        case CleanRunStatus::NothingToDo:
            return cleanup::exportOutcomeText(report.status, written, report.copiedBytes, folder);
        case CleanRunStatus::DoneWithFailures:
            return written == 0 ? failed
                                : failed + QLatin1Char(' ') +
                                      cleanup::exportOutcomeText(CleanRunStatus::Done, written,
                                                                 report.copiedBytes, folder);
        case CleanRunStatus::DeviceGone:
        case CleanRunStatus::Cancelled:
            break;
    }
    const QString ended =
        cleanup::exportOutcomeText(report.status, written, report.copiedBytes, folder);
    return failed.isEmpty() ? ended : ended + QLatin1Char(' ') + failed;
}

}  // namespace nimbara::transfer
