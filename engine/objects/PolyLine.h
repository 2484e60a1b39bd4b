#pragma once
// TPolyLine, the multi-part line feature (a list of vertex chains), and
// TPolygon, the area feature: outer rings, holes and a fill.
//
// Ownership: a polyline owns its contours, a polygon its contours and
// holes (std::unique_ptr); both free them with themselves.
#include <memory>
#include <vector>

#include <QImage>
#include <QPoint>

#include "core/Codes.h"
#include "engine/geometry/PlanarGeometry.h"
#include "engine/objects/Contour.h"
#include "engine/objects/Line.h"

using TOwnedContours = std::vector<std::unique_ptr<TContour>>;

class TPolygon;

class TPolyLine : public TCustomLine {
public:
    QString ClassName() const override { return QStringLiteral("TPolyLine"); }

    const TOwnedContours& Contours() const { return contours_; }
    TOwnedContours& Contours() { Changing(); return contours_; }
    // Appends a contour (taken over); returns it.
    TContour* AddContour(std::unique_ptr<TContour> contour);
    TContour* AddContour(std::vector<TVertex> vertices);
    // Appends a copy of each of the other's contours; returns this object.
    TPolyLine* AddContoursOf(const TPolyLine& other);
    // References to the contours, for list functions.
    TContours ContourList() const;
    // The pieces into which this line cuts the polygon (new polygons owned
    // by the caller, in the overlay's order); empty when the line does not
    // cut it.
    std::vector<std::unique_ptr<TPolygon>> SplitPolygon(const TPolygon& polygon) const;

    double GetLowerX() const override { return Bounds().LowerX; }
    double GetLowerY() const override { return Bounds().LowerY; }
    double GetLowerZ() const override { return Bounds().LowerZ; }
    double GetUpperX() const override { return Bounds().UpperX; }
    double GetUpperY() const override { return Bounds().UpperY; }
    double GetUpperZ() const override { return Bounds().UpperZ; }
    TBounds GetBounds() const override { return Bounds(); }
    // Least and greatest coordinates of the contours' vertices (holes do
    // not widen a polygon's bounds); all 0 without vertices.
    TBounds Bounds() const;

    std::unique_ptr<TVisualObject> Clone() const override;
    // Payload: the key, a 4-byte contour count, then that many "CONTOUR"
    // records.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    void Draw(TDrawContext& dc) override;
    // Every vertex inside the rectangle; true without vertices.
    bool InRect(double x1, double y1, double x2, double y2) const override;
    // Some segment has a point in the rectangle.
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    // "TPoint", "TLine", "TPolyline", "TPolygon": least distance between
    // the parts; -1 for any other class.
    double DistanceTo(const TVisualObject& other) const override;
    bool Touches(const TVisualObject& other) const override;
    bool Contains(const TVisualObject& other) const override;
    void Move(double dx, double dy) override;
    void Rotate(double angle) override;
    void Scale(double factor) override;

    double GetLength() const override;
    TVertex* FindVertexInRect(double x1, double y1, double x2, double y2) override;
    TVertex* NearestVertex(double x, double y) override;
    std::unique_ptr<TPoint> NearestPointXY(double x, double y) const override;
    std::unique_ptr<TPoint> NearestSegmentMidPoint(double x, double y) const override;
    // No intersection is computed: nullptr for every argument.
    std::unique_ptr<TPoint> IntersectionWith(const TVisualObject&, double, double) const override {
        return nullptr;
    }
    std::unique_ptr<TPoint> NearestPoint(const TPoint& point, double x, double y) const override;

    // Some contour has the segment A-B as an edge / the point as a vertex
    // (holes are not searched).
    bool IsEdge(const TPoint& a, const TPoint& b) const;
    bool HasVertex(const TPoint& p) const;

    // Draws the screen points of one part (after thinning): the polyline as
    // an open line, the polygon as a filled ring; then edit grips when
    // Selected and the owner is in its edit state.
    virtual void DrawScreenPoints(TDrawContext& dc, const std::vector<QPoint>& points);

    // The screen points of a chain after thinning by the redraw tolerance:
    // the first and last vertex always, a vertex between them when its
    // rounded pixel distance from the last kept one is greater than the
    // tolerance (with 0, only vertices on the same pixel as the last kept
    // one go). Written into out, which is cleared first.
    static void ThinnedScreenPoints(TDrawContext& dc, const std::vector<TVertex>& vertices, std::vector<QPoint>& out);

protected:
    // Whether the parts are rings (closing side included).
    virtual bool Rings() const { return false; }
    // The chains or rings that bound the object (a polygon's holes too).
    virtual std::vector<const TContour*> BoundaryParts() const;
    // The screen points of a chain after thinning by the redraw tolerance.
    static std::vector<QPoint> ThinnedScreenPoints(TDrawContext& dc, const std::vector<TVertex>& vertices);
    void DrawGrips(TDrawContext& dc, const std::vector<QPoint>& points) const;
    // Every vertex list of the object (contours, then holes).
    virtual std::vector<std::vector<TVertex>*> AllParts();
    void CopyLineAttributes(TCustomLine& to) const;

    TOwnedContours contours_;
};

class TPolygon : public TPolyLine {
public:
    QString ClassName() const override { return QStringLiteral("TPolygon"); }

    const TOwnedContours& Holes() const { return holes_; }
    TOwnedContours& Holes() { Changing(); return holes_; }
    TContour* AddHole(std::unique_ptr<TContour> hole);
    TContour* AddHole(std::vector<TVertex> vertices);
    // Appends copies of the other's outer contours as holes; returns this.
    TPolygon* AddHolesFromContours(const TPolygon& other);
    // Appends copies of the other's holes; returns this.
    TPolygon* AddHolesOf(const TPolygon& other);
    // A new polygon covering this one and the other (owned by the caller),
    // with this polygon's line and fill attributes.
    std::unique_ptr<TPolygon> Combine(const TPolygon& other) const;

    TFillStyle FillStyle() const { return fillStyle_; }
    void SetFillStyle(TFillStyle v) { Assign(fillStyle_, v); }
    TColor FillColor() const { return fillColor_; }
    void SetFillColor(TColor v) { Assign(fillColor_, v); }
    const QImage& FillTexture() const { return fillTexture_; }
    // Only an 8 x 8 image is kept; any other, or a null image, stores none.
    void SetFillTexture(const QImage& v);
    bool LayerFillStyle() const { return layerFillStyle_; }
    void SetLayerFillStyle(bool v) { Assign(layerFillStyle_, v); }
    bool LayerFillColor() const { return layerFillColor_; }
    void SetLayerFillColor(bool v) { Assign(layerFillColor_, v); }
    bool LayerFillTexture() const { return layerFillTexture_; }
    void SetLayerFillTexture(bool v) { Assign(layerFillTexture_, v); }

    // The area (outer rings inside, holes out, boundary counts as in).
    Planar::TRegion Region() const;
    bool ContainsPoint(const TPoint& p) const { return ContainsPoint(p.Vertex()); }
    bool ContainsPoint(const TVertex& p) const;
    // Every point of the contour lies in the area (true for an empty one);
    // concave areas and holes are handled.
    bool ContainsContour(const TContour& contour) const;
    double Area() const { return GetArea(); }
    // Outer areas minus hole areas.
    virtual double GetArea() const;

    std::unique_ptr<TVisualObject> Clone() const override;
    // Payload: the polyline payload, a 4-byte hole count and that many
    // "CONTOUR" records. Fill is not stored.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    void Draw(TDrawContext& dc) override;
    // Some ring segment has a point in the rectangle, or the rectangle's
    // centre lies in the area.
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    double DistanceTo(const TVisualObject& other) const override;
    bool Touches(const TVisualObject& other) const override;
    // "TPoint", "TLine", "TPolyline", "TPolygon": the other lies wholly in
    // the area.
    bool Contains(const TVisualObject& other) const override;
    void Move(double dx, double dy) override;
    // Perimeter of the outer rings plus that of the holes.
    double GetLength() const override;
    TVertex* FindVertexInRect(double x1, double y1, double x2, double y2) override;
    TVertex* NearestVertex(double x, double y) override;
    std::unique_ptr<TPoint> NearestPointXY(double x, double y) const override;
    std::unique_ptr<TPoint> NearestSegmentMidPoint(double x, double y) const override;
    std::unique_ptr<TPoint> NearestPoint(const TPoint& point, double x, double y) const override;
    // Line attributes, then fill colour, style and texture.
    void ApplyThemeClass(const TThemeClass& themeClass) override;
    void DrawScreenPoints(TDrawContext& dc, const std::vector<QPoint>& points) override;

protected:
    bool Rings() const override { return true; }
    std::vector<const TContour*> BoundaryParts() const override;
    std::vector<std::vector<TVertex>*> AllParts() override;

private:
    void PrepareBrush(TDrawContext& dc) const;

    TOwnedContours holes_;
    TFillStyle fillStyle_ = fsSolid;
    TColor fillColor_ = clYellow;
    QImage fillTexture_;
    bool layerFillStyle_ = false;
    bool layerFillColor_ = false;
    bool layerFillTexture_ = false;
};
