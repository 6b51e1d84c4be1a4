#include "ui/device_popover.h"

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "device/pri_device_node.h"
#include "ui/color_progress_view.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/fonts.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"

namespace {

constexpr int kWidth = 305;
// The strip under the rows: the grip by which the popover is dragged off.
constexpr int kGripHeight = 11;

const QColor kSelectedBlue(157, 181, 212);
const QColor kBorderGrey(196, 203, 212);

}  // namespace

namespace nimbara::ui {

QPoint popoverPosition(const QRect& anchor, const QSize& size, const QRect& available) {
    int x = anchor.center().x() - size.width() / 2;
    int y = anchor.bottom() + 1;
    if (y + size.height() > available.bottom() + 1 &&
        anchor.top() - size.height() >= available.top()) {
        y = anchor.top() - size.height();
    }
    // Inside the available area as far as it fits; the top-left corner wins when it doesn't.
    x = std::max(available.left(), std::min(x, available.right() + 1 - size.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
    return {x, y};
}

}  // namespace nimbara::ui

// ------------------------------------------------------------------ PSTableCellView

PSTableCellView::PSTableCellView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Name"));
    setFixedSize(kWidth, PPopoverviewConterller::kRowHeight);

    imageView_ = new QLabel(this);
    imageView_->setObjectName(QStringLiteral("imageView"));
    imageView_->setGeometry(14, 8, 40, 57);
    imageView_->setAlignment(Qt::AlignCenter);

    textField_ = new QLabel(this);
    textField_->setObjectName(QStringLiteral("textField"));
    textField_->setGeometry(66, 10, 196, 20);
    textField_->setFont(nimbara::ui::appFont(13, true));
    textField_->setTextFormat(Qt::PlainText);  // a device's name is the user's text

    iDeviceColorView_ = new PPColorProgressView(this);
    iDeviceColorView_->setObjectName(QStringLiteral("iDeviceColorView"));
    iDeviceColorView_->setGeometry(66, 36, 196, 14);

    usagelab_ = new QLabel(this);
    usagelab_->setObjectName(QStringLiteral("usagelab"));
    usagelab_->setGeometry(66, 52, 196, 16);
    usagelab_->setFont(nimbara::ui::appFont(10));

    rejectBtn_ = new PRRejectButton(this);
    rejectBtn_->setObjectName(QStringLiteral("rejectBtn"));
    rejectBtn_->setGeometry(276, 28, 16, 16);
    rejectBtn_->setToolTip(QStringLiteral("Remove this device from the list"));
}

// ------------------------------------------------------------------ PPopoverviewConterller

PPopoverviewConterller::Sizes PPopoverviewConterller::sizesForDeviceCount(std::size_t count) {
    if (count <= 1) {
        return {{kWidth, 101}, {kWidth, 84}};
    }
    if (count == 2) {
        return {{kWidth, 174}, {kWidth, 157}};
    }
    return {{kWidth, 247}, {kWidth, 230}};
}

PPopoverviewConterller::PPopoverviewConterller(nimbara::ui::DevicePopoverHost& host,
                                               QWidget* parent)
    : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("PopoView"));
    theScrollView_ = new QWidget(this);
    theScrollView_->setObjectName(QStringLiteral("theScrollView"));
    theTableView_ = new QListWidget(theScrollView_);
    theTableView_->setObjectName(QStringLiteral("theTableView"));
    theTableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    theTableView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    theTableView_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    theTableView_->setFrameShape(QFrame::NoFrame);
    theTableView_->setFocusPolicy(Qt::NoFocus);
    connect(theTableView_, &QListWidget::itemSelectionChanged, this, [this] {
        if (!reloading_) {
            tableViewSelectionDidChange();
        }
    });
    setOneTableViewFrame();

    nc_ = &nimbara::NotificationCenter::defaultCenter();
    observers_.add(nc_->addObserver("PRRejectButtonMouseDown",
                                    [this](const nimbara::Notification& notification) {
                                        PRRejectButtonMouseDownHandle(notification);
                                    }));
}

PPopoverviewConterller::~PPopoverviewConterller() {
    observers_.clear();
}

void PPopoverviewConterller::setTableViewColor() {
    theScrollView_->setAutoFillBackground(false);
    theTableView_->setAutoFillBackground(false);
    theTableView_->viewport()->setAutoFillBackground(false);
    theTableView_->setStyleSheet(
        QStringLiteral("QListWidget { background: transparent; border: none; }"
                       "QListWidget::item { border: none; }"
                       "QListWidget::item:selected { background: rgb(%1, %2, %3); }")
            .arg(kSelectedBlue.red())
            .arg(kSelectedBlue.green())
            .arg(kSelectedBlue.blue()));
}

void PPopoverviewConterller::applySizes(const Sizes& sizes) {
    setFixedSize(sizes.view);
    theScrollView_->setGeometry(QRect(QPoint(0, 0), sizes.scrollView));
    // The rows take the view above the grip; the rest of the scroll view lies under the view's
    // edge, so the table's own scroll bar stays whole.
    theTableView_->setGeometry(0, 0, sizes.view.width(), sizes.view.height() - kGripHeight);
}

void PPopoverviewConterller::setOneTableViewFrame() {
    applySizes(sizesForDeviceCount(1));
}

void PPopoverviewConterller::setTwoTableViewFrame() {
    applySizes(sizesForDeviceCount(2));
}

void PPopoverviewConterller::setThreeTableViewFrame() {
    applySizes(sizesForDeviceCount(3));
}

void PPopoverviewConterller::fillCell(PSTableCellView& cell, const PRiDeviceNode& node) const {
    cell.textField()->setText(node.deviceName());
    cell.rejectBtn()->setTheIndex(node.deviceIndex());
    // The same picture the status page shows; the name is kept as the view's "imageName".
    const QString imageName =
        node.deviceModel().contains(QLatin1String("iPhone"), Qt::CaseInsensitive)
            ? QStringLiteral("iphoneImage.png")
            : QStringLiteral("ipadImage.png");
    const QPixmap picture = nimbara::ui::namedImage(imageName);
    cell.imageView()->setPixmap(picture.isNull()
                                    ? QPixmap()
                                    : picture.scaled(cell.imageView()->size(), Qt::KeepAspectRatio,
                                                     Qt::SmoothTransformation));
    cell.imageView()->setProperty("imageName", imageName);
    const std::uint64_t total = node.totalFileSizeNumber();
    const std::uint64_t free = node.freeFileSizeNumber();
    const std::uint64_t used = total > free ? total - free : 0;
    cell.iDeviceColorView()->setProgressValueWithusedValue(nimbara::ui::fractionOf(used, total),
                                                           nimbara::ui::fractionOf(free, total));
    cell.iDeviceColorView()->update();
}

void PPopoverviewConterller::reloadTableviewData() {
    reloading_ = true;
    deviceController_ = host_.getDeviceArray();
    // Cell views go with their items (deleted later: a reject button may be inside its own
    // mouse-down handler here).
    theTableView_->clear();
    const int current = host_.currentDeviceIndex();
    for (const std::shared_ptr<PRiDeviceNode>& node : deviceController_) {
        auto* item = new QListWidgetItem(theTableView_);
        item->setSizeHint(QSize(kWidth, kRowHeight));
        auto* cell = new PSTableCellView();
        fillCell(*cell, *node);
        theTableView_->setItemWidget(item, cell);
        if (node->deviceIndex() == current) {
            theTableView_->setCurrentItem(item);
        }
    }
    reloading_ = false;
    theTableView_->viewport()->update();
}

int PPopoverviewConterller::numberOfRowsInTableView() const {
    return static_cast<int>(deviceController_.size());
}

PSTableCellView* PPopoverviewConterller::cellViewAtRow(int row) const {
    if (row < 0 || row >= theTableView_->count()) {
        return nullptr;
    }
    return qobject_cast<PSTableCellView*>(theTableView_->itemWidget(theTableView_->item(row)));
}

bool PPopoverviewConterller::stillListed(const std::shared_ptr<PRiDeviceNode>& node) const {
    const auto& list = host_.getDeviceArray();
    return std::find(list.begin(), list.end(), node) != list.end();
}

void PPopoverviewConterller::tableViewSelectionDidChange() {
    const QList<QListWidgetItem*> selected = theTableView_->selectedItems();
    const int row = selected.isEmpty() ? -1 : theTableView_->row(selected.first());
    if (row < 0 || row >= numberOfRowsInTableView()) {
        return;
    }
    const std::shared_ptr<PRiDeviceNode> node = deviceController_[static_cast<std::size_t>(row)];
    if (!stillListed(node)) {
        reloadTableviewData();  // the row was of a device that went meanwhile
        return;
    }
    if (node->deviceIndex() != host_.currentDeviceIndex()) {
        host_.ChangeToAnotherDevice(node->deviceIndex());
    }
}

void PPopoverviewConterller::PRRejectButtonMouseDownHandle(
    const nimbara::Notification& notification) {
    auto* button = qobject_cast<PRRejectButton*>(notification.objectAs<QObject*>());
    if (button == nullptr || !isAncestorOf(button)) {
        return;  // another view's button
    }
    // The row's own device, by identity: a device that came later under the same index is
    // never dropped in its place.
    std::shared_ptr<PRiDeviceNode> node;
    for (int row = 0; row < theTableView_->count(); ++row) {
        PSTableCellView* cell = cellViewAtRow(row);
        if (cell != nullptr && cell->rejectBtn() == button && row < numberOfRowsInTableView()) {
            node = deviceController_[static_cast<std::size_t>(row)];
        }
    }
    const int index = button->theIndex();
    auto& list = host_.getDeviceArray();
    const auto it = node ? std::find(list.begin(), list.end(), node) : list.end();
    const bool removed = it != list.end();
    if (removed) {
        list.erase(it);
    }
    reloadTableviewData();
    if (removed) {
        host_.RemoveTheDeviceWithIndex(index);
        reloadTableviewData();  // the current device may have changed
    }
}

void PPopoverviewConterller::setDetachable(bool detachable) {
    detachable_ = detachable;
    setToolTip(detachable ? QStringLiteral("Drag the strip below the list to keep it open in a "
                                           "window of its own")
                          : QString());
    update();
}

void PPopoverviewConterller::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!detachable_) {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(kBorderGrey);
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBorderGrey);
    const QRectF grip(width() / 2.0 - 16, height() - kGripHeight / 2.0 - 2, 32, 4);
    painter.drawRoundedRect(grip, 2, 2);
}

void PPopoverviewConterller::mousePressEvent(QMouseEvent* event) {
    pressed_ = detachable_ && event->button() == Qt::LeftButton;
    pressPos_ = event->position().toPoint();
    event->accept();
}

void PPopoverviewConterller::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_ || (event->position().toPoint() - pressPos_).manhattanLength() <
                         QApplication::startDragDistance()) {
        return;
    }
    pressed_ = false;
    emit dragOffRequested(event->globalPosition().toPoint());
}

void PPopoverviewConterller::mouseReleaseEvent(QMouseEvent* event) {
    pressed_ = false;
    event->accept();
}
