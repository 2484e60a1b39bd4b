#pragma once
// The printed page of a map view: the map at a chosen or fitted scale, an
// optional title, a side box with the legend of the visible layers, the
// scale as text and a north arrow, and a graticule (frame, grid lines and
// their coordinate labels). Plain code over a QPainter and a page
// rectangle: the print dialog fills the options, the print action hands
// over the printer's painter; tests print to PDF files.
//
// All sizes on the page are pixels of the printing device. The map keeps
// the view's world window; the view itself is never changed nor repainted
// (its layers are drawn onto the page through a transform of the page's
// own).
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include "engine/view/Legends.h"
#include "engine/view/ViewTransform.h"

class QPainter;
class QPagedPaintDevice;
class TDrawing;

// A font of the page with its colour.
struct TPrintFont {
    QFont Font;
    QColor Color = Qt::black;
};

// What the print dialog collects. Fields marked "not printed" are kept
// for the dialog's sake only.
struct TPrintOptions {
    // 0 "Visualização atual" (the view's scale), 1 "Específica 1:"
    // (PrintScale), 2 "Para caber na página" (the whole map fitted).
    int ScaleMode = 0;
    double PrintScale = 0;
    bool PrintMap = true;  // not read: the map is always printed
    // Where the map stands against the side box: 0 the box on the right,
    // 1 the box on the left, 2 the map below the box, 3 the map above it.
    int MapPosition = 0;

    bool PrintTitle = true;
    QString Title = QStringLiteral("Sem título");
    TPrintFont TitleFont;
    int TitleAlignment = 0;  // 0 left, 1 centre, 2 right

    bool PrintLegend = true;
    QColor LegendLineColor = Qt::black;  // the legend frame's outline
    int LegendLineWidth = 1;             // not printed
    QColor LegendFillColor = Qt::white;  // the legend frame's fill
    TPrintFont LegendFont;

    bool PrintScaleText = true;
    TPrintFont ScaleFont;
    QString ScaleFormat = QStringLiteral("0");
    double ScaleInterval = 0;  // not printed
    int ScaleIntervalCount = 0;  // not printed

    bool PrintNorth = true;
    QChar NorthSymbol = u'+';
    TPrintFont NorthFont;  // the list's font; the arrow is drawn, not written
    QColor NorthColor = Qt::black;
    int NorthSize = 72;         // points
    double NorthRotation = 0;   // radians, counter-clockwise; used when > 0

    bool PrintGraticule = true;
    bool GridLines = false;
    QColor GridColor = Qt::black;
    int GridWidth = 1;
    double GridIntervalX = 0, GridIntervalY = 0;  // world units; 0 draws none
    TPrintFont GridFont;
    bool PrintContour = false;
    QColor ContourColor = Qt::black;
    int ContourWidth = 1;
    bool PrintMarks = false;
    QString MarkFormat = QStringLiteral("0");
    bool RotateMarks = false;

    // Not printed.
    bool PrintHeader = false, PrintFooter = false, PrintLogo = false;
    QStringList Header, Footer;
    QFont HeaderFont, FooterFont;
    QImage Logo;

    TPrintOptions();
};

// The page of the printing device, in its pixels.
struct TPrintPage {
    int Width = 0, Height = 0;    // the area the painter draws on
    int OffsetX = 0, OffsetY = 0;  // that area's offsets from the sheet's edges
    int DpiX = 96, DpiY = 96;
};
TPrintPage PrintPageOf(const QPagedPaintDevice& device);

// The page's gaps, in printer pixels.
struct TPrintGaps {
    int PartX = 128, PartY = 128;  // between the parts of the side box
    int LegendMarginX = 16, LegendMarginY = 16;  // between the legend's frame and its rows
    // Between the map and the box, and beside the graticule's marks.
    int BandX = 32, BandY = 32;
    int ClassIndent = 32;  // a class row under its layer's caption
    int SampleGap = 4;     // between a legend sample and its text
    int RowGap = 4;        // between the legend's rows
};

// The world units of the view between grid lines, and where they fall.
struct TGridLine {
    double Value;  // world x (vertical lines) or y (horizontal lines)
    int Pixel;     // its column or row on the page
};
// At most this many lines are drawn in each direction.
inline constexpr int kMaxGridLines = 1000;
// The multiples of interval that lie strictly between from and to (world
// units), the smallest first, at most kMaxGridLines of them; none for an
// interval that is not a positive number.
std::vector<double> GridValues(double from, double to, double interval);

// One row of the legend: a layer's caption, or one of its classes.
struct TPrintLegendRow {
    QString Text;
    int Indent = 0;         // the classes of a classified layer stand in
    bool HasSample = false;  // a caption row of a classified layer has none
    TLegendStyle Style = lgsAll;
    TLegendSample Sample;
};

struct TPrintLayout {
    TPrintGaps Gaps;
    double Scale = 0;   // the scale denominator printed, as drawn on paper
    QString ScaleText;  // "1:" and the denominator in ScaleFormat
    QRect Title;        // the title's text box (empty when not printed)
    QRect Box;          // the side box
    std::vector<TPrintLegendRow> LegendRows;
    QRect LegendFrame;  // the legend's framed rectangle
    QPoint LegendAt;    // the first row's top-left
    int LegendRowHeight = 0;
    QRect ScaleBox, NorthBox;
    bool Graticule = false;
    QRect Frame;             // the graticule's frame, around the printed map
    int BandX = 0, BandY = 0;  // the frame's side and top/bottom bands (the contour stands this far in)
    int MarkHeight = 0;
    std::vector<TGridLine> Vertical, Horizontal;
    QRect Map;         // the rectangle the map is drawn in (clipped to)
    QSize MapSize;     // the map's drawn size from Map's top-left corner
    TViewTransform Transform;  // the view's window on the page
    bool HasMap() const { return Map.width() >= 2 && Map.height() >= 2; }
};

// Lays the page out; the painter (on the printing device) gives the fonts'
// measures. A specific scale that is not a positive number prints at the
// view's scale.
TPrintLayout LayoutPrintPage(QPainter& painter, const TPrintPage& page, const TPrintOptions& options,
                             const TDrawing& view);
// Draws a laid-out page. Nothing but the painter changes; no events are
// processed meanwhile.
void DrawPrintPage(QPainter& painter, const TPrintLayout& layout, const TPrintOptions& options, TDrawing& view);
// Both: the page of the view on a painter that is active on a paged
// device (a printer, a PDF writer).
TPrintLayout PrintMapPage(QPainter& painter, const TPrintOptions& options, TDrawing& view);
