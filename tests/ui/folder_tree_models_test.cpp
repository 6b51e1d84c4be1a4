#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QIcon>
#include <QImage>
#include <QSignalSpy>
#include <QStringList>

#include <memory>
#include <random>

#include "../app/app_test_support.h"
#include "tree_test_support.h"
#include "ui/core/pr_app_tree_controller.h"
#include "ui/core/pr_system_lib_tree_controller.h"
#include "ui/folder_tree_models.h"

namespace {

using nimbara::test::cleanRecord;
using nimbara::test::walkRecord;
using nimbara::ui::PRCleanEntriesModel;
using nimbara::ui::PRCleanOutlineModel;
using nimbara::ui::PRSystemLibEntriesModel;
using nimbara::ui::PRSystemLibOutlineModel;

// The rows a model shows, one line a row, depth by indentation.
QStringList rows(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex(),
                 int depth = 0) {
    QStringList lines;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        lines << QString(depth * 2, QLatin1Char(' ')) + index.data().toString();
        lines += rows(model, index, depth + 1);
    }
    return lines;
}

class FolderTreeModelsTest : public ::testing::Test {
  protected:
    void SetUp() override { nimbara::test::ensureApplication(); }
};

TEST_F(FolderTreeModelsTest, OutlineTakesFoldersAsTheyArriveWithoutResetting) {
    PRSystemLibTreeController tree;
    PRSystemLibOutlineModel outline(&tree.tree());
    QAbstractItemModelTester tester(&outline,
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&outline, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&outline, &QAbstractItemModel::modelReset);

    std::vector<QString> paths;
    for (int app = 0; app < 6; ++app) {
        for (int file = 0; file < 4; ++file) {
            paths.push_back(QStringLiteral("/d%1/s%2/f%3").arg(app % 3).arg(app).arg(file));
        }
        paths.push_back(QStringLiteral("/d%1/s%2").arg(app % 3).arg(app));
    }
    std::shuffle(paths.begin(), paths.end(), std::mt19937(7));
    for (const QString& path : paths) {
        tree.addTreeNode(walkRecord(path, QStringLiteral("1 KB")));
    }
    EXPECT_EQ(reset.count(), 0);
    // One insertion per folder: System, three d folders, six s folders.
    EXPECT_EQ(inserted.count(), 10);
    EXPECT_EQ(rows(outline), (QStringList{"System", "  d0", "    s0", "    s3", "  d1", "    s1",
                                          "    s4", "  d2", "    s2", "    s5"}));

    const QModelIndex d1 = outline.index(1, 0, outline.index(0, 0));
    const auto folder = outline.folderAt(d1);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->fileDirName(), QStringLiteral("d1"));
    EXPECT_EQ(outline.indexOf(folder.get()), d1);
    EXPECT_EQ(outline.parent(d1), outline.index(0, 0));
    EXPECT_EQ(outline.data(d1, nimbara::ui::kIconNameRole).toString(), QStringLiteral("folder"));
    EXPECT_EQ(outline.headerData(0, Qt::Horizontal, Qt::UserRole).toString(),
              QStringLiteral("fileDirName"));
}

TEST_F(FolderTreeModelsTest, OutlineKeepsAPersistentRowWhenFoldersAreInsertedBeforeIt) {
    PRSystemLibTreeController tree;
    PRSystemLibOutlineModel outline(&tree.tree());
    tree.addTreeNode(walkRecord(QStringLiteral("/m/x"), QStringLiteral("1 KB")));
    const QPersistentModelIndex m = outline.index(0, 0, outline.index(0, 0));
    ASSERT_EQ(m.data().toString(), QStringLiteral("m"));
    tree.addTreeNode(walkRecord(QStringLiteral("/a/x"), QStringLiteral("1 KB")));
    EXPECT_EQ(m.row(), 1);
    EXPECT_EQ(m.data().toString(), QStringLiteral("m"));
}

TEST_F(FolderTreeModelsTest, EntriesFollowTheShownFolderOnly) {
    PRAppTreeController tree;
    PRCleanEntriesModel entries(&tree.cleanTree());
    QAbstractItemModelTester tester(&entries,
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    tree.addTreeNode(cleanRecord(QStringLiteral("A"), QStringLiteral("a"), "/tmp/one", 5), true);
    const auto tmp = tree.cleanContent().front()->children().front();
    entries.setFolder(tmp);
    ASSERT_EQ(entries.rowCount(), 1);
    EXPECT_EQ(entries.index(0, PRCleanEntriesModel::kNameColumn).data().toString(),
              QStringLiteral("one"));
    EXPECT_EQ(entries.index(0, PRCleanEntriesModel::kSizeColumn).data().toString(),
              QStringLiteral("5 B"));
    EXPECT_EQ(entries.index(0, PRCleanEntriesModel::kPathColumn).data().toString(),
              QStringLiteral("/tmp/one"));
    EXPECT_EQ(entries.index(0, 0).data(nimbara::ui::kSizeBytesRole).toULongLong(), 5u);

    QSignalSpy inserted(&entries, &QAbstractItemModel::rowsInserted);
    tree.addTreeNode(cleanRecord(QStringLiteral("A"), QStringLiteral("a"), "/tmp/two", 7), true);
    tree.addTreeNode(cleanRecord(QStringLiteral("A"), QStringLiteral("a"), "/Library/Caches/c"),
                     true);
    EXPECT_EQ(inserted.count(), 1);
    ASSERT_EQ(entries.rowCount(), 2);
    EXPECT_EQ(entries.entryAt(1)->fileName(), QStringLiteral("two"));

    EXPECT_TRUE(entries.removeEntry(entries.entryAt(0)));
    EXPECT_FALSE(entries.removeEntry(nullptr));
    ASSERT_EQ(entries.rowCount(), 1);
    EXPECT_EQ(entries.entryAt(0)->fileName(), QStringLiteral("two"));
    EXPECT_EQ(entries.entryAt(5), nullptr);

    tree.clear();
    EXPECT_EQ(entries.rowCount(), 0);
    EXPECT_EQ(entries.folder(), nullptr);
}

TEST_F(FolderTreeModelsTest, ModelsOutlivingTheirTreeShowNothing) {
    auto tree = std::make_unique<PRAppTreeController>();
    PRCleanOutlineModel outline(&tree->cleanTree());
    PRCleanEntriesModel entries(&tree->cleanTree());
    tree->addTreeNode(cleanRecord(QStringLiteral("A"), QStringLiteral("a"), "/tmp/one"), true);
    entries.setFolder(tree->cleanContent().front()->children().front());
    ASSERT_EQ(outline.rowCount(), 1);
    tree.reset();
    EXPECT_EQ(outline.rowCount(), 0);
    EXPECT_EQ(outline.tree(), nullptr);
    EXPECT_EQ(entries.rowCount(), 0);
}

TEST_F(FolderTreeModelsTest, AppFoldersShowTheAppPictureAndClearResets) {
    PRAppTreeController tree;
    PRCleanOutlineModel outline(&tree.cleanTree());
    QImage picture(8, 8, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    auto record = cleanRecord(QStringLiteral("A"), QStringLiteral("a"), "/tmp/one");
    record->setAppIcon(png);
    tree.addTreeNode(record, true);
    const QIcon icon = outline.index(0, 0).data(Qt::DecorationRole).value<QIcon>();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(8, 8).toImage().pixelColor(4, 4), QColor(Qt::red));

    QSignalSpy reset(&outline, &QAbstractItemModel::modelReset);
    tree.clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(outline.rowCount(), 0);
}

}  // namespace
