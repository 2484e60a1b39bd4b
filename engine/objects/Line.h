#pragma once
// Line-like shapes: TCustomLine, the abstract base with the line style and
// the vertex queries, and TLine, a straight segment.
#include <memory>

#include "core/Codes.h"
#include "core/Vertex.h"
#include "engine/objects/Point.h"
#include "engine/objects/VisualObject.h"

class TCustomLine : public TDrawingShape {
public:
    QString ClassName() const override { return QStringLiteral("TCustomLine"); }
    TLineStyle LineStyle() const { return lineStyle_; }
    void SetLineStyle(TLineStyle v) { Assign(lineStyle_, v); }
    bool LayerLineStyle() const { return layerLineStyle_; }
    void SetLayerLineStyle(bool v) { Assign(layerLineStyle_, v); }

    double Length() const { return GetLength(); }
    virtual double GetLength() const { return 0; }
    // The object's own vertex inside the rectangle, or nullptr. The pointer
    // stays valid until vertices are added to or removed from the object.
    virtual TVertex* FindVertexInRect(double x1, double y1, double x2, double y2) { return nullptr; }
    // The object's own vertex nearest to (x, y) (see each class), or nullptr.
    virtual TVertex* NearestVertex(double x, double y) { return nullptr; }
    // New points owned by the caller, or nullptr.
    virtual std::unique_ptr<TPoint> NearestPointXY(double x, double y) const { return nullptr; }
    virtual std::unique_ptr<TPoint> NearestSegmentMidPoint(double x, double y) const { return nullptr; }
    virtual std::unique_ptr<TPoint> IntersectionWith(const TVisualObject& other, double x, double y) const {
        return nullptr;
    }
    // The foot of point on the segment chosen by (x, y) (a line has one).
    virtual std::unique_ptr<TPoint> NearestPoint(const TPoint& point, double x, double y) const { return nullptr; }

    // Line colour and width, then line style.
    void ApplyThemeClass(const TThemeClass& themeClass) override;
    // Pen style (selection highlight's when Selected), then width and colour.
    void Draw(TDrawContext& dc) override;
    int GetPixelHeight() const override;
    int GetPixelWidth() const override;

private:
    TLineStyle lineStyle_ = lsSolid;
    bool layerLineStyle_ = false;
};

class TLine : public TCustomLine {
public:
    TLine() = default;
    TLine(const TVertex& first, const TVertex& second) : first_(first), second_(second) {}
    QString ClassName() const override { return QStringLiteral("TLine"); }

    TVertex& First() { Changing(); return first_; }
    const TVertex& First() const { return first_; }
    TVertex& Second() { Changing(); return second_; }
    const TVertex& Second() const { return second_; }
    void SetFirst(const TVertex& v) { Assign(first_, v); }
    void SetSecond(const TVertex& v) { Assign(second_, v); }

    double GetLowerX() const override;
    double GetLowerY() const override;
    double GetLowerZ() const override;
    double GetUpperX() const override;
    double GetUpperY() const override;
    double GetUpperZ() const override;

    // Ends, colour, width and line style.
    std::unique_ptr<TVisualObject> Clone() const override;
    // Payload: the key, then First X, Y, Z and Second X, Y, Z.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    void Draw(TDrawContext& dc) override;
    bool InRect(double x1, double y1, double x2, double y2) const override;
    bool CrossesRect(double x1, double y1, double x2, double y2) const override;
    double DistanceTo(const TVisualObject& other) const override;
    bool Touches(const TVisualObject& other) const override;
    bool Contains(const TVisualObject& other) const override;
    void Move(double dx, double dy) override;
    void Rotate(double angle) override;
    void Scale(double factor) override;

    double GetLength() const override;
    // First when inside, else Second when inside, else nullptr.
    TVertex* FindVertexInRect(double x1, double y1, double x2, double y2) override;
    // First when strictly nearer than Second, else Second.
    TVertex* NearestVertex(double x, double y) override;
    // The perpendicular foot strictly inside the segment, else nullptr.
    std::unique_ptr<TPoint> NearestPointXY(double x, double y) const override;
    // The midpoint (Z 0); the position is not used.
    std::unique_ptr<TPoint> NearestSegmentMidPoint(double x, double y) const override;
    // With a "TLine": the common point, or nullptr; others answer for
    // themselves.
    std::unique_ptr<TPoint> IntersectionWith(const TVisualObject& other, double x, double y) const override;
    // The perpendicular foot of the point; (x, y) is not used.
    std::unique_ptr<TPoint> NearestPoint(const TPoint& point, double x, double y) const override;

private:
    TVertex first_, second_;
};
