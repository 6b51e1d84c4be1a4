#include "transfer/archived_app_install.h"

#include <QFile>
#include <QFileInfo>

#include <optional>
#include <system_error>
#include <utility>

#include "cleanup/app_package.h"
#include "cleanup/clean_removal.h"
#include "device/app_service.h"
#include "device/device_status.h"
#include "platform/plist_value.h"
#include "platform/zip_unpack.h"

namespace fs = std::filesystem;

namespace nimbara::transfer {

namespace {

using CheckOutcome = ArchiveCheckResult::Outcome;
using InstallOutcome = ArchiveInstallResult::Outcome;

constexpr const char* kMetadataFile = "iTunesMetadata.plist";
constexpr const char* kBundleIdKey = "softwareVersionBundleId";
// A store metadata file is a few kilobytes; anything far larger is no such file.
constexpr std::uint64_t kMaxMetadataBytes = 4ull * 1024 * 1024;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

ArchiveCheckResult checkResult(CheckOutcome outcome, const QString& message) {
    ArchiveCheckResult r;
    r.outcome = outcome;
    r.message = message;
    return r;
}

ArchiveInstallResult installResult(InstallOutcome outcome, const QString& message) {
    ArchiveInstallResult r;
    r.outcome = outcome;
    r.message = message;
    return r;
}

// The first of `keys` that holds a text in one of `dicts`, in order.
QString firstText(std::initializer_list<const PlistValue*> dicts,
                  std::initializer_list<const char*> keys) {
    for (const PlistValue* dict : dicts) {
        for (const char* key : keys) {
            if (const std::string& text = (*dict)[key].toString(); !text.empty()) {
                return qs(text);
            }
        }
    }
    return {};
}

// The device steps of one job, each preceded by the check that its own device (index and serial)
// is still attached.
class DeviceSteps {
  public:
    DeviceSteps(const amd::DeviceTarget& target, const ArchiveStopCheck& stop)
        : target_(target), guard_(target, stop) {}

    // Asked to stop, or the device went.
    bool mustEnd() { return guard_.stopRequested(); }
    bool gone() {
        guard_.checkGone();
        return guard_.deviceGone();
    }

    // An installation proxy bound to the job's device; null when the device is gone or the
    // service can't be started.
    std::unique_ptr<amd::AppService> bind() {
        if (gone()) {
            return nullptr;
        }
        auto apps = std::make_unique<amd::AppService>();
        // Serials are never given twice: when our device is still there now, it is the one bound.
        if (apps->Init(target_.deviceIndex) != 0 || gone()) {
            return nullptr;
        }
        return apps;
    }

    // The app's attributes as the device reports them now: nullopt in `attributes` when it is
    // not installed. False when the device could not be asked.
    bool lookUp(const std::string& bundleId, std::optional<PlistValue>& attributes) {
        attributes.reset();
        auto apps = bind();
        if (!apps) {
            return false;
        }
        const std::optional<PlistValue> all = apps->LookupApplications();
        if (!all || gone()) {
            return false;
        }
        if (const PlistValue* found = all->find(bundleId); found && found->isDict()) {
            attributes = *found;
        }
        return true;
    }

  private:
    amd::DeviceTarget target_;
    cleanup::CleanRunGuard guard_;
};

// The version text an app's attributes or Info.plist give ("2.1 (210)", "2.1" or "210").
QString versionText(const QString& shortVersion, const QString& build) {
    if (!shortVersion.isEmpty() && !build.isEmpty() && shortVersion != build) {
        return QStringLiteral("%1 (%2)").arg(shortVersion, build);
    }
    return shortVersion.isEmpty() ? build : shortVersion;
}

}  // namespace

ArchiveCheckResult checkAppArchive(const QString& zipFile, const amd::DeviceTarget& target,
                                   const ArchiveStopCheck& stop) {
    const QString name = QFileInfo(zipFile).fileName();
    const QString unchanged = QStringLiteral(", so nothing was installed.");
    const QString gone =
        QStringLiteral("The device was disconnected, so nothing was installed from %1.").arg(name);
    const QString stopped = QStringLiteral("The install from %1 was stopped before it began.");
    DeviceSteps device(target, stop);
    if (device.mustEnd()) {
        return device.gone() ? checkResult(CheckOutcome::DeviceGone, gone)
                             : checkResult(CheckOutcome::Stopped, stopped.arg(name));
    }
    std::error_code ec;
    const fs::path zip(QFile::encodeName(zipFile).toStdString());
    if (zipFile.isEmpty() || !fs::is_regular_file(fs::status(zip, ec))) {
        return checkResult(CheckOutcome::Failed,
                           QStringLiteral("The file %1 can't be read").arg(name) + unchanged);
    }

    // A fresh folder of this job alone: nothing an earlier run left can be read.
    auto archive = std::make_shared<CheckedAppArchive>();
    archive->file = zipFile;
    archive->scratch = cleanup::appJobScratch();
    const fs::path package = archive->scratch ? archive->scratch->path() / "package" : fs::path();
    if (!archive->scratch || !fs::create_directory(package, ec)) {
        return checkResult(
            CheckOutcome::Failed,
            QStringLiteral("No private scratch folder could be made on this computer") + unchanged);
    }
    const ZipUnpackResult unpacked =
        unpackZip(zip, package, [&device] { return device.mustEnd(); });
    if (!unpacked) {
        if (device.gone()) {
            return checkResult(CheckOutcome::DeviceGone, gone);
        }
        if (device.mustEnd()) {
            return checkResult(CheckOutcome::Stopped, stopped.arg(name));
        }
        return checkResult(
            CheckOutcome::Unusable,
            QStringLiteral("The archive %1 can't be used (%2)").arg(name, qs(unpacked.error)) +
                unchanged);
    }

    const fs::path metadataFile = package / kMetadataFile;
    std::optional<PlistValue> metadata;
    if (fs::is_regular_file(fs::symlink_status(metadataFile, ec))) {
        metadata = PlistValue::readFile(metadataFile.string(), nullptr, kMaxMetadataBytes);
    }
    const std::string bundleId =
        metadata && metadata->isDict() ? (*metadata)[kBundleIdKey].toString() : std::string();
    if (bundleId.empty()) {
        return checkResult(CheckOutcome::NotAnArchive, QString::fromLatin1(kNotAnAppArchiveText));
    }
    QString why;
    std::optional<cleanup::VerifiedAppBundle> bundle =
        cleanup::verifiedAppBundle(package, bundleId, &why);
    if (!bundle) {
        return checkResult(CheckOutcome::Unusable, why + unchanged);
    }
    archive->bundleId = bundleId;
    archive->bundle = bundle->app;
    archive->appName =
        firstText({&*metadata, &bundle->info}, {"itemName", "CFBundleDisplayName", "CFBundleName"});
    if (archive->appName.isEmpty()) {
        archive->appName = qs(bundleId);
    }
    archive->version =
        versionText(firstText({&bundle->info, &*metadata},
                              {"CFBundleShortVersionString", "bundleShortVersionString"}),
                    firstText({&bundle->info, &*metadata}, {"CFBundleVersion", "bundleVersion"}));

    // What the device holds now, for the question.
    if (device.mustEnd()) {
        return device.gone() ? checkResult(CheckOutcome::DeviceGone, gone)
                             : checkResult(CheckOutcome::Stopped, stopped.arg(name));
    }
    std::optional<PlistValue> attributes;
    if (!device.lookUp(bundleId, attributes)) {
        return device.gone() ? checkResult(CheckOutcome::DeviceGone, gone)
                             : checkResult(CheckOutcome::Failed,
                                           QStringLiteral("The device's apps could not be looked "
                                                          "up") +
                                               unchanged);
    }
    if (attributes) {
        if ((*attributes)["ApplicationType"].toString() == "System") {
            return checkResult(CheckOutcome::Unusable,
                               QStringLiteral("%1 came with the device, so it can't be replaced "
                                              "from an archive.")
                                   .arg(archive->appName));
        }
        archive->installed = true;
        archive->installedVersion =
            versionText(qs((*attributes)["CFBundleShortVersionString"].toString()),
                        qs((*attributes)["CFBundleVersion"].toString()));
    }
    ArchiveCheckResult ready = checkResult(CheckOutcome::Ready, QString());
    ready.archive = std::move(archive);
    return ready;
}

ArchiveInstallResult installCheckedArchive(const CheckedAppArchive& archive,
                                           const amd::DeviceTarget& target,
                                           const ArchiveStopCheck& stop) {
    const QString& name = archive.appName;
    DeviceSteps device(target, stop);
    const auto gone = [&name] {
        return installResult(
            InstallOutcome::DeviceGone,
            QStringLiteral("The device was disconnected, so %1 was not installed.").arg(name));
    };
    if (device.mustEnd()) {
        return device.gone()
                   ? gone()
                   : installResult(InstallOutcome::Stopped,
                                   QStringLiteral("The install of %1 was stopped before it "
                                                  "began; nothing was changed on the device.")
                                       .arg(name));
    }
    auto apps = device.bind();
    if (!apps) {
        return device.gone()
                   ? gone()
                   : installResult(InstallOutcome::Failed,
                                   QStringLiteral("The device's installation service could not be "
                                                  "started, so %1 was not installed.")
                                       .arg(name));
    }
    // From here on the install runs to its end. An upgrade never removes the installed app first:
    // whatever fails, the device keeps a working version.
    const nimbara::md::StatusCallback quiet = [](const PlistValue&) {};
    const int code = apps->UpgradeApplication(archive.bundle.string(), quiet, quiet);
    apps.reset();

    std::optional<PlistValue> after;
    if (!device.lookUp(archive.bundleId, after)) {
        if (device.gone()) {
            return installResult(
                InstallOutcome::DeviceGone,
                code == 0 ? QStringLiteral("The device was disconnected right after the install of "
                                           "%1; whether it is on the device could not be checked.")
                                .arg(name)
                          : QStringLiteral("The device was disconnected during the install of %1; "
                                           "it may not have been installed.")
                                .arg(name));
        }
        return installResult(InstallOutcome::Failed,
                             QStringLiteral("The device could not say whether %1 is on it after "
                                            "the install.")
                                 .arg(name));
    }
    if (code != 0) {
        const QString held = after ? (archive.installed ? QStringLiteral(" The version installed "
                                                                         "before stays on it.")
                                                        : QString())
                                   : QStringLiteral(" Nothing was installed.");
        return installResult(InstallOutcome::Failed,
                             QStringLiteral("The device refused to install %1: %2")
                                     .arg(name, qs(amd::DeviceCodeText(code))) +
                                 held);
    }
    if (!after) {
        return installResult(InstallOutcome::Failed,
                             QStringLiteral("The device accepted %1 but does not list it "
                                            "afterwards.")
                                 .arg(name));
    }
    const QString version = archive.version.isEmpty()
                                ? QString()
                                : QStringLiteral(" (version %1)").arg(archive.version);
    return installResult(InstallOutcome::Installed,
                         QStringLiteral("%1%2 was installed from %3.")
                             .arg(name, version, QFileInfo(archive.file).fileName()));
}

ArchiveInstallQuestion archiveInstallQuestion(const CheckedAppArchive& archive,
                                              const QString& deviceName) {
    const QString file = QFileInfo(archive.file).fileName();
    ArchiveInstallQuestion q;
    q.message = QStringLiteral("Install %1 (%2) from %3 on %4?")
                    .arg(archive.appName, qs(archive.bundleId), file, deviceName);
    const QString archived =
        archive.version.isEmpty() ? QString() : QStringLiteral(", version %1").arg(archive.version);
    if (archive.installed) {
        const QString installed = archive.installedVersion.isEmpty()
                                      ? QString()
                                      : QStringLiteral(", %1,").arg(archive.installedVersion);
        q.informativeText =
            QStringLiteral(
                "The installed version of the app%1 is replaced by the archived app%2; "
                "the app's documents and data stay on the device. The documents saved "
                "in the archive are not restored.")
                .arg(installed, archived);
    } else {
        q.informativeText =
            QStringLiteral(
                "The app is not on the device yet: the archived app%1 is added. The "
                "documents saved in the archive are not restored.")
                .arg(archived.isEmpty() ? archived : archived + QLatin1Char(','));
    }
    return q;
}

}  // namespace nimbara::transfer
