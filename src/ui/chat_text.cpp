#include "ui/chat_text.h"

#include "ui/fonts.h"

#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>

namespace nimbara::ui {
namespace {

// Line breaks of every kind become the layout's own line separator.
QString layoutText(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    out.replace(QLatin1Char('\n'), QChar::LineSeparator);
    out.replace(QLatin1Char('\r'), QChar::LineSeparator);
    return out;
}

// Lays `text` out in `layout`; returns the used size.
QSizeF layOut(QTextLayout& layout, qreal width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    qreal height = 0;
    qreal used = 0;
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
        used = std::max(used, line.naturalTextWidth());
    }
    layout.endLayout();
    if (height <= 0) {
        height = QFontMetricsF(layout.font()).height();
    }
    return {used, height};
}

}  // namespace

QFont chatFont(int pixelSize) {
    QFont font = appFont(pixelSize);
    font.setPixelSize(std::max(1, pixelSize));
    return font;
}

QSizeF measureChatText(const QString& text, const QFont& font, qreal width) {
    QTextLayout layout(layoutText(text), font);
    return layOut(layout, width);
}

void drawChatText(QPainter& painter, const QPointF& origin, const QString& text, const QFont& font,
                  qreal width) {
    QTextLayout layout(layoutText(text), font);
    layOut(layout, width);
    layout.draw(&painter, origin);
}

backup::ChatTextMeasure chatTextMeasure() {
    const QFont font = chatFont(backup::kChatTextFontSize);
    return [font](const QString& text, double width) { return measureChatText(text, font, width); };
}

}  // namespace nimbara::ui

ChatTextLabel::ChatTextLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextInteractionFlags(Qt::NoTextInteraction);
}

void ChatTextLabel::setWrapWidth(qreal width) {
    wrapWidth_ = width;
    update();
}

void ChatTextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.setClipRect(rect());
    nimbara::ui::drawChatText(painter, QPointF(2, 0), text(), font(),
                              std::min<qreal>(wrapWidth_, std::max(1, width() - 2)));
}
