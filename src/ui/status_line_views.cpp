#include "ui/status_line_views.h"

#include <QEvent>
#include <QLabel>
#include <QWidget>

namespace nimbara::ui {

StatusLineViews::StatusLineViews(QLabel* line, const std::vector<QWidget*>& views)
    : QObject(line), line_(line) {
    for (QWidget* view : views) {
        if (view == nullptr) {
            continue;
        }
        view->installEventFilter(this);
        // The view on show at first: the one its parent would show.
        if (!current_ && view->isVisibleTo(view->parentWidget())) {
            current_ = view;
        }
    }
}

bool StatusLineViews::eventFilter(QObject* watched, QEvent* event) {
    // ShowToParent comes whenever a view is made visible, even while its page is hidden.
    if (event->type() == QEvent::ShowToParent) {
        viewShown(static_cast<QWidget*>(watched));
    }
    return QObject::eventFilter(watched, event);
}

void StatusLineViews::viewShown(QWidget* view) {
    if (!line_ || view == current_) {
        return;
    }
    if (current_) {
        const bool said = !line_->isHidden() && !line_->text().isEmpty();
        texts_.insert(current_, said ? line_->text() : QString());
    }
    current_ = view;
    const QString text = texts_.take(view);
    line_->setText(text);
    line_->setVisible(!text.isEmpty());
}

void StatusLineViews::withdraw(const QString& text) {
    for (auto it = texts_.begin(); it != texts_.end(); ++it) {
        if (it.value() == text) {
            it.value().clear();
        }
    }
}

void withdrawStatus(QLabel* line, const QString& text) {
    if (line == nullptr || text.isEmpty()) {
        return;
    }
    if (auto* views = line->findChild<StatusLineViews*>(QString(), Qt::FindDirectChildrenOnly)) {
        views->withdraw(text);
    }
    if (line->text() == text) {
        line->clear();
        line->hide();
    }
}

void keepStatusPerView(QLabel* line, const std::vector<QWidget*>& views) {
    if (line != nullptr) {
        new StatusLineViews(line, views);
    }
}

}  // namespace nimbara::ui
