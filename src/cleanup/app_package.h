// What the app archive jobs share: a private scratch folder per job, and the check of an unpacked
// app package before anything of it reaches a device.
#pragma once

#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/plist_value.h"
#include "platform/unique_folder.h"

namespace nimbara::cleanup {

// A fresh private scratch folder for one job ("app-archives/job-XXXXXX" below the process's
// scratch root), removed with everything in it when the object goes; null when none can be made.
// A job never sees what an earlier one left.
std::unique_ptr<UniqueFolder> appJobScratch();

// Whether `id` can be an app's bundle identifier: 1 to 255 ASCII letters, digits, "-", "_" and
// ".", neither starting with "." nor holding "..".
bool isAppBundleId(const std::string& id);

// The app of an unpacked package and its Info.plist.
struct VerifiedAppBundle {
    std::filesystem::path app;  // "<root>/Payload/<name>.app"
    PlistValue info;            // its Info.plist, a dictionary
};

// What an unpacked app package must hold: exactly one "Payload/<name>.app" folder (links are not
// followed) whose Info.plist names `bundleId`, an identifier isAppBundleId takes, as its
// CFBundleIdentifier. nullopt with the reason in `why` (a sentence without its full stop, "The
// app's archive holds more than one app").
std::optional<VerifiedAppBundle> verifiedAppBundle(const std::filesystem::path& root,
                                                   const std::string& bundleId, QString* why);

}  // namespace nimbara::cleanup
