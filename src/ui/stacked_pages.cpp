#include "ui/stacked_pages.h"

#include <QStackedLayout>
#include <QWidget>

namespace nimbara::ui {

bool showOnlyStackedPage(QWidget* place, QWidget* page) {
    auto* stack = place != nullptr ? qobject_cast<QStackedLayout*>(place->layout()) : nullptr;
    if (stack == nullptr || page == nullptr || stack->indexOf(page) < 0) {
        return false;
    }
    stack->setCurrentWidget(page);
    return true;
}

}  // namespace nimbara::ui
