// The app clean-up page: caches, cookies, temporary files and sync-failed media of the device.
#pragma once

#include <QString>

#include <atomic>

#include "ui/page_controller_base.h"

class PRCleanViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRCleanViewController(QObject* parent = nullptr);

    // Stores the device index of the page (`cleanDevice`); nothing else.
    void NimbaraShowDeviceClean(int index);
    // Back to the start view with nothing found, for another device.
    void initAllDataAndAllView();
    // The device clean-up entry. Until the page is built it shows that it is not available; it
    // starts no scan and posts no notification.
    void showDeviceClean(int deviceIndex);

    // Show one result view alone.
    void showCleanJunkView();
    void showCleanCacheview();
    void showCleanCookView();
    void showCleanMediaView();

    int cleanDevice() const { return cleanDevice_.load(); }
    // "cleanDiskView" (the start view), "cleanJunkView", "cleanCacheview", "cleanCookView" or
    // "cleanMediaView".
    QString shownView() const { return shownView_; }

  protected:
    void viewShown() override;

  private:
    void showResult(const char* method, const QString& view);

    std::atomic<int> cleanDevice_{0};
    QString shownView_ = QStringLiteral("cleanDiskView");
};
