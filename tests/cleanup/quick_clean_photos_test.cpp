// The photo step of the quick clean-up: copies first, deletes only what was copied and verified,
// never overwrites a local file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/camera_roll.h"
#include "cleanup/quick_clean_engine.h"
#include "quick_clean_test_support.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using cleanup::QuickCleanEngine;
using cleanup::QuickCleanStatus;

// Reports the listing of the real camera roll with one item's size changed, as if the photo had
// been edited on the device after it was copied.
class ChangedAfterCopyRoll : public cleanup::CameraRoll {
  public:
    ChangedAfterCopyRoll(std::shared_ptr<cleanup::CameraRoll> real, std::string changedPath)
        : real_(std::move(real)), changedPath_(std::move(changedPath)) {}
    void openSession(const ReadyCallback& ready) override {
        real_->openSession(
            [&](cleanup::CameraRollResult r, std::vector<cleanup::CameraRollItem> items) {
                for (auto& item : items) {
                    if (item.devicePath == changedPath_) {
                        item.size += 1;
                    }
                }
                ready(r, items);
            });
    }
    bool isOpen() const override { return real_->isOpen(); }
    std::vector<cleanup::CameraRollItem> items() const override { return real_->items(); }
    void deleteItems(const std::vector<cleanup::CameraRollItem>& items,
                     const DeleteCallback& done) override {
        real_->deleteItems(items, done);
    }
    void close() override { real_->close(); }

  private:
    std::shared_ptr<cleanup::CameraRoll> real_;
    std::string changedPath_;
};

class QuickCleanPhotosTest : public QuickCleanTest {};

TEST_F(QuickCleanPhotosTest, SameNamesFromTwoFoldersAndALocalFileAllSurvive) {
    auto device = builder("photos");
    device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "from 100")
        .addMediaFile("/DCIM/101APPLE/IMG_0001.JPG", "from 101!")
        .addMediaFile("/DCIM/100APPLE/IMG_0002.MOV", "movie")
        .addMediaFile("/PhotoData/Sync/100SYNCD/IMG_0002.MOV", "synced, copied only");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);

    // The export folder does not exist yet, and then it holds the user's own IMG_0001.JPG.
    const fs::path exportDir = tmp_ / "Pictures" / "Export";
    {
        auto options = optionsFor(index, exportDir);
        options.photosTicked = true;
        QuickCleanEngine probe(options, QuickScanResult{});
        (void)probe;  // constructing changes nothing
    }
    EXPECT_FALSE(fs::exists(exportDir));
    fs::create_directories(exportDir);
    writeText(exportDir / "IMG_0001.JPG", "the user's own");

    auto options = optionsFor(index, exportDir);
    options.photosTicked = true;
    const auto report = QuickCleanEngine(options, QuickScanResult{}).run();

    EXPECT_EQ(report.status, QuickCleanStatus::Done) << report.message.toStdString();
    EXPECT_EQ(folderNames(exportDir),
              (std::vector<std::string>{"IMG_0001 (2).JPG", "IMG_0001 (3).JPG", "IMG_0001.JPG",
                                        "IMG_0002 (2).MOV", "IMG_0002.MOV"}));
    EXPECT_EQ(readText(exportDir / "IMG_0001.JPG"), "the user's own");
    std::vector<std::string> copiedTexts;
    for (const auto& name : {"IMG_0001 (2).JPG", "IMG_0001 (3).JPG"}) {
        copiedTexts.push_back(readText(exportDir / name));
    }
    std::sort(copiedTexts.begin(), copiedTexts.end());
    EXPECT_EQ(copiedTexts, (std::vector<std::string>{"from 100", "from 101!"}));
    EXPECT_EQ(report.photosCopied.size(), 4u);

    // The camera roll's three items are gone and counted; the synced copy stays on the device.
    EXPECT_FALSE(onDevice("photos", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_FALSE(onDevice("photos", "/DCIM/101APPLE/IMG_0001.JPG"));
    EXPECT_FALSE(onDevice("photos", "/DCIM/100APPLE/IMG_0002.MOV"));
    EXPECT_TRUE(onDevice("photos", "/PhotoData/Sync/100SYNCD/IMG_0002.MOV"));
    EXPECT_EQ(report.freedPhotos, 8u + 9u + 5u);
    EXPECT_EQ(report.removedCount, 3);
}

TEST_F(QuickCleanPhotosTest, NothingIsDeletedWhenTheExportFolderCannotBeMade) {
    auto device = builder("blocked");
    device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "keep me")
        .addMediaFile("/Downloads/old.tmp", "junk");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);

    // A plain file where a parent folder should be: the folder can't be created.
    writeText(tmp_ / "not-a-folder", "x");
    auto options = tickedOptionsFor(index, tmp_ / "not-a-folder" / "Export");
    QuickScanResult scan;
    scan.downloadTempArray.push_back(junk("/Downloads/old.tmp", 4));
    const auto report = QuickCleanEngine(options, scan).run();

    EXPECT_EQ(report.status, QuickCleanStatus::PhotoBackupFailed);
    EXPECT_FALSE(report.message.isEmpty());
    EXPECT_TRUE(onDevice("blocked", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_EQ(report.freedPhotos, 0u);
    EXPECT_TRUE(report.photosCopied.empty());
    // The other steps still ran.
    EXPECT_FALSE(onDevice("blocked", "/Downloads/old.tmp"));
    EXPECT_EQ(report.freedJunk, 4u);
}

TEST_F(QuickCleanPhotosTest, APhotoThatChangedAfterItsCopyStaysOnTheDevice) {
    auto device = builder("changed");
    device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "steady")
        .addMediaFile("/DCIM/100APPLE/IMG_0002.JPG", "edited later");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    auto real = std::make_shared<cleanup::DeviceCameraRoll>(index, serialOf(index));
    auto roll = std::make_shared<ChangedAfterCopyRoll>(real, "/DCIM/100APPLE/IMG_0002.JPG");

    auto options = optionsFor(index, tmp_ / "Export");
    options.photosTicked = true;
    const auto report = QuickCleanEngine(options, QuickScanResult{}, roll).run();

    EXPECT_FALSE(onDevice("changed", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_TRUE(onDevice("changed", "/DCIM/100APPLE/IMG_0002.JPG"));
    EXPECT_EQ(report.freedPhotos, 6u);
}

TEST_F(QuickCleanPhotosTest, CopiesButDeletesNothingWhenCameraRollDeletionIsOff) {
    auto device = builder("keep");
    device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "stay");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    auto options = optionsFor(index, tmp_ / "Export");
    options.photosTicked = true;
    options.deleteCameraRoll = false;
    const auto report = QuickCleanEngine(options, QuickScanResult{}).run();
    EXPECT_EQ(report.status, QuickCleanStatus::Done);
    EXPECT_EQ(readText(tmp_ / "Export" / "IMG_0001.JPG"), "stay");
    EXPECT_TRUE(onDevice("keep", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_EQ(report.freedPhotos, 0u);

    // Unticked: not even copied.
    auto unticked = optionsFor(index, tmp_ / "Unticked");
    const auto none = QuickCleanEngine(unticked, QuickScanResult{}).run();
    EXPECT_FALSE(fs::exists(tmp_ / "Unticked"));
    EXPECT_TRUE(none.photosCopied.empty());
}

TEST(QuickCleanLocalNames, NumbersCollisionsAndRefusesUnsafeNames) {
    TempDir dir;
    writeText(dir / "IMG_0001.JPG", "x");
    writeText(dir / "README", "x");
    EXPECT_EQ(QuickCleanEngine::uniqueLocalName(dir.str(), "IMG_0001.JPG", {}), "IMG_0001 (2).JPG");
    EXPECT_EQ(QuickCleanEngine::uniqueLocalName(dir.str(), "IMG_0001.JPG", {"IMG_0001 (2).JPG"}),
              "IMG_0001 (3).JPG");
    EXPECT_EQ(QuickCleanEngine::uniqueLocalName(dir.str(), "IMG_0009.JPG", {"IMG_0009.JPG"}),
              "IMG_0009 (2).JPG");
    EXPECT_EQ(QuickCleanEngine::uniqueLocalName(dir.str(), "README", {}), "README (2)");
    EXPECT_EQ(QuickCleanEngine::uniqueLocalName(dir.str(), "new.png", {}), "new.png");
    const std::vector<std::string> unsafe = {
        "", ".", "..", "../escape.jpg", "a/b.jpg", std::string("nul\0.jpg", 8)};
    for (const std::string& bad : unsafe) {
        EXPECT_EQ(QuickCleanEngine::uniqueLocalName(dir.str(), bad, {}), "") << bad;
    }
}

TEST(QuickCleanLocalNames, EveryNameFitsTheNameLimit) {
    TempDir dir;
    // Two-byte letters up to the limit: the numbered name is cut between letters, not inside one.
    const std::string wide = std::string(1, 'a') + [] {
        std::string letters;
        for (int i = 0; i < 125; ++i) {
            letters += "\xc3\xa9";
        }
        return letters;
    }() + ".JPG";
    ASSERT_EQ(wide.size(), 255u);
    writeText(dir / wide, "x");
    const std::string numbered = QuickCleanEngine::uniqueLocalName(dir.str(), wide, {});
    EXPECT_LE(numbered.size(), 255u);
    EXPECT_TRUE(numbered.ends_with("\xc3\xa9 (2).JPG")) << numbered;
    EXPECT_TRUE(QString::fromStdString(numbered).toStdString() == numbered) << "still UTF-8";

    // A name longer than any file may have, and one that is nearly all extension.
    const std::string tooLong = std::string(300, 'z') + ".MOV";
    const std::string shortened = QuickCleanEngine::uniqueLocalName(dir.str(), tooLong, {});
    EXPECT_EQ(shortened, std::string(251, 'z') + ".MOV");
    const std::string allExtension = "x." + std::string(260, 'e');
    const std::string cut = QuickCleanEngine::uniqueLocalName(dir.str(), allExtension, {});
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut.rfind("x.eee", 0), 0u);
    EXPECT_EQ(QuickCleanEngine::uniqueLocalName(dir.str(), allExtension, {cut}).size(), 255u);
}

}  // namespace
}  // namespace nimbara::test
