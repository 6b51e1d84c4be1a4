#include "backup/manifest_media.h"
#include "backup/record_dates.h"
#include "backup/shah.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace nimbara::backup;

namespace {

// Puts a stored file for the entry into the flat backup folder and returns its record.
std::shared_ptr<PRTreeDirNode> storedRecord(const nimbara::test::TempDir& dir,
                                            const std::string& domain, const std::string& path,
                                            const std::string& content) {
    BackupEntry entry;
    entry.domain = domain;
    entry.relativePath = path;
    entry.fileKey = fileKey(domain, path);
    if (!content.empty()) {
        nimbara::test::writeText(dir / entry.fileKey, content);
    }
    return makeTreeDirNode(entry, dir.str(), BackupLayout::Flat);
}

}  // namespace

TEST(ManifestMediaTest, RecordsCarryTheStoredPath) {
    BackupEntry entry;
    entry.domain = "HomeDomain";
    entry.relativePath = std::string("Media/\xff.jpg");
    entry.fileKey = fileKey(entry.domain, entry.relativePath);
    const auto flat = makeTreeDirNode(entry, "/b", BackupLayout::Flat);
    EXPECT_EQ(flat->fileDomain(), "HomeDomain");
    EXPECT_EQ(flat->filePath(), QString::fromUtf8("Media/\xEF\xBF\xBD.jpg"));  // replaced
    EXPECT_EQ(flat->fileKey(), QString::fromStdString("/b/" + entry.fileKey));
    const auto sharded = makeTreeDirNode(entry, "/b", BackupLayout::Sharded);
    EXPECT_EQ(sharded->fileKey(),
              QString::fromStdString("/b/" + entry.fileKey.substr(0, 2) + "/" + entry.fileKey));
    entry.fileKey = "../escape";
    EXPECT_EQ(makeTreeDirNode(entry, "/b", BackupLayout::Flat)->fileKey(), "");
}

TEST(ManifestMediaTest, PicksMediaAndSocialFiles) {
    EXPECT_TRUE(isMediaScanDomain("CameraRollDomain"));
    EXPECT_TRUE(isMediaScanDomain("AppDomain-com.atebits.Tweetie2"));
    EXPECT_FALSE(isMediaScanDomain("HomeDomain2"));
    EXPECT_FALSE(isSocialAppDomain("HomeDomain"));

    nimbara::test::TempDir dir;
    // a database is listed but is no media
    const auto sms = storedRecord(dir, "HomeDomain", "Library/SMS/sms.db", "x");
    const MediaRecords none = GetMediaFileByNode(*sms);
    EXPECT_FALSE(none.media);
    EXPECT_FALSE(none.social);

    const auto photo = storedRecord(dir, "CameraRollDomain", "Media/DCIM/IMG_0001.JPG", "12345");
    const MediaRecords p = GetMediaFileByNode(*photo);
    ASSERT_TRUE(p.media);
    EXPECT_FALSE(p.media->bmov());
    EXPECT_EQ(p.media->fileNodeName(), "IMG_0001.JPG");
    EXPECT_EQ(p.media->fileSizeNumber(), 5u);
    EXPECT_EQ(p.media->filePath(), photo->fileKey());
    EXPECT_FALSE(p.social);

    // the first entries of the extension tables count as well
    for (const char* name : {"memo.amr", "clip.3g2", "clip.mov", "song.m4a"}) {
        const auto r = storedRecord(dir, "MediaDomain", std::string("Media/") + name, "");
        const MediaRecords m = GetMediaFileByNode(*r);
        ASSERT_TRUE(m.media) << name;
        EXPECT_TRUE(m.media->bmov()) << name;
        EXPECT_EQ(m.media->fileSizeNumber(), 0u);  // not stored
    }

    // an image of a social app gives both records; a missing social file gives none
    const auto tweet = storedRecord(dir, "AppDomain-com.atebits.Tweetie2", "Library/a.png", "ab");
    const MediaRecords t = GetMediaFileByNode(*tweet);
    ASSERT_TRUE(t.media);
    ASSERT_TRUE(t.social);
    EXPECT_EQ(t.social->faceTwitterFileName(), "a.png");
    EXPECT_EQ(t.social->faceTwitterFilePath(), tweet->fileKey());
    EXPECT_FALSE(t.social->fileSize().isEmpty());
    const auto gone = storedRecord(dir, "AppDomain-com.facebook.Facebook", "Library/db", "");
    EXPECT_FALSE(GetMediaFileByNode(*gone).social);
}

// The list's "Date" is the file's last change as the manifest lists it; none when it lists none
// (or a time a record cannot hold).
TEST(ManifestMediaTest, MediaDateComesFromTheManifest) {
    struct Case {
        std::int64_t modified;
        bool dated;
    };
    const Case cases[] = {
        {1500000000, true}, {1, true}, {0, false}, {-5, false}, {std::int64_t{1} << 40, false}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.modified);
        BackupEntry entry;
        entry.domain = "CameraRollDomain";
        entry.relativePath = "Media/DCIM/IMG_0002.JPG";
        entry.fileKey = fileKey(entry.domain, entry.relativePath);
        entry.modified = test.modified;
        const MediaRecords r =
            GetMediaFileByNode(*makeTreeDirNode(entry, "/b", BackupLayout::Flat));
        ASSERT_TRUE(r.media);
        EXPECT_EQ(r.media->fileModifyTime(),
                  test.dated ? recordDateText(static_cast<double>(test.modified)) : QString());
    }
}
