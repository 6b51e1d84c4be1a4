// The private scratch root and its fixed-name folders.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/scratch_dir.h"
#include "test_support.h"

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
    // A name of this run's own, so that nothing else in the temporary folder can stand for it.
    const std::string escape = "nimbara-escape-" + std::to_string(::getpid());
    for (const std::string& bad :
         {std::string(), std::string("/etc"), std::string(".."), "../" + escape,
          "a/../../" + escape, std::string("."), std::string("a b"), std::string("x\\y")}) {
        EXPECT_TRUE(nimbara::scratchFolder(bad).empty()) << bad;
    }
    EXPECT_FALSE(fs::exists(root.parent_path() / escape));

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

// The id of a process that has ended (and been reaped).
pid_t deadPid() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

// A scratch root as a process would leave it: mode 0700, a lock file and some contents.
fs::path makeRoot(const fs::path& base, const std::string& name, bool withLock = true) {
    const fs::path root = base / name;
    fs::create_directory(root);
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::replace);
    if (withLock) {
        nimbara::test::writeText(root / ".lock", "");
    }
    fs::create_directories(root / "DB");
    nimbara::test::writeText(root / "DB" / "AddressBook.sqlitedb", "contacts");
    return root;
}

TEST(ScratchDir, AbandonedRootsAreRemovedAtStartUp) {
    nimbara::test::TempDir base;
    nimbara::test::TempDir outside;
    nimbara::test::writeText(outside / "keep.txt", "not ours");
    const std::string dead = std::to_string(deadPid());
    const std::string self = std::to_string(getpid());

    // Left by a crash: nobody holds the lock. A link inside leads outside and is not followed.
    const fs::path crashed = makeRoot(base.path(), "nimbara-" + self + "-aB3xYz");
    fs::create_directory_symlink(outside.path(), crashed / "DB" / "link");
    // Killed while its root was being made: no lock yet, and its process is gone.
    const fs::path unlocked = makeRoot(base.path(), "nimbara-" + dead + "-q1w2e3", false);
    // Alive: another process holds the lock (here a second open file of ours).
    const fs::path held = makeRoot(base.path(), "nimbara-" + dead + "-LOCKED");
    const int holder = ::open((held / ".lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    // Being made right now by a live process: no lock yet.
    const fs::path making = makeRoot(base.path(), "nimbara-" + self + "-making", false);
    // Look-alikes: a link to a folder, a file, a folder of another user, other names.
    const fs::path stale = makeRoot(outside.path(), "nimbara-" + dead + "-target");
    fs::create_directory_symlink(stale, base / ("nimbara-" + dead + "-linked"));
    nimbara::test::writeText(base / ("nimbara-" + dead + "-a-file"), "x");
    const fs::path foreign = makeRoot(base.path(), "nimbara-" + dead + "-other");
    const bool chowned = geteuid() == 0 && ::chown(foreign.c_str(), 4242, 4242) == 0;
    const fs::path loose = makeRoot(base.path(), "nimbara-" + dead + "-loose");
    fs::permissions(loose, fs::perms::owner_all | fs::perms::group_read, fs::perm_options::replace);
    const std::vector<std::string> otherNames = {"nimbara-x1-abcdef", "nimbara--abcdef",
                                                 "nimbara-1-abc",     "nimbara-1-abcdefg",
                                                 "nimbara-abcdef",    "other-1-abcdef"};
    for (const std::string& name : otherNames) {
        makeRoot(base.path(), name);
    }

    EXPECT_EQ(nimbara::removeAbandonedScratchRoots(base.path()), 2u);
    EXPECT_FALSE(fs::exists(crashed));
    EXPECT_FALSE(fs::exists(unlocked));
    EXPECT_EQ(nimbara::test::readText(outside / "keep.txt"), "not ours");

    EXPECT_TRUE(fs::exists(held / "DB" / "AddressBook.sqlitedb"));
    EXPECT_TRUE(fs::exists(making / "DB" / "AddressBook.sqlitedb"));
    EXPECT_TRUE(fs::exists(stale / "DB" / "AddressBook.sqlitedb"));
    EXPECT_TRUE(fs::is_symlink(base / ("nimbara-" + dead + "-linked")));
    EXPECT_TRUE(fs::is_regular_file(base / ("nimbara-" + dead + "-a-file")));
    EXPECT_EQ(fs::exists(foreign / "DB" / "AddressBook.sqlitedb"), chowned);
    EXPECT_TRUE(fs::exists(loose / "DB" / "AddressBook.sqlitedb"));
    for (const std::string& name : otherNames) {
        EXPECT_TRUE(fs::exists(base / name / "DB")) << name;
    }

    // Once its lock is let go, the held root is found abandoned too.
    ::close(holder);
    EXPECT_EQ(nimbara::removeAbandonedScratchRoots(base.path()), 1u);
    EXPECT_FALSE(fs::exists(held));
}

TEST(ScratchDir, TheLiveRootIsNeverSwept) {
    // This process's root is made afresh in a folder of the test's own.
    nimbara::test::TempDir base;
    const char* saved = std::getenv("TMPDIR");
    const std::string savedTmpdir = saved != nullptr ? saved : "";
    nimbara::removeScratchRoot();
    ::setenv("TMPDIR", base.str().c_str(), 1);
    const fs::path root = nimbara::scratchRoot();
    if (saved != nullptr) {
        ::setenv("TMPDIR", savedTmpdir.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    ASSERT_EQ(root.parent_path(), base.path());
    ASSERT_FALSE(nimbara::scratchFolder("DB").empty());
    nimbara::test::writeText(root / "DB" / "copy.sqlitedb", "x");
    const std::string name = root.filename().string();
    EXPECT_EQ(name.rfind("nimbara-" + std::to_string(getpid()) + "-", 0), 0u) << name;
    EXPECT_TRUE(fs::is_regular_file(root / ".lock"));
    const int probe = ::open((root / ".lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0) << "the live root's lock is held";
    ::close(probe);

    EXPECT_EQ(nimbara::removeAbandonedScratchRoots(base.path()), 0u);
    EXPECT_TRUE(fs::exists(root / "DB" / "copy.sqlitedb"));

    // Removed at the end, it leaves nothing behind.
    nimbara::removeScratchRoot();
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(fs::is_empty(base.path()));
}

}  // namespace
