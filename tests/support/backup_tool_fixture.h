// Backups run by the real backup tool: the tool built beside the tests, the simulated devices of
// the test's folder, a private backup root, and a speaker that records what would have been said.
// Put over a fixture with tmp_ and attach(): the shell's or the device pages'.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backup_source.h"
#include "event_loop.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "platform/speech.h"
#include "sim_device_builder.h"
#include "test_support.h"
#include "ui/alerts.h"

namespace nimbara::test {

template <class Fixture>
class BackupToolFixture : public Fixture {
  protected:
    void SetUp() override {
        env_.emplace_back("NIMBARA_BACKUP_TOOL", NIMBARA_BACKUP_TOOL_PATH);
        env_.emplace_back("NIMBARA_SIMULATED_DEVICES", this->tmp_.str());
        env_.emplace_back("NIMBARA_BACKUP_ROOT", backupRoot().string());
        // The settings file (the question before a backup replaces another is kept there).
        env_.emplace_back("XDG_CONFIG_HOME", (this->tmp_ / "config").string());
        setSpeaker([this](const QString& text) {
            std::lock_guard<std::mutex> lock(spokenMutex_);
            spoken_.push_back(text);
        });
        Fixture::SetUp();
        // The question before a backup replaces the device's earlier one is answered as a user
        // going on would, unless a test answers it itself; any other is unexpected.
        alerts_.emplace([this](QWidget*, const Alerts::Question& question) {
            EXPECT_EQ(question.defaultButton, "Back Up and Replace")
                << "unexpected alert: " << question.message.toStdString();
            answered_.push_back(question.message);
            return Alerts::Answer::Default;
        });
    }
    void TearDown() override {
        alerts_.reset();  // handlers go in the order opposite to their coming
        // The pages go first: they stop their runs while the tool can still be found.
        Fixture::TearDown();
        setSpeaker({});
        env_.clear();
    }

    std::filesystem::path backupRoot() const { return this->tmp_ / "backups"; }
    std::filesystem::path backupOf(const std::string& udid) const { return backupRoot() / udid; }

    // Writes a device folder named after `udid` with a few backed-up files and the given
    // faults; attach it with attach().
    std::string makeBackupDevice(const std::string& udid, const std::string& name,
                                 const PlistValue& faults = PlistValue::dict()) {
        simdev::SimDeviceBuilder b(this->tmp_ / udid);
        b.setIdentity(name, udid, "iPhone10,4", "12.4.1");
        simdev::addBackupFile(b, "HomeDomain", "Library/Preferences/com.apple.x.plist", "<plist/>");
        simdev::addBackupFile(b, "CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG",
                              "jpeg bytes");
        for (const auto& [key, value] : faults.toDict()) {
            b.setFault(key, value);
        }
        EXPECT_TRUE(b.write());
        return (this->tmp_ / udid).string();
    }
    // Faults that keep the tool waiting until release() (plus `more`).
    static PlistValue waitingFaults(PlistValue more = PlistValue::dict()) {
        more[md::sim::kFaultBackupWaitsFor] = "go";
        return more;
    }
    // Lets a waiting tool go on.
    void release(const std::string& udid) { writeText(this->tmp_ / udid / "go", "go"); }

    // Whether a run of the tool holds the device now.
    bool toolHolds(const std::string& udid) const { return folderIsLocked(this->tmp_ / udid); }
    // Runs the event loop until `condition` holds or half a minute passed: a run starts a
    // program, which takes its time on a busy machine.
    static bool pumpLong(const std::function<bool()>& condition) {
        return test::pumpUntil(condition, 15000);
    }
    // The GUI thread keeps turning meanwhile: a run may be showing its notice.
    bool waitUntilToolHolds(const std::string& udid) {
        return pumpLong([&] { return toolHolds(udid); });
    }
    // Whether the device's folder can be taken by a run now (no tool holds it, nothing is wrong).
    bool toolFree(const std::string& udid) const {
        std::string error;
        return md::sim::BackupTarget::open(this->tmp_.path(), udid, &error) != nullptr;
    }

    std::vector<QString> spoken() {
        std::lock_guard<std::mutex> lock(spokenMutex_);
        return spoken_;
    }

    std::vector<QString> answered_;  // the questions the fixture answered

  private:
    std::optional<Alerts::ScopedHandler> alerts_;
    std::list<ScopedEnv> env_;  // a list: its entries never move
    std::mutex spokenMutex_;
    std::vector<QString> spoken_;
};

}  // namespace nimbara::test
