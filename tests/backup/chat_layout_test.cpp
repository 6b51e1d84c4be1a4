// The chat column's geometry without widgets: measured text rectangles, the nine pieces of a
// bubble, what each message becomes and where it goes, the head, the "More..." batches and the
// document's height. Text is measured by a fixed-pitch stand-in: 7 wide a character, 20
// characters a line, 13 high a line.
#include <gtest/gtest.h>

#include <QString>

#include <memory>
#include <vector>

#include "backup/chat_layout.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"

namespace {

using namespace nimbara::backup;

constexpr double kCharWidth = 7;
constexpr double kLineHeight = 13;

QSizeF fixedPitch(const QString& text, double width) {
    const int perLine = static_cast<int>(width / kCharWidth);
    const int chars = static_cast<int>(text.size());
    const int lines = chars == 0 ? 1 : (chars + perLine - 1) / perLine;
    return {std::min(chars, perLine) * kCharWidth, lines * kLineHeight};
}

const ChatTextMeasure kMeasure = fixedPitch;

struct Msg {
    const char* type = "Received";
    const char* content = "hello";
    const char* attachType = nullptr;
    const char* attachPath = nullptr;
    bool hasAttach = false;
};

std::shared_ptr<PRMessageNode> node(const Msg& m) {
    auto n = std::make_shared<PRMessageNode>();
    n->setMessageType(QString::fromLatin1(m.type));
    n->setMessageContent(m.content == nullptr ? QString() : QString::fromUtf8(m.content));
    n->setMessageName(QStringLiteral("Amelia"));
    n->setMessagePhone(QStringLiteral("+14155550188"));
    n->setMessageDate(QStringLiteral("2025-05-12 09:14"));
    n->setIsHasAttach(m.hasAttach);
    if (m.attachType != nullptr) {
        n->setAttachType(QString::fromLatin1(m.attachType));
    }
    if (m.attachPath != nullptr) {
        n->setAttachmentPath(QString::fromLatin1(m.attachPath));
    }
    return n;
}

std::shared_ptr<PRMessageTreeNode> conversation(std::size_t count) {
    auto c = std::make_shared<PRMessageTreeNode>();
    c->setMessageTreeNodeName(QStringLiteral("Amelia"));
    for (std::size_t i = 0; i < count; ++i) {
        c->addMessageNode(node({.type = i % 2 == 0 ? "Received" : "Send"}));
    }
    return c;
}

// --- Measured text rectangles ---------------------------------------------------------------

TEST(ChatRectTest, MeasuredTextsGetTheirPaddingAndAtLeastOneLine) {
    struct Case {
        QString text;
        QRectF expected;
    };
    const Case cases[] = {
        {QString(), QRectF()},                      // no text at all
        {QStringLiteral("\n"), QRectF()},           // a single line break
        {QStringLiteral(" "), QRectF()},            // a single blank
        {QStringLiteral(""), QRectF(0, 0, 0, 15)},  // width 0: one line, raised to 15
        {QStringLiteral("hello"), QRectF(0, 0, 35 + 36, 13 + 33)},  // one short line
        {QString(45, u'x'), QRectF(0, 0, 140 + 36, 39 + 33)},       // three lines, full width
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(calculateChatRect(c.text, kMeasure), c.expected);
    }
    // A text whose laid-out width is 0 keeps its used height when that is 15 or more.
    const ChatTextMeasure tall = [](const QString&, double) { return QSizeF(0, 22); };
    EXPECT_EQ(calculateChatRect(QStringLiteral("x"), tall), QRectF(0, 0, 0, 22));
    // Texts are laid out 140 wide.
    double asked = 0;
    calculateChatRect(QStringLiteral("x"), [&](const QString&, double width) {
        asked = width;
        return QSizeF(7, 13);
    });
    EXPECT_EQ(asked, 140);
}

// --- The nine pieces --------------------------------------------------------------------------

TEST(ChatBubblePiecesTest, PiecesOfReceivedAndSentBubbles) {
    const QSizeF size(240, 60);
    const ChatPieces received = chatBubblePieces(size, true);
    const ChatPieces sent = chatBubblePieces(size, false);
    // A 240 x 60 bubble has a centre row 27 high and a centre column 204 wide.
    EXPECT_EQ(received[kChatCentre], QRectF(20, 17, 204, 27));
    EXPECT_EQ(sent[kChatCentre], QRectF(16, 17, 204, 27));
    EXPECT_EQ(chatContentLen(size), 204);
    EXPECT_EQ(chatContentHeight(size), 27);
    // The wider column is on the tail's side: left when received, right when sent.
    EXPECT_EQ(received[kChatBottomLeft], QRectF(0, 44, 20, 16));
    EXPECT_EQ(received[kChatTopRight], QRectF(224, 0, 16, 17));
    EXPECT_EQ(sent[kChatTopLeft], QRectF(0, 0, 17, 17));
    EXPECT_EQ(sent[kChatCentreLeft], QRectF(1, 17, 16, 27));
    EXPECT_EQ(sent[kChatBottomRight], QRectF(220, 44, 20, 16));
    // Both have the same rows.
    for (int piece = 0; piece < 9; ++piece) {
        EXPECT_EQ(received[piece].top(), sent[piece].top()) << piece;
        EXPECT_EQ(received[piece].height(), sent[piece].height()) << piece;
    }
    // The received pieces cover the bubble exactly: no gap, no overlap.
    double area = 0;
    for (const QRectF& piece : received) {
        area += piece.width() * piece.height();
        EXPECT_TRUE(QRectF(QPointF(0, 0), size).contains(piece));
    }
    EXPECT_EQ(area, 240.0 * 60.0);
}

TEST(ChatBubbleInnerTest, CaptionPictureAndTextPlaces) {
    // A picture bubble: the picture's 80 x 80 box halfway down, the caption near the top.
    const ChatPictureInner picture = chatPictureInner(QSizeF(240, 130));
    EXPECT_EQ(picture.date, QRectF(15, 10, 240, 15));
    EXPECT_EQ(picture.picture, QRectF(30, 27.5, 80, 80));

    // A text bubble is 35 higher than its text: the field starts 28 below the top.
    const QRectF one = calculateChatRect(QStringLiteral("hello"), kMeasure);
    const QSizeF bubble(240, one.height() + 35);
    const ChatTextInner text = chatTextInner(bubble, one, QStringLiteral("hello"), kMeasure);
    EXPECT_EQ(text.date, QRectF(15, 5, 240, 15));
    EXPECT_EQ(text.text, QRectF(25, 28, one.width() + 20, one.height()));
    EXPECT_EQ(text.shown, QStringLiteral("hello"));
    EXPECT_FALSE(text.attention);

    // A field more than 40 lower than its bubble is centred on the bubble's middle less 40.
    const ChatTextInner low =
        chatTextInner(QSizeF(240, 130), QRectF(0, 0, 60, 50), QStringLiteral("x"), kMeasure);
    EXPECT_EQ(low.text, QRectF(25, 130 - 25 - 50, 80, 50));

    // The stand-ins of attachments are orange-red; other texts are not.
    for (const char* standIn : {kChatVideoText, kChatContactText, kChatLocationText}) {
        EXPECT_TRUE(chatTextInner(bubble, one, QLatin1String(standIn), kMeasure).attention);
    }
}

TEST(ChatBubbleInnerTest, AnEmptyTextShowsUnsavedFileUncut) {
    const QRectF empty = calculateChatRect(QStringLiteral(""), kMeasure);
    const ChatTextInner inner =
        chatTextInner(QSizeF(240, empty.height() + 35), empty, QStringLiteral(""), kMeasure);
    EXPECT_EQ(inner.shown, QStringLiteral("Unsaved File"));
    EXPECT_TRUE(inner.attention);
    // 20 wider than the measured rectangle at least, and wide enough for its stand-in.
    EXPECT_GE(inner.text.width(), empty.width() + 20 + 20);
    EXPECT_GE(inner.text.width(), fixedPitch(inner.shown, 140).width());
    EXPECT_LE(inner.text.right(), 240 - 16);
}

// --- What each message becomes and where it goes ---------------------------------------------

TEST(ChatColumnLayoutTest, MessagesAreStackedBelowTheHeadByKindAndSide) {
    struct Case {
        const char* what;
        Msg message;
        ChatBubbleKind kind;
        double x;
        double height;  // of the bubble
        const char* text;
    };
    const double oneLine = 13 + 33 + 35;
    const Case cases[] = {
        {"received text",
         {.type = "Received", .content = "hello"},
         ChatBubbleKind::Text,
         0,
         oneLine,
         "hello"},
        {"sent text",
         {.type = "Send", .content = "hello"},
         ChatBubbleKind::Text,
         167,
         oneLine,
         "hello"},
        {"unknown type is sent",
         {.type = "unknown", .content = "hi"},
         ChatBubbleKind::Text,
         167,
         oneLine,
         "hi"},
        {"long text",
         {.content = "0123456789012345678901234567890123456789012345"},
         ChatBubbleKind::Text,
         0,
         3 * 13 + 33 + 35,
         nullptr},
        {"empty text", {.content = ""}, ChatBubbleKind::Text, 0, 15 + 35, ""},
        {"single blank", {.content = " "}, ChatBubbleKind::Text, 0, 35, " "},
        // A missing text is laid out as an empty one, so that its "Unsaved File" shows.
        {"missing text", {.content = nullptr}, ChatBubbleKind::Text, 0, 15 + 35, ""},
        {"picture",
         {.attachType = "Image", .attachPath = "/b/ab/abcdef", .hasAttach = true},
         ChatBubbleKind::Picture,
         0,
         130,
         nullptr},
        {"picture named only by its path",
         {.type = "Send", .attachType = "Image", .attachPath = "/b", .hasAttach = false},
         ChatBubbleKind::Picture,
         167,
         130,
         nullptr},
        {"a one-character path is no attachment",
         {.content = "text", .attachType = "Image", .attachPath = "/", .hasAttach = false},
         ChatBubbleKind::Text,
         0,
         oneLine,
         "text"},
        {"video",
         {.attachType = "Mov", .hasAttach = true},
         ChatBubbleKind::Text,
         0,
         oneLine,
         "Video File"},
        {"contact card",
         {.attachType = "Contact", .hasAttach = true},
         ChatBubbleKind::Text,
         0,
         oneLine,
         "Contact File"},
        {"location",
         {.attachType = "Location", .hasAttach = true},
         ChatBubbleKind::Text,
         0,
         oneLine,
         "Location File"},
        {"unknown attachment",
         {.attachType = "pdf", .hasAttach = true},
         ChatBubbleKind::Placeholder,
         0,
         130,
         nullptr},
        {"attachment without a type",
         {.hasAttach = true},
         ChatBubbleKind::Placeholder,
         0,
         130,
         nullptr},
    };
    auto c = std::make_shared<PRMessageTreeNode>();
    for (const Case& test : cases) {
        c->addMessageNode(node(test.message));
    }
    const ChatColumnPlan plan = planChatColumn(*c, 0, kMeasure, 400);
    ASSERT_EQ(plan.bubbles.size(), std::size(cases));
    double y = 90;  // the first message starts 90 below the head's top
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& test = cases[i];
        const ChatBubblePlan& bubble = plan.bubbles[i];
        SCOPED_TRACE(test.what);
        EXPECT_EQ(bubble.index, i);
        EXPECT_EQ(bubble.kind, test.kind);
        EXPECT_EQ(bubble.frame, QRectF(test.x, y, 240, test.height));
        EXPECT_EQ(bubble.received, test.x == 0);
        EXPECT_EQ(bubble.type, test.x == 0 ? 1 : 0);
        if (test.text != nullptr) {
            EXPECT_EQ(bubble.text, QString::fromLatin1(test.text));
        }
        EXPECT_EQ(bubble.name, QStringLiteral("+14155550188"));
        y += test.height;
    }
    EXPECT_EQ(plan.bubbles[7].picturePath, QStringLiteral("/b/ab/abcdef"));
    EXPECT_FALSE(plan.moreButton);
}

TEST(ChatColumnLayoutTest, CaptionsNameTheSenderOfReceivedMessagesOnly) {
    ChatColumnLayout layout(kMeasure);
    const ChatBubblePlan received = layout.placeMessage(*node({.type = "Received"}), 0);
    EXPECT_EQ(received.caption, QStringLiteral("Amelia     2025-05-12 09:14"));
    EXPECT_EQ(received.captionName, QStringLiteral("Amelia"));
    EXPECT_EQ(received.captionDate, QStringLiteral("2025-05-12 09:14"));
    const ChatBubblePlan sent = layout.placeMessage(*node({.type = "Send"}), 1);
    EXPECT_EQ(sent.caption, QStringLiteral("2025-05-12 09:14"));
    EXPECT_TRUE(sent.captionName.isEmpty());
    // Without a contact name the sender is named by its address.
    auto unnamed = node({.type = "Received"});
    unnamed->setMessageName(QString());
    EXPECT_EQ(layout.placeMessage(*unnamed, 2).captionName, QStringLiteral("+14155550188"));
}

TEST(ChatColumnLayoutTest, HeadPicturesAndNameAndWhereTheNextGoes) {
    ChatColumnLayout layout(kMeasure);
    const auto c = conversation(1);
    const ChatHeadPlan head = layout.placeHead(*c);
    EXPECT_EQ(head.top, 0);
    EXPECT_EQ(head.background, QRectF(-1, -1, 425, 76));
    EXPECT_EQ(head.picture, QRectF(0, 5, 80, 60));
    EXPECT_EQ(head.name, QRectF(88, 25, 329, 20));
    EXPECT_FALSE(head.name.intersects(head.picture)) << "the picture is never drawn over the name";
    EXPECT_LE(head.name.right(), head.background.right());
    EXPECT_TRUE(head.hasPicture);
    EXPECT_EQ(head.nameText, QStringLiteral("Amelia"));
    EXPECT_EQ(layout.previousMessageBubbleFrame().bottom(), 90);

    // A head placed below something goes 10 lower, on a whole point.
    layout.placeMessage(*node({}), 0);  // 90 + 81 = 171
    const ChatHeadPlan second = layout.placeHead(PRMessageTreeNode());
    EXPECT_EQ(second.top, 181);
    EXPECT_FALSE(second.hasPicture);  // no message, no picture

    // A small picture beside a message: 40 below, and the next element 67 higher than it.
    ChatColumnLayout side(kMeasure);
    side.placeHead(*c);
    EXPECT_EQ(side.placeContactPicture(true), QRectF(0, 130, 32, 32));
    EXPECT_EQ(side.previousMessageBubbleFrame(), QRectF(0, 63, 32, 32));
    EXPECT_EQ(side.placeContactPicture(false), QRectF(375, 135, 32, 32));
}

// --- Batches and "More..." ------------------------------------------------------------------

TEST(ChatBatchTest, BatchesOfFiftyWithMoreWhileMoreAreLeft) {
    struct Case {
        std::size_t count;
        std::vector<std::size_t> shownAfterEachPress;  // the first entry: before any press
        std::vector<bool> buttonAfterEachPress;
    };
    const Case cases[] = {
        {0, {0, 0}, {false, false}},
        {1, {1, 1}, {false, false}},
        {49, {49, 49}, {false, false}},
        {50, {50, 50, 50}, {true, false, false}},  // the button only removes itself
        {51, {50, 51, 51}, {true, false, false}},
        {100, {50, 100, 100}, {true, false, false}},
        {101, {50, 100, 101, 101}, {true, true, false, false}},
        {120, {50, 100, 120, 120}, {true, true, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        const auto conv = conversation(c.count);
        for (std::size_t presses = 0; presses < c.shownAfterEachPress.size(); ++presses) {
            SCOPED_TRACE(presses);
            const ChatColumnPlan plan =
                planChatColumn(*conv, static_cast<int>(presses), kMeasure, 400);
            EXPECT_EQ(plan.bubbles.size(), c.shownAfterEachPress[presses]);
            EXPECT_EQ(plan.moreButton.has_value(), c.buttonAfterEachPress[presses]);
            // Each message is shown once, in its order.
            for (std::size_t i = 0; i < plan.bubbles.size(); ++i) {
                EXPECT_EQ(plan.bubbles[i].index, i);
            }
        }
    }
}

TEST(ChatBatchTest, APressWithNothingLeftShowsNothing) {
    EXPECT_TRUE(nextChatBatch(50, 50).empty());
    EXPECT_TRUE(nextChatBatch(130, 120).empty());
    EXPECT_FALSE(nextChatBatch(130, 120).moreButton);
}

TEST(ChatBatchTest, TheButtonSitsBelowItsBatchAndTheNextBatchBelowTheButton) {
    const auto conv = conversation(120);
    const ChatColumnPlan first = planChatColumn(*conv, 0, kMeasure, 400);
    ASSERT_TRUE(first.moreButton);
    const double lastBottom = first.bubbles.back().frame.bottom();
    EXPECT_EQ(*first.moreButton, QRectF(150, static_cast<int>(lastBottom + 10), 80, 30));
    // The document ends with the button, on a whole point, and scrolls.
    EXPECT_TRUE(first.document.scroller);
    EXPECT_EQ(first.document.height, first.moreButton->bottom());

    const ChatColumnPlan second = planChatColumn(*conv, 1, kMeasure, 400);
    EXPECT_EQ(second.bubbles[50].frame.top(), first.moreButton->bottom());
    // The first 50 bubbles stay where they were.
    for (std::size_t i = 0; i < 50; ++i) {
        EXPECT_EQ(second.bubbles[i].frame, first.bubbles[i].frame);
    }
}

TEST(ChatColumnLayoutTest, DocumentIsAsHighAsItsContentOrTheScrollView) {
    // Two messages fit a 400-high view: the document is the view's height, without scroller.
    const ChatColumnPlan small = planChatColumn(*conversation(2), 0, kMeasure, 400);
    EXPECT_FALSE(small.document.scroller);
    EXPECT_EQ(small.document.height, 400);
    // Forty do not: the document ends with the last bubble.
    const ChatColumnPlan large = planChatColumn(*conversation(40), 0, kMeasure, 400);
    EXPECT_TRUE(large.document.scroller);
    EXPECT_EQ(large.document.height, large.bubbles.back().frame.bottom());
    EXPECT_EQ(large.document.height, 90 + 40 * (13 + 33 + 35));
}

TEST(ChatColumnLayoutTest, AMissingMessageIsDrawnAsAnEmptySentOne) {
    auto c = std::make_shared<PRMessageTreeNode>();
    c->addMessageNode(nullptr);
    const ChatColumnPlan plan = planChatColumn(*c, 0, kMeasure, 400);
    ASSERT_EQ(plan.bubbles.size(), 1u);
    EXPECT_EQ(plan.bubbles[0].kind, ChatBubbleKind::Text);
    EXPECT_EQ(plan.bubbles[0].frame.x(), 167);
}

}  // namespace
