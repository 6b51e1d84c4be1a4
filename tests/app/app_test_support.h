// Helpers shared by the widget tests of the application.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <cstdlib>

namespace nimbara::test {

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
    return *app;
}

}  // namespace nimbara::test
