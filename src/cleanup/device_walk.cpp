#include "cleanup/device_walk.h"

#include "device/afc_service.h"

namespace nimbara::cleanup {

DeviceWalk DeviceWalk::over(amd::AfcService& afc) {
    DeviceWalk w;
    w.readFolder = [&afc](const std::string& folder) { return afc.ReadDirectory(folder); };
    w.entryInfo = [&afc](const std::string& path) { return afc.GetFileKindAndSize(path); };
    return w;
}

bool DeviceWalk::walk(const std::string& folder, int depth, const FileVisit& onFile,
                      const StopCheck& stop) const {
    return walkFolder(folder, depth, onFile, stop, true);
}

bool DeviceWalk::walkFolder(const std::string& folder, int depth, const FileVisit& onFile,
                            const StopCheck& stop, bool top) const {
    const std::optional<std::vector<std::string>> names = readFolder(folder);
    if (!names) {
        return !stop();
    }
    // One buffer for the paths of all entries of the folder.
    std::string path = folder == "/" ? folder : folder + "/";
    const std::size_t prefix = path.size();
    for (std::size_t i = 0; i < names->size(); ++i) {
        const std::string& name = (*names)[i];
        if (isPlainEntryName(name)) {
            path.resize(prefix);
            path += name;
            if (const std::optional<amd::afc::FileKindAndSize> info = entryInfo(path)) {
                if (info->kind == "S_IFDIR") {
                    if (depth < maxDepth && !walkFolder(path, depth + 1, onFile, stop, false)) {
                        return false;
                    }
                    if (afterFolder) {
                        afterFolder(path, depth);
                    }
                } else if (info->kind == "S_IFREG") {
                    onFile(path, info->size, depth);
                }
            }
        }
        if (stop()) {
            return false;
        }
        if (top && afterTopEntry) {
            afterTopEntry(i + 1, names->size());
        }
    }
    return true;
}

bool isPlainEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string lastPathComponent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace nimbara::cleanup
