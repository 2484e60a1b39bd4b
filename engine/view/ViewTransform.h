#pragma once
// The world-to-pixel mapping of a map view: a world window whose lower-left
// corner sits on the bottom-left pixel of a draw area, UnitsPerPixel world
// units to a pixel, y growing upwards in the world and downwards on screen.
#include "engine/view/DrawingTypes.h"

struct TViewTransform {
    double ViewLeft = 0;
    double ViewBottom = 0;
    double UnitsPerPixel = 1;
    int OffsetX = 0;
    int OffsetY = 0;
    int DrawHeight = 1;

    // Round((x - ViewLeft) / upp) + OffsetX, clamped (ViewPixel).
    int WorldToScreenX(double x) const {
        return ViewPixel((x - ViewLeft) / UnitsPerPixel + OffsetX);
    }
    // Round((DrawHeight - 1) - (y - ViewBottom) / upp) + OffsetY: the bottom
    // row of the draw area shows ViewBottom.
    int WorldToScreenY(double y) const {
        return ViewPixel((DrawHeight - 1) - (y - ViewBottom) / UnitsPerPixel + OffsetY);
    }
    double ScreenToWorldX(int X) const { return ViewLeft + (double(X) - OffsetX) * UnitsPerPixel; }
    double ScreenToWorldY(int Y) const {
        return ViewBottom + (double(DrawHeight) + OffsetY - Y - 1) * UnitsPerPixel;
    }
};
