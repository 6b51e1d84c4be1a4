#include "backup/backup_file_tree.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <functional>
#include <string>
#include <vector>

namespace {

using DirNode = std::shared_ptr<PRTreeDirNode>;

DirNode record(const QString& domain, const QString& path, const QString& stored = QString()) {
    auto r = std::make_shared<PRTreeDirNode>();
    r->setFileDomain(domain);
    r->setFilePath(path);
    r->setFileKey(stored);
    return r;
}

QStringList names(const std::vector<DirNode>& level) {
    QStringList out;
    for (const auto& folder : level) {
        out << folder->fileName();
    }
    return out;
}

QStringList fileNames(const DirNode& folder) {
    QStringList out;
    for (const auto& file : folder->fileChildren()) {
        out << file->treefileName();
    }
    return out;
}

// device folder -> domain folder
DirNode domainFolder(const PRTreeController& tree, int index = 0) {
    return tree.content().at(0)->children().at(index);
}

}  // namespace

TEST(BackupFileTreeTest, FilesLandInTheFolderOfTheirPath) {
    nimbara::test::TempDir dir;
    nimbara::test::writeText(dir / "stored", "12345");
    PRTreeController tree;
    int reloads = 0;
    tree.setReloadCallback([&] { ++reloads; });
    tree.setDeviceName("Phone");

    tree.addTreeNode(record("HomeDomain", "a/b", QString::fromStdString((dir / "stored").string())),
                     true);
    tree.addTreeNode(record("HomeDomain", "a/c"));
    ASSERT_EQ(tree.content().size(), 1u);
    EXPECT_EQ(tree.content()[0]->fileName(), "Phone");
    const DirNode home = domainFolder(tree);
    EXPECT_EQ(home->fileName(), "HomeDomain");
    ASSERT_EQ(home->children().size(), 1u);
    const DirNode a = home->children()[0];
    EXPECT_EQ(fileNames(a), QStringList({"b", "c"}));
    EXPECT_TRUE(a->isLeaf());
    EXPECT_EQ(reloads, 1);  // only the folder that got its first file at creation
    EXPECT_EQ(tree.fileDirArray().size(), 1u);

    const auto& b = a->fileChildren()[0];
    EXPECT_TRUE(b->isFile());
    EXPECT_EQ(b->realFileSize(), 5u);
    EXPECT_EQ(b->dirFilePath(), "HomeDomain/a/b");
    EXPECT_EQ(b->parent(), a);
    EXPECT_FALSE(a->fileChildren()[1]->isFile());
    EXPECT_EQ(a->parent(), home);

    // a deeper record turns a into a folder with a sub-folder
    tree.addTreeNode(record("HomeDomain", "a/d/e.jpeg"));
    EXPECT_FALSE(a->isLeaf());
    ASSERT_EQ(a->children().size(), 1u);
    EXPECT_EQ(a->children()[0]->fileName(), "d");
    EXPECT_EQ(fileNames(a->children()[0]), QStringList({"e.jpeg"}));
    EXPECT_EQ(a->children()[0]->fileChildren()[0]->treefileType(), "jpeg");

    // a single name is a file of the domain folder; its type is the whole name
    tree.addTreeNode(record("HomeDomain", "Library"));
    EXPECT_EQ(fileNames(home), QStringList({"Library"}));
    EXPECT_EQ(home->fileChildren()[0]->treefileType(), "Library");
}

TEST(BackupFileTreeTest, LevelsAreSortedWhateverTheArrivalOrder) {
    const QStringList paths = {"m/1", "c/2", "x/3", "a/4", "c/5"};
    PRTreeController forward;
    PRTreeController backward;
    forward.setDeviceName("D");
    backward.setDeviceName("D");
    for (int i = 0; i < paths.size(); ++i) {
        forward.addTreeNode(record("Dom", paths[i]));
        backward.addTreeNode(record("Dom", paths[paths.size() - 1 - i]));
    }
    EXPECT_EQ(names(domainFolder(forward)->children()), QStringList({"a", "c", "m", "x"}));
    EXPECT_EQ(names(domainFolder(backward)->children()), QStringList({"a", "c", "m", "x"}));
    // files keep their arrival order
    EXPECT_EQ(fileNames(domainFolder(forward)->children()[1]), QStringList({"2", "5"}));
    EXPECT_EQ(fileNames(domainFolder(backward)->children()[1]), QStringList({"5", "2"}));

    forward.addTreeNode(record("Alpha", "z/1"));
    EXPECT_EQ(names(forward.content()[0]->children()), QStringList({"Alpha", "Dom"}));
}

TEST(BackupFileTreeTest, NamesDotsAndMissingDevice) {
    PRTreeController noDevice;
    noDevice.addTreeNode(record("HomeDomain", "a/b"));
    EXPECT_TRUE(noDevice.content().empty());

    PRTreeController tree;
    tree.setDeviceName("D");
    tree.addTreeNode(record("HomeDomain", "Library/.hidden/x"));
    const DirNode library = domainFolder(tree)->children()[0];
    EXPECT_EQ(library->fileName(), "Library");
    EXPECT_EQ(library->children()[0]->fileName(), "hidden");

    using C = PRTreeController;
    const QChar s('/');
    EXPECT_EQ(C::SubstringToCh("a/b/c", s), QString("a"));
    EXPECT_EQ(C::SubstringFromCh("a/b/c", s), QString("b/c"));
    EXPECT_EQ(C::SubstringToCh("/a", s), QString(""));
    EXPECT_EQ(C::SubstringFromCh("/a", s), QString("a"));
    EXPECT_FALSE(C::SubstringToCh("abc", s));
    EXPECT_FALSE(C::SubstringToCh("", s));
    EXPECT_FALSE(C::SubstringFromCh("abc/", s));
    EXPECT_FALSE(C::SubstringFromCh("", s));

    // a trailing slash or empty components never hang or crash the walk
    tree.addTreeNode(record("HomeDomain", "odd/"));
    tree.addTreeNode(record("HomeDomain", "odd//x"));
    SUCCEED();
}

TEST(BackupFileTreeTest, ThreeStateSelection) {
    PRTreeController tree;
    tree.setDeviceName("D");
    tree.addTreeNode(record("HomeDomain", "a/1"));
    tree.addTreeNode(record("HomeDomain", "a/2"));
    tree.addTreeNode(record("HomeDomain", "b/3"));
    const DirNode device = tree.content()[0];
    const DirNode home = domainFolder(tree);
    const DirNode a = home->children()[0];
    const DirNode b = home->children()[1];
    EXPECT_EQ(a->isSelected(), PRTreeDirNode::kUnselected);
    EXPECT_EQ(a->nodeIcon(), "unselected");

    PRTreeController::setFolderChecked(home, true);
    EXPECT_EQ(device->isSelected(), PRTreeDirNode::kSelected);
    EXPECT_EQ(a->isSelected(), PRTreeDirNode::kSelected);
    EXPECT_EQ(a->nodeIcon(), "selected");
    EXPECT_TRUE(b->fileChildren()[0]->bSelected());

    PRTreeController::setFileChecked(a->fileChildren()[1], false);
    EXPECT_EQ(a->isSelected(), PRTreeDirNode::kSelectedSome);
    EXPECT_EQ(a->nodeIcon(), "selectedSome");
    EXPECT_EQ(home->isSelected(), PRTreeDirNode::kSelectedSome);
    EXPECT_EQ(device->isSelected(), PRTreeDirNode::kSelectedSome);
    EXPECT_EQ(b->isSelected(), PRTreeDirNode::kSelected);

    PRTreeController::setFileChecked(a->fileChildren()[0], false);
    EXPECT_EQ(a->isSelected(), PRTreeDirNode::kUnselected);
    EXPECT_EQ(home->isSelected(), PRTreeDirNode::kSelectedSome);
    PRTreeController::setFolderChecked(a, true);
    EXPECT_EQ(home->isSelected(), PRTreeDirNode::kSelected);

    // new folders and files arriving in a ticked folder leave it partly ticked
    tree.addTreeNode(record("HomeDomain", "a/new/4"));
    EXPECT_EQ(a->isSelected(), PRTreeDirNode::kSelectedSome);
    EXPECT_EQ(home->isSelected(), PRTreeDirNode::kSelectedSome);
    EXPECT_EQ(b->isSelected(), PRTreeDirNode::kSelected);
    tree.addTreeNode(record("HomeDomain", "b/5"));
    EXPECT_EQ(b->isSelected(), PRTreeDirNode::kSelectedSome);
    EXPECT_FALSE(b->fileChildren()[1]->bSelected());
}

TEST(BackupFileTreeTest, AFoldersOwnEntryIsAFolderNeverAFile) {
    PRTreeController tree;
    int reloads = 0;
    tree.setReloadCallback([&] { ++reloads; });
    tree.setDeviceName("D");
    auto folderRecord = [](const QString& path) {
        DirNode r = record("CameraRollDomain", path);
        r->setEntryKind(PRTreeDirNode::EntryKind::Folder);
        return r;
    };
    // A thumbnail folder named like a picture, listed with nothing inside it.
    tree.addTreeNode(folderRecord("Media/Thumbs/IMG_0024.PNG"));
    const DirNode roll = domainFolder(tree);
    ASSERT_EQ(names(roll->children()), QStringList({"Media"}));
    const DirNode thumbs = roll->children()[0]->children().at(0);
    EXPECT_EQ(thumbs->fileName(), "Thumbs");
    EXPECT_TRUE(thumbs->fileChildren().empty());
    ASSERT_EQ(names(thumbs->children()), QStringList({"IMG_0024.PNG"}));
    const DirNode picture = thumbs->children()[0];
    EXPECT_TRUE(picture->fileChildren().empty());
    EXPECT_TRUE(picture->isLeaf());
    EXPECT_FALSE(thumbs->isLeaf());
    EXPECT_EQ(reloads, 1);

    // Listed again, or after the files inside it, it is still the one folder.
    tree.addTreeNode(record("CameraRollDomain", "Media/Thumbs/IMG_0024.PNG/5005.JPG"));
    tree.addTreeNode(folderRecord("Media/Thumbs/IMG_0024.PNG"));
    tree.addTreeNode(folderRecord("Media/Thumbs"));
    ASSERT_EQ(thumbs->children().size(), 1u);
    EXPECT_EQ(fileNames(picture), QStringList({"5005.JPG"}));
    EXPECT_TRUE(thumbs->fileChildren().empty());
    EXPECT_EQ(roll->children()[0]->children().size(), 1u);
    // A link or a file of the same shape is still a file.
    DirNode link = record("CameraRollDomain", "Media/Thumbs/IMG_0025.PNG");
    link->setEntryKind(PRTreeDirNode::EntryKind::Link);
    tree.addTreeNode(link);
    EXPECT_EQ(fileNames(thumbs), QStringList({"IMG_0025.PNG"}));
}

namespace {

QString deepPath(int folders) {
    QString path;
    for (int i = 0; i < folders; ++i) {
        path += QStringLiteral("d/");
    }
    return path + QStringLiteral("leaf.jpg");
}

}  // namespace

TEST(BackupFileTreeTest, APathDeeperThanAnyDeviceWritesIsRefusedAndALegalDeepOneIsFiled) {
    PRTreeController tree;
    tree.setDeviceName("D");
    // "d/" 100,000 times: once a minute of work on the GUI thread, now a refusal.
    tree.addTreeNode(record("HomeDomain", deepPath(100'000)));
    tree.addTreeNode(record("HomeDomain", QString(4097, QLatin1Char('x'))));
    EXPECT_EQ(tree.refusedRecords(), 2u);
    EXPECT_TRUE(tree.content().empty());

    // 200 names: 199 folders and the file (and a second file beside it).
    tree.addTreeNode(record("HomeDomain", deepPath(199)));
    QString other = deepPath(199);
    other.replace(QStringLiteral("leaf.jpg"), QStringLiteral("other.jpg"));
    tree.addTreeNode(record("HomeDomain", other));
    EXPECT_EQ(tree.refusedRecords(), 2u);
    DirNode folder = domainFolder(tree);
    int depth = 0;
    while (!folder->children().empty()) {
        folder = folder->children()[0];
        ++depth;
    }
    EXPECT_EQ(depth, 199);
    EXPECT_EQ(fileNames(folder), QStringList({"leaf.jpg", "other.jpg"}));

    // Ticking the device ticks the files at the bottom; unticking one leaves every folder above
    // partly selected.
    PRTreeController::setFolderChecked(tree.content()[0], true);
    EXPECT_TRUE(folder->fileChildren()[0]->bSelected());
    tree.addTreeNode(record("HomeDomain", "top.txt"));
    EXPECT_EQ(tree.content()[0]->isSelected(), PRTreeDirNode::kSelectedSome);
    EXPECT_EQ(domainFolder(tree)->children()[0]->isSelected(), PRTreeDirNode::kSelected);
    PRTreeController::setFileChecked(folder->fileChildren()[0], false);
    for (DirNode up = folder; up; up = up->parent()) {
        EXPECT_EQ(up->isSelected(), PRTreeDirNode::kSelectedSome) << up->fileName().toStdString();
    }
}

TEST(BackupFileTreeTest, TicksAndReleaseWalkAnOutlineOfAnyDepthWithoutRecursion) {
    // Far deeper than the outline ever gets from a backup, and deeper than a recursive walk
    // could go on a thread's stack.
    constexpr int kDepth = 100'000;
    auto top = std::make_shared<PRTreeDirNode>();
    DirNode bottom = top;
    for (int i = 0; i < kDepth; ++i) {
        auto child = std::make_shared<PRTreeDirNode>();
        child->setParent(bottom);
        bottom->children().push_back(child);
        bottom = child;
    }
    auto file = std::make_shared<PRTreeFileNode>();
    file->setParent(bottom);
    bottom->addFileChildren(file);

    PRTreeController::setFolderChecked(top, true);
    EXPECT_TRUE(file->bSelected());
    EXPECT_EQ(bottom->isSelected(), PRTreeDirNode::kSelected);
    PRTreeController::setFileChecked(file, false);
    EXPECT_EQ(top->isSelected(), PRTreeDirNode::kUnselected);
    // Releasing the top releases the whole chain, level by level.
    std::weak_ptr<PRTreeDirNode> last = bottom;
    bottom.reset();
    file.reset();
    top.reset();
    EXPECT_TRUE(last.expired());
}

TEST(BackupFileTreeTest, ARecordKeepsItsPathAndKeyHoweverItWasMadeOrChanged) {
    // A record holds its last name in its place's names (a length, then the bytes): names of
    // any length, records made a block at a time, and a place changed or gone after.
    using Place = PRTreeDirNode::Place;
    auto storedIn = std::make_shared<PRTreeDirNode::StoredFolder>();
    storedIn->prefix = QStringLiteral("/b/");
    storedIn->sharded = true;
    auto notes = std::make_shared<Place>();
    notes->domain = QStringLiteral("HomeDomain");
    notes->folder = "Library/Notes/";
    notes->storedIn = storedIn;
    const std::string key = "0123456789abcdef0123456789abcdef01234567";
    const QString stored = QStringLiteral("/b/01/") + QString::fromStdString(key);
    const std::string longName(300, 'n');
    PRTreeDirNode::RecordBlocks blocks;
    const struct {
        const char* what;
        std::function<DirNode()> make;
        QString domain, path, key;
    } cases[] = {
        {"from a shared place",
         [&] {
             auto r = blocks.make();
             r->setRecord(notes, "a.db", key);
             return r;
         },
         "HomeDomain", "Library/Notes/a.db", stored},
        {"a name longer than one length byte holds",
         [&] {
             auto r = blocks.make();
             r->setRecord(notes, longName, key);
             return r;
         },
         "HomeDomain", "Library/Notes/" + QString::fromStdString(longName), stored},
        {"an empty last name",
         [&] {
             auto r = blocks.make();
             r->setRecord(notes, "", "not a key");
             return r;
         },
         "HomeDomain", "Library/Notes/", ""},
        {"no place",
         [&] {
             auto r = blocks.make();
             r->setRecord(nullptr, "top", key);
             return r;
         },
         "", "top", ""},
        {"its domain changed after (a place of its own, its name moved along)",
         [&] {
             auto place = std::make_shared<Place>(*notes);
             auto r = std::make_shared<PRTreeDirNode>();
             r->setRecord(place, "\xC3\xA9t\xC3\xA9.txt", key);
             place.reset();
             r->setFileDomain(QStringLiteral("Other"));
             return r;
         },
         "Other", QStringLiteral("Library/Notes/\u00e9t\u00e9.txt"), stored},
        {"a folder of the outline too",
         [&] {
             auto r = std::make_shared<PRTreeDirNode>();
             r->setFilePath(QStringLiteral("p/q"));
             r->setFileName(QStringLiteral("Q"));
             r->setFilePath(QStringLiteral("p/r"));
             r->setFileKey(QStringLiteral("/s/k"));
             return r;
         },
         "", "p/r", "/s/k"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const DirNode r = c.make();
        EXPECT_EQ(r->fileDomain(), c.domain);
        EXPECT_EQ(r->filePath(), c.path);
        EXPECT_TRUE(r->hasFilePath(c.path.toStdString()));
        EXPECT_FALSE(r->hasFilePath(c.path.toStdString() + "x"));
        EXPECT_EQ(r->fileKey(), c.key);
    }

    // Thousands of records of many places from blocks, the places and the maker gone: each
    // keeps its own.
    std::vector<DirNode> records;
    {
        PRTreeDirNode::RecordBlocks many;
        std::shared_ptr<Place> place;
        for (int i = 0; i < 3000; ++i) {
            if (i % 7 == 0) {
                place = std::make_shared<Place>();
                place->folder = "F" + std::to_string(i / 7) + "/";
                place->storedIn = storedIn;
            }
            records.push_back(many.make());
            records.back()->setRecord(place, "f" + std::to_string(i), key);
            records.back()->setStoredFile(i % 2 == 0, static_cast<std::uint64_t>(i));
        }
    }
    for (int i = 0; i < 3000; ++i) {
        EXPECT_EQ(records[static_cast<std::size_t>(i)]->filePathUtf8(),
                  "F" + std::to_string(i / 7) + "/f" + std::to_string(i));
        EXPECT_EQ(records[static_cast<std::size_t>(i)]->storedSize(),
                  static_cast<std::uint64_t>(i % 2 == 0 ? i : 0));
    }
}
