// Where the save and open panels start: the folder last used, the export folder, the home folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "ui/core/panel_start_folder.h"
#include "ui/save_panel.h"

namespace nimbara::ui {
namespace {

TEST(PanelStartFolder, LastFolderThenExportFolderThenHome) {
    QTemporaryDir root;
    const QString last = root.filePath("last"), exports = root.filePath("Pellucor");
    const QString gone = root.filePath("gone"), home = root.filePath("home");
    ASSERT_TRUE(root.isValid() && QDir().mkpath(last) && QDir().mkpath(exports));
    const struct {
        QString last, exports, expected;
    } rows[] = {{QString(), exports, exports},  // no last folder
                {last, exports, last},
                {gone, exports, exports},  // the last folder went
                {gone, gone, home}};       // the export folder is missing too
    for (const auto& row : rows) {
        EXPECT_EQ(panelStartFolder(row.last, row.exports, home), row.expected);
    }
    // The panels remember where the last choice lay.
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
