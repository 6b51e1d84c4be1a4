#include "ui/custom_window.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include "ui/named_image.h"

// --- QMHeaderView ---

QMHeaderView::QMHeaderView(QWidget* parent) : QWidget(parent) {}

QPixmap QMHeaderView::headImage() const {
    return headImage_.isNull() ? nimbara::ui::namedImage("whitewindowtitleimage.png") : headImage_;
}

void QMHeaderView::UpdateWindowImage(const QPixmap& image) {
    headImage_ = image;
    update();
}

void QMHeaderView::UpdateWindowImage(const QString& imageName) {
    UpdateWindowImage(imageName.isEmpty() ? QPixmap() : nimbara::ui::namedImage(imageName));
}

void QMHeaderView::paintEvent(QPaintEvent* /*event*/) {
    const QPixmap image = headImage();
    if (image.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), image);
}

// --- PRCustomeWindow ---

PRCustomeWindow::PRCustomeWindow(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAttribute(Qt::WA_TranslucentBackground, false);

    headerView_ = new QMHeaderView(this);
    headerView_->setObjectName(QStringLiteral("headerView"));
    headerView_->installEventFilter(this);
    layoutHeader();
    // Behind the window's other children.
    headerView_->lower();
}

void PRCustomeWindow::UpdateWindowImage(const QPixmap& image) {
    headerView_->UpdateWindowImage(image);
}

void PRCustomeWindow::UpdateWindowImage(const QString& imageName) {
    headerView_->UpdateWindowImage(imageName);
}

void PRCustomeWindow::layoutHeader() {
    headerView_->setGeometry(0, 0, width(), kHeaderHeight);
}

void PRCustomeWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutHeader();
}

bool PRCustomeWindow::dragPress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isWindow()) {
        return false;
    }
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    return true;
}

bool PRCustomeWindow::dragMove(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) {
        return false;
    }
    move(event->globalPosition().toPoint() - dragOffset_);
    return true;
}

bool PRCustomeWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == headerView_) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                return dragPress(static_cast<QMouseEvent*>(event));
            case QEvent::MouseMove:
                return dragMove(static_cast<QMouseEvent*>(event));
            case QEvent::MouseButtonRelease:
                dragging_ = false;
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PRCustomeWindow::mousePressEvent(QMouseEvent* event) {
    if (!dragPress(event)) {
        QWidget::mousePressEvent(event);
    }
}

void PRCustomeWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!dragMove(event)) {
        QWidget::mouseMoveEvent(event);
    }
}

void PRCustomeWindow::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}
