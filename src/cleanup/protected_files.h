// Device files that hold the device's own databases: the photo library under "/PhotoData", the
// media library under "/iTunes_Control/iTunes", the download queue "/Downloads/downloads.*"
// databases, and any other *.sqlitedb / *.sqlite / *.db file (with its -wal, -shm or -journal
// companions) in the system areas. They may be listed, but are never ticked by default and never
// removed by a clean-up. This is the one place that decides it.
#pragma once

#include <string>

namespace nimbara::cleanup {

// `devicePath` is an absolute AFC media path ("/PhotoData/Photos.sqlite"). Components "." and
// "..", repeated and trailing slashes are normalised first, so "/PhotoData//./Photos.sqlite" is
// protected too. A relative or empty path is treated as protected (never removed).
bool isProtectedDeviceFile(const std::string& devicePath);

// A camera-roll file ("IMG_" in its name, any case): the quick clean-up removes it only through
// the photo step, after its backup, never as a large file.
bool isCameraRollFileName(const std::string& fileName);

}  // namespace nimbara::cleanup
