#include "cleanup/protected_files.h"

#include "platform/device_path.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

namespace nimbara::cleanup {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// A database file or one of its companions, whatever the letter case.
bool isDatabaseName(const std::string& name) {
    std::string base = lowered(name);
    for (std::string_view companion : {"-wal", "-shm", "-journal"}) {
        if (endsWith(base, companion)) {
            base.resize(base.size() - companion.size());
            break;
        }
    }
    for (std::string_view ext : {".sqlitedb", ".sqlite", ".sqlite3", ".db"}) {
        if (endsWith(base, ext)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool isProtectedDeviceFile(const std::string& devicePath) {
    if (devicePath.empty() || devicePath.front() != '/' ||
        devicePath.find('\0') != std::string::npos) {
        return true;
    }
    const std::vector<std::string> parts = nimbara::normalizedPathComponents(devicePath);
    if (parts.empty()) {
        return true;  // the root itself
    }
    // The media library keeps everything below this folder.
    if (parts.size() >= 2 && parts[0] == "iTunes_Control" && parts[1] == "iTunes") {
        return true;
    }
    // Photo library, download queue and every other database with its companions.
    return isDatabaseName(parts.back());
}

bool isCameraRollFileName(const std::string& fileName) {
    return lowered(fileName).find("img_") != std::string::npos;
}

}  // namespace nimbara::cleanup
