// The transfer page's record views: contact cards and note texts shown for the chosen row, never
// while a list moves in; lists replaced rather than added to; the categories still to come
// saying so and starting nothing.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QTableView>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "../filemanager/device_page_fixture.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_note_node.h"
#include "platform/notification_center.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "transfer/pages/transfer_records_pane.h"
#include "ui/read_only_text.h"
#include "ui/view_helpers.h"

namespace nimbara::test {
namespace {

std::shared_ptr<PRContactNode> contact(const QString& name, const QString& phone,
                                       const QString& email) {
    auto node = std::make_shared<PRContactNode>();
    node->setContactName(name);
    node->setContactPhone(phone);
    node->setContactEmail(email);
    return node;
}

std::shared_ptr<PRNoteNode> note(const QString& title, const QString& content) {
    auto node = std::make_shared<PRNoteNode>();
    node->setNoteTitle(title);
    node->setNoteContent(content);
    return node;
}

QByteArray pngOf(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(QColor(20, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The transfer page shown on a host without a device.
class TransferRecordsTest : public DevicePageTest {
  protected:
    void SetUp() override {
        DevicePageTest::SetUp();
        container_ = std::make_unique<QWidget>();
        page_ = std::make_unique<PRTansferViewController>(host_);
        page_->showView(container_.get());
    }
    void TearDown() override {
        page_.reset();
        container_.reset();
        DevicePageTest::TearDown();
    }

    PRTansferViewController& page() { return *page_; }
    TransferUi& tui() { return page().transferUi(); }
    static bool visible(const QWidget* w) { return w != nullptr && !w->isHidden(); }
    static void choose(QTableView* table, int row) {
        table->clearSelection();
        table->selectRow(row);
    }

    std::unique_ptr<QWidget> container_;
    std::unique_ptr<PRTansferViewController> page_;
};

TEST_F(TransferRecordsTest, ContactCardHidesEmptyFieldsAndShowsTheStandInPicture) {
    auto withPicture = contact("Ada Byron", "+44 20 7946 0000", "ada@example.org");
    withPicture->setContactCompany("Analytical Engines");
    withPicture->setContactNote("Met at the <b>lecture</b> %@");
    withPicture->setImageData(pngOf(200));
    auto plain = contact("Grace Hopper", "555-0100", "");
    page().showContactView();
    page().UpContactDataSource({withPicture, plain});

    // The move chose the first row without filling the card.
    EXPECT_FALSE(page().bPreviewTag());
    ASSERT_EQ(page().contactController()->rowCount(), 2);
    EXPECT_EQ(tui().contactTableView->selectionModel()->selectedRows().size(), 1);
    for (QLabel* label : tui().contactLabels()) {
        EXPECT_FALSE(visible(label)) << label->objectName().toStdString();
    }
    EXPECT_FALSE(visible(tui().contactImageView));

    // A contact without e-mail or picture: no e-mail line, the "contact" image.
    choose(tui().contactTableView, 1);
    EXPECT_EQ(tui().contactNamelab->text(), "Grace Hopper");
    EXPECT_EQ(tui().contactPhonelab->text(), "Phone: 555-0100");
    EXPECT_TRUE(visible(tui().contactPhonelab));
    EXPECT_FALSE(visible(tui().contactEmaillab));
    EXPECT_FALSE(visible(tui().contactCompanylab));
    EXPECT_FALSE(visible(tui().contactNotelab));
    EXPECT_TRUE(visible(tui().contactImageView));
    EXPECT_EQ(ui::imageViewImageName(tui().contactImageView), "contact");

    // Every field shown as it stands (never read as a format or markup); the picture decoded
    // away from the GUI thread replaces the stand-in.
    choose(tui().contactTableView, 0);
    EXPECT_EQ(tui().contactEmaillab->text(), "Email: ada@example.org");
    EXPECT_EQ(tui().contactCompanylab->text(), "Company: Analytical Engines");
    EXPECT_EQ(tui().contactNotelab->text(), "Note: Met at the <b>lecture</b> %@");
    EXPECT_EQ(tui().contactNotelab->textFormat(), Qt::PlainText);
    EXPECT_TRUE(visible(tui().contactEmaillab));
    EXPECT_FALSE(visible(tui().contactHomepagelab));
    ASSERT_TRUE(
        pumpUntil([&] { return ui::imageViewImageName(tui().contactImageView).isEmpty(); }));
    const QPixmap shownPicture = tui().contactImageView->pixmap();
    EXPECT_FALSE(shownPicture.isNull());
    EXPECT_LE(shownPicture.width(), 96);

    // A picture that can't be read keeps the stand-in.
    auto broken = contact("Broken Picture", "1", "");
    broken->setImageData(QByteArray("not a picture at all"));
    page().UpContactDataSource({broken});
    choose(tui().contactTableView, 0);
    EXPECT_EQ(ui::imageViewImageName(tui().contactImageView), "contact");
    pumpEvents(50);
    EXPECT_EQ(ui::imageViewImageName(tui().contactImageView), "contact");
}

TEST_F(TransferRecordsTest, ListsAreReplacedAndTheCardClearedWhenANewListMovesIn) {
    page().UpContactDataSource({contact("One", "1", ""), contact("Two", "2", "")});
    choose(tui().contactTableView, 1);
    ASSERT_TRUE(visible(tui().contactNamelab));
    page().UpContactDataSource({contact("Three", "3", "")});
    EXPECT_EQ(page().contactController()->rowCount(), 1);
    EXPECT_FALSE(visible(tui().contactNamelab));
    // A click on the row chosen during the move shows it.
    emit tui().contactTableView->clicked(page().contactController()->index(0, 0));
    EXPECT_EQ(tui().contactNamelab->text(), "Three");
    // An empty list leaves the card empty and nothing chosen.
    page().UpContactDataSource({});
    EXPECT_EQ(page().contactController()->rowCount(), 0);
    EXPECT_FALSE(visible(tui().contactNamelab));
}

TEST_F(TransferRecordsTest, NoteTextShowsTheChosenNoteOnYellow) {
    page().showNoteView();
    page().UpNoteDataSource({note("Shopping", "Milk\nBread\nEggs"), note("Empty", "")});
    EXPECT_TRUE(tui().noteContentlab->string().isEmpty());
    choose(tui().noteTableView, 0);
    EXPECT_EQ(tui().noteContentlab->string(), "Milk\nBread\nEggs");
    choose(tui().noteTableView, 1);
    EXPECT_TRUE(tui().noteContentlab->string().isEmpty());
    EXPECT_EQ(tui().noteContentlab->palette().color(QPalette::Base), QColor(223, 224, 101));
    page().UpNoteDataSource({note("Other", "text")});
    EXPECT_TRUE(tui().noteContentlab->string().isEmpty());
    EXPECT_EQ(page().noteController()->rowCount(), 1);
}

TEST_F(TransferRecordsTest, CategoryViewsShowAloneAndStartNothingWithoutADevice) {
    std::vector<std::string> posted;
    std::vector<ObserverToken> tokens;
    for (const char* name : {"AppScanFinished", "photoScanFinished", "musicScanFinished"}) {
        tokens.push_back(NotificationCenter::defaultCenter().addObserver(
            name, [&posted](const Notification& n) { posted.push_back(n.name); }));
    }
    const std::pair<void (PRTansferViewController::*)(), QWidget*> views[] = {
        {&PRTansferViewController::showPhotoView, tui().photoView},
        {&PRTansferViewController::showAppView, tui().appView},
        {&PRTansferViewController::showContactView, tui().contactView},
        {&PRTansferViewController::showMessageView, tui().messageView},
        {&PRTansferViewController::showNoteView, tui().noteView},
    };
    for (const auto& [show, view] : views) {
        (page().*show)();
        for (QWidget* other : tui().views()) {
            EXPECT_EQ(visible(other), other == view) << other->objectName().toStdString();
        }
    }
    page().ShowPhoto(3);
    page().ShowApp(3);
    page().showContact(3);
    page().showMessage(3);
    page().showNote(3);
    EXPECT_EQ(page().deviceIndex(), 3);
    // No device at that index: the record entries start no backup.
    EXPECT_FALSE(page().records().loading());
    EXPECT_FALSE(page().records().bBackup());
    // No device at that index: the music entry says so and starts nothing either.
    page().ShowMusic(3);
    EXPECT_FALSE(page().bMusiceStartTransfer());
    EXPECT_FALSE(page().musicLoading());
    EXPECT_FALSE(page().statusText().isEmpty());
    EXPECT_TRUE(posted.empty());
    page().showMianView();
    EXPECT_EQ(page().shownView(), "mainView");
    EXPECT_TRUE(visible(tui().tranMainView));
}

}  // namespace
}  // namespace nimbara::test
