// What the file-system browser does with the demo device's entries: exports with hostile and
// hidden names and collisions, deletes fixed when confirmed and settled by what the device did,
// files added from the computer (a missing one never touches the device, a replacement is asked
// first) and previews copied on a worker within their size limit.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QPixmap>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "filemanager/device_fs_actions.h"
#include "fs_browser_fixture.h"
#include "platform/scratch_dir.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using Answer = Alerts::Answer;

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

class FsBrowserActionsTest : public FsBrowserTest {
  protected:
    void SetUp() override {
        FsBrowserTest::SetUp();
        walk();
        chosenFolder_ = QString::fromStdString(exports_.string());
    }
    // Answers every question with `answer` and records it.
    void answer(Answer with, std::function<void()> whileAsked = {}) {
        alerts_.emplace([this, with, whileAsked](QWidget*, const Alerts::Question& q) {
            asked_.push_back(q.message);
            buttons_.push_back(q.defaultButton + "/" + q.alternateButton);
            if (whileAsked) {
                whileAsked();
            }
            return with;
        });
    }

    fs::path exports_ = tmp_ / "home" / ".local" / "share" / "exports";
    std::optional<Alerts::ScopedHandler> alerts_;
    std::vector<QString> asked_;
    std::vector<QString> buttons_;
};

// ------------------------------------------------------------------ exports

TEST_F(FsBrowserActionsTest, AFileExportKeepsTheChosenFolderAndNumbersCollisions) {
    choose(folderAt({"MediaAnalysis"}), {"DS_Store"});
    page().ExportTheFileToMac();
    ASSERT_TRUE(waitJobs());
    page().ExportTheFileToMac();
    ASSERT_TRUE(waitJobs());
    // The folder under ".local" is used as it is; the hidden device name loses its dot.
    EXPECT_EQ(namesIn(exports_), (std::set<std::string>{"DS_Store", "DS_Store (2)"}));
    EXPECT_EQ(fs::file_size(exports_ / "DS_Store"), 6148u);
    EXPECT_EQ(page().exportPath(), QString::fromStdString(exports_.string()));
    ASSERT_EQ(revealed_.size(), 2u);
    EXPECT_EQ(panels_, 2);
    // What was written and where, in the page's line as the other exports say it.
    EXPECT_EQ(page().statusText(),
              QStringLiteral("1 file(s) (6.15KB) exported. The copies are in \u201c%1\u201d.")
                  .arg(QString::fromStdString(exports_.string())));
}

TEST_F(FsBrowserActionsTest, DocumentsExportsNeedNoPanelAndNeverReplaceAFile) {
    const fs::path documents = tmp_ / "home" / "Documents";
    fs::create_directories(documents);
    std::ofstream(documents / "DS_Store") << "the user's own";
    choose(folderAt({"MediaAnalysis"}), {"DS_Store"});
    page().ExportTheFileToDocument();
    ASSERT_TRUE(waitJobs());
    page().ExportTheFileNode(nullptr);  // nothing given: nothing happens
    EXPECT_EQ(panels_, 0);
    EXPECT_EQ(namesIn(documents), (std::set<std::string>{"DS_Store", "DS_Store (2)"}));
    EXPECT_EQ(fs::file_size(documents / "DS_Store"), 14u);
    EXPECT_EQ(fs::file_size(documents / "DS_Store (2)"), 6148u);
    EXPECT_EQ(revealed_.size(), 1u);
}

TEST_F(FsBrowserActionsTest, AFolderExportMirrorsTheDevicePathsWithSafeNames) {
    selectFolder(folderAt({"MediaAnalysis", "cache"}));
    page().ExportDirFileToMac();
    ASSERT_TRUE(waitJobs());
    // "/MediaAnalysis/.cache/model.bin" and "/MediaAnalysis/cache/model.bin" meet in one
    // folder: the second is numbered, nothing is replaced.
    const fs::path cache = exports_ / "MediaAnalysis" / "cache";
    EXPECT_EQ(namesIn(cache), (std::set<std::string>{"model (2).bin", "model.bin"}));
    std::set<std::uintmax_t> sizes{fs::file_size(cache / "model.bin"),
                                   fs::file_size(cache / "model (2).bin")};
    EXPECT_EQ(sizes, (std::set<std::uintmax_t>{4096, 3072}));
    EXPECT_EQ(namesIn(exports_), std::set<std::string>{"MediaAnalysis"});

    // A folder entry brings what is below it, at any depth.
    selectFolder(folderAt({"MediaAnalysis"}));
    page().ExportDirFileToMac();
    ASSERT_TRUE(waitJobs());
    EXPECT_TRUE(fs::exists(exports_ / "MediaAnalysis/Fingerprints/v2/0A/1B/2C/3D/4E/5F/lock"));
    EXPECT_EQ(fs::file_size(exports_ / "MediaAnalysis/Fingerprints/v2/0A/1B/2C/3D/4E/5F/lock"), 0u);
}

TEST_F(FsBrowserActionsTest, HostileDeviceNamesStayInsideTheExportFolder) {
    // Names the device may list: dots only, a leading run of dots, and a control character.
    for (const char* name : {"...", "..evil.txt", "tab\tname.txt"}) {
        std::ofstream(media("Radio") / name) << name;
    }
    const auto target = filemanager::CleanDeviceTarget{
        index_, amd::DeviceManager::GetInstance().DeviceSerial(index_)};
    std::vector<filemanager::FsExportItem> plan;
    for (const char* name : {"...", "..evil.txt", "tab\tname.txt"}) {
        plan.push_back({std::string("/Radio/") + name, false});
    }
    plan.push_back({"/Radio/../Radio/Radio.plist", false});  // never a plain device path
    const fs::path into = tmp_ / "hostile";
    const auto report =
        filemanager::exportDeviceEntries(target, plan, into, filemanager::FsExportLayout::Mirror);
    EXPECT_EQ(report.written.size(), 3u);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures.front().path, "/Radio/../Radio/Radio.plist");
    EXPECT_EQ(namesIn(into), std::set<std::string>{"Radio"});
    for (const auto& name : namesIn(into / "Radio")) {
        EXPECT_NE(name.front(), '.') << name;
        EXPECT_EQ(name.find('\t'), std::string::npos) << name;
    }
    EXPECT_EQ(namesIn(into / "Radio").size(), 3u);
    for (const char* name : {"...", "..evil.txt"}) {
        EXPECT_NE(filemanager::localNameOfDeviceName(name), ".");
        EXPECT_NE(filemanager::localNameOfDeviceName(name), "..");
    }
    EXPECT_EQ(filemanager::localNameOfDeviceName(".cache"), "cache");
}

TEST_F(FsBrowserActionsTest, AnEmptyFolderExportsNothingAndRevealsNothing) {
    selectFolder(folderAt({"AirFair"}));  // holds only the empty folder "sync"
    page().ExportDirFileToMac();
    ASSERT_TRUE(waitJobs());
    EXPECT_TRUE(revealed_.empty());
    EXPECT_TRUE(namesIn(exports_ / "AirFair" / "sync").empty());
}

// ------------------------------------------------------------------ delete

TEST_F(FsBrowserActionsTest, DeleteTakesWhatWasSelectedWhenConfirmedAndSettlesTheList) {
    const auto radio = folderAt({"Radio"});
    choose(radio, {"Radio.plist"});
    // The selection moves while the question is open and again right after: neither counts.
    answer(Answer::Default, [this] { selectEntries({"empty"}); });
    page().RemoveTheFiles();
    selectEntries({"empty"});
    ASSERT_TRUE(waitJobs());
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_.front(),
              "Are you sure you want to permanently delete the selected file(s) from your device?");
    EXPECT_EQ(buttons_.front(), "Deleted/Cancel");
    EXPECT_FALSE(fs::exists(media("Radio/Radio.plist")));
    EXPECT_TRUE(fs::exists(media("Radio/.empty")));
    EXPECT_EQ(entryNamed(radio, "Radio.plist"), nullptr);
    ASSERT_EQ(page().libFileController()->rowCount(), 1);
    EXPECT_EQ(page().libFileController()->entryAt(0)->fileName(), "empty");
}

TEST_F(FsBrowserActionsTest, TheQuestionNamesWhatGoesAndNothingStaysChosenAfterwards) {
    // Chosen as a click chooses: the row becomes the current one too.
    selectFolder(folderAt({"Radio"}));
    const int row = page().libFileController()->entryAt(0)->fileName() == "Radio.plist" ? 0 : 1;
    sui().theTableView->selectionModel()->setCurrentIndex(
        page().libFileController()->index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    std::vector<QString> details;
    alerts_.emplace([this, &details](QWidget*, const Alerts::Question& q) {
        asked_.push_back(q.message);
        details.push_back(q.informativeText);
        return Answer::Default;
    });
    page().RemoveTheFiles();
    ASSERT_TRUE(waitJobs());
    ASSERT_EQ(details.size(), 1u);
    EXPECT_TRUE(details[0].startsWith(
        QStringLiteral("1 file will be deleted from the device: \u201cRadio.plist\u201d.\n\n"
                       "CAUTION:")))
        << details[0].toStdString();
    // The neighbour the removed row leaves behind is not chosen, so a second delete takes
    // nothing the user did not choose.
    ASSERT_EQ(page().libFileController()->rowCount(), 1);
    EXPECT_TRUE(sui().theTableView->selectionModel()->selectedRows().isEmpty());
    EXPECT_FALSE(sui().theTableView->selectionModel()->currentIndex().isValid());
    EXPECT_EQ(page().previewNode(), nullptr);
    page().RemoveTheFiles();
    EXPECT_EQ(asked_.size(), 1u);
    EXPECT_FALSE(page().busy());
    EXPECT_TRUE(fs::exists(media("Radio/.empty")));
}

TEST_F(FsBrowserActionsTest, CancellingTheQuestionChangesNothing) {
    choose(folderAt({"Radio"}), {"Radio.plist"});
    answer(Answer::Alternate);
    page().RemoveTheFiles();
    pumpEvents(10);
    EXPECT_EQ(asked_.size(), 1u);
    EXPECT_FALSE(page().busy());
    EXPECT_TRUE(fs::exists(media("Radio/Radio.plist")));
    EXPECT_EQ(page().libFileController()->rowCount(), 2);
}

TEST_F(FsBrowserActionsTest, WhatTheDeviceRefusesStaysListed) {
    // A folder with something in it: the device refuses to remove it.
    choose(folderAt({}), {"Radio", "com.apple.itunes.lock_sync"});
    answer(Answer::Default);
    page().RemoveTheFiles();
    ASSERT_TRUE(waitJobs());
    EXPECT_TRUE(fs::exists(media("Radio/Radio.plist")));
    EXPECT_FALSE(fs::exists(media("com.apple.itunes.lock_sync")));
    EXPECT_NE(entryNamed(folderAt({}), "Radio"), nullptr);
    EXPECT_EQ(entryNamed(folderAt({}), "com.apple.itunes.lock_sync"), nullptr);
    EXPECT_TRUE(page().statusText().contains("could not be deleted"));
}

// ------------------------------------------------------------------ add

TEST_F(FsBrowserActionsTest, ALocalFileThatIsMissingOrNotAFileLeavesTheDeviceAsItWas) {
    const std::string before = readText(media("Radio/Radio.plist"));
    fs::create_directories(tmp_ / "pipe");
    ASSERT_EQ(::mkfifo((tmp_ / "pipe" / "Radio.plist").c_str(), 0600), 0);
    fs::create_directories(tmp_ / "folder" / "Radio.plist");
    const std::vector<std::pair<fs::path, QString>> cases = {
        {tmp_ / "nowhere" / "Radio.plist", QStringLiteral("could not be read")},
        // Opening a pipe nobody writes to would wait for ever.
        {tmp_ / "pipe" / "Radio.plist", QStringLiteral("is a named pipe")},
        {tmp_ / "folder" / "Radio.plist", QStringLiteral("is a folder")},
    };
    for (const auto& [local, says] : cases) {
        SCOPED_TRACE(local.string());
        chosenFile_ = QString::fromStdString(local.string());
        choose(folderAt({"Radio"}), {"empty"});
        page().addFilesToSystem();
        ASSERT_TRUE(waitJobs());
        EXPECT_EQ(readText(media("Radio/Radio.plist")), before);
        EXPECT_TRUE(page().statusText().contains(says)) << page().statusText().toStdString();
        EXPECT_EQ(namesIn(media("Radio")), (std::set<std::string>{".empty", "Radio.plist"}));
    }
}

TEST_F(FsBrowserActionsTest, ANewFileIsAddedBesideTheChosenEntryAndListed) {
    writeText(tmp_ / "notes.txt", "from the computer");
    chosenFile_ = QString::fromStdString((tmp_ / "notes.txt").string());
    const auto radio = folderAt({"Radio"});
    choose(radio, {"Radio.plist"});
    page().addFilesToSystem();
    ASSERT_TRUE(waitJobs());
    EXPECT_EQ(readText(media("Radio/notes.txt")), "from the computer");
    EXPECT_EQ(namesIn(media("Radio")),
              (std::set<std::string>{".empty", "Radio.plist", "notes.txt"}));
    const auto added = entryNamed(radio, "notes.txt");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->fileSizeNumber(), 17u);
    EXPECT_EQ(page().libFileController()->rowCount(), 3);
}

TEST_F(FsBrowserActionsTest, ReplacingADeviceFileIsAskedFirst) {
    writeText(tmp_ / "Radio.plist", "<plist/>");
    chosenFile_ = QString::fromStdString((tmp_ / "Radio.plist").string());
    const std::string before = readText(media("Radio/Radio.plist"));
    choose(folderAt({"Radio"}), {"empty"});
    answer(Answer::Alternate);
    page().addFilesToSystem();
    ASSERT_TRUE(waitJobs());
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_TRUE(asked_.front().contains("Do you want to replace it?"));
    EXPECT_EQ(readText(media("Radio/Radio.plist")), before);

    answer(Answer::Default);
    page().addFilesToSystem();
    ASSERT_TRUE(waitJobs(2));
    EXPECT_EQ(asked_.size(), 2u);
    EXPECT_EQ(readText(media("Radio/Radio.plist")), "<plist/>");
    EXPECT_EQ(entryNamed(folderAt({"Radio"}), "Radio.plist")->fileSizeNumber(), 8u);
    // No temporary name is left behind.
    EXPECT_EQ(namesIn(media("Radio")), (std::set<std::string>{".empty", "Radio.plist"}));
}

TEST_F(FsBrowserActionsTest, AddingWithNothingChosenDoesNothing) {
    selectFolder(folderAt({"Radio"}));
    chosenFile_ = QStringLiteral("/etc/hostname");
    page().addFilesToSystem();
    EXPECT_FALSE(page().busy());
    EXPECT_FALSE(page().statusText().isEmpty());
}

// ------------------------------------------------------------------ preview

TEST_F(FsBrowserActionsTest, APicturePreviewIsCopiedOnAWorkerIntoTheScratchSpace) {
    choose(folderAt({"DCIM", "100APPLE"}), {"IMG_0001.JPG"});
    const auto entry = page().previewNode();
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(page().previewBusy());
    ASSERT_TRUE(pumpUntil([&] { return entry->btransfer() && !page().previewBusy(); }));
    const fs::path copy(QFile::encodeName(entry->transferPath()).toStdString());
    EXPECT_TRUE(copy.string().rfind(scratchRoot().string(), 0) == 0) << copy;
    EXPECT_EQ(fs::file_size(copy), fs::file_size(media("DCIM/100APPLE/IMG_0001.JPG")));
    EXPECT_FALSE(sui().showImageView->isHidden());
    const QPixmap shownPicture = sui().showImageView->pixmap();
    ASSERT_FALSE(shownPicture.isNull());
    EXPECT_LE(shownPicture.width(), 320);
    EXPECT_NEAR(double(shownPicture.width()) / shownPicture.height(), 320.0 / 240.0, 0.02);

    // A film shows no picture and copies nothing.
    selectEntries({"IMG_0010.MOV"});
    EXPECT_TRUE(sui().showImageView->isHidden());
    EXPECT_FALSE(page().previewBusy());
    EXPECT_FALSE(page().previewNode()->btransfer());
}

TEST_F(FsBrowserActionsTest, AFileAboveTheLimitIsNotCopiedForItsPreview) {
    const auto target = filemanager::CleanDeviceTarget{
        index_, amd::DeviceManager::GetInstance().DeviceSerial(index_)};
    const fs::path scratch = tmp_ / "scratch";
    fs::create_directories(scratch);
    const auto big = filemanager::copyForPreview(target, "/Recordings/Concert 2026-08-14.m4a",
                                                 scratch, filemanager::kPreviewSizeLimit);
    EXPECT_EQ(big.status, filemanager::FsPreviewStatus::TooLarge);
    EXPECT_TRUE(namesIn(scratch).empty());
    const auto small = filemanager::copyForPreview(target, "/Radio/Radio.plist", scratch, 10);
    EXPECT_EQ(small.status, filemanager::FsPreviewStatus::TooLarge);
    const auto fits = filemanager::copyForPreview(target, "/Radio/Radio.plist", scratch, 1000);
    ASSERT_EQ(fits.status, filemanager::FsPreviewStatus::Copied);
    EXPECT_EQ(readText(fits.localPath), readText(media("Radio/Radio.plist")));

    // On the page: the document picture and the reason, never the last file's picture.
    choose(folderAt({"Recordings"}), {"Concert 2026-08-14.m4a"});
    ASSERT_TRUE(pumpUntil([this] { return !page().previewBusy(); }));
    pumpEvents(5);
    EXPECT_FALSE(page().previewNode()->btransfer());
    EXPECT_TRUE(sui().previewNamelab->text().contains("too large to preview"));
    EXPECT_FALSE(sui().showImageView->isHidden());
}

TEST_F(FsBrowserActionsTest, ActionsAfterTheDeviceWentAwayResetThePage) {
    choose(folderAt({"Radio"}), {"Radio.plist"});
    ASSERT_TRUE(detach("demo"));
    ASSERT_TRUE(pumpUntil([this] { return page().GetLibTreeController()->content().empty(); }));
    EXPECT_FALSE(page().bLoadFinished());
    EXPECT_FALSE(page().statusText().isEmpty());
    page().RemoveTheFiles();  // nothing left to act on: no question
    EXPECT_FALSE(page().busy());
}

}  // namespace
}  // namespace nimbara::test
