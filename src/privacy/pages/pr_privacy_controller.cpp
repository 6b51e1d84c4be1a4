// The privacy page's state: the result shown, the category switch, ticks and check-all, the
// snapshot of what is ticked, and the way back.
#include "privacy/pages/pr_privacy_controller.h"

#include <QCheckBox>
#include <QLabel>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QTableView>

#include "browser/pages/category_table.h"
#include "device/pri_device_node.h"
#include "privacy/pages/position_map_view.h"
#include "privacy/pages/pr_privacy_controller_parts.h"
#include "privacy/privacy_clean_flow.h"
#include "ui/alerts.h"
#include "ui/chat_column_view.h"
#include "ui/chat_picture_loader.h"
#include "ui/core/text_utilities.h"
#include "ui/notification_buttons.h"

namespace nb = nimbara::browser;
namespace np = nimbara::privacy;
using Category = PRPrivacyController::Category;

PRPrivacyController::PRPrivacyController(nimbara::ui::PageHost& host, QObject* parent)
    : PageControllerBase(host, "PRPrivacyController", QStringLiteral("Privacy Cleaner"), parent),
      parts_(std::make_unique<CategoryParts>()) {}

PRPrivacyController::~PRPrivacyController() = default;

void PRPrivacyController::deviceChanged(const amd::DeviceTarget& target) {
    if (target.deviceIndex >= 0) {
        const std::shared_ptr<PRiDeviceNode> node = host().currentDeviceNode();
        const bool shown = node && node->deviceIndex() == target.deviceIndex;
        setDeviceIndex(target.deviceIndex, shown ? node->iOSVersion() : QString());
    }
    initAllDataAndAllView();
}

void PRPrivacyController::setDeviceIndex(int index, const QString& withiOSversion) {
    record(QStringLiteral("setDeviceIndex(%1, %2)").arg(argument(index), argument(withiOSversion)));
    // Results shown for one device never stay up for another.
    if (index != deviceIndex_.load() && flow_ && !cleaning()) {
        // A scan of one device never goes on for another: it is stopped, and the working copy
        // of its backup discarded.
        flow_->reset();
        hideSheet();
    }
    if (scan_ && index != resultDevice_) {
        clearResults();
    }
    deviceIndex_ = index;
    if (withiOSversion.isEmpty()) {
        return;
    }
    const QString major = withiOSversion.section(u'.', 0, 0);
    if (major == u"10" || major == u"11" || major == u"12" ||
        nimbara::shell::leadingInt(major) >= 12) {
        bIOS10Version_ = true;
    }
}

void PRPrivacyController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    if (flow_ && !cleaning()) {
        flow_->reset();
        hideSheet();
    }
    clearResults();
}

bool PRPrivacyController::showScanResults(np::PrivacyScanResult result) {
    clearResults();
    if (result.refused()) {
        return false;
    }
    if (!privacyContentView) {
        buildResultsView();
    }
    scan_ = std::move(result);
    resultDevice_ = deviceIndex_;
    allScanFileNumber_ = scan_->allScanFileNumber;
    allScanFileSize_ = scan_->allScanFileSize;
    const np::PrivacyScanResult& scan = *scan_;
    const auto initial = np::initialCheckAll();
    for (std::size_t i = 0; i < np::kPrivacyCategoryCount; ++i) {
        checkAll_[i] = initial[i] && np::categoryAllTicked(scan, static_cast<Category>(i));
    }
    fillTables();
    scanSummarylab->setText(QStringLiteral("%1 private items found; the files among them take %2.")
                                .arg(QString::number(allScanFileNumber_),
                                     nimbara::shell::size_to_unit(allScanFileSize_)));
    if (auto* stack = qobject_cast<QStackedLayout*>(view()->layout())) {
        stack->setCurrentWidget(privacyContentView);
    }
    pressCategory(Category::Contacts);
    return true;
}

bool PRPrivacyController::isShowingResults() const {
    return scan_.has_value() && privacyContentView != nullptr && !isShowingNotAvailable();
}

np::PrivacyTickSnapshot PRPrivacyController::takeTickSnapshot() const {
    if (!scan_ || resultDevice_ != deviceIndex_) {
        np::PrivacyTickSnapshot none;
        none.deviceIndex = resultDevice_;
        return none;
    }
    return np::snapshotTicks(*scan_, checkAll_, resultDevice_);
}

std::size_t PRPrivacyController::recordCount(Category category) const {
    return scan_ ? np::categorySize(*scan_, category) : 0;
}

std::size_t PRPrivacyController::tickedCount(Category category) const {
    return scan_ ? np::categoryTicked(*scan_, category) : 0;
}

std::size_t PRPrivacyController::totalTicked() const {
    std::size_t total = 0;
    for (std::size_t i = 0; i < np::kPrivacyCategoryCount; ++i) {
        total += tickedCount(static_cast<Category>(i));
    }
    return total;
}

bool PRPrivacyController::checkAll(Category category) const {
    return checkAll_[np::categoryIndex(category)];
}

QString PRPrivacyController::buttonStem(Category category) {
    return QString::fromLatin1(privacyCategoryInfo(category).stem);
}

nb::CategoryTable* PRPrivacyController::table(Category category) const {
    return parts_->tables[np::categoryIndex(category)].get();
}

std::shared_ptr<PRMessageTreeNode> PRPrivacyController::currentMessageTreeNode() const {
    return messageScrollView ? messageScrollView->currentMessageTreeNode() : nullptr;
}

std::size_t PRPrivacyController::picturesPending() const {
    std::size_t pending = 0;
    for (const nimbara::ui::ChatPictureLoader* loader : {contactPictures_, attachPictures_}) {
        pending += loader ? loader->outstanding() : 0;
    }
    return pending;
}

// --- The category switch ---

void PRPrivacyController::pressCategory(Category category) {
    if (!privacyContentView) {
        return;
    }
    for (const PrivacyCategoryInfo& info : kPrivacyCategories) {
        PRPrivacyButton* button = this->*info.button;
        const bool pressed = info.category == category;
        button->setImage(QString::fromLatin1(info.stem) +
                         (pressed ? QStringLiteral("_Down.png") : QStringLiteral("_Nom.png")));
        button->setBtnDown(pressed);
    }
    showMapBtn->setVisible(category == Category::Locations);
    (this->*privacyCategoryInfo(category).action)(nullptr);
}

void PRPrivacyController::ClickContactAction(QObject*) {
    switchTo(Category::Contacts);
}
void PRPrivacyController::ClickMessageAction(QObject*) {
    switchTo(Category::Messages);
}
void PRPrivacyController::ClickMessageAttachmentAction(QObject*) {
    switchTo(Category::MessageAttachments);
}
void PRPrivacyController::ClickSafariHistoryAction(QObject*) {
    switchTo(Category::SafariHistory);
}
void PRPrivacyController::ClickSafariSearchAction(QObject*) {
    switchTo(Category::SafariCookies);
}
void PRPrivacyController::ClickWebContentAction(QObject*) {
    switchTo(Category::WebContent);
}
void PRPrivacyController::ClickkeyBoardAction(QObject*) {
    switchTo(Category::KeyboardInput);
}
void PRPrivacyController::ClickWifRecordsAction(QObject*) {
    switchTo(Category::WifiNetworks);
}
void PRPrivacyController::ClickGPSRecordsAction(QObject*) {
    switchTo(Category::Locations);
}
void PRPrivacyController::ClickNoteAction(QObject*) {
    switchTo(Category::Notes);
}
void PRPrivacyController::ClickCallHistoryAction(QObject*) {
    switchTo(Category::Calls);
}

// A category's own switch: its view in front, its table current, the check-all box as the
// category left it.
void PRPrivacyController::switchTo(Category category) {
    if (!privacyContentView) {
        return;
    }
    current_ = category;
    nb::CategoryTable* shown = table(category);
    dataContentView->setCurrentWidget(shown->view());
    currentTableView = shown->table();
    const bool box = np::hasCheckAll(category);
    theCheckAllBtn->setVisible(box);
    theCheckAllBtn->setEnabled(box && shown->shownCount() > 0);
    theCheckAllBtn->setChecked(box && checkAll(category));
    updateTickTexts();
}

// --- Ticks ---

void PRPrivacyController::ClickCheckBoxAction(QObject*) {
    if (!scan_ || !np::hasCheckAll(current_)) {
        return;
    }
    const bool ticked = theCheckAllBtn->isChecked();
    table(current_)->tickShown(ticked);
    // The flag stands for "every record of the category is ticked"; an empty category has none.
    checkAll_[np::categoryIndex(current_)] = ticked && np::categoryAllTicked(*scan_, current_);
    theCheckAllBtn->setChecked(checkAll(current_));
    updateTickTexts();
}

// After a tick in a row (or several selected rows) of `category`: a record left unticked ends
// the category's check-all for good (until the box is used again).
void PRPrivacyController::rowTicked(Category category) {
    if (!scan_) {
        return;
    }
    if (!np::categoryAllTicked(*scan_, category)) {
        checkAll_[np::categoryIndex(category)] = false;
    }
    if (category == current_) {
        theCheckAllBtn->setChecked(np::hasCheckAll(category) && checkAll(category));
    }
    updateTickTexts();
}

void PRPrivacyController::updateTickTexts() {
    if (!categoryTicklab) {
        return;
    }
    categoryTicklab->setText(
        QStringLiteral("%1 of %2 selected")
            .arg(QString::number(tickedCount(current_)), QString::number(recordCount(current_))));
    totalTicklab->setText(
        QStringLiteral("Selected for cleaning: %1").arg(QString::number(totalTicked())));
}

// --- Back ---

void PRPrivacyController::ActBackAction(QObject*) {
    nimbara::Alerts::Question question;
    question.message = QStringLiteral("Are you sure you want to back?");
    question.informativeText = QStringLiteral("If Back, the scanning results will not be saved.");
    // Cancel is the default, and closing the question cancels too: only a click on Back
    // discards the results.
    question.defaultButton = QStringLiteral("Cancel ");
    question.otherButton = QStringLiteral(" Back ");
    if (nimbara::Alerts::ask(privacyContentView ? privacyContentView->window() : nullptr,
                             question) != nimbara::Alerts::Answer::Other) {
        return;
    }
    if (flow_) {
        flow_->reset();  // the working copy of the scanned backup goes with the results
    }
    clearResults();
}

void PRPrivacyController::clearResults() {
    scan_.reset();
    resultDevice_ = -1;
    allScanFileNumber_ = 0;
    allScanFileSize_ = 0;
    checkAll_ = {};
    pinNodes_.clear();
    for (nimbara::ui::ChatPictureLoader* loader : {contactPictures_, attachPictures_}) {
        if (loader) {
            loader->cancelAll();
        }
    }
    for (auto& shown : parts_->tables) {
        if (shown) {
            shown->clear();
        }
    }
    if (messageScrollView) {
        messageScrollView->showConversation(nullptr);
    }
    if (attachImageView) {
        attachImageView->clear();
        attachImageView->hide();
    }
    if (currentMapView) {
        currentMapView->setPins({});
    }
    if (mapWindow) {
        mapWindow->hide();
    }
    if (scanSummarylab) {
        scanSummarylab->clear();
    }
    updateTickTexts();
    if (privacyView) {
        showStartView();
    } else {
        showNotAvailable();
    }
}
