// The one-click copy run over small simulated devices: the media steps and their names, the
// music and video toggles, the run's own backup (failed, encrypted), a departed device, and
// the readers' posts kept to the run.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "../app/app_test_support.h"
#include "backup/contact_reader.h"
#include "backup_messages.h"
#include "backup_source.h"
#include "media_library_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "transfer/one_copy_job.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using transfer::OneCopyJob;
using transfer::OneCopyReport;
using transfer::OneCopyRow;
using transfer::OneCopyStatus;
using transfer::OneCopyToggles;

std::set<std::string> namesIn(const fs::path& folder) {
    const std::vector<std::string> names = folderNames(folder);
    return {names.begin(), names.end()};
}

std::size_t filesEndingIn(const fs::path& folder, const std::string& ending) {
    std::size_t n = 0;
    for (const std::string& name : namesIn(folder)) {
        n += name.size() >= ending.size() &&
             name.compare(name.size() - ending.size(), ending.size(), ending) == 0;
    }
    return n;
}

class OneCopyJobTest : public MediaLibraryTest {
  protected:
    void SetUp() override {
        ensureApplication();  // the backup tool runs as a child process
        MediaLibraryTest::SetUp();
        devices_.emplace(("NIMBARA_SIMULATED_DEVICES"), tmp_.str());
    }
    void TearDown() override {
        MediaLibraryTest::TearDown();
        devices_.reset();
    }

    // A device with two camera folders holding a photo of one name, a photo stream, a synced
    // photo folder, a folder that is neither, two voice memos, tracks of one title and of
    // hostile titles, and an address book with two people of one name.
    simdev::SimDeviceBuilder richDevice(const std::string& udid, const std::string& folder = {}) {
        simdev::SimDeviceBuilder b(deviceDir(folder.empty() ? udid : folder));
        b.setIdentity("Phone " + udid, udid);
        b.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "first camera photo");
        b.addMediaFile("/DCIM/101APPLE/IMG_0001.JPG", "second camera photo");
        b.addMediaFile("/DCIM/.MISC/Info.plist", "not a photo");
        simdev::addPhotoStreamFile(b, "1873", "100APPLE", "IMG_0101.JPG", "stream photo");
        simdev::addPhotoLibraryFile(b, "100SYNCD", "IMG_0201.JPG", "synced photo");
        b.addMediaFile("/Photos/Sync/F00/IMG_0301.JPG", "no synced folder");
        b.addMediaFile("/Recordings/Memo 1.m4a", "memo one");
        b.addMediaFile("/Recordings/Memo 2.m4a", "memo two");
        b.addMediaFile("/Recordings/Recordings.db", "database");
        simdev::SimMediaLibrary library;
        library.tracks = {track(-11, "Song"), track(-12, "Song"),         track(-13, ".."),
                          track(-14, "/"),    track(-15, "../../escape"), track(-16, "Clip", 2)};
        simdev::addMediaLibrary(b, library);
        simdev::BackupContact ann;
        ann.first = "Ann";
        ann.last = "Lee";
        ann.phones = {"+1 555 0100"};
        simdev::BackupContact twin = ann;
        twin.phones = {"+1 555 0199"};
        simdev::addBackupAddressBook(b, {ann, twin});
        return b;
    }

    transfer::OneCopyDevice deviceAt(int index, const std::string& udid) {
        return {index, serialOf(index), QString::fromStdString(udid),
                QString::fromStdString("Phone " + udid)};
    }

    OneCopyReport runJob(const transfer::OneCopyDevice& device,
                         std::shared_ptr<OneCopyToggles> toggles = nullptr,
                         transfer::OneCopySink sink = {}, std::function<bool()> stop = {}) {
        transfer::OneCopySettings settings;
        settings.exportFolder = exports_;
        settings.startedAt = QDateTime(QDate(2026, 12, 1), QTime(10, 20, 30));
        settings.backup.toolPath = QStringLiteral(NIMBARA_BACKUP_TOOL_PATH);
        settings.backup.backupRoot = QString::fromStdString((tmp_ / "backups").string());
        if (!toggles) {
            toggles = std::make_shared<OneCopyToggles>();
        }
        return OneCopyJob(device, settings, toggles, std::move(sink), std::move(stop)).run();
    }

    fs::path exports_ = tmp_ / "exports";
    std::optional<ScopedEnv> devices_;
};

// A step that could not copy every item ends unfinished, with the count and the list of what is
// missing: here a conversation's second picture, which the backup does not hold.
TEST_F(OneCopyJobTest, AStepWithItemsMissingEndsUnfinishedWithTheirCountAndList) {
    simdev::SimDeviceBuilder b(deviceDir("parts"));
    b.setIdentity("Phone parts", "parts");
    const simdev::BackupMessageAttachment picture{"IMG_1.JPG", "image/jpeg", "\xFF\xD8\xFF jpeg"};
    simdev::addBackupMessages(
        b, {{.address = "+15550100", .text = "look", .unixTime = 1700000000, .attachment = picture},
            {.address = "+15550100",
             .text = "and this",
             .unixTime = 1700000100,
             .attachment = simdev::BackupMessageAttachment{"IMG_2.JPG", "image/jpeg", "gone"}}});
    fs::remove(simdev::backupSourcePath(b.dir(), "MediaDomain",
                                        simdev::messageAttachmentPath(1, "IMG_2.JPG")));
    const int index = attachBuilt(b);
    ASSERT_GE(index, 0);
    auto toggles = std::make_shared<OneCopyToggles>();
    toggles->setAll(false);
    toggles->set(OneCopyRow::Messages, true);
    const OneCopyReport report = runJob(deviceAt(index, "parts"), toggles);
    ASSERT_EQ(report.status, OneCopyStatus::Finished) << report.message.toStdString();
    const transfer::OneCopyRowEnd* messages = report.rowEnd(OneCopyRow::Messages);
    ASSERT_NE(messages, nullptr);
    EXPECT_TRUE(messages->ok);
    EXPECT_FALSE(messages->complete());
    EXPECT_EQ(messages->items, 2u);  // the page and the first picture
    EXPECT_EQ(messages->failures, 1u);
    EXPECT_EQ(transfer::oneCopyFailureText(*messages), "1 of 3 items could not be copied.");
    ASSERT_EQ(messages->failed.size(), 1u);
    EXPECT_TRUE(messages->failed[0].item.contains(QLatin1String("+15550100")));
    EXPECT_EQ(messages->failed[0].reason, "the backup does not hold the file");
}

TEST_F(OneCopyJobTest, CopiesEverythingIntoAFolderOfItsOwnKeepingEveryName) {
    auto b = richDevice("rich1");
    const int index = attachBuilt(b);
    ASSERT_GE(index, 0);
    std::vector<OneCopyRow> ended;
    transfer::OneCopySink sink;
    sink.rowEnded = [&](const transfer::OneCopyRowEnd& end) { ended.push_back(end.row); };
    const OneCopyReport report = runJob(deviceAt(index, "rich1"), nullptr, sink);

    ASSERT_EQ(report.status, OneCopyStatus::Finished) << report.message.toStdString();
    EXPECT_EQ(report.runFolder, exports_ / "Phone rich1 2026-12-01 10.20.30");
    ASSERT_TRUE(report.backup && report.backup->ok());
    EXPECT_FALSE(report.encrypted);
    // Every row ends, in the order of the steps.
    const std::vector<OneCopyRow> order = {
        OneCopyRow::CameraRoll, OneCopyRow::PhotoStream, OneCopyRow::PhotoLibrary,
        OneCopyRow::Music,      OneCopyRow::Video,       OneCopyRow::Contacts,
        OneCopyRow::Messages,   OneCopyRow::Notes,       OneCopyRow::Bookmarks,
        OneCopyRow::Calendar,   OneCopyRow::CallLogs,    OneCopyRow::VoiceMemos};
    EXPECT_EQ(ended, order);
    for (const auto& end : report.rows) {
        EXPECT_TRUE(end.ok) << static_cast<int>(end.row) << " " << end.message.toStdString();
    }

    const fs::path run = report.runFolder;
    // Two photos of one name from two camera folders both survive.
    EXPECT_EQ(readText(run / "IMG_0001.JPG"), "first camera photo");
    EXPECT_EQ(readText(run / "IMG_0001 (2).JPG"), "second camera photo");
    EXPECT_EQ(readText(run / "IMG_0101.JPG"), "stream photo");
    EXPECT_EQ(readText(run / "IMG_0201.JPG"), "synced photo");
    EXPECT_FALSE(fs::exists(run / "IMG_0301.JPG"));
    EXPECT_FALSE(fs::exists(run / "Info.plist"));
    // Tracks under their titles, two of one title both kept; hostile titles stay inside.
    EXPECT_TRUE(fs::exists(run / "Song.m4a"));
    EXPECT_TRUE(fs::exists(run / "Song (2).m4a"));
    EXPECT_TRUE(fs::exists(run / "Clip.m4v"));
    EXPECT_EQ(filesEndingIn(run, ".m4a"), 5u);
    EXPECT_EQ(report.rowEnd(OneCopyRow::Music)->items, 5u);
    EXPECT_EQ(report.rowEnd(OneCopyRow::Video)->items, 1u);
    EXPECT_EQ(namesIn(exports_), std::set<std::string>{run.filename().string()});
    for (const auto& e : fs::recursive_directory_iterator(run)) {
        EXPECT_FALSE(e.is_symlink());
        if (e.is_directory()) {
            EXPECT_EQ(e.path().parent_path(), run) << e.path();
        }
    }
    EXPECT_EQ(namesIn(run / "Voice Memo"), (std::set<std::string>{"Memo 1.m4a", "Memo 2.m4a"}));
    EXPECT_EQ(readText(run / "Voice Memo" / "Memo 2.m4a"), "memo two");
    // Two people of one name: two cards.
    EXPECT_EQ(namesIn(run / "Contact"), (std::set<std::string>{"Ann Lee.vcf", "Ann Lee (2).vcf"}));
    EXPECT_EQ(report.contacts, 2u);
    // The lists are written even when the backup holds none of their records.
    EXPECT_TRUE(fs::is_regular_file(run / "Note" / "Notes.txt"));
    EXPECT_TRUE(fs::is_regular_file(run / "BookMark" / "BookMark.txt"));
    EXPECT_TRUE(fs::is_regular_file(run / "Calendar&Reminder" / "Calendar&Reminder.txt"));
    EXPECT_TRUE(fs::is_regular_file(run / "CallLogs" / "Call History.txt"));
    EXPECT_TRUE(fs::is_directory(run / "Message"));

    // A second run at the same time lands in a folder of its own; the first stays as it was.
    const std::set<std::string> before = namesIn(run);
    const OneCopyReport again = runJob(deviceAt(index, "rich1"));
    ASSERT_EQ(again.status, OneCopyStatus::Finished);
    EXPECT_EQ(again.runFolder, exports_ / "Phone rich1 2026-12-01 10.20.30 (2)");
    EXPECT_EQ(namesIn(run), before);
}

TEST_F(OneCopyJobTest, MusicAndVideoAreCopiedAsTheirOwnTogglesSay) {
    auto b = builder("tracks");
    simdev::SimMediaLibrary library;
    library.tracks = {track(-21, "One"), track(-22, "Two"), track(-23, "Film", 2)};
    simdev::addMediaLibrary(b, library);
    const int index = attachBuilt(b);
    ASSERT_GE(index, 0);
    for (const bool music : {false, true}) {
        for (const bool video : {false, true}) {
            auto toggles = std::make_shared<OneCopyToggles>();
            toggles->setAll(false);
            toggles->set(OneCopyRow::Music, music);
            toggles->set(OneCopyRow::Video, video);
            const OneCopyReport report = runJob(deviceAt(index, "tracks"), toggles);
            ASSERT_EQ(report.status, OneCopyStatus::Finished);
            const fs::path run = report.runFolder;
            EXPECT_EQ(filesEndingIn(run, ".m4a"), music ? 2u : 0u) << music << video;
            EXPECT_EQ(filesEndingIn(run, ".m4v"), video ? 1u : 0u) << music << video;
            EXPECT_EQ(report.rowEnd(OneCopyRow::Music) != nullptr, music);
            EXPECT_EQ(report.rowEnd(OneCopyRow::Video) != nullptr, video);
            // Nothing else is on: only the backup ran, and no record folder was made.
            EXPECT_EQ(report.rows.size(), static_cast<std::size_t>(music) + video);
            EXPECT_FALSE(fs::exists(run / "Contact"));
        }
    }
}

TEST_F(OneCopyJobTest, AFailedBackupIsReportedAndNoOlderBackupIsRead) {
    // A good backup of the device first.
    auto good = richDevice("failing");
    const int first = attachBuilt(good);
    ASSERT_GE(first, 0);
    auto toggles = std::make_shared<OneCopyToggles>();
    toggles->setAll(false);
    toggles->set(OneCopyRow::Contacts, true);
    toggles->set(OneCopyRow::Notes, true);
    const OneCopyReport earlier = runJob(deviceAt(first, "failing"), toggles);
    ASSERT_TRUE(earlier.backup && earlier.backup->ok());
    ASSERT_EQ(earlier.contacts, 2u);
    ASSERT_TRUE(library_->detach(good.dir().string()));
    waitForDeviceBinds();

    // The same device again, now with a backup tool that fails.
    auto failing = richDevice("failing", "failing-again");
    failing.setFault(md::sim::kFaultBackupError, PlistValue(std::string("disk full")));
    ASSERT_TRUE(failing.write());
    const int index = attach(failing.dir().string());
    ASSERT_GE(index, 0);
    const OneCopyReport report = runJob(deviceAt(index, "failing"), toggles);
    EXPECT_EQ(report.status, OneCopyStatus::Finished);
    ASSERT_TRUE(report.backup);
    EXPECT_FALSE(report.backup->ok());
    EXPECT_TRUE(report.message.contains(QStringLiteral("failed"))) << report.message.toStdString();
    EXPECT_EQ(report.contacts, 0u);
    for (const OneCopyRow row : {OneCopyRow::Contacts, OneCopyRow::Notes}) {
        const auto* end = report.rowEnd(row);
        ASSERT_NE(end, nullptr);
        EXPECT_FALSE(end->ok);
        EXPECT_FALSE(end->message.isEmpty());
    }
    EXPECT_FALSE(fs::exists(report.runFolder / "Contact"));
    EXPECT_FALSE(fs::exists(report.runFolder / "Note"));
}

TEST_F(OneCopyJobTest, AnEncryptedBackupIsToldAndItsRecordsAreMissing) {
    auto b = richDevice("locked");
    b.setFault(md::sim::kFaultBackupEncrypted, PlistValue(true));
    const int index = attachBuilt(b);
    ASSERT_GE(index, 0);
    auto toggles = std::make_shared<OneCopyToggles>();
    toggles->setAll(false);
    toggles->set(OneCopyRow::Contacts, true);
    const OneCopyReport report = runJob(deviceAt(index, "locked"), toggles);
    EXPECT_EQ(report.status, OneCopyStatus::Finished);
    EXPECT_TRUE(report.encrypted);
    EXPECT_EQ(report.contacts, 0u);
    EXPECT_FALSE(fs::exists(report.runFolder / "Contact"));
    // The row ends, as failed: nothing of it could be read.
    ASSERT_NE(report.rowEnd(OneCopyRow::Contacts), nullptr);
    EXPECT_FALSE(report.rowEnd(OneCopyRow::Contacts)->ok);
}

TEST_F(OneCopyJobTest, ADeviceGoneDuringTheCameraRollEndsTheRunThere) {
    auto b = richDevice("leaving");
    const int index = attachBuilt(b);
    ASSERT_GE(index, 0);
    std::vector<OneCopyRow> ended;
    int copied = 0;
    transfer::OneCopySink sink;
    sink.rowEnded = [&](const transfer::OneCopyRowEnd& end) { ended.push_back(end.row); };
    sink.fileCopied = [&](OneCopyRow row, const fs::path&) {
        EXPECT_EQ(row, OneCopyRow::CameraRoll);
        if (++copied == 1) {
            library_->detach(b.dir().string());
            eventually([&] {
                return !amd::DeviceManager::GetInstance().IsAttached(index, serialOf(index));
            });
        }
    };
    const transfer::OneCopyDevice device = deviceAt(index, "leaving");
    const OneCopyReport report = runJob(device, nullptr, sink);
    EXPECT_EQ(report.status, OneCopyStatus::DeviceGone);
    EXPECT_FALSE(report.message.isEmpty());
    EXPECT_EQ(copied, 1);
    EXPECT_TRUE(ended.empty());
    EXPECT_FALSE(report.backup);
}

TEST_F(OneCopyJobTest, ARunThatIsStoppedEndsWithoutBackingUp) {
    auto b = richDevice("stopped");
    const int index = attachBuilt(b);
    ASSERT_GE(index, 0);
    const OneCopyReport report =
        runJob(deviceAt(index, "stopped"), nullptr, {}, [] { return true; });
    EXPECT_EQ(report.status, OneCopyStatus::Stopped);
    EXPECT_FALSE(report.backup);
    EXPECT_TRUE(report.rows.empty());
}

TEST_F(OneCopyJobTest, TheReadersPostOnlyToTheRunsOwnCentre) {
    auto b = richDevice("private");
    const int index = attachBuilt(b);
    ASSERT_GE(index, 0);
    std::atomic<int> heard{0};
    ObserverBag bag;
    for (const char* name :
         {backup::kScanTransferContactInfo, backup::kScanTransferContactFinished,
          "ScanTransferMessageFinished", "ScanTransferNoteFinished", "scanCopyBookMarkFinished",
          "scanCopyRemindMarkInfoFinished", "scanCopyCallLogInfoFinished"}) {
        bag.add(NotificationCenter::defaultCenter().addObserver(
            name, [&](const Notification&) { ++heard; }));
    }
    const OneCopyReport report = runJob(deviceAt(index, "private"));
    ASSERT_EQ(report.status, OneCopyStatus::Finished);
    EXPECT_EQ(report.contacts, 2u);
    EXPECT_EQ(heard.load(), 0);
}

TEST(OneCopyFolderTest, TheRunFolderIsNamedSafelyAndNeverReused) {
    TempDir tmp;
    const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(OneCopyJob::runFolderName(QStringLiteral("Ann's iPhone"), when),
              QStringLiteral("Ann's iPhone 2026-01-02 03.04.05"));
    EXPECT_EQ(OneCopyJob::runFolderName(QStringLiteral("../.."), when).left(1),
              QStringLiteral("_"));
    const QString name = OneCopyJob::runFolderName(QStringLiteral("a/b"), when);
    EXPECT_FALSE(name.contains(QLatin1Char('/')));
    const auto first = OneCopyJob::makeRunFolder(tmp.path(), name);
    const auto second = OneCopyJob::makeRunFolder(tmp.path(), name);
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(second->filename().string(), name.toStdString() + " (2)");
    // A file of that name is taken too.
    writeText(tmp / (name.toStdString() + " (3)"), "x");
    const auto third = OneCopyJob::makeRunFolder(tmp.path(), name);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->filename().string(), name.toStdString() + " (4)");
    // A root that is no folder: the failure says so in a sentence.
    const auto none = OneCopyJob::makeRunFolder(tmp / (name.toStdString() + " (3)"), name);
    ASSERT_FALSE(none);
    EXPECT_TRUE(none.sentence().startsWith(QStringLiteral("The export folder can't be used: ")));
    // No permission check of the backup folder applies on this system.
    EXPECT_FALSE(OneCopyJob::backupLocationCheckApplies());
}

}  // namespace
}  // namespace nimbara::test
