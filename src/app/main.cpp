#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

#include "app/device_list_window.h"
#include "device/device_manager.h"
#include "device/pr_device_notify.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/sim/simulated_library.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nimbara"));
    QApplication::setApplicationVersion(QStringLiteral(NIMBARA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Looks after an iPhone, iPad or iPod touch."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption simulated(
        QStringLiteral("simulated-devices"),
        QStringLiteral("Folder of simulated devices (default: $NIMBARA_SIMULATED_DEVICES)."),
        QStringLiteral("DIR"));
    parser.addOption(simulated);
    parser.process(app);

    QString root = parser.value(simulated);
    if (root.isEmpty()) {
        root = qEnvironmentVariable("NIMBARA_SIMULATED_DEVICES");
    }
    if (root.isEmpty()) {
        root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/nimbara-demo/devices");
    }
    if (!QDir(root).exists()) {
        std::fprintf(stderr, "nimbara: the simulated-devices folder %s does not exist\n",
                     qPrintable(root));
    }
    nimbara::md::setLibrary(
        std::make_shared<nimbara::md::sim::SimulatedLibrary>(root.toStdString()));

    amd::PRDeviceNotify notify;
    auto& manager = amd::DeviceManager::GetInstance();
    manager.SetNotify(&notify);

    nimbara::DeviceListWindow window;
    window.show();
    manager.Subscribe();

    const int rc = app.exec();
    nimbara::shutdownMainThreadCalls();
    manager.Reset();
    manager.SetNotify(nullptr);
    nimbara::md::setLibrary(nullptr);
    return rc;
}
