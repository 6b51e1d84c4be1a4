// Filing a large device walk and a large clean-up scan into their trees on the GUI thread, with
// an outline view showing each tree: prints the records filed per second and the longest single
// record, beside the goal of no stall over 50 ms.
//
//   nimbara-bench-folder-tree [--files N]     N records per tree (default 200000)
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_options.h"
#include "ui/core/pr_app_tree_controller.h"
#include "ui/core/pr_system_lib_tree_controller.h"
#include "ui/folder_tree_models.h"

namespace {

constexpr double kGoalMs = 50.0;

// Paths of a wide and fairly deep tree: 40 folders of 25 sub-folders of files, shuffled.
std::vector<std::string> paths(int files) {
    std::vector<std::string> all;
    all.reserve(static_cast<std::size_t>(files));
    for (int i = 0; i < files; ++i) {
        all.push_back("/Library/Caches/d" + std::to_string(i % 40) + "/s" +
                      std::to_string((i / 40) % 25) + "/f" + std::to_string(i) + ".cache");
    }
    std::shuffle(all.begin(), all.end(), std::mt19937(1));
    return all;
}

template <class Add>
void timeRecords(const char* what, const std::vector<std::string>& all, Add add) {
    QElapsedTimer total;
    total.start();
    qint64 longest = 0;
    for (const std::string& path : all) {
        QElapsedTimer one;
        one.start();
        add(path);
        longest = std::max(longest, one.nsecsElapsed());
    }
    const double seconds = static_cast<double>(total.nsecsElapsed()) / 1e9;
    const double longestMs = static_cast<double>(longest) / 1e6;
    std::printf("%-28s %8zu records  %10.0f records/s  longest %.3f ms  %s\n", what, all.size(),
                seconds > 0 ? static_cast<double>(all.size()) / seconds : 0.0, longestMs,
                longestMs <= kGoalMs ? "within goal" : "OVER GOAL");
}

}  // namespace

int main(int argc, char** argv) {
    int files = 200000;
    if (!nimbara::bench::parseFilesOption(argc, argv, files)) {
        std::fprintf(stderr, "usage: nimbara-bench-folder-tree [--files N]\n");
        return 2;
    }
    QApplication application(argc, argv);
    const std::vector<std::string> all = paths(files);

    PRSystemLibTreeController device;
    nimbara::ui::PRSystemLibOutlineModel deviceOutline(&device.tree());
    QTreeView deviceView;
    deviceView.setModel(&deviceOutline);
    timeRecords("device folder tree", all, [&](const std::string& path) {
        auto record = std::make_shared<PRPhoneSystemDirNode>();
        record->setFilePath(QString::fromStdString(path));
        record->setFileSize(QStringLiteral("4 KB"));
        record->setFileSizeNumber(4096);
        device.addTreeNode(record);
    });

    PRAppTreeController clean;
    nimbara::ui::PRCleanOutlineModel cleanOutline(&clean.cleanTree());
    QTreeView cleanView;
    cleanView.setModel(&cleanOutline);
    std::size_t app = 0;
    timeRecords("clean-up tree (50 apps)", all, [&](const std::string& path) {
        auto record = std::make_shared<PRCleanDirNode>();
        const auto n = app++ % 50;
        record->setAppDisplayName(QStringLiteral("App %1").arg(n));
        record->setAppBundleName(QStringLiteral("com.example.app%1").arg(n));
        record->setDevicePath(path);
        record->setFileSize(QStringLiteral("4 KB"));
        record->setFileSizeNumber(4096);
        clean.addTreeNode(record, true);
    });
    return 0;
}
