#include "device/app_service.h"

#include "device/afc_service.h"
#include "platform/log_categories.h"

namespace amd {

namespace md = nimbara::md;
using nimbara::PlistValue;

namespace {

constexpr const char* kInstallationProxy = "com.apple.mobile.installation_proxy";

const md::StatusCallback& printStatusCallback() {
    static const md::StatusCallback printStatus = &AppService::PrintStatus;
    return printStatus;
}

const md::StatusCallback& orPrintStatus(const md::StatusCallback& callback) {
    return callback ? callback : printStatusCallback();
}

std::string stringAttribute(const PlistValue& attributes, const char* key) {
    const PlistValue* value = attributes.find(key);
    return value ? value->toString() : std::string();
}

std::int64_t numberAttribute(const PlistValue& attributes, const char* key) {
    const PlistValue* value = attributes.find(key);
    return value ? value->toInt64() : 0;
}

AppRecord makeRecord(const std::string& bundleId, const PlistValue& attributes) {
    AppRecord record;
    record.bundleId = bundleId;
    record.displayName = stringAttribute(attributes, "CFBundleDisplayName");
    record.applicationType = stringAttribute(attributes, "ApplicationType");
    record.path = stringAttribute(attributes, "Path");
    record.fileSharingEnabled = attributes.contains("UIFileSharingEnabled");
    const PlistValue& entitlements = attributes["Entitlements"];
    const PlistValue& containers =
        entitlements["com.apple.developer.ubiquity-container-identifiers"];
    if (containers.isString()) {
        record.ubiquityContainerIdentifiers.push_back(containers.toString());
    }
    for (const PlistValue& container : containers.toArray()) {
        if (container.isString()) {
            record.ubiquityContainerIdentifiers.push_back(container.toString());
        }
    }
    record.ubiquityKvstoreIdentifier =
        entitlements["com.apple.developer.ubiquity-kvstore-identifier"].toString();
    record.dynamicDiskUsage = numberAttribute(attributes, "DynamicDiskUsage");
    record.staticDiskUsage = numberAttribute(attributes, "StaticDiskUsage");
    return record;
}

}  // namespace

AppService::AppService() = default;
AppService::~AppService() = default;

int AppService::Init(int deviceIndex) {
    const int rc = BaseService::Init(deviceIndex);
    if (rc != 0) {
        return rc;
    }
    return StartService(kInstallationProxy);
}

const PlistValue& AppService::LookupOptions() {
    static const PlistValue options = [] {
        PlistValue attributes = PlistValue::array();
        for (const char* name :
             {"CFBundleIdentifier", "ApplicationType", "CFBundleExecutable", "CFBundleDisplayName",
              "CFBundleIconFile", "CFBundleName", "CFBundleShortVersionString", "CFBundleVersion",
              "Entitlements", "Path", "UIFileSharingEnabled", "DynamicDiskUsage",
              "StaticDiskUsage"}) {
            attributes.append(name);
        }
        PlistValue dict = PlistValue::dict();
        dict.set("ReturnAttributes", std::move(attributes));
        return dict;
    }();
    return options;
}

std::optional<PlistValue> AppService::LookupApplications() {
    if (!device_) {
        return std::nullopt;
    }
    // Only the service start is a device bracket. The lookup, which a device may take long to
    // answer while it sizes its apps, holds up no other device call.
    std::unique_ptr<md::ServiceConnection> proxy;
    lookupError_ = RunInBracket(
        *device_, [&] { return device_->handle()->startService(kInstallationProxy, proxy); });
    if (lookupError_ != 0 || !proxy) {
        return std::nullopt;
    }
    PlistValue result;
    lookupError_ = md::lookupApplications(*proxy, LookupOptions(), result);
    proxy->close();
    if (lookupError_ != 0 || !result.isDict()) {
        return std::nullopt;
    }
    return result;
}

int AppService::LookupRefusal() const {
    return lookupError_ == md::Error::Timeout ? md::Error::Timeout : md::Error::Refused;
}

int AppService::InstallApplication(const std::string& packagePath,
                                   const md::StatusCallback& transferCallback,
                                   const md::StatusCallback& installCallback) {
    return TransferAndInstall(packagePath, transferCallback, installCallback, false);
}

int AppService::UpgradeApplication(const std::string& packagePath,
                                   const md::StatusCallback& transferCallback,
                                   const md::StatusCallback& installCallback) {
    return TransferAndInstall(packagePath, transferCallback, installCallback, true);
}

int AppService::TransferAndInstall(const std::string& packagePath,
                                   const md::StatusCallback& transferCallback,
                                   const md::StatusCallback& installCallback, bool upgrade) {
    if (!socket_) {
        return 1;
    }
    PlistValue options = PlistValue::dict();
    options.set("PackageType", "Developer");

    AfcService afc;
    if (afc.Init(index_) != 0) {
        return 1;
    }
    const int rc = afc.TransferApplication(packagePath, orPrintStatus(transferCallback));
    if (rc != 0) {
        return rc;
    }
    const auto send = upgrade ? &md::upgradeApplication : &md::installApplication;
    return send(*socket_, packagePath, options, orPrintStatus(installCallback));
}

int AppService::UninstallApplication(const std::optional<std::string>& bundleId,
                                     const md::StatusCallback& callback) {
    if (!bundleId || !socket_) {
        return 1;
    }
    return md::uninstallApplication(*socket_, *bundleId, PlistValue::dict(),
                                    orPrintStatus(callback));
}

int AppService::ArchiveApplication(const std::string& bundleId, bool documents, bool application) {
    const char* type = nullptr;
    if (documents && application) {
        type = "All";
    } else if (documents) {
        type = "DocumentsOnly";
    } else if (application) {
        type = "ApplicationOnly";
    } else {
        return 0;
    }
    if (!socket_) {
        return 1;
    }
    PlistValue options = PlistValue::dict();
    options.set("ArchiveType", type);
    options.set("SkipUninstall", true);
    return md::archiveApplication(*socket_, bundleId, options, printStatusCallback());
}

int AppService::RemoveApplicationArchive(const std::string& bundleId) {
    if (!socket_) {
        return 1;
    }
    return md::removeApplicationArchive(*socket_, bundleId, PlistValue::dict(),
                                        printStatusCallback());
}

void AppService::PrintStatus(const PlistValue& status) {
    if (status.isNull()) {
        return;
    }
    qCInfo(lcDevice, "%s", status.description().c_str());
}

std::vector<std::string> AppService::GetAppIdentifiers() {
    if (!lookup_) {
        lookup_ = LookupApplications();
    }
    static const PlistValue::Dict kNoApps;
    const PlistValue::Dict& apps = lookup_ ? lookup_->toDict() : kNoApps;
    qCInfo(lcDevice, "App list count = %ld", static_cast<long>(apps.size()));
    std::vector<std::string> keys;
    keys.reserve(apps.size());
    for (const auto& entry : apps) {
        keys.push_back(entry.first);
    }
    return keys;
}

std::vector<AppRecord> AppService::GetAppList() {
    const std::vector<std::string> identifiers = GetAppIdentifiers();
    std::vector<AppRecord> records;
    records.reserve(identifiers.size());
    for (const std::string& bundleId : identifiers) {
        records.push_back(makeRecord(bundleId, (*lookup_)[bundleId]));
    }
    return records;
}

std::optional<PlistValue> AppService::LookupArchives() {
    PlistValue request = PlistValue::dict();
    request.set("Command", "LookupArchives");
    if (SendPlist(request) == 0) {
        return std::nullopt;
    }
    return ReceivePlist();
}

}  // namespace amd
