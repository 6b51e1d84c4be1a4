#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "cleanup/pr_large_file_node.h"
#include "cleanup/protected_files.h"
#include "ui/core/device_file_nodes.h"

namespace {

using nimbara::cleanup::isProtectedDeviceFile;

TEST(DeviceFileNodesTest, NewNodesKeepEmptyAndAbsentTextsApart) {
    PRPhoneSystemFileNode file;
    for (const QString& text : {file.filePath(), file.fileName(), file.fileSize(), file.fileType(),
                                file.transferPath()}) {
        EXPECT_TRUE(text.isEmpty());
        EXPECT_FALSE(text.isNull());
    }
    EXPECT_EQ(file.fileSizeNumber(), 0u);
    EXPECT_FALSE(file.btransfer());
    EXPECT_FALSE(file.isProtected());
    EXPECT_EQ(file.parent(), nullptr);

    PRPhoneSystemDirNode dir;
    EXPECT_EQ(dir.nodeIcon(), "folder");
    EXPECT_FALSE(dir.filePath().isNull());
    EXPECT_FALSE(dir.fileDirName().isNull());
    EXPECT_TRUE(dir.filePath().isEmpty());
    EXPECT_TRUE(dir.fileSize().isNull());
    EXPECT_TRUE(dir.fileType().isNull());
    EXPECT_TRUE(dir.children().empty());
    EXPECT_TRUE(dir.fileChildren().empty());
    EXPECT_FALSE(dir.isFile());
    EXPECT_FALSE(dir.isLeaf());

    PRLargeFileNode large;
    EXPECT_TRUE(large.bSelectedSate());
    for (const QString& text : {large.fileName(), large.filePath(), large.fileSize(),
                                large.fileParentName(), large.appBundId()}) {
        EXPECT_TRUE(text.isEmpty());
        EXPECT_FALSE(text.isNull());
    }
    for (const QString& text : {large.fileIcon(), large.fileAdvice(), large.documentSize(),
                                large.totalSize(), large.appVersion(), large.appDisplayName()}) {
        EXPECT_TRUE(text.isNull());
    }
    EXPECT_EQ(large.fileSizeNumber(), 0u);
    EXPECT_EQ(large.appFileSizeNumber(), 0u);
}

TEST(DeviceFileNodesTest, FolderListsCopyOnSetAndKeepArrivalOrder) {
    auto dir = std::make_shared<PRPhoneSystemDirNode>();
    auto a = std::make_shared<PRPhoneSystemDirNode>();
    auto b = std::make_shared<PRPhoneSystemDirNode>();

    PRPhoneSystemDirNode::DirList given{a};
    dir->setChildren(given);
    given.push_back(b);  // later changes of the given list don't show in the folder
    ASSERT_EQ(dir->children().size(), 1u);
    EXPECT_EQ(dir->children()[0], a);

    // A returned list is a snapshot: changing it leaves the folder alone.
    auto snapshot = dir->children();
    snapshot.push_back(b);
    EXPECT_EQ(dir->childrenCount(), 1u);
    dir->addChildren(b);
    dir->setChildren(dir->children());
    ASSERT_EQ(dir->children().size(), 2u);
    EXPECT_EQ(dir->children()[1], b);
    // Insertion keeps sorted siblings sorted; a position past the end appends.
    auto c = std::make_shared<PRPhoneSystemDirNode>();
    auto d = std::make_shared<PRPhoneSystemDirNode>();
    dir->insertChildren(1, c);
    dir->insertChildren(99, d);
    EXPECT_EQ(dir->children(), PRPhoneSystemDirNode::DirList({a, c, b, d}));

    auto f1 = std::make_shared<PRPhoneSystemFileNode>();
    auto f2 = std::make_shared<PRPhoneSystemFileNode>();
    dir->addFileChildren(f1);
    dir->addFileChildren(f2);
    dir->addFileChildren(f1);
    ASSERT_EQ(dir->fileChildren().size(), 3u);
    EXPECT_EQ(dir->fileChildren()[0], f1);
    EXPECT_EQ(dir->fileChildren()[1], f2);
    EXPECT_EQ(dir->fileChildren()[2], f1);
    dir->setFileChildren(dir->fileChildren());
    EXPECT_EQ(dir->fileChildren().size(), 3u);
    dir->setFileChildren({f2});
    ASSERT_EQ(dir->fileChildren().size(), 1u);
    EXPECT_EQ(dir->fileChildren()[0], f2);
    EXPECT_EQ(dir->fileChildrenCount(), 1u);
}

// Walk workers fill a folder while the GUI reads it: every snapshot is whole and in arrival order,
// and nothing is lost. (Run under the sanitizer build, a reader that iterated the live list while
// an adder grew it would be reported as a use after free.)
TEST(DeviceFileNodesTest, FolderListsStayWholeWhileWorkersAddAndReadersRead) {
    constexpr int kWriters = 4;
    constexpr int kPerWriter = 2000;
    auto dir = std::make_shared<PRPhoneSystemDirNode>();
    std::vector<std::shared_ptr<PRPhoneSystemFileNode>> files(kWriters * kPerWriter);
    for (std::size_t i = 0; i < files.size(); ++i) {
        files[i] = std::make_shared<PRPhoneSystemFileNode>();
        files[i]->setFileSizeNumber(i);
    }

    std::atomic<int> writersLeft{kWriters};
    std::atomic<bool> readerFault{false};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < kPerWriter; ++i) {
                dir->addFileChildren(files[static_cast<std::size_t>(w * kPerWriter + i)]);
                if (i % 4 == 0) {
                    dir->insertChildren(0, std::make_shared<PRPhoneSystemDirNode>());
                } else if (i % 4 == 1) {
                    dir->addChildren(std::make_shared<PRPhoneSystemDirNode>());
                }
            }
            --writersLeft;
        });
    }
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            std::size_t lastSize = 0;
            while (writersLeft.load() > 0) {
                const PRPhoneSystemDirNode::FileList seen = dir->fileChildren();
                // Each writer's entries appear in the order it added them.
                std::vector<std::int64_t> lastOfWriter(kWriters, -1);
                for (const auto& file : seen) {
                    if (!file) {
                        readerFault = true;
                        break;
                    }
                    const auto number = static_cast<std::int64_t>(file->fileSizeNumber());
                    std::int64_t& last =
                        lastOfWriter[static_cast<std::size_t>(number / kPerWriter)];
                    readerFault = readerFault || number <= last;
                    last = number;
                }
                readerFault = readerFault || seen.size() < lastSize;
                lastSize = seen.size();
                for (const auto& child : dir->children()) {
                    readerFault = readerFault || !child;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(readerFault.load());
    ASSERT_EQ(dir->fileChildrenCount(), files.size());
    EXPECT_EQ(dir->childrenCount(), static_cast<std::size_t>(kWriters * kPerWriter / 2));
    std::vector<bool> present(files.size(), false);
    for (const auto& file : dir->fileChildren()) {
        present[file->fileSizeNumber()] = true;
    }
    EXPECT_EQ(std::count(present.begin(), present.end(), true),
              static_cast<std::ptrdiff_t>(files.size()));
}

TEST(DeviceFileNodesTest, ParentLinksDoNotKeepTheFolderAlive) {
    auto file = std::make_shared<PRPhoneSystemFileNode>();
    auto child = std::make_shared<PRPhoneSystemDirNode>();
    {
        auto dir = std::make_shared<PRPhoneSystemDirNode>();
        dir->addFileChildren(file);
        file->setParent(dir);
        child->setParent(dir);
        EXPECT_EQ(file->parent(), dir);
        EXPECT_EQ(child->parent(), dir);
    }
    EXPECT_EQ(file->parent(), nullptr);
    EXPECT_EQ(child->parent(), nullptr);
}

TEST(ProtectedFilesTest, DatabasesAndTheMediaLibraryAreProtected) {
    for (const char* path :
         {"/PhotoData/Photos.sqlite", "/PhotoData/Photos.sqlite-wal",
          "/PhotoData/Photos.sqlite-shm", "/PhotoData/Photos.sqlite-journal",
          "/iTunes_Control/iTunes/MediaLibrary.sqlitedb", "/iTunes_Control/iTunes/iTunesPrefs",
          "/iTunes_Control/iTunes/Artwork/Originals/ab/cd", "/Downloads/downloads.28.sqlitedb",
          "/Downloads/downloads.28.sqlitedb-wal", "/general_storage/Store.DB",
          "/PhotoData//./Photos.sqlite", "/DCIM/../iTunes_Control/iTunes/iTunesPrefs",
          "/iTunes_Control/iTunes/", "", "relative/file.jpg", "/"}) {
        EXPECT_TRUE(isProtectedDeviceFile(path)) << path;
    }
    for (const char* path :
         {"/DCIM/100APPLE/IMG_0001.JPG", "/Downloads/movie.mp4",
          "/PhotoData/Mutations/DCIM/100APPLE/IMG_0001/Adjustments/FullSizeRender.jpg",
          "/iTunes_Control/Music/F00/ABCD.mp3", "/iTunes_Control/Sync/Media/file.m4a",
          "/general_storage/notes.sqlite.txt", "/iTunes_Control/iTunesX/file",
          "/Downloads/dbfile"}) {
        EXPECT_FALSE(isProtectedDeviceFile(path)) << path;
    }
}

}  // namespace

TEST(CameraRollFiles, AreLeftToThePhotoStepAndNeverTickable) {
    EXPECT_TRUE(nimbara::cleanup::isCameraRollFileName("IMG_0010.MOV"));
    EXPECT_TRUE(nimbara::cleanup::isCameraRollFileName("img_0001.jpg"));
    EXPECT_FALSE(nimbara::cleanup::isCameraRollFileName("long-interview.m4a"));
    PRLargeFileNode node;
    EXPECT_TRUE(node.tickable());
    node.setIsCameraRollFile(true);
    EXPECT_FALSE(node.tickable());
}
