#include "generated_images.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <stdexcept>

#include "block_font.h"

namespace nimbara::simdev {

namespace {

std::uint32_t hashText(const std::string& text) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (unsigned char c : text) {
        h = (h ^ c) * 16777619u;
    }
    return h;
}

std::string encode(const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image)) {
        throw std::runtime_error("cannot encode " + std::string(format) + ": " +
                                 writer.errorString().toStdString());
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void drawGlyph(QPainter& painter, const Glyph& glyph, const QRectF& box) {
    const qreal cell = std::min(box.width() / kGlyphColumns, box.height() / kGlyphRows);
    const qreal left = box.center().x() - cell * kGlyphColumns / 2;
    const qreal top = box.center().y() - cell * kGlyphRows / 2;
    for (int row = 0; row < kGlyphRows; ++row) {
        for (int col = 0; col < kGlyphColumns; ++col) {
            if (glyph[row] & (1u << (kGlyphColumns - 1 - col))) {
                painter.drawRoundedRect(QRectF(left + col * cell, top + row * cell, cell, cell),
                                        cell / 4, cell / 4);
            }
        }
    }
}

}  // namespace

std::string makePhotoJpeg(int width, int height, std::uint32_t seed) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const int hue = static_cast<int>((seed * 47u) % 360u);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor::fromHsv(hue, 140, 250));
    sky.setColorAt(1, QColor::fromHsv((hue + 30) % 360, 60, 255));
    painter.fillRect(image.rect(), sky);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromHsv((hue + 180) % 360, 200, 255));
    const qreal sun = std::min(width, height) / 6.0;
    painter.drawEllipse(QPointF(width * (0.2 + (seed % 5) * 0.15), height * 0.28), sun, sun);

    for (int layer = 0; layer < 3; ++layer) {
        QPolygonF hill;
        hill << QPointF(0, height);
        const int peaks = 3 + static_cast<int>((seed + layer) % 3);
        for (int i = 0; i <= peaks; ++i) {
            const qreal x = width * i / static_cast<qreal>(peaks);
            const qreal lift = ((seed >> (i + layer)) & 3u) * 0.06;
            hill << QPointF(x, height * (0.5 + layer * 0.12 - lift));
        }
        hill << QPointF(width, height);
        painter.setBrush(
            QColor::fromHsv((hue + 90 + layer * 20) % 360, 120 + layer * 40, 200 - layer * 50));
        painter.drawPolygon(hill);
    }
    painter.end();
    return encode(image, "jpeg", 85);
}

std::string makeAppIconPng(const std::string& name, const std::string& colourKey, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const int hue = static_cast<int>(hashText(colourKey) % 360u);
    QLinearGradient fill(0, 0, 0, size);
    fill.setColorAt(0, QColor::fromHsv(hue, 150, 250));
    fill.setColorAt(1, QColor::fromHsv(hue, 220, 190));
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, size, size), size * 0.22, size * 0.22);
    painter.fillPath(square, fill);

    const Glyph* glyph = nullptr;
    for (char c : name) {
        if ((glyph = blockGlyph(c))) {
            break;
        }
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const QRectF box(size * 0.25, size * 0.2, size * 0.5, size * 0.6);
    if (glyph) {
        drawGlyph(painter, *glyph, box);
    } else {
        painter.drawEllipse(box.center(), size * 0.18, size * 0.18);
    }
    painter.end();
    return encode(image, "png", -1);
}

}  // namespace nimbara::simdev
