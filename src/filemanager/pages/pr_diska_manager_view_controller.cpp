#include "filemanager/pages/pr_diska_manager_view_controller.h"

PRDiskaManagerViewController::PRDiskaManagerViewController(QObject* parent)
    : PageControllerBase("PRDiskaManagerViewController", QStringLiteral("Storage Manager"),
                         parent) {}

void PRDiskaManagerViewController::viewShown() {
    deviceIndex_ = 0;
    shownView_ = QStringLiteral("overview");
}

void PRDiskaManagerViewController::setDiskManageDeviceIndex(int index) {
    record(QStringLiteral("setDiskManageDeviceIndex(%1)").arg(argument(index)));
    deviceIndex_ = index;
}

void PRDiskaManagerViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    shownView_ = QStringLiteral("table");
    showNotAvailable();
}

void PRDiskaManagerViewController::showCategory(const char* method, QObject* sender,
                                                const QString& view) {
    record(QStringLiteral("%1(%2)").arg(QString::fromLatin1(method), argument(sender)));
    shownView_ = view;
    showNotAvailable();
}

void PRDiskaManagerViewController::ScanDiskPhotoFiles(QObject* sender) {
    showCategory("ScanDiskPhotoFiles", sender, QStringLiteral("photo"));
}
void PRDiskaManagerViewController::ScanDiskMusicFiles(QObject* sender) {
    showCategory("ScanDiskMusicFiles", sender, QStringLiteral("music"));
}
void PRDiskaManagerViewController::ScanDiskVideoFiles(QObject* sender) {
    showCategory("ScanDiskVideoFiles", sender, QStringLiteral("video"));
}
void PRDiskaManagerViewController::ScanDiskBooksFiles(QObject* sender) {
    showCategory("ScanDiskBooksFiles", sender, QStringLiteral("books"));
}
void PRDiskaManagerViewController::ScanDiskUserAppFiles(QObject* sender) {
    showCategory("ScanDiskUserAppFiles", sender, QStringLiteral("userApps"));
}
void PRDiskaManagerViewController::ScanDiskSystemAppFiles(QObject* sender) {
    showCategory("ScanDiskSystemAppFiles", sender, QStringLiteral("systemApps"));
}
void PRDiskaManagerViewController::ScanDiskUserDataFiles(QObject* sender) {
    showCategory("ScanDiskUserDataFiles", sender, QStringLiteral("userData"));
}

void PRDiskaManagerViewController::BackToDiskTalbeView(QObject* sender) {
    showCategory("BackToDiskTalbeView", sender, QStringLiteral("table"));
}

void PRDiskaManagerViewController::refreshOutlineView() {
    record(QStringLiteral("refreshOutlineView()"));
}
