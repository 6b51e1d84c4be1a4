#include "ui/flash_view.h"

#include <QPainter>
#include <QVariantAnimation>

#include "ui/named_image.h"

FlashView::FlashView(QWidget* parent)
    : QWidget(parent), diskImage_(nimbara::ui::namedImage("load.png")) {}

FlashView::~FlashView() {
    // The animation is a child: stop it before the view's members go away.
    if (animation_ != nullptr) {
        animation_->stop();
    }
}

QSize FlashView::sizeHint() const {
    if (diskImage_.isNull()) {
        return {32, 32};
    }
    return diskImage_.deviceIndependentSize().toSize();
}

void FlashView::startFlash() {
    if (animation_ == nullptr) {
        animation_ = new QVariantAnimation(this);
        animation_->setStartValue(0.0);
        animation_->setEndValue(360.0);
        animation_->setDuration(kTurnMilliseconds);
        animation_->setLoopCount(-1);
        animation_->setEasingCurve(QEasingCurve::Linear);
        connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            rotation_ = v.toDouble();
            update();
        });
    }
    // Starting again replaces the running turn.
    animation_->stop();
    rotation_ = 0.0;
    animation_->start();
    update();
}

void FlashView::stopFlash() {
    if (animation_ == nullptr || animation_->state() == QAbstractAnimation::Stopped) {
        return;
    }
    animation_->stop();
    rotation_ = 0.0;
    update();
}

bool FlashView::isFlashing() const {
    return animation_ != nullptr && animation_->state() == QAbstractAnimation::Running;
}

void FlashView::paintEvent(QPaintEvent* /*event*/) {
    if (diskImage_.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF imageSize = diskImage_.deviceIndependentSize();
    painter.translate(width() / 2.0, height() / 2.0);
    // A positive turn is counter-clockwise on screen.
    painter.rotate(-rotation_);
    painter.drawPixmap(
        QRectF(QPointF(-imageSize.width() / 2.0, -imageSize.height() / 2.0), imageSize), diskImage_,
        QRectF(diskImage_.rect()));
}
