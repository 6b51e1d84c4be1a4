// Unpacking archives from outside: what is refused before anything is written, and what fails
// part way without writing outside the target.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/zip_unpack.h"
#include "test_support.h"

namespace fs = std::filesystem;
using nimbara::test::folderNames;
using nimbara::test::readText;

namespace {

using Entry = nimbara::test::ZipEntry;

fs::path archiveOf(const fs::path& file, const std::vector<Entry>& entries) {
    EXPECT_TRUE(nimbara::test::writeZip(file, entries));
    return file;
}

class ZipUnpackTest : public ::testing::Test {
  protected:
    fs::path dest(const std::string& name) {
        const fs::path d = tmp / "out" / name;
        fs::create_directories(d);
        return d;
    }
    nimbara::test::TempDir tmp;
};

TEST_F(ZipUnpackTest, UnpacksPlainEntriesWithTheirFoldersAndExecutableBits) {
    const fs::path zip = archiveOf(tmp / "ok.zip", {{"Payload/", "", S_IFDIR | 0755},
                                                    {"Payload/A.app/Info.plist", "info"},
                                                    {"Payload/A.app/A", "binary", S_IFREG | 0755},
                                                    {"Payload/A.app/empty", ""}});
    const fs::path out = dest("ok");
    const nimbara::ZipUnpackResult r = nimbara::unpackZip(zip, out);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.files, 3u);
    EXPECT_EQ(r.bytes, 10u);
    EXPECT_EQ(readText(out / "Payload/A.app/Info.plist"), "info");
    EXPECT_TRUE(fs::is_regular_file(out / "Payload/A.app/empty"));
    EXPECT_NE(fs::status(out / "Payload/A.app/A").permissions() & fs::perms::owner_exec,
              fs::perms::none);
    EXPECT_EQ(fs::status(out / "Payload/A.app/Info.plist").permissions() & fs::perms::owner_exec,
              fs::perms::none);
}

TEST_F(ZipUnpackTest, RefusesHostileArchivesBeforeWritingAnything) {
    const std::vector<std::pair<std::vector<Entry>, std::string>> cases = {
        {{{"a.txt", "x"}, {"../up.txt", "x"}}, "climbs out"},
        {{{"a.txt", "x"}, {"a/../../up.txt", "x"}}, "climbs out"},
        {{{"a.txt", "x"}, {"/abs.txt", "x"}}, "absolute"},
        {{{"a.txt", "x"}, {"dir\\up.txt", "x"}}, "no folder can hold"},
        {{{"a.txt", "x"}, {"a//b.txt", "x"}}, "empty or odd"},
        {{{"a.txt", "x"}, {"./b.txt", "x"}}, "empty or odd"},
        {{{"a.txt", "x"}, {"link", "/etc", S_IFLNK | 0777}}, "link"},
        {{{"a.txt", "x"}, {"fifo", "", S_IFIFO | 0644}}, "special"},
        {{{"a.txt", "x"}, {"a.txt/", "", S_IFDIR | 0755}}, "twice"},
    };
    int n = 0;
    for (const auto& [entries, says] : cases) {
        SCOPED_TRACE(says + " " + std::to_string(n));
        const fs::path zip = archiveOf(tmp / ("bad" + std::to_string(n) + ".zip"), entries);
        const fs::path out = dest("bad" + std::to_string(n++));
        const nimbara::ZipUnpackResult r = nimbara::unpackZip(zip, out);
        EXPECT_FALSE(r);
        EXPECT_NE(r.error.find(says), std::string::npos) << r.error;
        EXPECT_TRUE(folderNames(out).empty()) << "checked before anything is written";
    }
    EXPECT_EQ(folderNames(tmp / "out").size(), cases.size()) << "nothing beside the targets";
}

TEST_F(ZipUnpackTest, EntriesThatDisagreeFailInsideTheTarget) {
    // A file "a" and then a file below "a": the second can't be made.
    const fs::path zip = archiveOf(tmp / "clash.zip", {{"a", "file"}, {"a/b", "below"}});
    const fs::path out = dest("clash");
    const nimbara::ZipUnpackResult r = nimbara::unpackZip(zip, out);
    EXPECT_FALSE(r);
    EXPECT_EQ(readText(out / "a"), "file");
    EXPECT_EQ(folderNames(tmp / "out"), std::vector<std::string>{"clash"});
}

TEST_F(ZipUnpackTest, RefusesATargetInUseAFileThatIsNoArchiveLimitsAndAStop) {
    const fs::path zip = archiveOf(tmp / "ok.zip", {{"a.txt", "0123456789"}, {"b.txt", "x"}});
    const fs::path busy = dest("busy");
    nimbara::test::writeText(busy / "mine.txt", "mine");
    EXPECT_FALSE(nimbara::unpackZip(zip, busy));
    EXPECT_EQ(folderNames(busy), std::vector<std::string>{"mine.txt"});

    nimbara::test::writeText(tmp / "text.zip", "not a zip");
    EXPECT_EQ(nimbara::unpackZip(tmp / "text.zip", dest("text")).error,
              "the file is not a zip archive");

    nimbara::ZipUnpackLimits small;
    small.maxBytes = 5;
    EXPECT_FALSE(nimbara::unpackZip(zip, dest("big"), {}, small));
    small = {};
    small.maxEntries = 1;
    EXPECT_FALSE(nimbara::unpackZip(zip, dest("many"), {}, small));
    EXPECT_TRUE(folderNames(tmp / "out" / "many").empty());

    EXPECT_EQ(nimbara::unpackZip(zip, dest("stop"), [] { return true; }).error, "stopped");
}

// Rewrites the unpacked size that the local header and the central directory record for every
// entry of the archive.
void declareSize(const fs::path& zip, std::uint32_t size) {
    std::string bytes = readText(zip);
    const auto patch = [&bytes, size](const std::string& signature, std::size_t offset) {
        for (std::size_t at = bytes.find(signature); at != std::string::npos;
             at = bytes.find(signature, at + 4)) {
            for (int i = 0; i < 4; ++i) {
                bytes[at + offset + i] = static_cast<char>((size >> (8 * i)) & 0xff);
            }
        }
    };
    patch(std::string("PK\x03\x04", 4), 22);
    patch(std::string("PK\x01\x02", 4), 24);
    nimbara::test::writeText(zip, bytes);
}

TEST_F(ZipUnpackTest, AnEntryLargerThanItsDeclaredSizeFailsAndIsRemoved) {
    const std::size_t actual = 1024 * 1024;
    const std::vector<std::pair<std::uint32_t, bool>> cases = {
        {0, false}, {10, false}, {actual - 1, false}, {actual, true}};
    for (const auto& [declared, fits] : cases) {
        SCOPED_TRACE(declared);
        const std::string name = "under" + std::to_string(declared);
        const fs::path zip = archiveOf(tmp / (name + ".zip"), {{"big", std::string(actual, 'z')}});
        declareSize(zip, declared);
        const fs::path out = dest(name);
        const nimbara::ZipUnpackResult r = nimbara::unpackZip(zip, out);
        EXPECT_EQ(static_cast<bool>(r), fits) << r.error;
        if (!fits) {
            EXPECT_NE(r.error.find("holds more than the archive says: big"), std::string::npos)
                << r.error;
            EXPECT_FALSE(fs::exists(out / "big")) << "what was written is removed";
        }
    }
}

}  // namespace
