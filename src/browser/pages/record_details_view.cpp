#include "browser/pages/record_details_view.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "browser/record_details.h"
#include "ui/fonts.h"

namespace nimbara::browser {

RecordDetailsView::RecordDetailsView(const char* objectName, QWidget* parent)
    : QWidget(parent), layout_(new QVBoxLayout(this)) {
    setObjectName(QString::fromLatin1(objectName));
    layout_->setContentsMargins(8, 4, 4, 4);
    layout_->addStretch(1);
    setMinimumWidth(220);
}

QLabel* RecordDetailsView::picture(const char* objectName) {
    if (!picture_) {
        picture_ = new QLabel(this);
        picture_->setObjectName(QString::fromLatin1(objectName));
        picture_->setFixedSize(96, 96);
        picture_->setScaledContents(false);
        picture_->setAlignment(Qt::AlignCenter);
        layout_->insertWidget(0, picture_, 0, Qt::AlignLeft);
        picture_->hide();
    }
    return picture_;
}

// The label of `line` and the widget whose visibility the line sets.
QWidget* RecordDetailsView::lineWidget(const DetailLine& line, QLabel** label) {
    const QString name = QString::fromLatin1(line.outlet);
    *label = findChild<QLabel*>(name);
    if (!*label) {
        *label = new QLabel(this);
        (*label)->setObjectName(name);
        (*label)->setTextFormat(Qt::PlainText);
        (*label)->setWordWrap(true);
        (*label)->setTextInteractionFlags(Qt::TextSelectableByMouse);
        (*label)->setFont(nimbara::ui::appFont(11));
        (*label)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (line.holder != nullptr) {
            auto* scroll = new QScrollArea(this);
            scroll->setObjectName(QString::fromLatin1(line.holder));
            scroll->setWidgetResizable(true);
            scroll->setFrameShape(QFrame::NoFrame);
            scroll->setWidget(*label);
            // Long texts scroll; the stretch at the end stays last.
            layout_->insertWidget(layout_->count() - 1, scroll, 1);
        } else {
            layout_->insertWidget(layout_->count() - 1, *label);
        }
    }
    if (line.holder != nullptr) {
        return findChild<QWidget*>(QString::fromLatin1(line.holder));
    }
    return *label;
}

void RecordDetailsView::setLines(const std::vector<DetailLine>& lines) {
    for (const DetailLine& line : lines) {
        // A line may name a widget of another kind the page made (a picture, a button): it only
        // shows or hides it.
        QWidget* own = findChild<QWidget*>(QString::fromLatin1(line.outlet));
        if (own != nullptr && qobject_cast<QLabel*>(own) == nullptr) {
            own->setVisible(line.shown);
            continue;
        }
        QLabel* label = nullptr;
        QWidget* widget = lineWidget(line, &label);
        label->setText(line.text);
        if (widget != nullptr) {
            widget->setVisible(line.shown);
        }
    }
}

void RecordDetailsView::clearLines() {
    for (QObject* child : children()) {
        if (auto* widget = qobject_cast<QWidget*>(child)) {
            widget->hide();
        }
    }
}

}  // namespace nimbara::browser
