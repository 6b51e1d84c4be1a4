// The installed apps of a simulated device folder (apps/<bundle-id>/, see sim_layout.h).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/plist_value.h"

namespace nimbara::md::sim {

// The app's folder when the app is installed: a real folder (not a link) under apps/ holding an
// attributes.plist dictionary. nullopt for invalid bundle identifiers.
std::optional<std::filesystem::path> installedAppDir(const std::filesystem::path& deviceDir,
                                                     const std::string& bundleId);

// The installation-proxy attributes of an installed app. "CFBundleIdentifier" is always set;
// "StaticDiskUsage" and "DynamicDiskUsage" are measured when the file lacks them and the app has
// a package folder (a service without one reports no sizes).
std::optional<PlistValue> appAttributes(const std::filesystem::path& deviceDir,
                                        const std::string& bundleId);

// Every installed app with its attributes, by bundle identifier.
std::vector<std::pair<std::string, PlistValue>> installedApps(
    const std::filesystem::path& deviceDir);

// The name of the app's package folder ("Maps.app"), from "Path", "CFBundleExecutable" or the
// bundle identifier; always a single valid file name.
std::string bundleFolderName(const PlistValue& attributes, const std::string& bundleId);

}  // namespace nimbara::md::sim
