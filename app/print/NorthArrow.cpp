#include "app/print/NorthArrow.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>

namespace {

// The shapes are drawn on a square from (-1, -1) to (1, 1), y down.
enum TFill { Outline, Filled, HalfFilled };

// A kite pointing up: tip, right wing, tail notch, left wing.
void Kite(QPainter& p, TFill fill, double top = -1, double bottom = 1, double wing = 0.45) {
    const QPointF tip(0, top), right(wing, bottom), notch(0, bottom - 0.35 * (bottom - top)), left(-wing, bottom);
    const QBrush solid = p.pen().color();
    if (fill == HalfFilled) {
        p.setBrush(solid);
        p.drawPolygon(QPolygonF({tip, notch, left}));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(QPolygonF({tip, right, notch}));
        return;
    }
    p.setBrush(fill == Filled ? solid : QBrush(Qt::NoBrush));
    p.drawPolygon(QPolygonF({tip, right, notch, left}));
}

// A star of n points (4 or 8), the north point darkest; each point is two
// halves, the left one filled.
void Star(QPainter& p, int points, double outer, double inner, bool allFilled) {
    const QBrush solid = p.pen().color();
    for (int k = 0; k < points; ++k) {
        const double a = -std::numbers::pi / 2 + 2 * std::numbers::pi * k / points;
        const double half = std::numbers::pi / points;
        const double r = (points == 8 && k % 2 == 1) ? outer * 0.6 : outer;
        const QPointF tip(r * std::cos(a), r * std::sin(a));
        const QPointF l(inner * std::cos(a - half), inner * std::sin(a - half));
        const QPointF rr(inner * std::cos(a + half), inner * std::sin(a + half));
        p.setBrush(allFilled || k == 0 ? solid : QBrush(Qt::NoBrush));
        p.drawPolygon(QPolygonF({QPointF(0, 0), l, tip}));
        p.setBrush(k == 0 ? solid : QBrush(Qt::NoBrush));
        p.drawPolygon(QPolygonF({QPointF(0, 0), tip, rr}));
    }
}

// The letter N as three strokes in a box centred at (x, y).
void LetterN(QPainter& p, double x, double y, double h) {
    const double w = 0.7 * h;
    QPainterPath n;
    n.moveTo(x - w / 2, y + h / 2);
    n.lineTo(x - w / 2, y - h / 2);
    n.lineTo(x + w / 2, y + h / 2);
    n.lineTo(x + w / 2, y - h / 2);
    p.setBrush(Qt::NoBrush);
    p.drawPath(n);
}

void Shaft(QPainter& p, double top, double bottom, double head) {
    p.drawLine(QPointF(0, top + head), QPointF(0, bottom));
    p.setBrush(p.pen().color());
    p.drawPolygon(QPolygonF({QPointF(0, top), QPointF(head * 0.6, top + head), QPointF(-head * 0.6, top + head)}));
}

void Circle(QPainter& p, double r) {
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(0, 0), r, r);
}

void Triangle(QPainter& p, bool filled, double top, double bottom, double half) {
    p.setBrush(filled ? QBrush(p.pen().color()) : QBrush(Qt::NoBrush));
    p.drawPolygon(QPolygonF({QPointF(0, top), QPointF(half, bottom), QPointF(-half, bottom)}));
}

void Arrow(QPainter& p, int index) {
    switch (index) {
    case 0: Shaft(p, -1, 1, 0.6); break;
    case 1: Kite(p, HalfFilled); break;
    case 2: Kite(p, Filled); break;
    case 3: Kite(p, Outline); break;
    case 4: Star(p, 4, 1, 0.25, false); break;
    case 5: Star(p, 4, 1, 0.25, true); break;
    case 6: Star(p, 8, 1, 0.2, false); break;
    case 7:
        Circle(p, 0.95);
        Kite(p, Filled, -0.8, 0.8, 0.35);
        break;
    case 8:
        LetterN(p, 0, -0.72, 0.5);
        Shaft(p, -0.35, 1, 0.45);
        break;
    case 9:
        LetterN(p, 0, -0.72, 0.5);
        Kite(p, HalfFilled, -0.35, 1, 0.4);
        break;
    case 10:
        Triangle(p, true, -1, 0.3, 0.5);
        LetterN(p, 0, 0.7, 0.5);
        break;
    case 11:
        for (double y : {-1.0, -0.35}) {
            QPainterPath v;
            v.moveTo(-0.6, y + 0.7);
            v.lineTo(0, y);
            v.lineTo(0.6, y + 0.7);
            p.setBrush(Qt::NoBrush);
            p.drawPath(v);
        }
        p.drawLine(QPointF(0, -1), QPointF(0, 1));
        break;
    case 12:
        Circle(p, 0.7);
        Star(p, 4, 1, 0.2, false);
        break;
    case 13: Triangle(p, true, -1, 1, 0.6); break;
    case 14:
        Triangle(p, false, -1, 1, 0.75);
        LetterN(p, 0, 0.45, 0.55);
        break;
    case 15:
        p.drawLine(QPointF(-0.7, 0.2), QPointF(0.7, 0.2));
        Shaft(p, -1, 1, 0.5);
        break;
    default:
        Kite(p, HalfFilled);
        Circle(p, 0.15);
        break;
    }
}

}  // namespace

void DrawNorthArrow(QPainter& p, const QRectF& box, QChar symbol, const QColor& color, double rotation) {
    const int index = std::max<int>(static_cast<int>(kNorthSymbols.indexOf(symbol)), 0);
    const double side = std::min(box.width(), box.height());
    if (!(side > 0)) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(box.center());
    if (rotation != 0 && std::isfinite(rotation)) p.rotate(-rotation * 180 / std::numbers::pi);
    p.scale(side / 2, side / 2);
    QPen pen(color);
    pen.setWidthF(0.06);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    Arrow(p, index);
    p.restore();
}
