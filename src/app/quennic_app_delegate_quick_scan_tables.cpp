// The quick-scan window's controls: the dispatch of its buttons, the row and list ticks, the
// two result tables, the help popover, the rescan and the row layouts.
#include <QFrame>
#include <QHeaderView>
#include <QMainWindow>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "app/main_window_ui.h"
#include "app/pr_large_file_controller.h"
#include "app/quennic_app_delegate.h"
#include "app/quick_scan_view_helpers.h"
#include "app/quick_scan_window_ui.h"
#include "cleanup/pr_large_file_node.h"
#include "ui/notification_buttons.h"
#include "ui/pop_view_controller.h"
#include "ui/table_cell_views.h"

using nimbara::app::quick::isTicked;
using nimbara::app::quick::kTicked;
using nimbara::app::quick::kUnticked;
using nimbara::app::quick::showBytes;
using nimbara::ui::addSaturating;
using nimbara::ui::setShown;

namespace {

void setImage(QWidget* control, const char* imageName) {
    if (auto* button = qobject_cast<nimbara::ui::ImageButton*>(control)) {
        button->setImage(QLatin1String(imageName));
    }
}

void moveTo(QWidget* widget, int x, int y) {
    if (widget != nullptr) {
        widget->move(x, y);
    }
}

// The ticked records' bytes (file or app sizes).
std::uint64_t tickedBytes(const PRLargeFileController* controller, bool appSizes) {
    std::uint64_t sum = 0;
    for (const auto& record : controller->arrangedObjects()) {
        if (record->bSelectedSate()) {
            sum = addSaturating(sum,
                                appSizes ? record->appFileSizeNumber() : record->fileSizeNumber());
        }
    }
    return sum;
}

const char* const kProtectedTip =
    "This file holds the device's own data and is never removed by the clean-up.";
const char* const kCameraRollTip =
    "This file belongs to Photos & Videos: it is removed with them, after their backup.";

}  // namespace

// ---- totals and ticks

void QuennicAppDelegate::showTotalCleanupFileSize() {
    // The total is what a clean-up with the current ticks would remove: ticked rows and ticked
    // records, each counted once however the ticks were reached.
    std::uint64_t total = 0;
    if (quickScanUi_) {
        if (isTicked(quickScanUi_->quickPhotoCheckBtn)) {
            total = addSaturating(total, photoVideoFileSize());
        }
        if (isTicked(quickScanUi_->quickJunkCheckBtn)) {
            total = addSaturating(total, junkFileSize());
        }
    }
    total = addSaturating(total, tickedBytes(bigFileController_, false));
    total = addSaturating(total, tickedBytes(bigAppController_, true));
    setTotalCleanupFileSize(total);
    if (quickScanUi_) {
        showBytes(quickScanUi_->deviceTotallab, total);
    }
}

void QuennicAppDelegate::setQuickRowTick(QWidget* checkButton, bool ticked) {
    setImage(checkButton, ticked ? kTicked : kUnticked);
}

void QuennicAppDelegate::quickRowToggle(QWidget* checkButton, std::uint64_t bytes, QLabel* label) {
    if (!isTicked(checkButton)) {
        setQuickRowTick(checkButton, true);
        showBytes(label, bytes);
        showRefusedQuickRows();
    } else {
        setQuickRowTick(checkButton, false);  // the label keeps its text
    }
    showTotalCleanupFileSize();
    if (quickScanUi_ && quickScanUi_->bigFileTableView != nullptr) {
        quickScanUi_->bigFileTableView->viewport()->update();
    }
}

void QuennicAppDelegate::quickListToggle(QWidget* checkButton, PRLargeFileController* controller,
                                         std::uint64_t bytes, QLabel* label) {
    const bool tick = !isTicked(checkButton);
    setQuickRowTick(checkButton, tick);
    for (const auto& record : controller->arrangedObjects()) {
        // A protected file is never ticked: the clean-up would leave it anyway.
        record->setBSelectedSate(tick && record->tickable());
    }
    if (tick) {
        showBytes(label, bytes);
        showRefusedQuickRows();
    }
    controller->ticksChanged();
    showTotalCleanupFileSize();
    reloadQuickScanTables();
}

void QuennicAppDelegate::tableCheckButtonNotificationHandle(
    const nimbara::Notification& notification) {
    auto* cell = qobject_cast<PRCustomCellView*>(notification.objectAs<QObject*>(nullptr));
    if (cell == nullptr) {
        return;
    }
    PRLargeFileController* controller = cell->blargeFile() ? bigFileController_ : bigAppController_;
    if (quickCleanUpRunning()) {
        // The clean-up works from the ticks it was confirmed with: the cell shows them again.
        if (const auto record = controller->recordAt(cell->currentRow())) {
            cell->checkBtn()->setImage(
                QLatin1String(record->bSelectedSate() ? kTicked : kUnticked));
        }
        return;
    }
    if (const auto record = controller->recordAt(cell->currentRow())) {
        const bool ticked = cell->checkBtn()->imageName() != QLatin1String(kUnticked);
        if (ticked && !record->tickable()) {
            // Refused: the tick would promise a removal that never happens.
            cell->checkBtn()->setImage(QLatin1String(kUnticked));
            cell->setToolTip(QLatin1String(record->isProtected() ? kProtectedTip : kCameraRollTip));
            record->setBSelectedSate(false);
        } else {
            record->setBSelectedSate(ticked);
        }
    }
    showTotalCleanupFileSize();
}

// ---- tables

int QuennicAppDelegate::numberOfRowsInTableView(QTableView* tableView) const {
    if (!quickScanUi_ || tableView == nullptr) {
        return 0;
    }
    if (tableView == quickScanUi_->bigFileTableView) {
        return bigFileController_->rowCount();
    }
    if (tableView == quickScanUi_->bigAppTableView) {
        return bigAppController_->rowCount();
    }
    return 0;
}

void QuennicAppDelegate::reloadQuickScanTables() {
    if (!quickScanUi_) {
        return;
    }
    reloadQuickScanTable(quickScanUi_->bigFileTableView, bigFileController_);
    reloadQuickScanTable(quickScanUi_->bigAppTableView, bigAppController_);
}

void QuennicAppDelegate::reloadQuickScanTable(QTableView* table,
                                              PRLargeFileController* controller) {
    if (table == nullptr) {
        return;
    }
    if (table->model() != controller) {
        table->setModel(controller);
        table->horizontalHeader()->setStretchLastSection(false);
        table->horizontalHeader()->setSectionResizeMode(PRLargeFileController::kNameColumn,
                                                        QHeaderView::Stretch);
        table->horizontalHeader()->setSectionResizeMode(PRLargeFileController::kSizeColumn,
                                                        QHeaderView::Fixed);
        table->horizontalHeader()->resizeSection(PRLargeFileController::kSizeColumn, 86);
        table->horizontalHeader()->hide();
        table->verticalHeader()->setDefaultSectionSize(22);
    }
    const bool largeFiles = controller->kind() == PRLargeFileController::Kind::LargeFiles;
    for (int row = 0; row < controller->rowCount(); ++row) {
        const auto record = controller->recordAt(row);
        const QModelIndex index = controller->index(row, PRLargeFileController::kNameColumn);
        auto* cell = qobject_cast<PRCustomCellView*>(table->indexWidget(index));
        if (cell == nullptr) {
            cell = new PRCustomCellView();
            cell->setAutoFillBackground(true);
            table->setIndexWidget(index, cell);  // the table owns the cell
        }
        cell->setCurrentRow(row);
        cell->setBlargeFile(largeFiles);
        cell->textField()->setText(controller->nameText(*record));
        cell->checkBtn()->setImage(QLatin1String(record->bSelectedSate() ? kTicked : kUnticked));
        cell->setToolTip(record->isProtected() ? QLatin1String(kProtectedTip)
                         : record->isCameraRollFile()
                             ? QLatin1String(kCameraRollTip)
                             : controller->data(index, Qt::ToolTipRole).toString());
    }
}

// ---- button dispatch

void QuennicAppDelegate::MyTablebuttonMouseDownHandle(const nimbara::Notification& notification) {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    QObject* object = notification.objectAs<QObject*>(nullptr);
    if (object == nullptr) {
        return;
    }
    const auto& rowChecks = quick.rowCheckButtons();
    if (quickCleanUpRunning() &&
        std::find(rowChecks.begin(), rowChecks.end(), object) != rowChecks.end()) {
        return;  // the clean-up works from the ticks it was confirmed with
    }
    if (object == quick.quickPhotoCheckBtn) {
        quickRowToggle(quick.quickPhotoCheckBtn, photoVideoFileSize(), quick.devicephotolab);
    } else if (object == quick.quickJunkCheckBtn) {
        quickRowToggle(quick.quickJunkCheckBtn, junkFileSize(), quick.deviceJunklab);
    } else if (object == quick.quickLargeFileCheckBtn) {
        quickListToggle(quick.quickLargeFileCheckBtn, bigFileController_, bigFileSize(),
                        quick.deviceLargeFilelab);
    } else if (object == quick.quickLargeAppCheckBtn) {
        quickListToggle(quick.quickLargeAppCheckBtn, bigAppController_, bigAppFileSize(),
                        quick.deviceLargeApplab);
    } else if (object == quick.quickScnDeviceBtn) {
        setImage(quick.quickScnDeviceBtn, "scanbuttondown.png");
        QuickScanAction();
        setImage(quick.quickScnDeviceBtn, "scanbuttonnom.png");
    } else if (object == quick.quickCleanupDeviceBtn) {
        setImage(quick.quickCleanupDeviceBtn, "cleanupdevicedown.png");
        QuickCleanUpDeviceAction();
    } else if (object == quick.quickRescanDeviceBtn || object == quick.shareRescanDeviceBtn) {
        setImage(static_cast<QWidget*>(object), "rescandown.png");
        ClickRescanAction();
    } else if (object == quick.quickDeepScanBtn || object == quick.quickSmallDeepScanBtn) {
        setImage(static_cast<QWidget*>(object),
                 object == quick.quickDeepScanBtn ? "deepcleanmodedown.png" : "deepscandown.png");
        setShown(quick.quickScanWindow, false);
        if (QMainWindow* main = window(); main != nullptr && !main->isVisible()) {
            main->show();
        }
    } else if (mainUi_ && object == mainUi_->backQuickScanModeBtn) {
        setImage(mainUi_->backQuickScanModeBtn, "quickscanmodedown.png");
        if (QMainWindow* main = window()) {
            main->hide();
        }
        if (quick.quickScanWindow != nullptr && !quick.quickScanWindow->isVisible()) {
            quick.quickScanWindow->show();
        }
    } else if (object == quick.newShareFaceBookBtn) {
        ClickShareToFacebookaction(object);
    } else if (object == quick.newShareTwitterBtn) {
        ClickShareToTwitteraction(object);
    } else if (object == quick.newShareMessageBtn) {
        ClickShareToMessageaction(object);
    }
}

namespace {

// The help of the large-file info button, on hover and on a click.
constexpr const char* kLargeFileHelp =
    "You can change the settings of the mimimum large file size on perferences..";

// The hover look of a quick-scan control: its image while the mouse is over it and otherwise,
// and the help text it shows while hovered (empty: none; null: its tool tip).
struct HoverLook {
    QWidget* control;
    const char* enterImage;
    const char* normalImage;
    const char* help;
};

std::vector<HoverLook> hoverLooks(QuickScanWindowUi& quick, MainWindowUi* main) {
    return {
        {quick.quickScnDeviceBtn, "scanbuttonenter.png", "scanbuttonnom.png", ""},
        {main ? main->backQuickScanModeBtn : nullptr, "quickscanmodeenter.png",
         "quickscanmodenom.png", ""},
        {quick.quickCleanupDeviceBtn, "cleanupdeviceenter.png", "cleanupdevicenom.png", ""},
        {quick.quickRescanDeviceBtn, "rescanenter.png", "rescannom.png", ""},
        {quick.shareRescanDeviceBtn, "rescanenter.png", "rescannom.png", ""},
        {quick.quickDeepScanBtn, "deepcleanmodeenter.png", "deepcleanmodenom.png", ""},
        {quick.quickSmallDeepScanBtn, "deepscanenter.png", "deepscanbtnnom.png", ""},
        {quick.largeAppInfoBtn, "infodown.png", "infonom.png",
         "You can change the settings of the mimimum large app size on perferences.."},
        {quick.largeFileInfoBtn, "infodown.png", "infonom.png", kLargeFileHelp},
        {quick.photoInfoBtn, "infodown.png", "infonom.png",
         "Photos & Videos will be backed up before deleted from iOS device."},
        {quick.junkInfoBtn, "infodown.png", "infonom.png", nullptr},
    };
}

}  // namespace

void QuennicAppDelegate::quickHover(const nimbara::Notification& notification, bool entered) {
    QObject* object = notification.objectAs<QObject*>(nullptr);
    if (!quickScanUi_ || object == nullptr) {
        return;
    }
    for (const HoverLook& look : hoverLooks(*quickScanUi_, mainUi_.get())) {
        if (look.control == nullptr || object != look.control) {
            continue;
        }
        setImage(look.control, entered ? look.enterImage : look.normalImage);
        const QString help =
            look.help != nullptr ? QString::fromUtf8(look.help) : look.control->toolTip();
        if (!help.isEmpty()) {
            if (entered) {
                showQuickHelp(look.control, help);
            } else {
                hideQuickHelp();
            }
        }
        return;
    }
}

void QuennicAppDelegate::MyTablebuttonMouseEnterHandle(const nimbara::Notification& notification) {
    quickHover(notification, true);
}

void QuennicAppDelegate::MyTablebuttonMouseExitHandle(const nimbara::Notification& notification) {
    quickHover(notification, false);
}

// ---- help popover

void QuennicAppDelegate::showQuickHelp(QWidget* button, const QString& text) {
    if (button == nullptr || !quickScanUi_) {
        return;
    }
    if (photoInfoPopver_ == nullptr) {
        // A tool-tip window: it shows without taking the focus or grabbing the mouse.
        auto* frame = new QFrame(quickScanUi_->quickScanWindow, Qt::ToolTip);
        frame->setObjectName(QStringLiteral("photoInfoPopver"));
        frame->setFrameShape(QFrame::StyledPanel);
        auto* layout = new QVBoxLayout(frame);
        layout->setContentsMargins(4, 4, 4, 4);
        photoInfoContent_ = new PRPopViewController(frame);
        layout->addWidget(photoInfoContent_);
        photoInfoPopver_ = frame;
    }
    photoInfoContent_->ChangeText(text);
    photoInfoPopver_->adjustSize();
    // Above the button (on its top edge), centred on it.
    const QPoint top = button->mapToGlobal(QPoint(button->width() / 2, 0));
    photoInfoPopver_->move(top.x() - photoInfoPopver_->width() / 2,
                           top.y() - photoInfoPopver_->height());
    photoInfoPopver_->show();
}

void QuennicAppDelegate::hideQuickHelp() {
    if (photoInfoPopver_ != nullptr && photoInfoPopver_->isVisible()) {
        photoInfoPopver_->hide();
    }
}

void QuennicAppDelegate::ClickLargeFileInfoAction(QObject* sender) {
    // The button's own help, the same as on hover (never a placeholder text).
    showQuickHelp(qobject_cast<QWidget*>(sender), QString::fromLatin1(kLargeFileHelp));
}

// ---- rescan and layouts

void QuennicAppDelegate::connectQuickScanControls() {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    if (quick.expandLargeFileBtn != nullptr) {
        connect(quick.expandLargeFileBtn, &QAbstractButton::clicked, this,
                [this] { exploredLargeFileView(quickScanUi_->expandLargeFileBtn); });
    }
    if (quick.expandLargeAppBtn != nullptr) {
        connect(quick.expandLargeAppBtn, &QAbstractButton::clicked, this,
                [this] { exploredLargeAppView(quickScanUi_->expandLargeAppBtn); });
    }
    reloadQuickScanTables();
}

void QuennicAppDelegate::ClickRescanAction(QObject* /*sender*/) {
    if (!quickScanUi_ || quickWorkerRunning_) {
        return;
    }
    resetQuickScanWindow();
    setStartReScan(true);
    QuickScanAction();
}

void QuennicAppDelegate::resetQuickScanWindow() {
    quickResultDeviceIndex_ = -1;
    quickResultDeviceSerial_ = 0;
    clearQuickScanResults();
    bigFileController_->removeAllObjects();
    bigAppController_->removeAllObjects();
    reloadQuickScanTables();
    setQuickTicksEnabled(true);
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    StopScanGifImageView();
    StopCleanupGifImageView();
    for (PRTableButton* button : {quick.quickRescanDeviceBtn, quick.shareRescanDeviceBtn}) {
        if (button != nullptr) {
            button->setImage(QStringLiteral("rescannom.png"));
        }
    }
    NoCheckButtonMainView();
    // Back to the start: scan bar, closed lists, no result controls.
    initQuickScanView();
    setShown(quick.theInfoTableDisplayView, true);
    setShown(quick.lineImageView, true);
    setShown(quick.theInfoCleanFinishView, false);
    if (quick.deviceTotallab != nullptr) {
        quick.deviceTotallab->setText(QString());
    }
    if (quick.totalCaptionlab != nullptr) {
        quick.totalCaptionlab->setText(
            QStringLiteral("The space a scan finds to free up is shown here."));
    }
    setShown(quick.scanRefusallab, false);
    setShown(quick.junkInfoBtn, false);
    quickFilesRefused_ = false;
    quickAppsRefused_ = false;
    for (QLabel* label : {quick.deviceJunklab, quick.deviceLargeFilelab, quick.deviceLargeApplab}) {
        if (label != nullptr) {
            label->setText(QStringLiteral("Unkown"));
        }
    }
    showBytes(quick.devicephotolab, photoVideoFileSize());
    for (QWidget* check : quick.rowCheckButtons()) {
        setQuickRowTick(check, true);
    }
}

void QuennicAppDelegate::setQuickTicksEnabled(bool enabled) {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    for (QWidget* check : quick.rowCheckButtons()) {
        if (check != nullptr) {
            check->setEnabled(enabled);
        }
    }
    for (QTableView* table : {quick.bigFileTableView, quick.bigAppTableView}) {
        if (table != nullptr) {
            table->setEnabled(enabled);
        }
    }
}

namespace {

void applyRowLayout(QuickScanWindowUi& quick, bool withCheckBoxes) {
    // Origins as y measured from the bottom edge of the row's parent.
    struct Row {
        QWidget* view;
        int withoutX;
        int withX;
        int y;
    };
    const Row rows[] = {
        {quick.quickPhotoImageView, 27, 45, 299},    {quick.quickJunkImageView, 27, 45, 256},
        {quick.quickLargeFileImageView, 16, 34, 11}, {quick.quickLargeAppImageView, 16, 34, 12},
        {quick.quickPhotolab, 51, 69, 299},          {quick.quickJunklab, 51, 69, 256},
        {quick.quickLargeFilelab, 40, 58, 11},       {quick.quickLargeApplab, 40, 58, 12},
    };
    for (const Row& row : rows) {
        if (row.view == nullptr || row.view->parentWidget() == nullptr) {
            continue;
        }
        const int parentHeight = row.view->parentWidget()->height();
        // Images sit 2 points above their row's baseline, as the window builder places them.
        const bool image =
            qobject_cast<QLabel*>(row.view) != nullptr &&
            (row.view == quick.quickPhotoImageView || row.view == quick.quickJunkImageView ||
             row.view == quick.quickLargeFileImageView || row.view == quick.quickLargeAppImageView);
        const int y = parentHeight - (row.y + (image ? 2 : 0)) - row.view->height();
        moveTo(row.view, withCheckBoxes ? row.withX : row.withoutX, y);
    }
    for (QWidget* check : quick.rowCheckButtons()) {
        setShown(check, withCheckBoxes);
    }
}

}  // namespace

void QuennicAppDelegate::NoCheckButtonMainView() {
    if (quickScanUi_) {
        applyRowLayout(*quickScanUi_, false);
    }
}

void QuennicAppDelegate::ShowCheckButtonMainView() {
    if (quickScanUi_) {
        applyRowLayout(*quickScanUi_, true);
    }
}

// ---- list switches (frames as x, y measured from the bottom edge, width, height)

namespace {

// The two lists are a little lower than 90 so that the rows' texts (24 high in this window)
// never run under a list: the file list ends above the large-app row's text, the app list
// below it.
constexpr int kFileListBottom = 124;
constexpr int kFileListHeight = 80;
constexpr int kAppListHeight = 84;

void setFrameFromBottom(QWidget* widget, int x, int y, int w, int h) {
    if (widget != nullptr && widget->parentWidget() != nullptr) {
        widget->setGeometry(x, widget->parentWidget()->height() - y - h, w, h);
    }
}

// A row view's origin y, measured from the bottom edge of its parent.
int bottomY(const QWidget* widget) {
    return widget->parentWidget()->height() - widget->y() - widget->height();
}

void setBottomOrigin(QWidget* widget, int x, int y) {
    widget->move(x, widget->parentWidget()->height() - y - widget->height());
}

}  // namespace

void QuennicAppDelegate::exploredLargeFileView(QObject* /*sender*/) {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    if (quick.bigFileScrollView == nullptr || quick.theLargeAppView == nullptr ||
        quick.theLargeFileView == nullptr) {
        return;
    }
    if (quick.bigFileScrollView->isHidden()) {
        quick.expandLargeFileBtn->setImage(QStringLiteral("blow.png"));
        setFrameFromBottom(quick.bigFileScrollView, 52, kFileListBottom, 345, kFileListHeight);
        quick.bigFileScrollView->show();
        setBottomOrigin(quick.theLargeAppView, quick.theLargeFileView->x(), 87);
        if (!quick.bigAppScrollView->isHidden()) {
            setFrameFromBottom(quick.bigAppScrollView, 52, 7, 345, kAppListHeight);
        }
    } else {
        quick.expandLargeFileBtn->setImage(QStringLiteral("above.png"));
        setBottomOrigin(quick.theLargeAppView, quick.theLargeFileView->x(),
                        bottomY(quick.theLargeFileView) - 48);
        setFrameFromBottom(quick.bigAppScrollView, 52, bottomY(quick.theLargeAppView) - 81, 345,
                           kAppListHeight);
        quick.bigFileScrollView->hide();
    }
}

void QuennicAppDelegate::exploredLargeAppView(QObject* /*sender*/) {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    if (quick.bigAppScrollView == nullptr || quick.theLargeAppView == nullptr) {
        return;
    }
    if (quick.bigAppScrollView->isHidden()) {
        quick.expandLargeAppBtn->setImage(QStringLiteral("blow.png"));
        setFrameFromBottom(quick.bigAppScrollView, 52, bottomY(quick.theLargeAppView) - 81, 345,
                           kAppListHeight);
        quick.bigAppScrollView->show();
    } else {
        quick.expandLargeAppBtn->setImage(QStringLiteral("above.png"));
        quick.bigAppScrollView->hide();
    }
}
