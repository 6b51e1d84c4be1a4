#include "cleanup/pages/pr_find_large_file_view_controller.h"

PRFindLargeFileViewController::PRFindLargeFileViewController(QObject* parent)
    : PageControllerBase("PRFindLargeFileViewController", QStringLiteral("Find Large Files"),
                         parent) {}

void PRFindLargeFileViewController::setDeviceIndex(int index) {
    record(QStringLiteral("setDeviceIndex(%1)").arg(argument(index)));
    deviceIndex_ = index;
}

void PRFindLargeFileViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    showNotAvailable();
}
