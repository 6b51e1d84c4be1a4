#include "ui/alerts.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

namespace nimbara {

Alerts::Handler& Alerts::handler() {
    static Handler current;
    return current;
}

Alerts::Answer Alerts::ask(QWidget* parent, const Question& question) {
    // Copied, so a handler that replaces itself while it runs stays alive until it returns.
    const Handler current = handler();
    if (current) {
        return current(parent, question);
    }
    return messageBox(parent, question);
}

void Alerts::setHandler(Handler replacement) {
    handler() = std::move(replacement);
}

Alerts::ScopedHandler::ScopedHandler(Handler replacement) : previous_(handler()) {
    handler() = std::move(replacement);
}

Alerts::ScopedHandler::~ScopedHandler() {
    handler() = std::move(previous_);
}

void Alerts::Dismissal::dismiss() {
    dismissed_ = true;
    if (close_) {
        const std::function<void()> close = close_;  // the question may let go of it meanwhile
        close();
    }
}

Alerts::Answer Alerts::messageBox(QWidget* parent, const Question& question) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Question);
    box.setWindowTitle(QStringLiteral("Nimbara"));
    box.setText(question.message);
    box.setInformativeText(question.informativeText);
    QPushButton* defaultButton = box.addButton(question.defaultButton, QMessageBox::AcceptRole);
    QPushButton* alternateButton = nullptr;
    if (!question.alternateButton.isEmpty()) {
        alternateButton = box.addButton(question.alternateButton, QMessageBox::RejectRole);
        box.setEscapeButton(alternateButton);
    }
    QPushButton* otherButton = nullptr;
    if (!question.otherButton.isEmpty()) {
        otherButton = box.addButton(question.otherButton, QMessageBox::DestructiveRole);
    }
    box.setDefaultButton(defaultButton);
    if (!question.suppressionText.isEmpty()) {
        box.setCheckBox(new QCheckBox(question.suppressionText, &box));
    }
    if (question.dismissal) {
        if (question.dismissal->dismissed()) {
            return Answer::Alternate;
        }
        question.dismissal->onDismiss([&box] { box.reject(); });
    }
    box.exec();
    if (question.dismissal) {
        question.dismissal->onDismiss({});
        if (question.dismissal->dismissed()) {
            return Answer::Alternate;
        }
    }
    if (question.suppressionChecked != nullptr && box.checkBox() != nullptr) {
        *question.suppressionChecked = box.checkBox()->isChecked();
    }
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked != nullptr && clicked == alternateButton) {
        return Answer::Alternate;
    }
    if (clicked != nullptr && clicked == otherButton) {
        return Answer::Other;
    }
    if (clicked == nullptr && alternateButton != nullptr) {
        return Answer::Alternate;  // closed with Escape or the window's close button
    }
    return Answer::Default;
}

}  // namespace nimbara
