// The apps a host leaves on the device for it to reinstall once a restore restarted it: the
// property list /iTunesRestore/RestoreApplications.plist that the host writes through AFC before
// it asks for the restore. On each restore the device takes it from its media folder and keeps
// it as kRestoreAppsRecord in the device's folder, which a restore without it removes, so that a
// test sees what the last restore was given.
#pragma once

#include <filesystem>

namespace nimbara::usbmuxsim {

inline constexpr const char* kRestoreAppsFile = "iTunesRestore/RestoreApplications.plist";
inline constexpr const char* kRestoreAppsRecord = "restore-applications.plist";

// `anchor`: the device's folder. True when the host had left the list.
bool takeAppsToReinstall(const std::filesystem::path& anchor);

}  // namespace nimbara::usbmuxsim
