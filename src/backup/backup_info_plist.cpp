#include "backup/backup_info_plist.h"

#include <QString>

#include <random>
#include <utility>

namespace nimbara::backup {

namespace {

// The default "iTunes Version" where the device names no least version of its host.
constexpr const char* kDefaultITunesVersion = "10.0.1";

// "Applications": an entry for each user app the store can give back (it has its store
// signature and metadata), with its placeholder icon where SpringBoard gave one.
PlistValue applicationsOf(const BackupInfoExtras& extras, PlistValue& installed) {
    PlistValue applications = PlistValue::dict();
    installed = PlistValue::array();
    for (const PlistValue& app : extras.apps) {
        const PlistValue& id = app["CFBundleIdentifier"];
        if (!id.isString() || id.toString().empty()) {
            continue;
        }
        installed.append(id);
        const PlistValue* sinf = app.find("ApplicationSINF");
        const PlistValue* metadata = app.find("iTunesMetadata");
        if (sinf == nullptr || metadata == nullptr) {
            continue;
        }
        PlistValue entry = PlistValue::dict();
        entry.set("ApplicationSINF", *sinf);
        entry.set("iTunesMetadata", *metadata);
        if (const auto icon = extras.icons.find(id.toString()); icon != extras.icons.end()) {
            entry.set("PlaceholderIcon", icon->second);
        }
        applications.set(id.toString(), std::move(entry));
    }
    return applications;
}

}  // namespace

PlistValue backupInfoPlist(const PlistValue& lockdown, const BackupInfoExtras& extras,
                           const std::string& udid, double secondsSince2001) {
    // Info.plist key, lockdown key.
    static constexpr std::pair<const char*, const char*> kCopied[] = {
        {"Build Version", "BuildVersion"},
        {"Device Name", "DeviceName"},
        {"Display Name", "DeviceName"},
        {"ICCID", "IntegratedCircuitCardIdentity"},
        {"IMEI", "InternationalMobileEquipmentIdentity"},
        {"MEID", "MobileEquipmentIdentifier"},
        {"Phone Number", "PhoneNumber"},
        {"Product Type", "ProductType"},
        {"Product Version", "ProductVersion"},
        {"Serial Number", "SerialNumber"},
    };
    PlistValue info = PlistValue::dict();
    for (const auto& [key, from] : kCopied) {
        if (const PlistValue* value = lockdown.find(from); value && value->isString()) {
            info.set(key, value->toString());
        }
    }
    PlistValue installed;
    info.set("Applications", applicationsOf(extras, installed));
    info.set("Installed Applications", std::move(installed));
    info.set("GUID", extras.guid);
    info.set("Last Backup Date", PlistValue::date(secondsSince2001));
    info.set("Target Identifier", udid);
    info.set("Target Type", "Device");
    info.set("Unique Identifier", QString::fromStdString(udid).toUpper().toStdString());
    if (extras.iBooksData) {
        info.set("iBooks Data 2", *extras.iBooksData);
    }
    PlistValue files = PlistValue::dict();
    for (const auto& [name, bytes] : extras.iTunesFiles) {
        files.set(name, bytes);
    }
    info.set("iTunes Files", std::move(files));
    info.set("iTunes Settings",
             extras.iTunesSettings.isDict() ? extras.iTunesSettings : PlistValue::dict());
    info.set("iTunes Version",
             extras.iTunesVersion.empty() ? kDefaultITunesVersion : extras.iTunesVersion);
    return info;
}

std::string newBackupGuid() {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::random_device source;
    std::uniform_int_distribution<int> digit(0, 15);
    std::string guid(32, '0');
    for (char& c : guid) {
        c = kDigits[digit(source)];
    }
    return guid;
}

}  // namespace nimbara::backup
