// Device paths of the clean-up page's items, as lists of components.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/device_path.h"

namespace nimbara::cleanup {

// The components of an absolute device path as the device lists one: "/" separated names, none
// of them empty, "." or "..". nullopt for anything else (a relative path, "//", "/a/../b").
inline std::optional<std::vector<std::string>> plainComponents(const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t at = 1;
    while (at <= path.size()) {
        const std::size_t slash = path.find('/', at);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        std::string name = path.substr(at, end - at);
        if (!isValidFileName(name)) {
            return std::nullopt;
        }
        parts.push_back(std::move(name));
        at = end + 1;
    }
    return parts;
}

// True when `parts` begins with every component of `prefix`.
inline bool startsWith(const std::vector<std::string>& parts,
                       const std::vector<std::string>& prefix) {
    if (prefix.size() > parts.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (parts[i] != prefix[i]) {
            return false;
        }
    }
    return true;
}

// "/a/b" of {"a", "b"}; "/" of none.
inline std::string joinComponents(const std::vector<std::string>& parts) {
    if (parts.empty()) {
        return "/";
    }
    std::string out;
    for (const std::string& part : parts) {
        out += '/';
        out += part;
    }
    return out;
}

}  // namespace nimbara::cleanup
