// The privacy page's results, on what a scan reads from the demo device's backup: the categories
// switch and show their records under their own column titles, ticks and check-all count
// exactly, the snapshot holds what is ticked and nothing else, Back discards only when the user
// says so, and the map has one pin per photo with a position.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QLabel>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QUrl>

#include <filesystem>
#include <set>

#include "../app/app_test_support.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup_writer.h"
#include "browser/pages/record_details_view.h"
#include "fake_page_host.h"
#include "platform/scratch_dir.h"
#include "privacy/pages/position_map_view.h"
#include "privacy/pages/pr_privacy_controller.h"
#include "privacy/pages/privacy_columns.h"
#include "privacy/privacy_scan.h"
#include "sim_device_builder.h"
#include "test_support.h"
#include "ui/alerts.h"
#include "ui/chat_column_view.h"
#include "ui/notification_buttons.h"

namespace fs = std::filesystem;
namespace np = nimbara::privacy;
using Category = PRPrivacyController::Category;
using nimbara::Alerts;

// Takes the addresses the page asks the desktop to open.
class OpenedAddresses : public QObject {
    Q_OBJECT
  public:
    std::vector<QUrl> urls;
  public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

namespace {

constexpr std::array<Category, np::kPrivacyCategoryCount> kAll = {
    Category::Contacts,      Category::Messages,      Category::MessageAttachments,
    Category::SafariHistory, Category::SafariCookies, Category::WebContent,
    Category::KeyboardInput, Category::WifiNetworks,  Category::Locations,
    Category::Notes,         Category::Calls};

bool pumpUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// Ticks (or unticks) the row as a click in its tick box does.
void tickRow(QTableView* table, int row, bool ticked) {
    QAbstractItemModel* model = table->model();
    ASSERT_TRUE(model->setData(model->index(row, 0), ticked ? Qt::Checked : Qt::Unchecked,
                               Qt::CheckStateRole));
}

QStringList headerTitles(QTableView* table) {
    QStringList titles;
    for (int c = 1; c < table->model()->columnCount(); ++c) {
        titles.push_back(table->model()->headerData(c, Qt::Horizontal).toString());
    }
    return titles;
}

QString cell(QTableView* table, int row, int column, int role = Qt::DisplayRole) {
    return table->model()->index(row, column).data(role).toString();
}

class PrivacyResultsView : public ::testing::Test {
  protected:
    // The demo device and its backup are made once; every test reads the backup afresh, so
    // each starts from the ticks the readers give.
    static void SetUpTestSuite() {
        nimbara::test::ensureApplication();
        demo_ = new nimbara::test::TempDir();
        const fs::path device = *demo_ / "device";
        std::string error;
        ASSERT_TRUE(nimbara::simdev::makeDemoDevice(device, &error)) << error;
        const auto written = nimbara::simdev::writeBackup(device, *demo_ / "backups");
        ASSERT_TRUE(written.ok) << written.error;
        backupFolder_ = new std::string(written.folder.string());
    }
    static void TearDownTestSuite() {
        delete backupFolder_;
        delete demo_;
        backupFolder_ = nullptr;
        demo_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(backupFolder_, nullptr);
        // Nothing may be asked unless a test says how it is answered.
        answer_.emplace([this](QWidget*, const Alerts::Question& q) {
            asked_.push_back(q);
            return answerWith_;
        });
        page_.setDeviceIndex(2, QStringLiteral("12.4.1"));
    }

    np::PrivacyScanResult scan() const { return np::readPrivacyBackup(*backupFolder_); }

    // Shows a fresh scan of the demo backup.
    void showDemo() {
        ASSERT_TRUE(page_.showScanResults(scan()));
        ASSERT_TRUE(page_.isShowingResults());
    }

    static nimbara::test::TempDir* demo_;
    static std::string* backupFolder_;
    nimbara::test::FakePageHost host_;
    PRPrivacyController page_{host_};
    std::optional<Alerts::ScopedHandler> answer_;
    std::vector<Alerts::Question> asked_;
    Alerts::Answer answerWith_ = Alerts::Answer::Default;
};

nimbara::test::TempDir* PrivacyResultsView::demo_ = nullptr;
std::string* PrivacyResultsView::backupFolder_ = nullptr;

TEST_F(PrivacyResultsView, CategoriesSwitchAndShowTheirRecordsUnderTheirTitles) {
    showDemo();
    const np::PrivacyScanResult* result = page_.scanResult();
    ASSERT_NE(result, nullptr);
    // The contacts come first, their button down.
    EXPECT_EQ(page_.currentCategory(), Category::Contacts);
    EXPECT_EQ(page_.contactBtn->imageName(), QStringLiteral("ContactCleanup_Down.png"));
    EXPECT_TRUE(page_.contactBtn->btnDown());
    EXPECT_EQ(page_.scannedFileCount(), result->allScanFileNumber);

    const std::map<Category, QStringList> titles = {
        {Category::Contacts, {"Contact Name", "Contact Email", "Contact Phone"}},
        {Category::Messages, {"Message Name", "Message Address", "Message Content"}},
        {Category::MessageAttachments, {" File Name", " File Size"}},
        {Category::SafariHistory, {"History URL", "Webpage Title", "Visit Count"}},
        {Category::SafariCookies, {"Cookie Name", "Cookie URL"}},
        {Category::WebContent, {"Web Cache", "File Size"}},
        {Category::KeyboardInput, {"Web Cache", "File Size"}},
        {Category::WifiNetworks, {"WiFi hotspot Name", "NetWork Address"}},
        {Category::Locations, {"GPS location"}},
        {Category::Notes, {"Note Title", "Note Content"}},
        {Category::Calls, {"Call Name", "Call Phone", "Call Date"}},
    };
    const std::map<Category, const char*> views = {
        {Category::Contacts, "contactView"},
        {Category::Messages, "messageView"},
        {Category::MessageAttachments, "messageAttachView"},
        {Category::SafariHistory, "safariBroswerHistoryView"},
        {Category::SafariCookies, "safariSearchHistoryView"},
        {Category::WebContent, "webContentView"},
        {Category::KeyboardInput, "keyBroadView"},
        {Category::WifiNetworks, "wifiRecordView"},
        {Category::Locations, "gpsRecordView"},
        {Category::Notes, "noteView"},
        {Category::Calls, "callHistoryView"},
    };
    for (const Category category : kAll) {
        SCOPED_TRACE(np::categoryIndex(category));
        page_.pressCategory(category);
        EXPECT_EQ(page_.currentCategory(), category);
        EXPECT_EQ(page_.dataContentView->currentWidget()->objectName(),
                  QString::fromLatin1(views.at(category)));
        ASSERT_NE(page_.currentTableView, nullptr);
        EXPECT_TRUE(page_.dataContentView->currentWidget()->isAncestorOf(page_.currentTableView));
        EXPECT_EQ(headerTitles(page_.currentTableView), titles.at(category));
        EXPECT_EQ(np::privacyColumnTitles(category), titles.at(category));
        EXPECT_EQ(static_cast<std::size_t>(page_.currentTableView->model()->rowCount()),
                  page_.recordCount(category));
        EXPECT_EQ(page_.recordCount(category), np::categorySize(*result, category));
        EXPECT_EQ(page_.showMapBtn->isVisibleTo(page_.privacyContentView),
                  category == Category::Locations);
        EXPECT_EQ(page_.theCheckAllBtn->isVisibleTo(page_.privacyContentView),
                  np::hasCheckAll(category));
    }
    // The demo backup has records in every category but the keyboard's (never read).
    for (const Category category : kAll) {
        EXPECT_EQ(page_.recordCount(category) > 0, category != Category::KeyboardInput)
            << np::categoryIndex(category);
    }

    // The table shows what the records hold, in their columns.
    page_.pressCategory(Category::Calls);
    const auto& call = result->calls.records.front();
    EXPECT_EQ(cell(page_.callHistoryTableView, 0, 1), call->callName());
    EXPECT_EQ(cell(page_.callHistoryTableView, 0, 2), call->callPhone());
    EXPECT_EQ(cell(page_.callHistoryTableView, 0, 3), call->callDate());
    page_.pressCategory(Category::WifiNetworks);
    const auto& network = result->wifiConnectArray.front();
    EXPECT_EQ(cell(page_.wifiRecordTableView, 0, 1), network->fileName());
    EXPECT_EQ(cell(page_.wifiRecordTableView, 0, 2), network->otherInfo());
}

TEST_F(PrivacyResultsView, ButtonsSwitchOnPressAndShowTheirHoverOnlyWhileUp) {
    showDemo();
    auto enter = [](QWidget* button) {
        QEnterEvent event(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
        QCoreApplication::sendEvent(button, &event);
    };
    auto leave = [](QWidget* button) {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(button, &event);
    };
    enter(page_.noteBtn);
    EXPECT_EQ(page_.noteBtn->imageName(), QStringLiteral("NoteCleanup_Enter.png"));
    leave(page_.noteBtn);
    EXPECT_EQ(page_.noteBtn->imageName(), QStringLiteral("NoteCleanup_Nom.png"));
    // The button that is down shows no hover.
    enter(page_.contactBtn);
    EXPECT_EQ(page_.contactBtn->imageName(), QStringLiteral("ContactCleanup_Down.png"));

    QTest::mouseClick(page_.gpsBtn, Qt::LeftButton);
    EXPECT_EQ(page_.currentCategory(), Category::Locations);
    EXPECT_EQ(page_.gpsBtn->imageName(), QStringLiteral("GPSLocationRecordCleanup_Down.png"));
    EXPECT_TRUE(page_.gpsBtn->btnDown());
    EXPECT_EQ(page_.contactBtn->imageName(), QStringLiteral("ContactCleanup_Nom.png"));
    EXPECT_FALSE(page_.contactBtn->btnDown());
    EXPECT_TRUE(page_.showMapBtn->isVisibleTo(page_.privacyContentView));
    enter(page_.contactBtn);
    EXPECT_EQ(page_.contactBtn->imageName(), QStringLiteral("ContactCleanup_Enter.png"));

    // Another page's buttons are not this page's business.
    PRPrivacyController other(host_);
    ASSERT_TRUE(other.showScanResults(scan()));
    QTest::mouseClick(other.callHistoryBtn, Qt::LeftButton);
    EXPECT_EQ(other.currentCategory(), Category::Calls);
    EXPECT_EQ(page_.currentCategory(), Category::Locations);
}

TEST_F(PrivacyResultsView, TicksAndCheckAllCountExactly) {
    showDemo();
    const std::size_t contacts = page_.recordCount(Category::Contacts);
    ASSERT_GE(contacts, 4u);
    // Contacts come unticked, calls ticked with their check-all on.
    EXPECT_EQ(page_.tickedCount(Category::Contacts), 0u);
    EXPECT_FALSE(page_.checkAll(Category::Contacts));
    EXPECT_FALSE(page_.theCheckAllBtn->isChecked());
    EXPECT_EQ(page_.tickedCount(Category::Calls), page_.recordCount(Category::Calls));
    EXPECT_TRUE(page_.checkAll(Category::Calls));
    const std::size_t before = page_.totalTicked();

    // Check all, then one row unticked: the box and the flag go off, and stay off after
    // switching away and back.
    page_.theCheckAllBtn->click();
    EXPECT_TRUE(page_.checkAll(Category::Contacts));
    EXPECT_EQ(page_.tickedCount(Category::Contacts), contacts);
    EXPECT_EQ(page_.totalTicked(), before + contacts);
    EXPECT_EQ(page_.categoryTicklab->text(), QStringLiteral("%1 of %1 selected").arg(contacts));
    tickRow(page_.contactTableView, 2, false);
    EXPECT_EQ(page_.tickedCount(Category::Contacts), contacts - 1);
    EXPECT_FALSE(page_.checkAll(Category::Contacts));
    EXPECT_FALSE(page_.theCheckAllBtn->isChecked());
    page_.pressCategory(Category::Notes);
    page_.pressCategory(Category::Contacts);
    EXPECT_FALSE(page_.theCheckAllBtn->isChecked());
    EXPECT_FALSE(page_.checkAll(Category::Contacts));
    // Ticking the row again does not bring check-all back: only the box does.
    tickRow(page_.contactTableView, 2, true);
    EXPECT_EQ(page_.tickedCount(Category::Contacts), contacts);
    EXPECT_FALSE(page_.checkAll(Category::Contacts));

    // Unchecking all unticks all.
    page_.theCheckAllBtn->click();
    page_.theCheckAllBtn->click();
    EXPECT_EQ(page_.tickedCount(Category::Contacts), 0u);
    EXPECT_FALSE(page_.checkAll(Category::Contacts));

    // A tick on one of several selected rows ticks them all, counted once each; a tick on a row
    // outside the selection ticks that row alone.
    QTableView* table = page_.contactTableView;
    table->clearSelection();
    table->selectionModel()->select(
        QItemSelection(table->model()->index(0, 0), table->model()->index(2, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    tickRow(table, 1, true);
    EXPECT_EQ(page_.tickedCount(Category::Contacts), 3u);
    tickRow(table, 1, true);
    EXPECT_EQ(page_.tickedCount(Category::Contacts), 3u);
    tickRow(table, 3, true);
    EXPECT_EQ(page_.tickedCount(Category::Contacts), 4u);
    EXPECT_EQ(page_.categoryTicklab->text(), QStringLiteral("4 of %1 selected").arg(contacts));
    EXPECT_EQ(page_.totalTicklab->text(),
              QStringLiteral("Selected for cleaning: %1").arg(before + 4));

    // Calls: one unticked row under check-all turns the flag off for good.
    page_.pressCategory(Category::Calls);
    EXPECT_TRUE(page_.theCheckAllBtn->isChecked());
    page_.callHistoryTableView->clearSelection();
    tickRow(page_.callHistoryTableView, 0, false);
    EXPECT_FALSE(page_.checkAll(Category::Calls));
    EXPECT_FALSE(page_.theCheckAllBtn->isChecked());
    EXPECT_EQ(page_.tickedCount(Category::Calls), page_.recordCount(Category::Calls) - 1);
}

TEST_F(PrivacyResultsView, TheSnapshotHoldsExactlyWhatIsTicked) {
    showDemo();
    const np::PrivacyScanResult* result = page_.scanResult();
    // Two conversations and one contact ticked; one call and one Wi-Fi network unticked.
    page_.pressCategory(Category::Messages);
    page_.messageTableview->clearSelection();
    tickRow(page_.messageTableview, 0, true);
    tickRow(page_.messageTableview, 2, true);
    page_.pressCategory(Category::Contacts);
    page_.contactTableView->clearSelection();
    tickRow(page_.contactTableView, 1, true);
    page_.pressCategory(Category::Calls);
    page_.callHistoryTableView->clearSelection();
    tickRow(page_.callHistoryTableView, 1, false);
    page_.pressCategory(Category::WifiNetworks);
    page_.wifiRecordTableView->clearSelection();
    tickRow(page_.wifiRecordTableView, 0, false);

    const np::PrivacyTickSnapshot snapshot = page_.takeTickSnapshot();
    EXPECT_EQ(snapshot.backupFolder, result->backupFolder);
    EXPECT_EQ(snapshot.udid, result->backup.udid);
    EXPECT_FALSE(snapshot.udid.isEmpty());
    EXPECT_EQ(snapshot.deviceIndex, 2);
    ASSERT_EQ(snapshot.contacts.size(), 1u);
    EXPECT_EQ(snapshot.contacts[0], result->contacts.records[1]);
    ASSERT_EQ(snapshot.conversations.size(), 2u);
    EXPECT_EQ(snapshot.conversations[0], page_.scanResult()->messages.conversations[0]);
    EXPECT_EQ(snapshot.conversations[1], result->messages.conversations[2]);
    // The messages of the ticked conversations, and no others.
    std::size_t messages = 0;
    for (const auto& conversation : snapshot.conversations) {
        messages += conversation->messageCount();
    }
    EXPECT_EQ(snapshot.messages.size(), messages);
    EXPECT_EQ(snapshot.calls.size(), result->calls.records.size() - 1);
    EXPECT_EQ(std::count(snapshot.calls.begin(), snapshot.calls.end(), result->calls.records[1]),
              0);
    EXPECT_EQ(snapshot.wifiNetworks.size(), result->wifiConnectArray.size() - 1);
    // Every record of the snapshot is ticked, and every ticked record is in it.
    EXPECT_EQ(snapshot.size(), page_.totalTicked());
    for (const Category category : kAll) {
        EXPECT_EQ(snapshot.tickedCount(category), page_.tickedCount(category));
    }
    // Check-all survives only where every record is still ticked.
    EXPECT_FALSE(snapshot.checkAllOf(Category::Calls));
    EXPECT_FALSE(snapshot.checkAllOf(Category::WifiNetworks));
    EXPECT_FALSE(snapshot.checkAllOf(Category::Contacts));
    EXPECT_FALSE(snapshot.checkAllOf(Category::SafariCookies));
    EXPECT_TRUE(snapshot.checkAllOf(Category::Notes));
    EXPECT_TRUE(snapshot.checkAllOf(Category::SafariHistory));
    EXPECT_FALSE(snapshot.checkAllOf(Category::KeyboardInput));

    // Later ticks change nothing in a snapshot already taken.
    page_.pressCategory(Category::Notes);
    page_.theCheckAllBtn->click();
    EXPECT_EQ(page_.tickedCount(Category::Notes), 0u);
    EXPECT_EQ(snapshot.notes.size(), result->notes.records.size());
    EXPECT_TRUE(page_.takeTickSnapshot().notes.empty());
}

TEST_F(PrivacyResultsView, BackDiscardsTheResultsOnlyWhenTheUserSaysSo) {
    showDemo();
    // Cancel (the default), and closing the question, keep everything.
    answerWith_ = Alerts::Answer::Default;
    page_.backBtn->click();
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].message, QStringLiteral("Are you sure you want to back?"));
    EXPECT_EQ(asked_[0].informativeText,
              QStringLiteral("If Back, the scanning results will not be saved."));
    EXPECT_EQ(asked_[0].defaultButton, QStringLiteral("Cancel "));
    EXPECT_EQ(asked_[0].otherButton, QStringLiteral(" Back "));
    EXPECT_TRUE(page_.isShowingResults());
    answerWith_ = Alerts::Answer::Alternate;
    page_.ActBackAction();
    EXPECT_TRUE(page_.isShowingResults());
    EXPECT_FALSE(page_.takeTickSnapshot().empty());

    page_.ShowMapWindowAction();
    answerWith_ = Alerts::Answer::Other;
    page_.ActBackAction();
    EXPECT_FALSE(page_.isShowingResults());
    EXPECT_TRUE(page_.isShowingNotAvailable());
    EXPECT_EQ(page_.scanResult(), nullptr);
    EXPECT_TRUE(page_.takeTickSnapshot().empty());
    EXPECT_EQ(page_.scannedFileCount(), 0u);
    EXPECT_EQ(page_.scannedTotalSize(), 0u);
    // Every table is emptied, the four the user never opened among them, and so is the map.
    for (QTableView* table :
         {page_.contactTableView, page_.messageTableview, page_.noteTableView,
          page_.safariSearchTableView, page_.callHistoryTableView, page_.gpsRecordTableView}) {
        EXPECT_EQ(table->model()->rowCount(), 0) << table->objectName().toStdString();
    }
    EXPECT_TRUE(page_.currentMapView->pins().empty());
    EXPECT_FALSE(page_.mapWindow->isVisible());
    EXPECT_EQ(page_.messageScrollView->currentMessageTreeNode(), nullptr);
    for (const Category category : kAll) {
        EXPECT_FALSE(page_.checkAll(category));
    }
}

TEST_F(PrivacyResultsView, TheMapHasOnePinPerPhotoWithAPosition) {
    showDemo();
    const auto& located = page_.scanResult()->gpsLocationArray;
    ASSERT_GE(located.size(), 5u);
    page_.pressCategory(Category::Locations);
    QTest::mouseClick(page_.showMapBtn, Qt::LeftButton);
    ASSERT_NE(page_.mapWindow, nullptr);
    EXPECT_TRUE(page_.mapWindow->isVisible());
    EXPECT_EQ(page_.currentMapView->pins().size(), located.size());
    // The map button stays an ordinary button.
    EXPECT_FALSE(page_.showMapBtn->btnDown());
    // Showing it again does not add the pins twice.
    page_.ShowMapWindowAction();
    page_.ShowMapWindowAction();
    EXPECT_EQ(page_.currentMapView->pins().size(), located.size());
    std::set<QString> labels;
    for (const auto& pin : page_.currentMapView->pins()) {
        labels.insert(pin.label);
    }
    EXPECT_EQ(labels.size(), located.size());
    EXPECT_TRUE(labels.count(QStringLiteral("IMG_0005.JPG")));

    // The chosen row's pin is the chosen pin.
    page_.gpsRecordTableView->selectRow(3);
    EXPECT_EQ(page_.currentMapView->chosenPin(), 3);
    const auto lisbon = std::find_if(located.begin(), located.end(), [](const auto& photo) {
        return photo->backupFilePath().endsWith(QStringLiteral("IMG_0005.JPG"));
    });
    ASSERT_NE(lisbon, located.end());
    const auto& pin =
        page_.currentMapView->pins()[static_cast<std::size_t>(lisbon - located.begin())];
    EXPECT_NEAR(pin.position.latitude, 38.7139, 1e-3);
    EXPECT_NEAR(pin.position.longitude, -9.1394, 1e-3);

    // A photo whose position can't be read gets no pin (and moves no other pin's row).
    np::PrivacyScanResult damaged = scan();
    damaged.gpsLocationArray[0]->setLatitudeValue(QStringLiteral("north-ish"));
    damaged.gpsLocationArray[1]->setLongitudeValue(QStringLiteral("400"));
    ASSERT_TRUE(page_.showScanResults(std::move(damaged)));
    page_.pressCategory(Category::Locations);
    page_.ShowMapWindowAction();
    EXPECT_EQ(page_.currentMapView->pins().size(), located.size() - 2);
    page_.gpsRecordTableView->selectRow(1);
    EXPECT_EQ(page_.currentMapView->chosenPin(), -1);
    page_.gpsRecordTableView->selectRow(2);
    EXPECT_EQ(page_.currentMapView->chosenPin(), 0);
}

TEST_F(PrivacyResultsView, DetailsOfAContactAConversationAndAnAttachment) {
    showDemo();
    const np::PrivacyScanResult* result = page_.scanResult();
    // A contact with a phone shows it; the picture is its own or the stand-in.
    const auto& contacts = result->contacts.records;
    const auto withPhone = std::find_if(contacts.begin(), contacts.end(),
                                        [](const auto& c) { return !c->contactPhone().isEmpty(); });
    ASSERT_NE(withPhone, contacts.end());
    page_.contactTableView->selectRow(static_cast<int>(withPhone - contacts.begin()));
    auto* phone = page_.contactDetailView->findChild<QLabel*>(QStringLiteral("contactPhonelab"));
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->text(), QStringLiteral("Phone: ") + (*withPhone)->contactPhone());
    EXPECT_TRUE(phone->isVisibleTo(page_.contactDetailView));
    auto* picture = page_.contactDetailView->findChild<QLabel*>(QStringLiteral("contactImageView"));
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(pumpUntil([&] { return page_.picturesPending() == 0; }));
    EXPECT_FALSE(picture->pixmap().isNull());

    // A contact without a phone shows no phone line, and one without a picture the stand-in.
    const auto noPhone = std::find_if(contacts.begin(), contacts.end(),
                                      [](const auto& c) { return c->contactPhone().isEmpty(); });
    if (noPhone != contacts.end()) {
        page_.contactTableView->selectRow(static_cast<int>(noPhone - contacts.begin()));
        EXPECT_FALSE(phone->isVisibleTo(page_.contactDetailView));
    }
    const auto noPicture = std::find_if(contacts.begin(), contacts.end(),
                                        [](const auto& c) { return c->imageData().isEmpty(); });
    ASSERT_NE(noPicture, contacts.end());
    page_.contactTableView->selectRow(static_cast<int>(noPicture - contacts.begin()));
    EXPECT_EQ(page_.picturesPending(), 0u);
    EXPECT_FALSE(picture->pixmap().isNull());

    // A conversation shows its messages as bubbles.
    page_.pressCategory(Category::Messages);
    page_.messageTableview->selectRow(1);
    EXPECT_EQ(page_.currentMessageTreeNode(), result->messages.conversations[1]);
    EXPECT_EQ(page_.messageScrollView->currentMessageTreeNode(), result->messages.conversations[1]);
    EXPECT_GT(page_.messageScrollView->haveAddChatNum(), 0);

    // A picture attachment shows its picture; another kind of file shows none.
    const auto& attachments = result->files.messageAttachmentArray;
    page_.pressCategory(Category::MessageAttachments);
    int image = -1;
    int other = -1;
    for (std::size_t i = 0; i < attachments.size(); ++i) {
        const QString path = attachments[i]->backupFilePath().toLower();
        const bool isImage = path.endsWith(".jpg") || path.endsWith(".jpeg") ||
                             path.endsWith(".png") || path.endsWith(".heic");
        (isImage ? image : other) = static_cast<int>(i);
    }
    ASSERT_GE(image, 0);
    page_.messageAttachmentTableView->selectRow(image);
    EXPECT_TRUE(page_.attachImageView->isVisibleTo(page_.privacyContentView));
    EXPECT_TRUE(pumpUntil([&] { return page_.picturesPending() == 0; }));
    EXPECT_FALSE(page_.attachImageView->pixmap().isNull());
    if (other >= 0) {
        page_.messageAttachmentTableView->selectRow(other);
        EXPECT_FALSE(page_.attachImageView->isVisibleTo(page_.privacyContentView));
    }
}

TEST_F(PrivacyResultsView, MarkupInRecordsIsShownAsItStands) {
    const QString markup = QStringLiteral("<b>Ann</b> <img src=\"/etc/passwd\">&amp;");
    np::PrivacyScanResult made;
    made.backupFolder = "/nowhere";
    made.backup.encryption = np::BackupEncryption::Plain;
    auto contact = std::make_shared<PRContactNode>();
    contact->setContactName(markup);
    contact->setContactPhone(markup);
    made.contacts.records.push_back(contact);
    auto cookie = std::make_shared<PRPrivacyNode>();
    cookie->setFileName(markup);
    made.safariSearchHistoryArray.push_back(cookie);
    ASSERT_TRUE(page_.showScanResults(std::move(made)));

    EXPECT_EQ(cell(page_.contactTableView, 0, 1), markup);
    auto* name = page_.contactDetailView->findChild<QLabel*>(QStringLiteral("contactNamelab"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), markup);
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    // The tool tip is read as rich text: what it shows is the text itself.
    for (const QString& tip : {cell(page_.contactTableView, 0, 1, Qt::ToolTipRole),
                               cell(page_.safariSearchTableView, 0, 1, Qt::ToolTipRole)}) {
        QTextDocument shown;
        shown.setHtml(tip);
        EXPECT_EQ(shown.toPlainText(), markup);
    }
}

TEST_F(PrivacyResultsView, NothingIsShownForAnotherDeviceOrARefusedBackup) {
    np::PrivacyScanResult encrypted = scan();
    encrypted.backup.encryption = np::BackupEncryption::Encrypted;
    EXPECT_FALSE(page_.showScanResults(std::move(encrypted)));
    EXPECT_FALSE(page_.isShowingResults());
    EXPECT_TRUE(page_.takeTickSnapshot().empty());

    showDemo();
    // Another device: the results of this one go.
    page_.setDeviceIndex(3, QStringLiteral("12.4.1"));
    EXPECT_FALSE(page_.isShowingResults());
    EXPECT_TRUE(page_.takeTickSnapshot().empty());

    showDemo();
    page_.setDeviceIndex(3, QStringLiteral("12.4.1"));  // the same device again: they stay
    EXPECT_TRUE(page_.isShowingResults());
    page_.initAllDataAndAllView();
    EXPECT_FALSE(page_.isShowingResults());
    EXPECT_TRUE(page_.takeTickSnapshot().empty());
    EXPECT_TRUE(page_.isShowingNotAvailable());
}

TEST_F(PrivacyResultsView, ADeviceChangeTakesTheShownDeviceAndForgetsTheResults) {
    struct Case {
        int shown;  // the index of the device the host shows
        amd::DeviceTarget target;
        int index;  // the page's device index after the change
        bool iOS10;
    };
    const Case cases[] = {
        {4, {4, 0}, 4, true},   // the device on show: its index and iOS version
        {5, {4, 0}, 4, false},  // the host shows another one: its version is not taken
        {4, {}, 2, false},      // no device is left: only the results go
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        PRPrivacyController page(host_);
        page.setDeviceIndex(2, QString());
        host_.showDevice(c.shown);
        host_.device->setIOSVersion(QStringLiteral("10.2"));
        ASSERT_TRUE(page.showScanResults(scan()));
        page.deviceChanged(c.target);
        EXPECT_EQ(page.deviceIndex(), c.index);
        EXPECT_EQ(page.bIOS10Version(), c.iOS10);
        EXPECT_FALSE(page.isShowingResults());
        EXPECT_TRUE(page.takeTickSnapshot().empty());
    }
}

TEST_F(PrivacyResultsView, TheHelpLinksOpenTheirPages) {
    showDemo();
    OpenedAddresses opened;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &opened, "open");
    QTest::mouseClick(page_.link1Button, Qt::LeftButton);
    QTest::mouseClick(page_.linkButton, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(opened.urls.size(), 2u);
    EXPECT_EQ(opened.urls[0], QUrl(QString::fromLatin1(PRPrivacyController::kFindMyGuideAddress)));
    EXPECT_EQ(opened.urls[1],
              QUrl(QString::fromLatin1(PRPrivacyController::kFindMySupportAddress)));
}

}  // namespace

#include "privacy_results_view_test.moc"
