#include "ui/image_resize.h"
#include "platform/log_categories.h"

#include <QDebug>
#include <QPainter>

namespace nimbara::ui {

QImage resizeTo(const QImage& image, const QSize& size) {
    if (size.isEmpty()) {
        return {};
    }
    QImage result(size, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::white);
    if (!image.isNull()) {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(1.0);
        painter.drawImage(QRect(QPoint(0, 0), size), image);
    }
    return result;
}

QPixmap resizeTo(const QPixmap& image, const QSize& size) {
    return QPixmap::fromImage(resizeTo(image.toImage(), size));
}

QImage thumbnailImage(const QImage& image, const QSize& size) {
    if (image.isNull() || size.isEmpty()) {
        qCWarning(lcUi, "Invalid Image");
        return {};
    }
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace nimbara::ui
