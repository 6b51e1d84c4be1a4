#include "transfer/one_copy_job.h"

#include <QDebug>
#include <QLocale>
#include <QOperatingSystemVersion>

#include <system_error>

#include "backup/writers/export_file.h"
#include "cleanup/clean_export.h"
#include "device/device_manager.h"
#include "platform/file_name_fit.h"
#include "platform/log_categories.h"
#include "transfer/one_copy_steps.h"
#include "transfer/transfer_records.h"

namespace nimbara::transfer {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxFolderNumber = 1000;

}  // namespace

namespace onecopy {

bool RunContext::deviceGone() {
    if (!gone_) {
        gone_ = device_.deviceIndex < 0 || device_.deviceSerial == 0 ||
                !amd::DeviceManager::GetInstance().IsAttached(device_.deviceIndex,
                                                              device_.deviceSerial);
    }
    return gone_;
}

std::optional<fs::path> RunContext::folder(const char* name, std::string* why) {
    return backup::makeFolderInside(runFolder_, {name}, why);
}

void RunContext::failed(OneCopyRowEnd& end, const QString& item, const std::string& error) const {
    // A write's error reads "<file in the run's folder>: <reason>": the reason is what tells.
    std::string reason = error;
    const std::string prefix = runFolder_.string() + "/";
    if (error.compare(0, prefix.size(), prefix) == 0) {
        const std::size_t colon = error.find(": ", prefix.size());
        if (colon != std::string::npos) {
            reason = error.substr(colon + 2);
        }
    }
    end.addFailure(item, QString::fromStdString(reason));
    qCWarning(lcTransfer).noquote()
        << "One-click copy:" << item << "could not be copied:" << QString::fromStdString(error);
}

}  // namespace onecopy

void OneCopyRowEnd::addFailure(const QString& item, const QString& reason) {
    ++failures;
    if (failed.size() < kMaxListed) {
        failed.push_back({item, reason});
    }
}

QString oneCopyFailureText(const OneCopyRowEnd& end) {
    if (end.failures == 0) {
        return {};
    }
    const std::size_t tried = end.items + end.failures;
    return QStringLiteral("%1 of %2 %3 could not be copied.")
        .arg(end.failures)
        .arg(tried)
        .arg(tried == 1 ? QStringLiteral("item") : QStringLiteral("items"));
}

const OneCopyRowEnd* OneCopyReport::rowEnd(OneCopyRow row) const {
    for (const OneCopyRowEnd& end : rows) {
        if (end.row == row) {
            return &end;
        }
    }
    return nullptr;
}

struct OneCopyJob::Impl {
    OneCopyDevice device;
    OneCopySettings settings;
    std::shared_ptr<const OneCopyToggles> toggles;
    OneCopySink sink;
    StopCheck stop;
    bool ran = false;
    OneCopyReport report;

    bool isOn(OneCopyRow row) const { return toggles && toggles->isOn(row); }
    void ended(const OneCopyRowEnd& end) {
        report.rows.push_back(end);
        if (sink.rowEnded) {
            sink.rowEnded(end);
        }
    }
    // Runs a media step that ends one row; false when the run was cut short.
    template <class Step>
    bool mediaRow(onecopy::RunContext& run, OneCopyRow row, Step&& step) {
        if (!isOn(row)) {
            return !run.interrupted();
        }
        const std::optional<OneCopyRowEnd> end = step(run);
        if (!end) {
            return false;
        }
        ended(*end);
        return true;
    }
    // The backup of the run, made and checked on this thread; nullopt when the run was cut
    // short.
    std::optional<backup::BackupRunResult> makeBackup(onecopy::RunContext& run);
    void cutShort(onecopy::RunContext& run);
    OneCopyReport run();
};

std::optional<backup::BackupRunResult> OneCopyJob::Impl::makeBackup(onecopy::RunContext& run) {
    const backup::BackupDevice target{device.deviceIndex, device.deviceSerial, device.udid,
                                      device.deviceName};
    return runCheckedBackup(backup::BackupVariant::OneCopyPage, target, sink.unlockNotice,
                            settings.backup, [&run] { return run.interrupted(); });
}

void OneCopyJob::Impl::cutShort(onecopy::RunContext& run) {
    if (run.deviceGone()) {
        report.status = OneCopyStatus::DeviceGone;
        report.message = QStringLiteral(
            "The device was disconnected: the copy stopped. What was copied so far is in the "
            "export folder.");
    } else {
        report.status = OneCopyStatus::Stopped;
        report.message = QStringLiteral("The copy was stopped.");
    }
}

OneCopyReport OneCopyJob::Impl::run() {
    const QDateTime when =
        settings.startedAt.isValid() ? settings.startedAt : QDateTime::currentDateTime();
    std::error_code ec;
    const std::optional<fs::path> root = cleanup::prepareExportFolder(settings.exportFolder, ec);
    if (!root) {
        report.status = OneCopyStatus::NoExportFolder;
        report.message = QStringLiteral("The export folder can't be used: %1")
                             .arg(QString::fromStdString(ec.message()));
        return report;
    }
    const Result<fs::path> folder = makeRunFolder(*root, runFolderName(device.deviceName, when));
    if (!folder) {
        qCWarning(lcTransfer, "One-click copy: no folder for the copy: %s",
                  folder.detail().c_str());
        report.status = OneCopyStatus::NoExportFolder;
        report.message = folder.sentence();
        return report;
    }
    report.runFolder = *folder;
    onecopy::RunContext run(device, *folder, sink, stop);
    const auto on = [this](OneCopyRow row) { return isOn(row); };
    const auto end = [this](const OneCopyRowEnd& e) { ended(e); };

    if (!mediaRow(run, OneCopyRow::CameraRoll, onecopy::copyCameraRoll) ||
        !mediaRow(run, OneCopyRow::PhotoStream, onecopy::copyPhotoStream) ||
        !mediaRow(run, OneCopyRow::PhotoLibrary, onecopy::copyPhotoLibrary) ||
        ((isOn(OneCopyRow::Music) || isOn(OneCopyRow::Video)) &&
         !onecopy::copyMusicAndVideo(run, on, end)) ||
        run.interrupted()) {
        cutShort(run);
        return report;
    }

    // Nothing on this system guards the backup folder behind a permission of its own.
    if (backupLocationCheckApplies()) {
        qCInfo(lcTransfer,
               "One-click copy: the backup folder's permission is not checked on this system.");
    }
    const std::optional<backup::BackupRunResult> made = makeBackup(run);
    if (!made) {
        cutShort(run);
        return report;
    }
    report.backup = *made;
    report.encrypted = made->ok() && made->encrypted;
    if (made->ok() && !made->encrypted) {
        if (!onecopy::copyRecords(run, made->backupFolder.toStdString(), on, end, report)) {
            cutShort(run);
            return report;
        }
    } else {
        // No record is read from a backup that was not made now (an older one would pass for
        // the device's current records), nor from an encrypted one, whose databases can't be
        // read: their rows end as failed, and the encryption notice tells why.
        const QString failure =
            made->ok()
                ? QStringLiteral("The backup is encrypted: its records can't be read.")
                : backup::backupHeadline(*made) + QLatin1Char(' ') + backup::backupDetail(*made);
        if (!made->ok()) {
            report.message = failure;
        }
        qCWarning(lcTransfer).noquote() << "One-click copy:" << failure;
        for (const OneCopyRow row : onecopy::kRecordRows) {
            if (isOn(row)) {
                OneCopyRowEnd end;
                end.row = row;
                end.ok = false;
                end.message = failure;
                ended(end);
            }
        }
        if (made->outcome == backup::BackupOutcome::DeviceGone || run.interrupted()) {
            cutShort(run);
            return report;
        }
    }

    if (!mediaRow(run, OneCopyRow::VoiceMemos, onecopy::copyVoiceMemos)) {
        cutShort(run);
        return report;
    }
    report.status = OneCopyStatus::Finished;
    return report;
}

OneCopyJob::OneCopyJob(OneCopyDevice device, OneCopySettings settings,
                       std::shared_ptr<const OneCopyToggles> toggles, OneCopySink sink,
                       StopCheck stop)
    : impl_(std::make_unique<Impl>()) {
    impl_->device = std::move(device);
    impl_->settings = std::move(settings);
    impl_->toggles = std::move(toggles);
    impl_->sink = std::move(sink);
    impl_->stop = std::move(stop);
}

OneCopyJob::~OneCopyJob() = default;

OneCopyReport OneCopyJob::run() {
    if (impl_->ran) {
        return impl_->report;
    }
    impl_->ran = true;
    return impl_->run();
}

QString OneCopyJob::runFolderName(const QString& deviceName, const QDateTime& when) {
    const QLocale c = QLocale::c();
    const QDateTime local = when.toLocalTime();
    const QString stamp = c.toString(local.date(), QStringLiteral("yyyy-MM-dd")) +
                          QLatin1Char(' ') + c.toString(local.time(), QStringLiteral("HH.mm.ss"));
    return QString::fromStdString(backup::safeFileStem(deviceName, QStringLiteral("Device"))) +
           QLatin1Char(' ') + stamp;
}

Result<fs::path> OneCopyJob::makeRunFolder(const fs::path& root, const QString& name) {
    const std::string stem = backup::safeFileStem(name, QStringLiteral("Device"));
    for (int number = 1; number <= kMaxFolderNumber; ++number) {
        const fs::path candidate = root / numberedFileName(stem, {}, number);
        std::error_code ec;
        // Made here and now, or taken: a folder of an earlier run is never written into.
        if (fs::create_directory(candidate, ec)) {
            return candidate;
        }
        if (ec && ec != std::errc::file_exists) {
            return fail(QStringLiteral("The export folder can't be used: %1")
                            .arg(QString::fromStdString(ec.message())),
                        candidate.string() + ": " + ec.message());
        }
    }
    return fail(QStringLiteral("The export folder can't be used: every name for the copy's "
                               "folder is taken"),
                (root / stem).string());
}

bool OneCopyJob::backupLocationCheckApplies() {
    return QOperatingSystemVersion::currentType() == QOperatingSystemVersion::MacOS &&
           QOperatingSystemVersion::current() >= QOperatingSystemVersion::MacOSMojave;
}

}  // namespace nimbara::transfer
