// The advertisement-removal page: advertisement caches of the user's apps.
#pragma once

#include <atomic>

#include "ui/page_controller_base.h"

class PRAdsRemoveController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRAdsRemoveController(QObject* parent = nullptr);

    // Stores the device index of the page (0 until set).
    void setDeviceIndex(int index);

    int deviceIndex() const { return deviceIndex_.load(); }

  private:
    std::atomic<int> deviceIndex_{0};
};
