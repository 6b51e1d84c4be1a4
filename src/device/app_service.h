// The installation proxy client: lists, installs, uninstalls and archives apps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/base_service.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/plist_value.h"

namespace amd {

// One installed app, with copies of the attributes the pages read.
struct AppRecord {
    std::string bundleId;
    std::string displayName;  // "CFBundleDisplayName"
    std::string iconName = "iTunesArtwork";
    std::string applicationType;      // "ApplicationType": "User" or "System"
    std::string path;                 // "Path"
    bool fileSharingEnabled = false;  // "UIFileSharingEnabled" is present
    // The entitlements "com.apple.developer.ubiquity-container-identifiers" and
    // "com.apple.developer.ubiquity-kvstore-identifier".
    std::vector<std::string> ubiquityContainerIdentifiers;
    std::string ubiquityKvstoreIdentifier;
    std::int64_t dynamicDiskUsage = 0;  // "DynamicDiskUsage": the app's data in bytes
    std::int64_t staticDiskUsage = 0;   // "StaticDiskUsage": the app bundle in bytes
};

class AppService : public BaseService {
  public:
    AppService();
    ~AppService() override;

    // Binds and starts "com.apple.mobile.installation_proxy": the first nonzero result, else 0.
    int Init(int deviceIndex) override;

    // Asks the device afresh over an installation proxy of its own, started inside one device
    // bracket (the lookup itself runs outside it): a dictionary from bundle identifier to
    // attribute dictionary, or nullopt when the service can't be started or the lookup fails.
    std::optional<nimbara::PlistValue> LookupApplications();
    // Why the last LookupApplications gave nothing: the code of the service start or of the
    // lookup (DeviceCode::NoAnswer when the device did not answer in time); 0 after one that
    // worked.
    int LookupError() const { return lookupError_; }
    // What a failed lookup is reported as: the time-out when the device did not answer in time,
    // else a refusal (DeviceCode::Refused).
    int LookupRefusal() const;
    // {"ReturnAttributes": [the attributes the pages read]}; built once, shared by all threads.
    static const nimbara::PlistValue& LookupOptions();

    // Copies the package over a temporary AFC service, then installs it as a developer package.
    // A null callback prints the status dictionaries. 1 when this object has no installation
    // proxy or the AFC service can't be bound (nothing is transferred then); else the first
    // failing result of the transfer and the install, or 0.
    int InstallApplication(const std::string& packagePath,
                           const nimbara::md::StatusCallback& transferCallback,
                           const nimbara::md::StatusCallback& installCallback);
    // The same transfer, then an "Upgrade": an installed app with the package's identifier is
    // replaced in place with its documents and data kept (it is never uninstalled first); one
    // not installed yet is installed.
    int UpgradeApplication(const std::string& packagePath,
                           const nimbara::md::StatusCallback& transferCallback,
                           const nimbara::md::StatusCallback& installCallback);
    // 1 without an identifier or an installation proxy; else the proxy's result.
    int UninstallApplication(const std::optional<std::string>& bundleId,
                             const nimbara::md::StatusCallback& callback);
    // Archives the app's documents, its application or both ("ArchiveType"), keeping it
    // installed. With both flags off nothing is sent and the result is 0.
    int ArchiveApplication(const std::string& bundleId, bool documents, bool application);
    // Removes the archive made by ArchiveApplication: the proxy's result (1 without a proxy).
    int RemoveApplicationArchive(const std::string& bundleId);

    // The default progress callback: logs the status dictionary.
    static void PrintStatus(const nimbara::PlistValue& status);

    // The bundle identifiers of the cached lookup (made on first use and kept; a failed lookup
    // is tried again next time). Prints "App list count = %ld\n".
    std::vector<std::string> GetAppIdentifiers();
    // One record per app, in the order of GetAppIdentifiers.
    std::vector<AppRecord> GetAppList();

    // Sends {"Command": "LookupArchives"} and returns the reply; nullopt when the request can't
    // be sent or no reply comes.
    std::optional<nimbara::PlistValue> LookupArchives();

  private:
    int TransferAndInstall(const std::string& packagePath,
                           const nimbara::md::StatusCallback& transferCallback,
                           const nimbara::md::StatusCallback& installCallback, bool upgrade);

    std::optional<nimbara::PlistValue> lookup_;  // the cached lookup
    int lookupError_ = 0;
};

}  // namespace amd
