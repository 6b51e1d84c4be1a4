// SpringBoard services of a simulated device: app icons and the home-screen layout.
#pragma once

#include <memory>

#include "platform/mobiledevice/sim/sim_services.h"

namespace nimbara::md::sim {

class SimulatedDevice;

class SpringBoardHandler : public PlistHandler {
  public:
    static constexpr std::size_t kIconsPerPage = 20;
    static constexpr std::uint64_t kMaxIconBytes = 16u * 1024u * 1024u;

    explicit SpringBoardHandler(std::shared_ptr<SimulatedDevice> device);
    // {"command": "getIconPNGData", "bundleId": id} → {"pngData": bytes}, or {} without an icon;
    // {"command": "getIconState"} → pages of {"bundleIdentifier", "displayName"} of user apps.
    void handle(const PlistValue& request, std::vector<PlistValue>& replies) override;

  private:
    std::shared_ptr<SimulatedDevice> device_;
};

}  // namespace nimbara::md::sim
