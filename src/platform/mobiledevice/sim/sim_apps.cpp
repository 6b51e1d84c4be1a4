#include "platform/mobiledevice/sim/sim_apps.h"

#include <algorithm>
#include <system_error>

#include "platform/mobiledevice/sim/sim_area.h"
#include "platform/mobiledevice/sim/sim_files.h"
#include "platform/mobiledevice/sim/sim_layout.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

std::optional<fs::path> installedAppDir(const fs::path& deviceDir, const std::string& bundleId) {
    if (!isValidBundleId(bundleId)) {
        return std::nullopt;
    }
    std::error_code ec;
    const fs::path apps = deviceDir / kAppsDir;
    if (!fs::is_directory(fs::symlink_status(apps, ec))) {
        return std::nullopt;
    }
    const fs::path dir = apps / bundleId;
    if (!fs::is_directory(fs::symlink_status(dir, ec)) ||
        !fs::is_regular_file(fs::symlink_status(dir / kAppAttributes, ec))) {
        return std::nullopt;
    }
    return dir;
}

std::optional<PlistValue> appAttributes(const fs::path& deviceDir, const std::string& bundleId) {
    auto dir = installedAppDir(deviceDir, bundleId);
    if (!dir) {
        return std::nullopt;
    }
    auto attributes = PlistValue::readFile((*dir / kAppAttributes).string());
    if (!attributes || !attributes->isDict()) {
        return std::nullopt;
    }
    if (!attributes->contains("CFBundleIdentifier")) {
        attributes->set("CFBundleIdentifier", bundleId);
    }
    // A built-in service without a package of its own reports no sizes.
    std::error_code ec;
    if (std::filesystem::is_directory(*dir / kAppBundle, ec)) {
        if (!attributes->contains("StaticDiskUsage")) {
            attributes->set("StaticDiskUsage", std::uint64_t(treeSize(*dir / kAppBundle)));
        }
        if (!attributes->contains("DynamicDiskUsage")) {
            attributes->set("DynamicDiskUsage", std::uint64_t(treeSize(*dir / kAppContainer)));
        }
    }
    return attributes;
}

std::vector<std::pair<std::string, PlistValue>> installedApps(const fs::path& deviceDir) {
    std::vector<std::string> ids;
    std::error_code ec;
    const fs::path apps = deviceDir / kAppsDir;
    if (fs::is_directory(fs::symlink_status(apps, ec))) {
        for (fs::directory_iterator it(apps, ec); !ec && it != fs::directory_iterator();
             it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (isValidBundleId(name)) {
                ids.push_back(std::move(name));
            }
        }
    }
    std::sort(ids.begin(), ids.end());
    std::vector<std::pair<std::string, PlistValue>> result;
    for (auto& id : ids) {
        if (auto attributes = appAttributes(deviceDir, id)) {
            result.emplace_back(std::move(id), std::move(*attributes));
        }
    }
    return result;
}

std::string bundleFolderName(const PlistValue& attributes, const std::string& bundleId) {
    const std::string& path = attributes["Path"].toString();
    const std::string last =
        path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    if (isValidFileName(last) && last.size() > 4 && last.ends_with(".app")) {
        return last;
    }
    const std::string executable = attributes["CFBundleExecutable"].toString() + ".app";
    if (isValidFileName(executable) && executable != ".app") {
        return executable;
    }
    return bundleId + ".app";
}

}  // namespace nimbara::md::sim
