// The preferences window: a borderless window in window blue with its own close button, three
// tab buttons (General, Cleanup, One-click copy) over a white panel holding the three tab views,
// and Apply below. Every widget carries its outlet's name as objectName.
//
//   General          the export folder (a text field and "Change...")
//   Cleanup          the large-file and large-app sliders with their texts; the clean-up schedule
//   One-click copy   the one-click copy schedule
//
// The schedule boxes only enable their pop-ups: the notes under them say that nothing runs on a
// schedule.
#pragma once

#include <memory>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;
class PRClosedButton;

namespace nimbara::ui {
class ImageButton;
}

struct PreferencesWindowUi {
    QDialog* preferenceWindow = nullptr;
    QWidget* titleBarView = nullptr;
    PRClosedButton* closedPreferenceButton = nullptr;

    nimbara::ui::ImageButton* generaBtn = nullptr;
    nimbara::ui::ImageButton* cleanupBtn = nullptr;
    nimbara::ui::ImageButton* oneCopyBtn = nullptr;

    QWidget* preferenceMainView = nullptr;
    QWidget* preferenceGeneraView = nullptr;
    QWidget* preferenceCleanupView = nullptr;
    QWidget* preferenceOneCopyView = nullptr;

    // General
    QLineEdit* nimbaraPathlab = nullptr;
    QPushButton* changePathBtn = nullptr;

    // Cleanup
    QSlider* fileSizeSlider = nullptr;
    QLabel* fileSizeSliderInfolab = nullptr;
    QSlider* appSizeSlider = nullptr;
    QLabel* appSizeSliderlab = nullptr;
    QCheckBox* cleanUpCheckBtn = nullptr;
    QComboBox* cleanUpSchedulButton = nullptr;
    QLabel* cheanupSchedullab = nullptr;
    QLabel* cleanUpScheduleNotelab = nullptr;

    // One-click copy
    QCheckBox* onecopyCheckBtn = nullptr;
    QComboBox* oneCopySchedulButton = nullptr;
    QLabel* onecopySchedullab = nullptr;
    QLabel* oneCopyScheduleNotelab = nullptr;

    QPushButton* applyButton = nullptr;
    QLabel* preferenceStatuslab = nullptr;  // what the last Apply did
};

// Builds the window (hidden) as a child window of `parent` (may be null).
std::unique_ptr<PreferencesWindowUi> buildPreferencesWindowUi(QWidget* parent);
