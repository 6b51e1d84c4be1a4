// The transfer page's photos on the demo device: read once into the image browser with the
// host's indicator started and stopped; same-named photos of two folders kept apart; a failed
// copy tried again; a device gone mid-load or a device change leaving nothing behind.
#include <QSlider>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "device/device_manager.h"
#include "platform/scratch_dir.h"
#include "transfer/photo_load.h"
#include "transfer_page_fixture.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using transfer::PhotoLoader;
using transfer::PhotoLoadStatus;

// The demo device's camera roll: twelve pictures, two movies and an edit's sidecar.
constexpr int kDemoPhotos = 15;

class TransferPhotosTest : public TransferPageTest {
  protected:
    void SetUp() override {
        TransferPageTest::SetUp();
        photoToken_ = NotificationCenter::defaultCenter().addObserver(
            "photoScanFinished", [this](const Notification&) { ++photoFinished_; });
    }
    void TearDown() override {
        photoToken_ = {};
        TransferPageTest::TearDown();
    }

    TransferPhotos& photos() { return page().photos(); }
    PRImageBrowserModel& browser() { return *photos().model(); }
    bool waitForPhotos() {
        return pumpUntil([this] { return !photos().loading() && !photos().bImageStartTransfer(); });
    }
    bool spinning() const { return host_.indicatorOn(BusyMark::Photos); }
    bool spinnerOff() const { return !spinning(); }
    std::shared_ptr<IKImageItem> itemAt(const std::string& devicePath) {
        for (int row = 0; row < browser().numberOfItemsInImageBrowser(); ++row) {
            if (browser().itemAtIndex(row)->filePath().toStdString() == devicePath) {
                return browser().itemAtIndex(row);
            }
        }
        return nullptr;
    }
    fs::path deviceFile(const std::string& devicePath) {
        return demo_ / md::sim::kMediaDir / fs::path(devicePath).relative_path();
    }
    void writeDeviceFile(const std::string& devicePath, const std::string& bytes) {
        fs::create_directories(deviceFile(devicePath).parent_path());
        std::ofstream(deviceFile(devicePath), std::ios::binary) << bytes;
    }
    static std::string contents(const QString& path) {
        std::ifstream in(path.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    int photoFinished_ = 0;
    ObserverToken photoToken_;
};

TEST_F(TransferPhotosTest, DemoPhotosLoadOnceIntoTheBrowserAndStopTheSpinner) {
    clickPhoto();
    EXPECT_EQ(page().shownView(), "photoView");
    EXPECT_TRUE(photos().bImageStartTransfer());
    EXPECT_TRUE(spinning());
    // A second click while it loads starts nothing.
    clickPhoto();
    ASSERT_TRUE(waitForPhotos());
    EXPECT_EQ(photoFinished_, 1);
    EXPECT_TRUE(spinnerOff());
    EXPECT_TRUE(photos().bPhotoLoadFinished());
    ASSERT_EQ(browser().numberOfItemsInImageBrowser(), kDemoPhotos);
    EXPECT_EQ(photos().infoText(), "15 photos and movies");
    EXPECT_TRUE(page().statusText().isEmpty());

    const auto movie = itemAt("/DCIM/100APPLE/IMG_0006.MOV");
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->fileType(), "Movie");
    const auto picture = itemAt("/DCIM/100APPLE/IMG_0002.JPG");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->fileType(), "Image");
    EXPECT_TRUE(picture->bhasCopy());
    EXPECT_EQ(contents(picture->hasCopy()),
              contents(QString::fromStdString(deviceFile("/DCIM/100APPLE/IMG_0002.JPG"))));
    // Copies live in the private scratch space.
    EXPECT_EQ(picture->hasCopy().toStdString().rfind(scratchRoot().string(), 0), 0u);

    // Thumbnails are read off the GUI thread and kept.
    const QModelIndex row = browser().index(0);
    (void)browser().data(row, Qt::DecorationRole);
    for (int r = 0; r < browser().rowCount(); ++r) {
        (void)browser().data(browser().index(r), Qt::DecorationRole);
    }
    ASSERT_TRUE(pumpUntil([this] { return browser().thumbnailsLoading() == 0; }));
    EXPECT_TRUE(browser().hasThumbnail(picture->hasCopy()));

    // After it loaded, the entry reads nothing again: no rows twice, no spinner.
    clickPhoto();
    pumpEvents(20);
    EXPECT_FALSE(photos().loading());
    EXPECT_EQ(host_.starts(BusyMark::Photos), 1);
    EXPECT_FALSE(spinning());
    EXPECT_EQ(photoFinished_, 1);
    EXPECT_EQ(browser().numberOfItemsInImageBrowser(), kDemoPhotos);
}

TEST_F(TransferPhotosTest, TheZoomSliderResizesTheIcons) {
    clickPhoto();
    ASSERT_TRUE(waitForPhotos());
    QListView* view = tui().imageBroswerView;
    EXPECT_EQ(view->viewMode(), QListView::IconMode);
    tui().zoomSlider->setValue(0);
    const int small = view->iconSize().width();
    tui().zoomSlider->setValue(100);
    EXPECT_GT(view->iconSize().width(), small);
    EXPECT_DOUBLE_EQ(photos().zoomValue(), 1.0);
}

TEST_F(TransferPhotosTest, SameNamedPhotosOfTwoFoldersKeepTheirOwnBytes) {
    // Read: camera folders with "apple" in any case, and the extra folder, after them.
    writeDeviceFile("/DCIM/101apple/IMG_0001.JPG", "the second IMG_0001");
    writeDeviceFile("/DCIM/Misc/IMG_0900.JPG", "no camera folder");
    writeDeviceFile("/DiskAid/DCIM/100APPLE/IMG_0001.JPG", "the third IMG_0001");
    clickPhoto();
    ASSERT_TRUE(waitForPhotos());
    EXPECT_EQ(browser().numberOfItemsInImageBrowser(), kDemoPhotos + 2);
    EXPECT_FALSE(itemAt("/DCIM/Misc/IMG_0900.JPG"));
    EXPECT_EQ(browser().itemAtIndex(browser().rowCount() - 1)->filePath(),
              "/DiskAid/DCIM/100APPLE/IMG_0001.JPG");

    const auto first = itemAt("/DCIM/100APPLE/IMG_0001.JPG");
    const auto second = itemAt("/DCIM/101apple/IMG_0001.JPG");
    const auto third = itemAt("/DiskAid/DCIM/100APPLE/IMG_0001.JPG");
    ASSERT_TRUE(first && second && third);
    const std::set<QString> copies = {first->hasCopy(), second->hasCopy(), third->hasCopy()};
    EXPECT_EQ(copies.size(), 3u);
    EXPECT_EQ(contents(first->hasCopy()),
              contents(QString::fromStdString(deviceFile("/DCIM/100APPLE/IMG_0001.JPG"))));
    EXPECT_EQ(contents(second->hasCopy()), "the second IMG_0001");
    EXPECT_EQ(contents(third->hasCopy()), "the third IMG_0001");
}

TEST_F(TransferPhotosTest, AFailedCopyIsNotMarkedAndIsTriedAgain) {
    const std::string broken = "/DCIM/100APPLE/IMG_0002.JPG";
    const auto serial = amd::DeviceManager::GetInstance().DeviceSerial(index_);
    const fs::path copies = transfer::photoCopyFolder(serial);
    ASSERT_FALSE(copies.empty());
    // A folder where the copy should land: the copy can't be written.
    const fs::path blocker = transfer::photoCopyPath(copies, broken);
    fs::create_directories(blocker);

    clickPhoto();
    ASSERT_TRUE(waitForPhotos());
    EXPECT_EQ(photoFinished_, 1);
    EXPECT_TRUE(spinnerOff());
    ASSERT_EQ(browser().numberOfItemsInImageBrowser(), kDemoPhotos);
    auto item = itemAt(broken);
    ASSERT_TRUE(item);
    EXPECT_FALSE(item->bhasCopy());
    EXPECT_TRUE(item->hasCopy().isEmpty());
    EXPECT_FALSE(photos().bPhotoLoadFinished());
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("could not be copied")));
    const QString kept = itemAt("/DCIM/100APPLE/IMG_0001.JPG")->hasCopy();

    // Once the copy can land, the next visit copies it; the list is refilled, not added to.
    fs::remove_all(blocker);
    clickPhoto();
    EXPECT_TRUE(spinning());
    ASSERT_TRUE(waitForPhotos());
    EXPECT_EQ(photoFinished_, 2);
    EXPECT_TRUE(photos().bPhotoLoadFinished());
    EXPECT_EQ(browser().numberOfItemsInImageBrowser(), kDemoPhotos);
    item = itemAt(broken);
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->bhasCopy());
    EXPECT_EQ(contents(item->hasCopy()), contents(QString::fromStdString(deviceFile(broken))));
    EXPECT_EQ(itemAt("/DCIM/100APPLE/IMG_0001.JPG")->hasCopy(), kept);
    EXPECT_TRUE(page().statusText().isEmpty());
}

TEST_F(TransferPhotosTest, ADeviceGoneMidLoadStopsTheSpinnerAndAllowsARetry) {
    clickPhoto();
    ASSERT_TRUE(photos().bImageStartTransfer());
    ASSERT_TRUE(detach("demo"));
    ASSERT_TRUE(waitForPhotos());
    ASSERT_TRUE(
        pumpUntil([this] { return amd::DeviceManager::GetInstance().DeviceSerial(index_) == 0; }));
    pumpEvents(20);
    EXPECT_EQ(photoFinished_, 1);
    EXPECT_TRUE(spinnerOff());
    EXPECT_FALSE(photos().bPhotoLoadFinished());
    EXPECT_EQ(browser().numberOfItemsInImageBrowser(), 0);
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("went away")));

    // Back again: choosing Photos reads them.
    ASSERT_GE(attach(demo_.string()), 0);
    clickPhoto();
    ASSERT_TRUE(waitForPhotos());
    EXPECT_TRUE(photos().bPhotoLoadFinished());
    EXPECT_EQ(browser().numberOfItemsInImageBrowser(), kDemoPhotos);
}

TEST_F(TransferPhotosTest, ADeviceWithoutCameraFoldersFinishesWithAnEmptyBrowser) {
    fs::remove_all(deviceFile("/DCIM"));
    clickPhoto();
    ASSERT_TRUE(waitForPhotos());
    EXPECT_EQ(photoFinished_, 1);
    EXPECT_TRUE(spinnerOff());
    EXPECT_TRUE(photos().bPhotoLoadFinished());
    EXPECT_EQ(browser().numberOfItemsInImageBrowser(), 0);
    EXPECT_EQ(photos().infoText(), "The device holds no photos or movies.");
    EXPECT_TRUE(page().statusText().isEmpty());
}

TEST_F(TransferPhotosTest, ADeviceGoneAfterLoadingTakesItsPhotosAlong) {
    clickPhoto();
    ASSERT_TRUE(waitForPhotos());
    ASSERT_EQ(browser().numberOfItemsInImageBrowser(), kDemoPhotos);
    ASSERT_TRUE(detach("demo"));
    ASSERT_TRUE(pumpUntil([this] { return browser().numberOfItemsInImageBrowser() == 0; }));
    EXPECT_FALSE(photos().bPhotoLoadFinished());
    EXPECT_FALSE(page().statusText().isEmpty());
    EXPECT_EQ(photoFinished_, 1);
}

TEST_F(TransferPhotosTest, ADeviceChangeResetsThePhotoView) {
    clickPhoto();
    ASSERT_TRUE(waitForPhotos());
    ASSERT_EQ(browser().numberOfItemsInImageBrowser(), kDemoPhotos);
    page().initAllDataAndAllView();
    EXPECT_EQ(page().shownView(), "mainView");
    EXPECT_EQ(browser().numberOfItemsInImageBrowser(), 0);
    EXPECT_FALSE(photos().bPhotoLoadFinished());

    // A load under way when the device changes hands nothing over and stops the spinner.
    clickPhoto();
    ASSERT_TRUE(photos().bImageStartTransfer());
    page().initAllDataAndAllView();
    EXPECT_FALSE(photos().bImageStartTransfer());
    EXPECT_FALSE(photos().loading());
    pumpEvents(50);
    EXPECT_EQ(browser().numberOfItemsInImageBrowser(), 0);
    EXPECT_TRUE(pumpUntil([this] { return spinnerOff(); }));
    EXPECT_EQ(photoFinished_, 2);
}

TEST(PhotoLoadNames, CopiesAreNamedByTheWholeDevicePathAndMadeSafe) {
    const fs::path into = "/scratch";
    const fs::path a = transfer::photoCopyPath(into, "/DCIM/100APPLE/IMG_0001.JPG");
    const fs::path b = transfer::photoCopyPath(into, "/DCIM/101APPLE/IMG_0001.JPG");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.parent_path(), into);
    EXPECT_TRUE(a.filename().string().ends_with("-IMG_0001.JPG"));
    // Nothing of a hostile name leaves the folder or hides.
    for (const char* hostile : {"/DCIM/100APPLE/..", "/DCIM/100APPLE/.hidden", "/DCIM/x/a\\b:c"}) {
        const fs::path copy = transfer::photoCopyPath(into, hostile);
        EXPECT_EQ(copy.parent_path(), into) << hostile;
        EXPECT_TRUE(isSafePathComponent(copy.filename().string())) << hostile;
    }
    EXPECT_EQ(transfer::photoFileType("IMG_0001.mov"), "Movie");
    EXPECT_EQ(transfer::photoFileType("clip.MP4"), "Movie");
    EXPECT_EQ(transfer::photoFileType("clip.mpeg"), "Movie");
    EXPECT_EQ(transfer::photoFileType("IMG_0002.JPG"), "Image");
    EXPECT_EQ(transfer::photoFileType("MOV"), "Image");
}

}  // namespace
}  // namespace nimbara::test
