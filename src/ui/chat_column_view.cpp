#include "ui/chat_column_view.h"

#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "ui/background_views.h"
#include "ui/chat_picture_loader.h"
#include "ui/chat_text.h"
#include "ui/named_image.h"
#include "ui/pr_chat_name_view.h"
#include "ui/pr_chat_view.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace chat = nimbara::backup;

namespace {

const QSize kPictureBox(chat::kChatPictureSide, chat::kChatPictureSide);

// A rectangle of the column in whole pixels: edges are rounded, not sizes, so that elements
// placed edge to edge stay edge to edge.
QRect pixelRect(const QRectF& r) {
    const int left = static_cast<int>(std::lround(r.left()));
    const int top = static_cast<int>(std::lround(r.top()));
    const int right = static_cast<int>(std::lround(r.right()));
    const int bottom = static_cast<int>(std::lround(r.bottom()));
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

// The caption as it fits the bubble: a name too long to leave room for the date is cut short
// (with an ellipsis), so the date always shows; a date too long for a narrow bubble is cut too.
QString fittedCaption(const chat::ChatBubblePlan& plan) {
    const QFontMetricsF metrics(nimbara::ui::chatFont(chat::kChatDateFontSize));
    const qreal room = plan.frame.width() - 15 - 8;
    if (metrics.horizontalAdvance(plan.caption) <= room) {
        return plan.caption;
    }
    if (!plan.received) {
        return metrics.elidedText(plan.caption, Qt::ElideRight, room);
    }
    const QString tail = QLatin1String(chat::kChatCaptionGap) + plan.captionDate;
    const qreal nameRoom = std::max<qreal>(0, room - metrics.horizontalAdvance(tail));
    return metrics.elidedText(metrics.elidedText(plan.captionName, Qt::ElideRight, nameRoom) + tail,
                              Qt::ElideRight, room);
}

QLabel* pictureView(QWidget* parent, const QRectF& frame, const char* objectName) {
    auto* view = new QLabel(parent);
    view->setObjectName(QLatin1String(objectName));
    view->setTextFormat(Qt::PlainText);
    view->setAlignment(Qt::AlignCenter);
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    view->setGeometry(pixelRect(frame));
    view->show();
    return view;
}

}  // namespace

ChatColumnView::ChatColumnView(QWidget* parent)
    : QScrollArea(parent),
      layout_(nimbara::ui::chatTextMeasure()),
      document_(new QWidget),
      loader_(new nimbara::ui::ChatPictureLoader(this)) {
    setObjectName(QStringLiteral("messageTreeScrollView"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document_->setObjectName(QStringLiteral("chatDocumentView"));
    document_->setAutoFillBackground(true);
    QPalette palette = document_->palette();
    palette.setColor(QPalette::Window, Qt::white);
    document_->setPalette(palette);
    setWidget(document_);
    resize(static_cast<int>(chat::kChatColumnWidth), 360);
    // The column is at most as wide as its widest layout: what a wider window gives goes to the
    // lists beside it. It is never narrower than its narrowest layout.
    const int chrome = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * frameWidth();
    setMaximumWidth(static_cast<int>(std::ceil(chat::kChatColumnWidth)) + chrome);
    setMinimumWidth(static_cast<int>(std::ceil(chat::kChatMinimumColumnWidth)) + chrome);
    resizeDocument();
}

ChatColumnView::~ChatColumnView() {
    // The loads go first: nothing they hand back can reach a bubble being taken down.
    delete loader_;
    loader_ = nullptr;
}

void ChatColumnView::showConversation(std::shared_ptr<PRMessageTreeNode> conversation) {
    previewCount_ = chat::kChatBatchSize;
    morePresses_ = 0;
    verticalScrollBar()->setValue(0);
    current_ = std::move(conversation);
    build();
}

double ChatColumnView::widthGiven(bool scroller) const {
    const int bar = scroller ? verticalScrollBar()->sizeHint().width() : 0;
    return chat::chatColumnWidth(std::max(0, width() - 2 * frameWidth() - bar));
}

// Laid out first beside the scroll bar as it is; when the column then scrolls (or no longer
// does), once more at the width that leaves. A narrower column is never shorter, so the second
// layout keeps the first one's answer.
void ChatColumnView::build() {
    const QScopedValueRollback<bool> placing(placing_, true);
    const int scrolled = verticalScrollBar()->value();
    bool scroller = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
    placeColumn(widthGiven(scroller));
    if (current_ && layout_.documentSize(height()).scroller != scroller) {
        scroller = !scroller;
        placeColumn(widthGiven(scroller));
    }
    resizeDocument();
    verticalScrollBar()->setValue(scrolled);
}

// The head, the first batch and one more batch for each press of "More...".
void ChatColumnView::placeColumn(double width) {
    bubbleHeight_ = 0;
    layout_.reset();
    layout_.setColumnWidth(width);
    RemoveAllMessageChatView();
    if (!current_) {
        return;
    }
    addChatHeadInfo(*current_);
    const PRMessageTreeNode::MessageList messages = current_->MessageNodeArray();
    placeBatch(messages, chat::firstChatBatch(messages.size(), previewCount_));
    for (int press = 0; press < morePresses_ && morebun_; ++press) {
        delete morebun_;
        placeBatch(messages,
                   chat::nextChatBatch(layout_.haveAddChatNum(), messages.size(), previewCount_));
    }
}

void ChatColumnView::fitWidth() {
    if (!current_) {
        resizeDocument();
        return;
    }
    if (widthGiven(layout_.documentSize(height()).scroller) != layout_.columnWidth()) {
        build();
    } else {
        resizeDocument();
    }
}

void ChatColumnView::placeBatch(const PRMessageTreeNode::MessageList& messages,
                                const chat::ChatBatch& batch) {
    for (std::size_t i = batch.begin; i < batch.end && i < messages.size(); ++i) {
        placeMessage(chat::chatMessageOrEmpty(messages[i]), i);
    }
    resizeDocument();
    if (batch.moreButton) {
        addMoreButn();
    }
}

void ChatColumnView::addChatHeadInfo(const PRMessageTreeNode& conversation) {
    const chat::ChatHeadPlan head = layout_.placeHead(conversation);
    auto* background = new PRImageBackgroundView("chatHead", document_);
    background->setObjectName(QStringLiteral("chatHead"));
    background->setGeometry(pixelRect(head.background));
    background->show();
    if (head.hasPicture) {
        QLabel* picture = pictureView(document_, head.picture, "chatHeadPicture");
        const PRMessageTreeNode::MessageList messages = conversation.MessageNodeArray();
        const QByteArray data = messages.empty() || !messages.front()
                                    ? QByteArray()
                                    : messages.front()->contactImageData();
        showPictureData(picture, data, pixelRect(head.picture).size());
    }
    // A name or address too long for its line is cut short with an ellipsis, whole in its tip.
    const QString fitted = QFontMetricsF(nimbara::ui::chatFont(chat::kChatTextFontSize))
                               .elidedText(head.nameText, Qt::ElideRight, head.name.width());
    auto* name = (new PRChatNameView(document_))->initwithNameString(fitted);
    name->setToolTip(head.nameText);
    name->setGeometry(pixelRect(head.name));
    name->show();
}

QRectF ChatColumnView::calculateChatRect(const QString& text) const {
    return layout_.chatRect(text);
}

void ChatColumnView::placeMessage(const PRMessageNode& message, std::size_t index) {
    const chat::ChatBubblePlan plan = layout_.placeMessage(message, index);
    auto* bubble = new PRChatView(pixelRect(plan.frame), document_);
    const QString caption = fittedCaption(plan);
    switch (plan.kind) {
        case chat::ChatBubbleKind::Text:
            bubble->initWithName(plan.name, plan.textRect, caption, plan.text, plan.type);
            break;
        case chat::ChatBubbleKind::Placeholder:
            bubble->initWithName(plan.name, caption,
                                 nimbara::ui::namedImage(QStringLiteral("Contact")), plan.type);
            break;
        case chat::ChatBubbleKind::Picture: {
            bubble->initWithName(plan.name, caption, QPixmap(), plan.type);
            loader_->loadFile(plan.picturePath, kPictureBox,
                              [target = QPointer<PRChatView>(bubble)](const QImage& image) {
                                  if (target.isNull()) {
                                      return;
                                  }
                                  target->setPicture(image.isNull() ? nimbara::ui::namedImage(
                                                                          QStringLiteral("Contact"))
                                                                    : QPixmap::fromImage(image));
                              });
            break;
        }
    }
    bubble->show();
}

void ChatColumnView::addMoreButn() {
    if (morebun_) {
        morebun_->hide();
        morebun_->deleteLater();
    }
    const QRectF frame = layout_.placeMoreButton();
    auto* button = new QPushButton(QString::fromLatin1(chat::kChatMoreTitle), document_);
    button->setObjectName(QStringLiteral("morebun"));
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(nimbara::ui::chatFont(chat::kChatTextFontSize));
    // Borderless, and no highlight when pressed.
    button->setStyleSheet(
        QStringLiteral("QPushButton, QPushButton:pressed, QPushButton:hover { border: none; "
                       "background: transparent; color: rgb(17, 11, 137); }"));
    connect(button, &QPushButton::clicked, this, [this, button] { ClickMoreBtn(button); });
    button->setGeometry(pixelRect(frame));
    button->show();
    morebun_ = button;
    resizeDocument();
}

void ChatColumnView::ClickMoreBtn(QObject*) {
    if (morebun_) {
        // It may be the sender, in the middle of its click: it goes once the click is over, and
        // leaves the column at once, so that laying the column out again can't take it down.
        morebun_->hide();
        morebun_->setParent(this);
        morebun_->deleteLater();
        morebun_ = nullptr;
    }
    if (!current_) {
        return;
    }
    ++morePresses_;
    const PRMessageTreeNode::MessageList messages = current_->MessageNodeArray();
    const chat::ChatBatch batch =
        chat::nextChatBatch(layout_.haveAddChatNum(), messages.size(), previewCount_);
    if (!batch.empty()) {
        const QScopedValueRollback<bool> placing(placing_, true);
        placeBatch(messages, batch);
    }
    fitWidth();  // the column may scroll now
}

void ChatColumnView::RemoveAllMessageChatView() {
    loader_->cancelAll();
    morebun_ = nullptr;
    while (!document_->children().isEmpty()) {
        delete document_->children().last();
    }
    viewport()->update();
}

void ChatColumnView::addContactChatView(const PRMessageNode& message) {
    const bool received = chat::isChatReceived(message);
    const QRectF frame = layout_.placeContactPicture(received);
    QLabel* picture = pictureView(document_, frame, "contactPicture");
    showPictureData(picture, received ? message.contactImageData() : QByteArray(),
                    pixelRect(frame).size());
}

// Shows the picture `data` holds in `view`, decoded off the GUI thread; "contact" when there is
// none or it can't be read.
void ChatColumnView::showPictureData(QWidget* view, const QByteArray& data, const QSize& box) {
    const auto standIn = [box] {
        return nimbara::ui::fitDown(nimbara::ui::namedImage(QStringLiteral("contact")), box);
    };
    auto* label = qobject_cast<QLabel*>(view);
    if (label == nullptr) {
        return;
    }
    if (data.isEmpty()) {
        label->setPixmap(standIn());
        return;
    }
    loader_->loadData(data, box, [target = QPointer<QLabel>(label), standIn](const QImage& image) {
        if (!target.isNull()) {
            target->setPixmap(image.isNull() ? standIn() : QPixmap::fromImage(image));
        }
    });
}

QList<PRChatView*> ChatColumnView::bubbles() const {
    QList<PRChatView*> found;
    for (QObject* child : document_->children()) {
        if (auto* bubble = qobject_cast<PRChatView*>(child)) {
            found.append(bubble);
        }
    }
    return found;
}

bool ChatColumnView::picturesPending() const {
    return loader_ != nullptr && loader_->outstanding() > 0;
}

void ChatColumnView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (!placing_) {
        fitWidth();
    }
}

// The document is as high as what it holds, or as the scroll view when that is less; only then
// does the column scroll.
void ChatColumnView::resizeDocument() {
    const chat::ChatDocumentSize size = layout_.documentSize(height());
    setVerticalScrollBarPolicy(size.scroller ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const int scroller = size.scroller ? verticalScrollBar()->sizeHint().width() : 0;
    const int width = std::max(1, this->width() - 2 * frameWidth() - scroller);
    document_->resize(width, static_cast<int>(std::ceil(size.height)));
}
