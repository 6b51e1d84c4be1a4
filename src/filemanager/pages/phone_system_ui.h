// The layout of the device file-system browser ("SystemLibView"): the folder outline on the left,
// the chosen folder's entries in a table, the preview pane on the right, the buttons under them
// and the status line; the walk's spinner and text while the device is read. Every widget
// carries its outlet's name as objectName.
#pragma once

class FlashView;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QTreeView;
class QWidget;

struct PhoneSystemUi {
    QWidget* view = nullptr;
    QTreeView* theOutlineView = nullptr;
    QTableView* theTableView = nullptr;
    QWidget* showTableView = nullptr;  // holds the table
    QWidget* showPreview = nullptr;    // holds the preview image and its caption
    QLabel* showImageView = nullptr;
    QLabel* previewNamelab = nullptr;
    QProgressBar* progressor = nullptr;
    QLabel* infolab = nullptr;
    FlashView* scanImageView = nullptr;
    // What went wrong or what was done (hidden when empty).
    QLabel* statuslab = nullptr;

    QPushButton* exportFileBtn = nullptr;
    QPushButton* exportDirBtn = nullptr;
    QPushButton* removeBtn = nullptr;
    QPushButton* addFileBtn = nullptr;

    // The outline's and the table's context menus.
    QMenu* outlineViewMenu = nullptr;
    QAction* outlineExportAction = nullptr;
    QMenu* rightDownMenu = nullptr;
    QAction* selectAllAction = nullptr;
    QAction* unselectAllAction = nullptr;
    QAction* exportFileAction = nullptr;
    QAction* exportDirAction = nullptr;
    QAction* exportDocumentAction = nullptr;
    QAction* removeAction = nullptr;
    QAction* addFileAction = nullptr;
};

// Builds the page's widgets under a new view (parentless; the caller places it).
PhoneSystemUi buildPhoneSystemView();
