// The list of local backups shown by the backup browser's start page, one row per backup folder.
//
// The model lives on the GUI thread. Reading the backup folders (two property lists each) is done
// by loadDeviceNodes as the controller's background job; the rows arrive in one go when the read
// is done, so the GUI thread never waits for the disk.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "backup/pr_ios_device_node.h"
#include "platform/job_runner.h"

class PRIOSDeviceController : public QAbstractTableModel {
    Q_OBJECT

  public:
    // The table's columns; columnIdentifier names them ("Name" shows the device picture).
    enum Column { NameColumn, TypeColumn, VersionColumn, SerialColumn, TimeColumn, ColumnCount };

    explicit PRIOSDeviceController(QObject* parent = nullptr);
    // A listing still being read is dropped, never waited for.
    ~PRIOSDeviceController() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display texts per column; the "Name" column's decoration is the row's deviceImage; every
    // cell's font is "Lucida Grande" at 11 points; the tool tip says why a backup can't be read.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // "Name", "Type", "iOS", "Serial", "Date"; empty outside the columns.
    static QString columnIdentifier(int column);

    // The listed backups, in list order (GUI thread).
    const std::vector<std::shared_ptr<PRIOSDeviceNode>>& content() const { return content_; }
    // Replaces the list.
    void setContent(std::vector<std::shared_ptr<PRIOSDeviceNode>> nodes);
    // The backup of one row; null outside the list.
    std::shared_ptr<PRIOSDeviceNode> nodeAt(int row) const;

    // Empties the list.
    void removeAllObjects();

    // Reads one backup folder on the calling thread and appends its row when it is a usable
    // backup. Logs "Filepath is not exist" when nothing is at the path.
    void addDeviceNodeByPath(const QString& path);

    // Empties the list, then reads every backup folder in `root` in the background and shows
    // them (in the listing order of nimbara::backup::scanLocalBackups). `then` runs on the
    // GUI thread once the rows are there. A later call supersedes a listing still being read:
    // only the newest listing is shown, and every `then` waiting runs after it, in call order.
    void loadDeviceNodes(const QString& root, std::function<void()> then = {});
    // A backup folder outside the root (one made in another folder): every later listing shows
    // it after the root's own backups, while it is a usable backup.
    void includeBackupFolder(const QString& folder);
    // True from loadDeviceNodes until its rows are shown.
    bool isLoading() const { return loading_; }

  private:
    void finishLoad(std::vector<std::shared_ptr<PRIOSDeviceNode>> nodes);

    std::vector<std::shared_ptr<PRIOSDeviceNode>> content_;
    std::vector<QString> included_;
    // The listing being read; a newer one replaces it, and what a replaced one read is dropped.
    nimbara::JobRunner reader_;
    bool loading_ = false;
    std::vector<std::function<void()>> waiting_;
};
