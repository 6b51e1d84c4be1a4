// Ticks of the backup file outline: how they spread down from a folder and up to the folders
// above, and the count of ticked files the folders keep.
#include "backup/backup_file_tree.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <functional>
#include <random>
#include <string>
#include <utility>

namespace {

using DirNode = std::shared_ptr<PRTreeDirNode>;
using FileNode = std::shared_ptr<PRTreeFileNode>;
constexpr int kOff = PRTreeDirNode::kUnselected;
constexpr int kOn = PRTreeDirNode::kSelected;
constexpr int kSome = PRTreeDirNode::kSelectedSome;

// A record whose stored file the backup holds (or, with `stored` false, only lists).
DirNode record(const QString& domain, const QString& path, bool stored = true) {
    auto r = std::make_shared<PRTreeDirNode>();
    r->setFileDomain(domain);
    r->setFilePath(path);
    r->setStoredFile(stored, stored ? 10 : 0);
    return r;
}

// A folder's own entry in the file list.
DirNode folderEntry(const QString& domain, const QString& path) {
    auto r = record(domain, path, false);
    r->setEntryKind(PRTreeDirNode::EntryKind::Folder);
    return r;
}

// Follows names from the device folder down; null when one is missing.
DirNode folderAt(const PRTreeController& tree, const QStringList& path) {
    DirNode at = tree.content().empty() ? nullptr : tree.content().front();
    for (const QString& name : path) {
        DirNode next;
        for (const auto& child : at ? at->children() : std::vector<DirNode>()) {
            if (child->fileName() == name) {
                next = child;
            }
        }
        at = next;
    }
    return at;
}

FileNode fileNamed(const DirNode& folder, const QString& name) {
    for (const auto& file : folder->fileChildren()) {
        if (file->treefileName() == name) {
            return file;
        }
    }
    return nullptr;
}

// Ticked stored files below `folder`, counted the long way.
std::uint64_t countByWalking(const DirNode& folder) {
    std::uint64_t ticked = 0;
    for (const auto& file : folder->fileChildren()) {
        ticked += file->bSelected() && file->isFile() ? 1 : 0;
    }
    for (const auto& child : folder->children()) {
        ticked += countByWalking(child);
    }
    return ticked;
}

// Checks every folder below `folder` against its contents: ticked when all of them are,
// unticked when none is, partly ticked otherwise (an empty folder may have any state), and its
// kept count against the walked one. Returns the folder's walked count.
std::uint64_t expectConsistent(const DirNode& folder, const std::string& where) {
    bool any = false;
    bool all = true;
    bool empty = true;
    std::uint64_t ticked = 0;
    for (const auto& file : folder->fileChildren()) {
        empty = false;
        any = any || file->bSelected();
        all = all && file->bSelected();
        ticked += file->bSelected() && file->isFile() ? 1 : 0;
    }
    for (const auto& child : folder->children()) {
        empty = false;
        ticked += expectConsistent(child, where);
        any = any || child->isSelected() != kOff;
        all = all && child->isSelected() == kOn;
    }
    if (!empty) {
        const int wanted = all ? kOn : (any ? kSome : kOff);
        EXPECT_EQ(folder->isSelected(), wanted) << folder->fileName().toStdString() << where;
    }
    EXPECT_EQ(folder->tickedFileCount(), ticked) << folder->fileName().toStdString() << where;
    return ticked;
}

std::uint64_t expectConsistent(const PRTreeController& tree, const std::string& where) {
    std::uint64_t ticked = 0;
    for (const auto& top : tree.content()) {
        ticked += expectConsistent(top, where);
    }
    EXPECT_EQ(tree.getTreeSelectedItemNum(), ticked) << where;
    return ticked;
}

class OutlineTicksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tree.setDeviceName(QStringLiteral("Phone"));
        for (const char* path : {"Media/DCIM/100APPLE/IMG_1.JPG", "Media/DCIM/100APPLE/IMG_2.JPG",
                                 "Media/DCIM/101APPLE/IMG_3.JPG", "Media/DCIM/101APPLE/IMG_4.JPG",
                                 "Media/notes.txt"}) {
            tree.addTreeNode(record(QStringLiteral("CameraRollDomain"), path));
        }
        tree.addTreeNode(record(QStringLiteral("HomeDomain"), QStringLiteral("Library/a.db")));
        device = tree.content().front();
        camera = folderAt(tree, {"CameraRollDomain"});
        media = folderAt(tree, {"CameraRollDomain", "Media"});
        dcim = folderAt(tree, {"CameraRollDomain", "Media", "DCIM"});
        apple100 = folderAt(tree, {"CameraRollDomain", "Media", "DCIM", "100APPLE"});
        apple101 = folderAt(tree, {"CameraRollDomain", "Media", "DCIM", "101APPLE"});
        ASSERT_TRUE(apple100 && apple101 && media);
    }

    PRTreeController tree;
    DirNode device, camera, media, dcim, apple100, apple101;
};

TEST_F(OutlineTicksTest, AClickTicksAnUntickedOrPartlyTickedFolderAndUnticksATickedOne) {
    EXPECT_EQ(PRTreeController::NewStateAfterChangeState(kOff), kOn);
    EXPECT_EQ(PRTreeController::NewStateAfterChangeState(kSome), kOn);
    EXPECT_EQ(PRTreeController::NewStateAfterChangeState(kOn), kOff);

    // Down: every folder and file below, recursively.
    EXPECT_EQ(PRTreeController::toggleFolderTick(media), kOn);
    for (const DirNode& folder : {media, dcim, apple100, apple101}) {
        EXPECT_EQ(folder->isSelected(), kOn);
        EXPECT_EQ(folder->nodeIcon(), QStringLiteral("selected"));
        for (const auto& file : folder->fileChildren()) {
            EXPECT_TRUE(file->bSelected());
        }
    }
    // Up: the domain holds only Media, so it is ticked; the device also holds HomeDomain.
    EXPECT_EQ(camera->isSelected(), kOn);
    EXPECT_EQ(device->isSelected(), kSome);
    EXPECT_EQ(device->nodeIcon(), QStringLiteral("selectedSome"));
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 5u);
    expectConsistent(tree, " after ticking Media");

    // Unticking a ticked folder unticks everything in it.
    EXPECT_EQ(PRTreeController::toggleFolderTick(media), kOff);
    for (const DirNode& folder : {device, camera, media, dcim, apple100, apple101}) {
        EXPECT_EQ(folder->isSelected(), kOff);
        EXPECT_EQ(folder->nodeIcon(), QStringLiteral("unselected"));
    }
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 0u);

    // A partly ticked folder is ticked whole by a click.
    PRTreeController::tickFiles({fileNamed(apple100, "IMG_1.JPG")},
                                fileNamed(apple100, "IMG_1.JPG"), true);
    ASSERT_EQ(dcim->isSelected(), kSome);
    EXPECT_EQ(PRTreeController::toggleFolderTick(dcim), kOn);
    EXPECT_EQ(apple100->isSelected(), kOn);
    EXPECT_EQ(apple101->isSelected(), kOn);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 4u);
    expectConsistent(tree, " after ticking a partly ticked folder");
}

TEST_F(OutlineTicksTest, FileTicksMakeTheirFolderPartlyTickedThenTicked) {
    const FileNode first = fileNamed(apple100, "IMG_1.JPG");
    const FileNode second = fileNamed(apple100, "IMG_2.JPG");
    PRTreeController::tickFiles({first}, first, true);
    EXPECT_EQ(apple100->isSelected(), kSome);
    EXPECT_EQ(dcim->isSelected(), kSome) << "a partly ticked sub-folder makes its folder partly";
    EXPECT_EQ(device->isSelected(), kSome);
    PRTreeController::tickFiles({second}, second, true);
    EXPECT_EQ(apple100->isSelected(), kOn);
    EXPECT_EQ(apple100->nodeIcon(), QStringLiteral("selected"));
    EXPECT_EQ(dcim->isSelected(), kSome) << "101APPLE is not ticked";
    // The other sub-folder partly ticked: its folder stays partly ticked though 100APPLE is
    // ticked whole.
    const FileNode third = fileNamed(apple101, "IMG_3.JPG");
    PRTreeController::tickFiles({third}, third, true);
    EXPECT_EQ(dcim->isSelected(), kSome);
    const FileNode fourth = fileNamed(apple101, "IMG_4.JPG");
    PRTreeController::tickFiles({fourth}, fourth, true);
    EXPECT_EQ(dcim->isSelected(), kOn);
    EXPECT_EQ(media->isSelected(), kSome) << "notes.txt is not ticked";
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 4u);
    EXPECT_EQ(PRTreeController::getNumSelectedItem(dcim, 3), 7u);
    // Unticking one of two ticked files leaves the folder partly ticked again.
    PRTreeController::tickFiles({first}, first, false);
    EXPECT_EQ(apple100->isSelected(), kSome);
    EXPECT_EQ(dcim->isSelected(), kSome);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 3u);
    expectConsistent(tree, "");
}

TEST_F(OutlineTicksTest, ATickOverSeveralFilesFollowsEachOfTheirFolders) {
    // Files of two folders in one go (the clicked one among them): both folders follow.
    const FileNode one = fileNamed(apple100, "IMG_1.JPG");
    const FileNode two = fileNamed(apple100, "IMG_2.JPG");
    const FileNode three = fileNamed(apple101, "IMG_3.JPG");
    PRTreeController::tickFiles({one, two, three}, two, true);
    EXPECT_EQ(apple100->isSelected(), kOn);
    EXPECT_EQ(apple101->isSelected(), kSome);
    EXPECT_EQ(dcim->isSelected(), kSome);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 3u);
    // Ticking files already ticked changes no count.
    PRTreeController::tickFiles({one, two}, one, true);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 3u);
    PRTreeController::tickFiles({one, two, three}, three, false);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 0u);
    EXPECT_EQ(device->isSelected(), kOff);
    expectConsistent(tree, "");
}

TEST_F(OutlineTicksTest, OnlyTickedFilesTheBackupHoldsAreCounted) {
    // A listed file the backup does not hold, and a folder's own entry: neither can be
    // exported, so neither is counted, though a ticked folder ticks the listed file.
    tree.addTreeNode(record("CameraRollDomain", "Media/DCIM/100APPLE/IMG_9.JPG", false));
    tree.addTreeNode(folderEntry("CameraRollDomain", "Media/DCIM/102APPLE"));
    const DirNode apple102 = folderAt(tree, {"CameraRollDomain", "Media", "DCIM", "102APPLE"});
    ASSERT_TRUE(apple102);
    EXPECT_TRUE(apple102->fileChildren().empty()) << "a folder's entry is no file";
    PRTreeController::toggleFolderTick(device);
    EXPECT_TRUE(fileNamed(apple100, "IMG_9.JPG")->bSelected());
    EXPECT_EQ(apple102->isSelected(), kOn);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 6u);
    EXPECT_EQ(apple100->tickedFileCount(), 2u);
    expectConsistent(tree, "");
}

TEST_F(OutlineTicksTest, EntriesArrivingAfterATickLeaveTheFoldersTrueToTheirContents) {
    PRTreeController::toggleFolderTick(dcim);
    ASSERT_EQ(tree.getTreeSelectedItemNum(), 4u);
    // A new file in a ticked folder: the folder and the ticked folders above are partly ticked.
    tree.addTreeNode(record("CameraRollDomain", "Media/DCIM/100APPLE/IMG_5.JPG"));
    EXPECT_EQ(apple100->isSelected(), kSome);
    EXPECT_EQ(dcim->isSelected(), kSome);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 4u);
    PRTreeController::tickFiles({fileNamed(apple100, "IMG_5.JPG")},
                                fileNamed(apple100, "IMG_5.JPG"), true);
    EXPECT_EQ(apple100->isSelected(), kOn);
    EXPECT_EQ(dcim->isSelected(), kOn);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 5u);

    // A ticked empty folder that then receives a file holds nothing ticked: it is unticked,
    // never partly ticked (and never ticked, which would export what was not chosen).
    tree.addTreeNode(folderEntry("HomeDomain", "Documents"));
    const DirNode documents = folderAt(tree, {"HomeDomain", "Documents"});
    ASSERT_TRUE(documents);
    PRTreeController::toggleFolderTick(documents);
    const DirNode home = folderAt(tree, {"HomeDomain"});
    EXPECT_EQ(home->isSelected(), kSome);
    tree.addTreeNode(record("HomeDomain", "Documents/report.pdf"));
    EXPECT_EQ(documents->isSelected(), kOff);
    EXPECT_EQ(home->isSelected(), kOff);
    // The same for a new sub-folder of a ticked empty folder.
    PRTreeController::toggleFolderTick(documents);
    tree.addTreeNode(folderEntry("HomeDomain", "Empty"));
    const DirNode empty = folderAt(tree, {"HomeDomain", "Empty"});
    PRTreeController::toggleFolderTick(empty);
    tree.addTreeNode(record("HomeDomain", "Empty/Inner/x.txt"));
    EXPECT_EQ(empty->isSelected(), kOff);
    expectConsistent(tree, "");
}

TEST(OutlineTicksRandomTest, AnyMixOfClicksAndArrivalsKeepsStatesAndCountsExact) {
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Phone"));
    std::mt19937 random(13);
    auto addSome = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const int depth = static_cast<int>(random() % 4);
            QString path;
            for (int d = 0; d < depth; ++d) {
                path += QStringLiteral("d%1/").arg(random() % 3);
            }
            path += QStringLiteral("f%1").arg(random() % 40);
            const QString domain = QStringLiteral("Domain%1").arg(random() % 3);
            if (random() % 11 == 0) {
                tree.addTreeNode(folderEntry(domain, path));
            } else {
                tree.addTreeNode(record(domain, path, random() % 5 != 0));
            }
        }
    };
    addSome(150);
    std::vector<DirNode> folders;
    auto collect = [&] {
        folders.clear();
        std::vector<DirNode> pending(tree.content().begin(), tree.content().end());
        while (!pending.empty()) {
            DirNode folder = pending.back();
            pending.pop_back();
            folders.push_back(folder);
            pending.insert(pending.end(), folder->children().begin(), folder->children().end());
        }
    };
    for (int step = 0; step < 400; ++step) {
        collect();
        const DirNode folder = folders[random() % folders.size()];
        const unsigned what = random() % 10;
        if (what < 4) {
            PRTreeController::toggleFolderTick(folder);
        } else if (what < 9 && !folder->fileChildren().empty()) {
            std::vector<FileNode> chosen;
            for (const auto& file : folder->fileChildren()) {
                if (random() % 2 == 0) {
                    chosen.push_back(file);
                }
            }
            const FileNode clicked =
                folder->fileChildren()[random() % folder->fileChildren().size()];
            chosen.push_back(clicked);
            PRTreeController::tickFiles(chosen, clicked, random() % 3 != 0);
        } else {
            addSome(5);
        }
        expectConsistent(tree, " at step " + std::to_string(step));
        if (HasFailure()) {
            return;
        }
    }
}

TEST(OutlineTicksScaleTest, TickingTheTopOfALargeOutlineAndAFolderOfManyFilesGoesOnce) {
    // As large as real backups get: a walk that looked at every sibling for every file, or
    // counted the whole outline for every file, would not end within the test's time.
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Phone"));
    constexpr int kRollFiles = 60'000;
    for (int i = 0; i < kRollFiles; ++i) {
        tree.addTreeNode(
            record("CameraRollDomain", QStringLiteral("Media/DCIM/IMG_%1.JPG").arg(i)));
    }
    for (int i = 0; i < 140'000; ++i) {
        tree.addTreeNode(record(QStringLiteral("AppDomain-%1").arg(i % 50),
                                QStringLiteral("Library/Caches/c%1/f%2").arg(i % 97).arg(i)));
    }
    const DirNode device = tree.content().front();
    PRTreeController::toggleFolderTick(device);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 200'000u);
    const DirNode roll = folderAt(tree, {"CameraRollDomain", "Media", "DCIM"});
    ASSERT_EQ(roll->fileChildren().size(), static_cast<std::size_t>(kRollFiles));
    // Every row of the camera roll selected and unticked in one click.
    PRTreeController::tickFiles(roll->fileChildren(), roll->fileChildren()[17], false);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 140'000u);
    EXPECT_EQ(roll->isSelected(), kOff);
    EXPECT_EQ(device->isSelected(), kSome);
    PRTreeController::toggleFolderTick(device);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 200'000u);
    EXPECT_EQ(countByWalking(device), 200'000u);
}

}  // namespace

namespace {

// Every folder from the top, as "name state count", each with its files' ticks ("1" ticked,
// "0" not, "-" not stored), read without making any file node.
QStringList ticksOf(const PRTreeController& tree) {
    QStringList lines;
    std::vector<std::pair<DirNode, int>> pending;
    for (auto it = tree.content().rbegin(); it != tree.content().rend(); ++it) {
        pending.emplace_back(*it, 0);
    }
    while (!pending.empty()) {
        const auto [folder, depth] = pending.back();
        pending.pop_back();
        QString files;
        for (std::size_t i = 0; i < folder->fileCount(); ++i) {
            files += folder->fileStoredAt(i) ? (folder->fileTickedAt(i) ? '1' : '0') : '-';
        }
        lines << QStringLiteral("%1%2 %3 %4 %5")
                     .arg(QString(depth, QLatin1Char(' ')), folder->fileName())
                     .arg(folder->isSelected())
                     .arg(folder->tickedFileCount())
                     .arg(files);
        for (auto it = folder->children().rbegin(); it != folder->children().rend(); ++it) {
            pending.emplace_back(*it, depth + 1);
        }
    }
    return lines;
}

// The folders of the outline whose file nodes were made, by name.
QStringList foldersWithNodes(const PRTreeController& tree) {
    QStringList made;
    std::vector<DirNode> pending(tree.content().begin(), tree.content().end());
    while (!pending.empty()) {
        const DirNode folder = pending.back();
        pending.pop_back();
        if (folder->fileCount() > 0 && folder->fileNodesMade()) {
            made << folder->fileName();
        }
        pending.insert(pending.end(), folder->children().begin(), folder->children().end());
    }
    made.sort();
    return made;
}

void addRecords(PRTreeController& tree, const std::vector<std::pair<const char*, bool>>& files) {
    for (const auto& [path, stored] : files) {
        const QString whole = QString::fromLatin1(path);
        tree.addTreeNode(record(whole.section(QLatin1Char('/'), 0, 0),
                                whole.section(QLatin1Char('/'), 1), stored));
    }
}

}  // namespace

TEST(OutlineTicksLazyTest, FoldersWhoseFilesWereNeverAskedForTickAsOpenedOnes) {
    // A folder keeps its files as records until they are asked for. The same clicks over an
    // outline whose folders were never opened and over one whose every folder was give the
    // same states, ticks and counts; only folders whose files were clicked get file nodes.
    const std::vector<std::pair<const char*, bool>> files = {
        {"CameraRollDomain/Media/DCIM/100APPLE/IMG_1.JPG", true},
        {"CameraRollDomain/Media/DCIM/100APPLE/IMG_2.JPG", false},
        {"CameraRollDomain/Media/DCIM/101APPLE/IMG_3.JPG", true},
        {"CameraRollDomain/Media/notes.txt", true},
        {"HomeDomain/Library/a.db", true},
        {"HomeDomain/Library/b.db", true},
        {"HomeDomain/Library/Caches/c.db", false},
    };
    using Click = std::function<void(PRTreeController&)>;
    auto folder = [](const QStringList& path) {
        return [path](PRTreeController& tree) {
            PRTreeController::toggleFolderTick(path.isEmpty() ? tree.content().front()
                                                              : folderAt(tree, path));
        };
    };
    auto file = [](const QStringList& path, const char* name, bool ticked) {
        return [path, name, ticked](PRTreeController& tree) {
            const FileNode clicked = fileNamed(folderAt(tree, path), QString::fromLatin1(name));
            PRTreeController::tickFiles({clicked}, clicked, ticked);
        };
    };
    auto arrive = [](const char* path, bool stored) {
        return [path, stored](PRTreeController& tree) { addRecords(tree, {{path, stored}}); };
    };
    const QStringList library = {"HomeDomain", "Library"};
    const QStringList apple100 = {"CameraRollDomain", "Media", "DCIM", "100APPLE"};
    const struct {
        const char* what;
        std::vector<Click> clicks;
        QStringList opened;  // the folders whose file nodes the clicks make
    } cases[] = {
        {"select all", {folder({})}, {}},
        {"select all, then a domain unticked", {folder({}), folder({"CameraRollDomain"})}, {}},
        {"select all, then a file unticked",
         {folder({}), file(library, "a.db", false)},
         {"Library"}},
        {"a file ticked, then its domain ticked whole",
         {file(apple100, "IMG_1.JPG", true), folder({"CameraRollDomain"})},
         {"100APPLE"}},
        {"a folder ticked, then files arrive in it and beside it",
         {folder({"CameraRollDomain", "Media"}),
          arrive("CameraRollDomain/Media/DCIM/100APPLE/IMG_9.JPG", true),
          arrive("CameraRollDomain/Media/more.txt", false)},
         {}},
        {"select all, then everything unticked", {folder({}), folder({})}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PRTreeController unopened;
        PRTreeController opened;
        for (PRTreeController* tree : {&unopened, &opened}) {
            tree->setDeviceName(QStringLiteral("Phone"));
            addRecords(*tree, files);
        }
        ASSERT_TRUE(foldersWithNodes(unopened).isEmpty());
        countByWalking(opened.content().front());  // asks every folder for its files
        for (const Click& click : c.clicks) {
            click(unopened);
            click(opened);
        }
        EXPECT_EQ(ticksOf(unopened), ticksOf(opened));
        EXPECT_EQ(unopened.getTreeSelectedItemNum(), opened.getTreeSelectedItemNum());
        EXPECT_EQ(foldersWithNodes(unopened), c.opened);
        // Opened now, its file nodes carry the ticks their records had.
        expectConsistent(unopened, "");
        EXPECT_EQ(ticksOf(unopened), ticksOf(opened));
    }
}
