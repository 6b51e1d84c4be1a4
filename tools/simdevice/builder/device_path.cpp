#include "device_path.h"

#include <stdexcept>
#include <string_view>

#include "folder_steps.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

fs::path confinedPath(const fs::path& root, const std::string& devicePath, bool allowRoot) {
    if (devicePath.empty() || devicePath.front() != '/') {
        throw std::invalid_argument("device path must be absolute: \"" + devicePath + "\"");
    }
    if (devicePath.find('\0') != std::string::npos) {
        throw std::invalid_argument("device path contains a NUL byte");
    }
    fs::path local = root;
    bool any = false;
    std::string_view rest(devicePath);
    while (!rest.empty()) {
        std::size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            throw std::invalid_argument("device path leaves its folder: \"" + devicePath + "\"");
        }
        local /= fs::path(std::string(part));
        any = true;
    }
    if (!any && !allowRoot) {
        throw std::invalid_argument("device path names no file: \"" + devicePath + "\"");
    }
    return local;
}

void checkFolderName(const std::string& name, const char* what) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        throw std::invalid_argument(std::string(what) + " is not a plain name: \"" + name + "\"");
    }
}

void checkResolvedInside(const fs::path& root, const fs::path& local) {
    const fs::path base = resolvedPath(root);
    const fs::path target = resolvedPath(local);
    auto b = base.begin();
    auto t = target.begin();
    for (; b != base.end(); ++b, ++t) {
        if (t == target.end() || *b != *t) {
            throw std::invalid_argument("path resolves outside its folder: " + local.string());
        }
    }
}

}  // namespace nimbara::simdev
