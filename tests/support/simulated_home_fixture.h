// What the page and shell fixtures share: a simulated library for the test alone, a private home
// folder (the export folder lives there), questions nobody expected failing the test, and the
// event loop turned until something happened.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "../app/app_test_support.h"
#include "device/device_manager.h"
#include "event_loop.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"
#include "test_support.h"
#include "ui/alerts.h"

namespace nimbara::test {

// The widget exists and is not hidden.
inline bool shown(const QWidget* widget) {
    return widget != nullptr && !widget->isHidden();
}

// Sets (or with a null key clears) the one fault of a device folder; an attached simulated
// device reads it at its next operation.
inline void setDeviceFault(const std::filesystem::path& device, const char* key,
                           const PlistValue& value = {}) {
    const std::string file = (device / md::sim::kDevicePlist).string();
    auto plist = PlistValue::readFile(file);
    ASSERT_TRUE(plist);
    (*plist)[md::sim::kKeyFaults] = PlistValue::dict();
    if (key != nullptr) {
        (*plist)[md::sim::kKeyFaults][key] = value;
    }
    ASSERT_TRUE(plist->writeFile(file));
}

// The base of the fixtures: SetUp gives the test its home folder and library; TearDown (after
// the derived fixture dropped what uses them) forgets the devices and restores the home folder.
class SimulatedHomeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        resetMainThreadCalls();
        // A question no test expected fails the test instead of waiting for a click that never
        // comes; tests that expect one install their own handler over this one.
        unexpectedAlerts_.emplace([](QWidget*, const Alerts::Question& question) {
            ADD_FAILURE() << "unexpected alert: " << question.message.toStdString();
            return Alerts::Answer::Default;
        });
        if (const char* home = std::getenv("HOME")) {
            savedHome_ = home;
        }
        std::filesystem::create_directories(tmp_ / "home");
        ::setenv("HOME", (tmp_ / "home").c_str(), 1);
        library_ = std::make_shared<md::sim::SimulatedLibrary>();
        md::setLibrary(library_);
    }

    void TearDown() override {
        amd::DeviceManager::GetInstance().SetNotify(nullptr);
        amd::DeviceManager::GetInstance().Reset();
        waitForDeviceBinds();  // a bind dropped by the reset may still be using the library
        md::setLibrary(nullptr);
        if (savedHome_) {
            ::setenv("HOME", savedHome_->c_str(), 1);
        } else {
            ::unsetenv("HOME");
        }
        QCoreApplication::processEvents();
        unexpectedAlerts_.reset();
    }

    // Attaches a device folder; the index the manager gave it (-1 when none).
    virtual int attach(const std::string& dir) = 0;
    bool detach(const std::string& udid) { return library_->detach((tmp_ / udid).string()); }

    // Writes the README's demo device to `dir` and attaches it; its index (-1, and the test
    // fails, when it can't be written or attached).
    int attachDemoDevice(const std::filesystem::path& dir) {
        std::string error;
        if (!simdev::makeDemoDevice(dir, &error)) {
            ADD_FAILURE() << "the demo device could not be written: " << error;
            return -1;
        }
        const int index = attach(dir.string());
        EXPECT_GE(index, 0);
        return index;
    }

    static void setFault(const std::filesystem::path& device, const char* key,
                         const PlistValue& value = {}) {
        setDeviceFault(device, key, value);
    }
    static bool pumpUntil(const std::function<bool()>& condition) {
        return test::pumpUntil(condition);
    }
    static void pumpEvents(int rounds) { test::pumpEvents(rounds); }

    TempDir tmp_;
    std::optional<Alerts::ScopedHandler> unexpectedAlerts_;
    std::optional<std::string> savedHome_;
    std::shared_ptr<md::sim::SimulatedLibrary> library_;
};

}  // namespace nimbara::test
