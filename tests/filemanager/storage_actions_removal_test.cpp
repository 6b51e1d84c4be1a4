// Removals of the storage manager: exact paths, refusals, what is counted, and what a page drops.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backup/pr_photo_and_video_node.h"
#include "filemanager/storage_removal.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "storage_actions_fixture.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/core/app_tree_nodes.h"
#include "ui/core/device_file_nodes.h"

namespace nimbara::test {
namespace {

using cleanup::CleanRunStatus;
using filemanager::StorageKind;
using filemanager::StorageOutcome;

std::shared_ptr<PRPhotoAndVideoNode> photo(const std::string& path, const char* type,
                                           std::uint64_t size) {
    auto node = std::make_shared<PRPhotoAndVideoNode>();
    node->setFilePath(QString::fromStdString(path));
    node->setFileNodeName(QString::fromStdString(path.substr(path.rfind('/') + 1)));
    node->setFileType(QString::fromLatin1(type));
    node->setFileSizeNumber(size);
    return node;
}

class StorageRemovalTest : public StorageActionsTest {};

TEST_F(StorageRemovalTest, OnlyTheChosenOfTwoSameNamedPhotosGoes) {
    device()
        .addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "first folder")
        .addMediaFile("/DCIM/101APPLE/IMG_0001.JPG", "second")
        .addMediaFile("/DCIM/101APPLE/IMG_0002.JPG", "kept");
    const auto target = attachDevice();
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> list{
        photo("/DCIM/100APPLE/IMG_0001.JPG", filemanager::kPhotoKindCameraRoll, 12),
        photo("/DCIM/101APPLE/IMG_0001.JPG", filemanager::kPhotoKindCameraRoll, 6),
        photo("/DCIM/101APPLE/IMG_0002.JPG", filemanager::kPhotoKindCameraRoll, 4)};
    const auto items = filemanager::itemsAtRows(list, {1}, [&](const PRPhotoAndVideoNode& n) {
        return filemanager::itemOfPhoto(n, target);
    });
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].kind, StorageKind::CameraRollPhoto);

    const auto report = filemanager::removeStorageItems(target, items);
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(outcomesOf(report), std::vector<StorageOutcome>{StorageOutcome::Done});
    EXPECT_EQ(report.bytes, 6u);  // the size the device listed for the file removed
    EXPECT_TRUE(onDevice("/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_FALSE(onDevice("/DCIM/101APPLE/IMG_0001.JPG"));
    EXPECT_TRUE(onDevice("/DCIM/101APPLE/IMG_0002.JPG"));

    // The page drops exactly the removed row.
    EXPECT_EQ(filemanager::dropSettled(
                  list, items, report,
                  [](const PRPhotoAndVideoNode& n) { return n.filePath().toStdString(); }),
              1u);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->filePath(), QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_EQ(list[1]->filePath(), QStringLiteral("/DCIM/101APPLE/IMG_0002.JPG"));
}

TEST_F(StorageRemovalTest, ARefusedRemovalStaysListedAndUncounted) {
    device()
        .addMediaFile("/iTunes_Control/Music/F00/ABCD.mp3", "song bytes")
        .addMediaFile("/Downloads/notes.txt", "notes")
        .setFault(md::sim::kFaultRefusedRemovals,
                  PlistValue(PlistValue::Array{PlistValue("/iTunes_Control/Music/F00/ABCD.mp3")}));
    const auto target = attachDevice();
    auto track = std::make_shared<PRTranMusicNode>();
    track->setMusicTitle(QStringLiteral("Song"));
    track->setMusicType(QStringLiteral("Music"));
    track->setMusicLoctionpath(QStringLiteral("/iTunes_Control/Music/F00/ABCD.mp3"));
    track->setFileSizeNumber(10);
    auto file = std::make_shared<PRPhoneSystemFileNode>();
    file->setFilePath(QStringLiteral("/Downloads/notes.txt"));
    file->setFileName(QStringLiteral("notes.txt"));
    file->setFileSizeNumber(5);
    const std::vector<filemanager::StorageItem> items{filemanager::itemOfTrack(*track),
                                                      filemanager::itemOfUserDataFile(*file)};

    const auto report = filemanager::removeStorageItems(target, items);
    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    EXPECT_EQ(outcomesOf(report),
              (std::vector<StorageOutcome>{StorageOutcome::Failed, StorageOutcome::Done}));
    EXPECT_NE(report.items[0].code, 0);
    EXPECT_EQ(report.bytes, 5u);
    EXPECT_EQ(report.settled(), std::vector<std::size_t>{1});
    EXPECT_TRUE(onDevice("/iTunes_Control/Music/F00/ABCD.mp3"));
    EXPECT_FALSE(onDevice("/Downloads/notes.txt"));
    EXPECT_TRUE(report.message.contains(QStringLiteral("could not be removed")));

    std::vector<std::shared_ptr<PRTranMusicNode>> tracks{track};
    EXPECT_EQ(filemanager::dropSettled(
                  tracks, items, report,
                  [](const PRTranMusicNode& n) { return n.musicLoctionpath().toStdString(); }),
              0u);
    EXPECT_EQ(tracks.size(), 1u);
}

TEST_F(StorageRemovalTest, PhotoStreamAndLibraryItemsSaySoAndStay) {
    device()
        .addMediaFile("/PhotoStreamsData/123/100APPLE/IMG_0100.JPG", "stream")
        .addMediaFile("/PhotoData/Sync/100SYNCD/IMG_0200.JPG", "synced")
        .addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "camera")
        .addMediaFile("/DCIM/100APPLE/IMG_0001.AAE", "sidecar");
    const auto target = attachDevice();
    const std::vector<filemanager::StorageItem> items{
        filemanager::itemOfPhoto(*photo("/PhotoStreamsData/123/100APPLE/IMG_0100.JPG",
                                        filemanager::kPhotoKindPhotoStream, 6),
                                 target),
        filemanager::itemOfPhoto(
            *photo("/PhotoData/Sync/100SYNCD/IMG_0200.JPG", filemanager::kPhotoKindPhotoLibrary, 6),
            target),
        filemanager::itemOfPhoto(
            *photo("/DCIM/100APPLE/IMG_0001.JPG", filemanager::kPhotoKindCameraRoll, 6), target),
        // Listed by the scan, but no picture of the camera roll: kept, not guessed at.
        filemanager::itemOfPhoto(
            *photo("/DCIM/100APPLE/IMG_0001.AAE", filemanager::kPhotoKindCameraRoll, 7), target),
        // Gone since the scan.
        filemanager::itemOfPhoto(
            *photo("/DCIM/100APPLE/IMG_0009.JPG", filemanager::kPhotoKindCameraRoll, 3), target)};

    const auto report = filemanager::removeStorageItems(target, items);
    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    EXPECT_EQ(outcomesOf(report),
              (std::vector<StorageOutcome>{StorageOutcome::CannotRemove,
                                           StorageOutcome::CannotRemove, StorageOutcome::Done,
                                           StorageOutcome::Kept, StorageOutcome::Gone}));
    EXPECT_EQ(report.bytes, 6u);
    EXPECT_TRUE(report.items[0].reason.contains(QStringLiteral("Photo Stream")));
    EXPECT_TRUE(report.items[1].reason.contains(QStringLiteral("Photo Library")));
    EXPECT_TRUE(report.message.contains(QStringLiteral("can't be removed")));
    EXPECT_TRUE(onDevice("/PhotoStreamsData/123/100APPLE/IMG_0100.JPG"));
    EXPECT_TRUE(onDevice("/PhotoData/Sync/100SYNCD/IMG_0200.JPG"));
    EXPECT_TRUE(onDevice("/DCIM/100APPLE/IMG_0001.AAE"));
    EXPECT_FALSE(onDevice("/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_EQ(report.settled(), (std::vector<std::size_t>{2, 4}));
}

TEST_F(StorageRemovalTest, BooksGoWholeAndAreSized) {
    device()
        .addMediaFile("/Books/Purchases/Story.epub/mimetype", "epub")
        .addMediaFile("/Books/Purchases/Story.epub/OEBPS/ch1.xhtml", "chapter one")
        .addMediaFile("/Books/Purchases/Story.epub/OEBPS/images/cover.jpg", "cover")
        .addMediaFile("/Books/Purchases/Manual.pdf", "pdf bytes")
        .addMediaFile("/Books/Purchases/Purchases.plist", "list");
    const auto target = attachDevice();
    const std::vector<filemanager::StorageItem> items{
        filemanager::itemOfBook("/Books/Purchases/Story.epub", QStringLiteral("Story"), 0, true),
        filemanager::itemOfBook("/Books/Purchases/Manual.pdf", QStringLiteral("Manual"), 9, false)};
    const auto report = filemanager::removeStorageItems(target, items);
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(outcomesOf(report),
              (std::vector<StorageOutcome>{StorageOutcome::Done, StorageOutcome::Done}));
    EXPECT_EQ(report.items[0].bytes, 4u + 11u + 5u);
    EXPECT_EQ(report.items[1].bytes, 9u);
    EXPECT_FALSE(onDevice("/Books/Purchases/Story.epub"));
    EXPECT_FALSE(onDevice("/Books/Purchases/Manual.pdf"));
    EXPECT_TRUE(onDevice("/Books/Purchases/Purchases.plist"));
}

TEST_F(StorageRemovalTest, ADatabaseInsideABookFolderStaysAndTheBookIsNotCountedAsGone) {
    device()
        .addMediaFile("/Books/Purchases/Notes.epub/mimetype", "epub")
        .addMediaFile("/Books/Purchases/Notes.epub/annotations.sqlite", "database")
        .addMediaFile("/Books/Purchases/Notes.epub/annotations.sqlite-wal", "log");
    const auto target = attachDevice();
    const std::vector<filemanager::StorageItem> items{
        filemanager::itemOfBook("/Books/Purchases/Notes.epub", QStringLiteral("Notes"), 0, true)};
    const auto report = filemanager::removeStorageItems(target, items);
    EXPECT_EQ(outcomesOf(report), (std::vector<StorageOutcome>{StorageOutcome::Failed}));
    EXPECT_EQ(report.items[0].bytes, 4u);  // only what went
    EXPECT_FALSE(onDevice("/Books/Purchases/Notes.epub/mimetype"));
    EXPECT_TRUE(onDevice("/Books/Purchases/Notes.epub/annotations.sqlite"));
    EXPECT_TRUE(onDevice("/Books/Purchases/Notes.epub/annotations.sqlite-wal"));
}

TEST_F(StorageRemovalTest, TheItemsConfirmedAreTheOnesRemoved) {
    device()
        .addMediaFile("/Downloads/a.txt", "a")
        .addMediaFile("/Downloads/b.txt", "bb")
        .addMediaFile("/Downloads/c.txt", "ccc")
        .addMediaFile("/Downloads/d.txt", "dddd");
    const auto target = attachDevice();
    std::vector<std::shared_ptr<PRPhoneSystemFileNode>> list;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        auto node = std::make_shared<PRPhoneSystemFileNode>();
        node->setFilePath(QStringLiteral("/Downloads/") + QLatin1String(name));
        node->setFileName(QLatin1String(name));
        list.push_back(node);
    }
    // Rows 2 and 3 (1-based) confirmed, given in any order and twice; a row past the end skipped.
    const auto items = filemanager::itemsAtRows(
        list, {2, 1, 2, 9},
        [](const PRPhoneSystemFileNode& n) { return filemanager::itemOfUserDataFile(n); });
    EXPECT_EQ(filemanager::itemsAtRows(
                  list, filemanager::allRows(list.size()),
                  [](const PRPhoneSystemFileNode& n) { return filemanager::itemOfUserDataFile(n); })
                  .size(),
              4u);
    // The selection and the list change after the user confirmed: nothing follows them.
    list.erase(list.begin());
    list[0]->setFilePath(QStringLiteral("/Downloads/d.txt"));

    const auto report = filemanager::removeStorageItems(target, items);
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(report.bytes, 5u);
    EXPECT_TRUE(onDevice("/Downloads/a.txt"));
    EXPECT_FALSE(onDevice("/Downloads/b.txt"));
    EXPECT_FALSE(onDevice("/Downloads/c.txt"));
    EXPECT_TRUE(onDevice("/Downloads/d.txt"));
}

TEST_F(StorageRemovalTest, AppsUninstalledOrNotAreReportedAsSuch) {
    simdev::AppSpec app;
    app.bundleId = "com.example.game";
    app.displayName = "Game";
    device().addApp(app);
    const auto target = attachDevice();
    PRAppDirTreeNode node;
    node.setAppBundleId(QStringLiteral("com.example.game"));
    node.setAppDisplayName(QStringLiteral("Game"));
    node.setTotalAppSizeNumber(1234);

    const auto done = filemanager::uninstallApp(target, node);
    EXPECT_EQ(done.status, CleanRunStatus::Done);
    EXPECT_EQ(done.items[0].outcome, StorageOutcome::Done);
    EXPECT_EQ(done.bytes, 1234u);
    EXPECT_FALSE(std::filesystem::exists(deviceDir(kUdid) / "apps" / "com.example.game"));

    // Not installed (any more): nothing is counted.
    const auto again = filemanager::uninstallApp(target, node);
    EXPECT_EQ(again.items[0].outcome, StorageOutcome::Failed);
    EXPECT_EQ(again.bytes, 0u);
    EXPECT_TRUE(again.message.contains(QStringLiteral("could not be uninstalled")));

    // A device that went away is never asked; nor is another that took its index.
    detachDevice();
    const auto gone = filemanager::uninstallApp(target, node);
    EXPECT_EQ(gone.status, CleanRunStatus::DeviceGone);
    EXPECT_EQ(gone.items[0].outcome, StorageOutcome::NotTried);
}

TEST_F(StorageRemovalTest, ADeviceLeavingMidRunCountsOnlyWhatWent) {
    device()
        .addMediaFile("/Downloads/a.txt", "a")
        .addMediaFile("/Downloads/b.txt", "bb")
        .addMediaFile("/Downloads/c.txt", "ccc");
    const auto target = attachDevice();
    const std::vector<filemanager::StorageItem> items{
        fileItem(StorageKind::UserDataFile, "/Downloads/a.txt", 1),
        fileItem(StorageKind::UserDataFile, "/Downloads/b.txt", 2),
        fileItem(StorageKind::UserDataFile, "/Downloads/c.txt", 3)};
    const auto report =
        filemanager::removeStorageItems(target, items, [&](const cleanup::CleanProgress& progress) {
            if (progress.handled == 1) {
                detachDevice();
            }
        });
    EXPECT_EQ(report.status, CleanRunStatus::DeviceGone);
    EXPECT_EQ(outcomesOf(report),
              (std::vector<StorageOutcome>{StorageOutcome::Done, StorageOutcome::NotTried,
                                           StorageOutcome::NotTried}));
    EXPECT_EQ(report.bytes, 1u);
    EXPECT_TRUE(onDevice("/Downloads/b.txt"));
    EXPECT_TRUE(onDevice("/Downloads/c.txt"));
}

}  // namespace
}  // namespace nimbara::test
