// The storage manager page: the device's files by category (photos, music, videos, books, user
// apps, system apps, user data).
#pragma once

#include <QObject>
#include <QString>

#include <atomic>

#include "ui/page_controller_base.h"

class PRDiskaManagerViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRDiskaManagerViewController(QObject* parent = nullptr);

    // Stores the device index of the page's device services.
    void setDiskManageDeviceIndex(int index);
    // Back to the category table with nothing scanned, for another device.
    void initAllDataAndAllView();

    // Category entries (sender ignored). Until the page is built they show that it is not
    // available; they start no scan and post no notification.
    void ScanDiskPhotoFiles(QObject* sender = nullptr);
    void ScanDiskMusicFiles(QObject* sender = nullptr);
    void ScanDiskVideoFiles(QObject* sender = nullptr);
    void ScanDiskBooksFiles(QObject* sender = nullptr);
    void ScanDiskUserAppFiles(QObject* sender = nullptr);
    void ScanDiskSystemAppFiles(QObject* sender = nullptr);
    void ScanDiskUserDataFiles(QObject* sender = nullptr);

    // Back to the category table (sender ignored).
    void BackToDiskTalbeView(QObject* sender = nullptr);
    // Sent after a device folder tree was re-arranged; nothing to expand while there is none.
    void refreshOutlineView();

    int diskManageDeviceIndex() const { return deviceIndex_.load(); }
    // "overview", "table" or the category shown: "photo", "music", "video", "books",
    // "userApps", "systemApps", "userData".
    QString shownView() const { return shownView_; }

  protected:
    // Each showing resets the device index to 0 (the shell sends the index right after) and
    // shows the overview.
    void viewShown() override;

  private:
    void showCategory(const char* method, QObject* sender, const QString& view);

    std::atomic<int> deviceIndex_{0};
    QString shownView_ = QStringLiteral("overview");
};
