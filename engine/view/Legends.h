#pragma once
// Legend entries beside the map: TLegend draws the sample of one theme
// class's symbol (point, line, area or text) and the class's name;
// TLegends stacks one entry per class of a list (or one for the default
// class when the list is empty). Both follow their sources through change
// links and let go of them when the sources are freed.
#include <memory>
#include <vector>

#include <cstdint>

#include <QColor>
#include <QImage>
#include <QWidget>

#include "core/Codes.h"
#include "core/Color.h"
#include "core/Font.h"

class QPainter;
class TThemeClass;
class TThemeClasses;

enum TLegendStyle { lgsAll, lgsText, lgsPoint, lgsLine, lgsPoly };

// The sample style of a theme layer type (taken modulo 10): 0 and 4
// points, 1 lines, 2 areas, 3 texts, anything else no sample.
TLegendStyle LegendStyleForLayerType(int themeLayerType);

// What a legend sample is drawn from: the attributes of a theme class.
struct TLegendSample {
    TColor LineColor = 0;
    TPointStyle PointStyle = psPoint;
    QImage Bitmap;
    TFont SymbolFont{QStringLiteral("Arial"), 12, 0, {}};
    std::uint8_t Symbol = 149;
    TLineStyle LineStyle = lsSolid;
    TFillStyle FillStyle = fsSolid;
    TColor FillColor = 0x00FFFF;
    QImage FillTexture;
    TFont TextFont{QStringLiteral("Arial"), 8, 0, {}};
    int LineWidth = 1;

    static TLegendSample Of(const TThemeClass& themeClass);
};

// Draws the sample of a style into a box: 22 x 16 pixels in the layer
// list, any size on a printed page. The shapes follow the box; pen widths
// and the point's radius are LineWidth pixels of the device; fontScale
// multiplies the fonts' sizes (the device's pixels per inch over 96).
// The symbol's background is the background colour. The painter's state
// is kept.
void DrawLegendSample(QPainter& painter, const QRect& box, TLegendStyle style, const TLegendSample& sample,
                      double fontScale = 1.0, const QColor& background = Qt::white);

class TLegend : public QWidget {
public:
    static constexpr int kHeight = 18;
    explicit TLegend(QWidget* parent = nullptr);
    ~TLegend() override;

    TThemeClass* ThemeClass() const { return themeClass_; }
    // Listens to the class (not owned) and takes its attributes at once.
    void SetThemeClass(TThemeClass* themeClass);
    TLegendStyle LegendStyle() const { return legendStyle_; }
    void SetLegendStyle(TLegendStyle v);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& v);
    // A bitmap of any size is kept and scaled into the 16 x 16 sample.
    const QImage& Bitmap() const { return sample_.Bitmap; }
    void SetBitmap(const QImage& v);
    const QImage& FillTexture() const { return sample_.FillTexture; }
    void SetFillTexture(const QImage& v);
    TColor LineColor() const { return sample_.LineColor; }
    void SetLineColor(TColor v);
    TPointStyle PointStyle() const { return sample_.PointStyle; }
    void SetPointStyle(TPointStyle v);
    TFillStyle FillStyle() const { return sample_.FillStyle; }
    void SetFillStyle(TFillStyle v);
    TColor FillColor() const { return sample_.FillColor; }
    void SetFillColor(TColor v);
    int LineWidth() const { return sample_.LineWidth; }
    void SetLineWidth(int v);
    const TLegendSample& Sample() const { return sample_; }

    void UpdateFromThemeClass();
    // Paints the entry on a painter over a device of the entry's size.
    void PaintTo(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Unlink();
    TThemeClass* themeClass_ = nullptr;
    TLegendStyle legendStyle_ = lgsAll;
    QString caption_ = QStringLiteral("Legend");
    TLegendSample sample_;
};

class TLegends : public QWidget {
public:
    explicit TLegends(QWidget* parent = nullptr);
    ~TLegends() override;

    int ThemeLayerType() const { return themeLayerType_; }
    void SetThemeLayerType(int v);
    TThemeClass* Defaults() const { return defaults_; }
    void SetDefaults(TThemeClass* v);
    TThemeClasses* ThemeClasses() const { return themeClasses_; }
    void SetThemeClasses(TThemeClasses* v);
    // The entries, in class order; owned (as child widgets).
    const std::vector<TLegend*>& Entries() const { return entries_; }

    void Rebuild();

protected:
    // The entries take the width of the legends.
    void resizeEvent(QResizeEvent* event) override;

private:
    void UnlinkDefaults();
    void UnlinkClasses();
    int themeLayerType_ = 0;
    TThemeClass* defaults_ = nullptr;
    TThemeClasses* themeClasses_ = nullptr;
    std::vector<TLegend*> entries_;
};
