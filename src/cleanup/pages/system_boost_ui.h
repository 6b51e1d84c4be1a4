// The layout of the system boost page ("SystemBoost"): the summary view (mainView) with a row
// per kind of junk, the spinner and the scan button; the list view (ResultView) with one kind's
// files; and the remove-all sheet. Every widget carries its outlet's name as objectName.
#pragma once

#include <array>

#include "cleanup/pages/clean_view_ui.h"

class FlashView;
class PRScanButton;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QWidget;

struct SystemBoostUi {
    QWidget* view = nullptr;
    QWidget* mainView = nullptr;
    QWidget* ResultView = nullptr;
    QLabel* systemBoostImageView = nullptr;  // header image
    // The kinds in scan order: system log, download temp, user storage, sync failed, sync cache.
    std::array<CleanCategoryRowUi, 5> kinds;
    PRScanButton* scanButton = nullptr;
    FlashView* theFalshView = nullptr;
    // Each view's own line, beside its bottom buttons, which it never moves: what went wrong or
    // what was done (hidden when empty). The summary's, then the list's.
    QLabel* statuslab = nullptr;
    QLabel* resultStatuslab = nullptr;

    QLabel* resultTitlelab = nullptr;
    QTableView* systemBoostTableview = nullptr;
    QPushButton* backButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* exportButton = nullptr;

    QDialog* removeWindow = nullptr;  // made window-modal over the main window when shown
    QLabel* removeFileInfolab = nullptr;
    QLabel* removeNumberInfolab = nullptr;
    QProgressBar* removeProgress = nullptr;
};

// Builds the page's widgets under a new view (parentless; the caller places it).
SystemBoostUi buildSystemBoostView();
