#pragma once
// Puts the painter's pen and brush back as they were when it goes, for an
// object's drawing that changes only those: cheaper than save()/restore(),
// which copy the painter's whole state (font and device font too) for each
// object drawn.
#include <QBrush>
#include <QPainter>
#include <QPen>

class TPenBrushKeeper {
public:
    explicit TPenBrushKeeper(QPainter& painter) : painter_(painter), pen_(painter.pen()), brush_(painter.brush()) {}
    ~TPenBrushKeeper() {
        painter_.setPen(pen_);
        painter_.setBrush(brush_);
    }
    TPenBrushKeeper(const TPenBrushKeeper&) = delete;
    TPenBrushKeeper& operator=(const TPenBrushKeeper&) = delete;

private:
    QPainter& painter_;
    QPen pen_;
    QBrush brush_;
};
