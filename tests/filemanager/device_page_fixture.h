// The device pages (storage manager, file browser, transfer, one-click copy) without the shell:
// a fake page host showing the device the test chose, a simulated library whose departures reach
// the pages as they do in the program ("DeviceDisConnect"), a private home folder and the shell's
// busy indicators as the pages drive them: a host's busy mark turns one on, a mark turned off or
// the page's finish notification turns it off again.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "../app/app_test_support.h"
#include "../support/fake_page_host.h"
#include "../support/simulated_home_fixture.h"
#include "device/base_info.h"
#include "device/device_manager.h"
#include "device/pr_device_notify.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"
#include "test_support.h"
#include "ui/alerts.h"

namespace nimbara::test {

// A fake host that also keeps the shell's indicators: on from a busy mark until it is turned off.
class IndicatorPageHost : public FakePageHost {
  public:
    void markBusy(BusyMark mark, bool busy) override {
        FakePageHost::markBusy(mark, busy);
        on_[mark] = busy;
        if (busy) {
            ++starts_[mark];
        }
    }
    bool indicatorOn(BusyMark mark) const {
        const auto at = on_.find(mark);
        return at != on_.end() && at->second;
    }
    int starts(BusyMark mark) const {
        const auto at = starts_.find(mark);
        return at != starts_.end() ? at->second : 0;
    }
    void stopIndicator(BusyMark mark) { on_[mark] = false; }

  private:
    std::map<BusyMark, bool> on_;
    std::map<BusyMark, int> starts_;
};

class DevicePageTest : public SimulatedHomeTest {
  protected:
    using BusyMark = ui::PageHost::BusyMark;

    void SetUp() override {
        SimulatedHomeTest::SetUp();
        host_.exportPath =
            QString::fromStdString((tmp_ / "home" / "Documents" / "Pellucor").string());
        amd::DeviceManager::GetInstance().SetNotify(&notify_);
        ASSERT_EQ(amd::DeviceManager::GetInstance().Subscribe(), 0);
        // The shell stops an indicator when its page posts the end of the work.
        const std::pair<const char*, BusyMark> finishes[] = {
            {"SystemlibhasFinished", BusyMark::SystemFiles},
            {"AppScanFinished", BusyMark::Apps},
            {"photoScanFinished", BusyMark::Photos},
            {"musicScanFinished", BusyMark::Music},
        };
        for (const auto& [name, mark] : finishes) {
            const BusyMark which = mark;
            observers_.add(NotificationCenter::defaultCenter().addObserver(
                name, [this, which](const Notification&) { host_.stopIndicator(which); }));
        }
    }

    // Pages of the derived fixtures are gone by now.
    void TearDown() override {
        observers_.clear();
        SimulatedHomeTest::TearDown();
    }

    // Attaches a device folder; the index the manager gave it (-1 when none). The first device
    // attached is the one the host shows, as in the program.
    int attach(const std::string& dir) override {
        const std::list<int> before = amd::DeviceManager::GetInstance().Indices();
        if (!library_->attach(dir)) {
            return -1;
        }
        waitForDeviceBinds();
        const std::list<int> after = amd::DeviceManager::GetInstance().Indices();
        if (after.size() == before.size()) {
            return -1;
        }
        const int index = after.back();
        if (!host_.device) {
            showDevice(index);
        }
        return index;
    }
    // The index of the device the host shows (-1: none).
    int currentIndex() const { return host_.device ? host_.device->deviceIndex() : -1; }

    // The host shows the device at `index`, named and identified as the device says.
    void showDevice(int index) {
        host_.showDevice(index);
        const auto item = amd::DeviceManager::GetInstance().FindItem(index);
        const auto info = item ? item->sharedInfo() : nullptr;
        if (info) {
            host_.device->setUdidNumber(
                QString::fromStdString(info->GetUniqueDeviceID().value_or("")));
            host_.device->setDeviceName(QString::fromStdString(info->GetDeviceName().value_or("")));
        }
    }

    IndicatorPageHost host_;
    amd::PRDeviceNotify notify_;
    ObserverBag observers_;
};

}  // namespace nimbara::test
