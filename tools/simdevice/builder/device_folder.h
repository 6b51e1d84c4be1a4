// Putting a freshly built simulated device in place of a folder: the device is built beside
// the target and renamed into place, so a failure leaves the old folder as it was and a
// watcher never sees a half-built device under the final name.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace nimbara::simdev {

// True when `dir` holds a device.plist whose root is a dictionary with lockdown values.
bool isSimulatedDevice(const std::filesystem::path& dir);

// Builds a device with `make` (called with an empty folder to fill) and moves it to `dir`.
// `dir` may be missing, an empty folder or a simulated device (which is replaced); anything
// else (a file, a symbolic link, a folder with other contents) is refused. False with the
// reason in `error` on failure.
using DeviceMaker = std::function<bool(const std::filesystem::path&, std::string*)>;
bool installDevice(const std::filesystem::path& dir, const DeviceMaker& make, std::string* error);

}  // namespace nimbara::simdev
