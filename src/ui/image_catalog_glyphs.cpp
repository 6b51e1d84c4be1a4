#include "ui/image_catalog_glyphs.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace nimbara::ui {
namespace {

// Glyphs are designed on a 24 x 24 grid.
constexpr qreal kGrid = 24.0;

QPointF onCircle(QPointF centre, qreal radius, qreal degrees) {
    const qreal radians = degrees * std::numbers::pi / 180.0;
    // Screen y grows downwards; angles run counter-clockwise as seen on screen.
    return {centre.x() + radius * std::cos(radians), centre.y() - radius * std::sin(radians)};
}

QPainterPath roundedRect(qreal x, qreal y, qreal w, qreal h, qreal r) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath circle(QPointF centre, qreal r) {
    QPainterPath path;
    path.addEllipse(centre, r, r);
    return path;
}

QPainterPath polyline(std::initializer_list<QPointF> points, bool closed = false) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& point : points) {
        if (first) {
            path.moveTo(point);
            first = false;
        } else {
            path.lineTo(point);
        }
    }
    if (closed) {
        path.closeSubpath();
    }
    return path;
}

QPainterPath arc(QPointF centre, qreal r, qreal startDegrees, qreal sweepDegrees) {
    QPainterPath path;
    const QRectF bounds(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
    path.arcMoveTo(bounds, startDegrees);
    path.arcTo(bounds, startDegrees, sweepDegrees);
    return path;
}

// Paints on the 24-unit grid with one colour.
class GlyphPen {
  public:
    GlyphPen(QPainter& painter, const QColor& colour, qreal fillAlpha, qreal strokeWidth)
        : p_(painter), colour_(colour), fill_(colour) {
        fill_.setAlphaF(colour.alphaF() * fillAlpha);
        pen_ = QPen(colour_, strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    }

    // Filled lightly, then outlined.
    void shape(const QPainterPath& path) const {
        p_.fillPath(path, fill_);
        stroke(path);
    }
    void stroke(const QPainterPath& path) const { p_.strokePath(path, pen_); }
    void solid(const QPainterPath& path) const { p_.fillPath(path, colour_); }
    void line(QPointF a, QPointF b) const { stroke(polyline({a, b})); }
    void dot(QPointF centre, qreal r) const { solid(circle(centre, r)); }

  private:
    QPainter& p_;
    QColor colour_;
    QColor fill_;
    QPen pen_;
};

void arrowHead(const GlyphPen& pen, QPointF tip, qreal directionDegrees) {
    const QPointF left = onCircle(tip, 3.0, directionDegrees + 180 - 40);
    const QPointF right = onCircle(tip, 3.0, directionDegrees + 180 + 40);
    pen.stroke(polyline({left, tip, right}));
}

void documentOutline(const GlyphPen& pen) {
    pen.shape(polyline({{6, 2.5}, {14, 2.5}, {19, 7.5}, {19, 21.5}, {6, 21.5}}, true));
    pen.stroke(polyline({{14, 2.5}, {14, 7.5}, {19, 7.5}}));
}

void person(const GlyphPen& pen, QPointF head, qreal headR, qreal left, qreal right, qreal top,
            qreal bottom) {
    pen.shape(circle(head, headR));
    QPainterPath body;
    const qreal mid = (left + right) / 2;
    body.moveTo(left, bottom);
    body.cubicTo(left, top + 1.5, mid - 3, top, mid, top);
    body.cubicTo(mid + 3, top, right, top + 1.5, right, bottom);
    body.closeSubpath();
    pen.shape(body);
}

void drawOnGrid(const GlyphPen& pen, Glyph glyph) {
    switch (glyph) {
        case Glyph::None:
            return;
        case Glyph::Phone:
            pen.shape(roundedRect(7, 2.5, 10, 19, 2.5));
            pen.line({10.5, 5.2}, {13.5, 5.2});
            pen.dot({12, 18.6}, 0.95);
            return;
        case Glyph::Tablet:
            pen.shape(roundedRect(4.5, 3, 15, 18, 2.2));
            pen.dot({12, 18.4}, 0.9);
            return;
        case Glyph::Disk: {
            pen.shape(circle({12, 12}, 8.5));
            QPainterPath slice;
            slice.moveTo(12, 12);
            slice.arcTo(QRectF(3.5, 3.5, 17, 17), 90, -110);
            slice.closeSubpath();
            pen.solid(slice);
            return;
        }
        case Glyph::Broom:
            pen.line({19.5, 3}, {12.5, 11});
            pen.shape(polyline({{9.5, 9.5}, {15.5, 13.5}, {12.5, 21}, {3.5, 16.5}}, true));
            pen.line({7.5, 17.8}, {10.2, 14});
            pen.line({10.5, 19.3}, {12.4, 15.5});
            pen.line({19, 16.5}, {19, 20.5});
            pen.line({17, 18.5}, {21, 18.5});
            return;
        case Glyph::LargeFile:
            pen.stroke(polyline(
                {{12, 21.5}, {4.5, 21.5}, {4.5, 2.5}, {12.5, 2.5}, {17.5, 7.5}, {17.5, 10}}));
            pen.stroke(polyline({{12.5, 2.5}, {12.5, 7.5}, {17.5, 7.5}}));
            pen.shape(circle({15, 15.5}, 3.8));
            pen.line({17.8, 18.3}, {21, 21.5});
            return;
        case Glyph::Copy: {
            QPainterPath back;
            back.moveTo(8, 7.5);
            back.lineTo(8, 5);
            back.quadTo(8, 3, 10, 3);
            back.lineTo(18, 3);
            back.quadTo(20, 3, 20, 5);
            back.lineTo(20, 13);
            back.quadTo(20, 15, 18, 15);
            back.lineTo(16.5, 15);
            pen.stroke(back);
            pen.shape(roundedRect(4, 8, 12, 13, 2));
            return;
        }
        case Glyph::Shield: {
            QPainterPath shield;
            shield.moveTo(12, 2.5);
            shield.lineTo(19.5, 5.5);
            shield.lineTo(19.5, 11);
            shield.cubicTo(19.5, 16, 16, 19.5, 12, 21.5);
            shield.cubicTo(8, 19.5, 4.5, 16, 4.5, 11);
            shield.lineTo(4.5, 5.5);
            shield.closeSubpath();
            pen.shape(shield);
            pen.stroke(polyline({{8.5, 12}, {11, 14.5}, {15.5, 9.5}}));
            return;
        }
        case Glyph::Rocket: {
            QPainterPath body;
            body.moveTo(12, 2.5);
            body.cubicTo(15.5, 5, 17, 9, 16, 15);
            body.lineTo(8, 15);
            body.cubicTo(7, 9, 8.5, 5, 12, 2.5);
            body.closeSubpath();
            pen.shape(body);
            pen.stroke(circle({12, 9}, 1.7));
            pen.stroke(polyline({{8.2, 11.5}, {5, 16}, {8, 16}}));
            pen.stroke(polyline({{15.8, 11.5}, {19, 16}, {16, 16}}));
            pen.stroke(polyline({{10, 18}, {12, 21.5}, {14, 18}}));
            return;
        }
        case Glyph::Folder: {
            QPainterPath folder;
            folder.moveTo(3, 6.5);
            folder.quadTo(3, 4.5, 5, 4.5);
            folder.lineTo(9.5, 4.5);
            folder.lineTo(11.5, 6.5);
            folder.lineTo(19, 6.5);
            folder.quadTo(21, 6.5, 21, 8.5);
            folder.lineTo(21, 17.5);
            folder.quadTo(21, 19.5, 19, 19.5);
            folder.lineTo(5, 19.5);
            folder.quadTo(3, 19.5, 3, 17.5);
            folder.closeSubpath();
            pen.shape(folder);
            pen.line({3, 9.5}, {21, 9.5});
            return;
        }
        case Glyph::Apps:
            for (const qreal x : {3.5, 13.5}) {
                for (const qreal y : {3.5, 13.5}) {
                    pen.shape(roundedRect(x, y, 7, 7, 2));
                }
            }
            return;
        case Glyph::Photo:
            pen.shape(roundedRect(3, 5, 18, 14, 2));
            pen.stroke(polyline({{3.5, 17}, {9, 11.5}, {13, 15.5}, {15.5, 13}, {20.5, 18}}));
            pen.dot({16, 9}, 1.7);
            return;
        case Glyph::Music:
            pen.stroke(polyline({{9, 17.5}, {9, 5.5}, {19, 3.5}, {19, 15.5}}));
            pen.line({9, 8.8}, {19, 6.8});
            pen.solid([] {
                QPainterPath heads;
                heads.addEllipse(QPointF(6.8, 17.6), 2.6, 2.1);
                heads.addEllipse(QPointF(16.8, 15.6), 2.6, 2.1);
                return heads;
            }());
            return;
        case Glyph::Video:
            pen.shape(roundedRect(2.5, 6, 13, 12, 2));
            pen.shape(polyline({{15.5, 10.5}, {21.5, 7.5}, {21.5, 16.5}, {15.5, 13.5}}, true));
            return;
        case Glyph::Book: {
            QPainterPath book;
            book.moveTo(12, 6.5);
            book.cubicTo(9.5, 4.5, 6, 4.5, 3, 5.5);
            book.lineTo(3, 19);
            book.cubicTo(6, 18, 9.5, 18, 12, 20);
            book.cubicTo(14.5, 18, 18, 18, 21, 19);
            book.lineTo(21, 5.5);
            book.cubicTo(18, 4.5, 14.5, 4.5, 12, 6.5);
            book.closeSubpath();
            pen.shape(book);
            pen.line({12, 6.5}, {12, 20});
            return;
        }
        case Glyph::Trash:
            pen.shape(polyline({{6, 6.5}, {7, 20.5}, {17, 20.5}, {18, 6.5}}, true));
            pen.line({4, 6.5}, {20, 6.5});
            pen.stroke(polyline({{9.5, 6.5}, {9.5, 3.5}, {14.5, 3.5}, {14.5, 6.5}}));
            pen.line({10, 10}, {10, 17});
            pen.line({14, 10}, {14, 17});
            return;
        case Glyph::Cache: {
            QPainterPath body;
            body.moveTo(4.5, 6);
            body.lineTo(4.5, 18);
            body.arcTo(QRectF(4.5, 15.2, 15, 5.6), 180, 180);
            body.lineTo(19.5, 6);
            pen.shape(body);
            QPainterPath top;
            top.addEllipse(QPointF(12, 6), 7.5, 2.8);
            pen.shape(top);
            QPainterPath middle;
            middle.arcMoveTo(QRectF(4.5, 9.2, 15, 5.6), 180);
            middle.arcTo(QRectF(4.5, 9.2, 15, 5.6), 180, 180);
            pen.stroke(middle);
            return;
        }
        case Glyph::Cookie: {
            const QPainterPath bite = circle({20, 4.5}, 4.5);
            pen.shape(circle({12, 12}, 9).subtracted(bite));
            for (const QPointF chip : {QPointF(8.5, 9), QPointF(13.5, 9.5), QPointF(15.5, 15),
                                       QPointF(9.5, 15.5), QPointF(12, 12.5)}) {
                pen.dot(chip, 1.15);
            }
            return;
        }
        case Glyph::Sync: {
            const QPointF c(12, 12);
            pen.stroke(arc(c, 7.5, 30, 140));
            arrowHead(pen, onCircle(c, 7.5, 170), 260);
            pen.stroke(arc(c, 7.5, 210, 140));
            arrowHead(pen, onCircle(c, 7.5, 350), 80);
            return;
        }
        case Glyph::Backup: {
            QPainterPath cloud;
            cloud.moveTo(7, 18.5);
            cloud.cubicTo(4.2, 18.5, 2.5, 16.5, 2.5, 14.2);
            cloud.cubicTo(2.5, 11.8, 4.3, 10, 6.6, 10);
            cloud.cubicTo(7.2, 7, 9.6, 5, 12.5, 5);
            cloud.cubicTo(16, 5, 18.6, 7.6, 18.8, 11);
            cloud.cubicTo(20.6, 11.3, 21.8, 12.8, 21.8, 14.7);
            cloud.cubicTo(21.8, 16.8, 20.2, 18.5, 18.2, 18.5);
            cloud.closeSubpath();
            pen.shape(cloud);
            pen.line({12, 16}, {12, 10.5});
            pen.stroke(polyline({{9.5, 12.8}, {12, 10.3}, {14.5, 12.8}}));
            return;
        }
        case Glyph::History: {
            const QPointF c(12, 12.5);
            pen.shape(circle(c, 8.5));
            pen.stroke(polyline({{12, 8}, {12, 12.5}, {15.2, 14.5}}));
            return;
        }
        case Glyph::Person:
            person(pen, {12, 8}, 3.8, 4.5, 19.5, 13.8, 20.5);
            return;
        case Glyph::Chat: {
            QPainterPath bubble = roundedRect(3, 4, 18, 13, 3.5);
            bubble = bubble.united(polyline({{7, 16}, {6, 21}, {12, 16.5}}, true));
            pen.shape(bubble);
            return;
        }
        case Glyph::Note:
            pen.shape(roundedRect(5, 3, 14, 18, 2));
            pen.line({8.5, 8}, {15.5, 8});
            pen.line({8.5, 12}, {15.5, 12});
            pen.line({8.5, 16}, {13, 16});
            return;
        case Glyph::Call: {
            QPainterPath handset;
            handset.moveTo(6.5, 3.5);
            handset.lineTo(9.5, 3.5);
            handset.lineTo(11, 8);
            handset.lineTo(9, 9.5);
            handset.cubicTo(10, 12, 12, 14, 14.5, 15);
            handset.lineTo(16, 13);
            handset.lineTo(20.5, 14.5);
            handset.lineTo(20.5, 17.5);
            handset.cubicTo(20.5, 19.2, 19.2, 20.5, 17.5, 20.5);
            handset.cubicTo(10.5, 20, 4, 13.5, 3.5, 6.5);
            handset.cubicTo(3.5, 4.8, 4.8, 3.5, 6.5, 3.5);
            handset.closeSubpath();
            pen.shape(handset);
            return;
        }
        case Glyph::Bookmark:
            pen.shape(polyline({{6.5, 3}, {17.5, 3}, {17.5, 21}, {12, 16.5}, {6.5, 21}}, true));
            return;
        case Glyph::Calendar:
            pen.shape(roundedRect(3.5, 5, 17, 15.5, 2));
            pen.line({3.5, 9.5}, {20.5, 9.5});
            pen.line({8, 3}, {8, 6.5});
            pen.line({16, 3}, {16, 6.5});
            for (const qreal x : {8.0, 12.0, 16.0}) {
                pen.dot({x, 13}, 1);
                pen.dot({x, 16.5}, 1);
            }
            return;
        case Glyph::Social: {
            pen.stroke(circle({16.5, 7.5}, 2.7));
            QPainterPath shoulder;
            shoulder.moveTo(16.5, 12.8);
            shoulder.cubicTo(19.5, 12.8, 21.5, 14.8, 21.5, 18);
            pen.stroke(shoulder);
            person(pen, {9, 8.5}, 3.2, 2.5, 15.5, 13.8, 19.5);
            return;
        }
        case Glyph::Attachment: {
            QPainterPath clip;
            clip.moveTo(16, 8);
            clip.lineTo(9, 15);
            clip.cubicTo(7.8, 16.2, 8.6, 18, 10, 17.9);
            clip.lineTo(17.8, 10.3);
            clip.cubicTo(20.3, 7.8, 17.2, 3.7, 14.5, 6.2);
            clip.lineTo(6.2, 14.4);
            clip.cubicTo(2.6, 18, 7.4, 23, 11, 19.5);
            clip.lineTo(18, 12.5);
            pen.stroke(clip);
            return;
        }
        case Glyph::Globe:
            pen.shape(circle({12, 12}, 8.8));
            pen.stroke([] {
                QPainterPath meridian;
                meridian.addEllipse(QPointF(12, 12), 3.8, 8.8);
                return meridian;
            }());
            pen.line({3.2, 12}, {20.8, 12});
            pen.line({4.6, 7.5}, {19.4, 7.5});
            pen.line({4.6, 16.5}, {19.4, 16.5});
            return;
        case Glyph::Search:
            pen.shape(circle({10.5, 10.5}, 6.2));
            pen.line({15.2, 15.2}, {20.5, 20.5});
            return;
        case Glyph::Keyboard:
            pen.shape(roundedRect(2.5, 6, 19, 12, 2));
            for (const qreal x : {6.0, 9.5, 13.0, 16.5}) {
                pen.dot({x, 9.5}, 0.9);
                pen.dot({x + 1.2, 12.2}, 0.9);
            }
            pen.line({8, 15}, {16, 15});
            return;
        case Glyph::Wifi: {
            const QPointF base(12, 19);
            for (const qreal r : {4.5, 9.0, 13.5}) {
                pen.stroke(arc(base, r, 45, 90));
            }
            pen.dot(base, 1.5);
            return;
        }
        case Glyph::Location: {
            QPainterPath pin;
            pin.moveTo(12, 21.5);
            pin.cubicTo(12, 21.5, 5, 14.5, 5, 9.5);
            pin.cubicTo(5, 5.6, 8.1, 2.5, 12, 2.5);
            pin.cubicTo(15.9, 2.5, 19, 5.6, 19, 9.5);
            pin.cubicTo(19, 14.5, 12, 21.5, 12, 21.5);
            pin.closeSubpath();
            pen.shape(pin);
            pen.stroke(circle({12, 9.5}, 2.5));
            return;
        }
        case Glyph::Info:
            pen.shape(circle({12, 12}, 9));
            pen.dot({12, 7.6}, 1.3);
            pen.line({12, 11}, {12, 16.8});
            return;
        case Glyph::ChevronRight:
            pen.stroke(polyline({{9, 5.5}, {15.5, 12}, {9, 18.5}}));
            return;
        case Glyph::ChevronDown:
            pen.stroke(polyline({{5.5, 9}, {12, 15.5}, {18.5, 9}}));
            return;
        case Glyph::ChevronUp:
            pen.stroke(polyline({{5.5, 15}, {12, 8.5}, {18.5, 15}}));
            return;
        case Glyph::Cross:
            pen.line({6.5, 6.5}, {17.5, 17.5});
            pen.line({17.5, 6.5}, {6.5, 17.5});
            return;
        case Glyph::Minus:
            pen.line({5.5, 12}, {18.5, 12});
            return;
        case Glyph::Plus:
            pen.line({5.5, 12}, {18.5, 12});
            pen.line({12, 5.5}, {12, 18.5});
            return;
        case Glyph::Check:
            pen.stroke(polyline({{5, 12.5}, {10, 17.5}, {19, 7}}));
            return;
        case Glyph::Play:
            pen.shape(polyline({{8, 5}, {19, 12}, {8, 19}}, true));
            return;
        case Glyph::Document:
            documentOutline(pen);
            pen.line({9, 12}, {16, 12});
            pen.line({9, 15.5}, {16, 15.5});
            pen.line({9, 19}, {13.5, 19});
            return;
        case Glyph::Download:
            pen.line({12, 3.5}, {12, 15});
            pen.stroke(polyline({{7.5, 10.5}, {12, 15}, {16.5, 10.5}}));
            pen.stroke(polyline({{4, 15.5}, {4, 20}, {20, 20}, {20, 15.5}}));
            return;
        case Glyph::Gear: {
            const QPointF c(12, 12);
            QPainterPath gear;
            constexpr int kTeeth = 8;
            for (int i = 0; i < kTeeth * 4; ++i) {
                const qreal angle = i * 360.0 / (kTeeth * 4);
                const qreal r = (i % 4 == 0 || i % 4 == 1) ? 9.3 : 7.0;
                const QPointF point = onCircle(c, r, angle - 360.0 / (kTeeth * 8));
                if (i == 0) {
                    gear.moveTo(point);
                } else {
                    gear.lineTo(point);
                }
            }
            gear.closeSubpath();
            pen.shape(gear);
            pen.stroke(circle(c, 3));
            return;
        }
        case Glyph::Store:
            pen.shape(polyline({{4.5, 8}, {19.5, 8}, {18.5, 21}, {5.5, 21}}, true));
            pen.stroke([] {
                QPainterPath handle;
                handle.moveTo(9, 10.5);
                handle.lineTo(9, 6.5);
                handle.cubicTo(9, 4.5, 10.3, 3, 12, 3);
                handle.cubicTo(13.7, 3, 15, 4.5, 15, 6.5);
                handle.lineTo(15, 10.5);
                return handle;
            }());
            return;
        case Glyph::Plug:
            pen.shape(roundedRect(7.5, 8.5, 9, 8.5, 1.8));
            pen.line({10.5, 3.5}, {10.5, 8.5});
            pen.line({13.5, 3.5}, {13.5, 8.5});
            pen.stroke([] {
                QPainterPath cable;
                cable.moveTo(12, 17);
                cable.cubicTo(12, 20, 14, 21.5, 17, 21.5);
                return cable;
            }());
            return;
        case Glyph::Refresh: {
            const QPointF c(12, 12.5);
            pen.stroke(arc(c, 7.5, 70, 290));
            arrowHead(pen, onCircle(c, 7.5, 0), 90);
            return;
        }
        case Glyph::Layers:
            pen.shape(polyline({{12, 3}, {21, 8}, {12, 13}, {3, 8}}, true));
            pen.stroke(polyline({{3, 12}, {12, 17}, {21, 12}}));
            pen.stroke(polyline({{3, 16}, {12, 21}, {21, 16}}));
            return;
        case Glyph::Lightning:
            pen.shape(polyline(
                {{13.5, 2.5}, {5, 13.5}, {11.5, 13.5}, {10.5, 21.5}, {19, 10.5}, {12.5, 10.5}},
                true));
            return;
        case Glyph::UserData:
            documentOutline(pen);
            pen.stroke(circle({12.5, 12}, 2.2));
            pen.stroke([] {
                QPainterPath shoulders;
                shoulders.moveTo(8.8, 18.5);
                shoulders.cubicTo(8.8, 16.2, 10.5, 15.2, 12.5, 15.2);
                shoulders.cubicTo(14.5, 15.2, 16.2, 16.2, 16.2, 18.5);
                return shoulders;
            }());
            return;
        case Glyph::Cpu:
            pen.shape(roundedRect(6, 6, 12, 12, 1.8));
            pen.stroke(roundedRect(9.5, 9.5, 5, 5, 0.8));
            for (const qreal t : {9.0, 12.0, 15.0}) {
                pen.line({t, 3}, {t, 6});
                pen.line({t, 18}, {t, 21});
                pen.line({3, t}, {6, t});
                pen.line({18, t}, {21, t});
            }
            return;
        case Glyph::Power:
            pen.stroke(arc({12, 13}, 7.5, 125, 290));
            pen.line({12, 3}, {12, 11});
            return;
    }
}

}  // namespace

void drawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& colour,
               qreal fillAlpha) {
    if (glyph == Glyph::None || box.isEmpty()) {
        return;
    }
    const qreal side = std::min(box.width(), box.height());
    const qreal scale = side / kGrid;
    // Small icons get a relatively heavier line so they stay legible.
    const qreal strokePixels = side <= 16 ? 1.5 : std::max(1.6, side / 13.0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(scale, scale);
    const GlyphPen pen(painter, colour, fillAlpha, strokePixels / scale);
    drawOnGrid(pen, glyph);
    painter.restore();
}

}  // namespace nimbara::ui
