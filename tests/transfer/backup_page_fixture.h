// The transfer pages that back a device up, without the shell: the fixture of the device pages
// with the real backup tool.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <filesystem>
#include <functional>
#include <list>
#include <string>
#include <thread>

#include "../filemanager/device_page_fixture.h"
#include "backup_source.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "platform/speech.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace nimbara::test {

// The real backup tool: the tool built beside the tests, the simulated devices of the test's
// folder, a private backup root and a silent speaker.
class BackupToolPageTest : public DevicePageTest {
  protected:
    void SetUp() override {
        env_.emplace_back("NIMBARA_BACKUP_TOOL", NIMBARA_BACKUP_TOOL_PATH);
        env_.emplace_back("NIMBARA_SIMULATED_DEVICES", tmp_.str());
        env_.emplace_back("NIMBARA_BACKUP_ROOT", backupRoot().string());
        setSpeaker([](const QString&) {});
        DevicePageTest::SetUp();
    }
    void TearDown() override {
        DevicePageTest::TearDown();
        setSpeaker({});
        env_.clear();
    }

    std::filesystem::path backupRoot() const { return tmp_ / "backups"; }
    std::filesystem::path backupOf(const std::string& udid) const { return backupRoot() / udid; }

    // Writes a device folder named after `udid` with a few backed-up files and the given
    // faults; attach it with attach().
    std::string makeBackupDevice(const std::string& udid, const std::string& name,
                                 const PlistValue& faults = PlistValue::dict()) {
        simdev::SimDeviceBuilder b(tmp_ / udid);
        b.setIdentity(name, udid, "iPhone10,4", "12.4.1");
        simdev::addBackupFile(b, "HomeDomain", "Library/Preferences/com.apple.x.plist", "<plist/>");
        simdev::addBackupFile(b, "CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG",
                              "jpeg bytes");
        for (const auto& [key, value] : faults.toDict()) {
            b.setFault(key, value);
        }
        EXPECT_TRUE(b.write());
        return (tmp_ / udid).string();
    }
    // Faults that keep the tool waiting until release().
    static PlistValue waitingFaults() {
        PlistValue faults = PlistValue::dict();
        faults[md::sim::kFaultBackupWaitsFor] = "go";
        return faults;
    }
    // Lets a waiting tool go on.
    void release(const std::string& udid) { writeText(tmp_ / udid / "go", "go"); }
    // Whether a run of the tool holds the device now.
    bool toolHolds(const std::string& udid) const { return folderIsLocked(tmp_ / udid); }
    // Runs the event loop until `condition` holds or half a minute passed: a run starts a
    // program, which takes its time on a busy machine.
    static bool pumpLong(const std::function<bool()>& condition) {
        for (int i = 0; i < 15000; ++i) {
            QCoreApplication::processEvents();
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return condition();
    }
    bool waitUntilToolHolds(const std::string& udid) {
        return pumpLong([&] { return toolHolds(udid); });
    }

  private:
    std::list<ScopedEnv> env_;  // a list: its entries never move
};

}  // namespace nimbara::test
