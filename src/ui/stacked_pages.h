// Places of a window that hold several pages in a stacked layout that shows one at a time.
#pragma once

class QWidget;

namespace nimbara::ui {

// Shows `page`, one of the pages the stacked layout of `place` holds, in place of the one shown.
// False, with nothing changed, when `place` has no stacked layout or it does not hold `page`.
bool showOnlyStackedPage(QWidget* place, QWidget* page);

}  // namespace nimbara::ui
