// The storage manager's actions driven from the page on small simulated devices: removals by
// exact path with the list settled by what the device removed, refused removals, a selection
// changed after the question, cancelled questions, exports that never overwrite, the export
// reminder and its suppression, uninstall, the photo preview picture, and a device change that
// drops a running job's result.
#include <QBuffer>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSettings>
#include <QTableView>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "device_page_fixture.h"
#include "filemanager/export_reminder.h"
#include "filemanager/pages/pr_diska_manager_view_controller.h"
#include "filemanager/storage_removal.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "ui/core/device_file_nodes.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using Scan = PRDiskaManagerViewController::Scan;
using ScanState = PRDiskaManagerViewController::ScanState;
using RemovedCategory = ui::PageHost::RemovedCategory;

constexpr const char* kUdid = "store";
constexpr const char* kNotesApp = "com.example.notes";

constexpr const char* kPurchases =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Books</key>"
    "<array><dict><key>Name</key><string>Story</string><key>Path</key><string>Story.epub</string>"
    "</dict><dict><key>Name</key><string>Guide</string><key>Path</key><string>guide.pdf</string>"
    "</dict></array></dict></plist>\n";

std::string pngBytes(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class StoragePageActions : public DevicePageTest {
  protected:
    void SetUp() override {
        DevicePageTest::SetUp();
        exportDir_ = tmp_ / "export";
        host_.exportPath = QString::fromStdString(exportDir_.string());
        alerts_.emplace([this](QWidget*, const Alerts::Question& question) {
            asked_.push_back(question);
            if (question.message == filemanager::exportReminderMessage()) {
                if (tickReminder_ && question.suppressionChecked != nullptr) {
                    *question.suppressionChecked = true;
                }
                return Alerts::Answer::Default;
            }
            if (whileAsked_) {
                whileAsked_();
            }
            return answer_;
        });
        viewer_.emplace(ui::FileViewer::handler(),
                        [this](const QString& folder) { revealed_.push_back(folder); });
        container_ = std::make_unique<QWidget>();
        container_->resize(960, 640);
        page_ = std::make_unique<PRDiskaManagerViewController>(host_);
        page_->setSettings(std::make_shared<QSettings>(
            QString::fromStdString((tmp_ / "settings.ini").string()), QSettings::IniFormat));
        page_->setActionEndedCallback([this] { ++ended_; });
        page_->showView(container_.get());
    }
    void TearDown() override {
        page_.reset();
        container_.reset();
        viewer_.reset();
        alerts_.reset();
        DevicePageTest::TearDown();
    }

    PRDiskaManagerViewController& page() { return *page_; }
    DiskManagerUi& dui() { return page_->diskUi(); }
    // What the host's running total of `category` was told.
    std::uint64_t removed(RemovedCategory category) const {
        const auto at = host_.removed.find(category);
        return at != host_.removed.end() ? at->second : 0;
    }

    // Two photos named IMG_0001.JPG in two camera folders, two more and a real picture; a
    // download folder of two files; a user app.
    simdev::SimDeviceBuilder& device() {
        if (!device_) {
            device_ = std::make_unique<simdev::SimDeviceBuilder>(tmp_ / kUdid);
            device_->addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "first folder")
                .addMediaFile("/DCIM/101APPLE/IMG_0001.JPG", "second")
                .addMediaFile("/DCIM/101APPLE/IMG_0002.JPG", "two")
                .addMediaFile("/DCIM/101APPLE/IMG_0003.JPG", "three")
                .addMediaFile("/DCIM/101APPLE/IMG_0004.PNG", pngBytes(300))
                .addMediaFile("/Downloads/a.txt", "aaaa")
                .addMediaFile("/Downloads/b.txt", "bb");
            simdev::AppSpec notes;
            notes.bundleId = kNotesApp;
            notes.displayName = "Notes";
            notes.staticDiskUsage = 5000000;
            notes.dynamicDiskUsage = 1000000;
            device_->addApp(notes);
            device_->addContainerText(kNotesApp, "/Documents/.draft.txt", "draft")
                .addContainerText(kNotesApp, "/Documents/list.txt", "list");
            device_->addMediaFile("/Books/Purchases/Purchases.plist", kPurchases)
                .addMediaFile("/Books/Purchases/Story.epub/mimetype", "application/epub+zip")
                .addMediaFile("/Books/Purchases/Story.epub/OEBPS/one.xhtml", "chapter one")
                .addMediaFile("/Books/Purchases/guide.pdf", "pdf bytes");
        }
        return *device_;
    }
    int attachDevice() {
        EXPECT_TRUE(device().write());
        const int index = attach((tmp_ / kUdid).string());
        EXPECT_GE(index, 0);
        page().setDiskManageDeviceIndex(index);
        return index;
    }
    fs::path media(const std::string& devicePath) const {
        return tmp_ / kUdid / md::sim::kMediaDir / devicePath.substr(1);
    }

    void scan(void (PRDiskaManagerViewController::*open)(QObject*), Scan which) {
        (page().*open)(nullptr);
        ASSERT_TRUE(pumpUntil([&] {
            return !page().scanRunning(which) && page().scanState(which) != ScanState::Scanning;
        }));
        ASSERT_EQ(page().scanState(which), ScanState::Done);
    }
    bool waitActions(int count = 1) {
        const int target = ended_ + count;
        return pumpUntil([&] {
            return ended_ >= target && !page().actionRunning() && !page().previewRunning();
        });
    }

    int photoRow(const std::string& path) {
        const auto& rows = page().photoFileController()->content();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i]->filePath().toStdString() == path) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    std::vector<std::string> photoPaths() {
        std::vector<std::string> paths;
        for (const auto& photo : page().photoFileController()->content()) {
            paths.push_back(photo->filePath().toStdString());
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    static void select(QTableView* table, const std::vector<int>& rows) {
        table->clearSelection();
        for (const int row : rows) {
            table->selectionModel()->select(
                table->model()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    std::vector<Alerts::Question> questions(const QString& message) const {
        std::vector<Alerts::Question> found;
        std::copy_if(asked_.begin(), asked_.end(), std::back_inserter(found),
                     [&](const Alerts::Question& q) { return q.message == message; });
        return found;
    }
    // The user-data folder of `name` directly below the tree's top folder.
    std::shared_ptr<PRPhoneSystemDirNode> userDataFolder(const QString& name) {
        for (const auto& top : page().libTreeController().content()) {
            for (const auto& child : top->children()) {
                if (child->fileDirName() == name) {
                    return child;
                }
            }
        }
        return nullptr;
    }

    fs::path exportDir_;
    std::unique_ptr<simdev::SimDeviceBuilder> device_;
    std::optional<Alerts::ScopedHandler> alerts_;
    std::optional<ui::ScopedHandler<ui::FileViewer::Handler>> viewer_;
    std::unique_ptr<QWidget> container_;
    std::unique_ptr<PRDiskaManagerViewController> page_;
    std::vector<Alerts::Question> asked_;
    std::vector<QString> revealed_;
    Alerts::Answer answer_ = Alerts::Answer::Default;
    std::function<void()> whileAsked_;
    bool tickReminder_ = false;
    int ended_ = 0;
};

TEST_F(StoragePageActions, RemovesOnlyTheChosenOfTwoSameNamedPhotosAndSettlesTheList) {
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskPhotoFiles, Scan::Photo);
    ASSERT_EQ(page().photoFileController()->rowCount(), 5);
    const std::uint64_t photoBytes = page().categoryBytes(DiskCategory::Photo);
    const int row = photoRow("/DCIM/101APPLE/IMG_0001.JPG");
    ASSERT_GE(row, 0);
    select(dui().photo.table, {row});
    waitActions();  // the preview copy of the chosen photo

    page().RemovePhotoItem();
    ASSERT_TRUE(waitActions());
    const auto asked = questions(filemanager::removeQuestionText());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].defaultButton, QStringLiteral("Deleted"));
    EXPECT_EQ(asked[0].alternateButton, QStringLiteral("Cancel"));
    // The question names what goes.
    EXPECT_EQ(
        asked[0].informativeText,
        QStringLiteral(
            "1 photo (6.00bytes) will be deleted from the device: \u201cIMG_0001.JPG\u201d."));

    // Only that file left the device and the list; its same-named neighbour stays.
    EXPECT_TRUE(fs::exists(media("/DCIM/100APPLE/IMG_0001.JPG")));
    EXPECT_FALSE(fs::exists(media("/DCIM/101APPLE/IMG_0001.JPG")));
    EXPECT_EQ(photoPaths(), (std::vector<std::string>{
                                "/DCIM/100APPLE/IMG_0001.JPG", "/DCIM/101APPLE/IMG_0002.JPG",
                                "/DCIM/101APPLE/IMG_0003.JPG", "/DCIM/101APPLE/IMG_0004.PNG"}));
    EXPECT_EQ(page().photoFilesArray().size(), 4u);
    EXPECT_EQ(removed(RemovedCategory::Photos), 6u);
    EXPECT_EQ(page().categoryBytes(DiskCategory::Photo), photoBytes - 6);
    EXPECT_EQ(dui().photo.infolab->text(), QStringLiteral("4 photos and videos"));
    // No neighbour of the removed row is chosen: a second removal takes nothing unchosen.
    EXPECT_TRUE(dui().photo.table->selectionModel()->selectedRows().isEmpty());
    EXPECT_FALSE(dui().photo.table->selectionModel()->currentIndex().isValid());
    page().RemovePhotoItem();
    EXPECT_EQ(questions(filemanager::removeQuestionText()).size(), 1u);
    EXPECT_FALSE(page().actionRunning());
    EXPECT_EQ(page().photoFileController()->rowCount(), 4);
}

TEST_F(StoragePageActions, ARefusedRemovalStaysListedAndIsNotCounted) {
    device().setFault(md::sim::kFaultRefusedRemovals,
                      PlistValue(PlistValue::Array{PlistValue("/Downloads/a.txt")}));
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskUserDataFiles, Scan::UserData);
    const auto downloads = userDataFolder(QStringLiteral("Downloads"));
    ASSERT_TRUE(downloads);
    page().libFileController()->setFolder(downloads);
    ASSERT_EQ(page().libFileController()->rowCount(), 2);
    select(dui().userLibDataFileTableView, {0, 1});

    page().RemoveUerDataFile();
    ASSERT_TRUE(waitActions());
    EXPECT_TRUE(fs::exists(media("/Downloads/a.txt")));
    EXPECT_FALSE(fs::exists(media("/Downloads/b.txt")));
    // The refused file is still in the table and its folder; only the removed bytes count.
    ASSERT_EQ(page().libFileController()->rowCount(), 1);
    EXPECT_EQ(page().libFileController()->entryAt(0)->fileName(), QStringLiteral("a.txt"));
    EXPECT_EQ(downloads->fileChildren().size(), 1u);
    EXPECT_EQ(removed(RemovedCategory::UserData), 2u);
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("could not be removed")));
}

TEST_F(StoragePageActions, TheItemsAreFixedWhenAskedAndACancelChangesNothing) {
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskPhotoFiles, Scan::Photo);
    const std::vector<std::string> all = photoPaths();

    // Cancelled: nothing starts, nothing goes.
    select(dui().photo.table, {photoRow("/DCIM/101APPLE/IMG_0002.JPG")});
    waitActions();
    answer_ = Alerts::Answer::Alternate;
    page().RemovePhotoItem();
    EXPECT_FALSE(page().actionRunning());
    EXPECT_EQ(photoPaths(), all);
    EXPECT_TRUE(fs::exists(media("/DCIM/101APPLE/IMG_0002.JPG")));
    EXPECT_EQ(removed(RemovedCategory::Photos), 0u);

    // Confirmed: the selection changed while asked and again while removing changes nothing.
    answer_ = Alerts::Answer::Default;
    whileAsked_ = [this] { select(dui().photo.table, {photoRow("/DCIM/101APPLE/IMG_0003.JPG")}); };
    const int ended = ended_;
    page().RemovePhotoItem();
    whileAsked_ = nullptr;
    select(dui().photo.table, {0, 1, 2, 3, 4});
    ASSERT_TRUE(pumpUntil([&] { return ended_ > ended && !page().actionRunning(); }));
    waitActions(0);
    EXPECT_FALSE(fs::exists(media("/DCIM/101APPLE/IMG_0002.JPG")));
    for (const char* kept : {"/DCIM/100APPLE/IMG_0001.JPG", "/DCIM/101APPLE/IMG_0001.JPG",
                             "/DCIM/101APPLE/IMG_0003.JPG", "/DCIM/101APPLE/IMG_0004.PNG"}) {
        EXPECT_TRUE(fs::exists(media(kept))) << kept;
    }
    EXPECT_EQ(page().photoFileController()->rowCount(), 4);
    EXPECT_EQ(photoRow("/DCIM/101APPLE/IMG_0002.JPG"), -1);
    EXPECT_EQ(removed(RemovedCategory::Photos), 3u);
}

TEST_F(StoragePageActions, ExportsNeverOverwriteAndTheReminderCanBeSuppressed) {
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskPhotoFiles, Scan::Photo);
    fs::create_directories(exportDir_);
    {
        std::ofstream mine(exportDir_ / "IMG_0001.JPG");
        mine << "mine";
    }
    const QString reminder = filemanager::exportReminderMessage();

    // First export: the reminder shows (its box left empty), both same-named photos are
    // numbered, the user's own file stays.
    select(dui().photo.table,
           {photoRow("/DCIM/100APPLE/IMG_0001.JPG"), photoRow("/DCIM/101APPLE/IMG_0001.JPG")});
    waitActions();
    const int ended = ended_;
    page().ExportPhotoItem();
    ASSERT_TRUE(pumpUntil([&] { return ended_ > ended && !page().actionRunning(); }));
    ASSERT_EQ(questions(reminder).size(), 1u);
    EXPECT_TRUE(questions(reminder)[0].informativeText.contains(
        QString::fromStdString(exportDir_.string())));
    EXPECT_EQ(readFile(exportDir_ / "IMG_0001.JPG"), "mine");
    std::vector<std::string> copies{readFile(exportDir_ / "IMG_0001 (2).JPG"),
                                    readFile(exportDir_ / "IMG_0001 (3).JPG")};
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies, (std::vector<std::string>{"first folder", "second"}));
    ASSERT_EQ(revealed_.size(), 1u);
    EXPECT_EQ(revealed_[0], QString::fromStdString(exportDir_.string()));

    // Second export: the reminder again, this time with its box ticked.
    tickReminder_ = true;
    page().ExportAllPhotoItem();
    ASSERT_TRUE(waitActions());
    EXPECT_EQ(questions(reminder).size(), 2u);
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("exported")));
    EXPECT_TRUE(page().statusText().contains(QString::fromStdString(exportDir_.string())));

    // From now on no reminder; every export adds numbered copies.
    page().ExportAllPhotoItem();
    ASSERT_TRUE(waitActions());
    EXPECT_EQ(questions(reminder).size(), 2u);
    EXPECT_TRUE(fs::exists(exportDir_ / "IMG_0004 (2).PNG"));
    EXPECT_EQ(revealed_.size(), 3u);
    QSettings stored(QString::fromStdString((tmp_ / "settings.ini").string()),
                     QSettings::IniFormat);
    EXPECT_TRUE(filemanager::exportReminderSuppressed(stored));
}

TEST_F(StoragePageActions, UninstallIsAskedAndTheRowGoesOnlyWhenTheAppWent) {
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskUserAppFiles, Scan::Apps);
    ASSERT_EQ(page().appFileController()->rowCount(), 1);
    const std::uint64_t bytes = page().appFilesArray()[0]->totalAppSizeNumber();
    EXPECT_GT(bytes, 0u);
    select(dui().apps.table, {0});

    answer_ = Alerts::Answer::Alternate;
    page().UninStallAppData();
    EXPECT_FALSE(page().actionRunning());
    const auto asked = questions(filemanager::uninstallQuestionText(QStringLiteral("Notes")));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].informativeText.contains(
        QStringLiteral("uninstalled with its data (6.00MB): \u201cNotes\u201d")))
        << asked[0].informativeText.toStdString();
    EXPECT_EQ(asked[0].defaultButton, QStringLiteral("Uninstall"));
    EXPECT_EQ(asked[0].alternateButton, QStringLiteral("Cancel"));
    EXPECT_TRUE(fs::exists(tmp_ / kUdid / "apps" / kNotesApp));
    EXPECT_EQ(page().appFileController()->rowCount(), 1);

    answer_ = Alerts::Answer::Default;
    page().UninStallAppData();
    ASSERT_TRUE(waitActions());
    EXPECT_FALSE(fs::exists(tmp_ / kUdid / "apps" / kNotesApp));
    EXPECT_EQ(page().appFileController()->rowCount(), 0);
    EXPECT_TRUE(page().appFilesArray().empty());
    EXPECT_EQ(removed(RemovedCategory::Apps), bytes);
    EXPECT_EQ(page().statusText(), QStringLiteral("Notes was uninstalled."));
}

TEST_F(StoragePageActions, BooksAreRemovedWholeAfterTheCautionAndExportedAsFiles) {
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskBooksFiles, Scan::Books);
    ASSERT_EQ(page().booksFileController()->rowCount(), 2);
    int story = -1;
    int guide = -1;
    for (int row = 0; row < 2; ++row) {
        const auto book = page().booksFileController()->rowAt(row);
        (book->isFolder() ? story : guide) = row;
    }
    ASSERT_GE(story, 0);
    ASSERT_GE(guide, 0);
    EXPECT_EQ(page().booksFileController()->rowAt(guide)->fileSizeNumber(), 9u);

    select(dui().books.table, {guide});
    page().ExportBookItem();
    ASSERT_TRUE(waitActions());
    EXPECT_EQ(readFile(exportDir_ / "guide.pdf"), "pdf bytes");

    select(dui().books.table, {story});
    page().RemoveBookItem();
    ASSERT_TRUE(waitActions());
    const auto asked = questions(filemanager::removeQuestionText());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].informativeText.startsWith(QStringLiteral(
        "1 book (31.00bytes) will be deleted from the device: \u201cStory.epub\u201d.")))
        << asked[0].informativeText.toStdString();
    EXPECT_TRUE(asked[0].informativeText.endsWith(filemanager::removeBooksCautionText()));
    EXPECT_FALSE(fs::exists(media("/Books/Purchases/Story.epub")));
    EXPECT_TRUE(fs::exists(media("/Books/Purchases/guide.pdf")));
    ASSERT_EQ(page().booksFileController()->rowCount(), 1);
    EXPECT_EQ(page().bookFilesArray()[0]->bookName(),
              page().booksFileController()->rowAt(0)->bookName());
    EXPECT_EQ(removed(RemovedCategory::Books),
              std::string("application/epub+zip").size() + std::string("chapter one").size());
}

TEST_F(StoragePageActions, AnAppsDataGoesIntoAFolderOfItsOwnAndIsShown) {
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskUserAppFiles, Scan::Apps);
    select(dui().apps.table, {0});
    page().ExportAppData();
    ASSERT_TRUE(waitActions());
    // A dotted name from the device loses its dot; the folder is the app's own.
    EXPECT_EQ(readFile(exportDir_ / "Notes" / "Documents" / "draft.txt"), "draft");
    EXPECT_EQ(readFile(exportDir_ / "Notes" / "Documents" / "list.txt"), "list");
    ASSERT_EQ(revealed_.size(), 1u);
    EXPECT_EQ(revealed_[0], QString::fromStdString((exportDir_ / "Notes").string()));
}

TEST_F(StoragePageActions, ThePhotoPreviewShowsThePictureAndExportsUseTheCopy) {
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskPhotoFiles, Scan::Photo);
    const int row = photoRow("/DCIM/101APPLE/IMG_0004.PNG");
    ASSERT_GE(row, 0);
    select(dui().photo.table, {row});
    ASSERT_TRUE(waitActions());
    const auto photo = page().photoFileController()->rowAt(row);
    EXPECT_TRUE(photo->bhasCopy());
    // The photo itself, scaled into the preview, in place of the stand-in image.
    const QImage shown = dui().photo.previewImage->pixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(128, 128));
    EXPECT_EQ(shown.pixelColor(64, 64), QColor(Qt::darkCyan));
    EXPECT_EQ(dui().photo.previewName->text(), QStringLiteral("IMG_0004.PNG"));

    page().ExportPhotoItem();
    ASSERT_TRUE(waitActions());
    EXPECT_EQ(readFile(exportDir_ / "IMG_0004.PNG"),
              readFile(media("/DCIM/101APPLE/IMG_0004.PNG")));
}

TEST_F(StoragePageActions, ADeviceChangeDuringAJobDropsItsResult) {
    for (int i = 0; i < 30; ++i) {
        device().addMediaFileOfSize("/DCIM/102APPLE/IMG_1" + std::to_string(100 + i) + ".JPG",
                                    200000);
    }
    attachDevice();
    scan(&PRDiskaManagerViewController::ScanDiskPhotoFiles, Scan::Photo);
    const int ended = ended_;
    page().ExportAllPhotoItem();
    EXPECT_TRUE(page().actionRunning());
    page().initAllDataAndAllView();
    EXPECT_FALSE(page().actionRunning());
    ASSERT_TRUE(pumpUntil([&] { return page().workersEnding() == 0; }));
    pumpEvents(20);
    // Nothing the job handed over reached the page: no message, no folder shown.
    EXPECT_EQ(ended_, ended);
    EXPECT_TRUE(revealed_.empty());
    EXPECT_TRUE(page().statusText().isEmpty());
    EXPECT_EQ(page().photoFileController()->rowCount(), 0);

    // An action on the forgotten list asks to scan first.
    page().RemovePhotoItem();
    EXPECT_EQ(page().statusText(), QStringLiteral("Scan the category first."));
    EXPECT_TRUE(questions(filemanager::removeQuestionText()).empty());
}

}  // namespace
}  // namespace nimbara::test
