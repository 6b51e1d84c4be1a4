#include "transfer/pages/pr_one_copy_view_controller.h"

PROneCopyViewController::PROneCopyViewController(QObject* parent)
    : PageControllerBase("PROneCopyViewController", QStringLiteral("One-Click Copy"), parent) {
    chosen_.fill(true);
}

void PROneCopyViewController::setCopyIndex(int index) {
    record(QStringLiteral("setCopyIndex(%1)").arg(argument(index)));
    copyIndex_ = index;
}

void PROneCopyViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    chosen_.fill(true);
    bStartScan_ = false;
    bBackup_ = false;
    showNotAvailable();
}

bool PROneCopyViewController::isCategoryChosen(int category) const {
    return category >= 0 && category < kCopyCategoryCount && chosen_[category];
}

void PROneCopyViewController::setCategoryChosen(int category, bool chosen) {
    if (category >= 0 && category < kCopyCategoryCount) {
        chosen_[category] = chosen;
    }
}
