#include "device_folder.h"

#include <exception>
#include <optional>

#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "unique_folder.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

bool fail(std::string* error, const std::string& text) {
    if (error) {
        *error = text;
    }
    return false;
}

}  // namespace

bool isSimulatedDevice(const fs::path& dir) {
    std::error_code ec;
    const fs::path plist = dir / md::sim::kDevicePlist;
    if (!fs::is_regular_file(plist, ec)) {
        return false;
    }
    auto value = PlistValue::readFile(plist.string());
    return value && value->isDict() && (*value)[md::sim::kKeyLockdown].isDict();
}

bool installDevice(const fs::path& dir, const DeviceMaker& make, std::string* error) {
    std::error_code ec;
    fs::path target = fs::absolute(dir, ec).lexically_normal();
    if (ec || target.empty()) {
        return fail(error, "invalid folder: " + dir.string());
    }
    if (!target.has_filename()) {
        target = target.parent_path();
    }
    if (target == target.root_path()) {
        return fail(error, "refusing to write a device into " + target.string());
    }
    const fs::file_status status = fs::symlink_status(target, ec);
    const bool exists = fs::exists(status);
    if (exists) {
        if (fs::is_symlink(status)) {
            return fail(error, target.string() + " is a symbolic link");
        }
        if (!fs::is_directory(status)) {
            return fail(error, target.string() + " exists and is not a folder");
        }
        if (!fs::is_empty(target, ec) && !isSimulatedDevice(target)) {
            return fail(error, target.string() +
                                   " is not empty and holds no simulated device; not replacing it");
        }
    }
    const fs::path parent = target.parent_path();
    fs::create_directories(parent, ec);
    if (ec) {
        return fail(error, "cannot create " + parent.string() + ": " + ec.message());
    }

    const std::string name = target.filename().string();
    UniqueFolder staging(parent, "." + name + ".building");
    if (!staging.valid()) {
        return fail(error, "cannot create a folder in " + parent.string());
    }
    try {
        std::string why;
        if (!make(staging.path(), &why)) {
            return fail(error, why.empty() ? std::string("building the device failed") : why);
        }
    } catch (const std::exception& e) {
        return fail(error, e.what());
    }

    // Move the old device aside first, so that it can come back if the new one can't move in.
    std::optional<UniqueFolder> old;
    if (exists) {
        old.emplace(parent, "." + name + ".old");
        if (!old->valid()) {
            return fail(error, "cannot create a folder in " + parent.string());
        }
        fs::rename(target, old->path(), ec);
        if (ec) {
            return fail(error, "cannot move " + target.string() + " aside: " + ec.message());
        }
    }
    fs::rename(staging.path(), target, ec);
    if (ec) {
        std::string text = "cannot move the device into " + target.string() + ": " + ec.message();
        if (old) {
            std::error_code back;
            fs::rename(old->path(), target, back);
            if (back) {
                // Never delete the only copy of the old device.
                text += "; the previous device is kept in " + old->path().string();
                old->release();
            }
        }
        return fail(error, text);
    }
    // mkdtemp made the folder private; a device folder is as readable as its neighbours.
    fs::permissions(target,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    ec);
    staging.release();
    return true;  // `old` removes the replaced device
}

}  // namespace nimbara::simdev
