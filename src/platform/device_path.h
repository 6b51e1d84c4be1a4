// Device paths as the file services see them: absolute, "/"-separated, UTF-8.
#pragma once

#include <string>
#include <vector>

namespace nimbara {

// The components of a device path with empty components and "." dropped and ".." removing the
// previous component; ".." never climbs above the root.
std::vector<std::string> normalizedPathComponents(const std::string& path);

// A bundle identifier that can name a folder: not empty, no "/", no "..", no NUL, no leading
// ".", at most 255 bytes.
bool isValidBundleId(const std::string& id);

// One path component that names an entry: not empty, not "." or "..", no "/" and no NUL.
bool isValidFileName(const std::string& name);

}  // namespace nimbara
