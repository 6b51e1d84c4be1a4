// The list of local backups shown by the backup browser, one row per backup folder. Empty until
// the backup browser is built.
#pragma once

#include <QAbstractListModel>

class PRIOSDeviceController : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit PRIOSDeviceController(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Empties the list.
    void removeAllObjects();
};
