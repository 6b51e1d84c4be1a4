#include "backup/manifest_media.h"
#include "backup/record_dates.h"
#include "backup/shah.h"
#include "ui/core/text_utilities.h"

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

// The kinds a manifest pass tells once per entry are those the separate look-ups tell: every
// extension of the three tables in either case, and paths whose last "." is no extension.
TEST(ManifestMediaTest, KindsToldOnceAreThoseOfTheSeparateLookUps) {
    auto separately = [](const std::string& path) {
        const auto suffix = nimbara::shell::getSuffix(path.c_str());
        if (!suffix) {
            return MediaKind::None;
        }
        if (nimbara::shell::GetImageType(suffix->c_str()) >= 0) {
            return MediaKind::Image;
        }
        return nimbara::shell::GetViedoType(suffix->c_str()) >= 0 ||
                       nimbara::shell::GetAudioType(suffix->c_str()) >= 0
                   ? MediaKind::Moving
                   : MediaKind::None;
    };
    std::vector<std::string> paths = {"Media/IMG_0001.JPG",
                                      "a/clip.mOv",
                                      "song.m4a",
                                      "x.dat",
                                      "dir.jpg/file",
                                      "noext",
                                      "a.",
                                      ".jpg",
                                      "a/caf\xe9.jpg",
                                      "a.jpg.txt",
                                      "a.txt.jpg",
                                      "a.jp\xc3\xa9g",
                                      "a.dvr-ms",
                                      "a." + std::string(19, 'x')};
    for (const auto table : {nimbara::shell::imageTypeTable(), nimbara::shell::videoTypeTable(),
                             nimbara::shell::audioTypeTable()}) {
        for (const char* extension : table) {
            const QString upper = QString::fromLatin1(extension);
            paths.push_back("Media/x." + upper.toStdString());
            paths.push_back("Media/x." + upper.toLower().toStdString());
        }
    }
    for (const std::string& path : paths) {
        EXPECT_EQ(mediaKindOf(path), separately(path)) << path;
    }
    // A path is a C text to the separate look-ups: it ends at a NUL byte.
    EXPECT_EQ(mediaKindOf(std::string("a.jpg\0.txt", 10)), MediaKind::Image);
    EXPECT_EQ(mediaKindOf(std::string("a.txt\0.jpg", 10)), MediaKind::None);

    const std::pair<const char*, ScanDomain> domains[] = {
        {"CameraRollDomain", ScanDomain::Media},
        {"MediaDomain", ScanDomain::Media},
        {"HomeDomain", ScanDomain::Media},
        {"AppDomain-com.facebook.Facebook", ScanDomain::Social},
        {"AppDomain-com.facebook.Messenger", ScanDomain::Social},
        {"AppDomain-com.atebits.Tweetie2", ScanDomain::Social},
        {"HomeDomain2", ScanDomain::None},
        {"homedomain", ScanDomain::None},
        {"", ScanDomain::None}};
    for (const auto& [domain, kind] : domains) {
        EXPECT_EQ(scanDomainOf(domain), kind) << domain;
        EXPECT_EQ(isMediaScanDomain(domain), kind != ScanDomain::None) << domain;
        EXPECT_EQ(isSocialAppDomain(domain), kind == ScanDomain::Social) << domain;
    }
    EXPECT_EQ(scanDomainOf(std::string("HomeDomain\0", 11)), ScanDomain::None);
}
