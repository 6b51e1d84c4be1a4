// Measures the backup file list: reading a large Manifest.db, and the manifest pass of a backup
// scan (alone, and with the backup file outline kept), each beside its floor from the same run.
//
//   nimbara-bench-manifest [--files N]     N rows of stored files (default 200000)
//
// It writes the large simulated device and its backup (Manifest.db with subfolders), then times:
//   - the sqlite3 command-line tool selecting every row of Files (output discarded), where it
//     is installed, and a plain loop over the same select through the SQLite C API;
//   - our reading of the list, handing each entry on (streamManifestDb) and keeping every entry
//     (readManifestDb);
//   - the manifest pass with every entry filed into the outline and its model, in a child process
//     of its own so that its peak memory (VmHWM) is the pass's and nothing else's;
//   - the manifest pass alone, its entries only counted, in a child process as well, so that the
//     pass's own time is not hidden by the outline's.
// Each time is the best of three runs. Goals: the read within 2x of the sqlite3 select, the pass
// (alone, and with its outline) within 3x of it, and the pass with its outline under 100 MiB at
// its peak.
#include <sqlite3.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup_file_tree.h"
#include "backup/manifest_db.h"
#include "backup/manifest_pass.h"
#include "backup_writer.h"
#include "bench_options.h"
#include "browser/backup_outline_model.h"
#include "platform/notification_center.h"
#include "platform/scratch_dir.h"
#include "sim_device_builder.h"

namespace {

using nimbara::bench::statusKb;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kReadGoalRatio = 2.0;
constexpr double kPassGoalRatio = 3.0;
constexpr double kPassGoalMiB = 100.0;
constexpr int kRuns = 3;
constexpr const char* kChildFlag = "--pass-child";
constexpr const char* kAloneChildFlag = "--pass-alone-child";

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The best of kRuns runs of `run`, in seconds; negative when a run failed.
double bestOf(const std::function<bool()>& run) {
    double best = -1;
    for (int i = 0; i < kRuns; ++i) {
        const Clock::time_point start = Clock::now();
        if (!run()) {
            return -1;
        }
        const double s = secondsSince(start);
        best = best < 0 ? s : std::min(best, s);
    }
    return best;
}

// The sqlite3 tool's select, its output thrown away; negative when the tool cannot be run.
double sqliteToolSelect(const fs::path& db) {
    return bestOf([&db] {
        QProcess tool;
        tool.setStandardOutputFile(QProcess::nullDevice());
        tool.start(QStringLiteral("sqlite3"),
                   {QString::fromStdString(db.string()), QStringLiteral("select * from Files")});
        return tool.waitForStarted() && tool.waitForFinished(-1) &&
               tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    });
}

// Every row and column of Files through the C API, each value fetched as the tool fetches it.
double sqliteApiSelect(const fs::path& db, long& rows) {
    return bestOf([&db, &rows] {
        sqlite3* handle = nullptr;
        if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(handle);
            return false;
        }
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(handle, "select * from Files", -1, &st, nullptr);
        rows = 0;
        std::size_t bytes = 0;
        while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
            ++rows;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                sqlite3_column_blob(st, c);
                bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, c));
            }
        }
        sqlite3_finalize(st);
        sqlite3_close(handle);
        return bytes > 0 || rows == 0;
    });
}

void printRatio(const char* what, double ours, double floor, double goal) {
    if (ours < 0 || floor <= 0) {
        std::printf("%-44s not measured\n", what);
        return;
    }
    const double ratio = ours / floor;
    std::printf("%-44s %.2fx the floor (goal < %.1fx): %s\n", what, ratio, goal,
                ratio < goal ? "goal met" : "not met");
}

// The other child: the manifest pass of `folder` with its entries only counted, then the same
// line of figures (no outline files).
int runPassAloneChild(const QString& folder) {
    const long before = statusKb("VmHWM");
    nimbara::NotificationCenter center;
    std::size_t entries = 0;
    nimbara::ObserverBag bag;
    bag.add(center.addObserver(nimbara::backup::kFindBackupFileNotification,
                               [&](const nimbara::Notification&) { ++entries; }));
    const Clock::time_point start = Clock::now();
    const nimbara::backup::ManifestPassResult result =
        nimbara::backup::runManifestPass(folder, center);
    const double seconds = secondsSince(start);
    if (!result.error.empty()) {
        std::fprintf(stderr, "manifest pass: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("%.6f %zu %d %ld %ld\n", seconds, entries, 0, statusKb("VmHWM"), before);
    return 0;
}

// The child: the manifest pass of `folder`, each entry filed into the outline as the result page
// files it (a batch at a time, the model taking the new rows after each), then one line of
// figures: seconds of the pass, entries, outline files, peak and starting memory in KiB.
int runPassChild(const QString& folder) {
    const long before = statusKb("VmHWM");
    nimbara::NotificationCenter center;
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Benchmark iPhone"));
    nimbara::browser::BackupOutlineModel model(&tree);
    std::vector<std::shared_ptr<PRTreeDirNode>> pending;
    constexpr std::size_t kBatch = 2000;
    std::size_t entries = 0;
    auto file = [&] {
        for (const auto& record : pending) {
            tree.addTreeNode(record);
        }
        pending.clear();
        model.update();
    };
    nimbara::ObserverBag bag;
    bag.add(center.addObserver(nimbara::backup::kFindBackupFileNotification,
                               [&](const nimbara::Notification& n) {
                                   auto node = n.objectAs<std::shared_ptr<PRTreeDirNode>>();
                                   if (!node || node->filePath().isEmpty()) {
                                       return;
                                   }
                                   ++entries;
                                   pending.push_back(std::move(node));
                                   if (pending.size() >= kBatch) {
                                       file();
                                   }
                               }));
    const Clock::time_point start = Clock::now();
    nimbara::backup::ManifestPassResult result = nimbara::backup::runManifestPass(folder, center);
    file();
    const double seconds = secondsSince(start);
    if (!result.error.empty()) {
        std::fprintf(stderr, "manifest pass: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("%.6f %zu %d %ld %ld\n", seconds, entries, model.fileCount(), statusKb("VmHWM"),
                before);
    return 0;
}

struct PassFigures {
    double seconds = -1;
    long entries = 0;
    long outlineFiles = 0;
    long peakKb = 0;
    long startKb = 0;
};

// The best of kRuns child runs (`flag` chooses the child), with the highest peak of them.
bool runPass(const char* flag, const fs::path& backup, PassFigures& best) {
    for (int i = 0; i < kRuns; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(flag), QString::fromStdString(backup.string())});
        if (!child.waitForStarted() || !child.waitForFinished(-1) || child.exitCode() != 0) {
            return false;
        }
        PassFigures f;
        const QByteArray line = child.readAllStandardOutput();
        if (std::sscanf(line.constData(), "%lf %ld %ld %ld %ld", &f.seconds, &f.entries,
                        &f.outlineFiles, &f.peakKb, &f.startKb) != 5) {
            return false;
        }
        if (best.seconds < 0 || f.seconds < best.seconds) {
            const long peak = std::max(best.peakKb, f.peakKb);
            best = f;
            best.peakKb = peak;
        } else {
            best.peakKb = std::max(best.peakKb, f.peakKb);
        }
    }
    return true;
}

// The lines under a pass's time: per entry, against the floor and the goal, peak memory (with
// its goal for the pass that keeps the outline).
void printPassFigures(const PassFigures& f, double floor, bool memoryGoal) {
    std::printf("       per entry                          %8.2f us\n",
                f.entries > 0 ? f.seconds * 1e6 / static_cast<double>(f.entries) : 0.0);
    if (floor > 0) {
        const double ratio = f.seconds / floor;
        std::printf("       against the sqlite3 floor          %8.2fx  (goal < %.1fx): %s\n", ratio,
                    kPassGoalRatio, ratio < kPassGoalRatio ? "goal met" : "not met");
    } else {
        std::printf("       against the sqlite3 floor          not measured\n");
    }
    const double peakMiB = static_cast<double>(f.peakKb) / 1024.0;
    if (memoryGoal) {
        std::printf(
            "       peak memory of its process (VmHWM) %8.1f MiB  (%.1f MiB before the "
            "pass; goal < %.0f MiB): %s\n",
            peakMiB, static_cast<double>(f.startKb) / 1024.0, kPassGoalMiB,
            peakMiB < kPassGoalMiB ? "goal met" : "not met");
    } else {
        std::printf(
            "       peak memory of its process (VmHWM) %8.1f MiB  (%.1f MiB before the "
            "pass)\n",
            peakMiB, static_cast<double>(f.startKb) / 1024.0);
    }
}

int run(int files) {
    const fs::path scratch = nimbara::scratchFolder("bench-manifest");
    if (scratch.empty()) {
        std::fprintf(stderr, "cannot make a private scratch folder\n");
        return 1;
    }
    const fs::path device = scratch / "device";
    const fs::path backups = scratch / "backups";
    std::string error;
    Clock::time_point start = Clock::now();
    if (!nimbara::simdev::makeLargeTreeDevice(device, files, &error)) {
        std::fprintf(stderr, "cannot make the device: %s\n", error.c_str());
        return 1;
    }
    const double made = secondsSince(start);
    start = Clock::now();
    const nimbara::simdev::BackupResult backup = nimbara::simdev::writeBackup(device, backups);
    if (!backup.ok) {
        std::fprintf(stderr, "cannot write the backup: %s\n", backup.error.c_str());
        return 1;
    }
    const double backedUp = secondsSince(start);
    const fs::path db = backup.folder / "Manifest.db";
    std::printf(
        "device with %d files written in %.2f s; its backup (%d files, %d folders, "
        "Manifest.db) in %.2f s\n\n",
        files, made, backup.files, backup.folders, backedUp);

    long apiRows = 0;
    const double tool = sqliteToolSelect(db);
    const double api = sqliteApiSelect(db, apiRows);
    std::size_t streamed = 0;
    const double stream = bestOf([&] {
        streamed = 0;
        const auto r = nimbara::backup::streamManifestDb(db.string(), [&](auto&&) {
            ++streamed;
            return true;
        });
        return r.ok();
    });
    std::size_t kept = 0;
    const double read = bestOf([&] {
        const auto r = nimbara::backup::readManifestDb(db.string());
        kept = r.entries.size();
        return r.ok();
    });
    const double floor = tool > 0 ? tool : api;
    if (tool > 0) {
        std::printf("floor: sqlite3 'select * from Files'     %8.3f s  (%ld rows)\n", tool,
                    apiRows);
    } else {
        std::printf("floor: sqlite3 tool not installed; the C API loop is the floor\n");
    }
    std::printf("       SQLite C API select loop           %8.3f s\n", api);
    std::printf("ours:  streamManifestDb (entries handed on) %6.3f s  (%zu entries)\n", stream,
                streamed);
    std::printf("       readManifestDb (entries kept)      %8.3f s  (%zu entries)\n", read, kept);
    printRatio("Manifest.db read (readManifestDb)", read, floor, kReadGoalRatio);
    printRatio("Manifest.db read (streamManifestDb)", stream, floor, kReadGoalRatio);

    PassFigures pass;
    PassFigures alone;
    if (!runPass(kChildFlag, backup.folder, pass) ||
        !runPass(kAloneChildFlag, backup.folder, alone)) {
        std::fprintf(stderr, "the manifest pass could not be measured\n");
        return 1;
    }
    std::printf(
        "\nmanifest pass with the outline kept       %8.3f s  (%ld entries, %ld files in "
        "the outline)\n",
        pass.seconds, pass.entries, pass.outlineFiles);
    printPassFigures(pass, floor, true);
    std::printf("manifest pass alone (entries counted)     %8.3f s  (%ld entries)\n", alone.seconds,
                alone.entries);
    printPassFigures(alone, floor, false);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == kChildFlag) {
        return runPassChild(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && std::string(argv[1]) == kAloneChildFlag) {
        return runPassAloneChild(QString::fromLocal8Bit(argv[2]));
    }
    int files = 200000;
    if (!nimbara::bench::parseFilesOption(argc, argv, files)) {
        std::fprintf(stderr, "usage: nimbara-bench-manifest [--files N]  (N from 0 to %d)\n",
                     nimbara::simdev::kMaxLargeTreeFiles);
        return 2;
    }
    const int rc = run(files);
    nimbara::removeScratchRoot();
    return rc;
}
