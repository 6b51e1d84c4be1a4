// The track node: its defaults, and the local name a copy of a track gets whatever its title.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "test_support.h"
#include "transfer/ik_image_item.h"
#include "transfer/media_library.h"
#include "transfer/pr_tran_app_node.h"
#include "transfer/pr_tran_music_node.h"

namespace nimbara::test {
namespace {

std::string nameFor(const QString& title, const QString& location) {
    PRTranMusicNode node;
    node.setMusicTitle(title);
    node.setMusicLoctionpath(location);
    return node.localFileName();
}

TEST(TranMusicNode, FreshNodeShowsBlanksButLocationAndAlbum) {
    PRTranMusicNode node;
    for (const QString& text :
         {node.musicTitle(), node.musicType(), node.musicArtist(), node.musicFileSize(),
          node.musicRating(), node.musicTime(), node.musicGenre(), node.musicPid(),
          node.artistPid(), node.albumPid(), node.bCopyLocationPath()}) {
        EXPECT_EQ(text, QStringLiteral(" "));
    }
    EXPECT_TRUE(node.musicLoctionpath().isEmpty());
    EXPECT_FALSE(node.musicLoctionpath().isNull());
    EXPECT_TRUE(node.musicAlbm().isNull());
    EXPECT_FALSE(node.bhasCopy());
    EXPECT_EQ(node.fileSizeNumber(), 0u);
}

TEST(TransferNodes, ImageItemsAndAppNodes) {
    IKImageItem item;
    EXPECT_TRUE(item.filePath().isNull());
    EXPECT_EQ(item.fileType(), QStringLiteral("Image"));
    EXPECT_FALSE(item.bhasCopy());
    EXPECT_TRUE(item.hasCopy().isNull());
    EXPECT_EQ(item.imageRepresentationType(), IKImageItem::RepresentationType::Path);
    item.setFilePath(QStringLiteral("/scratch/Photos/IMG_0001.MOV"));
    item.setFileType(QStringLiteral("Movie"));
    EXPECT_EQ(item.imageRepresentationType(), IKImageItem::RepresentationType::QuickLookPath);
    // Any type but "Image" is shown through a preview.
    item.setFileType(QStringLiteral("image"));
    EXPECT_EQ(item.imageRepresentationType(), IKImageItem::RepresentationType::QuickLookPath);
    EXPECT_EQ(item.imageRepresentation(), item.filePath());
    EXPECT_EQ(item.imageUID(), item.filePath());

    PRTranAppNode app;
    EXPECT_TRUE(app.appFileName().isNull());
    EXPECT_TRUE(app.appVersion().isNull());
    EXPECT_TRUE(app.appFileSize().isNull());
}

TEST(TranMusicNode, MediaKindTwoAloneIsVideo) {
    EXPECT_EQ(transfer::mediaTypeForKind(2), QStringLiteral("Video"));
    for (std::int64_t kind : {0, 1, 4, 8, 32, 1024, -2}) {
        EXPECT_EQ(transfer::mediaTypeForKind(kind), QStringLiteral("Music")) << kind;
    }
}

TEST(TranMusicNode, LocalFileNameKeepsHostileTitlesInsideTheFolder) {
    EXPECT_EQ(nameFor(QStringLiteral("Harbour Lights"),
                      QStringLiteral("/iTunes_Control/Music/F03/KJHG.m4a")),
              "Harbour Lights.m4a");
    // The blank default title and an empty one: the media file's own name.
    EXPECT_EQ(nameFor(QStringLiteral(" "), QStringLiteral("/iTunes_Control/Music/F03/KJHG.m4a")),
              "KJHG.m4a");
    EXPECT_EQ(nameFor(QString(), QString()), "Untitled");

    TempDir tmp;
    const std::filesystem::path folder = tmp.path() / "export";
    std::filesystem::create_directories(folder);
    const QString location = QStringLiteral("/iTunes_Control/Music/F22/HJKL.m4a");
    for (const QString& title :
         {QStringLiteral("AC/DC ../Live"), QStringLiteral(".."), QStringLiteral("."),
          QStringLiteral("../../../etc/passwd"), QStringLiteral("/"), QStringLiteral(".hidden"),
          QStringLiteral("a\\b:c*d?\"e<f>g|h"), QString(300, QLatin1Char('x')),
          QString::fromUtf8("Caf\xc3\xa9 ") + QString(200, QChar(0x00e9))}) {
        const std::string name = nameFor(title, location);
        EXPECT_FALSE(name.empty()) << title.toStdString();
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_NE(name.front(), '.') << name;
        EXPECT_EQ(name.find(".."), std::string::npos) << name;
        EXPECT_LE(name.size(), 255u) << name;
        EXPECT_TRUE(name.ends_with(".m4a")) << name;
        // The name makes a file right inside the folder.
        const std::filesystem::path file = folder / name;
        std::ofstream(file) << "x";
        EXPECT_TRUE(std::filesystem::is_regular_file(file)) << name;
        EXPECT_EQ(file.parent_path(), folder) << name;
    }
    // The node itself keeps the title as the device wrote it.
    PRTranMusicNode node;
    node.setMusicTitle(QStringLiteral("AC/DC ../Live"));
    node.localFileName();
    EXPECT_EQ(node.musicTitle(), QStringLiteral("AC/DC ../Live"));
    // An extension that is no plain one is not taken over.
    EXPECT_EQ(nameFor(QStringLiteral("Song"), QStringLiteral("/F00/odd.m4a/..")), "Song");
}

}  // namespace
}  // namespace nimbara::test
