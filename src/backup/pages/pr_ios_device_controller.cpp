#include "backup/pages/pr_ios_device_controller.h"

#include "ui/page_call_log.h"

PRIOSDeviceController::PRIOSDeviceController(QObject* parent) : QAbstractListModel(parent) {}

int PRIOSDeviceController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(content_.size());
}

QVariant PRIOSDeviceController::data(const QModelIndex& index, int role) const {
    const auto node = nodeAt(index.row());
    if (!node || role != Qt::DisplayRole) {
        return QVariant();
    }
    return QStringLiteral("%1 %2").arg(node->strDeviceName(), node->strDeviceBackUpTime());
}

void PRIOSDeviceController::setContent(std::vector<std::shared_ptr<PRIOSDeviceNode>> nodes) {
    beginResetModel();
    content_ = std::move(nodes);
    endResetModel();
}

std::shared_ptr<PRIOSDeviceNode> PRIOSDeviceController::nodeAt(int row) const {
    if (row < 0 || row >= static_cast<int>(content_.size())) {
        return nullptr;
    }
    return content_[static_cast<std::size_t>(row)];
}

void PRIOSDeviceController::removeAllObjects() {
    nimbara::ui::PageCallLog::record("PRIOSDeviceController::removeAllObjects()");
    setContent({});
}
