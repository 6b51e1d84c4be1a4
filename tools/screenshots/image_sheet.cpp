// Draws every named image of the application onto contact sheets, each image with its name and
// size below it, so the drawings can be reviewed together.
// Usage: nimbara-image-sheet [output.png]; writes output-1.png, output-2.png, ... (one page per
// about 1400 pixels of height).

#include "ui/image_catalog.h"
#include "ui/named_image.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using nimbara::ui::ImageKind;
using nimbara::ui::ImageLook;
using nimbara::ui::ImageRecipe;

constexpr int kColumns = 8;
constexpr int kCellWidth = 190;
constexpr int kMaxImageHeight = 150;
constexpr int kCaptionHeight = 16;
constexpr int kPadding = 8;
constexpr int kMaxPageHeight = 1400;

// The ground each image is meant to sit on.
QColor groundFor(const ImageRecipe& recipe) {
    if (recipe.kind == ImageKind::BannerTab && recipe.variant == 0) {
        return {54, 107, 220};
    }
    if (recipe.kind == ImageKind::SidebarIcon && recipe.look == ImageLook::Down) {
        return {157, 181, 212};
    }
    return {246, 247, 250};
}

QSize shownSize(const QPixmap& pixmap) {
    QSize size = pixmap.size();
    // Tiny images are shown doubled so their details can be judged; large ones shrink to fit.
    if (size.width() <= 24 && size.height() <= 24) {
        size *= 2;
    }
    const QSize room(kCellWidth - 2 * kPadding, kMaxImageHeight);
    if (size.width() > room.width() || size.height() > room.height()) {
        size = size.scaled(room, Qt::KeepAspectRatio);
    }
    return size;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QGuiApplication app(argc, argv);
    const QString output =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("nimbara-image-sheet.png");

    const auto catalog = nimbara::ui::imageCatalog();
    struct Cell {
        const ImageRecipe* recipe;
        QPixmap pixmap;
        QSize shown;
    };
    std::vector<Cell> cells;
    cells.reserve(catalog.size());
    for (const ImageRecipe& recipe : catalog) {
        const QPixmap pixmap = nimbara::ui::namedImage(QString::fromLatin1(recipe.name));
        cells.push_back({&recipe, pixmap, shownSize(pixmap)});
    }

    // Rows are as tall as their tallest image.
    std::vector<int> rowHeights;
    for (std::size_t i = 0; i < cells.size(); i += kColumns) {
        int tallest = 0;
        for (std::size_t j = i; j < std::min(cells.size(), i + kColumns); ++j) {
            tallest = std::max(tallest, cells[j].shown.height());
        }
        rowHeights.push_back(tallest + kCaptionHeight + 3 * kPadding);
    }
    // Pages of whole rows.
    std::vector<std::size_t> pageStarts{0};
    int pageHeight = 0;
    for (std::size_t row = 0; row < rowHeights.size(); ++row) {
        if (pageHeight > 0 && pageHeight + rowHeights[row] > kMaxPageHeight) {
            pageStarts.push_back(row);
            pageHeight = 0;
        }
        pageHeight += rowHeights[row];
    }
    pageStarts.push_back(rowHeights.size());

    QString stem = output;
    if (stem.endsWith(QStringLiteral(".png"))) {
        stem.chop(4);
    }
    QFont captionFont(QStringLiteral("DejaVu Sans"));
    captionFont.setPixelSize(10);
    for (std::size_t page = 0; page + 1 < pageStarts.size(); ++page) {
        const std::size_t firstRow = pageStarts[page];
        const std::size_t endRow = pageStarts[page + 1];
        int height = 0;
        for (std::size_t row = firstRow; row < endRow; ++row) {
            height += rowHeights[row];
        }
        QImage sheet(kColumns * kCellWidth, height, QImage::Format_ARGB32_Premultiplied);
        sheet.fill(QColor(226, 230, 236));
        QPainter painter(&sheet);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.setFont(captionFont);
        int top = 0;
        for (std::size_t row = firstRow; row < endRow; ++row) {
            for (std::size_t i = row * kColumns; i < std::min(cells.size(), (row + 1) * kColumns);
                 ++i) {
                const int column = static_cast<int>(i % kColumns);
                const Cell& cell = cells[i];
                const QRect frame(column * kCellWidth + 2, top + 2, kCellWidth - 4,
                                  rowHeights[row] - 4);
                painter.fillRect(frame, groundFor(*cell.recipe));
                const QRect target(frame.center().x() - cell.shown.width() / 2,
                                   frame.top() + kPadding, cell.shown.width(), cell.shown.height());
                if (cell.pixmap.isNull()) {
                    painter.fillRect(target, Qt::magenta);
                } else {
                    painter.drawPixmap(target, cell.pixmap);
                }
                painter.fillRect(QRect(frame.left(), frame.bottom() - kCaptionHeight - 2,
                                       frame.width(), kCaptionHeight + 3),
                                 QColor(255, 255, 255, 210));
                painter.setPen(QColor(40, 48, 60));
                painter.drawText(QRect(frame.left() + 2, frame.bottom() - kCaptionHeight - 1,
                                       frame.width() - 4, kCaptionHeight),
                                 Qt::AlignCenter,
                                 QStringLiteral("%1 %2x%3")
                                     .arg(QString::fromLatin1(cell.recipe->name))
                                     .arg(cell.pixmap.width())
                                     .arg(cell.pixmap.height()));
            }
            top += rowHeights[row];
        }
        painter.end();
        const QString pagePath = QStringLiteral("%1-%2.png").arg(stem).arg(page + 1);
        if (!sheet.save(pagePath)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(pagePath));
            return 1;
        }
        std::printf("%s\n", qPrintable(pagePath));
    }
    std::printf("%zu images drawn\n", cells.size());
    return 0;
}
