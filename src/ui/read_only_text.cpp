#include "ui/read_only_text.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

// --- PRTextView ---

PRTextView::PRTextView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void PRTextView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void PRTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void PRTextView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

void PRTextView::keyPressEvent(QKeyEvent* event) {
    event->accept();
}

void PRTextView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

// --- PRTextFiled ---

PRTextFiled::PRTextFiled(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFrame(false);
}

void PRTextFiled::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void PRTextFiled::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void PRTextFiled::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

void PRTextFiled::keyPressEvent(QKeyEvent* event) {
    event->accept();
}

void PRTextFiled::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
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
