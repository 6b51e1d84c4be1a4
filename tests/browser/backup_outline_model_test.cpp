#include "browser/backup_outline_model.h"

#include "backup/backup_file_tree.h"
#include "outline_rows.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStringList>

#include <algorithm>
#include <random>

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

// The whole tree a model shows, one line a row: depth, name and size.
QStringList dump(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex(),
                 int depth = 0) {
    QStringList lines;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex name = model.index(row, 0, parent);
        lines << QStringLiteral("%1%2 [%3]")
                     .arg(QString(depth, QLatin1Char(' ')), name.data().toString(),
                          model.index(row, 1, parent).data().toString());
        lines += dump(model, name, depth + 1);
    }
    return lines;
}

using nimbara::test::find;
using nimbara::test::names;

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

TEST(BackupOutlineModelBatchTest, RowsArriveInBatchesAsInsertsNeverAsAReset) {
    nimbara::test::TempDir dir;
    nimbara::test::writeText(dir / "stored", "123");
    const QString stored = QString::fromStdString((dir / "stored").string());
    // Records as made by hand (the outline looks their stored files up and makes their file
    // nodes at once), and as a backup's reader makes them (they know whether their files are
    // there, and the outline keeps them as records: no row shown makes a file node).
    for (const bool known : {false, true}) {
        SCOPED_TRACE(known ? "records that know their stored files" : "records made by hand");
        auto record = [known](const QString& domain, const QString& path,
                              const QString& stored = QString()) {
            auto r = ::record(domain, path, stored);
            if (known) {
                r->setStoredFile(!stored.isEmpty(), 3);
            }
            return r;
        };
        // Records of three domains in folders of several depths, in shuffled order; some stored,
        // some folders' own entries, some of those listed before anything inside them.
        std::vector<std::shared_ptr<PRTreeDirNode>> records;
        const QString domains[] = {QStringLiteral("HomeDomain"), QStringLiteral("CameraRollDomain"),
                                   QStringLiteral("AppDomain-com.example.app")};
        for (int i = 0; i < 600; ++i) {
            const QString folder = QStringLiteral("L%1/M%2").arg(i % 7).arg(i % 13);
            const QString path =
                i % 5 == 0 ? QStringLiteral("%1/f%2.jpg").arg(folder).arg(i)
                           : QStringLiteral("%1/N%2/f%3.dat").arg(folder).arg(i % 4).arg(i);
            records.push_back(record(domains[i % 3], path, i % 3 == 0 ? stored : QString()));
        }
        for (int i = 0; i < 40; ++i) {
            // "L1/M1/N2" and the like: a folder's own entry, without a stored file.
            records.push_back(record(
                domains[i % 3], QStringLiteral("L%1/M%2/N%3").arg(i % 7).arg(i % 13).arg(i % 4)));
            auto folder = record(domains[i % 3], QStringLiteral("L%1/M%2").arg(i % 7).arg(i % 13));
            folder->setEntryKind(PRTreeDirNode::EntryKind::Folder);
            records.push_back(folder);
        }
        std::mt19937 random(7);
        std::shuffle(records.begin(), records.end(), random);

        PRTreeController tree;
        tree.setDeviceName(QStringLiteral("Phone"));
        BackupOutlineModel model(&tree);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        const QModelIndex none;
        int batches = 0;
        int lastFiles = 0;
        for (std::size_t at = 0; at < records.size(); at += 37) {
            const std::size_t end = std::min(records.size(), at + 37);
            for (std::size_t i = at; i < end; ++i) {
                tree.addTreeNode(records[i]);
            }
            model.update();
            ++batches;
            // The same rows as a model that copies the outline whole, reached through inserts.
            const BackupOutlineModel fresh(&tree);
            ASSERT_EQ(dump(model), dump(fresh)) << "after batch " << batches;
            EXPECT_EQ(model.fileCount(), fresh.fileCount());
            EXPECT_GE(model.fileCount() + 40, lastFiles) << "rows only ever come";
            lastFiles = model.fileCount();
            int seen = 0;
            expectConsistent(model, none, seen);
        }
        EXPECT_EQ(resets.count(), 0);
        EXPECT_GE(inserted.count(), batches);
        // An own entry listed before its folder showed as a file until the folder came.
        EXPECT_GT(removed.count(), 0);
        // Nothing new: nothing signalled.
        const auto signalled = inserted.count() + removed.count();
        model.update();
        EXPECT_EQ(inserted.count() + removed.count(), signalled);

        // The open folders and the current row of a view stay where they were while rows come.
        const QModelIndex phone = model.index(0, 0);
        const QPersistentModelIndex home =
            find(model, {QStringLiteral("Phone"), QStringLiteral("HomeDomain")});
        ASSERT_TRUE(home.isValid());
        tree.addTreeNode(record(QStringLiteral("AAA-first"), QStringLiteral("a/b")));
        tree.addTreeNode(record(QStringLiteral("HomeDomain"), QStringLiteral("A0/new")));
        model.update();
        EXPECT_EQ(home.data().toString(), QStringLiteral("HomeDomain"));
        EXPECT_EQ(model.parent(home), phone);
        EXPECT_EQ(names(model, phone).first(), QStringLiteral("AAA-first"));
        EXPECT_EQ(names(model, home).first(), QStringLiteral("A0"));
        EXPECT_EQ(resets.count(), 0);
        if (known) {
            std::vector<std::shared_ptr<PRTreeDirNode>> pending = tree.content();
            while (!pending.empty()) {
                const auto folder = pending.back();
                pending.pop_back();
                EXPECT_TRUE(folder->fileCount() == 0 || !folder->fileNodesMade())
                    << folder->fileName().toStdString();
                pending.insert(pending.end(), folder->children().begin(), folder->children().end());
            }
        }
    }
}
