// The app category of the transfer page: the device's user apps with their icons in an outline
// (appOutlineView over appTreeController); the first expansion of an app walks its container
// and adds its folders and files under it; choosing a folder lists its files (appTableView), and
// choosing a file copies it into the private scratch space and previews it (appImageView). The
// context menus of the outline and the table add, delete and export container files
// (TransferAppFileActions).
//
// The app list loads once per device: the host's busy mark of the apps starts with it and
// "AppScanFinished" stops it when it ends, also when it failed, after which the category can be
// entered again. Every job (the list, the walks one after another, the preview copy, the file
// jobs) runs on a worker bound to the device (index AND serial) it was started for. A device change
// (reset) stops them, drops what they still hand over and empties the views; a departure of the
// device mid-walk says so and drops what was read from it. GUI thread only.
#pragma once

#include <QImage>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTableView>
#include <QTreeView>

#include <deque>
#include <memory>

#include "device/device_target.h"
#include "platform/job_runner.h"
#include "transfer/app_containers.h"
#include "transfer/pages/transfer_app_menus.h"
#include "ui/core/pr_app_tree_controller.h"
#include "ui/folder_tree_models.h"
#include "ui/page_host.h"

class QWidget;

namespace nimbara::transfer {

// The app outline: an app whose container was not walked yet shows that it can be opened.
class AppOutlineModel : public nimbara::ui::PRAppOutlineModel {
  public:
    using nimbara::ui::PRAppOutlineModel::PRAppOutlineModel;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
};

class TransferAppPane : public QObject {
  public:
    using AppDir = PRAppTreeController::AppDir;

    // `host` outlives the pane.
    explicit TransferAppPane(ui::PageHost& host, QObject* parent = nullptr);
    ~TransferAppPane() override;

    // Builds the pane's widgets into `appView` (a view with a vertical layout).
    void attach(QWidget* appView);

    // The category's entry: loads the app list unless it is loading or loaded.
    void ShowApp(int deviceIndex);
    // Called by the tree controller after it re-arranged; folds the outline while loading.
    void refreshOutlineView();
    // The first expansion of an app starts its container walk; later ones start nothing.
    void outlineViewShouldExpandItem(const AppDir& node);
    void outlineViewSelectionDidChange();
    void tableViewSelectionDidChange();

    // Another device became current: stops every job and empties the pane.
    void reset();
    // The device at `index` went away: what was read from the pane's device goes with it.
    void deviceDetached(int index);

    bool bappStartTransfer() const { return started_; }
    bool bAppLoadFinished() const { return finished_; }
    // Some job of the pane runs (the list, a walk, a preview copy or a file job).
    bool busy() const;
    int walksStarted() const { return walksStarted_; }
    QString infoText() const;

    PRAppTreeController& appTreeController() { return appTreeController_; }
    AppOutlineModel* outlineModel() const { return outline_; }
    nimbara::ui::PRAppEntriesModel* appFileController() const { return appFileController_; }
    QTreeView* appOutlineView() const { return appOutlineView_.data(); }
    QTableView* appTableView() const { return appTableView_.data(); }
    QLabel* appImageView() const { return appImageView_.data(); }
    // The context menus and their commands.
    TransferAppFileActions& fileActions() { return *files_; }

  private:
    void listEnded(std::shared_ptr<AppListResult> result);
    // Stops every job and empties the pane, which shows `text` (none: nothing); the category
    // can be entered again.
    void loadFailed(const QString& text);
    void startNextWalk();
    void walkEnded(const AppDir& app, std::shared_ptr<ContainerWalkResult> result);
    void addRecords(const std::vector<AppDir>& records);
    void previewEnded(const std::shared_ptr<PRAppFileTreeNode>& file, const QString& path,
                      const QImage& image, const QString& reason);
    void showPreview(const QImage& image);
    // A file's content changed on the device or it went: a preview of it goes.
    void fileChanged(const std::shared_ptr<PRAppFileTreeNode>& file);
    void setInfo(const QString& text);
    // The preview's line: an empty text takes away only what the preview said last.
    void setPreviewInfo(const QString& text);
    void clearAll();

    ui::PageHost& host_;
    PRAppTreeController appTreeController_;
    AppOutlineModel* outline_ = nullptr;
    nimbara::ui::PRAppEntriesModel* appFileController_ = nullptr;
    // The widgets go with the page's view; a rebuilt view gets new ones (attach).
    QPointer<QTreeView> appOutlineView_;
    QPointer<QTableView> appTableView_;
    QPointer<QLabel> appImageView_;
    QPointer<QLabel> appInfolab_;
    TransferAppFileActions* files_ = nullptr;
    std::weak_ptr<PRAppFileTreeNode> previewed_;  // the file shown (or being copied) for preview
    QString previewInfo_;  // what the preview copy shows on the info line while it runs

    amd::DeviceTarget target_;
    bool started_ = false;   // the list loads
    bool finished_ = false;  // the list was shown
    int walksStarted_ = 0;
    std::deque<AppDir> pendingWalks_;
    nimbara::JobRunner listWorker_;
    nimbara::JobRunner walkWorker_;
    nimbara::JobRunner previewWorker_;
};

}  // namespace nimbara::transfer
