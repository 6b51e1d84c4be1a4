#include "browser/pages/conversation_picture_export.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "browser/conversation_picture.h"
#include "ui/chat_column_view.h"
#include "ui/save_panel.h"

namespace nimbara::browser {

ColumnPicture captureChatColumn(ChatColumnView& column) {
    ColumnPicture picture;
    QWidget* document = column.documentView();
    if (document == nullptr || !column.currentMessageTreeNode() || document->width() < 1 ||
        document->height() < 1) {
        return picture;
    }
    QList<QRect> elements;
    for (const QObject* child : document->children()) {
        if (const auto* widget = qobject_cast<const QWidget*>(child);
            widget && widget->isVisible()) {
            elements.append(widget->geometry());
        }
    }
    // The document grows to hold every element whole while it is drawn, then goes back.
    const QSize shown = document->size();
    const QSize whole = pictureSizeHolding(shown, elements);
    const int width = whole.width();
    const int height = std::min(whole.height(), kMaxPictureHeight);
    picture.cut = whole.height() > height;
    picture.image = QImage(width, height, QImage::Format_RGB32);
    if (picture.image.isNull()) {
        return picture;
    }
    picture.image.fill(Qt::white);
    // The whole document, also where the scroll area clips it; what lies below the cut is left
    // out.
    document->resize(whole);
    document->render(&picture.image, QPoint(), QRegion(0, 0, width, height));
    document->resize(shown);
    return picture;
}

QSize pictureSizeHolding(const QSize& document, const QList<QRect>& elements, int margin) {
    int width = std::max(0, document.width());
    int height = std::max(0, document.height());
    for (const QRect& r : elements) {
        if (r.isEmpty()) {
            continue;
        }
        if (r.x() + r.width() > width) {
            width = r.x() + r.width() + margin;
        }
        if (r.y() + r.height() > height) {
            height = r.y() + r.height() + margin;
        }
    }
    return {width, height};
}

QByteArray pngData(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        return {};
    }
    return bytes;
}

QString ConversationPictureExport::desktopFolder() const {
    if (desktop_) {
        return desktop_();
    }
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

bool ConversationPictureExport::start(ChatColumnView& column, const QString& conversationName,
                                      Done done) {
    if (worker_.busy()) {
        return false;
    }
    ColumnPicture picture = captureChatColumn(column);
    if (!column.currentMessageTreeNode()) {
        return false;
    }
    const std::filesystem::path desktop(QFile::encodeName(desktopFolder()).toStdString());
    return worker_.start(
        [this, picture = std::move(picture), desktop, conversationName, done = std::move(done)](
            const nimbara::JobRunner::StopCheck& stop, const nimbara::JobRunner::Post& post) {
            ConversationPictureResult result;
            const QByteArray png = pngData(picture.image);
            if (png.isEmpty()) {
                result.error = QStringLiteral("The picture of the conversation could not be made.");
            } else if (stop()) {
                return;
            } else {
                result = writeConversationPicture(desktop, conversationName, png);
            }
            post([this, result, cut = picture.cut, done] {
                worker_.finish();
                Outcome outcome;
                outcome.ok = result.ok;
                if (!result.ok) {
                    outcome.text = result.error;
                } else {
                    outcome.text = QStringLiteral("The picture was saved as \"%1\" in %2.")
                                       .arg(QFile::decodeName(result.file.filename().c_str()),
                                            QFile::decodeName(result.folder.c_str()));
                    if (cut) {
                        outcome.text += QStringLiteral(
                                            " The conversation is too long for one picture: it "
                                            "shows the first %1 pixels.")
                                            .arg(kMaxPictureHeight);
                    }
                    nimbara::ui::FileViewer::reveal(QFile::decodeName(result.folder.c_str()));
                }
                if (done) {
                    done(outcome);
                }
            });
        });
}

}  // namespace nimbara::browser
