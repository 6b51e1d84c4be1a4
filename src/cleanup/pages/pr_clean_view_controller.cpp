#include "cleanup/pages/pr_clean_view_controller.h"

PRCleanViewController::PRCleanViewController(QObject* parent)
    : PageControllerBase("PRCleanViewController", QStringLiteral("App Cleaner"), parent) {}

void PRCleanViewController::viewShown() {
    shownView_ = QStringLiteral("cleanDiskView");
}

void PRCleanViewController::NimbaraShowDeviceClean(int index) {
    record(QStringLiteral("NimbaraShowDeviceClean(%1)").arg(argument(index)));
    cleanDevice_ = index;
}

void PRCleanViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    shownView_ = QStringLiteral("cleanDiskView");
    showNotAvailable();
}

void PRCleanViewController::showDeviceClean(int deviceIndex) {
    record(QStringLiteral("showDeviceClean(%1)").arg(argument(deviceIndex)));
    cleanDevice_ = deviceIndex;
    showNotAvailable();
}

void PRCleanViewController::showResult(const char* method, const QString& view) {
    record(QStringLiteral("%1()").arg(QString::fromLatin1(method)));
    shownView_ = view;
    showNotAvailable();
}

void PRCleanViewController::showCleanJunkView() {
    showResult("showCleanJunkView", QStringLiteral("cleanJunkView"));
}
void PRCleanViewController::showCleanCacheview() {
    showResult("showCleanCacheview", QStringLiteral("cleanCacheview"));
}
void PRCleanViewController::showCleanCookView() {
    showResult("showCleanCookView", QStringLiteral("cleanCookView"));
}
void PRCleanViewController::showCleanMediaView() {
    showResult("showCleanMediaView", QStringLiteral("cleanMediaView"));
}
