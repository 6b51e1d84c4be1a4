#include "platform/device_path.h"

namespace nimbara {

std::vector<std::string> normalizedPathComponents(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

bool isValidBundleId(const std::string& id) {
    return !id.empty() && id.size() <= 255 && id.front() != '.' &&
           id.find('/') == std::string::npos && id.find('\0') == std::string::npos &&
           id.find("..") == std::string::npos;
}

bool isValidFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace nimbara
