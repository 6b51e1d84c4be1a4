// A page host for page tests: what a page asks for is set by the test, and what it tells the host
// is recorded, so a page is tested without the shell.
#pragma once

#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "ui/page_host.h"

namespace nimbara::test {

class FakePageHost : public nimbara::ui::PageHost {
  public:
    QWidget* window = nullptr;
    std::shared_ptr<PRiDeviceNode> device;
    bool connected = false;
    QString exportPath;
    std::uint64_t limit = 0;
    PRIOSDeviceController* backups = nullptr;

    std::map<RemovedCategory, std::uint64_t> removed;
    std::vector<std::pair<BusyMark, bool>> busyMarks;
    std::vector<Destination> destinations;
    std::shared_ptr<PRIOSDeviceNode> chosenBackup;
    std::vector<std::shared_ptr<PRContactNode>> contacts;

    // Shows the device attached at `index` (its node made here).
    void showDevice(int index) {
        device = std::make_shared<PRiDeviceNode>();
        device->setDeviceIndex(index);
        connected = true;
    }

    QWidget* hostWindow() const override { return window; }
    std::shared_ptr<PRiDeviceNode> currentDeviceNode() const override { return device; }
    amd::DeviceTarget currentDeviceTarget() const override {
        if (!device || device->deviceIndex() < 0) {
            return {};
        }
        const int index = device->deviceIndex();
        return {index, amd::DeviceManager::GetInstance().DeviceSerial(index)};
    }
    bool deviceConnected() const override { return connected; }
    QString exportFolder() const override { return exportPath; }
    std::uint64_t largeFileLimit() const override { return limit; }
    void addRemovedBytes(RemovedCategory category, std::uint64_t bytes) override {
        removed[category] += bytes;
    }
    void markBusy(BusyMark mark, bool busy) override { busyMarks.emplace_back(mark, busy); }
    void navigateTo(Destination destination) override { destinations.push_back(destination); }
    PRIOSDeviceController* localBackups() const override { return backups; }
    void chooseBackup(const std::shared_ptr<PRIOSDeviceNode>& backup) override {
        chosenBackup = backup;
    }
    void setBackupContacts(std::vector<std::shared_ptr<PRContactNode>> list) override {
        contacts = std::move(list);
    }
};

}  // namespace nimbara::test
