// The result page's record categories: their tables and details, the category switch, the
// deleted-only filter, ticks, select all and the selection text.
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <type_traits>

#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "browser/backup_outline_model.h"
#include "browser/pages/backup_files_view.h"
#include "browser/pages/deleted_row_delegate.h"
#include "browser/pages/pr_result_view_controller.h"
#include "browser/pages/thumbnail_strip_view.h"
#include "browser/record_columns.h"
#include "ui/chat_column_view.h"
#include "ui/chat_picture_loader.h"
#include "ui/fonts.h"
#include "ui/named_image.h"

namespace nb = nimbara::browser;
using nimbara::browser::ResultRecords;

namespace {

// The look every record table shares, with records from deleted rows in their own colour.
void styleTable(QTableView* table) {
    nb::styleCategoryTable(table);
    table->setItemDelegate(new nb::DeletedRowDelegate(table));
}

// The table with its details at the right.
QWidget* tableWithDetails(const char* viewName, QTableView* table, QWidget* details,
                          QWidget* parent) {
    auto* split = new QSplitter(Qt::Horizontal, parent);
    split->setObjectName(QString::fromLatin1(viewName));
    table->setParent(split);
    split->addWidget(table);
    split->addWidget(details);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setChildrenCollapsible(false);
    return split;
}

template <class Node>
nb::CategoryFamily<Node> family(
    std::vector<nb::RecordColumn<Node>> columns,
    std::vector<std::shared_ptr<Node>> (ResultRecords::*from)(std::size_t) const,
    std::type_identity_t<std::vector<nb::DetailLine> (*)(const Node&)> details,
    nb::SortableTable sortable) {
    nb::CategoryFamily<Node> f;
    f.from = [from](const ResultRecords& records, std::size_t first) {
        return (records.*from)(first);
    };
    f.columns = std::move(columns);
    if (details != nullptr) {
        f.details = details;
    }
    f.sortable = sortable;
    return f;
}

// "7 conversations, 20 messages".
QString conversationCountText(std::size_t conversations, std::size_t messages) {
    if (messages == 0) {
        return QStringLiteral("No messages");
    }
    return QStringLiteral("%1 %2, %3 %4")
        .arg(conversations)
        .arg(conversations == 1 ? QStringLiteral("conversation") : QStringLiteral("conversations"))
        .arg(messages)
        .arg(messages == 1 ? QStringLiteral("message") : QStringLiteral("messages"));
}

}  // namespace

nb::CategoryTable* PRResultViewController::category(int row) const {
    if (row < 0 || row >= kCategoryRowCount) {
        return nullptr;
    }
    return categories_[static_cast<std::size_t>(row)].get();
}

void PRResultViewController::buildRecordTables() {
    detailPictures_ = new nimbara::ui::ChatPictureLoader(this);
    auto ticked = [this](int change) { ticksChanged(change); };
    auto* sort = &sortState_;
    using ST = nb::SortableTable;

    // A category of records with details beside its table.
    auto make = [&](auto fam, const char* tableName, const char* viewName, const char* detailsName,
                    int row) {
        using Node = typename decltype(fam)::Record::element_type;
        auto table = std::make_unique<nb::TypedCategoryTable<Node>>(
            std::move(fam), tableName, CustomView, sort, ticked, /*withDetails=*/true);
        styleTable(table->table());
        table->details()->setObjectName(QString::fromLatin1(detailsName));
        table->setView(tableWithDetails(viewName, table->table(), table->details(), CustomView));
        CustomView->addWidget(table->view());
        auto* raw = table.get();
        categories_[static_cast<std::size_t>(row)] = std::move(table);
        return raw;
    };

    // Photos and videos show as a strip of thumbnails; the category's table, kept out of sight,
    // holds the list the strip follows.
    auto photos = std::make_unique<nb::TypedCategoryTable<PRPhotoAndVideoNode>>(
        family(nb::photoColumns(), &ResultRecords::photosFrom, nullptr, ST::Photo),
        "photoTableView", CustomView, sort, ticked, /*withDetails=*/false);
    thumView = new nb::PRSrollThumView(&photos->model(),
                                       std::make_unique<nb::BackupThumbnailSource>(), CustomView);
    thumView->setObjectName(QStringLiteral("thumView"));
    thumView->strip()->setTickHandler(ticked);
    photoTableView = photos->table();
    photoTableView->setParent(thumView);
    photoTableView->hide();
    photos->setView(thumView);
    CustomView->addWidget(thumView);
    categories_[kPhotos] = std::move(photos);
    auto* contacts = make(family(nb::contactColumns(), &ResultRecords::contactsFrom,
                                 &nb::contactDetails, ST::Contact),
                          "contactTableView", "contactView", "contactDetailView", kContacts);
    contactTableView = contacts->table();
    contactTableView->setColumnWidth(1, 170);
    contacts->details()->picture("contactImageView");
    // The contact's picture is decoded off the GUI thread; the placeholder shows meanwhile.
    contacts->setDetailsShown([this, picture = QPointer<QLabel>(contacts->details()->picture(
                                         "contactImageView"))](const PRContactNode& node) {
        const QPixmap placeholder =
            nimbara::ui::namedImage(QString::fromLatin1(nb::kContactPlaceholderImage));
        picture->setPixmap(
            placeholder.scaled(picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        picture->show();
        detailPictures_->cancelAll();
        const QByteArray data = node.imageData();
        if (!data.isEmpty()) {
            detailPictures_->loadData(data, picture->size(), [picture](const QImage& image) {
                if (picture && !image.isNull()) {
                    picture->setPixmap(QPixmap::fromImage(image));
                }
            });
        }
    });
    auto* calls = make(family(nb::callHistoryColumns(), &ResultRecords::callsFrom,
                              &nb::callHistoryDetails, ST::Call),
                       "callHistoryTableView", "callHistoryView", "callDetailView", kCalls);
    callHistoryTableView = calls->table();
    callHistoryTableView->setColumnWidth(1, 140);
    auto* notes =
        make(family(nb::noteColumns(), &ResultRecords::notesFrom, &nb::noteDetails, ST::Other),
             "noteTableView", "noteView", "noteDetailView", kNotes);
    noteTableView = notes->table();
    // The note's text shows once, in its scroll view; the label repeating it stays hidden.
    notes->setDetailsShown([details = notes->details()](const PRNoteNode&) {
        if (auto* repeat = details->findChild<QLabel*>(QStringLiteral("noteContentlab"))) {
            repeat->hide();
        }
    });
    noteTableView->setColumnWidth(1, 180);
    auto* bookMarks = make(family(nb::bookMarkColumns(), &ResultRecords::bookMarksFrom,
                                  &nb::bookMarkDetails, ST::Other),
                           "bookMarkTableView", "bookMarkView", "bookMarkDetailView", kBookmarks);
    bookMarkTableView = bookMarks->table();
    bookMarkTableView->setColumnWidth(1, 220);
    auto* calendar = make(family(nb::calenderColumns(), &ResultRecords::calendarsFrom,
                                 &nb::calenderDetails, ST::Other),
                          "calenderTableView", "calenderView", "calendarDetailView", kCalendar);
    calenderTableView = calendar->table();
    calenderTableView->setColumnWidth(1, 180);
    auto* apps =
        make(family(nb::faceTwitterColumns(), &ResultRecords::faceTwitterFrom, nullptr, ST::Other),
             "facetwitterTableView", "facetwitterView", "faceTwitterDetailView", kAppFiles);
    facetwitterTableView = apps->table();
    facetwitterTableView->setColumnWidth(1, 220);
    apps->details()->picture("faceTwitterShowImageView");
    auto* preview = new QPushButton(QStringLiteral("Open"), apps->details());
    preview->setObjectName(QStringLiteral("previewBtn"));
    preview->hide();
    apps->details()->layout()->addWidget(preview);
    connect(preview, &QPushButton::clicked, this, [this, preview] { actPreView(preview); });
    apps->setDetailsShown(
        [this](const PRFaceTwitterNode& node) { showDetailsOfFaceTwitter(node); });

    // Conversations: the table of conversations, and the messages of the chosen one beside it.
    messageTreeView = new QWidget(CustomView);
    messageTreeView->setObjectName(QStringLiteral("messageTreeView"));
    auto* messageLayout = new QVBoxLayout(messageTreeView);
    messageLayout->setContentsMargins(0, 0, 0, 0);
    messageTreeCountlab = new QLabel(messageTreeView);
    messageTreeCountlab->setObjectName(QStringLiteral("messageTreeCountlab"));
    messageTreeCountlab->setFont(nimbara::ui::appFont(11));
    messageLayout->addWidget(buildPictureExportRow(messageTreeView));
    auto* split = new QSplitter(Qt::Horizontal, messageTreeView);
    split->setObjectName(QStringLiteral("messageSplitView"));
    messageLayout->addWidget(split, 1);
    auto conversationTable = std::make_unique<nb::TypedCategoryTable<PRMessageTreeNode>>(
        family(nb::conversationColumns(), &ResultRecords::conversationsFrom, nullptr, ST::Other),
        "messageTreeTableView", split, sort, ticked, /*withDetails=*/false);
    conversations_ = conversationTable.get();
    messageTreeTableView = conversations_->table();
    styleTable(messageTreeTableView);
    messageTreeTableView->setColumnWidth(1, 120);
    messageTreeTableView->setColumnWidth(2, 100);
    conversations_->setRowChosen(
        [this](const std::shared_ptr<PRMessageTreeNode>& chosen) { showConversation(chosen); });
    conversations_->setView(messageTreeView);
    categories_[kMessages] = std::move(conversationTable);

    messageTreeScrollView = new ChatColumnView(split);
    split->addWidget(messageTreeTableView);
    split->addWidget(messageTreeScrollView);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    CustomView->addWidget(messageTreeView);
}

void PRResultViewController::clearRecordTables() {
    search_.forget();
    prepareSearchFor(-1);
    currentMessageTreeNode_.reset();
    for (auto& category : categories_) {
        if (category) {
            category->clear();
        }
    }
    messageTreeScrollView->showConversation(nullptr);
    countedMessages_ = 0;
    selectedFilesNum_ = 0;
    updateSelection(false);
}

// The records found since the last look join their tables; a conversation that took new
// messages shows its new count, and the one on show its new messages.
void PRResultViewController::takeNewRecords() {
    for (auto& category : categories_) {
        if (category) {
            category->takeNew(records_);
        }
    }
    const auto sizes = records_.listSizes();
    const auto messages =
        static_cast<std::size_t>(sizes[static_cast<int>(nb::RecordCategory::Message)]);
    if (messages != countedMessages_) {
        countedMessages_ = messages;
        conversations_->model().refreshTexts();
        // A conversation on show that took messages while every one of it was shown is shown
        // again; one the user is reading in batches keeps its place.
        if (currentMessageTreeNode_ &&
            static_cast<std::size_t>(messageTreeScrollView->haveAddChatNum()) < 50 &&
            currentMessageTreeNode_->messageCount() >
                static_cast<std::size_t>(messageTreeScrollView->haveAddChatNum())) {
            messageTreeScrollView->showConversation(currentMessageTreeNode_);
        }
    }
    showConversationCount();
    if (!currentMessageTreeNode_ && conversations_->shownCount() > 0 &&
        !messageTreeTableView->currentIndex().isValid()) {
        messageTreeTableView->selectRow(0);
    }
}

void PRResultViewController::showConversationCount() {
    if (messageTreeCountlab == nullptr || conversations_ == nullptr) {
        return;
    }
    std::size_t conversations = records_.conversationCount();
    std::size_t messages = countedMessages_;
    if (search_.narrows(*conversations_)) {
        conversations = conversations_->shown().size();
        messages = 0;
        for (const auto& shown : conversations_->shown()) {
            messages += shown ? shown->messageCount() : 0;
        }
    }
    messageTreeCountlab->setText(conversationCountText(conversations, messages));
}

void PRResultViewController::showConversation(
    const std::shared_ptr<PRMessageTreeNode>& conversation) {
    if (conversation != currentMessageTreeNode_) {
        clearExportNotice();  // it told of another conversation
    }
    currentMessageTreeNode_ = conversation;
    messageTreeScrollView->showConversation(conversation);
    updateExportButton();
}

// The category switch: the category's view in front, its full list with the filter off, its
// first record chosen, and the select-all box as the category left it.
void PRResultViewController::showCategory(int row) {
    if (!CustomView || row < 0 || row >= kCategoryRowCount) {
        return;
    }
    prepareSearchFor(row);
    const bool tickable = row != kBackupFiles;
    // The filter and select all work on whole lists: they are offered once the scan has ended.
    checkBtn->setVisible(scanFinished_ && tickable && row != kPhotos && row != kAppFiles);
    checkBtn->setChecked(false);
    if (row == kBackupFiles) {
        selectAllBtn->setVisible(false);
        CustomView->setCurrentWidget(backupFilesView);
        return;
    }
    nb::CategoryTable* shown = category(row);
    if (!categoryReadable_[row] || !shown) {
        categoryNotelab->setText(QStringLiteral("Reading %1 from a backup is not available yet.")
                                     .arg(categoryTitle(row).toLower()));
        checkBtn->setVisible(false);
        selectAllBtn->setVisible(false);
        selectAllBtn->setChecked(false);
        CustomView->setCurrentWidget(categoryNotelab);
        return;
    }
    CustomView->setCurrentWidget(shown->view());
    if (shown->deletedOnly()) {
        shown->setDeletedOnly(records_, false);
    }
    shown->selectFirstRow();
    selectAllBtn->setVisible(scanFinished_);
    selectAllBtn->setChecked(shown->selectAll);
    if (row == kMessages) {
        auto* split = messageTreeView->findChild<QSplitter*>(QStringLiteral("messageSplitView"));
        if (!conversationsSized_ && split->width() > 100) {
            // The conversations take two fifths of the room, the messages the rest.
            const int width = split->width();
            split->setSizes({width * 2 / 5, width - width * 2 / 5});
            conversationsSized_ = true;
        }
    }
}

void PRResultViewController::actContact(QObject*) {
    categoryList->setCurrentRow(kContacts);
}
void PRResultViewController::actMessage(QObject*) {
    categoryList->setCurrentRow(kMessages);
}
void PRResultViewController::actCallHistory(QObject*) {
    categoryList->setCurrentRow(kCalls);
}
void PRResultViewController::actNote(QObject*) {
    categoryList->setCurrentRow(kNotes);
}
void PRResultViewController::actBookMark(QObject*) {
    categoryList->setCurrentRow(kBookmarks);
}
void PRResultViewController::actCalender(QObject*) {
    categoryList->setCurrentRow(kCalendar);
}
void PRResultViewController::actFaceTwitter(QObject*) {
    categoryList->setCurrentRow(kAppFiles);
}
void PRResultViewController::actPhoto(QObject*) {
    categoryList->setCurrentRow(kPhotos);
}

// Only deleted records, or all of them again, for the category on show.
void PRResultViewController::actCheck(QObject*) {
    nb::CategoryTable* shown = category(categoryList->currentRow());
    if (!shown || checkBtn->isHidden()) {
        return;
    }
    shown->setDeletedOnly(records_, checkBtn->isChecked());
    if (searchlab->isEnabled() && !searchlab->text().trimmed().isEmpty()) {
        actSearch(checkBtn);  // the search typed looks through the new list
    } else {
        shown->selectFirstRow();
    }
}

// Ticks or unticks every record the category shows (only the deleted ones under the filter).
void PRResultViewController::ClickSelectAll(QObject*) {
    nb::CategoryTable* shown = category(categoryList->currentRow());
    if (!shown) {
        return;
    }
    const bool ticked = selectAllBtn->isChecked();
    shown->selectAll = ticked;
    selectedFilesNum_ += shown->tickShown(ticked);
    updateSelection(true);
}

void PRResultViewController::ticksChanged(int change) {
    selectedFilesNum_ += change;
    updateSelection(false);
}

void PRResultViewController::updateSelection(bool afterSelectAll) {
    if (!selecteFilelab) {
        return;
    }
    const nb::SelectionText selection = nb::selectionText(
        selectedFilesNum_, tickedBackupFiles(),
        afterSelectAll ? nb::SelectionChange::SelectAll : nb::SelectionChange::RowTick);
    selecteFilelab->setText(selection.text);
    selecteFilelab->setVisible(selection.shown);
    saveBtn->setEnabled(selection.shown && scanFinished_);
}

// The app file's name and size at once; its picture, when it is one, once the loader has
// decoded it off the GUI thread (until then the button that opens the file shows).
void PRResultViewController::showDetailsOfFaceTwitter(const PRFaceTwitterNode& node) {
    auto* details = category(kAppFiles)->details();
    QPointer<QLabel> picture = details->picture("faceTwitterShowImageView");
    picture->clear();
    details->setLines(nb::faceTwitterDetails(node, false));
    detailPictures_->cancelAll();
    detailPictures_->loadFile(
        node.faceTwitterFilePath(), QSize(200, 200),
        [picture, details = QPointer<nb::RecordDetailsView>(details),
         asPicture = nb::faceTwitterDetails(node, true)](const QImage& image) {
            if (picture && details && !image.isNull()) {
                picture->setPixmap(QPixmap::fromImage(image));
                details->setLines(asPicture);
            }
        });
}

// Opens the chosen app file with the program the desktop has for it.
void PRResultViewController::actPreView(QObject*) {
    if (categoryList->currentRow() != kAppFiles) {
        return;
    }
    auto* apps = static_cast<nb::TypedCategoryTable<PRFaceTwitterNode>*>(category(kAppFiles));
    const auto node = apps->model().record(apps->table()->currentIndex().row());
    if (node && QFileInfo(node->faceTwitterFilePath()).isFile()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(node->faceTwitterFilePath()));
    }
}

void PRResultViewController::releaseUIMemory() {
    records_.clear();
    clearRecordTables();
    auto old = std::move(treeController_);
    treeController_ = std::make_unique<PRTreeController>();
    outlineModel_->setController(treeController_.get());
    releaseOutline(std::move(old), takeWaitingEntries(), /*handBack=*/true);
    backupFileCount_ = 0;
}
