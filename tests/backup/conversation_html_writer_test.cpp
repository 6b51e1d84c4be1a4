// Conversation pages read back: every text from the backup stays text (no markup, no broken
// attribute), bubbles on the right sides, attachments copied beside the page, and a page that
// never replaces an earlier one.
#include "backup/backup_folder.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/writers/pr_html_controller.h"

#include "../app/app_test_support.h"
#include "export_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::test::folderNames;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

std::shared_ptr<PRMessageNode> makeMessage(const QString& name, const QString& type,
                                           const QString& content) {
    auto node = std::make_shared<PRMessageNode>();
    node->setMessageName(name);
    node->setMessagePhone(QStringLiteral("+46701234567"));
    node->setMessageDate(QStringLiteral("06-01-2021 10:00"));
    node->setMessageType(type);
    node->setMessageContent(content);
    return node;
}

// The picture sources of a page as a reader of it sees them.
std::vector<QString> imageSources(const QTextDocument& doc) {
    std::vector<QString> names;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat()) {
                names.push_back(format.toImageFormat().name());
            }
        }
    }
    return names;
}

TEST(ConversationHtmlWriterTest, TextsFromTheBackupNeverBecomeMarkup) {
    nimbara::test::ensureApplication();  // the page is read by a text document
    const QString script = QStringLiteral("<script>alert('x')</script>");
    const QString picture = QStringLiteral("/backup/ab/x' onerror='alert(1)\" <b>.jpg");
    PRMessageTreeNode conversation;
    conversation.setMessageTreeNodeName(QStringLiteral("<b>Eve</b>"));
    conversation.setMessageTreeNodeAdress(QStringLiteral("' onmouseover='steal()"));
    auto text = makeMessage(QStringLiteral("<i>Eve</i>"), QStringLiteral("Received"), script);
    text->setMessageDate(QStringLiteral("<img src=x>"));
    auto quoted = makeMessage(QString(), QStringLiteral("Send"),
                              QStringLiteral("a & b < c > \"d\" 'e' &amp;"));
    auto image = makeMessage(QStringLiteral("Eve"), QStringLiteral("Received"), QString());
    image->setIsHasAttach(true);
    image->setAttachmentPath(picture);
    conversation.addMessageNode(text);
    conversation.addMessageNode(quoted);
    conversation.addMessageNode(image);

    PRHtmlController html;
    html.initMessageHtmlHeader(QStringLiteral("<Dev's> & Co"));
    addConversationHtml(html, conversation);
    TempDir dir;
    const ExportWriteResult result = html.writeHtmlInPath(dir.path(), QStringLiteral("Eve"));
    ASSERT_TRUE(result.ok) << result.error;
    const QString page = QString::fromStdString(readText(result.path));
    EXPECT_EQ(page, html.strHtmlContent());

    // The markup holds only the page's own tags.
    EXPECT_FALSE(page.contains(QLatin1String("<script"), Qt::CaseInsensitive));
    EXPECT_FALSE(page.contains(QLatin1String("<b>")));
    EXPECT_FALSE(page.contains(QLatin1String("<i>")));
    EXPECT_FALSE(page.contains(QLatin1String("<img src=x")));
    EXPECT_FALSE(page.contains(QLatin1String("onmouseover='")));
    EXPECT_TRUE(page.contains(QLatin1String("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;")));
    EXPECT_TRUE(page.contains(QLatin1String("&amp;amp;")));
    EXPECT_EQ(page.count(QLatin1String("<img ")), 1);

    // Read as a reader of the page reads it: the texts come back as they were.
    QTextDocument doc;
    doc.setHtml(page);
    const QString shown = doc.toPlainText();
    EXPECT_TRUE(shown.contains(script)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("a & b < c > \"d\" 'e' &amp;")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Name: <b>Eve</b>")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Phone: ' onmouseover='steal()")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Name: <i>Eve</i>")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Date: <img src=x>")));
    EXPECT_TRUE(shown.contains(QStringLiteral("<Dev's> & Co")));
    EXPECT_EQ(doc.metaInformation(QTextDocument::DocumentTitle), QStringLiteral("<Dev's> & Co"));
    // The one picture, with its whole path as a file address.
    const std::vector<QString> sources = imageSources(doc);
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(QUrl(sources[0]).toLocalFile(), picture);
}

TEST(ConversationHtmlWriterTest, BubblesSidesSenderAndAttachments) {
    PRHtmlController html;
    const auto fragmentOf = [&html](const PRMessageNode& m, bool farther) {
        html.initMessageHtmlHeader(QString());
        const qsizetype start = html.strHtmlContent().size();
        handleMessageHtml(m, html, farther);
        return html.strHtmlContent().mid(start);
    };
    auto sent = makeMessage(QStringLiteral(" "), QStringLiteral("Send"),
                            QStringLiteral("one\r\ntwo\nthree"));
    EXPECT_EQ(fragmentOf(*sent, false),
              QStringLiteral("<p class='name'>Name: Me &nbsp;&nbsp; Date: 06-01-2021 10:00 </p>"
                             "<p class='triangle-isosceles2'> one<br/>two<br/>three </p>"));
    auto received =
        makeMessage(QStringLiteral("Bo"), QStringLiteral("Received"), QStringLiteral("hi"));
    EXPECT_EQ(fragmentOf(*received, false),
              QStringLiteral("<p class='name'>Name: Bo &nbsp;&nbsp; Date: 06-01-2021 10:00 </p>"
                             "<p class='triangle-isosceles'> hi </p>"));
    EXPECT_TRUE(fragmentOf(*received, true)
                    .startsWith(QStringLiteral("<p><h3>Name: Bo &nbsp;&nbsp;Phone: +46701234567 "
                                               "&nbsp;&nbsp;Email: </h3><hr/>")));
    auto unknown =
        makeMessage(QStringLiteral("Bo"), QStringLiteral("unknown"), QStringLiteral("?"));
    EXPECT_TRUE(fragmentOf(*unknown, false).contains(QLatin1String("'triangle-isosceles'>")));

    // An attachment replaces the text: left for a received message, right for any other.
    received->setIsHasAttach(true);
    received->setAttachmentPath(QStringLiteral("/b/c d.jpg"));
    EXPECT_TRUE(fragmentOf(*received, false)
                    .endsWith(QStringLiteral("<p><img src='file:///b/c%20d.jpg'/></p>")));
    sent->setIsHasAttach(true);
    sent->setAttachmentPath(QStringLiteral("/b/e.jpg"));
    EXPECT_TRUE(
        fragmentOf(*sent, false)
            .endsWith(QStringLiteral("<p class='imgdic'><img src='file:///b/e.jpg'/></p>")));
    EXPECT_FALSE(fragmentOf(*sent, false).contains(QLatin1String("one")));
    // An attachment the backup did not hold shows the text instead of a broken picture.
    sent->setAttachmentPath(QString());
    EXPECT_FALSE(fragmentOf(*sent, false).contains(QLatin1String("<img")));
}

// The sender comes from the message's direction: "Me" only for a sent one, else the contact's
// name, else its address (a backup without an address book names nobody).
TEST(ConversationHtmlWriterTest, SenderLineFollowsTheMessageDirection) {
    struct Case {
        const char* name;
        const char* type;
        const char* sender;
    };
    const Case cases[] = {
        {"", "Received", "+46701234567"},
        {" ", "Received", "+46701234567"},
        {"Bo", "Received", "Bo"},
        {"", "Send", "Me"},
        {"Bo", "Send", "Me"},
        {"", "unknown", "+46701234567"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.name) + "/" + test.type);
        PRHtmlController html;
        handleMessageHtml(*makeMessage(QString::fromLatin1(test.name),
                                       QString::fromLatin1(test.type), QStringLiteral("hi")),
                          html, false);
        EXPECT_TRUE(html.strHtmlContent().contains(QLatin1String("Name: ") +
                                                   QLatin1String(test.sender) +
                                                   QLatin1String(" &nbsp;&nbsp; Date")));
    }
}

TEST(ConversationHtmlWriterTest, AttachmentsAreCopiedBesideThePageAndReported) {
    TempDir dir;
    const fs::path backupPath = dir / "backup";
    const std::string movieKey = "1111111111111111111111111111111111111111";
    const std::string cardKey = "2222222222222222222222222222222222222222";
    writeText(backupPath / "11" / movieKey, "movie bytes");
    writeText(backupPath / "22" / cardKey, "BEGIN:VCARD\r\nEND:VCARD\r\n");
    const BackupFolder backup = BackupFolder::open(backupPath.string());
    ASSERT_TRUE(backup.isOpen());
    const fs::path folder = dir / "Message";
    fs::create_directories(folder);

    PRMessageTreeNode conversation;
    conversation.setMessageTreeNodeName(QStringLiteral("Bo"));
    const auto attach = [&](const std::string& stored, const char* type) {
        auto m = makeMessage(QStringLiteral("Bo"), QStringLiteral("Received"), QString());
        m->setIsHasAttach(true);
        m->setAttachmentPath(QString::fromStdString(stored));
        m->setAttachType(QString::fromUtf8(type));
        conversation.addMessageNode(m);
    };
    attach((backupPath / "11" / movieKey).string(), "Mov");
    attach((backupPath / "22" / cardKey).string(), "Contact");
    attach((backupPath / "22" / cardKey).string(), "Image");
    attach((backupPath / "33" / "missing").string(), "Location");

    std::vector<std::pair<QString, bool>> copies;
    ConversationAttachments attachments;
    attachments.backup = &backup;
    attachments.folder = folder;
    attachments.copied = [&copies](const PRMessageNode& m, const ExportWriteResult& r) {
        copies.emplace_back(m.attachType(), r.ok);
    };
    PRHtmlController html;
    html.initMessageHtmlHeader(messageDocumentTitle(QStringLiteral("iPhone")));
    addConversationHtml(html, conversation, attachments);
    EXPECT_TRUE(html.strHtmlContent().endsWith(QLatin1String("<hr/>")));
    EXPECT_TRUE(
        html.strHtmlContent().contains(QLatin1String("<title>iPhone&#39;s Message</title>")));
    ASSERT_TRUE(html.writeHtmlInPath(folder, conversationDocumentName(conversation)).ok);

    EXPECT_EQ(copies, (std::vector<std::pair<QString, bool>>{{QStringLiteral("Mov"), true},
                                                             {QStringLiteral("Contact"), true},
                                                             {QStringLiteral("Location"), false}}));
    EXPECT_EQ(folderNames(folder),
              (std::vector<std::string>{movieKey + ".mov", cardKey + ".vcf", "Bo.html"}));
    EXPECT_EQ(readText(folder / (movieKey + ".mov")), "movie bytes");
}

TEST(ConversationHtmlWriterTest, PagesAreNamedSafelyAndNeverReplaced) {
    TempDir dir;
    PRMessageTreeNode shortName;
    shortName.setMessageTreeNodeName(QStringLiteral("B"));
    shortName.setMessageTreeNodeAdress(QStringLiteral("bo@example.org"));
    EXPECT_EQ(conversationDocumentName(shortName), QStringLiteral("bo@example.org"));

    std::vector<std::string> written;
    for (const char* name : {"Bo", "Bo", "Bo", "../../Bo", "", "x.html/y"}) {
        PRHtmlController html;
        html.initMessageHtmlHeader(QStringLiteral("t"));
        html.addHtmlContent(QString::fromUtf8(name));
        const ExportWriteResult result = html.writeHtmlInPath(dir.path(), QString::fromUtf8(name));
        ASSERT_TRUE(result.ok) << result.error;
        const std::string text = readText(result.path);
        EXPECT_EQ(text.rfind("<!DOCTYPE html>", 0), 0u);  // UTF-8, no byte-order mark
        EXPECT_EQ(text.substr(text.size() - 26), "</div></div></body></html>");
        written.push_back(result.path.filename().string());
    }
    EXPECT_EQ(written, (std::vector<std::string>{"Bo.html", "Bo (2).html", "Bo (3).html",
                                                 "__._Bo.html", "Message.html", "x.html_y.html"}));
    EXPECT_EQ(folderNames(dir.path()).size(), written.size());

    // Written twice, the page is ended once.
    PRHtmlController twice;
    twice.initMessageHtmlHeader(QStringLiteral("t"));
    ASSERT_TRUE(twice.writeHtmlInPath(dir.path(), QStringLiteral("twice")).ok);
    ASSERT_TRUE(twice.writeHtmlInPath(dir.path(), QStringLiteral("twice")).ok);
    EXPECT_EQ(readText(dir / "twice.html"), readText(dir / "twice (2).html"));

    // A write that fails is reported and leaves nothing.
    const fs::path full = dir / "full";
    fs::create_directories(full);
    PRHtmlController big;
    big.initMessageHtmlHeader(QString(50000, QLatin1Char('t')));
    ExportWriteResult result;
    {
        nimbara::test::FileSizeLimit limit(8192);
        result = big.writeHtmlInPath(full, QStringLiteral("big"));
    }
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(folderNames(full).empty());
}

}  // namespace
