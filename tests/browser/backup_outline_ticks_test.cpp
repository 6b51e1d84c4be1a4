// The outline of folders beside a file table: the outline without file rows, the tick images
// its rows name, the rows told to redraw after a tick, and the file table of a folder.
#include "backup/backup_file_tree.h"
#include "browser/backup_file_table_model.h"
#include "browser/backup_outline_model.h"
#include "outline_rows.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStringList>

#include <algorithm>
#include <random>
#include <set>
#include <utility>

namespace {

using nimbara::browser::BackupFileTableModel;
using nimbara::browser::BackupOutlineModel;

std::shared_ptr<PRTreeDirNode> record(const QString& domain, const QString& path,
                                      bool stored = true) {
    auto r = std::make_shared<PRTreeDirNode>();
    r->setFileDomain(domain);
    r->setFilePath(path);
    r->setStoredFile(stored, stored ? 2048 : 0);
    return r;
}

using nimbara::test::find;
using nimbara::test::names;

QStringList fileNames(const std::vector<std::shared_ptr<PRTreeFileNode>>& files) {
    QStringList out;
    for (const auto& file : files) {
        out << file->treefileName();
    }
    return out;
}

// Every folder the model shows, as "a/b/c" with its files as the model hands them out.
void folderLines(const BackupOutlineModel& model, const QModelIndex& parent, const QString& path,
                 QStringList& lines) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (!model.folderAt(index)) {
            continue;
        }
        const QString here = path + QLatin1Char('/') + index.data().toString();
        lines << here + QStringLiteral(": ") + fileNames(model.shownFiles(index)).join(',');
        folderLines(model, index, here, lines);
    }
}

QStringList folderLines(const BackupOutlineModel& model) {
    QStringList lines;
    folderLines(model, QModelIndex(), QString(), lines);
    return lines;
}

class OutlineOfFoldersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tree.setDeviceName(QStringLiteral("Phone"));
        for (const char* path : {"Media/DCIM/100APPLE/IMG_1.JPG", "Media/DCIM/100APPLE/IMG_2.JPG",
                                 "Media/DCIM/101APPLE/IMG_3.JPG", "Media/notes.txt"}) {
            tree.addTreeNode(record(QStringLiteral("CameraRollDomain"), path));
        }
        tree.addTreeNode(record(QStringLiteral("HomeDomain"), QStringLiteral("Library/a.db")));
    }
    PRTreeController tree;
};

}  // namespace

TEST_F(OutlineOfFoldersTest, FoldersOnlyLeavesFileRowsOutButHandsTheFilesOut) {
    BackupOutlineModel model(&tree);
    const QStringList withFiles = folderLines(model);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.setShowsFiles(false);
    EXPECT_EQ(resets.count(), 1);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_FALSE(model.showsFiles());
    const QModelIndex media = find(model, {"Phone", "CameraRollDomain", "Media"});
    ASSERT_TRUE(media.isValid());
    EXPECT_EQ(names(model, media), QStringList({"DCIM"})) << "notes.txt is no row";
    EXPECT_EQ(fileNames(model.shownFiles(media)), QStringList({"notes.txt"}));
    const QModelIndex apple100 =
        find(model, {"Phone", "CameraRollDomain", "Media", "DCIM", "100APPLE"});
    EXPECT_EQ(model.rowCount(apple100), 0);
    EXPECT_FALSE(model.index(0, 0, apple100).isValid());
    EXPECT_EQ(fileNames(model.shownFiles(apple100)), QStringList({"IMG_1.JPG", "IMG_2.JPG"}));
    EXPECT_EQ(model.fileCount(), 5);
    // The same folders with the same files as the outline with file rows.
    EXPECT_EQ(folderLines(model), withFiles);
    EXPECT_EQ(model.indexOfFolder(model.folderAt(apple100).get()), apple100);
}

TEST_F(OutlineOfFoldersTest, ArrivingFilesAreToldByFolderNotInsertedAsRows) {
    BackupOutlineModel model(&tree);
    model.setShowsFiles(false);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy told(&model, &BackupOutlineModel::folderFilesChanged);
    const QPersistentModelIndex apple100 =
        find(model, {"Phone", "CameraRollDomain", "Media", "DCIM", "100APPLE"});

    tree.addTreeNode(record("CameraRollDomain", "Media/DCIM/100APPLE/IMG_5.JPG"));
    model.update();
    EXPECT_EQ(inserted.count(), 0);
    ASSERT_EQ(told.count(), 1);
    EXPECT_EQ(told.at(0).at(0).value<QModelIndex>(), QModelIndex(apple100));
    EXPECT_EQ(fileNames(model.shownFiles(apple100)),
              QStringList({"IMG_1.JPG", "IMG_2.JPG", "IMG_5.JPG"}));

    // A new folder is a row; its files come with it, without a word of their own.
    tree.addTreeNode(record("CameraRollDomain", "Media/DCIM/102APPLE/IMG_6.JPG"));
    model.update();
    EXPECT_EQ(inserted.count(), 1);
    const QModelIndex apple102 =
        find(model, {"Phone", "CameraRollDomain", "Media", "DCIM", "102APPLE"});
    EXPECT_EQ(fileNames(model.shownFiles(apple102)), QStringList({"IMG_6.JPG"}));
    EXPECT_EQ(model.fileCount(), 7);

    // A folder's own entry listed as a file before its folder came is dropped from the files.
    tree.addTreeNode(record("HomeDomain", "Library/Caches", false));
    model.update();
    const QModelIndex library = find(model, {"Phone", "HomeDomain", "Library"});
    EXPECT_EQ(fileNames(model.shownFiles(library)), QStringList({"a.db", "Caches"}));
    told.clear();
    tree.addTreeNode(record("HomeDomain", "Library/Caches/c.db"));
    model.update();
    EXPECT_EQ(fileNames(model.shownFiles(library)), QStringList({"a.db"}));
    EXPECT_EQ(told.count(), 1);
}

TEST_F(OutlineOfFoldersTest, RowsNameTheirTickImageAndRedrawAfterATick) {
    BackupOutlineModel model(&tree);
    model.setShowsFiles(false);
    const QModelIndex dcim = find(model, {"Phone", "CameraRollDomain", "Media", "DCIM"});
    const QModelIndex apple100 = model.index(0, 0, dcim);
    const QModelIndex media = dcim.parent();
    auto tick = [](const QModelIndex& index) { return index.data(Qt::DecorationRole).toString(); };
    EXPECT_EQ(tick(apple100), QStringLiteral("unselected"));
    EXPECT_FALSE(apple100.siblingAtColumn(BackupOutlineModel::kSizeColumn)
                     .data(Qt::DecorationRole)
                     .isValid());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    PRTreeController::toggleFolderTick(model.folderAt(dcim));
    model.ticksChanged(model.folderAt(dcim));
    EXPECT_EQ(tick(dcim), QStringLiteral("selected"));
    EXPECT_EQ(tick(apple100), QStringLiteral("selected"));
    EXPECT_EQ(tick(media), QStringLiteral("selectedSome"));
    // Every row whose image may have changed was told: DCIM, the folders above it and below it.
    std::set<std::pair<QModelIndex, int>> told;
    for (const auto& signal : changed) {
        const QModelIndex first = signal.at(0).value<QModelIndex>();
        const QModelIndex last = signal.at(1).value<QModelIndex>();
        EXPECT_EQ(first.parent(), last.parent());
        EXPECT_TRUE(signal.at(2).value<QList<int>>().contains(Qt::DecorationRole));
        for (int row = first.row(); row <= last.row(); ++row) {
            told.insert({first.parent(), row});
        }
    }
    for (QModelIndex at = dcim; at.isValid(); at = at.parent()) {
        EXPECT_EQ(told.count({at.parent(), at.row()}), 1u) << at.data().toString().toStdString();
    }
    for (int row = 0; row < model.rowCount(dcim); ++row) {
        EXPECT_EQ(told.count({QModelIndex(dcim), row}), 1u);
    }

    // With file rows, a file row names its own tick.
    model.setShowsFiles(true);
    const QModelIndex files =
        find(model, {"Phone", "CameraRollDomain", "Media", "DCIM", "100APPLE"});
    EXPECT_EQ(tick(model.index(0, 0, files)), QStringLiteral("selected"));
    const QModelIndex notes =
        model.index(1, 0, find(model, {"Phone", "CameraRollDomain", "Media"}));
    EXPECT_EQ(notes.data().toString(), QStringLiteral("notes.txt"));
    EXPECT_EQ(tick(notes), QStringLiteral("unselected"));
}

TEST(BackupFileTableModelTest, ShowsAFoldersFilesAndTakesNewOnesAsRows) {
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Phone"));
    tree.addTreeNode(record("HomeDomain", "Library/a.db"));
    tree.addTreeNode(record("HomeDomain", "Library/listed.plist", false));
    const auto library = tree.content()[0]->children()[0]->children()[0];
    BackupFileTableModel table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(table.rowCount(), 0);
    table.setFiles(library, library->fileChildren());
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.columnCount(), BackupFileTableModel::kColumnCount);
    EXPECT_EQ(BackupFileTableModel::columnIdentifier(BackupFileTableModel::kTickColumn),
              QStringLiteral("bSelected"));
    EXPECT_EQ(table.headerData(BackupFileTableModel::kNameColumn, Qt::Horizontal).toString(),
              QStringLiteral("Name"));
    auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
        return table.index(row, column).data(role);
    };
    EXPECT_EQ(cell(0, BackupFileTableModel::kNameColumn).toString(), QStringLiteral("a.db"));
    EXPECT_EQ(cell(0, BackupFileTableModel::kSizeColumn).toString(), QStringLiteral("2.05KB"));
    EXPECT_EQ(cell(0, BackupFileTableModel::kTypeColumn).toString(), QStringLiteral("db"));
    EXPECT_EQ(cell(0, BackupFileTableModel::kTickColumn, Qt::DecorationRole).toString(),
              QStringLiteral("unselected"));
    // A file the backup only lists has no size and says why.
    EXPECT_EQ(cell(1, BackupFileTableModel::kSizeColumn).toString(), QString());
    EXPECT_TRUE(cell(1, BackupFileTableModel::kNameColumn, Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("does not hold")));

    // The path in the tool tip is text, whatever the backup calls its files.
    EXPECT_EQ(cell(0, BackupFileTableModel::kNameColumn, Qt::ToolTipRole).toString(),
              QStringLiteral("<p style='white-space:pre'>HomeDomain/Library/a.db</p>"));
    tree.addTreeNode(record("HomeDomain", "Library/<img src=x>&amp;"));
    table.setFiles(library, library->fileChildren());
    EXPECT_EQ(cell(2, BackupFileTableModel::kNameColumn).toString(),
              QStringLiteral("<img src=x>&amp;"));
    EXPECT_TRUE(cell(2, BackupFileTableModel::kNameColumn, Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("&lt;img src=x&gt;&amp;amp;")));
    table.setFiles(library, {library->fileChildren()[0], library->fileChildren()[1]});

    QSignalSpy inserted(&table, &QAbstractItemModel::rowsInserted);
    QSignalSpy resets(&table, &QAbstractItemModel::modelReset);
    tree.addTreeNode(record("HomeDomain", "Library/b.db"));
    table.updateFiles(library->fileChildren());
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(table.rowCount(), 4);
    table.updateFiles(library->fileChildren());
    EXPECT_EQ(inserted.count(), 1) << "nothing new";
    // Rows that went away: the table starts over.
    table.updateFiles({library->fileChildren()[3]});
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(table.rowCount(), 1);

    QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);
    PRTreeController::tickFiles({table.fileAt(0)}, table.fileAt(0), true);
    table.ticksChanged();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(cell(0, BackupFileTableModel::kTickColumn, Qt::DecorationRole).toString(),
              QStringLiteral("selected"));
    EXPECT_EQ(table.fileAt(1), nullptr);
    EXPECT_EQ(table.fileAt(-1), nullptr);
}
