#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QMainWindow>

#include <csignal>
#include <cstdio>
#include <memory>

#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "backup/backup_root.h"
#include "backup/backup_root_tidy.h"
#include "device/device_manager.h"
#include "platform/log_categories.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/imd/imd_library.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/quit_on_signals.h"
#include "platform/scratch_dir.h"
#include "platform/worker_reaper.h"
#include "ui/fonts.h"

int main(int argc, char** argv) {
    // A device or daemon that goes away mid-write makes the write fail with EPIPE; the signal
    // would end the program instead.
    std::signal(SIGPIPE, SIG_IGN);

    // Scratch folders of earlier runs that crashed or were killed may hold copies of the user's
    // databases: they go before anything else starts.
    nimbara::removeAbandonedScratchRoots();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nimbara"));
    QApplication::setApplicationVersion(QStringLiteral(NIMBARA_VERSION));
    // Log-out, shutdown and Ctrl+C end the program as Quit does.
    nimbara::QuitOnSignals quitOnSignals;

    // A backup that a killed exchange left parked goes back to its place, and working copies
    // that ended programs left (holding the records the user removed) go, before anything lists
    // the backups.
    nimbara::backup::tidyBackupRoot(
        QFile::encodeName(nimbara::backup::localBackupRoot()).toStdString());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Looks after an iPhone, iPad or iPod touch."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption simulated(
        QStringLiteral("simulated-devices"),
        QStringLiteral("Use the simulated devices in DIR instead of real ones (default: "
                       "$NIMBARA_SIMULATED_DEVICES; without either, real devices over USB)."),
        QStringLiteral("DIR"));
    parser.addOption(simulated);
    parser.process(app);

    // Real devices over USB unless simulated ones are asked for.
    QString root = parser.value(simulated);
    if (root.isEmpty()) {
        root = qEnvironmentVariable("NIMBARA_SIMULATED_DEVICES");
    }
    if (root.isEmpty()) {
        qunsetenv("NIMBARA_SIMULATED_DEVICES");
        nimbara::md::setLibrary(std::make_shared<nimbara::md::imd::ImdLibrary>());
    } else {
        if (!QDir(root).exists()) {
            qCCritical(lcApp, "the simulated-devices folder %s does not exist", qPrintable(root));
        }
        // The backup tool, a child process of ours, finds the same simulated devices.
        qputenv("NIMBARA_SIMULATED_DEVICES", QFile::encodeName(QDir(root).absolutePath()));
        nimbara::md::setLibrary(
            std::make_shared<nimbara::md::sim::SimulatedLibrary>(root.toStdString()));
    }

    nimbara::ui::installFontSubstitutions();

    int rc = 0;
    {
        // The hub subscribes to device events as it is made; devices already plugged in are
        // reported then and shown once the windows exist.
        QuennicAppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        if (QMainWindow* window = delegate.window()) {
            window->show();
            window->raise();
            window->activateWindow();
        }

        rc = QApplication::exec();

        // Workers waiting for the GUI thread are released before anything joins them.
        nimbara::shutdownMainThreadCalls();
        delegate.stopBoardMessage();
        amd::DeviceManager::GetInstance().Reset();
        amd::DeviceManager::GetInstance().Shutdown();  // before the library goes
    }
    // Jobs stopped as their pages went end on their own; they may still hold a device call.
    nimbara::waitForRetiredWorkers();
    amd::DeviceManager::GetInstance().SetNotify(nullptr);
    nimbara::md::setLibrary(nullptr);
    nimbara::removeScratchRoot();
    return rc;
}
