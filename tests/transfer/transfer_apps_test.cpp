// The transfer page's app category on the demo device: the user-app list with icons, container
// walks on first expansion, refused containers, departures and device changes, and previews.
#include <gtest/gtest.h>

#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "filemanager/storage_preview.h"
#include "transfer/app_containers.h"
#include "transfer/pages/transfer_app_pane.h"
#include "transfer_page_fixture.h"

namespace nimbara::test {
namespace {

using nimbara::transfer::TransferAppPane;
using AppDir = TransferAppPane::AppDir;

class TransferAppsTest : public TransferPageTest {
  protected:
    void SetUp() override {
        TransferPageTest::SetUp();
        appToken_ = NotificationCenter::defaultCenter().addObserver(
            "AppScanFinished", [this](const Notification&) { ++appFinished_; });
    }
    void TearDown() override {
        appToken_ = {};
        TransferPageTest::TearDown();
    }

    TransferAppPane& pane() { return page().appPane(); }
    bool waitIdle() {
        return pumpUntil([this] { return !pane().busy() && !pane().bappStartTransfer(); });
    }
    bool loadApps() {
        clickApp();
        return waitIdle() && pane().bAppLoadFinished();
    }
    AppDir app(const QString& name) {
        for (const AppDir& folder : pane().appTreeController().content()) {
            if (folder->fileDirName() == name) {
                return folder;
            }
        }
        return nullptr;
    }
    static AppDir child(const AppDir& folder, const QString& name) {
        for (const AppDir& sub : folder->children()) {
            if (sub->fileDirName() == name) {
                return sub;
            }
        }
        return nullptr;
    }
    // Expands the app's row in the outline as a user would, and waits for the walk.
    bool expand(const AppDir& node) {
        const QModelIndex index = pane().outlineModel()->indexOf(node.get());
        if (!index.isValid()) {
            return false;
        }
        pane().appOutlineView()->expand(index);
        return waitIdle();
    }
    void chooseFolder(const AppDir& folder) {
        pane().appOutlineView()->setCurrentIndex(pane().outlineModel()->indexOf(folder.get()));
    }
    // Chooses the entry of the folder shown whose device path ends in `name` and waits for its
    // preview.
    std::shared_ptr<PRAppFileTreeNode> preview(const QString& name) {
        const auto& entries = pane().appFileController()->entries();
        for (std::size_t row = 0; row < entries.size(); ++row) {
            if (QString::fromStdString(entries[row]->devicePath()).endsWith("/" + name)) {
                pane().appTableView()->clearSelection();
                pane().appTableView()->selectRow(static_cast<int>(row));
                EXPECT_TRUE(waitIdle());
                return entries[row];
            }
        }
        return nullptr;
    }
    static std::string contents(const QString& path) {
        std::ifstream in(path.toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    int appFinished_ = 0;
    ObserverToken appToken_;
};

TEST_F(TransferAppsTest, ListsTheUserAppsWithTheirIconsOnceAndStopsTheSpinner) {
    clickApp();
    EXPECT_TRUE(pane().bappStartTransfer());
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pane().bAppLoadFinished());
    EXPECT_EQ(page().shownView(), "appView");
    const auto& apps = pane().appTreeController().content();
    EXPECT_EQ(apps.size(), 13u);
    ASSERT_TRUE(app("Pocket Ledger"));
    EXPECT_FALSE(app("Pocket Ledger")->appIcon().isEmpty());
    EXPECT_EQ(app("Pocket Ledger")->appBundleName(), "com.lumenfield.pocketledger");
    // Built-in apps are not listed; a container that is refused still lists its app.
    EXPECT_FALSE(app("Safari"));
    EXPECT_TRUE(app("Northgate Vault"));
    // Not walked yet: no folders, yet each app can be opened.
    for (const AppDir& folder : apps) {
        EXPECT_TRUE(folder->children().empty());
        EXPECT_TRUE(
            pane().outlineModel()->hasChildren(pane().outlineModel()->indexOf(folder.get())));
    }
    EXPECT_EQ(appFinished_, 1);
    EXPECT_EQ(host_.starts(BusyMark::Apps), 1);
    EXPECT_FALSE(host_.indicatorOn(BusyMark::Apps));

    // Loaded once: a second entry reads nothing again and adds no row twice.
    clickApp();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(pane().appTreeController().content().size(), 13u);
    EXPECT_EQ(appFinished_, 1);
}

TEST_F(TransferAppsTest, AContainerIsWalkedOnItsFirstExpansionOnly) {
    ASSERT_TRUE(loadApps());
    const AppDir notes = app("Quiet Notes");
    ASSERT_TRUE(notes);
    ASSERT_TRUE(expand(notes));
    EXPECT_EQ(pane().walksStarted(), 1);
    EXPECT_TRUE(notes->bExpand());
    const AppDir documents = child(notes, "Documents");
    ASSERT_TRUE(documents);
    // Nested and empty folders are in the tree.
    const AppDir archive = child(documents, "Archive");
    ASSERT_TRUE(archive);
    EXPECT_TRUE(child(archive, "Empty"));
    ASSERT_TRUE(child(archive, "2025"));
    const std::size_t folders = documents->children().size();

    pane().appOutlineView()->collapse(pane().outlineModel()->indexOf(notes.get()));
    ASSERT_TRUE(expand(notes));
    EXPECT_EQ(pane().walksStarted(), 1);
    EXPECT_EQ(documents->children().size(), folders);

    // A folder's files fill the table; a folder without files gives an empty one.
    chooseFolder(child(archive, "2025"));
    EXPECT_EQ(pane().appFileController()->rowCount(), 2);
    chooseFolder(child(archive, "Empty"));
    EXPECT_EQ(pane().appFileController()->rowCount(), 0);
}

TEST_F(TransferAppsTest, TwoAppsOpenedAtOnceAreWalkedOneAfterTheOther) {
    ASSERT_TRUE(loadApps());
    const AppDir notes = app("Quiet Notes");
    const AppDir scan = app("Scan Pro");
    pane().appOutlineView()->expand(pane().outlineModel()->indexOf(notes.get()));
    pane().appOutlineView()->expand(pane().outlineModel()->indexOf(scan.get()));
    // The second waits for the first.
    EXPECT_EQ(pane().walksStarted(), 1);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(pane().walksStarted(), 2);
    EXPECT_TRUE(child(notes, "Documents"));
    EXPECT_TRUE(child(scan, "Documents"));
}

TEST_F(TransferAppsTest, ARefusedContainerSaysSoAndIsNotTriedAgain) {
    ASSERT_TRUE(loadApps());
    const AppDir vault = app("Northgate Vault");
    ASSERT_TRUE(vault);
    ASSERT_TRUE(expand(vault));
    EXPECT_TRUE(vault->children().empty());
    EXPECT_TRUE(pane().infoText().contains("doesn't share its files with computers"))
        << pane().infoText().toStdString();
    EXPECT_FALSE(pane().outlineModel()->hasChildren(pane().outlineModel()->indexOf(vault.get())));
    ASSERT_TRUE(expand(vault));
    EXPECT_EQ(pane().walksStarted(), 1);
}

TEST_F(TransferAppsTest, SameNamesInTwoContainersPreviewAsTwoCopies) {
    ASSERT_TRUE(loadApps());
    QString paths[2];
    const char* names[2] = {"Quiet Notes", "Scan Pro"};
    for (int i = 0; i < 2; ++i) {
        const AppDir owner = app(QLatin1String(names[i]));
        ASSERT_TRUE(owner);
        ASSERT_TRUE(expand(owner));
        chooseFolder(child(owner, "Documents"));
        const auto file = preview(QStringLiteral("notes.zip"));
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->btransfer()) << pane().infoText().toStdString();
        paths[i] = file->transferPath();
    }
    EXPECT_NE(paths[0], paths[1]);
    EXPECT_EQ(contents(paths[0]).size(), 96u * 1000);
    EXPECT_EQ(contents(paths[1]).size(), 64u * 1000);
}

TEST_F(TransferAppsTest, AFailedPreviewCopyIsNotMarkedAndIsTriedAgain) {
    ASSERT_TRUE(loadApps());
    const AppDir ledger = app("Pocket Ledger");
    ASSERT_TRUE(expand(ledger));
    chooseFolder(child(ledger, "Documents"));
    ASSERT_GT(pane().appFileController()->rowCount(), 0);
    const QString name = pane().appFileController()->entryAt(0)->fileName();

    // The device refuses the container now: nothing is copied and nothing marked.
    setFault(demo_, md::sim::kFaultRefusedContainers,
             PlistValue(PlistValue::Array{PlistValue("com.lumenfield.pocketledger")}));
    auto file = preview(name);
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->btransfer());
    EXPECT_TRUE(file->transferPath().isEmpty());
    EXPECT_FALSE(pane().infoText().isEmpty());

    setFault(demo_, nullptr);
    file = preview(name);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->btransfer()) << pane().infoText().toStdString();
    EXPECT_TRUE(std::filesystem::is_regular_file(file->transferPath().toStdString()));
}

TEST_F(TransferAppsTest, ADeviceGoneMidWalkDropsWhatWasReadFromIt) {
    ASSERT_TRUE(loadApps());
    const AppDir news = app("News Daily");
    ASSERT_TRUE(news);
    setFault(demo_, md::sim::kFaultDetachAfter, PlistValue(std::int64_t{12}));
    pane().appOutlineView()->expand(pane().outlineModel()->indexOf(news.get()));
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pumpUntil([this] { return pane().appTreeController().content().empty(); }));
    EXPECT_FALSE(pane().bAppLoadFinished());
    EXPECT_TRUE(pane().infoText().contains("went away")) << pane().infoText().toStdString();
    EXPECT_EQ(appFinished_, 1);
}

TEST_F(TransferAppsTest, ADeviceChangeResetsTheViewAndStopsTheLoad) {
    clickApp();
    ASSERT_TRUE(pane().bappStartTransfer());
    page().initAllDataAndAllView();
    EXPECT_FALSE(pane().bappStartTransfer());
    EXPECT_EQ(appFinished_, 1);  // the stopped load's spinner stops
    pumpEvents(20);
    EXPECT_TRUE(pane().appTreeController().content().empty());

    ASSERT_TRUE(loadApps());
    ASSERT_TRUE(expand(app("Quiet Notes")));
    chooseFolder(child(app("Quiet Notes"), "Documents"));
    ASSERT_GT(pane().appFileController()->rowCount(), 0);
    page().initAllDataAndAllView();
    EXPECT_EQ(page().shownView(), "mainView");
    EXPECT_TRUE(pane().appTreeController().content().empty());
    EXPECT_EQ(pane().appFileController()->rowCount(), 0);
    EXPECT_FALSE(pane().bAppLoadFinished());
    EXPECT_EQ(pane().outlineModel()->rowCount(), 0);
    // The category loads again afterwards.
    ASSERT_TRUE(loadApps());
    EXPECT_EQ(pane().appTreeController().content().size(), 13u);
}

TEST(AppPreviewPlaces, OneDevicePathInTwoContainersHasTwoPlaces) {
    const amd::DeviceTarget target{0, 42};
    const auto media = filemanager::previewCopyPath(target, "/Documents/a.txt");
    const auto first = filemanager::previewCopyPath(target, "/Documents/a.txt", "com.example.one");
    const auto second = filemanager::previewCopyPath(target, "/Documents/a.txt", "com.example.two");
    EXPECT_NE(first, second);
    EXPECT_NE(first, media);
    EXPECT_EQ(first.filename(), "a.txt");
}

}  // namespace
}  // namespace nimbara::test
