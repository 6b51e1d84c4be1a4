// The transfer page's photo, music and video menus on the demo device: which items are enabled,
// exports through the save panel (the folder shown once, nothing asked when there is nothing to
// export, stopped by a device change), playing from the menu and the music-library copies on one
// worker.
#include <QAction>
#include <QListView>
#include <QMenu>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "transfer/ik_image_item.h"
#include "transfer/pages/pr_media_preview_controller.h"
#include "transfer/pages/transfer_media_menus.h"
#include "transfer_page_fixture.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using transfer::TransferMediaMenus;
using ui::FileViewer;
using ui::SavePanel;
using ui::ScopedHandler;

class TransferMediaMenusTest : public TransferPageTest {
  protected:
    void SetUp() override {
        TransferPageTest::SetUp();
        menus().setDocumentsFolder(tmp_ / "Documents");
        menus().setLibraryFolder(tmp_ / "Library");
    }
    TransferMediaMenus& menus() { return page().mediaMenus(); }
    fs::path exportFolder() const { return tmp_ / folderName_; }
    bool loadMusic() {
        clickMusic();
        return waitForMusic() && page().musicController()->rowCount() > 0;
    }
    // Opens the table's menu over its first row, or over the empty space below the rows.
    QMenu* openMenu(QTableView* table, bool onRow) {
        const int rows = table->model()->rowCount();
        const QPoint at =
            onRow
                ? table->visualRect(table->model()->index(0, 0)).center()
                : QPoint(4, table->rowViewportPosition(rows - 1) + table->rowHeight(rows - 1) + 6);
        return menus().tableMenuRequested(table, at, false);
    }
    static std::vector<bool> enabled(const QMenu* menu) {
        std::vector<bool> states;
        for (const QAction* item : menu->actions()) {
            if (!item->isSeparator()) {
                states.push_back(item->isEnabled());
            }
        }
        return states;
    }
    static QAction* item(QMenu* menu, const char* text) {
        for (QAction* candidate : menu->actions()) {
            if (candidate->text() == QLatin1String(text)) {
                return candidate;
            }
        }
        return nullptr;
    }
    // Regular files only: a title's "/" makes no folder.
    static long filesIn(const fs::path& folder) {
        return std::count_if(fs::directory_iterator(folder), {},
                             [](const auto& entry) { return entry.is_regular_file(); });
    }

    std::string folderName_ = "Exported";  // what the save panel answers
    QStringList panelAsked_;
    QStringList revealed_;
    ScopedHandler<SavePanel::Handler> panel_{
        SavePanel::handler(), [this](QWidget*, const SavePanel::Request& asked) {
            panelAsked_.push_back(asked.proposedName);
            return std::optional<QString>(QString::fromStdString(exportFolder().string()));
        }};
    ScopedHandler<FileViewer::Handler> reveal_{
        FileViewer::handler(), [this](const QString& folder) { revealed_.push_back(folder); }};
};

TEST_F(TransferMediaMenusTest, ItemsAreEnabledOnlyOverARowOrWhenThereIsSomethingToExport) {
    ASSERT_TRUE(loadMusic());
    struct Row {
        bool video;
        bool onRow;
    };
    for (const Row row : {Row{false, true}, Row{false, false}, Row{true, true}, Row{true, false}}) {
        SCOPED_TRACE(::testing::Message() << "video " << row.video << ", on a row " << row.onRow);
        QMenu* menu = openMenu(row.video ? tui().videoTableView : tui().musicTableView, row.onRow);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->objectName(), row.video ? "videoMenu" : "musicMenu");
        EXPECT_EQ(menus().clickedRow(row.video), row.onRow ? 0 : -1);
        EXPECT_EQ(enabled(menu), std::vector<bool>(row.video ? 7 : 9, row.onRow));
    }
    // The photo menu: "Export Selected" only with a selection, "Export All" only with photos.
    struct PhotoRow {
        int photos;
        bool selected;
        std::vector<bool> states;
    };
    for (const PhotoRow& row :
         {PhotoRow{0, false, {false, false}}, PhotoRow{2, false, {false, true}},
          PhotoRow{2, true, {true, true}}}) {
        SCOPED_TRACE(row.photos);
        while (page().photos().model()->rowCount() < row.photos) {
            auto photo = std::make_shared<IKImageItem>();
            photo->setFilePath(QStringLiteral("/DCIM/100APPLE/IMG_%1.JPG")
                                   .arg(page().photos().model()->rowCount()));
            page().photos().model()->append(photo);
        }
        QListView* browser = tui().imageBroswerView;
        browser->clearSelection();
        if (row.selected) {
            browser->selectionModel()->select(browser->model()->index(1, 0),
                                              QItemSelectionModel::Select);
        }
        QMenu* menu = menus().imageBrowserMenuRequested(QPoint(-5, -5), false);
        EXPECT_EQ(menu->title(), "menu");
        EXPECT_EQ(enabled(menu), row.states);
        EXPECT_EQ(item(menu, "Export All to Mac...")->shortcut(), QKeySequence("Ctrl+E"));
        delete menu;
    }
}

TEST_F(TransferMediaMenusTest, NothingToWorkOnAsksNothingWritesNothingAndShowsNothing) {
    ASSERT_TRUE(loadMusic());
    using Action = void (TransferMediaMenus::*)(QObject*);
    const std::vector<std::pair<Action, const char*>> rows = {
        {&TransferMediaMenus::ExportSelectedPhotoToMac, "Choose the photos to export first."},
        {&TransferMediaMenus::ExportAllPhotoToMac, "There are no photos to export."},
        {&TransferMediaMenus::ExportSelectedMusicToMac, "Choose the tracks to export first."},
        {&TransferMediaMenus::videoExporttoDocument, "Choose the videos to export first."},
        {&TransferMediaMenus::ExportSelectedMusicToITuneslib,
         "Choose the tracks to add to the music library first."},
    };
    for (const auto& [action, text] : rows) {
        SCOPED_TRACE(text);
        (menus().*action)(nullptr);
        pumpEvents(10);
        EXPECT_EQ(page().statusText(), text);
        EXPECT_FALSE(menus().exporting());
        EXPECT_FALSE(menus().copyingToLibrary());
    }
    EXPECT_TRUE(panelAsked_.isEmpty());
    EXPECT_TRUE(revealed_.isEmpty());
    EXPECT_FALSE(fs::exists(tmp_ / "Documents"));
    EXPECT_FALSE(fs::exists(exportFolder()));
}

TEST_F(TransferMediaMenusTest, ExportsWriteEveryTrackOnceAndShowTheFolderOnceUnlessStopped) {
    ASSERT_TRUE(loadMusic());
    // A device change right after the start: nothing is shown or reported.
    folderName_ = "Stopped";
    menus().musicExporttoMac();
    folderName_ = "Exported";
    ASSERT_EQ(panelAsked_.size(), 1);
    EXPECT_TRUE(panelAsked_[0].startsWith("Nimbara "));
    page().initAllDataAndAllView();
    pumpEvents(50);
    EXPECT_FALSE(menus().lastExport().has_value());
    EXPECT_TRUE(revealed_.isEmpty());

    ASSERT_TRUE(loadMusic());
    menus().musicExporttoMac();
    ASSERT_TRUE(pumpUntil([&] { return !menus().exporting(); }));
    ASSERT_TRUE(menus().lastExport().has_value());
    // Every track with a file on the device ("Lost Tapes" has none), "AC/DC ../Live" as one file.
    const std::size_t tracks = static_cast<std::size_t>(page().musicController()->rowCount());
    EXPECT_EQ(menus().lastExport()->written.size(), tracks - 1);
    EXPECT_EQ(filesIn(exportFolder()), static_cast<long>(tracks - 1));
    EXPECT_EQ(revealed_, QStringList{QString::fromStdString(exportFolder().string())});
    EXPECT_TRUE(page().statusText().startsWith(
        QStringLiteral("1 of %1 files could not be exported: \"Lost Tapes.m4a\": the device file "
                       "could not be opened. Exported %2 files")
            .arg(tracks)
            .arg(tracks - 1)))
        << page().statusText().toStdString();

    // Into Documents: the selected videos, the folder shown again.
    tui().videoTableView->selectRow(1);
    menus().videoExporttoDocument();
    ASSERT_TRUE(pumpUntil([&] { return !menus().exporting(); }));
    EXPECT_EQ(filesIn(tmp_ / "Documents"), 1);
    EXPECT_EQ(revealed_.size(), 2);
}

TEST_F(TransferMediaMenusTest, PlayAndLibraryCopiesWorkOnTheClickedRowAndQueueOnOneWorker) {
    ASSERT_TRUE(loadMusic());
    openMenu(tui().musicTableView, true);
    item(menus().musicMenu(), "Play")->trigger();
    ASSERT_TRUE(pumpUntil([&] {
        const auto* player = page().mediaPreview()->player(false);
        return player != nullptr && !player->file().isEmpty();
    }));
    EXPECT_EQ(tui().musicTitlelab->text(), page().musicController()->rowAt(0)->musicTitle());

    menus().musicCopyAlltoiTunes();
    EXPECT_TRUE(menus().copyingToLibrary());
    menus().musicCopytoiTunes();  // the clicked row again: waits for the first run
    EXPECT_EQ(menus().libraryCopiesWaiting(), 1u);
    ASSERT_TRUE(pumpUntil(
        [&] { return !menus().copyingToLibrary() && menus().libraryCopiesWaiting() == 0; }));
    const std::size_t tracks = static_cast<std::size_t>(page().musicController()->rowCount());
    iTunesScriptHandler library(tmp_ / "Library");
    const auto list = library.playlist("iPhoneMusic");
    ASSERT_TRUE(list);
    EXPECT_EQ(static_cast<std::size_t>(list->entries.size()), tracks);  // all but "Lost Tapes", +1
    EXPECT_FALSE(list->titles.contains("Lost Tapes"));
    EXPECT_EQ(page().statusText(),
              QStringLiteral("1 track was added to the playlist iPhoneMusic in %1.")
                  .arg(QString::fromStdString((tmp_ / "Library").string())));
}

}  // namespace
}  // namespace nimbara::test
