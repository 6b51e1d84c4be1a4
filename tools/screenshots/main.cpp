// nimbara-screenshots OUTDIR: renders the windows offscreen to PNG files, for review.
//
// It starts the application hub on a simulated library, first without a device and then with
// the demo iPhone (written into a private temporary folder), and saves the main window in its
// states (no device, status page, storage overview, each feature tab, some sidebar pages), the
// quick-scan window, the small windows, two conversations of the demo backup as chat bubbles,
// the backup page in its states (the backup tool beside this program makes the backup), the
// privacy cleaner's results on the demo backup with the map of its photo locations, and the
// advertisement-removal page in a window of its own, the transfer page's categories, and the
// device file browser, and the storage manager's category table and lists after a scan of every
// category.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSize>
#include <QStringList>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/archived_app_install_flow.h"
#include "app/main_window_ui.h"
#include "app/preferences_controller.h"
#include "app/preferences_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "app/quick_scan_window_ui.h"
#include "app/update_check.h"
#include "backup/backup_location.h"
#include "backup/conversations.h"
#include "backup/pages/backup_view_ui.h"
#include "backup/pages/pr_back_up_view_controller.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup_writer.h"
#include "browser/pages/backup_files_view.h"
#include "browser/pages/pr_result_view_controller.h"
#include "browser/pages/recovery_export_sheet.h"
#include "browser/pages/thumbnail_strip_view.h"
#include "cleanup/app_archive_jobs.h"
#include "cleanup/pages/pr_ads_remove_controller.h"
#include "cleanup/pages/pr_clean_view_controller.h"
#include "cleanup/pages/pr_find_large_file_view_controller.h"
#include "cleanup/pages/pr_system_boost_view_controller.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "device/pri_device_node.h"
#include "filemanager/pages/pr_diska_manager_view_controller.h"
#include "filemanager/pages/pr_phone_system_view_controller.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"
#include "platform/scratch_dir.h"
#include "privacy/pages/pr_privacy_controller.h"
#include "privacy/privacy_clean_selection.h"
#include "privacy/privacy_scan.h"
#include "sim_device_builder.h"
#include "sim_media_library.h"
#include "transfer/pages/pr_media_preview_controller.h"
#include "transfer/pages/pr_one_copy_view_controller.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "transfer/pages/transfer_app_pane.h"
#include "transfer/pages/transfer_media_menus.h"
#include "transfer/pages/transfer_records_pane.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/alerts.h"
#include "ui/attached_window.h"
#include "ui/chat_column_view.h"
#include "ui/fonts.h"
#include "ui/notification_buttons.h"
#include "ui/save_panel.h"

namespace {

// Runs the event loop until `condition` holds or about `seconds` have passed.
bool pumpUntil(const std::function<bool()>& condition, double seconds) {
    const int rounds = static_cast<int>(seconds * 100);
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::processEvents();
        if (condition()) {
            return true;
        }
        QThread::msleep(10);
    }
    return condition();
}

void settle() {
    pumpUntil([] { return false; }, 0.2);
}

class Shooter {
  public:
    explicit Shooter(QString dir) : dir_(std::move(dir)) {}

    // `settled`: the event loop runs a moment first; without it the window is taken as it is
    // (a job caught while it runs).
    bool save(QWidget* widget, const QString& name, bool settled = true) {
        if (widget == nullptr) {
            std::fprintf(stderr, "nimbara-screenshots: no window for %s\n", qPrintable(name));
            ok_ = false;
            return false;
        }
        if (settled) {
            settle();
        }
        const QString path = dir_ + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!widget->grab().save(path)) {
            std::fprintf(stderr, "nimbara-screenshots: could not write %s\n", qPrintable(path));
            ok_ = false;
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    }

    bool ok() const { return ok_; }

  private:
    QString dir_;
    bool ok_ = true;
};

// Takes the question `act` asks as the user sees it, then declines it: nothing changes.
void saveQuestion(Shooter& shots, const QString& name, const std::function<void()>& act) {
    nimbara::Alerts::ScopedHandler asked(
        [&shots, name](QWidget* parent, const nimbara::Alerts::Question& question) {
            QTimer::singleShot(0, [&shots, name] {
                if (QWidget* box = QApplication::activeModalWidget()) {
                    box->adjustSize();
                    shots.save(box, name);
                    box->close();
                }
            });
            nimbara::Alerts::ScopedHandler shown{nimbara::Alerts::Handler()};
            nimbara::Alerts::ask(parent, question);
            return nimbara::Alerts::Answer::Alternate;
        });
    act();
}

// The demo backup's conversations drawn as chat columns: the one with a picture attached, and
// the one with a contact card.
void shootConversations(Shooter& shots, const PRResultViewController& page) {
    nimbara::backup::ConversationGrouping grouping;
    for (const auto& message : page.records().messageArray()) {
        grouping.addMessage(message);
    }
    const auto withAttachment = [&](const char* type) {
        for (const auto& conversation : grouping.conversations()) {
            for (const auto& message : conversation->MessageNodeArray()) {
                if (message->attachType() == QLatin1String(type)) {
                    return conversation;
                }
            }
        }
        return std::shared_ptr<PRMessageTreeNode>();
    };
    const std::pair<const char*, const char*> wanted[] = {
        {"Image", "24-chat-view"},
        {"Contact", "25-chat-view-contact-card"},
    };
    for (const auto& [type, name] : wanted) {
        const auto conversation = withAttachment(type);
        if (!conversation) {
            std::fprintf(stderr, "nimbara-screenshots: no conversation with a %s attachment\n",
                         type);
            continue;
        }
        ChatColumnView column;
        column.resize(static_cast<int>(nimbara::backup::kChatColumnWidth), 520);
        column.show();
        column.showConversation(conversation);
        if (!pumpUntil([&] { return !column.picturesPending(); }, 10.0)) {
            std::fprintf(stderr, "nimbara-screenshots: the chat pictures did not arrive\n");
        }
        shots.save(&column, QLatin1String(name));
    }
}

// A copy of `shown` with a long sent and a long received message at its start: texts with words,
// and a single long address without spaces.
std::shared_ptr<PRMessageTreeNode> withLongMessages(const PRMessageTreeNode& shown) {
    auto copy = std::make_shared<PRMessageTreeNode>();
    copy->setMessageTreeNodeName(shown.messageTreeNodeName());
    const auto messages = shown.MessageNodeArray();
    const std::pair<const char*, bool> added[] = {
        {"The address for Saturday is 1428 Elm Street, flat 3B: ring twice, the bell is broken, "
         "and park behind the bakery because the street is closed for the market all morning.",
         false},
        {"https://photos.example.org/albums/2026-summer-trip-to-the-lake/shared/"
         "0f3c9a77e1b24d5fa3c8d2e6b1907a44?view=grid&sort=oldest",
         false},
        {"Thanks! Could you also bring the folding chairs and the long extension cable from the "
         "garage? Mine stopped working last week.",
         true},
    };
    for (const auto& [text, received] : added) {
        auto message = std::make_shared<PRMessageNode>();
        if (!messages.empty() && messages.front()) {
            message->setMessageName(messages.front()->messageName());
            message->setMessagePhone(messages.front()->messagePhone());
            message->setMessageDate(messages.front()->messageDate());
        }
        message->setMessageContent(QString::fromUtf8(text));
        message->setMessageType(received ? QStringLiteral("Received") : QStringLiteral("Send"));
        copy->addMessageNode(message);
    }
    for (const auto& message : messages) {
        copy->addMessageNode(message);
    }
    return copy;
}

// The conversation view at the window's smallest size with long messages in it, then the picture
// "Save as Picture" makes of it.
void shootLongMessagesAndTheirPicture(Shooter& shots, QWidget* window, PRResultViewController& page,
                                      const QString& desktop) {
    const QSize before = window->size();
    window->resize(window->minimumSize());
    page.categoryList->setCurrentRow(PRResultViewController::kMessages);
    page.messageTreeTableView->selectRow(1);
    const auto shown = page.currentMessageTreeNode();
    if (!shown) {
        std::fprintf(stderr, "nimbara-screenshots: no conversation to add long messages to\n");
        return;
    }
    page.showConversation(withLongMessages(*shown));
    pumpUntil([&] { return !page.messageTreeScrollView->picturesPending(); }, 10.0);
    shots.save(window, QStringLiteral("22a-backup-browser-long-messages-smallest-window"));

    page.setDesktopFolderProvider([desktop] { return desktop; });
    nimbara::ui::ScopedHandler<nimbara::ui::FileViewer::Handler> reveal(
        nimbara::ui::FileViewer::handler(), [](const QString&) {});
    page.exportBtn->click();
    if (!pumpUntil([&] { return !page.exportingPicture(); }, 30.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the conversation's picture was not saved\n");
    }
    const QFileInfoList saved =
        QDir(desktop + QStringLiteral("/Ozzaro"))
            .entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Time);
    QLabel picture;
    if (!saved.isEmpty()) {
        picture.setPixmap(QPixmap(saved.front().filePath()));
        picture.resize(picture.pixmap().size());
    }
    if (saved.isEmpty() || picture.pixmap().isNull()) {
        std::fprintf(stderr, "nimbara-screenshots: no picture of the conversation: %s\n",
                     qPrintable(page.exportInfolab->text()));
    } else {
        shots.save(&picture, QStringLiteral("22b-conversation-picture"));
    }
    page.messageTreeTableView->selectRow(1);
    window->resize(before);
}

void click(QWidget* control);

// The privacy cleaner's results on the demo backup, handed over as its scan hands them: the
// messages with the chosen conversation as bubbles, the photo locations and their map.
void shootPrivacyResults(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui,
                         const std::string& backupFolder) {
    click(ui.privacyBannerBtn);
    PRPrivacyController* page = hub.privacyController();
    shots.save(ui.window, QStringLiteral("26-privacy-start"));
    if (page == nullptr ||
        !page->showScanResults(nimbara::privacy::readPrivacyBackup(backupFolder))) {
        std::fprintf(stderr, "nimbara-screenshots: the privacy results were not shown\n");
        return;
    }
    const auto picturesShown = [page] {
        return page->picturesPending() == 0 &&
               (page->messageScrollView == nullptr || !page->messageScrollView->picturesPending());
    };
    pumpUntil(picturesShown, 10.0);
    shots.save(ui.window, QStringLiteral("26-privacy-contacts-results"));
    click(page->messageBtn);
    // A conversation with a picture in it, ticked along with the one above it.
    const auto& conversations = page->scanResult()->messages.conversations;
    int chosen = 0;
    for (std::size_t i = 0; i < conversations.size(); ++i) {
        for (const auto& message : conversations[i]->MessageNodeArray()) {
            if (message->attachType() == QLatin1String("Image")) {
                chosen = static_cast<int>(i);
            }
        }
    }
    page->messageTableview->selectRow(chosen);
    QAbstractItemModel* model = page->messageTableview->model();
    model->setData(model->index(chosen, 0), Qt::Checked, Qt::CheckStateRole);
    if (!pumpUntil(picturesShown, 10.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the chat pictures did not arrive\n");
    }
    shots.save(ui.window, QStringLiteral("26a-privacy-messages"));
    click(page->gpsBtn);
    page->gpsRecordTableView->selectRow(3);
    shots.save(ui.window, QStringLiteral("26b-privacy-locations"));
    click(page->showMapBtn);
    shots.save(page->mapWindow, QStringLiteral("26c-privacy-map"));
    if (page->mapWindow != nullptr) {
        page->mapWindow->hide();
    }
    click(page->messageAttachmentBtn);
    const auto& attachments = page->scanResult()->files.messageAttachmentArray;
    for (std::size_t i = 0; i < attachments.size(); ++i) {
        if (attachments[i]->backupFilePath().endsWith(QStringLiteral(".jpeg"),
                                                      Qt::CaseInsensitive) ||
            attachments[i]->backupFilePath().endsWith(QStringLiteral(".jpg"),
                                                      Qt::CaseInsensitive)) {
            page->messageAttachmentTableView->selectRow(static_cast<int>(i));
            break;
        }
    }
    pumpUntil(picturesShown, 10.0);
    shots.save(ui.window, QStringLiteral("26d-privacy-attachments"));
    // The clean's question for what is ticked now, as the page asks it (no flow runs here).
    saveQuestion(shots, QStringLiteral("26e-privacy-clean-question"), [page] {
        const auto asked = nimbara::privacy::privacyCleanQuestion(
            nimbara::privacy::snapshotPrivacySelection(*page->scanResult()));
        nimbara::Alerts::Question question;
        question.message = asked.message;
        question.informativeText = asked.informativeText;
        question.defaultButton = QStringLiteral("Clean Up");
        question.alternateButton = QStringLiteral("Cancel");
        nimbara::Alerts::ask(page->view()->window(), question);
    });
}

// A left-button press and release on a control, as the user's click.
// The backup file tree with the camera roll chosen, some photos and a folder ticked, and the
// first photo in the preview.
void showBackupFiles(PRResultViewController& page) {
    page.categoryList->setCurrentRow(PRResultViewController::kBackupFiles);
    nimbara::browser::BackupFilesView& files = *page.backupFilesView;
    QAbstractItemModel* outline = files.treeView->model();
    auto find = [outline](const QStringList& path) {
        QModelIndex at = outline->index(0, 0);
        for (const QString& name : path) {
            QModelIndex next;
            for (int row = 0; row < outline->rowCount(at) && !next.isValid(); ++row) {
                if (outline->index(row, 0, at).data().toString() == name) {
                    next = outline->index(row, 0, at);
                }
            }
            at = next;
        }
        return at;
    };
    const QModelIndex roll = find({"CameraRollDomain", "Media", "DCIM", "100APPLE"});
    const QModelIndex home = find({"HomeDomain"});
    if (!roll.isValid()) {
        std::fprintf(stderr, "nimbara-screenshots: no camera roll in the backup outline\n");
        return;
    }
    for (QModelIndex up = roll; up.isValid(); up = up.parent()) {
        files.treeView->expand(up);
    }
    files.treeView->setCurrentIndex(roll);
    files.treeView->scrollTo(roll);
    if (home.isValid()) {
        files.toggleFolderTick(home);
    }
    files.tickFileRow(0);
    files.tickFileRow(2);
    files.treetableView->selectRow(0);
    pumpUntil(
        [&] { return files.previewState() != nimbara::browser::BackupFilesView::Preview::Loading; },
        10.0);
}

// The backup browser reads the local backups off the GUI thread; waits until they are listed.
void waitForBackupList(QuennicAppDelegate& hub) {
    if (!pumpUntil([&] { return !hub.GetPRIOSDeviceController()->isLoading(); }, 10.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the backup list was not read\n");
    }
}

// The system boost page: the summary after a scan, one kind's list, and the remove-all sheet
// as it looks a third of the way through (staged: a real removal would change the device the
// later scenes show).
void shootSystemBoostPage(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRSystemBoostViewController* page = hub.systemBoostViewController();
    if (page == nullptr) {
        return;
    }
    click(ui.adsRemoveBannerBtn);
    SystemBoostUi& boost = page->boostUi();
    nimbara::NotificationCenter::defaultCenter().post("MyScanbuttonMouseDown",
                                                      static_cast<QObject*>(boost.scanButton));
    if (!pumpUntil([page] { return !page->busy(); }, 60.0) || page->result() == nullptr) {
        std::fprintf(stderr, "nimbara-screenshots: the system boost scan did not finish\n");
        return;
    }
    shots.save(ui.window, QStringLiteral("45-system-boost-scanned"));
    page->ClickDownloadAction();
    boost.systemBoostTableview->selectRow(1);
    shots.save(ui.window, QStringLiteral("45a-system-boost-downloads"));
    page->ExportOneFileAction();
    pumpUntil([page] { return !page->busy(); }, 20.0);
    shots.save(ui.window, QStringLiteral("45a2-system-boost-exported"));
    // A file the device needs is kept, and the list says why beside its buttons.
    for (int row = 0; row < page->systemBoostcontroller()->rowCount(); ++row) {
        if (page->systemBoostcontroller()->rowAt(row)->fileName().endsWith(".sqlitedb")) {
            boost.systemBoostTableview->clearSelection();
            boost.systemBoostTableview->selectRow(row);
            page->RemoveOneFileAction();
            shots.save(ui.window, QStringLiteral("45a2b-system-boost-file-kept"));
            break;
        }
    }
    page->BackAction();
    saveQuestion(shots, QStringLiteral("45a3-system-boost-remove-all-question"),
                 [page] { page->RemoveAllFilesAction(); });
    const std::uint64_t files = page->totalFileNumber();
    const std::uint64_t bytes = page->result()->totalBytes();
    boost.removeFileInfolab->setText(PRSystemBoostViewController::removeAllMessage(files, bytes));
    boost.removeProgress->setValue(nimbara::cleanup::cleanPercent(files / 3, files));
    boost.removeNumberInfolab->setText(
        nimbara::cleanup::removeProgressText(files / 3, files, bytes));
    boost.removeWindow->show();
    shots.save(boost.removeWindow, QStringLiteral("45b-system-boost-remove-all-sheet"));
    boost.removeWindow->hide();
    page->initAllDataAndAllView();
}

// The device file browser after its walk of the demo device: a folder of photos chosen with a
// picture's preview, and a deep folder reached through hidden names.
void shootDeviceFiles(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRPhoneSystemViewController* page = hub.GetSystemViewController();
    if (page == nullptr) {
        return;
    }
    hub.ClickSystemLib(nullptr);
    if (!pumpUntil([page] { return !page->bScanStart(); }, 60.0) || !page->bLoadFinished()) {
        std::fprintf(stderr, "nimbara-screenshots: the device file walk did not finish\n");
        return;
    }
    PhoneSystemUi& files = page->systemUi();
    const auto choose = [&](const std::vector<QString>& names, const QString& entry) {
        auto* outline = page->outlineModel();
        QModelIndex at;
        for (const QString& name : names) {
            QModelIndex next;
            for (int row = 0; row < outline->rowCount(at); ++row) {
                const QModelIndex child = outline->index(row, 0, at);
                if (outline->data(child).toString() == name) {
                    next = child;
                }
            }
            if (!next.isValid()) {
                return;
            }
            files.theOutlineView->expand(next);
            at = next;
        }
        files.theOutlineView->setCurrentIndex(at);
        auto* entries = page->libFileController();
        for (int row = 0; row < entries->rowCount(); ++row) {
            if (entries->entryAt(row)->fileName() == entry) {
                files.theTableView->selectRow(row);
            }
        }
        pumpUntil([page] { return !page->previewBusy(); }, 10.0);
    };
    choose({QStringLiteral("System"), QStringLiteral("DCIM"), QStringLiteral("100APPLE")},
           QStringLiteral("IMG_0003.JPG"));
    shots.save(ui.window, QStringLiteral("53-files-photo-preview"));
    saveQuestion(shots, QStringLiteral("53a-files-delete-question"),
                 [page] { page->RemoveTheFiles(); });
    {
        // The chosen photo exported into a folder of the scratch space; the line says where.
        QTemporaryDir into;
        nimbara::ui::ScopedHandler<nimbara::ui::SavePanel::Handler> panel(
            nimbara::ui::SavePanel::handler(),
            [&into](QWidget*, const nimbara::ui::SavePanel::Request&) -> std::optional<QString> {
                return into.path();
            });
        nimbara::ui::ScopedHandler<nimbara::ui::FileViewer::Handler> reveal(
            nimbara::ui::FileViewer::handler(), [](const QString&) {});
        page->ExportTheFileToMac();
        pumpUntil([page] { return !page->busy(); }, 20.0);
        shots.save(ui.window, QStringLiteral("53b-files-exported"));
    }
    choose(
        {QStringLiteral("System"), QStringLiteral("MediaAnalysis"), QStringLiteral("Fingerprints"),
         QStringLiteral("v2"), QStringLiteral("0A"), QStringLiteral("1B"), QStringLiteral("2C"),
         QStringLiteral("3D"), QStringLiteral("4E"), QStringLiteral("5F")},
        QStringLiteral("fp-0001.dat"));
    shots.save(ui.window, QStringLiteral("53-files-deep-folder"));
    page->initAllDataAndAllView();
}

// The one-click copy page: before a run (two rows switched off), while it runs (the first rows
// done) and when it has ended.
void shootOneCopyPage(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PROneCopyViewController* page = hub.oneCopyViewController();
    if (page == nullptr) {
        return;
    }
    click(ui.oneClickCopyBannerBtn);
    OneCopyUi& copy = page->copyUi();
    page->CallLogsAction();
    page->BookMarkAction();
    shots.save(ui.window, QStringLiteral("50-onecopy-start"));
    nimbara::ui::ScopedHandler<nimbara::ui::FileViewer::Handler> reveal(
        nimbara::ui::FileViewer::handler(), [](const QString&) {});
    nimbara::NotificationCenter::defaultCenter().post("MyOneCopyButtonMouseDown",
                                                      static_cast<QObject*>(copy.startScanBtn));
    const auto closeNotices = [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("unlockNotice")) {
                w->close();
            }
        }
    };
    pumpUntil(
        [&] {
            return !copy.row(nimbara::transfer::OneCopyRow::PhotoLibrary).progress->isVisible() ||
                   !page->busy();
        },
        60.0);
    closeNotices();
    shots.save(ui.window, QStringLiteral("50-onecopy-running"), false);
    if (!pumpUntil([page] { return !page->busy(); }, 120.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the one-click copy did not finish\n");
        return;
    }
    closeNotices();
    shots.save(ui.window, QStringLiteral("50-onecopy-done"));
    // The demo's music holds a track whose file is gone: the list of what was not copied.
    if (QWidget* failures = page->showCopyFailures(nimbara::transfer::OneCopyRow::Music)) {
        shots.save(failures, QStringLiteral("50-onecopy-failures"));
        failures->close();
    }
    page->initAllDataAndAllView();
}

// The clean-up page: the app clean-up's start view after a scan and its five result views, the
// device clean-up's overview, trees and sync-failed media, and the main window's summary before
// and after its one-click fix (which changes the device, so it comes last).
void shootCleanPage(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRCleanViewController* page = hub.GetCleanViewController();
    if (page == nullptr) {
        return;
    }
    const auto idle = [page] {
        return page->scanRunning() == PRCleanViewController::ScanKind::None &&
               !page->removalRunning();
    };
    click(ui.appCleanBannerBtn);
    shots.save(ui.window, QStringLiteral("40-clean-app-start"));
    page->startScanPhoneApp();
    if (!pumpUntil(idle, 60.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the app clean-up scan did not finish\n");
    }
    shots.save(ui.window, QStringLiteral("40-clean-app-results"));
    CleanViewUi& clean = page->cleanUi();
    page->ClickDocumentFileAction();
    clean.documentResult.table->selectRow(1);
    // One document unticked: kept by the removals that follow.
    auto* documents = page->cleanDocumentController();
    documents->setData(documents->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    shots.save(ui.window, QStringLiteral("40a-clean-app-documents"));
    saveQuestion(shots, QStringLiteral("40a2-clean-app-remove-all-question"),
                 [page] { page->startScanPhoneApp(); });
    page->ClickCacheFileAction();
    shots.save(ui.window, QStringLiteral("40b-clean-app-caches"));
    page->ClickJunkFileAction();
    shots.save(ui.window, QStringLiteral("40c-clean-app-temporary-files"));
    page->ClickCookieFileAction();
    shots.save(ui.window, QStringLiteral("40d-clean-app-cookies"));
    page->ClickAppAdsFileAction();
    clean.AdsTableView->selectRow(0);
    shots.save(ui.window, QStringLiteral("40e-clean-app-ads"));
    page->cacheFileBackAction();
    page->showCleanTipWindow();
    settle();
    shots.save(clean.appCleaneTipWindow, QStringLiteral("40f-clean-app-tips"));
    page->closeCleanTipWindowAction();

    // The device clean-up, from the sidebar's "Clean" title: the summary shows it.
    click(ui.cleanBtn);
    if (!pumpUntil(idle, 60.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the device clean-up scan did not finish\n");
    }
    shots.save(ui.window, QStringLiteral("41-clean-summary-found"));
    // Each tree with a folder chosen, so the table beside it shows its files.
    const auto chooseFolder = [](QTreeView* outline) {
        QAbstractItemModel* model = outline->model();
        if (model == nullptr || model->rowCount() == 0) {
            return;
        }
        QModelIndex at = model->index(0, 0);
        outline->expand(at);
        while (model->rowCount(at) > 0) {
            at = model->index(0, 0, at);
            outline->expand(at);
        }
        outline->setCurrentIndex(at);
    };
    click(ui.tempJunkFileBtn);
    chooseFolder(clean.junkView.outline);
    shots.save(ui.window, QStringLiteral("41a-clean-device-temp-files"));
    click(ui.cacheBtn);
    chooseFolder(clean.cacheView.outline);
    clean.cacheView.table->selectRow(0);
    shots.save(ui.window, QStringLiteral("41b-clean-device-caches"));
    click(ui.cookieBtn);
    chooseFolder(clean.cookView.outline);
    shots.save(ui.window, QStringLiteral("41c-clean-device-cookies"));
    click(ui.syncBtn);
    shots.save(ui.window, QStringLiteral("41d-clean-device-sync-failed-media"));
    page->showCleanMainView();
    shots.save(ui.window, QStringLiteral("41e-clean-device-overview"));

    // The one-click fix, confirmed.
    hub.ClickCleanAction();
    pumpUntil(idle, 60.0);
    {
        nimbara::Alerts::ScopedHandler confirm([](QWidget*, const nimbara::Alerts::Question&) {
            return nimbara::Alerts::Answer::Default;
        });
        hub.CleanAlliPhoneFiles();
        if (!pumpUntil([&] { return idle() && !ui.fixResultView->isHidden(); }, 60.0)) {
            std::fprintf(stderr, "nimbara-screenshots: the one-click fix did not finish\n");
        }
    }
    shots.save(ui.window, QStringLiteral("41f-clean-summary-fixed"));

    // Back on the app clean-up, confirmed: a category removed whole, then everything at once
    // with its sheet (what the fix took is found gone).
    nimbara::Alerts::ScopedHandler confirm([](QWidget*, const nimbara::Alerts::Question&) {
        return nimbara::Alerts::Answer::Default;
    });
    click(ui.appCleanBannerBtn);
    page->ClickJunkFileAction();
    page->RemoveAllJunkFiles();
    pumpUntil(idle, 60.0);
    shots.save(ui.window, QStringLiteral("40g-clean-app-temporary-files-removed"));
    page->cacheFileBackAction();
    page->startScanPhoneApp();
    if (auto* sheet = page->view()->findChild<QDialog*>(QStringLiteral("removeWindow"))) {
        shots.save(sheet, QStringLiteral("40h-clean-app-remove-sheet"));
    }
    pumpUntil(idle, 60.0);
    shots.save(ui.window, QStringLiteral("40i-clean-app-removed"));
}

// The advertisement-removal page, which the main window offers no way to: shown in a window of
// its own, before its scan, with its results, and after one app's caches were removed (which
// changes the device, so it comes before the clean-up page's scenes).
void shootAdsPage(Shooter& shots, QuennicAppDelegate& hub, const MainWindowUi& ui) {
    PRAdsRemoveController* page = hub.adsRemoveController();
    if (page == nullptr) {
        return;
    }
    QWidget window;
    window.setObjectName(QStringLiteral("adsRemoveWindow"));
    window.resize(ui.window->size());
    page->showView(&window);
    page->setDeviceIndex(hub.theDevice());  // whoever shows the page gives it its device
    window.show();
    shots.save(&window, QStringLiteral("42-ads-page-scan"));
    nimbara::NotificationCenter::defaultCenter().post(
        "MyScanbuttonMouseDown", static_cast<QObject*>(page->adsUi().scanButton));
    if (!pumpUntil([page] { return !page->scanRunning(); }, 60.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the advertisement scan did not finish\n");
    }
    page->adsUi().adTableView->selectRow(0);
    shots.save(&window, QStringLiteral("42a-ads-page-results"));
    {
        nimbara::Alerts::ScopedHandler confirm([](QWidget*, const nimbara::Alerts::Question&) {
            return nimbara::Alerts::Answer::Default;
        });
        page->RemoveAdsAction();
        if (!pumpUntil([page] { return !page->removalRunning(); }, 60.0)) {
            std::fprintf(stderr, "nimbara-screenshots: the advertisement removal did not finish\n");
        }
    }
    shots.save(&window, QStringLiteral("42b-ads-page-after-removal"));
    page->BackToScanAdsAction();
    window.hide();
}

// The large-file finder: its start, the scan just started, what it found, and both detail views
// with a row chosen (the user files with a row's advice, the apps with an action's tip).
// The transfer page: its start view, the demo device's music with a track chosen, its videos,
// a contact card (staged: the contacts are read through a backup by later work) and a category
// that is not available yet.
// The storage manager: its overview, the category table after the scan-all, each category's
// list with its first row chosen, a photo's preview picture and the removal question.
void shootStoragePage(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRDiskaManagerViewController* page = hub.GetDiskManageViewController();
    if (page == nullptr) {
        return;
    }
    using Scan = PRDiskaManagerViewController::Scan;
    click(ui.mainStatusBannerBtn);
    hub.ClickDiskManage(nullptr);
    page->showStateView();
    pumpUntil([page] { return page->workersEnding() == 0; }, 5.0);
    shots.save(ui.window, QStringLiteral("52-storage-overview"));
    page->ScanDiskUsage();
    const auto allDone = [page] {
        for (const Scan scan :
             {Scan::Photo, Scan::Media, Scan::Books, Scan::Apps, Scan::UserData}) {
            if (page->scanState(scan) != PRDiskaManagerViewController::ScanState::Done) {
                return false;
            }
        }
        return true;
    };
    if (!pumpUntil(allDone, 120.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the storage scans did not finish\n");
    }
    page->BackToDiskTalbeView();
    shots.save(ui.window, QStringLiteral("52-storage-table"));
    DiskManagerUi& disk = page->diskUi();
    const struct {
        void (QuennicAppDelegate::*open)(QObject*);
        QTableView* table;
        const char* name;
    } lists[] = {
        {&QuennicAppDelegate::ClickPhotoDiskManage, disk.photo.table, "52a-storage-photos"},
        {&QuennicAppDelegate::ClickMusicDiskManage, disk.music.table, "52b-storage-music"},
        {&QuennicAppDelegate::ClickVideoDiskManage, disk.video.table, "52c-storage-videos"},
        {&QuennicAppDelegate::ClickBooksDiskManage, disk.books.table, "52d-storage-books"},
        {&QuennicAppDelegate::ClickAppsDiskManage, disk.apps.table, "52e-storage-user-apps"},
        {&QuennicAppDelegate::ClickSystemAppsDiskManage, disk.system.table,
         "52f-storage-system-apps"},
    };
    for (const auto& list : lists) {
        (hub.*list.open)(nullptr);
        list.table->selectRow(list.table == disk.books.table ? 1 : 0);
        shots.save(ui.window, QLatin1String(list.name));
    }
    hub.ClickUserDataDiskManage(nullptr);
    QTreeView* outline = disk.userLibDataFileOutlineView;
    const QModelIndex system = outline->model()->index(0, 0);
    for (int row = 0; row < outline->model()->rowCount(system); ++row) {
        const QModelIndex folder = outline->model()->index(row, 0, system);
        if (folder.data().toString() == QLatin1String("DCIM")) {
            outline->expand(folder);
            outline->setCurrentIndex(outline->model()->index(0, 0, folder));
        }
    }
    shots.save(ui.window, QStringLiteral("52g-storage-user-data"));

    // A photo with its picture, copied and decoded on the page's worker.
    hub.ClickPhotoDiskManage(nullptr);
    disk.photo.table->selectRow(1);
    if (!pumpUntil([page] { return !page->previewRunning(); }, 20.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the photo preview did not arrive\n");
    }
    shots.save(ui.window, QStringLiteral("52h-storage-photo-preview"));
    // The removal question as the user sees it; taken, then cancelled, so nothing changes.
    {
        nimbara::Alerts::ScopedHandler asked(
            [&shots](QWidget* parent, const nimbara::Alerts::Question& question) {
                QTimer::singleShot(0, [&shots] {
                    QWidget* box = QApplication::activeModalWidget();
                    if (box == nullptr) {
                        return;
                    }
                    box->adjustSize();
                    shots.save(box, QStringLiteral("52i-storage-remove-question"));
                    box->close();
                });
                nimbara::Alerts::ScopedHandler shown{nimbara::Alerts::Handler()};
                nimbara::Alerts::ask(parent, question);
                return nimbara::Alerts::Answer::Alternate;
            });
        page->RemovePhotoItem();
    }
    {
        // The chosen photo exported; the line says what was written and where.
        nimbara::ui::ScopedHandler<nimbara::ui::FileViewer::Handler> reveal(
            nimbara::ui::FileViewer::handler(), [](const QString&) {});
        page->ExportPhotoItem();
        pumpUntil([page] { return !page->actionRunning(); }, 20.0);
        shots.save(ui.window, QStringLiteral("52j-storage-exported"));
    }
    hub.ClickAppsDiskManage(nullptr);
    disk.apps.table->selectRow(0);
    saveQuestion(shots, QStringLiteral("52k-storage-uninstall-question"),
                 [page] { page->UninStallAppData(); });
    page->initAllDataAndAllView();
}

// Chooses the music table's row of that title (chosen afresh when it was chosen already).
void selectTrack(PRTansferViewController& page, const char* title) {
    const auto& tracks = page.musicController()->content();
    for (std::size_t row = 0; row < tracks.size(); ++row) {
        if (tracks[row]->musicTitle() == QLatin1String(title)) {
            page.transferUi().musicTableView->clearSelection();
            page.transferUi().musicTableView->selectRow(static_cast<int>(row));
        }
    }
}

// An open context menu (a window of its own) drawn over the window it opened on; closed after.
void saveWithMenu(Shooter& shots, QWidget* window, QMenu* menu, const QString& name) {
    if (menu == nullptr) {
        std::fprintf(stderr, "nimbara-screenshots: no menu for %s\n", qPrintable(name));
        return;
    }
    settle();
    QPixmap picture = window->grab();
    QPainter painter(&picture);
    painter.drawPixmap(window->mapFromGlobal(menu->pos()), menu->grab());
    painter.end();
    QLabel composed;
    composed.setPixmap(picture);
    composed.resize(picture.size());
    shots.save(&composed, name, false);
    menu->close();
}

// The right click on the music or video table's row `row`: its menu, opened.
QMenu* openTrackMenu(PRTansferViewController& page, QTableView* table, int row) {
    const QPoint at = table->visualRect(table->model()->index(row, 0)).center();
    return page.mediaMenus().tableMenuRequested(table, at);
}

void shootTransferPage(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRTansferViewController* page = hub.GetTansferViewController();
    if (page == nullptr) {
        return;
    }
    // The sidebar's pages, from the status page.
    click(ui.mainStatusBannerBtn);
    hub.ClickTansfer(nullptr);
    shots.save(ui.window, QStringLiteral("51-transfer-start"));
    hub.ClickMusic(nullptr);
    if (!pumpUntil([page] { return !page->musicLoading() && !page->bMusiceStartTransfer(); },
                   30.0) ||
        !page->bMusicLoadFinished()) {
        std::fprintf(stderr, "nimbara-screenshots: the music load did not finish\n");
    }
    selectTrack(*page, "Harbour Lights");
    shots.save(ui.window, QStringLiteral("51a-transfer-music"));
    QTableView* tracks = page->transferUi().musicTableView;
    saveWithMenu(shots, ui.window, openTrackMenu(*page, tracks, tracks->currentIndex().row()),
                 QStringLiteral("55b-transfer-music-menu"));
    hub.ClickVideo(nullptr);
    shots.save(ui.window, QStringLiteral("51b-transfer-videos"));
    saveWithMenu(shots, ui.window, openTrackMenu(*page, page->transferUi().videoTableView, 0),
                 QStringLiteral("55c-transfer-video-menu"));
    hub.ClickContact(nullptr);
    const auto person = [](const char* name, const char* phone, const char* email,
                           const char* company) {
        auto node = std::make_shared<PRContactNode>();
        node->setContactName(QString::fromUtf8(name));
        node->setContactPhone(QString::fromUtf8(phone));
        node->setContactEmail(QString::fromUtf8(email));
        node->setContactCompany(QString::fromUtf8(company));
        return node;
    };
    page->UpContactDataSource(
        {person("Amelia Hart", "+1 415 555 0134", "amelia@example.com", "Skyward Tours"),
         person("Ben Okafor", "+44 20 7946 0958", "", "")});
    page->transferUi().contactTableView->selectRow(1);
    shots.save(ui.window, QStringLiteral("51c-transfer-contacts"));
    page->UpContactDataSource({});
}

// The photos of the demo device in the image browser, their thumbnails read.
void shootTransferPhotos(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRTansferViewController* page = hub.GetTansferViewController();
    if (page == nullptr) {
        return;
    }
    hub.ClickPhoto(nullptr);
    TransferPhotos& photos = page->photos();
    if (!pumpUntil([&] { return !photos.loading() && !photos.bImageStartTransfer(); }, 60.0) ||
        !photos.bPhotoLoadFinished()) {
        std::fprintf(stderr, "nimbara-screenshots: the photo load did not finish\n");
    }
    page->transferUi().imageBroswerView->grab();  // draws every row: thumbnails are asked for
    pumpUntil([&] { return photos.model()->thumbnailsLoading() == 0; }, 20.0);
    shots.save(ui.window, QStringLiteral("54a-transfer-photos"));
    // Two photos chosen, the right click on the second.
    QListView* browser = page->transferUi().imageBroswerView;
    if (photos.model()->rowCount() > 2) {
        for (int row : {1, 2}) {
            browser->selectionModel()->select(photos.model()->index(row),
                                              QItemSelectionModel::Select);
        }
        const QPoint at = browser->visualRect(photos.model()->index(2)).center();
        saveWithMenu(shots, ui.window, page->mediaMenus().imageBrowserMenuRequested(at),
                     QStringLiteral("55a-transfer-photo-menu"));
        browser->clearSelection();
    }
}

// The conversations read from a backup of the demo device, the first one as chat bubbles.
void shootTransferMessages(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRTansferViewController* page = hub.GetTansferViewController();
    if (page == nullptr) {
        return;
    }
    hub.ClickTansfer(nullptr);
    hub.CilckMessage(nullptr);
    nimbara::transfer::TransferRecordsPane& records = page->records();
    if (!pumpUntil([&] { return !records.loading(); }, 120.0) ||
        !records.finished(nimbara::transfer::RecordKind::Messages)) {
        std::fprintf(stderr, "nimbara-screenshots: the messages did not load: %s\n",
                     qPrintable(page->statusText()));
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("unlockNotice")) {
            w->close();
        }
    }
    // The list comes in with its first row chosen and no bubbles: choosing it shows them.
    page->transferUi().messageTableView->clearSelection();
    page->transferUi().messageTableView->selectRow(0);
    shots.save(ui.window, QStringLiteral("54d-transfer-messages"));
}

void shootTransferMusicPlaying(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRTansferViewController* page = hub.GetTansferViewController();
    if (page == nullptr) {
        return;
    }
    click(ui.mainStatusBannerBtn);
    hub.ClickTansfer(nullptr);
    hub.ClickMusic(nullptr);
    pumpUntil([page] { return !page->musicLoading() && !page->bMusiceStartTransfer(); }, 30.0);
    selectTrack(*page, "Harbour Lights");
    if (!pumpUntil(
            [page] {
                const auto* player = page->mediaPreview()->player(false);
                return player != nullptr && !player->file().isEmpty();
            },
            30.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the track was not copied to play\n");
    }
    shots.save(ui.window, QStringLiteral("54b-transfer-music-playing"));
    hub.ClickVideo(nullptr);
    if (page->videoController()->rowCount() > 0) {
        page->transferUi().videoTableView->selectRow(0);
        pumpUntil(
            [page] {
                const auto* player = page->mediaPreview()->player(true);
                return player != nullptr && !player->file().isEmpty();
            },
            30.0);
    }
    shots.save(ui.window, QStringLiteral("54c-transfer-video-playing"));
    page->initAllDataAndAllView();
}

void shootTransferApps(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRTansferViewController* page = hub.GetTansferViewController();
    if (page == nullptr) {
        return;
    }
    nimbara::transfer::TransferAppPane& apps = page->appPane();
    const auto idle = [&apps] { return !apps.busy() && !apps.bappStartTransfer(); };
    hub.ClickApp(nullptr);
    if (!pumpUntil(idle, 30.0) || !apps.bAppLoadFinished()) {
        std::fprintf(stderr, "nimbara-screenshots: the app list did not load\n");
        return;
    }
    // Scan Pro opened, its Documents folder chosen and its picture previewed.
    for (const auto& app : apps.appTreeController().content()) {
        if (app->fileDirName() != QLatin1String("Scan Pro")) {
            continue;
        }
        const QModelIndex row = apps.outlineModel()->indexOf(app.get());
        apps.appOutlineView()->expand(row);
        apps.outlineViewShouldExpandItem(app);  // started already by the expansion
        pumpUntil([&] { return idle() && !app->children().empty(); }, 30.0);
        for (const auto& folder : app->children()) {
            if (folder->fileDirName() == QLatin1String("Documents")) {
                const QModelIndex documents = apps.outlineModel()->indexOf(folder.get());
                apps.appOutlineView()->setCurrentIndex(documents);
            }
        }
        // Its picture when the earlier shots left it, else its first file.
        const auto& files = apps.appFileController()->entries();
        int chosen = files.empty() ? -1 : 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i]->fileName().endsWith(QLatin1String(".JPG"))) {
                chosen = static_cast<int>(i);
            }
        }
        if (chosen >= 0) {
            apps.appTableView()->selectRow(chosen);
        }
        pumpUntil(idle, 30.0);
    }
    shots.save(ui.window, QStringLiteral("54e-transfer-apps"));
    // The folder menu on the chosen folder, the file menu on the chosen file, and the question
    // before that file is deleted (declined).
    QTreeView* outline = apps.appOutlineView();
    if (outline->currentIndex().isValid()) {
        saveWithMenu(shots, ui.window,
                     apps.fileActions().outlineMenuRequested(
                         outline->visualRect(outline->currentIndex()).center()),
                     QStringLiteral("55d-transfer-app-folder-menu"));
    }
    QTableView* files = apps.appTableView();
    const QModelIndexList chosen = files->selectionModel()->selectedRows();
    if (!chosen.isEmpty()) {
        saveWithMenu(
            shots, ui.window,
            apps.fileActions().tableMenuRequested(files->visualRect(chosen.front()).center()),
            QStringLiteral("55e-transfer-app-file-menu"));
        saveQuestion(shots, QStringLiteral("55f-transfer-app-delete-question"),
                     [&apps] { apps.fileActions().AppDeleted(); });
    }
}

void shootFinderPage(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    PRFindLargeFileViewController* page = hub.findLargerFileViewController();
    if (page == nullptr) {
        return;
    }
    click(ui.findLargeBannerBtn);
    shots.save(ui.window, QStringLiteral("46-finder-start"));
    FindLargeFileUi& finder = page->finderUi();
    page->StartScanAction();
    pumpUntil([&] { return !finder.userDataFilelab->text().isEmpty() || !page->busy(); }, 5.0);
    shots.save(ui.window, QStringLiteral("46a-finder-scanning"), false);
    if (!pumpUntil([page] { return !page->busy(); }, 60.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the large-file scan did not finish\n");
    }
    shots.save(ui.window, QStringLiteral("46b-finder-found"));
    page->ClickUserDataFileAction();
    finder.userDataLargeTableView->selectRow(0);
    nimbara::NotificationCenter::defaultCenter().post(
        "TheImageTextCellHavebeenDown", static_cast<QObject*>(finder.userDataLargeTableView));
    finder.userDataBigTableView->selectRow(0);
    shots.save(ui.window, QStringLiteral("46c-finder-user-files"));
    saveQuestion(shots, QStringLiteral("46c2-finder-delete-question"),
                 [page] { page->ClickuserDataRemoveAction(); });
    page->ClickAppDataFileAction();
    finder.appBigTableView->selectRow(0);
    nimbara::NotificationCenter::defaultCenter().post(
        "PRbuttonMouseEntered", static_cast<QObject*>(finder.appDataArchiveBtn));
    shots.save(ui.window, QStringLiteral("46d-finder-apps"));
    page->backToMainTableView();
}

void click(QWidget* control) {
    if (control == nullptr) {
        return;
    }
    const QPointF centre(control->width() / 2.0, control->height() / 2.0);
    const QPointF global = control->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(control, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(control, &release);
}

// Replaces the demo device's injected faults by `key` = `value` (none when `key` is null).
void setDeviceFault(const std::string& device, const char* key, const nimbara::PlistValue& value) {
    const std::string file = device + "/" + nimbara::md::sim::kDevicePlist;
    auto plist = nimbara::PlistValue::readFile(file);
    if (!plist) {
        return;
    }
    (*plist)[nimbara::md::sim::kKeyFaults] = nimbara::PlistValue::dict();
    if (key != nullptr) {
        (*plist)[nimbara::md::sim::kKeyFaults][key] = value;
    }
    plist->writeFile(file);
}

// The backup page in its three states, with the backup tool beside this program backing the
// demo device up: ready, backing up (the device holds the tool back until a file appears),
// finished, and finished with a failure.
// Devices whose storage metrics come from their disk usage alone (as real ones do): what they
// don't report is counted on the device, shown while it runs and when it is done, or named as
// not reported when the device refuses what it would be counted from.
void shootCountedStorage(Shooter& shots, nimbara::md::sim::SimulatedLibrary& library,
                         MainWindowUi& ui, const QString& root) {
    const char* const kGo = "lookup-go";
    const struct {
        const char* folder;
        const char* udid;
        const char* shot;
        bool heldLookup;    // the apps' lookup waits: the shot is taken while it counts
        bool refusesFiles;  // no AFC: nothing can be counted
    } devices[] = {
        {"counted", "00008030-000A1B2C3D4E5F60", "04a-main-storage-overview-counted", false, false},
        {"counting", "00008030-000A1B2C3D4E5F61", "04b-main-storage-overview-counting", true,
         false},
        {"refusing", "00008030-000A1B2C3D4E5F62", "04c-main-storage-overview-not-reported", false,
         true},
    };
    for (const auto& device : devices) {
        const std::string dir =
            (root + QLatin1Char('/') + QLatin1String(device.folder)).toStdString();
        nimbara::simdev::SimDeviceBuilder b(dir);
        b.setIdentity("Theo's iPhone", device.udid, "iPhone12,1", "17.5.1");
        b.setDiskUsage(128'000'000'000ULL, 41'300'000'000ULL);
        auto sized = [](std::int64_t bytes) {
            nimbara::PlistValue group = nimbara::PlistValue::dict();
            group["_PhysicalSize"] = bytes;
            return group;
        };
        nimbara::PlistValue unknown = nimbara::PlistValue::dict();
        unknown[amd::kMetricUnknown] = true;
        nimbara::PlistValue metrics = nimbara::PlistValue::dict();
        metrics["Application"] = device.heldLookup ? unknown : sized(23'700'000'000LL);
        metrics["Media"]["Music"] = unknown;
        metrics["Media"]["Movie"] = unknown;
        metrics["Photo"]["Photo"] = sized(18'200'000'000LL);
        metrics["Photo"]["CameraRoll"] = sized(2'100'000'000LL);
        b.editDevicePlist()[nimbara::md::sim::kKeyAssetMetrics] = metrics;
        nimbara::simdev::SimMediaLibrary media;
        const struct {
            const char* title;
            std::int64_t kind;
            std::int64_t bytes;
        } tracks[] = {{"Northern Lights", 1, 1'210'000'000LL},
                      {"Harbour Songs", 1, 1'930'000'000LL},
                      {"The Long Coast", 2, 4'380'000'000LL}};
        std::int64_t pid = 1;
        for (const auto& track : tracks) {
            nimbara::simdev::SimTrack t;
            t.pid = pid;
            t.title = track.title;
            t.mediaKind = track.kind;
            t.fileSize = track.bytes;
            t.folder = "iTunes_Control/Music/F0" + std::to_string(pid);
            t.baseLocationId = 100 + pid;
            t.location = "TRK" + std::to_string(pid) + (track.kind == 2 ? ".m4v" : ".m4a");
            media.tracks.push_back(t);
            ++pid;
        }
        nimbara::simdev::addMediaLibrary(b, media);
        if (device.heldLookup) {
            b.setFault(nimbara::md::sim::kFaultLookupWaitsFor, kGo);
            nimbara::simdev::AppSpec app;
            app.bundleId = "com.example.maps";
            app.displayName = "Trail Maps";
            app.staticDiskUsage = 310'000'000;
            app.dynamicDiskUsage = 1'200'000'000;
            b.addApp(app);
        }
        if (device.refusesFiles) {
            nimbara::PlistValue refused = nimbara::PlistValue::array();
            refused.append("com.apple.afc");
            b.setFault(nimbara::md::sim::kFaultRefusedServices, refused);
        }
        if (!b.write() || !library.attach(dir)) {
            continue;
        }
        const QString wanted = device.refusesFiles ? QStringLiteral("Movie: not reported")
                                                   : QStringLiteral("Movie: 4.38GB*");
        pumpUntil([&] { return ui.movieSizelab->text() == wanted; }, 15.0);
        settle();
        shots.save(ui.window, QLatin1String(device.shot));
        if (device.heldLookup) {
            QFile go(QString::fromStdString(dir) + QLatin1Char('/') + QLatin1String(kGo));
            go.open(QIODevice::WriteOnly);
        }
        library.detach(dir);
        settle();
    }
}

// The device popover, opened by the title strip's button: with the demo device, then with a
// second device beside it (which goes again afterwards).
void shootDevicePopover(Shooter& shots, QuennicAppDelegate& hub,
                        nimbara::md::sim::SimulatedLibrary& library, const std::string& devices) {
    MainWindowUi& ui = *hub.mainUi();
    click(ui.stateBannerBtn);
    shots.save(hub.thePopover(), QStringLiteral("03a-device-popover-one-device"));
    if (hub.thePopover() != nullptr) {
        hub.thePopover()->close();
    }
    const std::string dir = devices + "/studio-ipad";
    nimbara::simdev::SimDeviceBuilder b(dir);
    b.setIdentity("Studio iPad", "0000studioipad0000", "iPad7,5", "15.7");
    b.setDiskUsage(128'000'000'000ULL, 91'000'000'000ULL);
    if (!b.write() || !library.attach(dir) ||
        !pumpUntil([&] { return hub.getDeviceArray().size() == 2; }, 10.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the second device did not attach\n");
        return;
    }
    click(ui.stateBannerBtn);
    shots.save(hub.thePopover(), QStringLiteral("03b-device-popover-two-devices"));
    if (hub.thePopover() != nullptr) {
        hub.thePopover()->close();
    }
    library.detach(dir);
    pumpUntil([&] { return hub.getDeviceArray().size() == 1; }, 5.0);
}

void shootBackupPage(Shooter& shots, QuennicAppDelegate& hub, const std::string& device) {
    MainWindowUi& ui = *hub.mainUi();
    PRBackUpViewController* page = hub.GetBackupDeviceController();
    const QString devices = QFileInfo(QString::fromStdString(device)).absolutePath();
    qputenv("NIMBARA_SIMULATED_DEVICES", QFile::encodeName(devices));
    auto finished = [&] { return page->state() == PRBackUpViewController::State::Finished; };

    click(ui.backupBtn);
    shots.save(ui.window, QStringLiteral("26-backup-ready"));

    // Another folder: while the folder typed is checked (held here, as a hung mount would hold
    // it) the button is off; one that can't take the backup is then refused with why.
    std::atomic<bool> checked{false};
    page->setLocationCheck([&checked](const QString& text, const QString& udid) {
        while (!checked.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return nimbara::backup::prepareBackupLocation(text, udid);
    });
    page->ui()->otherLocationBtn->click();
    page->ui()->backupLocationlab->setText(QStringLiteral("Backups/Phone"));
    {
        nimbara::Alerts::ScopedHandler asked(
            [&shots](QWidget* parent, const nimbara::Alerts::Question& question) {
                QTimer::singleShot(0, [&shots] {
                    if (QWidget* box = QApplication::activeModalWidget()) {
                        box->adjustSize();
                        shots.save(box, QStringLiteral("26b-backup-other-folder-refused"));
                        box->close();
                    }
                });
                nimbara::Alerts::ScopedHandler shown{nimbara::Alerts::Handler()};
                return nimbara::Alerts::ask(parent, question);
            });
        page->ui()->backupBtn->click();
        pumpUntil([] { return false; }, 0.2);
        shots.save(ui.window, QStringLiteral("26a-backup-other-folder-checking"));
        checked = true;
        pumpUntil([page] { return !page->isCheckingLocation(); }, 10.0);
    }
    page->setLocationCheck(nimbara::backup::prepareBackupLocation);
    click(ui.backupBtn);

    setDeviceFault(device, nimbara::md::sim::kFaultBackupWaitsFor, nimbara::PlistValue("go"));
    const std::string go = device + "/go";
    page->BackupAction(nullptr);
    pumpUntil([] { return false; }, 0.5);
    shots.save(ui.window, QStringLiteral("27-backup-backing-up"));
    QFile release(QString::fromStdString(go));
    release.open(QIODevice::WriteOnly);
    release.close();
    if (!pumpUntil(finished, 30.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the backup did not finish\n");
    }
    shots.save(ui.window, QStringLiteral("28-backup-finished"));
    QFile::remove(QString::fromStdString(go));

    setDeviceFault(device, nimbara::md::sim::kFaultBackupError,
                   nimbara::PlistValue("The device is locked with a passcode. Unlock it and "
                                       "try again."));
    click(ui.backupBtn);
    page->BackupAction(nullptr);
    if (!pumpUntil(finished, 30.0)) {
        std::fprintf(stderr, "nimbara-screenshots: the failing backup did not end\n");
    }
    shots.save(ui.window, QStringLiteral("29-backup-failed"));
    setDeviceFault(device, nullptr, {});
}

// The question before a backup made to read records replaces the device's backup, as the
// sidebar's Contacts asks it once the demo device has a backup: drawn over the main window, which
// it must fit whole, then declined (nothing is backed up or read).
void shootBackupReplaceQuestion(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    bool shown = false;
    nimbara::Alerts::ScopedHandler asked(
        [&](QWidget* parent, const nimbara::Alerts::Question& question) {
            QTimer::singleShot(0, [&] {
                QWidget* box = QApplication::activeModalWidget();
                if (box == nullptr) {
                    return;
                }
                box->adjustSize();
                settle();
                if (box->width() > ui.window->width() || box->height() > ui.window->height()) {
                    std::fprintf(stderr, "nimbara-screenshots: the question (%dx%d) is cut\n",
                                 box->width(), box->height());
                }
                QPixmap picture = ui.window->grab();
                QPainter painter(&picture);
                painter.fillRect(picture.rect(), QColor(0, 0, 0, 60));
                painter.drawPixmap((picture.width() - box->width()) / 2,
                                   (picture.height() - box->height()) / 3, box->grab());
                painter.end();
                QLabel composed;
                composed.setPixmap(picture);
                composed.resize(picture.size());
                shown = shots.save(&composed, QStringLiteral("63-backup-replace-question"), false);
                box->close();
            });
            nimbara::Alerts::ScopedHandler real{nimbara::Alerts::Handler()};
            nimbara::Alerts::ask(parent, question);
            return nimbara::Alerts::Answer::Alternate;
        });
    click(ui.mainStatusBannerBtn);
    hub.ClickTansfer(nullptr);
    if (PRTansferViewController* page = hub.GetTansferViewController()) {
        page->initAllDataAndAllView();  // the records read before are forgotten, their backup too
    }
    hub.ClickContact(nullptr);
    if (!shown) {
        std::fprintf(stderr, "nimbara-screenshots: no question before replacing the backup\n");
    }
}

// The update check's windows, each from an answer handed to it as the server's would be (no
// server is reachable here), and the attached window, which nothing in the program opens yet,
// pointing at the device pop-up: on the side it picks, and from a corner.
void shootUpdateAndAttachedWindows(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    if (PRUpdateController* check = hub.updateController()) {
        auto answer = [](const char* version) {
            nimbara::PlistValue list = nimbara::PlistValue::dict();
            list.set("lastestVersion", version);
            list.set("WhatsNew", "Faster scans of large folders.*A clearer storage overview.");
            return QByteArray::fromStdString(list.toXml());
        };
        check->setCurrentVersion(QStringLiteral("1.4"));
        check->evaluate(answer("1.10"));
        shots.save(check->updateWindow(), QStringLiteral("60-update-available"));
        check->ClickNotNowAction();
        check->setCheckUpdate(true);
        check->evaluate(answer("1.4.0"));
        shots.save(check->noUpdateWindow(), QStringLiteral("60a-update-none"));
        check->ClickOkAction();
        check->evaluate(QByteArrayLiteral("<html>Service unavailable</html>"));
        shots.save(check->checkFailedWindow(), QStringLiteral("60b-update-check-failed"));
        check->checkFailedWindow()->hide();
        check->setCheckUpdate(false);
    }
    QWidget* anchor = ui.deviceNamePopBtn;
    if (anchor == nullptr) {
        return;
    }
    const QPointF point(anchor->mapTo(ui.window, QPointF(anchor->width() / 2.0, anchor->height())));
    for (const auto side :
         {MAAttachedWindow::Side::Automatic, MAAttachedWindow::Side::RightDownward}) {
        auto* text =
            new QLabel(QStringLiteral("The device shown on every page.\nChoose another "
                                      "one here."));
        text->setStyleSheet(QStringLiteral("color: white; padding: 6px;"));
        text->adjustSize();
        std::unique_ptr<MAAttachedWindow> bubble(
            MAAttachedWindow::create(text, point, ui.window, side, 4));
        bubble->setDrawsRoundCornerBesideArrow(side == MAAttachedWindow::Side::Automatic);
        bubble->show();
        shots.save(bubble.get(), side == MAAttachedWindow::Side::Automatic
                                     ? QStringLiteral("61-attached-window")
                                     : QStringLiteral("61a-attached-window-corner"));
    }
}

// `windowSize`, when valid, is the main window's size (the designed size when not).
// File > Open archived app: the open File menu, then the question before a demo app archived by
// the large-file page is installed again (declined: nothing changes).
void shootArchivedAppInstall(Shooter& shots, QuennicAppDelegate& hub, MainWindowUi& ui) {
    auto* bar = ui.window->findChild<QMenuBar*>(QStringLiteral("mainMenuBar"));
    if (bar != nullptr) {
        const QRect item = bar->actionGeometry(ui.fileMenu->menuAction());
        bar->setActiveAction(ui.fileMenu->menuAction());
        ui.fileMenu->popup(bar->mapToGlobal(item.bottomLeft()));
        ui.fileMenu->setActiveAction(ui.openArchiveItem);
        settle();
        // The menu is a window of its own: drawn over the main window where it opened.
        QPixmap picture = ui.window->grab();
        QPainter painter(&picture);
        painter.drawPixmap(ui.window->mapFromGlobal(ui.fileMenu->pos()), ui.fileMenu->grab());
        painter.end();
        QLabel composed;
        composed.setPixmap(picture);
        composed.resize(picture.size());
        shots.save(&composed, QStringLiteral("62a-file-menu-open-archived-app"), false);
        ui.fileMenu->hide();
        bar->setActiveAction(nullptr);
    }
    const std::shared_ptr<PRiDeviceNode> node = hub.currentIDevicenode();
    if (!node) {
        return;
    }
    const int index = node->deviceIndex();
    const nimbara::cleanup::AppJobResult archived = nimbara::cleanup::archiveAppToFolder(
        {index, amd::DeviceManager::GetInstance().DeviceSerial(index), "com.harborfit.tracker"},
        hub.nimbaraExportPath());
    if (archived.outcome != nimbara::cleanup::AppJobResult::Outcome::Done) {
        std::fprintf(stderr, "nimbara-screenshots: archive: %s\n", qPrintable(archived.message));
        return;
    }
    nimbara::ui::ScopedHandler<nimbara::ui::OpenPanel::Handler> chosen(
        nimbara::ui::OpenPanel::handler(), [&](QWidget*, const nimbara::ui::OpenPanel::Request&) {
            return std::optional<QString>(archived.archivePath);
        });
    saveQuestion(shots, QStringLiteral("62b-reinstall-question"), [&hub, &ui] {
        ui.openArchiveItem->trigger();
        const nimbara::app::ArchivedAppInstallFlow* flow = hub.archivedAppInstall();
        pumpUntil([flow] { return flow == nullptr || !flow->busy(); }, 30.0);
    });
    QFile::remove(archived.archivePath);
}

int run(const QString& outDir, const QSize& windowSize) {
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "nimbara-screenshots: can't create %s\n", qPrintable(outDir));
        return 1;
    }
    QTemporaryDir scratch;  // private (mode 0700), removed at the end
    if (!scratch.isValid()) {
        std::fprintf(stderr, "nimbara-screenshots: no temporary folder\n");
        return 1;
    }
    // The hub creates its export folder under the home folder: keep it in the scratch folder.
    const QString home = scratch.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    qputenv("HOME", home.toLocal8Bit());
    // Local backups are read from a private folder: empty at first, later the demo's backup.
    const QString backupRoot = scratch.filePath(QStringLiteral("backups"));
    QDir().mkpath(backupRoot);
    qputenv("NIMBARA_BACKUP_ROOT", backupRoot.toLocal8Bit());
    // Where the backup tool finds the simulated devices (the one-click copy backs one up).
    qputenv("NIMBARA_SIMULATED_DEVICES", scratch.filePath(QStringLiteral("devices")).toLocal8Bit());

    auto library = std::make_shared<nimbara::md::sim::SimulatedLibrary>();
    nimbara::md::setLibrary(library);
    // Undone on every way out, the early error returns included.
    const auto releaseLibrary = qScopeGuard([] {
        amd::DeviceManager::GetInstance().SetNotify(nullptr);
        nimbara::md::setLibrary(nullptr);
        nimbara::removeScratchRoot();
    });
    Shooter shots(outDir);
    {
        QuennicAppDelegate hub;
        // The hub's workers and timers stop before it goes, whichever way this block is left.
        const auto stopHub = qScopeGuard([&hub] {
            nimbara::shutdownMainThreadCalls();
            hub.stopBoardMessage();
            amd::DeviceManager::GetInstance().Reset();
            amd::DeviceManager::GetInstance().Shutdown();  // before the library goes
        });
        hub.setBoardDelays(std::chrono::milliseconds(100), std::chrono::milliseconds(50));
        hub.applicationDidFinishLaunching();
        MainWindowUi& ui = *hub.mainUi();
        QuickScanWindowUi& quick = *hub.quickScanUi();
        ui.window->show();
        if (windowSize.isValid()) {
            ui.window->resize(windowSize);
        }
        quick.quickScanWindow->show();

        shots.save(ui.window, QStringLiteral("01-main-no-device"));
        shots.save(quick.quickScanWindow, QStringLiteral("02-quick-scan-no-device"));

        // A device plugged in that asks whether to trust this computer, then one that refused.
        const std::string waiting =
            scratch.filePath(QStringLiteral("devices/waiting")).toStdString();
        {
            nimbara::simdev::SimDeviceBuilder b(waiting);
            b.setIdentity("Waiting Phone", "0000waiting0000");
            b.setFault(nimbara::md::sim::kFaultWaitReason,
                       nimbara::PlistValue(nimbara::md::Error::PairingPending));
            if (b.write() && library->attach(waiting)) {
                settle();
                shots.save(ui.window, QStringLiteral("01a-main-device-asks-trust"));
                b.setFault(nimbara::md::sim::kFaultWaitReason,
                           nimbara::PlistValue(nimbara::md::Error::PairingRefused));
                if (b.write() && library->recheck(waiting)) {
                    settle();
                    shots.save(ui.window, QStringLiteral("01b-main-device-refused-trust"));
                }
                library->detach(waiting);
                settle();
            }
        }

        const std::string device = scratch.filePath(QStringLiteral("devices/demo")).toStdString();
        std::string error;
        if (!nimbara::simdev::makeDemoDevice(device, &error)) {
            std::fprintf(stderr, "nimbara-screenshots: demo device: %s\n", error.c_str());
            return 1;
        }
        if (!library->attach(device)) {
            std::fprintf(stderr, "nimbara-screenshots: the demo device did not attach\n");
            return 1;
        }
        pumpUntil([&] { return hub.getDeviceConnected(); }, 5.0);
        shots.save(ui.window, QStringLiteral("03-main-status"));
        shootDevicePopover(shots, hub, *library,
                           scratch.filePath(QStringLiteral("devices")).toStdString());

        // The storage overview: the figures arrive through the media-sync session.
        const bool figures = pumpUntil(
            [&] { return ui.photoSizelab->text().startsWith(QStringLiteral("Photo: ")); }, 15.0);
        if (!figures) {
            std::fprintf(stderr, "nimbara-screenshots: the storage figures did not arrive\n");
        }
        shots.save(ui.window, QStringLiteral("04-main-storage-overview"));
        shots.save(quick.quickScanWindow, QStringLiteral("05-quick-scan-device"));

        // A quick scan of a device that refuses its list of apps: the step says so.
        setDeviceFault(device, nimbara::md::sim::kFaultRefusedServices,
                       nimbara::PlistValue(nimbara::PlistValue::Array{
                           nimbara::PlistValue("com.apple.mobile.installation_proxy")}));
        click(quick.quickScnDeviceBtn);
        if (pumpUntil([&] { return !quick.cleanupBottomView->isHidden(); }, 30.0)) {
            shots.save(quick.quickScanWindow, QStringLiteral("05b-quick-scan-apps-refused"));
        }
        setDeviceFault(device, nullptr, {});
        hub.resetQuickScanWindow();

        // The quick scan, started with its button (its clean-up comes last: it changes the
        // device).
        click(quick.quickScnDeviceBtn);
        if (!pumpUntil([&] { return !quick.cleanupBottomView->isHidden(); }, 30.0)) {
            std::fprintf(stderr, "nimbara-screenshots: the quick scan did not finish\n");
        }
        shots.save(quick.quickScanWindow, QStringLiteral("05a-quick-scan-results"));

        // The feature tabs, pressed as the user presses them.
        const std::pair<PRBannerButton*, const char*> tabs[] = {
            {ui.diskManageBannerBtn, "06-tab-storage-manager"},
            {ui.adsRemoveBannerBtn, "07-tab-system-cleanup"},
            {ui.privacyBannerBtn, "08-tab-privacy"},
            {ui.findLargeBannerBtn, "09-tab-large-files"},
            {ui.oneClickCopyBannerBtn, "10-tab-one-click-copy"},
            {ui.appCleanBannerBtn, "11-tab-app-cleaner"},
        };
        for (const auto& [tab, name] : tabs) {
            if (tab != nullptr && tab->isVisible()) {
                click(tab);
                shots.save(ui.window, QLatin1String(name));
            }
        }

        // Sidebar pages, from the status page.
        click(ui.mainStatusBannerBtn);
        click(ui.appBtn);
        shots.save(ui.window, QStringLiteral("12-sidebar-apps"));
        click(ui.cacheBtn);
        shots.save(ui.window, QStringLiteral("13-sidebar-caches"));
        click(ui.broswerBtn);
        waitForBackupList(hub);
        shots.save(ui.window, QStringLiteral("14-sidebar-backup-browser"));
        hub.photoScanhasStartHandle();
        click(ui.systemlibBtn);
        shots.save(ui.window, QStringLiteral("15-sidebar-device-files-busy"));
        hub.photoScanFinishedHandle({});

        hub.ClickAbout(nullptr);
        shots.save(ui.aboutWindow, QStringLiteral("16-about"));
        ui.aboutWindow->hide();
        ui.leadWindow->show();
        shots.save(ui.leadWindow, QStringLiteral("17-welcome"));
        ui.leadWindow->hide();
        ui.cryWindow->show();
        shots.save(ui.cryWindow, QStringLiteral("18-exit-feedback"));
        ui.cryWindow->hide();
        if (PreferencesController* preferences = hub.preferencesController()) {
            // The three tabs; the clean-up schedule box ticked, the copy one not.
            hub.OpenPreferenceWindow();
            shots.save(preferences->preferenceWindow(), QStringLiteral("18a-preferences-general"));
            preferences->ActPreferenceCleanup();
            preferences->ui().cleanUpCheckBtn->setChecked(true);
            shots.save(preferences->preferenceWindow(), QStringLiteral("18b-preferences-cleanup"));
            preferences->ActPreferenceOneClickCopy();
            shots.save(preferences->preferenceWindow(),
                       QStringLiteral("18c-preferences-one-click-copy"));
            preferences->ui().cleanUpCheckBtn->setChecked(false);
            preferences->ActPreferenceGeneral();
            preferences->ClosedPreferenceWindow();
        }
        shootUpdateAndAttachedWindows(shots, hub, ui);
        shootArchivedAppInstall(shots, hub, ui);

        shootSystemBoostPage(shots, hub, ui);
        shootOneCopyPage(shots, hub, ui);
        shootAdsPage(shots, hub, ui);
        shootCleanPage(shots, hub, ui);
        shootFinderPage(shots, hub, ui);
        shootTransferPage(shots, hub, ui);
        shootTransferMessages(shots, hub, ui);
        shootTransferPhotos(shots, hub, ui);
        shootTransferMusicPlaying(shots, hub, ui);
        shootTransferApps(shots, hub, ui);
        shootDeviceFiles(shots, hub, ui);
        shootStoragePage(shots, hub, ui);

        // The clean-up of what the quick scan found: its question, then confirmed.
        quick.quickScanWindow->show();
        saveQuestion(shots, QStringLiteral("19-quick-clean-up-question"),
                     [&quick] { click(quick.quickCleanupDeviceBtn); });
        {
            nimbara::Alerts::ScopedHandler confirm([](QWidget*, const nimbara::Alerts::Question&) {
                return nimbara::Alerts::Answer::Default;
            });
            click(quick.quickCleanupDeviceBtn);
            if (!pumpUntil([&] { return !quick.shareBottomView->isHidden(); }, 60.0)) {
                std::fprintf(stderr, "nimbara-screenshots: the quick clean-up did not finish\n");
            }
        }
        shots.save(quick.quickScanWindow, QStringLiteral("20-quick-clean-up-done"));

        // The backup browser on a backup of the demo device.
        const auto backup = nimbara::simdev::writeBackup(device, backupRoot.toStdString());
        if (!backup.ok) {
            std::fprintf(stderr, "nimbara-screenshots: demo backup: %s\n", backup.error.c_str());
        } else {
            nimbara::Alerts::ScopedHandler report([](QWidget*, const nimbara::Alerts::Question& q) {
                std::fprintf(stderr, "nimbara-screenshots: alert: %s %s\n", qPrintable(q.message),
                             qPrintable(q.informativeText));
                return nimbara::Alerts::Answer::Default;
            });
            click(ui.broswerBtn);
            waitForBackupList(hub);
            PRResultViewController* page = hub.GetresultViewController();
            if (page == nullptr ||
                !pumpUntil([&] { return page->scanFinished() && !page->isScanning(); }, 30.0)) {
                std::fprintf(stderr, "nimbara-screenshots: the backup scan did not finish\n");
            }
            shots.save(ui.window, QStringLiteral("21-backup-browser-results"));
            if (page != nullptr) {
                showBackupFiles(*page);
                shots.save(ui.window, QStringLiteral("21a-backup-files"));
            }
            if (page != nullptr) {
                page->categoryList->setCurrentRow(PRResultViewController::kContacts);
                shots.save(ui.window, QStringLiteral("22-backup-browser-contacts"));
                page->categoryList->setCurrentRow(PRResultViewController::kMessages);
                page->messageTreeTableView->selectRow(1);
                shots.save(ui.window, QStringLiteral("22-backup-browser-messages"));
                page->categoryList->setCurrentRow(PRResultViewController::kNotes);
                shots.save(ui.window, QStringLiteral("22-backup-browser-notes"));
                page->categoryList->setCurrentRow(PRResultViewController::kCalls);
                shots.save(ui.window, QStringLiteral("22-backup-browser-calls"));
                // The photos as a strip of thumbnails, one of them highlighted.
                page->categoryList->setCurrentRow(PRResultViewController::kPhotos);
                page->thumView->strip()->mouseDown(1);
                if (!pumpUntil([&] { return page->thumView->strip()->loading() == 0; }, 10.0)) {
                    std::fprintf(stderr, "nimbara-screenshots: the thumbnails did not arrive\n");
                }
                shots.save(ui.window, QStringLiteral("36x-backup-photo-strip"));
                page->clickGetLog(nullptr);
                page->actNextClick(nullptr);
                shots.save(page->guidWindow, QStringLiteral("23-backup-browser-guide"));
                page->guidWindow->close();
                shootConversations(shots, *page);
                shootLongMessagesAndTheirPicture(shots, ui.window, *page,
                                                 scratch.filePath(QStringLiteral("Desktop")));
                // The contacts narrowed by a search typed as the user would.
                page->categoryList->setCurrentRow(PRResultViewController::kContacts);
                page->searchlab->setText(QStringLiteral("415"));
                shots.save(ui.window, QStringLiteral("36y-backup-search"));
                page->searchlab->clear();
            }
            shootPrivacyResults(shots, hub, ui, backup.folder.string());
            {
                // The recovery export's progress sheet, part way through.
                PRRecoveryExportSheet sheet(ui.window);
                sheet.showProgress(5, 12);
                sheet.open();
                shots.save(&sheet, QStringLiteral("24-export-sheet"));
                // Its end when two items could not be exported.
                nimbara::browser::RecoveryExportSummary summary;
                summary.root =
                    (home + QStringLiteral("/Nimbara 2026-12-08 - 06.41.40")).toStdString();
                summary.steps = summary.done = 12;
                summary.written = 10;
                summary.failed = {
                    {QStringLiteral("Photo&Video/IMG_0007.JPG"),
                     QStringLiteral("the backup's file can't be read: No such file or directory")},
                    {QStringLiteral("Message/Trip.mov"),
                     QStringLiteral("the backup's file can't be read: No such file or directory")}};
                sheet.showSummary(summary);
                shots.save(&sheet, QStringLiteral("24b-export-sheet-failures"));
                sheet.close();
            }
        }

        shootBackupReplaceQuestion(shots, hub, ui);
        shootBackupPage(shots, hub, device);

        // The refused device plugged in beside the demo device: the bottom bar says so.
        if (library->attach(waiting)) {
            settle();
            shots.save(ui.window, QStringLiteral("01c-bottom-bar-waiting-beside-a-listed-device"));
            library->detach(waiting);
        }

        library->detach(device);
        pumpUntil([&] { return !hub.getDeviceConnected(); }, 5.0);
        shots.save(ui.window, QStringLiteral("19-main-after-detach"));

        shootCountedStorage(shots, *library, ui, scratch.filePath(QStringLiteral("devices")));
    }
    return shots.ok() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nimbara"));
    QApplication::setApplicationVersion(QStringLiteral(NIMBARA_VERSION));
    nimbara::ui::installFontSubstitutions();
    // An optional second argument WIDTHxHEIGHT renders the main window at that size.
    QSize windowSize;
    if (argc == 3) {
        const QStringList parts = QString::fromLocal8Bit(argv[2]).split(QLatin1Char('x'));
        if (parts.size() == 2) {
            windowSize = QSize(parts[0].toInt(), parts[1].toInt());
        }
    }
    if (argc < 2 || argc > 3 || (argc == 3 && !windowSize.isValid())) {
        std::fprintf(stderr, "usage: nimbara-screenshots OUTDIR [WIDTHxHEIGHT]\n");
        return 2;
    }
    // Nobody is there to answer: a question is logged and declined, so nothing changes.
    nimbara::Alerts::ScopedHandler decline([](QWidget*, const nimbara::Alerts::Question& q) {
        if (q.defaultButton == QLatin1String("Back Up and Replace")) {
            return nimbara::Alerts::Answer::Default;  // the pages read the demo device's records
        }
        std::fprintf(stderr, "nimbara-screenshots: declined: %s\n", qPrintable(q.message));
        return q.alternateButton.isEmpty() ? nimbara::Alerts::Answer::Default
                                           : nimbara::Alerts::Answer::Alternate;
    });
    return run(QString::fromLocal8Bit(argv[1]), windowSize);
}
