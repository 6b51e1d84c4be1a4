// Archive and reinstall of one user app of the large-file finder, run on a worker thread.
//
// Both jobs belong to one device (index and serial, checked before every device step) and report
// what really happened; neither shows anything itself.
//
// archiveAppToFolder: the device archives the app with its documents ("All", uninstall skipped),
// the archive is copied to "<folder>/<bundle id>.zip" (the bundle id made safe as a file name; an
// existing file is never replaced, the copy takes a " (2)" name instead), and the device's archive
// is removed afterwards whether the copy worked or not.
//
// reinstallApp: the device archives the application only ("ApplicationOnly"); the archive is
// copied into a private scratch folder (never the user's export folder, so an earlier "All"
// archive there stays as it was) and unpacked with libzip, refusing entries with "..", absolute
// names or links. The package must hold exactly one "Payload/<name>.app" whose Info.plist
// names the same bundle id. Only once that is verified is the app uninstalled and the package
// installed; any failure before that leaves the app on the device untouched. Once the uninstall
// was sent, a stop request no longer ends the job: the install is tried (twice when the first try
// fails on a device that stayed) and the device asked whether the app is back. The scratch
// folder is removed when the job ends; when the app was lost all the same, its verified package
// is first saved into `keepPackageIn` (when given) under a fresh name, "<bundle id>.zip" or
// "<bundle id> (2).zip", never over an earlier archive, and archivePath names it.
//
// Both jobs look the app up first: an app no longer installed is a failure of its own, not a
// refused archive, and a built-in app is never reinstalled. The device's archive is removed
// after every archive request, also when the copy failed or the job was stopped.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace nimbara::cleanup {

struct AppJobTarget {
    int deviceIndex = -1;
    std::uint64_t deviceSerial = 0;  // 0: the device at deviceIndex when the job starts
    std::string bundleId;
};

struct AppJobResult {
    enum class Outcome {
        Done,        // archived into the folder / reinstalled
        Refused,     // the device refused the archive (e.g. later iOS versions)
        Failed,      // a step failed; message says which; the app is still on the device
        AppLost,     // uninstalled, then the install failed: the app is no longer on the device
        DeviceGone,  // the device went away (or another took its index) before the job ended
        Stopped,     // the stop check asked to end
    };
    Outcome outcome = Outcome::Failed;
    QString message;  // one sentence for the user
    // archiveAppToFolder: the local zip written; reinstallApp: the package kept after AppLost
    // (empty when none).
    QString archivePath;
    // reinstallApp: the bundle and data sizes the device reports after the install (0 unknown).
    std::uint64_t staticDiskUsage = 0;
    std::uint64_t dynamicDiskUsage = 0;
};

using AppJobStopCheck = std::function<bool()>;

AppJobResult archiveAppToFolder(const AppJobTarget& target, const QString& exportFolder,
                                const AppJobStopCheck& stop = {});

AppJobResult reinstallApp(const AppJobTarget& target, const AppJobStopCheck& stop = {},
                          const QString& keepPackageIn = {});

}  // namespace nimbara::cleanup
