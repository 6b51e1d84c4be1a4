// The transfer page's contacts, messages and notes: read from a backup made for them on the
// simulated device (a failed backup reported, nothing older read), reset by a device change, and
// exported into Documents as cards, HTML and PDF pages and a notes list, read back.
#include <QLocale>
#include <QPageSize>
#include <QProcess>
#include <QRegularExpression>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../backup/backup_snapshot.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup_page_fixture.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "transfer/pages/transfer_record_exports.h"
#include "transfer/pages/transfer_records_pane.h"
#include "ui/alerts.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using transfer::RecordKind;

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

// The text of a PDF as pdftotext reads it; empty when it can't.
std::string pdfText(const fs::path& file) {
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"),
               {QString::fromStdString(file.string()), QStringLiteral("-")});
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0) {
        return {};
    }
    return tool.readAllStandardOutput().toStdString();
}

std::shared_ptr<PRContactNode> contact(const QString& name, const QString& company, int rowid) {
    auto node = std::make_shared<PRContactNode>();
    node->setContactName(name);
    node->setContactCompany(company);
    node->setContactPhone(QStringLiteral("555-01%1").arg(rowid));
    node->setRowid(rowid);
    return node;
}

std::shared_ptr<PRMessageTreeNode> conversation(const QString& name, const QString& address,
                                                const std::vector<QString>& texts) {
    auto tree = std::make_shared<PRMessageTreeNode>();
    tree->setMessageTreeNodeName(name);
    tree->setMessageTreeNodeAdress(address);
    for (const QString& text : texts) {
        auto message = std::make_shared<PRMessageNode>();
        message->setMessageName(name);
        message->setMessagePhone(address);
        message->setMessageContent(text);
        message->setMessageDate(QStringLiteral("2024-05-01 10:00:00"));
        message->setMessageType(QStringLiteral("Receive"));
        tree->addMessageNode(message);
    }
    return tree;
}

std::shared_ptr<PRNoteNode> note(const QString& title, const QString& content) {
    auto node = std::make_shared<PRNoteNode>();
    node->setNoteTitle(title);
    node->setNoteContent(content);
    node->setNoteDate(QStringLiteral("2024-05-02"));
    return node;
}

// ------------------------------------------------------------------ exports

class TransferRecordExportTest : public DevicePageTest {
  protected:
    fs::path documents() const { return tmp_ / "docs"; }
};

TEST_F(TransferRecordExportTest, ContactsBecomeOneCardEachUnderTheirOwnNames) {
    const auto result = transfer::exportContactsToDocuments(
        documents(), {contact("Ada Byron", "", 1), contact("Ada Byron", "", 2),
                      contact("", "Acme Ltd", 3), contact("", "", 7)});
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    const fs::path folder = documents() / "Contact";
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"Ada Byron.vcf", "Ada Byron (2).vcf",
                                                      "Acme Ltd.vcf", "unknown 7.vcf"}));
    // Two contacts of the same name keep their own cards.
    const std::string first = readAll(folder / "Ada Byron.vcf");
    const std::string second = readAll(folder / "Ada Byron (2).vcf");
    EXPECT_EQ(first.rfind("BEGIN:VCARD", 0), 0u);
    EXPECT_NE(first.find("END:VCARD"), std::string::npos);
    EXPECT_NE(first.find("555-011"), std::string::npos);
    EXPECT_NE(second.find("555-012"), std::string::npos);
    EXPECT_EQ(second.find("555-011"), std::string::npos);
    // A second export adds new cards and replaces none.
    const auto again =
        transfer::exportContactsToDocuments(documents(), {contact("Ada Byron", "", 9)});
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(namesIn(folder).size(), 5u);
    EXPECT_EQ(readAll(folder / "Ada Byron.vcf"), first);
}

TEST_F(TransferRecordExportTest, ConversationHtmlIsEscapedAndNeverReplacesAnEarlierPage) {
    const auto talk = conversation(QStringLiteral("Bob"), QStringLiteral("+15550100"),
                                   {QStringLiteral("<script>alert(1)</script> & \"fish\"")});
    const auto single = conversation(QStringLiteral("Z"), QStringLiteral("+15550199"),
                                     {QStringLiteral("one letter")});
    const transfer::ConversationExportSource source{QStringLiteral("Demo <Phone>"), {}};
    const auto result = transfer::exportConversationsHtml(documents(), {talk, single}, source);
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    const fs::path folder = documents() / "Message";
    // A one-letter name gives way to the address.
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"Bob.html", "+15550199.html"}));
    const std::string page = readAll(folder / "Bob.html");
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt; &amp;"), std::string::npos);
    EXPECT_NE(page.find("Demo &lt;Phone&gt;"), std::string::npos);
    ASSERT_TRUE(transfer::exportConversationsHtml(documents(), {talk}, source).ok());
    EXPECT_EQ(namesIn(folder).size(), 3u);
    EXPECT_EQ(readAll(folder / "Bob.html"), page);
}

TEST_F(TransferRecordExportTest, EachConversationPdfCarriesItsOwnConversation) {
    const transfer::ConversationExportSource source{QStringLiteral("Demo Phone"), {}};
    const auto result = transfer::exportConversationsPdf(
        documents(),
        {conversation(QStringLiteral("Alice"), QStringLiteral("+15550101"),
                      {QStringLiteral("Lunch at noon"), QStringLiteral("See you there")}),
         conversation(QStringLiteral("Carol"), QStringLiteral("+15550102"),
                      {QStringLiteral("Train is late")})},
        source);
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    const fs::path folder = documents() / "Message";
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"Alice.pdf", "Carol.pdf"}));
    const std::string alice = pdfText(folder / "Alice.pdf");
    const std::string carol = pdfText(folder / "Carol.pdf");
    EXPECT_EQ(readAll(folder / "Alice.pdf").rfind("%PDF", 0), 0u);
    EXPECT_NE(alice.find("Lunch at noon"), std::string::npos) << alice;
    EXPECT_NE(alice.find("See you there"), std::string::npos) << alice;
    EXPECT_EQ(alice.find("Train is late"), std::string::npos);
    EXPECT_NE(carol.find("Train is late"), std::string::npos) << carol;
    EXPECT_EQ(carol.find("Lunch at noon"), std::string::npos);
}

// A conversation's PDF: the page of the locale's paper, text at a size that reads, and each
// message under its own sender (the user's replies under "Me").
TEST_F(TransferRecordExportTest, TheConversationPdfReadsLikeThePage) {
    auto talk = std::make_shared<PRMessageTreeNode>();
    talk->setMessageTreeNodeName(QStringLiteral("Alice Smith"));
    talk->setMessageTreeNodeAdress(QStringLiteral("+15550101"));
    const std::pair<const char*, const char*> messages[] = {
        {"Received", "Lunch at noon"}, {"Send", "Sounds good"}, {"Received", "Bring cake"}};
    for (const auto& [type, text] : messages) {
        auto message = std::make_shared<PRMessageNode>();
        message->setMessageName(QStringLiteral("Alice"));  // the reader names both directions
        message->setMessagePhone(QStringLiteral("+15550101"));
        message->setMessageType(QString::fromLatin1(type));
        message->setMessageContent(QString::fromLatin1(text));
        message->setMessageDate(QStringLiteral("2024-05-01 10:00:00"));
        talk->addMessageNode(message);
    }
    struct Case {
        const char* locale;
        const char* folder;
        double width;
        double height;
    };
    for (const Case& c : {Case{"en_GB", "a4", 595, 842}, Case{"en_US", "letter", 612, 792}}) {
        SCOPED_TRACE(c.locale);
        QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
        const auto result =
            transfer::exportConversationsPdf(documents() / c.folder, {talk}, {"Phone", {}});
        QLocale::setDefault(QLocale::c());
        ASSERT_TRUE(result.ok()) << result.message.toStdString();
        // Word boxes in points, as pdftotext reads them.
        QProcess tool;
        tool.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-bbox"), QString::fromStdString(result.files.at(0).string()),
                    QStringLiteral("-")});
        ASSERT_TRUE(tool.waitForFinished(30000));
        const QString boxes = QString::fromUtf8(tool.readAllStandardOutput());
        const QRegularExpression page(
            QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\""));
        const QRegularExpressionMatch paper = page.match(boxes);
        ASSERT_TRUE(paper.hasMatch()) << boxes.toStdString();
        EXPECT_NEAR(paper.captured(1).toDouble(), c.width, 1.0);
        EXPECT_NEAR(paper.captured(2).toDouble(), c.height, 1.0);
        const QRegularExpression word(
            QStringLiteral("yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"([0-9.]+)\">Lunch<"));
        const QRegularExpressionMatch lunch = word.match(boxes);
        ASSERT_TRUE(lunch.hasMatch()) << boxes.toStdString();
        const double height = lunch.captured(2).toDouble() - lunch.captured(1).toDouble();
        EXPECT_GT(height, 8.0);  // at least 7-point print
        EXPECT_LT(height, 20.0);

        // Each text under its sender's line.
        const std::string text = pdfText(result.files.at(0));
        std::size_t at = 0;
        for (const auto& [sender, said] :
             {std::pair{"Name: Alice\n", "Lunch at noon"}, std::pair{"Name: Me\n", "Sounds good"},
              std::pair{"Name: Alice\n", "Bring cake"}}) {
            const std::size_t name = text.find(sender, at);
            const std::size_t body = text.find(said, at);
            ASSERT_NE(body, std::string::npos) << text;
            EXPECT_LT(name, body) << said << "\n" << text;
            EXPECT_EQ(text.substr(name, body - name).find("Name:", 1), std::string::npos)
                << said << "\n"
                << text;
            at = body;
        }
    }
}

TEST_F(TransferRecordExportTest, AllNotesGoIntoOneListAndAFolderInTheWayIsReported) {
    const auto result = transfer::exportNotesToDocuments(
        documents(), {note(QStringLiteral("Shopping"), QStringLiteral("Milk")),
                      note(QStringLiteral("Ideas"), QStringLiteral("Paint the shed"))});
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    ASSERT_EQ(result.files.size(), 1u);
    const std::string list = readAll(result.files.front());
    EXPECT_EQ(result.files.front().parent_path(), fs::canonical(documents() / "Note"));
    EXPECT_NE(list.find("Title:Shopping"), std::string::npos) << list;
    EXPECT_NE(list.find("Paint the shed"), std::string::npos) << list;

    // A file where the folder should be: nothing written, and said so.
    fs::create_directories(tmp_ / "blocked");
    writeText(tmp_ / "blocked" / "Note", "a file");
    const auto blocked =
        transfer::exportNotesToDocuments(tmp_ / "blocked", {note(QStringLiteral("A"), {})});
    EXPECT_FALSE(blocked.ok());
    EXPECT_TRUE(blocked.files.empty());
    EXPECT_FALSE(blocked.message.isEmpty());
}

TEST_F(TransferRecordExportTest, AnHtmlPageWithoutAnyContentStillMakesAPdfPage) {
    EXPECT_TRUE(transfer::htmlToPdf(QString(), QStringLiteral("Empty")).startsWith("%PDF"));
}

// ------------------------------------------------------------------ loads on the page

class TransferRecordsPageTest : public BackupToolPageTest {
  protected:
    void SetUp() override {
        BackupToolPageTest::SetUp();
        revealed_.emplace(ui::FileViewer::handler(),
                          [this](const QString& folder) { reveals_.push_back(folder); });
        container_ = std::make_unique<QWidget>();
        page_ = std::make_unique<PRTansferViewController>(host_);
        page_->showView(container_.get());
    }
    void TearDown() override {
        page_.reset();
        container_.reset();
        revealed_.reset();
        BackupToolPageTest::TearDown();
    }
    PRTansferViewController& page() { return *page_; }
    transfer::TransferRecordsPane& records() { return page().records(); }
    bool waitLoaded() {
        return pumpLong([this] { return !records().loading(); });
    }
    void closeNotices() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("unlockNotice")) {
                w->close();
            }
        }
    }
    bool spinning(BusyMark mark) const { return host_.indicatorOn(mark); }
    std::string shownUdid() const { return host_.device->udidNumber().toStdString(); }

    std::optional<ui::ScopedHandler<ui::FileViewer::Handler>> revealed_;
    std::vector<QString> reveals_;
    std::unique_ptr<QWidget> container_;
    std::unique_ptr<PRTansferViewController> page_;
};

TEST_F(TransferRecordsPageTest, MessagesBackUpOnceThenContactsAndNotesReadTheSameBackup) {
    const int index = attachDemoDevice(tmp_ / "demo");
    ASSERT_GE(index, 0);
    page().showMessageView();
    page().showMessage(index);
    EXPECT_TRUE(records().started(RecordKind::Messages));
    EXPECT_TRUE(spinning(BusyMark::Messages));
    // A second click during the run starts nothing.
    page().showMessage(index);
    ASSERT_TRUE(waitLoaded());
    closeNotices();
    EXPECT_TRUE(records().bBackup());
    EXPECT_TRUE(records().finished(RecordKind::Messages));
    EXPECT_FALSE(spinning(BusyMark::Messages));
    // The senders' contacts were read on the way and fill their list too.
    EXPECT_TRUE(records().finished(RecordKind::Contacts));
    EXPECT_GT(page().contactController()->rowCount(), 0);
    const int conversations = page().messageController()->rowCount();
    EXPECT_GT(conversations, 0);
    EXPECT_TRUE(page().statusText().isEmpty()) << page().statusText().toStdString();

    // Notes read the backup that is there: the backup folder is not written again.
    const auto stamp = fs::last_write_time(backupOf(shownUdid()) / "Manifest.db");
    page().showNote(index);
    ASSERT_TRUE(waitLoaded());
    EXPECT_TRUE(records().finished(RecordKind::Notes));
    EXPECT_GT(page().noteController()->rowCount(), 0);
    EXPECT_EQ(fs::last_write_time(backupOf(shownUdid()) / "Manifest.db"), stamp);
    // Loaded categories read nothing again; a list is never doubled.
    page().showContact(index);
    page().showMessage(index);
    EXPECT_FALSE(records().loading());
    EXPECT_EQ(page().messageController()->rowCount(), conversations);

    // Exported through the page into Documents, and the folder revealed.
    records().setDocumentsFolder(tmp_ / "Documents");
    records().exportConversations(transfer::ConversationFormat::Html, std::nullopt);
    ASSERT_TRUE(pumpLong([this] { return !records().exporting(); }));
    ASSERT_TRUE(records().lastExport());
    EXPECT_TRUE(records().lastExport()->ok());
    // A page per conversation, and the copies of the attachments they link.
    EXPECT_GT(records().lastExport()->files.size(), static_cast<std::size_t>(conversations));
    ASSERT_EQ(reveals_.size(), 1u);
}

TEST_F(TransferRecordsPageTest, AFailedBackupIsReportedAndNoOlderBackupIsRead) {
    const std::string udid = "0000000000000000000000000000000000000bad";
    PlistValue faults = PlistValue::dict();
    faults[md::sim::kFaultBackupError] = "no space left";
    const int index = attach(makeBackupDevice(udid, "Full Phone", faults));
    ASSERT_GE(index, 0);
    // An older backup of the device is there: it must not pass for the device's records.
    fs::create_directories(backupOf(udid));
    writeText(backupOf(udid) / "Manifest.db", "old");
    page().showContactView();
    page().showContact(index);
    ASSERT_TRUE(waitLoaded());
    closeNotices();
    EXPECT_FALSE(records().bBackup());
    EXPECT_FALSE(records().started(RecordKind::Contacts));
    EXPECT_FALSE(records().finished(RecordKind::Contacts));
    EXPECT_EQ(page().contactController()->rowCount(), 0);
    EXPECT_FALSE(spinning(BusyMark::Contacts));
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("failed")))
        << page().statusText().toStdString();
}

TEST_F(TransferRecordsPageTest, ReplacingTheBackupIsAskedAndACancelKeepsItAndReadsNothing) {
    const int index = attachDemoDevice(tmp_ / "demo");
    ASSERT_GE(index, 0);
    // With no backup of the device there is nothing to ask.
    page().showNote(index);
    ASSERT_TRUE(waitLoaded());
    closeNotices();
    EXPECT_TRUE(answered_.empty());
    page().initAllDataAndAllView();
    const auto before = folderSnapshot(backupOf(shownUdid()));

    std::vector<QString> asked;
    Alerts::Answer answer = Alerts::Answer::Alternate;
    bool tick = true;  // "don't show again" is kept only when going on with it ticked
    bool changeDevice = false;
    Alerts::ScopedHandler handler([&](QWidget*, const Alerts::Question& q) {
        asked.push_back(q.message);
        *q.suppressionChecked = tick;
        if (changeDevice) {
            page().initAllDataAndAllView();  // the device changes while the question shows
        }
        return answer;
    });
    page().showContact(index);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].contains(" made on ")) << asked[0].toStdString();
    EXPECT_FALSE(records().loading() || spinning(BusyMark::Contacts));
    EXPECT_TRUE(page().statusText().contains("were not read")) << page().statusText().toStdString();
    EXPECT_EQ(folderSnapshot(backupOf(shownUdid())), before);

    // Going on, but for a device no longer the page's: nothing starts.
    answer = Alerts::Answer::Default;
    tick = false;
    changeDevice = true;
    page().showContact(index);
    changeDevice = false;
    EXPECT_FALSE(records().started(RecordKind::Contacts) || records().loading());
    EXPECT_EQ(folderSnapshot(backupOf(shownUdid())), before);

    for (const bool ticked : {false, true}) {
        tick = ticked;
        page().initAllDataAndAllView();
        page().showContact(index);
        ASSERT_TRUE(waitLoaded());
        closeNotices();
        EXPECT_TRUE(records().finished(RecordKind::Contacts));
    }
    EXPECT_EQ(asked.size(), 4u);
    page().initAllDataAndAllView();
    page().showNote(index);
    EXPECT_EQ(asked.size(), 4u);  // not asked again
    ASSERT_TRUE(waitLoaded());
    closeNotices();
}

TEST_F(TransferRecordsPageTest, TheNotReadLineGoesOnceTheRecordsAreRead) {
    const int index = attachDemoDevice(tmp_ / "demo");
    ASSERT_GE(index, 0);
    fs::create_directories(backupOf(shownUdid()));  // an earlier backup: the question is asked
    Alerts::Answer answer = Alerts::Answer::Alternate;
    Alerts::ScopedHandler handler([&](QWidget*, const Alerts::Question&) { return answer; });
    page().showContactView();
    page().showContact(index);
    ASSERT_TRUE(page().statusText().contains("were not read"));
    // The messages, read with the backup replaced, bring the contacts with them.
    answer = Alerts::Answer::Default;
    page().showMessageView();
    page().showMessage(index);
    ASSERT_TRUE(waitLoaded());
    closeNotices();
    page().showContactView();
    EXPECT_GT(page().contactController()->rowCount(), 0);
    EXPECT_EQ(page().statusText().toStdString(), "");
}

TEST_F(TransferRecordsPageTest, ADeviceChangeStopsTheLoadAndForgetsTheBackup) {
    const int index = attachDemoDevice(tmp_ / "demo");
    ASSERT_GE(index, 0);
    page().showNote(index);
    ASSERT_TRUE(waitLoaded());
    closeNotices();
    ASSERT_TRUE(records().finished(RecordKind::Notes));
    ASSERT_GT(page().noteController()->rowCount(), 0);

    page().initAllDataAndAllView();
    EXPECT_FALSE(records().bBackup());
    EXPECT_FALSE(records().finished(RecordKind::Notes));
    EXPECT_EQ(page().noteController()->rowCount(), 0);
    EXPECT_EQ(page().shownView(), QStringLiteral("mainView"));

    // A load cut short by a device change shows nothing and leaves no spinner on.
    page().showMessage(index);
    ASSERT_TRUE(records().loading());
    page().initAllDataAndAllView();
    EXPECT_FALSE(records().started(RecordKind::Messages));
    EXPECT_FALSE(spinning(BusyMark::Messages));
    pumpLong([this] { return page().records().workersEnding() == 0; });
    pumpEvents(20);
    EXPECT_EQ(page().messageController()->rowCount(), 0);
}

TEST_F(TransferRecordsPageTest, WhatWasReadFromADeviceGoesWithIt) {
    const int index = attachDemoDevice(tmp_ / "demo");
    ASSERT_GE(index, 0);
    page().showNote(index);
    ASSERT_TRUE(waitLoaded());
    closeNotices();
    ASSERT_GT(page().noteController()->rowCount(), 0);
    ASSERT_TRUE(detach("demo"));
    ASSERT_TRUE(pumpLong([this] { return page().noteController()->rowCount() == 0; }));
    EXPECT_FALSE(records().bBackup());
    EXPECT_FALSE(records().finished(RecordKind::Notes));
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("disconnected")))
        << page().statusText().toStdString();
}

}  // namespace
}  // namespace nimbara::test
