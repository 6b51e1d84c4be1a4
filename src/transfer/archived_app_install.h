// Installing an app archive chosen on this computer (a zip such as the large-file page's archive
// writes) on a device, in two steps that run on a worker thread, so that the user can be asked
// in between:
//
// checkAppArchive unpacks the zip with libzip into a fresh private scratch folder (entries with
// "..", absolute names or links refused, each entry stopped at its declared size), reads the
// bundle identifier from its "iTunesMetadata.plist" ("softwareVersionBundleId"), requires exactly
// one "Payload/<name>.app" whose Info.plist names that identifier, and asks the device whether
// the app is installed there (and in which version). It changes nothing on the device.
//
// installCheckedArchive sends that app bundle to the device as an upgrade: an installed version
// is replaced in place with its documents and data kept, and is never uninstalled first. The
// device is asked afterwards whether the app is there.
//
// Both belong to one device (index and serial, checked before every device step) and report what
// really happened in one sentence; neither shows anything itself. The scratch folder goes with
// the CheckedAppArchive (and at once when the check fails).
#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "device/device_target.h"
#include "platform/unique_folder.h"

namespace nimbara::transfer {

// What a zip without the archive's metadata (or without its bundle identifier) gets.
inline constexpr char kNotAnAppArchiveText[] =
    "This file is not the archived file of Pellucor, please choose again.";

using ArchiveStopCheck = std::function<bool()>;  // true: stop now

// An archive that passed the check, unpacked in a private scratch folder that is removed when
// the object goes.
struct CheckedAppArchive {
    QString file;          // the zip chosen
    std::string bundleId;  // from the metadata, the same as the app's Info.plist says
    QString appName;       // the metadata's "itemName", else the app's display name, else its id
    QString version;       // the archive's version text; empty when it names none
    std::filesystem::path bundle;  // the unpacked "Payload/<name>.app"
    bool installed = false;        // an app with this identifier is on the device
    QString installedVersion;      // its version text (empty when unknown or not installed)
    std::unique_ptr<UniqueFolder> scratch;  // holds `bundle`
};

struct ArchiveCheckResult {
    enum class Outcome {
        Ready,         // `archive` holds what to install
        NotAnArchive,  // no metadata or no bundle identifier in it: kNotAnAppArchiveText
        Unusable,      // a refused, damaged or unfitting archive; message says why
        Failed,        // this computer or the device could not do a step; message says which
        DeviceGone,    // the device went away (or another took its index)
        Stopped,       // the stop check asked to end
    };
    Outcome outcome = Outcome::Failed;
    QString message;  // one sentence for the user (empty for Ready)
    std::shared_ptr<CheckedAppArchive> archive;
};

struct ArchiveInstallResult {
    enum class Outcome {
        Installed,   // the device lists the app after the install
        Failed,      // message says what happened and what the device holds now
        DeviceGone,  // the device went away before or during the install
        Stopped,     // stopped before anything was sent to the device
    };
    Outcome outcome = Outcome::Failed;
    QString message;
};

// The cheap step: unpacks and checks `zipFile` and looks the app up on `target`.
ArchiveCheckResult checkAppArchive(const QString& zipFile, const amd::DeviceTarget& target,
                                   const ArchiveStopCheck& stop = {});

// The install of a checked archive on `target`. A stop request is heard until the app is sent;
// from then on the install runs to its end.
ArchiveInstallResult installCheckedArchive(const CheckedAppArchive& archive,
                                           const amd::DeviceTarget& target,
                                           const ArchiveStopCheck& stop = {});

// The question before the install, naming the app, the file and the device, and what is replaced.
struct ArchiveInstallQuestion {
    QString message;
    QString informativeText;
};
ArchiveInstallQuestion archiveInstallQuestion(const CheckedAppArchive& archive,
                                              const QString& deviceName);

}  // namespace nimbara::transfer
