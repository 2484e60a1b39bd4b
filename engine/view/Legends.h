#pragma once
// Legend entries beside the map: TLegend draws the sample of one theme
// class's symbol (point, line, area or text) and the class's name;
// TLegends stacks one entry per class of a list (or one for the default
// class when the list is empty). Both follow their sources through change
// links and let go of them when the sources are freed.
#include <memory>
#include <vector>

#include <QImage>
#include <QWidget>

#include "engine/core/Codes.h"
#include "engine/core/Color.h"
#include "engine/core/Font.h"

class TThemeClass;
class TThemeClasses;

enum TLegendStyle { lgsAll, lgsText, lgsPoint, lgsLine, lgsPoly };

// The sample style of a theme layer type (taken modulo 10): 0 and 4
// points, 1 lines, 2 areas, 3 texts, anything else no sample.
TLegendStyle LegendStyleForLayerType(int themeLayerType);

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
    const QImage& Bitmap() const { return bitmap_; }
    void SetBitmap(const QImage& v);
    const QImage& FillTexture() const { return fillTexture_; }
    void SetFillTexture(const QImage& v);
    TColor LineColor() const { return lineColor_; }
    void SetLineColor(TColor v);
    TPointStyle PointStyle() const { return pointStyle_; }
    void SetPointStyle(TPointStyle v);
    TFillStyle FillStyle() const { return fillStyle_; }
    void SetFillStyle(TFillStyle v);
    TColor FillColor() const { return fillColor_; }
    void SetFillColor(TColor v);
    int LineWidth() const { return lineWidth_; }
    void SetLineWidth(int v);

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
    TColor lineColor_ = 0;
    TPointStyle pointStyle_ = psPoint;
    QImage bitmap_, fillTexture_;
    TFont symbolFont_{QStringLiteral("Arial"), 12, 0, {}};
    std::uint8_t symbol_ = 149;
    TLineStyle lineStyle_ = lsSolid;
    TFillStyle fillStyle_ = fsSolid;
    TColor fillColor_ = 0x00FFFF;
    TFont textFont_{QStringLiteral("Arial"), 8, 0, {}};
    int lineWidth_ = 1;
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
