#include "app/print/PrintLayout.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>

#include "app/print/NorthArrow.h"
#include "app/print/NumberFormat.h"
#include "engine/layers/Layers.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/symbology/ThemeClasses.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/Drawing.h"

namespace {

// Gaps of the page, in device pixels: between the parts of the side box,
// around the legend's rows inside its frame, and between the map and the
// box or the graticule's frame.
constexpr int kPartGap = 128;
constexpr int kLegendMargin = 16;
constexpr int kBand = 32;
// A map is never drawn larger than this many pixels a side (a scale far
// larger than the view's would ask for millions).
constexpr double kMaxMapPixels = 1 << 24;

QFont DefaultFont(int points, bool bold = false) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(points);
    f.setBold(bold);
    return f;
}

QString Formatted(const QString& format, double value) { return FormatUserNumber(format, value); }

// Text drawn with its cell's top-left corner at p, turned by angle degrees
// counter-clockwise about that corner.
void WriteText(QPainter& painter, const TPrintFont& font, QPointF p, const QString& text, double angle = 0) {
    painter.save();
    painter.setFont(font.Font);
    painter.setPen(font.Color);
    painter.setBrush(Qt::NoBrush);
    painter.translate(p);
    if (angle != 0) painter.rotate(-angle);
    painter.drawText(QPointF(0, painter.fontMetrics().ascent()), text);
    painter.restore();
}

std::vector<TPrintLegendRow> LegendRows(const TDrawing& view) {
    std::vector<TPrintLegendRow> rows;
    const TLayers& layers = view.Layers();
    for (int i = 0; i < layers.GetCount(); ++i) {
        const TLayer* layer = layers.GetItem(i);
        if (layer == nullptr || !layer->Visible()) continue;
        const auto* theme = dynamic_cast<const TThemeLayer*>(layer);
        const TLegendStyle style = theme ? LegendStyleForLayerType(theme->ThemeLayerType()) : lgsAll;
        if (theme && theme->Classified() && theme->ThemeClasses() != nullptr) {
            rows.push_back({layer->Caption(), 0, false, lgsAll, {}});
            const TThemeClasses& classes = *theme->ThemeClasses();
            for (int k = 0; k < classes.GetCount(); ++k) {
                const TThemeClass* c = classes.GetItem(k);
                rows.push_back({c->ThemeClassName(), 32, true, style, TLegendSample::Of(*c)});
            }
        } else {
            TPrintLegendRow row{layer->Caption(), 0, true, style, {}};
            if (layer->Defaults() != nullptr) row.Sample = TLegendSample::Of(*layer->Defaults());
            rows.push_back(row);
        }
    }
    return rows;
}

// The sample of a row is as high as its text and half as wide again.
int SampleWidth(int textHeight) { return static_cast<int>(std::lround(1.5 * textHeight)); }

struct TMapScale {
    double ViewScale;    // the view's scale, or its planar one while it has none
    double ViewUpp;      // world units per screen pixel
    double DevicePixel;  // metres per printer pixel
    // World units per printer pixel that print at scale s, and back.
    double UppFor(double s) const { return ViewUpp * (s / ViewScale) * (DevicePixel / kPixelSizeMetres); }
    double ScaleFor(double upp) const { return ViewScale * (upp / ViewUpp) * (kPixelSizeMetres / DevicePixel); }
};

int MapPixels(double extent, double upp) {
    const double n = std::nearbyint(extent / upp) + 1;
    if (!(n >= 2)) return 2;
    return static_cast<int>(std::min(n, kMaxMapPixels));
}

// The layout with the scale text of a guessed size; LayoutPrintPage runs
// it again when the printed text turns out larger.
TPrintLayout LayoutWith(const TPrintPage& page, const TPrintOptions& o, const TDrawing& view, QPaintDevice* device,
                        QSize scaleTextSize) {
    TPrintLayout L;
    const int PW = page.Width, PH = page.Height, offX = page.OffsetX, offY = page.OffsetY;
    const int pos = std::clamp(o.MapPosition, 0, 3);
    const bool column = pos <= 1;

    int tw = 0, th = 0;
    if (o.PrintTitle) {
        const QFontMetrics fm(o.TitleFont.Font, device);
        tw = fm.horizontalAdvance(o.Title);
        th = fm.height();
    }
    int boxW = 0, boxH = 0;
    if (column) boxH = PH - 2 * offY - th;
    else boxW = PW - 2 * offX;

    // The legend: its rows, and its frame around them.
    int legW = 0, legH = 0, legendFootW = 0, legendFootH = 0;
    if (o.PrintLegend) {
        const QFontMetrics fm(o.LegendFont.Font, device);
        L.LegendRowHeight = fm.height();
        const int sw = SampleWidth(L.LegendRowHeight);
        L.LegendRows = LegendRows(view);
        for (const TPrintLegendRow& r : L.LegendRows) {
            const int w = r.Indent + fm.horizontalAdvance(r.Text) + (r.HasSample ? sw + 4 : 0);
            legW = std::max(legW, w);
            legH += L.LegendRowHeight + 4;
        }
        legendFootW = legW + 2 * kLegendMargin;
        legendFootH = legH + 2 * kLegendMargin;
        boxW = std::max(boxW, legendFootW);
        boxH = std::max(boxH, legendFootH);
    }
    int sW = 0, sH = 0;
    if (o.PrintScaleText) {
        sW = scaleTextSize.width();
        sH = scaleTextSize.height();
        boxW = std::max(boxW, sW);
        boxH = std::max(boxH, sH);
    }
    int nW = 0, nH = 0;
    if (o.PrintNorth) {
        nH = static_cast<int>(std::lround(std::clamp(o.NorthSize, 0, 10000) * page.DpiY / 72.0));
        nW = nH;
        boxW = std::max(boxW, nW);
        boxH = std::max(boxH, nH);
    }
    int mH = 0, cW = 0;
    if (o.PrintGraticule) {
        if (o.PrintMarks) mH = QFontMetrics(o.GridFont.Font, device).height();
        if (o.PrintContour) cW = std::max(o.ContourWidth, 0);
    }

    int boxX = offX, boxY = offY + th;
    if (pos == 0) boxX = PW - boxW - offX;
    if (pos == 3) boxY = PH - boxH - offY - th;
    L.Box = QRect(boxX, boxY, boxW, boxH);

    // The parts stand in a column (or a row), centred in the box, 128
    // pixels apart.
    const int parts = int(o.PrintLegend) + int(o.PrintScaleText) + int(o.PrintNorth);
    const int gaps = std::max(parts - 1, 0) * kPartGap;
    const int contentW = column ? boxW : legendFootW + sW + nW + gaps;
    const int contentH = column ? legendFootH + sH + nH + gaps : boxH;
    int cx = boxX + (boxW - contentW) / 2, cy = boxY + (boxH - contentH) / 2;
    const auto advance = [&](int w, int h) {
        if (column) cy += h + kPartGap;
        else cx += w + kPartGap;
    };
    if (o.PrintLegend) {
        L.LegendFrame = QRect(cx, cy, legendFootW, legendFootH);
        L.LegendAt = QPoint(cx + kLegendMargin, cy + kLegendMargin);
        advance(legendFootW, legendFootH);
    }
    if (o.PrintScaleText) {
        L.ScaleBox = QRect(cx, cy, sW, sH);
        advance(sW, sH);
    }
    if (o.PrintNorth) L.NorthBox = QRect(cx, cy, nW, nH);

    int mapLeft = offX, mapTop = offY + th, mapRight = PW - offX, mapBottom = PH - offY;
    switch (pos) {
    case 0:
        mapRight = boxX - kBand;
        mapBottom = mapTop + boxH;
        break;
    case 1:
        mapLeft = boxX + boxW;
        mapBottom = mapTop + boxH;
        break;
    case 2:
        mapTop = boxY + boxH;
        mapRight = mapLeft + boxW;
        break;
    default:
        mapRight = mapLeft + boxW;
        mapBottom = boxY - kBand;
        break;
    }
    QRect map(QPoint(mapLeft, mapTop), QPoint(mapRight, mapBottom));

    // The view's window on the page.
    const double left = view.GetViewLeft(), bottom = view.GetViewBottom();
    const double winW = view.GetViewRight() - left, winH = view.GetViewTop() - bottom;
    TMapScale ms;
    ms.ViewUpp = view.UnitsPerPixel() > 0 ? view.UnitsPerPixel() : 1;
    ms.ViewScale = view.Scale() > 0 && std::isfinite(view.Scale()) ? view.Scale() : ms.ViewUpp / kPixelSizeMetres;
    ms.DevicePixel = 0.0254 / std::max(page.DpiX, 1);

    // The graticule's bands: the marks of the horizontal lines stand
    // beside the frame; unturned, they need their width.
    int wY = mH;
    if (o.PrintGraticule && o.PrintMarks && o.GridLines && !o.RotateMarks && o.GridIntervalY > 0) {
        const QFontMetrics fm(o.GridFont.Font, device);
        for (double y : {bottom - winH, bottom, bottom + winH, bottom + 2 * winH, 0.0})
            for (double v : GridValues(y - o.GridIntervalY, y + o.GridIntervalY, o.GridIntervalY))
                wY = std::max(wY, fm.horizontalAdvance(Formatted(o.MarkFormat, v)));
    }
    const int frameX = cW + wY + kBand, frameY = cW + mH + kBand;
    if (o.PrintGraticule) {
        L.Graticule = true;
        L.MarkHeight = mH;
        L.BandX = wY + kBand;
        L.BandY = mH + kBand;
        map.adjust(frameX, frameY, -frameX, -frameY);
    }
    L.Map = map;

    double upp;
    const bool specific = o.ScaleMode == 1 && o.PrintScale > 0 && std::isfinite(o.PrintScale);
    if (o.ScaleMode == 2 && L.HasMap() && winW > 0 && winH > 0) {
        // The whole window inside the map's rectangle, keeping its shape.
        upp = std::max(winW / (map.width() - 1), winH / (map.height() - 1));
        L.Scale = ms.ScaleFor(upp);
    } else {
        L.Scale = specific ? o.PrintScale : ms.ViewScale;
        upp = ms.UppFor(L.Scale);
    }
    if (!(upp > 0) || !std::isfinite(upp)) upp = ms.ViewUpp;
    L.MapSize = QSize(MapPixels(winW, upp), MapPixels(winH, upp));
    // Drawn from the rectangle's top-left corner: the window's top-left
    // world point there.
    L.Transform.ViewLeft = left;
    L.Transform.ViewBottom = view.GetViewTop() - (L.MapSize.height() - 1) * upp;
    L.Transform.UnitsPerPixel = upp;
    L.Transform.OffsetX = map.left();
    L.Transform.OffsetY = map.top();
    L.Transform.DrawHeight = L.MapSize.height();
    // The graticule frames the map that is printed: the rectangle, or less
    // where the map does not fill it.
    if (o.PrintGraticule) {
        const QRect drawn = QRect(map.topLeft(), L.MapSize) & map;
        L.Frame = (drawn.isValid() ? drawn : map).adjusted(-frameX, -frameY, frameX, frameY);
    }

    if (o.PrintTitle) {
        int x = 0;
        if (o.TitleAlignment == 1) x = (PW - tw) / 2;
        else if (o.TitleAlignment == 2) x = PW - tw;
        L.Title = QRect(x, 0, tw, th);
    }
    L.ScaleText = QStringLiteral("1:") + Formatted(o.ScaleFormat, L.Scale);

    if (o.PrintGraticule && o.GridLines) {
        const TViewTransform& t = L.Transform;
        const QRect& f = L.Frame;
        if (o.GridIntervalX > 0)
            for (double x : GridValues(t.ScreenToWorldX(f.left() + L.BandX), t.ScreenToWorldX(f.right() - L.BandX),
                                       o.GridIntervalX))
                L.Vertical.push_back({x, t.WorldToScreenX(x)});
        if (o.GridIntervalY > 0)
            for (double y : GridValues(t.ScreenToWorldY(f.bottom() - L.BandY), t.ScreenToWorldY(f.top() + L.BandY),
                                       o.GridIntervalY))
                L.Horizontal.push_back({y, t.WorldToScreenY(y)});
    }
    return L;
}

}  // namespace

TPrintOptions::TPrintOptions()
    : TitleFont{DefaultFont(16, true)},
      LegendFont{DefaultFont(10)},
      ScaleFont{DefaultFont(12)},
      NorthFont{DefaultFont(12)},
      GridFont{DefaultFont(8)} {}

TPrintPage PrintPageOf(const QPagedPaintDevice& device) {
    TPrintPage page;
    page.Width = device.width();
    page.Height = device.height();
    page.DpiX = device.logicalDpiX();
    page.DpiY = device.logicalDpiY();
    const QRect paint = device.pageLayout().paintRectPixels(page.DpiX);
    page.OffsetX = paint.left();
    page.OffsetY = paint.top();
    return page;
}

std::vector<double> GridValues(double from, double to, double interval) {
    std::vector<double> out;
    if (!(interval > 0) || !std::isfinite(interval) || !std::isfinite(from) || !std::isfinite(to)) return out;
    // The first multiple above the edge, for negative coordinates too.
    const double first = std::floor(from / interval) + 1;
    for (int k = 0; k < kMaxGridLines; ++k) {
        const double v = (first + k) * interval;
        if (!(v < to)) break;
        if (v <= from) continue;  // a step lost to rounding
        out.push_back(v);
    }
    return out;
}

TPrintLayout LayoutPrintPage(QPainter& painter, const TPrintPage& page, const TPrintOptions& o, const TDrawing& view) {
    QPaintDevice* device = painter.device();
    const QFontMetrics fm(o.ScaleFont.Font, device);
    // The box is sized for the scale text that is printed; with the map
    // fitted to the page, that text follows from the box.
    QSize guess;
    TPrintLayout layout;
    for (int round = 0; round < 4; ++round) {
        layout = LayoutWith(page, o, view, device, guess);
        if (!o.PrintScaleText) break;
        const QSize need(fm.horizontalAdvance(layout.ScaleText), fm.height());
        if (need.width() <= guess.width() && need.height() <= guess.height()) break;
        guess = guess.expandedTo(need);
    }
    return layout;
}

void DrawPrintPage(QPainter& painter, const TPrintLayout& L, const TPrintOptions& o, TDrawing& view) {
    painter.save();
    if (L.HasMap()) {
        painter.save();
        painter.setClipRect(L.Map);
        view.DrawLayersTo(painter, L.Transform, L.MapSize, L.Scale);
        painter.restore();
    }
    if (o.PrintTitle) WriteText(painter, o.TitleFont, L.Title.topLeft(), o.Title);

    if (o.PrintLegend) {
        painter.save();
        painter.setPen(QPen(o.LegendLineColor, 1));
        painter.setBrush(o.LegendFillColor);
        painter.drawRect(L.LegendFrame);
        painter.restore();
        const int h = L.LegendRowHeight, w = SampleWidth(h);
        const double fontScale = painter.device()->logicalDpiY() / 96.0;
        const QColor background = ColorToQColor(view.Color());
        int y = L.LegendAt.y();
        for (const TPrintLegendRow& r : L.LegendRows) {
            const int x = L.LegendAt.x() + r.Indent;
            if (r.HasSample) {
                DrawLegendSample(painter, QRect(x, y, w, h), r.Style, r.Sample, fontScale, background);
                WriteText(painter, o.LegendFont, QPointF(x + w + 4, y), r.Text);
            } else {
                WriteText(painter, o.LegendFont, QPointF(x, y), r.Text);
            }
            y += h + 4;
        }
    }
    if (o.PrintScaleText) WriteText(painter, o.ScaleFont, L.ScaleBox.topLeft(), L.ScaleText);
    if (o.PrintNorth)
        DrawNorthArrow(painter, L.NorthBox, o.NorthSymbol, o.NorthColor, o.NorthRotation > 0 ? o.NorthRotation : 0);

    if (L.Graticule) {
        const QRect& f = L.Frame;
        const int iX = L.BandX, iY = L.BandY, mH = L.MarkHeight;
        if (o.PrintContour) {
            painter.save();
            painter.setPen(QPen(o.ContourColor, std::max(o.ContourWidth, 0)));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRect(QPoint(f.left() + iX, f.top() + iY), QPoint(f.right() - iX, f.bottom() - iY)));
            painter.restore();
        }
        const QPen gridPen(o.GridColor, std::max(o.GridWidth, 0));
        const QFontMetrics fm(o.GridFont.Font, painter.device());
        for (const TGridLine& g : L.Vertical) {
            if (o.PrintMarks) {
                const QString text = Formatted(o.MarkFormat, g.Value);
                const int tw = fm.horizontalAdvance(text);
                WriteText(painter, o.GridFont, QPointF(g.Pixel - tw / 2, f.top()), text);
                WriteText(painter, o.GridFont, QPointF(g.Pixel - tw / 2, f.bottom() - mH), text);
            }
            painter.setPen(gridPen);
            painter.drawLine(QPoint(g.Pixel, f.top() + iY), QPoint(g.Pixel, f.bottom() - iY));
        }
        for (const TGridLine& g : L.Horizontal) {
            if (o.PrintMarks) {
                const QString text = Formatted(o.MarkFormat, g.Value);
                const int tw = fm.horizontalAdvance(text);
                if (o.RotateMarks) {
                    // Reading upwards on the left, downwards on the right,
                    // each centred on its line.
                    WriteText(painter, o.GridFont, QPointF(f.left(), g.Pixel + tw / 2), text, 90);
                    WriteText(painter, o.GridFont, QPointF(f.right(), g.Pixel - tw / 2), text, 270);
                } else {
                    WriteText(painter, o.GridFont, QPointF(f.left(), g.Pixel - mH / 2), text);
                    WriteText(painter, o.GridFont, QPointF(f.right() - tw, g.Pixel - mH / 2), text);
                }
            }
            painter.setPen(gridPen);
            painter.drawLine(QPoint(f.left() + iX, g.Pixel), QPoint(f.right() - iX, g.Pixel));
        }
    }
    painter.restore();
}

TPrintLayout PrintMapPage(QPainter& painter, const TPrintOptions& options, TDrawing& view) {
    const auto* device = dynamic_cast<const QPagedPaintDevice*>(painter.device());
    TPrintPage page;
    if (device != nullptr) {
        page = PrintPageOf(*device);
    } else {
        page.Width = painter.device()->width();
        page.Height = painter.device()->height();
        page.DpiX = painter.device()->logicalDpiX();
        page.DpiY = painter.device()->logicalDpiY();
    }
    const TPrintLayout layout = LayoutPrintPage(painter, page, options, view);
    DrawPrintPage(painter, layout, options, view);
    return layout;
}
