// A conversation drawn as a column of speech bubbles in a scroll view: a head with the other
// party's picture and name, then one bubble per message (received on the left, sent on the
// right), 50 messages at a time with a "More..." button for the next 50. The column is as wide as
// the view (less its scroll bar while it scrolls) and is laid out again when that changes, so
// every bubble and its text lie within the pane at any size.
//
// One class serves every page that shows conversations (the backup browser, the privacy cleaner
// and the transfer page): the page makes one as its message scroll view and hands it the selected
// conversation. Where everything goes is decided by ChatColumnLayout (backup/chat_layout.h); this
// class makes the widgets.
//
// GUI thread only. Pictures are decoded by the column's own ChatPictureLoader, off the GUI
// thread; until one arrives its bubble shows an empty box, and a picture that can't be read
// shows the "Contact" stand-in.
#pragma once

#include "backup/chat_layout.h"

#include <QList>
#include <QPointer>
#include <QRectF>
#include <QScrollArea>

#include <memory>
#include <vector>

class PRChatView;
class PRMessageNode;
class PRMessageTreeNode;
class QPushButton;

namespace nimbara::ui {
class ChatPictureLoader;
}

class ChatColumnView : public QScrollArea {
    Q_OBJECT
  public:
    explicit ChatColumnView(QWidget* parent = nullptr);
    ~ChatColumnView() override;

    // Shows `conversation` from its start: the column scrolled to the top and rebuilt, the head,
    // then the first 50 messages, and "More..." when there are 50 or more. Null empties the
    // column.
    void showConversation(std::shared_ptr<PRMessageTreeNode> conversation);

    // The head: the picture of the conversation's first message's party ("contact" when it has
    // none), and its name.
    void addChatHeadInfo(const PRMessageTreeNode& conversation);
    // The measured rectangle of a message text.
    QRectF calculateChatRect(const QString& text) const;
    // Places the "More..." button below what was placed last.
    void addMoreButn();
    // The button's action: removes it and shows the next batch.
    void ClickMoreBtn(QObject* sender = nullptr);
    // The width the column is laid out in (what the view gives it, less its scroll bar while it
    // scrolls).
    double columnWidth() const { return layout_.columnWidth(); }
    // Empties the column (and drops the picture loads of what it showed).
    void RemoveAllMessageChatView();
    // Places a small picture of the party beside a message.
    void addContactChatView(const PRMessageNode& message);

    std::shared_ptr<PRMessageTreeNode> currentMessageTreeNode() const { return current_; }
    // Messages of the current conversation shown so far.
    int haveAddChatNum() const { return static_cast<int>(layout_.haveAddChatNum()); }
    int previewCount() const { return static_cast<int>(previewCount_); }
    int bubbleHeight() const { return bubbleHeight_; }
    QRectF previousMessageBubbleFrame() const { return layout_.previousMessageBubbleFrame(); }
    // The "More..." button while it is shown, else null.
    QPushButton* morebun() const { return morebun_; }
    // The widget that holds the head and the bubbles (what a picture of the conversation shows).
    QWidget* documentView() const { return document_; }
    // The bubbles shown, top to bottom.
    QList<PRChatView*> bubbles() const;
    // Pictures asked for and not yet shown.
    bool picturesPending() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Places the batch's messages, then "More..." when the batch says so.
    void placeBatch(const std::vector<std::shared_ptr<PRMessageNode>>& messages,
                    const nimbara::backup::ChatBatch& batch);
    void placeMessage(const PRMessageNode& message, std::size_t index);
    // The column built afresh at the width the view gives, with the batches shown so far.
    void build();
    void placeColumn(double width);
    // The width the view gives the column, beside a scroll bar or not.
    double widthGiven(bool scroller) const;
    // Builds the column again when the view gives it another width than it was laid out in.
    void fitWidth();
    void resizeDocument();
    void showPictureData(QWidget* view, const QByteArray& data, const QSize& box);

    nimbara::backup::ChatColumnLayout layout_;
    QWidget* document_ = nullptr;  // owned by the scroll area
    QPointer<QPushButton> morebun_;
    std::shared_ptr<PRMessageTreeNode> current_;
    std::size_t previewCount_ = nimbara::backup::kChatBatchSize;
    int morePresses_ = 0;   // presses of "More..." since the conversation was shown
    bool placing_ = false;  // elements are being placed: resizes of the viewport wait
    int bubbleHeight_ = 0;
    nimbara::ui::ChatPictureLoader* loader_ = nullptr;  // child of this view
};
