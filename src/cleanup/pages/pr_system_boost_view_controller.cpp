#include "cleanup/pages/pr_system_boost_view_controller.h"

PRSystemBoostViewController::PRSystemBoostViewController(QObject* parent)
    : PageControllerBase("PRSystemBoostViewController", QStringLiteral("System Boost"), parent) {}

void PRSystemBoostViewController::setDeviceIndex(int index) {
    record(QStringLiteral("setDeviceIndex(%1)").arg(argument(index)));
    deviceIndex_ = index;
}

void PRSystemBoostViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    showNotAvailable();
}
