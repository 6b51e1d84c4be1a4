#include "ui/pr_chat_name_view.h"

#include "backup/chat_layout.h"
#include "ui/chat_text.h"

PRChatNameView::PRChatNameView(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("PRChatNameView"));
}

PRChatNameView* PRChatNameView::initwithNameString(const QString& name) {
    backgroundColor_ = QColor(219, 226, 236);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFont(nimbara::ui::chatFont(nimbara::backup::kChatTextFontSize));
    setText(name);
    return this;
}
