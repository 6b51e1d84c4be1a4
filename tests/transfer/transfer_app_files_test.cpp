// The app pane's context menus on the demo device: adding a file from the computer into a
// container, deleting chosen files, exporting files and folders to a chosen folder and to
// Documents, and which menu items are enabled.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QAction>
#include <QMenu>
#include <QTableView>
#include <QTreeView>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "transfer/pages/transfer_app_pane.h"
#include "transfer/pages/transfer_record_exports.h"
#include "transfer_page_fixture.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using nimbara::transfer::AppFileCommand;
using nimbara::transfer::TransferAppPane;
using AppDir = TransferAppPane::AppDir;

class TransferAppFilesTest : public TransferPageTest {
  protected:
    void SetUp() override {
        TransferPageTest::SetUp();
        savePanel_.emplace(ui::SavePanel::handler(),
                           [this](QWidget*, const ui::SavePanel::Request&) {
                               return std::optional<QString>(QString::fromStdString(chosen_));
                           });
        openPanel_.emplace(ui::OpenPanel::handler(),
                           [this](QWidget*, const ui::OpenPanel::Request&) {
                               return std::optional<QString>(QString::fromStdString(local_));
                           });
        viewer_.emplace(ui::FileViewer::handler(), [this](const QString& folder) {
            revealed_.push_back(folder.toStdString());
        });
    }
    void TearDown() override {
        savePanel_.reset();
        openPanel_.reset();
        viewer_.reset();
        TransferPageTest::TearDown();
    }

    TransferAppPane& pane() { return page().appPane(); }
    nimbara::transfer::TransferAppFileActions& actions() { return pane().fileActions(); }
    fs::path container(const std::string& path) const {
        return demo_ / md::sim::kAppsDir / "io.quietnotes.app" / md::sim::kAppContainer / path;
    }
    bool waitIdle() {
        return pumpUntil([this] { return !pane().busy() && !pane().bappStartTransfer(); });
    }
    static AppDir child(const AppDir& folder, const QString& name) {
        for (const AppDir& sub : folder ? folder->children() : std::vector<AppDir>{}) {
            if (sub->fileDirName() == name) {
                return sub;
            }
        }
        return nullptr;
    }
    // Quiet Notes opened, its Documents folder chosen.
    AppDir openDocuments() {
        clickApp();
        EXPECT_TRUE(waitIdle());
        AppDir notes;
        for (const AppDir& app : pane().appTreeController().content()) {
            if (app->fileDirName() == "Quiet Notes") {
                notes = app;
            }
        }
        pane().appOutlineView()->expand(pane().outlineModel()->indexOf(notes.get()));
        EXPECT_TRUE(waitIdle());
        choose(child(notes, "Documents"));
        return child(notes, "Documents");
    }
    void choose(const AppDir& folder) {
        pane().appOutlineView()->setCurrentIndex(pane().outlineModel()->indexOf(folder.get()));
    }
    // Chooses the table rows of these device paths (only them).
    void select(const std::vector<std::string>& paths) {
        QTableView* table = pane().appTableView();
        table->clearSelection();
        for (int row = 0; row < pane().appFileController()->rowCount(); ++row) {
            const auto entry = pane().appFileController()->entryAt(row);
            if (std::find(paths.begin(), paths.end(), entry->devicePath()) != paths.end()) {
                table->selectionModel()->select(
                    pane().appFileController()->index(row, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }
    }
    bool listed(const std::string& path) {
        for (const auto& entry : pane().appFileController()->entries()) {
            if (entry->devicePath() == path) {
                return true;
            }
        }
        return false;
    }
    std::string info() { return pane().infoText().toStdString(); }

    std::string chosen_;
    std::string local_;
    std::vector<std::string> revealed_;
    std::optional<ui::ScopedHandler<ui::SavePanel::Handler>> savePanel_;
    std::optional<ui::ScopedHandler<ui::OpenPanel::Handler>> openPanel_;
    std::optional<ui::ScopedHandler<ui::FileViewer::Handler>> viewer_;
};

TEST_F(TransferAppFilesTest, AddsAFileBesideTheChosenOneAndReplacesOnlyWhenAllowed) {
    ASSERT_TRUE(openDocuments());
    const fs::path local = tmp_ / "local";
    fs::create_directories(local / "dir");
    writeText(local / "added.txt", "added");
    writeText(local / "notes.zip", "newer notes");
    ASSERT_EQ(::mkfifo((local / "pipe").c_str(), 0600), 0);
    struct Row {
        const char* file;
        std::optional<Alerts::Answer> answer;  // none: no question expected
        const char* info;
        const char* deviceHolds;  // what /Documents/<file> holds afterwards; null: nothing
    };
    const Row rows[] = {
        {"added.txt", std::nullopt, "was added to Quiet Notes", "added"},
        {"notes.zip", Alerts::Answer::Alternate, "Nothing was added", nullptr},
        {"notes.zip", Alerts::Answer::Default, "was replaced in Quiet Notes", "newer notes"},
        {"pipe", std::nullopt, "a named pipe", nullptr},
        {"dir", std::nullopt, "a folder", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        local_ = (local / row.file).string();
        int asked = 0;
        Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& q) {
            ++asked;
            EXPECT_NE(q.message.indexOf("\u201cnotes.zip\u201d is already in this folder of "
                                        "Quiet Notes"),
                      -1);
            return row.answer.value_or(Alerts::Answer::Alternate);
        });
        select({"/Documents/notes.zip"});
        actions().addFilesToApp();
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(asked, row.answer ? 1 : 0);
        EXPECT_NE(info().find(row.info), std::string::npos) << info();
        const fs::path onDevice = container(std::string("Documents/") + row.file);
        if (row.deviceHolds != nullptr) {
            EXPECT_EQ(readText(onDevice), row.deviceHolds);
            EXPECT_TRUE(listed("/Documents/" + std::string(row.file)));
        } else if (std::string(row.file) != "notes.zip") {
            EXPECT_FALSE(fs::exists(onDevice));
        } else {
            EXPECT_EQ(fs::file_size(onDevice), 96u * 1000);  // as it was
        }
    }
}

TEST_F(TransferAppFilesTest, DeletesWhatTheQuestionNamedAndOnlyWhatTheDeviceRemoved) {
    ASSERT_TRUE(openDocuments());
    setFault(demo_, md::sim::kFaultRefusedRemovals,
             PlistValue(PlistValue::Array{PlistValue("/Documents/notes.zip")}));
    select({"/Documents/mp3", "/Documents/.mp3", "/Documents/notes.zip"});
    const int rows = pane().appFileController()->rowCount();
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& q) {
        EXPECT_EQ(q.message,
                  "Are you sure you want to permanently delete the selected file(s) "
                  "from your device?");
        EXPECT_EQ(q.defaultButton, "Deleted");
        EXPECT_EQ(q.alternateButton, "Cancel");
        for (const char* part : {"3 files", "Quiet Notes", "\u201cmp3\u201d",
                                 "\u201cnotes.zip\u201d", "CAUTION: Only advanced users"}) {
            EXPECT_NE(q.informativeText.indexOf(QString::fromUtf8(part)), -1) << part;
        }
        select({"/Documents/.notes.zip"});  // the user's choice changes meanwhile
        return Alerts::Answer::Default;
    });
    actions().AppDeleted();
    pane().appTableView()->selectAll();  // and again while the files go
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(fs::exists(container("Documents/mp3")));
    EXPECT_FALSE(fs::exists(container("Documents/.mp3")));
    EXPECT_TRUE(fs::exists(container("Documents/notes.zip")));   // refused by the device
    EXPECT_TRUE(fs::exists(container("Documents/.notes.zip")));  // never asked about
    EXPECT_EQ(pane().appFileController()->rowCount(), rows - 2);
    EXPECT_TRUE(listed("/Documents/notes.zip"));
    EXPECT_FALSE(listed("/Documents/mp3"));
    EXPECT_TRUE(pane().appTableView()->selectionModel()->selectedRows().isEmpty());
    EXPECT_NE(info().find("2 item(s) deleted"), std::string::npos) << info();
    EXPECT_NE(info().find("1 could not be deleted"), std::string::npos) << info();
}

TEST_F(TransferAppFilesTest, ExportsFoldersAndFilesUnderTheirContainerPaths) {
    writeText(container("Documents/Sub/deep/a.txt"), "a");
    writeText(container("Documents/.hidden/h.txt"), "h");
    const AppDir documents = openDocuments();
    ASSERT_TRUE(documents);

    chosen_ = (tmp_ / "folder export").string();
    actions().AppDirExporttoMac();
    ASSERT_TRUE(waitIdle());
    const std::vector<std::string> files = filesBelow(chosen_);
    for (const char* file :
         {"Documents/Sub/deep/a.txt", "Documents/hidden/h.txt", "Documents/notes.zip",
          "Documents/notes (2).zip", "Documents/Archive/2025/draft.PDF"}) {
        EXPECT_NE(std::find(files.begin(), files.end(), file), files.end()) << file;
    }
    EXPECT_EQ(revealed_, std::vector<std::string>{chosen_});

    // The files of a hidden folder, chosen in the table, land in the same form of its name.
    choose(child(documents, "hidden"));
    actions().AppSelectAll();
    chosen_ = (tmp_ / "files export").string();
    actions().AppExportFilestoMac();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(filesBelow(chosen_), std::vector<std::string>{"Documents/hidden/h.txt"});
    EXPECT_EQ(revealed_.size(), 2u);
}

TEST_F(TransferAppFilesTest, DocumentsExportsNumberTakenNamesAndADeviceChangeDropsTheJob) {
    ASSERT_TRUE(openDocuments());
    const fs::path documents = nimbara::transfer::documentsFolder();
    writeText(documents / "notes.zip", "mine");
    select({"/Documents/notes.zip", "/Documents/.notes.zip"});
    actions().AppExportFilestoDocument();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(readText(documents / "notes.zip"), "mine");
    EXPECT_EQ(
        fs::file_size(documents / "notes (2).zip") + fs::file_size(documents / "notes (3).zip"),
        (96u + 12u) * 1000);
    EXPECT_EQ(revealed_.size(), 1u);

    // A device change before the job's end: nothing of it reaches the pane.
    select({"/Documents/notes.zip"});
    actions().AppExportFilestoDocument();
    page().initAllDataAndAllView();
    pumpEvents(50);
    EXPECT_FALSE(pane().busy());
    EXPECT_EQ(revealed_.size(), 1u);
}

TEST_F(TransferAppFilesTest, MenuItemsNeedAChosenRowAndNoRunningJob) {
    struct Row {
        AppFileCommand command;
        bool chosen, running, enabled;
    };
    const Row rows[] = {
        {AppFileCommand::Delete, true, false, true},
        {AppFileCommand::Delete, false, false, false},
        {AppFileCommand::Delete, true, true, false},
        {AppFileCommand::ExportFolder, true, true, false},
        {AppFileCommand::SelectAll, true, true, true},
        {AppFileCommand::SelectAll, false, false, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nimbara::transfer::appMenuItemEnabled(row.command, row.chosen, row.running),
                  row.enabled)
            << static_cast<int>(row.command) << row.chosen << row.running;
    }
    // The menus themselves: the folder menu with no folder chosen, then with one.
    clickApp();
    ASSERT_TRUE(waitIdle());
    QMenu* folderMenu = actions().appDirMenu();
    ASSERT_TRUE(folderMenu);
    const auto enabledItems = [](QMenu* menu) {
        int count = 0;
        for (QAction* item : menu->actions()) {
            count += !item->isSeparator() && item->isEnabled() ? 1 : 0;
        }
        return count;
    };
    actions().menuNeedsUpdate(folderMenu);
    EXPECT_EQ(enabledItems(folderMenu), 0);
    choose(pane().appTreeController().content().front());
    actions().menuNeedsUpdate(folderMenu);
    EXPECT_EQ(enabledItems(folderMenu), 2);
    actions().menuNeedsUpdate(actions().appFileMenu());
    EXPECT_EQ(enabledItems(actions().appFileMenu()), 0);  // no file chosen
}

}  // namespace
}  // namespace nimbara::test
