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
    const std::optional<std::vector<std::string>> names = readFolder(folder);
    if (!names) {
        return !stop();
    }
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (const std::string& name : *names) {
        if (!isPlainEntryName(name)) {
            continue;
        }
        const std::string path = prefix + name;
        if (const std::optional<amd::afc::FileKindAndSize> info = entryInfo(path)) {
            if (info->kind == "S_IFDIR") {
                if (depth < maxDepth && !walk(path, depth + 1, onFile, stop)) {
                    return false;
                }
                if (afterFolder) {
                    afterFolder(path, depth);
                }
            } else if (info->kind == "S_IFREG") {
                onFile(path, info->size, depth);
            }
        }
        if (stop()) {
            return false;
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
