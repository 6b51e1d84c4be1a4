// The global lockdown domain as the test device serves it in a session: the device.plist's own
// values first, then the keys a current iPhone's domain also holds (its chip, firmware and
// baseband, SIM, clock and host state) where the plist has none of them, and the version and
// build of the device's profile (sim_profile.h).
#pragma once

#include <string>

#include "device_extras.h"
#include "platform/plist_value.h"
#include "sim_profile.h"

namespace nimbara::usbmuxsim {

// `own`: the device.plist's global domain (a dictionary).
PlistValue servedGlobalValues(const PlistValue& own, const DeviceExtras& extras, Profile profile);

// "ProductVersion" and "BuildVersion" of `values` as the profile serves them, where they are
// there.
void serveProfileVersion(PlistValue& values, Profile profile);

}  // namespace nimbara::usbmuxsim
