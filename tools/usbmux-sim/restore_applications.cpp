#include "restore_applications.h"

#include <system_error>

#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"

namespace nimbara::usbmuxsim {

namespace fs = std::filesystem;

bool takeAppsToReinstall(const fs::path& anchor) {
    const fs::path left = anchor / md::sim::kMediaDir / kRestoreAppsFile;
    const fs::path record = anchor / kRestoreAppsRecord;
    std::error_code ec;
    const auto status = fs::symlink_status(left, ec);
    const auto apps =
        fs::is_regular_file(status) ? PlistValue::readFile(left.string()) : std::nullopt;
    fs::remove(left, ec);
    if (!apps || !apps->isDict() || !apps->writeFile(record.string())) {
        fs::remove(record, ec);
        return false;
    }
    return true;
}

}  // namespace nimbara::usbmuxsim
