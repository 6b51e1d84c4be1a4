#include "filemanager/app_scan.h"

#include <optional>
#include <string>
#include <utility>

#include "cleanup/large_app_record.h"
#include "device/app_service.h"
#include "platform/plist_value.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

namespace {

using nimbara::cleanup::appAttributeText;

struct Usage {
    bool present = false;
    std::uint64_t bytes = 0;
};

Usage usageOf(const nimbara::PlistValue& attributes, const char* key) {
    const nimbara::PlistValue* value = attributes.find(key);
    if (value == nullptr || !value->isNumber()) {
        return {};
    }
    const std::int64_t n = value->toInt64(0);
    return {true, n > 0 ? static_cast<std::uint64_t>(n) : 0};
}

std::shared_ptr<PRAppDirTreeNode> baseRecord(const std::string& bundleId,
                                             const nimbara::PlistValue& attributes) {
    auto app = std::make_shared<PRAppDirTreeNode>();
    app->setAppBundleName(QString::fromStdString(bundleId));
    const QString identifier = appAttributeText(attributes, "CFBundleIdentifier");
    app->setAppBundleId(identifier.isEmpty() ? QString::fromStdString(bundleId) : identifier);
    app->setFilePath(appAttributeText(attributes, "Path"));
    app->setAppVersion(nimbara::cleanup::appVersionOf(attributes));
    app->setFileDirName(QString::fromStdString(bundleId));
    return app;
}

// Size texts and bytes of an app with sizes.
std::uint64_t setSizes(PRAppDirTreeNode& app, std::uint64_t bundle, std::uint64_t data) {
    app.setAppSize(nimbara::shell::size_to_unit(bundle));
    app.setAppDocumentSize(nimbara::shell::size_to_unit(data));
    const std::uint64_t total = nimbara::ui::addSaturating(bundle, data);
    app.setTotalAppSizeNumber(total);
    app.setFileSize(nimbara::shell::size_to_unit(total));
    return total;
}

}  // namespace

QString systemAppImageName(const QString& bundleId) {
    static const std::pair<const char*, const char*> kImages[] = {
        {"com.apple.Passbook", "Passbookapp.tiff"},
        {"com.apple.AppStore", "appstore.png"},
        {"com.apple.calculator", "Calculatorapp.tiff"},
        {"com.apple.mobilenotes", "Notesapp.tiff"},
        {"com.apple.mobileslideshow", "Photosapp.tiff"},
        {"com.apple.MobileSMS", "Messagesapp.tiff"},
        {"com.apple.mobilesafari", "Safariapp.tiff"},
        {"com.apple.videos", "Videosapp.tiff"},
        {"com.apple.Music", "Musicapp.tiff"},
        {"com.apple.mobilemail", "Mailapp.tiff"},
        {"com.apple.mobiletimer", "Clockapp.tiff"},
        {"com.apple.Maps", "Mapsapp.tiff"},
        {"com.apple.MobileAddressBook", "Contactsapp.tiff"},
        {"com.apple.Preferences", "Settingsapp.tiff"},
        {"com.apple.gamecenter.GameCenterUIService", "Game Centerapp.tiff"},
        {"com.apple.facetime", "FaceTimeapp.tiff"},
        {"com.apple.mobilephone", "Phoneapp.tiff"},
        {"com.apple.mobilecal", "Calendar Officialapp.tiff"},
        {"com.apple.camera", "Cameraapp.tiff"},
        {"com.apple.weather", "Weatherapp.tiff"},
        {"com.apple.reminders", "Remindersapp.tiff"},
    };
    for (const auto& [id, image] : kImages) {
        if (bundleId == QLatin1String(id)) {
            return QLatin1String(image);
        }
    }
    return QStringLiteral("appstore.png");
}

AppScanResult scanDeviceApps(StorageDeviceTarget target, const StorageStopCheck& stop,
                             const StorageProgress& progress, AppScanIcons withIcons) {
    StorageScanJob job(target, stop, progress);
    AppScanResult result;
    result.device = job.target();
    amd::AppService service;
    if (const int rc = job.device().bind(service); rc != 0) {
        result.status = job.bindFailure(rc);
        return result;
    }
    const std::optional<nimbara::PlistValue> lookup = service.LookupApplications();
    if (!lookup || !lookup->isDict()) {
        result.status =
            job.shouldStop() ? job.stopStatus() : storageScanFailure(service.LookupError());
        return result;
    }
    const auto stopped = [&] {
        AppScanResult none;
        none.device = result.device;
        none.status = job.stopStatus();
        return none;
    };

    nimbara::cleanup::CleanAppIcons icons(job.device());
    const auto& all = lookup->toDict();
    const std::size_t count = all.size();
    std::size_t done = 0;
    for (const auto& [bundleId, attributes] : all) {
        const QString type =
            attributes.isDict() ? appAttributeText(attributes, "ApplicationType") : QString();
        if (type == QLatin1String("User")) {
            auto app = baseRecord(bundleId, attributes);
            app->setAppDisplayName(nimbara::cleanup::appDisplayNameOf(bundleId, attributes));
            const QByteArray icon =
                withIcons == AppScanIcons::Fetch ? icons.iconFor(bundleId) : QByteArray();
            app->setAppIcon(icon);
            app->setNodeIcon(icon.isEmpty() ? QStringLiteral("NULLImage.png") : QString());
            app->setFileType(QStringLiteral("DIR"));
            const std::uint64_t total = setSizes(*app, usageOf(attributes, "StaticDiskUsage").bytes,
                                                 usageOf(attributes, "DynamicDiskUsage").bytes);
            result.userBytes = nimbara::ui::addSaturating(result.userBytes, total);
            result.userApps.push_back(std::move(app));
        } else if (type == QLatin1String("System")) {
            auto app = baseRecord(bundleId, attributes);
            QString name = appAttributeText(attributes, "CFBundleDisplayName");
            if (name.size() < 2) {
                name = appAttributeText(attributes, "CFBundleName");
            }
            app->setAppDisplayName(name.isEmpty() ? QString::fromStdString(bundleId) : name);
            app->setNodeIcon(systemAppImageName(app->appBundleId()));
            const Usage bundle = usageOf(attributes, "StaticDiskUsage");
            if (bundle.present) {
                app->setFileType(QStringLiteral("App"));
                const std::uint64_t total =
                    setSizes(*app, bundle.bytes, usageOf(attributes, "DynamicDiskUsage").bytes);
                result.systemBytes = nimbara::ui::addSaturating(result.systemBytes, total);
            } else {
                app->setFileType(QStringLiteral("Service"));
                app->setAppSize(QStringLiteral(" "));
                app->setAppDocumentSize(QStringLiteral(" "));
                app->setFileSize(QStringLiteral(" "));
            }
            result.systemApps.push_back(std::move(app));
        }
        if (job.shouldStop()) {
            return stopped();
        }
        ++done;
        job.progress(static_cast<double>(done) / static_cast<double>(count));
    }
    job.progress(1.0);
    return result;
}

}  // namespace nimbara::filemanager
