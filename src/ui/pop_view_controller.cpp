#include "ui/pop_view_controller.h"

#include <QVBoxLayout>

#include "ui/fonts.h"

PRPopViewController::PRPopViewController(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    theShowTextLab_ = new QLabel(this);
    theShowTextLab_->setObjectName(QStringLiteral("theShowTextLab"));
    theShowTextLab_->setWordWrap(true);
    theShowTextLab_->setFont(nimbara::ui::appFont(11));
    layout->addWidget(theShowTextLab_);
}

void PRPopViewController::ChangeText(const QString& text) {
    if (!text.isNull()) {
        theShowTextLab_->setText(text);
    }
    update();
}
