// The media-kind extension tables and path extensions.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "ui/core/text_utilities.h"

namespace nimbara::shell {
namespace {

TEST(FileKinds, TablesHoldTheirEntriesInOrder) {
    ASSERT_EQ(imageTypeTable().size(), 138u);
    ASSERT_EQ(videoTypeTable().size(), 55u);
    ASSERT_EQ(audioTypeTable().size(), 40u);
    EXPECT_STREQ(imageTypeTable().front(), "3DM");
    EXPECT_STREQ(imageTypeTable().back(), "XPS");
    EXPECT_STREQ(videoTypeTable().front(), "3G2");
    EXPECT_STREQ(videoTypeTable().back(), "YUV");
    EXPECT_STREQ(audioTypeTable().front(), "AMR");
    EXPECT_STREQ(audioTypeTable().back(), "PTF");
}

TEST(FileKinds, EveryEntryIsFoundAtItsFirstPosition) {
    struct Table {
        std::span<const char* const> entries;
        int (*lookUp)(const char*);
    };
    const Table tables[] = {{imageTypeTable(), GetImageType},
                            {videoTypeTable(), GetViedoType},
                            {audioTypeTable(), GetAudioType}};
    int repeated = 0;
    for (const Table& table : tables) {
        std::set<std::string> seen;
        for (std::size_t i = 0; i < table.entries.size(); ++i) {
            const char* entry = table.entries[i];
            ASSERT_GT(std::strlen(entry), 0u);
            for (const char* c = entry; *c != '\0'; ++c) {
                EXPECT_FALSE(*c >= 'a' && *c <= 'z') << entry;
            }
            if (!seen.insert(entry).second) {
                ++repeated;
                EXPECT_LT(table.lookUp(entry), static_cast<int>(i)) << entry;
            } else {
                EXPECT_EQ(table.lookUp(entry), static_cast<int>(i)) << entry;
            }
        }
    }
    // "CDR" and "DCR" stand twice in the image table.
    EXPECT_EQ(repeated, 2);
    EXPECT_EQ(GetImageType("CDR"), 14);
}

TEST(FileKinds, LookUpIgnoresCase) {
    EXPECT_EQ(GetImageType("jpg"), GetImageType("JPG"));
    EXPECT_GE(GetImageType("jpg"), 0);
    EXPECT_STREQ(imageTypeTable()[GetImageType("jPeG")], "JPEG");
    EXPECT_EQ(GetImageType("3dm"), 0);
    EXPECT_GE(GetViedoType("Mov"), 0);
    EXPECT_EQ(GetAudioType("amr"), 0);
    EXPECT_GE(GetViedoType("dvr-ms"), 0);
    EXPECT_EQ(GetImageType(QString("Png")), GetImageType("PNG"));
    EXPECT_EQ(GetAudioType(QString("m4a")), GetAudioType("M4A"));
}

TEST(FileKinds, UnknownAndMissingExtensionsAreNoKind) {
    EXPECT_EQ(GetImageType("txt"), -1);
    EXPECT_EQ(GetImageType(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(GetViedoType(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(GetAudioType(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(GetImageType(QString()), -1);
    EXPECT_EQ(GetImageType(""), -1);
    EXPECT_EQ(GetImageType("JPG "), -1);
    EXPECT_EQ(GetImageType(".jpg"), -1);
    EXPECT_EQ(GetAudioType("MP4"), -1);
    EXPECT_EQ(GetViedoType("MP3"), -1);
    // Non-ASCII letters are not folded onto ASCII ones.
    EXPECT_EQ(GetImageType("\xC3\x8C"
                           "CO"),
              -1);
}

TEST(PathSuffix, TakesTheTextAfterTheLastDotOfTheName) {
    EXPECT_EQ(getSuffix("/x/y.jpeg"), "jpeg");
    EXPECT_EQ(getSuffix("archive.tar.gz"), "gz");
    EXPECT_EQ(getSuffix("/a/file."), "");
    EXPECT_EQ(getSuffix("/a.b/c"), std::nullopt);
    EXPECT_EQ(getSuffix("/a/b/noext"), std::nullopt);
    EXPECT_EQ(getSuffix(nullptr), std::nullopt);
}

TEST(PathSuffix, RefusesExtensionsOfTwentyCharactersOrMore) {
    const std::string nineteen(19, 'x');
    const std::string twenty(20, 'x');
    EXPECT_EQ(getSuffix(("/a/b." + nineteen).c_str()), nineteen);
    EXPECT_EQ(getSuffix(("/a/b." + twenty).c_str()), std::nullopt);
}

}  // namespace
}  // namespace nimbara::shell
