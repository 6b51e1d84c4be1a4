// Helpers shared by the widget tests of the application.
#pragma once

#include <gtest/gtest.h>
#include <QApplication>

#include "platform/main_thread.h"
#include "platform/worker_reaper.h"

namespace nimbara::test {

// Waits, after the last test, for the workers stopped jobs left behind.
class RetiredWorkersWait : public ::testing::Environment {
  public:
    void TearDown() override {
        nimbara::shutdownMainThreadCalls();
        nimbara::waitForRetiredWorkers();
    }
};

// The process's QApplication, made on first use (or the one a test main already made). Widgets
// render offscreen unless the environment already chose a platform.
inline QApplication& ensureApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *existing;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: an application torn down among the exit-time destructors would outlive
    // parts of Qt it still uses. It stays reachable, so leak checkers don't report it.
    static QApplication* app = new QApplication(argc, argv);
    // Jobs the last tests stopped may still be ending: they finish once the tests are over,
    // before exit takes down what they use.
    static const bool waits = (::testing::AddGlobalTestEnvironment(new RetiredWorkersWait()), true);
    (void)waits;
    return *app;
}

}  // namespace nimbara::test
