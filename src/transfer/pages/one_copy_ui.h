// The layout of the one-click copy page ("PROneCopyView"): the twelve rows, each with its toggle,
// title, spinner and done mark, the start button with the spinning disk, and a status line.
// Every widget carries its outlet's name as objectName.
#pragma once

#include <array>

#include "transfer/one_copy_job.h"

class FlashView;
class PROneCopyButton;
class QLabel;
class QProgressBar;
class QWidget;

namespace nimbara::ui {
class ImageButton;
}

struct OneCopyRowUi {
    nimbara::ui::ImageButton* checkBtn = nullptr;  // "button_off.png": on; "button_on.png": off
    QLabel* titlelab = nullptr;
    QProgressBar* progress = nullptr;  // the row's spinner (a busy bar)
    QLabel* okMark = nullptr;          // the row's done mark
    QLabel* failMark = nullptr;        // shown instead when the row's step failed
    // Under the title when items of the row could not be copied: how many, and a link to the
    // list of them.
    QLabel* failurelab = nullptr;
};

struct OneCopyUi {
    QWidget* view = nullptr;
    QWidget* copyDiskView = nullptr;
    std::array<OneCopyRowUi, nimbara::transfer::kOneCopyRowCount> rows;
    FlashView* theFalshView = nullptr;
    PROneCopyButton* startScanBtn = nullptr;
    // What went wrong, or where the copies are (hidden when empty).
    QLabel* statuslab = nullptr;

    OneCopyRowUi& row(nimbara::transfer::OneCopyRow r) {
        return rows[nimbara::transfer::oneCopySlot(r)];
    }
};

// The row's title as the page shows it.
QString oneCopyRowTitle(nimbara::transfer::OneCopyRow row);

// Builds the page's widgets under a new view (parentless; the caller places it).
OneCopyUi buildOneCopyView();
