#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "tree_test_support.h"
#include "ui/core/folder_tree.h"
#include "ui/core/pr_system_lib_tree_controller.h"

namespace {

using nimbara::test::dumpFolders;
using nimbara::test::walkRecord;

class SystemLibTreeTest : public ::testing::Test {
  protected:
    SystemLibTreeTest() {
        tree_.setRefreshCallback([this] {
            ++refreshes_;
            EXPECT_FALSE(tree_.BRefreshTreeFlag());
        });
    }
    QStringList dump() const { return dumpFolders(tree_.content()); }

    PRSystemLibTreeController tree_;
    int refreshes_ = 0;
};

TEST(TreeKeyTest, SplittingAtACharacter) {
    using nimbara::ui::substringFromCh;
    using nimbara::ui::substringToCh;
    const QChar slash(QLatin1Char('/'));
    EXPECT_EQ(substringToCh(QStringLiteral("System/var/log"), slash), QStringLiteral("System"));
    EXPECT_EQ(substringFromCh(QStringLiteral("System/var/log"), slash), QStringLiteral("var/log"));
    EXPECT_EQ(substringToCh(QStringLiteral("log"), slash), std::nullopt);
    EXPECT_EQ(substringFromCh(QStringLiteral("log"), slash), std::nullopt);
    EXPECT_EQ(substringToCh(QString(), slash), std::nullopt);
    EXPECT_EQ(substringFromCh(QString(), slash), std::nullopt);
    const auto empty = substringToCh(QStringLiteral("/x"), slash);
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());
    EXPECT_FALSE(empty->isNull());
    EXPECT_EQ(substringFromCh(QStringLiteral("/x"), slash), QStringLiteral("x"));
    EXPECT_EQ(substringFromCh(QStringLiteral("a/"), slash), std::nullopt);
    EXPECT_EQ(substringFromCh(QStringLiteral("/"), slash), std::nullopt);
    EXPECT_EQ(substringFromCh(QStringLiteral("a/b/c"), slash), QStringLiteral("b/c"));
}

TEST(TreeKeyTest, KindsAndParentPaths) {
    using nimbara::ui::entryKindOf;
    using nimbara::ui::pathWithoutLastComponent;
    EXPECT_EQ(entryKindOf(QStringLiteral("a.db")), QStringLiteral("db"));
    EXPECT_EQ(entryKindOf(QStringLiteral("data")), QStringLiteral("data"));
    EXPECT_EQ(entryKindOf(QStringLiteral("a.tar.gz")), QStringLiteral("gz"));
    EXPECT_EQ(entryKindOf(QStringLiteral(".hidden")), QStringLiteral(".hidden"));
    EXPECT_EQ(entryKindOf(QStringLiteral("a.")), QStringLiteral("a."));
    EXPECT_EQ(pathWithoutLastComponent(QStringLiteral("/a/b")), QStringLiteral("/a"));
    EXPECT_EQ(pathWithoutLastComponent(QStringLiteral("/a/b/")), QStringLiteral("/a"));
    EXPECT_EQ(pathWithoutLastComponent(QStringLiteral("/a")), QStringLiteral("/"));
    EXPECT_EQ(pathWithoutLastComponent(QStringLiteral("a")), QString());
}

TEST(TreeKeyTest, KeysDropOneLeadingDotAndKeepTheTopWhole) {
    using nimbara::ui::keyComponents;
    using nimbara::ui::planKey;
    EXPECT_EQ(keyComponents(QStringLiteral("System"), QStringLiteral("/var/mobile/.Trash/x")),
              (std::vector<QString>{"System", "var", "mobile", "Trash", "x"}));
    EXPECT_TRUE(keyComponents(QStringLiteral("System"), QString()).empty());
    // A name holding a slash is one folder, not two.
    EXPECT_EQ(keyComponents(QStringLiteral("A/B"), QStringLiteral("/tmp/x")),
              (std::vector<QString>{"A/B", "tmp", "x"}));

    // "/..x" shows as "/.x", whose dot is dropped at depth 1 as well.
    const auto dotted = planKey(keyComponents(QStringLiteral("System"), QStringLiteral("/..x/f")));
    EXPECT_EQ(dotted.folders, (std::vector<QString>{"System", "x"}));
    EXPECT_EQ(dotted.entry, QStringLiteral("f"));
    // A path ending in "/" names folders only.
    const auto trailing = planKey(keyComponents(QStringLiteral("S"), QStringLiteral("/a/b/")));
    EXPECT_EQ(trailing.folders, (std::vector<QString>{"S", "a", "b"}));
    EXPECT_FALSE(trailing.entry.has_value());
}

TEST_F(SystemLibTreeTest, FirstRecordMakesTheFoldersAndRefreshesOnce) {
    tree_.addTreeNode(walkRecord(QStringLiteral("/Downloads/a.mp3"), QStringLiteral("3 KB"), 3000));
    EXPECT_EQ(dump(), (QStringList{"System : ", "  Downloads [leaf] : a.mp3"}));
    EXPECT_EQ(refreshes_, 1);
    ASSERT_EQ(tree_.fileDirArray().size(), 1u);
    const auto downloads = tree_.fileDirArray().front();
    EXPECT_EQ(downloads->fileDirName(), QStringLiteral("Downloads"));
    EXPECT_EQ(downloads->fileType(), QStringLiteral("Folder"));
    EXPECT_TRUE(downloads->filePath().isEmpty());
    EXPECT_EQ(downloads->parent(), tree_.content().front());
    EXPECT_EQ(tree_.content().front()->parent(), nullptr);

    const auto entry = downloads->fileChildren().front();
    EXPECT_EQ(entry->filePath(), QStringLiteral("/Downloads/a.mp3"));
    EXPECT_EQ(entry->fileSize(), QStringLiteral("3 KB"));
    EXPECT_EQ(entry->fileType(), QStringLiteral("File"));
    EXPECT_EQ(entry->fileSizeNumber(), 3000u);
    EXPECT_EQ(entry->parent(), downloads);

    // A second file of the same folder only adds an entry.
    tree_.addTreeNode(walkRecord(QStringLiteral("/Downloads/b.mp3"), QStringLiteral("1 KB")));
    EXPECT_EQ(dump(), (QStringList{"System : ", "  Downloads [leaf] : a.mp3, b.mp3"}));
    EXPECT_EQ(refreshes_, 1);

    // The directory's own record, after its contents, is an entry of "System", not a folder.
    tree_.addTreeNode(walkRecord(QStringLiteral("/Downloads")));
    EXPECT_EQ(dump(), (QStringList{"System : Downloads", "  Downloads [leaf] : a.mp3, b.mp3"}));
    EXPECT_EQ(tree_.content().front()->fileChildren().front()->fileType(),
              QStringLiteral("Folder"));

    // An empty directory: an entry only.
    tree_.addTreeNode(walkRecord(QStringLiteral("/Empty"), QLatin1String("")));
    EXPECT_EQ(dump(),
              (QStringList{"System : Downloads, Empty", "  Downloads [leaf] : a.mp3, b.mp3"}));
    EXPECT_EQ(tree_.content().front()->fileChildren().back()->fileType(), QStringLiteral("Folder"));
}

TEST_F(SystemLibTreeTest, TopLevelFileFirstMakesSystemALeafUntilADeeperRecord) {
    tree_.addTreeNode(walkRecord(QStringLiteral("/x.plist"), QStringLiteral("1 KB")));
    EXPECT_EQ(dump(), (QStringList{"System [leaf] : x.plist"}));
    EXPECT_EQ(refreshes_, 1);
    tree_.addTreeNode(walkRecord(QStringLiteral("/var/log"), QStringLiteral("1 KB")));
    EXPECT_EQ(dump(), (QStringList{"System : x.plist", "  var [leaf] : log"}));
    EXPECT_EQ(refreshes_, 2);
}

TEST_F(SystemLibTreeTest, HiddenFoldersShowWithoutTheirDotButEntriesKeepTheTruePath) {
    tree_.addTreeNode(walkRecord(QStringLiteral("/var/.cache/f"), QStringLiteral("1 KB")));
    EXPECT_EQ(dump(), (QStringList{"System : ", "  var : ", "    cache [leaf] : f"}));
    const auto cache = tree_.fileDirArray().front();
    EXPECT_EQ(cache->fileChildren().front()->filePath(), QStringLiteral("/var/.cache/f"));
    EXPECT_EQ(cache->fileChildren().front()->devicePath(), "/var/.cache/f");
}

TEST_F(SystemLibTreeTest, TheTreeIsTheSameWhateverTheArrivalOrder) {
    const std::vector<QString> paths{
        QStringLiteral("/Media/DCIM/100APPLE/IMG_1.JPG"),
        QStringLiteral("/Media/DCIM/100APPLE"),
        QStringLiteral("/Books/b.epub"),
        QStringLiteral("/Media/Recordings/r.m4a"),
        QStringLiteral("/apple/a"),
        QStringLiteral("/Zebra/z"),
        QStringLiteral("/books2/c"),
        QStringLiteral("/Media/DCIM/101APPLE/IMG_2.JPG"),
    };
    std::vector<QString> order(paths);
    std::mt19937 random(16);
    QStringList first;
    for (int run = 0; run < 200; ++run) {
        std::shuffle(order.begin(), order.end(), random);
        PRSystemLibTreeController tree;
        for (const QString& path : order) {
            const bool folder = path.endsWith(QStringLiteral("APPLE"));
            tree.addTreeNode(walkRecord(path, folder ? QString() : QStringLiteral("1 KB")));
        }
        // Folders only: entries keep their arrival order, which differs between runs.
        QStringList shape;
        for (const QString& line : dumpFolders(tree.content())) {
            shape << line.section(QStringLiteral(" : "), 0, 0).remove(QStringLiteral(" [leaf]"));
        }
        if (first.isEmpty()) {
            first = shape;
        }
        ASSERT_EQ(shape, first);
        // Every record is filed exactly once.
        ASSERT_EQ(nimbara::ui::entriesBelow(tree.content().front()).size(), paths.size());
    }
    EXPECT_EQ(first.size(), 10);
    // Siblings stand in localized order.
    PRSystemLibTreeController tree;
    for (const QString& path : paths) {
        tree.addTreeNode(walkRecord(path, QStringLiteral("1 KB")));
    }
    std::vector<std::shared_ptr<PRPhoneSystemDirNode>> pending(tree.content());
    while (!pending.empty()) {
        const auto folder = pending.back();
        pending.pop_back();
        const auto children = folder->children();
        for (std::size_t i = 1; i < children.size(); ++i) {
            EXPECT_LT(nimbara::ui::compareFolderNames(children[i - 1]->fileDirName(),
                                                      children[i]->fileDirName()),
                      0);
        }
        pending.insert(pending.end(), children.begin(), children.end());
    }
}

TEST_F(SystemLibTreeTest, ProtectedDatabasesAreMarkedOnTheirEntries) {
    tree_.addTreeNode(
        walkRecord(QStringLiteral("/PhotoData/Photos.sqlite"), QStringLiteral("1 KB")));
    tree_.addTreeNode(walkRecord(QStringLiteral("/Downloads/a.mp3"), QStringLiteral("1 KB")));
    EXPECT_TRUE(tree_.content().front()->children().at(1)->fileChildren().front()->isProtected());
    EXPECT_FALSE(tree_.content().front()->children().at(0)->fileChildren().front()->isProtected());
}

TEST_F(SystemLibTreeTest, ClearStartsAFreshTree) {
    tree_.addTreeNode(walkRecord(QStringLiteral("/a/b"), QStringLiteral("1 KB")));
    tree_.clear();
    EXPECT_TRUE(tree_.content().empty());
    EXPECT_TRUE(tree_.fileDirArray().empty());
    EXPECT_EQ(tree_.tree().folderCount(), 0u);
    tree_.addTreeNode(walkRecord(QStringLiteral("/a/c"), QStringLiteral("1 KB")));
    EXPECT_EQ(dump(), (QStringList{"System : ", "  a [leaf] : c"}));
    // Records without a path, or null, file nothing.
    tree_.addTreeNode(walkRecord(QString()));
    tree_.addTreeNode(nullptr);
    EXPECT_EQ(dump(), (QStringList{"System : ", "  a [leaf] : c"}));
}

}  // namespace
