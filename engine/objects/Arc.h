#pragma once
// The circular shapes of a layer: TArc (an arc of an ellipse between two
// angles, counter-clockwise), TEllipse (a closed, filled arc running the
// full turn) and TCircle (an ellipse with equal radii).
//
// Geometry: radius along X is Radius; radius along Y is Diameter / 2, or
// Radius when Diameter is 0 (a circle always uses Radius for both). The
// stored angles are kept as set; bounds, length, drawing and hit tests
// work on their normalised form (TEllipseArc), so an arc that wraps past
// 0 or has been turned any number of times is measured correctly.
//
// Ownership: the shape owns its centre.
//
// Records: after the key, a byte (1 when there is a centre), the centre's
// X, Y, Z, Radius, Diameter, StartAngle, EndAngle (8-byte doubles) and,
// for ellipses and circles, the fill style code and fill colour (4-byte
// integers). Records written without geometry (only the key, or nothing
// at all between the name and end lines) read back with the defaults and
// no centre; the three forms are told apart by where the end line stands.
#include <memory>

#include <QImage>
#include <QRectF>

#include "core/Codes.h"
#include "core/Color.h"
#include "engine/objects/ArcGeometry.h"
#include "engine/objects/Line.h"

class QPainter;
class TPoint;

class TArc : public TCustomLine {
public:
    TArc();
    ~TArc() override;
    QString ClassName() const override { return QStringLiteral("TArc"); }

    // nullptr until a centre is given or read.
    // It changes only through the shape (SetCenter, Move), which tells the
    // shape's layer first.
    const TPoint* Center() const { return center_.get(); }
    // The shape takes the point over (the previous one is freed).
    void SetCenter(std::unique_ptr<TPoint> center);
    void SetCenter(double x, double y, double z = 0);
    double Radius() const { return radius_; }
    void SetRadius(double v) { Assign(radius_, v); }
    double Diameter() const { return diameter_; }
    void SetDiameter(double v) { Assign(diameter_, v); }
    double StartAngle() const { return startAngle_; }
    void SetStartAngle(double v) { Assign(startAngle_, v); }
    double EndAngle() const { return endAngle_; }
    void SetEndAngle(double v) { Assign(endAngle_, v); }

    // The radius along Y used for drawing and hit tests.
    virtual double RadiusY() const { return diameter_ != 0 ? diameter_ / 2 : radius_; }
    // The normalised arc (centre (0, 0) without a centre).
    TEllipseArc Geometry() const;

    // The arc's length along its curve: sweep * Radius for circular arcs.
    double GetLength() const override;

    std::unique_ptr<TVisualObject> Clone() const override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    // Prepares the pen (TCustomLine) and draws through DrawScreenPoints;
    // nothing without a centre.
    void Draw(TDrawContext& dc) override;
    // Draws the shape in its screen bounding box, from startAngle over
    // sweep (radians, counter-clockwise as seen): an open arc here.
    virtual void DrawScreenPoints(QPainter& painter, const QRectF& box, double startAngle, double sweep);

    // The least box around the arc (no Z bounds); 0 without a centre.
    double GetLowerX() const override;
    double GetLowerY() const override;
    double GetUpperX() const override;
    double GetUpperY() const override;

    // Every point of the arc lies in the rectangle.
    bool InRect(double x1, double y1, double x2, double y2) const override;
    // Some point of the arc lies in the rectangle.
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    // -1: not defined for arcs.
    double DistanceTo(const TVisualObject& other) const override { return -1; }
    // A "TPoint" lying exactly on the arc (on the curve, within its sweep).
    bool Touches(const TVisualObject& other) const override;
    bool Contains(const TVisualObject& other) const override { return false; }
    void Move(double dx, double dy) override;
    // Turns about the centre: the angle is added to both ends (the start
    // brought into [0, 2*pi), the sweep kept).
    void Rotate(double angle) override;
    // Radius and Diameter times the factor; the centre stays.
    void Scale(double factor) override;

protected:
    // The geometry fields of the record, after the key.
    virtual void ReadGeometry(TStream& stream);
    virtual void WriteGeometry(TStream& stream) const;
    // Bytes that WriteGeometry writes.
    virtual int GeometryBytes() const;
    void CopyArcTo(TArc& target) const;
    // Whether the shape fills its inside (ellipses and circles).
    virtual bool IsFilled() const { return false; }

private:
    std::unique_ptr<TPoint> center_;
    double radius_ = 0;
    double diameter_ = 0;
    double startAngle_ = 0;
    double endAngle_ = 0;
};

class TEllipse : public TArc {
public:
    TEllipse();
    QString ClassName() const override { return QStringLiteral("TEllipse"); }

    TFillStyle FillStyle() const { return fillStyle_; }
    void SetFillStyle(TFillStyle v) { Assign(fillStyle_, v); }
    TColor FillColor() const { return fillColor_; }
    void SetFillColor(TColor v) { Assign(fillColor_, v); }
    // Only an 8 x 8 image is kept; anything else clears the texture.
    const QImage& FillTexture() const { return fillTexture_; }
    void SetFillTexture(const QImage& v);
    bool LayerFillStyle() const { return layerFillStyle_; }
    void SetLayerFillStyle(bool v) { Assign(layerFillStyle_, v); }
    bool LayerFillColor() const { return layerFillColor_; }
    void SetLayerFillColor(bool v) { Assign(layerFillColor_, v); }
    bool LayerFillTexture() const { return layerFillTexture_; }
    void SetLayerFillTexture(bool v) { Assign(layerFillTexture_, v); }

    // pi * radius along X * radius along Y.
    double GetArea() const;
    double Area() const { return GetArea(); }

    std::unique_ptr<TVisualObject> Clone() const override;
    // Sets the fill brush (the selection highlight's fill when selected),
    // then draws the outline and the fill.
    void Draw(TDrawContext& dc) override;
    // The closed shape with the current brush: the ellipse for a full turn,
    // else the arc closed by its chord.
    void DrawScreenPoints(QPainter& painter, const QRectF& box, double startAngle, double sweep) override;
    // The outline crosses the rectangle, or the rectangle's centre lies
    // inside the filled ellipse.
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    // Line attributes, then fill style, colour and texture.
    void ApplyThemeClass(const TThemeClass& themeClass) override;

protected:
    void ReadGeometry(TStream& stream) override;
    void WriteGeometry(TStream& stream) const override;
    int GeometryBytes() const override;
    bool IsFilled() const override { return true; }
    void CopyFillTo(TEllipse& target) const;

private:
    TFillStyle fillStyle_ = fsSolid;
    TColor fillColor_ = clYellow;
    QImage fillTexture_;
    bool layerFillStyle_ = false;
    bool layerFillColor_ = false;
    bool layerFillTexture_ = false;
};

class TCircle : public TEllipse {
public:
    QString ClassName() const override { return QStringLiteral("TCircle"); }
    // A circle is round: Radius along both axes, whatever Diameter holds.
    double RadiusY() const override { return Radius(); }
    // Centre, Radius, angles, line and fill attributes (not Diameter).
    std::unique_ptr<TVisualObject> Clone() const override;
};

// Registers TArc, TEllipse and TCircle for the object record stream.
void RegisterArcClasses();
