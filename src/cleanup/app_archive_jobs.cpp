#include "cleanup/app_archive_jobs.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "backup/writers/export_file.h"
#include "cleanup/app_package.h"
#include "cleanup/clean_removal.h"
#include "device/afc_service.h"
#include "device/app_service.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "platform/device_path.h"
#include "platform/plist_value.h"
#include "platform/unique_folder.h"
#include "platform/zip_unpack.h"

namespace fs = std::filesystem;

namespace nimbara::cleanup {

namespace {

using Outcome = AppJobResult::Outcome;

// Where the installation proxy leaves an archive on the media root.
std::string deviceArchivePath(const std::string& bundleId) {
    return "/ApplicationArchives/" + bundleId + ".zip";
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

AppJobResult result(Outcome outcome, const QString& message) {
    AppJobResult r;
    r.outcome = outcome;
    r.message = message;
    return r;
}

// The steps both jobs share, each preceded by the check that the job's own device (index and
// serial) is still attached.
class AppJob {
  public:
    AppJob(const AppJobTarget& target, const AppJobStopCheck& stop)
        : target_(target),
          guard_({target.deviceIndex,
                  target.deviceSerial != 0
                      ? target.deviceSerial
                      : amd::DeviceManager::GetInstance().DeviceSerial(target.deviceIndex)},
                 stop),
          stop_(stop) {}

    const std::string& bundleId() const { return target_.bundleId; }

    // True when the job must not begin its next step: asked to stop, or its device went.
    bool mustEnd() { return guard_.stopRequested(); }
    // True while the job's device is attached; asks nothing else (steps that must not be left
    // half done, such as the install after an uninstall, go on through a stop request).
    bool deviceHere() {
        guard_.checkGone();
        return !guard_.deviceGone();
    }
    // True once the caller asked to stop (asked again now unless it already did).
    bool userStopped() {
        if (!stopSeen_ && !guard_.cancelled() && stop_ && stop_()) {
            stopSeen_ = true;
        }
        return stopSeen_ || guard_.cancelled();
    }
    // The result of a job ended by mustEnd().
    AppJobResult ended(const QString& goneText, const QString& stoppedText) {
        return guard_.deviceGone() ? result(Outcome::DeviceGone, goneText)
                                   : result(Outcome::Stopped, stoppedText);
    }

    // A fresh service bound to the job's device; null when the device is gone or the service
    // can't be bound (its code in `code`).
    template <class Service>
    std::unique_ptr<Service> bind(int* code) {
        *code = 1;
        if (!deviceHere()) {
            return nullptr;
        }
        auto service = std::make_unique<Service>();
        *code = service->Init(target_.deviceIndex);
        // Serials are never given twice: when our device is still there now, it is the one bound.
        if (*code != 0 || !deviceHere()) {
            return nullptr;
        }
        return service;
    }

    // The app's attributes as the device reports them now: nullopt in `attributes` when the
    // app is not installed. False when the device could not be asked.
    bool lookUp(std::optional<PlistValue>& attributes) {
        attributes.reset();
        int code = 0;
        auto apps = bind<amd::AppService>(&code);
        if (!apps) {
            return false;
        }
        const std::optional<PlistValue> all = apps->LookupApplications();
        if (!all || !deviceHere()) {
            return false;
        }
        if (const PlistValue* found = all->find(target_.bundleId); found && found->isDict()) {
            attributes = *found;
        }
        return true;
    }

    // Asks the device to archive the app. Returns the device's code (0: archived).
    int archive(bool documents) {
        int code = 0;
        auto apps = bind<amd::AppService>(&code);
        if (!apps) {
            return code;
        }
        archiveSent_ = true;
        return apps->ArchiveApplication(target_.bundleId, documents, true);
    }

    // Copies the device's archive to `local`: true once it is all there.
    bool copyArchive(const fs::path& local) {
        int code = 0;
        auto afc = bind<amd::AfcService>(&code);
        return afc &&
               afc->CopyFileToLocal(deviceArchivePath(target_.bundleId), local.string()) == 0;
    }

    // Removes the archive the device made for this job, once the archive was asked for, with a
    // fresh service. False when an archive may be left on the device.
    bool removeDeviceArchive(bool archiveMade) {
        if (!archiveSent_) {
            return true;
        }
        archiveSent_ = false;
        int code = 0;
        auto apps = bind<amd::AppService>(&code);
        if (!apps) {
            return !archiveMade;
        }
        // A refused archive usually left nothing to remove: its removal's refusal is no failure.
        return apps->RemoveApplicationArchive(target_.bundleId) == 0 || !archiveMade;
    }

  private:
    AppJobTarget target_;
    CleanRunGuard guard_;
    AppJobStopCheck stop_;
    bool archiveSent_ = false;
    bool stopSeen_ = false;
};

// The display name an app's attributes give, else its identifier.
QString displayNameOf(const PlistValue& attributes, const std::string& bundleId) {
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
        if (const std::string& name = attributes[key].toString(); !name.empty()) {
            return qs(name);
        }
    }
    return qs(bundleId);
}

// Copies a local archive into `folder` as "<bundle id>.zip" (" (2)" and on when that is taken).
backup::ExportWriteResult placeArchive(const fs::path& local, const QString& folder,
                                       const std::string& bundleId) {
    backup::ExportWriteResult failed;
    std::error_code ec;
    const fs::path into = folder.toStdString();
    if (folder.isEmpty()) {
        failed.error = "no folder was given";
        return failed;
    }
    fs::create_directories(into, ec);
    if (!fs::is_directory(into, ec)) {
        failed.error = into.string() + ": not a folder";
        return failed;
    }
    const int fd = ::open(local.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failed.error = "the copied archive can't be read";
        return failed;
    }
    backup::ExportWriteResult placed =
        backup::copyToExportFile(fd, into, qs(bundleId), ".zip", QStringLiteral("App"));
    ::close(fd);
    return placed;
}

std::uint64_t usage(const PlistValue& attributes, const char* key) {
    const std::int64_t value = attributes[key].toInt64();
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

// The texts of the endings of one kind of job.
struct JobTexts {
    QString gone;
    QString stopped;
    QString copyFailed;
};

// What fetchArchive hands on: the app's name and its archive in the job's scratch folder.
struct FetchedArchive {
    QString name;
    std::unique_ptr<UniqueFolder> scratch;
    std::filesystem::path archive;
    QString kept;  // a sentence when the device kept its copy of the archive, else empty
};

// The steps both jobs begin with: the app is looked up (a built-in one refused when
// `userAppOnly`), the device archives it (with its documents when `documents`), the archive is
// copied into a fresh scratch folder and the device's archive removed. nullopt once `fetched`
// holds the copy; else the job's result.
std::optional<AppJobResult> fetchArchive(AppJob& job, bool documents, bool userAppOnly,
                                         const JobTexts& texts, FetchedArchive& fetched) {
    if (!isValidBundleId(job.bundleId())) {
        return result(Outcome::Failed, QStringLiteral("This app's identifier can't name a file."));
    }
    if (job.mustEnd()) {
        return job.ended(texts.gone, texts.stopped);
    }
    std::optional<PlistValue> attributes;
    if (!job.lookUp(attributes)) {
        return job.deviceHere()
                   ? result(Outcome::Failed,
                            QStringLiteral("The device's apps could not be looked up."))
                   : result(Outcome::DeviceGone, texts.gone);
    }
    if (!attributes) {
        return result(Outcome::Failed, QStringLiteral("This app is no longer on the device."));
    }
    fetched.name = displayNameOf(*attributes, job.bundleId());
    if (userAppOnly && (*attributes)["ApplicationType"].toString() != "User") {
        return result(Outcome::Failed,
                      QStringLiteral("%1 came with the device, so it can't be reinstalled.")
                          .arg(fetched.name));
    }
    fetched.scratch = appJobScratch();
    if (!fetched.scratch) {
        return result(Outcome::Failed,
                      QStringLiteral("No private scratch folder could be made on this computer."));
    }
    if (job.mustEnd()) {
        return job.ended(texts.gone, texts.stopped);
    }

    const int archived = job.archive(documents);
    if (archived != 0) {
        job.removeDeviceArchive(false);
        if (!job.deviceHere()) {
            return result(Outcome::DeviceGone, texts.gone);
        }
        const bool refused =
            archived == amd::DeviceCode::Refused || archived == amd::DeviceCode::ServiceRefused;
        return result(refused ? Outcome::Refused : Outcome::Failed,
                      refused ? qs(amd::ArchiveRefusalText(archived))
                              : QStringLiteral("The device could not archive the app: %1")
                                    .arg(qs(amd::DeviceCodeText(archived))));
    }
    fetched.archive = fetched.scratch->path() / "archive.zip";
    const bool copied = !job.mustEnd() && job.copyArchive(fetched.archive);
    if (!job.removeDeviceArchive(true)) {
        fetched.kept = QStringLiteral(" The device kept its copy of the archive.");
    }
    if (!copied) {
        if (!job.deviceHere()) {
            return result(Outcome::DeviceGone, texts.gone);
        }
        if (job.userStopped()) {
            return result(Outcome::Stopped, texts.stopped + fetched.kept);
        }
        return result(Outcome::Failed, texts.copyFailed + fetched.kept);
    }
    return std::nullopt;
}

}  // namespace

AppJobResult archiveAppToFolder(const AppJobTarget& target, const QString& exportFolder,
                                const AppJobStopCheck& stop) {
    AppJob job(target, stop);
    const JobTexts texts{
        QStringLiteral("The device was disconnected, so the app was not archived."),
        QStringLiteral("The archive was stopped; nothing was written."),
        QStringLiteral("The archive could not be copied from the device.")};
    FetchedArchive fetched;
    if (auto ended = fetchArchive(job, true, false, texts, fetched)) {
        return *ended;
    }
    const backup::ExportWriteResult placed =
        placeArchive(fetched.archive, exportFolder, target.bundleId);
    if (!placed) {
        return result(Outcome::Failed, QStringLiteral("The archive of %1 could not be written: %2.")
                                               .arg(fetched.name, qs(placed.error)) +
                                           fetched.kept);
    }
    AppJobResult done = result(
        Outcome::Done,
        QStringLiteral("%1 was archived to %2.").arg(fetched.name, qs(placed.path.string())) +
            fetched.kept);
    done.archivePath = qs(placed.path.string());
    return done;
}

AppJobResult reinstallApp(const AppJobTarget& target, const AppJobStopCheck& stop,
                          const QString& keepPackageIn) {
    AppJob job(target, stop);
    const JobTexts texts{
        QStringLiteral("The device was disconnected before the app was reinstalled; the app was "
                       "left as it was."),
        QStringLiteral("The reinstall was stopped; the app was left as it was."),
        QStringLiteral("The app's archive could not be copied from the device, so the app was "
                       "left as it was.")};
    const QString& gone = texts.gone;
    const QString& stopped = texts.stopped;
    // The application alone, into the scratch folder: the export folder is never touched.
    FetchedArchive fetched;
    if (auto ended = fetchArchive(job, false, true, texts, fetched)) {
        return *ended;
    }
    const QString& name = fetched.name;
    const QString& kept = fetched.kept;
    const fs::path& archive = fetched.archive;
    const fs::path package = fetched.scratch->path() / "package";

    // Unpacked and verified before anything changes on the device.
    std::error_code ec;
    fs::create_directory(package, ec);
    const ZipUnpackResult unpacked =
        unpackZip(archive, package, [&job] { return job.userStopped(); });
    if (!unpacked) {
        if (job.userStopped()) {
            return result(Outcome::Stopped, stopped + kept);
        }
        return result(Outcome::Failed, QStringLiteral("The app's archive can't be used (%1), so "
                                                      "the app was left as it was.")
                                               .arg(qs(unpacked.error)) +
                                           kept);
    }
    QString why;
    const std::optional<VerifiedAppBundle> bundle =
        verifiedAppBundle(package, target.bundleId, &why);
    if (!bundle) {
        return result(Outcome::Failed,
                      why + QStringLiteral(", so the app was left as it was.") + kept);
    }
    if (job.mustEnd()) {
        return job.ended(gone, stopped);
    }

    // From here on the job goes on through a stop request: the app must not be left removed.
    // When it is lost all the same, its package is kept where the caller asked.
    const auto lost = [&](Outcome outcome, const QString& text) {
        AppJobResult r = result(outcome, text);
        if (!keepPackageIn.isEmpty()) {
            const backup::ExportWriteResult saved =
                placeArchive(archive, keepPackageIn, target.bundleId);
            if (saved) {
                r.archivePath = qs(saved.path.string());
                r.message += QStringLiteral(" Its package was saved to %1.").arg(r.archivePath);
            }
        }
        return r;
    };
    int code = 0;
    if (auto apps = job.bind<amd::AppService>(&code)) {
        code = apps->UninstallApplication(target.bundleId, nullptr);
    } else if (!job.deviceHere()) {
        return result(Outcome::DeviceGone, gone);
    } else {
        return result(Outcome::Failed,
                      QStringLiteral("The device's installation service could not be started, so "
                                     "the app was left as it was."));
    }
    // When the device can't tell whether the app is there.
    const auto unknown = [&](const char* step) {
        return job.deviceHere()
                   ? lost(Outcome::AppLost,
                          QStringLiteral("The device could not say whether %1 is still on it after "
                                         "its %2.")
                              .arg(name, QString::fromUtf8(step)))
                   : lost(Outcome::DeviceGone,
                          QStringLiteral("The device was disconnected during the %2 of %1; the "
                                         "app may no longer be on the device.")
                              .arg(name, QString::fromUtf8(step)));
    };
    if (code != 0) {
        // It may have gone all the same: what counts is whether it is still there.
        std::optional<PlistValue> still;
        if (!job.lookUp(still)) {
            return unknown("removal");
        }
        if (still) {
            return result(Outcome::Failed,
                          QStringLiteral("%1 could not be removed for its reinstall; it is still "
                                         "on the device.")
                              .arg(name));
        }
    }

    // Installed again, once more when the first try failed while the device stayed.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (auto apps = job.bind<amd::AppService>(&code)) {
            code = apps->InstallApplication(bundle->app.string(), nullptr, nullptr);
        }
        if (code == 0 || !job.deviceHere()) {
            break;
        }
    }
    std::optional<PlistValue> installed;
    if (!job.lookUp(installed)) {
        return unknown("reinstall");
    }
    if (!installed) {
        return lost(Outcome::AppLost,
                    QStringLiteral("%1 was removed but could not be installed again; it is no "
                                   "longer on the device.")
                        .arg(name));
    }
    AppJobResult done =
        result(Outcome::Done, QStringLiteral("%1 was reinstalled.").arg(name) + kept);
    done.staticDiskUsage = usage(*installed, "StaticDiskUsage");
    done.dynamicDiskUsage = usage(*installed, "DynamicDiskUsage");
    return done;
}

}  // namespace nimbara::cleanup
