// Ticks in the backup file tree of a large backup, on the GUI thread, with the outline shown and
// every folder open (the most rows a view has to look at): prints how long each click takes
// beside the goal of no stall over 50 ms.
//
//   nimbara-bench-outline-ticks [--files N]     N files in the outline (default 200000)
//
// Clicks: the tick of the device folder (every file below), the same again (unticked), and the
// tick of one row of a folder of a third of the files with every row selected.
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "backup/backup_file_tree.h"
#include "bench_options.h"
#include "browser/backup_file_table_model.h"
#include "browser/backup_outline_model.h"
#include "browser/pages/backup_files_view.h"

namespace {

constexpr double kGoalMs = 50.0;

std::shared_ptr<PRTreeDirNode> record(const QString& domain, const QString& path) {
    auto r = std::make_shared<PRTreeDirNode>();
    r->setFileDomain(domain);
    r->setFilePath(path);
    r->setStoredFile(true, 4096);
    return r;
}

template <class Click>
void timeClick(const char* what, Click&& click) {
    QElapsedTimer clock;
    clock.start();
    click();
    QCoreApplication::processEvents();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    std::printf("%-52s %8.1f ms (goal < %.0f ms): %s\n", what, ms, kGoalMs,
                ms < kGoalMs ? "goal met" : "not met");
}

}  // namespace

int main(int argc, char** argv) {
    int files = 200'000;
    if (!nimbara::bench::parseFilesOption(argc, argv, files)) {
        std::fprintf(stderr, "usage: nimbara-bench-outline-ticks [--files N]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QApplication app(argc, argv);
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Benchmark iPhone"));
    const int roll = files / 3;
    for (int i = 0; i < roll; ++i) {
        tree.addTreeNode(record(QStringLiteral("CameraRollDomain"),
                                QStringLiteral("Media/DCIM/IMG_%1.JPG").arg(i)));
    }
    for (int i = roll; i < files; ++i) {
        tree.addTreeNode(
            record(QStringLiteral("AppDomain-com.example.%1").arg(i % 60),
                   QStringLiteral("Library/Caches/c%1/d%2/f%3").arg(i % 31).arg(i % 7).arg(i)));
    }
    nimbara::browser::BackupOutlineModel model(&tree);
    nimbara::browser::BackupFilesView view(&model);
    view.resize(1100, 700);
    view.show();
    view.treeView->expandAll();
    QCoreApplication::processEvents();
    int open = 0;
    for (QModelIndex at = model.index(0, 0); at.isValid(); at = view.treeView->indexBelow(at)) {
        ++open;
    }
    std::printf("%d files, %d folder rows open in the outline\n", model.fileCount(), open);

    const QModelIndex device = model.index(0, 0);
    timeClick("tick the device folder", [&] { view.toggleFolderTick(device); });
    timeClick("untick the device folder", [&] { view.toggleFolderTick(device); });

    QModelIndex dcim = device;
    for (const char* name : {"CameraRollDomain", "Media", "DCIM"}) {
        QModelIndex next;
        for (int row = 0; row < model.rowCount(dcim) && !next.isValid(); ++row) {
            if (model.index(row, 0, dcim).data().toString() == QLatin1String(name)) {
                next = model.index(row, 0, dcim);
            }
        }
        dcim = next;
    }
    view.treeView->setCurrentIndex(dcim);
    view.treeView->selectionModel()->select(dcim, QItemSelectionModel::ClearAndSelect);
    QCoreApplication::processEvents();
    view.treetableView->selectAll();
    const int rows = view.treeFileController()->rowCount();
    timeClick("tick one of all selected rows of the camera roll",
              [&] { view.tickFileRow(rows / 2); });
    std::printf("ticked files: %llu (of %d in the camera roll)\n",
                static_cast<unsigned long long>(view.getTreeSelectedItemNum()), rows);
    return 0;
}
