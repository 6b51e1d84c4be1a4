#include "ui/image_catalog_render.h"

#include "ui/fonts.h"
#include "ui/image_catalog_glyphs.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nimbara::ui {
namespace {

const QColor kAccent(54, 107, 220);
const QColor kSoftBlue(157, 181, 212);
const QColor kInk(44, 52, 66);
const QColor kBorder(208, 215, 226);
const QColor kMuted(160, 170, 186);

QColor withAlpha(QColor colour, qreal alpha) {
    colour.setAlphaF(alpha);
    return colour;
}

QColor mix(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t),
                            static_cast<float>(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

// The square of side `side` centred on `centre`.
QRectF squareAround(QPointF centre, qreal side) {
    return {centre.x() - side / 2, centre.y() - side / 2, side, side};
}

QFont labelFont(qreal pixelSize, bool bold) {
    QFont font(QString::fromLatin1(kAppFontSubstitute));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    font.setWeight(bold ? QFont::DemiBold : QFont::Normal);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// A glyph of side `glyphSide` followed by `label`, centred as a group in `area`.
void glyphAndLabel(QPainter& p, const QRectF& area, Glyph glyph, qreal glyphSide,
                   const QString& label, const QFont& font, const QColor& colour, qreal fillAlpha) {
    const QFontMetricsF metrics(font);
    const qreal gap = glyph == Glyph::None || label.isEmpty() ? 0 : glyphSide * 0.4;
    const qreal glyphWidth = glyph == Glyph::None ? 0 : glyphSide;
    const qreal textWidth = label.isEmpty() ? 0 : metrics.horizontalAdvance(label);
    const qreal total = glyphWidth + gap + textWidth;
    qreal x = area.center().x() - total / 2;
    if (glyph != Glyph::None) {
        drawGlyph(p, glyph, QRectF(x, area.center().y() - glyphSide / 2, glyphSide, glyphSide),
                  colour, fillAlpha);
        x += glyphWidth + gap;
    }
    if (!label.isEmpty()) {
        p.setFont(font);
        p.setPen(colour);
        p.drawText(QRectF(x, area.top(), textWidth + 2, area.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, label);
    }
}

QString labelOf(const ImageRecipe& r) {
    return r.label ? QString::fromUtf8(r.label) : QString();
}

// Banner tabs sit on the blue banner; variant 1 tabs sit on a light window ground.
void paintBannerTab(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const bool onBanner = r.variant == 0;
    const QFont font = labelFont(r.height * 0.32, true);
    const qreal glyphSide = r.height * 0.5;
    const QRectF tab = box.adjusted(2, 3, -2, 0);
    QColor ink;
    if (onBanner) {
        switch (r.look) {
            case ImageLook::Down: {
                // A white tab that joins the page below it.
                QPainterPath shape;
                shape.addRoundedRect(tab.adjusted(0, 0, 0, 8), 7, 7);
                p.setClipRect(box);
                p.fillPath(shape, QColor(250, 251, 253));
                p.setClipping(false);
                ink = base;
                break;
            }
            case ImageLook::Hover: {
                QPainterPath shape;
                shape.addRoundedRect(tab.adjusted(0, 0, 0, -3), 7, 7);
                p.fillPath(shape, QColor(255, 255, 255, 46));
                ink = Qt::white;
                break;
            }
            default:
                ink = withAlpha(Qt::white, 0.92);
                break;
        }
    } else {
        if (r.look == ImageLook::Down) {
            QPainterPath shape;
            shape.addRoundedRect(box.adjusted(1, 1, -1, -1), 7, 7);
            p.fillPath(shape, withAlpha(kSoftBlue, 0.38));
            ink = base.darker(115);
        } else {
            ink = QColor(90, 104, 125);
        }
    }
    glyphAndLabel(p, tab, r.glyph, glyphSide, labelOf(r), font, ink, 0.2);
}

void paintSidebarIcon(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const bool onBlue = r.look == ImageLook::Down;
    drawGlyph(p, r.glyph, box.adjusted(1, 1, -1, -1), QColor(r.colour), onBlue ? 0.3 : 0.16);
}

void paintListButton(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    QColor ink(70, 82, 102);
    const QRectF body = box.adjusted(1, 1, -1, -1);
    QPainterPath shape;
    shape.addRoundedRect(body, 7, 7);
    if (r.look == ImageLook::Hover) {
        p.fillPath(shape, withAlpha(kSoftBlue, 0.32));
        ink = base.darker(110);
    } else if (r.look == ImageLook::Down) {
        p.fillPath(shape, base);
        ink = Qt::white;
    }
    const qreal glyphSide = r.height * 0.52;
    drawGlyph(p, r.glyph,
              QRectF(body.left() + 10, body.center().y() - glyphSide / 2, glyphSide, glyphSide),
              r.look == ImageLook::Normal ? base : ink, r.look == ImageLook::Down ? 0.3 : 0.18);
    const QString label = labelOf(r);
    if (!label.isEmpty()) {
        p.setFont(labelFont(r.height * 0.36, r.look == ImageLook::Down));
        p.setPen(ink);
        const qreal textLeft = body.left() + 18 + glyphSide;
        p.drawText(QRectF(textLeft, body.top(), body.right() - textLeft - 6, body.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, label);
    }
}

void paintCategoryTile(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const bool hover = r.look == ImageLook::Hover;
    const QRectF card = box.adjusted(3, 2, -3, -4);
    QPainterPath shape;
    shape.addRoundedRect(card, 10, 10);
    // Soft shadow.
    p.fillPath(shape.translated(0, hover ? 2.5 : 1.5), QColor(30, 45, 70, hover ? 34 : 22));
    p.fillPath(shape, hover ? mix(Qt::white, base, 0.1) : QColor(Qt::white));
    p.setPen(QPen(hover ? base : kBorder, hover ? 1.5 : 1.0));
    p.drawPath(shape);
    const qreal side = std::min(card.width(), card.height()) * 0.5;
    const QPointF centre(card.center().x(), card.top() + card.height() * 0.46);
    QPainterPath badge;
    badge.addEllipse(centre, side * 0.78, side * 0.78);
    p.fillPath(badge, withAlpha(base, hover ? 0.2 : 0.12));
    drawGlyph(p, r.glyph, squareAround(centre, side), base, 0.22);
    QPainterPath bar;
    bar.addRoundedRect(QRectF(card.center().x() - 14, card.bottom() - 9, 28, 3.5), 1.75, 1.75);
    p.fillPath(bar, hover ? base : withAlpha(base, 0.45));
}

void paintActionButton(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const bool secondary = r.variant == 1;
    const QRectF body = box.adjusted(1, 1, -1, -2);
    const qreal radius = std::min(8.0, body.height() / 2);
    QPainterPath shape;
    shape.addRoundedRect(body, radius, radius);
    QColor ink;
    if (secondary) {
        QColor fill = Qt::white;
        if (r.look == ImageLook::Hover) {
            fill = mix(Qt::white, kSoftBlue, 0.25);
        } else if (r.look == ImageLook::Down) {
            fill = mix(Qt::white, kSoftBlue, 0.5);
        }
        p.fillPath(shape.translated(0, 1), QColor(30, 45, 70, 25));
        p.fillPath(shape, fill);
        p.setPen(QPen(r.look == ImageLook::Normal ? kBorder : kSoftBlue.darker(110), 1));
        p.drawPath(shape);
        ink = base.darker(110);
    } else {
        QColor fill = base;
        if (r.look == ImageLook::Hover) {
            fill = base.lighter(112);
        } else if (r.look == ImageLook::Down) {
            fill = base.darker(118);
        } else if (r.look == ImageLook::Disabled) {
            fill = kMuted;
        }
        p.fillPath(shape.translated(0, 1.2), fill.darker(140));
        QLinearGradient gradient(body.topLeft(), body.bottomLeft());
        gradient.setColorAt(0, fill.lighter(106));
        gradient.setColorAt(1, fill);
        p.fillPath(shape, gradient);
        ink = Qt::white;
    }
    const qreal glyphSide = body.height() * 0.46;
    glyphAndLabel(p, body, r.glyph, glyphSide, labelOf(r), labelFont(body.height() * 0.36, true),
                  ink, 0.25);
}

void paintTitleBarButton(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const bool down = r.look == ImageLook::Down;
    const QRectF disc = box.adjusted(0.75, 0.75, -0.75, -0.75);
    const QColor fill = down ? base.darker(118) : base;
    if (r.variant == 1) {
        QRadialGradient gradient(disc.center() - QPointF(0, disc.height() * 0.25),
                                 disc.width() * 0.75);
        gradient.setColorAt(0, fill.lighter(135));
        gradient.setColorAt(1, fill);
        p.setBrush(gradient);
    } else {
        p.setBrush(fill);
    }
    p.setPen(QPen(fill.darker(125), 0.8));
    p.drawEllipse(disc);
    drawGlyph(p, r.glyph, disc.adjusted(1.8, 1.8, -1.8, -1.8),
              withAlpha(fill.darker(down ? 260 : 200), down ? 0.95 : 0.55), 0);
}

void paintCheckBox(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const QRectF frame = box.adjusted(1.5, 1.5, -1.5, -1.5);
    QPainterPath shape;
    shape.addRoundedRect(frame, 3.5, 3.5);
    if (r.variant == 0) {
        p.fillPath(shape, Qt::white);
        p.setPen(QPen(QColor(150, 163, 182), 1.2));
        p.drawPath(shape);
        return;
    }
    p.fillPath(shape, base);
    p.setPen(QPen(base.darker(115), 1.0));
    p.drawPath(shape);
    drawGlyph(p, r.variant == 1 ? Glyph::Check : Glyph::Minus, frame.adjusted(1, 1, -1, -1),
              Qt::white, 0);
}

void paintSpinner(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    constexpr int kSpokes = 12;
    const QPointF c = box.center();
    const qreal outer = std::min(box.width(), box.height()) / 2 - 2;
    const qreal inner = outer * 0.52;
    for (int i = 0; i < kSpokes; ++i) {
        const qreal angle = 90.0 - i * 360.0 / kSpokes;
        const qreal radians = angle * std::numbers::pi / 180;
        const QPointF dir(std::cos(radians), -std::sin(radians));
        p.setPen(QPen(withAlpha(base, 1.0 - 0.8 * i / kSpokes), outer * 0.2, Qt::SolidLine,
                      Qt::RoundCap));
        p.drawLine(c + dir * inner, c + dir * outer);
    }
}

// The device: body, screen and the content of the screen for each variant.
void paintDevice(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const bool tablet = r.glyph == Glyph::Tablet;
    const int variant = r.variant;
    const QColor tint(r.colour);
    QRectF area = box;
    if (variant == 20) {
        area = QRectF(box.left() + box.width() * 0.1, box.top() + 4, box.width() * 0.5,
                      box.height() * 0.8);
    }
    const qreal aspect = tablet ? 0.76 : 0.54;
    qreal h = area.height() - 4;
    qreal w = h * aspect;
    if (w > area.width() - 4) {
        w = area.width() - 4;
        h = w / aspect;
    }
    const QRectF body(area.center().x() - w / 2, area.center().y() - h / 2, w, h);
    const qreal unit = w / 100;
    const qreal bodyRadius = (tablet ? 9 : 15) * unit;

    if (variant == 20) {
        // Cable from the bottom of the device to a plug on the right.
        QPainterPath cable;
        cable.moveTo(body.center().x(), body.bottom());
        cable.cubicTo(body.center().x(), box.bottom() - 6, box.right() - 60, box.bottom() - 8,
                      box.right() - 36, box.bottom() - 30);
        p.setPen(QPen(QColor(120, 132, 150), 3, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(cable);
        const QRectF plug(box.right() - 44, box.bottom() - 58, 16, 28);
        QPainterPath plugShape;
        plugShape.addRoundedRect(plug, 3, 3);
        p.fillPath(plugShape, QColor(90, 104, 125));
        p.fillRect(QRectF(plug.left() + 3.5, plug.top() - 9, 9, 9), QColor(175, 185, 200));
    }

    QPainterPath outline;
    outline.addRoundedRect(body, bodyRadius, bodyRadius);
    QLinearGradient bodyGradient(body.topLeft(), body.bottomRight());
    bodyGradient.setColorAt(0, QColor(70, 80, 98));
    bodyGradient.setColorAt(1, QColor(38, 44, 56));
    p.fillPath(outline, bodyGradient);
    p.setPen(QPen(QColor(28, 32, 42), std::max(0.8, unit * 1.2)));
    p.drawPath(outline);

    const qreal side = (tablet ? 7 : 6) * unit;
    const qreal top = (tablet ? 7 : 16) * unit;
    const qreal bottom = (tablet ? 9 : 18) * unit;
    const QRectF screen = body.adjusted(side, top, -side, -bottom);
    QPainterPath screenShape;
    screenShape.addRoundedRect(screen, 2.5 * unit, 2.5 * unit);
    QLinearGradient screenGradient(screen.topLeft(), screen.bottomLeft());
    screenGradient.setColorAt(0, QColor(236, 243, 253));
    screenGradient.setColorAt(1, QColor(214, 227, 247));
    p.fillPath(screenShape, screenGradient);

    // Speaker slot and home button.
    if (!tablet && w >= 24) {
        p.setPen(QPen(QColor(22, 26, 34), 2.2 * unit, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(body.center().x() - 8 * unit, body.top() + 8 * unit),
                   QPointF(body.center().x() + 8 * unit, body.top() + 8 * unit));
    }
    if (w >= 24) {
        const qreal homeR = (tablet ? 3.2 : 6) * unit;
        p.setPen(QPen(QColor(110, 122, 142), std::max(0.8, unit * 1.2)));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(body.center().x(), body.bottom() - bottom / 2), homeR, homeR);
    }

    p.save();
    p.setClipPath(screenShape);
    if (variant == 0 || variant == 20) {
        if (screen.width() >= 30) {
            // App tiles on the home screen.
            const QColor tiles[] = {QColor(54, 107, 220),  QColor(240, 150, 42),
                                    QColor(58, 180, 110),  QColor(228, 84, 130),
                                    QColor(136, 100, 210), QColor(24, 160, 176)};
            const int columns = tablet ? 4 : 3;
            const qreal cell = screen.width() / columns;
            const qreal tile = cell * 0.62;
            const int rows = std::max(1, static_cast<int>(screen.height() * 0.7 / cell));
            for (int row = 0; row < rows; ++row) {
                for (int col = 0; col < columns; ++col) {
                    const QRectF t(screen.left() + col * cell + (cell - tile) / 2,
                                   screen.top() + cell * 0.3 + row * cell, tile, tile);
                    QPainterPath tilePath;
                    tilePath.addRoundedRect(t, tile * 0.24, tile * 0.24);
                    p.fillPath(tilePath,
                               withAlpha(tiles[(row * columns + col) % std::size(tiles)], 0.8));
                }
            }
        }
    } else if (variant >= 1 && variant <= 6) {
        // Scan frames: a beam moves down the screen.
        const qreal y = screen.top() + screen.height() * (variant - 0.5) / 6.0;
        p.fillRect(QRectF(screen.left(), screen.top(), screen.width(), y - screen.top()),
                   withAlpha(tint, 0.1));
        p.setPen(QPen(withAlpha(tint, 0.16), 1));
        for (qreal gy = screen.top() + 12 * unit; gy < screen.bottom(); gy += 12 * unit) {
            p.drawLine(QPointF(screen.left(), gy), QPointF(screen.right(), gy));
        }
        QLinearGradient glow(QPointF(0, y - 18 * unit), QPointF(0, y));
        glow.setColorAt(0, withAlpha(tint, 0));
        glow.setColorAt(1, withAlpha(tint, 0.45));
        p.fillRect(QRectF(screen.left(), y - 18 * unit, screen.width(), 18 * unit), glow);
        p.setPen(QPen(tint, 2.2 * unit, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(screen.left() + 2, y), QPointF(screen.right() - 2, y));
        const qreal glyphSide = screen.width() * 0.45;
        drawGlyph(p, Glyph::Search, squareAround(screen.center(), glyphSide), withAlpha(tint, 0.55),
                  0.1);
    } else if (variant >= 11 && variant <= 17) {
        // Clean-up frames: the screen fills with green; the last frame shows a tick.
        const int frame = variant - 10;
        const qreal level = screen.height() * frame / 7.0;
        QLinearGradient fill(QPointF(0, screen.bottom() - level), screen.bottomLeft());
        fill.setColorAt(0, withAlpha(tint, 0.35));
        fill.setColorAt(1, withAlpha(tint, 0.6));
        p.fillRect(QRectF(screen.left(), screen.bottom() - level, screen.width(), level), fill);
        const qreal glyphSide = screen.width() * 0.5;
        const QRectF glyphBox = squareAround(screen.center(), glyphSide);
        if (frame == 7) {
            p.setBrush(tint);
            p.setPen(Qt::NoPen);
            p.drawEllipse(glyphBox.adjusted(-6 * unit, -6 * unit, 6 * unit, 6 * unit));
            drawGlyph(p, Glyph::Check, glyphBox, Qt::white, 0);
        } else {
            drawGlyph(p, Glyph::Broom, glyphBox, tint.darker(120), 0.2);
            // Sparkles rise with the level.
            p.setPen(QPen(Qt::white, 1.6 * unit, Qt::SolidLine, Qt::RoundCap));
            for (int i = 0; i < frame; ++i) {
                const QPointF s(screen.left() + screen.width() * (0.18 + 0.11 * i),
                                screen.bottom() - level * (0.3 + 0.1 * ((i * 3) % 5)));
                const qreal a = 3 * unit;
                p.drawLine(s - QPointF(a, 0), s + QPointF(a, 0));
                p.drawLine(s - QPointF(0, a), s + QPointF(0, a));
            }
        }
    }
    p.restore();

    if (variant == 20) {
        const qreal glyphSide = screen.width() * 0.55;
        drawGlyph(p, Glyph::Plug, squareAround(screen.center(), glyphSide), kAccent, 0.2);
    }
}

void paintBackdrop(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const QColor line(214, 221, 231);
    if (r.variant == 4) {
        QPainterPath shape;
        const qreal radius = std::min(8.0, box.height() / 2 - 1);
        shape.addRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        p.fillPath(shape, base);
        p.setPen(QPen(line, 1));
        p.drawPath(shape);
        return;
    }
    QLinearGradient gradient(box.topLeft(), box.bottomLeft());
    if (base.lightness() > 200) {
        gradient.setColorAt(0, base.lighter(102));
        gradient.setColorAt(1, base.darker(103));
    } else {
        gradient.setColorAt(0, base.lighter(114));
        gradient.setColorAt(1, base.darker(108));
    }
    p.fillRect(box, gradient);
    switch (r.variant) {
        case 1:
            p.fillRect(QRectF(box.left(), box.bottom() - 1, box.width(), 1), line);
            break;
        case 2:
            p.fillRect(QRectF(box.left(), box.top(), box.width(), 1), line);
            break;
        case 3:
            p.fillRect(QRectF(box.right() - 1, box.top(), 1, box.height()), line);
            break;
        default:
            break;
    }
}

void paintBubbleTile(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    // One bubble three tiles wide and high; this image is one of its nine tiles.
    const QColor base(r.colour);
    const int column = r.variant % 3;
    const int row = r.variant / 3;
    p.translate(-column * box.width(), -row * box.height());
    const QRectF bubble(0.5, 0.5, box.width() * 3 - 1, box.height() * 3 - 1);
    const qreal radius = std::min(box.width(), box.height()) * 0.85;
    QPainterPath shape;
    shape.addRoundedRect(bubble, radius, radius);
    p.fillPath(shape, base);
    p.setPen(QPen(base.darker(112), 1));
    p.drawPath(shape);
}

void paintStepStrip(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const QColor idle(200, 208, 220);
    const qreal radius = box.height() / 2 - 2;
    const qreal firstX = box.left() + radius + 2;
    const qreal lastX = box.right() - radius - 2;
    const qreal y = box.center().y();
    const qreal step = (lastX - firstX) / 2;
    for (int i = 0; i < 2; ++i) {
        p.setPen(QPen(i + 1 < r.variant ? base : idle, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(firstX + i * step + radius + 3, y),
                   QPointF(firstX + (i + 1) * step - radius - 3, y));
    }
    const QFont font = labelFont(radius * 1.1, true);
    for (int i = 0; i < 3; ++i) {
        const QPointF c(firstX + i * step, y);
        const QRectF disc(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
        const int number = i + 1;
        if (number < r.variant) {
            p.setPen(Qt::NoPen);
            p.setBrush(base);
            p.drawEllipse(disc);
            drawGlyph(p, Glyph::Check, disc.adjusted(3, 3, -3, -3), Qt::white, 0);
        } else {
            const bool current = number == r.variant;
            p.setPen(current ? QPen(base.darker(110), 1) : QPen(idle, 1.5));
            p.setBrush(current ? QBrush(base) : QBrush(Qt::white));
            p.drawEllipse(disc);
            p.setFont(font);
            p.setPen(current ? QColor(Qt::white) : kMuted);
            p.drawText(disc, Qt::AlignCenter, QString::number(number));
        }
    }
}

void paintContactCard(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const QRectF card = box.adjusted(1, 1, -1, -1);
    QPainterPath shape;
    shape.addRoundedRect(card, 12, 12);
    p.fillPath(shape, Qt::white);
    p.setPen(QPen(kBorder, 1));
    p.drawPath(shape);
    const qreal avatar = card.height() * 0.56;
    const QRectF avatarBox(card.left() + 18, card.center().y() - avatar / 2, avatar, avatar);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(base, 0.14));
    p.drawEllipse(avatarBox);
    drawGlyph(p, Glyph::Person, avatarBox.adjusted(8, 8, -8, -8), base, 0.2);
    const qreal textLeft = avatarBox.right() + 16;
    const qreal textWidth = card.right() - 18 - textLeft;
    const qreal widths[] = {0.8, 0.55, 0.65};
    for (int i = 0; i < 3; ++i) {
        QPainterPath bar;
        bar.addRoundedRect(QRectF(textLeft, avatarBox.top() + 6 + i * avatar * 0.3,
                                  textWidth * widths[i], i == 0 ? 9 : 7),
                           3.5, 3.5);
        p.fillPath(bar, i == 0 ? QColor(120, 132, 150) : QColor(204, 212, 224));
    }
}

void paintIllustration(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    if (r.variant == 1) {
        paintContactCard(p, r, box);
        return;
    }
    const QColor base(r.colour);
    const qreal side = std::min(box.width(), box.height()) - 4;
    const QRectF disc = squareAround(box.center(), side);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(base, 0.13));
    p.drawEllipse(disc);
    const qreal spare = (box.width() - side) / 2;
    if (spare > 12) {
        // Wide pictures get two small accents beside the badge.
        p.setBrush(withAlpha(base, 0.08));
        const qreal small = std::min(side * 0.3, spare * 0.4);
        p.drawEllipse(QPointF(disc.left() - spare / 2, disc.center().y() + side * 0.2), small,
                      small);
        p.drawEllipse(QPointF(disc.right() + spare / 2, disc.center().y() - side * 0.18),
                      small * 0.7, small * 0.7);
    }
    const qreal glyphSide = side * 0.56;
    drawGlyph(p, r.glyph, squareAround(disc.center(), glyphSide), base, 0.2);
}

void paintPlainGlyph(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    QColor colour(r.colour);
    if (r.look == ImageLook::Disabled) {
        colour = withAlpha(kMuted, 0.9);
    }
    if (r.variant == 1 && r.glyph == Glyph::Folder) {
        drawGlyph(p, r.glyph, box, colour, 0.35);
        return;
    }
    if (r.variant == 1) {
        // Glyph inside a round badge.
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(colour, r.look == ImageLook::Down ? 0.22 : 0.12));
        p.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
        drawGlyph(p, r.glyph, box.adjusted(3, 3, -3, -3), colour, 0);
        return;
    }
    drawGlyph(p, r.glyph, box, colour, 0.18);
}

void paintAppTile(QPainter& p, const ImageRecipe& r, const QRectF& box) {
    const QColor base(r.colour);
    const qreal inset = box.width() * 0.04;
    const QRectF tile = box.adjusted(inset, inset, -inset, -inset);
    const qreal radius = tile.width() * 0.22;
    QPainterPath shape;
    shape.addRoundedRect(tile, radius, radius);
    if (r.look == ImageLook::Disabled) {
        p.fillPath(shape, QColor(241, 244, 248));
        QPen dashed(kMuted, std::max(1.0, tile.width() / 40));
        dashed.setStyle(Qt::DashLine);
        p.setPen(dashed);
        p.drawPath(shape);
        return;
    }
    QLinearGradient gradient(tile.topLeft(), tile.bottomRight());
    gradient.setColorAt(0, base.lighter(118));
    gradient.setColorAt(1, base.darker(108));
    p.fillPath(shape, gradient);
    const qreal glyphSide = tile.width() * 0.58;
    const QRectF glyphBox = squareAround(tile.center(), glyphSide);
    drawGlyph(p, r.glyph, glyphBox, Qt::white, 0.25);
    if (r.variant == 1) {
        // The application icon: a device with a green tick badge.
        const qreal badge = tile.width() * 0.3;
        const QRectF badgeBox(tile.right() - badge - tile.width() * 0.1,
                              tile.bottom() - badge - tile.width() * 0.1, badge, badge);
        p.setPen(QPen(Qt::white, tile.width() * 0.025));
        p.setBrush(QColor(58, 180, 110));
        p.drawEllipse(badgeBox);
        drawGlyph(p, Glyph::Check,
                  badgeBox.adjusted(badge * 0.2, badge * 0.2, -badge * 0.2, -badge * 0.2),
                  Qt::white, 0);
    }
}

}  // namespace

QImage renderImageRecipe(const ImageRecipe& recipe) {
    QImage image(recipe.width, recipe.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF box(0, 0, recipe.width, recipe.height);
    switch (recipe.kind) {
        case ImageKind::BannerTab:
            paintBannerTab(p, recipe, box);
            break;
        case ImageKind::SidebarIcon:
            paintSidebarIcon(p, recipe, box);
            break;
        case ImageKind::ListButton:
            paintListButton(p, recipe, box);
            break;
        case ImageKind::CategoryTile:
            paintCategoryTile(p, recipe, box);
            break;
        case ImageKind::ActionButton:
            paintActionButton(p, recipe, box);
            break;
        case ImageKind::TitleBarButton:
            paintTitleBarButton(p, recipe, box);
            break;
        case ImageKind::CheckBox:
            paintCheckBox(p, recipe, box);
            break;
        case ImageKind::Spinner:
            paintSpinner(p, recipe, box);
            break;
        case ImageKind::DevicePicture:
            paintDevice(p, recipe, box);
            break;
        case ImageKind::Backdrop:
            paintBackdrop(p, recipe, box);
            break;
        case ImageKind::BubbleTile:
            paintBubbleTile(p, recipe, box);
            break;
        case ImageKind::StepStrip:
            paintStepStrip(p, recipe, box);
            break;
        case ImageKind::Illustration:
            paintIllustration(p, recipe, box);
            break;
        case ImageKind::Glyph:
            paintPlainGlyph(p, recipe, box);
            break;
        case ImageKind::AppTile:
            paintAppTile(p, recipe, box);
            break;
    }
    p.end();
    return image;
}

}  // namespace nimbara::ui
