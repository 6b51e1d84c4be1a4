// The list of local backups shown by the backup browser, one row per backup folder.
#pragma once

#include <QAbstractListModel>

#include <memory>
#include <vector>

#include "backup/pr_ios_device_node.h"

class PRIOSDeviceController : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit PRIOSDeviceController(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display text: "<device name> <backup time>".
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The listed backups, in list order.
    const std::vector<std::shared_ptr<PRIOSDeviceNode>>& content() const { return content_; }
    // Replaces the list.
    void setContent(std::vector<std::shared_ptr<PRIOSDeviceNode>> nodes);
    // The backup of one row; null outside the list.
    std::shared_ptr<PRIOSDeviceNode> nodeAt(int row) const;

    // Empties the list.
    void removeAllObjects();

  private:
    std::vector<std::shared_ptr<PRIOSDeviceNode>> content_;
};
