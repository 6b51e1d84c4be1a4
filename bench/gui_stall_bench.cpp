// Drives the application hub offscreen through long jobs and prints, for each, the longest time
// the GUI thread's event loop did not turn: a stall the user would see as a frozen window.
//
//   nimbara-bench-gui-stall [--files N]     N files on the large device (default 200000)
//
// Jobs: a device attach (the demo iPhone), a quick scan of a device with N files, listing five
// local backups (four of the demo iPhone, one of the large device with N stored files), and the
// backup browser scanning the large device's backup: switched to another backup mid-scan and
// back, left for another page mid-scan, and a result page destroyed mid-scan. The goal is no
// stall over 50 ms.
//
// Then the window's memory, in a child process of its own that is the window and nothing else:
// the shell window shown, the backup browser opened on the large device's backup, read to its
// end and a folder of it chosen, then the page closed (its Home button, answered "Back"). It
// prints the resident memory at the start, the peak (VmHWM) with the backup open and the
// resident memory once the page was closed, the best of three runs, and the longest stall of the
// close. Goals: the peak under 80 MiB, and after the close within 10 MiB of the start.
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/quennic_app_delegate.h"
#include "app/quick_scan_window_ui.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup_writer.h"
#include "bench_options.h"
#include "browser/backup_outline_model.h"
#include "browser/pages/pr_result_view_controller.h"
#include "device/device_manager.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/scratch_dir.h"
#include "sim_device_builder.h"
#include "ui/alerts.h"

namespace {

using nimbara::bench::statusKb;

constexpr double kGoalMs = 50.0;
constexpr double kPeakGoalMiB = 80.0;
constexpr double kCloseGoalMiB = 10.0;
constexpr int kMemoryRuns = 3;
constexpr const char* kMemoryChildFlag = "--memory-child";
constexpr const char* kLargeDeviceName = "Benchmark iPhone";

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

// Runs the event loop until `done` holds (false when `seconds` pass first).
bool waitUntil(const std::function<bool()>& done, double seconds) {
    return longestStall([] {}, done, seconds) >= 0;
}

// Lets the event loop turn for `ms` (layouts, paints and posted calls settle).
void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    waitUntil([&clock, ms] { return clock.elapsed() >= ms; }, 60);
}

// The window of the memory figures (a child process): started as a user starts it, the
// backup browser opened on the large backup, read to its end and a folder of it chosen (the
// first folder at the bottom of the outline, its files in the table), then the page closed.
// Prints one line: the resident memory at the start, the peak with the backup open, the
// resident memory with it open and after the close, in KiB, and the longest stall of the close
// in milliseconds.
int runMemoryChild() {
    nimbara::Alerts::ScopedHandler answer([](QWidget*, const nimbara::Alerts::Question&) {
        return nimbara::Alerts::Answer::Default;
    });
    auto library = std::make_shared<nimbara::md::sim::SimulatedLibrary>();
    nimbara::md::setLibrary(library);
    const auto releaseLibrary = qScopeGuard([] {
        amd::DeviceManager::GetInstance().SetNotify(nullptr);
        nimbara::md::setLibrary(nullptr);
        nimbara::removeScratchRoot();
    });
    QuennicAppDelegate hub;
    const auto stopHub = qScopeGuard([&hub] {
        nimbara::shutdownMainThreadCalls();
        hub.stopBoardMessage();
        amd::DeviceManager::GetInstance().Reset();
    });
    hub.applicationDidFinishLaunching();
    hub.mainUi();
    settle(1000);
    const long startKb = statusKb("VmRSS");

    bool listed = false;
    hub.showIphoneDiskView([&listed] { listed = true; });
    if (!waitUntil([&] { return listed; }, 60)) {
        std::fprintf(stderr, "the local backups were not listed\n");
        return 1;
    }
    int largeRow = -1;
    const auto backups = hub.GetPRIOSDeviceController()->content();
    for (std::size_t row = 0; row < backups.size(); ++row) {
        if (backups[row]->strDeviceName() == QLatin1String(kLargeDeviceName)) {
            largeRow = static_cast<int>(row);
        }
    }
    if (largeRow < 0) {
        std::fprintf(stderr, "the large device's backup is not listed\n");
        return 1;
    }
    hub.actScanIOSBackupFile();
    PRResultViewController* page = hub.GetresultViewController();
    if (page == nullptr) {
        std::fprintf(stderr, "the backup browser did not open\n");
        return 1;
    }
    if (page->backupPopBtn->currentIndex() != largeRow) {
        page->backupPopBtn->setCurrentIndex(largeRow);
        emit page->backupPopBtn->activated(largeRow);
    }
    if (!waitUntil([page] { return page->scanFinished() && !page->isScanning(); }, 600)) {
        std::fprintf(stderr, "the scan of the large backup did not end\n");
        return 1;
    }
    // Down the first row of each level to a folder without sub-folders, opening each on the way.
    QTreeView* tree = page->treeView;
    QModelIndex folder = tree->model()->index(0, 0);
    while (folder.isValid() && tree->model()->rowCount(folder) > 0) {
        tree->expand(folder);
        folder = tree->model()->index(0, 0, folder);
    }
    tree->setCurrentIndex(folder);
    settle(500);
    const long openKb = statusKb("VmRSS");
    const long peakKb = statusKb("VmHWM");

    // The page lets go of what it held in the background: measured once the resident memory
    // has not changed for a second (or after half a minute), with the longest stall of the
    // close's first three seconds.
    QElapsedTimer closing;
    const double closeStall = longestStall(
        [&] {
            closing.start();
            page->actHome(nullptr);
        },
        [&closing] { return closing.elapsed() >= 3000; }, 60);
    long closedKb = statusKb("VmRSS");
    for (int i = 0; i < 30; ++i) {
        settle(1000);
        const long now = statusKb("VmRSS");
        if (now == closedKb) {
            break;
        }
        closedKb = now;
    }
    std::printf("%ld %ld %ld %ld %.3f\n", startKb, peakKb, openKb, closedKb, closeStall);
    return 0;
}

struct MemoryFigures {
    long startKb = -1;
    long peakKb = -1;
    long openKb = -1;
    long closedKb = -1;
    double closeStallMs = -1;
};

double mib(long kb) {
    return static_cast<double>(kb) / 1024.0;
}

// The window's memory: kMemoryRuns child windows, the one with the lowest peak reported.
void reportMemory(int files) {
    MemoryFigures best;
    for (int i = 0; i < kMemoryRuns; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kMemoryChildFlag)});
        if (!child.waitForStarted() || !child.waitForFinished(-1) ||
            child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            break;
        }
        MemoryFigures f;
        const QByteArray line = child.readAllStandardOutput();
        if (std::sscanf(line.constData(), "%ld %ld %ld %ld %lf", &f.startKb, &f.peakKb, &f.openKb,
                        &f.closedKb, &f.closeStallMs) != 5) {
            break;
        }
        if (best.peakKb < 0 || f.peakKb < best.peakKb) {
            best = f;
        }
    }
    if (best.peakKb < 0) {
        std::printf("%-46s not measured\n", "window memory");
        ++failures;
        return;
    }
    const double start = mib(best.startKb);
    const double peak = mib(best.peakKb);
    const double closed = mib(best.closedKb);
    std::printf("%-46s %8.1f MiB resident\n", "window memory at the start", start);
    std::printf("%-46s %8.1f MiB  (goal < %.0f MiB) %s\n",
                ("  peak, " + std::to_string(files) + "-row backup open (VmHWM)").c_str(), peak,
                kPeakGoalMiB, peak < kPeakGoalMiB ? "goal met" : "not met");
    std::printf("%-46s %8.1f MiB resident\n", "  with it open, settled", mib(best.openKb));
    std::printf("%-46s %8.1f MiB  (goal < %.1f MiB, the start + %.0f) %s\n",
                "  after the page was closed", closed, start + kCloseGoalMiB, kCloseGoalMiB,
                closed - start < kCloseGoalMiB ? "goal met" : "not met");
    report("closing the page (its results let go)", best.closeStallMs);
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
    // Five local backups: the demo's, three more of it under other names and layouts, and the
    // large device's (Manifest.db, one row a file).
    constexpr int kLargeBackup = 4;
    for (int i = 0; i < 5; ++i) {
        nimbara::simdev::BackupOptions options;
        if (i % 2 == 1) {
            options.iosVersionOverride = "9.3.5";
        }
        const QString root = i == 0 ? backupRoot : scratch.filePath(QStringLiteral("b%1").arg(i));
        const auto made = nimbara::simdev::writeBackup(i == kLargeBackup ? large : demo,
                                                       root.toStdString(), options);
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

        // The large device is listed once its values have been read (on a worker); only then
        // can it be chosen and scanned.
        int scanned = -1;
        report(("quick scan of " + std::to_string(files) + " files").c_str(),
               longestStall([&] { library->attach(large); },
                            [&] {
                                if (scanned < 0 && hub.getDeviceArray().size() == 2) {
                                    scanned = amd::DeviceManager::GetInstance().Indices().back();
                                    hub.ChangeToAnotherDevice(scanned);
                                    hub.QuickScanAction();
                                }
                                return scanned >= 0 && !hub.quickScanWorkerRunning() &&
                                       hub.quickResultDeviceIndex() == scanned;
                            },
                            600));

        report("listing five local backups",
               longestStall([&] { hub.showIphoneDiskView(); },
                            [&] {
                                return !hub.GetPRIOSDeviceController()->isLoading() &&
                                       hub.GetPRIOSDeviceController()->rowCount() == 5;
                            },
                            60));

        // The large device's backup and another one, by their rows in the backup list.
        int largeRow = -1;
        int otherRow = -1;
        const auto backups = hub.GetPRIOSDeviceController()->content();
        for (std::size_t row = 0; row < backups.size(); ++row) {
            const bool isLarge = backups[row]->strDeviceName() == QLatin1String(kLargeDeviceName);
            (isLarge ? largeRow : otherRow) = static_cast<int>(row);
        }
        if (largeRow < 0 || otherRow < 0) {
            std::fprintf(stderr, "the large device's backup is not listed\n");
            return 1;
        }
        const auto largeNode = backups[static_cast<std::size_t>(largeRow)];
        const std::uint64_t midScan = static_cast<std::uint64_t>(files) / 4;
        auto pick = [](PRResultViewController* page, int row) {
            page->backupPopBtn->setCurrentIndex(row);
            emit page->backupPopBtn->activated(row);
        };
        auto ended = [](const PRResultViewController* page) {
            return page != nullptr && page->scanFinished() && !page->isScanning();
        };

        // Opened on the first backup, switched at once to the large one; a quarter into it, to
        // another backup; once that is read, back to the large one, read to its end.
        int step = 0;
        QElapsedTimer wholeScan;
        report(("backup scan of " + std::to_string(files) + " rows, switched mid-scan and back")
                   .c_str(),
               longestStall(
                   [&] {
                       hub.actScanIOSBackupFile();
                       PRResultViewController* page = hub.GetresultViewController();
                       if (page != nullptr) {
                           pick(page, largeRow);
                       }
                   },
                   [&] {
                       PRResultViewController* page = hub.GetresultViewController();
                       if (page == nullptr) {
                           return false;
                       }
                       if (step == 0 && (page->backupFileCount() >= midScan || ended(page))) {
                           pick(page, otherRow);
                           step = 1;
                       } else if (step == 1 && ended(page)) {
                           pick(page, largeRow);
                           wholeScan.start();
                           step = 2;
                       }
                       return step == 2 && ended(page);
                   },
                   600));
        if (wholeScan.isValid()) {
            PRResultViewController* page = hub.GetresultViewController();
            std::printf("%-46s %8.1f s, %llu files in the outline\n", "  (the whole scan took)",
                        static_cast<double>(wholeScan.elapsed()) / 1000.0,
                        static_cast<unsigned long long>(page->backupFileCount()));
        }

        // Scanned again, and a quarter into it the user goes to another page: the scan goes on.
        bool away = false;
        report("backup scan, another page opened mid-scan",
               longestStall([&] { hub.GetresultViewController()->scanBackup(largeNode, largeRow); },
                            [&] {
                                PRResultViewController* page = hub.GetresultViewController();
                                if (!away && page->backupFileCount() >= midScan) {
                                    hub.ClickClean(nullptr);
                                    away = true;
                                }
                                return away && ended(page);
                            },
                            600));

        // A result page of its own, destroyed a quarter into its scan; measured until the
        // scan it left behind has ended and its outline is let go.
        QWidget container;
        container.resize(1000, 700);
        container.show();
        auto page = std::make_unique<PRResultViewController>(hub);
        // What the page leaves behind under the application: its reapers of what still ends.
        std::vector<QPointer<QObject>> leftBehind;
        report("result page destroyed mid-scan",
               longestStall(
                   [&] {
                       page->showView(&container);
                       page->scanBackup(largeNode, largeRow);
                   },
                   [&] {
                       if (page && page->backupFileCount() >= midScan) {
                           const QObjectList before = QCoreApplication::instance()->children();
                           page.reset();
                           for (QObject* child : QCoreApplication::instance()->children()) {
                               if (!before.contains(child)) {
                                   leftBehind.emplace_back(child);
                               }
                           }
                       }
                       return !page && std::all_of(leftBehind.begin(), leftBehind.end(),
                                                   [](const auto& left) { return left.isNull(); });
                   },
                   600));
    }
    reportMemory(files);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc == 2 && std::string(argv[1]) == kMemoryChildFlag) {
        return runMemoryChild();
    }
    int files = 200000;
    if (!nimbara::bench::parseFilesOption(argc, argv, files)) {
        std::fprintf(stderr, "usage: nimbara-bench-gui-stall [--files N]  (N from 0 to %d)\n",
                     nimbara::simdev::kMaxLargeTreeFiles);
        return 2;
    }
    return run(files);
}
