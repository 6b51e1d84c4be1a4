// Message texts of the chat column: measured and drawn by one routine, so a bubble's text always
// fits the rectangle measured for it. Texts are plain text (never rich text): they come from a
// backup. Lines break at word boundaries, and inside a word that is wider than the line.
#pragma once

#include "backup/chat_layout.h"

#include <QFont>
#include <QLabel>
#include <QSizeF>
#include <QString>

class QPainter;

namespace nimbara::ui {

// The application font at `pixelSize` pixels: the column's boxes are whole pixels, and so are
// its font sizes.
QFont chatFont(int pixelSize);

// The used size of `text` laid out in `font` in lines at most `width` wide: width 0 and one line
// high for an empty text. GUI thread.
QSizeF measureChatText(const QString& text, const QFont& font, qreal width);
// Draws `text` laid out as measureChatText does, its first line's top left at `origin`, with the
// painter's pen.
void drawChatText(QPainter& painter, const QPointF& origin, const QString& text, const QFont& font,
                  qreal width);

// The measure of the column's message texts ("Lucida Grande" 11).
backup::ChatTextMeasure chatTextMeasure();

}  // namespace nimbara::ui

// A label of plain text drawn with the column's line breaking, in lines at most `wrapWidth` wide.
class ChatTextLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ChatTextLabel(QWidget* parent = nullptr);

    qreal wrapWidth() const { return wrapWidth_; }
    void setWrapWidth(qreal width);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qreal wrapWidth_ = nimbara::backup::kChatTextLayoutWidth;
};
