// Drives the application hub offscreen through long jobs and prints, for each, the longest time
// the GUI thread's event loop did not turn: a stall the user would see as a frozen window.
//
//   nimbara-bench-gui-stall [--files N]     N files on the large device (default 200000)
//
// Jobs: a device attach (the demo iPhone), a quick scan of a device with N files, listing five
// local backups, and the backup browser scanning the demo backup, switched to another backup
// mid-scan. The goal is no stall over 50 ms.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/alerts.h"
#include "app/quennic_app_delegate.h"
#include "app/quick_scan_window_ui.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup_writer.h"
#include "browser/pages/pr_result_view_controller.h"
#include "device/device_manager.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/scratch_dir.h"
#include "sim_device_builder.h"

namespace {

constexpr double kGoalMs = 50.0;

// Runs the event loop, first calling `start` from inside it, until `done` holds or `seconds`
// pass; returns the longest gap between two turns of the loop in milliseconds (-1: timed out).
double longestStall(const std::function<void()>& start, const std::function<bool()>& done,
                    double seconds) {
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    bool timedOut = false;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    QTimer::singleShot(0, &loop, [&] {
        const qint64 before = clock.nsecsElapsed();
        start();
        longest = std::max(longest, clock.nsecsElapsed() - before);
        last = clock.nsecsElapsed();
    });
    clock.start();
    tick.start();
    loop.exec();
    return timedOut ? -1.0 : static_cast<double>(longest) / 1e6;
}

int failures = 0;

void report(const char* job, double ms) {
    if (ms < 0) {
        std::printf("%-46s did not finish in time\n", job);
        ++failures;
        return;
    }
    std::printf("%-46s longest stall %8.1f ms  (goal < %.0f ms) %s\n", job, ms, kGoalMs,
                ms < kGoalMs ? "met" : "NOT MET");
}

bool parseFiles(int argc, char** argv, int& files) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 0 || n > nimbara::simdev::kMaxLargeTreeFiles) {
                return false;
            }
            files = static_cast<int>(n);
        } else {
            return false;
        }
    }
    return true;
}

int run(int files) {
    QTemporaryDir scratch;  // private (mode 0700), removed at the end
    if (!scratch.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString home = scratch.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    qputenv("HOME", home.toLocal8Bit());
    const QString backupRoot = scratch.filePath(QStringLiteral("backups"));
    QDir().mkpath(backupRoot);
    qputenv("NIMBARA_BACKUP_ROOT", backupRoot.toLocal8Bit());
    // Every question is answered at once with its default button.
    nimbara::Alerts::ScopedHandler answer([](QWidget*, const nimbara::Alerts::Question&) {
        return nimbara::Alerts::Answer::Default;
    });

    const std::string demo = scratch.filePath(QStringLiteral("devices/demo")).toStdString();
    const std::string large = scratch.filePath(QStringLiteral("devices/large")).toStdString();
    std::string error;
    if (!nimbara::simdev::makeDemoDevice(demo, &error) ||
        !nimbara::simdev::makeLargeTreeDevice(large, files, &error)) {
        std::fprintf(stderr, "cannot write the devices: %s\n", error.c_str());
        return 1;
    }
    // Five local backups: the demo's, and four more of it under other names and layouts.
    for (int i = 0; i < 5; ++i) {
        nimbara::simdev::BackupOptions options;
        if (i % 2 == 1) {
            options.iosVersionOverride = "9.3.5";
        }
        const QString root = i == 0 ? backupRoot : scratch.filePath(QStringLiteral("b%1").arg(i));
        const auto made = nimbara::simdev::writeBackup(demo, root.toStdString(), options);
        if (!made.ok) {
            std::fprintf(stderr, "cannot write a backup: %s\n", made.error.c_str());
            return 1;
        }
        if (i > 0) {
            const QString target = backupRoot + QStringLiteral("/backup-%1").arg(i);
            QDir().rename(QString::fromStdString(made.folder.string()), target);
        }
    }

    auto library = std::make_shared<nimbara::md::sim::SimulatedLibrary>();
    nimbara::md::setLibrary(library);
    const auto releaseLibrary = qScopeGuard([] {
        amd::DeviceManager::GetInstance().SetNotify(nullptr);
        nimbara::md::setLibrary(nullptr);
        nimbara::removeScratchRoot();
    });
    {
        QuennicAppDelegate hub;
        const auto stopHub = qScopeGuard([&hub] {
            nimbara::shutdownMainThreadCalls();
            hub.stopBoardMessage();
            amd::DeviceManager::GetInstance().Reset();
        });
        hub.setBoardDelays(std::chrono::milliseconds(100), std::chrono::milliseconds(50));
        hub.applicationDidFinishLaunching();
        hub.mainUi();

        report("device attach (demo iPhone)",
               longestStall([&] { library->attach(demo); },
                            [&] { return hub.getDeviceArray().size() == 1; }, 30));

        report(
            ("quick scan of " + std::to_string(files) + " files").c_str(),
            longestStall(
                [&] {
                    library->attach(large);
                    hub.ChangeToAnotherDevice(amd::DeviceManager::GetInstance().Indices().back());
                    hub.QuickScanAction();
                },
                [&] {
                    return hub.getDeviceArray().size() == 2 && !hub.quickScanWorkerRunning() &&
                           hub.quickResultDeviceIndex() >= 0;
                },
                600));

        report("listing five local backups",
               longestStall([&] { hub.showIphoneDiskView(); },
                            [&] {
                                return !hub.GetPRIOSDeviceController()->isLoading() &&
                                       hub.GetPRIOSDeviceController()->rowCount() == 5;
                            },
                            60));

        report("backup scan, switched mid-scan",
               longestStall(
                   [&] {
                       hub.actScanIOSBackupFile();
                       PRResultViewController* page = hub.GetresultViewController();
                       if (page != nullptr && page->backupPopBtn->count() > 1) {
                           page->backupPopBtn->setCurrentIndex(1);
                           emit page->backupPopBtn->activated(1);
                       }
                   },
                   [&] {
                       PRResultViewController* page = hub.GetresultViewController();
                       return page != nullptr && page->scanFinished() && !page->isScanning();
                   },
                   600));
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    int files = 200000;
    if (!parseFiles(argc, argv, files)) {
        std::fprintf(stderr, "usage: nimbara-bench-gui-stall [--files N]  (N from 0 to %d)\n",
                     nimbara::simdev::kMaxLargeTreeFiles);
        return 2;
    }
    return run(files);
}
