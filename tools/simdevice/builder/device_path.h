// Maps device paths ("/DCIM/100APPLE/IMG_0001.JPG") onto the local folders of a simulated
// device, refusing anything that would leave the folder it belongs to.
#pragma once

#include <filesystem>
#include <string>

namespace nimbara::simdev {

// `root` joined with the components of `devicePath`. The path must start with "/"; repeated
// slashes and "." components are dropped; "..", a NUL byte or an empty path throw
// std::invalid_argument. "/" itself maps to `root` only when `allowRoot`.
std::filesystem::path confinedPath(const std::filesystem::path& root, const std::string& devicePath,
                                   bool allowRoot = false);

// A single folder name (a bundle identifier, a device folder): not empty, not "." or "..", no
// "/" and no NUL byte; otherwise std::invalid_argument naming `what`.
void checkFolderName(const std::string& name, const char* what);

// Throws std::invalid_argument when `local`, with symbolic links resolved, is not inside `root`.
// Guards against links planted in a folder that is being filled; call it before creating
// anything on the way to `local`. Neither path needs to exist yet.
void checkResolvedInside(const std::filesystem::path& root, const std::filesystem::path& local);

}  // namespace nimbara::simdev
