// The picture of the conversation on show: the whole chat column (also what is scrolled out of
// sight) drawn into an image on the GUI thread, then encoded as PNG and written by a background
// job into the "Ozzaro" folder on the Desktop (see browser/conversation_picture.h), after which
// that folder is shown in the file viewer. A very long column is cut at kMaxPictureHeight.
#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <functional>

#include "platform/job_runner.h"

class ChatColumnView;

namespace nimbara::browser {

// The tallest picture made of a chat column, in pixels.
inline constexpr int kMaxPictureHeight = 32000;

struct ColumnPicture {
    QImage image;      // null when the column shows nothing or the image could not be made
    bool cut = false;  // the column is taller than the picture
};

// The size of a picture of a document `document` big whose elements lie at `elements`: every
// element whole, with `margin` to spare right and below where they reach past the document.
QSize pictureSizeHolding(const QSize& document, const QList<QRect>& elements, int margin = 8);

// Draws what `column` holds, top to bottom, at most kMaxPictureHeight high. GUI thread.
ColumnPicture captureChatColumn(ChatColumnView& column);

// `image` as PNG data; empty when it could not be encoded. Any thread.
QByteArray pngData(const QImage& image);

class ConversationPictureExport {
  public:
    // How an export ended, for the page: `text` says where the picture went (and whether it was
    // cut) or why nothing was saved.
    struct Outcome {
        bool ok = false;
        QString text;
    };
    using Done = std::function<void(const Outcome&)>;

    // The Desktop folder; by default the desktop's own (QStandardPaths).
    void setDesktopFolderProvider(std::function<QString()> provider) {
        desktop_ = std::move(provider);
    }

    // Captures `column` now and saves it under `conversationName` in the background; `done`
    // runs on the GUI thread once the picture is saved (its folder then revealed) or failed,
    // never after this object is gone. False, with nothing started, while an export runs or
    // when the column shows no conversation.
    bool start(ChatColumnView& column, const QString& conversationName, Done done);
    bool busy() const { return worker_.busy(); }

  private:
    QString desktopFolder() const;

    std::function<QString()> desktop_;
    nimbara::JobRunner worker_;
};

}  // namespace nimbara::browser
