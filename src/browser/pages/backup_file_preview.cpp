#include "browser/pages/backup_file_preview.h"

#include "backup/backup_folder.h"
#include "ui/core/text_utilities.h"
#include "ui/image_catalog.h"
#include "ui/image_catalog_render.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace nimbara::browser {

QImage decodeStoredPicture(const PRTreeDirNode::StoredLocation& where, int maxSide) {
    if (where.isEmpty() || maxSide <= 0) {
        return QImage();
    }
    const backup::BackupFolder folder =
        backup::BackupFolder::open(QFile::encodeName(where.folder).toStdString());
    if (!folder.isOpen()) {
        return QImage();
    }
    backup::UniqueFd fd = folder.openFile(QFile::encodeName(where.relative).toStdString());
    if (!fd.valid()) {
        return QImage();
    }
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        return QImage();
    }
    fd.release();
    // Stored files have no extension: the format is told by the content.
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        return QImage();
    }
    const QSize size = reader.size();
    const QSize box(maxSide, maxSide);
    if (size.isValid()) {
        if (static_cast<std::int64_t>(size.width()) * size.height() > kPreviewMaxPixels) {
            return QImage();
        }
        if (size.width() > maxSide || size.height() > maxSide) {
            reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio));
        }
    }
    // A format that tells no size is still held to the reader's allocation limit.
    QImage image = reader.read();
    if (image.isNull()) {
        return QImage();
    }
    if (image.width() > maxSide || image.height() > maxSide) {
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

namespace {

struct TypeLook {
    ui::Glyph glyph;
    QRgb colour;
};

TypeLook typeLook(const QString& extension) {
    if (!extension.isEmpty()) {
        if (shell::GetImageType(extension) >= 0) {
            return {ui::Glyph::Photo, 0xff366bdc};
        }
        if (shell::GetViedoType(extension) >= 0) {
            return {ui::Glyph::Video, 0xff8864d2};
        }
        if (shell::GetAudioType(extension) >= 0) {
            return {ui::Glyph::Music, 0xffe45482};
        }
    }
    return {ui::Glyph::Document, 0xff5a687d};
}

}  // namespace

QPixmap fileTypeIcon(const QString& fileName, int side) {
    side = std::max(side, 16);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 && dot + 1 < fileName.size() ? fileName.mid(dot + 1) : "";
    const TypeLook look = typeLook(extension);
    const ui::ImageRecipe recipe{"",
                                 ui::ImageKind::Illustration,
                                 look.glyph,
                                 ui::ImageLook::Normal,
                                 static_cast<std::int16_t>(std::min(side, 1024)),
                                 static_cast<std::int16_t>(std::min(side, 1024)),
                                 look.colour,
                                 nullptr,
                                 0};
    QImage image = ui::renderImageRecipe(recipe);
    if (!extension.isEmpty()) {
        // The extension on a tag across the lower part of the drawing.
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(std::max(8, image.height() / 9));
        p.setFont(font);
        const QFontMetrics metrics(font);
        const QString text =
            metrics.elidedText(extension.toUpper(), Qt::ElideRight, image.width() * 3 / 5);
        const int width = metrics.horizontalAdvance(text) + image.width() / 10;
        const int height = metrics.height() + image.height() / 40;
        const QRectF tag((image.width() - width) / 2.0, image.height() * 0.74, width, height);
        QPainterPath shape;
        shape.addRoundedRect(tag, height / 3.0, height / 3.0);
        p.fillPath(shape, QColor(look.colour));
        p.setPen(Qt::white);
        p.drawText(tag, Qt::AlignCenter, text);
    }
    return QPixmap::fromImage(image);
}

}  // namespace nimbara::browser
