#include "platform/mobiledevice/sim/sim_area.h"

#include "platform/device_path.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>

#include "platform/mobiledevice/mobile_device.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

bool isValidBundleId(const std::string& id) {
    return !id.empty() && id.size() <= 255 && id.front() != '.' &&
           id.find('/') == std::string::npos && id.find('\0') == std::string::npos &&
           id.find("..") == std::string::npos;
}

bool isValidFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

namespace {

// The components of an area path after lexical normalisation; nullopt when the text holds NUL.
std::optional<std::vector<std::string>> splitAreaPath(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return normalizedPathComponents(path);
}

// True when `path` is `root` or lies below it (both already resolved).
bool isWithin(const fs::path& root, const fs::path& path) {
    auto r = root.begin();
    auto p = path.begin();
    for (; r != root.end(); ++r, ++p) {
        if (r->empty() && std::next(r) == root.end()) {
            break;  // a trailing separator on the root
        }
        if (p == path.end() || *p != *r) {
            return false;
        }
    }
    return true;
}

}  // namespace

int afcErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return AfcError::Ok;
        case ENOENT:
        case ENOTDIR:
            return AfcError::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case ELOOP:
        case EXDEV:
            return AfcError::PermissionDenied;
        case EEXIST:
            return AfcError::Exists;
        case ENOTEMPTY:
            return AfcError::NotEmpty;
        case EISDIR:
            return AfcError::IsDirectory;
        case ENOSPC:
        case EDQUOT:
            return AfcError::NoSpace;
        case EINVAL:
        case ENAMETOOLONG:
            return AfcError::InvalidArgument;
        default:
            return AfcError::IoError;
    }
}

Area::Area(fs::path base, fs::path sub)
    : base_(std::move(base)), sub_(std::move(sub).relative_path()), root_(base_ / sub_) {
    if (sub_.empty()) {
        root_ = base_;
    }
}

int Area::realRoot(fs::path& out) const {
    std::error_code ec;
    out = fs::canonical(base_, ec);
    if (ec || !fs::is_directory(out, ec)) {
        return AfcError::NotFound;
    }
    fs::path walk = base_;
    for (const auto& part : sub_) {
        walk /= part;
        out /= part;
        const fs::file_status status = fs::symlink_status(walk, ec);
        if (fs::is_symlink(status)) {
            return AfcError::PermissionDenied;  // an area never leads out of its base
        }
        if (!fs::is_directory(status)) {
            return AfcError::NotFound;
        }
    }
    return AfcError::Ok;
}

int Area::check() const {
    fs::path real;
    return realRoot(real);
}

fs::path Area::reach(const fs::path& real, const fs::path& path) const {
    const fs::path relative = path.lexically_relative(real);
    if (relative.empty() || relative == ".") {
        return root_;
    }
    return root_ / relative;
}

int Area::begin(const std::string& path, std::vector<std::string>& parts, fs::path& real) const {
    auto split = splitAreaPath(path);
    if (!split) {
        return AfcError::InvalidArgument;
    }
    parts = std::move(*split);
    return realRoot(real);
}

int Area::locate(const fs::path& real, const std::vector<std::string>& parts, Follow follow,
                 fs::path& out) const {
    if (parts.empty()) {
        out = root_;
        return AfcError::Ok;
    }
    std::error_code ec;
    fs::path parent = real;
    if (parts.size() > 1) {
        fs::path lexical = root_;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            lexical /= parts[i];
        }
        parent = fs::canonical(lexical, ec);
        if (ec) {
            return AfcError::NotFound;
        }
        if (!isWithin(real, parent)) {
            return AfcError::PermissionDenied;
        }
        if (!fs::is_directory(parent, ec)) {
            return AfcError::NotFound;
        }
    }
    fs::path last = parent / parts.back();
    if (follow == Follow::Yes && fs::is_symlink(fs::symlink_status(reach(real, last), ec))) {
        fs::path target = fs::canonical(reach(real, last), ec);
        if (ec) {
            // A dangling link: where it would lead cannot be checked, so nothing goes through.
            return AfcError::PermissionDenied;
        }
        if (!isWithin(real, target)) {
            return AfcError::PermissionDenied;
        }
        last = target;
    }
    out = reach(real, last);
    return AfcError::Ok;
}

int Area::resolve(const std::string& path, Follow follow, fs::path& out) const {
    std::vector<std::string> parts;
    fs::path real;
    if (int rc = begin(path, parts, real)) {
        return rc;
    }
    return locate(real, parts, follow, out);
}

int Area::makeDirectory(const std::string& path, fs::path* out) const {
    std::vector<std::string> parts;
    fs::path real;
    if (int rc = begin(path, parts, real)) {
        return rc;
    }
    fs::path current = real;
    std::error_code ec;
    for (const auto& part : parts) {
        fs::path next = current / part;
        const fs::file_status status = fs::symlink_status(reach(real, next), ec);
        if (!fs::exists(status)) {
            if (!fs::create_directory(reach(real, next), ec) && ec) {
                return afcErrorFromErrno(ec.value());
            }
        } else if (fs::is_symlink(status)) {
            fs::path target = fs::canonical(reach(real, next), ec);
            if (ec || !isWithin(real, target)) {
                return AfcError::PermissionDenied;
            }
            if (!fs::is_directory(target, ec)) {
                return AfcError::Exists;
            }
            next = target;
        } else if (!fs::is_directory(status)) {
            return AfcError::Exists;
        }
        current = next;
    }
    if (out) {
        *out = reach(real, current);
    }
    return AfcError::Ok;
}

int Area::removePath(const std::string& path) const {
    std::vector<std::string> parts;
    fs::path real;
    fs::path target;
    if (int rc = begin(path, parts, real)) {
        return rc;
    }
    if (int rc = locate(real, parts, Follow::No, target)) {
        return rc;
    }
    if (parts.empty()) {
        return AfcError::PermissionDenied;  // the area's root
    }
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::exists(status)) {
        return AfcError::NotFound;
    }
    if (fs::is_directory(status) && !fs::is_empty(target, ec)) {
        return AfcError::NotEmpty;
    }
    if (!fs::remove(target, ec)) {
        return ec ? afcErrorFromErrno(ec.value()) : AfcError::NotFound;
    }
    return AfcError::Ok;
}

int Area::renamePath(const std::string& from, const std::string& to) const {
    std::vector<std::string> fromParts;
    fs::path real;
    fs::path source;
    fs::path destination;
    if (int rc = begin(from, fromParts, real)) {
        return rc;
    }
    if (int rc = locate(real, fromParts, Follow::No, source)) {
        return rc;
    }
    const auto toParts = splitAreaPath(to);
    if (!toParts) {
        return AfcError::InvalidArgument;
    }
    if (int rc = locate(real, *toParts, Follow::No, destination)) {
        return rc;
    }
    if (fromParts.empty() || toParts->empty()) {
        return AfcError::PermissionDenied;  // the area's root
    }
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(source, ec))) {
        return AfcError::NotFound;
    }
    fs::rename(source, destination, ec);
    return ec ? afcErrorFromErrno(ec.value()) : AfcError::Ok;
}

int Area::listDirectory(const std::string& path, std::vector<std::string>& names) const {
    names.clear();
    fs::path folder;
    if (int rc = resolve(path, Follow::Yes, folder)) {
        return rc;
    }
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(folder, ec))) {
        return AfcError::NotFound;
    }
    fs::directory_iterator it(folder, ec);
    if (ec) {
        return afcErrorFromErrno(ec.value());
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    if (ec) {
        names.clear();
        return afcErrorFromErrno(ec.value());
    }
    std::sort(names.begin(), names.end());
    return AfcError::Ok;
}

}  // namespace nimbara::md::sim
