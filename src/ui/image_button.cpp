#include "ui/image_button.h"

#include <QPainter>
#include <QStyleOptionButton>

#include "ui/control_notifications.h"
#include "ui/named_image.h"

namespace nimbara::ui {

ImageButton::ImageButton(QWidget* parent) : QPushButton(parent) {}

ImageButton::ImageButton(const QString& title, QWidget* parent) : QPushButton(title, parent) {}

void ImageButton::setImage(const QString& imageName) {
    if (imageName == imageName_) {
        return;
    }
    imageName_ = imageName;
    updateGeometry();
    update();
}

QSize ImageButton::sizeHint() const {
    if (imageName_.isEmpty()) {
        return QPushButton::sizeHint();
    }
    const QPixmap pixmap = namedImage(imageName_);
    if (pixmap.isNull()) {
        return QPushButton::sizeHint();
    }
    return pixmap.deviceIndependentSize().toSize();
}

void ImageButton::paintEvent(QPaintEvent* event) {
    if (imageName_.isEmpty()) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPixmap pixmap = namedImage(imageName_);
    if (!pixmap.isNull()) {
        painter.drawPixmap(rect(), pixmap);
    }
    if (!text().isEmpty()) {
        painter.setFont(font());
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::ButtonText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    }
}

void ImageButton::post(const char* name) {
    postControlNotification(name, static_cast<QObject*>(this));
}

}  // namespace nimbara::ui
