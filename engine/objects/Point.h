#pragma once
// The point feature of a layer, and the type in which geometry queries
// hand out computed points. Lines and areas keep their vertices as light
// TVertex values, not as point objects.
#include <cstdint>

#include <QImage>

#include "core/Codes.h"
#include "core/Font.h"
#include "core/Vertex.h"
#include "engine/objects/VisualObject.h"

class TPoint : public TDrawingShape {
public:
    TPoint();
    TPoint(double x, double y, double z = 0);
    explicit TPoint(const TVertex& v) : TPoint(v.X, v.Y, v.Z) {}
    QString ClassName() const override { return QStringLiteral("TPoint"); }

    double X() const { return v_.X; }
    double Y() const { return v_.Y; }
    double Z() const { return v_.Z; }
    void SetX(double v) { Assign(v_.X, v); }
    void SetY(double v) { Assign(v_.Y, v); }
    void SetZ(double v) { Assign(v_.Z, v); }
    const TVertex& Vertex() const { return v_; }
    void SetVertex(const TVertex& v) { Assign(v_, v); }

    TPointStyle PointStyle() const { return pointStyle_; }
    void SetPointStyle(TPointStyle v) { Assign(pointStyle_, v); }
    bool LayerPointStyle() const { return layerPointStyle_; }
    void SetLayerPointStyle(bool v) { Assign(layerPointStyle_, v); }
    // The point bitmap (shared image data); a null image for none.
    const QImage& Bitmap() const { return bitmap_; }
    // A null image changes nothing; an 8 x 8 image is kept; any other size
    // leaves the point without a bitmap.
    void SetBitmap(const QImage& bitmap);
    bool LayerBitmap() const { return layerBitmap_; }
    void SetLayerBitmap(bool v) { Assign(layerBitmap_, v); }
    const TFont& SymbolFont() const { return symbolFont_; }
    void SetSymbolFont(const TFont& v) { Assign(symbolFont_, v); }
    // The symbol character, one CP1252 byte.
    std::uint8_t Symbol() const { return symbol_; }
    void SetSymbol(std::uint8_t v) { Assign(symbol_, v); }

    double GetLowerX() const override { return v_.X; }
    double GetLowerY() const override { return v_.Y; }
    double GetLowerZ() const override { return v_.Z; }
    double GetUpperX() const override { return v_.X; }
    double GetUpperY() const override { return v_.Y; }
    double GetUpperZ() const override { return v_.Z; }
    int GetPixelHeight() const override;
    int GetPixelWidth() const override;

    // Coordinates, colour, width, style, font, symbol and bitmap; Id,
    // flags, Tag and owner take their defaults.
    std::unique_ptr<TVisualObject> Clone() const override;
    std::unique_ptr<TPoint> ClonePoint() const;
    // Payload: the key, then X, Y, Z.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    void Draw(TDrawContext& dc) override;
    // Equal X and equal Y (Z not compared); false for a non-point.
    bool SameAs(const TVisualObject& other) const override;
    bool InRect(double x1, double y1, double x2, double y2) const override;
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    double DistanceTo(const TVisualObject& other) const override;
    bool Touches(const TVisualObject& other) const override;
    bool Contains(const TVisualObject& other) const override;
    void Move(double dx, double dy) override;
    // A point keeps its place.
    void Rotate(double) override {}
    void Scale(double) override {}
    // Line colour and width, point style, symbol, symbol font and bitmap.
    void ApplyThemeClass(const TThemeClass& themeClass) override;

private:
    int SymbolExtent(bool height) const;

    TVertex v_;
    TPointStyle pointStyle_ = psPoint;
    bool layerPointStyle_ = true;
    QImage bitmap_;
    bool layerBitmap_ = true;
    TFont symbolFont_{QStringLiteral("Arial"), 12, clBlack, {}};
    std::uint8_t symbol_ = 149;
};
