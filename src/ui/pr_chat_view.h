// One speech bubble of the chat column: a background of nine pieces, each image painted into its
// piece's rectangle (the edges and the middle stretch with the bubble, the corners keep their
// size), a date caption, and either a text or a picture.
// The column decides the bubble's frame; the bubble places what is inside it. A bubble for a
// received message (type 1) is grey with its tail on the left, any other is green with its tail
// on the right.
#pragma once

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <array>

class ChatTextLabel;
class QLabel;

namespace nimbara::ui {
// `image` scaled down to fit `box`, keeping its shape; one that fits stays as it is.
QPixmap fitDown(const QPixmap& image, const QSize& box);
}  // namespace nimbara::ui

class PRChatView : public QWidget {
    Q_OBJECT
  public:
    // A bubble with its frame, to be built by one of the two initialisers.
    explicit PRChatView(const QRect& frame, QWidget* parent = nullptr);

    // A picture bubble showing `image` (scaled down to fit its 80 x 80 box, never up); `name` is
    // kept but not shown.
    void initWithName(const QString& name, const QString& date, const QPixmap& image, int type);
    // A text bubble: `rect` is the rectangle measured for `string`. An empty text shows
    // "Unsaved File"; the stand-in texts of attachments show in orange-red.
    void initWithName(const QString& name, const QRectF& rect, const QString& date,
                      const QString& string, int type);

    // The background steps shared by both: the nine images, their rectangles for `frame`, and
    // the pieces made ready to draw.
    void initNodeImage();
    void initRect(const QRect& frame);
    void setImageView();

    // Replaces the picture of a picture bubble.
    void setPicture(const QPixmap& image);

    signed char messageType() const { return messageType_; }
    bool isReceived() const { return messageType_ == 1; }
    // The nine pieces, top-left to bottom-right by rows.
    const QList<QPixmap>& imageArray() const { return imageArray_; }
    const std::array<QRectF, 9>& contentMatrix() const { return contentMatrix_; }
    double contentLen() const { return contentLen_; }
    double contentHeight() const { return contentHeight_; }
    // The name the bubble was built with (not shown).
    QString nameLayer() const { return nameLayer_; }

    QLabel* lineTextView() const { return lineTextView_; }
    QLabel* dateTextView() const { return dateTextView_; }
    ChatTextLabel* textView() const { return textView_; }  // null on a picture bubble
    QLabel* imageView() const { return imageView_; }       // null on a text bubble

    // Caption colours: received (17, 11, 137), sent (52, 106, 82); orange-red (217, 81, 30) for
    // the stand-in texts.
    static QColor captionColour(bool received);
    static QColor attentionColour();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void setType(int type);
    void addCaption(const QRectF& line, const QRectF& date, const QString& caption);

    signed char messageType_ = 0;
    QList<QPixmap> imageArray_;
    std::array<QRectF, 9> contentMatrix_{};
    std::array<QRect, 9> pieceRects_{};  // the pieces in whole pixels, meeting without gaps
    double contentLen_ = 0;
    double contentHeight_ = 0;
    QString nameLayer_;
    QLabel* lineTextView_ = nullptr;
    QLabel* dateTextView_ = nullptr;
    ChatTextLabel* textView_ = nullptr;
    QLabel* imageView_ = nullptr;
};
