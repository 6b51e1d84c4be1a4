// The clean-up page's tests on the README's demo device: the device attached, the page and the
// tallies of what the device's folders hold.
#pragma once

#include <filesystem>
#include <string>

#include "cleanup/pages/pr_clean_view_controller.h"
#include "delegate_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"

namespace nimbara::test {

namespace fs = std::filesystem;

using Tally = nimbara::test::FileTally;
using nimbara::test::tallyOf;

inline constexpr const char* kRefusedApp = "com.northgate.vault";

class CleanPageTest : public DemoDelegateTest {
  protected:
    void SetUp() override {
        DemoDelegateTest::SetUp();
        observers_.add(NotificationCenter::defaultCenter().addObserver(
            "CleanFilehasFinished", [this](const Notification&) { ++finished_; }));
    }
    void TearDown() override {
        observers_.clear();
        DelegateTest::TearDown();
    }

    PRCleanViewController& page() { return *hub().GetCleanViewController(); }

    // The files of one category folder of every app whose container opens.
    Tally appFolders(const char* sub) const {
        Tally all;
        for (const auto& e : fs::directory_iterator(demo_ / md::sim::kAppsDir)) {
            if (e.path().filename() == kRefusedApp) {
                continue;
            }
            const Tally t = tallyOf(e.path() / md::sim::kAppContainer / sub);
            all.count += t.count;
            all.bytes += t.bytes;
        }
        return all;
    }
    Tally syncFolder() const { return tallyOf(demo_ / md::sim::kMediaDir / "iTunes_Control/Sync"); }

    bool waitIdle() {
        return pumpUntil([this] {
            return page().scanRunning() == PRCleanViewController::ScanKind::None &&
                   !page().removalRunning();
        });
    }

    // The app clean-up scan, from the start button, to its end.
    void appScan() {
        hub().ClickAppCleaner();
        page().startScanPhoneApp();
        ASSERT_EQ(page().scanRunning(), PRCleanViewController::ScanKind::App);
        ASSERT_TRUE(waitIdle());
        ASSERT_TRUE(page().bAppCleanerFinish());
    }
    // The device clean-up scan, from the sidebar's "Clean" title, to its end.
    void deviceScan() {
        hub().ClickCleanAction();
        ASSERT_EQ(page().scanRunning(), PRCleanViewController::ScanKind::Device);
        ASSERT_TRUE(waitIdle());
        ASSERT_NE(page().deviceScanResult(), nullptr);
    }

    static std::size_t treeEntries(PRAppTreeController& tree) {
        std::size_t n = 0;
        for (const auto& top : tree.cleanContent()) {
            n += ui::entriesBelow(top).size();
        }
        return n;
    }

    int finished_ = 0;
    ObserverBag observers_;
};

}  // namespace nimbara::test
