// A plain window listing the attached devices with their lockdown values and storage figures,
// refreshed on attach and detach.
#pragma once

#include <QWidget>

#include "platform/notification_center.h"

class QLabel;
class QTreeWidget;
class QTimer;

namespace nimbara {

class DeviceListWindow : public QWidget {
    Q_OBJECT
  public:
    explicit DeviceListWindow(QWidget* parent = nullptr);
    ~DeviceListWindow() override;

    // Rebuilds the list from the device manager.
    void refresh();

  private:
    QTreeWidget* tree_;
    QLabel* status_;
    QTimer* metricsTimer_;
    ObserverBag observers_;
};

}  // namespace nimbara
