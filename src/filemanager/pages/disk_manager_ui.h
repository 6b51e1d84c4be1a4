// The layout of the storage manager page ("PRDiskManageView"): nine page views of which one shows
// at a time (the overview, the category table, six category lists and the user-data tree), above
// a status line. Every widget carries its outlet's name as objectName.
#pragma once

#include <array>

class PRDiskManagButton;
class PRProgressView;
class QLabel;
class QPushButton;
class QTableView;
class QTreeView;
class QWidget;

// One of the seven categories, in the table's order.
enum class DiskCategory { Photo, Music, Video, Books, UserApps, SystemApps, UserData };
inline constexpr int kDiskCategoryCount = 7;

// The row of a category in the category table.
struct DiskCategoryRowUi {
    QPushButton* button = nullptr;  // shows the category's list once it was scanned
    QLabel* sizelab = nullptr;      // the category's bytes, hidden until scanned
    QLabel* statelab = nullptr;     // "Scanning…" or what went wrong, in the size label's place
    QLabel* headImageView = nullptr;
    PRProgressView* progress = nullptr;
};

// One category's list view: a back button, a line saying what the list holds, the table, the
// preview of the chosen row and the action buttons.
struct DiskListViewUi {
    QWidget* view = nullptr;
    QPushButton* backBtn = nullptr;
    QLabel* infolab = nullptr;
    QTableView* table = nullptr;
    QLabel* previewImage = nullptr;
    QLabel* previewName = nullptr;
    QLabel* previewSize = nullptr;          // the version for apps
    std::array<QPushButton*, 3> actions{};  // null where the view has fewer
};

struct DiskManagerUi {
    QWidget* view = nullptr;

    // Overview.
    QWidget* diskStateView = nullptr;
    PRDiskManagButton* diskManageButton = nullptr;
    PRProgressView* systemProgress = nullptr;
    PRProgressView* userDataProgress = nullptr;
    QLabel* iOSUsedlab = nullptr;
    QLabel* iOSFreelab = nullptr;
    QLabel* userUsedlab = nullptr;
    QLabel* userFreelab = nullptr;
    QLabel* deviceSpacelab = nullptr;  // used and free of the whole device

    // The category table.
    QWidget* diskTableView = nullptr;
    QPushButton* scanAllBtn = nullptr;
    std::array<DiskCategoryRowUi, kDiskCategoryCount> rows{};

    // The lists.
    DiskListViewUi photo;   // photoFileView, photoFileTableview
    DiskListViewUi music;   // musicFileView, musicFileTableView
    DiskListViewUi video;   // videoFileView, vidoeFileTableView
    DiskListViewUi books;   // booksFileView, bookFileTableview
    DiskListViewUi apps;    // appFileView, appFileTableView
    DiskListViewUi system;  // systemAppFileView, systemAppFileTableView

    // User data: the folder outline and the chosen folder's entries.
    QWidget* userLibDataView = nullptr;
    QPushButton* userLibDataBackBtn = nullptr;
    QLabel* userLibDatainfolab = nullptr;
    QTreeView* userLibDataFileOutlineView = nullptr;
    QTableView* userLibDataFileTableView = nullptr;
    std::array<QPushButton*, 2> userLibDataActions{};

    // What went wrong last (hidden when empty).
    QLabel* statuslab = nullptr;

    DiskCategoryRowUi& row(DiskCategory category) { return rows[static_cast<int>(category)]; }
    // The nine page views: overview, table, photo, music, video, books, apps, system apps, user
    // data.
    std::array<QWidget*, 9> views() const {
        return {diskStateView, diskTableView, photo.view,  music.view,     video.view,
                books.view,    apps.view,     system.view, userLibDataView};
    }
    std::array<DiskListViewUi*, 6> lists() {
        return {&photo, &music, &video, &books, &apps, &system};
    }
};

// Builds the page's widgets under a new view (parentless; the caller places it). Only
// diskStateView shows.
DiskManagerUi buildDiskManagerView();
