#pragma once
// TText: a one-line label on the map, in a font whose size is given for
// an original map scale, centred on its insertion point and turned by a
// rotation angle about the top-left corner of its text cell.
//
// Ownership: the text owns its insertion point and its font. Layout
// (the font at the drawn size, the text's width) is cached per process and
// per label, so drawing makes no fonts and measures nothing twice.
#include <array>
#include <memory>

#include <QFont>
#include <QFontMetrics>
#include <QPointF>
#include <QRectF>
#include <QString>

#include "core/Font.h"
#include "engine/objects/VisualObject.h"

class TPoint;

// Where a label lies on the screen: the top-left corner of its text cell,
// the cell's width and height in pixels, and the angle (radians,
// counter-clockwise as seen) by which the cell is turned about that corner.
struct TTextBox {
    QPointF Origin;
    double Width = 0, Height = 0;
    double Angle = 0;
    // 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left (before turning).
    std::array<QPointF, 4> Corners() const;
    QRectF BoundingRect() const;
};

// The cell of a label of textWidth x textHeight pixels centred on the
// screen point (sx, sy): its top-left corner is (sx - (w + 2) div 2,
// sy - (h + 2) div 2), and a rotation turns it about that corner.
TTextBox PlaceLabel(int sx, int sy, int textWidth, int textHeight, double rotation);

// A font at one pixel size with its metrics, shared by every label that
// draws in it. Entries live as long as the thread.
struct TLabelFont {
    QFont Font;
    QFontMetrics Metrics;
    int Height;  // ascent + descent
    int Ascent;
};
// The shared entry for a font face and style at a size in points (the
// pixel size is points at 96 pixels per inch times fontScale, rounded).
const TLabelFont& LabelFont(const TFont& font, int pointSize, double fontScale = 1);

class TText : public TDrawingObject {
public:
    TText();
    ~TText() override;
    QString ClassName() const override { return QStringLiteral("TText"); }

    const QString& Text() const { return text_; }
    void SetText(const QString& v) { Assign(text_, v); }
    const TFont& TextFont() const { return font_; }
    void SetTextFont(const TFont& v) { Assign(font_, v); }
    // The anchor in map coordinates; nullptr until one is given or read.
    // It changes only through the text (SetInsertionPoint, Move), which
    // tells the text's layer first.
    const TPoint* InsertionPoint() const { return insertionPoint_.get(); }
    // The text takes the point over (the previous one is freed).
    void SetInsertionPoint(std::unique_ptr<TPoint> point);
    void SetInsertionPoint(double x, double y, double z = 0);
    double Rotation() const { return rotation_; }
    void SetRotation(double v) { Assign(rotation_, v); }
    double OriginalScale() const { return originalScale_; }
    void SetOriginalScale(double v) { Assign(originalScale_, v); }
    bool LayerTextFont() const { return layerTextFont_; }
    void SetLayerTextFont(bool v) { Assign(layerTextFont_, v); }

    // The font size in points at which the text is drawn at a view scale:
    // Round(OriginalScale / viewScale * size), or the size itself when
    // OriginalScale or the view scale is 0; at most 3000.
    int DrawSize(double viewScale) const;
    // The drawn cell on the context's screen; empty (zero size at the
    // insertion point) when the drawn size is 0 or less.
    TTextBox ScreenBox(const TDrawContext& dc) const;
    // The drawn cell's four corners in map coordinates (top-left,
    // top-right, bottom-right, bottom-left); all at the insertion point
    // without an owner's context.
    std::array<QPointF, 4> MapBox() const;

    std::unique_ptr<TVisualObject> Clone() const override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    void Draw(TDrawContext& dc) override;
    void ApplyThemeClass(const TThemeClass& themeClass) override;

    // Bounds: the box of the drawn cell (no Z bounds).
    double GetLowerX() const override;
    double GetLowerY() const override;
    double GetUpperX() const override;
    double GetUpperY() const override;
    // Drawn text size + 2 on the owner's context; 0 without one.
    int GetPixelHeight() const override;
    int GetPixelWidth() const override;

    // Hit tests against the drawn cell: InRect when all of it lies in the
    // rectangle, CrossesRect when any of it does.
    bool InRect(double x1, double y1, double x2, double y2) const override;
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    void Move(double dx, double dy) override;
    // Rotation += angle, less 2*pi once when the sum exceeds 2*pi.
    void Rotate(double angle) override;
    // The font size becomes Round(size * factor); the point stays.
    void Scale(double factor) override;

private:
    struct TLayoutCache {
        const TLabelFont* Font = nullptr;
        QString Text;
        int Width = 0;
    };
    // The font and width at a size, from the cache when nothing changed.
    const TLayoutCache& Layout(int pointSize, double fontScale) const;
    int TextWidth(const TLabelFont& font) const;

    QString text_ = QStringLiteral("Text");
    TFont font_;
    std::unique_ptr<TPoint> insertionPoint_;
    double rotation_ = 0;
    double originalScale_ = 0;
    bool layerTextFont_ = false;
    mutable TLayoutCache layout_;
};

// The view scale (map scale denominator) of a draw context.
double ViewScaleOf(const TDrawContext& dc);

// Registers TText for the object record stream.
void RegisterTextClass();
