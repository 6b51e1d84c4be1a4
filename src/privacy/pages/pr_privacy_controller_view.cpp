// The privacy page's results view: the category buttons, the record tables with the details
// beside them, the bar under them with Back and the help links, and the map window.
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "browser/pages/record_details_view.h"
#include "browser/record_details.h"
#include "privacy/pages/position_map_view.h"
#include "privacy/pages/pr_privacy_controller.h"
#include "privacy/pages/pr_privacy_controller_parts.h"
#include "privacy/pages/privacy_columns.h"
#include "ui/chat_column_view.h"
#include "ui/chat_picture_loader.h"
#include "ui/core/text_utilities.h"
#include "ui/fonts.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"

namespace nb = nimbara::browser;
namespace np = nimbara::privacy;
using Category = PRPrivacyController::Category;

const char* const PRPrivacyController::kFindMyGuideAddress =
    "https://nimbara.example/guide/turn-off-find-my-iphone/";
const char* const PRPrivacyController::kFindMySupportAddress =
    "https://nimbara.example/support/find-my-iphone/";

namespace {

constexpr QSize kAttachmentPreview(260, 260);

// A table's records come from the result the page is handed, never from the browser's lists.
template <class Node>
nb::CategoryFamily<Node> familyOf(std::vector<nb::RecordColumn<Node>> columns) {
    nb::CategoryFamily<Node> family;
    family.from = [](const nb::ResultRecords&, std::size_t) {
        return std::vector<std::shared_ptr<Node>>{};
    };
    family.columns = std::move(columns);
    return family;
}

// `widgets` side by side, the first taking what room is left.
QSplitter* sideBySide(const char* name, std::initializer_list<QWidget*> widgets, QWidget* parent) {
    auto* split = new QSplitter(Qt::Horizontal, parent);
    split->setObjectName(QString::fromLatin1(name));
    for (QWidget* widget : widgets) {
        split->addWidget(widget);
    }
    split->setStretchFactor(0, 1);
    split->setChildrenCollapsible(false);
    return split;
}

// A link-looking button.
PRLinkButton* helpLink(const char* name, const QString& title, QWidget* parent) {
    auto* link = new PRLinkButton(parent);
    link->setObjectName(QString::fromLatin1(name));
    link->setText(title);
    link->setFlat(true);
    QFont font = nimbara::ui::appFont(11);
    font.setUnderline(true);
    link->setFont(font);
    QPalette blue = link->palette();
    blue.setColor(QPalette::ButtonText, QColor(0, 102, 204));
    link->setPalette(blue);
    return link;
}

QLabel* plainLabel(const char* name, QWidget* parent, int pointSize = 11) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(nimbara::ui::appFont(pointSize));
    return label;
}

}  // namespace

void PRPrivacyController::buildResultsView() {
    QWidget* root = view();
    privacyContentView = new QWidget(root);
    privacyContentView->setObjectName(QStringLiteral("privacyContentView"));
    if (auto* stack = qobject_cast<QStackedLayout*>(root->layout())) {
        stack->addWidget(privacyContentView);
    }
    auto* layout = new QVBoxLayout(privacyContentView);
    layout->setContentsMargins(12, 10, 12, 8);

    scanSummarylab = plainLabel("scanSummarylab", privacyContentView, 12);
    layout->addWidget(scanSummarylab);

    auto* middle = new QHBoxLayout();
    layout->addLayout(middle, 1);
    middle->addWidget(buildCategoryList(privacyContentView));
    auto* right = new QVBoxLayout();
    middle->addLayout(right, 1);
    auto* tableBar = new QHBoxLayout();
    right->addLayout(tableBar);
    theCheckAllBtn = new QCheckBox(QStringLiteral("Check All"), privacyContentView);
    theCheckAllBtn->setObjectName(QStringLiteral("theCheckAllBtn"));
    theCheckAllBtn->setFont(nimbara::ui::appFont(11));
    connect(theCheckAllBtn, &QCheckBox::clicked, this,
            [this] { ClickCheckBoxAction(theCheckAllBtn); });
    tableBar->addWidget(theCheckAllBtn);
    categoryTicklab = plainLabel("categoryTicklab", privacyContentView);
    tableBar->addWidget(categoryTicklab);
    tableBar->addStretch(1);
    showMapBtn = new PRPrivacyButton(privacyContentView);
    showMapBtn->setObjectName(QStringLiteral("showMapBtn"));
    showMapBtn->setText(QStringLiteral("Show on Map"));
    showMapBtn->hide();
    tableBar->addWidget(showMapBtn);
    dataContentView = new QStackedWidget(privacyContentView);
    dataContentView->setObjectName(QStringLiteral("dataContentView"));
    right->addWidget(dataContentView, 1);

    layout->addWidget(buildBottomBar(privacyContentView));
    contactPictures_ = new nimbara::ui::ChatPictureLoader(this);
    attachPictures_ = new nimbara::ui::ChatPictureLoader(this);
    buildTables();
    observeControls();
}

QWidget* PRPrivacyController::buildCategoryList(QWidget* parent) {
    auto* list = new QWidget(parent);
    list->setObjectName(QStringLiteral("categoryListView"));
    auto* column = new QVBoxLayout(list);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    for (const PrivacyCategoryInfo& info : kPrivacyCategories) {
        auto* button = new PRPrivacyButton(list);
        button->setObjectName(QString::fromLatin1(info.buttonName));
        button->setImage(QString::fromLatin1(info.stem) + QStringLiteral("_Nom.png"));
        button->setFixedSize(170, 36);
        this->*info.button = button;
        column->addWidget(button);
    }
    column->addStretch(1);
    return list;
}

QWidget* PRPrivacyController::buildBottomBar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    bar->setObjectName(QStringLiteral("privacyBottomView"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 4, 0, 0);
    backBtn = new QPushButton(QStringLiteral("Back"), bar);
    backBtn->setObjectName(QStringLiteral("backBtn"));
    connect(backBtn, &QPushButton::clicked, this, [this] { ActBackAction(backBtn); });
    row->addWidget(backBtn);
    totalTicklab = plainLabel("totalTicklab", bar);
    row->addWidget(totalTicklab);
    row->addStretch(1);
    auto* help = plainLabel("findMyNotelab", bar);
    help->setText(QStringLiteral("Turn off Find My iPhone before cleaning:"));
    row->addWidget(help);
    link1Button = helpLink("link1Button", QStringLiteral("How to turn it off"), bar);
    row->addWidget(link1Button);
    linkButton = helpLink("linkButton", QStringLiteral("About Find My iPhone"), bar);
    row->addWidget(linkButton);
    row->addSpacing(12);
    cleanButton = new QPushButton(QStringLiteral("Clean Up"), bar);
    cleanButton->setObjectName(QStringLiteral("cleanButton"));
    cleanButton->setDefault(true);
    connect(cleanButton, &QPushButton::clicked, this,
            [this] { CleanUpSelectedPrivacyFiles(cleanButton); });
    row->addWidget(cleanButton);
    return bar;
}

void PRPrivacyController::buildTables() {
    auto make = [this](auto family, Category category, bool withDetails) {
        using Node = typename decltype(family)::Record::element_type;
        const PrivacyCategoryInfo& info = privacyCategoryInfo(category);
        auto made = std::make_unique<nb::TypedCategoryTable<Node>>(
            std::move(family), info.tableName, dataContentView, /*sort=*/nullptr,
            [this, category](int) { rowTicked(category); }, withDetails);
        nb::styleCategoryTable(made->table());
        made->table()->horizontalHeader()->setFont(nimbara::ui::appFont(11));
        this->*info.table = made->table();
        auto* raw = made.get();
        parts_->tables[np::categoryIndex(category)] = std::move(made);
        return raw;
    };
    // A category whose view is its table alone.
    auto alone = [this](nb::CategoryTable& shown, Category category) {
        auto* holder = new QWidget(dataContentView);
        holder->setObjectName(QString::fromLatin1(privacyCategoryInfo(category).viewName));
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(shown.table());
        return holder;
    };

    auto contactFamily = familyOf(np::privacyContactColumns());
    contactFamily.details = &nb::contactDetails;
    auto* contacts = make(std::move(contactFamily), Category::Contacts, /*withDetails=*/true);
    parts_->contacts = contacts;
    contactDetailView = contacts->details();
    contactDetailView->setObjectName(QStringLiteral("contactDetailView"));
    contactDetailView->picture("contactImageView");
    contacts->setDetailsShown(
        [this](const PRContactNode& node) { showContactPicture(node.imageData()); });
    contacts->setView(
        sideBySide("contactView", {contactTableView, contactDetailView}, dataContentView));

    auto* conversations =
        make(familyOf(np::privacyConversationColumns()), Category::Messages, false);
    parts_->conversations = conversations;
    messageScrollView = new ChatColumnView(dataContentView);
    messageScrollView->setObjectName(QStringLiteral("messageScrollView"));
    conversations->setRowChosen([this](const std::shared_ptr<PRMessageTreeNode>& chosen) {
        messageScrollView->showConversation(chosen);
    });
    conversations->setView(
        sideBySide("messageView", {messageTableview, messageScrollView}, dataContentView));

    for (const PrivacyCategoryInfo& info : kPrivacyCategories) {
        const auto columns = np::privacyItemColumns(info.category);
        if (columns.empty()) {
            continue;
        }
        auto* items = make(familyOf(columns), info.category, false);
        parts_->items[np::categoryIndex(info.category)] = items;
        if (info.category != Category::MessageAttachments) {
            items->setView(alone(*items, info.category));
        }
    }
    auto* attachments = parts_->items[np::categoryIndex(Category::MessageAttachments)];
    auto* preview = new QWidget(dataContentView);
    preview->setObjectName(QStringLiteral("attachmentPriView"));
    preview->setMinimumWidth(kAttachmentPreview.width() + 16);
    auto* previewLayout = new QVBoxLayout(preview);
    attachImageView = new QLabel(preview);
    attachImageView->setObjectName(QStringLiteral("attachImageView"));
    attachImageView->setFixedSize(kAttachmentPreview);
    attachImageView->setAlignment(Qt::AlignCenter);
    attachImageView->hide();
    previewLayout->addWidget(attachImageView, 0, Qt::AlignHCenter | Qt::AlignTop);
    previewLayout->addStretch(1);
    attachments->setRowChosen(
        [this](const std::shared_ptr<PRPrivacyNode>& chosen) { showAttachment(chosen); });
    attachments->setView(
        sideBySide("messageAttachView", {messageAttachmentTableView, preview}, dataContentView));
    parts_->items[np::categoryIndex(Category::Locations)]->setRowChosen(
        [this](const std::shared_ptr<PRPrivacyNode>& chosen) { locationChosen(chosen); });

    parts_->notes = make(familyOf(np::privacyNoteColumns()), Category::Notes, false);
    parts_->notes->setView(alone(*parts_->notes, Category::Notes));
    parts_->calls = make(familyOf(np::privacyCallColumns()), Category::Calls, false);
    parts_->calls->setView(alone(*parts_->calls, Category::Calls));

    for (const auto& shown : parts_->tables) {
        dataContentView->addWidget(shown->view());
    }
    contactTableView->setColumnWidth(1, 160);
    contactTableView->setColumnWidth(2, 180);
    messageTableview->setColumnWidth(1, 130);
    messageTableview->setColumnWidth(2, 130);
    safariHistoryTableView->setColumnWidth(1, 300);
    safariHistoryTableView->setColumnWidth(2, 220);
    for (QTableView* named :
         {messageAttachmentTableView, safariSearchTableView, webContentTableView, keyboardTableView,
          wifiRecordTableView, noteTableView, callHistoryTableView}) {
        named->setColumnWidth(1, 260);
    }
    callHistoryTableView->setColumnWidth(2, 180);
}

// Every table takes the lists of the result shown, with its first record chosen.
void PRPrivacyController::fillTables() {
    const np::PrivacyScanResult& scan = *scan_;
    parts_->contacts->model().setRecords(scan.contacts.records);
    parts_->conversations->model().setRecords(scan.messages.conversations);
    parts_->notes->model().setRecords(scan.notes.records);
    parts_->calls->model().setRecords(scan.calls.records);
    for (std::size_t i = 0; i < np::kPrivacyCategoryCount; ++i) {
        if (auto* items = parts_->items[i]) {
            items->model().setRecords(np::privacyItems(scan, static_cast<Category>(i)));
        }
    }
    for (const auto& shown : parts_->tables) {
        shown->selectFirstRow();
    }
}

// --- The page's controls, through the default centre ---

void PRPrivacyController::observeControls() {
    auto& center = nimbara::NotificationCenter::defaultCenter();
    observers_.add(center.addObserver("PRPrivacyButtonEntered",
                                      [this](const auto& n) { buttonEntered(n, true); }));
    observers_.add(center.addObserver("PRPrivacyButtonExited",
                                      [this](const auto& n) { buttonEntered(n, false); }));
    observers_.add(center.addObserver("PRPrivacyButtonMouseDown",
                                      [this](const auto& n) { buttonPressed(n); }));
    observers_.add(
        center.addObserver("PRLinkButtonMouseDown", [this](const auto& n) { linkPressed(n); }));
}

void PRPrivacyController::buttonEntered(const nimbara::Notification& notification, bool entered) {
    const auto* control = notification.objectAs<QObject*>(nullptr);
    for (const PrivacyCategoryInfo& info : kPrivacyCategories) {
        PRPrivacyButton* button = this->*info.button;
        if (control != nullptr && control == button) {
            button->setImage(QString::fromLatin1(info.stem) +
                             (entered ? QStringLiteral("_Enter.png") : QStringLiteral("_Nom.png")));
        }
    }
}

void PRPrivacyController::buttonPressed(const nimbara::Notification& notification) {
    const auto* control = notification.objectAs<QObject*>(nullptr);
    if (control == nullptr) {
        return;
    }
    for (const PrivacyCategoryInfo& info : kPrivacyCategories) {
        if (control == this->*info.button) {
            pressCategory(info.category);
            return;
        }
    }
    if (control == showMapBtn) {
        // The map button is an ordinary button: it never stays down.
        showMapBtn->setBtnDown(false);
        ShowMapWindowAction(showMapBtn);
    }
}

void PRPrivacyController::linkPressed(const nimbara::Notification& notification) {
    const auto* control = notification.objectAs<QObject*>(nullptr);
    if (control == nullptr) {
        return;
    }
    if (control == link1Button) {
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kFindMyGuideAddress)));
    } else if (control == linkButton) {
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kFindMySupportAddress)));
    }
}

// --- Details ---

// The contact's picture, decoded off the GUI thread; "contact" when it has none or it can't be
// read.
void PRPrivacyController::showContactPicture(const QByteArray& imageData) {
    QPointer<QLabel> picture = contactDetailView->picture("contactImageView");
    const QSize box = picture->size();
    auto show = [picture, box](const QImage& image) {
        if (!picture) {
            return;
        }
        const QPixmap pixmap =
            image.isNull()
                ? nimbara::ui::namedImage(QString::fromLatin1(nb::kContactPlaceholderImage))
                : QPixmap::fromImage(image);
        picture->setPixmap(pixmap.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    };
    contactPictures_->cancelAll();
    picture->clear();
    picture->show();
    if (imageData.isEmpty()) {
        show({});
    } else {
        contactPictures_->loadData(imageData, box, show);
    }
}

// The picture of an attachment that is one; nothing for any other file.
void PRPrivacyController::showAttachment(const std::shared_ptr<PRPrivacyNode>& item) {
    attachPictures_->cancelAll();
    attachImageView->clear();
    const QString suffix = item ? QFileInfo(item->backupFilePath()).suffix() : QString();
    if (!item || nimbara::shell::GetImageType(suffix) < 0) {
        attachImageView->hide();
        return;
    }
    attachImageView->show();
    QPointer<QLabel> preview = attachImageView;
    attachPictures_->loadFile(item->backupFileKey(), kAttachmentPreview,
                              [preview](const QImage& image) {
                                  if (preview) {
                                      preview->setPixmap(QPixmap::fromImage(image));
                                  }
                              });
}

// --- The map ---

void PRPrivacyController::buildMapWindow() {
    mapWindow = new QWidget(view(), Qt::Window);
    mapWindow->setObjectName(QStringLiteral("mapWindow"));
    mapWindow->setWindowTitle(QStringLiteral("Photo Locations"));
    auto* layout = new QVBoxLayout(mapWindow);
    auto* title = plainLabel("mapTitlelab", mapWindow, 12);
    layout->addWidget(title);
    currentMapView = new np::PositionMapView(mapWindow);
    currentMapView->setObjectName(QStringLiteral("currentMapView"));
    layout->addWidget(currentMapView, 1);
    auto* close = new QPushButton(QStringLiteral("Close"), mapWindow);
    close->setObjectName(QStringLiteral("closeMapBtn"));
    connect(close, &QPushButton::clicked, mapWindow, &QWidget::hide);
    layout->addWidget(close, 0, Qt::AlignRight);
    mapWindow->resize(760, 460);
}

void PRPrivacyController::ShowMapWindowAction(QObject*) {
    if (!privacyContentView) {
        return;
    }
    if (!mapWindow) {
        buildMapWindow();
    }
    fillMap();
    if (!mapWindow->isVisible()) {
        mapWindow->show();
    }
    mapWindow->raise();
    mapWindow->activateWindow();
    auto* locations = parts_->items[np::categoryIndex(Category::Locations)];
    locationChosen(locations->model().record(gpsRecordTableView->currentIndex().row()));
}

// One pin per located photo, made afresh each time the map is shown.
void PRPrivacyController::fillMap() {
    std::vector<np::MapPin> pins;
    pinNodes_.clear();
    if (scan_) {
        for (const auto& photo : np::privacyItems(*scan_, Category::Locations)) {
            bool latitudeRead = false;
            bool longitudeRead = false;
            const np::GeoPosition place{photo->latitudeValue().toDouble(&latitudeRead),
                                        photo->LongitudeValue().toDouble(&longitudeRead)};
            if (!latitudeRead || !longitudeRead || !np::isPlace(place)) {
                continue;
            }
            const QString name = QFileInfo(photo->backupFilePath()).fileName();
            pins.push_back({place, name.isEmpty() ? photo->fileName() : name});
            pinNodes_.push_back(photo.get());
        }
    }
    const auto count = pins.size();
    currentMapView->setPins(std::move(pins));
    mapWindow->findChild<QLabel*>(QStringLiteral("mapTitlelab"))
        ->setText(count == 1 ? QStringLiteral("1 photo with a location")
                             : QStringLiteral("%1 photos with a location").arg(count));
}

void PRPrivacyController::locationChosen(const std::shared_ptr<PRPrivacyNode>& photo) {
    if (!currentMapView) {
        return;
    }
    const auto found = std::find(pinNodes_.begin(), pinNodes_.end(), photo.get());
    currentMapView->setChosenPin(
        photo && found != pinNodes_.end() ? static_cast<int>(found - pinNodes_.begin()) : -1);
}
