#include "ui/table_cell_views.h"

#include <QHBoxLayout>
#include <QMouseEvent>

#include "ui/control_notifications.h"
#include "ui/fonts.h"

namespace {
constexpr const char* kSelectedImage = "selectedstate.png";
constexpr const char* kUnselectedImage = "unselectedstate.png";
}  // namespace

// --- PRCustomCellView ---

PRCustomCellView::PRCustomCellView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(6);
    checkBtn_ = new nimbara::ui::ImageButton(this);
    checkBtn_->setObjectName(QStringLiteral("checkBtn"));
    checkBtn_->setImage(kUnselectedImage);
    checkBtn_->setFixedSize(16, 16);
    checkBtn_->setFocusPolicy(Qt::NoFocus);
    textField_ = new QLabel(this);
    textField_->setObjectName(QStringLiteral("textField"));
    textField_->setFont(nimbara::ui::appFont(11));
    textField_->setTextInteractionFlags(Qt::NoTextInteraction);
    layout->addWidget(checkBtn_);
    layout->addWidget(textField_, 1);
    connectCheckBtn();
}

void PRCustomCellView::setCheckBtn(nimbara::ui::ImageButton* button) {
    if (button == nullptr || button == checkBtn_) {
        return;
    }
    auto* layout = static_cast<QHBoxLayout*>(this->layout());
    delete layout->replaceWidget(checkBtn_, button);  // the old layout item is ours to free
    delete checkBtn_;
    checkBtn_ = button;
    checkBtn_->setParent(this);
    checkBtn_->show();
    connectCheckBtn();
}

void PRCustomCellView::connectCheckBtn() {
    connect(checkBtn_, &QAbstractButton::clicked, this, [this] { ClickCheckBtn(checkBtn_); });
}

void PRCustomCellView::ClickCheckBtn(QObject* /*sender*/) {
    if (checkBtn_->imageName() == QLatin1String(kUnselectedImage)) {
        checkBtn_->setImage(kSelectedImage);
    } else {
        checkBtn_->setImage(kUnselectedImage);
    }
    nimbara::ui::postControlNotification("tableCheckButtonNotification",
                                         static_cast<QObject*>(this));
}

// --- PRTableView ---

PRTableView::PRTableView(QWidget* parent) : QTableView(parent) {}

void PRTableView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    nimbara::ui::postControlNotification("PRBackViewMouseDown", static_cast<QObject*>(this));
}

void PRTableView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a mouse-down of its own.
    mousePressEvent(event);
}

void PRTableView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void PRTableView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}
