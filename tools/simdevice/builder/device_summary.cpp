#include "device_summary.h"

#include <sys/stat.h>

#include "folder_steps.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "platform/text_format.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;
namespace layout = md::sim;

namespace {

std::string megabytes(std::uint64_t bytes) {
    return formatFixed(static_cast<double>(bytes) / 1e6, 1) + " MB";
}

}  // namespace

DeviceSummary summarizeDevice(const fs::path& dir) {
    DeviceSummary s;
    if (auto plist = PlistValue::readFile((dir / layout::kDevicePlist).string())) {
        const PlistValue& global = (*plist)[layout::kKeyLockdown][layout::kGlobalDomain];
        s.deviceName = global["DeviceName"].toString();
        s.udid = global["UniqueDeviceID"].toString();
    }
    forEachEntry(dir / layout::kMediaDir, true, [&s](const fs::directory_entry& entry) {
        std::error_code ec;
        if (entry.is_directory(ec)) {
            ++s.mediaFolders;
        } else if (entry.is_regular_file(ec)) {
            ++s.mediaFiles;
            struct stat st {};
            if (::stat(entry.path().c_str(), &st) == 0) {
                s.mediaBytes += static_cast<std::uint64_t>(st.st_size);
                s.diskBytes += static_cast<std::uint64_t>(st.st_blocks) * 512;
            }
        }
    });
    forEachEntry(dir / layout::kCrashesDir, true, [&s](const fs::directory_entry& entry) {
        std::error_code ec;
        if (entry.is_regular_file(ec)) {
            ++s.crashLogs;
        }
    });
    forEachEntry(dir / layout::kAppsDir, false, [&s](const fs::directory_entry& app) {
        auto attributes = PlistValue::readFile((app.path() / layout::kAppAttributes).string());
        if (!attributes) {
            return;
        }
        if ((*attributes)["ApplicationType"].toString() == "User") {
            ++s.userApps;
        } else {
            ++s.systemApps;
        }
    });
    return s;
}

std::string describeSummary(const DeviceSummary& s) {
    std::string text = "\"" + s.deviceName + "\" (" + s.udid + ")\n";
    text += "  media:   " + std::to_string(s.mediaFiles) + " files in " +
            std::to_string(s.mediaFolders) + " folders, " + megabytes(s.mediaBytes) + " (" +
            megabytes(s.diskBytes) + " on disk)\n";
    text += "  apps:    " + std::to_string(s.userApps) + " user, " + std::to_string(s.systemApps) +
            " system\n";
    text += "  crashes: " + std::to_string(s.crashLogs) + " logs\n";
    return text;
}

}  // namespace nimbara::simdev
