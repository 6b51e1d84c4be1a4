// The installation proxy of a simulated device: "Lookup", "Install", "Uninstall", "Archive",
// "RemoveArchive" and "LookupArchives" over apps/ and media/ApplicationArchives/.
#pragma once

#include <memory>

#include "platform/mobiledevice/sim/sim_services.h"

namespace nimbara::md::sim {

class SimulatedDevice;

class InstallationProxyHandler : public PlistHandler {
  public:
    // Apps are split over several "BrowsingApplications" frames of this many entries.
    static constexpr std::size_t kLookupBatch = 20;

    explicit InstallationProxyHandler(std::shared_ptr<SimulatedDevice> device);
    void handle(const PlistValue& request, std::vector<PlistValue>& replies) override;

  private:
    void lookup(const PlistValue& options, std::vector<PlistValue>& replies);
    void install(const PlistValue& request, std::vector<PlistValue>& replies);
    void uninstall(const PlistValue& request, std::vector<PlistValue>& replies);
    void archive(const PlistValue& request, std::vector<PlistValue>& replies);
    void removeArchive(const PlistValue& request, std::vector<PlistValue>& replies);
    void lookupArchives(std::vector<PlistValue>& replies);
    // Holds a lookup while the device's "LookupWaitsFor" fault asks for it; false when the
    // device went away meanwhile.
    bool waitForLookup() const;

    std::shared_ptr<SimulatedDevice> device_;
};

}  // namespace nimbara::md::sim
