// The layout of the clean-up page ("CleanView"). One stack holds the page's views:
// - the app clean-up: the start view (category rows with size and path labels, progress bars,
//   the start button and the spinner) and a result view per category (documents, caches,
//   temporary files, cookies) and for the advertisement caches;
// - the device clean-up: an overview, the junk, cache and cookie views (a folder outline beside
//   the files of the chosen folder) and the sync-failed media table.
// Every widget carries its outlet's name as objectName.
#pragma once

#include <array>

class FlashView;
class QDialog;
class PRAppCleanButton;
class PRProgressView;
class QLabel;
class QGridLayout;
class QMenu;
class QProgressBar;
class QPushButton;
class QString;
class QStackedWidget;
class QTableView;
class QTreeView;
class QString;
class QVBoxLayout;
class QWidget;

// One category row of the start view.
struct CleanCategoryRowUi {
    QPushButton* button = nullptr;  // opens the category's result view
    QLabel* sizelab = nullptr;
    QLabel* pathlab = nullptr;
    QLabel* imageView = nullptr;
    PRProgressView* progress = nullptr;
};

// One result view of the app clean-up.
struct CleanResultViewUi {
    QWidget* view = nullptr;
    QTableView* table = nullptr;
    QLabel* infolab = nullptr;
    QProgressBar* progressor = nullptr;
    QPushButton* exportBtn = nullptr;
    QPushButton* removeBtn = nullptr;
    QPushButton* removeAllBtn = nullptr;
    QPushButton* backBtn = nullptr;
    QLabel* hintlab = nullptr;  // the documents' view: how to keep a document (null elsewhere)
};

// One device clean-up view with its outline and file table.
struct CleanTreeViewUi {
    QWidget* view = nullptr;
    QTreeView* outline = nullptr;
    QTableView* table = nullptr;
    QLabel* infolab = nullptr;
    QMenu* fileMenu = nullptr;  // on the table
    QMenu* dirMenu = nullptr;   // on the outline
};

struct CleanViewUi {
    QWidget* view = nullptr;
    QStackedWidget* stack = nullptr;
    // A line under every view: what the device refused or what went wrong (hidden when empty).
    QLabel* statuslab = nullptr;

    // App clean-up start view.
    QWidget* cleanDiskView = nullptr;
    QLabel* headlab = nullptr;
    CleanCategoryRowUi document, cache, junk, cook, ads;
    PRAppCleanButton* appStartBtn = nullptr;
    FlashView* appFlashView = nullptr;
    QPushButton* deviceCleanBtn = nullptr;  // to the device clean-up overview
    QPushButton* appCleanTipBtn = nullptr;  // opens appCleaneTipWindow
    // The tip sheet of the app clean-up: what each category is and what stays.
    QDialog* appCleaneTipWindow = nullptr;
    QPushButton* closeCleanTipBtn = nullptr;

    // App clean-up result views.
    CleanResultViewUi documentResult;  // cleanDocumentTableView, cleanDocumentFileTableview
    CleanResultViewUi cacheResult;     // cleanCacheTableView, cleanCacheFileTableView
    CleanResultViewUi junkResult;      // cleanJunkTableView, cleanJunkFileTableView
    CleanResultViewUi cookResult;      // cleanCookTableView, cleanCookieFileTableView
    QWidget* cleanAppAdsView = nullptr;
    QTableView* AdsTableView = nullptr;
    QLabel* adsInfolab = nullptr;
    QPushButton* adsRemoveBtn = nullptr;
    QPushButton* adsRemoveAllBtn = nullptr;
    QPushButton* adsBackBtn = nullptr;

    // Device clean-up.
    QWidget* cleanMainView = nullptr;
    QLabel* mainInfolab = nullptr;
    QPushButton* mainScanBtn = nullptr;
    QPushButton* mainJunkBtn = nullptr;
    QPushButton* mainCacheBtn = nullptr;
    QPushButton* mainCookBtn = nullptr;
    QPushButton* mainMediaBtn = nullptr;
    QPushButton* mainAppCleanBtn = nullptr;  // back to the app clean-up start view
    CleanTreeViewUi junkView;                // cleanJunkView, JunkOutlineView, junkFileTableView
    CleanTreeViewUi cacheView;               // cleanCacheview, CacheOutlineView, cacheFileTableView
    CleanTreeViewUi cookView;                // cleanCookView, CookOutlineView, cookieTableView
    QWidget* cleanMediaView = nullptr;
    QTableView* syncFailedTableView = nullptr;
    QLabel* mediaInfolab = nullptr;
    QMenu* syncedMenu = nullptr;

    // The back buttons of the device clean-up views (to cleanMainView).
    std::array<QPushButton*, 4> deviceBackBtns{};
};

// Builds the page's widgets under a new view (parentless; the caller places it).
CleanViewUi buildCleanView();

// The pieces the clean-up pages' layouts share.
namespace cleanview {
// A push button in the pages' font.
QPushButton* makeButton(QWidget* parent, const char* name, const QString& title);
// A read-only table of rows, one or many chosen at a time.
QTableView* makeTable(QWidget* parent, const char* name, bool multiple);
// The line under a page's views that says what went wrong: red, wrapped, hidden until used.
QLabel* makeStatusLine(QWidget* view, const char* name);
// Shows `text` on such a line (hidden when empty): red for a problem, else in the text colour
// (what an export wrote and where, what a removal freed).
void setStatusLine(QLabel* line, const QString& text, bool problem);
// The layout of a view headed by a title line, with its content below.
QVBoxLayout* headedView(QWidget* view, const char* titleName, const QString& title);
// A category row in `grid` at `row`: marker image, button, progress bar, and the size and path
// labels sharing one cell (one of them shows at a time).
CleanCategoryRowUi makeCategoryRow(QWidget* parent, QGridLayout* grid, int row,
                                   const char* buttonName, const char* sizeName,
                                   const char* pathName, const char* imageName,
                                   const char* progressName, const QString& title);
}  // namespace cleanview
