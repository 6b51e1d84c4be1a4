// The backup file tree category: ticks by click on the tick image only, the ticked-file count,
// the chosen folder's file table and the preview of a chosen file.
#include "browser/pages/backup_files_view.h"

#include "app_test_support.h"
#include "backup/backup_file_tree.h"
#include "browser/backup_file_table_model.h"
#include "browser/backup_outline_model.h"
#include "browser/pages/backup_file_preview.h"
#include "generated_images.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <QLabel>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTreeView>

#include <filesystem>
#include <functional>

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using browser::BackupFilesView;
using browser::BackupFileTableModel;
using browser::BackupOutlineModel;

bool pumpUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
        QCoreApplication::processEvents();
        if (condition()) {
            return true;
        }
        QThread::msleep(5);
    }
    return condition();
}

class BackupFilesViewTest : public ::testing::Test {
  protected:
    // A preview still decoding in the pool ends with its test, never among the process's
    // exit-time destructors.
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }
    void SetUp() override {
        ensureApplication();
        fs::create_directories(backup);
        writeText(backup / "photo", simdev::makePhotoJpeg(640, 480, 3));
        writeText(backup / "large", simdev::makePhotoJpeg(2400, 1800, 4));
        writeText(backup / "text", "not a picture");
        // A picture outside the backup, reached by a link inside it.
        writeText(dir / "outside.jpg", simdev::makePhotoJpeg(320, 240, 5));
        fs::create_symlink(dir / "outside.jpg", backup / "link");

        tree.setDeviceName(QStringLiteral("Phone"));
        add("CameraRollDomain", "Media/DCIM/100APPLE/IMG_1.JPG", "photo");
        add("CameraRollDomain", "Media/DCIM/100APPLE/IMG_2.JPG", "large");
        add("CameraRollDomain", "Media/DCIM/100APPLE/IMG_3.JPG", "link");
        add("CameraRollDomain", "Media/DCIM/100APPLE/notes.txt", "text");
        add("CameraRollDomain", "Media/DCIM/100APPLE/IMG_4.JPG", "");
        add("HomeDomain", "Library/a.db", "text");
        model = std::make_unique<BackupOutlineModel>(&tree);
        view = std::make_unique<BackupFilesView>(model.get());
        view->resize(1100, 500);
        view->show();
        view->treeView->expandAll();
        QCoreApplication::processEvents();
    }

    // A record whose stored file is `stored` in the backup folder ("": listed, not held).
    void add(const char* domain, const char* path, const std::string& stored) {
        auto r = std::make_shared<PRTreeDirNode>();
        r->setFileDomain(QString::fromLatin1(domain));
        r->setFilePath(QString::fromLatin1(path));
        if (!stored.empty()) {
            r->setFileKey(QString::fromStdString((backup / stored).string()));
            r->setStoredFile(true, fs::file_size(backup / stored, ec));
        } else {
            r->setStoredFile(false, 0);
        }
        tree.addTreeNode(r);
    }

    QModelIndex folder(const QStringList& path) const {
        QModelIndex at;
        for (const QString& name : path) {
            QModelIndex next;
            for (int row = 0; row < model->rowCount(at); ++row) {
                if (model->index(row, 0, at).data().toString() == name) {
                    next = model->index(row, 0, at);
                }
            }
            at = next;
        }
        return at;
    }
    QModelIndex apple100() const {
        return folder({"Phone", "CameraRollDomain", "Media", "DCIM", "100APPLE"});
    }

    // Clicks in an outline row: on its tick image, or on its name.
    void clickOutline(const QModelIndex& index, bool onTick) {
        const QRect row = view->treeView->visualRect(index);
        const QPoint at(row.left() + (onTick ? 3 + 8 : 60), row.center().y());
        QTest::mouseClick(view->treeView->viewport(), Qt::LeftButton, {}, at);
    }
    void clickTableTick(int row) {
        const QRect cell = view->treetableView->visualRect(
            view->treeFileController()->index(row, BackupFileTableModel::kTickColumn));
        QTest::mouseClick(view->treetableView->viewport(), Qt::LeftButton, {},
                          QPoint(cell.left() + 3 + 8, cell.center().y()));
    }
    void chooseFolder(const QModelIndex& index) { clickOutline(index, false); }
    void selectRows(std::initializer_list<int> rows) {
        view->treetableView->clearSelection();
        for (int row : rows) {
            view->treetableView->selectionModel()->select(
                view->treeFileController()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    bool ticked(int row) const { return view->treeFileController()->fileAt(row)->bSelected(); }

    TempDir dir;
    fs::path backup = dir / "backup";
    std::error_code ec;
    PRTreeController tree;
    std::unique_ptr<BackupOutlineModel> model;
    std::unique_ptr<BackupFilesView> view;
};

TEST_F(BackupFilesViewTest, OnlyAClickOnTheTickImageTicksAFolder) {
    EXPECT_EQ(view->treeView->objectName(), QStringLiteral("treeView"));
    EXPECT_FALSE(model->showsFiles()) << "files show in the table, not in the outline";
    QSignalSpy count(view.get(), &BackupFilesView::tickedFilesChanged);
    const QModelIndex dcim = folder({"Phone", "CameraRollDomain", "Media", "DCIM"});
    ASSERT_TRUE(dcim.isValid());

    // On the name: the row is chosen, its files listed, nothing ticked.
    clickOutline(apple100(), false);
    EXPECT_EQ(model->folderAt(apple100())->isSelected(), PRTreeDirNode::kUnselected);
    EXPECT_EQ(count.count(), 0);
    EXPECT_EQ(view->treeFileController()->rowCount(), 5);
    EXPECT_EQ(view->treeView->currentIndex(), apple100());

    // On the tick: everything below is ticked; the folders above follow.
    clickOutline(dcim, true);
    EXPECT_EQ(model->folderAt(dcim)->isSelected(), PRTreeDirNode::kSelected);
    EXPECT_EQ(dcim.data(Qt::DecorationRole).toString(), QStringLiteral("selected"));
    EXPECT_EQ(dcim.parent().data(Qt::DecorationRole).toString(), QStringLiteral("selected"));
    EXPECT_EQ(folder({"Phone"}).data(Qt::DecorationRole).toString(),
              QStringLiteral("selectedSome"));
    EXPECT_TRUE(ticked(0));
    // Four of the five files are held by the backup (the link counts: it is listed as stored).
    ASSERT_EQ(count.count(), 1);
    EXPECT_EQ(count.at(0).at(0).toULongLong(), 4u);
    EXPECT_EQ(view->getTreeSelectedItemNum(), 4u);
    EXPECT_EQ(view->treeView->currentIndex(), apple100()) << "a tick click chooses no row";

    // A double click on the tick is two clicks, and neither opens nor closes the folder.
    const QRect row = view->treeView->visualRect(dcim);
    QTest::mouseDClick(view->treeView->viewport(), Qt::LeftButton, {},
                       QPoint(row.left() + 11, row.center().y()));
    EXPECT_TRUE(view->treeView->isExpanded(dcim));
    clickOutline(dcim, true);
    EXPECT_EQ(model->folderAt(dcim)->isSelected(), PRTreeDirNode::kUnselected);
    EXPECT_EQ(view->getTreeSelectedItemNum(), 0u);
    EXPECT_EQ(count.last().at(0).toULongLong(), 0u);

    // Space ticks the current row.
    view->treeView->setCurrentIndex(apple100());
    QTest::keyClick(view->treeView, Qt::Key_Space);
    EXPECT_EQ(model->folderAt(apple100())->isSelected(), PRTreeDirNode::kSelected);
    EXPECT_EQ(view->getTreeSelectedItemNum(), 4u);
}

TEST_F(BackupFilesViewTest, ATickOnASelectedRowTicksEverySelectedRow) {
    chooseFolder(apple100());
    ASSERT_EQ(view->treeFileController()->rowCount(), 5);
    QSignalSpy count(view.get(), &BackupFilesView::tickedFilesChanged);
    // One of three selected rows already ticked: a tick on another selected row adds two.
    clickTableTick(0);
    EXPECT_EQ(view->getTreeSelectedItemNum(), 1u);
    selectRows({0, 1, 3});
    clickTableTick(1);
    EXPECT_TRUE(ticked(0) && ticked(1) && ticked(3));
    EXPECT_FALSE(ticked(2));
    EXPECT_EQ(view->getTreeSelectedItemNum(), 3u);
    EXPECT_EQ(count.last().at(0).toULongLong(), 3u);
    EXPECT_EQ(view->treetableView->selectionModel()->selectedRows().size(), 3)
        << "the tick click keeps the selection";
    EXPECT_EQ(model->folderAt(apple100())->isSelected(), PRTreeDirNode::kSelectedSome);
    EXPECT_EQ(apple100().data(Qt::DecorationRole).toString(), QStringLiteral("selectedSome"));
    // Again on one of them: all three are unticked.
    clickTableTick(3);
    EXPECT_FALSE(ticked(0) || ticked(1) || ticked(3));
    EXPECT_EQ(view->getTreeSelectedItemNum(), 0u);

    // A tick on a row outside the selection ticks that row alone.
    selectRows({0, 1});
    clickTableTick(4);
    EXPECT_TRUE(ticked(4));
    EXPECT_FALSE(ticked(0) || ticked(1));
    // The listed-only file is ticked but not counted: there is nothing to export.
    EXPECT_EQ(view->getTreeSelectedItemNum(), 0u);
    view->treetableView->clearSelection();
    for (int row : {0, 1, 2, 3}) {
        clickTableTick(row);
    }
    EXPECT_EQ(model->folderAt(apple100())->isSelected(), PRTreeDirNode::kSelected);
    EXPECT_EQ(view->getTreeSelectedItemNum(), 4u);
    // A click on a row's name only selects it.
    const QRect name = view->treetableView->visualRect(
        view->treeFileController()->index(2, BackupFileTableModel::kNameColumn));
    QTest::mouseClick(view->treetableView->viewport(), Qt::LeftButton, {}, name.center());
    EXPECT_TRUE(ticked(2));
    EXPECT_EQ(view->getTreeSelectedItemNum(), 4u);
}

TEST_F(BackupFilesViewTest, APictureIsDecodedAwayFromTheGuiThreadAndFitted) {
    chooseFolder(apple100());
    EXPECT_EQ(view->previewState(), BackupFilesView::Preview::None);
    view->treetableView->selectRow(0);
    // Chosen, not yet decoded: the GUI thread went on without it.
    EXPECT_EQ(view->previewState(), BackupFilesView::Preview::Loading);
    ASSERT_TRUE(
        pumpUntil([&] { return view->previewState() != BackupFilesView::Preview::Loading; }));
    EXPECT_EQ(view->previewState(), BackupFilesView::Preview::Picture);
    EXPECT_EQ(view->previewPixmap().size(), QSize(640, 480));
    ASSERT_NE(view->treeFileImageView->pixmap().isNull(), true);
    EXPECT_LE(view->treeFileImageView->pixmap().width(), view->treeFileImageView->width());

    // A large photo is decoded at the preview's size, not its own.
    view->treetableView->selectRow(1);
    ASSERT_TRUE(
        pumpUntil([&] { return view->previewState() != BackupFilesView::Preview::Loading; }));
    EXPECT_EQ(view->previewState(), BackupFilesView::Preview::Picture);
    EXPECT_EQ(view->previewPixmap().size(),
              QSize(browser::kPreviewSide, browser::kPreviewSide * 3 / 4));
}

TEST_F(BackupFilesViewTest, AnythingElseShowsItsTypeIconAndALinkIsNeverFollowed) {
    chooseFolder(apple100());
    auto previewOf = [&](int row) {
        view->treetableView->selectRow(row);
        EXPECT_TRUE(
            pumpUntil([&] { return view->previewState() != BackupFilesView::Preview::Loading; }));
        return view->previewState();
    };
    // A link in the backup to a picture outside it: not shown.
    EXPECT_EQ(previewOf(2), BackupFilesView::Preview::TypeIcon);
    EXPECT_EQ(previewOf(3), BackupFilesView::Preview::TypeIcon);
    EXPECT_EQ(view->previewPixmap().size(), QSize(256, 256));
    // Listed, not held: the icon at once.
    view->treetableView->selectRow(4);
    EXPECT_EQ(view->previewState(), BackupFilesView::Preview::TypeIcon);

    // Choosing another folder empties the table and the preview.
    chooseFolder(folder({"Phone", "HomeDomain", "Library"}));
    EXPECT_EQ(view->treeFileController()->rowCount(), 1);
    EXPECT_EQ(view->previewState(), BackupFilesView::Preview::None);
    EXPECT_TRUE(view->treeFileImageView->pixmap().isNull());
}

TEST_F(BackupFilesViewTest, ANewOutlineClearsTheTableThePreviewAndTheCount) {
    chooseFolder(apple100());
    clickOutline(apple100(), true);
    view->treetableView->selectRow(3);
    ASSERT_EQ(view->getTreeSelectedItemNum(), 4u);
    QSignalSpy count(view.get(), &BackupFilesView::tickedFilesChanged);
    PRTreeController fresh;
    model->setController(&fresh);
    EXPECT_EQ(view->treeFileController()->rowCount(), 0);
    EXPECT_EQ(view->previewState(), BackupFilesView::Preview::None);
    EXPECT_EQ(view->getTreeSelectedItemNum(), 0u);
    ASSERT_EQ(count.count(), 1);
    EXPECT_EQ(count.at(0).at(0).toULongLong(), 0u);
    model->setController(&tree);
}

TEST_F(BackupFilesViewTest, FilesArrivingInTheShownFolderJoinTheTable) {
    chooseFolder(apple100());
    view->treetableView->selectRow(1);
    add("CameraRollDomain", "Media/DCIM/100APPLE/IMG_9.JPG", "photo");
    model->update();
    EXPECT_EQ(view->treeFileController()->rowCount(), 6);
    EXPECT_EQ(view->treetableView->selectionModel()->selectedRows().size(), 1)
        << "the chosen row stays chosen";
}

TEST(StoredPictureTest, ALinkedShardFolderIsRefused) {
    ensureApplication();
    TempDir dir;
    fs::create_directories(dir / "backup" / "ab");
    fs::create_directories(dir / "elsewhere");
    const std::string key = "ab" + std::string(38, 'c');
    writeText(dir / "backup" / "ab" / key, simdev::makePhotoJpeg(100, 80, 1));
    writeText(dir / "elsewhere" / key, simdev::makePhotoJpeg(100, 80, 1));
    const QString folder = QString::fromStdString((dir / "backup").string());
    const QImage image =
        browser::decodeStoredPicture({folder, QString::fromStdString("ab/" + key)});
    EXPECT_EQ(image.size(), QSize(100, 80));
    fs::remove_all(dir / "backup" / "ab");
    fs::create_directory_symlink(dir / "elsewhere", dir / "backup" / "ab");
    EXPECT_TRUE(
        browser::decodeStoredPicture({folder, QString::fromStdString("ab/" + key)}).isNull());
    EXPECT_TRUE(browser::decodeStoredPicture(
                    {folder, QStringLiteral("../elsewhere/") + QString::fromStdString(key)})
                    .isNull());
    EXPECT_TRUE(browser::decodeStoredPicture({}).isNull());
}

}  // namespace
}  // namespace nimbara::test
