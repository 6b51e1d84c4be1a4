// Where the save and open panels start: the folder last used, the export folder, the home folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ui/core/panel_start_folder.h"
#include "ui/save_panel.h"

namespace nimbara::ui {
namespace {

TEST(PanelStartFolder, LastFolderThenExportFolderThenHome) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString last = root.filePath("last");
    const QString exports = root.filePath("Pellucor");
    const QString gone = root.filePath("gone");
    const QString file = root.filePath("a file");
    ASSERT_TRUE(QDir().mkpath(last) && QDir().mkpath(exports));
    QFile(file).open(QIODevice::WriteOnly);
    const QString home = root.filePath("home");
    const struct {
        QString last, exports, expected;
    } rows[] = {
        {QString(), exports, exports},  // no last folder
        {last, exports, last},          // the last folder is there
        {gone, exports, exports},       // the last folder went
        {file, exports, exports},       // a file is no folder to start in
        {gone, gone, home},             // the export folder is missing too
        {QString(), QString(), home},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(panelStartFolder(row.last, row.exports, home), row.expected)
            << row.last.toStdString() << " | " << row.exports.toStdString();
    }

    // The panels remember where the last choice lay, and start in the export folder otherwise.
    PanelStart::forget();
    ScopedHandler<PanelStart::ExportFolder> source(PanelStart::exportFolder(),
                                                   [&] { return exports; });
    EXPECT_EQ(PanelStart::folder(), exports);
    PanelStart::chose(last + "/Export 2026-12-11");
    EXPECT_EQ(PanelStart::folder(), last);
    PanelStart::forget();
}

}  // namespace
}  // namespace nimbara::ui
