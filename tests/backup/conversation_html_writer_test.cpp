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

#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>

#include <algorithm>
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
    TempDir dir;
    const fs::path stored = dir / "backup" / "ab" / "x' onerror='alert(1)\" <b>.jpg";
    writeText(stored, "\xFF\xD8\xFF picture");
    const BackupFolder backup = BackupFolder::open((dir / "backup").string());
    ASSERT_TRUE(backup.isOpen());
    const QString picture = QString::fromStdString(stored.string());
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
    image->setAttachType(QStringLiteral("Image"));
    conversation.addMessageNode(text);
    conversation.addMessageNode(quoted);
    conversation.addMessageNode(image);

    PRHtmlController html;
    html.initMessageHtmlHeader(QStringLiteral("<Dev's> & Co"));
    ConversationAttachments attachments;
    attachments.backup = &backup;
    attachments.folder = dir.path();
    addConversationHtml(html, conversation, attachments);
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
    // The one picture: its copy beside the page, by a relative address of its (safe) name.
    const std::vector<QString> sources = imageSources(doc);
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_TRUE(QUrl(sources[0]).isRelative());
    EXPECT_EQ(readText(dir / QUrl(sources[0]).path().toStdString()), "\xFF\xD8\xFF picture");
}

TEST(ConversationHtmlWriterTest, BubblesSidesSenderAndAttachments) {
    PRHtmlController html;
    const auto fragmentOf = [&html](const PRMessageNode& m, bool farther,
                                    const QString& copy = QString()) {
        html.initMessageHtmlHeader(QString());
        const qsizetype start = html.strHtmlContent().size();
        handleMessageHtml(m, html, farther, copy);
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

    // An attachment replaces the text, linked to its copy beside the page: left for a received
    // message, right for any other; a picture inline, another kind as a link.
    received->setIsHasAttach(true);
    received->setAttachmentPath(QStringLiteral("/b/c d.jpg"));
    received->setAttachType(QStringLiteral("Image"));
    EXPECT_TRUE(fragmentOf(*received, false, QStringLiteral("c d.jpg"))
                    .endsWith(QStringLiteral("<p><img src='c%20d.jpg'/></p>")));
    sent->setIsHasAttach(true);
    sent->setAttachmentPath(QStringLiteral("/b/e.jpg"));
    sent->setAttachType(QStringLiteral("Image"));
    EXPECT_TRUE(fragmentOf(*sent, false, QStringLiteral("e.jpg"))
                    .endsWith(QStringLiteral("<p class='imgdic'><img src='e.jpg'/></p>")));
    EXPECT_FALSE(fragmentOf(*sent, false, QStringLiteral("e.jpg")).contains(QLatin1String("one")));
    sent->setAttachType(QStringLiteral("Contact"));
    EXPECT_TRUE(fragmentOf(*sent, false, QStringLiteral("k&1.vcf"))
                    .endsWith(QStringLiteral("<p class='imgdic'><a href='k%261.vcf'>k&amp;1.vcf</a>"
                                             "</p>")));
    // Without a copy the text is shown, and that the attachment is missing: never a link into
    // the backup.
    sent->setAttachType(QStringLiteral("Image"));
    const QString missing = fragmentOf(*sent, false);
    EXPECT_FALSE(missing.contains(QLatin1String("<img")));
    EXPECT_FALSE(missing.contains(QLatin1String("/b/e.jpg")));
    EXPECT_TRUE(
        missing.contains(QLatin1String("one<br/>two<br/>three<br/><i>The attachment could "
                                       "not be copied.</i>")));
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

// Every attachment is copied beside the page and linked by a relative address: the page's folder
// stands on its own, nothing of it points into the backup.
TEST(ConversationHtmlWriterTest, AttachmentsAreCopiedBesideThePageAndLinkedRelatively) {
    TempDir dir;
    const fs::path backupPath = dir / "backup";
    struct Case {
        const char* type;
        std::string stored;  // the stored file's name in the backup; empty: the backup lacks it
        std::string bytes;
        std::string copy;  // the copy's name; empty: no copy
        const char* markup;
    };
    const std::vector<Case> cases = {
        {"Mov", "11/" + std::string(40, '1'), "movie bytes", std::string(40, '1') + ".mov", "href"},
        {"Contact", "22/" + std::string(40, '2'), "BEGIN:VCARD\r\n", std::string(40, '2') + ".vcf",
         "href"},
        {"Image", "33/" + std::string(40, '3'), "\x89PNG\r\n\x1A\n....",
         std::string(40, '3') + ".png", "src"},
        {"Image", "44/" + std::string(40, '4'), "\xFF\xD8\xFF\xE0 jpeg",
         std::string(40, '4') + ".jpg", "src"},
        {"Image", "55/IMG_0001.HEIC", "....ftypheic", "IMG_0001.HEIC", "src"},
        {"Image", "", "", "", "could not be copied"},
        {"Location", "66/" + std::string(40, '6') + "-not-stored", "", "", "could not be copied"},
    };
    PRMessageTreeNode conversation;
    conversation.setMessageTreeNodeName(QStringLiteral("Bo"));
    for (const Case& c : cases) {
        if (!c.bytes.empty()) {
            writeText(backupPath / c.stored, c.bytes);
        }
        auto m = makeMessage(QStringLiteral("Bo"), QStringLiteral("Received"), QString());
        m->setIsHasAttach(true);
        m->setAttachmentPath(c.stored.empty()
                                 ? QString()
                                 : QString::fromStdString((backupPath / c.stored).string()));
        m->setAttachType(QString::fromUtf8(c.type));
        conversation.addMessageNode(m);
    }
    const BackupFolder backup = BackupFolder::open(backupPath.string());
    ASSERT_TRUE(backup.isOpen());
    const fs::path folder = dir / "Message";
    fs::create_directories(folder);

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
    const ExportWriteResult page =
        html.writeHtmlInPath(folder, conversationDocumentName(conversation));
    ASSERT_TRUE(page.ok);
    const QString text = QString::fromStdString(readText(page.path));
    EXPECT_FALSE(text.contains(QLatin1String("file:")));
    EXPECT_FALSE(text.contains(QString::fromStdString(backupPath.string())));

    // Each message's part of the page, in order.
    QStringList parts = text.split(QStringLiteral("<p class='name'>"));
    parts.removeFirst();
    ASSERT_EQ(parts.size(), static_cast<qsizetype>(cases.size()));
    std::vector<std::string> expectedFiles = {"Bo.html"};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string(c.type) + " " + c.stored);
        EXPECT_EQ(copies.at(i), std::make_pair(QString::fromUtf8(c.type), !c.copy.empty()));
        EXPECT_TRUE(parts[i].contains(QLatin1String(c.markup))) << parts[i].toStdString();
        if (c.copy.empty()) {
            continue;
        }
        expectedFiles.push_back(c.copy);
        EXPECT_EQ(readText(folder / c.copy), c.bytes);
        EXPECT_TRUE(parts[i].contains(QStringLiteral("%1='%2'").arg(
            QLatin1String(c.markup), QString::fromStdString(c.copy))));
    }
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(folderNames(folder), expectedFiles);
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
