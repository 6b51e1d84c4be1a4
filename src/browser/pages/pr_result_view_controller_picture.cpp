// The result page's picture of the conversation on show.
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "backup/pr_message_tree_node.h"
#include "browser/pages/pr_result_view_controller.h"
#include "browser/record_columns.h"
#include "ui/chat_column_view.h"
#include "ui/fonts.h"

// The export button beside the conversations' count, and the line that tells how it went.
QWidget* PRResultViewController::buildPictureExportRow(QWidget* parent) {
    auto* box = new QWidget(parent);
    box->setObjectName(QStringLiteral("pictureExportView"));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout();
    messageTreeCountlab->setParent(box);
    row->addWidget(messageTreeCountlab, 1);
    exportBtn = new QPushButton(QStringLiteral("Save as Picture"), box);
    exportBtn->setObjectName(QStringLiteral("exportBtn"));
    exportBtn->setFont(nimbara::ui::appFont(11));
    exportBtn->setToolTip(
        QStringLiteral("Saves the conversation as a picture in the Ozzaro folder on your Desktop"));
    exportBtn->setEnabled(false);
    connect(exportBtn, &QPushButton::clicked, this, [this] { actExportImage(exportBtn); });
    row->addWidget(exportBtn);
    layout->addLayout(row);
    exportInfolab = new QLabel(box);
    exportInfolab->setObjectName(QStringLiteral("exportInfolab"));
    exportInfolab->setFont(nimbara::ui::appFont(11));
    exportInfolab->setWordWrap(true);
    exportInfolab->setTextInteractionFlags(Qt::TextSelectableByMouse);
    exportInfolab->hide();
    layout->addWidget(exportInfolab);
    messageTreeView->installEventFilter(this);
    return box;
}

void PRResultViewController::clearExportNotice() {
    if (exportInfolab) {
        exportInfolab->clear();
        exportInfolab->hide();
    }
}

bool PRResultViewController::eventFilter(QObject* watched, QEvent* event) {
    // A minimised window hides nothing the user left.
    if (watched == messageTreeView && event->type() == QEvent::Hide && !event->spontaneous()) {
        clearExportNotice();
    }
    return PageControllerBase::eventFilter(watched, event);
}

void PRResultViewController::updateExportButton() {
    if (exportBtn) {
        exportBtn->setEnabled(currentMessageTreeNode_ != nullptr && !pictureExport_.busy());
    }
}

void PRResultViewController::actExportImage(QObject*) {
    if (!currentMessageTreeNode_ || !messageTreeScrollView || pictureExport_.busy()) {
        return;
    }
    const bool started = pictureExport_.start(
        *messageTreeScrollView, nimbara::browser::conversationName(*currentMessageTreeNode_),
        [this](const nimbara::browser::ConversationPictureExport::Outcome& outcome) {
            // A failure reads in red, like the page's other warnings.
            QPalette look = exportInfolab->parentWidget()->palette();
            if (!outcome.ok) {
                look.setColor(QPalette::WindowText, Qt::red);
            }
            exportInfolab->setPalette(look);
            exportInfolab->setText(outcome.text);
            exportInfolab->show();
            updateExportButton();
        });
    if (started) {
        exportInfolab->setPalette(exportInfolab->parentWidget()->palette());
        exportInfolab->setText(QStringLiteral("Saving the picture of the conversation..."));
        exportInfolab->show();
    }
    updateExportButton();
}
