// The device file browser page: the device's folder tree.
#pragma once

#include <atomic>

#include "ui/page_controller_base.h"

class QWidget;

class PRPhoneSystemViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRPhoneSystemViewController(QObject* parent = nullptr);

    // Puts the browser's view into `container` and shows it (as showView).
    void showPhoneSystemView(QWidget* container);
    // Entry with the device index. Until the page is built it shows that it is not available;
    // it starts no walk and posts no notification.
    void LookupSystemTree(int deviceIndex);

    int deviceIndex() const { return deviceIndex_.load(); }

  private:
    std::atomic<int> deviceIndex_{0};
};
