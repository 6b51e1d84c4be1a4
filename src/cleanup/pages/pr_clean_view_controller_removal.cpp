// The clean-up page's removals and exports: plans taken on the GUI thread from what the page
// shows, run on the page's removal worker, settled back on the GUI thread.
#include <QAction>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "cleanup/pages/pr_clean_view_controller.h"
#include "cleanup/protected_files.h"
#include "cleanup/removal_texts.h"
#include "platform/main_thread.h"
#include "ui/alerts.h"
#include "ui/core/text_utilities.h"
#include "ui/fonts.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"
#include "ui/save_panel.h"

using nimbara::cleanup::AppCleanScanResult;
using nimbara::cleanup::CleanCategory;
using nimbara::cleanup::CleanDeviceTarget;
using nimbara::cleanup::CleanItem;
using nimbara::cleanup::CleanRemovalReport;
using nimbara::shell::size_to_unit;

// One category of the app clean-up with its parts.
struct PRCleanViewController::AppCategory {
    CleanCategory category;
    CleanResultViewUi* view;
    CleanCategoryRowUi* row;
    nimbara::cleanup::PRCleanRecordsModel* list;
    nimbara::cleanup::CleanCategoryList* found;  // in appResult_ (null without a result)
};

namespace {

// The rows chosen in `table`, in row order.
std::vector<int> chosenRows(QTableView* table) {
    std::vector<int> rows;
    if (table->selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : table->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The notification of the main window's size label of a category ("" for none).
const char* sizeNotification(CleanCategory category) {
    switch (category) {
        case CleanCategory::Cache:
            return "CleanCacheFilesSize";
        case CleanCategory::Junk:
            return "CleanJunkFilesSize";
        case CleanCategory::Cookie:
            return "CleanCookFilesSize";
        default:
            return "";
    }
}

// The remove-all sheet's line: `text` with the first `count` and the first `size` in it red.
QString redFigures(const QString& text, const QString& count, const QString& size) {
    struct Span {
        qsizetype at;
        qsizetype length;
    };
    std::vector<Span> spans;
    const qsizetype countAt = text.indexOf(count);
    if (!count.isEmpty() && countAt >= 0) {
        spans.push_back({countAt, count.size()});
    }
    const qsizetype sizeAt = text.indexOf(size);
    if (!size.isEmpty() && sizeAt >= 0 &&
        (countAt < 0 || sizeAt >= countAt + count.size() || sizeAt + size.size() <= countAt)) {
        spans.push_back({sizeAt, size.size()});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.at < b.at; });
    QString html;
    qsizetype from = 0;
    for (const Span& span : spans) {
        html += text.mid(from, span.at - from).toHtmlEscaped();
        html += QStringLiteral("<span style=\"color:#f83634\">%1</span>")
                    .arg(text.mid(span.at, span.length).toHtmlEscaped());
        from = span.at + span.length;
    }
    return html + text.mid(from).toHtmlEscaped();
}

// The line of a category's result view once all its files went.
const char* allRemovedText(CleanCategory category) {
    switch (category) {
        case CleanCategory::Document:
            return "All document files have been removed.";
        case CleanCategory::Junk:
            return "All junk files have been removed.";
        case CleanCategory::Cookie:
            return "All cook files have been removed.";
        default:
            return "All cache files have been removed.";
    }
}

bool isSettled(nimbara::cleanup::CleanItemOutcome outcome) {
    return outcome == nimbara::cleanup::CleanItemOutcome::Removed ||
           outcome == nimbara::cleanup::CleanItemOutcome::Gone;
}

}  // namespace

// ------------------------------------------------------------------ shared

CleanDeviceTarget PRCleanViewController::deviceTarget() const {
    return deviceResult_
               ? CleanDeviceTarget{deviceResult_->deviceIndex, deviceResult_->deviceSerial}
               : CleanDeviceTarget{};
}

CleanDeviceTarget PRCleanViewController::appTarget() const {
    return appResult_ ? CleanDeviceTarget{appResult_->deviceIndex, appResult_->deviceSerial}
                      : CleanDeviceTarget{};
}

bool PRCleanViewController::confirm(const QString& message, const QString& informative,
                                    const QString& button) {
    const std::uint64_t generation = removals_->generation();
    const auto answer = nimbara::Alerts::ask(
        view(), {message, informative, button, QStringLiteral("Cancel"), QString()});
    // A reset while the question was open (another device) cancels what was asked about.
    return answer == nimbara::Alerts::Answer::Default && removals_->isCurrent(generation);
}

bool PRCleanViewController::busyForRemoval() {
    if (scanKind_ != ScanKind::None || removalsPending_ > 0) {
        setStatus(
            QStringLiteral("A scan or removal of this page is still running. Please wait "
                           "until it has finished."));
        return true;
    }
    return false;
}

void PRCleanViewController::runRemoval(CleanDeviceTarget target, std::vector<CleanItem> plan,
                                       Settle settle, const QString& sheetHeadline,
                                       std::function<void(int)> progressStep, bool notice) {
    if (plan.empty() || target.deviceSerial == 0) {
        return;
    }
    ++removalsPending_;
    // A removal shown on its own view moves that view's bar; any other shows the sheet.
    if (!progressStep) {
        showRemoveSheet(plan.size(), sheetHeadline);
    }
    QPointer<PRCleanViewController> self(this);
    const std::uint64_t generation = removals_->generation();
    auto planCopy = std::make_shared<std::vector<CleanItem>>(plan);
    if (!notice) {
        setStatus(QString());  // what an earlier removal said is no longer so
    }
    removals_->postRemoval(
        target, std::move(plan),
        [self, generation, progressStep](const nimbara::cleanup::CleanProgress& progress) {
            nimbara::postToMain([self, generation, progress, progressStep] {
                if (!self || !self->removals_->isCurrent(generation) || !self->built()) {
                    return;
                }
                if (progressStep) {
                    progressStep(progress.percent);
                    return;
                }
                if (auto* sheet =
                        self->view()->findChild<QDialog*>(QStringLiteral("removeWindow"))) {
                    sheet->findChild<QProgressBar*>(QStringLiteral("removeProgress"))
                        ->setValue(progress.percent);
                    sheet->findChild<QLabel*>(QStringLiteral("removeNumberInfolab"))
                        ->setText(nimbara::cleanup::removeProgressText(
                            progress.handled, progress.total, progress.freedBytes));
                }
            });
        },
        [self, generation, planCopy, notice, settle = std::move(settle)](
            const CleanRemovalReport& report, std::uint64_t) {
            auto shared = std::make_shared<CleanRemovalReport>(report);
            nimbara::postToMain([self, generation, planCopy, notice, settle, shared] {
                if (!self || !self->removals_->isCurrent(generation)) {
                    return;  // another device's results by now: nothing to settle
                }
                --self->removalsPending_;
                if (self->removalsPending_ == 0) {
                    self->closeRemoveSheet();
                }
                settle(*shared, *planCopy);
                const bool clean = shared->status == nimbara::cleanup::CleanRunStatus::Done ||
                                   shared->status == nimbara::cleanup::CleanRunStatus::NothingToDo;
                // What the device removed and freed; red when not everything went.
                if (notice) {
                    self->setStatus(shared->message, !clean);
                }
                if (self->jobEnded_) {
                    self->jobEnded_();
                }
            });
        });
}

void PRCleanViewController::runExport(CleanDeviceTarget target, std::vector<CleanItem> plan,
                                      nimbara::cleanup::CleanExportLayout layout,
                                      const QString& appData) {
    if (plan.empty() || target.deviceSerial == 0 || busyForRemoval()) {
        return;
    }
    const std::uint64_t asked = removals_->generation();
    const std::optional<QString> chosen = nimbara::ui::SavePanel::chooseFolder(
        view(), {QStringLiteral("Export"), QString(),
                 nimbara::cleanup::cleanExportFolderName(QDateTime::currentDateTime())});
    if (!chosen || chosen->isEmpty() || !removals_->isCurrent(asked) || busyForRemoval()) {
        return;  // cancelled, or the page was reset or got busy while the panel was open
    }
    QString folder = QFileInfo(*chosen).absoluteFilePath();
    if (!appData.isEmpty()) {
        folder = QDir(folder).filePath(appData);
    }
    ++removalsPending_;
    QPointer<PRCleanViewController> self(this);
    const std::uint64_t generation = removals_->generation();
    removals_->postExport(
        target, std::move(plan), std::filesystem::path(QFile::encodeName(folder).toStdString()),
        layout, {},
        [self, generation](const nimbara::cleanup::CleanExportReport& report, std::uint64_t) {
            auto shared = std::make_shared<nimbara::cleanup::CleanExportReport>(report);
            nimbara::postToMain([self, generation, shared] {
                if (!self || !self->removals_->isCurrent(generation)) {
                    return;
                }
                --self->removalsPending_;
                // What was written and where, once; red when not all of it went.
                self->setStatus(shared->message,
                                shared->status != nimbara::cleanup::CleanRunStatus::Done);
                // Only an export that copied something shows its folder.
                if (shared->revealFolder()) {
                    nimbara::ui::FileViewer::reveal(
                        QString::fromStdString(shared->folder.string()));
                }
                if (self->jobEnded_) {
                    self->jobEnded_();
                }
            });
        });
}

void PRCleanViewController::showRemoveSheet(std::size_t items, const QString& headline) {
    if (!ui_ || items < 2) {
        return;
    }
    auto* sheet = view()->findChild<QDialog*>(QStringLiteral("removeWindow"));
    if (sheet == nullptr) {
        sheet = new QDialog(view());
        sheet->setObjectName(QStringLiteral("removeWindow"));
        sheet->setWindowTitle(QStringLiteral("Removing"));
        sheet->setWindowModality(Qt::WindowModal);
        auto* layout = new QVBoxLayout(sheet);
        auto* title = new QLabel(sheet);
        title->setObjectName(QStringLiteral("removeNumberlab"));
        title->setFont(nimbara::ui::appFont(11));
        title->setWordWrap(true);
        auto* bar = new QProgressBar(sheet);
        bar->setObjectName(QStringLiteral("removeProgress"));
        bar->setRange(0, 100);
        bar->setMinimumWidth(360);
        auto* info = new QLabel(sheet);
        info->setObjectName(QStringLiteral("removeNumberInfolab"));
        info->setFont(nimbara::ui::appFont(11));
        layout->addWidget(title);
        layout->addWidget(bar);
        layout->addWidget(info);
    }
    auto* title = sheet->findChild<QLabel*>(QStringLiteral("removeNumberlab"));
    if (headline.isEmpty()) {
        title->setTextFormat(Qt::PlainText);
        title->setText(QStringLiteral("Removing the files from the device..."));
    } else {
        title->setTextFormat(Qt::RichText);
        title->setText(headline);
    }
    sheet->findChild<QProgressBar*>(QStringLiteral("removeProgress"))->setValue(0);
    sheet->findChild<QLabel*>(QStringLiteral("removeNumberInfolab"))
        ->setText(nimbara::cleanup::removeProgressText(0, items, 0));
    sheet->open();
}

void PRCleanViewController::closeRemoveSheet() {
    if (built()) {
        if (auto* sheet = view()->findChild<QDialog*>(QStringLiteral("removeWindow"))) {
            sheet->hide();
        }
    }
}

// ------------------------------------------------------------------ app clean-up

PRCleanViewController::AppCategory PRCleanViewController::appCategory(CleanCategory category) {
    ensureBuilt();
    CleanViewUi& ui = *ui_;
    switch (category) {
        case CleanCategory::Document:
            return {category, &ui.documentResult, &ui.document, docList_,
                    appResult_ ? &appResult_->documents : nullptr};
        case CleanCategory::Junk:
            return {category, &ui.junkResult, &ui.junk, junkList_,
                    appResult_ ? &appResult_->junk : nullptr};
        case CleanCategory::Cookie:
            return {category, &ui.cookResult, &ui.cook, cookList_,
                    appResult_ ? &appResult_->cookies : nullptr};
        default:
            return {CleanCategory::Cache, &ui.cacheResult, &ui.cache, cacheList_,
                    appResult_ ? &appResult_->caches : nullptr};
    }
}

void PRCleanViewController::removeAppRows(CleanCategory category, bool all) {
    AppCategory c = appCategory(category);
    if (!c.found || busyForRemoval()) {
        return;
    }
    std::vector<std::shared_ptr<PRCleanDirNode>> records;
    if (all) {
        // Every row, but the documents the user unticked to keep them.
        records = c.list->tickedRows();
        if (records.empty() && !c.list->content().empty()) {
            setStatus(QStringLiteral("Every document is unticked: nothing to remove."));
            return;
        }
    } else {
        for (int row : chosenRows(c.view->table)) {
            if (auto record = c.list->rowAt(row)) {
                records.push_back(record);
            }
        }
    }
    if (records.empty()) {
        return;
    }
    // The files the device itself needs stay: named as kept, never planned.
    std::vector<QString> protectedNames;
    std::erase_if(records, [&protectedNames](const std::shared_ptr<PRCleanDirNode>& record) {
        if (!nimbara::cleanup::isProtectedDeviceFile(record->devicePath())) {
            return false;
        }
        protectedNames.push_back(record->fileName());
        return true;
    });
    const QString keptText = nimbara::cleanup::keptFilesText(protectedNames);
    if (records.empty()) {
        setStatus(keptText, false);
        return;
    }
    std::uint64_t bytes = 0;
    std::vector<QString> names;
    for (const auto& record : records) {
        bytes += record->fileSizeNumber();
        const QString app = record->appDisplayName();
        names.push_back(app.isEmpty() ? record->fileName()
                                      : QStringLiteral("%1 (%2)").arg(record->fileName(), app));
    }
    const std::size_t unticked = c.list->content().size() - c.list->tickedRows().size();
    QString informative = nimbara::cleanup::namedRemovalText(
        names, category == CleanCategory::Document ? "document" : "file",
        category == CleanCategory::Document ? "documents" : "files", "removed from the device");
    if (all && unticked > 0) {
        informative += QStringLiteral(" %1 you unticked will be kept.")
                           .arg(nimbara::cleanup::countText(unticked, "document", "documents"));
    }
    if (!keptText.isEmpty()) {
        informative += QLatin1Char(' ') + keptText;
    }
    if (!confirm(QStringLiteral("Remove %1 file(s) (%2) from the device?")
                     .arg(records.size())
                     .arg(size_to_unit(bytes)),
                 informative + QStringLiteral(" This can't be undone."),
                 QStringLiteral("Remove")) ||
        !appResult_ || busyForRemoval()) {
        return;  // declined, or the page was reset or got busy while the question was open
    }
    c.view->infolab->hide();
    c.view->progressor->setValue(1);
    c.view->progressor->show();
    for (QPushButton* button : {c.view->exportBtn, c.view->removeBtn, c.view->removeAllBtn}) {
        button->setEnabled(false);
    }
    QPointer<QProgressBar> bar = c.view->progressor;  // the views may be built anew meanwhile
    runRemoval(
        appTarget(), nimbara::cleanup::itemsOfRecords(category, records),
        [this, category](const CleanRemovalReport& report, const std::vector<CleanItem>& plan) {
            settleAppCategory(category, report, plan);
            // Nothing is chosen afterwards: a second Remove never takes a row nobody chose.
            AppCategory after = appCategory(category);
            after.view->table->clearSelection();
            after.view->table->setCurrentIndex(QModelIndex());
        },
        QString(),
        [bar](int percent) {
            if (bar) {
                bar->setValue(std::max(percent, 1));
            }
        });
}

void PRCleanViewController::settleAppCategory(CleanCategory category,
                                              const CleanRemovalReport& report,
                                              const std::vector<CleanItem>& plan) {
    AppCategory c = appCategory(category);
    if (!c.found) {
        return;
    }
    // Only what the device removed leaves the list; its bytes leave the sizes.
    const nimbara::cleanup::CleanSettled settled =
        nimbara::cleanup::settleRecords(c.found->files, plan, report);
    c.found->bytes = c.found->bytes >= settled.bytes ? c.found->bytes - settled.bytes : 0;
    appResult_->totalFileNumber = appResult_->totalFileNumber >= settled.files
                                      ? appResult_->totalFileNumber - settled.files
                                      : 0;
    appResult_->totalFileSize =
        appResult_->totalFileSize >= settled.bytes ? appResult_->totalFileSize - settled.bytes : 0;
    // The storage overview takes what the apps lost off their size.
    if (settled.bytes > 0) {
        host().addRemovedBytes(nimbara::ui::PageHost::RemovedCategory::Apps, settled.bytes);
    }
    c.list->setContent(c.found->files);
    c.view->progressor->hide();
    c.view->infolab->show();
    if (c.found->files.empty()) {
        // Everything of the category went: its finished state.
        c.view->infolab->setText(QString::fromLatin1(allRemovedText(category)));
        for (QPushButton* button : {c.view->exportBtn, c.view->removeBtn, c.view->removeAllBtn}) {
            button->hide();
        }
        c.row->sizelab->setText(QStringLiteral("0 KB"));
        c.row->button->setEnabled(false);
        c.row->button->setIcon(nimbara::ui::namedIcon(QStringLiteral("arrowrightUnNom")));
        return;
    }
    c.row->sizelab->setText(size_to_unit(c.found->bytes));
    c.view->infolab->setText(nimbara::cleanup::filesFoundText(c.found->bytes, c.found->count()));
    for (QPushButton* button : {c.view->exportBtn, c.view->removeBtn, c.view->removeAllBtn}) {
        button->setEnabled(true);
        button->show();
    }
}

void PRCleanViewController::exportAppRows(CleanCategory category) {
    AppCategory c = appCategory(category);
    std::vector<std::shared_ptr<PRCleanDirNode>> records;
    for (int row : chosenRows(c.view->table)) {
        if (auto record = c.list->rowAt(row)) {
            records.push_back(record);
        }
    }
    if (records.empty()) {
        return;
    }
    runExport(appTarget(), nimbara::cleanup::itemsOfRecords(category, records),
              nimbara::cleanup::CleanExportLayout::PerApp,
              QString::fromLatin1(nimbara::cleanup::kAppDataFolder));
}

void PRCleanViewController::RemoveOneCacheFiles(QObject*) {
    removeAppRows(CleanCategory::Cache, false);
}
void PRCleanViewController::RemoveOneDocumentFile(QObject*) {
    removeAppRows(CleanCategory::Document, false);
}
void PRCleanViewController::RemoveOneJunkFile(QObject*) {
    removeAppRows(CleanCategory::Junk, false);
}
void PRCleanViewController::RemoveOneCookFiles(QObject*) {
    removeAppRows(CleanCategory::Cookie, false);
}
void PRCleanViewController::RemoveAllCacheFiles(QObject*) {
    removeAppRows(CleanCategory::Cache, true);
}
void PRCleanViewController::RemoveAllDocumentFiles(QObject*) {
    removeAppRows(CleanCategory::Document, true);
}
void PRCleanViewController::RemoveAllJunkFiles(QObject*) {
    removeAppRows(CleanCategory::Junk, true);
}
void PRCleanViewController::RemoveAllCookFiles(QObject*) {
    removeAppRows(CleanCategory::Cookie, true);
}
void PRCleanViewController::ExportTheCleanCacheNode(QObject*) {
    exportAppRows(CleanCategory::Cache);
}
void PRCleanViewController::ExportTheCleanDocumentNode(QObject*) {
    exportAppRows(CleanCategory::Document);
}
void PRCleanViewController::ExportTheCleanJunkNode(QObject*) {
    exportAppRows(CleanCategory::Junk);
}
void PRCleanViewController::ExportTheCleanCookNode(QObject*) {
    exportAppRows(CleanCategory::Cookie);
}

// The start button after a scan, confirmed: every file of the cache, cookie and temporary-file
// lists, the chosen documents and every "Live" advertisement row, in one run.
void PRCleanViewController::removeAllApp(
    const std::vector<std::shared_ptr<PRCleanDirNode>>& documents) {
    if (!appResult_) {
        return;
    }
    std::vector<CleanItem> plan;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    const CleanCategory order[] = {CleanCategory::Cache, CleanCategory::Document,
                                   CleanCategory::Cookie, CleanCategory::Junk};
    for (CleanCategory category : order) {
        AppCategory c = appCategory(category);
        std::vector<std::shared_ptr<PRCleanDirNode>> records;
        for (const auto& record :
             category == CleanCategory::Document ? documents : c.found->files) {
            // The files the device itself needs stay: they are neither planned nor counted.
            if (!nimbara::cleanup::isProtectedDeviceFile(record->devicePath())) {
                records.push_back(record);
                ++files;
                bytes += record->fileSizeNumber();
            }
        }
        auto items = nimbara::cleanup::itemsOfRecords(category, records);
        plan.insert(plan.end(), items.begin(), items.end());
    }
    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> live;
    for (const auto& row : appResult_->adsRemoveArray) {
        if (row->appAdsState() == QLatin1String(PRAppAdsRemoveNode::kStateLive)) {
            live.push_back(row);
            for (const std::string& folder : row->appAdsPlatArray()) {
                plan.push_back(
                    nimbara::cleanup::adCacheItem(row->appBundleID().toStdString(), folder));
            }
        }
    }
    ui_->appStartBtn->setEnabled(false);
    const QString headline = redFigures(nimbara::cleanup::removeAllSheetText(files, bytes),
                                        QString::number(files), size_to_unit(bytes).trimmed());
    runRemoval(
        appTarget(), std::move(plan),
        [this, live](const CleanRemovalReport& report, const std::vector<CleanItem>& plan) {
            for (CleanCategory category : {CleanCategory::Cache, CleanCategory::Document,
                                           CleanCategory::Cookie, CleanCategory::Junk}) {
                settleAppCategory(category, report, plan);
            }
            // An advertisement row is removed when all its folders went.
            for (const auto& row : live) {
                bool all = true;
                for (std::size_t i = 0; i < plan.size(); ++i) {
                    if (plan[i].kind == CleanItem::Kind::AdCacheFolder &&
                        plan[i].bundleId == row->appBundleID().toStdString() &&
                        !isSettled(report.outcomes[i])) {
                        all = false;
                    }
                }
                if (all) {
                    row->setAppAdsState(QLatin1String(PRAppAdsRemoveNode::kStateRemoved));
                    row->setPlatformCount(0);
                }
                adsList_->refresh(row.get());
            }
            ui_->appStartBtn->setImage(QStringLiteral("doneNom.png"));
        },
        headline);
}

void PRCleanViewController::startAdRemoval(std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows) {
    std::vector<CleanItem> plan = nimbara::cleanup::adCachePlan(rows);
    runRemoval(
        appTarget(), std::move(plan),
        [this, rows](const CleanRemovalReport& report, const std::vector<CleanItem>& plan) {
            // The cache files that went with the folders leave the cache list and its sizes.
            settleAppCategory(CleanCategory::Cache, report, plan);
            const int removed = nimbara::cleanup::settleAdRows(rows, plan, report);
            for (const auto& row : rows) {
                adsList_->refresh(row.get());
            }
            ui_->adsInfolab->setText(nimbara::cleanup::adsRemovedText(removed, report.freedBytes));
        });
}

// ------------------------------------------------------------------ device clean-up

void PRCleanViewController::addMenuActions() {
    CleanViewUi& ui = *ui_;
    auto add = [this](QMenu* menu, const QString& title,
                      void (PRCleanViewController::*op)(QObject*)) {
        QAction* action = menu->addAction(title);
        connect(action, &QAction::triggered, this, [this, op] { (this->*op)(nullptr); });
    };
    using C = PRCleanViewController;
    add(ui.cacheView.fileMenu, QStringLiteral("Remove"), &C::CleanCacheFile);
    add(ui.cacheView.fileMenu, QStringLiteral("Export..."), &C::ExportTheCacheFileToMac);
    add(ui.cacheView.dirMenu, QStringLiteral("Remove Folder"), &C::cleanCacheDirFile);
    add(ui.cacheView.dirMenu, QStringLiteral("Export Folder..."), &C::ExportCacheFilesToMac);
    ui.cacheView.dirMenu->addSeparator();
    add(ui.cacheView.dirMenu, QStringLiteral("Remove All Cache Files"), &C::cleanAllCacheFiles);
    add(ui.junkView.fileMenu, QStringLiteral("Remove"), &C::CleanJunkFile);
    add(ui.junkView.fileMenu, QStringLiteral("Export..."), &C::ExportTheJunkFiletoMac);
    add(ui.junkView.dirMenu, QStringLiteral("Remove Folder"), &C::CleanJunkDirFile);
    add(ui.junkView.dirMenu, QStringLiteral("Export Folder..."), &C::ExportJunkFilestoMac);
    ui.junkView.dirMenu->addSeparator();
    add(ui.junkView.dirMenu, QStringLiteral("Remove All Temp Files"), &C::CleanAllJunkFiles);
    add(ui.cookView.fileMenu, QStringLiteral("Remove"), &C::CleanCookieFile);
    add(ui.cookView.fileMenu, QStringLiteral("Export..."), &C::ExportTheCookieFiletoMac);
    add(ui.cookView.dirMenu, QStringLiteral("Remove Folder"), &C::CleanCookieDirFile);
    add(ui.cookView.dirMenu, QStringLiteral("Export Folder..."), &C::ExportCookieFilestoMac);
    ui.cookView.dirMenu->addSeparator();
    add(ui.cookView.dirMenu, QStringLiteral("Remove All Cookies"), &C::CleanAllCookieFiles);
    add(ui.syncedMenu, QStringLiteral("Remove"), &C::CleanSyncedMediaFile);
    add(ui.syncedMenu, QStringLiteral("Export..."), &C::ExportTheSyncedFiletoMac);
    ui.syncedMenu->addSeparator();
    add(ui.syncedMenu, QStringLiteral("Remove All"), &C::CleanAllSyncedMediaFile);

    // The result views' buttons.
    auto click = [this](QPushButton* button, void (PRCleanViewController::*op)(QObject*)) {
        connect(button, &QPushButton::clicked, this, [this, button, op] { (this->*op)(button); });
    };
    click(ui.cacheResult.removeBtn, &C::RemoveOneCacheFiles);
    click(ui.cacheResult.removeAllBtn, &C::RemoveAllCacheFiles);
    click(ui.cacheResult.exportBtn, &C::ExportTheCleanCacheNode);
    click(ui.documentResult.removeBtn, &C::RemoveOneDocumentFile);
    click(ui.documentResult.removeAllBtn, &C::RemoveAllDocumentFiles);
    click(ui.documentResult.exportBtn, &C::ExportTheCleanDocumentNode);
    click(ui.junkResult.removeBtn, &C::RemoveOneJunkFile);
    click(ui.junkResult.removeAllBtn, &C::RemoveAllJunkFiles);
    click(ui.junkResult.exportBtn, &C::ExportTheCleanJunkNode);
    click(ui.cookResult.removeBtn, &C::RemoveOneCookFiles);
    click(ui.cookResult.removeAllBtn, &C::RemoveAllCookFiles);
    click(ui.cookResult.exportBtn, &C::ExportTheCleanCookNode);
}

void PRCleanViewController::removeTreeFile(CleanCategory category) {
    TreeParts* parts = treeOf(category);
    const auto entry = parts && parts->ui
                           ? parts->files->entryAt(parts->ui->table->currentIndex().row())
                           : nullptr;
    if (entry) {
        removeDeviceItems({nimbara::cleanup::itemOfEntry(category, *entry)},
                          QStringLiteral("Remove \"%1\" from the device?").arg(entry->fileName()));
    }
}

void PRCleanViewController::exportTreeFile(CleanCategory category) {
    TreeParts* parts = treeOf(category);
    if (!parts || !parts->ui) {
        return;
    }
    const auto entry = parts->files->entryAt(parts->ui->table->currentIndex().row());
    if (entry) {
        runExport(deviceTarget(),
                  std::vector<CleanItem>{nimbara::cleanup::itemOfEntry(category, *entry)},
                  nimbara::cleanup::CleanExportLayout::Flat);
    }
}

void PRCleanViewController::removeTreeFolder(CleanCategory category) {
    TreeParts* parts = treeOf(category);
    const auto folder =
        parts && parts->ui ? parts->outline->folderAt(parts->ui->outline->currentIndex()) : nullptr;
    if (folder) {
        removeDeviceItems(
            nimbara::cleanup::itemsOfTreeFolder(category, folder),
            QStringLiteral("Remove the folder \"%1\" with everything in it from the device?")
                .arg(folder->fileDirName()));
    }
}

void PRCleanViewController::exportTreeFolder(CleanCategory category) {
    TreeParts* parts = treeOf(category);
    if (!parts || !parts->ui) {
        return;
    }
    const auto folder = parts->outline->folderAt(parts->ui->outline->currentIndex());
    if (folder) {
        runExport(deviceTarget(), nimbara::cleanup::itemsOfTreeFolder(category, folder),
                  nimbara::cleanup::CleanExportLayout::Mirror);
    }
}

void PRCleanViewController::removeTreeAll(CleanCategory category) {
    if (TreeParts* parts = treeOf(category)) {
        removeNamedDeviceItems(nimbara::cleanup::itemsOfTree(category, parts->tree->cleanContent()),
                               "file(s)");
    }
}

void PRCleanViewController::removeNamedDeviceItems(std::vector<CleanItem> plan, const char* what) {
    // The files the device itself needs stay: named as kept, neither planned nor counted.
    std::vector<QString> names;
    std::vector<QString> kept;
    std::uint64_t bytes = 0;
    std::erase_if(plan, [&](const CleanItem& item) {
        const std::string& path = item.devicePath;
        const QString name = QString::fromStdString(path.substr(path.rfind('/') + 1));
        if (nimbara::cleanup::isProtectedDeviceFile(path)) {
            kept.push_back(name);
            return true;
        }
        names.push_back(name);
        bytes += item.size;
        return false;
    });
    if (plan.empty()) {
        setStatus(nimbara::cleanup::keptFilesText(kept), false);
        return;
    }
    QStringList informative;
    informative << nimbara::cleanup::namedRemovalText(names, "file", "files",
                                                      "removed from the device")
                << nimbara::cleanup::keptFilesText(kept) << QStringLiteral("This can't be undone.");
    informative.removeAll(QString());
    removeDeviceItems(
        std::move(plan),
        QStringLiteral("Remove %1 %2 (%3) from the device?")
            .arg(QString::number(names.size()), QLatin1String(what), size_to_unit(bytes)),
        informative.join(QLatin1Char(' ')));
}

void PRCleanViewController::removeDeviceItems(std::vector<CleanItem> plan, const QString& question,
                                              const QString& informative) {
    if (plan.empty() || busyForRemoval()) {
        return;
    }
    if (!confirm(question, informative, QStringLiteral("Remove")) || !deviceResult_ ||
        busyForRemoval()) {
        return;  // declined, or the page was reset or got busy while the question was open
    }
    runRemoval(deviceTarget(), std::move(plan),
               [this](const CleanRemovalReport& report, const std::vector<CleanItem>& plan) {
                   settleDevice(report, plan);
               });
}

void PRCleanViewController::settleDevice(const CleanRemovalReport& report,
                                         const std::vector<CleanItem>& plan) {
    // What left the device leaves the trees, the table and every figure, by the bytes each
    // entry was found with: the labels, the trees and the totals keep telling the same.
    const nimbara::cleanup::CleanSettledSet settled(plan, report);
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    for (auto& parts : trees_) {
        std::uint64_t gone = 0;
        std::uint64_t count = 0;
        std::vector<std::shared_ptr<PRCleanFileNode>> entries;
        for (const auto& top : parts->tree->cleanContent()) {
            const auto below = nimbara::ui::entriesBelow(top);
            entries.insert(entries.end(), below.begin(), below.end());
        }
        for (const auto& entry : entries) {
            if (!settled.covers(entry->appBundleName().toStdString(), entry->devicePath())) {
                continue;
            }
            if (auto folder = entry->parent()) {
                folder->removeFileChild(entry);
            }
            parts->files->removeEntry(entry);
            gone += entry->fileSizeNumber();
            ++count;
        }
        // A folder whose files all went leaves the outline: the tree shows what is left.
        parts->tree->pruneEmptyCleanFolders();
        std::uint64_t& size = deviceSizes_[parts->slot];
        size = size >= gone ? size - gone : 0;
        std::uint64_t& number = deviceCounts_[parts->slot];
        number = number >= count ? number - count : 0;
        files += count;
        bytes += gone;
        if (gone > 0) {
            // The main window's sidebar label of the category goes down by what really went.
            nimbara::NotificationCenter::defaultCenter().post(sizeNotification(parts->category),
                                                              gone);
        }
    }
    std::vector<std::shared_ptr<PRCleanFileNode>> kept;
    std::uint64_t mediaGone = 0;
    for (const auto& record : syncFailedFileArray_) {
        if (settled.covers(std::string(), record->devicePath())) {
            mediaGone += record->fileSizeNumber();
            ++files;
        } else {
            kept.push_back(record);
        }
    }
    bytes += mediaGone;
    if (kept.size() != syncFailedFileArray_.size()) {
        syncFailedFileArray_ = kept;
        syncList_->setContent(kept);
        syncfailedFileSize_ =
            syncfailedFileSize_ >= mediaGone ? syncfailedFileSize_ - mediaGone : 0;
    }
    if (deviceResult_) {
        deviceResult_->totalFileNumber =
            deviceResult_->totalFileNumber >= files ? deviceResult_->totalFileNumber - files : 0;
        deviceResult_->totalFileSize =
            deviceResult_->totalFileSize >= bytes ? deviceResult_->totalFileSize - bytes : 0;
    }
    showDeviceFigures();
}

void PRCleanViewController::CleanCacheFile(QObject*) {
    removeTreeFile(CleanCategory::Cache);
}
void PRCleanViewController::CleanJunkFile(QObject*) {
    removeTreeFile(CleanCategory::Junk);
}
void PRCleanViewController::CleanCookieFile(QObject*) {
    removeTreeFile(CleanCategory::Cookie);
}
void PRCleanViewController::ExportTheCacheFileToMac(QObject*) {
    exportTreeFile(CleanCategory::Cache);
}
void PRCleanViewController::ExportTheJunkFiletoMac(QObject*) {
    exportTreeFile(CleanCategory::Junk);
}
void PRCleanViewController::ExportTheCookieFiletoMac(QObject*) {
    exportTreeFile(CleanCategory::Cookie);
}
void PRCleanViewController::cleanCacheDirFile(QObject*) {
    removeTreeFolder(CleanCategory::Cache);
}
void PRCleanViewController::CleanJunkDirFile(QObject*) {
    removeTreeFolder(CleanCategory::Junk);
}
void PRCleanViewController::CleanCookieDirFile(QObject*) {
    removeTreeFolder(CleanCategory::Cookie);
}
void PRCleanViewController::ExportCacheFilesToMac(QObject*) {
    exportTreeFolder(CleanCategory::Cache);
}
void PRCleanViewController::ExportJunkFilestoMac(QObject*) {
    exportTreeFolder(CleanCategory::Junk);
}
void PRCleanViewController::ExportCookieFilestoMac(QObject*) {
    exportTreeFolder(CleanCategory::Cookie);
}
void PRCleanViewController::cleanAllCacheFiles(QObject*) {
    removeTreeAll(CleanCategory::Cache);
}
void PRCleanViewController::CleanAllJunkFiles(QObject*) {
    removeTreeAll(CleanCategory::Junk);
}
void PRCleanViewController::CleanAllCookieFiles(QObject*) {
    removeTreeAll(CleanCategory::Cookie);
}

void PRCleanViewController::CleanSyncedMediaFile(QObject*) {
    ensureBuilt();
    if (const auto record = syncList_->rowAt(ui_->syncFailedTableView->currentIndex().row())) {
        removeDeviceItems({nimbara::cleanup::itemOfEntry(CleanCategory::SyncFailed, *record)},
                          QStringLiteral("Remove \"%1\" from the device?").arg(record->filePath()));
    }
}

void PRCleanViewController::ExportTheSyncedFiletoMac(QObject*) {
    ensureBuilt();
    const auto record = syncList_->rowAt(ui_->syncFailedTableView->currentIndex().row());
    if (record) {
        runExport(deviceTarget(),
                  std::vector<CleanItem>{
                      nimbara::cleanup::itemOfEntry(CleanCategory::SyncFailed, *record)},
                  nimbara::cleanup::CleanExportLayout::Flat);
    }
}

void PRCleanViewController::CleanAllSyncedMediaFile(QObject*) {
    std::vector<CleanItem> plan;
    for (const auto& record : syncFailedFileArray_) {
        plan.push_back(nimbara::cleanup::itemOfEntry(CleanCategory::SyncFailed, *record));
    }
    removeNamedDeviceItems(std::move(plan), "sync-failed media file(s)");
}

// ------------------------------------------------------------------ one-click fix

std::uint64_t PRCleanViewController::foundFileCount() const {
    return deviceCounts_[0] + deviceCounts_[1] + deviceCounts_[2] + syncFailedFileArray_.size();
}

bool PRCleanViewController::cleanAllFound(std::function<void(const CleanRemovalReport&)> done) {
    if (!deviceResult_ || scanKind_ != ScanKind::None || removalsPending_ > 0) {
        return false;
    }
    std::vector<CleanItem> plan;
    for (auto& parts : trees_) {
        auto items = nimbara::cleanup::itemsOfTree(parts->category, parts->tree->cleanContent());
        plan.insert(plan.end(), items.begin(), items.end());
    }
    for (const auto& record : syncFailedFileArray_) {
        plan.push_back(nimbara::cleanup::itemOfEntry(CleanCategory::SyncFailed, *record));
    }
    if (plan.empty()) {
        CleanRemovalReport nothing;
        nothing.status = nimbara::cleanup::CleanRunStatus::NothingToDo;
        done(nothing);
        return true;
    }
    // The summary that asked for the fix tells its result; the page's lists show what is left.
    runRemoval(
        deviceTarget(), std::move(plan),
        [this, done = std::move(done)](const CleanRemovalReport& report,
                                       const std::vector<CleanItem>& plan) {
            settleDevice(report, plan);
            done(report);
        },
        QString(), {}, false);
    return true;
}
