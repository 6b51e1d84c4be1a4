#include "backup/pages/pr_ios_device_controller.h"

#include "ui/page_call_log.h"

PRIOSDeviceController::PRIOSDeviceController(QObject* parent) : QAbstractListModel(parent) {}

int PRIOSDeviceController::rowCount(const QModelIndex&) const {
    return 0;
}

QVariant PRIOSDeviceController::data(const QModelIndex&, int) const {
    return QVariant();
}

void PRIOSDeviceController::removeAllObjects() {
    nimbara::ui::PageCallLog::record("PRIOSDeviceController::removeAllObjects()");
    beginResetModel();
    endResetModel();
}
