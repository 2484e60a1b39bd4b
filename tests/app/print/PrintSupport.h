#pragma once
// Helpers of the print tests: maps made in the test, printing to PDF and
// reading the PDF back with poppler (the application and the outside
// tools as the dialog tests have them).
#include <memory>
#include <vector>

#include <QImage>
#include <QMarginsF>
#include <QPageSize>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/print/PrintLayout.h"
#include "tests/app/dialogs/DialogTestUtil.h"
#include "core/Paths.h"
#include "engine/layers/Layers.h"
#include "engine/objects/PolyLine.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/view/GISDrawing.h"

#define REQUIRE_POPPLER() \
    if (!HaveTool(QStringLiteral("pdftoppm")) || !HaveTool(QStringLiteral("pdftotext"))) GTEST_SKIP() << "poppler is not installed"

// The page margins of the PDFs the tests print.
inline constexpr double kMarginMm = 10;
inline constexpr int kDpi = 600;

// Prints the view's page to a PDF file; the layout that was drawn.
inline TPrintLayout PrintPdf(TDrawing& view, const TPrintOptions& o, const QString& file,
                             QPageSize::PageSizeId size = QPageSize::A4,
                             QPageLayout::Orientation orientation = QPageLayout::Landscape) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setResolution(kDpi);
    printer.setPageSize(QPageSize(size));
    printer.setPageOrientation(orientation);
    printer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
    QPainter painter(&printer);
    TPrintLayout layout = PrintMapPage(painter, o, view);
    painter.end();
    return layout;
}

// The margin in device pixels, as the printer rounds it.
inline int MarginPixels() {
    static const int margin =
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                    QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter)
            .paintRectPixels(kDpi)
            .left();
    return margin;
}
// A length of device pixels in points.
inline double LengthToPoints(double px) { return px * 72.0 / kDpi; }
// A page pixel (origin at the margins) in PDF points.
inline double PixelToPoints(double px) { return (px + MarginPixels()) * 72.0 / kDpi; }
inline QRectF PixelsToPoints(const QRect& r) {
    return QRectF(QPointF(PixelToPoints(r.left()), PixelToPoints(r.top())),
                  QPointF(PixelToPoints(r.right() + 1), PixelToPoints(r.bottom() + 1)));
}

struct TPdfWord {
    QString Text;
    QRectF Box;  // points, y down
};

// The words pdftotext finds, with their boxes.
inline std::vector<TPdfWord> PdfWords(const QString& file) {
    const QString html = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), file, QStringLiteral("-")});
    static const QRegularExpression re(QStringLiteral(
        "<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">([^<]*)</word>"));
    std::vector<TPdfWord> out;
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        QString text = m.captured(5);
        text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        out.push_back({text, QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                    QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return out;
}

// The page rasterised by pdftoppm at the resolution; only the crop (raster
// pixels) when one is given.
inline QImage Rasterise(const QString& file, int dpi, const QRect& crop = {}) {
    const QString base = file + QStringLiteral("-r");
    QStringList args{QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), QStringLiteral("-singlefile")};
    if (crop.isValid())
        args << QStringLiteral("-x") << QString::number(crop.x()) << QStringLiteral("-y") << QString::number(crop.y())
             << QStringLiteral("-W") << QString::number(crop.width()) << QStringLiteral("-H")
             << QString::number(crop.height());
    RunTool(QStringLiteral("pdftoppm"), args << file << base);
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// A layer file of polygons (each a ring of corners, in one colour), opened
// and listed at the end of the view's layers.
inline TLayer* AddPolygonLayer(TDrawing& view, const QString& folder, const QString& name,
                               const std::vector<std::vector<TVertex>>& rings, TColor fill) {
    {
        TLayer writer;
        writer.SetDatabaseName(folder);
        writer.SetLayerName(name + QStringLiteral(".cam"));
        writer.Edit();
        for (const auto& ring : rings) {
            auto g = std::make_unique<TPolygon>();
            g->AddContour(ring);
            writer.Add(std::move(g));
        }
        writer.InternalPost();
        writer.EndEdit();
    }
    auto layer = std::make_unique<TLayer>(&view);
    layer->SetCaption(name);
    layer->SetDatabaseName(folder);
    layer->SetLayerName(name + QStringLiteral(".cam"));
    // The objects take the layer's style as they are read.
    layer->Defaults()->SetLineColor(fill);
    layer->Defaults()->SetFillColor(fill);
    layer->Defaults()->SetFillStyle(fsSolid);
    layer->Open();
    TLayer* raw = layer.get();
    view.Layers().Add(std::move(layer));
    return raw;
}

inline std::vector<TVertex> Rect(double x1, double y1, double x2, double y2) {
    return {{x1, y1, 0}, {x2, y1, 0}, {x2, y2, 0}, {x1, y2, 0}};
}

// Options with nothing but the map.
inline TPrintOptions MapOnly() {
    TPrintOptions o;
    o.PrintTitle = o.PrintLegend = o.PrintNorth = o.PrintScaleText = o.PrintGraticule = false;
    return o;
}
