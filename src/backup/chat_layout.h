// The geometry of a conversation drawn as a column of speech bubbles: where the head (picture and
// name), each bubble, and the "More..." button go, what each bubble shows, how it is cut into its
// nine background pieces and where its caption and content sit, and which messages each batch
// shows. Pure functions without widgets: text is measured through a callback, so the same code
// serves the widgets and the tests.
//
// Column coordinates grow downwards from the top of the column; so do a bubble's own coordinates
// (y = 0 is the bubble's top edge).
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PRMessageNode;
class PRMessageTreeNode;

namespace nimbara::backup {

// The column's width when nothing else is said: the widest the conversation pane gets.
inline constexpr double kChatColumnWidth = 425;
// The narrowest column laid out: a narrower pane is given this width.
inline constexpr double kChatMinimumColumnWidth = 160;
// The widest bubble; narrower columns get narrower bubbles.
inline constexpr double kChatBubbleWidth = 240;
inline constexpr double kChatReceivedX = 0;
// Room between a sent bubble and the column's right edge.
inline constexpr double kChatSentMargin = 18;
inline constexpr double kChatSentX = kChatColumnWidth - kChatSentMargin - kChatBubbleWidth;
inline constexpr double kChatPictureBubbleHeight = 130;
// Width of the box a message text is laid out in, in the widest bubble.
inline constexpr double kChatTextLayoutWidth = 140;
// Messages shown at once, and added by each press of "More...".
inline constexpr std::size_t kChatBatchSize = 50;
// Side of the square a picture bubble shows its picture in.
inline constexpr int kChatPictureSide = 80;

// Point sizes (pixels) of the column's texts.
inline constexpr int kChatTextFontSize = 11;
inline constexpr int kChatDateFontSize = 13;

inline constexpr const char* kChatMoreTitle = "More...";
inline constexpr const char* kChatVideoText = "Video File";
inline constexpr const char* kChatContactText = "Contact File";
inline constexpr const char* kChatLocationText = "Location File";
inline constexpr const char* kChatUnsavedText = "Unsaved File";
// Between the name and the date of a received message's caption.
inline constexpr const char* kChatCaptionGap = "     ";

// The size of the rectangle `text` uses when laid out in lines at most `width` wide (width 0 when
// the text has nothing visible, height one line for an empty text).
using ChatTextMeasure = std::function<QSizeF(const QString& text, double width)>;

// A column's width as laid out: `width`, or the narrowest column when it is narrower.
double chatColumnWidth(double width);
// The width of every bubble of a column `columnWidth` wide: the widest bubble, or what the
// column leaves beside a sent bubble's margin.
double chatBubbleWidth(double columnWidth);
// The width a bubble `bubbleWidth` wide lays its text out in: its text field, less the padding
// the measured rectangle and the field add, always stays within the bubble.
double chatTextWrapWidth(double bubbleWidth);

// The measured rectangle of a message text laid out `wrapWidth` wide: the zero rectangle for a
// null text, a single line break or a single blank; else the used rectangle, 36 wider and 33
// higher when its width is above 0, and at least 15 high.
QRectF calculateChatRect(const QString& text, const ChatTextMeasure& measure,
                         double wrapWidth = kChatTextLayoutWidth);

// The nine background pieces, in the order top-left, top, top-right, centre-left, centre,
// centre-right, bottom-left, bottom, bottom-right.
enum ChatPiece {
    kChatTopLeft,
    kChatTop,
    kChatTopRight,
    kChatCentreLeft,
    kChatCentre,
    kChatCentreRight,
    kChatBottomLeft,
    kChatBottom,
    kChatBottomRight,
};
using ChatPieces = std::array<QRectF, 9>;

// The pieces of a bubble of `size`: the wider column (20) is on the tail's side, left for a
// received bubble and right for a sent one; the edge rows are 17 (top) and 16 (bottom) high.
ChatPieces chatBubblePieces(const QSizeF& size, bool received);

// Width and height of the stretching centre piece.
inline double chatContentLen(const QSizeF& size) {
    return size.width() - 36;
}
inline double chatContentHeight(const QSizeF& size) {
    return size.height() - 33;
}

// Where a picture bubble puts its (empty) top line, its date caption and its picture.
struct ChatPictureInner {
    QRectF line;
    QRectF date;
    QRectF picture;
};
ChatPictureInner chatPictureInner(const QSizeF& size);

// Where a text bubble puts its (empty) top line, its date caption and its text field, and what
// the field shows.
struct ChatTextInner {
    QRectF line;
    QRectF date;
    QRectF text;
    QString shown;           // the text, or "Unsaved File" for an empty one
    bool attention = false;  // drawn in orange-red: an attachment's stand-in text or "Unsaved File"
};
// `textRect` is what calculateChatRect gave for `text`; `measure` sizes the "Unsaved File" stand-in
// so that it is never cut.
ChatTextInner chatTextInner(const QSizeF& size, const QRectF& textRect, const QString& text,
                            const ChatTextMeasure& measure);

// What a message becomes.
enum class ChatBubbleKind {
    Text,         // a text bubble: the message text or an attachment's stand-in text
    Picture,      // a picture bubble showing the attached picture file
    Placeholder,  // a picture bubble showing the "Contact" stand-in picture
};

// A message is an attachment when it says so or names an attachment path of 2 or more characters.
bool isChatAttachment(const PRMessageNode& message);
// The message, or an empty one in place of a missing one.
const PRMessageNode& chatMessageOrEmpty(const std::shared_ptr<PRMessageNode>& message);

// A message is drawn as received when its type is "Received"; everything else as sent.
bool isChatReceived(const PRMessageNode& message);

struct ChatBubblePlan {
    std::size_t index = 0;  // the message's place in its conversation
    ChatBubbleKind kind = ChatBubbleKind::Text;
    bool received = false;
    int type = 0;         // 1 received, 0 sent
    QRectF frame;         // in the column
    QRectF textRect;      // Text: the measured rectangle
    QString caption;      // the date caption ("name     date" when received, else the date)
    QString captionName;  // its parts: the name (received only) and the date
    QString captionDate;
    QString text;         // Text: the message text or the attachment's stand-in text
    QString name;         // the other party's address
    QString picturePath;  // Picture: the attachment's stored file (may be anything: untrusted)
};

struct ChatHeadPlan {
    double top = 0;
    QRectF background;        // the "chatHead" strip
    QRectF picture;           // the other party's picture
    QRectF name;              // the name label
    bool hasPicture = false;  // false when the conversation has no message
    QString nameText;
};

// Which messages a batch shows: [begin, end), and whether "More..." follows it.
struct ChatBatch {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool moreButton = false;
    bool empty() const { return begin == end; }
};

// The first batch of a conversation of `count` messages: all of them under `batch`, otherwise the
// first `batch` followed by "More..." (so exactly `batch` messages also get the button, which then
// only removes itself).
ChatBatch firstChatBatch(std::size_t count, std::size_t batch = kChatBatchSize);
// The batch a press of "More..." adds after `shown` messages: the next `batch` with another
// button when more than `batch` are left, else the rest without one; empty when none is left.
ChatBatch nextChatBatch(std::size_t shown, std::size_t count, std::size_t batch = kChatBatchSize);

// The document's height for a scroll view `frameHeight` high, and whether it scrolls.
struct ChatDocumentSize {
    double height = 0;
    bool scroller = false;
};

// Places the elements of one conversation one after the other, each below the last one placed,
// within a column of a given width: received bubbles on its left edge, sent ones on its right.
// Stateful and incremental, as the column is built batch by batch.
class ChatColumnLayout {
  public:
    explicit ChatColumnLayout(ChatTextMeasure measure, double columnWidth = kChatColumnWidth);

    // Back to an empty column.
    void reset();
    // The width of the column for what is placed from now on (see chatColumnWidth): a column
    // of another width is placed again from a reset.
    void setColumnWidth(double width) { width_ = chatColumnWidth(width); }
    double columnWidth() const { return width_; }
    double bubbleWidth() const { return chatBubbleWidth(width_); }

    // The head, 10 below what was placed last (at 0 on an empty column); the first message goes
    // 90 below its top.
    ChatHeadPlan placeHead(const PRMessageTreeNode& conversation);
    // One message of the conversation (`index` is its place in it).
    ChatBubblePlan placeMessage(const PRMessageNode& message, std::size_t index);
    // The "More..." button, 10 below the last element.
    QRectF placeMoreButton();
    // A small picture of the party beside a message, 40 below the last element (the next element
    // then goes 67 higher than the picture).
    QRectF placeContactPicture(bool received);

    // Frame of the last element placed (the zero rectangle on an empty column).
    QRectF previousMessageBubbleFrame() const { return previous_; }
    // Messages placed since the last reset.
    std::size_t haveAddChatNum() const { return placed_; }
    // The document size after the last placement.
    ChatDocumentSize documentSize(double frameHeight) const;
    // The measured rectangle of a text, with this column's measure, as its bubbles wrap it.
    QRectF chatRect(const QString& text) const {
        return calculateChatRect(text, measure_, chatTextWrapWidth(bubbleWidth()));
    }
    const ChatTextMeasure& measure() const { return measure_; }

  private:
    ChatTextMeasure measure_;
    double width_ = kChatColumnWidth;
    QRectF previous_;
    std::size_t placed_ = 0;
    bool truncateBottom_ = false;  // the last element was the button: its bottom is truncated
};

// Everything the column shows after `morePresses` presses of "More..." (more presses than there
// are batches change nothing), in a scroll view `frameHeight` high and `columnWidth` wide.
struct ChatColumnPlan {
    ChatHeadPlan head;
    std::vector<ChatBubblePlan> bubbles;
    std::optional<QRectF> moreButton;
    ChatDocumentSize document;
};
ChatColumnPlan planChatColumn(const PRMessageTreeNode& conversation, int morePresses,
                              const ChatTextMeasure& measure, double frameHeight,
                              double columnWidth = kChatColumnWidth);

}  // namespace nimbara::backup
