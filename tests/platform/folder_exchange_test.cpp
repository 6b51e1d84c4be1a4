// Exchanging folders so that no kill loses either, putting back what a killed exchange parked,
// and removing the working folders that ended programs left.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "killed_exchange.h"
#include "platform/folder_exchange.h"
#include "test_support.h"

namespace nimbara {
namespace {

namespace fs = std::filesystem;
using test::folderNames;
using test::readText;
using test::TempDir;
using test::writeText;

struct Folders {
    Folders() {
        writeText(tmp / "backup" / "Manifest.db", "old");
        writeText(tmp / ".new" / "Manifest.db", "new");
    }
    fs::path backup() const { return tmp / "backup"; }
    fs::path built() const { return tmp / ".new"; }
    TempDir tmp;
};

class HooksReset : public ::testing::Test {
  protected:
    ~HooksReset() override { setFolderExchangeTestHooks({}); }
};
using FolderExchange = HooksReset;

TEST_F(FolderExchange, LeavesEachFolderWhereTheOtherWasWithOrWithoutTheAtomicStep) {
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "parked" : "atomic");
        setFolderExchangeTestHooks({refuse, {}, {}});
        Folders f;
        std::string error;
        ASSERT_TRUE(exchangeFolders(f.built(), f.backup(), error)) << error;
        EXPECT_EQ(readText(f.backup() / "Manifest.db"), "new");
        EXPECT_EQ(readText(f.built() / "Manifest.db"), "old");
        EXPECT_EQ(folderNames(f.tmp.path()), (std::vector<std::string>{".new", "backup"}));
    }
    // Nothing to exchange with: a plain move.
    Folders f;
    fs::remove_all(f.backup());
    std::string error;
    ASSERT_TRUE(exchangeFolders(f.built(), f.backup(), error)) << error;
    EXPECT_EQ(folderNames(f.tmp.path()), std::vector<std::string>{"backup"});
}

TEST_F(FolderExchange, AKillBetweenTheMovesLosesNothingAndRecoveryPutsTheFolderBack) {
    Folders f;
    ASSERT_TRUE(test::killedBetweenTheMoves([&] {
        std::string error;
        exchangeFolders(f.built(), f.backup(), error);
    }));
    EXPECT_FALSE(fs::exists(f.backup()));
    const ParkedRecovery recovery = recoverParkedFolders(f.tmp.path());
    EXPECT_EQ(recovery.putBack, 1u);
    EXPECT_EQ(readText(f.backup() / "Manifest.db"), "old");
    EXPECT_EQ(folderNames(f.tmp.path()), (std::vector<std::string>{".new", "backup"}));
}

TEST_F(FolderExchange, AParkedFolderThatCannotGoBackToItsEmptyPlaceStaysWholeAndIsReported) {
    Folders f;
    // Every move into the backup's place fails: the exchange's own and the put-backs.
    setFolderExchangeTestHooks(
        {true, {}, [](const std::string&, const std::string& to) { return to == "backup"; }});
    std::string error;
    ASSERT_FALSE(exchangeFolders(f.built(), f.backup(), error));
    const std::vector<std::string> names = folderNames(f.tmp.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1], ".new");
    const std::string parked = names[0];
    EXPECT_EQ(parked.rfind(parkedFolderPrefix("backup"), 0), 0u) << parked;
    EXPECT_NE(error.find(parked), std::string::npos) << error;
    EXPECT_EQ(readText(f.built() / "Manifest.db"), "new");
    for (const bool putBackFails : {true, false}) {
        SCOPED_TRACE(putBackFails ? "put-back fails" : "put-back works");
        if (!putBackFails) {
            setFolderExchangeTestHooks({});
        }
        const ParkedRecovery recovery = recoverParkedFolders(f.tmp.path());
        EXPECT_EQ(recovery.leftParked, putBackFails ? 1u : 0u);
        EXPECT_EQ(recovery.putBack, putBackFails ? 0u : 1u);
        EXPECT_EQ(recovery.removed, 0u);
        const fs::path old = putBackFails ? f.tmp / parked : f.backup();
        EXPECT_EQ(readText(old / "Manifest.db"), "old");
    }
}

TEST_F(FolderExchange, RecoveryRemovesOnlyParkedFoldersOfFinishedExchangesThatNobodyHolds) {
    struct Row {
        const char* what;
        bool placeTaken;  // the exchange had finished
        bool held;        // an exchange is under way
        bool parkedStays;
        const char* placeHolds;
    };
    const Row rows[] = {
        {"finished exchange", true, false, false, "new"},
        {"exchange under way", false, true, true, nullptr},
        {"finished, still held", true, true, true, "new"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir tmp;
        const fs::path parked = tmp / (parkedFolderPrefix("backup") + "Ab12Cd");
        writeText(parked / "Manifest.db", "old");
        if (row.placeTaken) {
            writeText(tmp / "backup" / "Manifest.db", "new");
        }
        const FolderLock lock = row.held ? FolderLock(parked) : FolderLock();
        recoverParkedFolders(tmp.path());
        EXPECT_EQ(fs::exists(parked), row.parkedStays);
        EXPECT_EQ(fs::exists(tmp / "backup"), row.placeHolds != nullptr);
        if (row.placeHolds) {
            EXPECT_EQ(readText(tmp / "backup" / "Manifest.db"), row.placeHolds);
        }
    }
}

TEST(AbandonedFolders, OnlyUnheldFoldersOfTheirNameGoAndLinksAreNeverFollowed) {
    TempDir tmp;
    const std::string prefix = ".UDID.nimbara-clean";
    writeText(tmp / (prefix + "-Ab12Cd") / "sms.db", "removed records");
    writeText(tmp / (prefix + "-Held01") / "sms.db", "in use");
    writeText(tmp / (prefix + "-short") / "x", "not one of ours");
    writeText(tmp / "outside" / "keep", "keep");
    fs::create_directory_symlink(tmp / "outside", tmp / (prefix + "-Link01"));
    const FolderLock held(tmp / (prefix + "-Held01"));
    ASSERT_TRUE(held.locked());
    EXPECT_EQ(removeAbandonedFolders(tmp.path(), prefix), 1u);
    EXPECT_EQ(folderNames(tmp.path()),
              (std::vector<std::string>{prefix + "-Held01", prefix + "-Link01", prefix + "-short",
                                        "outside"}));
    EXPECT_EQ(readText(tmp / "outside" / "keep"), "keep");
}

}  // namespace
}  // namespace nimbara
