// The privacy cleaner page.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

#include "ui/page_controller_base.h"

class PRPrivacyController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRPrivacyController(QObject* parent = nullptr);

    // Stores the device index. An iOS version whose major number is 10 or later selects the
    // backup layout with two-hex-digit subfolders; an older or empty version leaves the choice
    // as it was.
    void setDeviceIndex(int index, const QString& withiOSversion);
    // Forgets everything of the last scan, for another device.
    void initAllDataAndAllView();

    int deviceIndex() const { return deviceIndex_.load(); }
    bool bIOS10Version() const { return bIOS10Version_.load(); }
    int scannedFileCount() const { return fileCount_; }
    std::uint64_t scannedTotalSize() const { return totalSize_; }

  private:
    std::atomic<int> deviceIndex_{0};
    std::atomic<bool> bIOS10Version_{false};
    int fileCount_ = 0;
    std::uint64_t totalSize_ = 0;
};
