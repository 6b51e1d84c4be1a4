// The contents of a backup folder, to show that reading a backup left it exactly as it was.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace nimbara::test {

// Every file below `folder` by relative path with its bytes, and every folder by relative path
// and a trailing "/" with no bytes, so that a new file or an empty new folder shows as well as a
// changed byte.
inline std::map<std::string, std::string> folderSnapshot(const std::filesystem::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = std::filesystem::relative(entry.path(), folder).string();
        if (entry.is_directory()) {
            entries[name + "/"] = std::string();
        } else {
            entries[name] = entry.is_regular_file() ? readText(entry.path()) : "<special>";
        }
    }
    return entries;
}

// The hidden names a run left in the backup root: folders of backups never finished, the
// device's lock file.
inline std::vector<std::string> hiddenLeftovers(const std::filesystem::path& root,
                                                const std::string& /*udid*/) {
    std::vector<std::string> hidden;
    for (const std::string& name : folderNames(root)) {
        if (name.front() == '.') {
            hidden.push_back(name);
        }
    }
    return hidden;
}

}  // namespace nimbara::test
