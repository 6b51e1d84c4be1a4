#include "backup/chat_layout.h"

#include "backup/message_sender.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"

#include <algorithm>

namespace nimbara::backup {
namespace {

// Edge rows and columns of a bubble.
constexpr double kTopRow = 17;
constexpr double kBottomRow = 16;
constexpr double kTailColumn = 20;

// Truncation toward zero, as the column's positions are whole points.
double truncated(double value) {
    return static_cast<double>(static_cast<long long>(value));
}

}  // namespace

const PRMessageNode& chatMessageOrEmpty(const std::shared_ptr<PRMessageNode>& message) {
    static const PRMessageNode empty;
    return message ? *message : empty;
}

double chatColumnWidth(double width) {
    return std::max(width, kChatMinimumColumnWidth);
}

double chatBubbleWidth(double columnWidth) {
    return std::min(kChatBubbleWidth, chatColumnWidth(columnWidth) - kChatSentMargin);
}

double chatTextWrapWidth(double bubbleWidth) {
    // The field starts 25 in and keeps clear of the 16 wide right-hand pieces; it is 56 wider
    // than the text it shows (36 of the measured rectangle, 20 of its own).
    return std::max(1.0, bubbleWidth - (kChatBubbleWidth - kChatTextLayoutWidth));
}

QRectF calculateChatRect(const QString& text, const ChatTextMeasure& measure, double wrapWidth) {
    if (text.isNull() || text == QLatin1String("\n") || text == QLatin1String(" ") || !measure) {
        return QRectF();
    }
    const QSizeF used = measure(text, wrapWidth);
    QRectF r(0, 0, std::max(0.0, used.width()), std::max(0.0, used.height()));
    if (r.width() > 0) {
        r.setWidth(r.width() + 36);
        r.setHeight(r.height() + 33);
    }
    if (r.height() < 15) {
        r.setHeight(15);
    }
    return r;
}

ChatPieces chatBubblePieces(const QSizeF& size, bool received) {
    const double w = size.width();
    const double h = size.height();
    const double midW = chatContentLen(size);
    const double midH = chatContentHeight(size);
    const double bottomY = h - kBottomRow;
    if (received) {
        // The tail column on the left.
        return {{
            {0, 0, kTailColumn, kTopRow},
            {kTailColumn, 0, midW, kTopRow},
            {w - 16, 0, 16, kTopRow},
            {0, kTopRow, kTailColumn, midH},
            {kTailColumn, kTopRow, midW, midH},
            {w - 16, kTopRow, 16, midH},
            {0, bottomY, kTailColumn, kBottomRow},
            {kTailColumn, bottomY, midW, kBottomRow},
            {w - 16, bottomY, 16, kBottomRow},
        }};
    }
    // The tail column on the right.
    return {{
        {0, 0, 17, kTopRow},
        {16, 0, midW, kTopRow},
        {w - kTailColumn, 0, kTailColumn, kTopRow},
        {1, kTopRow, 16, midH},
        {16, kTopRow, midW, midH},
        {w - kTailColumn, kTopRow, kTailColumn, midH},
        {0, bottomY, 17, kBottomRow},
        {16, bottomY, midW, kBottomRow},
        {w - kTailColumn, bottomY, kTailColumn, kBottomRow},
    }};
}

ChatPictureInner chatPictureInner(const QSizeF& size) {
    const double h = size.height();
    // The picture's box sits halfway down, measured from the bottom edge.
    const double fromBottom = (h - 85) / 2;
    return {QRectF(0, 0, 200, 10), QRectF(15, 10, size.width(), 15),
            QRectF(30, h - fromBottom - kChatPictureSide, kChatPictureSide, kChatPictureSide)};
}

ChatTextInner chatTextInner(const QSizeF& size, const QRectF& textRect, const QString& text,
                            const ChatTextMeasure& measure) {
    const double h = size.height();
    const double textHeight = textRect.height();
    // Distance of the field's lower edge from the bubble's lower edge.
    const double fromBottom =
        truncated(h - textHeight > 40 ? (h - 80) / 2 : (h - textHeight) / 2 - 10);
    const double textWidth = text.isEmpty() ? textRect.width() + 20 : textRect.width();
    ChatTextInner inner;
    inner.line = QRectF(0, -5, 200, 10);
    inner.date = QRectF(15, 5, size.width(), 15);
    inner.text = QRectF(25, h - fromBottom - textHeight, textWidth + 20, textHeight);
    if (text.isEmpty()) {
        inner.shown = QString::fromLatin1(kChatUnsavedText);
        inner.attention = true;
        // The stand-in is wider than the room an empty text measures: it is never cut.
        if (measure) {
            const QSizeF needed = measure(inner.shown, chatTextWrapWidth(size.width()));
            inner.text.setWidth(std::max(inner.text.width(), needed.width() + 4));
            inner.text.setHeight(std::max(inner.text.height(), needed.height()));
        }
    } else {
        inner.shown = text;
        inner.attention = text == QLatin1String(kChatVideoText) ||
                          text == QLatin1String(kChatContactText) ||
                          text == QLatin1String(kChatLocationText);
    }
    // Never past the bubble's right-hand pieces.
    inner.text.setWidth(std::max(0.0, std::min(inner.text.width(), size.width() - 25 - 16)));
    return inner;
}

bool isChatAttachment(const PRMessageNode& message) {
    return message.isHasAttach() || message.attachmentPath().size() >= 2;
}

bool isChatReceived(const PRMessageNode& message) {
    return message.messageType() == QLatin1String("Received");
}

ChatBatch firstChatBatch(std::size_t count, std::size_t batch) {
    if (count < batch) {
        return {0, count, false};
    }
    return {0, batch, true};
}

ChatBatch nextChatBatch(std::size_t shown, std::size_t count, std::size_t batch) {
    if (shown >= count) {
        return {shown, shown, false};
    }
    if (count - shown > batch) {
        return {shown, shown + batch, true};
    }
    return {shown, count, false};
}

ChatColumnLayout::ChatColumnLayout(ChatTextMeasure measure, double columnWidth)
    : measure_(std::move(measure)), width_(chatColumnWidth(columnWidth)) {}

void ChatColumnLayout::reset() {
    previous_ = QRectF();
    placed_ = 0;
    truncateBottom_ = false;
}

ChatHeadPlan ChatColumnLayout::placeHead(const PRMessageTreeNode& conversation) {
    ChatHeadPlan head;
    double top = truncated(previous_.bottom() + 10);
    if (top == 10) {
        top = 0;  // nothing placed yet
    }
    head.top = top;
    head.background = QRectF(-1, top - 1, width_, 76);
    head.picture = QRectF(0, top + 5, 80, 60);
    // The name starts past the picture and ends inside the column, never under either.
    head.name = QRectF(88, top + 25, width_ - 88 - 8, 20);
    head.hasPicture = conversation.messageCount() > 0;
    head.nameText = conversation.messageTreeNodeName();
    previous_ = head.name.translated(0, 45);
    truncateBottom_ = false;
    return head;
}

ChatBubblePlan ChatColumnLayout::placeMessage(const PRMessageNode& message, std::size_t index) {
    ++placed_;
    ChatBubblePlan bubble;
    bubble.index = index;
    bubble.received = isChatReceived(message);
    bubble.type = bubble.received ? 1 : 0;
    bubble.captionDate = message.messageDate();
    if (bubble.received) {
        bubble.captionName = messageSenderLabel(message);
        bubble.caption = bubble.captionName + QLatin1String(kChatCaptionGap) + bubble.captionDate;
    } else {
        bubble.caption = bubble.captionDate;
    }
    bubble.name = message.messagePhone();
    const double width = bubbleWidth();
    const double x = bubble.received ? kChatReceivedX : width_ - kChatSentMargin - width;
    const double y = previous_.bottom();

    const auto textBubble = [&](const QString& text) {
        bubble.kind = ChatBubbleKind::Text;
        bubble.text = text;
        // A missing text is laid out as an empty one, so that its "Unsaved File" has a line.
        bubble.textRect = chatRect(text.isNull() ? QStringLiteral("") : text);
        bubble.frame = QRectF(x, y, width, bubble.textRect.height() + 35);
    };
    const auto pictureBubble = [&](ChatBubbleKind kind) {
        bubble.kind = kind;
        bubble.frame = QRectF(x, y, width, kChatPictureBubbleHeight);
    };

    if (isChatAttachment(message)) {
        const QString type = message.attachType();
        if (type == QLatin1String("Image")) {
            pictureBubble(ChatBubbleKind::Picture);
            bubble.picturePath = message.attachmentPath();
        } else if (type == QLatin1String("Mov")) {
            textBubble(QString::fromLatin1(kChatVideoText));
        } else if (type == QLatin1String("Contact")) {
            textBubble(QString::fromLatin1(kChatContactText));
        } else if (type == QLatin1String("Location")) {
            textBubble(QString::fromLatin1(kChatLocationText));
        } else {
            pictureBubble(ChatBubbleKind::Placeholder);
        }
    } else {
        textBubble(message.messageContent());
    }
    previous_ = bubble.frame;
    truncateBottom_ = false;
    return bubble;
}

QRectF ChatColumnLayout::placeMoreButton() {
    // 150 in, or centred in a column too narrow for that.
    const double x = std::min(150.0, truncated((width_ - 80) / 2));
    previous_ = QRectF(x, truncated(previous_.bottom() + 10), 80, 30);
    truncateBottom_ = true;
    return previous_;
}

QRectF ChatColumnLayout::placeContactPicture(bool received) {
    const QRectF picture(received ? 0 : width_ - 50, truncated(previous_.bottom() + 40), 32, 32);
    previous_ = picture.translated(0, -67);
    truncateBottom_ = false;
    return picture;
}

ChatDocumentSize ChatColumnLayout::documentSize(double frameHeight) const {
    const double bottom = previous_.bottom();
    if (truncated(bottom) > frameHeight) {
        return {truncateBottom_ ? truncated(bottom) : bottom, true};
    }
    return {frameHeight, false};
}

ChatColumnPlan planChatColumn(const PRMessageTreeNode& conversation, int morePresses,
                              const ChatTextMeasure& measure, double frameHeight,
                              double columnWidth) {
    ChatColumnPlan plan;
    ChatColumnLayout layout(measure, columnWidth);
    plan.head = layout.placeHead(conversation);
    const PRMessageTreeNode::MessageList messages = conversation.MessageNodeArray();
    const auto place = [&](const ChatBatch& batch) {
        for (std::size_t i = batch.begin; i < batch.end; ++i) {
            plan.bubbles.push_back(layout.placeMessage(chatMessageOrEmpty(messages[i]), i));
        }
        plan.moreButton.reset();
        if (batch.moreButton) {
            plan.moreButton = layout.placeMoreButton();
        }
    };
    place(firstChatBatch(messages.size()));
    for (int press = 0; press < morePresses && plan.moreButton; ++press) {
        place(nextChatBatch(layout.haveAddChatNum(), messages.size()));
    }
    plan.document = layout.documentSize(frameHeight);
    return plan;
}

}  // namespace nimbara::backup
