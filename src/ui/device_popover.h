// The device popover: one row per attached device with its picture, name, storage bar and a
// reject button that drops the device from the application's list. Choosing a row makes that
// device current. The controller's view is the popover's content; it reaches the device list
// through a small host, never the application hub itself.
#pragma once

#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/notification_center.h"

class QListWidget;
class PPColorProgressView;
class PRRejectButton;
class PRiDeviceNode;

namespace nimbara::ui {

// What the popover needs of the application: the live device list and its two calls.
class DevicePopoverHost {
  public:
    virtual ~DevicePopoverHost() = default;
    // The connected devices in attach order (the live list: a reject takes a node out of it).
    virtual std::vector<std::shared_ptr<PRiDeviceNode>>& getDeviceArray() = 0;
    // The current device's index, -1 without one.
    virtual int currentDeviceIndex() const = 0;
    virtual void ChangeToAnotherDevice(int deviceIndex) = 0;
    // Called after the popover took the device out of getDeviceArray().
    virtual void RemoveTheDeviceWithIndex(int deviceIndex) = 0;
};

// Where a popover of `size` opens for `anchor` (both global): centred below the anchor, above it
// when there is no room below, and always inside `available` as far as it fits.
QPoint popoverPosition(const QRect& anchor, const QSize& size, const QRect& available);

}  // namespace nimbara::ui

// One row: the device picture (imageView), its name (textField), a text field left empty
// (usagelab), the storage bar and the reject button, whose theIndex is the device index.
class PSTableCellView : public QWidget {
    Q_OBJECT
  public:
    explicit PSTableCellView(QWidget* parent = nullptr);

    QLabel* textField() const { return textField_; }
    QLabel* imageView() const { return imageView_; }
    QLabel* usagelab() const { return usagelab_; }
    PPColorProgressView* iDeviceColorView() const { return iDeviceColorView_; }
    PRRejectButton* rejectBtn() const { return rejectBtn_; }

  private:
    QLabel* textField_ = nullptr;
    QLabel* imageView_ = nullptr;
    QLabel* usagelab_ = nullptr;
    PPColorProgressView* iDeviceColorView_ = nullptr;
    PRRejectButton* rejectBtn_ = nullptr;
};

// The popover's content. Rows are rebuilt from the host's list each time the popover opens and
// after each reject. The controller lives as long as the application hub.
class PPopoverviewConterller : public QWidget {
    Q_OBJECT
  public:
    // The sizes by number of devices: the scroll view's and this view's (one device or none:
    // 84 high, two: 157, three or more: 230, and the scroll view 17 more). The rows take the
    // view above the grip strip; a fourth device scrolls.
    struct Sizes {
        QSize scrollView;
        QSize view;
    };
    static Sizes sizesForDeviceCount(std::size_t count);
    // Height of one row.
    static constexpr int kRowHeight = 73;

    explicit PPopoverviewConterller(nimbara::ui::DevicePopoverHost& host,
                                    QWidget* parent = nullptr);
    ~PPopoverviewConterller() override;

    QWidget* view() { return this; }
    QWidget* theScrollView() const { return theScrollView_; }
    QListWidget* theTableView() const { return theTableView_; }
    // The rows' devices, as of the last reload.
    const std::vector<std::shared_ptr<PRiDeviceNode>>& deviceController() const {
        return deviceController_;
    }

    // Clear backgrounds for the scroll view and the table.
    void setTableViewColor();
    // The scroll view's and the view's sizes for one, two, three (or more) devices.
    void setOneTableViewFrame();
    void setTwoTableViewFrame();
    void setThreeTableViewFrame();
    // Rows again from the host's list; the current device's row is selected.
    void reloadTableviewData();
    int numberOfRowsInTableView() const;
    // The row's cell view (null out of range).
    PSTableCellView* cellViewAtRow(int row) const;
    // A chosen row's device becomes current (nothing for the current one's row, nor for a row
    // whose device has left the list meanwhile).
    void tableViewSelectionDidChange();
    // A reject button of this view was pressed: its device leaves the host's list, the rows
    // are rebuilt and the host is told.
    void PRRejectButtonMouseDownHandle(const nimbara::Notification& notification);

    // While true (in the popover) the strip under the rows can be dragged to detach the view;
    // it shows a grip and the view a border.
    void setDetachable(bool detachable);
    bool detachable() const { return detachable_; }

  signals:
    // The strip under the rows was dragged off; `globalPos` is where the pointer is.
    void dragOffRequested(const QPoint& globalPos);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void applySizes(const Sizes& sizes);
    void fillCell(PSTableCellView& cell, const PRiDeviceNode& node) const;
    // True when `node` (by identity) is still in the host's list.
    bool stillListed(const std::shared_ptr<PRiDeviceNode>& node) const;

    nimbara::ui::DevicePopoverHost& host_;
    nimbara::NotificationCenter* nc_ = nullptr;
    QWidget* theScrollView_ = nullptr;
    QListWidget* theTableView_ = nullptr;
    std::vector<std::shared_ptr<PRiDeviceNode>> deviceController_;
    nimbara::ObserverBag observers_;
    bool detachable_ = false;
    bool reloading_ = false;
    bool pressed_ = false;
    QPoint pressPos_;
};
