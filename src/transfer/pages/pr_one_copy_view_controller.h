// The one-click copy page: copies a device's records to this computer in one go.
#pragma once

#include <array>
#include <atomic>

#include "ui/page_controller_base.h"

class PROneCopyViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    static constexpr int kCopyCategoryCount = 12;

    explicit PROneCopyViewController(QObject* parent = nullptr);

    // Stores the device index of the page's device services.
    void setCopyIndex(int index);
    // Back to the start for another device: every category chosen, no scan started, no backup.
    void initAllDataAndAllView();

    int copyIndex() const { return copyIndex_.load(); }
    bool bBackup() const { return bBackup_; }
    void setBBackup(bool made) { bBackup_ = made; }
    bool bStartScan() const { return bStartScan_; }
    // Whether copy category `category` (0 to 11) is chosen; false outside that range.
    bool isCategoryChosen(int category) const;
    void setCategoryChosen(int category, bool chosen);

  private:
    std::atomic<int> copyIndex_{0};
    bool bBackup_ = false;
    bool bStartScan_ = false;
    std::array<bool, kCopyCategoryCount> chosen_{};
};
