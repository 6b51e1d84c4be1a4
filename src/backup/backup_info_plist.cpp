#include "backup/backup_info_plist.h"

#include <utility>

namespace nimbara::backup {

PlistValue backupInfoPlist(const PlistValue& lockdown, const std::string& udid,
                           double secondsSince2001) {
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
    info.set("Last Backup Date", PlistValue::date(secondsSince2001));
    info.set("Target Identifier", udid);
    info.set("Target Type", "Device");
    info.set("Unique Identifier", udid);
    return info;
}

}  // namespace nimbara::backup
