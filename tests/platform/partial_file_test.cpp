// Files written under a temporary name beside their target.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/partial_file.h"
#include "platform/plist_value.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using nimbara::PartialFile;
using nimbara::test::folderNames;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

TEST(PartialFile, TemporaryNamesAreShortHiddenAndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string name = nimbara::temporaryFileName();
        EXPECT_EQ(name.size(), 33u) << name;
        EXPECT_EQ(name.front(), '.');
        EXPECT_EQ(name.find('/'), std::string::npos);
        seen.insert(name);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(PartialFile, TargetsWithTheLongestNamesAreWritten) {
    TempDir dir;
    for (std::size_t length : {std::size_t(1), std::size_t(248), std::size_t(255)}) {
        SCOPED_TRACE(length);
        const fs::path target = dir / std::string(length, 'x');
        PartialFile file(target);
        ASSERT_TRUE(file.valid()) << std::strerror(file.error());
        EXPECT_EQ(file.path().parent_path(), dir.path());
        EXPECT_TRUE(file.write("bytes", 5));
        EXPECT_TRUE(file.commit());
        EXPECT_EQ(readText(target), "bytes");
    }
    EXPECT_EQ(folderNames(dir.path()).size(), 3u) << "no temporary file stays behind";

    // The same holds for a property list written to such a name.
    const fs::path plist = dir / (std::string(249, 'p') + ".plist");
    EXPECT_TRUE(nimbara::PlistValue(std::string("value")).writeFile(plist.string()));
    EXPECT_TRUE(fs::is_regular_file(plist));
    EXPECT_EQ(folderNames(dir.path()).size(), 4u);
}

TEST(PartialFile, TheTargetChangesOnlyOnCommit) {
    TempDir dir;
    const fs::path target = dir / "file";
    writeText(target, "old");
    {
        PartialFile abandoned(target);
        ASSERT_TRUE(abandoned.valid());
        EXPECT_TRUE(abandoned.write("new", 3));
        EXPECT_EQ(readText(target), "old");
        EXPECT_TRUE(fs::exists(abandoned.path()));
    }
    EXPECT_EQ(readText(target), "old");
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"file"});

    PartialFile written(target);
    ASSERT_TRUE(written.valid());
    EXPECT_TRUE(written.write("new", 3));
    EXPECT_TRUE(written.commit());
    EXPECT_FALSE(written.commit()) << "a second commit has nothing to commit";
    EXPECT_EQ(readText(target), "new");
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"file"});
}

TEST(PartialFile, FailuresLeaveNothingBehind) {
    TempDir dir;
    PartialFile missingFolder(dir / "no" / "file");
    EXPECT_FALSE(missingFolder.valid());
    EXPECT_EQ(missingFolder.error(), ENOENT);
    EXPECT_FALSE(missingFolder.write("x", 1));
    EXPECT_FALSE(missingFolder.commit());

    // A commit that can't rename (the target is a folder that isn't empty) keeps the folder and
    // removes the temporary file.
    fs::create_directories(dir / "busy" / "inside");
    {
        PartialFile file(dir / "busy");
        ASSERT_TRUE(file.valid());
        EXPECT_TRUE(file.write("x", 1));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"busy"});
    EXPECT_TRUE(fs::is_directory(dir / "busy" / "inside"));
}

}  // namespace
