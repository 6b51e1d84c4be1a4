#include "backup/manifest_pass.h"
#include "backup/manifest_mbdb.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "backup/shah.h"
#include "platform/notification_center.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace nimbara::backup;

namespace {

MbdbRecord entry(const char* domain, const char* path, std::uint16_t mode = 0100644) {
    MbdbRecord r;
    r.domain = domain;
    r.path = path;
    r.mode = mode;
    return r;
}

struct Observed {
    std::vector<std::shared_ptr<PRTreeDirNode>> entries;
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> media;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> social;
    nimbara::ObserverBag bag;

    explicit Observed(nimbara::NotificationCenter& center) {
        bag.add(center.addObserver(kFindBackupFileNotification, [this](const auto& n) {
            entries.push_back(n.template objectAs<std::shared_ptr<PRTreeDirNode>>());
        }));
        bag.add(center.addObserver(kScanPhotoAndVideoNotification, [this](const auto& n) {
            media.push_back(n.template objectAs<std::shared_ptr<PRPhotoAndVideoNode>>());
        }));
        bag.add(center.addObserver(kScanFaceTwitterNotification, [this](const auto& n) {
            social.push_back(n.template objectAs<std::shared_ptr<PRFaceTwitterNode>>());
        }));
    }
};

}  // namespace

TEST(ManifestPassTest, AnnouncesEntriesAndPicksMedia) {
    nimbara::test::TempDir backup;
    nimbara::test::writeText(backup / "Manifest.mbdb",
                             writeMbdb({entry("HomeDomain", "Library/SMS/sms.db"),
                                        entry("AppDomain-com.example.app", "Documents/x.jpg"),
                                        entry("CameraRollDomain", "Media/DCIM/IMG_0001.JPG"),
                                        entry("AppDomain-com.atebits.Tweetie2", "Library/a.png"),
                                        entry("MediaDomain", "Library/SMS/sms.db")}));
    nimbara::test::writeText(backup / fileKey("AppDomain-com.atebits.Tweetie2", "Library/a.png"),
                             "png");

    nimbara::NotificationCenter center;
    Observed seen(center);
    std::vector<int> progress;
    const ManifestPassResult r = runManifestPass(
        QString::fromStdString(backup.str()), center,
        {.stopRequested = {}, .postProgress = [&](int p) { progress.push_back(p); }});
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.kind, ManifestKind::Mbdb);
    ASSERT_EQ(seen.entries.size(), 5u);
    EXPECT_EQ(seen.entries[0]->fileKey(),
              QString::fromStdString(backup.str() + "/3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
    // the app entry is listed but not a media-scan entry; the image of a social app gives both
    EXPECT_EQ(r.treeFileArray.size(), 4u);
    ASSERT_EQ(seen.media.size(), 2u);
    EXPECT_EQ(seen.media[0]->fileNodeName(), "IMG_0001.JPG");
    ASSERT_EQ(seen.social.size(), 1u);
    EXPECT_EQ(seen.social[0]->faceTwitterFileName(), "a.png");
    ASSERT_FALSE(progress.empty());
    for (int p : progress) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 20);
    }
    EXPECT_EQ(progress.back(), 20);
    // the later of two entries with the same path answers the look-up
    EXPECT_EQ(
        getFileKeyBytheFilepath(r.treeFileArray, "Library/SMS/sms.db"),
        QString::fromStdString(backup.str() + "/" + fileKey("MediaDomain", "Library/SMS/sms.db")));
    EXPECT_TRUE(getFileKeyBytheFilepath(r.treeFileArray, "library/sms/sms.db").isEmpty());
}

TEST(ManifestPassTest, DamagedOrMissingListsAndStopping) {
    nimbara::NotificationCenter center;
    Observed seen(center);
    nimbara::test::TempDir empty;
    const ManifestPassResult none = runManifestPass(QString::fromStdString(empty.str()), center);
    EXPECT_FALSE(none.error.empty());
    EXPECT_TRUE(seen.entries.empty());

    // a cut last record: the complete ones are still announced, and the damage is reported
    nimbara::test::TempDir cut;
    std::string bytes = writeMbdb({entry("HomeDomain", "a"), entry("HomeDomain", "b")});
    bytes.resize(bytes.size() - 3);
    nimbara::test::writeText(cut / "Manifest.mbdb", bytes);
    const ManifestPassResult partial = runManifestPass(QString::fromStdString(cut.str()), center);
    EXPECT_FALSE(partial.error.empty());
    EXPECT_EQ(seen.entries.size(), 1u);

    // stopping between entries
    seen.entries.clear();
    nimbara::test::writeText(cut / "Manifest.mbdb",
                             writeMbdb({entry("HomeDomain", "a"), entry("HomeDomain", "b")}));
    const ManifestPassResult stopped = runManifestPass(
        QString::fromStdString(cut.str()), center,
        {.stopRequested = [&] { return !seen.entries.empty(); }, .postProgress = {}});
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(seen.entries.size(), 1u);
}

TEST(ManifestPassTest, FoldersAndLinksNamedLikePicturesAreNoMedia) {
    nimbara::test::TempDir backup;
    const char* thumbnails = "Media/PhotoData/Thumbnails/V2/DCIM/100APPLE/IMG_0024.PNG";
    nimbara::test::writeText(
        backup / "Manifest.mbdb",
        writeMbdb({entry("CameraRollDomain", thumbnails, 040755),
                   entry("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0025.MOV", 0120755),
                   entry("AppDomain-com.facebook.Facebook", "Library/Caches/a.jpg", 040755),
                   entry("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0024.PNG")}));
    nimbara::test::writeText(
        backup / fileKey("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0024.PNG"), "png");
    // Even a stored file under a folder's key does not make the folder a social-app file.
    nimbara::test::writeText(
        backup / fileKey("AppDomain-com.facebook.Facebook", "Library/Caches/a.jpg"), "odd");

    nimbara::NotificationCenter center;
    Observed seen(center);
    const ManifestPassResult r = runManifestPass(QString::fromStdString(backup.str()), center);
    ASSERT_TRUE(r.error.empty()) << r.error;
    ASSERT_EQ(seen.entries.size(), 4u);
    using Kind = PRTreeDirNode::EntryKind;
    EXPECT_EQ(seen.entries[0]->entryKind(), Kind::Folder);
    EXPECT_EQ(seen.entries[1]->entryKind(), Kind::Link);
    EXPECT_EQ(seen.entries[2]->entryKind(), Kind::Folder);
    EXPECT_EQ(seen.entries[3]->entryKind(), Kind::File);
    ASSERT_EQ(seen.media.size(), 1u);
    EXPECT_EQ(seen.media[0]->filePath(), seen.entries[3]->fileKey());
    EXPECT_TRUE(seen.social.empty());
    // Every listed picture is stored; the folder and the link hold no file to miss.
    EXPECT_EQ(r.missingFiles, 0u);
    EXPECT_EQ(r.listedFileKeys.size(), 1u);
    const QString storedKey = seen.entries[3]->fileKey().right(40);
    EXPECT_TRUE(r.listedFileKeys.contains(storedKey.toStdString()));
    EXPECT_TRUE(r.listedFileKeys.contains(storedKey.toUpper().toStdString()));
    EXPECT_FALSE(r.listedFileKeys.contains("../" + storedKey.toStdString()));
    EXPECT_FALSE(r.listedFileKeys.contains(fileKey("CameraRollDomain", thumbnails)));
    // A look-up of the folder's path finds no file.
    EXPECT_TRUE(getFileKeyBytheFilepath(r.treeFileArray, thumbnails).isEmpty());
}
