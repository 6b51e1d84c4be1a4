#include "ui/view_helpers.h"

#include <QLabel>
#include <QPushButton>

#include "ui/named_image.h"

namespace nimbara::ui {

void setImageViewImage(QLabel* view, const QString& imageName) {
    if (view == nullptr) {
        return;
    }
    view->setProperty("imageName", imageName);
    view->setPixmap(namedImage(imageName));
}

QString imageViewImageName(const QLabel* view) {
    return view != nullptr ? view->property("imageName").toString() : QString();
}

void setEntryBackground(QPushButton* button, const QColor& colour) {
    if (button == nullptr) {
        return;
    }
    button->setProperty("entryBackground", colour);
    const QString rgb =
        QStringLiteral("rgb(%1, %2, %3)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
    // The same colour in every state: entries have no press highlight.
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: none; }"
                                         "QPushButton:pressed { background-color: %1; }")
                              .arg(rgb));
}

QColor entryBackground(const QPushButton* button) {
    return button != nullptr ? button->property("entryBackground").value<QColor>() : QColor();
}

void setLabelColour(QLabel* label, const QColor& colour) {
    if (label == nullptr) {
        return;
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    label->setPalette(palette);
    // A style sheet of a parent (the sidebar rows have one) would otherwise repaint the label
    // in the default text colour.
    label->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(colour.name()));
    label->setProperty("textColour", colour);
}

QColor labelColour(const QLabel* label) {
    return label != nullptr ? label->property("textColour").value<QColor>() : QColor();
}

}  // namespace nimbara::ui
