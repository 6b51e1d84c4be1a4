// The private scratch root and its fixed-name folders.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "platform/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

unsigned modeOf(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 0777) : 0;
}

TEST(ScratchDir, RootAndFoldersArePrivateAndStable) {
    const fs::path root = nimbara::scratchRoot();
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(nimbara::scratchRoot(), root);
    EXPECT_EQ(modeOf(root), 0700u);

    const fs::path db = nimbara::scratchFolder("DB");
    EXPECT_EQ(db, root / "DB");
    EXPECT_EQ(modeOf(db), 0700u);
    EXPECT_EQ(nimbara::scratchFolder("DB/"), db);

    const fs::path nested = nimbara::scratchFolder("tmp/0123abcd");
    EXPECT_EQ(nested, root / "tmp" / "0123abcd");
    EXPECT_EQ(modeOf(root / "tmp"), 0700u);
    EXPECT_EQ(modeOf(nested), 0700u);
}

TEST(ScratchDir, NamesThatCouldLeaveTheRootAreRefused) {
    const fs::path root = nimbara::scratchRoot();
    for (const char* bad : {"", "/etc", "..", "../x", "a/../../x", ".", "a b", "x\\y"}) {
        EXPECT_TRUE(nimbara::scratchFolder(bad).empty()) << bad;
    }
    EXPECT_FALSE(fs::exists(root.parent_path() / "x"));

    // A link planted inside the root is not followed.
    std::error_code ec;
    fs::create_directory_symlink("/", root / "link", ec);
    ASSERT_FALSE(ec);
    EXPECT_TRUE(nimbara::scratchFolder("link").empty());
    EXPECT_TRUE(nimbara::scratchFolder("link/tmp").empty());
    fs::remove(root / "link");
}

TEST(ScratchDir, RemovedRootIsMadeAfresh) {
    const fs::path old = nimbara::scratchRoot();
    ASSERT_FALSE(nimbara::scratchFolder("Photos").empty());
    nimbara::removeScratchRoot();
    EXPECT_FALSE(fs::exists(old));
    const fs::path fresh = nimbara::scratchRoot();
    EXPECT_FALSE(fresh.empty());
    EXPECT_TRUE(fs::is_directory(fresh));
    EXPECT_EQ(modeOf(fresh), 0700u);
}

}  // namespace
