#include "ui/read_only_text.h"

#include <QMouseEvent>

// --- PRTextView ---

PRTextView::PRTextView(QWidget* parent) : InputSwallowing(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setContextMenuPolicy(Qt::NoContextMenu);
}

// --- PRTextFiled ---

PRTextFiled::PRTextFiled(QWidget* parent) : InputSwallowing(parent) {
    setReadOnly(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFrame(false);
}

// --- PRFeedBackView ---

namespace {
const QString kSuggestionPlaceholder = QStringLiteral("Provide any suggestions or problems to us.");
const QString kWritePlaceholder = QStringLiteral("write something.");
}  // namespace

PRFeedBackView::PRFeedBackView(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
}

void PRFeedBackView::mousePressEvent(QMouseEvent* event) {
    const QString text = toPlainText();
    if (text == kSuggestionPlaceholder || text == kWritePlaceholder) {
        clear();
        QFont font = this->font();
        font.setPointSize(11);
        setFont(font);
        setCurrentFont(font);
        setTextColor(Qt::black);
    }
    event->accept();
}
