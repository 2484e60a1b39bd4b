#pragma once
// One chain of vertices, open or closed: the parts of polylines, the outer
// rings and holes of polygons, the operand of geometry and overlay.
// Vertices are TVertex values held by the contour.
#include <vector>

#include "core/Vertex.h"
#include "engine/objects/VisualObject.h"

class TPoint;

class TContour : public TDrawingShape {
public:
    TContour() = default;
    explicit TContour(std::vector<TVertex> points) : points_(std::move(points)) {}
    QString ClassName() const override { return QStringLiteral("TContour"); }

    std::vector<TVertex>& Points() { Changing(); return points_; }
    const std::vector<TVertex>& Points() const { return points_; }
    int Count() const { return static_cast<int>(points_.size()); }
    const TVertex& Vertex(int i) const { return points_[static_cast<std::size_t>(i)]; }
    TVertex& Vertex(int i) { return points_[static_cast<std::size_t>(i)]; }
    void Add(double x, double y, double z = 0) { points_.push_back({x, y, z}); }
    void Add(const TVertex& v) { points_.push_back(v); }
    // First and last vertex coincide (equal X and Y), at least two vertices.
    bool IsClosed() const;

    double GetLowerX() const override;
    double GetLowerY() const override;
    double GetLowerZ() const override;
    double GetUpperX() const override;
    double GetUpperY() const override;
    double GetUpperZ() const override;

    // The vertices; colour, width and Id are not copied.
    std::unique_ptr<TVisualObject> Clone() const override;
    std::unique_ptr<TContour> CloneContour() const;
    // Payload: the key, a 4-byte vertex count, then one "POINT" record per
    // vertex. Only point records are accepted.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;

    double DistanceTo(const TVisualObject& other) const override;
    bool Touches(const TVisualObject& other) const override;
    bool Contains(const TVisualObject& other) const override;
    void Move(double dx, double dy) override;
    void Rotate(double angle) override;
    void Scale(double factor) override;

    // Chain length (no closing side).
    double Length() const;
    // Ring area, closing side included whether or not it is stored.
    double Area() const;
    // The segment (i to i + 1) nearest to (x, y); -1 with fewer than 2 vertices.
    int NearestSegment(double x, double y) const;
    bool IsEdge(const TPoint& a, const TPoint& b) const;
    bool HasVertex(const TPoint& p) const;

private:
    std::vector<TVertex> points_;
};
