// Info.plist of a backup of a real device, as the host writes it beside what the device sends:
// who the device is (from its lockdown values) and when the backup was made. The backup list
// reads its device name, serial number, product type and version; the backup tool reads the
// device's identifier from it.
#pragma once

#include <string>

#include "platform/plist_value.h"

namespace nimbara::backup {

// `lockdown`: the device's lockdown values (a dictionary, domain-less keys such as "DeviceName");
// `secondsSince2001`: the backup's date.
PlistValue backupInfoPlist(const PlistValue& lockdown, const std::string& udid,
                           double secondsSince2001);

}  // namespace nimbara::backup
