// Exports and preview copies of the storage manager: names, collisions, the export folder's
// bounds, preview copies per device path, and a device that goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "backup/pr_photo_and_video_node.h"
#include "filemanager/storage_export.h"
#include "filemanager/storage_preview.h"
#include "storage_actions_fixture.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/core/app_tree_nodes.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using cleanup::CleanRunStatus;
using filemanager::PreviewCopyResult;
using filemanager::StorageKind;
using filemanager::StorageOutcome;

class StorageExportTest : public StorageActionsTest {};

TEST_F(StorageExportTest, ExportsNeverReplaceEachOther) {
    device().addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "device bytes");
    const auto target = attachDevice();
    const fs::path out = tmp_ / "export";
    // Export all of an empty list: the folder is made (to be shown), nothing else.
    const auto none = filemanager::exportStorageItems(target, {}, out);
    EXPECT_EQ(none.status, CleanRunStatus::NothingToDo);
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(folderNames(out).empty());

    const auto item = fileItem(StorageKind::CameraRollPhoto, "/DCIM/100APPLE/IMG_0001.JPG", 12);
    for (int i = 0; i < 3; ++i) {
        const auto report = filemanager::exportStorageItems(target, {item}, out);
        EXPECT_EQ(report.status, CleanRunStatus::Done) << report.message.toStdString();
        EXPECT_EQ(report.bytes, 12u);
    }
    // Three exports of one photo, three files; and from a preview copy the same.
    auto fromCopy = item;
    const auto preview = filemanager::copyForPreview(target, item.devicePath);
    ASSERT_TRUE(preview.copied());
    fromCopy.localCopy = preview.path;
    const auto fourth = filemanager::exportStorageItems(target, {fromCopy}, out);
    EXPECT_EQ(fourth.items[0].written, out / "IMG_0001 (4).JPG");
    EXPECT_EQ(filesBelow(out), (std::vector<std::string>{"IMG_0001 (2).JPG", "IMG_0001 (3).JPG",
                                                         "IMG_0001 (4).JPG", "IMG_0001.JPG"}));
    EXPECT_EQ(readText(out / "IMG_0001 (4).JPG"), "device bytes");
}

TEST_F(StorageExportTest, HostileNamesStayInsideTheExportFolder) {
    device()
        .addMediaFile("/iTunes_Control/Music/F01/XYZW.m4a", "track")
        .addMediaFile("/Downloads/.hidden", "dot")
        .addMediaFile("/Downloads/...", "dots")
        .addMediaFile("/Downloads/a:b*c?.txt", "odd");
    const auto target = attachDevice();
    PRTranMusicNode track;
    track.setMusicTitle(QStringLiteral("../../escape/..title"));
    track.setMusicType(QStringLiteral("Music"));
    track.setMusicLoctionpath(QStringLiteral("/iTunes_Control/Music/F01/XYZW.m4a"));
    const fs::path out = tmp_ / "outer" / "export";
    const std::vector<filemanager::StorageItem> items{
        filemanager::itemOfTrack(track),
        fileItem(StorageKind::UserDataFile, "/Downloads/.hidden", 3),
        fileItem(StorageKind::UserDataFile, "/Downloads/...", 4),
        fileItem(StorageKind::UserDataFile, "/Downloads/a:b*c?.txt", 3),
        // Not a plain device path: refused, never read.
        fileItem(StorageKind::UserDataFile, "/Downloads/../Downloads/.hidden", 3)};
    const auto report = filemanager::exportStorageItems(target, items, out);
    EXPECT_EQ(outcomesOf(report),
              (std::vector<StorageOutcome>{StorageOutcome::Done, StorageOutcome::Done,
                                           StorageOutcome::Done, StorageOutcome::Done,
                                           StorageOutcome::Kept}));
    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    EXPECT_EQ(folderNames(tmp_ / "outer"), std::vector<std::string>{"export"});
    EXPECT_EQ(filesBelow(out), (std::vector<std::string>{"Untitled", "__._escape_.title.m4a",
                                                         "a_b_c_.txt", "hidden"}));
    EXPECT_EQ(readText(out / "hidden"), "dot");
}

TEST_F(StorageExportTest, TracksAndBooksKeepTheirShape) {
    device()
        .addMediaFile("/iTunes_Control/Music/F00/AAAA.mp3", "one")
        .addMediaFile("/iTunes_Control/Music/F02/BBBB.mp4", "movie")
        .addMediaFile("/Books/Purchases/Story.epub/mimetype", "epub")
        .addMediaFile("/Books/Purchases/Story.epub/OEBPS/.toc", "toc")
        .addMediaDir("/Books/Purchases/Story.epub/empty")
        .addMediaFile("/Books/Manual.pdf", "pdf");
    const auto target = attachDevice();
    PRTranMusicNode song;
    song.setMusicTitle(QStringLiteral("Song"));
    song.setMusicLoctionpath(QStringLiteral("/iTunes_Control/Music/F00/AAAA.mp3"));
    PRTranMusicNode clip;
    clip.setMusicTitle(QStringLiteral("Clip"));
    clip.setMusicType(QStringLiteral("Video"));
    clip.setMusicLoctionpath(QStringLiteral("/iTunes_Control/Music/F02/BBBB.mp4"));
    const std::vector<filemanager::StorageItem> items{
        filemanager::itemOfTrack(song), filemanager::itemOfTrack(clip),
        filemanager::itemOfBook("/Books/Purchases/Story.epub", QStringLiteral("Story"), 0, true),
        filemanager::itemOfBook("/Books/Manual.pdf", QStringLiteral("Manual"), 3, false)};
    EXPECT_EQ(items[1].kind, StorageKind::Video);
    const fs::path out = tmp_ / "export";
    for (int i = 0; i < 2; ++i) {
        const auto report = filemanager::exportStorageItems(target, items, out);
        EXPECT_EQ(report.status, CleanRunStatus::Done) << report.message.toStdString();
        EXPECT_EQ(report.bytes, 3u + 5u + 4u + 3u + 3u);
    }
    EXPECT_EQ(filesBelow(out),
              (std::vector<std::string>{"Clip (2).mp4", "Clip.mp4", "Manual (2).pdf", "Manual.pdf",
                                        "Song (2).mp3", "Song.mp3", "Story.epub (2)/OEBPS/toc",
                                        "Story.epub (2)/mimetype", "Story.epub/OEBPS/toc",
                                        "Story.epub/mimetype"}));
    EXPECT_TRUE(fs::is_directory(out / "Story.epub" / "empty"));
}

TEST_F(StorageExportTest, AppContainerUnderADottedExportFolder) {
    simdev::AppSpec app;
    app.bundleId = "com.example.notes";
    app.displayName = "Notes/Pro";
    device()
        .addApp(app)
        .addContainerText("com.example.notes", "/Documents/note.txt", "note")
        .addContainerText("com.example.notes", "/Documents/.secret", "secret")
        .addContainerText("com.example.notes", "/.config/settings.plist", "plist")
        .addContainerText("com.example.notes", "/Library/Preferences/.x/y.txt", "deep")
        .addContainerFile("com.example.notes", "/tmp/empty", 0);
    const auto target = attachDevice();
    PRAppDirTreeNode node;
    node.setAppBundleId(QStringLiteral("com.example.notes"));
    node.setAppDisplayName(QStringLiteral("Notes/Pro"));
    const fs::path out = tmp_ / ".local" / "x";

    const auto report = filemanager::exportAppContainer(target, node, out);
    EXPECT_EQ(report.status, CleanRunStatus::Done) << report.message.toStdString();
    EXPECT_EQ(report.folder, fs::canonical(out));
    EXPECT_EQ(report.items[0].written, fs::canonical(out) / "Notes_Pro");
    // Every file of the container, hidden names without their dot, nothing else.
    const std::vector<std::string> files = filesBelow(out / "Notes_Pro");
    for (const char* expected :
         {"Documents/note.txt", "Documents/secret", "Library/Preferences/x/y.txt",
          "config/settings.plist", "tmp/empty"}) {
        EXPECT_NE(std::find(files.begin(), files.end(), expected), files.end()) << expected;
    }
    const auto container = deviceDir(kUdid) / "apps" / "com.example.notes" / "container";
    EXPECT_EQ(files.size(), tallyOf(container).count);
    EXPECT_EQ(report.bytes, tallyOf(container).bytes);
    EXPECT_EQ(readText(out / "Notes_Pro" / "Documents" / "secret"), "secret");
    // The user's own folder is where it was; nothing went beside it.
    EXPECT_EQ(folderNames(tmp_ / ".local"), std::vector<std::string>{"x"});

    // A second export makes a folder of its own.
    const auto again = filemanager::exportAppContainer(target, node, out);
    EXPECT_EQ(again.items[0].written, fs::canonical(out) / "Notes_Pro (2)");
    EXPECT_EQ(folderNames(out), (std::vector<std::string>{"Notes_Pro", "Notes_Pro (2)"}));
}

TEST_F(StorageExportTest, PreviewCopiesArePerDevicePath) {
    device()
        .addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "first")
        .addMediaFile("/DCIM/101APPLE/IMG_0001.JPG", "second")
        .addMediaFileOfSize("/DCIM/101APPLE/IMG_0002.MOV", 4096)
        .addMediaDir("/DCIM/101APPLE/IMG_0003.JPG");
    const auto target = attachDevice();
    const auto first = filemanager::copyForPreview(target, "/DCIM/100APPLE/IMG_0001.JPG");
    const auto second = filemanager::copyForPreview(target, "/DCIM/101APPLE/IMG_0001.JPG");
    ASSERT_TRUE(first.copied());
    ASSERT_TRUE(second.copied());
    EXPECT_NE(first.path, second.path);
    EXPECT_EQ(first.path.filename(), "IMG_0001.JPG");
    EXPECT_EQ(readText(first.path), "first");
    EXPECT_EQ(readText(second.path), "second");
    EXPECT_EQ(first.path, filemanager::previewCopyPath(target, "/DCIM/100APPLE/IMG_0001.JPG"));

    // A node marked as copied exports its own copy.
    PRPhotoAndVideoNode node;
    node.setFilePath(QStringLiteral("/DCIM/101APPLE/IMG_0001.JPG"));
    node.setFileType(QString::fromLatin1(filemanager::kPhotoKindCameraRoll));
    node.setBhasCopy(true);
    EXPECT_EQ(filemanager::itemOfPhoto(node, target).localCopy, second.path);

    // Failures copy nothing and are not reported as copied.
    const auto large = filemanager::copyForPreview(target, "/DCIM/101APPLE/IMG_0002.MOV", 1024, {});
    EXPECT_EQ(large.result, PreviewCopyResult::TooLarge);
    EXPECT_FALSE(large.copied());
    EXPECT_FALSE(fs::exists(filemanager::previewCopyPath(target, "/DCIM/101APPLE/IMG_0002.MOV")));
    const auto missing = filemanager::copyForPreview(target, "/DCIM/101APPLE/IMG_0009.JPG");
    EXPECT_EQ(missing.result, PreviewCopyResult::Gone);
    EXPECT_EQ(filemanager::copyForPreview(target, "/DCIM/101APPLE/IMG_0003.JPG").result,
              PreviewCopyResult::NotAFile);
    detachDevice();
    const auto gone = filemanager::copyForPreview(target, "/DCIM/101APPLE/IMG_0002.MOV");
    EXPECT_EQ(gone.result, PreviewCopyResult::DeviceGone);
    EXPECT_FALSE(fs::exists(filemanager::previewCopyPath(target, "/DCIM/101APPLE/IMG_0002.MOV")));
}

TEST_F(StorageExportTest, ADeviceGoneMidExportLeavesNoPartialFiles) {
    device()
        .addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "one")
        .addMediaFileOfSize("/DCIM/100APPLE/IMG_0002.JPG", 3u << 20)
        .addMediaFile("/DCIM/100APPLE/IMG_0003.JPG", "three");
    const auto target = attachDevice();
    const std::vector<filemanager::StorageItem> items{
        fileItem(StorageKind::CameraRollPhoto, "/DCIM/100APPLE/IMG_0001.JPG", 3),
        fileItem(StorageKind::CameraRollPhoto, "/DCIM/100APPLE/IMG_0002.JPG", 3u << 20),
        fileItem(StorageKind::CameraRollPhoto, "/DCIM/100APPLE/IMG_0003.JPG", 5)};
    const fs::path out = tmp_ / "export";
    int checks = 0;
    const auto report = filemanager::exportStorageItems(target, items, out, {}, [&] {
        // Leaves while the second (multi-chunk) file is being copied.
        if (fs::exists(out / "IMG_0001.JPG") && ++checks == 3) {
            detachDevice();
        }
        return false;
    });
    EXPECT_EQ(report.status, CleanRunStatus::DeviceGone);
    EXPECT_EQ(outcomesOf(report),
              (std::vector<StorageOutcome>{StorageOutcome::Done, StorageOutcome::NotTried,
                                           StorageOutcome::NotTried}));
    EXPECT_EQ(report.bytes, 3u);
    EXPECT_EQ(folderNames(out), std::vector<std::string>{"IMG_0001.JPG"});
    EXPECT_TRUE(report.message.contains(QStringLiteral("disconnected")));
}

}  // namespace
}  // namespace nimbara::test
