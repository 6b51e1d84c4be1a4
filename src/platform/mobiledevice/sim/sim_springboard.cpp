#include "platform/mobiledevice/sim/sim_springboard.h"

#include <mutex>

#include "platform/mobiledevice/sim/sim_apps.h"
#include "platform/mobiledevice/sim/sim_files.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_device.h"

namespace nimbara::md::sim {

SpringBoardHandler::SpringBoardHandler(std::shared_ptr<SimulatedDevice> device)
    : device_(std::move(device)) {}

void SpringBoardHandler::handle(const PlistValue& request, std::vector<PlistValue>& replies) {
    const std::string& command = request["command"].toString();
    PlistValue reply = PlistValue::dict();
    std::lock_guard<std::mutex> lock(device_->appsMutex());
    if (command == "getIconPNGData") {
        if (auto appDir = installedAppDir(device_->anchor(), request["bundleId"].toString())) {
            if (auto bytes = readRegularFile(*appDir / kAppIcon, kMaxIconBytes)) {
                reply["pngData"] = std::move(*bytes);
            }
        }
    } else if (command == "getIconState") {
        PlistValue pages = PlistValue::array();
        PlistValue page = PlistValue::array();
        for (const auto& [id, attributes] : installedApps(device_->anchor())) {
            if (attributes["ApplicationType"].toString() != "User") {
                continue;
            }
            PlistValue icon = PlistValue::dict();
            icon["bundleIdentifier"] = id;
            icon["displayName"] = attributes["CFBundleDisplayName"];
            page.append(std::move(icon));
            if (page.size() == kIconsPerPage) {
                pages.append(std::move(page));
                page = PlistValue::array();
            }
        }
        if (page.size() > 0) {
            pages.append(std::move(page));
        }
        replies.push_back(std::move(pages));
        return;
    }
    replies.push_back(std::move(reply));
}

}  // namespace nimbara::md::sim
