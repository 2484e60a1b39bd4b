#pragma once
// TGISDrawing: the map view with a coordinate system. It records the
// ellipsoid, datum and projection of its world coordinates, holds theme
// layers (which reproject into its system when theirs differs) and, in
// geographic coordinates, measures lengths, distances and areas on the
// ellipsoid and keeps its scale true on the ground. In local and UTM
// coordinates it measures like TDrawing.
//
// A drawing file may name a projection, ellipsoid or datum that the
// catalogue in force cannot serve: the view keeps the stored values (and
// writes them back), reports the system through OnError, draws its plain
// layers and the theme layers that share its system, and measures nothing.
#include <cstdint>
#include <memory>

#include "engine/theme/CoordinateSystem.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/Drawing.h"

class TProjectionParams;

class TGISDrawing : public TDrawing, public TCoordinateSystemHost {
public:
    explicit TGISDrawing(QWidget* parent = nullptr);
    ~TGISDrawing() override;

    // The coordinate system is read by the theme layers while they draw.
    std::int32_t Ellipsoid() const { return ellipsoid_; }
    void SetEllipsoid(std::int32_t v) { ellipsoid_.Set(*this, v); }
    std::int32_t Datum() const { return datum_; }
    void SetDatum(std::int32_t v) { datum_.Set(*this, v); }
    std::int32_t Projection() const { return projection_; }
    // -1 local (no parameters), 0 geographic, 1 UTM (zone 24 defaults);
    // sets CoordinateUnits. Writing the current value keeps the parameters.
    void SetProjection(std::int32_t v);
    // The parameters of the projection; none for -1. They change through
    // SetProjectionParams.
    const TProjectionParams* ProjectionParams() const { return projectionParams_.Get().get(); }
    // Copies the values of params into the parameters; params of another
    // class raise ECoordinateError and change nothing. Nothing when the
    // projection has none.
    void SetProjectionParams(const TProjectionParams& params);

    TThemeLayers& ThemeLayers() const { return static_cast<TThemeLayers&>(Layers()); }
    TThemeLayer* ActiveThemeLayer() const { return dynamic_cast<TThemeLayer*>(ActiveLayer()); }

    // ---- TCoordinateSystemHost
    TCoordinateSystem ViewCoordinateSystem() const override;
    double ViewScale() const override { return DrawingScale(); }

    // ---- measurements (geographic: geodesics on the catalogue ellipsoid)
    void SetScale(double value) override;
    double ScaleAt(double left, double bottom, double unitsPerPixel, int drawWidth,
                   double pixelSizeMetres) const override;
    double DeltaX() const override;
    double DeltaY() const override;
    double Distance() const override;
    double MeasureLength(const TContour& contour) const override;
    // Geographic: the area on the ellipsoid of the closed ring, in square
    // metres (a repeated closing vertex is ignored); the contour is not
    // changed. Otherwise as TDrawing.
    double MeasureArea(const TContour& contour) const override;

    // Four new theme layers (points, lines, areas, texts) named after the
    // file, classified by DXF layer; the point layer becomes the active
    // layer and the view browses.
    void ImportDXF(const QString& fileName, const QStringList& layerNames) override;

protected:
    std::function<void()> ReadPrefix(TStream& stream) override;
    void WritePrefix(TStream& stream) override;

private:
    // Planar in local and UTM coordinates; on the ellipsoid in geographic
    // ones; not at all with a projection this view does not know or an
    // ellipsoid beyond the catalogue (a drawing file written with a longer
    // one): the measurements are then 0 and the scale stays.
    enum class TMeasuring { Planar, Geodesic, None };
    TMeasuring Measuring() const;
    double Geodesic(double x1, double y1, double x2, double y2) const;
    TDrawn<std::int32_t> ellipsoid_{19};
    TDrawn<std::int32_t> datum_{8};
    TDrawn<std::int32_t> projection_{-1};
    TDrawn<std::unique_ptr<TProjectionParams>> projectionParams_;
};

// The area in square metres of a ring of (longitude, latitude) vertices in
// degrees on the ellipsoid (a, f), edges along geodesics; always positive.
// A last vertex equal to the first is ignored. Rings around a pole are not
// supported.
double GeodesicRingArea(const std::vector<TVertex>& ring, double a, double f);
