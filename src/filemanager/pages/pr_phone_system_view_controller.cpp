#include "filemanager/pages/pr_phone_system_view_controller.h"

#include <QWidget>

PRPhoneSystemViewController::PRPhoneSystemViewController(QObject* parent)
    : PageControllerBase("PRPhoneSystemViewController", QStringLiteral("Device Files"), parent) {}

void PRPhoneSystemViewController::showPhoneSystemView(QWidget* container) {
    record(QStringLiteral("showPhoneSystemView(%1)").arg(argument(container)));
    placeView(container);
}

void PRPhoneSystemViewController::LookupSystemTree(int deviceIndex) {
    record(QStringLiteral("LookupSystemTree(%1)").arg(argument(deviceIndex)));
    deviceIndex_ = deviceIndex;
    showNotAvailable();
}
