// AFC over a folder of a simulated device (see sim_area.h for how paths stay inside it).
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/sim_area.h"

namespace nimbara::md::sim {

class SimulatedDevice;

// What an AFC connection and its open files share.
struct AfcSession {
    AfcSession(std::shared_ptr<SimulatedDevice> d, Area a)
        : device(std::move(d)), area(std::move(a)) {}
    // False once the connection closed or the device went away; counts one operation. An
    // attribute read may leave the look at the device's folder to a later call (see
    // SimulatedDevice::countOperation).
    bool begin(bool attributeRead = false);

    std::shared_ptr<SimulatedDevice> device;
    Area area;
    FolderChain folders;  // the folders listed last, for the attribute reads that follow
    std::atomic<bool> closed{false};
};

class SimAfcConnection : public AfcConnection {
  public:
    SimAfcConnection(std::shared_ptr<SimulatedDevice> device, Area area);
    ~SimAfcConnection() override;

    int readDirectory(const std::string& path, std::vector<std::string>& names) override;
    int fileInfo(const std::string& path,
                 std::vector<std::pair<std::string, std::string>>& info) override;
    int openFile(const std::string& path, int mode, std::unique_ptr<AfcFile>& file) override;
    int removePath(const std::string& path) override;
    int renamePath(const std::string& from, const std::string& to) override;
    int makeDirectory(const std::string& path) override;
    int close() override;

    // How many folders below the area's root the connection holds open (for tests).
    std::size_t heldFolders() const;

  private:
    std::shared_ptr<AfcSession> session_;
};

}  // namespace nimbara::md::sim
