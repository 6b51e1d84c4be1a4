#include "ui/pr_chat_view.h"

#include "backup/chat_layout.h"
#include "ui/chat_text.h"
#include "ui/named_image.h"

#include <QLabel>
#include <QPainter>

namespace {

namespace chat = nimbara::backup;

// The nine pieces of each tone, top-left to bottom-right by rows.
constexpr const char* kGreyPieces[9] = {
    "Grytopl",    "Grytop",     "Grytopr",   "Grycenterl", "Grycenter",
    "Grycenterr", "Grybottoml", "Grybottom", "Grybottomr",
};
constexpr const char* kGreenPieces[9] = {
    "Greentopl",    "Greentop",     "Greentopr",   "Greencenterl", "Greencenter",
    "Greencenterr", "Greenbottoml", "Greenbottom", "Greenbottomr",
};

// A caption or text field: no border, no background, not editable, left-aligned, plain text.
void setUpField(QLabel* field, const QRectF& frame, int pixelSize, const QColor& colour) {
    field->setTextFormat(Qt::PlainText);
    field->setFont(nimbara::ui::chatFont(pixelSize));
    field->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    field->setAutoFillBackground(false);
    field->setAttribute(Qt::WA_TranslucentBackground);
    field->setAttribute(Qt::WA_TransparentForMouseEvents);
    field->setTextInteractionFlags(Qt::NoTextInteraction);
    QPalette palette = field->palette();
    palette.setColor(QPalette::WindowText, colour);
    field->setPalette(palette);
    field->setGeometry(frame.toRect());
}

}  // namespace

QPixmap nimbara::ui::fitDown(const QPixmap& image, const QSize& box) {
    if (image.isNull() || (image.width() <= box.width() && image.height() <= box.height())) {
        return image;
    }
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

PRChatView::PRChatView(const QRect& frame, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PRChatView"));
    setGeometry(frame);
    setAttribute(Qt::WA_TranslucentBackground);
}

QColor PRChatView::captionColour(bool received) {
    return received ? QColor(17, 11, 137) : QColor(52, 106, 82);
}

QColor PRChatView::attentionColour() {
    return QColor(217, 81, 30);
}

void PRChatView::setType(int type) {
    messageType_ = static_cast<signed char>(type);
    initNodeImage();
    initRect(geometry());
    setImageView();
}

void PRChatView::initNodeImage() {
    imageArray_.clear();
    const auto& names = isReceived() ? kGreyPieces : kGreenPieces;
    for (const char* name : names) {
        imageArray_.append(nimbara::ui::namedImage(QString::fromLatin1(name)));
    }
}

void PRChatView::initRect(const QRect& frame) {
    const QSizeF size(frame.size());
    contentLen_ = chat::chatContentLen(size);
    contentHeight_ = chat::chatContentHeight(size);
    contentMatrix_ = chat::chatBubblePieces(size, isReceived());
}

void PRChatView::setImageView() {
    for (std::size_t i = 0; i < contentMatrix_.size(); ++i) {
        pieceRects_[i] = contentMatrix_[i].toRect();
    }
    update();
}

void PRChatView::addCaption(const QRectF& line, const QRectF& date, const QString& caption) {
    lineTextView_ = new QLabel(this);
    lineTextView_->setObjectName(QStringLiteral("lineTextView"));
    setUpField(lineTextView_, line, chat::kChatDateFontSize, QColor(Qt::blue));
    dateTextView_ = new QLabel(this);
    dateTextView_->setObjectName(QStringLiteral("dateTextView"));
    setUpField(dateTextView_, date, chat::kChatDateFontSize, captionColour(isReceived()));
    dateTextView_->setText(caption);
}

void PRChatView::initWithName(const QString& name, const QString& date, const QPixmap& image,
                              int type) {
    nameLayer_ = name;
    setType(type);
    const chat::ChatPictureInner inner = chat::chatPictureInner(QSizeF(size()));
    addCaption(inner.line, inner.date, date);
    imageView_ = new QLabel(this);
    imageView_->setObjectName(QStringLiteral("imageView"));
    imageView_->setTextFormat(Qt::PlainText);
    imageView_->setAlignment(Qt::AlignCenter);
    imageView_->setAttribute(Qt::WA_TransparentForMouseEvents);
    imageView_->setGeometry(inner.picture.toRect());
    setPicture(image);
    // Line, picture, date: the caption lies on top.
    imageView_->stackUnder(dateTextView_);
    lineTextView_->stackUnder(imageView_);
}

void PRChatView::initWithName(const QString& name, const QRectF& rect, const QString& date,
                              const QString& string, int type) {
    nameLayer_ = name;
    setType(type);
    const chat::ChatTextInner inner =
        chat::chatTextInner(QSizeF(size()), rect, string, nimbara::ui::chatTextMeasure());
    addCaption(inner.line, inner.date, date);
    textView_ = new ChatTextLabel(this);
    textView_->setObjectName(QStringLiteral("textView"));
    setUpField(textView_, inner.text, chat::kChatTextFontSize,
               inner.attention ? attentionColour() : QColor(Qt::black));
    textView_->setText(inner.shown);
    // Broken into lines as the column measured it for a bubble of this width.
    textView_->setWrapWidth(chat::chatTextWrapWidth(width()));
    textView_->stackUnder(dateTextView_);
    lineTextView_->stackUnder(textView_);
}

void PRChatView::setPicture(const QPixmap& image) {
    if (imageView_ != nullptr) {
        imageView_->setPixmap(
            nimbara::ui::fitDown(image, QSize(chat::kChatPictureSide, chat::kChatPictureSide)));
    }
}

void PRChatView::paintEvent(QPaintEvent*) {
    if (imageArray_.size() != static_cast<qsizetype>(pieceRects_.size())) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (std::size_t i = 0; i < pieceRects_.size(); ++i) {
        const QPixmap& piece = imageArray_[static_cast<qsizetype>(i)];
        if (!piece.isNull() && !pieceRects_[i].isEmpty()) {
            painter.drawPixmap(pieceRects_[i], piece);
        }
    }
}
