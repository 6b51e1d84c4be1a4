#include "ui/background_views.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionSlider>

#include "ui/named_image.h"

// --- PRView ---

PRView::PRView(QWidget* parent) : QWidget(parent) {}

void PRView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f, 1.0f));
}

// --- Image backgrounds ---

PRImageBackgroundView::PRImageBackgroundView(const char* imageName, QWidget* parent)
    : QWidget(parent), imageName_(QString::fromLatin1(imageName)) {}

void PRImageBackgroundView::paintEvent(QPaintEvent* /*event*/) {
    const QPixmap image = nimbara::ui::namedImage(imageName_);
    if (image.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawPixmap(rect(), image);
}

PRBackView::PRBackView(QWidget* parent) : PRImageBackgroundView("WindowTopImage.png", parent) {}

PRDeviceView::PRDeviceView(QWidget* parent) : PRImageBackgroundView("connectdevice.png", parent) {}

PRPrivacyMessageView::PRPrivacyMessageView(QWidget* parent)
    : PRImageBackgroundView("messageGround.png", parent) {}

// --- QMScroller ---

QMScroller::QMScroller(QWidget* parent) : QScrollBar(parent) {}

QMScroller::QMScroller(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

void QMScroller::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(248, 248, 248));
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_ScrollBarSlider;
    if (option.minimum == option.maximum) {
        return;  // nothing to scroll: no knob
    }
    style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
}
