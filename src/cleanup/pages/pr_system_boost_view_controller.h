// The system boost page: junk the system leaves on the device.
#pragma once

#include <atomic>

#include "ui/page_controller_base.h"

class PRSystemBoostViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRSystemBoostViewController(QObject* parent = nullptr);

    // Stores the device index of the page.
    void setDeviceIndex(int index);
    // Back to the start with nothing found, for another device; keeps the device index.
    void initAllDataAndAllView();

    int deviceIndex() const { return deviceIndex_.load(); }

  private:
    std::atomic<int> deviceIndex_{0};
};
