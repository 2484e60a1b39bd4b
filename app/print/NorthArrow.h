#pragma once
// The north arrows the print dialog offers, drawn as vector shapes: each
// is named by a character ("+", ",", "-" ...), points up (to the north)
// and fills a square box.
#include <QChar>
#include <QColor>
#include <QString>

class QPainter;
class QRectF;

// The characters of the arrows, in the order the dialog lists them.
inline const QString kNorthSymbols = QStringLiteral("+,-./012456789:;<");

// Draws the arrow of a character (the first arrow for an unknown one) in
// the colour, centred in the box, turned by rotation radians counter-
// clockwise about the box's centre. The painter's state is kept.
void DrawNorthArrow(QPainter& painter, const QRectF& box, QChar symbol, const QColor& color, double rotation = 0);
