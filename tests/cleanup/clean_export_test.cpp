// Exports of the clean-up page: where copies land, names from the device, and what is reported.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <filesystem>

#include "clean_removal_fixture.h"
#include "cleanup/clean_export.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using cleanup::CleanCategory;
using cleanup::CleanExportEngine;
using cleanup::CleanExportLayout;
using cleanup::CleanItem;
using cleanup::CleanRunStatus;

class CleanExportTest : public CleanRemovalTest {
  protected:
    void SetUp() override {
        CleanRemovalTest::SetUp();
        addApp(kMail, "Mail");
        addApp(kGame, "Game");
    }
    fs::path out() const { return tmp_ / "export"; }
};

TEST_F(CleanExportTest, HostileNamesStayInsideAndNothingIsOverwritten) {
    device().addContainerText(kMail, "/Library/Caches/...", "dots");
    device().addContainerText(kMail, "/Library/Caches/.x", "hidden");
    device().addContainerText(kMail, "/Library/Caches/x", "plain");
    device().addContainerText(kMail, "/Library/Caches/a/x", "second x of mail");
    device().addContainerText(kGame, "/Library/Caches/x", "x of game");
    const auto target = attachDevice();

    const auto plan = cleanup::itemsOfRecords(
        CleanCategory::Cache,
        {record(kMail, "/Library/Caches/...", 4), record(kMail, "/Library/Caches/.x", 6),
         record(kMail, "/Library/Caches/x", 5), record(kMail, "/Library/Caches/a/x", 16),
         record(kGame, "/Library/Caches/x", 9)});
    const fs::path appData = out() / cleanup::kAppDataFolder;
    const auto report = CleanExportEngine(target, plan, appData, CleanExportLayout::PerApp).run();
    EXPECT_EQ(report.status, CleanRunStatus::Done) << report.message.toStdString();
    EXPECT_TRUE(report.revealFolder());
    EXPECT_EQ(report.written.size(), 5u);
    EXPECT_EQ(filesBelow(out()),
              (std::vector<std::string>{"AppData/com.example.game/x", "AppData/com.example.mail/_",
                                        "AppData/com.example.mail/_x", "AppData/com.example.mail/x",
                                        "AppData/com.example.mail/x (2)"}));
    EXPECT_EQ(readText(appData / kGame / "x"), "x of game");
    EXPECT_EQ(readText(appData / kMail / "_x"), "hidden");
    EXPECT_EQ(report.copiedBytes, 4u + 6u + 5u + 16u + 9u);

    // Again into the same folder: every earlier copy stays as it was.
    const auto again = CleanExportEngine(target, plan, appData, CleanExportLayout::PerApp).run();
    EXPECT_EQ(again.written.size(), 5u);
    EXPECT_EQ(readText(appData / kGame / "x"), "x of game");
    EXPECT_EQ(readText(appData / kGame / "x (2)"), "x of game");
}

TEST_F(CleanExportTest, AFolderRowKeepsTheDeviceLayoutBelowTheChosenFolder) {
    device().addContainerText(kMail, "/tmp/a/b.txt", "b");
    device().addContainerText(kMail, "/tmp/a/.cache/c", "c");
    device().addContainerText(kMail, "/tmp/other", "not in the row");
    const auto target = attachDevice();

    Tree tree;
    tree.add("Mail", kMail, "/tmp/a/b.txt", 1);
    const auto plan =
        cleanup::itemsOfTreeFolder(CleanCategory::Junk, tree.folder({"Mail", "tmp", "a"}));
    const auto report = CleanExportEngine(target, plan, out(), CleanExportLayout::Mirror).run();
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(filesBelow(out()), (std::vector<std::string>{"tmp/a/_cache/c", "tmp/a/b.txt"}));
}

TEST_F(CleanExportTest, ALinkInTheChosenFolderIsNeverFollowed) {
    device().addContainerText(kMail, "/tmp/a/b.txt", "b");
    const auto target = attachDevice();
    fs::create_directories(out());
    fs::create_directories(tmp_ / "elsewhere");
    fs::create_directory_symlink(tmp_ / "elsewhere", out() / "tmp");

    Tree tree;
    tree.add("Mail", kMail, "/tmp/a/b.txt", 1);
    const auto plan =
        cleanup::itemsOfTreeFolder(CleanCategory::Junk, tree.folder({"Mail", "tmp", "a"}));
    const auto report = CleanExportEngine(target, plan, out(), CleanExportLayout::Mirror).run();
    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    EXPECT_FALSE(report.revealFolder());
    EXPECT_TRUE(fs::is_empty(tmp_ / "elsewhere"));
}

TEST_F(CleanExportTest, AnExportThatCopiedNothingSaysSo) {
    device().addMediaFile("/iTunes_Control/Sync/Media/song.mp3", "song");
    device().setFault(md::sim::kFaultRefusedContainers, PlistValue(PlistValue::Array{kGame}));
    device().addContainerText(kGame, "/tmp/t", "t");
    const auto target = attachDevice();

    // A file that is gone and an app whose container is refused: nothing copied, both told.
    auto plan = cleanup::itemsOfRecords(
        CleanCategory::Junk, {record(kMail, "/tmp/gone", 1), record(kGame, "/tmp/t", 1)});
    auto report = CleanExportEngine(target, plan, out(), CleanExportLayout::PerApp).run();
    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    EXPECT_FALSE(report.revealFolder());
    EXPECT_EQ(report.failures.size(), 2u);
    EXPECT_EQ(report.message, QStringLiteral("Nothing could be exported."));
    EXPECT_TRUE(filesBelow(out()).empty());
    EXPECT_FALSE(fs::exists(out() / kGame));

    // Failed-sync media come from the media root.
    auto media = std::make_shared<PRCleanFileNode>();
    media->setFilePath(QStringLiteral("/iTunes_Control/Sync/Media/song.mp3"));
    plan = {cleanup::itemOfEntry(CleanCategory::SyncFailed, *media)};
    report = CleanExportEngine(target, plan, out(), CleanExportLayout::Flat).run();
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(readText(out() / "song.mp3"), "song");
}

TEST_F(CleanExportTest, ALocalCopyIsUsedWithoutTheDevice) {
    const auto target = attachDevice();
    writeText(tmp_ / "copy.bin", "local bytes");
    auto entry = std::make_shared<PRCleanFileNode>();
    entry->setFilePath(QStringLiteral("/Library/Cookies/Cookies.binarycookies"));
    entry->setAppBundleName(QString::fromStdString(kMail));
    entry->setBtransfer(true);
    entry->setTransferPath(QString::fromStdString((tmp_ / "copy.bin").string()));
    const auto report =
        CleanExportEngine(target, {cleanup::itemOfEntry(CleanCategory::Cookie, *entry)}, out(),
                          CleanExportLayout::Flat)
            .run();
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(readText(out() / "Cookies.binarycookies"), "local bytes");
}

TEST(CleanExportFolderName, UsesDateAndDottedTimeWithLeadingZeros) {
    ScopedTimeZone zone("UTC");
    const QTimeZone utc = QTimeZone::utc();
    EXPECT_EQ(cleanup::cleanExportFolderName(QDateTime(QDate(2026, 12, 8), QTime(6, 41, 40), utc)),
              QStringLiteral("Nimbara 2026-12-08 - 06.41.40"));
    EXPECT_EQ(cleanup::cleanExportFolderName(QDateTime(QDate(2026, 1, 2), QTime(7, 5, 9), utc)),
              QStringLiteral("Nimbara 2026-01-02 - 07.05.09"));
}

TEST(CleanExportNames, DeviceComponentsBecomeOneSafeName) {
    EXPECT_EQ(CleanExportEngine::safeComponent("..."), "_");
    EXPECT_EQ(CleanExportEngine::safeComponent(".."), "_");
    EXPECT_NE(CleanExportEngine::safeComponent(".x"), CleanExportEngine::safeComponent("x"));
    EXPECT_EQ(CleanExportEngine::safeComponent(std::string(400, 'a')).size(), 255u);
}

}  // namespace
}  // namespace nimbara::test
