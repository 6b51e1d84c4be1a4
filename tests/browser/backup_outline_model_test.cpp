#include "browser/backup_outline_model.h"

#include "backup/backup_file_tree.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

using nimbara::browser::BackupOutlineModel;

std::shared_ptr<PRTreeDirNode> record(const QString& domain, const QString& path,
                                      const QString& stored = QString()) {
    auto r = std::make_shared<PRTreeDirNode>();
    r->setFileDomain(domain);
    r->setFilePath(path);
    r->setFileKey(stored);
    return r;
}

QStringList names(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex()) {
    QStringList out;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        out << model.index(row, 0, parent).data().toString();
    }
    return out;
}

// Follows a path of names from the top; an invalid index when a name is missing.
QModelIndex find(const QAbstractItemModel& model, const QStringList& path) {
    QModelIndex at;
    for (const QString& name : path) {
        const int row = static_cast<int>(names(model, at).indexOf(name));
        if (row < 0) {
            return QModelIndex();
        }
        at = model.index(row, 0, at);
    }
    return at;
}

// Every index leads back to its parent and position; only the first column has children.
void expectConsistent(const QAbstractItemModel& model, const QModelIndex& parent, int& seen) {
    const int rows = model.rowCount(parent);
    EXPECT_FALSE(model.index(rows, 0, parent).isValid());
    EXPECT_FALSE(model.index(0, model.columnCount(parent), parent).isValid());
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < model.columnCount(parent); ++column) {
            const QModelIndex child = model.index(row, column, parent);
            ASSERT_TRUE(child.isValid());
            EXPECT_EQ(child.row(), row);
            EXPECT_EQ(child.column(), column);
            EXPECT_EQ(model.parent(child), parent);
            EXPECT_EQ(model.index(row, column, model.parent(child)), child);
            if (column > 0) {
                EXPECT_EQ(model.rowCount(child), 0);
            }
        }
        ++seen;
        expectConsistent(model, model.index(row, 0, parent), seen);
    }
}

class BackupOutlineModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        nimbara::test::writeText(dir / "stored", "12345");
        tree.setDeviceName("Phone");
        tree.addTreeNode(record("HomeDomain", "Library/Notes/z.db"));
        tree.addTreeNode(record("HomeDomain", "Library/Notes/a.db",
                                QString::fromStdString((dir / "stored").string())));
        tree.addTreeNode(record("HomeDomain", "Library/b.plist"));
        tree.addTreeNode(record("HomeDomain", "Library/A/x"));
        tree.addTreeNode(record("HomeDomain", "top"));
        tree.addTreeNode(record("CameraRollDomain", "Media/z"));
    }

    nimbara::test::TempDir dir;
    PRTreeController tree;
};

}  // namespace

TEST_F(BackupOutlineModelTest, ShowsFoldersBeforeFilesUnderTheDeviceAndDomains) {
    BackupOutlineModel model(&tree);
    EXPECT_EQ(names(model), QStringList({"Phone"}));
    EXPECT_EQ(names(model, find(model, {"Phone"})),
              QStringList({"CameraRollDomain", "HomeDomain"}));
    EXPECT_EQ(names(model, find(model, {"Phone", "HomeDomain"})), QStringList({"Library", "top"}));
    const QModelIndex library = find(model, {"Phone", "HomeDomain", "Library"});
    EXPECT_EQ(names(model, library), QStringList({"A", "Notes", "b.plist"}));
    // files keep their arrival order
    EXPECT_EQ(names(model, find(model, {"Phone", "HomeDomain", "Library", "Notes"})),
              QStringList({"z.db", "a.db"}));
    EXPECT_EQ(model.fileCount(), 6);

    // the rows hand out the nodes they show
    EXPECT_EQ(model.folderAt(library), tree.content()[0]->children()[1]->children()[0]);
    EXPECT_EQ(model.fileAt(library), nullptr);
    const QModelIndex plist = model.index(2, 1, library);
    ASSERT_NE(model.fileAt(plist), nullptr);
    EXPECT_EQ(model.fileAt(plist)->treefileName(), "b.plist");
    EXPECT_EQ(model.folderAt(plist), nullptr);
    EXPECT_TRUE(model.flags(plist).testFlag(Qt::ItemNeverHasChildren));

    int seen = 0;
    expectConsistent(model, QModelIndex(), seen);
    EXPECT_EQ(seen, 6 + 7);  // files and folders (Phone, 2 domains, Media, Library, A, Notes)
}

TEST_F(BackupOutlineModelTest, SizeColumnShowsTheFileSizeTextOnly) {
    BackupOutlineModel model(&tree);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Size");

    const QModelIndex notes = find(model, {"Phone", "HomeDomain", "Library", "Notes"});
    const QModelIndex stored = model.index(1, BackupOutlineModel::kSizeColumn, notes);
    const auto node = model.fileAt(stored);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->realFileSize(), 5u);
    EXPECT_FALSE(node->fileSize().isEmpty());
    EXPECT_EQ(stored.data().toString(), node->fileSize());
    // folders show no size
    EXPECT_EQ(model.index(0, BackupOutlineModel::kSizeColumn).data().toString(), "");
    EXPECT_EQ(notes.siblingAtColumn(1).data().toString(), "");
}

TEST_F(BackupOutlineModelTest, ShowsTheOutlineAsOfTheLastReload) {
    BackupOutlineModel model(&tree);
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    const QModelIndex library = find(model, {"Phone", "HomeDomain", "Library"});

    // a folder inserted before A moves the controller's nodes, not the model's rows
    tree.addTreeNode(record("HomeDomain", "Library/0/new"));
    EXPECT_EQ(names(model, library), QStringList({"A", "Notes", "b.plist"}));
    EXPECT_EQ(model.parent(model.index(0, 0, library)), library);
    EXPECT_EQ(model.fileCount(), 6);

    model.reload();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(names(model, find(model, {"Phone", "HomeDomain", "Library"})),
              QStringList({"0", "A", "Notes", "b.plist"}));
    EXPECT_EQ(model.fileCount(), 7);
    int seen = 0;
    expectConsistent(model, QModelIndex(), seen);
    EXPECT_EQ(seen, 7 + 8);

    model.setController(nullptr);
    EXPECT_EQ(resets, 2);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.fileCount(), 0);
}

TEST(BackupOutlineModelEmptyTest, NoControllerOrNoRecordsGiveNoRows) {
    BackupOutlineModel none;
    EXPECT_EQ(none.rowCount(), 0);
    EXPECT_FALSE(none.index(0, 0).isValid());
    EXPECT_EQ(none.fileCount(), 0);

    PRTreeController empty;
    BackupOutlineModel model(&empty);
    EXPECT_EQ(model.rowCount(), 0);

    // records arriving before the device name is known are not shown
    empty.addTreeNode(record("HomeDomain", "a/b"));
    model.reload();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.fileCount(), 0);
}

TEST_F(BackupOutlineModelTest, AFolderEntryShowsOnlyAsItsFolder) {
    // The list holds "Library/Notes" itself; an empty folder entry and a stored file of the same
    // name as a folder still show.
    tree.addTreeNode(record("HomeDomain", "Library/Notes"));
    tree.addTreeNode(record("HomeDomain", "Library/Empty"));
    tree.addTreeNode(
        record("HomeDomain", "Library/A", QString::fromStdString((dir / "stored").string())));
    BackupOutlineModel model(&tree);
    EXPECT_EQ(names(model, find(model, {"Phone", "HomeDomain", "Library"})),
              QStringList({"A", "Notes", "b.plist", "Empty", "A"}));
    EXPECT_EQ(model.fileCount(), 6 + 2);
}
