// The chat column as the user sees it, rendered offscreen: batches of 50 with "More...", sides
// and colours of the bubbles, message texts shown as the plain text they are, and the pictures
// decoded off the GUI thread, with the stand-in for whatever can't be read.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QThread>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "../app/app_test_support.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "test_support.h"
#include "ui/chat_column_view.h"
#include "ui/chat_picture_loader.h"
#include "ui/chat_text.h"
#include "ui/named_image.h"
#include "ui/pr_chat_name_view.h"
#include "ui/pr_chat_view.h"

namespace {

using nimbara::test::TempDir;

// Runs the event loop until `done` holds; gives up after a generous while.
bool pumpUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return done();
}

// Also lets the widgets that were asked to go, go.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

std::shared_ptr<PRMessageNode> message(const QString& content, bool received = true) {
    auto m = std::make_shared<PRMessageNode>();
    m->setMessageContent(content);
    m->setMessageType(received ? QStringLiteral("Received") : QStringLiteral("Send"));
    m->setMessageName(QStringLiteral("Amelia"));
    m->setMessagePhone(QStringLiteral("+14155550188"));
    m->setMessageDate(QStringLiteral("2025-05-12 09:14"));
    return m;
}

std::shared_ptr<PRMessageNode> picture(const QString& path) {
    auto m = message(QStringLiteral("look"));
    m->setIsHasAttach(true);
    m->setAttachType(QStringLiteral("Image"));
    m->setAttachmentPath(path);
    return m;
}

std::shared_ptr<PRMessageTreeNode> conversation(
    const std::vector<std::shared_ptr<PRMessageNode>>& messages,
    const QString& name = QStringLiteral("Amelia")) {
    auto c = std::make_shared<PRMessageTreeNode>();
    c->setMessageTreeNodeName(name);
    for (const auto& m : messages) {
        c->addMessageNode(m);
    }
    return c;
}

std::shared_ptr<PRMessageTreeNode> numbered(int count) {
    std::vector<std::shared_ptr<PRMessageNode>> messages;
    for (int i = 0; i < count; ++i) {
        messages.push_back(message(QStringLiteral("message %1").arg(i), i % 2 == 0));
    }
    return conversation(messages);
}

QString writePicture(const TempDir& dir, const char* name, QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = QString::fromStdString((dir / name).string());
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

QByteArray pngBytes(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QColor centreOf(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// The stand-in picture as a picture bubble shows it.
QSize standInSize() {
    return nimbara::ui::namedImage(QStringLiteral("Contact"))
        .size()
        .scaled(80, 80, Qt::KeepAspectRatio);
}

int visibleButtons(const ChatColumnView& column) {
    int shown = 0;
    for (QPushButton* button : column.documentView()->findChildren<QPushButton*>()) {
        shown += button->isVisible() ? 1 : 0;
    }
    return shown;
}

class ChatColumnViewTest : public ::testing::Test {
  protected:
    void SetUp() override { nimbara::test::ensureApplication(); }
};

// --- Batches --------------------------------------------------------------------------------

TEST_F(ChatColumnViewTest, OneHundredTwentyMessagesShowFiftyThenAHundredThenAll) {
    ChatColumnView column;
    column.resize(425, 400);
    column.show();
    column.showConversation(numbered(120));
    EXPECT_EQ(column.bubbles().size(), 50);
    ASSERT_NE(column.morebun(), nullptr);
    EXPECT_EQ(column.morebun()->text(), QStringLiteral("More..."));
    EXPECT_EQ(column.morebun()->geometry().left(), 150);
    // 10 below the last bubble (give or take the rounding of a measured text's height).
    EXPECT_NEAR(
        column.morebun()->geometry().top() - (column.bubbles().back()->geometry().bottom() + 1), 10,
        1);

    column.morebun()->click();
    settle();
    EXPECT_EQ(column.bubbles().size(), 100);
    ASSERT_NE(column.morebun(), nullptr);
    EXPECT_EQ(visibleButtons(column), 1);

    column.morebun()->click();
    settle();
    EXPECT_EQ(column.bubbles().size(), 120);
    EXPECT_EQ(column.morebun(), nullptr);
    EXPECT_EQ(visibleButtons(column), 0);
    EXPECT_TRUE(column.documentView()->findChildren<QPushButton*>().isEmpty());
    EXPECT_EQ(column.haveAddChatNum(), 120);

    // Each message once, in order, each below the one before.
    const QList<PRChatView*> bubbles = column.bubbles();
    for (int i = 1; i < bubbles.size(); ++i) {
        EXPECT_GE(bubbles[i]->geometry().top(), bubbles[i - 1]->geometry().bottom() + 1);
    }
    // The document holds them all, and scrolls.
    EXPECT_GE(column.documentView()->height(), bubbles.back()->geometry().bottom());
    EXPECT_EQ(column.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(ChatColumnViewTest, FortyNineHaveNoButtonAndFiftyAButtonThatOnlyGoes) {
    ChatColumnView column;
    column.showConversation(numbered(49));
    EXPECT_EQ(column.bubbles().size(), 49);
    EXPECT_EQ(column.morebun(), nullptr);

    column.showConversation(numbered(50));
    EXPECT_EQ(column.bubbles().size(), 50);
    ASSERT_NE(column.morebun(), nullptr);
    column.morebun()->click();
    settle();
    EXPECT_EQ(column.bubbles().size(), 50);
    EXPECT_EQ(column.morebun(), nullptr);
    EXPECT_EQ(visibleButtons(column), 0);
}

TEST_F(ChatColumnViewTest, AnotherConversationStartsAfreshAndNothingEmptiesTheColumn) {
    ChatColumnView column;
    column.resize(425, 500);
    column.showConversation(numbered(120));
    column.morebun()->click();
    settle();
    column.verticalScrollBar()->setValue(500);

    const auto small = numbered(3);
    column.showConversation(small);
    EXPECT_EQ(column.currentMessageTreeNode(), small);
    EXPECT_EQ(column.bubbles().size(), 3);
    EXPECT_EQ(column.morebun(), nullptr);
    EXPECT_EQ(column.verticalScrollBar()->value(), 0);
    // The first message starts 90 below the top.
    EXPECT_EQ(column.bubbles().front()->geometry().top(), 90);
    // A short conversation fills the scroll view without scrolling.
    EXPECT_EQ(column.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(column.documentView()->height(), column.height());

    column.showConversation(nullptr);
    EXPECT_TRUE(column.documentView()->children().isEmpty());
    EXPECT_EQ(column.currentMessageTreeNode(), nullptr);
}

// --- Widths -----------------------------------------------------------------------------------

// Long messages, sent and received, with words and without a space, in panes from the narrowest
// the column takes to wider than it grows: every bubble lies within the pane (received on its
// left, sent on its right), its text field within the bubble and the text within its field. One
// column goes through every width, so each row is also a resize of the row before.
TEST_F(ChatColumnViewTest, EveryBubbleAndItsTextLieWithinThePaneAtEveryWidth) {
    const QString words =
        QStringLiteral(
            "The address for Saturday is 1428 Elm Street, ring twice and park behind "
            "the bakery. ")
            .repeated(3);
    const QString unbroken = QStringLiteral("https://photos.example.org/") + QString(90, u'w');
    const auto talk = conversation({message(words, false), message(unbroken, false),
                                    message(words, true), message(unbroken, true)});
    const struct {
        const char* what;
        int width;  // of the view
        int height;
    } rows[] = {
        {"the smallest window's pane", 360, 600},
        {"the narrowest pane", 0, 600},
        {"a wide pane", 900, 600},
        {"the smallest window's pane, scrolling", 360, 200},
        {"the narrowest pane, scrolling", 0, 200},
    };
    ChatColumnView column;
    column.resize(425, 600);
    column.show();
    column.showConversation(talk);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        column.resize(row.width, row.height);
        settle();
        const int pane = column.viewport()->width();
        EXPECT_EQ(column.columnWidth(), pane);
        const QList<PRChatView*> bubbles = column.bubbles();
        ASSERT_EQ(bubbles.size(), 4);
        for (const PRChatView* bubble : bubbles) {
            const QRect frame = bubble->geometry();
            EXPECT_EQ(bubble->isReceived() ? frame.left() : pane - frame.right() - 1,
                      bubble->isReceived() ? 0 : 18);
            EXPECT_LT(frame.right(), pane);
            const ChatTextLabel* text = bubble->textView();
            EXPECT_TRUE(bubble->rect().contains(text->geometry()));
            const QSizeF used =
                nimbara::ui::measureChatText(text->text(), text->font(), text->wrapWidth());
            EXPECT_LE(used.width() + 2, text->width());
            EXPECT_LE(used.height(), text->height());
            const QLabel* date = bubble->dateTextView();
            EXPECT_LE(QFontMetricsF(date->font()).horizontalAdvance(date->text()) + 15,
                      frame.width());
        }
    }
}

// --- Sides, captions and colours --------------------------------------------------------------

TEST_F(ChatColumnViewTest, ReceivedOnTheLeftInGreySentOnTheRightInGreen) {
    ChatColumnView column;
    column.resize(425, 400);
    column.showConversation(conversation(
        {message(QStringLiteral("hi"), true), message(QStringLiteral("hello"), false)}));
    const QList<PRChatView*> bubbles = column.bubbles();
    ASSERT_EQ(bubbles.size(), 2);
    PRChatView* received = bubbles[0];
    PRChatView* sent = bubbles[1];

    EXPECT_EQ(received->geometry().left(), 0);
    EXPECT_EQ(sent->geometry().left(), 167);
    EXPECT_EQ(received->width(), 240);
    EXPECT_EQ(sent->width(), 240);
    EXPECT_EQ(received->messageType(), 1);
    EXPECT_EQ(sent->messageType(), 0);
    EXPECT_EQ(received->dateTextView()->text(), QStringLiteral("Amelia     2025-05-12 09:14"));
    EXPECT_EQ(sent->dateTextView()->text(), QStringLiteral("2025-05-12 09:14"));
    EXPECT_EQ(received->dateTextView()->palette().color(QPalette::WindowText), QColor(17, 11, 137));
    EXPECT_EQ(sent->dateTextView()->palette().color(QPalette::WindowText), QColor(52, 106, 82));
    EXPECT_EQ(received->textView()->text(), QStringLiteral("hi"));
    EXPECT_EQ(received->nameLayer(), QStringLiteral("+14155550188"));

    // The background is painted from the nine pieces: grey on the left, green on the right.
    const QImage drawn = column.documentView()->grab().toImage();
    const auto inside = [&drawn](const PRChatView* bubble) {
        const QRect g = bubble->geometry();
        return drawn.pixelColor(g.left() + 8, g.center().y());
    };
    const QColor grey = inside(received);
    const QColor green = inside(sent);
    EXPECT_LT(std::abs(grey.red() - grey.green()), 12) << grey.name().toStdString();
    EXPECT_GT(grey.lightness(), 200);
    EXPECT_GT(green.green(), green.red() + 40) << green.name().toStdString();
}

TEST_F(ChatColumnViewTest, ALongNameIsCutShortSoTheDateStillShows) {
    auto m = message(QStringLiteral("hi"));
    m->setMessageName(QStringLiteral("Amelia Hartwell-Montgomery of the Seven Seas"));
    ChatColumnView column;
    column.showConversation(conversation({m}));
    ASSERT_EQ(column.bubbles().size(), 1);
    const QLabel* caption = column.bubbles()[0]->dateTextView();
    EXPECT_TRUE(caption->text().startsWith(QStringLiteral("Amelia")))
        << caption->text().toStdString();
    EXPECT_TRUE(caption->text().endsWith(QStringLiteral("     2025-05-12 09:14")));
    EXPECT_LE(QFontMetricsF(caption->font()).horizontalAdvance(caption->text()),
              240 - caption->geometry().left());
}

TEST_F(ChatColumnViewTest, AttachmentStandInsAndEmptyTextsShowInOrangeRed) {
    ChatColumnView column;
    auto video = message(QStringLiteral("clip"));
    video->setIsHasAttach(true);
    video->setAttachType(QStringLiteral("Mov"));
    auto other = message(QStringLiteral("doc"));
    other->setIsHasAttach(true);
    other->setAttachType(QStringLiteral("pdf"));
    column.showConversation(conversation({video, message(QString()), other}));
    const QList<PRChatView*> bubbles = column.bubbles();
    ASSERT_EQ(bubbles.size(), 3);
    const QColor orange(217, 81, 30);

    ASSERT_NE(bubbles[0]->textView(), nullptr);
    EXPECT_EQ(bubbles[0]->textView()->text(), QStringLiteral("Video File"));
    EXPECT_EQ(bubbles[0]->textView()->palette().color(QPalette::WindowText), orange);

    ASSERT_NE(bubbles[1]->textView(), nullptr);
    EXPECT_EQ(bubbles[1]->textView()->text(), QStringLiteral("Unsaved File"));
    EXPECT_EQ(bubbles[1]->textView()->palette().color(QPalette::WindowText), orange);
    // Wide enough for its text.
    const QSizeF needed = nimbara::ui::measureChatText(QStringLiteral("Unsaved File"),
                                                       bubbles[1]->textView()->font(), 140);
    EXPECT_GE(bubbles[1]->textView()->width(), needed.width());

    // An attachment of another kind is a picture bubble with the stand-in picture.
    ASSERT_NE(bubbles[2]->imageView(), nullptr);
    EXPECT_EQ(bubbles[2]->height(), 130);
    EXPECT_EQ(bubbles[2]->imageView()->pixmap().size(), standInSize());
}

// --- Plain text -----------------------------------------------------------------------------

TEST_F(ChatColumnViewTest, TextsThatLookLikeMarkupShowLiterally) {
    const QString markup =
        QStringLiteral("<b>bold</b> &amp; <img src=\"x.png\"> <a href=x>link</a>");
    ASSERT_TRUE(Qt::mightBeRichText(markup));
    const QString name = QStringLiteral("<h1>Big</h1>");
    auto m = message(markup);
    m->setMessageName(QStringLiteral("<b>A</b>"));
    m->setMessageDate(QStringLiteral("<u>today</u>"));
    ChatColumnView column;
    column.showConversation(conversation({m}, name));

    const QList<PRChatView*> bubbles = column.bubbles();
    ASSERT_EQ(bubbles.size(), 1);
    EXPECT_EQ(bubbles[0]->textView()->text(), markup);
    EXPECT_EQ(bubbles[0]->textView()->textFormat(), Qt::PlainText);
    EXPECT_EQ(bubbles[0]->dateTextView()->text(), QStringLiteral("<b>A</b>     <u>today</u>"));
    EXPECT_EQ(bubbles[0]->dateTextView()->textFormat(), Qt::PlainText);
    auto* head = column.documentView()->findChild<PRChatNameView*>();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->text(), name);
    EXPECT_EQ(head->textFormat(), Qt::PlainText);
    // Every label of the column is plain text.
    for (QLabel* label : column.documentView()->findChildren<QLabel*>()) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
    }
    // The text is measured as it stands: its bubble is as high as the literal text needs.
    EXPECT_NEAR(bubbles[0]->height(),
                nimbara::ui::measureChatText(markup, bubbles[0]->textView()->font(), 140).height() +
                    33 + 35,
                1);
}

// --- Pictures -------------------------------------------------------------------------------

TEST_F(ChatColumnViewTest, AttachedPicturesArriveScaledAndUnreadableOnesShowTheStandIn) {
    TempDir dir;
    const QString red = writePicture(dir, "red.png", QSize(400, 200), Qt::red);
    const QString garbage = QString::fromStdString((dir / "broken.jpg").string());
    nimbara::test::writeText(dir / "broken.jpg", "not a picture at all");
    const QString missing = QString::fromStdString((dir / "missing.png").string());
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    const QString pipe = QString::fromStdString((dir / "pipe.png").string());

    // A relative path names the file in the working folder: it must not be read from there.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.str())));

    ChatColumnView column;
    // The pipe comes first: a worker stuck on it would never load the pictures after it.
    column.showConversation(
        conversation({picture(pipe), picture(red), picture(garbage), picture(missing),
                      picture(QStringLiteral("red.png")), picture(QString())}));
    const QList<PRChatView*> bubbles = column.bubbles();
    ASSERT_EQ(bubbles.size(), 6);
    EXPECT_TRUE(column.picturesPending());
    EXPECT_TRUE(pumpUntil([&] { return !column.picturesPending(); }));
    QDir::setCurrent(before);

    for (PRChatView* bubble : bubbles) {
        ASSERT_NE(bubble->imageView(), nullptr);
        EXPECT_EQ(bubble->height(), 130);
        EXPECT_EQ(bubble->imageView()->geometry(), QRect(30, 28, 80, 80));
    }
    // The picture itself, scaled down to fit its box.
    EXPECT_EQ(bubbles[1]->imageView()->pixmap().size(), QSize(80, 40));
    EXPECT_EQ(centreOf(bubbles[1]->imageView()->pixmap()), QColor(Qt::red));
    // Everything else: the stand-in.
    for (int i : {0, 2, 3, 4, 5}) {
        SCOPED_TRACE(i);
        const QPixmap shown = bubbles[i]->imageView()->pixmap();
        EXPECT_EQ(shown.size(), standInSize());
        EXPECT_NE(centreOf(shown), QColor(Qt::red));
    }
}

TEST_F(ChatColumnViewTest, TheHeadShowsThePartysPictureOrTheStandIn) {
    ChatColumnView column;
    auto first = message(QStringLiteral("hi"));
    first->setContactImageData(pngBytes(QSize(120, 90), Qt::blue));
    column.showConversation(conversation({first}));
    auto* picture = column.documentView()->findChild<QLabel*>(QStringLiteral("chatHeadPicture"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->geometry(), QRect(0, 5, 80, 60));
    EXPECT_TRUE(pumpUntil([&] { return !column.picturesPending(); }));
    EXPECT_EQ(picture->pixmap().size(), QSize(80, 60));
    EXPECT_EQ(centreOf(picture->pixmap()), QColor(Qt::blue));

    // Undecodable bytes, or none: the "contact" picture.
    auto broken = message(QStringLiteral("hi"));
    broken->setContactImageData(QByteArrayLiteral("\x89PNG broken"));
    for (const auto& m : {broken, message(QStringLiteral("hi"))}) {
        column.showConversation(conversation({m}));
        EXPECT_TRUE(pumpUntil([&] { return !column.picturesPending(); }));
        picture = column.documentView()->findChild<QLabel*>(QStringLiteral("chatHeadPicture"));
        ASSERT_NE(picture, nullptr);
        EXPECT_FALSE(picture->pixmap().isNull());
        EXPECT_NE(centreOf(picture->pixmap()), QColor(Qt::blue));
    }
    // A conversation without messages has no picture.
    column.showConversation(conversation({}));
    EXPECT_EQ(column.documentView()->findChild<QLabel*>(QStringLiteral("chatHeadPicture")),
              nullptr);
}

TEST_F(ChatColumnViewTest, TheColumnMayGoOrMoveOnWhilePicturesLoad) {
    TempDir dir;
    const QString big = writePicture(dir, "big.png", QSize(1600, 1200), Qt::darkGreen);
    std::vector<std::shared_ptr<PRMessageNode>> pictures;
    for (int i = 0; i < 50; ++i) {
        pictures.push_back(picture(big));
    }
    {
        auto column = std::make_unique<ChatColumnView>();
        column->showConversation(conversation(pictures));
        EXPECT_TRUE(column->picturesPending());
        column.reset();  // never waits for the decoding under way
    }
    // What was decoded for the old conversation never lands in the new one.
    ChatColumnView column;
    column.showConversation(conversation(pictures));
    column.showConversation(conversation({picture(QString())}));
    EXPECT_TRUE(pumpUntil([&] { return !column.picturesPending(); }));
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    ASSERT_EQ(column.bubbles().size(), 1);
    EXPECT_EQ(column.bubbles()[0]->imageView()->pixmap().size(), standInSize());
}

TEST(ChatPictureDecodeTest, OnlyAbsolutePathsToRegularFilesAreRead) {
    nimbara::test::ensureApplication();
    TempDir dir;
    const QSize box(80, 80);
    const QString red = writePicture(dir, "red.png", QSize(40, 30), Qt::red);
    // Small pictures are not scaled up.
    EXPECT_EQ(nimbara::ui::decodeChatPictureFile(red, box).size(), QSize(40, 30));
    // A pipe is refused at once instead of waiting for a writer; so is a device.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_TRUE(
        nimbara::ui::decodeChatPictureFile(QString::fromStdString((dir / "pipe").string()), box)
            .isNull());
    EXPECT_TRUE(nimbara::ui::decodeChatPictureFile(QStringLiteral("/dev/zero"), box).isNull());
    // A link is not followed, not even to a picture.
    std::filesystem::create_symlink(red.toStdString(), dir / "link.png");
    EXPECT_TRUE(
        nimbara::ui::decodeChatPictureFile(QString::fromStdString((dir / "link.png").string()), box)
            .isNull());
    EXPECT_TRUE(
        nimbara::ui::decodeChatPictureFile(QString::fromStdString(dir.str()), box).isNull());
    // A relative path is never resolved against the working folder.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.str())));
    EXPECT_TRUE(nimbara::ui::decodeChatPictureFile(QStringLiteral("red.png"), box).isNull());
    EXPECT_TRUE(nimbara::ui::decodeChatPictureFile(QStringLiteral("./red.png"), box).isNull());
    QDir::setCurrent(before);
    // Files past the size limit are not read.
    const std::filesystem::path large = dir / "large.png";
    {
        std::string bytes = nimbara::test::readText(red.toStdString());
        bytes.resize(static_cast<std::size_t>(nimbara::ui::kMaxChatPictureBytes) + 1, '\0');
        nimbara::test::writeText(large, bytes);
    }
    EXPECT_TRUE(
        nimbara::ui::decodeChatPictureFile(QString::fromStdString(large.string()), box).isNull());
}

}  // namespace
