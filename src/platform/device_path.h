// Device paths as the file services see them: absolute, "/"-separated, UTF-8.
#pragma once

#include <string>
#include <vector>

namespace nimbara {

// The components of a device path with empty components and "." dropped and ".." removing the
// previous component; ".." never climbs above the root.
std::vector<std::string> normalizedPathComponents(const std::string& path);

}  // namespace nimbara
