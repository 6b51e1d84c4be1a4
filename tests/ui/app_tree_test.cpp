#include <gtest/gtest.h>

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tree_test_support.h"
#include "ui/core/folder_tree.h"
#include "ui/core/pr_app_tree_controller.h"

namespace {

using nimbara::test::appRecord;
using nimbara::test::cleanRecord;
using nimbara::test::dumpFolders;

class AppTreeTest : public ::testing::Test {
  protected:
    AppTreeTest() {
        tree_.setRefreshCallback([this] { ++plainRefreshes_; });
        tree_.setCleanRefreshCallback([this] { ++cleanRefreshes_; });
    }

    PRAppTreeController tree_;
    int plainRefreshes_ = 0;
    int cleanRefreshes_ = 0;
};

TEST_F(AppTreeTest, PlainRecordMakesTheAppFolderWithItsIconAndPath) {
    auto record = appRecord(QStringLiteral("Mail"), QStringLiteral("com.example.mail"),
                            QStringLiteral("/tmp/tmp"));
    record->setAppIcon(QByteArrayLiteral("png-bytes"));
    record->setFileSize(QStringLiteral("2 KB"));
    tree_.addTreeNode(record);

    EXPECT_EQ(dumpFolders(tree_.content()), (QStringList{"Mail : ", "  tmp [leaf] : tmp"}));
    EXPECT_EQ(plainRefreshes_, 1);
    EXPECT_EQ(cleanRefreshes_, 0);
    const auto mail = tree_.content().front();
    EXPECT_EQ(mail->appIcon(), QByteArrayLiteral("png-bytes"));
    EXPECT_EQ(mail->filePath(), QStringLiteral("/tmp/tmp"));
    EXPECT_EQ(mail->appBundleName(), QStringLiteral("com.example.mail"));
    EXPECT_EQ(mail->appDisplayName(), QStringLiteral("Mail"));
    EXPECT_TRUE(mail->fileType().isEmpty());
    const auto tmp = mail->children().front();
    EXPECT_TRUE(tmp->appIcon().isEmpty());
    EXPECT_EQ(tmp->filePath(), QStringLiteral("/tmp/tmp"));
    const auto entry = tmp->fileChildren().front();
    EXPECT_EQ(entry->fileType(), QStringLiteral("tmp"));
    EXPECT_EQ(entry->fileSize(), QStringLiteral("2 KB"));
    EXPECT_EQ(entry->appDisplayName(), QStringLiteral("Mail"));
    EXPECT_EQ(entry->appBundleName(), QStringLiteral("com.example.mail"));
    EXPECT_EQ(entry->parent(), tmp);
}

TEST_F(AppTreeTest, PlainDirectoryRecordThenItsContents) {
    tree_.addTreeNode(
        appRecord(QStringLiteral("Notes"), QStringLiteral("n"), QStringLiteral("/Documents/sub")));
    tree_.addTreeNode(appRecord(QStringLiteral("Notes"), QStringLiteral("n"),
                                QStringLiteral("/Documents/sub/x")));
    EXPECT_EQ(dumpFolders(tree_.content()),
              (QStringList{"Notes : ", "  Documents : sub", "    sub [leaf] : x"}));
    EXPECT_EQ(plainRefreshes_, 2);
    ASSERT_EQ(tree_.fileDirArray().size(), 2u);
    // Plain folders carry the path of the record whose placement made them.
    EXPECT_EQ(tree_.fileDirArray()[1]->filePath(), QStringLiteral("/Documents/sub/x"));
    EXPECT_EQ(
        tree_.IsThisDirOrFileFatherHasCreate(appRecord(QStringLiteral("Notes"), QStringLiteral("n"),
                                                       QStringLiteral("/Documents/sub/x/y"))),
        tree_.fileDirArray()[1]);
}

TEST_F(AppTreeTest, CleanRecordsOfOneAppShareTheirFoldersAndKeepBytesAndSizes) {
    auto first = cleanRecord(QStringLiteral("Notes"), QStringLiteral("com.example.notes"),
                             "/Library/Caches/a.db", 4096);
    first->setNodeIcon(QStringLiteral("appicon"));
    tree_.addTreeNode(first, true);
    // A name that is not UTF-8 keeps its bytes for the removal.
    tree_.addTreeNode(cleanRecord(QStringLiteral("Notes"), QStringLiteral("com.example.notes"),
                                  "/Library/Caches/data\xff", 10),
                      true);
    EXPECT_EQ(dumpFolders(tree_.cleanContent()).size(), 3);
    EXPECT_EQ(cleanRefreshes_, 1);
    EXPECT_EQ(plainRefreshes_, 0);
    EXPECT_TRUE(tree_.content().empty());

    const auto notes = tree_.cleanContent().front();
    EXPECT_EQ(notes->nodeIcon(), QStringLiteral("appicon"));
    const auto caches = notes->children().front()->children().front();
    EXPECT_EQ(caches->fileDirName(), QStringLiteral("Caches"));
    EXPECT_EQ(caches->nodeIcon(), QStringLiteral("folder"));
    EXPECT_TRUE(caches->isLeaf());
    for (const auto& folder : {notes, caches}) {
        EXPECT_TRUE(folder->filePath().isEmpty());
        EXPECT_FALSE(folder->filePath().isNull());
        EXPECT_TRUE(folder->fileType().isNull());
        EXPECT_EQ(folder->appBundleName(), QStringLiteral("com.example.notes"));
    }
    const auto entries = caches->fileChildren();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]->fileName(), QStringLiteral("a.db"));
    EXPECT_EQ(entries[0]->fileType(), QStringLiteral("db"));
    EXPECT_EQ(entries[0]->fileSizeNumber(), 4096u);
    EXPECT_EQ(entries[0]->fileSize(), QStringLiteral("4096 B"));
    EXPECT_EQ(entries[0]->appBundleName(), QStringLiteral("com.example.notes"));
    EXPECT_EQ(entries[1]->devicePath(), "/Library/Caches/data\xff");
    EXPECT_EQ(entries[1]->fileSizeNumber(), 10u);
}

TEST_F(AppTreeTest, AnEmptyDisplayNameGivesATopFolderWithAnEmptyName) {
    tree_.addTreeNode(cleanRecord(QString(), QStringLiteral("b"), "/tmp/x"), true);
    ASSERT_EQ(tree_.cleanContent().size(), 1u);
    EXPECT_TRUE(tree_.cleanContent().front()->fileDirName().isEmpty());
    // Without a path there is nothing to file.
    tree_.addTreeNode(cleanRecord(QStringLiteral("A"), QStringLiteral("a"), ""), true);
    EXPECT_EQ(tree_.cleanContent().size(), 1u);
}

TEST_F(AppTreeTest, AppsOfTheSameNameKeepTheirOwnFolders) {
    // Two apps shown as "Notes": a folder row stands for one container only.
    tree_.addTreeNode(
        cleanRecord(QStringLiteral("Notes"), QStringLiteral("org.b.notes"), "/Library/Caches/b"),
        true);
    tree_.addTreeNode(
        cleanRecord(QStringLiteral("Notes"), QStringLiteral("org.a.notes"), "/Library/Caches/a"),
        true);
    tree_.addTreeNode(
        cleanRecord(QStringLiteral("Notes"), QStringLiteral("org.b.notes"), "/Library/Caches/c"),
        true);
    ASSERT_EQ(tree_.cleanContent().size(), 2u);
    for (const auto& app : tree_.cleanContent()) {
        for (const auto& entry : nimbara::ui::entriesBelow(app)) {
            EXPECT_EQ(entry->appBundleName(), app->appBundleName());
        }
    }
    EXPECT_EQ(tree_.cleanContent()[0]->appBundleName(), QStringLiteral("org.a.notes"));
    EXPECT_EQ(nimbara::ui::entriesBelow(tree_.cleanContent()[1]).size(), 2u);
}

TEST_F(AppTreeTest, ADisplayNameWithASlashIsOneFolder) {
    tree_.addTreeNode(cleanRecord(QStringLiteral("AC/DC"), QStringLiteral("x"), "/tmp/t"), true);
    EXPECT_EQ(dumpFolders(tree_.cleanContent()), (QStringList{"AC/DC : ", "  tmp [leaf] : t"}));
}

TEST_F(AppTreeTest, EntriesBelowAFolderAreEverythingFoundUnderIt) {
    for (const char* path :
         {"/Library/Caches/a", "/Library/Caches/web/b", "/Library/Caches/web/x/c",
          "/Library/Cookies/k", "/Library/Caches/.hidden/d"}) {
        tree_.addTreeNode(cleanRecord(QStringLiteral("App"), QStringLiteral("app"), path), true);
    }
    const auto library = tree_.cleanContent().front()->children().front();
    const auto caches = library->children().front();
    ASSERT_EQ(caches->fileDirName(), QStringLiteral("Caches"));
    QStringList names;
    for (const auto& entry : nimbara::ui::entriesBelow(caches)) {
        names << entry->fileName();
    }
    EXPECT_EQ(names, (QStringList{"a", "d", "b", "c"}));
    EXPECT_EQ(nimbara::ui::entriesBelow(library).size(), 5u);
    EXPECT_TRUE(nimbara::ui::entriesBelow(std::shared_ptr<PRCleanDirNode>()).empty());
}

TEST_F(AppTreeTest, EveryRecordOfAScanIsFiledOnceWithItsBytes) {
    // A scan's records in any order, sizes beyond 32 bits: the tree holds every one of them,
    // and totals taken from it are exact.
    std::vector<std::shared_ptr<PRCleanDirNode>> records;
    std::uint64_t total = 0;
    for (int app = 0; app < 5; ++app) {
        for (int file = 0; file < 20; ++file) {
            const std::uint64_t bytes = (std::uint64_t{1} << 32) + 1000u * app + file;
            const std::string path = file % 2 ? "/tmp/t" + std::to_string(file)
                                              : "/Library/Caches/c/" + std::to_string(file);
            records.push_back(cleanRecord(QStringLiteral("App %1").arg(app % 3),
                                          QStringLiteral("id.%1").arg(app), path, bytes));
            total += bytes;
        }
    }
    std::shuffle(records.begin(), records.end(), std::mt19937(3));
    for (const auto& record : records) {
        tree_.addTreeNode(record, true);
    }
    ASSERT_EQ(tree_.cleanContent().size(), 5u);
    std::uint64_t filed = 0;
    std::size_t count = 0;
    for (const auto& app : tree_.cleanContent()) {
        for (const auto& entry : nimbara::ui::entriesBelow(app)) {
            filed += entry->fileSizeNumber();
            ++count;
        }
    }
    EXPECT_EQ(count, records.size());
    EXPECT_EQ(filed, total);
    // Each app made its "tmp" and "c" folders once, each refreshing once.
    EXPECT_EQ(cleanRefreshes_, 10);
    EXPECT_EQ(tree_.cleanDirArray().size(), 10u);
}

// The tree as folders with their sorted entries: what must not depend on the arrival order.
QStringList shapeOf(const std::vector<std::shared_ptr<PRCleanDirNode>>& level, int depth = 0) {
    QStringList lines;
    for (const auto& folder : level) {
        QStringList entries;
        for (const auto& entry : folder->fileChildren()) {
            entries << QString::fromStdString(entry->devicePath());
        }
        entries.sort();
        lines << QStringLiteral("%1%2 (%3)%4 : %5")
                     .arg(QString(depth * 2, QLatin1Char(' ')), folder->fileDirName(),
                          folder->appBundleName(),
                          folder->isLeaf() ? QStringLiteral(" [leaf]") : QString(),
                          entries.join(QStringLiteral(", ")));
        lines += shapeOf(folder->children(), depth + 1);
    }
    return lines;
}

TEST_F(AppTreeTest, TheShapeAndSiblingOrderDoNotDependOnTheArrivalOrder) {
    // Apps of one name, names differing by case or by a leading dot, a name in composed and in
    // decomposed form, folders that hold files and deeper folders at once.
    // Under a user's language, where the two forms of a name compare equal.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString composed = QString::fromUtf8("caf\xc3\xa9");
    const QString decomposed = QString::fromUtf8("cafe\xcc\x81");
    struct Found {
        QString app;
        QString bundle;
        std::string path;
    };
    const std::vector<Found> found = {
        {"Notes", "org.b.notes", "/Library/Caches/web/a"},
        {"Notes", "org.a.notes", "/Library/Caches/web/b"},
        {"Notes", "org.b.notes", "/Library/Caches/web/deep/c"},
        {"Notes", "org.b.notes", "/Library/Caches/Web/d"},
        {"Notes", "org.b.notes", "/Library/Caches/.web/e"},
        {"Mail", "com.mail", "/Library/Caches/" + composed.toStdString() + "/f"},
        {"Mail", "com.mail", "/Library/Caches/" + decomposed.toStdString() + "/g"},
        {"Mail", "com.mail", "/Library/Caches/z/h"},
        {"Mail", "com.mail", "/Library/Caches/Z/i"},
        {"Mail", "com.mail", "/Library/Caches/z/y/j"},
        {"Mail", "com.mail", "/Library/Caches/k"},
        {"mail", "com.other", "/tmp/l"},
    };
    QStringList first;
    std::vector<std::size_t> order(found.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::mt19937 random(7);
    for (int round = 0; round < 12; ++round) {
        PRAppTreeController tree;
        for (const std::size_t i : order) {
            tree.addTreeNode(cleanRecord(found[i].app, found[i].bundle, found[i].path, i + 1),
                             true);
        }
        const QStringList shape = shapeOf(tree.cleanContent());
        if (round == 0) {
            first = shape;
            // Each found file once.
            std::size_t entries = 0;
            for (const auto& top : tree.cleanContent()) {
                entries += nimbara::ui::entriesBelow(top).size();
            }
            EXPECT_EQ(entries, found.size());
        } else {
            EXPECT_EQ(shape, first) << "round " << round;
        }
        std::shuffle(order.begin(), order.end(), random);
    }
    // The two spellings of one name stay two folders: each stands for its own device folder.
    int cafes = 0;
    for (const QString& line : first) {
        cafes += line.trimmed().startsWith(composed) || line.trimmed().startsWith(decomposed);
    }
    EXPECT_EQ(cafes, 2) << first.join(QLatin1Char('\n')).toStdString();
    QLocale::setDefault(before);
}

TEST_F(AppTreeTest, OddPathsFileWithoutLosingTheirEntries) {
    // Doubled slashes make a folder with an empty name; a path ending in "/" files folders only.
    tree_.addTreeNode(cleanRecord(QStringLiteral("A"), QStringLiteral("a"), "/tmp//x"), true);
    tree_.addTreeNode(cleanRecord(QStringLiteral("A"), QStringLiteral("a"), "/Documents/"), true);
    EXPECT_EQ(dumpFolders(tree_.cleanContent()),
              (QStringList{"A : ", "  Documents : ", "  tmp : ", "     [leaf] : x"}));
    EXPECT_EQ(nimbara::ui::entriesBelow(tree_.cleanContent().front()).front()->devicePath(),
              "/tmp//x");
    EXPECT_EQ(cleanRefreshes_, 1);
}

TEST_F(AppTreeTest, ClearForgetsBothVariants) {
    tree_.addTreeNode(cleanRecord(QStringLiteral("A"), QStringLiteral("a"), "/tmp/x"), true);
    tree_.addTreeNode(
        appRecord(QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("/tmp/x")));
    tree_.clear();
    EXPECT_TRUE(tree_.content().empty());
    EXPECT_TRUE(tree_.cleanContent().empty());
    EXPECT_TRUE(tree_.fileDirArray().empty());
    EXPECT_TRUE(tree_.cleanDirArray().empty());
}

}  // namespace
