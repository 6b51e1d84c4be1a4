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
    const int width = document->width();
    const int height = std::min(document->height(), kMaxPictureHeight);
    picture.cut = document->height() > height;
    picture.image = QImage(width, height, QImage::Format_RGB32);
    if (picture.image.isNull()) {
        return picture;
    }
    picture.image.fill(Qt::white);
    // The whole document, also where the scroll area clips it; what lies below the cut is left
    // out.
    document->render(&picture.image, QPoint(), QRegion(0, 0, width, height));
    return picture;
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
